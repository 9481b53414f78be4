#pragma once

// The layout of an MPQ archive of format version 0, as maps use it: a 32-byte header at a
// multiple of 512 bytes in the file, a hash table and a block table, and the files' data. Every
// offset in the archive counts from the header.

#include <cstdint>
#include <string>
#include <vector>

constexpr std::uint32_t kArchiveMagic = 0x1A51504D;   // "MPQ\x1A"
constexpr std::uint32_t kHeaderSize = 32;
constexpr std::uint64_t kHeaderAlignment = 512;        // where a header may start in the file
constexpr std::uint32_t kStrongSignatureMagic = 0x5349474E; // "NGIS", a block after the archive
constexpr std::uint32_t kMaxSectorShift = 15;          // 16 MiB sectors; maps use 4096 bytes (shift 3)

// Hash table slots: the block index of a slot never used (a search ends there) and of a slot
// whose file was deleted (a search goes on).
constexpr std::uint32_t kSlotEmpty = 0xFFFFFFFF;
constexpr std::uint32_t kSlotDeleted = 0xFFFFFFFE;
constexpr std::uint32_t kTableEntrySize = 16;

// Block flags.
constexpr std::uint32_t kFileImploded = 0x00000100;
constexpr std::uint32_t kFileCompressed = 0x00000200;
constexpr std::uint32_t kFileEncrypted = 0x00010000;
constexpr std::uint32_t kFileFixedKey = 0x00020000;
constexpr std::uint32_t kFileSingleUnit = 0x01000000;
constexpr std::uint32_t kFileDeleteMarker = 0x02000000;
constexpr std::uint32_t kFileSectorChecksums = 0x04000000;
constexpr std::uint32_t kFileExists = 0x80000000;

// The first byte of a compressed sector says how: zlib is the one this tool reads and writes.
constexpr unsigned char kCompressionZlib = 0x02;

// Names the archive itself uses.
constexpr char kListfileName[] = "(listfile)";
constexpr char kAttributesName[] = "(attributes)";
constexpr char kSignatureName[] = "(signature)";

// No buffer of the archive code is larger.
constexpr std::uint64_t kMaxAllocation = 1ull << 30;

inline std::uint32_t ReadU32(const unsigned char* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

inline void AppendU32(std::string& bytes, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        bytes += static_cast<char>((value >> shift) & 0xFF);
}

struct ArchiveHeader {
    std::uint32_t archiveSize = 0;
    std::uint16_t formatVersion = 0;
    std::uint16_t sectorShift = 0;
    std::uint32_t hashTableOffset = 0;
    std::uint32_t blockTableOffset = 0;
    std::uint32_t hashEntries = 0;
    std::uint32_t blockEntries = 0;
};

struct HashEntry {
    std::uint32_t nameA;
    std::uint32_t nameB;
    std::uint16_t locale;
    std::uint16_t platform;
    std::uint32_t block;
};

struct BlockEntry {
    std::uint32_t offset;
    std::uint32_t storedSize;
    std::uint32_t realSize;
    std::uint32_t flags;
};

// An archive as read: where it sits in the file, its header, and its tables decrypted.
struct Archive {
    std::uint64_t fileSize = 0;
    std::uint64_t headerOffset = 0;  // the bytes before it are kept as they are
    ArchiveHeader header;
    std::uint32_t sectorSize = 0;
    std::vector<HashEntry> hashes;
    std::vector<BlockEntry> blocks;
    std::uint64_t dataEnd = 0;       // the end of the last table or block, from the file's start
    bool strongSignature = false;    // an "NGIS" block follows the archive
};

// True for a block entry that holds a file.
inline bool HoldsFile(const BlockEntry& block)
{
    return (block.flags & kFileExists) != 0;
}
