#include "mpq_read.h"

#include "mpq_crypt.h"

#include <algorithm>
#include <new>
#include <vector>

namespace {

// The offset of the first header magic at a multiple of 512 bytes.
bool FindHeader(std::FILE* file, std::uint64_t fileSize, std::uint64_t& offset)
{
    for (offset = 0; offset + 4 <= fileSize; offset += kHeaderAlignment) {
        unsigned char magic[4];
        if (!ReadAt(file, offset, magic, 4))
            return false;
        if (ReadU32(magic) == kArchiveMagic)
            return true;
    }
    return false;
}

bool ReadHeader(std::FILE* file, Archive& archive, ReadError& error)
{
    unsigned char bytes[kHeaderSize];
    if (!ReadAt(file, archive.headerOffset, bytes, kHeaderSize))
        return Fail(error, ArchiveFailure::Truncated, "the file ends inside the archive header");
    ArchiveHeader& header = archive.header;
    const std::uint32_t headerSize = ReadU32(bytes + 4);
    header.archiveSize = ReadU32(bytes + 8);
    header.formatVersion = static_cast<std::uint16_t>(bytes[12] | bytes[13] << 8);
    header.sectorShift = static_cast<std::uint16_t>(bytes[14] | bytes[15] << 8);
    header.hashTableOffset = ReadU32(bytes + 16);
    header.blockTableOffset = ReadU32(bytes + 20);
    header.hashEntries = ReadU32(bytes + 24);
    header.blockEntries = ReadU32(bytes + 28);
    if (header.formatVersion != 0)
        return Fail(error, ArchiveFailure::Unsupported,
                    "archive format version " + std::to_string(header.formatVersion) + " (only version 0 is read)");
    if (headerSize != kHeaderSize)
        return Fail(error, ArchiveFailure::Malformed,
                    "the archive header claims " + std::to_string(headerSize) + " bytes (version 0 has 32)");
    if (header.sectorShift > kMaxSectorShift)
        return Fail(error, ArchiveFailure::Malformed,
                    "sector size shift " + std::to_string(header.sectorShift) + " is past the largest sectors read");
    archive.sectorSize = 512u << header.sectorShift;
    return true;
}

// Reads entries table entries at offset (from the header), decrypted with the hash of keyName.
bool ReadTable(std::FILE* file, const Archive& archive, std::uint32_t offset, std::uint32_t entries,
               const char* keyName, std::vector<unsigned char>& bytes, ReadError& error)
{
    const std::uint64_t available = archive.fileSize - archive.headerOffset;
    const std::uint64_t size = std::uint64_t{entries} * kTableEntrySize;
    if (offset > available || size > available - offset)
        return Fail(error, ArchiveFailure::Truncated,
                    std::string(keyName) + " runs past the end of the file");
    if (size > kMaxAllocation)
        return Fail(error, ArchiveFailure::Malformed, std::string(keyName) + " is larger than 1 GiB");
    try {
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return Fail(error, ArchiveFailure::OutOfMemory, std::string("not enough memory for the ") + keyName);
    }
    if (!ReadAt(file, archive.headerOffset + offset, bytes.data(), bytes.size()))
        return Fail(error, ArchiveFailure::CannotOpen, std::string("cannot read the ") + keyName);
    DecryptBytes(bytes.data(), bytes.size(), HashName(keyName, HashType::Key));
    return true;
}

bool ReadTables(std::FILE* file, Archive& archive, ReadError& error)
{
    const ArchiveHeader& header = archive.header;
    if (header.hashEntries == 0 || (header.hashEntries & (header.hashEntries - 1)) != 0)
        return Fail(error, ArchiveFailure::Malformed,
                    "the hash table's " + std::to_string(header.hashEntries) + " entries are not a power of two");
    std::vector<unsigned char> bytes;
    if (!ReadTable(file, archive, header.hashTableOffset, header.hashEntries, "(hash table)", bytes, error))
        return false;
    archive.hashes.resize(header.hashEntries);
    for (std::size_t i = 0; i < archive.hashes.size(); ++i) {
        const unsigned char* entry = bytes.data() + i * kTableEntrySize;
        HashEntry& hash = archive.hashes[i];
        hash.nameA = ReadU32(entry);
        hash.nameB = ReadU32(entry + 4);
        hash.locale = static_cast<std::uint16_t>(entry[8] | entry[9] << 8);
        hash.platform = static_cast<std::uint16_t>(entry[10] | entry[11] << 8);
        hash.block = ReadU32(entry + 12);
    }
    if (!ReadTable(file, archive, header.blockTableOffset, header.blockEntries, "(block table)", bytes, error))
        return false;
    archive.blocks.resize(header.blockEntries);
    for (std::size_t i = 0; i < archive.blocks.size(); ++i) {
        const unsigned char* entry = bytes.data() + i * kTableEntrySize;
        archive.blocks[i] = BlockEntry{ReadU32(entry), ReadU32(entry + 4), ReadU32(entry + 8), ReadU32(entry + 12)};
    }
    return true;
}

// Every file's data must lie inside the file; dataEnd becomes the end of what the archive uses.
bool CheckBlocks(Archive& archive, ReadError& error)
{
    const std::uint64_t available = archive.fileSize - archive.headerOffset;
    const ArchiveHeader& header = archive.header;
    std::uint64_t end = std::max<std::uint64_t>(
        header.hashTableOffset + std::uint64_t{header.hashEntries} * kTableEntrySize,
        header.blockTableOffset + std::uint64_t{header.blockEntries} * kTableEntrySize);
    for (std::size_t i = 0; i < archive.blocks.size(); ++i) {
        const BlockEntry& block = archive.blocks[i];
        if (!HoldsFile(block))
            continue;
        if (block.offset > available || block.storedSize > available - block.offset)
            return Fail(error, ArchiveFailure::Truncated,
                        "the data of block " + std::to_string(i) + " runs past the end of the file");
        end = std::max<std::uint64_t>(end, std::uint64_t{block.offset} + block.storedSize);
    }
    archive.dataEnd = archive.headerOffset + end;
    return true;
}

} // namespace

bool Fail(ReadError& error, ArchiveFailure kind, const std::string& reason)
{
    error.kind = kind;
    error.reason = reason;
    return false;
}

bool SeekTo(std::FILE* file, std::uint64_t offset)
{
#ifdef _WIN32
    return _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

bool ReadAt(std::FILE* file, std::uint64_t offset, void* bytes, std::size_t size)
{
    return SeekTo(file, offset) && std::fread(bytes, 1, size, file) == size;
}

std::int64_t FileSize(std::FILE* file)
{
#ifdef _WIN32
    if (_fseeki64(file, 0, SEEK_END) != 0)
        return -1;
    return _ftelli64(file);
#else
    if (fseeko(file, 0, SEEK_END) != 0)
        return -1;
    return static_cast<std::int64_t>(ftello(file));
#endif
}

bool ReadArchive(std::FILE* file, Archive& archive, ReadError& error)
{
    archive = Archive();
    const std::int64_t fileSize = FileSize(file);
    if (fileSize < 0)
        return Fail(error, ArchiveFailure::CannotOpen, "cannot read the input");
    archive.fileSize = static_cast<std::uint64_t>(fileSize);
    if (!FindHeader(file, archive.fileSize, archive.headerOffset))
        return Fail(error, ArchiveFailure::NotAnArchive, "no MPQ archive header in the file");
    if (!ReadHeader(file, archive, error) || !ReadTables(file, archive, error) || !CheckBlocks(archive, error))
        return false;
    // An official map's strong signature follows the archive; a changed map cannot keep it.
    const std::uint64_t signatureAt = archive.headerOffset + archive.header.archiveSize;
    unsigned char magic[4];
    archive.strongSignature = signatureAt >= archive.dataEnd && signatureAt + 4 <= archive.fileSize &&
                              ReadAt(file, signatureAt, magic, 4) && ReadU32(magic) == kStrongSignatureMagic;
    return true;
}
