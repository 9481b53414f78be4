#pragma once

// The names of an archive's files and its (attributes). The hash table holds only hashes of names;
// the (listfile) and the archive's own fixed names say which block holds what.

#include "mpq_format.h"

#include <cstdint>
#include <string>
#include <vector>

// The names in a listfile's content, separated by ';', CR or LF.
std::vector<std::string> SplitListfile(const std::string& content);

// The hash table slots that hold name, in probe order from its home slot.
std::vector<std::size_t> FindSlots(const Archive& archive, const std::string& name);

// The name of every block (one per block table entry) that one of names hashes to; "" for the rest.
std::vector<std::string> NameBlocks(const Archive& archive, const std::vector<std::string>& names);

// The first block that two different names of names reach where it matters which of them it has:
// each of the archive's own files ((listfile), (attributes), (signature)) is a block of its own,
// and an encrypted file's key comes from its name. The number of blocks when there is none.
std::size_t FindAmbiguousBlock(const Archive& archive, const std::vector<std::string>& names);

// True when name ends in ".mdx" in any letter case.
bool HasModelName(const std::string& name);

// The (attributes) file: version and flags, then one array per flag with an entry per block.
constexpr std::uint32_t kAttributeCrc32 = 1;
constexpr std::uint32_t kAttributeFileTime = 2;
constexpr std::uint32_t kAttributeMd5 = 4;
constexpr std::uint32_t kAttributePatchBit = 8;

struct Attributes {
    std::uint32_t version = 0;
    std::uint32_t flags = 0;
    std::string crc32;     // 4 bytes per block
    std::string fileTimes; // 8 bytes per block
    std::string md5;       // 16 bytes per block
    std::string patchBits; // one bit per block
};

// Splits content into its arrays for blocks entries. Returns false when its size is not what its
// flags and the block count make.
bool ParseAttributes(const std::string& content, std::size_t blocks, Attributes& attributes);

// The content of attributes: the header and the arrays its flags name.
std::string WriteAttributes(const Attributes& attributes);
