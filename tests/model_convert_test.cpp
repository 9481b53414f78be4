// The conversion driver: file framing, the end of the chunk list, refused input, the report, and
// the output file's fate on success and failure (temporary file, replacement, full disk).

#include "model_convert.h"

#include "model_tags.h"
#include "model_writer.h"
#include "output_name.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string Chunk(const char* tag, const std::string& body)
{
    return std::string(tag, 4) + Int32Bytes(static_cast<std::uint32_t>(body.size())) + body;
}

ChunkSpec OtherChunk(const char* tag, std::int32_t size)
{
    ChunkSpec chunk;
    chunk.tag = TagFromLetters(tag);
    chunk.size = size;
    return chunk;
}

// A model whose body is a few hundred KB, so its output outgrows any small file-size limit.
WrittenModel LargeModel()
{
    ModelSpec description = FullModelSpec(800);
    description.chunks.push_back(OtherChunk("TEXS", 300000));
    return WriteModel(description, 11);
}

// A sink that accepts limit bytes and refuses the rest, as a full disk does.
class LimitedBuffer : public std::streambuf {
public:
    explicit LimitedBuffer(std::size_t limit) : limit_(limit) {}
    std::string bytes;

protected:
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        if (bytes.size() >= limit_)
            return traits_type::eof();
        bytes += traits_type::to_char_type(c);
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        const std::size_t take = std::min(static_cast<std::size_t>(n), limit_ - bytes.size());
        bytes.append(s, take);
        return static_cast<std::streamsize>(take);
    }

private:
    std::size_t limit_;
};

// A fresh directory for one test, removed with everything in it at the end.
class TempDir : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "duridodi-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path dir_;
};

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
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

TEST(ConvertModelStream, WrongMagicOrEmptyInputIsRefused)
{
    for (const std::string& input : {std::string(""), std::string("MDL"), std::string("MDLY"), std::string("XLDM"),
                                    std::string("BONE") + Int32Bytes(0)}) {
        const StreamResult result = ConvertBytes(input);
        EXPECT_EQ(result.converted, 0) << HexBytes(input);
        EXPECT_NE(result.report.reason, "");
        EXPECT_EQ(result.report.converted, 0);
    }
}

TEST(ConvertModelStream, OtherChunksAreCopiedByteForByte)
{
    ModelSpec description;
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

TEST(ConvertModelStream, ZeroTagCopiesEverythingAfterItUnchanged)
{
    const WrittenModel model = WriteModel(FullModelSpec(800), 5);
    // After the zero tag even a bone chunk is copied as it stands.
    const WrittenModel bones = WriteModel(FullModelSpec(800), 6);
    const std::string tail = Int32Bytes(0) + bones.bytes.substr(4) + "xyz";
    const StreamResult result = ConvertBytes(model.bytes + tail);
    EXPECT_EQ(result.converted, 1);
    EXPECT_EQ(result.out.size(), model.bytes.size() + tail.size());
    EXPECT_TRUE(result.out == ExpectedOutput(model) + tail);
}

TEST(ConvertModelStream, StrayBytesAfterTheLastChunkAreCopied)
{
    const WrittenModel model = WriteModel(FullModelSpec(900), 7);
    for (const std::string& stray : {std::string("\x01"), std::string("AB"), std::string("GEO")}) {
        const StreamResult result = ConvertBytes(model.bytes + stray);
        EXPECT_EQ(result.converted, 1) << HexBytes(stray);
        EXPECT_TRUE(result.out == ExpectedOutput(model) + stray) << HexBytes(stray);
    }
}

TEST(ConvertModelStream, NegativeChunkSizeIsRefused)
{
    for (const char* tag : {"TEXS", "BONE", "HELP", "GEOS", "VERS"}) {
        const StreamResult result = ConvertBytes("MDLX" + std::string(tag) + Int32Bytes(0xFFFFFFFC) + "abcd");
        EXPECT_EQ(result.converted, 0) << tag;
        EXPECT_EQ(result.report.tag, TagFromLetters(tag));
    }
}

TEST(ConvertModelStream, ChunkClaimingMoreThanTheFileIsRefused)
{
    const WrittenModel model = WriteModel(FullModelSpec(800), 9);
    for (const char* tag : {"TEXS", "BONE", "HELP", "GEOS"}) {
        const std::string input = model.bytes + tag + Int32Bytes(1000) + std::string(996, 'a');
        const StreamResult result = ConvertBytes(input);
        EXPECT_EQ(result.converted, 0) << tag;
        EXPECT_LE(result.out.size(), input.size()) << tag;
    }
    // And a chunk claiming 2 GB is refused without trying to hold it.
    const StreamResult huge = ConvertBytes("MDLXTEXS" + Int32Bytes(0x7FFFFFFF) + "abcd");
    EXPECT_EQ(huge.converted, 0);
}

TEST(ConvertModelStream, RefusingSinkFailsTheConversion)
{
    const WrittenModel model = WriteModel(FullModelSpec(800), 13);
    for (std::size_t limit : {std::size_t(0), std::size_t(3), std::size_t(100), model.bytes.size() - 1}) {
        LimitedBuffer buffer(limit);
        std::ostream sink(&buffer);
        std::istringstream source(model.bytes);
        ConversionReport report;
        EXPECT_EQ(ConvertModelStream(source, sink, report), 0) << "limit " << limit;
        EXPECT_EQ(report.reason, "cannot write the output") << "limit " << limit;
    }
    LimitedBuffer exact(model.bytes.size());
    std::ostream sink(&exact);
    std::istringstream source(model.bytes);
    ConversionReport report;
    EXPECT_EQ(ConvertModelStream(source, sink, report), 1);
    EXPECT_TRUE(exact.bytes == ExpectedOutput(model));
}

// ---- The report

TEST(ConversionReport, SuccessCountsReducedFloatsAndNamesTheVersion)
{
    const WrittenModel model = WriteModel(FullModelSpec(1000), 17);
    const StreamResult result = ConvertBytes(model.bytes);
    EXPECT_EQ(result.converted, 1);
    EXPECT_EQ(result.report.converted, 1);
    EXPECT_EQ(result.report.reason, "");
    EXPECT_EQ(result.report.offset, -1);
    EXPECT_EQ(result.report.tag, 0);
    EXPECT_EQ(result.report.floatsReduced, static_cast<std::int64_t>(model.reducedOffsets.size()));
    EXPECT_EQ(result.report.version, 1000);
}

TEST(ConversionReport, ModelWithoutVersionChunkIsVersion800)
{
    ModelSpec description = FullModelSpec(800);
    description.writeVersion = false;
    const StreamResult result = ConvertBytes(WriteModel(description).bytes);
    EXPECT_EQ(result.converted, 1);
    EXPECT_EQ(result.report.version, 800);
}

TEST(ConversionReport, FailureNamesTheChunkAndWhereItWasFound)
{
    // "MDLX", a 12-byte "TEXS" chunk, then at offset 16 a geoset chunk whose size is negative.
    const std::string input = "MDLX" + Chunk("TEXS", "0123") + "GEOS" + Int32Bytes(0xFFFFFFFF);
    const StreamResult result = ConvertBytes(input);
    EXPECT_EQ(result.converted, 0);
    EXPECT_EQ(result.report.converted, 0);
    EXPECT_EQ(result.report.tag, kTagGeoset);
    EXPECT_GE(result.report.offset, 16);
    EXPECT_LE(result.report.offset, 24);
    EXPECT_NE(result.report.reason, "");
    const std::string line = DescribeFailure(result.report);
    EXPECT_NE(line.find(result.report.reason), std::string::npos) << line;
    EXPECT_NE(line.find("chunk 'GEOS'"), std::string::npos) << line;
    EXPECT_NE(line.find("offset " + std::to_string(result.report.offset)), std::string::npos) << line;
}

TEST(ConversionReport, TruncatedNodeIsFoundInsideTheBoneChunk)
{
    const WrittenModel model = WriteModel(FullModelSpec(800), 19);
    const std::size_t bone = model.bytes.find("BONE");
    ASSERT_NE(bone, std::string::npos);
    const StreamResult result = ConvertBytes(model.bytes.substr(0, bone + 60));
    EXPECT_EQ(result.converted, 0);
    EXPECT_EQ(result.report.tag, kTagBone);
    EXPECT_NE(result.report.reason, "");
}

TEST(ConversionReport, WrongMagicIsFoundAtOffsetZeroOutsideAnyChunk)
{
    const StreamResult result = ConvertBytes("MDXL" + Chunk("TEXS", "abcd"));
    EXPECT_EQ(result.report.offset, 0);
    EXPECT_EQ(result.report.tag, 0);
    EXPECT_EQ(result.report.floatsReduced, 0);
}

TEST(ConversionReport, UnknownVersionWhoseGeosetsDoNotLineUpIsNamed)
{
    // Version 1200 walks with the later layout; geosets in the 800 layout do not line up.
    ModelSpec description = FullModelSpec(800);
    const WrittenModel classic = WriteModel(description, 23);
    std::string input = classic.bytes;
    ASSERT_EQ(input.substr(4, 8), "VERS" + Int32Bytes(4));
    input.replace(12, 4, Int32Bytes(1200));
    const StreamResult result = ConvertBytes(input);
    EXPECT_EQ(result.converted, 0);
    EXPECT_EQ(result.report.version, 1200);
    EXPECT_NE(result.report.reason.find("1200"), std::string::npos) << result.report.reason;
}

TEST(ConversionReport, UnknownVersionsThatLineUpConvert)
{
    for (std::int32_t version : {700, 1200}) {
        const WrittenModel model = WriteModel(FullModelSpec(version), 29);
        const StreamResult result = ConvertBytes(model.bytes);
        EXPECT_EQ(result.converted, 1) << version << ": " << result.report.reason;
        EXPECT_EQ(result.report.version, version);
        EXPECT_TRUE(result.out == ExpectedOutput(model)) << version;
    }
}

// ---- Files

using ConvertModelFiles = TempDir;

TEST_F(ConvertModelFiles, ConvertsAndLeavesOnlyTheOutput)
{
    const WrittenModel model = WriteModel(FullModelSpec(800), 31);
    WriteFile(Path("tree.mdx"), model.bytes);
    ConversionReport report;
    EXPECT_EQ(ConvertModelWithReport(Path("tree.mdx").c_str(), Path("tree_dezavivi.mdx").c_str(), report), 1);
    EXPECT_TRUE(ReadFile(Path("tree_dezavivi.mdx")) == ExpectedOutput(model));
    EXPECT_EQ(Names(), (std::vector<std::string>{"tree.mdx", "tree_dezavivi.mdx"}));
    EXPECT_EQ(report.floatsReduced, static_cast<std::int64_t>(model.reducedOffsets.size()));
}

TEST_F(ConvertModelFiles, ConvertModelReturnsOneOrZero)
{
    WriteFile(Path("good.mdx"), WriteModel(FullModelSpec(800)).bytes);
    WriteFile(Path("bad.mdx"), "MDLXGEOS");
    EXPECT_EQ(ConvertModel(Path("good.mdx").c_str(), Path("good_out.mdx").c_str()), 1);
    EXPECT_EQ(ConvertModel(Path("bad.mdx").c_str(), Path("bad_out.mdx").c_str()), 0);
    EXPECT_EQ(Names(), (std::vector<std::string>{"bad.mdx", "good.mdx", "good_out.mdx"}));
}

TEST_F(ConvertModelFiles, WrongMagicLeavesNoOutputFile)
{
    WriteFile(Path("empty.mdx"), "");
    WriteFile(Path("text.mdx"), "not a model at all");
    ConversionReport report;
    EXPECT_EQ(ConvertModelWithReport(Path("empty.mdx").c_str(), Path("empty_out.mdx").c_str(), report), 0);
    EXPECT_EQ(ConvertModelWithReport(Path("text.mdx").c_str(), Path("text_out.mdx").c_str(), report), 0);
    EXPECT_EQ(Names(), (std::vector<std::string>{"empty.mdx", "text.mdx"}));
}

TEST_F(ConvertModelFiles, MissingInputOrOutputDirectoryFails)
{
    WriteFile(Path("a.mdx"), WriteModel(FullModelSpec(800)).bytes);
    ConversionReport report;
    EXPECT_EQ(ConvertModelWithReport(Path("missing.mdx").c_str(), Path("out.mdx").c_str(), report), 0);
    EXPECT_NE(report.reason, "");
    EXPECT_EQ(ConvertModelWithReport(Path("a.mdx").c_str(), Path("no/such/dir/out.mdx").c_str(), report), 0);
    EXPECT_NE(report.reason, "");
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.mdx"}));
}

TEST_F(ConvertModelFiles, ExistingOutputIsReplacedOnSuccess)
{
    const WrittenModel model = WriteModel(FullModelSpec(1100), 37);
    WriteFile(Path("a.mdx"), model.bytes);
    WriteFile(Path("a_dezavivi.mdx"), std::string(100000, 'E')); // longer than the new output
    EXPECT_EQ(ConvertModel(Path("a.mdx").c_str(), Path("a_dezavivi.mdx").c_str()), 1);
    EXPECT_TRUE(ReadFile(Path("a_dezavivi.mdx")) == ExpectedOutput(model));
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.mdx", "a_dezavivi.mdx"}));
}

TEST_F(ConvertModelFiles, ExistingOutputIsLeftAsItWasOnFailure)
{
    const WrittenModel model = WriteModel(FullModelSpec(800), 41);
    WriteFile(Path("a.mdx"), model.bytes.substr(0, model.bytes.size() - 5)); // ends inside a chunk
    WriteFile(Path("a_dezavivi.mdx"), "EARLIER");
    EXPECT_EQ(ConvertModel(Path("a.mdx").c_str(), Path("a_dezavivi.mdx").c_str()), 0);
    EXPECT_EQ(ReadFile(Path("a_dezavivi.mdx")), "EARLIER");
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.mdx", "a_dezavivi.mdx"}));
}

TEST_F(ConvertModelFiles, AnotherFileNamedLikeTheTemporaryIsLeftAlone)
{
    const WrittenModel model = WriteModel(FullModelSpec(800), 43);
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
    const WrittenModel model = WriteModel(FullModelSpec(800), 47);
    WriteFile(input, model.bytes);
    const std::string output = MakeOutputName(input.c_str());
    EXPECT_EQ(ConvertModel(input.c_str(), output.c_str()), 1);
    EXPECT_TRUE(ReadFile(output) == ExpectedOutput(model));
    EXPECT_EQ(Names(), (std::vector<std::string>{"mod\xC3\xA8le.mdx", "mod\xC3\xA8le_dezavivi.mdx"}));
}

#ifndef _WIN32
TEST_F(ConvertModelFiles, FullDiskFailsAndLeavesTheEarlierOutput)
{
    const WrittenModel model = LargeModel();
    WriteFile(Path("a.mdx"), model.bytes);
    WriteFile(Path("a_dezavivi.mdx"), "EARLIER");
    const std::string input = Path("a.mdx");
    const std::string output = Path("a_dezavivi.mdx");

    // In a child whose files may not grow past 64 KiB: writes beyond it fail as on a full disk.
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {64 * 1024, 64 * 1024};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(3);
        _exit(ConvertModel(input.c_str(), output.c_str()) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "ConvertModel reported success on a full disk";
    EXPECT_EQ(ReadFile(output), "EARLIER");
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.mdx", "a_dezavivi.mdx"}));

    // Without the limit the same conversion succeeds.
    EXPECT_EQ(ConvertModel(input.c_str(), output.c_str()), 1);
    EXPECT_TRUE(ReadFile(output) == ExpectedOutput(model));
}
#endif

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
    const std::string model = WriteModel(FullModelSpec(800), 31).bytes;
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
