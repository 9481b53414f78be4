#include "mpq_pack.h"

#include "mpq_crypt.h"

#include <zlib.h>

#include <algorithm>

bool WriteBytes(ArchiveOutput& output, const void* bytes, std::size_t size)
{
    if (output.failed)
        return false;
    if (output.file != nullptr && size > 0 && std::fwrite(bytes, 1, size, output.file) != size)
        output.failed = true;
    output.written += size;
    return !output.failed;
}

namespace {

// Raw data moves through pieces of this size: a few of them per worker at most.
constexpr std::size_t kPieceSize = 1 << 20;

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
        const std::size_t length = std::min<std::size_t>(sectorSize, content.size() - i * sectorSize);
        AppendPacked(bytes, content.data() + i * sectorSize, length, scratch);
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

// Copies size bytes from offset, decrypted with oldKey and encrypted with newKey as one run (a dry
// run only counts them).
bool Reencrypt(std::FILE* file, const Archive& archive, const BlockEntry& block, std::uint64_t offset,
               std::uint64_t size, std::uint32_t oldKey, std::uint32_t newKey, ArchiveOutput& output,
               ReadError& error)
{
    if (output.file == nullptr)
        return CopyRaw(file, archive, block, offset, size, output, error);
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
    std::string piece; // a dry run only counts
    while (size > 0) {
        const std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(size, kPieceSize));
        if (output.file != nullptr && !ReadBytes(file, offset, part, piece, error))
            return false;
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
    // A dry run takes the same way, so that it refuses a sector table the conversion would refuse.
    if (!(block.flags & kFileEncrypted) || oldKey == newKey || block.realSize == 0)
        return CopyRaw(file, archive, block, 0, block.storedSize, output, error);
    if (!!(block.flags & kFileSingleUnit))
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
            offsets.push_back(static_cast<std::uint32_t>(
                std::min<std::uint64_t>(std::uint64_t{i} * archive.sectorSize, block.realSize)));
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
