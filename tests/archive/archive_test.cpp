// Maps converted by the archive library and read back by StormLib: every file there with its name,
// locale and size, every non-model file as it was, every model exactly its loose conversion, and
// every checksum true; kept models unchanged and reported; broken archives refused, nothing written.

#include "archive_convert.h"
#include "mpq_crypt.h"
#include "mpq_read.h"
#include "scratch_folder.h"
#include "named_files.h"
#include "storm_maps.h"
#include "test_support.h"
#include "value_reduction.h"

#include <StormLib.h>

#include <gtest/gtest.h>

#include <map>

namespace {

namespace fs = std::filesystem;

// A map's 512-byte header: magic, 4 unknown bytes, the name, flags and players, zero-padded.
std::string MapHeader()
{
    std::string header = "HM3W" + std::string(4, '\0') + "Duridodi Test Map" + std::string(1, '\0') + "\x01\x02\x03";
    header.resize(512, '\0');
    return header;
}

// Bytes that look like data and compress somewhat.
std::string OtherContent(std::uint32_t seed, std::size_t size)
{
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes += static_cast<char>("duridodi map data "[(seed >> 16) % 18] ^ ((seed >> 28) & 1));
    }
    return bytes;
}

constexpr std::uint32_t kZlib = MPQ_COMPRESSION_ZLIB;
constexpr std::uint32_t kCompressed = MPQ_FILE_COMPRESS | MPQ_FILE_SECTOR_CRC;

// A map like the editor's: a map header in front, a listfile, attributes with CRC32, MD5 and
// file times, a weak and a strong signature, and every kind of file: sectored with checksums,
// encrypted, with a fixed key, stored, two locales of one name, a deleted slot and collision chains.
// Three models, one of many sectors. (Single units are in the next test: Debian's StormLib 9.22
// cannot read a single unit of an archive behind a map header, not even one it wrote itself.)
StormMapPlan LifelikePlan()
{
    StormMapPlan plan;
    plan.hashTableSize = 16;
    plan.attributeFlags = MPQ_ATTRIBUTE_CRC32 | MPQ_ATTRIBUTE_FILETIME | MPQ_ATTRIBUTE_MD5;
    plan.files = {
        {"war3map.j", OtherContent(1, 9000), kCompressed, kZlib},
        {"units\\Footman.mdx", WriteModel(FullModelPlan(800)).bytes, kCompressed, kZlib},
        {"war3map.w3e", OtherContent(2, 5000), MPQ_FILE_COMPRESS | MPQ_FILE_ENCRYPTED, kZlib},
        {"Doodads\\Tree.MDX", WriteModel(RandomModelPlan(3, 1000), 3).bytes,
         MPQ_FILE_COMPRESS | MPQ_FILE_ENCRYPTED | MPQ_FILE_FIX_KEY | MPQ_FILE_SECTOR_CRC, kZlib},
        {"scripts\\fixed.txt", OtherContent(3, 7000), MPQ_FILE_COMPRESS | MPQ_FILE_ENCRYPTED | MPQ_FILE_FIX_KEY, kZlib},
        {"stored.mdx", WriteModel(RandomModelPlan(6, 1100), 6).bytes, 0, 0},
        {"stored.bin", OtherContent(7, 4500), MPQ_FILE_ENCRYPTED | MPQ_FILE_FIX_KEY, 0},
        {"war3map.doo", OtherContent(8, 1000), kCompressed, kZlib, 0},
        {"war3map.doo", OtherContent(9, 1200), kCompressed, kZlib, 0x407},
        {"removed.txt", OtherContent(10, 800), kCompressed, kZlib},
        // Becomes the weak signature (see SignatureMap).
        {"sig.bin", std::string(72, '\0'), 0, 0},
    };
    plan.removed = {"removed.txt"};
    return plan;
}

// The StormLib archive of plan, behind a map header when asked, and a strong signature after it.
std::string MakeMap(const fs::path& scratch, const StormMapPlan& plan, bool mapHeader, bool strongSignature = false)
{
    const fs::path raw = scratch / "storm.mpq";
    const std::string problem = BuildStormMap(raw, plan);
    EXPECT_EQ(problem, "");
    std::string map = (mapHeader ? MapHeader() : std::string()) + ReadFile(raw);
    fs::remove(raw);
    if (strongSignature)
        map += "NGIS" + OtherContent(11, 256);
    return map;
}

// The archive at map[headerOffset...] with the file "sig.bin" renamed "(signature)" in the hash
// table: Debian's StormLib can neither sign (its math library is not set up) nor add a file of
// that name. Its old slot becomes a deleted slot.
std::string SignatureMap(std::string map, const fs::path& scratch)
{
    const fs::path path = scratch / "unsigned.w3x";
    EXPECT_TRUE(WriteFile(path, map));
    Archive archive;
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    ReadError error;
    EXPECT_TRUE(file != nullptr && ReadArchive(file, archive, error)) << error.reason;
    std::fclose(file);
    fs::remove(path);
    const std::vector<std::size_t> slots = FindSlots(archive, "sig.bin");
    EXPECT_EQ(slots.size(), 1u);
    HashEntry& old = archive.hashes[slots.at(0)];
    const std::uint32_t block = old.block;
    old.block = kSlotDeleted;
    const std::size_t mask = archive.hashes.size() - 1;
    std::size_t slot = HashName("(signature)", HashType::Slot) & mask;
    while (archive.hashes[slot].block != kSlotEmpty && archive.hashes[slot].block != kSlotDeleted)
        slot = (slot + 1) & mask;
    archive.hashes[slot] =
        HashEntry{HashName("(signature)", HashType::NameA), HashName("(signature)", HashType::NameB), 0, 0, block};
    std::string table;
    for (const HashEntry& entry : archive.hashes) {
        table += Int32Bytes(entry.nameA) + Int32Bytes(entry.nameB);
        table += Int32Bytes(entry.locale | static_cast<std::uint32_t>(entry.platform) << 16) + Int32Bytes(entry.block);
    }
    EncryptBytes(reinterpret_cast<unsigned char*>(&table[0]), table.size(), HashName("(hash table)", HashType::Key));
    map.replace(archive.headerOffset + archive.header.hashTableOffset, table.size(), table);
    return map;
}

bool IsModelName(const std::string& name)
{
    return HasModelName(name);
}

// The archive's tables as the library reads them.
Archive ReadTables(const fs::path& path)
{
    Archive archive;
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    ReadError error;
    EXPECT_TRUE(file != nullptr && ReadArchive(file, archive, error)) << error.reason;
    if (file != nullptr)
        std::fclose(file);
    return archive;
}

void CountValues(void* context, ReducedKind, const std::uint32_t*, const std::uint32_t*, std::size_t count)
{
    *static_cast<std::uint64_t*>(context) += count;
}

using ArchiveTest = ScratchFolder;

TEST_F(ArchiveTest, LifelikeMapKeepsEveryFileAndItsChecksumsWithTheModelsReducedAsLooseModels)
{
    const fs::path input = dir / "td.w3x";
    const fs::path output = dir / "td_dezavivi.w3x";
    ASSERT_TRUE(WriteFile(input, SignatureMap(MakeMap(dir, LifelikePlan(), true, true), dir)));
    std::vector<StormEntry> before;
    ASSERT_TRUE(ReadStormMap(input, before));

    ArchiveReport report;
    ASSERT_EQ(ConvertArchive(input, output, ArchiveOptions(), report), 1) << report.reason;
    EXPECT_EQ(CountReducedModels(report), 3u);
    EXPECT_EQ(CountKeptModels(report), 0u);
    EXPECT_TRUE(report.signatureDropped);
    EXPECT_TRUE(report.strongSignatureDropped);
    EXPECT_TRUE(report.attributesMd5Dropped);
    EXPECT_EQ(report.sizeBefore, fs::file_size(input));
    EXPECT_EQ(report.sizeAfter, fs::file_size(output));
    EXPECT_LT(report.sizeAfter, report.sizeBefore);
    RecordProperty("sizes", std::to_string(report.sizeBefore) + " -> " + std::to_string(report.sizeAfter));

    std::vector<StormEntry> after;
    ASSERT_TRUE(ReadStormMap(output, after));
    std::map<std::pair<std::string, std::uint16_t>, const StormEntry*> original;
    for (const StormEntry& entry : before) {
        // StormLib's own map is sound.
        EXPECT_TRUE(entry.read && !(entry.verify & VERIFY_FILE_ERROR_MASK)) << entry.name;
        if (entry.name != "(signature)") // dropped
            original[{entry.name, entry.locale}] = &entry;
    }
    ASSERT_EQ(after.size(), original.size());
    int models = 0;
    for (const StormEntry& entry : after) {
        SCOPED_TRACE(entry.name + " locale " + std::to_string(entry.locale));
        ASSERT_EQ(original.count({entry.name, entry.locale}), 1u);
        const StormEntry& was = *original[{entry.name, entry.locale}];
        EXPECT_TRUE(entry.read);
        EXPECT_EQ(entry.verify & VERIFY_FILE_ERROR_MASK, 0u);
        if (entry.name == "(attributes)")
            continue;
        EXPECT_EQ(entry.size, was.size);
        if (IsModelName(entry.name)) {
            ++models;
            // The checksums StormLib verified are there: a CRC32, and sector checksums where they were.
            EXPECT_TRUE(entry.verify & VERIFY_FILE_HAS_CHECKSUM);
            EXPECT_EQ(entry.verify & VERIFY_FILE_HAS_SECTOR_CRC, was.verify & VERIFY_FILE_HAS_SECTOR_CRC);
            const StreamResult loose = ConvertBytes(was.content);
            ASSERT_EQ(loose.converted, 1);
            EXPECT_EQ(FirstDifference(entry.content, loose.out), -1);
        } else {
            EXPECT_EQ(FirstDifference(entry.content, was.content), -1);
        }
    }
    EXPECT_EQ(models, 3);

    // The map header, and every hash slot but the dropped signature's, as they were.
    EXPECT_EQ(ReadFile(output).substr(0, 512), MapHeader());
    const Archive oldTables = ReadTables(input);
    const Archive newTables = ReadTables(output);
    ASSERT_EQ(newTables.hashes.size(), oldTables.hashes.size());
    const std::vector<std::size_t> signatureSlots = FindSlots(oldTables, "(signature)");
    ASSERT_EQ(signatureSlots.size(), 1u);
    int deleted = 0;
    int displaced = 0;
    for (std::size_t i = 0; i < oldTables.hashes.size(); ++i) {
        const HashEntry& was = oldTables.hashes[i];
        const HashEntry& is = newTables.hashes[i];
        deleted += was.block == 0xFFFFFFFE;
        EXPECT_EQ(is.block, i == signatureSlots[0] ? 0xFFFFFFFE : was.block) << "slot " << i;
        EXPECT_EQ(is.nameA, was.nameA);
        EXPECT_EQ(is.locale, was.locale);
    }
    for (const StormEntry& entry : before)
        for (std::size_t slot : FindSlots(oldTables, entry.name))
            displaced += slot != (HashName(entry.name, HashType::Slot) & (oldTables.hashes.size() - 1));
    EXPECT_GE(deleted, 1);   // the plan made a deleted slot
    EXPECT_GE(displaced, 1); // and a collision chain

    // A dry run reports the same and writes nothing; a runner that reduces the models out of
    // order (as workers may) writes the same bytes; an observer sees every reduced value.
    std::uint64_t observed = 0;
    ArchiveOptions observing;
    observing.settings.observe = CountValues;
    observing.settings.context = &observed;
    ArchiveReport dry;
    ASSERT_EQ(DryRunArchive(input, observing, dry), 1);
    EXPECT_EQ(dry.sizeAfter, report.sizeAfter);
    std::uint64_t floats = 0;
    for (const ArchiveModel& model : dry.models)
        floats += static_cast<std::uint64_t>(model.report.floatsReduced);
    EXPECT_GT(floats, 0u);
    EXPECT_EQ(observed, floats);
    EXPECT_EQ(Names(), (std::vector<std::string>{"td.w3x", "td_dezavivi.w3x"}));

    ArchiveOptions backwards;
    backwards.workers = 2;
    backwards.runner = [](std::size_t count, int, const std::function<void(std::size_t)>& convert,
                          const std::function<void(std::size_t)>& take) {
        for (std::size_t i = count; i-- > 0;)
            convert(i);
        for (std::size_t i = 0; i < count; ++i)
            take(i);
    };
    const fs::path again = dir / "again.w3x";
    ArchiveReport againReport;
    ASSERT_EQ(ConvertArchive(input, again, backwards, againReport), 1);
    EXPECT_EQ(FirstDifference(ReadFile(again), ReadFile(output)), -1);
}

TEST_F(ArchiveTest, ModelsTheCoreRefusesOrThatUseBzip2AreKeptAsTheyWereAndReported)
{
    StormMapPlan plan;
    plan.attributeFlags = MPQ_ATTRIBUTE_CRC32;
    plan.files = {
        {"textures\\bad.mdx", "BLP1" + OtherContent(12, 3000), kCompressed, kZlib},
        // Zeros after the last chunk are copied by the core, and make bzip2 worth its while.
        {"units\\bzip2.mdx", WriteModel(RandomModelPlan(13, 800), 13).bytes + std::string(8192, '\0'), kCompressed,
         MPQ_COMPRESSION_BZIP2},
        {"units\\good.mdx", WriteModel(FullModelPlan(1000)).bytes, kCompressed, kZlib},
        {"single.mdx", WriteModel(RandomModelPlan(4, 900), 4).bytes, MPQ_FILE_COMPRESS | MPQ_FILE_SINGLE_UNIT, kZlib},
        {"single.txt", OtherContent(5, 3000),
         MPQ_FILE_COMPRESS | MPQ_FILE_SINGLE_UNIT | MPQ_FILE_ENCRYPTED | MPQ_FILE_FIX_KEY, kZlib},
    };
    const fs::path input = dir / "kept.w3m";
    const fs::path output = dir / "kept_dezavivi.w3m";
    ASSERT_TRUE(WriteFile(input, MakeMap(dir, plan, false)));
    ArchiveReport report;
    ASSERT_EQ(ConvertArchive(input, output, ArchiveOptions(), report), 1) << report.reason;
    ASSERT_EQ(report.models.size(), 4u);
    EXPECT_EQ(report.models[0].name, "textures\\bad.mdx");
    EXPECT_FALSE(report.models[0].reduced);
    EXPECT_EQ(report.models[0].report.kind, FailureKind::NotAModel);
    EXPECT_NE(report.models[0].keptReason.find("not an MDX model"), std::string::npos);
    EXPECT_FALSE(report.models[1].reduced);
    EXPECT_NE(report.models[1].keptReason.find("bzip2"), std::string::npos) << report.models[1].keptReason;
    EXPECT_TRUE(report.models[2].reduced);
    EXPECT_TRUE(report.models[3].reduced);
    EXPECT_EQ(report.models[1].storedAfter, report.models[1].storedBefore);

    std::vector<StormEntry> before;
    std::vector<StormEntry> after;
    ASSERT_TRUE(ReadStormMap(input, before));
    ASSERT_TRUE(ReadStormMap(output, after));
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        SCOPED_TRACE(after[i].name);
        EXPECT_EQ(after[i].verify & VERIFY_FILE_ERROR_MASK, 0u);
        const bool reduced = after[i].name == "units\\good.mdx" || after[i].name == "single.mdx";
        if (after[i].name != "(attributes)") {
            const std::string expected = reduced ? ConvertBytes(before[i].content).out : before[i].content;
            EXPECT_EQ(FirstDifference(after[i].content, expected), -1);
        }
    }
}

TEST_F(ArchiveTest, WithoutAListfileModelsAreFoundByTheirContentAndNamedByTheirBlock)
{
    StormMapPlan plan;
    plan.listfile = false;
    const std::string model = WriteModel(RandomModelPlan(16, 800), 16).bytes;
    plan.files = {{"war3map.j", OtherContent(17, 5000), kCompressed, kZlib},
                  {"units\\hidden.mdx", model, kCompressed, kZlib},
                  {"units\\secret.mdx", model, MPQ_FILE_COMPRESS | MPQ_FILE_ENCRYPTED, kZlib}};
    const fs::path input = dir / "protected.w3x";
    const fs::path output = dir / "protected_dezavivi.w3x";
    ASSERT_TRUE(WriteFile(input, MakeMap(dir, plan, true)));
    ArchiveReport report;
    ASSERT_EQ(ConvertArchive(input, output, ArchiveOptions(), report), 1) << report.reason;
    // The encrypted model cannot be seen without its name: it is moved as it is.
    ASSERT_EQ(report.models.size(), 1u);
    EXPECT_EQ(report.models[0].name, "#block 1");
    EXPECT_TRUE(report.models[0].reduced);

    // StormLib finds files by name without a listfile too.
    HANDLE archive = nullptr;
    ASSERT_TRUE(SFileOpenArchive(output.c_str(), 0, MPQ_OPEN_READ_ONLY, &archive));
    for (const char* name : {"units\\hidden.mdx", "units\\secret.mdx", "war3map.j"}) {
        HANDLE file = nullptr;
        ASSERT_TRUE(SFileOpenFileEx(archive, name, SFILE_OPEN_FROM_MPQ, &file)) << name;
        std::string content(SFileGetFileSize(file, nullptr), '\0');
        DWORD got = 0;
        EXPECT_TRUE(SFileReadFile(file, &content[0], static_cast<DWORD>(content.size()), &got, nullptr));
        SFileCloseFile(file);
        const std::string expected = name == std::string("units\\hidden.mdx") ? ConvertBytes(model).out
                                     : name == std::string("units\\secret.mdx") ? model
                                                                                 : OtherContent(17, 5000);
        EXPECT_EQ(FirstDifference(content, expected), -1) << name;
    }
    SFileCloseArchive(archive);
}

// Bytes of a sound map with a 32-bit field of its archive header replaced.
std::string WithHeaderField(std::string map, std::size_t field, std::uint32_t value)
{
    PutFieldAt(map, 512 + field, static_cast<std::int32_t>(value));
    return map;
}

TEST_F(ArchiveTest, ArchivesThatCannotBeReadSoundlyAreRefusedWithTheirReasonAndNothingIsWritten)
{
    StormMapPlan plan;
    plan.files = {{"units\\a.mdx", WriteModel(RandomModelPlan(14, 800), 14).bytes, kCompressed, kZlib},
                  {"fixed.txt", OtherContent(15, 6000), MPQ_FILE_COMPRESS | MPQ_FILE_ENCRYPTED | MPQ_FILE_FIX_KEY,
                   kZlib}};
    const std::string map = MakeMap(dir, plan, true);
    StormMapPlan listless = plan;
    listless.listfile = false;

    struct Case {
        const char* name;
        std::string bytes;
        ArchiveFailure kind;
        const char* reason;
    };
    const Case cases[] = {
        {"no archive", WriteModel(FullModelPlan()).bytes, ArchiveFailure::NotAnArchive, "no MPQ archive header"},
        {"cut in its tables", map.substr(0, map.size() - 20), ArchiveFailure::Truncated, "past the end of the file"},
        {"cut in its header", map.substr(0, 512 + 20), ArchiveFailure::Truncated, "inside the archive header"},
        {"format version 1", WithHeaderField(map, 12, 1 | (3 << 16)), ArchiveFailure::Unsupported, "format version 1"},
        {"hash table of 3", WithHeaderField(map, 24, 3), ArchiveFailure::Malformed, "power of two"},
        {"block table past the end", WithHeaderField(map, 28, 0x10000000), ArchiveFailure::Truncated,
         "(block table) runs past"},
        {"fixed key without a name", MakeMap(dir, listless, true), ArchiveFailure::Unsupported, "does not name it"},
        {"huge sectors", WithHeaderField(map, 12, 40u << 16), ArchiveFailure::Malformed, "sector size shift"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path input = dir / "broken.w3x";
        const fs::path output = dir / "broken_dezavivi.w3x";
        ASSERT_TRUE(WriteFile(input, c.bytes));
        ASSERT_TRUE(WriteFile(output, "earlier"));
        ArchiveReport report;
        EXPECT_EQ(ConvertArchive(input, output, ArchiveOptions(), report), 0);
        EXPECT_EQ(report.kind, c.kind);
        EXPECT_NE(report.reason.find(c.reason), std::string::npos) << report.reason;
        EXPECT_EQ(ReadFile(output), "earlier");
        EXPECT_EQ(ReadFile(input), c.bytes);
        EXPECT_EQ(Names(), (std::vector<std::string>{"broken.w3x", "broken_dezavivi.w3x"}));
    }
}

} // namespace
