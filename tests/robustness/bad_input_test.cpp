// Bad input as users meet it: empty files, other files under a model's name, truncated
// downloads, broken sizes and counts, structures out of step. Each is refused with a reason (or,
// where the model is still whole, converted), leaves no file behind through the path entry, and
// takes no more memory than a few buffers, whatever the sizes in the file claim.

#include "bad_inputs.h"
#include "conversion_checks.h"
#include "model_convert.h"
#include "model_tags.h"
#include "model_writer.h"

#include <gtest/gtest.h>

#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>

// Every heap allocation of this program is counted, so a test can see the most memory that one
// conversion held at once.
namespace {
std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};

void* Allocate(std::size_t n)
{
    void* p = std::malloc(n == 0 ? 1 : n);
    if (!p)
        throw std::bad_alloc();
    const std::size_t live = liveBytes += malloc_usable_size(p);
    std::size_t peak = peakBytes.load();
    while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
    }
    return p;
}

void Release(void* p)
{
    if (p) {
        liveBytes -= malloc_usable_size(p);
        std::free(p);
    }
}
} // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept { return operator new(n, tag); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

namespace {

namespace fs = std::filesystem;

// More than the streams of a few-KB model and the converter's fixed buffers could ever need,
// far less than any size a broken field claims.
constexpr std::size_t kMaxConversionMemory = 1 << 20;
// The path entry adds its file streams' buffers and one gathered block of output.
constexpr std::size_t kMaxPathConversionMemory = 4 << 20;

struct Outcome {
    int converted;
    ConversionReport report;
    std::string output;
    std::size_t memory; // the most heap memory held at once during the conversion, above what was held before
};

Outcome Convert(const std::string& input)
{
    Outcome outcome{};
    const std::size_t before = liveBytes.load();
    peakBytes = before;
    outcome.converted = ConvertInMemory(input, outcome.output, outcome.report);
    outcome.memory = peakBytes.load() - before;
    return outcome;
}

// The refusal every bad input gets: result 0, a reason, an offset inside the input, a partial
// output no longer than the input, bounded memory, and the same outcome in the fuzz target.
void ExpectRefused(const std::string& input, const std::string& what)
{
    const Outcome outcome = Convert(input);
    EXPECT_EQ(outcome.converted, 0) << what;
    EXPECT_FALSE(outcome.report.reason.empty()) << what;
    EXPECT_GE(outcome.report.offset, 0) << what;
    EXPECT_LE(outcome.report.offset, static_cast<std::int64_t>(input.size())) << what;
    EXPECT_LT(outcome.memory, kMaxConversionMemory) << what;
    EXPECT_EQ(CheckConversion(input), "") << what;
}

std::string FullModel(std::int32_t version)
{
    return WriteModel(FullModelSpec(version)).bytes;
}

const std::int32_t kVersions[] = {800, 1000};

// A scratch folder for the path entry, emptied for each test.
struct ScratchFolder : ::testing::Test {
    fs::path dir;

    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("duridodi-bad-input-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Write(const std::string& name, const std::string& bytes)
    {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
};

TEST(BadInput, EmptyFileIsNotAModel)
{
    const Outcome outcome = Convert(std::string());
    EXPECT_EQ(outcome.converted, 0);
    EXPECT_NE(outcome.report.reason.find("MDLX"), std::string::npos) << outcome.report.reason;
    EXPECT_EQ(outcome.report.offset, 0);
    EXPECT_EQ(outcome.output, "");
}

TEST(BadInput, WrongMagicIsNotAModel)
{
    std::string model = FullModel(800);
    model[3] = 'Y';
    ExpectRefused(model, "MDLY");
    ExpectRefused("MDL", "three bytes of the magic");
    ExpectRefused(std::string(4, '\0'), "zero magic");
}

TEST(BadInput, TextureSavedUnderAModelNameIsNotAModel)
{
    const Outcome outcome = Convert(TextureFile());
    EXPECT_EQ(outcome.converted, 0);
    EXPECT_NE(outcome.report.reason.find("MDLX"), std::string::npos) << outcome.report.reason;
    EXPECT_EQ(outcome.output, "");
}

// A download cut short anywhere: after whole chunks (or 1 to 3 bytes of the next tag, which are
// kept) the model is whole and converts to the reduced prefix; anywhere else it is refused.
TEST(BadInput, ModelCutAtEveryOffsetFailsCleanlyOrEndsAtAChunk)
{
    for (std::int32_t version : kVersions) {
        const WrittenModel model = WriteModel(FullModelSpec(version));
        const std::string expected = ExpectedOutput(model);
        const std::vector<std::size_t> boundaries = ChunkBoundaries(model.bytes);
        for (std::size_t cut = 0; cut < model.bytes.size(); ++cut) {
            const std::string input = model.bytes.substr(0, cut);
            bool whole = false;
            for (std::size_t boundary : boundaries)
                whole = whole || (cut >= boundary && cut < boundary + 4);
            const std::string what = "version " + std::to_string(version) + ", cut at " + std::to_string(cut);
            if (!whole) {
                ExpectRefused(input, what);
                continue;
            }
            const Outcome outcome = Convert(input);
            ASSERT_EQ(outcome.converted, 1) << what << ": " << outcome.report.reason;
            EXPECT_EQ(outcome.output, expected.substr(0, cut)) << what;
        }
    }
}

TEST(BadInput, SizeOrCountOfMaxIntOrMinusOneAnywhereIsRefused)
{
    for (std::int32_t version : kVersions) {
        const std::string model = FullModel(version);
        const std::vector<Mark> marks = FieldMarks(model);
        ASSERT_FALSE(marks.empty());
        int fields = 0;
        for (const Mark& mark : marks) {
            if (!IsSizeOrCount(mark.kind))
                continue;
            ++fields;
            for (std::int32_t value : {0x7FFFFFFF, -1})
                ExpectRefused(WithField(model, mark.offset, value),
                              "field at " + std::to_string(mark.offset) + " set to " + std::to_string(value));
        }
        EXPECT_GT(fields, 50) << "the model should have a size or count in every structure";
    }
}

TEST(BadInput, NodeSizeBelowItsHeaderIsRefused)
{
    const std::string model = FullModel(800);
    for (const Mark& mark : FieldMarks(model)) {
        if (mark.kind != kMarkNodeSize)
            continue;
        for (std::int32_t size : {0, 4, 92, 95}) {
            const std::string what = "node at " + std::to_string(mark.offset) + " of size " + std::to_string(size);
            ExpectRefused(WithField(model, mark.offset, size), what);
            EXPECT_NE(Convert(WithField(model, mark.offset, size)).report.reason.find("node"), std::string::npos)
                << what;
        }
    }
}

// A track the converter does not know: it and everything after it up to the end of its node is
// copied unchanged; tracks before it are still reduced.
TEST(BadInput, UnknownTrackTagCopiesTheRestOfItsNode)
{
    const WrittenModel model = WriteModel(FullModelSpec(800));
    const std::vector<Mark> marks = FieldMarks(model.bytes);
    std::size_t nodeAt = 0;
    int tracks = 0;
    for (const Mark& mark : marks) {
        if (mark.kind == kMarkNodeSize)
            nodeAt = mark.offset;
        const std::int32_t tag = mark.kind == kMarkTag ? FieldAt(model.bytes, mark.offset) : 0;
        if (tag != kTagTranslation && tag != kTagRotation && tag != kTagScaling)
            continue;
        ++tracks;
        const std::string input = WithField(model.bytes, mark.offset, TagFromLetters("KGXX"));
        const std::size_t nodeEnd = nodeAt + static_cast<std::size_t>(FieldAt(model.bytes, nodeAt));
        std::string expected = ExpectedOutput(model);
        expected.replace(mark.offset, nodeEnd - mark.offset, input, mark.offset, nodeEnd - mark.offset);
        const Outcome outcome = Convert(input);
        ASSERT_EQ(outcome.converted, 1) << "track at " << mark.offset << ": " << outcome.report.reason;
        EXPECT_EQ(outcome.output, expected) << "track at " << mark.offset;
    }
    EXPECT_GT(tracks, 10);
}

// A geoset with 4 bytes more than its fields, its size and its chunk's size grown to match; and
// a geoset whose size falls 4 bytes short of its fields.
TEST(BadInput, GeosetOutOfStepWithItsSizeIsRefused)
{
    for (std::int32_t version : kVersions) {
        const std::string model = FullModel(version);
        const std::vector<Mark> marks = FieldMarks(model);
        std::size_t chunkSizeAt = 0;
        int geosets = 0;
        for (const Mark& mark : marks) {
            if (mark.kind == kMarkChunkSize)
                chunkSizeAt = mark.offset;
            if (mark.kind != kMarkGeosetSize)
                continue;
            ++geosets;
            const std::int32_t size = FieldAt(model, mark.offset);
            std::string longer = WithField(model, mark.offset, size + 4);
            longer = WithField(longer, chunkSizeAt, FieldAt(model, chunkSizeAt) + 4);
            longer.insert(mark.offset + static_cast<std::size_t>(size), "UVBS");
            const std::string what = "geoset at " + std::to_string(mark.offset);
            ExpectRefused(longer, what + ", 4 bytes longer");
            EXPECT_NE(Convert(longer).report.reason.find("geoset"), std::string::npos) << what;
            ExpectRefused(WithField(model, mark.offset, size - 4), what + ", 4 bytes short");
        }
        EXPECT_GE(geosets, 3);
    }
}

TEST(BadInput, ChunkClaimingMoreThanTheFileHoldsIsRefused)
{
    for (std::int32_t version : kVersions) {
        const std::string model = FullModel(version);
        for (const Mark& mark : FieldMarks(model)) {
            if (mark.kind != kMarkChunkSize)
                continue;
            const std::int32_t rest = static_cast<std::int32_t>(model.size() - mark.offset - 4);
            for (std::int32_t size : {rest + 1, rest + 4096, 0x40000000})
                ExpectRefused(WithField(model, mark.offset, size),
                              "chunk size at " + std::to_string(mark.offset) + " set to " + std::to_string(size));
        }
    }
}

// The tool's own earlier output, given to it again: converted, and unchanged.
TEST(BadInput, EarlierOutputConvertsToItself)
{
    for (std::int32_t version : kVersions) {
        const std::string reduced = ExpectedOutput(WriteModel(FullModelSpec(version)));
        const Outcome outcome = Convert(reduced);
        ASSERT_EQ(outcome.converted, 1) << outcome.report.reason;
        EXPECT_EQ(outcome.output, reduced);
    }
}

// Bytes after the chunk list: a zero tag with anything after it, or 1 to 3 stray bytes, are kept.
TEST(BadInput, BytesAfterTheLastChunkAreKept)
{
    const WrittenModel model = WriteModel(FullModelSpec(800));
    for (const std::string& tail : {std::string("\0\0\0\0garbage\xff", 12), std::string("\x01", 1),
                                    std::string("\x01\x02\x03", 3)}) {
        const Outcome outcome = Convert(model.bytes + tail);
        ASSERT_EQ(outcome.converted, 1) << outcome.report.reason;
        EXPECT_EQ(outcome.output, ExpectedOutput(model) + tail);
    }
}

// Through the path entry a refused input leaves no file: neither an output nor a temporary file,
// and an earlier output stays as it was.
TEST_F(ScratchFolder, RefusedInputLeavesNoFileBehind)
{
    const std::string model = FullModel(800);
    const std::vector<Mark> marks = FieldMarks(model);
    std::size_t countAt = 0;
    for (const Mark& mark : marks)
        countAt = countAt == 0 && mark.kind == kMarkCount ? mark.offset : countAt;
    const std::string inputs[] = {std::string(), TextureFile(), model.substr(0, model.size() / 2),
                                  WithField(model, countAt, -1), WithField(model, 8, 0x7FFFFFFF)};
    int n = 0;
    for (const std::string& bytes : inputs) {
        const std::string input = Write("bad" + std::to_string(n++) + ".mdx", bytes);
        const std::string output = (dir / "out_dezavivi.mdx").string();
        ConversionReport report;
        const std::size_t before = liveBytes.load();
        peakBytes = before;
        EXPECT_EQ(ConvertModelWithReport(input.c_str(), output.c_str(), report), 0) << input;
        EXPECT_LT(peakBytes.load() - before, kMaxPathConversionMemory) << input;
        EXPECT_FALSE(fs::exists(output)) << input;

        Write("out_dezavivi.mdx", "earlier");
        EXPECT_EQ(ConvertModelWithReport(input.c_str(), output.c_str(), report), 0) << input;
        std::ifstream earlier(output, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(earlier), {}), "earlier") << input;
        fs::remove(output);
    }
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().rfind("bad", 0), 0u) << "left behind: " << entry.path();
}

} // namespace
