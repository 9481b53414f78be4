#pragma once

// The command line of duridodi: what the user asked for, read from argv.

#include "value_reduction.h"

#include <string>
#include <vector>

struct CliOptions {
    std::vector<std::string> inputs; // FILE or, with -r, DIR operands, in the order given
    std::string outputPath;          // -o OUT, empty when not given
    int recursive = 0;               // -r: walk the DIR operands
    int quiet = 0;                   // -q: failures only
    int dryRun = 0;                  // --dry-run: walk, write nothing
    int stats = 0;                   // --stats: deflated sizes, the saving and the largest changes
    ConversionSettings settings;     // --keep-bits and --round (no observer: a run adds it for --stats)
    int json = 0;                    // --json: JSON Lines on stdout instead of text
    int jobs = 0;                    // -j N: files converted at once; 0 when not given
    int help = 0;                    // -h, --help
    int version = 0;                 // --version
};

// Reads argv[1..argc-1] into options. Options may stand before or after the operands and
// short ones may be grouped ("-rq"); "--" ends the options. Returns 1 on success, 0 on a
// usage error, with the reason in error (one line, no prefix).
int ParseArguments(int argc, char** argv, CliOptions& options, std::string& error);

// The kinds whose bits differ from kDefaultKeptBits, as "; bits kept: positions 20,
// texture_coordinates 24" for the text lines of files, maps and the summary; empty when every
// kind keeps the default.
std::string DescribeKeptBits(const CliOptions& options);

// The most files converted at once that -j takes.
constexpr int kMaxJobs = 256;

// The short help (--help): usage, options, exit status.
extern const char kUsageText[];
