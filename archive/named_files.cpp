#include "named_files.h"

#include "mpq_crypt.h"

namespace {

std::size_t PatchBitBytes(std::size_t blocks)
{
    return (blocks + 7) / 8;
}

// True when the hash table cannot tell a from b.
bool SameName(const std::string& a, const std::string& b)
{
    return HashName(a, HashType::NameA) == HashName(b, HashType::NameA) &&
           HashName(a, HashType::NameB) == HashName(b, HashType::NameB);
}

bool IsOwnFileName(const std::string& name)
{
    return SameName(name, kListfileName) || SameName(name, kAttributesName) || SameName(name, kSignatureName);
}

// True when block may be taken for a or for b alike.
bool NamesAgree(const std::string& a, const std::string& b, const BlockEntry& block)
{
    if (SameName(a, b))
        return true;
    if (IsOwnFileName(a) || IsOwnFileName(b))
        return false;
    return !(block.flags & kFileEncrypted) || FileKey(a, block.flags, block.offset, block.realSize) ==
                                                   FileKey(b, block.flags, block.offset, block.realSize);
}

} // namespace

std::vector<std::string> SplitListfile(const std::string& content)
{
    std::vector<std::string> names;
    std::string name;
    for (char c : content) {
        if (c == ';' || c == '\r' || c == '\n') {
            if (!name.empty())
                names.push_back(name);
            name.clear();
        } else {
            name += c;
        }
    }
    if (!name.empty())
        names.push_back(name);
    return names;
}

std::vector<std::size_t> FindSlots(const Archive& archive, const std::string& name)
{
    std::vector<std::size_t> slots;
    const std::size_t count = archive.hashes.size();
    const std::uint32_t nameA = HashName(name, HashType::NameA);
    const std::uint32_t nameB = HashName(name, HashType::NameB);
    const std::size_t home = HashName(name, HashType::Slot) & (count - 1);
    for (std::size_t step = 0; step < count; ++step) {
        const HashEntry& entry = archive.hashes[(home + step) & (count - 1)];
        if (entry.block == kSlotEmpty)
            break;
        if (entry.block != kSlotDeleted && entry.nameA == nameA && entry.nameB == nameB)
            slots.push_back((home + step) & (count - 1));
    }
    return slots;
}

std::vector<std::string> NameBlocks(const Archive& archive, const std::vector<std::string>& names)
{
    std::vector<std::string> blockNames(archive.blocks.size());
    for (const std::string& name : names) {
        for (std::size_t slot : FindSlots(archive, name)) {
            const std::uint32_t block = archive.hashes[slot].block;
            if (block < blockNames.size())
                blockNames[block] = name;
        }
    }
    return blockNames;
}

std::size_t FindAmbiguousBlock(const Archive& archive, const std::vector<std::string>& names)
{
    // Agreeing with the first name a block is reached by is agreeing with every other.
    std::vector<const std::string*> first(archive.blocks.size(), nullptr);
    for (const std::string& name : names) {
        for (std::size_t slot : FindSlots(archive, name)) {
            const std::uint32_t block = archive.hashes[slot].block;
            if (block >= first.size())
                continue;
            if (first[block] == nullptr)
                first[block] = &name;
            else if (!NamesAgree(*first[block], name, archive.blocks[block]))
                return block;
        }
    }
    return archive.blocks.size();
}

bool HasModelName(const std::string& name)
{
    if (name.size() < 4)
        return false;
    std::string extension = name.substr(name.size() - 4);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return extension == ".mdx";
}

bool ParseAttributes(const std::string& content, std::size_t blocks, Attributes& attributes)
{
    if (content.size() < 8)
        return false;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(content.data());
    attributes.version = ReadU32(bytes);
    attributes.flags = ReadU32(bytes + 4);
    if (attributes.flags & ~(kAttributeCrc32 | kAttributeFileTime | kAttributeMd5 | kAttributePatchBit))
        return false;
    std::size_t at = 8;
    // Each array in turn, when its flag is set: its bytes must be there.
    const auto take = [&](std::uint32_t flag, std::size_t size, std::string& array) {
        if (!(attributes.flags & flag))
            return true;
        if (size > content.size() - at)
            return false;
        array = content.substr(at, size);
        at += size;
        return true;
    };
    return take(kAttributeCrc32, blocks * 4, attributes.crc32) &&
           take(kAttributeFileTime, blocks * 8, attributes.fileTimes) &&
           take(kAttributeMd5, blocks * 16, attributes.md5) &&
           take(kAttributePatchBit, PatchBitBytes(blocks), attributes.patchBits) && at == content.size();
}

std::string WriteAttributes(const Attributes& attributes)
{
    std::string content;
    AppendU32(content, attributes.version);
    AppendU32(content, attributes.flags);
    if (attributes.flags & kAttributeCrc32)
        content += attributes.crc32;
    if (attributes.flags & kAttributeFileTime)
        content += attributes.fileTimes;
    if (attributes.flags & kAttributeMd5)
        content += attributes.md5;
    if (attributes.flags & kAttributePatchBit)
        content += attributes.patchBits;
    return content;
}
