#pragma once

// Reading a file's data in the archive. A file is one piece (single unit) or sectors of the
// archive's sector size; compressed sectors follow a table of their offsets, and with sector
// checksums a table of Adler-32 values follows the last sector. Sectors are deflated with zlib
// (the one compression this tool reads) or stored raw.

#include "mpq_format.h"
#include "mpq_read.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The sectors of block, and the real length of sector i.
std::uint32_t SectorCount(const BlockEntry& block, std::uint32_t sectorSize);
std::uint32_t SectorLength(const BlockEntry& block, std::uint32_t sectorSize, std::uint32_t i);

// True for a block that starts with a table of sector offsets: compressed and not a single unit.
bool HasSectorTable(const BlockEntry& block);

// Reads size bytes at offset of file into bytes (resized to size). Returns false with error when
// the memory or the bytes cannot be had.
bool ReadBytes(std::FILE* file, std::uint64_t offset, std::size_t size, std::string& bytes, ReadError& error);

// Reads size stored bytes of block from offset (from the block's start) into piece, decrypted
// with key when decrypt is set.
bool ReadPiece(std::FILE* file, const Archive& archive, const BlockEntry& block, std::uint64_t offset,
               std::size_t size, bool decrypt, std::uint32_t key, std::string& piece, ReadError& error);

// The sector offset table of block (HasSectorTable), decrypted with key - 1: one offset per
// sector and the end, and with sector checksums the checksums' end. Returns false unless each
// lies within the stored data, none before the one before it or inside the table.
bool ReadSectorTable(std::FILE* file, const Archive& archive, const BlockEntry& block, std::uint32_t key,
                     std::vector<std::uint32_t>& offsets, ReadError& error);

// Reads the content of block, decrypted with key when the block is encrypted, into content.
// Reads only the first maxSectors sectors (a single unit whole). Returns false with error on a
// compression this tool does not read (Unsupported), data that does not inflate to the declared
// size (Malformed), or data past the file (Truncated).
bool ReadFileContent(std::FILE* file, const Archive& archive, const BlockEntry& block, std::uint32_t key,
                     std::string& content, ReadError& error, std::uint32_t maxSectors = 0xFFFFFFFF);
