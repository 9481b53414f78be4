#pragma once

#include <cstdint>
#include <string>

// Why a conversion failed, for programs; the reason text says it for people.
enum class FailureKind {
    None,        // converted
    CannotOpen,  // the input cannot be opened
    CannotRead,  // reading the opened input failed
    NotAModel,   // the input does not start with "MDLX"
    Truncated,   // the input ends inside a chunk
    Malformed,   // a size or count disagrees with the data around it
    CannotWrite, // the output cannot be created, written, closed or moved into place
    OutOfMemory, // a block buffer could not be had
    InvalidSettings, // the settings ask for a kept bit count outside 10 to 32
};

// What one conversion found: filled by the driver and the walkers as they go.
struct ConversionReport {
    int converted = 0;              // 1 when the output is the complete reduced copy
    FailureKind kind = FailureKind::None;
    std::string reason;             // why not, in words; empty on success
    std::int64_t offset = -1;       // input offset where the failure was found, -1 if unknown
    std::int32_t tag = 0;           // tag of the chunk being walked then, 0 outside any chunk
    std::int64_t floatsReduced = 0; // 4-byte values written reduced
    std::int32_t version = 800;     // model version from the "VERS" chunk; 800 without one
    bool walked = false;            // the magic matched and the chunks were walked: version holds
};

// The four letters of a tag, with any byte outside printable ASCII as '?'.
std::string TagLetters(std::int32_t tag);

// One line for a failure: the reason, the chunk and the offset, e.g.
// "input ends inside a chunk (chunk 'GEOS', offset 1234)".
std::string DescribeFailure(const ConversionReport& report);

// Clears what report found, for a new conversion.
void ClearReport(ConversionReport& report);
