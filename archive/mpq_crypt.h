#pragma once

// The archive's name hash and its cipher. Names are hashed, never stored, in the hash table; the
// tables and some files are encrypted with a key that is itself a hash of a name.

#include <cstddef>
#include <cstdint>
#include <string>

// What a name hash is for: the home slot, the two check values, or a cipher key.
enum class HashType : std::uint32_t { Slot = 0, NameA = 1, NameB = 2, Key = 3 };

// The hash of name, its letters taken upper-case and '/' as '\'.
std::uint32_t HashName(const std::string& name, HashType type);

// The position of a cipher walk: a run cut into pieces of whole words continues where it ended.
struct CipherState {
    std::uint32_t key;
    std::uint32_t seed = 0xEEEEEEEE;
};

// Encrypts or decrypts the whole 32-bit words of bytes[0, size) in place, little-endian, and
// moves state past them; a tail of fewer than 4 bytes is left as it is.
void EncryptWords(unsigned char* bytes, std::size_t size, CipherState& state);
void DecryptWords(unsigned char* bytes, std::size_t size, CipherState& state);

// The same for a run that starts with key.
void EncryptBytes(unsigned char* bytes, std::size_t size, std::uint32_t key);
void DecryptBytes(unsigned char* bytes, std::size_t size, std::uint32_t key);

// The key of a file: the hash of its name without the folder; with the fixed-key flag, moved by
// the block's offset (from the archive header) and its real size.
std::uint32_t FileKey(const std::string& name, std::uint32_t flags, std::uint32_t offset, std::uint32_t realSize);
