#pragma once

// What the tests, the fuzz checks and the test programs share besides the model oracle (which
// this includes): conversions in memory, an output that refuses writes after a limit, byte
// comparisons and files.

#include "conversion_report.h"
#include "model_oracle.h"
#include "value_reduction.h"

#include <cstddef>
#include <filesystem>
#include <streambuf>
#include <string>
#include <vector>

// One conversion in memory, through the stream entry point.
struct StreamResult {
    int converted = 0;
    std::string out;
    ConversionReport report;
};
StreamResult ConvertBytes(const std::string& input);

// The core's kind for each of the oracle's, and the core's settings for an oracle's plan.
ReducedKind ReducedKindOf(ValueKind kind);
ConversionSettings SettingsFor(const ReductionPlan& plan);

// A plan drawn from seed: each kind's bits from 10 to 32 (the default, the fewest and the most
// more often than the others), rounding or not.
ReductionPlan RandomReductionPlan(std::uint32_t seed);

// As ConvertBytes, through the buffers of a file conversion: the input read by the file
// reader (over the bytes in memory, a few KiB at a time), the output gathered in blocks, both
// lent to the walk, so that fields move straight from the one to the other as they do for files.
StreamResult ConvertThroughFileBuffers(const std::string& input);

// An output buffer that accepts the first limit bytes offered and refuses every byte after them,
// as a full disk does. What it accepted is kept in written.
struct LimitedSinkBuffer : std::streambuf {
    explicit LimitedSinkBuffer(std::size_t limit) : limit(limit) {}

    std::size_t limit;
    std::string written;

protected:
    std::streamsize xsputn(const char* bytes, std::streamsize n) override;
    int_type overflow(int_type byte) override;
};

// As ConvertBytes, into a LimitedSinkBuffer: out is what it accepted.
StreamResult ConvertIntoLimitedSink(const std::string& input, std::size_t limit,
                                    const ConversionSettings& settings = ConversionSettings());

// The first offset where a and b differ (the shorter length when one begins the other), or -1
// when they are equal.
long long FirstDifference(const std::string& a, const std::string& b);

// bytes as two-digit hex numbers separated by spaces ("00 00 33 44"), for readable expectations.
std::string HexBytes(const std::string& bytes);

// The bytes of the file at path; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// Writes bytes to the file at path, replacing it. Returns false when that fails.
bool WriteFile(const std::filesystem::path& path, const std::string& bytes);

// A model of a few megabytes that makes file buffers refill and drain everywhere: random models
// seed, then firstPart + 1 to firstPart + parts - 1 (their chunks in turn), one bone with
// longTracks after the first chunk, and a geoset of 40,000 vertices at the end.
ModelPlan LargeModelPlan(std::uint32_t seed, std::uint32_t firstPart, std::uint32_t parts, std::int32_t version,
                         const std::vector<TrackPlan>& longTracks);

// The oracle's full model and 20 random models (seeds 1 to 20) of each known version.
std::vector<WrittenModel> OracleModels();
