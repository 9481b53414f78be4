// Models built from descriptions: contents drawn from a small generator in file order, and the
// descriptions of the full model and of random models.

#include "model_oracle.h"

#include <algorithm>

namespace {

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

// size bytes of contents: 4-byte field values, then single non-zero bytes for a rest below 4.
// With singleBytes every byte is drawn alone (face indices, vertex groups, skin weights).
std::string Contents(std::int64_t size, std::uint32_t& state, bool singleBytes = false)
{
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(size));
    for (std::int64_t i = 0; !singleBytes && i + 4 <= size; i += 4)
        bytes += Int32Bytes(NextFieldValue(state));
    while (static_cast<std::int64_t>(bytes.size()) < size)
        bytes += static_cast<char>((NextRandom(state) % 255) + 1);
    return bytes;
}

std::int64_t Count(std::int32_t count)
{
    return std::max<std::int32_t>(count, 0);
}

ArrayLayout Array(const char* letters, std::int64_t bytes, std::uint32_t& state, bool singleBytes = false)
{
    return ArrayLayout{TagOf(letters), Contents(bytes, state, singleBytes)};
}

// ---- Random descriptions

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
    static const std::int32_t kTags[] = {tags::kTranslation, tags::kRotation, tags::kScaling, tags::kTranslation,
                                         tags::kRotation,    tags::kScaling,  tags::kRotation, TagOf("KATV"),
                                         tags::kTranslation, tags::kScaling,  tags::kRotation, TagOf("KGAO")};
    return kTags[Below(state, sizeof kTags / sizeof kTags[0])];
}

NodePlan RandomNode(std::uint32_t& state)
{
    NodePlan node;
    const std::uint32_t trackCount = Below(state, 5);
    for (std::uint32_t i = 0; i < trackCount; ++i) {
        TrackPlan track;
        track.tag = RandomTrackTag(state);
        track.interpolation = static_cast<std::int32_t>(Below(state, 4));
        track.keyCount = static_cast<std::int32_t>(Below(state, 6));
        node.tracks.push_back(track);
    }
    return node;
}

GeosetPlan RandomGeoset(std::uint32_t& state)
{
    GeosetPlan geoset;
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

ChunkPlan RandomChunk(std::uint32_t& state)
{
    ChunkPlan chunk;
    chunk.kind = static_cast<ChunkPlan::Kind>(Below(state, 4));
    const std::uint32_t itemCount = Below(state, 4);
    for (std::uint32_t i = 0; i < itemCount; ++i) {
        if (chunk.kind == ChunkPlan::Bones || chunk.kind == ChunkPlan::Helpers)
            chunk.nodes.push_back(RandomNode(state));
        else if (chunk.kind == ChunkPlan::Geosets)
            chunk.geosets.push_back(RandomGeoset(state));
    }
    if (chunk.kind == ChunkPlan::Other) {
        chunk.tag = TagOf(kOtherTags[Below(state, sizeof kOtherTags / sizeof kOtherTags[0])]);
        chunk.size = static_cast<std::int32_t>(Below(state, 70));
    }
    return chunk;
}

// ---- The full model's parts

TrackPlan Track(const char* letters, std::int32_t interpolation, std::int32_t keyCount)
{
    return TrackPlan{TagOf(letters), interpolation, keyCount};
}

ChunkPlan OtherChunk(const char* letters, std::int32_t size)
{
    ChunkPlan chunk;
    chunk.tag = TagOf(letters);
    chunk.size = size;
    return chunk;
}

GeosetPlan Geoset(std::int32_t vertices, std::int32_t faceIndices, std::int32_t vertexGroups, std::int32_t extents,
                  std::int32_t uvSets, bool tangents, bool skin)
{
    GeosetPlan geoset;
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

std::uint32_t ContentState(std::uint32_t seed)
{
    return seed * 0x2545F491u + 0x6A09E667u;
}

NodeLayout BuildNode(const NodePlan& wanted, bool bone, std::uint32_t& state)
{
    NodeLayout node;
    node.header = Contents(kNodeHeaderSize, state);
    for (const TrackPlan& trackPlan : wanted.tracks) {
        TrackLayout track;
        track.tag = trackPlan.tag;
        track.interpolation = trackPlan.interpolation;
        track.globalSequence = static_cast<std::int32_t>(NextFieldValue(state));
        track.keys = Contents(Count(trackPlan.keyCount) * KeySize(track.tag, track.interpolation), state);
        node.tracks.push_back(track);
    }
    if (bone)
        node.boneTail = Contents(kBoneTailSize, state);
    return node;
}

GeosetLayout BuildGeoset(const GeosetPlan& wanted, std::int32_t version, std::uint32_t& state)
{
    const std::int64_t vertices = Count(wanted.vertexCount);
    const bool later = version > 800;
    GeosetLayout geoset;
    geoset.arrays[kPositions] = Array("VRTX", vertices * kGeosetElementSizes[kPositions], state);
    geoset.arrays[kNormals] = Array("NRMS", vertices * kGeosetElementSizes[kNormals], state);
    geoset.arrays[kFaceTypes] = Array("PTYP", Count(wanted.faceTypeCount) * kGeosetElementSizes[kFaceTypes], state);
    geoset.arrays[kFaceGroups] = Array("PCNT", Count(wanted.faceGroupCount) * kGeosetElementSizes[kFaceGroups], state);
    geoset.arrays[kFaces] = Array("PVTX", Count(wanted.faceIndexCount) * kGeosetElementSizes[kFaces], state, true);
    geoset.arrays[kVertexGroups] =
        Array("GNDX", Count(wanted.vertexGroupCount) * kGeosetElementSizes[kVertexGroups], state, true);
    geoset.arrays[kMatrixGroups] =
        Array("MTGC", Count(wanted.matrixGroupCount) * kGeosetElementSizes[kMatrixGroups], state);
    geoset.arrays[kMatrixIndices] =
        Array("MATS", Count(wanted.matrixIndexCount) * kGeosetElementSizes[kMatrixIndices], state);
    geoset.block = Contents(GeosetBlockSize(version), state);
    geoset.extents = Contents(Count(wanted.extentCount) * kExtentSize, state);
    geoset.hasTangents = later && wanted.tangents;
    if (geoset.hasTangents)
        geoset.tangents = Contents(vertices * kTangentSize, state);
    geoset.hasSkin = later && wanted.skin;
    if (geoset.hasSkin)
        geoset.skin = Contents(vertices * 8 * kSkinSize, state, true); // four bone indices and four weights
    geoset.uvTag = TagOf("UVAS");
    for (std::int32_t set = 0; set < wanted.uvSetCount; ++set)
        geoset.uvSets.push_back(Array("UVBS", vertices * kCoordinateSize, state));
    return geoset;
}

ChunkLayout BuildOtherChunk(std::int32_t tag, std::int32_t size, std::uint32_t& state)
{
    ChunkLayout chunk;
    chunk.tag = tag;
    chunk.body = Contents(Count(size), state);
    return chunk;
}

ModelPlan FullModelPlan(std::int32_t version)
{
    ModelPlan description;
    description.version = version;
    description.chunks.push_back(OtherChunk("MODL", 372));
    description.chunks.push_back(OtherChunk("SEQS", 264));
    description.chunks.push_back(OtherChunk("GLBS", 8));
    description.chunks.push_back(OtherChunk("TEXS", 13)); // an odd size moves every later chunk off 4-byte steps

    ChunkPlan bones;
    bones.kind = ChunkPlan::Bones;
    bones.nodes.push_back({{Track("KGTR", 0, 2), Track("KGRT", 1, 3), Track("KGSC", 2, 1)}});
    bones.nodes.push_back({{Track("KGRT", 3, 2), Track("KGTR", 3, 1), Track("KGSC", 1, 2)}});
    bones.nodes.push_back({});                                                     // no tracks
    bones.nodes.push_back({{Track("KGRT", 2, 2), Track("KATV", 0, 3), Track("KGTR", 1, 2)}}); // another tag
    bones.nodes.push_back({{Track("KGTR", 1, 0), Track("KGSC", 3, 3)}});           // a track without keys
    description.chunks.push_back(bones);

    ChunkPlan helpers;
    helpers.kind = ChunkPlan::Helpers;
    helpers.nodes.push_back({{Track("KGSC", 0, 1), Track("KGRT", 2, 1), Track("KGTR", 2, 3)}});
    helpers.nodes.push_back({});
    helpers.nodes.push_back({{Track("KGAO", 3, 2)}});
    description.chunks.push_back(helpers);

    description.chunks.push_back(OtherChunk("PIVT", 84));

    ChunkPlan geosets;
    geosets.kind = ChunkPlan::Geosets;
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

    ChunkPlan emptyHelpers;
    emptyHelpers.kind = ChunkPlan::Helpers;
    description.chunks.push_back(emptyHelpers);
    description.chunks.push_back(OtherChunk("CLID", 57));
    return description;
}

ModelPlan RandomModelPlan(std::uint32_t seed, std::int32_t version)
{
    std::uint32_t state = ContentState(seed) ^ 0xA5A5A5A5u;
    ModelPlan description;
    description.version = version;
    // A version-800 model need not say so.
    description.writeVersion = version != 800 || Below(state, 3) != 0;
    const std::uint32_t chunkCount = 1 + Below(state, 9);
    for (std::uint32_t i = 0; i < chunkCount; ++i)
        description.chunks.push_back(RandomChunk(state));
    return description;
}
