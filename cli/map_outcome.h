#pragma once

// Maps on the command line: a map (HasMapExtension) is converted as one input, its models inside
// it, and reported as one line, with a line on stderr for each model kept unchanged.

#include "cli_options.h"
#include "outcome.h"

#include <filesystem>
#include <string>

// Converts the map at inputFile into outputFile (--dry-run: reads and reduces it, writes
// nothing), reducing its models as settings ask, on up to workers threads. Fills
// outcome.map, outcome.failure when the archive is refused, and outcome.report.floatsReduced with
// the floats of all its models.
void ConvertMap(const std::filesystem::path& inputFile, const std::filesystem::path& outputFile,
                const ConversionSettings& settings, const CliOptions& options, int workers, FileOutcome& outcome);

// Prints what became of a map: the failure line of a refused one, or its line on stdout
// "IN -> OUT: N models reduced, K kept; A -> B bytes (P% smaller)" and one line per kept model
// on stderr; with --json the map's object instead of the text on stdout.
void PrintMapOutcome(const std::string& input, const FileOutcome& outcome, const CliOptions& options);

// Counts the models of a converted map into the run's figures (the map itself is counted as a
// file, converted or failed, as a model is).
void AddMapModels(const FileOutcome& outcome, BatchTotals& totals);

// "; 2 maps: 7 models reduced, 1 kept" for the summary line, empty when the run met no map.
std::string DescribeMapTotals(const BatchTotals& totals);
