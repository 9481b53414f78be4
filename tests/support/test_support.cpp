#include "test_support.h"

#include "blocked_output.h"
#include "file_streams.h"
#include "model_convert.h"
#include "stream_io.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <sstream>

namespace {

// Reads a string where it lies, as an istringstream would read its own copy of it: the fuzz
// checks convert each input up to three times, and under the sanitizers the copies cost more than
// the conversions. Its position is the offset a failure report gives.
struct StringViewBuffer : std::streambuf {
    explicit StringViewBuffer(const std::string& bytes)
    {
        // Never written through: there is no put area, and a put-back past the start fails.
        char* begin = const_cast<char*>(bytes.data());
        setg(begin, begin, begin + bytes.size());
    }

protected:
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override
    {
        const off_type base = dir == std::ios_base::beg   ? 0
                              : dir == std::ios_base::cur ? gptr() - eback()
                                                          : egptr() - eback();
        return seekpos(pos_type(base + off), which);
    }

    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override
    {
        const off_type at = pos;
        if (!(which & std::ios_base::in) || at < 0 || at > egptr() - eback())
            return pos_type(off_type(-1));
        setg(eback(), eback() + at, egptr());
        return pos;
    }
};

} // namespace

StreamResult ConvertBytes(const std::string& input)
{
    return ConvertIntoLimitedSink(input, std::numeric_limits<std::size_t>::max());
}

StreamResult ConvertThroughFileBuffers(const std::string& input)
{
    // A few KiB, where a file conversion reads 256 KiB at a time: the fuzz inputs (up to 32 KiB)
    // then cross the buffer's end, where fields stop moving directly.
    char inputBuffer[4096];
    thread_local std::unique_ptr<char[]> block(new char[kOutputBlockSize]);
    std::FILE* file = fmemopen(const_cast<char*>(input.data()), input.size(), "rb");
    if (file == nullptr)
        return ConvertBytes(input);
    FileInput fileInput(file, inputBuffer, sizeof inputBuffer);
    std::istream source(&fileInput);
    LimitedSinkBuffer target(std::numeric_limits<std::size_t>::max());
    target.written.reserve(input.size());
    BlockedOutput blocks(&target, block.get());
    std::ostream sink(&blocks);
    LendFileBuffers(source, fileInput, sink, blocks);
    StreamResult result;
    result.converted = ConvertModelStream(source, sink, result.report);
    std::fclose(file);
    result.out = std::move(target.written);
    return result;
}

ReducedKind ReducedKindOf(ValueKind kind)
{
    switch (kind) {
    case ValueKind::Position: return ReducedKind::Position;
    case ValueKind::Normal: return ReducedKind::Normal;
    case ValueKind::Tangent: return ReducedKind::Tangent;
    case ValueKind::Extent: return ReducedKind::Extent;
    case ValueKind::TextureCoordinate: return ReducedKind::TextureCoordinate;
    case ValueKind::Translation: return ReducedKind::Translation;
    case ValueKind::Rotation: return ReducedKind::Rotation;
    case ValueKind::Scaling: return ReducedKind::Scaling;
    }
    return ReducedKind::Position;
}

ConversionSettings SettingsFor(const ReductionPlan& plan)
{
    ConversionSettings settings;
    for (int k = 0; k < 8; ++k)
        settings.keptBits[static_cast<int>(ReducedKindOf(static_cast<ValueKind>(k)))] = plan.keptBits[k];
    settings.rounding = plan.nearest ? Rounding::Nearest : Rounding::TowardZero;
    return settings;
}

ReductionPlan RandomReductionPlan(std::uint32_t seed)
{
    std::mt19937 random(seed);
    const int favourites[] = {kDefaultKeptBits, kFewestKeptBits, kMostKeptBits};
    ReductionPlan plan;
    plan.nearest = random() % 2 == 1;
    for (int& bits : plan.keptBits)
        bits = random() % 4 == 0 ? favourites[random() % 3] : kFewestKeptBits + static_cast<int>(random() % 23);
    return plan;
}

std::streamsize LimitedSinkBuffer::xsputn(const char* bytes, std::streamsize n)
{
    const std::size_t room = limit - std::min(limit, written.size());
    const std::size_t accepted = std::min(room, static_cast<std::size_t>(n));
    written.append(bytes, accepted);
    return static_cast<std::streamsize>(accepted);
}

LimitedSinkBuffer::int_type LimitedSinkBuffer::overflow(int_type byte)
{
    if (traits_type::eq_int_type(byte, traits_type::eof()))
        return traits_type::not_eof(byte);
    const char c = traits_type::to_char_type(byte);
    return xsputn(&c, 1) == 1 ? byte : traits_type::eof();
}

StreamResult ConvertIntoLimitedSink(const std::string& input, std::size_t limit, const ConversionSettings& settings)
{
    StringViewBuffer view(input);
    std::istream source(&view);
    LimitedSinkBuffer buffer(limit);
    buffer.written.reserve(std::min(limit, input.size()));
    std::ostream sink(&buffer);
    StreamResult result;
    result.converted = ConvertModelStream(source, sink, settings, result.report);
    result.out = std::move(buffer.written);
    return result;
}

long long FirstDifference(const std::string& a, const std::string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    const auto differ = std::mismatch(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n), b.begin()).first;
    if (differ == a.begin() + static_cast<std::ptrdiff_t>(n) && a.size() == b.size())
        return -1;
    return differ - a.begin();
}

std::string HexBytes(const std::string& bytes)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char byte : bytes) {
        if (!text.empty())
            text += ' ';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return !file.fail();
}

ModelPlan LargeModelPlan(std::uint32_t seed, std::uint32_t firstPart, std::uint32_t parts, std::int32_t version,
                         const std::vector<TrackPlan>& longTracks)
{
    ModelPlan description = RandomModelPlan(seed, version);
    for (std::uint32_t part = 1; part < parts; ++part) {
        const ModelPlan more = RandomModelPlan(firstPart + part, version);
        description.chunks.insert(description.chunks.end(), more.chunks.begin(), more.chunks.end());
    }
    ChunkPlan bone;
    bone.kind = ChunkPlan::Bones;
    bone.nodes.push_back(NodePlan{longTracks});
    description.chunks.insert(description.chunks.begin() + 1, bone);
    ChunkPlan largeGeoset;
    largeGeoset.kind = ChunkPlan::Geosets;
    largeGeoset.geosets.push_back(GeosetPlan());
    largeGeoset.geosets[0].vertexCount = 40000;
    description.chunks.push_back(largeGeoset);
    return description;
}

std::vector<WrittenModel> OracleModels()
{
    std::vector<WrittenModel> models;
    for (std::int32_t version : {800, 900, 1000, 1100}) {
        models.push_back(WriteModel(FullModelPlan(version)));
        for (std::uint32_t seed = 1; seed <= 20; ++seed)
            models.push_back(WriteModel(RandomModelPlan(seed, version), seed));
    }
    return models;
}
