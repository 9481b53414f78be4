#pragma once

// The operations every byte of a conversion passes through. They move 32-bit fields, blocks and
// reduced 4-byte values from source to sink, and know nothing of the layout. None throws. A short
// read leaves the source failed (and at end of file); every loop in here stops once the source or
// the sink has failed, so no operation outlives bad input. Blocks that the file buffers below the
// streams cannot take move through one buffer of kBlockSize per thread, obtained at the thread's
// first need of it and kept until it ends; when it cannot be had, the sink is put into the failed
// state without the bad bit, which only a refused write sets, so the driver can tell the two
// apart.

#include "value_reduction.h"

#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>

// Every file and copy moves through blocks of this size, so memory stays the same whatever size a
// file declares: the input buffer, the copy buffer and the --stats measuring read this much at a
// time. Large enough that a large model's system calls cost little beside its bytes, small
// enough that a batch worker stays within a few megabytes.
constexpr std::size_t kBlockSize = 256 * 1024;

// Buffers that the system reads into and writes from start on a page: the kernel's copies to and
// from a page-aligned buffer are faster than from one 16 bytes past a page start, where the
// allocator puts large blocks.
constexpr std::size_t kPageSize = 4096;

// The first page start at or after bytes, for a block obtained with kPageSize - 1 bytes to spare.
unsigned char* AlignToPage(unsigned char* bytes);

struct FileInput;
struct BlockedOutput;

// Lends the primitives the buffers below the streams of a file conversion, through each stream's
// extensible storage. A field, a block or a run of values then moves from the input buffer
// straight into the gathering block, reduced on the way; a long one is reduced where it lies in
// the input buffer and written from there. Without it (string streams, the tests, a dry run)
// every byte is copied into a buffer of the primitive's own, reduced there and copied again, with
// the same result. The streams must not outlive the buffers.
void LendFileBuffers(std::istream& source, FileInput& input, std::ostream& sink, BlockedOutput& output);

// True once the source has failed (short read, or a walk found the input malformed) or the
// sink has failed (a write was refused, or a block buffer could not be had). Every walk loop
// ends on it.
bool IsWalkOver(const std::istream& source, const std::ostream& sink);

// Reads a 32-bit little-endian field. Bytes missing at the end of the input read as zero;
// on an exhausted or failed source the result is 0.
std::int32_t ReadInt32(std::istream& source);

// Writes value as 4 little-endian bytes.
void WriteInt32(std::ostream& sink, std::int32_t value);

// The 32-bit little-endian value of four bytes in file order.
inline std::int32_t DecodeInt32(const unsigned char* bytes)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
                                     static_cast<std::uint32_t>(bytes[2]) << 16 |
                                     static_cast<std::uint32_t>(bytes[3]) << 24);
}

// Copies a 32-bit field and returns its value as ReadInt32 does. Writes only the bytes that
// were read: after a short read the output ends where the input did.
std::int32_t CopyInt32(std::istream& source, std::ostream& sink);

// Copies count 32-bit fields (1 to 4) at once and stores their values in values, as count
// CopyInt32 calls would: bytes missing at the end of the input read as zero, and only the bytes
// read are written.
void CopyInt32Fields(std::istream& source, std::ostream& sink, std::int32_t* values, int count);

// Copies n bytes unchanged, kBlockSize at a time. n = 0 does nothing. A negative n leaves the
// source at end of file and failed and the sink bad. On a short read it writes what it read.
void CopyBlock(std::istream& source, std::ostream& sink, std::int64_t n);

// The one way values are reduced. Copies count groups, each frameFields 32-bit fields copied
// unchanged (0, or 1 for a key's frame time), then valuesPerGroup values (0 to 12) of kind,
// reduced by ReduceField to the bits and with the rounding settings give that kind, and shown to
// the settings' observer. count <= 0 does nothing; a shape outside those ranges fails the source.
// On a short read it writes what it read: the whole values reduced, a cut value with its dropped
// bits cleared, as truncation would leave them, and shown to nobody.
void CopyReducedValues(std::istream& source, std::ostream& sink, std::int64_t count, int frameFields,
                       int valuesPerGroup, ReducedKind kind, const ConversionSettings& settings);

// Copies everything left in the source unchanged. Leaves the source at end of file and failed.
void CopyRest(std::istream& source, std::ostream& sink);
