#include "chunk_walkers.h"

#include "model_tags.h"
#include "stream_io.h"
#include "value_reduction.h"

namespace {

// A node: inclusive size (4), then name (80), object id, parent id, flags: 96 bytes before the tracks.
constexpr std::int64_t kNodeHeaderSize = 92;
constexpr std::int64_t kNodeTracksStart = 4 + kNodeHeaderSize;
// What follows a bone's node: its geoset id and geoset animation id.
constexpr std::int64_t kBoneTailSize = 8;
// Material id, selection group, selection flags, then the extent: radius, minimum, maximum.
constexpr std::int64_t kGeosetBlockSize = 40;
// Versions above 800 add a LOD level and an 80-byte LOD name after the selection flags.
constexpr std::int64_t kLaterGeosetBlockSize = kGeosetBlockSize + 4 + 80;

// Records reason and the input offset in report (unless a failure was recorded or the source had
// failed already) and puts the source into the failed state, which ends every walk loop.
void FailWalk(std::istream& source, ConversionReport& report, const char* reason)
{
    if (!source.fail() && report.reason.empty()) {
        report.reason = reason;
        report.kind = FailureKind::Malformed;
        report.offset = static_cast<std::int64_t>(source.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in));
    }
    source.setstate(std::ios::failbit);
}

// One track of values of kind after its tag: key count, interpolation type, global sequence id,
// keys. A value has C components (3, or 4 for a rotation); interpolation types above 1 carry two
// tangents per value. room is what the track region has left after the tag. Returns the bytes the
// track took after its tag: 12 + count * 4 * (V * C + 1).
std::int64_t WalkTrack(std::istream& source, std::ostream& sink, ReducedKind kind, std::int64_t room,
                       const ConversionSettings& settings, ConversionReport& report)
{
    const int C = ValuesPerElement(kind);
    std::int32_t header[3]; // key count, interpolation type, global sequence id
    CopyInt32Fields(source, sink, header, 3);
    const std::int64_t count = header[0];
    const std::int32_t interpolation = header[1];
    // Hermite and Bezier keys carry the value, its in-tangent and its out-tangent.
    const std::int64_t valuesPerKey = (interpolation <= 1 ? 1 : 3) * static_cast<std::int64_t>(C);
    const std::int64_t length = 12 + count * 4 * (valuesPerKey + 1);
    if (count < 0) {
        FailWalk(source, report, "negative key count");
        return room;
    }
    if (length > room) {
        FailWalk(source, report, "track runs past the end of its node");
        return room;
    }
    CopyReducedValues(source, sink, count, 1, static_cast<int>(valuesPerKey), kind, settings);
    report.floatsReduced += count * valuesPerKey;
    return length;
}

// The tracks of a node, regionSize bytes. A tag other than translation, rotation and scaling
// ends the walk: the rest of the region is copied unchanged.
void WalkNodeTracks(std::istream& source, std::ostream& sink, std::int64_t regionSize,
                    const ConversionSettings& settings, ConversionReport& report)
{
    std::int64_t consumed = 0;
    while (consumed < regionSize && !IsWalkOver(source, sink)) {
        if (regionSize - consumed < 4)
            return FailWalk(source, report, "node ends inside a track tag");
        const std::int32_t tag = CopyInt32(source, sink);
        consumed += 4;
        if (tag == kTagTranslation) {
            consumed += WalkTrack(source, sink, ReducedKind::Translation, regionSize - consumed, settings, report);
        } else if (tag == kTagRotation) {
            consumed += WalkTrack(source, sink, ReducedKind::Rotation, regionSize - consumed, settings, report);
        } else if (tag == kTagScaling) {
            consumed += WalkTrack(source, sink, ReducedKind::Scaling, regionSize - consumed, settings, report);
        } else {
            // Other tracks hold nothing that is reduced, and their length is known only from their
            // own layout: the rest of the node is copied as it stands.
            CopyBlock(source, sink, regionSize - consumed);
            consumed = regionSize;
        }
    }
}

// One node: inclusive size, 92-byte header, tracks. room is what the enclosing chunk has left.
// Returns the node's inclusive size.
std::int64_t WalkNode(std::istream& source, std::ostream& sink, std::int64_t room,
                      const ConversionSettings& settings, ConversionReport& report)
{
    const std::int64_t nodeSize = CopyInt32(source, sink);
    if (nodeSize < kNodeTracksStart) {
        FailWalk(source, report, "node size is smaller than its 96-byte header");
        return room;
    }
    if (nodeSize > room) {
        FailWalk(source, report, "node runs past the end of its chunk");
        return room;
    }
    CopyBlock(source, sink, kNodeHeaderSize); // name, object id, parent id, flags
    WalkNodeTracks(source, sink, nodeSize - kNodeTracksStart, settings, report);
    return nodeSize;
}

// The count of a geoset array whose tag (if any) was already copied. Copies it and returns the
// count, taking the count and its elements of elementSize bytes from left; fails the walk and
// returns 0 when the count is negative or the array does not fit.
std::int64_t CopyGeosetCount(std::istream& source, std::ostream& sink, int elementSize, std::int64_t& left,
                             ConversionReport& report)
{
    const std::int64_t count = CopyInt32(source, sink);
    if (count < 0 || count * elementSize > left - 4) {
        FailWalk(source, report, "geoset array count is negative or runs past the geoset's size");
        return 0;
    }
    left -= 4 + count * elementSize;
    return count;
}

// A counted array of a geoset, copied unchanged: a count, then count elements of elementSize bytes.
void CopyGeosetCounted(std::istream& source, std::ostream& sink, int elementSize, std::int64_t& left,
                       ConversionReport& report)
{
    CopyBlock(source, sink, CopyGeosetCount(source, sink, elementSize, left, report) * elementSize);
}

// A counted array of a geoset of values of kind, reduced.
void ReduceGeosetCounted(std::istream& source, std::ostream& sink, ReducedKind kind, std::int64_t& left,
                         const ConversionSettings& settings, ConversionReport& report)
{
    const int values = ValuesPerElement(kind);
    const std::int64_t count = CopyGeosetCount(source, sink, 4 * values, left, report);
    CopyReducedValues(source, sink, count, 0, values, kind, settings);
    report.floatsReduced += count * values;
}

// Tagged counted arrays of a geoset: the tag, copied whatever it is, then the counted array.
void CopyGeosetArray(std::istream& source, std::ostream& sink, int elementSize, std::int64_t& left,
                     ConversionReport& report)
{
    CopyInt32(source, sink);
    left -= 4;
    CopyGeosetCounted(source, sink, elementSize, left, report);
}

void ReduceGeosetArray(std::istream& source, std::ostream& sink, ReducedKind kind, std::int64_t& left,
                       const ConversionSettings& settings, ConversionReport& report)
{
    CopyInt32(source, sink);
    left -= 4;
    ReduceGeosetCounted(source, sink, kind, left, settings, report);
}

// A fixed block of a geoset, copied unchanged.
void CopyGeosetBlock(std::istream& source, std::ostream& sink, std::int64_t size, std::int64_t& left,
                     ConversionReport& report)
{
    if (size > left)
        return FailWalk(source, report, "geoset block runs past the geoset's size");
    CopyBlock(source, sink, size);
    left -= size;
}

// The texture coordinate sets, after their tag: a set count, then per set its own tag, a count
// and count coordinate pairs (reduced).
void WalkTextureCoordinates(std::istream& source, std::ostream& sink, std::int64_t& left,
                            const ConversionSettings& settings, ConversionReport& report)
{
    const std::int32_t setCount = CopyInt32(source, sink);
    left -= 4;
    if (setCount < 0)
        return FailWalk(source, report, "negative texture coordinate set count");
    for (std::int32_t set = 0; set < setCount && !IsWalkOver(source, sink); ++set)
        ReduceGeosetArray(source, sink, ReducedKind::TextureCoordinate, left, settings, report);
}

// One geoset, in the layout of report.version. room is what the chunk has left.
// Returns the geoset's inclusive size.
std::int64_t WalkGeoset(std::istream& source, std::ostream& sink, std::int64_t room,
                        const ConversionSettings& settings, ConversionReport& report)
{
    const std::int64_t geosetSize = CopyInt32(source, sink);
    if (geosetSize < 4 || geosetSize > room) {
        FailWalk(source, report, "geoset size does not fit in its chunk");
        return room;
    }
    const bool later = report.version > 800;
    std::int64_t left = geosetSize - 4;
    ReduceGeosetArray(source, sink, ReducedKind::Position, left, settings, report); // vertex positions
    ReduceGeosetArray(source, sink, ReducedKind::Normal, left, settings, report);   // vertex normals
    CopyGeosetArray(source, sink, 4, left, report);                                 // face type groups
    CopyGeosetArray(source, sink, 4, left, report);                                 // face groups
    CopyGeosetArray(source, sink, 2, left, report);                                 // faces: vertex indices
    CopyGeosetArray(source, sink, 1, left, report);                                 // vertex groups
    CopyGeosetArray(source, sink, 4, left, report);                                 // matrix groups
    CopyGeosetArray(source, sink, 4, left, report);                                 // matrix indices
    CopyGeosetBlock(source, sink, later ? kLaterGeosetBlockSize : kGeosetBlockSize, left, report);
    ReduceGeosetCounted(source, sink, ReducedKind::Extent, left, settings, report); // sequence extents
    // The texture coordinate sets' tag; in later versions tangents and skin weights may come first.
    std::int32_t tag = CopyInt32(source, sink);
    left -= 4;
    if (later && tag == kTagTangents) {
        ReduceGeosetCounted(source, sink, ReducedKind::Tangent, left, settings, report);
        tag = CopyInt32(source, sink);
        left -= 4;
    }
    if (later && tag == kTagSkin) {
        CopyGeosetCounted(source, sink, 1, left, report); // skin weights
        CopyInt32(source, sink);
        left -= 4;
    }
    WalkTextureCoordinates(source, sink, left, settings, report);
    if (left != 0 && !IsWalkOver(source, sink))
        FailWalk(source, report, "geoset fields do not end at the geoset's size");
    return geosetSize;
}

// The walk of one item of a chunk body (a node, a geoset). room is what the body has left for
// the item and what follows it; returns the item's declared size.
using ItemWalker = std::int64_t (*)(std::istream&, std::ostream&, std::int64_t room, const ConversionSettings&,
                                    ConversionReport&);

// A chunk body of size bytes: items, each followed by tailSize bytes copied unchanged.
void WalkItems(std::istream& source, std::ostream& sink, std::int64_t size, ItemWalker walkItem,
               std::int64_t tailSize, const ConversionSettings& settings, ConversionReport& report)
{
    std::int64_t consumed = 0;
    while (consumed < size && !IsWalkOver(source, sink)) {
        consumed += walkItem(source, sink, size - consumed - tailSize, settings, report) + tailSize;
        CopyBlock(source, sink, tailSize);
    }
}

// Bones: each a node, then its geoset id and geoset animation id.
void WalkBoneChunk(std::istream& source, std::ostream& sink, std::int64_t size,
                   const ConversionSettings& settings, ConversionReport& report)
{
    WalkItems(source, sink, size, WalkNode, kBoneTailSize, settings, report);
}

// Helpers: nodes and nothing else.
void WalkHelperChunk(std::istream& source, std::ostream& sink, std::int64_t size,
                     const ConversionSettings& settings, ConversionReport& report)
{
    WalkItems(source, sink, size, WalkNode, 0, settings, report);
}

// Geosets, each in the layout of report.version.
void WalkGeosetChunk(std::istream& source, std::ostream& sink, std::int64_t size,
                     const ConversionSettings& settings, ConversionReport& report)
{
    WalkItems(source, sink, size, WalkGeoset, 0, settings, report);
}

// Copied unchanged; a 4-byte body is noted as report.version.
void WalkVersionChunk(std::istream& source, std::ostream& sink, std::int64_t size, ConversionReport& report)
{
    if (size != 4)
        return CopyBlock(source, sink, size);
    const std::int32_t version = CopyInt32(source, sink);
    if (!source.fail())
        report.version = version;
}

// Every chunk that holds nothing to reduce.
void CopyChunkVerbatim(std::istream& source, std::ostream& sink, std::int64_t size)
{
    CopyBlock(source, sink, size);
}

} // namespace

void WalkChunk(std::istream& source, std::ostream& sink, std::int32_t tag,
               const ConversionSettings& settings, ConversionReport& report)
{
    WriteInt32(sink, tag);
    const std::int32_t size = CopyInt32(source, sink);
    if (size < 0)
        return FailWalk(source, report, "negative chunk size");
    if (tag == kTagBone)
        WalkBoneChunk(source, sink, size, settings, report);
    else if (tag == kTagHelper)
        WalkHelperChunk(source, sink, size, settings, report);
    else if (tag == kTagGeoset)
        WalkGeosetChunk(source, sink, size, settings, report);
    else if (tag == kTagVersion)
        WalkVersionChunk(source, sink, size, report);
    else
        CopyChunkVerbatim(source, sink, size);
}
