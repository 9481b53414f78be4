#include "model_writer.h"

#include "model_convert.h"
#include "model_tags.h"

#include <algorithm>
#include <cstddef>
#include <sstream>

namespace {

// Bytes gathered before they are handed to a stream: large enough for few stream calls, small
// enough that a model of hundreds of MB never sits in memory.
constexpr std::size_t kFlushBytes = 1 << 20;

// Where the model goes: the whole model in bytes (WriteModel), or piecewise to stream
// (StreamModel). reducedOffsets, when set, receives the offset of every reduced value.
struct ModelOutput {
    std::string bytes;
    std::ostream* stream = nullptr;
    std::vector<std::uint64_t>* reducedOffsets = nullptr;
    std::uint64_t flushed = 0;      // bytes already handed to stream
    std::uint64_t reducedCount = 0;
    std::uint32_t random = 0;       // generator state
};

// splitmix32: every state gives a well-mixed value, so nearby seeds give unrelated models.
std::uint32_t NextRandom(std::uint32_t& state)
{
    state += 0x9E3779B9u;
    std::uint32_t z = state;
    z = (z ^ (z >> 16)) * 0x85EBCA6Bu;
    z = (z ^ (z >> 13)) * 0xC2B2AE35u;
    return z ^ (z >> 16);
}

// A field value whose low 16 bits are never all zero, so a reduction of it always shows.
std::uint32_t NextFieldValue(std::uint32_t& state)
{
    std::uint32_t value = NextRandom(state);
    if ((value & 0xFFFFu) == 0)
        value |= 0x0101u;
    return value;
}

std::uint64_t Position(const ModelOutput& out)
{
    return out.flushed + out.bytes.size();
}

void FlushIfFull(ModelOutput& out)
{
    if (out.stream == nullptr || out.bytes.size() < kFlushBytes)
        return;
    out.stream->write(out.bytes.data(), static_cast<std::streamsize>(out.bytes.size()));
    out.flushed += out.bytes.size();
    out.bytes.clear();
}

void PutInt32(ModelOutput& out, std::uint32_t value)
{
    out.bytes.push_back(static_cast<char>(value & 0xFF));
    out.bytes.push_back(static_cast<char>((value >> 8) & 0xFF));
    out.bytes.push_back(static_cast<char>((value >> 16) & 0xFF));
    out.bytes.push_back(static_cast<char>((value >> 24) & 0xFF));
    FlushIfFull(out);
}

void PutTag(ModelOutput& out, const char* letters)
{
    PutInt32(out, static_cast<std::uint32_t>(TagFromLetters(letters)));
}

// count 4-byte values the converter copies unchanged (ids, frame times, copied blocks).
void PutCopiedValues(ModelOutput& out, std::int64_t count)
{
    for (std::int64_t i = 0; i < count; ++i)
        PutInt32(out, NextFieldValue(out.random));
}

// count 4-byte values the converter reduces; each one's offset is recorded.
void PutReducedValues(ModelOutput& out, std::int64_t count)
{
    for (std::int64_t i = 0; i < count; ++i) {
        if (out.reducedOffsets != nullptr)
            out.reducedOffsets->push_back(Position(out));
        ++out.reducedCount;
        PutInt32(out, NextFieldValue(out.random));
    }
}

// count single bytes copied unchanged (face indices, vertex groups, skin weights), never zero.
void PutCopiedBytes(ModelOutput& out, std::int64_t count)
{
    for (std::int64_t i = 0; i < count; ++i) {
        out.bytes.push_back(static_cast<char>((NextRandom(out.random) % 255) + 1));
        FlushIfFull(out);
    }
}

// Other chunks hold float-looking 4-byte values, and a tail of single bytes for odd sizes.
void PutCopiedBody(ModelOutput& out, std::int64_t size)
{
    PutCopiedValues(out, size / 4);
    PutCopiedBytes(out, size % 4);
}

std::int64_t Count(std::int32_t count)
{
    return std::max<std::int32_t>(count, 0);
}

bool IsReducedTrack(std::int32_t tag)
{
    return tag == kTagTranslation || tag == kTagRotation || tag == kTagScaling;
}

// Components per value: 4 for a rotation quaternion, 3 for translation and scaling. Other tracks
// are written as scalar tracks (one component), as the format's visibility tracks are.
std::int64_t ComponentsOf(std::int32_t tag)
{
    if (tag == kTagRotation)
        return 4;
    return tag == kTagTranslation || tag == kTagScaling ? 3 : 1;
}

// Values per key: the value alone without or with linear interpolation; the value and its two
// tangents for Hermite and Bezier (and any type above 1).
std::int64_t ValuesPerKey(std::int32_t interpolation)
{
    return interpolation <= 1 ? 1 : 3;
}

bool IsLaterLayout(std::int32_t version)
{
    return version > 800;
}

std::int64_t TrackBytes(const TrackSpec& track)
{
    return 16 + Count(track.keyCount) * 4 * (ValuesPerKey(track.interpolation) * ComponentsOf(track.tag) + 1);
}

std::int64_t NodeBytes(const NodeSpec& node)
{
    std::int64_t size = 96;
    for (const TrackSpec& track : node.tracks)
        size += TrackBytes(track);
    return size;
}

std::int64_t SkinBytes(const GeosetSpec& geoset)
{
    return Count(geoset.vertexCount) * 8; // four bone indices and four weights per vertex
}

std::int64_t GeosetBytes(const GeosetSpec& geoset, std::int32_t version)
{
    const std::int64_t vertices = Count(geoset.vertexCount);
    std::int64_t size = 4;
    size += 8 + vertices * 12;                    // positions
    size += 8 + vertices * 12;                    // normals
    size += 8 + Count(geoset.faceTypeCount) * 4;
    size += 8 + Count(geoset.faceGroupCount) * 4;
    size += 8 + Count(geoset.faceIndexCount) * 2;
    size += 8 + Count(geoset.vertexGroupCount);
    size += 8 + Count(geoset.matrixGroupCount) * 4;
    size += 8 + Count(geoset.matrixIndexCount) * 4;
    size += IsLaterLayout(version) ? 124 : 40;
    size += 4 + Count(geoset.extentCount) * 28;
    if (IsLaterLayout(version) && geoset.tangents)
        size += 8 + vertices * 16;
    if (IsLaterLayout(version) && geoset.skin)
        size += 8 + SkinBytes(geoset);
    size += 8 + Count(geoset.uvSetCount) * (8 + vertices * 8);
    return size;
}

std::int64_t ChunkBodyBytes(const ChunkSpec& chunk, std::int32_t version)
{
    std::int64_t size = 0;
    switch (chunk.kind) {
    case ChunkSpec::Bones:
        for (const NodeSpec& node : chunk.nodes)
            size += NodeBytes(node) + 8;
        break;
    case ChunkSpec::Helpers:
        for (const NodeSpec& node : chunk.nodes)
            size += NodeBytes(node);
        break;
    case ChunkSpec::Geosets:
        for (const GeosetSpec& geoset : chunk.geosets)
            size += GeosetBytes(geoset, version);
        break;
    case ChunkSpec::Other:
        size = Count(chunk.size);
        break;
    }
    return size;
}

// A track: tag, key count, interpolation type, global sequence id, then keys of a frame time and
// values. reduced is false for tracks the converter copies (at and after another track tag).
void PutTrack(ModelOutput& out, const TrackSpec& track, bool reduced)
{
    const std::int64_t values = ValuesPerKey(track.interpolation) * ComponentsOf(track.tag);
    PutInt32(out, static_cast<std::uint32_t>(track.tag));
    PutInt32(out, static_cast<std::uint32_t>(Count(track.keyCount)));
    PutInt32(out, static_cast<std::uint32_t>(track.interpolation));
    PutCopiedValues(out, 1); // global sequence id
    for (std::int64_t key = 0; key < Count(track.keyCount); ++key) {
        PutCopiedValues(out, 1); // frame time
        if (reduced)
            PutReducedValues(out, values);
        else
            PutCopiedValues(out, values);
    }
}

// A node: inclusive size, 92-byte header (name, object id, parent id, flags), tracks.
void PutNode(ModelOutput& out, const NodeSpec& node)
{
    PutInt32(out, static_cast<std::uint32_t>(NodeBytes(node)));
    PutCopiedValues(out, 23);
    bool reduced = true;
    for (const TrackSpec& track : node.tracks) {
        reduced = reduced && IsReducedTrack(track.tag);
        PutTrack(out, track, reduced);
    }
}

void PutGeoset(ModelOutput& out, const GeosetSpec& geoset, std::int32_t version)
{
    const std::int64_t vertices = Count(geoset.vertexCount);
    PutInt32(out, static_cast<std::uint32_t>(GeosetBytes(geoset, version)));
    PutTag(out, "VRTX");
    PutInt32(out, static_cast<std::uint32_t>(vertices));
    PutReducedValues(out, vertices * 3);
    PutTag(out, "NRMS");
    PutInt32(out, static_cast<std::uint32_t>(vertices));
    PutReducedValues(out, vertices * 3);
    PutTag(out, "PTYP");
    PutInt32(out, static_cast<std::uint32_t>(Count(geoset.faceTypeCount)));
    PutCopiedValues(out, Count(geoset.faceTypeCount));
    PutTag(out, "PCNT");
    PutInt32(out, static_cast<std::uint32_t>(Count(geoset.faceGroupCount)));
    PutCopiedValues(out, Count(geoset.faceGroupCount));
    PutTag(out, "PVTX");
    PutInt32(out, static_cast<std::uint32_t>(Count(geoset.faceIndexCount)));
    PutCopiedBytes(out, Count(geoset.faceIndexCount) * 2);
    PutTag(out, "GNDX");
    PutInt32(out, static_cast<std::uint32_t>(Count(geoset.vertexGroupCount)));
    PutCopiedBytes(out, Count(geoset.vertexGroupCount));
    PutTag(out, "MTGC");
    PutInt32(out, static_cast<std::uint32_t>(Count(geoset.matrixGroupCount)));
    PutCopiedValues(out, Count(geoset.matrixGroupCount));
    PutTag(out, "MATS");
    PutInt32(out, static_cast<std::uint32_t>(Count(geoset.matrixIndexCount)));
    PutCopiedValues(out, Count(geoset.matrixIndexCount));
    // material id, selection group, selection flags, [LOD, 80-byte LOD name,] extent: 7 floats
    PutCopiedValues(out, IsLaterLayout(version) ? 31 : 10);
    PutInt32(out, static_cast<std::uint32_t>(Count(geoset.extentCount)));
    PutReducedValues(out, Count(geoset.extentCount) * 7);
    if (IsLaterLayout(version) && geoset.tangents) {
        PutTag(out, "TANG");
        PutInt32(out, static_cast<std::uint32_t>(vertices));
        PutReducedValues(out, vertices * 4);
    }
    if (IsLaterLayout(version) && geoset.skin) {
        PutTag(out, "SKIN");
        PutInt32(out, static_cast<std::uint32_t>(SkinBytes(geoset)));
        PutCopiedBytes(out, SkinBytes(geoset));
    }
    PutTag(out, "UVAS");
    PutInt32(out, static_cast<std::uint32_t>(Count(geoset.uvSetCount)));
    for (std::int64_t set = 0; set < Count(geoset.uvSetCount); ++set) {
        PutTag(out, "UVBS");
        PutInt32(out, static_cast<std::uint32_t>(vertices));
        PutReducedValues(out, vertices * 2);
    }
}

void PutChunk(ModelOutput& out, const ChunkSpec& chunk, std::int32_t version)
{
    static const std::int32_t kKindTags[] = {kTagBone, kTagHelper, kTagGeoset};
    const std::int32_t tag = chunk.kind == ChunkSpec::Other ? chunk.tag : kKindTags[chunk.kind];
    PutInt32(out, static_cast<std::uint32_t>(tag));
    PutInt32(out, static_cast<std::uint32_t>(ChunkBodyBytes(chunk, version)));
    switch (chunk.kind) {
    case ChunkSpec::Bones:
        for (const NodeSpec& node : chunk.nodes) {
            PutNode(out, node);
            PutCopiedValues(out, 2); // geoset id, geoset animation id
        }
        break;
    case ChunkSpec::Helpers:
        for (const NodeSpec& node : chunk.nodes)
            PutNode(out, node);
        break;
    case ChunkSpec::Geosets:
        for (const GeosetSpec& geoset : chunk.geosets)
            PutGeoset(out, geoset, version);
        break;
    case ChunkSpec::Other:
        PutCopiedBody(out, Count(chunk.size));
        break;
    }
}

void PutModel(ModelOutput& out, const ModelSpec& description)
{
    PutInt32(out, static_cast<std::uint32_t>(kModelMagic));
    if (description.writeVersion) {
        PutInt32(out, static_cast<std::uint32_t>(kTagVersion));
        PutInt32(out, 4);
        PutInt32(out, static_cast<std::uint32_t>(description.version));
    }
    for (const ChunkSpec& chunk : description.chunks)
        PutChunk(out, chunk, description.version);
}

// The seed picks the generator's start; seed 0 is as good as any other.
std::uint32_t StartState(std::uint32_t seed)
{
    return seed * 0x2545F491u + 0x6A09E667u;
}

std::uint32_t Below(std::uint32_t& state, std::uint32_t bound)
{
    return NextRandom(state) % bound;
}

// Other chunks' tags, of the kinds a model carries besides bones, helpers and geosets, and one
// track tag, which at the top level is just another chunk.
const char* const kOtherTags[] = {"MODL", "SEQS", "GLBS", "MTLS", "TEXS", "GEOA", "ATCH", "PIVT",
                                  "PREM", "PRE2", "RIBB", "EVTS", "CLID", "CAMS", "LITE", "KGTR"};

// Track tags: mostly the three reduced ones, sometimes another one (visibility, alpha).
std::int32_t RandomTrackTag(std::uint32_t& state)
{
    static const std::int32_t kTags[] = {kTagTranslation, kTagRotation, kTagScaling, kTagTranslation,
                                         kTagRotation,    kTagScaling,  kTagRotation, TagFromLetters("KATV"),
                                         kTagTranslation, kTagScaling,  kTagRotation, TagFromLetters("KGAO")};
    return kTags[Below(state, sizeof kTags / sizeof kTags[0])];
}

NodeSpec RandomNode(std::uint32_t& state)
{
    NodeSpec node;
    const std::uint32_t trackCount = Below(state, 5);
    for (std::uint32_t i = 0; i < trackCount; ++i) {
        TrackSpec track;
        track.tag = RandomTrackTag(state);
        track.interpolation = static_cast<std::int32_t>(Below(state, 4));
        track.keyCount = static_cast<std::int32_t>(Below(state, 6));
        node.tracks.push_back(track);
    }
    return node;
}

GeosetSpec RandomGeoset(std::uint32_t& state)
{
    GeosetSpec geoset;
    geoset.vertexCount = static_cast<std::int32_t>(Below(state, 8));
    geoset.faceTypeCount = static_cast<std::int32_t>(Below(state, 3));
    geoset.faceGroupCount = static_cast<std::int32_t>(Below(state, 3));
    geoset.faceIndexCount = static_cast<std::int32_t>(Below(state, 13));
    geoset.vertexGroupCount = static_cast<std::int32_t>(Below(state, 8));
    geoset.matrixGroupCount = static_cast<std::int32_t>(Below(state, 3));
    geoset.matrixIndexCount = static_cast<std::int32_t>(Below(state, 4));
    geoset.extentCount = static_cast<std::int32_t>(Below(state, 4));
    // Mostly one to three sets; now and then none.
    geoset.uvSetCount = Below(state, 10) == 0 ? 0 : static_cast<std::int32_t>(1 + Below(state, 3));
    geoset.tangents = Below(state, 2) == 0;
    geoset.skin = Below(state, 2) == 0;
    return geoset;
}

ChunkSpec RandomChunk(std::uint32_t& state)
{
    ChunkSpec chunk;
    chunk.kind = static_cast<ChunkSpec::Kind>(Below(state, 4));
    const std::uint32_t itemCount = Below(state, 4);
    for (std::uint32_t i = 0; i < itemCount; ++i) {
        if (chunk.kind == ChunkSpec::Bones || chunk.kind == ChunkSpec::Helpers)
            chunk.nodes.push_back(RandomNode(state));
        else if (chunk.kind == ChunkSpec::Geosets)
            chunk.geosets.push_back(RandomGeoset(state));
    }
    if (chunk.kind == ChunkSpec::Other) {
        chunk.tag = TagFromLetters(kOtherTags[Below(state, sizeof kOtherTags / sizeof kOtherTags[0])]);
        chunk.size = static_cast<std::int32_t>(Below(state, 70));
    }
    return chunk;
}

TrackSpec Track(const char* letters, std::int32_t interpolation, std::int32_t keyCount)
{
    return TrackSpec{TagFromLetters(letters), interpolation, keyCount};
}

ChunkSpec OtherChunk(const char* letters, std::int32_t size)
{
    ChunkSpec chunk;
    chunk.tag = TagFromLetters(letters);
    chunk.size = size;
    return chunk;
}

GeosetSpec Geoset(std::int32_t vertices, std::int32_t faceIndices, std::int32_t vertexGroups, std::int32_t extents,
                  std::int32_t uvSets, bool tangents, bool skin)
{
    GeosetSpec geoset;
    geoset.vertexCount = vertices;
    geoset.faceIndexCount = faceIndices;
    geoset.vertexGroupCount = vertexGroups;
    geoset.extentCount = extents;
    geoset.uvSetCount = uvSets;
    geoset.tangents = tangents;
    geoset.skin = skin;
    return geoset;
}

} // namespace

WrittenModel WriteModel(const ModelSpec& description, std::uint32_t seed)
{
    WrittenModel model;
    ModelOutput out;
    out.reducedOffsets = &model.reducedOffsets;
    out.random = StartState(seed);
    PutModel(out, description);
    model.bytes = std::move(out.bytes);
    return model;
}

std::uint64_t StreamModel(const ModelSpec& description, std::ostream& out, std::uint32_t seed)
{
    ModelOutput piecewise;
    piecewise.stream = &out;
    piecewise.random = StartState(seed);
    piecewise.bytes.reserve(kFlushBytes + 64);
    PutModel(piecewise, description);
    out.write(piecewise.bytes.data(), static_cast<std::streamsize>(piecewise.bytes.size()));
    return piecewise.reducedCount;
}

std::string ExpectedOutput(const WrittenModel& model)
{
    std::string expected = model.bytes;
    for (std::uint64_t offset : model.reducedOffsets) {
        expected[offset] = '\0';
        expected[offset + 1] = '\0';
    }
    return expected;
}

ModelSpec FullModelSpec(std::int32_t version)
{
    ModelSpec description;
    description.version = version;
    description.chunks.push_back(OtherChunk("MODL", 372));
    description.chunks.push_back(OtherChunk("SEQS", 264));
    description.chunks.push_back(OtherChunk("GLBS", 8));
    description.chunks.push_back(OtherChunk("TEXS", 13)); // an odd size moves every later chunk off 4-byte steps

    ChunkSpec bones;
    bones.kind = ChunkSpec::Bones;
    bones.nodes.push_back({{Track("KGTR", 0, 2), Track("KGRT", 1, 3), Track("KGSC", 2, 1)}});
    bones.nodes.push_back({{Track("KGRT", 3, 2), Track("KGTR", 3, 1), Track("KGSC", 1, 2)}});
    bones.nodes.push_back({});                                                     // no tracks
    bones.nodes.push_back({{Track("KGRT", 2, 2), Track("KATV", 0, 3), Track("KGTR", 1, 2)}}); // another tag
    bones.nodes.push_back({{Track("KGTR", 1, 0), Track("KGSC", 3, 3)}});           // a track without keys
    description.chunks.push_back(bones);

    ChunkSpec helpers;
    helpers.kind = ChunkSpec::Helpers;
    helpers.nodes.push_back({{Track("KGSC", 0, 1), Track("KGRT", 2, 1), Track("KGTR", 2, 3)}});
    helpers.nodes.push_back({});
    helpers.nodes.push_back({{Track("KGAO", 3, 2)}});
    description.chunks.push_back(helpers);

    description.chunks.push_back(OtherChunk("PIVT", 84));

    ChunkSpec geosets;
    geosets.kind = ChunkSpec::Geosets;
    geosets.geosets.push_back(Geoset(5, 9, 5, 0, 1, true, true));   // odd counts, no extents
    geosets.geosets.push_back(Geoset(4, 6, 4, 3, 2, true, false));  // two texture coordinate sets
    geosets.geosets.push_back(Geoset(3, 3, 3, 1, 3, false, true));  // three sets
    geosets.geosets.push_back(Geoset(0, 0, 0, 0, 1, false, false)); // empty arrays
    geosets.geosets.back().faceTypeCount = 0;
    geosets.geosets.back().faceGroupCount = 0;
    geosets.geosets.back().matrixGroupCount = 0;
    geosets.geosets.back().matrixIndexCount = 0;
    geosets.geosets.push_back(Geoset(7, 15, 7, 2, 1, false, false));
    description.chunks.push_back(geosets);

    ChunkSpec emptyHelpers;
    emptyHelpers.kind = ChunkSpec::Helpers;
    description.chunks.push_back(emptyHelpers);
    description.chunks.push_back(OtherChunk("CLID", 57));
    return description;
}

ModelSpec RandomModelSpec(std::uint32_t seed, std::int32_t version)
{
    std::uint32_t state = StartState(seed) ^ 0xA5A5A5A5u;
    ModelSpec description;
    description.version = version;
    // A version-800 model need not say so.
    description.writeVersion = version != 800 || Below(state, 3) != 0;
    const std::uint32_t chunkCount = 1 + Below(state, 9);
    for (std::uint32_t i = 0; i < chunkCount; ++i)
        description.chunks.push_back(RandomChunk(state));
    return description;
}

std::string Int32Bytes(std::uint32_t value)
{
    ModelOutput out;
    PutInt32(out, value);
    return out.bytes;
}

std::string HexBytes(const std::string& bytes)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char byte : bytes) {
        if (!text.empty())
            text += ' ';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

StreamResult ConvertBytes(const std::string& input)
{
    std::istringstream source(input);
    std::ostringstream sink;
    StreamResult result;
    result.converted = ConvertModelStream(source, sink, result.report);
    result.out = sink.str();
    return result;
}
