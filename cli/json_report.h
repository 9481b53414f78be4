#pragma once

// --json: one JSON object per input, then one summary object, each one line of stdout (JSON
// Lines). Bytes of names that are not UTF-8 are replaced by U+FFFD, so every line is valid JSON.

#include "cli_options.h"
#include "outcome.h"

#include <string>

// The object of one input: input, output, converted, dry_run, version, floats_reduced, bytes,
// error, with --stats deflated_input, deflated_output and largest_change, then rounding and
// kept_bits (the bits of each kind); one line with its line feed.
std::string InputJsonLine(const std::string& input, const FileOutcome& outcome, const CliOptions& options);

// The object of one map: input, output, "map": true, converted, dry_run, bytes, output_bytes,
// models_reduced, models_kept, floats_reduced, signature_dropped, models (each with name, block,
// reduced, version, floats_reduced, bytes, stored_before, stored_after, error), error, with
// --stats largest_change, and rounding; one line with its line feed.
std::string MapJsonLine(const std::string& input, const FileOutcome& outcome, const CliOptions& options);

// The summary object: "summary": true, the counts, bytes, floats_reduced, map_models_reduced,
// map_models_kept, with --stats the deflated totals and the batch's largest changes; one line
// with its line feed.
std::string SummaryJsonLine(const BatchTotals& totals, const CliOptions& options);
