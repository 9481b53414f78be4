#include "archive_mutator.h"

#include "mpq_crypt.h"
#include "mpq_format.h"

#include <random>

namespace {

// Seeded afresh for every mutation: the Mersenne twister's 2.5 KB of state took a tenth of the
// fuzzer's time to seed, and a mutation draws a handful of numbers.
using Random = std::minstd_rand;

void PutWord(std::uint8_t* bytes, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A new value for a field that held old: near it, a bit away, an edge, or anything.
std::uint32_t MutateValue(std::uint32_t old, std::size_t size, Random& random)
{
    switch (random() % 6) {
    case 0: return old + 1 + random() % 16;
    case 1: return old - 1 - random() % 16;
    case 2: return old ^ (1u << (random() % 32));
    case 3: return random() % 2 ? 0 : 0xFFFFFFFF;
    case 4: return static_cast<std::uint32_t>(random() % (size + 1));
    default: return static_cast<std::uint32_t>(random() << 16 ^ random()); // 31 bits a draw
    }
}

// The offset of the first header magic at a multiple of 512 bytes with a whole header, or size.
std::size_t FindHeader(const std::uint8_t* data, std::size_t size)
{
    for (std::size_t at = 0; at + kHeaderSize <= size; at += kHeaderAlignment)
        if (ReadU32(data + at) == kArchiveMagic)
            return at;
    return size;
}

// Changes one field of entry (random) of the table of entries at offset, as much of it as the
// data holds, decrypted with the hash of keyName and encrypted again.
void MutateTable(std::uint8_t* data, std::size_t size, std::size_t offset, std::uint32_t entries,
                 const char* keyName, Random& random)
{
    if (offset >= size || entries == 0)
        return;
    const std::size_t whole = std::min<std::size_t>(entries, (size - offset) / kTableEntrySize);
    if (whole == 0)
        return;
    const std::uint32_t key = HashName(keyName, HashType::Key);
    std::uint8_t* table = data + offset;
    DecryptBytes(table, whole * kTableEntrySize, key);
    std::uint8_t* field = table + (random() % whole) * kTableEntrySize + (random() % 4) * 4;
    PutWord(field, MutateValue(ReadU32(field), size, random));
    EncryptBytes(table, whole * kTableEntrySize, key);
}

} // namespace

std::size_t MutateArchive(std::uint8_t* data, std::size_t size, std::size_t maxSize, unsigned int seed,
                          ByteMutator fallback)
{
    Random random(seed);
    const std::size_t header = FindHeader(data, size);
    if (random() % 2 == 0 || header == size)
        return fallback(data, size, maxSize);
    std::uint8_t* fields = data + header;
    switch (random() % 3) {
    case 0: { // a header field after the magic
        std::uint8_t* field = fields + 4 * (1 + random() % 7);
        PutWord(field, MutateValue(ReadU32(field), size, random));
        break;
    }
    case 1:
        MutateTable(data, size, header + ReadU32(fields + 16), ReadU32(fields + 24), "(hash table)", random);
        break;
    default:
        MutateTable(data, size, header + ReadU32(fields + 20), ReadU32(fields + 28), "(block table)", random);
        break;
    }
    return size;
}
