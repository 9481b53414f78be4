// duridodi-make-model: writes a model made by the test model writer.
//
//   duridodi-make-model sample OUT             the bundled sample (every structure, version 800)
//   duridodi-make-model full OUT VERSION       every structure, in the layout of VERSION
//   duridodi-make-model random OUT SEED [VERSION]
//   duridodi-make-model geometry OUT MB        a few huge geosets, about MB megabytes
//   duridodi-make-model animation OUT MB       many bones and helpers with long tracks, about MB megabytes
//
// Prints nothing on success; on failure one line on stderr and exit status 1.

#include "model_writer.h"

#include "model_tags.h"

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

// A few geosets of about MB megabytes together. Per vertex: position and normal (24 bytes), one
// texture coordinate pair (8), a vertex group (1), and two triangles' share of face indices (12).
ModelSpec GeometrySpec(long long megabytes)
{
    constexpr int kGeosets = 4;
    constexpr std::int64_t kBytesPerVertex = 24 + 8 + 1 + 12;
    ModelSpec description;
    ChunkSpec geosets;
    geosets.kind = ChunkSpec::Geosets;
    const std::int64_t vertices = megabytes * kMegabyte / (kGeosets * kBytesPerVertex);
    for (int i = 0; i < kGeosets; ++i) {
        GeosetSpec geoset;
        geoset.vertexCount = static_cast<std::int32_t>(vertices);
        geoset.faceIndexCount = static_cast<std::int32_t>(vertices * 6);
        geoset.vertexGroupCount = static_cast<std::int32_t>(vertices);
        geoset.extentCount = 12;
        geosets.geosets.push_back(geoset);
    }
    ChunkSpec header;
    header.tag = TagFromLetters("MODL");
    header.size = 372;
    description.chunks.push_back(header);
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
    const std::int32_t kTags[] = {kTagTranslation, kTagRotation, kTagScaling};
    std::int64_t total = 0;
    for (std::int32_t node = 0; total < megabytes * kMegabyte; ++node) {
        NodeSpec nodeSpec;
        std::int64_t nodeBytes = 96;
        for (std::int32_t t = 0; t < 3; ++t) {
            TrackSpec track;
            track.tag = kTags[t];
            track.interpolation = (node + t) % 4;
            track.keyCount = 300 + (node * 37 + t * 101) % 1700;
            const std::int64_t components = track.tag == kTagRotation ? 4 : 3;
            const std::int64_t values = track.interpolation <= 1 ? 1 : 3;
            nodeBytes += 16 + track.keyCount * 4 * (values * components + 1);
            nodeSpec.tracks.push_back(track);
        }
        (node % 2 == 0 ? bones : helpers).nodes.push_back(nodeSpec);
        total += nodeBytes + (node % 2 == 0 ? 8 : 0);
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
