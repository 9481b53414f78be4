// duridodi-make-model: writes a model made by the model oracle.
//
//   duridodi-make-model sample OUT             the bundled sample (every structure, version 800)
//   duridodi-make-model full OUT VERSION       every structure, in the layout of VERSION
//   duridodi-make-model random OUT SEED [VERSION]
//   duridodi-make-model geometry OUT MB        geosets of up to 65,535 vertices, about MB megabytes
//   duridodi-make-model animation OUT MB       many bones and helpers with long tracks, about MB megabytes
//
// Prints nothing on success; on failure one line on stderr and exit status 1.

#include "model_oracle.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// The largest model it makes: every chunk size must stay a signed 32-bit value.
constexpr long long kMaxMegabytes = 1800;
constexpr std::int64_t kMegabyte = 1 << 20;

int Fail(const std::string& message)
{
    std::fprintf(stderr, "duridodi-make-model: %s\n", message.c_str());
    return 1;
}

int Usage()
{
    return Fail("usage: duridodi-make-model sample OUT | full OUT VERSION | random OUT SEED [VERSION] | "
                "geometry OUT MB | animation OUT MB");
}

// Parses a whole decimal argument within [low, high]; returns 0 on failure.
int ParseNumber(const char* text, long long low, long long high, long long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && errno == 0 && value >= low && value <= high;
}

// Geosets of about MB megabytes together, each vertex with a position, a normal, one texture
// coordinate pair, a vertex group and two triangles' share of face indices. Face indices are
// 16-bit, so no geoset has more than 65,535 vertices; and a geoset at a time is all that is held
// while the model is written.
ModelSpec GeometrySpec(long long megabytes)
{
    constexpr std::int64_t kMaxVertices = 65535;
    const auto geoset = [](std::int64_t vertices) {
        GeosetSpec spec;
        spec.vertexCount = static_cast<std::int32_t>(vertices);
        spec.faceIndexCount = static_cast<std::int32_t>(vertices * 6);
        spec.vertexGroupCount = static_cast<std::int32_t>(vertices);
        spec.extentCount = 12;
        return spec;
    };
    ModelSpec sizing;
    sizing.chunks.resize(1);
    sizing.chunks[0].kind = ChunkSpec::Geosets;
    sizing.chunks[0].geosets.push_back(geoset(1024));
    const std::int64_t bytesPerVertex = static_cast<std::int64_t>(WriteModel(sizing).bytes.size()) / 1024;

    ModelSpec description;
    ChunkSpec header;
    header.tag = TagOf("MODL");
    header.size = 372;
    description.chunks.push_back(header);
    ChunkSpec geosets;
    geosets.kind = ChunkSpec::Geosets;
    for (std::int64_t left = megabytes * kMegabyte / bytesPerVertex; left > 0; left -= kMaxVertices)
        geosets.geosets.push_back(geoset(std::min(left, kMaxVertices)));
    description.chunks.push_back(geosets);
    return description;
}

// Bones and helpers of about MB megabytes together, each node with translation, rotation and
// scaling tracks of a few hundred to a few thousand keys, every interpolation type in turn.
ModelSpec AnimationSpec(long long megabytes)
{
    ModelSpec description;
    ChunkSpec bones;
    bones.kind = ChunkSpec::Bones;
    ChunkSpec helpers;
    helpers.kind = ChunkSpec::Helpers;
    const std::int32_t kTags[] = {TagOf("KGTR"), TagOf("KGRT"), TagOf("KGSC")};
    std::int64_t total = 0;
    for (std::int32_t node = 0; total < megabytes * kMegabyte; ++node) {
        NodeSpec nodeSpec;
        for (std::int32_t t = 0; t < 3; ++t) {
            TrackSpec track;
            track.tag = kTags[t];
            track.interpolation = (node + t) % 4;
            track.keyCount = 300 + (node * 37 + t * 101) % 1700;
            total += track.keyCount * KeySize(track.tag, track.interpolation); // the keys are nearly all of it
            nodeSpec.tracks.push_back(track);
        }
        (node % 2 == 0 ? bones : helpers).nodes.push_back(nodeSpec);
    }
    description.chunks.push_back(bones);
    description.chunks.push_back(helpers);
    return description;
}

int WriteBytes(const std::string& bytes, const char* path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return Fail(std::string("cannot create ") + path);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        return Fail(std::string("cannot write ") + path);
    return 0;
}

int StreamBytes(const ModelSpec& description, const char* path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return Fail(std::string("cannot create ") + path);
    StreamModel(description, out);
    out.close();
    if (!out)
        return Fail(std::string("cannot write ") + path);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return Usage();
    const std::string kind = argv[1];
    const char* path = argv[2];
    long long number = 0;
    long long version = 800;

    if (kind == "sample" && argc == 3)
        return WriteBytes(WriteModel(FullModelSpec(800)).bytes, path);
    if (kind == "full" && argc == 4) {
        if (!ParseNumber(argv[3], 0, 0x7FFFFFFF, version))
            return Fail(std::string("not a version: ") + argv[3]);
        return WriteBytes(WriteModel(FullModelSpec(static_cast<std::int32_t>(version))).bytes, path);
    }
    if (kind == "random" && (argc == 4 || argc == 5)) {
        if (!ParseNumber(argv[3], 0, 0xFFFFFFFFLL, number))
            return Fail(std::string("not a seed: ") + argv[3]);
        if (argc == 5 && !ParseNumber(argv[4], 0, 0x7FFFFFFF, version))
            return Fail(std::string("not a version: ") + argv[4]);
        const std::uint32_t seed = static_cast<std::uint32_t>(number);
        return WriteBytes(WriteModel(RandomModelSpec(seed, static_cast<std::int32_t>(version)), seed).bytes, path);
    }
    if ((kind == "geometry" || kind == "animation") && argc == 4) {
        if (!ParseNumber(argv[3], 1, kMaxMegabytes, number))
            return Fail(std::string("size must be 1 to ") + std::to_string(kMaxMegabytes) + " MB: " + argv[3]);
        return StreamBytes(kind == "geometry" ? GeometrySpec(number) : AnimationSpec(number), path);
    }
    return Usage();
}
