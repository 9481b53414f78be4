#include "stream_io.h"

#include "blocked_output.h"
#include "file_streams.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

// The longest repeating pattern of kept and dropped bytes: 16 keys of a frame time and the most
// values a key holds (a Hermite or Bezier rotation: a quaternion and its two tangents).
constexpr int kMaxValuesPerKey = 12;
constexpr int kMaxMaskSize = 16 * 4 * (1 + kMaxValuesPerKey);

// Builds in keep the pattern of kept (0xFF) and dropped (0x00) bytes of 16 keys made of
// frameFields 32-bit fields copied unchanged, then valuesPerKey values that keep their
// high-order K bytes: 16 keys span whole 64-byte steps, and the pattern of fewer keys is its
// start. The pattern is built from one key by doubling rather than byte by byte.
void MakeKeepMask(unsigned char* keep, int frameFields, int valuesPerKey, int K)
{
    const int keySize = 4 * (frameFields + valuesPerKey);
    const int maskSize = keySize * 16;
    const unsigned char field[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    // Little-endian: the low-order 4 - K bytes of a value come first.
    unsigned char value[4];
    for (int b = 0; b < 4; ++b)
        value[b] = b >= 4 - K ? 0xFF : 0x00;
    for (int f = 0; f < frameFields + valuesPerKey; ++f)
        std::memcpy(keep + 4 * f, f < frameFields ? field : value, 4);
    for (int built = keySize; built < maskSize; built *= 2)
        std::memcpy(keep + built, keep, static_cast<std::size_t>(std::min(built, maskSize - built)));
}

// The pattern of 16 keys of one shape (frameFields 0 or 1, valuesPerKey 0 to kMaxValuesPerKey),
// built at the calling thread's first use of the shape and kept: a batch walks tens of
// thousands of short tracks, and building the pattern for each cost a tenth of the walk's
// instructions.
const unsigned char* KeepMaskOf(int frameFields, int valuesPerKey, int K)
{
    struct Pattern {
        int K = 0; // 0 until built
        unsigned char keep[kMaxMaskSize];
    };
    thread_local Pattern patterns[2][kMaxValuesPerKey + 1];
    Pattern& pattern = patterns[frameFields][valuesPerKey];
    if (pattern.K != K) {
        MakeKeepMask(pattern.keep, frameFields, valuesPerKey, K);
        pattern.K = K;
    }
    return pattern.keep;
}

// Copies the 16 bytes at from to to (which may be from itself), clearing those that the mask at
// keep drops. The bytes pass through a local copy, so the compiler knows that they cannot overlap
// the mask: the step compiles to one vector AND.
void ApplyKeepStep(const unsigned char* from, unsigned char* to, const unsigned char* keep)
{
    unsigned char data[16];
    std::memcpy(data, from, 16);
    for (int i = 0; i < 16; ++i)
        data[i] &= keep[i];
    std::memcpy(to, data, 16);
}

// Copies size bytes from from to to (which may be from itself, for a reduction in place),
// clearing those that the mask drops, pattern after pattern: 64 bytes at a time (four steps
// written out, which the compiler does not unroll from a loop, and which ran at about twice the
// speed of one 64-byte loop), then 16 bytes at a time (a short track is often all tail), then
// byte by byte. A mask of 16 keys is a whole number of 64-byte steps (16 keys of a multiple of 4
// bytes); a shorter one is never repeated, as it covers all the bytes.
void ApplyKeepMask(const unsigned char* from, unsigned char* to, std::size_t size, const unsigned char* keep,
                   int maskSize)
{
    std::size_t b = 0;
    int at = 0;
    for (; b + 64 <= size; b += 64) {
        ApplyKeepStep(from + b, to + b, keep + at);
        ApplyKeepStep(from + b + 16, to + b + 16, keep + at + 16);
        ApplyKeepStep(from + b + 32, to + b + 32, keep + at + 32);
        ApplyKeepStep(from + b + 48, to + b + 48, keep + at + 48);
        at += 64;
        if (at == maskSize)
            at = 0;
    }
    for (; b + 16 <= size; b += 16) {
        ApplyKeepStep(from + b, to + b, keep + at);
        at += 16;
    }
    for (int i = 0; b < size; ++b, ++i)
        to[b] = from[b] & keep[at + i];
}

// Blocks move through a buffer of this size, so memory stays the same whatever size a file
// declares. 256 KiB moved batches and 256 MB models as fast as 512 KiB did, in half the memory
// (a batch worker should stay within 8 MB); smaller blocks cost more calls.
constexpr std::int64_t kBlockSize = 256 * 1024;

// The block buffer of the calling thread, obtained at its first block copy and kept until the
// thread ends: a batch makes hundreds of copies per file, and a buffer for each cost an
// allocation every time (above 128 KiB a fresh mapping and its page faults). When that memory
// cannot be had, the sink is failed, which ends the walk; it is not made bad, which would say
// that a write was refused.
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
// guard object for every field, which cost a quarter of a batch's walk of small models. As
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

// Moves n bytes from the lent input buffer into the lent gathering block when the one holds them
// and the other has room, both streams being good, clearing on the way the bytes that keep (when
// given, maskSize bytes) drops, and returns where they now lie. Returns null when it cannot: the
// caller then moves them through its own buffer, which also does what a short read or a refused
// write calls for. Measured on a batch of small models, the primitives spent a third of their
// time in the copy this saves and in the stream calls around it, and a reduction on the way cost
// no more than the copy alone.
unsigned char* MoveDirectly(std::istream& source, std::ostream& sink, std::streamsize n,
                            const unsigned char* keep = nullptr, int maskSize = 0)
{
    FileInput* input = static_cast<FileInput*>(source.pword(kLentBufferSlot));
    BlockedOutput* output = static_cast<BlockedOutput*>(sink.pword(kLentBufferSlot));
    if (input == nullptr || output == nullptr || !source.good() || !sink.good())
        return nullptr;
    const char* from = input->Buffered(n);
    char* to = output->Room(n);
    if (from == nullptr || to == nullptr)
        return nullptr;
    if (keep != nullptr)
        ApplyKeepMask(reinterpret_cast<const unsigned char*>(from), reinterpret_cast<unsigned char*>(to),
                      static_cast<std::size_t>(n), keep, maskSize);
    else
        std::memcpy(to, from, static_cast<std::size_t>(n));
    input->Consume(n);
    output->Commit(n);
    return reinterpret_cast<unsigned char*>(to);
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
    const std::uint32_t bits = static_cast<std::uint32_t>(value);
    unsigned char bytes[4] = {static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
                              static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
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
    if (n == 0 || MoveDirectly(source, sink, n) != nullptr)
        return;
    unsigned char* buffer = ObtainBlockBuffer(sink);
    while (n > 0 && !IsWalkOver(source, sink)) {
        const std::int64_t want = std::min(n, kBlockSize);
        WriteBytes(sink, buffer, ReadBytes(source, buffer, want));
        n -= want;
    }
}

void CopyReducedValues(std::istream& source, std::ostream& sink, std::int64_t n, int K)
{
    if (n <= 0)
        return;
    const unsigned char* keep = KeepMaskOf(0, 1, K);
    const int maskSize = 16 * 4;
    if (MoveDirectly(source, sink, n * 4, keep, maskSize) != nullptr)
        return;
    unsigned char* buffer = ObtainBlockBuffer(sink);
    while (n > 0 && !IsWalkOver(source, sink)) {
        const std::int64_t values = std::min(n, kBlockSize / 4);
        const std::streamsize got = ReadBytes(source, buffer, values * 4);
        // A value cut short by the end of the input is reduced too; only the bytes read are written.
        ApplyKeepMask(buffer, buffer, static_cast<std::size_t>(got), keep, maskSize);
        WriteBytes(sink, buffer, got);
        n -= values;
    }
}

void CopyKeyedReduced(std::istream& source, std::ostream& sink, std::int64_t count, int valuesPerKey, int K)
{
    if (valuesPerKey < 0 || valuesPerKey > kMaxValuesPerKey) {
        source.setstate(std::ios::failbit);
        return;
    }
    const std::int64_t keySize = 4 * (1 + static_cast<std::int64_t>(valuesPerKey));
    const std::int64_t keysPerBlock = kBlockSize / keySize;
    if (count <= 0)
        return;
    const unsigned char* keep = KeepMaskOf(1, valuesPerKey, K);
    const int maskSize = static_cast<int>(keySize * std::min<std::int64_t>(count, 16));
    if (MoveDirectly(source, sink, count * keySize, keep, maskSize) != nullptr)
        return;
    unsigned char* buffer = ObtainBlockBuffer(sink);
    while (count > 0 && !IsWalkOver(source, sink)) {
        const std::int64_t keys = std::min(count, keysPerBlock);
        const std::streamsize got = ReadBytes(source, buffer, keys * keySize);
        ApplyKeepMask(buffer, buffer, static_cast<std::size_t>(got), keep, maskSize);
        WriteBytes(sink, buffer, got);
        count -= keys;
    }
}

void CopyRest(std::istream& source, std::ostream& sink)
{
    unsigned char* buffer = ObtainBlockBuffer(sink);
    while (!IsWalkOver(source, sink)) {
        WriteBytes(sink, buffer, ReadBytes(source, buffer, kBlockSize));
    }
}
