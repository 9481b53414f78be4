#include "mpq_crypt.h"

#include "mpq_format.h"

namespace {

constexpr std::size_t kCryptTableSize = 0x500;

struct CryptTable {
    std::uint32_t words[kCryptTableSize];
};

// 0x500 words from the seed 0x00100001: for each of 256 entries, five words 256 apart, each made
// of two 16-bit halves of the seed's next two steps.
CryptTable MakeCryptTable()
{
    CryptTable table = {};
    std::uint32_t seed = 0x00100001;
    for (std::size_t i = 0; i < 256; ++i) {
        for (std::size_t j = 0; j < 5; ++j) {
            seed = (seed * 125 + 3) % 0x2AAAAB;
            const std::uint32_t high = (seed & 0xFFFF) << 16;
            seed = (seed * 125 + 3) % 0x2AAAAB;
            table.words[i + 256 * j] = high | (seed & 0xFFFF);
        }
    }
    return table;
}

const CryptTable& Table()
{
    static const CryptTable table = MakeCryptTable();
    return table;
}

// The key after a word.
std::uint32_t NextKey(std::uint32_t key)
{
    return ((~key << 21) + 0x11111111) | (key >> 11);
}

void PutWord(unsigned char* bytes, std::uint32_t value)
{
    bytes[0] = static_cast<unsigned char>(value);
    bytes[1] = static_cast<unsigned char>(value >> 8);
    bytes[2] = static_cast<unsigned char>(value >> 16);
    bytes[3] = static_cast<unsigned char>(value >> 24);
}

} // namespace

std::uint32_t HashName(const std::string& name, HashType type)
{
    const CryptTable& table = Table();
    std::uint32_t s1 = 0x7FED7FED;
    std::uint32_t s2 = 0xEEEEEEEE;
    const std::uint32_t base = static_cast<std::uint32_t>(type) * 256;
    for (char letter : name) {
        std::uint32_t c = static_cast<unsigned char>(letter);
        if (c >= 'a' && c <= 'z')
            c -= 'a' - 'A';
        if (c == '/')
            c = '\\';
        s1 = table.words[base + c] ^ (s1 + s2);
        s2 = c + s1 + s2 + (s2 << 5) + 3;
    }
    return s1;
}

void EncryptWords(unsigned char* bytes, std::size_t size, CipherState& state)
{
    const CryptTable& table = Table();
    for (std::size_t at = 0; at + 4 <= size; at += 4) {
        state.seed += table.words[0x400 + (state.key & 0xFF)];
        const std::uint32_t plain = ReadU32(bytes + at);
        PutWord(bytes + at, plain ^ (state.key + state.seed));
        state.key = NextKey(state.key);
        state.seed = plain + state.seed + (state.seed << 5) + 3;
    }
}

void DecryptWords(unsigned char* bytes, std::size_t size, CipherState& state)
{
    const CryptTable& table = Table();
    for (std::size_t at = 0; at + 4 <= size; at += 4) {
        state.seed += table.words[0x400 + (state.key & 0xFF)];
        const std::uint32_t plain = ReadU32(bytes + at) ^ (state.key + state.seed);
        PutWord(bytes + at, plain);
        state.key = NextKey(state.key);
        state.seed = plain + state.seed + (state.seed << 5) + 3;
    }
}

void EncryptBytes(unsigned char* bytes, std::size_t size, std::uint32_t key)
{
    CipherState state{key};
    EncryptWords(bytes, size, state);
}

void DecryptBytes(unsigned char* bytes, std::size_t size, std::uint32_t key)
{
    CipherState state{key};
    DecryptWords(bytes, size, state);
}

std::uint32_t FileKey(const std::string& name, std::uint32_t flags, std::uint32_t offset, std::uint32_t realSize)
{
    const std::size_t folderEnd = name.find_last_of("\\/");
    std::uint32_t key = HashName(folderEnd == std::string::npos ? name : name.substr(folderEnd + 1), HashType::Key);
    if (flags & kFileFixedKey)
        key = (key + offset) ^ realSize;
    return key;
}
