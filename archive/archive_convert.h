#pragma once

// Maps: an MPQ archive (.w3x, .w3m, .mpq) converted into a copy whose models are reduced. Every
// byte before the archive header, the hash table's slots, the block order and every file other
// than the models stay as they were; a (signature) file and a trailing strong signature are
// dropped, since no changed map can keep them. A model the core refuses, or one stored with a
// compression this tool does not read, is kept exactly as it was and reported.

#include "conversion_report.h"
#include "value_reduction.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// Why an archive was refused, for programs; the reason text says it for people.
enum class ArchiveFailure {
    None,         // written (perhaps with some models kept)
    CannotOpen,   // the input cannot be opened or read
    NotAnArchive, // no archive header in the file
    Unsupported,  // a format version or a file this tool cannot carry over
    Truncated,    // a table or a file's data runs past the end of the file
    Malformed,    // a size, offset or count disagrees with the data around it
    CannotWrite,  // the output cannot be created, written or moved into place
    OutOfMemory,
};

// One word for a failure kind, for --json: "cannot_open", "not_an_archive", "unsupported",
// "truncated", "malformed", "cannot_write", "out_of_memory"; "" for None.
const char* ArchiveFailureWord(ArchiveFailure kind);

// Runs convert(i) for every i below count on up to workers threads and take(i) on the calling
// thread in increasing order of i, as the command line's ConvertInOrder does.
using InOrderRunner = std::function<void(std::size_t count, int workers,
                                         const std::function<void(std::size_t)>& convert,
                                         const std::function<void(std::size_t)>& take)>;

struct ArchiveOptions {
    // How the models' values are reduced, as for a model on its own. Its observer, when set, sees
    // every model's values; the models are then reduced one after another on the calling thread,
    // so an observer need not be thread-safe.
    ConversionSettings settings;
    // Reduces and compresses the models; empty: one after another on the calling thread. The
    // output bytes do not depend on the runner or the number of workers.
    InOrderRunner runner;
    int workers = 1;
};

// One model of the archive and what became of it.
struct ArchiveModel {
    std::string name;             // from the listfile; "#block N" when the archive does not name it
    std::uint32_t block = 0;      // its index in the block table
    bool reduced = false;         // written reduced; else kept exactly as it was
    std::string keptReason;       // why it was kept
    ConversionReport report;      // the core's report (floats reduced, version, failure)
    std::uint64_t size = 0;       // decompressed bytes (its declared size)
    std::uint64_t storedBefore = 0;
    std::uint64_t storedAfter = 0;
};

struct ArchiveReport {
    bool written = false;             // the output is complete (dry run: would be)
    ArchiveFailure kind = ArchiveFailure::None;
    std::string reason;               // why the archive was refused
    std::uint64_t sizeBefore = 0;     // the input's bytes
    std::uint64_t sizeAfter = 0;      // the output's bytes (dry run: what they would be)
    bool signatureDropped = false;    // a (signature) file was dropped
    bool strongSignatureDropped = false; // a trailing "NGIS" block was dropped
    bool attributesMd5Dropped = false;   // (attributes) lost its MD5 array (no MD5 is computed)
    bool attributesDropped = false;      // an (attributes) file that could not be read and kept true
    std::vector<ArchiveModel> models; // in block order
};

// The models written reduced and those kept.
std::size_t CountReducedModels(const ArchiveReport& report);
std::size_t CountKeptModels(const ArchiveReport& report);

// Converts the archive at inputPath into outputPath, through a new temporary file beside the
// output that is moved onto it only when complete. Returns 1 when the output was written (some
// models may have been kept: see the report), 0 when the archive was refused or could not be
// written: then no output file is left and an earlier file at outputPath is as it was.
int ConvertArchive(const std::filesystem::path& inputPath, const std::filesystem::path& outputPath,
                   const ArchiveOptions& options, ArchiveReport& report);

// The same without writing anything: reads and reduces everything and reports what the output
// would be, its size included.
int DryRunArchive(const std::filesystem::path& inputPath, const ArchiveOptions& options, ArchiveReport& report);

// The conversion over C runtime files, for tests and the fuzz target: openInput opens the input
// for reading (called more than once: each model is read through a file of its own), output
// receives the archive and must allow seeking back; null output makes it a dry run.
int ConvertArchiveFiles(const std::function<std::FILE*()>& openInput, std::FILE* output,
                        const ArchiveOptions& options, ArchiveReport& report);
