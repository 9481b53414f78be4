#include "map_outcome.h"

#include "json_report.h"
#include "platform.h"
#include "quoted_name.h"
#include "workers.h"

#include "archive_text.h"

#include <cstdio>

void ConvertMap(const std::filesystem::path& inputFile, const std::filesystem::path& outputFile,
                const ConversionSettings& settings, const CliOptions& options, int workers, FileOutcome& outcome)
{
    ArchiveOptions archiveOptions;
    archiveOptions.settings = settings;
    archiveOptions.runner = ConvertInOrder;
    archiveOptions.workers = workers;
    const int written = options.dryRun ? DryRunArchive(inputFile, archiveOptions, outcome.map)
                                       : ConvertArchive(inputFile, outputFile, archiveOptions, outcome.map);
    if (!written) {
        outcome.failure = outcome.map.reason;
        return;
    }
    for (const ArchiveModel& model : outcome.map.models)
        outcome.report.floatsReduced += model.reduced ? model.report.floatsReduced : 0;
}

void PrintMapOutcome(const std::string& input, const FileOutcome& outcome, const CliOptions& options)
{
    // Lines on stdout go out first, so that a shared terminal or pipe shows them in order.
    std::fflush(stdout);
    if (!outcome.failure.empty())
        WriteText(stderr, "duridodi: " + QuoteName(input) + ": " + outcome.failure + "\n");
    if (options.json) {
        WriteText(stdout, MapJsonLine(input, outcome, options));
    } else if (outcome.failure.empty() && !options.quiet) {
        std::string line = QuoteName(input) + " -> " + QuoteName(outcome.outputPath) + ": " +
                           std::to_string(CountReducedModels(outcome.map)) + " models reduced, " +
                           std::to_string(CountKeptModels(outcome.map)) + " kept" + DescribeKeptBits(options) +
                           "; " + DescribeMapSizes(outcome.map.sizeBefore, outcome.map.sizeAfter);
        if (outcome.map.signatureDropped || outcome.map.strongSignatureDropped)
            line += "; its signature dropped";
        if (options.dryRun)
            line += " (dry run, nothing written)";
        WriteText(stdout, line + "\n");
        if (options.stats)
            WriteText(stdout, DescribeValueChanges(outcome.changes) + "\n");
        std::fflush(stdout);
    }
    // A kept model is a failure of its own: the map was written, but not all of it reduced.
    for (const ArchiveModel& model : outcome.map.models) {
        if (!model.reduced)
            WriteText(stderr, "duridodi: " + QuoteName(input) + ": " + QuoteName(model.name) + " kept unchanged: " +
                                  model.keptReason + "\n");
    }
}

void AddMapModels(const FileOutcome& outcome, BatchTotals& totals)
{
    if (!outcome.map.written)
        return;
    ++totals.maps;
    totals.mapModelsReduced += static_cast<std::int64_t>(CountReducedModels(outcome.map));
    totals.mapModelsKept += static_cast<std::int64_t>(CountKeptModels(outcome.map));
}

std::string DescribeMapTotals(const BatchTotals& totals)
{
    if (totals.maps == 0)
        return "";
    return "; " + std::to_string(totals.maps) + (totals.maps == 1 ? " map: " : " maps: ") +
           std::to_string(totals.mapModelsReduced) + " models reduced, " + std::to_string(totals.mapModelsKept) +
           " kept";
}
