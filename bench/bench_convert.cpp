// Generates a geometry-heavy and an animation-heavy model of about MB megabytes each, then times
// the command-line tool converting each against `cp` of the same file, and reports the tool's
// peak resident memory. Each figure is the best of three runs.

#include "model_writer.h"
#include "model_tags.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

RunFigures BestOfThree(const std::vector<std::string>& arguments)
{
    RunFigures best = RunProgram(arguments);
    for (int run = 1; run < 3; ++run) {
        const RunFigures figures = RunProgram(arguments);
        best.seconds = std::min(best.seconds, figures.seconds);
        best.peakKilobytes = std::max(best.peakKilobytes, figures.peakKilobytes);
    }
    return best;
}

// A few huge geosets: nearly all of the file is vertex data, faces and texture coordinates.
ModelSpec MakeGeometrySpec(double megabytes)
{
    ModelSpec spec = FullModelSpec(800);
    ChunkSpec geosets;
    geosets.kind = ChunkSpec::Geosets;
    const int geosetCount = 4;
    // Per vertex: position, normal (24), one face index triple share (6), group (1), two UV floats (8).
    const auto vertices = static_cast<std::int32_t>(megabytes * 1024 * 1024 / geosetCount / 39);
    for (int i = 0; i < geosetCount; ++i) {
        GeosetSpec geoset;
        geoset.vertexCount = vertices;
        geoset.faceIndexCount = vertices;
        geoset.vertexGroupCount = vertices;
        geoset.extentCount = 40;
        geosets.geosets.push_back(geoset);
    }
    spec.chunks.push_back(geosets);
    return spec;
}

// Many bones and helpers with long tracks of every kind and interpolation type.
ModelSpec MakeAnimationSpec(double megabytes)
{
    ModelSpec spec = FullModelSpec(800);
    NodeSpec node;
    const std::int32_t tags[] = {kTagTranslation, kTagRotation, kTagScaling};
    for (std::int32_t tag : tags) {
        for (std::int32_t interpolation = 0; interpolation < 4; ++interpolation)
            node.tracks.push_back({tag, interpolation, 200});
    }
    // Roughly 200 keys * 12 tracks * 36 bytes on average per node.
    const auto nodes = static_cast<int>(megabytes * 1024 * 1024 / (200 * 12 * 36));
    ChunkSpec bones;
    bones.kind = ChunkSpec::Bones;
    ChunkSpec helpers;
    helpers.kind = ChunkSpec::Helpers;
    for (int i = 0; i < nodes; ++i)
        (i % 2 ? helpers : bones).nodes.push_back(node);
    spec.chunks.push_back(bones);
    spec.chunks.push_back(helpers);
    return spec;
}

void Measure(const char* label, const ModelSpec& spec, const std::string& directory)
{
    const std::string input = directory + "/bench_" + label + ".mdx";
    const std::string output = directory + "/bench_" + label + "_dezavivi.mdx";
    const std::string copy = directory + "/bench_" + label + "_copy.mdx";
    {
        std::ofstream file(input, std::ios::binary | std::ios::trunc);
        StreamModel(spec, file, 7);
    }
    struct stat info = {};
    stat(input.c_str(), &info);
    const double megabytes = static_cast<double>(info.st_size) / (1024 * 1024);

    const RunFigures copied = BestOfThree({"/bin/cp", input, copy});
    const RunFigures converted = BestOfThree({DURIDODI_TOOL, "-q", "-o", output, input});
    std::printf("%-10s %8.1f MB  convert %7.1f MB/s  cp %7.1f MB/s  ratio %.2f  peak memory %.1f MB\n", label,
                megabytes, megabytes / converted.seconds, megabytes / copied.seconds,
                copied.seconds / converted.seconds, converted.peakKilobytes / 1024.0);
    std::remove(input.c_str());
    std::remove(output.c_str());
    std::remove(copy.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 256;
    const std::string directory = argc > 2 ? argv[2] : ".";
    if (megabytes <= 0) {
        std::fprintf(stderr, "usage: duridodi-bench [MB] [DIR]\n");
        return 2;
    }
    Measure("geometry", MakeGeometrySpec(megabytes), directory);
    Measure("animation", MakeAnimationSpec(megabytes), directory);
    return 0;
}
