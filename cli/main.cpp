// duridodi: the command-line tool. Converts models named on the command line or found in
// folders, one line per file, a summary for batches, exit status 0 / 1 / 2.

#include "cli_options.h"
#include "json_report.h"
#include "measuring_sink.h"
#include "outcome.h"
#include "platform.h"
#include "progress.h"
#include "quoted_name.h"
#include "value_changes.h"
#include "worker_threads.h"
#include "workers.h"

#include "model_path.h"
#include "model_walk.h"

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
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

// Walks the input into a sink that keeps nothing; with stats the sink deflates what the
// output would be. Fills outcome as a real conversion would.
static void DryRunOne(const fs::path& input, int stats, FileOutcome& outcome)
{
    std::ifstream source(input, std::ios::binary);
    if (!source.is_open()) {
        outcome.report.kind = FailureKind::CannotOpen;
        outcome.failure = "cannot open the input";
        return;
    }
    MeasuringSink measure(stats);
    std::ostream sink(&measure);
    if (!ConvertModelStream(source, sink, outcome.report)) {
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
static void WriteOne(const fs::path& inputFile, const fs::path& outputFile, int stats, FileOutcome& outcome)
{
    if (!ConvertModelWithReport(inputFile, outputFile, outcome.report)) {
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

// Converts one input (or, with --dry-run, walks it) and fills outcome. sharedWith names the
// earlier input of this run that writes the same output, if any.
static void ConvertOne(const std::string& input, const std::string& sharedWith, const CliOptions& options,
                       FileOutcome& outcome)
{
    const fs::path inputFile = FilePath(input);
    const FileFacts facts = LookAtFile(inputFile);
    if (facts.isFolder) {
        outcome.check = InputCheck::IsAFolder;
        outcome.failure = "is a folder (use -r to convert the models in it)";
        return;
    }
    if (!HasModelExtension(input.c_str())) {
        outcome.check = InputCheck::NotMdxName;
        outcome.failure = "not an .mdx file (the name must end in .mdx)";
        return;
    }
    outcome.outputPath = options.outputPath.empty() ? MakeOutputName(input.c_str()) : options.outputPath;
    if (!sharedWith.empty()) {
        outcome.check = InputCheck::OutputTaken;
        outcome.failure = "its output " + QuoteName(outcome.outputPath) + " is written by " + QuoteName(sharedWith) +
                          " in this run";
        return;
    }
    // By identity, so that another name of the input (a hard link, a symbolic link, a
    // different spelling of the path) cannot make the copy replace it.
    const fs::path outputFile = FilePath(outcome.outputPath);
    if (facts.exists && IsSameFile(facts, LookAtFile(outputFile))) {
        outcome.check = InputCheck::SameAsInput;
        outcome.failure = "the output " + QuoteName(outcome.outputPath) + " is the input file itself";
        return;
    }
    outcome.bytesIn = facts.size;
    // --round and --stats ask the conversion for more than plain truncation; the mode lives no
    // longer than this call.
    ReductionMode mode;
    mode.rounding = options.round ? Rounding::Nearest : Rounding::TowardZero;
    mode.observe = options.stats ? ObserveValueChanges : nullptr;
    mode.context = &outcome.changes;
    outcome.report.mode = options.round || options.stats ? &mode : nullptr;
    if (options.dryRun)
        DryRunOne(inputFile, options.stats, outcome);
    else
        WriteOne(inputFile, outputFile, options.stats, outcome);
    outcome.report.mode = nullptr;
}

// A name as the system compares it, held as its hash beside the model it comes from: a batch of
// a hundred thousand models would hold tens of megabytes in the names themselves. Names whose
// hashes meet are made again and compared, which only a few are.
struct NameKey {
    std::size_t hash;
    std::size_t index;
    bool operator<(const NameKey& other) const
    {
        return hash != other.hash ? hash < other.hash : index < other.index;
    }
};

// The comparable names of each model's input and of its output, each list sorted by hash;
// models whose names do not end in ".mdx" have no output and are left out.
static void SortNameKeys(const ModelList& list, const std::string& folder, std::vector<NameKey>& inputs,
                         std::vector<NameKey>& outputs)
{
    for (std::size_t index = 0; index < list.models.size(); ++index) {
        const std::string input = PathText(list.models[index]);
        if (!HasModelExtension(input.c_str()))
            continue;
        inputs.push_back({std::hash<std::string>()(ComparableName(input, folder)), index});
        outputs.push_back({std::hash<std::string>()(ComparableName(MakeOutputName(input.c_str()), folder)), index});
    }
    std::sort(inputs.begin(), inputs.end());
    std::sort(outputs.begin(), outputs.end());
}

// For each model of the list, the index of the earlier model that writes the same output
// (compared as the system compares names), or kNoWriter: the first of two inputs with one
// output converts, the later one is refused, whatever order the workers finish in.
// inputWritten is set when one input is the output of another, which then must be converted in
// the order given.
constexpr std::size_t kNoWriter = static_cast<std::size_t>(-1);
static std::vector<std::size_t> FindSharedOutputs(const ModelList& list, bool& inputWritten)
{
    std::vector<std::size_t> sharedWith(list.models.size(), kNoWriter);
    std::error_code error;
    const std::string folder = PathText(fs::current_path(error));
    const auto outputOf = [&](std::size_t index) {
        return ComparableName(MakeOutputName(PathText(list.models[index]).c_str()), folder);
    };
    std::vector<NameKey> inputs;
    std::vector<NameKey> outputs;
    SortNameKeys(list, folder, inputs, outputs);
    for (std::size_t first = 0, end = 0; first < outputs.size(); first = end) {
        for (end = first + 1; end < outputs.size() && outputs[end].hash == outputs[first].hash; ++end) {
        }
        if (end - first == 1)
            continue;
        // Models of one hash, in the order given: the first to name an output claims it.
        std::map<std::string, std::size_t> writers;
        for (std::size_t key = first; key < end; ++key) {
            const std::size_t index = outputs[key].index;
            const auto claim = writers.emplace(outputOf(index), index);
            if (claim.second)
                continue;
            // A folder named like a model fails and writes nothing: the output is the next input's.
            const fs::path earlier = FilePath(PathText(list.models[claim.first->second]));
            if (fs::is_directory(earlier, error))
                claim.first->second = index;
            else
                sharedWith[index] = claim.first->second;
        }
    }
    inputWritten = false;
    for (std::size_t key = 0, in = 0; key < outputs.size() && !inputWritten; ++key) {
        for (; in < inputs.size() && inputs[in].hash < outputs[key].hash; ++in) {
        }
        for (std::size_t meet = in; meet < inputs.size() && inputs[meet].hash == outputs[key].hash; ++meet) {
            if (ComparableName(PathText(list.models[inputs[meet].index]), folder) == outputOf(outputs[key].index))
                inputWritten = true;
        }
    }
    return sharedWith;
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
}

static void PrintSummary(const BatchTotals& totals, const CliOptions& options)
{
    std::string line = "summary: " + std::to_string(totals.converted) + " converted, " +
                       std::to_string(totals.failed) + " failed, " + std::to_string(totals.skipped) + " skipped; " +
                       std::to_string(totals.bytesIn) + " bytes in, " + std::to_string(totals.floatsReduced) +
                       " floats reduced";
    if (options.stats)
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
        std::error_code error;
        if (options.recursive && fs::is_directory(FilePath(input), error))
            CollectModels(PathFromText(input), list);
        else if (options.recursive && !fs::exists(FilePath(input), error) && !error)
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
    bool inputWritten = false;
    const std::vector<std::size_t> sharedWith = FindSharedOutputs(list, inputWritten);
    // An outcome lives from its conversion until it is printed. Outcomes are printed in the order
    // of the files, between the calling thread's own conversions, so a batch holds those converted
    // since the last file printed.
    std::vector<std::unique_ptr<FileOutcome>> outcomes(count);
    std::atomic<std::size_t> filesDone{0};
    std::atomic<std::uint64_t> bytesDone{0};
    const auto convert = [&](std::size_t index) {
        std::unique_ptr<FileOutcome> outcome(new FileOutcome);
        const std::size_t writer = sharedWith[index];
        ConvertOne(PathText(list.models[index]), writer == kNoWriter ? std::string() : PathText(list.models[writer]),
                   options, *outcome);
        bytesDone += outcome->bytesIn;
        outcomes[index] = std::move(outcome);
        ++filesDone;
    };
    std::size_t unreadablePrinted = 0;
    const auto take = [&](std::size_t index) {
        const FileOutcome& outcome = *outcomes[index];
        PrintUnreadableBefore(list, index, unreadablePrinted, options, progress);
        // The progress line makes way only for a line that is printed, so that it does not flicker.
        if (!outcome.failure.empty() || outcome.unmeasured || !options.quiet || options.json)
            ClearProgress(progress);
        PrintOutcome(PathText(list.models[index]), outcome, options);
        AddToTotals(outcome, totals);
        outcomes[index].reset();
        UpdateProgress(progress, filesDone, count, bytesDone);
    };
    ConvertInOrder(count, inputWritten ? 1 : CountWorkers(options, count), convert, take);
    ClearProgress(progress);
    PrintUnreadableBefore(list, count, unreadablePrinted, options, progress);
    if (options.json)
        WriteText(stdout, SummaryJsonLine(totals, options));
    else if (!options.quiet && (options.recursive || options.dryRun || options.stats))
        PrintSummary(totals, options);
    return totals.failed == 0 && totals.unmeasured == 0 ? 0 : 1;
}
