#include "stream_io.h"

#include "blocked_output.h"
#include "file_streams.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

// The longest repeating shape of a run of values: 16 keys of a frame time and the most values a
// key holds (a Hermite or Bezier rotation: a quaternion and its two tangents).
constexpr int kMaxValuesPerGroup = 12;
constexpr int kMaxLanes = 16 * (1 + kMaxValuesPerGroup);

// The arguments of ReduceField for each field of 16 groups of one shape, in file order: 16
// groups of whole fields span whole steps of 16 fields, and the lanes of fewer groups are their
// start. A frame time's lane keeps every bit and does not round.
struct FieldLanes {
    // What they were built for: the shape, and the kind's bits and rounding.
    int frameFields = -1;
    int valuesPerGroup = -1;
    int keptBits = 0;
    Rounding rounding = Rounding::TowardZero;
    int size = 0;    // fields in 16 groups
    int dropped = 0; // low bits a value drops
    std::uint32_t keep[kMaxLanes];
    std::uint32_t halfLess[kMaxLanes];
    std::uint32_t odd[kMaxLanes];
};

// The lanes of one kind and shape under settings, built at the calling thread's first use and
// kept: a batch walks tens of thousands of short tracks, and building the lanes for each would
// cost more than reducing their values. Translations and scalings, and positions and normals,
// share shapes but not always bits, so each kind keeps its own; and each kind keeps two shapes,
// because the tracks of a kind go back and forth between keys of one value and keys with tangents.
const FieldLanes& LanesOf(ReducedKind kind, int frameFields, int valuesPerGroup, const ConversionSettings& settings)
{
    thread_local FieldLanes cache[kReducedKindCount][2][2];
    thread_local int lastUsed[kReducedKindCount][2] = {};
    FieldLanes* shapes = cache[static_cast<int>(kind)][frameFields];
    int& last = lastUsed[static_cast<int>(kind)][frameFields];
    const int keptBits = settings.keptBits[static_cast<int>(kind)];
    for (int shape = 0; shape < 2; ++shape) {
        const FieldLanes& lanes = shapes[shape];
        if (lanes.frameFields == frameFields && lanes.valuesPerGroup == valuesPerGroup &&
            lanes.keptBits == keptBits && lanes.rounding == settings.rounding) {
            last = shape;
            return lanes;
        }
    }
    last = 1 - last; // the one used less lately
    FieldLanes& lanes = shapes[last];
    const FieldRule value = FieldRuleOf(keptBits, settings.rounding);
    const int groupFields = frameFields + valuesPerGroup;
    lanes.size = 16 * groupFields;
    lanes.dropped = value.dropped;
    for (int field = 0; field < lanes.size; field += groupFields) {
        for (int inGroup = 0; inGroup < groupFields; ++inGroup) {
            const bool frame = inGroup < frameFields;
            lanes.keep[field + inGroup] = frame ? 0xFFFFFFFFu : value.keep;
            lanes.halfLess[field + inGroup] = frame ? 0u : value.halfLess;
            lanes.odd[field + inGroup] = frame ? 0u : value.odd;
        }
    }
    lanes.frameFields = frameFields;
    lanes.valuesPerGroup = valuesPerGroup;
    lanes.keptBits = keptBits;
    lanes.rounding = settings.rounding;
    return lanes;
}

void EncodeUint32(std::uint32_t value, unsigned char* bytes)
{
    bytes[0] = static_cast<unsigned char>(value);
    bytes[1] = static_cast<unsigned char>(value >> 8);
    bytes[2] = static_cast<unsigned char>(value >> 16);
    bytes[3] = static_cast<unsigned char>(value >> 24);
}

// True where the host stores a 32-bit number's bytes as the file does, low byte first: every
// system the tool is built for. There fields move between the bytes and a vector whole; elsewhere
// they are assembled from bytes one at a time.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kLittleEndianHost = true;
#else
constexpr bool kLittleEndianHost = false;
#endif

// The field at bytes, and bytes set to a field, in file order.
inline std::uint32_t LoadField(const unsigned char* bytes)
{
    std::uint32_t field = 0;
    if (kLittleEndianHost)
        std::memcpy(&field, bytes, sizeof field);
    else
        field = static_cast<std::uint32_t>(DecodeInt32(bytes));
    return field;
}

inline void StoreField(std::uint32_t field, unsigned char* bytes)
{
    if (kLittleEndianHost)
        std::memcpy(bytes, &field, sizeof field);
    else
        EncodeUint32(field, bytes);
}

// How many fields a vector holds.
template <class Fields>
constexpr int kFieldsIn = static_cast<int>(sizeof(Fields) / sizeof(std::uint32_t));

// The functions below pass vectors of fields, and are built into the run loops (the note on
// passing them is in value_reduction.h). For the rest of the file: GCC warns where it builds a
// template, at the end of the file, outside any narrower range.
#pragma GCC diagnostic ignored "-Wpsabi"

// A vector of the fields at bytes, and bytes set to a vector's fields, in file order.
template <class Fields>
inline Fields LoadFields(const unsigned char* bytes)
{
    Fields fields = {};
    if (kLittleEndianHost) {
        std::memcpy(&fields, bytes, sizeof fields);
    } else {
        for (int i = 0; i < kFieldsIn<Fields>; ++i)
            fields[i] = LoadField(bytes + 4 * i);
    }
    return fields;
}

template <class Fields>
inline void StoreFields(Fields fields, unsigned char* bytes)
{
    if (kLittleEndianHost) {
        std::memcpy(bytes, &fields, sizeof fields);
    } else {
        for (int i = 0; i < kFieldsIn<Fields>; ++i)
            StoreField(fields[i], bytes + 4 * i);
    }
}

// A vector of the lanes from lane.
template <class Fields>
inline Fields LanesFrom(const std::uint32_t* lane)
{
    Fields lanes;
    std::memcpy(&lanes, lane, sizeof lanes);
    return lanes;
}

// Reduces a vector of fields at from into to under the lanes from at, by the whole rule.
// Truncation passes no rounding, and the rule then folds to a mask, which is all that the plain
// conversion pays for.
template <bool kRounding, class Fields>
inline void ReduceFields(const unsigned char* from, unsigned char* to, const FieldLanes& lanes, int at, int dropped)
{
    const Fields none = {};
    StoreFields(ReduceField(LoadFields<Fields>(from), LanesFrom<Fields>(lanes.keep + at),
                            kRounding ? LanesFrom<Fields>(lanes.halfLess + at) : none,
                            kRounding ? LanesFrom<Fields>(lanes.odd + at) : none, dropped),
                to);
}

// Rounds a vector of fields at from into to under the lanes from at the ordinary way, which is
// the whole rule for fields that StepsMayNeedTheWholeRule passes.
template <class Fields>
inline void RoundFieldsOrdinarily(const unsigned char* from, unsigned char* to, const FieldLanes& lanes, int at,
                                  int dropped)
{
    const Fields fields = LoadFields<Fields>(from);
    const Fields carry =
        RoundingCarry(fields, LanesFrom<Fields>(lanes.halfLess + at), LanesFrom<Fields>(lanes.odd + at), dropped);
    StoreFields((fields + carry) & LanesFrom<Fields>(lanes.keep + at), to);
}

// Reduces the 16 fields of a step under the lanes from at, a vector at a time: by the whole rule,
// or when kOrdinarily, by rounding the ordinary way.
template <bool kRounding, bool kOrdinarily, class Fields>
inline void ReduceStep(const unsigned char* from, unsigned char* to, const FieldLanes& lanes, int at, int dropped)
{
    for (int part = 0; part < 16; part += kFieldsIn<Fields>) {
        if (kOrdinarily)
            RoundFieldsOrdinarily<Fields>(from + 4 * part, to + 4 * part, lanes, at + part, dropped);
        else
            ReduceFields<kRounding, Fields>(from + 4 * part, to + 4 * part, lanes, at + part, dropped);
    }
}

// True when one of the fields of steps steps (16 fields each) at bytes may need the whole rule.
// The marks stay lane by lane until the end, so that the compiler keeps them in one vector and
// looks at them once. (A frame time never needs it; one that looks like a huge float only sends
// the rest of its run to the whole rule, which copies it as it is.)
template <class Fields>
inline bool StepsMayNeedTheWholeRule(const unsigned char* bytes, int steps)
{
    Fields unusual = {};
    for (int field = 0; field < 16 * steps; field += kFieldsIn<Fields>)
        unusual |= MayNeedTheWholeRule(LoadFields<Fields>(bytes + 4 * field));
    for (int i = 0; i < kFieldsIn<Fields>; ++i)
        if (unusual[i] != 0)
            return true;
    return false;
}

// The lane of the step after the one at at, back to the first after the last.
inline int NextStepLane(int at, int laneCount)
{
    at += 16;
    return at == laneCount ? 0 : at;
}

// Rounding looks at this many steps (1 KB) before it writes any, and rounds them the ordinary way
// when none may need the whole rule: one look at many steps costs less than a look at each, and
// real values almost never make a step need it. Once a look finds one that may, the rest of the
// run goes through the whole rule, which costs less than looking on: a run that holds such values
// (random bytes, say) would make most later looks fail too, and a branch on each step would be
// one that the processor cannot predict.
constexpr int kStepsLookedAtOnce = 16;

// Reduces size bytes of whole groups from from into to, which are the same bytes or do not
// overlap: 16 fields at a time, in vectors of Fields, then field by field, then the bytes of a
// field cut short by the end of the input, which keep what truncation leaves of them. Each step
// reads its fields before it writes them.
template <bool kRounding, class Fields>
inline void ReduceRunAs(const unsigned char* from, unsigned char* to, std::size_t size, const FieldLanes& lanes)
{
    std::size_t b = 0;
    int at = 0;
    // Locals, so that no store into to makes the compiler read them again.
    const int dropped = lanes.dropped;
    const int laneCount = lanes.size;
    for (; kRounding && b + 64 * kStepsLookedAtOnce <= size; b += 64 * kStepsLookedAtOnce) {
        if (StepsMayNeedTheWholeRule<Fields>(from + b, kStepsLookedAtOnce))
            break;
        for (std::size_t step = b; step < b + 64 * kStepsLookedAtOnce; step += 64, at = NextStepLane(at, laneCount))
            ReduceStep<kRounding, true, Fields>(from + step, to + step, lanes, at, dropped);
    }
    for (; b + 64 <= size; b += 64, at = NextStepLane(at, laneCount))
        ReduceStep<kRounding, false, Fields>(from + b, to + b, lanes, at, dropped);
    for (; b + 4 <= size; b += 4, ++at)
        StoreField(ReduceField(LoadField(from + b), lanes.keep[at], lanes.halfLess[at], lanes.odd[at], dropped), to + b);
    for (int i = 0; b < size; ++b, ++i)
        to[b] = static_cast<unsigned char>(from[b] & (lanes.keep[at] >> (8 * i)));
}

// The run loop, 4 fields at a time: an SSE2 register on x86-64, and what any processor can do.
// Every function it calls is built into it, so that the vectors stay in registers.
template <bool kRounding>
__attribute__((flatten)) void ReduceRunByFour(const unsigned char* from, unsigned char* to, std::size_t size,
                                              const FieldLanes& lanes)
{
    ReduceRunAs<kRounding, FourFields>(from, to, size, lanes);
}

// The run loop, 8 fields at a time, built for processors with AVX2 (nearly all since 2015) and
// taken where the processor has it: half the operations for the same fields, which halves what
// rounding adds to a conversion. Only on 64-bit Linux: GCC for 64-bit Windows does not keep the
// 32-byte vectors that it puts on the stack aligned, so the Windows builds take 4 at a time.
#if defined(__x86_64__) && defined(__linux__) && !defined(DURIDODI_NO_WIDE_VECTORS)
#define DURIDODI_RUNS_BY_EIGHT
template <bool kRounding>
__attribute__((flatten, target("avx2"))) void ReduceRunByEight(const unsigned char* from, unsigned char* to,
                                                              std::size_t size, const FieldLanes& lanes)
{
    ReduceRunAs<kRounding, EightFields>(from, to, size, lanes);
}
#endif

void ReduceRun(const unsigned char* from, unsigned char* to, std::size_t size, const FieldLanes& lanes)
{
    const bool rounding = lanes.rounding == Rounding::Nearest;
#ifdef DURIDODI_RUNS_BY_EIGHT
    if (__builtin_cpu_supports("avx2")) {
        if (rounding)
            ReduceRunByEight<true>(from, to, size, lanes);
        else
            ReduceRunByEight<false>(from, to, size, lanes);
        return;
    }
#endif
    if (rounding)
        ReduceRunByFour<true>(from, to, size, lanes);
    else
        ReduceRunByFour<false>(from, to, size, lanes);
}

// Shows the values of size bytes of whole groups at bytes, before they are reduced, to the
// settings' observer, with what the reduction makes of them; whole groups at a time, except for
// a group cut short by the end of the input, whose whole values come last.
void ObserveRun(const unsigned char* bytes, std::size_t size, ReducedKind kind, const FieldLanes& lanes,
                const ConversionSettings& settings)
{
    constexpr std::size_t kBatch = 1024;
    std::uint32_t original[kBatch];
    std::uint32_t reduced[kBatch];
    std::size_t count = 0;
    const std::size_t groupFields = static_cast<std::size_t>(lanes.frameFields + lanes.valuesPerGroup);
    for (std::size_t field = 0; 4 * field + 4 <= size; ++field) {
        const int inGroup = static_cast<int>(field % groupFields);
        if (inGroup < lanes.frameFields)
            continue;
        if (inGroup == lanes.frameFields && count + static_cast<std::size_t>(lanes.valuesPerGroup) > kBatch) {
            settings.observe(settings.context, kind, original, reduced, count);
            count = 0;
        }
        const std::size_t lane = field % static_cast<std::size_t>(lanes.size);
        original[count] = static_cast<std::uint32_t>(DecodeInt32(bytes + 4 * field));
        reduced[count] = ReduceField(original[count], lanes.keep[lane], lanes.halfLess[lane], lanes.odd[lane],
                                     lanes.dropped);
        ++count;
    }
    if (count > 0)
        settings.observe(settings.context, kind, original, reduced, count);
}

// A run of values to reduce on its way: its lanes, and its kind and settings for the observer.
struct RunReduction {
    const FieldLanes& lanes;
    ReducedKind kind;
    const ConversionSettings& settings;
};

// Reduces size bytes of whole groups from from into to (the same bytes, or apart), showing them
// to the observer first when there is one.
void ReduceAndObserve(const unsigned char* from, unsigned char* to, std::size_t size, const RunReduction& run)
{
    if (run.settings.observe != nullptr)
        ObserveRun(from, size, run.kind, run.lanes, run.settings);
    ReduceRun(from, to, size, run.lanes);
}

// The block buffer of the calling thread, obtained at its first need and kept until the thread
// ends: a batch makes hundreds of copies per file, and a buffer of this size for each would be a
// fresh mapping from the allocator, with its page faults, every time. A run of values is reduced
// where it was read, and written from there. When that memory cannot be had, the sink is failed,
// which ends the walk; it is not made bad, which would say that a write was refused.
unsigned char* ObtainBlockBuffer(std::ostream& sink)
{
    thread_local std::unique_ptr<unsigned char[]> buffer;
    if (!buffer)
        buffer.reset(new (std::nothrow) unsigned char[kBlockSize + kPageSize - 1]);
    if (!buffer) {
        sink.setstate(std::ios::failbit);
        return nullptr;
    }
    return AlignToPage(buffer.get());
}

// Reads up to n bytes into bytes and returns how many it read. It goes to the source's buffer
// directly, as istream::read would after checking the state: the stream's own calls build a
// sentry object for every call, work that a walk made of many 4-byte fields cannot afford. As
// with istream::read, a short read fails the source and sets end of file, and a source that
// is not good reads nothing and is failed.
std::streamsize ReadBytes(std::istream& source, unsigned char* bytes, std::streamsize n)
{
    if (!source.good()) {
        source.setstate(std::ios::failbit);
        return 0;
    }
    const std::streamsize got = source.rdbuf()->sgetn(reinterpret_cast<char*>(bytes), n);
    if (got < n)
        source.setstate(std::ios::eofbit | std::ios::failbit);
    return got;
}

// Writes n bytes to the sink's buffer directly, for the reason above. As with ostream::write, a
// write taken in part makes the sink bad, and a sink that is not good takes nothing.
void WriteBytes(std::ostream& sink, const unsigned char* bytes, std::streamsize n)
{
    if (sink.good() && sink.rdbuf()->sputn(reinterpret_cast<const char*>(bytes), n) != n)
        sink.setstate(std::ios::badbit);
}

// The slot of a stream's extensible storage (pword) where LendFileBuffers leaves the buffer
// below it.
const int kLentBufferSlot = std::ios_base::xalloc();

// The input buffer lent to source, or null.
FileInput* LentInput(std::istream& source)
{
    return static_cast<FileInput*>(source.pword(kLentBufferSlot));
}

// Moves n bytes from the lent input buffer into the lent gathering block when the one holds them
// and the other has room, both streams being good, reducing them on the way when run is given,
// and returns where they now lie. Returns null when it cannot: the caller then moves them
// through its own buffer, which also does what a short read or a refused write calls for. This
// and MoveThroughFileBuffers below are the side channel that LendFileBuffers opens, and the only
// places that use it. Most fields and runs of a model lie whole in the input buffer; taking them
// from there saves a copy into a buffer of the primitive's own and the stream calls around it,
// and the reduction is done in the same pass over the bytes as the copy that has to be made
// anyway.
unsigned char* MoveDirectly(std::istream& source, std::ostream& sink, std::streamsize n,
                            const RunReduction* run = nullptr)
{
    FileInput* input = LentInput(source);
    BlockedOutput* output = static_cast<BlockedOutput*>(sink.pword(kLentBufferSlot));
    if (input == nullptr || output == nullptr || !source.good() || !sink.good())
        return nullptr;
    const char* from = input->Buffered(n);
    char* to = output->Room(n);
    if (from == nullptr || to == nullptr)
        return nullptr;
    if (run != nullptr)
        ReduceAndObserve(reinterpret_cast<const unsigned char*>(from), reinterpret_cast<unsigned char*>(to),
                         static_cast<std::size_t>(n), *run);
    else
        std::memcpy(to, from, static_cast<std::size_t>(n));
    input->Consume(n);
    output->Commit(n);
    return reinterpret_cast<unsigned char*>(to);
}

// Refills the lent input buffer once every byte of it has been taken; false when it still holds
// bytes, or at the end of the input.
bool RefillInput(FileInput& input)
{
    return input.Held() == 0 && !std::istream::traits_type::eq_int_type(input.sgetc(), std::istream::traits_type::eof());
}

// Moves n bytes of whole groups (groupSize bytes each) through the lent file buffers, reduced on
// the way when run is given, as far as they can take them, and returns how many bytes that was.
// The groups that the input buffer holds move from there into the gathering block when they are
// few and it has room; else they are reduced where they lie and written from there, which sends
// many of them straight to the file. Then the same again from the refilled buffer, until a group
// is cut by its end or the input ends. A long run or block thus passes through no buffer but that
// one, as a plain copy's bytes would: a second buffer would only pass them through more of the
// cache. Moves nothing without lent buffers.
std::int64_t MoveThroughFileBuffers(std::istream& source, std::ostream& sink, std::int64_t n, std::int64_t groupSize,
                                    const RunReduction* run = nullptr)
{
    FileInput* input = LentInput(source);
    std::int64_t moved = 0;
    while (input != nullptr && moved < n && !IsWalkOver(source, sink)) {
        const std::int64_t held = std::min<std::int64_t>(n - moved, input->Held()) / groupSize * groupSize;
        if (held == 0) {
            if (!RefillInput(*input))
                break;
            continue;
        }
        if (held >= kDirectWriteSize || MoveDirectly(source, sink, held, run) == nullptr) {
            unsigned char* bytes = reinterpret_cast<unsigned char*>(input->Buffered(held));
            if (run != nullptr)
                ReduceAndObserve(bytes, bytes, static_cast<std::size_t>(held), *run);
            WriteBytes(sink, bytes, held);
            input->Consume(held);
        }
        moved += held;
    }
    return moved;
}

} // namespace


void LendFileBuffers(std::istream& source, FileInput& input, std::ostream& sink, BlockedOutput& output)
{
    source.pword(kLentBufferSlot) = &input;
    sink.pword(kLentBufferSlot) = &output;
}

unsigned char* AlignToPage(unsigned char* bytes)
{
    const std::uintptr_t past = reinterpret_cast<std::uintptr_t>(bytes) % kPageSize;
    return past == 0 ? bytes : bytes + (kPageSize - past);
}

bool IsWalkOver(const std::istream& source, const std::ostream& sink)
{
    return source.fail() || sink.fail();
}

std::int32_t ReadInt32(std::istream& source)
{
    unsigned char bytes[4] = {0, 0, 0, 0};
    ReadBytes(source, bytes, 4);
    return DecodeInt32(bytes);
}

void WriteInt32(std::ostream& sink, std::int32_t value)
{
    unsigned char bytes[4];
    EncodeUint32(static_cast<std::uint32_t>(value), bytes);
    WriteBytes(sink, bytes, 4);
}

std::int32_t CopyInt32(std::istream& source, std::ostream& sink)
{
    if (const unsigned char* moved = MoveDirectly(source, sink, 4))
        return DecodeInt32(moved);
    unsigned char bytes[4] = {0, 0, 0, 0};
    // Only the bytes read are written, so even a failed walk's output never outgrows its input.
    WriteBytes(sink, bytes, ReadBytes(source, bytes, 4));
    return DecodeInt32(bytes);
}

void CopyInt32Fields(std::istream& source, std::ostream& sink, std::int32_t* values, int count)
{
    unsigned char bytes[16] = {};
    if (const unsigned char* moved = MoveDirectly(source, sink, 4 * count))
        std::memcpy(bytes, moved, static_cast<std::size_t>(4 * count));
    else
        WriteBytes(sink, bytes, ReadBytes(source, bytes, 4 * count));
    for (int field = 0; field < count; ++field)
        values[field] = DecodeInt32(bytes + 4 * field);
}


void CopyBlock(std::istream& source, std::ostream& sink, std::int64_t n)
{
    if (n < 0) {
        source.setstate(std::ios::eofbit | std::ios::failbit);
        sink.setstate(std::ios::badbit);
        return;
    }
    n -= MoveThroughFileBuffers(source, sink, n, 1);
    if (n == 0)
        return;
    // Without file buffers, or at the end of the input, where a short read ends the walk.
    unsigned char* buffer = ObtainBlockBuffer(sink);
    while (n > 0 && !IsWalkOver(source, sink)) {
        const std::int64_t want = std::min(n, static_cast<std::int64_t>(kBlockSize));
        WriteBytes(sink, buffer, ReadBytes(source, buffer, want));
        n -= want;
    }
}

void CopyReducedValues(std::istream& source, std::ostream& sink, std::int64_t count, int frameFields,
                       int valuesPerGroup, ReducedKind kind, const ConversionSettings& settings)
{
    if (frameFields < 0 || frameFields > 1 || valuesPerGroup < 0 || valuesPerGroup > kMaxValuesPerGroup ||
        frameFields + valuesPerGroup == 0) {
        source.setstate(std::ios::failbit);
        return;
    }
    if (count <= 0)
        return;
    const RunReduction run = {LanesOf(kind, frameFields, valuesPerGroup, settings), kind, settings};
    const std::int64_t groupSize = 4 * (static_cast<std::int64_t>(frameFields) + valuesPerGroup);
    const bool lent = LentInput(source) != nullptr;
    const std::int64_t groupsPerBlock = static_cast<std::int64_t>(kBlockSize) / groupSize;
    unsigned char* buffer = nullptr;
    while (count > 0 && !IsWalkOver(source, sink)) {
        count -= MoveThroughFileBuffers(source, sink, count * groupSize, groupSize, &run) / groupSize;
        if (count == 0 || IsWalkOver(source, sink))
            return;
        // A group cut by the end of the input buffer, after which the rest moves from the refilled
        // buffer; or, without file buffers, a block of groups. Also where the input ends: a short
        // read writes what it read.
        if (buffer == nullptr && (buffer = ObtainBlockBuffer(sink)) == nullptr)
            return;
        const std::int64_t groups = lent ? 1 : std::min(count, groupsPerBlock);
        const std::streamsize got = ReadBytes(source, buffer, groups * groupSize);
        ReduceAndObserve(buffer, buffer, static_cast<std::size_t>(got), run);
        WriteBytes(sink, buffer, got);
        count -= groups;
    }
}

void CopyRest(std::istream& source, std::ostream& sink)
{
    unsigned char* buffer = ObtainBlockBuffer(sink);
    while (!IsWalkOver(source, sink))
        WriteBytes(sink, buffer, ReadBytes(source, buffer, static_cast<std::streamsize>(kBlockSize)));
}
