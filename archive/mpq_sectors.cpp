#include "mpq_sectors.h"

#include "mpq_crypt.h"

#include <zlib.h>

#include <algorithm>
#include <new>

namespace {

// Raw data moves and grows through pieces of this size: a few of them per worker at most.
constexpr std::size_t kPieceSize = 1 << 20;

std::uint32_t SectorCount(const BlockEntry& block, std::uint32_t sectorSize)
{
    return static_cast<std::uint32_t>((std::uint64_t{block.realSize} + sectorSize - 1) / sectorSize);
}

// The real length of sector i.
std::uint32_t SectorLength(const BlockEntry& block, std::uint32_t sectorSize, std::uint32_t i)
{
    return std::min<std::uint32_t>(sectorSize, block.realSize - i * sectorSize);
}

bool IsSectored(const BlockEntry& block)
{
    return !(block.flags & kFileSingleUnit);
}

bool HasSectorTable(const BlockEntry& block)
{
    return IsSectored(block) && (block.flags & (kFileCompressed | kFileImploded));
}

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

// Reads a stored piece of size bytes at offset (from the block's start) and decrypts it with key.
bool ReadPiece(std::FILE* file, const Archive& archive, const BlockEntry& block, std::uint64_t offset,
               std::size_t size, bool decrypt, std::uint32_t key, std::string& piece, ReadError& error)
{
    if (!Resize(piece, size, error))
        return false;
    if (!ReadAt(file, archive.headerOffset + block.offset + offset, &piece[0], size))
        return Fail(error, ArchiveFailure::CannotOpen, "cannot read the input");
    if (decrypt)
        DecryptBytes(reinterpret_cast<unsigned char*>(&piece[0]), size, key);
    return true;
}

// The sector offset table of a compressed, sectored block, decrypted with key - 1: one offset per
// sector and the end, and the checksums' end with sector checksums. Each lies within the stored
// data and none is before the one before it or inside the table.
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

bool WriteBytes(ArchiveOutput& output, const void* bytes, std::size_t size)
{
    if (output.failed)
        return false;
    if (output.file != nullptr && size > 0 && std::fwrite(bytes, 1, size, output.file) != size)
        output.failed = true;
    output.written += size;
    return !output.failed;
}

bool ReadFileContent(std::FILE* file, const Archive& archive, const BlockEntry& block, std::uint32_t key,
                     std::string& content, ReadError& error, std::uint32_t maxSectors)
{
    content.clear();
    if (block.flags & kFileImploded)
        return Fail(error, ArchiveFailure::Unsupported, "compressed with PKWARE implode, which this tool does not read");
    if (block.realSize > kMaxAllocation)
        return Fail(error, ArchiveFailure::Malformed, "its declared size is above 1 GiB");
    if (block.realSize == 0)
        return true;
    if (!IsSectored(block))
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

namespace {

// Appends data as one piece: a mask byte and its deflated form when that is smaller, else raw.
// scratch is the caller's buffer for the deflated form, kept from piece to piece.
void AppendPacked(std::string& out, const char* data, std::size_t size, std::string& scratch)
{
    uLongf packedSize = compressBound(static_cast<uLong>(size));
    scratch.resize(packedSize + 1);
    scratch[0] = static_cast<char>(kCompressionZlib);
    const bool deflated = compress2(reinterpret_cast<Bytef*>(&scratch[1]), &packedSize,
                                    reinterpret_cast<const Bytef*>(data), static_cast<uLong>(size), 9) == Z_OK;
    if (deflated && packedSize + 1 < size)
        out.append(scratch, 0, packedSize + 1);
    else
        out.append(data, size);
}

void PutU32(std::string& bytes, std::size_t at, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        bytes[at + shift / 8] = static_cast<char>((value >> shift) & 0xFF);
}

} // namespace

PackedFile PackFile(const std::string& content, std::uint32_t flags, std::uint32_t sectorSize)
{
    PackedFile packed;
    packed.flags = (flags & ~kFileImploded) | kFileCompressed;
    std::string scratch;
    if (!(packed.flags & kFileSingleUnit) && content.empty())
        packed.flags &= ~kFileSectorChecksums;
    if (packed.flags & kFileSingleUnit) {
        packed.bytes.reserve(content.size());
        AppendPacked(packed.bytes, content.data(), content.size(), scratch);
        return packed;
    }
    const std::size_t sectors = (content.size() + sectorSize - 1) / sectorSize;
    const bool checksums = packed.flags & kFileSectorChecksums;
    const std::size_t entries = sectors + 1 + (checksums ? 1 : 0);
    // No sector is stored larger than it is: one buffer of the most it can take.
    std::string& bytes = packed.bytes;
    bytes.reserve(entries * 4 + content.size() + (checksums ? sectors * 4 : 0));
    bytes.assign(entries * 4, '\0');
    std::string sums;
    for (std::size_t i = 0; i < sectors; ++i) {
        const std::size_t start = bytes.size();
        PutU32(bytes, i * 4, static_cast<std::uint32_t>(start));
        AppendPacked(bytes, content.data() + i * sectorSize, std::min<std::size_t>(sectorSize, content.size() - i * sectorSize),
                     scratch);
        AppendU32(sums, static_cast<std::uint32_t>(adler32(0, reinterpret_cast<const Bytef*>(bytes.data() + start),
                                                           static_cast<uInt>(bytes.size() - start))));
    }
    PutU32(bytes, sectors * 4, static_cast<std::uint32_t>(bytes.size()));
    if (checksums) {
        bytes += sums;
        PutU32(bytes, (sectors + 1) * 4, static_cast<std::uint32_t>(bytes.size()));
    }
    return packed;
}

void EncryptPacked(std::string& bytes, std::uint32_t flags, std::uint32_t realSize, std::uint32_t sectorSize,
                   std::uint32_t key)
{
    unsigned char* data = reinterpret_cast<unsigned char*>(&bytes[0]);
    if (bytes.empty() || !(flags & kFileEncrypted))
        return;
    if (flags & kFileSingleUnit) {
        EncryptBytes(data, bytes.size(), key);
        return;
    }
    const BlockEntry block{0, static_cast<std::uint32_t>(bytes.size()), realSize, flags};
    const std::uint32_t sectors = SectorCount(block, sectorSize);
    if (!(flags & kFileCompressed)) {
        for (std::uint32_t i = 0; i < sectors; ++i)
            EncryptBytes(data + std::size_t{i} * sectorSize, SectorLength(block, sectorSize, i), key + i);
        return;
    }
    // The offsets are read before the table is encrypted.
    std::vector<std::uint32_t> offsets(sectors + 1);
    for (std::uint32_t i = 0; i <= sectors; ++i)
        offsets[i] = ReadU32(data + std::size_t{i} * 4);
    for (std::uint32_t i = 0; i < sectors; ++i)
        EncryptBytes(data + offsets[i], offsets[i + 1] - offsets[i], key + i);
    const std::size_t entries = sectors + 1 + ((flags & kFileSectorChecksums) ? 1 : 0);
    EncryptBytes(data, entries * 4, key - 1);
}

namespace {

// Copies size stored bytes of block from offset on, raw.
bool CopyRaw(std::FILE* file, const Archive& archive, const BlockEntry& block, std::uint64_t offset,
             std::uint64_t size, ArchiveOutput& output, ReadError& error)
{
    return CopyFileRange(file, archive.headerOffset + block.offset + offset, size, output, error);
}

// Copies size bytes from offset, decrypted with oldKey and encrypted with newKey as one run.
bool Reencrypt(std::FILE* file, const Archive& archive, const BlockEntry& block, std::uint64_t offset,
               std::uint64_t size, std::uint32_t oldKey, std::uint32_t newKey, ArchiveOutput& output,
               ReadError& error)
{
    CipherState oldState{oldKey};
    CipherState newState{newKey};
    std::string piece;
    while (size > 0) {
        const std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(size, kPieceSize));
        if (!ReadPiece(file, archive, block, offset, part, false, 0, piece, error))
            return false;
        unsigned char* bytes = reinterpret_cast<unsigned char*>(&piece[0]);
        DecryptWords(bytes, part, oldState);
        EncryptWords(bytes, part, newState);
        if (!WriteBytes(output, bytes, part))
            return Fail(error, ArchiveFailure::CannotWrite, "cannot write the output");
        offset += part;
        size -= part;
    }
    return true;
}

} // namespace

bool CopyFileRange(std::FILE* file, std::uint64_t offset, std::uint64_t size, ArchiveOutput& output, ReadError& error)
{
    std::string piece;
    while (size > 0) {
        const std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(size, kPieceSize));
        if (output.file != nullptr) {
            if (!Resize(piece, part, error))
                return false;
            if (!ReadAt(file, offset, &piece[0], part))
                return Fail(error, ArchiveFailure::CannotOpen, "cannot read the input");
        }
        if (!WriteBytes(output, piece.data(), part))
            return Fail(error, ArchiveFailure::CannotWrite, "cannot write the output");
        offset += part;
        size -= part;
    }
    return true;
}

bool MoveFileData(std::FILE* file, const Archive& archive, const BlockEntry& block, std::uint32_t oldKey,
                  std::uint32_t newKey, ArchiveOutput& output, ReadError& error)
{
    if (!(block.flags & kFileEncrypted) || oldKey == newKey || output.file == nullptr || block.realSize == 0)
        return CopyRaw(file, archive, block, 0, block.storedSize, output, error);
    if (!IsSectored(block))
        return Reencrypt(file, archive, block, 0, block.storedSize, oldKey, newKey, output, error);
    const std::uint32_t sectors = SectorCount(block, archive.sectorSize);
    std::vector<std::uint32_t> offsets;
    if (HasSectorTable(block)) {
        if (!ReadSectorTable(file, archive, block, oldKey, offsets, error))
            return false;
        // The table is read plain above; written again under the new key.
        std::string table;
        for (std::uint32_t offset : offsets)
            AppendU32(table, offset);
        EncryptBytes(reinterpret_cast<unsigned char*>(&table[0]), table.size(), newKey - 1);
        if (!WriteBytes(output, table.data(), table.size()))
            return Fail(error, ArchiveFailure::CannotWrite, "cannot write the output");
    } else {
        if (block.storedSize < block.realSize)
            return Fail(error, ArchiveFailure::Malformed, "a stored file's size disagrees with its data");
        for (std::uint32_t i = 0; i <= sectors; ++i)
            offsets.push_back(static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{i} * archive.sectorSize, block.realSize)));
    }
    std::uint64_t cursor = HasSectorTable(block) ? offsets.size() * 4 : 0;
    for (std::uint32_t i = 0; i < sectors; ++i) {
        if (!CopyRaw(file, archive, block, cursor, offsets[i] - cursor, output, error) ||
            !Reencrypt(file, archive, block, offsets[i], offsets[i + 1] - offsets[i], oldKey + i, newKey + i, output,
                       error))
            return false;
        cursor = offsets[i + 1];
    }
    return CopyRaw(file, archive, block, cursor, block.storedSize - cursor, output, error);
}
