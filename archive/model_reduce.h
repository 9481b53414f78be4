#pragma once

// One model of an archive: read, reduced through the conversion core in memory, and packed again,
// or kept as it was with the reason why.

#include "archive_convert.h"
#include "mpq_format.h"
#include "mpq_pack.h"

#include <cstdint>
#include <cstdio>
#include <string>

struct ReducedModel {
    ArchiveModel model; // name, block, result, sizes
    PackedFile packed;  // reduced and packed, not yet encrypted; empty when kept
    std::uint32_t crc32 = 0; // of the reduced content
};

// Reads block blockIndex of archive from input (key decrypts it), converts it as a loose model is
// converted (mode as ConversionReport::mode takes it) and packs the reduced copy in the archive's
// sectors. A model that cannot be read or converted is marked kept, with the reason.
void ReduceArchiveModel(std::FILE* input, const Archive& archive, std::uint32_t blockIndex, std::uint32_t key,
                        const ConversionSettings& settings, ReducedModel& result);
