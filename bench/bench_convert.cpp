// The command-line tool's speed against a plain copy, with models from the project's model maker.
//
//   duridodi-bench [MB] [DIR]          a geometry-heavy and an animation-heavy model of about MB
//                                      megabytes (256 by default): duridodi -o, also with other
//                                      bits and rounding, against cp and against dd with the
//                                      tool's own block size: the honest floor for a program that
//                                      reads a file to change it, where cp copies inside the kernel
//   duridodi-bench batch [DIR] [COUNT] a tree of COUNT models like a game's (4,000 by default):
//                                      duridodi -r -q -j 1 and with its default workers against
//                                      cp -rT
//   duridodi-bench map [DIR] [MB]      a map of about MB megabytes (100 by default), half of it in
//                                      models: duridodi -o with -j 1 and its default workers
//                                      against cp and against unpacking every file with smpq -x;
//                                      then where one worker's time goes (reading and inflating,
//                                      reducing, deflating at level 9), measured in this process
//
// Every program overwrites the outputs of an earlier run, as a real run would. The programs take
// turns, round after round, so that a machine busy with other work slows each about as much; each
// figure is the median of kRounds rounds after one that is not counted, and the spread of the
// rounds says how noisy the machine was. The peak resident memory is the tool's whole process.

#include "stream_io.h"

#include "archive_convert.h"
#include "mpq_crypt.h"
#include "mpq_pack.h"
#include "mpq_read.h"
#include "mpq_sectors.h"
#include "named_files.h"

#include "model_convert.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 9;

struct RunFigures {
    double seconds;
    long peakKilobytes;
};

// What the measurement in progress has written: removed when a run fails, so that a failed
// benchmark does not leave a gigabyte behind in /dev/shm.
std::vector<fs::path> g_written;

// Runs a program to its end; returns its wall time and peak resident memory, or removes what
// g_written names and exits on failure.
RunFigures RunProgram(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // Dirty pages of the run before are written back first, so that no run pays for another's.
    sync();
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    wait4(child, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "duridodi-bench: %s failed\n", arguments[0].c_str());
        std::error_code error;
        for (const fs::path& path : g_written)
            fs::remove_all(path, error);
        std::exit(1);
    }
    return {seconds, usage.ru_maxrss};
}

// The times of one program over the rounds, and its highest peak memory.
struct Series {
    std::string name;
    std::vector<std::string> arguments;
    std::vector<double> seconds;
    long peakKilobytes = 0;
};

// Runs every program once to leave its outputs, then kRounds rounds of all of them in turn.
void RunInTurns(std::vector<Series>& programs)
{
    for (Series& program : programs)
        RunProgram(program.arguments);
    for (int round = 0; round < kRounds; ++round) {
        for (Series& program : programs) {
            const RunFigures figures = RunProgram(program.arguments);
            program.seconds.push_back(figures.seconds);
            program.peakKilobytes = std::max(program.peakKilobytes, figures.peakKilobytes);
        }
    }
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The median of the rounds' own ratios of reference's time to program's: a machine that slows down
// or speeds up between rounds moves it less than the ratio of the two medians.
double PairedSpeed(const Series& reference, const Series& program)
{
    std::vector<double> ratios;
    for (std::size_t round = 0; round < program.seconds.size(); ++round)
        ratios.push_back(reference.seconds[round] / program.seconds[round]);
    return Median(ratios);
}

// One line per program: median, spread, throughput, speed against the first (the copy) as the
// ratio of the medians and paired, the paired speed against the references given (by index),
// and the peak memory of the tool, in all and per worker.
void PrintSeries(const std::vector<Series>& programs, double megabytes, const std::vector<int>& workers,
                 const std::vector<std::size_t>& references = {})
{
    const double copySeconds = Median(programs[0].seconds);
    std::printf("  %-38s %8s %17s %8s %7s %7s", "", "median", ("spread (" + std::to_string(kRounds) + " runs)").c_str(),
                "MB/s", "speed", "paired");
    for (const std::size_t reference : references)
        std::printf(" %10s", ("/" + programs[reference].name.substr(0, programs[reference].name.find(' '))).c_str());
    std::printf("  %s\n", "peak memory");
    for (std::size_t index = 0; index < programs.size(); ++index) {
        const Series& program = programs[index];
        const double median = Median(program.seconds);
        const auto [low, high] = std::minmax_element(program.seconds.begin(), program.seconds.end());
        std::printf("  %-38s %7.3fs %7.3fs-%7.3fs %8.1f %6.2fx %6.2fx", program.name.c_str(), median, *low, *high,
                    megabytes / median, copySeconds / median, PairedSpeed(programs[0], program));
        for (const std::size_t reference : references)
            std::printf(" %9.3fx", PairedSpeed(programs[reference], program));
        if (workers[index] > 0)
            std::printf("  %.1f MB, %.1f MB per worker", program.peakKilobytes / 1024.0,
                        program.peakKilobytes / 1024.0 / workers[index]);
        std::printf("\n");
    }
}

double MegabytesOf(const fs::path& path)
{
    std::uintmax_t bytes = 0;
    if (fs::is_directory(path)) {
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(path))
            bytes += entry.is_regular_file() ? entry.file_size() : 0;
    } else {
        bytes = fs::file_size(path);
    }
    return static_cast<double>(bytes) / (1 << 20); // megabytes as the model maker counts them
}

void MeasureModel(const char* kind, const std::string& megabytesText, const fs::path& directory)
{
    const std::string input = (directory / ("bench_" + std::string(kind) + ".mdx")).string();
    const std::string output = (directory / ("bench_" + std::string(kind) + "_dezavivi.mdx")).string();
    const std::string copy = (directory / ("bench_" + std::string(kind) + "_copy.mdx")).string();
    g_written = {input, output, copy};
    RunProgram({DURIDODI_MAKE_MODEL, kind, input, megabytesText});
    const std::string blockSize = "bs=" + std::to_string(kBlockSize / 1024) + "K";
    const auto tool = [&](std::vector<std::string> options) {
        options.insert(options.begin(), DURIDODI_TOOL);
        options.insert(options.end(), {"-q", "-o", output, input});
        return options;
    };
    std::vector<Series> programs = {
        {"cp", {"/bin/cp", input, copy}, {}, 0},
        {"dd " + blockSize, {"/bin/dd", "if=" + input, "of=" + copy, blockSize, "status=none"}, {}, 0},
        {"duridodi -o", tool({}), {}, 0},
        {"--round", tool({"--round"}), {}, 0},
        {"--keep-bits 20,texture_coordinates=24", tool({"--keep-bits", "20,texture_coordinates=24"}), {}, 0},
        {"--keep-bits 24 --round", tool({"--keep-bits", "24", "--round"}), {}, 0},
    };
    RunInTurns(programs);
    const double megabytes = MegabytesOf(input);
    std::printf("%s model, %.1f MB, in %s\n", kind, megabytes, directory.c_str());
    PrintSeries(programs, megabytes, {0, 0, 1, 1, 1, 1}, {1, 2});
    fs::remove(input);
    fs::remove(output);
    fs::remove(copy);
}

void MeasureBatch(const fs::path& directory, const std::string& count)
{
    const fs::path root = directory / "duridodi-bench-batch";
    const std::string models = (root / "models").string();
    const std::string work = (root / "work").string();
    const std::string copy = (root / "copy").string();
    fs::remove_all(root);
    g_written = {root};
    RunProgram({DURIDODI_MAKE_MODEL, "batch", models, count});
    // The tool writes its outputs beside its inputs, so it converts a copy of the tree, and cp
    // copies a tree that holds no outputs.
    RunProgram({"/bin/cp", "-r", models, work});
    const int workers = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<Series> programs = {
        {"cp -rT", {"/bin/cp", "-rT", models, copy}, {}, 0},
        {"duridodi -r -q -j 1", {DURIDODI_TOOL, "-r", "-q", "-j", "1", work}, {}, 0},
        {"duridodi -r -q (" + std::to_string(workers) + " workers)", {DURIDODI_TOOL, "-r", "-q", work}, {}, 0},
    };
    RunInTurns(programs);
    const double megabytes = MegabytesOf(models);
    std::printf("batch of %s models, %.1f MB, in %s\n", count.c_str(), megabytes, root.c_str());
    PrintSeries(programs, megabytes, {0, 1, workers});
    fs::remove_all(root);
}

// Seconds spent by one thread on each step of a map's models, and the largest model.
struct MapSteps {
    double read = 0;    // reading and inflating the sectors
    double reduce = 0;  // the core's conversion in memory
    double deflate = 0; // packing again: every sector deflated at level 9
    std::size_t models = 0;
    std::size_t largest = 0;
    std::uint64_t modelBytes = 0;
    std::uint64_t packedBytes = 0;
};

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Times the steps the tool takes for each model of the map at path, one model after another, as
// the library does them. Returns false when the map cannot be read.
bool TimeMapSteps(const fs::path& path, MapSteps& steps)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    Archive archive;
    ReadError error;
    if (file == nullptr || !ReadArchive(file, archive, error)) {
        std::fprintf(stderr, "duridodi-bench: cannot read %s: %s\n", path.c_str(), error.reason.c_str());
        if (file != nullptr)
            std::fclose(file);
        return false;
    }
    std::vector<std::string> names;
    for (std::size_t slot : FindSlots(archive, "(listfile)")) {
        if (archive.hashes[slot].block >= archive.blocks.size())
            continue;
        const BlockEntry& block = archive.blocks[archive.hashes[slot].block];
        std::string content;
        if (ReadFileContent(file, archive, block, FileKey("(listfile)", block.flags, block.offset, block.realSize),
                            content, error))
            names = SplitListfile(content);
    }
    const std::vector<std::string> blockNames = NameBlocks(archive, names);
    for (std::size_t i = 0; i < archive.blocks.size(); ++i) {
        const BlockEntry& block = archive.blocks[i];
        if (!HoldsFile(block) || !HasModelName(blockNames[i]))
            continue;
        std::string content;
        auto start = std::chrono::steady_clock::now();
        const std::uint32_t key = FileKey(blockNames[i], block.flags, block.offset, block.realSize);
        if (!ReadFileContent(file, archive, block, key, content, error))
            continue;
        steps.read += SecondsSince(start);
        start = std::chrono::steady_clock::now();
        std::istringstream source(content);
        std::ostringstream sink;
        ConversionReport report;
        ConvertModelStream(source, sink, report);
        const std::string reduced = sink.str();
        steps.reduce += SecondsSince(start);
        start = std::chrono::steady_clock::now();
        const PackedFile packed = PackFile(reduced, block.flags, archive.sectorSize);
        steps.deflate += SecondsSince(start);
        ++steps.models;
        steps.largest = std::max(steps.largest, content.size());
        steps.modelBytes += content.size();
        steps.packedBytes += packed.bytes.size();
    }
    std::fclose(file);
    return true;
}

void MeasureMap(const fs::path& directory, const std::string& megabytesText)
{
    const fs::path root = directory / "duridodi-bench-map";
    const fs::path map = root / "bench.w3x";
    const fs::path unpacked = root / "unpacked";
    fs::remove_all(root);
    fs::create_directories(unpacked);
    g_written = {root};
    RunProgram({DURIDODI_MAKE_MODEL, "map", map.string(), "1", megabytesText});
    const int workers = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const std::string output = (root / "bench_dezavivi.w3x").string();
    std::vector<Series> programs = {
        {"cp", {"/bin/cp", map.string(), (root / "copy.w3x").string()}, {}, 0},
        {"smpq -x (every file)", {"/bin/sh", "-c", "cd \"$0\" && exec smpq -x -f -q \"$1\"", unpacked.string(),
                                  map.string()}, {}, 0},
        {"duridodi -o -j 1", {DURIDODI_TOOL, "-q", "-j", "1", "-o", output, map.string()}, {}, 0},
        {"duridodi -o (" + std::to_string(workers) + " workers)", {DURIDODI_TOOL, "-q", "-o", output, map.string()},
         {}, 0},
    };
    RunInTurns(programs);
    const double megabytes = MegabytesOf(map);
    std::printf("map of %.1f MB (%.1f MB after), in %s\n", megabytes, MegabytesOf(output), root.c_str());
    PrintSeries(programs, megabytes, {0, 0, 1, workers});

    MapSteps steps;
    if (TimeMapSteps(map, steps)) {
        const double total = steps.read + steps.reduce + steps.deflate;
        std::printf("  one worker's steps over %zu models (%.1f MB, packed %.1f MB): read and inflate %.2fs, "
                    "reduce %.2fs, deflate at level 9 %.2fs (%.0f%% of the three)\n",
                    steps.models, steps.modelBytes / 1048576.0, steps.packedBytes / 1048576.0, steps.read,
                    steps.reduce, steps.deflate, 100.0 * steps.deflate / total);
        // The library holds a model and its packed copy per worker, and bounded buffers besides.
        const double budget = 2.0 * steps.largest / 1048576.0 + 16.0 * workers;
        std::printf("  memory budget: largest model %.1f MB x 2 + 16 MB per worker = %.1f MB with %d workers, "
                    "%.1f MB with 1; peaks above: %.1f MB and %.1f MB\n",
                    steps.largest / 1048576.0, budget, workers, 2.0 * steps.largest / 1048576.0 + 16.0,
                    programs[3].peakKilobytes / 1024.0, programs[2].peakKilobytes / 1024.0);
    }
    fs::remove_all(root);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string first = argc > 1 ? argv[1] : "256";
    if (first == "map") {
        MeasureMap(argc > 2 ? argv[2] : ".", argc > 3 ? argv[3] : "100");
        return 0;
    }
    if (first == "batch") {
        const std::string count = argc > 3 ? argv[3] : "4000";
        MeasureBatch(argc > 2 ? argv[2] : ".", count);
        return 0;
    }
    if (std::atoi(first.c_str()) <= 0) {
        std::fprintf(stderr, "usage: duridodi-bench [MB] [DIR] | duridodi-bench batch [DIR] [COUNT] | "
                             "duridodi-bench map [DIR] [MB]\n");
        return 2;
    }
    const fs::path directory = argc > 2 ? argv[2] : ".";
    MeasureModel("geometry", first, directory);
    MeasureModel("animation", first, directory);
    return 0;
}
