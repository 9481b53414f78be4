#pragma once

// The archive fuzz target's mutator: the archive's tables are encrypted, so a byte changed there
// by chance gives a table of noise. Half the mutations therefore change one field of the header or
// of a decrypted table entry (an offset, a size, a count, flags, a block index) and encrypt the
// table again; the other half are libFuzzer's own.

#include <cstddef>
#include <cstdint>

using ByteMutator = std::size_t (*)(std::uint8_t* data, std::size_t size, std::size_t maxSize);

// Mutates data[0, size) in place within maxSize bytes, as drawn from seed; returns the new size.
std::size_t MutateArchive(std::uint8_t* data, std::size_t size, std::size_t maxSize, unsigned int seed,
                          ByteMutator fallback);
