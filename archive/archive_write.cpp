#include "archive_write.h"

#include "model_reduce.h"
#include "mpq_crypt.h"
#include "named_files.h"
#include "value_reduction.h"

namespace {

// Offsets in a version 0 archive are 32-bit.
constexpr std::uint64_t kMaxArchiveSize = 0xFFFFFFFFull;
constexpr std::uint32_t kNoModel = 0xFFFFFFFF;

// The state of one pass: the new block table as it is laid out.
struct Pass {
    std::FILE* input;
    const Archive& archive;
    const std::vector<std::string>& names;
    std::vector<BlockRole> roles;   // the plan's, with an (attributes) that cannot be kept dropped
    ArchiveOutput& output;
    ReadError& error;
    std::vector<BlockEntry> blocks; // the new block table
    bool failed = false;
};

// The offset from the header where the next block starts, or false when the archive would pass
// what its 32-bit offsets reach.
bool NextOffset(Pass& pass, std::uint32_t& offset)
{
    const std::uint64_t at = pass.output.written - pass.archive.headerOffset;
    if (at > kMaxArchiveSize)
        return Fail(pass.error, ArchiveFailure::CannotWrite, "the new archive would pass 4 GiB");
    offset = static_cast<std::uint32_t>(at);
    return true;
}

// The key of block under name when it lies at offset; 0 for a block that is not encrypted.
std::uint32_t KeyAt(const Pass& pass, std::size_t index, std::uint32_t flags, std::uint32_t offset,
                    std::uint32_t realSize)
{
    if (!(flags & kFileEncrypted))
        return 0;
    return FileKey(pass.names[index], flags, offset, realSize);
}

// Moves block index unchanged to the end of the output.
bool MoveBlock(Pass& pass, std::size_t index)
{
    const BlockEntry& old = pass.archive.blocks[index];
    BlockEntry& moved = pass.blocks[index];
    moved = old;
    if (!NextOffset(pass, moved.offset))
        return false;
    // An encrypted block without a name keeps its key only when the key does not depend on the offset;
    // such blocks are refused before the pass.
    const std::uint32_t oldKey = KeyAt(pass, index, old.flags, old.offset, old.realSize);
    const std::uint32_t newKey = KeyAt(pass, index, old.flags, moved.offset, old.realSize);
    return MoveFileData(pass.input, pass.archive, old, oldKey, newKey, pass.output, pass.error);
}

// Writes packed content as block index at the end of the output, encrypted for its new offset.
bool WritePacked(Pass& pass, std::size_t index, PackedFile& packed, std::uint32_t realSize)
{
    BlockEntry& entry = pass.blocks[index];
    if (!NextOffset(pass, entry.offset))
        return false;
    entry.storedSize = static_cast<std::uint32_t>(packed.bytes.size());
    entry.realSize = realSize;
    entry.flags = packed.flags;
    EncryptPacked(packed.bytes, packed.flags, realSize, pass.archive.sectorSize,
                  KeyAt(pass, index, packed.flags, entry.offset, realSize));
    if (!WriteBytes(pass.output, packed.bytes.data(), packed.bytes.size()))
        return Fail(pass.error, ArchiveFailure::CannotWrite, "cannot write the output");
    return true;
}

// The (attributes) of block index with the reduced models' CRC32 values; the MD5 array is dropped
// when a model changed, since no MD5 is computed here. Returns false when it cannot be read or
// kept true: the caller drops it then.
bool UpdateAttributes(Pass& pass, std::size_t index, const std::vector<ReducedModel>& models,
                      ArchiveReport& report, std::string& content)
{
    const BlockEntry& block = pass.archive.blocks[index];
    ReadError ignored;
    Attributes attributes;
    if (!ReadFileContent(pass.input, pass.archive, block, KeyAt(pass, index, block.flags, block.offset, block.realSize),
                         content, ignored) ||
        !ParseAttributes(content, pass.archive.blocks.size(), attributes))
        return false;
    bool changed = false;
    for (const ReducedModel& model : models) {
        if (!model.model.reduced)
            continue;
        changed = true;
        if (attributes.flags & kAttributeCrc32)
            for (int byte = 0; byte < 4; ++byte)
                attributes.crc32[model.model.block * 4 + byte] = static_cast<char>(model.crc32 >> (8 * byte));
    }
    if (changed && (attributes.flags & kAttributeMd5)) {
        attributes.flags &= ~kAttributeMd5;
        attributes.md5.clear();
        report.attributesMd5Dropped = true;
    }
    content = WriteAttributes(attributes);
    return true;
}

// Writes the block table or the hash table, encrypted with the hash of keyName.
bool WriteTable(Pass& pass, std::string& bytes, const char* keyName, std::uint32_t& offset)
{
    if (!NextOffset(pass, offset))
        return false;
    EncryptBytes(reinterpret_cast<unsigned char*>(&bytes[0]), bytes.size(), HashName(keyName, HashType::Key));
    if (!WriteBytes(pass.output, bytes.data(), bytes.size()))
        return Fail(pass.error, ArchiveFailure::CannotWrite, "cannot write the output");
    return true;
}

// The hash table as it was, with the slots of dropped blocks deleted, and the new block table.
bool WriteTables(Pass& pass, ArchiveHeader& header)
{
    std::string hashes;
    for (HashEntry entry : pass.archive.hashes) {
        if (entry.block < pass.roles.size() && pass.roles[entry.block] == BlockRole::Drop)
            entry.block = kSlotDeleted;
        AppendU32(hashes, entry.nameA);
        AppendU32(hashes, entry.nameB);
        AppendU32(hashes, static_cast<std::uint32_t>(entry.locale) | static_cast<std::uint32_t>(entry.platform) << 16);
        AppendU32(hashes, entry.block);
    }
    std::string blocks;
    for (const BlockEntry& entry : pass.blocks) {
        AppendU32(blocks, entry.offset);
        AppendU32(blocks, entry.storedSize);
        AppendU32(blocks, entry.realSize);
        AppendU32(blocks, entry.flags);
    }
    return (hashes.empty() || WriteTable(pass, hashes, "(hash table)", header.hashTableOffset)) &&
           (blocks.empty() ? NextOffset(pass, header.blockTableOffset)
                           : WriteTable(pass, blocks, "(block table)", header.blockTableOffset));
}

// The 32-bit header of the new archive.
std::string HeaderBytes(const ArchiveHeader& header)
{
    std::string bytes;
    AppendU32(bytes, kArchiveMagic);
    AppendU32(bytes, kHeaderSize);
    AppendU32(bytes, header.archiveSize);
    AppendU32(bytes, header.formatVersion | static_cast<std::uint32_t>(header.sectorShift) << 16);
    AppendU32(bytes, header.hashTableOffset);
    AppendU32(bytes, header.blockTableOffset);
    AppendU32(bytes, header.hashEntries);
    AppendU32(bytes, header.blockEntries);
    return bytes;
}

// Writes the header in its place at the start of the archive, over the one left empty there, and
// leaves the file at its end.
bool PlaceHeader(Pass& pass, const ArchiveHeader& header)
{
    if (pass.output.file == nullptr)
        return true;
    const std::string bytes = HeaderBytes(header);
    if (!SeekTo(pass.output.file, pass.archive.headerOffset) ||
        std::fwrite(bytes.data(), 1, bytes.size(), pass.output.file) != bytes.size() ||
        !SeekTo(pass.output.file, pass.output.written) || std::fflush(pass.output.file) != 0)
        return Fail(pass.error, ArchiveFailure::CannotWrite, "cannot write the output");
    return true;
}

// Writes block index in its turn: a model as reduced (or moved when kept), another file moved.
bool WriteBlock(Pass& pass, std::size_t index, ReducedModel* model)
{
    switch (pass.roles[index]) {
    case BlockRole::Move:
        return MoveBlock(pass, index);
    case BlockRole::Model:
        if (model->model.reduced) {
            const bool written = WritePacked(pass, index, model->packed, pass.archive.blocks[index].realSize);
            // Let go of the packed copy now (a moved-in empty string would keep its memory).
            std::string().swap(model->packed.bytes);
            return written;
        }
        return MoveBlock(pass, index);
    default:
        return true; // Empty and Drop write nothing; (attributes) comes last
    }
}

} // namespace

bool WriteArchive(std::FILE* input, const std::function<std::FILE*()>& openInput, const Archive& archive,
                  const ArchivePlan& plan, const ArchiveOptions& options, ArchiveOutput& output,
                  ArchiveReport& report, ReadError& error)
{
    Pass pass{input, archive, plan.names, plan.roles, output, error,
              std::vector<BlockEntry>(archive.blocks.size(), BlockEntry{0, 0, 0, 0})};
    if (!CopyFileRange(input, 0, archive.headerOffset, output, error))
        return false;
    ArchiveHeader header = archive.header;
    const std::string placeholder(kHeaderSize, '\0');
    if (!WriteBytes(output, placeholder.data(), placeholder.size()))
        return Fail(error, ArchiveFailure::CannotWrite, "cannot write the output");

    // One result per model, found from its block by slot (kNoModel for other blocks).
    std::vector<ReducedModel> models;
    std::vector<std::uint32_t> slot(archive.blocks.size(), kNoModel);
    for (std::size_t i = 0; i < archive.blocks.size(); ++i) {
        if (plan.roles[i] != BlockRole::Model)
            continue;
        slot[i] = static_cast<std::uint32_t>(models.size());
        models.emplace_back();
        models.back().model.name = plan.names[i].empty() ? "#block " + std::to_string(i) : plan.names[i];
    }
    const auto convert = [&](std::size_t i) {
        if (slot[i] == kNoModel)
            return;
        // Each model is read through a file of its own, so that workers need not share one.
        std::FILE* file = openInput();
        const BlockEntry& block = archive.blocks[i];
        ReduceArchiveModel(file, archive, static_cast<std::uint32_t>(i),
                           KeyAt(pass, i, block.flags, block.offset, block.realSize), options.settings,
                           models[slot[i]]);
        if (file != nullptr)
            std::fclose(file);
    };
    const auto take = [&](std::size_t i) {
        if (!pass.failed && !WriteBlock(pass, i, slot[i] == kNoModel ? nullptr : &models[slot[i]]))
            pass.failed = true;
    };
    // An observer sees the models one at a time, on the calling thread.
    const bool inOrder = !options.runner || options.settings.observe != nullptr;
    if (inOrder) {
        for (std::size_t i = 0; i < archive.blocks.size(); ++i) {
            convert(i);
            take(i);
        }
    } else {
        options.runner(archive.blocks.size(), options.workers, convert, take);
    }
    if (pass.failed)
        return false;
    for (const ReducedModel& model : models)
        report.models.push_back(model.model);

    for (std::size_t i = 0; i < archive.blocks.size(); ++i) {
        if (pass.roles[i] != BlockRole::Attributes)
            continue;
        std::string content;
        if (CountReducedModels(report) == 0) {
            if (!MoveBlock(pass, i))
                return false;
        } else if (UpdateAttributes(pass, i, models, report, content)) {
            PackedFile packed = PackFile(content, archive.blocks[i].flags, archive.sectorSize);
            if (!WritePacked(pass, i, packed, static_cast<std::uint32_t>(content.size())))
                return false;
        } else {
            report.attributesDropped = true;
            pass.roles[i] = BlockRole::Drop;
        }
    }
    if (!WriteTables(pass, header))
        return false;
    const std::uint64_t archiveSize = output.written - archive.headerOffset;
    if (archiveSize > kMaxArchiveSize)
        return Fail(error, ArchiveFailure::CannotWrite, "the new archive would pass 4 GiB");
    header.archiveSize = static_cast<std::uint32_t>(archiveSize);
    return PlaceHeader(pass, header);
}
