#pragma once

// Reading an archive's header and tables: found, checked against the file and decrypted once into
// plain structs that the rest of the archive code walks.

#include "archive_convert.h"
#include "mpq_format.h"

#include <cstdint>
#include <cstdio>
#include <string>

// Why an archive or a file in it cannot be read.
struct ReadError {
    ArchiveFailure kind = ArchiveFailure::None;
    std::string reason;
};

// Returns false (with error) and changes nothing else.
bool Fail(ReadError& error, ArchiveFailure kind, const std::string& reason);

// Reads size bytes at offset of file into bytes. Returns false when the file holds fewer.
bool ReadAt(std::FILE* file, std::uint64_t offset, void* bytes, std::size_t size);

// Moves file to offset, past 2 GiB too. Returns false when it cannot.
bool SeekTo(std::FILE* file, std::uint64_t offset);

// The size of file, or -1 when it cannot be had.
std::int64_t FileSize(std::FILE* file);

// Finds the archive header in file (at the first multiple of 512 bytes that starts with the
// magic), reads it and both tables, and checks every offset and size against the file. Returns
// true when the archive can be read soundly; else false, and error says why.
bool ReadArchive(std::FILE* file, Archive& archive, ReadError& error);
