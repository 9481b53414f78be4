// Bytes parsed the way the converter walks them: the layout read back, for the fuzz target's
// checks and its mutator.

#include "model_oracle.h"

#include <utility>

namespace {

// A node's tracks start after its size and header.
constexpr std::int64_t kNodeTracksStart = 4 + kNodeHeaderSize;

// A cursor over one walked chunk body.
struct Reader {
    const std::string& bytes;
    std::size_t at;
};

// Takes n bytes into into (if given) when n fits in left. Returns false when it does not.
bool Take(Reader& in, std::int64_t n, std::int64_t& left, std::string* into)
{
    if (n < 0 || n > left)
        return false;
    if (into)
        *into = in.bytes.substr(in.at, static_cast<std::size_t>(n));
    in.at += static_cast<std::size_t>(n);
    left -= n;
    return true;
}

// Takes a 32-bit field when 4 bytes fit in left.
bool TakeField(Reader& in, std::int64_t& left, std::int32_t& value)
{
    if (left < 4)
        return false;
    value = FieldAt(in.bytes, in.at);
    in.at += 4;
    left -= 4;
    return true;
}

// A count, then count elements of elementSize bytes, all within left.
bool TakeCounted(Reader& in, std::int64_t elementSize, std::int64_t& left, std::string& data)
{
    std::int32_t count = 0;
    return TakeField(in, left, count) && count >= 0 && Take(in, count * elementSize, left, &data);
}

bool ParseNode(Reader& in, std::int64_t room, NodeLayout& node)
{
    std::int32_t nodeSize = 0;
    if (!TakeField(in, room, nodeSize) || nodeSize < kNodeTracksStart || nodeSize - 4 > room)
        return false;
    std::int64_t left = nodeSize - 4;
    Take(in, kNodeHeaderSize, left, &node.header);
    while (left > 0) {
        std::int32_t tag = 0;
        if (!TakeField(in, left, tag))
            return false;
        if (!IsReducedTrack(tag)) {
            in.at -= 4;
            left += 4;
            return Take(in, left, left, &node.otherTracks);
        }
        TrackLayout track;
        track.tag = tag;
        std::int32_t count = 0;
        if (!TakeField(in, left, count) || !TakeField(in, left, track.interpolation) ||
            !TakeField(in, left, track.globalSequence) || count < 0 ||
            !Take(in, count * KeySize(tag, track.interpolation), left, &track.keys))
            return false;
        node.tracks.push_back(std::move(track));
    }
    return true;
}

bool ParseNodes(Reader& in, std::int64_t size, bool bones, std::vector<NodeLayout>& nodes)
{
    std::int64_t left = size;
    while (left > 0) {
        NodeLayout node;
        const std::size_t start = in.at;
        if (!ParseNode(in, left - (bones ? kBoneTailSize : 0), node))
            return false;
        left -= static_cast<std::int64_t>(in.at - start);
        if (bones && !Take(in, kBoneTailSize, left, &node.boneTail))
            return false;
        nodes.push_back(std::move(node));
    }
    return true;
}

bool ParseGeoset(Reader& in, std::int64_t room, std::int32_t version, GeosetLayout& geoset)
{
    std::int32_t geosetSize = 0;
    if (!TakeField(in, room, geosetSize) || geosetSize < 4 || geosetSize - 4 > room)
        return false;
    std::int64_t left = geosetSize - 4;
    for (int i = 0; i < kGeosetArrayCount; ++i) {
        if (!TakeField(in, left, geoset.arrays[i].tag) ||
            !TakeCounted(in, kGeosetElementSizes[i], left, geoset.arrays[i].data))
            return false;
    }
    const bool later = version > 800;
    if (!Take(in, GeosetBlockSize(version), left, &geoset.block) || !TakeCounted(in, kExtentSize, left, geoset.extents) ||
        !TakeField(in, left, geoset.uvTag))
        return false;
    if (later && geoset.uvTag == tags::kTangents) {
        geoset.hasTangents = true;
        if (!TakeCounted(in, kTangentSize, left, geoset.tangents) || !TakeField(in, left, geoset.uvTag))
            return false;
    }
    if (later && geoset.uvTag == tags::kSkin) {
        geoset.hasSkin = true;
        if (!TakeCounted(in, kSkinSize, left, geoset.skin) || !TakeField(in, left, geoset.uvTag))
            return false;
    }
    std::int32_t setCount = 0;
    if (!TakeField(in, left, setCount) || setCount < 0)
        return false;
    for (std::int32_t set = 0; set < setCount; ++set) {
        ArrayLayout uvSet;
        if (!TakeField(in, left, uvSet.tag) || !TakeCounted(in, kCoordinateSize, left, uvSet.data))
            return false;
        geoset.uvSets.push_back(std::move(uvSet));
    }
    return left == 0;
}

bool ParseGeosets(Reader& in, std::int64_t size, std::int32_t version, std::vector<GeosetLayout>& geosets)
{
    std::int64_t left = size;
    while (left > 0) {
        GeosetLayout geoset;
        const std::size_t start = in.at;
        if (!ParseGeoset(in, left, version, geoset))
            return false;
        left -= static_cast<std::int64_t>(in.at - start);
        geosets.push_back(std::move(geoset));
    }
    return true;
}

bool IsWalked(std::int32_t tag)
{
    return tag == tags::kBone || tag == tags::kHelper || tag == tags::kGeoset;
}

} // namespace

bool ParseModel(const std::string& bytes, ModelLayout& model)
{
    model = ModelLayout();
    if (bytes.size() < 4 || FieldAt(bytes, 0) != tags::kModel)
        return false;
    std::int32_t version = 800;
    std::size_t at = 4;
    model.complete = true;
    while (at < bytes.size()) {
        const std::int64_t remaining = static_cast<std::int64_t>(bytes.size() - at);
        // Stray bytes or a zero tag: the rest is copied as it stands.
        if (remaining < 4 || FieldAt(bytes, at) == 0) {
            model.tail = bytes.substr(at);
            return true;
        }
        const std::int32_t size = remaining < 8 ? -1 : FieldAt(bytes, at + 4);
        if (size < 0 || size > remaining - 8) {
            model.tail = bytes.substr(at);
            model.complete = false;
            return true;
        }
        ChunkLayout chunk;
        chunk.tag = FieldAt(bytes, at);
        const std::size_t bodyAt = at + 8;
        if (IsWalked(chunk.tag)) {
            Reader in{bytes, bodyAt};
            chunk.walked = chunk.tag == tags::kGeoset ? ParseGeosets(in, size, version, chunk.geosets)
                                                      : ParseNodes(in, size, chunk.tag == tags::kBone, chunk.nodes);
            if (!chunk.walked) {
                chunk.nodes.clear();
                chunk.geosets.clear();
                model.complete = false;
            }
        } else if (chunk.tag == tags::kVersion && size == 4) {
            version = FieldAt(bytes, bodyAt);
        }
        if (!chunk.walked)
            chunk.body = bytes.substr(bodyAt, static_cast<std::size_t>(size));
        model.chunks.push_back(std::move(chunk));
        at = bodyAt + static_cast<std::size_t>(size);
    }
    return true;
}

std::vector<std::size_t> ChunkBoundaries(const std::string& bytes)
{
    std::vector<std::size_t> boundaries;
    std::size_t at = 4;
    while (at + 8 <= bytes.size()) {
        boundaries.push_back(at);
        // A size that is negative or runs past the end ends the list: the rest is one piece.
        const std::int32_t size = FieldAt(bytes, at + 4);
        if (size < 0 || static_cast<std::size_t>(size) > bytes.size() - at - 8)
            break;
        at += 8 + static_cast<std::size_t>(size);
    }
    boundaries.push_back(bytes.size());
    return boundaries;
}
