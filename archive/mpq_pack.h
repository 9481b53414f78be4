#pragma once

// Writing a file's data into the new archive: packed and deflated again, or moved to its new
// offset in bounded pieces (decrypted and encrypted again when its key depends on the offset).

#include "mpq_format.h"
#include "mpq_read.h"
#include "mpq_sectors.h"

#include <cstdint>
#include <cstdio>
#include <string>

// Where the new archive goes: a file, or nowhere for a dry run, which only counts.
struct ArchiveOutput {
    std::FILE* file = nullptr;
    std::uint64_t written = 0;
    bool failed = false;
};

// Appends size bytes to output (counts them on a dry run). Returns false once a write failed.
bool WriteBytes(ArchiveOutput& output, const void* bytes, std::size_t size);

// A file packed for the archive, before encryption.
struct PackedFile {
    std::string bytes;
    std::uint32_t flags = 0; // the block's flags: compressed, its single unit and checksum flags kept
};

// Packs content in the archive's sectors (or one piece for a single unit), each deflated at level 9
// when that makes it smaller and stored raw otherwise, with checksums when flags ask for them.
// flags are the file's old flags; imploded becomes compressed. Holds no more than the packed bytes.
PackedFile PackFile(const std::string& content, std::uint32_t flags, std::uint32_t sectorSize);

// Encrypts packed data of realSize bytes with key in place, as flags and the sector size lay it out.
void EncryptPacked(std::string& bytes, std::uint32_t flags, std::uint32_t realSize, std::uint32_t sectorSize,
                   std::uint32_t key);

// Copies size bytes of file from offset on to output in bounded pieces (counts them on a dry run).
bool CopyFileRange(std::FILE* file, std::uint64_t offset, std::uint64_t size, ArchiveOutput& output, ReadError& error);

// Copies block's stored data to output in bounded pieces: raw when oldKey equals newKey or the
// block is not encrypted, else decrypted with oldKey and encrypted with newKey.
bool MoveFileData(std::FILE* file, const Archive& archive, const BlockEntry& block, std::uint32_t oldKey,
                  std::uint32_t newKey, ArchiveOutput& output, ReadError& error);
