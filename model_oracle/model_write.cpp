// Models written: every size and count derived from what follows it, every reduced value
// recorded where it is written. The one place outside the converter that knows in which order a
// model's fields stand and which of them are reduced.

#include "model_oracle.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Bytes written where a leaf was too short for its fixed size.
constexpr char kPadByte = 0x5A;

// A model being written. With a stream, the bytes before `flushed` have gone to it, starting at
// streamStart.
struct Writer {
    std::string out;
    std::ostream* stream = nullptr;
    std::streamoff streamStart = 0;
    std::uint64_t flushed = 0;
    std::vector<ReducedValue>* reduced = nullptr; // records, when kept
    std::vector<Mark>* marks = nullptr;           // marks, when kept
    std::uint64_t reducedCount = 0;
    std::int32_t version = 800;                   // from the last "VERS" chunk written
};

std::uint64_t Position(const Writer& w)
{
    return w.flushed + w.out.size();
}

void MarkHere(Writer& w, MarkKind kind)
{
    if (w.marks)
        w.marks->push_back(Mark{static_cast<std::size_t>(Position(w)), kind});
}

void PutField(Writer& w, std::int32_t value, MarkKind kind)
{
    MarkHere(w, kind);
    w.out += Int32Bytes(static_cast<std::uint32_t>(value));
}

// Overwrites the field at offset (a size written before its contents were known), in the
// stream if it went there already.
void PatchField(Writer& w, std::uint64_t offset, std::int64_t value)
{
    if (offset >= w.flushed) {
        PutFieldAt(w.out, static_cast<std::size_t>(offset - w.flushed), static_cast<std::int32_t>(value));
        return;
    }
    const std::string bytes = Int32Bytes(static_cast<std::uint32_t>(value));
    w.stream->seekp(w.streamStart + static_cast<std::streamoff>(offset));
    w.stream->write(bytes.data(), 4);
    w.stream->seekp(0, std::ios::end);
}

// Hands what is written to the stream, if there is one.
void Flush(Writer& w)
{
    if (w.stream == nullptr)
        return;
    w.stream->write(w.out.data(), static_cast<std::streamsize>(w.out.size()));
    w.flushed += w.out.size();
    w.out.clear();
}

// Writes data cut down to whole elements of elementSize (or brought to exactly fixedSize when
// that is not negative), and returns the number of elements.
std::int64_t PutData(Writer& w, const std::string& data, std::int64_t elementSize, std::int64_t fixedSize = -1)
{
    const std::size_t size = fixedSize >= 0 ? static_cast<std::size_t>(fixedSize)
                                            : data.size() - data.size() % static_cast<std::size_t>(elementSize);
    if (size > 0)
        MarkHere(w, kMarkData);
    // Appended in place rather than through a copy of the leaf: the fuzz checks write every input.
    w.out.append(data, 0, size);
    w.out.append(size - std::min(size, data.size()), kPadByte);
    return static_cast<std::int64_t>(size) / elementSize;
}

// Records the values in the `bytes` bytes written from offset `from` of w.out as reduced values
// of kind.
void RecordReducedAt(Writer& w, std::size_t from, std::int64_t bytes, ValueKind kind)
{
    w.reducedCount += static_cast<std::uint64_t>(bytes / 4);
    if (w.reduced == nullptr)
        return;
    const std::size_t end = from + static_cast<std::size_t>(bytes);
    for (std::size_t at = from; at < end; at += 4)
        w.reduced->push_back(ReducedValue{w.flushed + at, kind, static_cast<std::uint32_t>(FieldAt(w.out, at))});
}

// Records the values in the last `bytes` bytes written as reduced values of kind.
void RecordReduced(Writer& w, std::int64_t bytes, ValueKind kind)
{
    RecordReducedAt(w, w.out.size() - static_cast<std::size_t>(bytes), bytes, kind);
}

// A count, then the elements.
std::int64_t PutCounted(Writer& w, const std::string& data, std::int64_t elementSize)
{
    const std::size_t countAt = w.out.size();
    PutField(w, 0, kMarkCount);
    const std::int64_t count = PutData(w, data, elementSize);
    PutFieldAt(w.out, countAt, static_cast<std::int32_t>(count));
    return count * elementSize;
}

void PutReducedCounted(Writer& w, const std::string& data, std::int64_t elementSize, ValueKind kind)
{
    RecordReduced(w, PutCounted(w, data, elementSize), kind);
}

ValueKind TrackValueKind(std::int32_t tag)
{
    return tag == tags::kRotation ? ValueKind::Rotation
                                  : tag == tags::kScaling ? ValueKind::Scaling : ValueKind::Translation;
}

// A track: tag, key count, interpolation type, global sequence id, keys of a frame time and
// values; the values reduced when reduced is set.
void PutTrack(Writer& w, const TrackLayout& track, bool reduced)
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
    if (!reduced)
        return;
    // Each key's values follow its frame time.
    for (std::int64_t key = 0; key < count; ++key)
        RecordReducedAt(w, keysAt + static_cast<std::size_t>(key * keySize) + 4, keySize - 4, TrackValueKind(track.tag));
}

void PutNode(Writer& w, const NodeLayout& node, bool bone)
{
    const std::uint64_t sizeAt = Position(w);
    PutField(w, 0, kMarkNodeSize);
    PutData(w, node.header, 1, kNodeHeaderSize);
    // From the first tag other than the three, the converter copies the rest of the node as it
    // stands, whatever it holds: one block, as a parsed node keeps it.
    std::size_t track = 0;
    for (; track < node.tracks.size() && IsReducedTrack(node.tracks[track].tag); ++track)
        PutTrack(w, node.tracks[track], true);
    Writer copied;
    for (; track < node.tracks.size(); ++track)
        PutTrack(copied, node.tracks[track], false);
    std::string rest = copied.out + node.otherTracks;
    if (!rest.empty()) {
        // The rest must start with a whole tag that is none of the three.
        if (rest.size() < 4)
            rest.resize(4, kPadByte);
        if (IsReducedTrack(FieldAt(rest, 0)))
            rest[0] = 'X';
        MarkHere(w, kMarkTag);
        w.out += rest;
    }
    PatchField(w, sizeAt, static_cast<std::int64_t>(Position(w) - sizeAt));
    if (bone)
        PutData(w, node.boneTail, 1, kBoneTailSize);
}

void PutGeoset(Writer& w, const GeosetLayout& geoset)
{
    const bool later = w.version > 800;
    const std::uint64_t sizeAt = Position(w);
    PutField(w, 0, kMarkGeosetSize);
    for (int i = 0; i < kGeosetArrayCount; ++i) {
        PutField(w, geoset.arrays[i].tag, kMarkTag);
        const std::int64_t bytes = PutCounted(w, geoset.arrays[i].data, kGeosetElementSizes[i]);
        if (i == kPositions || i == kNormals)
            RecordReduced(w, bytes, i == kPositions ? ValueKind::Position : ValueKind::Normal);
    }
    PutData(w, geoset.block, 1, GeosetBlockSize(w.version));
    PutReducedCounted(w, geoset.extents, kExtentSize, ValueKind::Extent);
    const bool tangents = later && geoset.hasTangents;
    const bool skin = later && geoset.hasSkin;
    if (tangents) {
        PutField(w, tags::kTangents, kMarkTag);
        PutReducedCounted(w, geoset.tangents, kTangentSize, ValueKind::Tangent);
    }
    if (skin) {
        PutField(w, tags::kSkin, kMarkTag);
        PutCounted(w, geoset.skin, kSkinSize);
    }
    // The walk compares the tag after the extents with the tangents' and skin weights' tags.
    std::int32_t uvTag = geoset.uvTag;
    if (later && ((!skin && uvTag == tags::kSkin) || (!tangents && !skin && uvTag == tags::kTangents)))
        uvTag = TagOf("UVAS");
    PutField(w, uvTag, kMarkTag);
    PutField(w, static_cast<std::int32_t>(geoset.uvSets.size()), kMarkCount);
    for (const ArrayLayout& uvSet : geoset.uvSets) {
        PutField(w, uvSet.tag, kMarkTag);
        PutReducedCounted(w, uvSet.data, kCoordinateSize, ValueKind::TextureCoordinate);
    }
    PatchField(w, sizeAt, static_cast<std::int64_t>(Position(w) - sizeAt));
}

// A chunk's tag and a size to be patched by FinishChunk; returns where the size stands.
std::uint64_t StartChunk(Writer& w, std::int32_t tag)
{
    PutField(w, tag, kMarkTag);
    const std::uint64_t sizeAt = Position(w);
    PutField(w, 0, kMarkChunkSize);
    return sizeAt;
}

void FinishChunk(Writer& w, std::uint64_t sizeAt)
{
    PatchField(w, sizeAt, static_cast<std::int64_t>(Position(w) - sizeAt - 4));
    Flush(w);
}

void PutChunk(Writer& w, const ChunkLayout& chunk)
{
    const std::uint64_t sizeAt = StartChunk(w, chunk.tag);
    if (!chunk.walked) {
        if (chunk.tag == tags::kVersion && chunk.body.size() == 4) {
            w.version = FieldAt(chunk.body, 0);
            PutField(w, w.version, kMarkField);
        } else {
            PutData(w, chunk.body, 1);
        }
    }
    for (const NodeLayout& node : chunk.nodes) {
        PutNode(w, node, chunk.tag == tags::kBone);
        Flush(w);
    }
    for (const GeosetLayout& geoset : chunk.geosets) {
        PutGeoset(w, geoset);
        Flush(w);
    }
    FinishChunk(w, sizeAt);
}

// The model described, each node and geoset built just before it is written, so that with a
// stream no more than one of them is held.
void PutDescribedModel(Writer& w, const ModelPlan& description, std::uint32_t seed)
{
    static const std::int32_t kKindTags[] = {tags::kBone, tags::kHelper, tags::kGeoset};
    std::uint32_t state = ContentState(seed);
    PutField(w, tags::kModel, kMarkTag);
    if (description.writeVersion) {
        ChunkLayout version;
        version.tag = tags::kVersion;
        version.body = Int32Bytes(static_cast<std::uint32_t>(description.version));
        PutChunk(w, version);
    }
    for (const ChunkPlan& wanted : description.chunks) {
        if (wanted.kind == ChunkPlan::Other) {
            PutChunk(w, BuildOtherChunk(wanted.tag, wanted.size, state));
            continue;
        }
        const std::uint64_t sizeAt = StartChunk(w, kKindTags[wanted.kind]);
        for (const NodePlan& node : wanted.nodes) {
            PutNode(w, BuildNode(node, wanted.kind == ChunkPlan::Bones, state), wanted.kind == ChunkPlan::Bones);
            Flush(w);
        }
        for (const GeosetPlan& geoset : wanted.geosets) {
            PutGeoset(w, BuildGeoset(geoset, w.version, state));
            Flush(w);
        }
        FinishChunk(w, sizeAt);
    }
}

} // namespace

WrittenModel WriteLayout(const ModelLayout& model, LayoutRecords records)
{
    WrittenModel written;
    Writer w;
    w.reduced = records == LayoutRecords::All || records == LayoutRecords::ReducedOnly ? &written.reduced : nullptr;
    w.marks = records == LayoutRecords::All || records == LayoutRecords::MarksOnly ? &written.marks : nullptr;
    PutField(w, tags::kModel, kMarkTag);
    for (const ChunkLayout& chunk : model.chunks)
        PutChunk(w, chunk);
    if (!model.tail.empty())
        MarkHere(w, kMarkData);
    w.out += model.tail;
    written.bytes = std::move(w.out);
    return written;
}

WrittenModel WriteModel(const ModelPlan& description, std::uint32_t seed)
{
    WrittenModel written;
    Writer w;
    w.reduced = &written.reduced;
    w.marks = &written.marks;
    PutDescribedModel(w, description, seed);
    written.bytes = std::move(w.out);
    return written;
}

std::uint64_t StreamModel(const ModelPlan& description, std::ostream& out, std::uint32_t seed)
{
    Writer w;
    w.stream = &out;
    w.streamStart = out.tellp();
    PutDescribedModel(w, description, seed);
    Flush(w);
    return w.reducedCount;
}

std::uint32_t ReducedValueBits(std::uint32_t bits, int keptBits, bool nearest)
{
    const std::uint32_t truncated = keptBits >= 32 ? bits : bits >> (32 - keptBits) << (32 - keptBits);
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    if (!nearest || std::isinf(value))
        return truncated;
    if (std::isnan(value)) {
        float kept = 0;
        std::memcpy(&kept, &truncated, sizeof kept);
        return std::isnan(kept) ? truncated : (bits & 0x80000000u) | 0x7FC00000u;
    }
    if (value == 0)
        return bits;
    const int significant = keptBits - 8;
    int exponent = 0;
    std::frexp(value, &exponent);
    // The weight of the last kept bit; subnormals share the smallest normal's.
    const double unit = std::ldexp(1.0, std::max(exponent, -125) - significant);
    const double largest = std::ldexp(2.0 - std::ldexp(1.0, 1 - significant), 127);
    const double below = std::trunc(value / unit) * unit;
    const double above = below + std::copysign(unit, value);
    const double belowDistance = std::fabs(value - below);
    const double aboveDistance = std::fabs(above - value);
    const bool odd = std::fmod(std::fabs(below) / unit, 2.0) == 1.0;
    const bool up = aboveDistance < belowDistance || (aboveDistance == belowDistance && odd);
    const float rounded = static_cast<float>(up && std::fabs(above) <= largest ? above : below);
    std::uint32_t roundedBits = 0;
    std::memcpy(&roundedBits, &rounded, sizeof roundedBits);
    return roundedBits;
}

std::string ExpectedOutput(const WrittenModel& model, const ReductionPlan& plan)
{
    std::string expected = model.bytes;
    for (const ReducedValue& value : model.reduced) {
        const int keptBits = plan.keptBits[static_cast<int>(value.kind)];
        PutFieldAt(expected, value.offset,
                   static_cast<std::int32_t>(ReducedValueBits(value.original, keptBits, plan.nearest)));
    }
    return expected;
}

std::int64_t GeosetBlockSize(std::int32_t version)
{
    return version > 800 ? 40 + 4 + 80 : 40;
}

bool IsReducedTrack(std::int32_t tag)
{
    return tag == tags::kTranslation || tag == tags::kRotation || tag == tags::kScaling;
}

std::int64_t KeySize(std::int32_t tag, std::int32_t interpolation)
{
    const std::int64_t components = tag == tags::kRotation ? 4 : IsReducedTrack(tag) ? 3 : 1;
    const std::int64_t values = interpolation <= 1 ? 1 : 3;
    return 4 * (1 + values * components);
}

bool IsSizeOrCount(MarkKind kind)
{
    return kind == kMarkChunkSize || kind == kMarkNodeSize || kind == kMarkGeosetSize || kind == kMarkCount;
}

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

std::string Int32Bytes(std::uint32_t value)
{
    std::string bytes(4, '\0');
    PutFieldAt(bytes, 0, static_cast<std::int32_t>(value));
    return bytes;
}
