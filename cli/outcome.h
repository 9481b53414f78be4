#pragma once

// What happened to each input of a run, and the figures of the whole run.

#include "value_changes.h"

#include "archive_convert.h"
#include "conversion_report.h"

#include <cstdint>
#include <string>

// The failure line of a converted file whose deflated sizes --stats could not measure.
constexpr char kUnmeasuredReason[] = "cannot measure the deflated sizes";

// A check of the tool's own, before or beside the conversion, that an input failed.
enum class InputCheck {
    None,             // passed: a failure, if any, is the conversion's (report.kind)
    IsAFolder,        // a folder given without -r
    NotMdxName,       // the name does not end in ".mdx"
    SameAsInput,      // the output would be the input file itself
    OutputTaken,      // another input of the run writes the same output
    CannotReadFolder, // with -r, a folder that cannot be listed
};

// What happened to one input.
struct FileOutcome {
    ConversionReport report;
    InputCheck check = InputCheck::None;
    std::string outputPath;
    std::string failure;           // the reason for the failure line, empty on success
    std::uint64_t bytesIn = 0;     // size of the input
    int measured = 0;              // --stats: both deflated sizes below are known
    int unmeasured = 0;            // --stats: converted, but the deflated sizes could not be measured
    std::uint64_t deflatedIn = 0;
    std::uint64_t deflatedOut = 0;
    ValueChanges changes;          // --stats
    ArchiveReport map;             // a map: the archive's outcome and its models (map_outcome.h)
};

// The figures of a whole run, for the summary line.
struct BatchTotals {
    std::int64_t converted = 0;
    std::int64_t failed = 0;
    std::int64_t skipped = 0;
    std::uint64_t bytesIn = 0;     // inputs of the converted files
    std::int64_t floatsReduced = 0;
    std::uint64_t deflatedIn = 0;  // --stats, converted files
    std::uint64_t deflatedOut = 0;
    std::int64_t unmeasured = 0;   // --stats, converted files whose deflated sizes are unknown
    ValueChanges changes;          // --stats, converted files
    std::int64_t maps = 0;         // maps among the converted files
    std::int64_t mapModelsReduced = 0;
    std::int64_t mapModelsKept = 0; // models kept unchanged in converted maps: the run exits 1
};
