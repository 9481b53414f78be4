// duridodi-make-model: writes a model made by the model oracle.
//
//   duridodi-make-model sample OUT             the bundled sample (every structure, version 800)
//   duridodi-make-model full OUT VERSION       every structure, in the layout of VERSION
//   duridodi-make-model random OUT SEED [VERSION]
//   duridodi-make-model geometry OUT MB        geosets of up to 65,535 vertices, about MB megabytes
//   duridodi-make-model animation OUT MB       many bones and helpers with long tracks, about MB megabytes
//   duridodi-make-model batch DIR COUNT        COUNT models like a game's, 5 KB to 5 MB, in folders under DIR
//   duridodi-make-model lifelike OUT SEED      every structure (version 1000) with values of lifelike size:
//                                              what --stats reports on a real model
//   duridodi-make-model map OUT SEED [MB]      a map of about MB megabytes (100 by default), half of it
//                                              models as in a batch (200 in the 100 MB map)
//
// Prints nothing on success; on failure one line on stderr and exit status 1.

#include "generated_map.h"
#include "model_oracle.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
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
                "geometry OUT MB | animation OUT MB | batch DIR COUNT | lifelike OUT SEED | map OUT SEED [MB]");
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
ModelPlan GeometryPlan(long long megabytes)
{
    constexpr std::int64_t kMaxVertices = 65535;
    const auto geoset = [](std::int64_t vertices) {
        GeosetPlan wanted;
        wanted.vertexCount = static_cast<std::int32_t>(vertices);
        wanted.faceIndexCount = static_cast<std::int32_t>(vertices * 6);
        wanted.vertexGroupCount = static_cast<std::int32_t>(vertices);
        wanted.extentCount = 12;
        return wanted;
    };
    ModelPlan sizing;
    sizing.chunks.resize(1);
    sizing.chunks[0].kind = ChunkPlan::Geosets;
    sizing.chunks[0].geosets.push_back(geoset(1024));
    const std::int64_t bytesPerVertex = static_cast<std::int64_t>(WriteModel(sizing).bytes.size()) / 1024;

    ModelPlan description;
    ChunkPlan header;
    header.tag = TagOf("MODL");
    header.size = 372;
    description.chunks.push_back(header);
    ChunkPlan geosets;
    geosets.kind = ChunkPlan::Geosets;
    for (std::int64_t left = megabytes * kMegabyte / bytesPerVertex; left > 0; left -= kMaxVertices)
        geosets.geosets.push_back(geoset(std::min(left, kMaxVertices)));
    description.chunks.push_back(geosets);
    return description;
}

// Bones and helpers of about MB megabytes together, each node with translation, rotation and
// scaling tracks of a few hundred to a few thousand keys, every interpolation type in turn.
ModelPlan AnimationPlan(long long megabytes)
{
    ModelPlan description;
    ChunkPlan bones;
    bones.kind = ChunkPlan::Bones;
    ChunkPlan helpers;
    helpers.kind = ChunkPlan::Helpers;
    const std::int32_t kTags[] = {TagOf("KGTR"), TagOf("KGRT"), TagOf("KGSC")};
    std::int64_t total = 0;
    for (std::int32_t node = 0; total < megabytes * kMegabyte; ++node) {
        NodePlan nodePlan;
        for (std::int32_t t = 0; t < 3; ++t) {
            TrackPlan track;
            track.tag = kTags[t];
            track.interpolation = (node + t) % 4;
            track.keyCount = 300 + (node * 37 + t * 101) % 1700;
            total += track.keyCount * KeySize(track.tag, track.interpolation); // the keys are nearly all of it
            nodePlan.tracks.push_back(track);
        }
        (node % 2 == 0 ? bones : helpers).nodes.push_back(nodePlan);
    }
    description.chunks.push_back(bones);
    description.chunks.push_back(helpers);
    return description;
}

// A model of about bytes bytes as games ship them: a few chunks that are copied (model header,
// sequences, materials, pivots), geosets with 15 to 35% of the bytes, and bones and helpers with
// the rest, each node with one to three tracks of 2 to 200 keys (most of them short), mostly
// linear. One model in five is of version 1000, its geosets with tangents and skin weights.
ModelPlan BatchModelPlan(double bytes, std::mt19937& random)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    ModelPlan description;
    description.version = unit(random) < 0.2 ? 1000 : 800;
    for (const char* tag : {"MODL", "SEQS", "MTLS"}) {
        ChunkPlan other;
        other.tag = TagOf(tag);
        other.size = 100 + static_cast<std::int32_t>(unit(random) * std::min(2000.0, bytes / 20));
        description.chunks.push_back(other);
    }
    // A vertex: position, normal, texture coordinates, vertex group, two triangles' face indices,
    // and in the later layout a tangent and skin weights.
    const double bytesPerVertex = 12 + 12 + 8 + 1 + 12 + (description.version > 800 ? 16 + 8 : 0);
    ChunkPlan geosets;
    geosets.kind = ChunkPlan::Geosets;
    const double geosetBytes = bytes * (0.15 + 0.2 * unit(random));
    const int geosetCount = 1 + static_cast<int>(unit(random) * 4);
    for (int g = 0; g < geosetCount; ++g) {
        GeosetPlan geoset;
        const double vertices = geosetBytes / geosetCount / bytesPerVertex;
        geoset.vertexCount = std::clamp(static_cast<std::int32_t>(vertices), 3, 65535);
        geoset.faceIndexCount = geoset.vertexCount * 6;
        geoset.vertexGroupCount = geoset.vertexCount;
        geoset.extentCount = 1 + static_cast<std::int32_t>(unit(random) * 10);
        geoset.tangents = geoset.skin = description.version > 800;
        geosets.geosets.push_back(geoset);
    }
    description.chunks.push_back(geosets);
    ChunkPlan bones;
    bones.kind = ChunkPlan::Bones;
    ChunkPlan helpers;
    helpers.kind = ChunkPlan::Helpers;
    const std::int32_t kTags[] = {TagOf("KGTR"), TagOf("KGRT"), TagOf("KGSC")};
    std::int32_t nodes = 0;
    for (double nodeBytes = 0; nodeBytes < bytes - geosetBytes; ++nodes) {
        NodePlan node;
        nodeBytes += 4 + kNodeHeaderSize + kBoneTailSize;
        for (int t = 1 + static_cast<int>(unit(random) * 3); t > 0; --t) {
            TrackPlan track;
            track.tag = kTags[(nodes + t) % 3];
            const double pick = unit(random);
            track.interpolation = pick < 0.7 ? 1 : pick < 0.85 ? 2 : pick < 0.95 ? 3 : 0;
            track.keyCount = 2 + static_cast<std::int32_t>(198 * std::pow(unit(random), 2.0));
            nodeBytes += 16 + static_cast<double>(track.keyCount * KeySize(track.tag, track.interpolation));
            node.tracks.push_back(track);
        }
        (nodes % 4 == 0 ? helpers : bones).nodes.push_back(node);
    }
    description.chunks.push_back(bones);
    description.chunks.push_back(helpers);
    ChunkPlan pivots;
    pivots.tag = TagOf("PIVT");
    pivots.size = 12 * nodes;
    description.chunks.push_back(pivots);
    return description;
}

// Streams the model of description (its values drawn from seed) to path.
int StreamBytes(const ModelPlan& description, const char* path, std::uint32_t seed = 1)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return Fail(std::string("cannot create ") + path);
    StreamModel(description, out, seed);
    out.close();
    if (!out)
        return Fail(std::string("cannot write ") + path);
    return 0;
}

// Writes count models under folder, in folders of about 13 models, twenty to a parent folder
// (folder/set0/unit0, ...). Sizes follow a log-normal spread around a median of 100 KB, cut to
// 5 KB to 5 MB (a model is a little larger than the size drawn, so the median drawn is 90 KB);
// the same count gives the same tree.
int WriteBatch(const std::filesystem::path& folder, long long count)
{
    std::mt19937 random(2024);
    std::lognormal_distribution<double> size(std::log(90e3), 1.3);
    const long long folders = std::max(1LL, count / 13);
    for (long long index = 0; index < count; ++index) {
        const long long leaf = index % folders;
        const std::filesystem::path place =
            folder / ("set" + std::to_string(leaf / 20)) / ("unit" + std::to_string(leaf));
        std::error_code error;
        std::filesystem::create_directories(place, error);
        const std::string path = (place / ("model" + std::to_string(index) + ".mdx")).string();
        const ModelPlan description = BatchModelPlan(std::clamp(size(random), 5e3, 5e6), random);
        if (StreamBytes(description, path.c_str(), static_cast<std::uint32_t>(index + 1)) != 0)
            return 1;
    }
    return 0;
}

// Values as a model of about 800 units across holds them, drawn from random: positions and
// extents within 400 units, unit normals, tangents with a handedness of +1 or -1, texture
// coordinates in [0, 1], translations within 50 units, unit quaternions, scalings of 0.5 to 2.
// Returns how many of the records from at belong to the one value written (a normal's 3, a
// tangent's or a quaternion's 4, else 1).
std::size_t PutLifelikeValue(std::string& bytes, const std::vector<ReducedValue>& records, std::size_t at,
                             std::mt19937& random)
{
    std::uniform_real_distribution<float> signedUnit(-1.0f, 1.0f);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const ValueKind kind = records[at].kind;
    float values[4] = {};
    std::size_t count = 1;
    if (kind == ValueKind::Normal || kind == ValueKind::Tangent || kind == ValueKind::Rotation) {
        count = kind == ValueKind::Normal ? 3 : 4;
        const std::size_t direction = kind == ValueKind::Rotation ? 4 : 3;
        float length = 0.0f;
        while (length < 0.01f) {
            length = 0.0f;
            for (std::size_t i = 0; i < direction; ++i) {
                values[i] = signedUnit(random);
                length += values[i] * values[i];
            }
        }
        for (std::size_t i = 0; i < direction; ++i)
            values[i] /= std::sqrt(length);
        if (kind == ValueKind::Tangent)
            values[3] = unit(random) < 0.5f ? -1.0f : 1.0f;
    } else if (kind == ValueKind::Position || kind == ValueKind::Extent) {
        values[0] = 400.0f * signedUnit(random);
    } else if (kind == ValueKind::TextureCoordinate) {
        values[0] = unit(random);
    } else if (kind == ValueKind::Translation) {
        values[0] = 50.0f * signedUnit(random);
    } else {
        values[0] = 0.5f + 1.5f * unit(random);
    }
    count = std::min(count, records.size() - at);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &values[i], 4);
        for (int b = 0; b < 4; ++b)
            bytes[records[at + i].offset + b] = static_cast<char>(bits >> (8 * b));
    }
    return count;
}

WrittenModel LifelikeModel(std::uint32_t seed)
{
    WrittenModel model = WriteModel(FullModelPlan(1000), seed);
    std::mt19937 random(seed);
    for (std::size_t at = 0; at < model.reduced.size();)
        at += PutLifelikeValue(model.bytes, model.reduced, at, random);
    return model;
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

// The benchmark's map of 100 MB: 200 models of a batch's spread of sizes (5 KB to 5 MB, scaled to
// 50 MB together) and 52 other files of 0.5 to 2 MB, whose bytes deflate about as much as the
// models'. A map of other megabytes has as many models and files in proportion, at least 4 and 1.
int WriteMap(const char* path, std::uint32_t seed, long long megabytes)
{
    const std::size_t models = std::max<std::size_t>(4, static_cast<std::size_t>(2 * megabytes));
    const std::size_t others = std::max<std::size_t>(1, static_cast<std::size_t>(megabytes * 52 / 100));
    const double modelBytes = megabytes / 2.0 * kMegabyte;
    std::mt19937 random(seed);
    std::lognormal_distribution<double> spread(std::log(90e3), 1.3);
    std::vector<double> sizes(models);
    double total = 0;
    for (double& size : sizes)
        total += size = std::clamp(spread(random), 5e3, 5e6);
    const std::string problem = WriteGeneratedMap(path, models + others, [&](std::size_t i) {
        GeneratedFile file;
        if (i < models) {
            file.name = "units\\model" + std::to_string(i) + ".mdx";
            file.content = WriteModel(BatchModelPlan(sizes[i] * modelBytes / total, random), seed + i).bytes;
            return file;
        }
        file.name = "war3mapData\\file" + std::to_string(i - models) + ".bin";
        const std::size_t size = kMegabyte / 2 + random() % (3 * kMegabyte / 2);
        // Six random bits a byte: about what zlib leaves of the models' bytes.
        for (std::size_t b = 0; b < size; ++b)
            file.content += static_cast<char>(0x40 | (random() & 0x3F));
        return file;
    });
    return problem.empty() ? 0 : Fail(problem);
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
        return WriteBytes(WriteModel(FullModelPlan(800)).bytes, path);
    if (kind == "full" && argc == 4) {
        if (!ParseNumber(argv[3], 0, 0x7FFFFFFF, version))
            return Fail(std::string("not a version: ") + argv[3]);
        return WriteBytes(WriteModel(FullModelPlan(static_cast<std::int32_t>(version))).bytes, path);
    }
    if (kind == "random" && (argc == 4 || argc == 5)) {
        if (!ParseNumber(argv[3], 0, 0xFFFFFFFFLL, number))
            return Fail(std::string("not a seed: ") + argv[3]);
        if (argc == 5 && !ParseNumber(argv[4], 0, 0x7FFFFFFF, version))
            return Fail(std::string("not a version: ") + argv[4]);
        const std::uint32_t seed = static_cast<std::uint32_t>(number);
        return WriteBytes(WriteModel(RandomModelPlan(seed, static_cast<std::int32_t>(version)), seed).bytes, path);
    }
    if (kind == "lifelike" && argc == 4) {
        if (!ParseNumber(argv[3], 0, 0xFFFFFFFFLL, number))
            return Fail(std::string("not a seed: ") + argv[3]);
        return WriteBytes(LifelikeModel(static_cast<std::uint32_t>(number)).bytes, path);
    }
    if ((kind == "geometry" || kind == "animation") && argc == 4) {
        if (!ParseNumber(argv[3], 1, kMaxMegabytes, number))
            return Fail(std::string("size must be 1 to ") + std::to_string(kMaxMegabytes) + " MB: " + argv[3]);
        return StreamBytes(kind == "geometry" ? GeometryPlan(number) : AnimationPlan(number), path);
    }
    if (kind == "batch" && argc == 4) {
        if (!ParseNumber(argv[3], 1, 1000000, number))
            return Fail(std::string("count must be 1 to 1000000: ") + argv[3]);
        return WriteBatch(path, number);
    }
    if (kind == "map" && (argc == 4 || argc == 5)) {
        if (!ParseNumber(argv[3], 0, 0xFFFFFFFFLL, number))
            return Fail(std::string("not a seed: ") + argv[3]);
        long long megabytes = 100;
        if (argc == 5 && !ParseNumber(argv[4], 1, 1000, megabytes))
            return Fail(std::string("size must be 1 to 1000 MB: ") + argv[4]);
        return WriteMap(path, static_cast<std::uint32_t>(number), megabytes);
    }
    return Usage();
}
