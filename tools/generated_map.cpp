#include "generated_map.h"

#include "mpq_crypt.h"
#include "mpq_format.h"
#include "mpq_pack.h"
#include "named_files.h"

#include <zlib.h>

#include <cstdio>
#include <vector>

namespace {

constexpr std::uint32_t kSectorShift = 3; // 4096-byte sectors, as maps have them
constexpr std::uint32_t kPackedFlags = kFileExists | kFileCompressed;

// The smallest power of two with room for twice count entries: probes stay short.
std::uint32_t HashTableSize(std::size_t count)
{
    std::uint32_t size = 16;
    while (size < 2 * count)
        size *= 2;
    return size;
}

// Puts name in its first free slot from its home slot on.
void PlaceName(std::vector<HashEntry>& hashes, const std::string& name, std::uint32_t block)
{
    const std::size_t mask = hashes.size() - 1;
    std::size_t slot = HashName(name, HashType::Slot) & mask;
    while (hashes[slot].block != kSlotEmpty)
        slot = (slot + 1) & mask;
    hashes[slot] = HashEntry{HashName(name, HashType::NameA), HashName(name, HashType::NameB), 0, 0, block};
}

// Packs content into the archive as the next block.
bool WriteFile(std::FILE* out, std::uint64_t& at, const std::string& content, std::vector<BlockEntry>& blocks)
{
    const PackedFile packed = PackFile(content, kPackedFlags, 512u << kSectorShift);
    blocks.push_back(BlockEntry{static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(packed.bytes.size()),
                                static_cast<std::uint32_t>(content.size()), packed.flags});
    at += packed.bytes.size();
    return std::fwrite(packed.bytes.data(), 1, packed.bytes.size(), out) == packed.bytes.size();
}

// A table's entries as bytes, encrypted with the hash of keyName.
std::string TableBytes(const std::vector<std::uint32_t>& words, const char* keyName)
{
    std::string bytes;
    for (std::uint32_t word : words)
        AppendU32(bytes, word);
    EncryptBytes(reinterpret_cast<unsigned char*>(&bytes[0]), bytes.size(), HashName(keyName, HashType::Key));
    return bytes;
}

} // namespace

std::string WriteGeneratedMap(const std::filesystem::path& path, std::size_t count,
                              const std::function<GeneratedFile(std::size_t)>& file)
{
    std::FILE* out = std::fopen(path.string().c_str(), "wb");
    if (out == nullptr)
        return "cannot create " + path.string();
    std::string mapHeader = "HM3W" + std::string(4, '\0') + "Duridodi Benchmark Map" + std::string(1, '\0');
    mapHeader.resize(512, '\0');
    bool ok = std::fwrite(mapHeader.data(), 1, mapHeader.size(), out) == mapHeader.size() &&
              std::fwrite(std::string(kHeaderSize, '\0').data(), 1, kHeaderSize, out) == kHeaderSize;

    std::uint64_t at = kHeaderSize; // from the archive header
    std::vector<BlockEntry> blocks;
    const HashEntry empty{kSlotEmpty, kSlotEmpty, 0xFFFF, 0xFFFF, kSlotEmpty};
    std::vector<HashEntry> hashes(HashTableSize(count + 2), empty);
    std::string listfile;
    Attributes attributes;
    attributes.version = 100;
    attributes.flags = kAttributeCrc32;
    for (std::size_t i = 0; i < count && ok; ++i) {
        const GeneratedFile generated = file(i);
        PlaceName(hashes, generated.name, static_cast<std::uint32_t>(blocks.size()));
        listfile += generated.name + "\r\n";
        AppendU32(attributes.crc32, static_cast<std::uint32_t>(crc32(
                                        0, reinterpret_cast<const Bytef*>(generated.content.data()),
                                        static_cast<uInt>(generated.content.size()))));
        ok = WriteFile(out, at, generated.content, blocks);
    }
    PlaceName(hashes, kListfileName, static_cast<std::uint32_t>(blocks.size()));
    AppendU32(attributes.crc32, 0); // the listfile's own entry: not checked
    ok = ok && WriteFile(out, at, listfile, blocks);
    PlaceName(hashes, kAttributesName, static_cast<std::uint32_t>(blocks.size()));
    AppendU32(attributes.crc32, 0); // its own entry
    ok = ok && WriteFile(out, at, WriteAttributes(attributes), blocks);

    std::vector<std::uint32_t> words;
    for (const HashEntry& hash : hashes) {
        const std::uint32_t localeAndPlatform = hash.locale | static_cast<std::uint32_t>(hash.platform) << 16;
        words.insert(words.end(), {hash.nameA, hash.nameB, localeAndPlatform, hash.block});
    }
    const std::string hashTable = TableBytes(words, "(hash table)");
    words.clear();
    for (const BlockEntry& block : blocks)
        words.insert(words.end(), {block.offset, block.storedSize, block.realSize, block.flags});
    const std::string blockTable = TableBytes(words, "(block table)");
    const std::uint64_t hashTableAt = at;
    const std::uint64_t blockTableAt = at + hashTable.size();
    const std::uint64_t archiveSize = blockTableAt + blockTable.size();
    ok = ok && archiveSize <= 0xFFFFFFFF &&
         std::fwrite(hashTable.data(), 1, hashTable.size(), out) == hashTable.size() &&
         std::fwrite(blockTable.data(), 1, blockTable.size(), out) == blockTable.size();

    std::string header;
    for (std::uint32_t word : {kArchiveMagic, kHeaderSize, static_cast<std::uint32_t>(archiveSize), kSectorShift << 16,
                               static_cast<std::uint32_t>(hashTableAt), static_cast<std::uint32_t>(blockTableAt),
                               static_cast<std::uint32_t>(hashes.size()), static_cast<std::uint32_t>(blocks.size())})
        AppendU32(header, word);
    ok = ok && std::fseek(out, static_cast<long>(mapHeader.size()), SEEK_SET) == 0 &&
         std::fwrite(header.data(), 1, header.size(), out) == header.size();
    if (std::fclose(out) != 0 || !ok)
        return "cannot write " + path.string();
    return "";
}
