#pragma once

// Writing the new archive in one pass: the bytes before the header, a header to be filled in last,
// every block's data in block order (models reduced, (attributes) brought up to date at the end,
// the others moved), then the hash table with its slots as they were and the block table.

#include "archive_convert.h"
#include "mpq_format.h"
#include "mpq_read.h"
#include "mpq_pack.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// What becomes of a block.
enum class BlockRole {
    Empty,      // holds no file: written as an empty entry
    Move,       // moved unchanged (encrypted again when its key depends on its offset)
    Model,      // reduced, or moved unchanged when the model cannot be reduced
    Attributes, // rewritten with the reduced models' checksums, after every other block
    Drop,       // (signature): its slots become deleted slots, its entry an empty one
};

struct ArchivePlan {
    std::vector<std::string> names; // per block; "" where the archive does not name it
    std::vector<BlockRole> roles;   // per block
};

// Writes the new archive for archive (read from input) to output. Models are read through files
// that openInput opens, one per model, so that several can be reduced at once on options'
// runner. Fills report's models and flags. Returns false with error when the archive cannot be
// written soundly; output then holds a partial archive that must not be used.
bool WriteArchive(std::FILE* input, const std::function<std::FILE*()>& openInput, const Archive& archive,
                  const ArchivePlan& plan, const ArchiveOptions& options, ArchiveOutput& output,
                  ArchiveReport& report, ReadError& error);
