// duridodi: the command-line tool. Converts models named on the command line or found in
// folders, one line per file, a summary for batches, exit status 0 / 1 / 2.

#include "cli_options.h"
#include "json_report.h"
#include "map_outcome.h"
#include "measuring_sink.h"
#include "outcome.h"
#include "platform.h"
#include "progress.h"
#include "quoted_name.h"
#include "value_changes.h"
#include "worker_threads.h"
#include "workers.h"

#include "file_path.h"
#include "model_walk.h"
#include "shared_outputs.h"

#include "conversion_report.h"
#include "model_convert.h"
#include "output_name.h"
#include "product_version.h"
#include "value_reduction.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

// Walks the input into a sink that keeps nothing; with stats the sink deflates what the
// output would be. Fills outcome as a real conversion would.
static void DryRunOne(const fs::path& input, const ConversionSettings& settings, int stats, FileOutcome& outcome)
{
    MeasuringSink measure(stats);
    std::ostream sink(&measure);
    if (!WalkModelFile(input, sink, settings, outcome.report)) {
        outcome.failure = DescribeFailure(outcome.report);
        return;
    }
    if (stats) {
        outcome.measured =
            measure.FinishDeflate(outcome.deflatedOut) && DeflatedFileSize(input, outcome.deflatedIn);
        outcome.unmeasured = !outcome.measured;
    }
}

// Converts the input into the output and fills outcome.
static void WriteOne(const fs::path& inputFile, const fs::path& outputFile, const ConversionSettings& settings,
                     int stats, FileOutcome& outcome)
{
    if (!ConvertModelWithReport(inputFile, outputFile, settings, outcome.report)) {
        outcome.failure = DescribeFailure(outcome.report);
        return;
    }
    // Deflating is far slower than reading back two files that are still in the page cache, so
    // a second pass costs little over deflating while converting.
    if (stats) {
        outcome.measured = DeflatedFileSize(inputFile, outcome.deflatedIn) &&
                           DeflatedFileSize(outputFile, outcome.deflatedOut);
        outcome.unmeasured = !outcome.measured;
    }
}

// Converts one input (or, with --dry-run, walks it) and fills outcome; a map's models are
// converted on up to mapWorkers threads.
static void ConvertOne(const std::string& input, const CliOptions& options, int mapWorkers, FileOutcome& outcome)
{
    const fs::path inputFile = FilePath(PathFromText(input));
    const FileFacts facts = LookAtFile(inputFile);
    if (facts.isFolder) {
        outcome.check = InputCheck::IsAFolder;
        outcome.failure = "is a folder (use -r to convert the models in it)";
        return;
    }
    if (!HasConvertibleExtension(input.c_str())) {
        outcome.check = InputCheck::NotMdxName;
        outcome.failure = "not an .mdx file or a map (the name must end in .mdx, .w3x, .w3m or .mpq)";
        return;
    }
    outcome.outputPath = options.outputPath.empty() ? MakeOutputName(input.c_str()) : options.outputPath;
    // By identity, so that another name of the input (a hard link, a symbolic link, a
    // different spelling of the path) cannot make the copy replace it.
    const fs::path outputFile = FilePath(PathFromText(outcome.outputPath));
    if (facts.exists && IsSameFile(facts, LookAtFile(outputFile))) {
        outcome.check = InputCheck::SameAsInput;
        outcome.failure = "the output " + QuoteName(outcome.outputPath) + " is the input file itself";
        return;
    }
    outcome.bytesIn = facts.size;
    ConversionSettings settings = options.settings;
    settings.observe = options.stats ? ObserveValueChanges : nullptr;
    settings.context = &outcome.changes;
    if (HasMapExtension(input.c_str()))
        ConvertMap(inputFile, outputFile, settings, options, mapWorkers, outcome);
    else if (options.dryRun)
        DryRunOne(inputFile, settings, options.stats, outcome);
    else
        WriteOne(inputFile, outputFile, settings, options.stats, outcome);
}

// How many files are converted at once: one for a single file (as with -o, which takes one),
// else -j N or one per processor, and never more than there are files.
static int CountWorkers(const CliOptions& options, std::size_t files)
{
    if (files <= 1)
        return 1;
    const int workers = options.jobs > 0 ? options.jobs : ProcessorCount();
    return files < static_cast<std::size_t>(workers) ? static_cast<int>(files) : workers;
}

// "; deflated IN -> OUT bytes, saving S bytes (P%)"
static std::string DescribeSaving(std::uint64_t deflatedIn, std::uint64_t deflatedOut)
{
    const long long saving = static_cast<long long>(deflatedIn) - static_cast<long long>(deflatedOut);
    const double percent = deflatedIn > 0 ? 100.0 * static_cast<double>(saving) / static_cast<double>(deflatedIn) : 0.0;
    char text[128];
    std::snprintf(text, sizeof text, "; deflated %llu -> %llu bytes, saving %lld bytes (%.1f%%)",
                  static_cast<unsigned long long>(deflatedIn), static_cast<unsigned long long>(deflatedOut), saving,
                  percent);
    return text;
}

static void PrintFailure(const std::string& input, const char* reason)
{
    // Success lines already printed go out first, so that a shared terminal or pipe shows the
    // lines in the order of the files.
    std::fflush(stdout);
    WriteText(stderr, "duridodi: " + QuoteName(input) + ": " + reason + "\n");
}

static void PrintSuccess(const std::string& input, const FileOutcome& outcome, const CliOptions& options)
{
    std::string line = QuoteName(input) + " -> " + QuoteName(outcome.outputPath) + ": " +
                       std::to_string(outcome.report.floatsReduced) + " floats reduced, version " +
                       std::to_string(outcome.report.version);
    line += DescribeKeptBits(options);
    if (outcome.measured)
        line += DescribeSaving(outcome.deflatedIn, outcome.deflatedOut);
    if (options.dryRun)
        line += " (dry run, nothing written)";
    WriteText(stdout, line + "\n");
    if (options.stats)
        WriteText(stdout, DescribeValueChanges(outcome.changes) + "\n");
}

static void PrintOutcome(const std::string& input, const FileOutcome& outcome, const CliOptions& options)
{
    if (HasMapExtension(input.c_str())) {
        PrintMapOutcome(input, outcome, options);
        return;
    }
    if (!outcome.failure.empty())
        PrintFailure(input, outcome.failure.c_str());
    else if (!options.quiet && !options.json)
        PrintSuccess(input, outcome, options);
    // The file was converted; only the figures that --stats asked for are missing.
    if (outcome.unmeasured)
        PrintFailure(input, kUnmeasuredReason);
    if (options.json)
        WriteText(stdout, InputJsonLine(input, outcome, options));
}

static void AddToTotals(const FileOutcome& outcome, BatchTotals& totals)
{
    if (!outcome.failure.empty()) {
        ++totals.failed;
        return;
    }
    ++totals.converted;
    totals.bytesIn += outcome.bytesIn;
    totals.floatsReduced += outcome.report.floatsReduced;
    if (outcome.measured) {
        totals.deflatedIn += outcome.deflatedIn;
        totals.deflatedOut += outcome.deflatedOut;
    }
    totals.unmeasured += outcome.unmeasured;
    AddValueChanges(outcome.changes, totals.changes);
    AddMapModels(outcome, totals);
}

static void PrintSummary(const BatchTotals& totals, const CliOptions& options)
{
    std::string line = "summary: " + std::to_string(totals.converted) + " converted, " +
                       std::to_string(totals.failed) + " failed, " + std::to_string(totals.skipped) + " skipped; " +
                       std::to_string(totals.bytesIn) + " bytes in, " + std::to_string(totals.floatsReduced) +
                       " floats reduced" + DescribeMapTotals(totals) + DescribeKeptBits(options);
    // Maps give their real sizes on their own lines: the deflated totals are the loose models'.
    if (options.stats && (totals.maps == 0 || totals.converted > totals.maps))
        line += totals.unmeasured == 0
                    ? DescribeSaving(totals.deflatedIn, totals.deflatedOut)
                    : "; deflated sizes unknown, " + std::to_string(totals.unmeasured) + " not measured";
    if (options.dryRun)
        line += " (dry run, nothing written)";
    WriteText(stdout, line + "\n");
    if (options.stats)
        WriteText(stdout, "summary: " + DescribeValueChanges(totals.changes) + "\n");
}

// The inputs in the order they are converted: FILE operands as they stand, DIR operands (with
// -r) replaced by the models found in them. Unreadable or missing folders are counted here and
// reported where the walk met them.
static ModelList ListInputs(const CliOptions& options, BatchTotals& totals)
{
    ModelList list;
    for (const std::string& input : options.inputs) {
        const FileFacts facts = options.recursive ? LookAtFile(FilePath(PathFromText(input))) : FileFacts();
        if (facts.isFolder)
            CollectModels(PathFromText(input), list);
        else if (facts.missing)
            list.unreadable.push_back(UnreadableFolder{PathFromText(input), "does not exist", list.models.size()});
        else
            list.models.push_back(PathFromText(input).native());
    }
    totals.failed += static_cast<std::int64_t>(list.unreadable.size());
    totals.skipped = list.skipped;
    return list;
}

// Prints the failures of the folders that the walk met before the model at index (all that are
// left, when index is the model count) and moves next past them.
static void PrintUnreadableBefore(const ModelList& list, std::size_t index, std::size_t& next,
                                  const CliOptions& options, Progress& progress)
{
    for (const std::size_t end = UnreadableBefore(list, index, next); next < end; ++next) {
        const UnreadableFolder& folder = list.unreadable[next];
        ClearProgress(progress);
        PrintFailure(PathText(folder.folder), folder.reason.c_str());
        if (options.json) {
            FileOutcome outcome;
            outcome.check = InputCheck::CannotReadFolder;
            outcome.failure = folder.reason;
            WriteText(stdout, InputJsonLine(PathText(folder.folder), outcome, options));
        }
    }
}

int main(int argc, char** argv)
{
    std::vector<std::string> arguments = GetArguments(argc, argv);
    std::vector<char*> words;
    for (std::string& argument : arguments)
        words.push_back(&argument[0]);
    CliOptions options;
    std::string error;
    if (!ParseArguments(static_cast<int>(words.size()), words.data(), options, error)) {
        WriteText(stderr, "duridodi: " + error + "\nTry 'duridodi --help' for more information.\n");
        return 2;
    }
    if (options.help) {
        std::fputs(kUsageText, stdout);
        return 0;
    }
    if (options.version) {
        std::puts(kProductTitle);
        return 0;
    }

    BatchTotals totals;
    const ModelList list = ListInputs(options, totals);
    Progress progress;
    StartProgress(progress);
    const std::size_t count = list.models.size();
    std::error_code noFolder;
    const std::string folder = PathText(fs::current_path(noFolder));
    const SharedOutputs shared = FindSharedOutputs(list, folder);
    // An outcome lives from its conversion until it is printed. Outcomes are printed in the order
    // of the files, between the calling thread's own conversions, so a batch holds those converted
    // since the last file printed.
    std::vector<std::unique_ptr<FileOutcome>> outcomes(count);
    std::atomic<std::size_t> filesDone{0};
    std::atomic<std::uint64_t> bytesDone{0};
    // A map's models are spread over the workers when the files are not: one worker per file
    // already keeps every processor busy.
    const int fileWorkers = shared.inputWritten ? 1 : CountWorkers(options, count);
    const int mapWorkers = fileWorkers > 1 ? 1 : options.jobs > 0 ? options.jobs : ProcessorCount();
    const auto convertModel = [&](std::size_t index) {
        std::unique_ptr<FileOutcome> outcome(new FileOutcome);
        ConvertOne(PathText(list.models[index]), options, mapWorkers, *outcome);
        const bool converted = outcome->failure.empty();
        bytesDone += outcome->bytesIn;
        outcomes[index] = std::move(outcome);
        ++filesDone;
        return converted;
    };
    const auto refuseModel = [&](std::size_t index, std::size_t writer) {
        std::unique_ptr<FileOutcome> outcome(new FileOutcome);
        const std::string input = PathText(list.models[index]);
        outcome->outputPath = MakeOutputName(input.c_str());
        outcome->check = InputCheck::OutputTaken;
        outcome->failure =
            DescribeTakenOutput(QuoteName(outcome->outputPath), QuoteName(PathText(list.models[writer])));
        outcomes[index] = std::move(outcome);
        ++filesDone;
    };
    // The models of one output are converted in turn by the worker that takes the first of them,
    // which fills the outcomes of the others: each is printed after the first, so after them.
    const auto convert = [&](std::size_t index) {
        if (shared.follows[index])
            return;
        if (shared.next[index] == kNoModel)
            convertModel(index);
        else
            ConvertSharingModels(list, shared, index, folder, convertModel, refuseModel);
    };
    std::size_t unreadablePrinted = 0;
    const auto take = [&](std::size_t index) {
        const FileOutcome& outcome = *outcomes[index];
        PrintUnreadableBefore(list, index, unreadablePrinted, options, progress);
        // The progress line makes way only for a line that is printed, so that it does not flicker.
        if (!outcome.failure.empty() || outcome.unmeasured || !options.quiet || options.json ||
            !outcome.map.models.empty())
            ClearProgress(progress);
        PrintOutcome(PathText(list.models[index]), outcome, options);
        AddToTotals(outcome, totals);
        outcomes[index].reset();
        UpdateProgress(progress, filesDone, count, bytesDone);
    };
    ConvertInOrder(count, fileWorkers, convert, take);
    ClearProgress(progress);
    PrintUnreadableBefore(list, count, unreadablePrinted, options, progress);
    if (options.json)
        WriteText(stdout, SummaryJsonLine(totals, options));
    else if (!options.quiet && (options.recursive || options.dryRun || options.stats))
        PrintSummary(totals, options);
    return totals.failed == 0 && totals.unmeasured == 0 && totals.mapModelsKept == 0 ? 0 : 1;
}
