#include "model_layout.h"

#include "model_tags.h"

namespace {

// A node's size, header and tracks start at 96; a bone adds its geoset ids after the node.
constexpr std::int64_t kNodeHeaderSize = 92;
constexpr std::int64_t kNodeTracksStart = 4 + kNodeHeaderSize;
constexpr std::int64_t kBoneTailSize = 8;
// The geoset block: material, selection and extent; later versions add a LOD level and name.
constexpr std::int64_t kGeosetBlockSize = 40;
constexpr std::int64_t kLaterGeosetBlockSize = 124;
// Element sizes of the later arrays: a sequence extent (7 floats), a tangent (4 floats), a skin
// weight (1 byte), a coordinate pair (2 floats).
constexpr std::int64_t kExtentSize = 28;
constexpr std::int64_t kTangentSize = 16;
constexpr std::int64_t kSkinSize = 1;
constexpr std::int64_t kCoordinateSize = 8;
// Bytes written where a leaf was too short for its fixed size.
constexpr char kPadByte = 0x5A;

bool IsReducedTrackTag(std::int32_t tag)
{
    return tag == kTagTranslation || tag == kTagRotation || tag == kTagScaling;
}

// A cursor over one walked chunk body: where it stands, and how much its container has left.
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
        if (!IsReducedTrackTag(tag)) {
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
        node.tracks.push_back(track);
    }
    return true;
}

bool ParseNodes(Reader& in, std::int64_t size, bool bones, std::vector<NodeLayout>& nodes)
{
    std::int64_t left = size;
    while (left > 0) {
        NodeLayout node;
        const std::int64_t tail = bones ? kBoneTailSize : 0;
        std::int64_t room = left - tail;
        const std::size_t start = in.at;
        if (!ParseNode(in, room, node))
            return false;
        left -= static_cast<std::int64_t>(in.at - start);
        if (bones && !Take(in, kBoneTailSize, left, &node.boneTail))
            return false;
        nodes.push_back(node);
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
    if (!Take(in, later ? kLaterGeosetBlockSize : kGeosetBlockSize, left, &geoset.block) ||
        !TakeCounted(in, kExtentSize, left, geoset.extents) || !TakeField(in, left, geoset.uvTag))
        return false;
    if (later && geoset.uvTag == kTagTangents) {
        geoset.hasTangents = true;
        if (!TakeCounted(in, kTangentSize, left, geoset.tangents) || !TakeField(in, left, geoset.uvTag))
            return false;
    }
    if (later && geoset.uvTag == kTagSkin) {
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
        geoset.uvSets.push_back(uvSet);
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
        geosets.push_back(geoset);
    }
    return true;
}

// Parses a walked chunk's body of size bytes at offset; false when it does not walk cleanly.
bool ParseWalkedChunk(const std::string& bytes, std::size_t offset, std::int64_t size, std::int32_t version,
                      ChunkLayout& chunk)
{
    Reader in{bytes, offset};
    if (chunk.tag == kTagGeoset)
        return ParseGeosets(in, size, version, chunk.geosets);
    return ParseNodes(in, size, chunk.tag == kTagBone, chunk.nodes);
}

// Output of WriteLayout in progress.
struct Writer {
    std::string out;
    bool reduce;
    std::vector<Mark>* marks;
    std::int64_t reducedCount;
};

void MarkHere(Writer& w, MarkKind kind)
{
    if (w.marks)
        w.marks->push_back(Mark{w.out.size(), kind});
}

void PutField(Writer& w, std::int32_t value, MarkKind kind)
{
    MarkHere(w, kind);
    w.out.append(4, '\0');
    PutFieldAt(w.out, w.out.size() - 4, value);
}

// Writes data cut down to whole elements of elementSize (or brought to exactly fixedSize when
// that is not negative), and returns the number of elements.
std::int64_t PutData(Writer& w, const std::string& data, std::int64_t elementSize, std::int64_t fixedSize = -1)
{
    std::string piece = data;
    if (fixedSize >= 0)
        piece.resize(static_cast<std::size_t>(fixedSize), kPadByte);
    else
        piece.resize(piece.size() - piece.size() % static_cast<std::size_t>(elementSize));
    if (!piece.empty())
        MarkHere(w, kMarkData);
    w.out += piece;
    return static_cast<std::int64_t>(piece.size()) / elementSize;
}

// Zeroes the two low-order bytes of each 4-byte value in [from, from + bytes) of the output.
void ReduceWritten(Writer& w, std::size_t from, std::int64_t bytes)
{
    if (!w.reduce)
        return;
    for (std::int64_t i = 0; i + 4 <= bytes; i += 4) {
        w.out[from + static_cast<std::size_t>(i)] = 0;
        w.out[from + static_cast<std::size_t>(i) + 1] = 0;
        ++w.reducedCount;
    }
}

// A count, then the elements; the values reduced when reduced is set.
void PutCounted(Writer& w, const std::string& data, std::int64_t elementSize, bool reduced)
{
    const std::size_t countAt = w.out.size();
    PutField(w, 0, kMarkCount);
    const std::size_t dataAt = w.out.size();
    const std::int64_t count = PutData(w, data, elementSize);
    PutFieldAt(w.out, countAt, static_cast<std::int32_t>(count));
    if (reduced)
        ReduceWritten(w, dataAt, count * elementSize);
}

void PutTrack(Writer& w, const TrackLayout& track)
{
    const std::int64_t keySize = KeySize(track.tag, track.interpolation);
    PutField(w, track.tag, kMarkTag);
    const std::size_t countAt = w.out.size();
    PutField(w, 0, kMarkCount);
    PutField(w, track.interpolation, kMarkField);
    PutField(w, track.globalSequence, kMarkField);
    const std::size_t keysAt = w.out.size();
    const std::int64_t count = PutData(w, track.keys, keySize);
    PutFieldAt(w.out, countAt, static_cast<std::int32_t>(count));
    for (std::int64_t key = 0; key < count; ++key)
        ReduceWritten(w, keysAt + static_cast<std::size_t>(key * keySize + 4), keySize - 4);
}

void PutNode(Writer& w, const NodeLayout& node, bool bone)
{
    const std::size_t sizeAt = w.out.size();
    PutField(w, 0, kMarkNodeSize);
    PutData(w, node.header, 1, kNodeHeaderSize);
    for (const TrackLayout& track : node.tracks)
        PutTrack(w, track);
    if (!node.otherTracks.empty()) {
        // The rest of the node must start with a whole tag that is none of the three.
        std::string rest = node.otherTracks;
        if (rest.size() < 4)
            rest.resize(4, kPadByte);
        if (IsReducedTrackTag(FieldAt(rest, 0)))
            rest[0] = 'X';
        MarkHere(w, kMarkTag);
        w.out += rest;
    }
    PutFieldAt(w.out, sizeAt, static_cast<std::int32_t>(w.out.size() - sizeAt));
    if (bone)
        PutData(w, node.boneTail, 1, kBoneTailSize);
}

void PutGeoset(Writer& w, const GeosetLayout& geoset, std::int32_t version)
{
    const bool later = version > 800;
    const std::size_t sizeAt = w.out.size();
    PutField(w, 0, kMarkGeosetSize);
    for (int i = 0; i < kGeosetArrayCount; ++i) {
        PutField(w, geoset.arrays[i].tag, kMarkTag);
        PutCounted(w, geoset.arrays[i].data, kGeosetElementSizes[i], i == kPositions || i == kNormals);
    }
    PutData(w, geoset.block, 1, later ? kLaterGeosetBlockSize : kGeosetBlockSize);
    PutCounted(w, geoset.extents, kExtentSize, true);
    const bool tangents = later && geoset.hasTangents;
    const bool skin = later && geoset.hasSkin;
    if (tangents) {
        PutField(w, kTagTangents, kMarkTag);
        PutCounted(w, geoset.tangents, kTangentSize, true);
    }
    if (skin) {
        PutField(w, kTagSkin, kMarkTag);
        PutCounted(w, geoset.skin, kSkinSize, false);
    }
    // The walk compares the tag after the extents with the tangents' and skin weights' tags.
    std::int32_t uvTag = geoset.uvTag;
    if (later && ((!skin && uvTag == kTagSkin) || (!tangents && !skin && uvTag == kTagTangents)))
        uvTag = TagFromLetters("UVAS");
    PutField(w, uvTag, kMarkTag);
    PutField(w, static_cast<std::int32_t>(geoset.uvSets.size()), kMarkCount);
    for (const ArrayLayout& uvSet : geoset.uvSets) {
        PutField(w, uvSet.tag, kMarkTag);
        PutCounted(w, uvSet.data, kCoordinateSize, true);
    }
    PutFieldAt(w.out, sizeAt, static_cast<std::int32_t>(w.out.size() - sizeAt));
}

} // namespace

std::int32_t FieldAt(const std::string& bytes, std::size_t offset)
{
    const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[offset + i])); };
    return static_cast<std::int32_t>(byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24);
}

void PutFieldAt(std::string& bytes, std::size_t offset, std::int32_t value)
{
    const std::uint32_t bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<char>(bits >> (8 * i));
}

bool IsSizeOrCount(MarkKind kind)
{
    return kind == kMarkChunkSize || kind == kMarkNodeSize || kind == kMarkGeosetSize || kind == kMarkCount;
}

std::int64_t KeySize(std::int32_t tag, std::int32_t interpolation)
{
    const std::int64_t components = tag == kTagRotation ? 4 : 3;
    const std::int64_t values = interpolation <= 1 ? 1 : 3;
    return 4 * (1 + values * components);
}

bool ParseModel(const std::string& bytes, ModelLayout& model)
{
    model = ModelLayout();
    if (bytes.size() < 4 || FieldAt(bytes, 0) != kModelMagic)
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
        if (chunk.tag == kTagBone || chunk.tag == kTagHelper || chunk.tag == kTagGeoset) {
            chunk.walked = ParseWalkedChunk(bytes, bodyAt, size, version, chunk);
            if (!chunk.walked) {
                chunk.nodes.clear();
                chunk.geosets.clear();
                model.complete = false;
            }
        } else if (chunk.tag == kTagVersion && size == 4) {
            version = FieldAt(bytes, bodyAt);
        }
        if (!chunk.walked)
            chunk.body = bytes.substr(bodyAt, static_cast<std::size_t>(size));
        model.chunks.push_back(chunk);
        at = bodyAt + static_cast<std::size_t>(size);
    }
    return true;
}

std::string WriteLayout(const ModelLayout& model, bool reduce, std::vector<Mark>* marks, std::int64_t* reducedCount)
{
    Writer w{std::string(), reduce, marks, 0};
    PutField(w, kModelMagic, kMarkTag);
    std::int32_t version = 800;
    for (const ChunkLayout& chunk : model.chunks) {
        PutField(w, chunk.tag, kMarkTag);
        const std::size_t sizeAt = w.out.size();
        PutField(w, 0, kMarkChunkSize);
        if (!chunk.walked) {
            if (chunk.tag == kTagVersion && chunk.body.size() == 4) {
                version = FieldAt(chunk.body, 0);
                PutField(w, version, kMarkField);
            } else {
                PutData(w, chunk.body, 1);
            }
        } else if (chunk.tag == kTagGeoset) {
            for (const GeosetLayout& geoset : chunk.geosets)
                PutGeoset(w, geoset, version);
        } else {
            for (const NodeLayout& node : chunk.nodes)
                PutNode(w, node, chunk.tag == kTagBone);
        }
        PutFieldAt(w.out, sizeAt, static_cast<std::int32_t>(w.out.size() - sizeAt - 4));
    }
    if (!model.tail.empty())
        MarkHere(w, kMarkData);
    w.out += model.tail;
    if (reducedCount)
        *reducedCount = w.reducedCount;
    return w.out;
}
