#include "model_mutator.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Values worth trying in a size, count, type or version field.
constexpr std::int32_t kEdgeValues[] = {0, 1, 2, 3, 4, -1, -4, 95, 96, 0x7FFFFFFF, INT_MIN, 0x10000, 800, 1100};
constexpr std::int32_t kVersions[] = {800, 900, 1000, 1100, 700, 1200, 0, -1, 801};

std::size_t Pick(std::mt19937& random, std::size_t n)
{
    return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
}

bool OneIn(std::mt19937& random, std::size_t n)
{
    return Pick(random, n) == 0;
}

// Bytes that look like floats with non-zero low bits, so a reduction shows in them.
std::string FloatBytes(std::mt19937& random, std::size_t n)
{
    std::string bytes(n, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

std::string Letters(const char* letters)
{
    return std::string(letters, 4);
}

// Brings data to count elements of elementSize bytes, keeping what is there.
void Resize(std::string& data, std::size_t count, std::int64_t elementSize, std::mt19937& random)
{
    const std::size_t size = count * static_cast<std::size_t>(elementSize);
    if (size <= data.size())
        data.resize(size);
    else
        data += FloatBytes(random, size - data.size());
}

std::size_t SmallCount(std::mt19937& random, std::size_t current)
{
    const std::size_t choices[] = {0, 1, 2, 3, 5, current + 1, current > 0 ? current - 1 : 0, current * 2};
    return choices[Pick(random, sizeof choices / sizeof choices[0])];
}

std::int32_t RandomTrackTag(std::mt19937& random)
{
    const std::int32_t trackTags[] = {tags::kTranslation, tags::kRotation, tags::kScaling};
    return trackTags[Pick(random, 3)];
}

// The number of elements of elementSize bytes in data.
std::size_t ElementCount(const std::string& data, std::int64_t elementSize)
{
    return data.size() / static_cast<std::size_t>(elementSize);
}

TrackLayout FreshTrack(std::mt19937& random)
{
    TrackLayout track;
    track.tag = RandomTrackTag(random);
    track.interpolation = static_cast<std::int32_t>(Pick(random, 4));
    track.globalSequence = OneIn(random, 2) ? -1 : static_cast<std::int32_t>(random());
    Resize(track.keys, Pick(random, 4), KeySize(track.tag, track.interpolation), random);
    return track;
}

// New nodes, geosets and chunks are built by the model oracle, their contents drawn from random.
NodeLayout FreshNode(std::mt19937& random, bool bone)
{
    std::uint32_t state = static_cast<std::uint32_t>(random());
    NodeLayout node = BuildNode(NodePlan(), bone, state);
    for (std::size_t i = Pick(random, 4); i > 0; --i)
        node.tracks.push_back(FreshTrack(random));
    return node;
}

GeosetLayout FreshGeoset(std::mt19937& random)
{
    GeosetPlan wanted;
    wanted.vertexCount = static_cast<std::int32_t>(Pick(random, 5));
    wanted.faceIndexCount = static_cast<std::int32_t>(2 * Pick(random, 3) + 1);
    wanted.vertexGroupCount = wanted.vertexCount;
    wanted.extentCount = static_cast<std::int32_t>(Pick(random, 3));
    std::uint32_t state = static_cast<std::uint32_t>(random());
    return BuildGeoset(wanted, 800, state);
}

// Everything in a model that a mutation can pick.
struct Sites {
    std::vector<ChunkLayout*> nodeChunks;
    std::vector<ChunkLayout*> geosetChunks;
    std::vector<NodeLayout*> nodes;
    std::vector<TrackLayout*> tracks;
    std::vector<GeosetLayout*> geosets;
    std::vector<std::string*> leaves;
};

void CollectGeoset(GeosetLayout& geoset, Sites& sites)
{
    sites.geosets.push_back(&geoset);
    for (ArrayLayout& array : geoset.arrays)
        sites.leaves.push_back(&array.data);
    sites.leaves.push_back(&geoset.block);
    sites.leaves.push_back(&geoset.extents);
    for (ArrayLayout& uvSet : geoset.uvSets)
        sites.leaves.push_back(&uvSet.data);
}

Sites CollectSites(ModelLayout& model)
{
    Sites sites;
    for (ChunkLayout& chunk : model.chunks) {
        if (!chunk.walked) {
            sites.leaves.push_back(&chunk.body);
        } else if (chunk.tag == tags::kGeoset) {
            sites.geosetChunks.push_back(&chunk);
            for (GeosetLayout& geoset : chunk.geosets)
                CollectGeoset(geoset, sites);
        } else {
            sites.nodeChunks.push_back(&chunk);
            for (NodeLayout& node : chunk.nodes) {
                sites.nodes.push_back(&node);
                sites.leaves.push_back(&node.header);
                if (!node.otherTracks.empty())
                    sites.leaves.push_back(&node.otherTracks);
                for (TrackLayout& track : node.tracks) {
                    sites.tracks.push_back(&track);
                    sites.leaves.push_back(&track.keys);
                }
            }
        }
    }
    return sites;
}

template <typename T> void InsertCopyOrRemove(std::vector<T>& items, const T& fresh, std::mt19937& random)
{
    const std::size_t at = Pick(random, items.size() + 1);
    switch (Pick(random, 3)) {
    case 0:
        items.insert(items.begin() + static_cast<std::ptrdiff_t>(at), fresh);
        break;
    case 1:
        if (!items.empty()) {
            const T copy = items[Pick(random, items.size())];
            items.insert(items.begin() + static_cast<std::ptrdiff_t>(at), copy);
        }
        break;
    default:
        if (!items.empty())
            items.erase(items.begin() + static_cast<std::ptrdiff_t>(Pick(random, items.size())));
        break;
    }
}

void MutateLeaf(std::string& leaf, std::mt19937& random, RawMutator rawMutate)
{
    if (!rawMutate || leaf.empty()) {
        if (!leaf.empty())
            leaf[Pick(random, leaf.size())] = static_cast<char>(random());
        return;
    }
    std::vector<std::uint8_t> bytes(leaf.begin(), leaf.end());
    const std::size_t maxSize = bytes.size() * 2 + 16;
    bytes.resize(maxSize);
    const std::size_t size = rawMutate(bytes.data(), leaf.size(), maxSize);
    leaf.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

// Changes one track: its interpolation type, key count or tag, keeping whole keys.
void MutateTrack(TrackLayout& track, std::mt19937& random)
{
    const std::size_t keyCount = ElementCount(track.keys, KeySize(track.tag, track.interpolation));
    std::size_t newCount = keyCount;
    switch (Pick(random, 3)) {
    case 0:
        track.interpolation = OneIn(random, 4) ? kEdgeValues[Pick(random, sizeof kEdgeValues / sizeof kEdgeValues[0])]
                                               : static_cast<std::int32_t>(Pick(random, 4));
        break;
    case 1:
        newCount = SmallCount(random, keyCount);
        break;
    default:
        track.tag = RandomTrackTag(random);
        break;
    }
    Resize(track.keys, newCount, KeySize(track.tag, track.interpolation), random);
}

void MutateNode(NodeLayout& node, std::mt19937& random)
{
    switch (Pick(random, 3)) {
    case 0:
        InsertCopyOrRemove(node.tracks, FreshTrack(random), random);
        break;
    case 1:
        // A track of another kind: the rest of the node is copied as it stands.
        node.otherTracks = node.otherTracks.empty() ? Letters(OneIn(random, 2) ? "KGVS" : "KATV") +
                                                          FloatBytes(random, 4 * Pick(random, 8))
                                                    : std::string();
        break;
    default:
        if (!node.tracks.empty())
            node.tracks.erase(node.tracks.begin() + static_cast<std::ptrdiff_t>(Pick(random, node.tracks.size())));
        break;
    }
}

void MutateGeoset(GeosetLayout& geoset, std::mt19937& random)
{
    const std::size_t vertices = ElementCount(geoset.arrays[kPositions].data, kGeosetElementSizes[kPositions]);
    switch (Pick(random, 6)) {
    case 0: {
        const int i = static_cast<int>(Pick(random, kGeosetArrayCount));
        Resize(geoset.arrays[i].data, SmallCount(random, ElementCount(geoset.arrays[i].data, kGeosetElementSizes[i])),
               kGeosetElementSizes[i], random);
        break;
    }
    case 1:
        Resize(geoset.extents, SmallCount(random, ElementCount(geoset.extents, kExtentSize)), kExtentSize, random);
        break;
    case 2: {
        std::string coordinates;
        Resize(coordinates, vertices, kCoordinateSize, random);
        InsertCopyOrRemove(geoset.uvSets, ArrayLayout{TagOf("UVBS"), coordinates}, random);
        break;
    }
    case 3:
        geoset.hasTangents = !geoset.hasTangents;
        Resize(geoset.tangents, vertices, kTangentSize, random);
        break;
    case 4:
        geoset.hasSkin = !geoset.hasSkin;
        Resize(geoset.skin, vertices * 8, kSkinSize, random); // four bone indices and four weights
        break;
    default: {
        const std::int32_t uvTags[] = {TagOf("UVAS"), tags::kTangents, tags::kSkin, static_cast<std::int32_t>(random())};
        geoset.uvTag = uvTags[Pick(random, 4)];
        break;
    }
    }
}

ChunkLayout FreshChunk(std::mt19937& random)
{
    ChunkLayout chunk;
    switch (Pick(random, 5)) {
    case 0:
    case 1:
        chunk.tag = OneIn(random, 2) ? tags::kBone : tags::kHelper;
        chunk.walked = true;
        for (std::size_t i = Pick(random, 3); i > 0; --i)
            chunk.nodes.push_back(FreshNode(random, chunk.tag == tags::kBone));
        break;
    case 2:
        chunk.tag = tags::kGeoset;
        chunk.walked = true;
        for (std::size_t i = Pick(random, 3); i > 0; --i)
            chunk.geosets.push_back(FreshGeoset(random));
        break;
    case 3:
        chunk.tag = tags::kVersion;
        chunk.body = Int32Bytes(static_cast<std::uint32_t>(kVersions[Pick(random, sizeof kVersions / sizeof kVersions[0])]));
        break;
    default: {
        const char* const otherTags[] = {"SEQS", "MTLS", "TEXS", "PIVT", "ATCH", "PREM", "CLID", "LITE"};
        std::uint32_t state = static_cast<std::uint32_t>(random());
        chunk = BuildOtherChunk(TagOf(otherTags[Pick(random, 8)]), static_cast<std::int32_t>(Pick(random, 64)), state);
        break;
    }
    }
    return chunk;
}

void MutateChunkList(ModelLayout& model, std::mt19937& random)
{
    switch (Pick(random, 3)) {
    case 0:
        InsertCopyOrRemove(model.chunks, FreshChunk(random), random);
        break;
    case 1:
        if (model.chunks.size() >= 2)
            std::swap(model.chunks[Pick(random, model.chunks.size())], model.chunks[Pick(random, model.chunks.size())]);
        break;
    default: {
        // The end of the chunk list: nothing, a zero tag with bytes after it, or stray bytes.
        const std::size_t kind = Pick(random, 3);
        model.tail = kind == 0 ? std::string() : kind == 1 ? std::string(4, '\0') + FloatBytes(random, Pick(random, 12))
                                                           : FloatBytes(random, 1 + Pick(random, 3));
        if (kind == 2 && model.tail.size() == 4)
            model.tail.resize(3);
        break;
    }
    }
}

// Sets the version of the first version chunk, or adds one at the start.
void MutateVersion(ModelLayout& model, std::mt19937& random)
{
    const std::int32_t version = kVersions[Pick(random, sizeof kVersions / sizeof kVersions[0])];
    for (ChunkLayout& chunk : model.chunks) {
        if (!chunk.walked && chunk.tag == tags::kVersion && chunk.body.size() == 4) {
            PutFieldAt(chunk.body, 0, version);
            return;
        }
    }
    ChunkLayout chunk;
    chunk.tag = tags::kVersion;
    chunk.body = Int32Bytes(static_cast<std::uint32_t>(version));
    model.chunks.insert(model.chunks.begin(), chunk);
}

// Breaks one size or count field of bytes, or cuts the bytes at a field.
void BreakField(std::string& bytes, const std::vector<Mark>& marks, std::mt19937& random)
{
    std::vector<std::size_t> fields;
    for (const Mark& mark : marks) {
        if (IsSizeOrCount(mark.kind))
            fields.push_back(mark.offset);
    }
    if (fields.empty() || OneIn(random, 4)) {
        bytes.resize(std::min(bytes.size(), marks[Pick(random, marks.size())].offset + Pick(random, 4)));
        return;
    }
    const std::size_t at = fields[Pick(random, fields.size())];
    const std::int32_t old = FieldAt(bytes, at);
    const std::int32_t nudges[] = {1, -1, 4, -4, 8, -8};
    const std::int32_t value = OneIn(random, 2) ? kEdgeValues[Pick(random, sizeof kEdgeValues / sizeof kEdgeValues[0])]
                                                : static_cast<std::int32_t>(static_cast<std::uint32_t>(old) +
                                                                            static_cast<std::uint32_t>(nudges[Pick(random, 6)]));
    PutFieldAt(bytes, at, value);
}

} // namespace

void MutateLayout(ModelLayout& model, std::mt19937& random, RawMutator rawMutate)
{
    Sites sites = CollectSites(model);
    switch (Pick(random, 9)) {
    case 0:
        if (!sites.leaves.empty())
            MutateLeaf(*sites.leaves[Pick(random, sites.leaves.size())], random, rawMutate);
        break;
    case 1:
    case 2:
        if (!sites.tracks.empty())
            MutateTrack(*sites.tracks[Pick(random, sites.tracks.size())], random);
        break;
    case 3:
        if (!sites.nodes.empty())
            MutateNode(*sites.nodes[Pick(random, sites.nodes.size())], random);
        break;
    case 4:
        if (!sites.nodeChunks.empty()) {
            ChunkLayout& chunk = *sites.nodeChunks[Pick(random, sites.nodeChunks.size())];
            InsertCopyOrRemove(chunk.nodes, FreshNode(random, chunk.tag == tags::kBone), random);
        }
        break;
    case 5:
        if (!sites.geosets.empty())
            MutateGeoset(*sites.geosets[Pick(random, sites.geosets.size())], random);
        break;
    case 6:
        if (!sites.geosetChunks.empty())
            InsertCopyOrRemove(sites.geosetChunks[Pick(random, sites.geosetChunks.size())]->geosets,
                               FreshGeoset(random), random);
        break;
    case 7:
        MutateVersion(model, random);
        break;
    default:
        MutateChunkList(model, random);
        break;
    }
}

namespace {

// Where bytes of one of the inputs lie: from start up to end.
struct Span {
    const std::string* bytes;
    std::size_t start;
    std::size_t end;
};

// The top-level chunks of a model (tag, size, body), found as ParseModel finds them but without
// parsing their contents: a crossover moves whole chunks, and a parsed chunk written back gives
// its bytes unchanged. Returns where the chunk list ends (the tail after it, a zero tag, stray
// bytes or a chunk that does not fit, stays as it stands), or 0 for bytes that are no model.
std::size_t ListChunks(const std::string& bytes, std::vector<Span>& chunks)
{
    if (bytes.size() < 4 || FieldAt(bytes, 0) != tags::kModel)
        return 0;
    std::size_t at = 4;
    while (bytes.size() - at >= 8 && FieldAt(bytes, at) != 0) {
        const std::int32_t size = FieldAt(bytes, at + 4);
        if (size < 0 || static_cast<std::size_t>(size) > bytes.size() - at - 8)
            break;
        chunks.push_back(Span{&bytes, at, at + 8 + static_cast<std::size_t>(size)});
        at = chunks.back().end;
    }
    return at;
}

} // namespace

std::size_t MutateModel(std::uint8_t* data, std::size_t size, std::size_t maxSize, unsigned seed,
                        RawMutator rawMutate)
{
    std::mt19937 random(seed);
    ModelLayout model;
    // A fifth of the time, and for anything that is no model, plain byte-level mutation: it finds
    // what a consistent model never shows, and brings back the magic when it is lost.
    if (OneIn(random, 5) || !ParseModel(std::string(reinterpret_cast<const char*>(data), size), model)) {
        if (rawMutate)
            return rawMutate(data, size, maxSize);
        return size;
    }
    for (std::size_t steps = 1 + Pick(random, 3); steps > 0; --steps)
        MutateLayout(model, random, rawMutate);
    // The marks are written only for the eighth of the models that get a field broken.
    const bool breakField = OneIn(random, 8);
    WrittenModel written = WriteLayout(model, breakField ? LayoutRecords::MarksOnly : LayoutRecords::None);
    std::string& output = written.bytes;
    if (breakField)
        BreakField(output, written.marks, random);
    if (output.size() > maxSize)
        return rawMutate ? rawMutate(data, size, maxSize) : size;
    std::memcpy(data, output.data(), output.size());
    return output.size();
}

std::size_t CrossOverModels(const std::uint8_t* data1, std::size_t size1, const std::uint8_t* data2,
                            std::size_t size2, std::uint8_t* out, std::size_t maxOutSize, unsigned seed)
{
    std::mt19937 random(seed);
    const std::string first(reinterpret_cast<const char*>(data1), size1);
    const std::string second(reinterpret_cast<const char*>(data2), size2);
    std::vector<Span> chunks;
    std::vector<Span> others;
    const std::size_t tailAt = ListChunks(first, chunks);
    if (tailAt == 0 || ListChunks(second, others) == 0 || others.empty())
        return 0;
    for (std::size_t n = 1 + Pick(random, 2); n > 0; --n) {
        const Span chunk = others[Pick(random, others.size())];
        chunks.insert(chunks.begin() + static_cast<std::ptrdiff_t>(Pick(random, chunks.size() + 1)), chunk);
    }
    chunks.push_back(Span{&first, tailAt, first.size()});
    std::string output = first.substr(0, 4);
    for (const Span& chunk : chunks)
        output.append(*chunk.bytes, chunk.start, chunk.end - chunk.start);
    if (output.size() > maxOutSize)
        return 0;
    std::memcpy(out, output.data(), output.size());
    return output.size();
}
