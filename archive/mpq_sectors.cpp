#include "mpq_sectors.h"

#include "mpq_crypt.h"

#include <zlib.h>

#include <algorithm>
#include <new>

std::uint32_t SectorCount(const BlockEntry& block, std::uint32_t sectorSize)
{
    return static_cast<std::uint32_t>((std::uint64_t{block.realSize} + sectorSize - 1) / sectorSize);
}

std::uint32_t SectorLength(const BlockEntry& block, std::uint32_t sectorSize, std::uint32_t i)
{
    return std::min<std::uint32_t>(sectorSize, block.realSize - i * sectorSize);
}

bool HasSectorTable(const BlockEntry& block)
{
    return !(block.flags & kFileSingleUnit) && (block.flags & (kFileCompressed | kFileImploded));
}

bool ReadBytes(std::FILE* file, std::uint64_t offset, std::size_t size, std::string& bytes, ReadError& error)
{
    try {
        bytes.resize(size);
    } catch (const std::bad_alloc&) {
        return Fail(error, ArchiveFailure::OutOfMemory, "not enough memory for a file of the archive");
    }
    if (size > 0 && !ReadAt(file, offset, &bytes[0], size))
        return Fail(error, ArchiveFailure::CannotOpen, "cannot read the input");
    return true;
}

bool ReadPiece(std::FILE* file, const Archive& archive, const BlockEntry& block, std::uint64_t offset,
               std::size_t size, bool decrypt, std::uint32_t key, std::string& piece, ReadError& error)
{
    if (!ReadBytes(file, archive.headerOffset + block.offset + offset, size, piece, error))
        return false;
    if (decrypt)
        DecryptBytes(reinterpret_cast<unsigned char*>(&piece[0]), size, key);
    return true;
}

bool ReadSectorTable(std::FILE* file, const Archive& archive, const BlockEntry& block, std::uint32_t key,
                     std::vector<std::uint32_t>& offsets, ReadError& error)
{
    const std::uint64_t entries =
        std::uint64_t{SectorCount(block, archive.sectorSize)} + 1 + ((block.flags & kFileSectorChecksums) ? 1 : 0);
    if (entries * 4 > block.storedSize)
        return Fail(error, ArchiveFailure::Malformed, "a file's sector table is larger than its data");
    std::string table;
    if (!ReadPiece(file, archive, block, 0, static_cast<std::size_t>(entries * 4), block.flags & kFileEncrypted,
                   key - 1, table, error))
        return false;
    offsets.resize(static_cast<std::size_t>(entries));
    std::uint32_t previous = static_cast<std::uint32_t>(entries * 4);
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        offsets[i] = ReadU32(reinterpret_cast<const unsigned char*>(table.data()) + i * 4);
        if (offsets[i] < previous || offsets[i] > block.storedSize)
            return Fail(error, ArchiveFailure::Malformed, "a file's sector offsets are out of order or past its data");
        previous = offsets[i];
    }
    return true;
}

namespace {

// Inflated output grows by pieces of this size, as the data arrives.
constexpr std::size_t kPieceSize = 1 << 20;

std::string CompressionName(unsigned char mask)
{
    switch (mask) {
    case 0x01: return "Huffman";
    case 0x08: return "PKWARE implode";
    case 0x10: return "bzip2";
    case 0x12: return "LZMA";
    case 0x20: return "sparse";
    case 0x40:
    case 0x80: return "ADPCM";
    default: break;
    }
    static const char digits[] = "0123456789ABCDEF";
    return std::string("mask 0x") + digits[mask >> 4] + digits[mask & 15];
}

// Resizes bytes, or says there is not enough memory.
bool Resize(std::string& bytes, std::size_t size, ReadError& error)
{
    try {
        bytes.resize(size);
        return true;
    } catch (const std::bad_alloc&) {
        return Fail(error, ArchiveFailure::OutOfMemory, "not enough memory for a file of the archive");
    }
}

bool Reserve(std::string& bytes, std::size_t size, ReadError& error)
{
    try {
        bytes.reserve(size);
        return true;
    } catch (const std::bad_alloc&) {
        return Fail(error, ArchiveFailure::OutOfMemory, "not enough memory for a file of the archive");
    }
}

// Inflates one compressed piece (mask byte, then data) onto content: exactly length bytes, the
// output grown as they arrive.
bool InflatePiece(const unsigned char* piece, std::size_t size, std::uint32_t length, std::string& content,
                  ReadError& error)
{
    if (size == 0 || piece[0] != kCompressionZlib)
        return Fail(error, ArchiveFailure::Unsupported,
                    "compressed with " + (size == 0 ? std::string("nothing") : CompressionName(piece[0])) +
                        ", which this tool does not read");
    z_stream stream = {};
    if (inflateInit(&stream) != Z_OK)
        return Fail(error, ArchiveFailure::OutOfMemory, "cannot start inflating");
    stream.next_in = const_cast<Bytef*>(piece + 1);
    stream.avail_in = static_cast<uInt>(size - 1);
    const std::size_t start = content.size();
    int status = Z_OK;
    while (status == Z_OK && content.size() - start < length) {
        const std::size_t done = content.size() - start;
        const std::size_t grow = std::min<std::size_t>(kPieceSize, length - done);
        if (!Resize(content, start + done + grow, error)) {
            inflateEnd(&stream);
            return false;
        }
        stream.next_out = reinterpret_cast<Bytef*>(&content[start + done]);
        stream.avail_out = static_cast<uInt>(grow);
        status = inflate(&stream, Z_NO_FLUSH);
        content.resize(start + done + grow - stream.avail_out);
    }
    // Output that would go on past the declared length shows in one more byte.
    unsigned char extra = 0;
    if (status == Z_OK) {
        stream.next_out = &extra;
        stream.avail_out = 1;
        status = inflate(&stream, Z_NO_FLUSH);
    }
    const bool past = stream.avail_out == 0 && stream.next_out == &extra + 1;
    inflateEnd(&stream);
    if (past)
        return Fail(error, ArchiveFailure::Malformed, "a sector inflates past the file's declared size");
    if (status != Z_STREAM_END || content.size() - start != length)
        return Fail(error, ArchiveFailure::Malformed, "a sector does not inflate to its size");
    return true;
}

bool ReadSingleUnit(std::FILE* file, const Archive& archive, const BlockEntry& block, std::uint32_t key,
                    std::string& content, ReadError& error)
{
    std::string stored;
    if (!ReadPiece(file, archive, block, 0, block.storedSize, block.flags & kFileEncrypted, key, stored, error))
        return false;
    if (block.storedSize < block.realSize && (block.flags & kFileCompressed))
        return Reserve(content, block.realSize / 1032 <= block.storedSize ? block.realSize : 0, error) &&
               InflatePiece(reinterpret_cast<const unsigned char*>(stored.data()), stored.size(), block.realSize,
                            content, error);
    if (block.storedSize != block.realSize)
        return Fail(error, ArchiveFailure::Malformed, "a stored file's size disagrees with its data");
    content.swap(stored);
    return true;
}

} // namespace

bool ReadFileContent(std::FILE* file, const Archive& archive, const BlockEntry& block, std::uint32_t key,
                     std::string& content, ReadError& error, std::uint32_t maxSectors)
{
    content.clear();
    if (block.flags & kFileImploded)
        return Fail(error, ArchiveFailure::Unsupported,
                    "compressed with PKWARE implode, which this tool does not read");
    if (block.realSize > kMaxAllocation)
        return Fail(error, ArchiveFailure::Malformed, "its declared size is above 1 GiB");
    if (block.realSize == 0)
        return true;
    if (block.flags & kFileSingleUnit)
        return ReadSingleUnit(file, archive, block, key, content, error);
    const bool decrypt = block.flags & kFileEncrypted;
    const std::uint32_t sectors = std::min(SectorCount(block, archive.sectorSize), maxSectors);
    std::vector<std::uint32_t> offsets;
    if (HasSectorTable(block) && !ReadSectorTable(file, archive, block, key, offsets, error))
        return false;
    if (!HasSectorTable(block) && block.storedSize < block.realSize)
        return Fail(error, ArchiveFailure::Malformed, "a stored file's size disagrees with its data");
    // Deflate makes at most 1032 bytes of 1: a declared size the stored data can hold is had at
    // once, rather than grown into twice its size.
    if (maxSectors >= SectorCount(block, archive.sectorSize) && block.realSize / 1032 <= block.storedSize &&
        !Reserve(content, block.realSize, error))
        return false;
    std::string piece;
    for (std::uint32_t i = 0; i < sectors; ++i) {
        const std::uint32_t length = SectorLength(block, archive.sectorSize, i);
        const std::uint64_t start = HasSectorTable(block) ? offsets[i] : std::uint64_t{i} * archive.sectorSize;
        const std::uint64_t size = HasSectorTable(block) ? offsets[i + 1] - offsets[i] : length;
        if (size > length)
            return Fail(error, ArchiveFailure::Malformed, "a sector is stored larger than it is");
        if (!ReadPiece(file, archive, block, start, static_cast<std::size_t>(size), decrypt, key + i, piece, error))
            return false;
        if (size == length)
            content += piece;
        else if (!InflatePiece(reinterpret_cast<const unsigned char*>(piece.data()), piece.size(), length, content,
                               error))
            return false;
    }
    return true;
}
