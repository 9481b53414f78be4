// The conversion driver: file framing, the end of the chunk list, refused input, the report, and
// the output file's fate on success and failure (temporary file, replacement).

#include "model_convert.h"

#include "model_tags.h"
#include "output_name.h"
#include "scratch_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <new>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Chunk(const char* tag, const std::string& body)
{
    return std::string(tag, 4) + Int32Bytes(static_cast<std::uint32_t>(body.size())) + body;
}

ChunkPlan OtherChunk(const char* tag, std::int32_t size)
{
    ChunkPlan chunk;
    chunk.tag = TagFromLetters(tag);
    chunk.size = size;
    return chunk;
}

} // namespace

// ---- Framing and the end of the chunk list

TEST(ConvertModelStream, MagicAloneGivesFourBytes)
{
    const StreamResult result = ConvertBytes("MDLX");
    EXPECT_EQ(result.converted, 1);
    EXPECT_EQ(result.out, "MDLX");
    EXPECT_EQ(result.report.converted, 1);
}

TEST(ConvertModelStream, OtherChunksAreCopiedByteForByte)
{
    ModelPlan description;
    description.writeVersion = false;
    for (const char* tag : {"MODL", "SEQS", "KGTR", "TEXS", "UVAS"})
        description.chunks.push_back(OtherChunk(tag, 0));
    description.chunks.push_back(OtherChunk("MTLS", 13));
    description.chunks.push_back(OtherChunk("PIVT", 96));
    const WrittenModel model = WriteModel(description, 3);
    const StreamResult result = ConvertBytes(model.bytes);
    EXPECT_EQ(result.converted, 1);
    EXPECT_TRUE(result.out == model.bytes);
    EXPECT_EQ(result.report.floatsReduced, 0);
}

// A zero tag where a tag belongs, or 1 to 3 stray bytes, end the chunk list: everything after
// them is copied unchanged, however long (here more than one block buffer), and even a bone chunk.
TEST(ConvertModelStream, ZeroTagOrStrayBytesEndTheChunkListAndTheRestIsCopied)
{
    const WrittenModel model = WriteModel(FullModelPlan(900), 5);
    std::string longTail = Int32Bytes(0) + WriteModel(FullModelPlan(800), 6).bytes.substr(4);
    for (std::size_t i = 0; longTail.size() < 3 * 512 * 1024 + 7; ++i)
        longTail += static_cast<char>(1 + i % 251);
    for (const std::string& tail : {longTail, std::string("\x01"), std::string("AB"), std::string("GEO")}) {
        const StreamResult result = ConvertBytes(model.bytes + tail);
        EXPECT_EQ(result.converted, 1) << tail.size() << " bytes after the chunks";
        EXPECT_EQ(result.out.size(), model.bytes.size() + tail.size());
        EXPECT_TRUE(result.out == ExpectedOutput(model) + tail) << tail.size() << " bytes after the chunks";
    }
}

TEST(ConvertModelStream, NegativeChunkSizeIsRefused)
{
    for (const char* tag : {"TEXS", "BONE", "HELP", "GEOS", "VERS"}) {
        const StreamResult result = ConvertBytes("MDLX" + std::string(tag) + Int32Bytes(0xFFFFFFFC) + "abcd");
        EXPECT_EQ(result.converted, 0) << tag;
        EXPECT_EQ(result.report.kind, FailureKind::Malformed) << tag;
        EXPECT_EQ(result.report.tag, TagFromLetters(tag));
    }
}

// ---- The report

TEST(ConversionReport, SuccessCountsReducedFloatsAndNamesTheVersion)
{
    const WrittenModel model = WriteModel(FullModelPlan(1000), 17);
    const StreamResult result = ConvertBytes(model.bytes);
    EXPECT_EQ(result.converted, 1);
    EXPECT_EQ(result.report.converted, 1);
    EXPECT_EQ(result.report.kind, FailureKind::None);
    EXPECT_EQ(result.report.reason, "");
    EXPECT_EQ(result.report.offset, -1);
    EXPECT_EQ(result.report.tag, 0);
    EXPECT_EQ(result.report.floatsReduced, static_cast<std::int64_t>(model.reduced.size()));
    EXPECT_EQ(result.report.version, 1000);
}

TEST(ConversionReport, ModelWithoutVersionChunkIsVersion800)
{
    ModelPlan description = FullModelPlan(800);
    description.writeVersion = false;
    const StreamResult result = ConvertBytes(WriteModel(description).bytes);
    EXPECT_EQ(result.converted, 1);
    EXPECT_EQ(result.report.version, 800);
}

TEST(ConversionReport, FailureNamesTheChunkAndWhereItWasFound)
{
    // "MDLX", a 12-byte "TEXS" chunk, then at offset 16 a geoset chunk whose size is negative.
    const StreamResult result = ConvertBytes("MDLX" + Chunk("TEXS", "0123") + "GEOS" + Int32Bytes(0xFFFFFFFF));
    EXPECT_EQ(result.converted, 0);
    EXPECT_EQ(result.report.converted, 0);
    EXPECT_EQ(result.report.kind, FailureKind::Malformed);
    EXPECT_EQ(DescribeFailure(result.report), "negative chunk size (chunk 'GEOS', offset 24)");
}

// A cut inside a bone: the input ends inside the bone chunk, found where the input ends.
TEST(ConversionReport, TruncatedNodeIsFoundInsideTheBoneChunk)
{
    const WrittenModel model = WriteModel(FullModelPlan(800), 19);
    const std::size_t bone = model.bytes.find("BONE");
    ASSERT_NE(bone, std::string::npos);
    const StreamResult result = ConvertBytes(model.bytes.substr(0, bone + 60));
    EXPECT_EQ(result.converted, 0);
    EXPECT_EQ(result.report.kind, FailureKind::Truncated);
    EXPECT_EQ(result.report.tag, TagFromLetters("BONE"));
    EXPECT_EQ(result.report.offset, static_cast<std::int64_t>(bone + 60));
}

TEST(ConversionReport, UnknownVersionWhoseGeosetsDoNotLineUpIsNamed)
{
    // Version 1200 walks with the later layout; geosets in the 800 layout do not line up.
    ModelPlan description = FullModelPlan(800);
    const WrittenModel classic = WriteModel(description, 23);
    std::string input = classic.bytes;
    ASSERT_EQ(input.substr(4, 8), "VERS" + Int32Bytes(4));
    input.replace(12, 4, Int32Bytes(1200));
    const StreamResult result = ConvertBytes(input);
    EXPECT_EQ(result.converted, 0);
    EXPECT_EQ(result.report.version, 1200);
    EXPECT_NE(result.report.reason.find("1200"), std::string::npos) << result.report.reason;
}

// ---- Files

using ConvertModelFiles = ScratchFolder;

TEST_F(ConvertModelFiles, ConvertsAndLeavesOnlyTheOutput)
{
    const WrittenModel model = WriteModel(FullModelPlan(800), 31);
    WriteFile(Path("tree.mdx"), model.bytes);
    ConversionReport report;
    EXPECT_EQ(ConvertModelWithReport(Path("tree.mdx").c_str(), Path("tree_dezavivi.mdx").c_str(), report), 1);
    EXPECT_TRUE(ReadFile(Path("tree_dezavivi.mdx")) == ExpectedOutput(model));
    EXPECT_EQ(Names(), (std::vector<std::string>{"tree.mdx", "tree_dezavivi.mdx"}));
    EXPECT_EQ(report.floatsReduced, static_cast<std::int64_t>(model.reduced.size()));
}

TEST_F(ConvertModelFiles, ConvertModelReturnsOneOrZero)
{
    WriteFile(Path("good.mdx"), WriteModel(FullModelPlan(800)).bytes);
    WriteFile(Path("bad.mdx"), "MDLXGEOS");
    EXPECT_EQ(ConvertModel(Path("good.mdx").c_str(), Path("good_out.mdx").c_str()), 1);
    EXPECT_EQ(ConvertModel(Path("bad.mdx").c_str(), Path("bad_out.mdx").c_str()), 0);
    EXPECT_EQ(Names(), (std::vector<std::string>{"bad.mdx", "good.mdx", "good_out.mdx"}));
}

TEST_F(ConvertModelFiles, MissingInputOrOutputDirectoryFails)
{
    WriteFile(Path("a.mdx"), WriteModel(FullModelPlan(800)).bytes);
    ConversionReport report;
    EXPECT_EQ(ConvertModelWithReport(Path("missing.mdx").c_str(), Path("out.mdx").c_str(), report), 0);
    EXPECT_EQ(report.kind, FailureKind::CannotOpen);
    EXPECT_EQ(ConvertModelWithReport(Path("a.mdx").c_str(), Path("no/such/dir/out.mdx").c_str(), report), 0);
    EXPECT_EQ(report.kind, FailureKind::CannotWrite);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.mdx"}));
}

TEST_F(ConvertModelFiles, ExistingOutputIsReplacedOnSuccess)
{
    const WrittenModel model = WriteModel(FullModelPlan(1100), 37);
    WriteFile(Path("a.mdx"), model.bytes);
    WriteFile(Path("a_dezavivi.mdx"), std::string(100000, 'E')); // longer than the new output
    EXPECT_EQ(ConvertModel(Path("a.mdx").c_str(), Path("a_dezavivi.mdx").c_str()), 1);
    EXPECT_TRUE(ReadFile(Path("a_dezavivi.mdx")) == ExpectedOutput(model));
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.mdx", "a_dezavivi.mdx"}));
}

TEST_F(ConvertModelFiles, AnotherFileNamedLikeTheTemporaryIsLeftAlone)
{
    const WrittenModel model = WriteModel(FullModelPlan(800), 43);
    WriteFile(Path("a.mdx"), model.bytes);
    WriteFile(Path("a_dezavivi.mdx.part"), "SOMEONE ELSE'S");
    EXPECT_EQ(ConvertModel(Path("a.mdx").c_str(), Path("a_dezavivi.mdx").c_str()), 1);
    EXPECT_TRUE(ReadFile(Path("a_dezavivi.mdx")) == ExpectedOutput(model));
    EXPECT_EQ(ReadFile(Path("a_dezavivi.mdx.part")), "SOMEONE ELSE'S");
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.mdx", "a_dezavivi.mdx", "a_dezavivi.mdx.part"}));
}

TEST_F(ConvertModelFiles, NameWithANonAsciiCharacter)
{
    // "modèle.mdx" in UTF-8, as the system's code page spells it here.
    const std::string input = Path("mod\xC3\xA8le.mdx");
    const WrittenModel model = WriteModel(FullModelPlan(800), 47);
    WriteFile(input, model.bytes);
    const std::string output = MakeOutputName(input.c_str());
    EXPECT_EQ(ConvertModel(input.c_str(), output.c_str()), 1);
    EXPECT_TRUE(ReadFile(output) == ExpectedOutput(model));
    EXPECT_EQ(Names(), (std::vector<std::string>{"mod\xC3\xA8le.mdx", "mod\xC3\xA8le_dezavivi.mdx"}));
}

// ---- Failure kinds

namespace {

// While set, every nothrow array allocation fails, as the core's block buffer would when the
// memory cannot be had. Other allocations go on as usual.
bool refuseBlockBuffers = false;

// The report of converting input into sink through the stream entry.
ConversionReport ReportOf(const std::string& input, std::ostream& sink)
{
    std::istringstream source(input);
    ConversionReport report;
    ConvertModelStream(source, sink, report);
    return report;
}

ConversionReport ReportOf(const std::string& input)
{
    std::ostringstream sink;
    return ReportOf(input, sink);
}

} // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    if (refuseBlockBuffers)
        return nullptr;
    try {
        return ::operator new[](size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

TEST(ConversionReport, EveryFailureHasItsKind)
{
    const std::string model = WriteModel(FullModelPlan(800), 31).bytes;
    EXPECT_EQ(ReportOf(model).kind, FailureKind::None);
    EXPECT_EQ(ReportOf("MDLY" + model.substr(4)).kind, FailureKind::NotAModel);
    EXPECT_EQ(ReportOf(model.substr(0, model.size() - 3)).kind, FailureKind::Truncated);
    EXPECT_EQ(ReportOf(model + "TEXS" + Int32Bytes(0xFFFFFFF0)).kind, FailureKind::Malformed);

    std::ostream refusingSink(nullptr); // bad from the start: every write is refused
    EXPECT_EQ(ReportOf(model, refusingSink).kind, FailureKind::CannotWrite);

    // On a thread of its own, which has no block buffer yet.
    ConversionReport outOfMemory;
    refuseBlockBuffers = true;
    std::thread([&] { outOfMemory = ReportOf(model); }).join();
    refuseBlockBuffers = false;
    EXPECT_EQ(outOfMemory.kind, FailureKind::OutOfMemory);
    EXPECT_EQ(outOfMemory.reason, "not enough memory for a block buffer");
    EXPECT_EQ(outOfMemory.converted, 0);

    ConversionReport missing;
    EXPECT_EQ(ConvertModelWithReport("no-such-folder/a.mdx", "no-such-folder/a_dezavivi.mdx", missing), 0);
    EXPECT_EQ(missing.kind, FailureKind::CannotOpen);
}

TEST(ConversionReport, VersionNoteGoesWithGeosetFailuresOnly)
{
    // Version 1200 has no layout of its own; only a geoset's walk depends on it.
    const std::string versioned = "MDLX" + Chunk("VERS", Int32Bytes(1200));
    for (const char* tag : {"TEXS", "BONE", "HELP", "VERS"}) {
        const ConversionReport report = ReportOf(versioned + tag + Int32Bytes(0xFFFFFFF0));
        EXPECT_EQ(report.reason, "negative chunk size") << tag;
        EXPECT_EQ(report.kind, FailureKind::Malformed) << tag;
        EXPECT_EQ(report.version, 1200) << tag;
    }
    const ConversionReport cut = ReportOf(versioned + "TEXS" + Int32Bytes(100) + "abc");
    EXPECT_EQ(cut.reason, "input ends inside a chunk");
    EXPECT_EQ(cut.kind, FailureKind::Truncated);

    const ConversionReport geoset = ReportOf(versioned + "GEOS" + Int32Bytes(0xFFFFFFF0));
    EXPECT_EQ(geoset.reason, "negative chunk size (model version 1200, walked with the later geoset layout)");
    EXPECT_EQ(geoset.kind, FailureKind::Malformed);
}
