// Generates a geometry-heavy and an animation-heavy model of about MB megabytes each with the
// project's model maker, then times the command-line tool converting each against `cp` of the
// same file, and reports the tool's peak resident memory. Each time is the best of five runs.

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct RunFigures {
    double seconds;
    long peakKilobytes;
};

// Runs a program to its end; returns its wall time and peak resident memory, or exits on failure.
RunFigures RunProgram(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
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
        std::exit(1);
    }
    return {seconds, usage.ru_maxrss};
}

// Runs the program five times and keeps its best time and its highest peak memory. The output
// is removed and dirty pages are written back before each run: replacing a file, or writing while
// the system flushes an earlier run's data, costs more than writing a new file on a quiet disk,
// and every program measured should pay the same.
RunFigures BestOfFive(const std::vector<std::string>& arguments, const std::string& output)
{
    RunFigures best = {1e9, 0};
    for (int run = 0; run < 5; ++run) {
        std::remove(output.c_str());
        sync();
        const RunFigures figures = RunProgram(arguments);
        best.seconds = std::min(best.seconds, figures.seconds);
        best.peakKilobytes = std::max(best.peakKilobytes, figures.peakKilobytes);
    }
    return best;
}

void Measure(const char* kind, const std::string& megabytesText, const std::string& directory)
{
    const std::string input = directory + "/bench_" + kind + ".mdx";
    const std::string output = directory + "/bench_" + kind + "_dezavivi.mdx";
    const std::string copy = directory + "/bench_" + kind + "_copy.mdx";
    RunProgram({DURIDODI_MAKE_MODEL, kind, input, megabytesText});
    struct stat info = {};
    stat(input.c_str(), &info);
    const double megabytes = static_cast<double>(info.st_size) / (1024 * 1024);

    const RunFigures copied = BestOfFive({"/bin/cp", input, copy}, copy);
    const RunFigures converted = BestOfFive({DURIDODI_TOOL, "-q", "-o", output, input}, output);
    std::printf("%-10s %8.1f MB  convert %7.1f MB/s  cp %7.1f MB/s  ratio %.2f  peak memory %.1f MB\n", kind,
                megabytes, megabytes / converted.seconds, megabytes / copied.seconds,
                copied.seconds / converted.seconds, converted.peakKilobytes / 1024.0);
    std::remove(input.c_str());
    std::remove(output.c_str());
    std::remove(copy.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    const std::string megabytes = argc > 1 ? argv[1] : "256";
    const std::string directory = argc > 2 ? argv[2] : ".";
    if (std::atoi(megabytes.c_str()) <= 0) {
        std::fprintf(stderr, "usage: duridodi-bench [MB] [DIR]\n");
        return 2;
    }
    Measure("geometry", megabytes, directory);
    Measure("animation", megabytes, directory);
    return 0;
}
