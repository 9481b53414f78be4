// Bad input as users meet it: empty files, other files under a model's name, truncated
// downloads, broken sizes and counts, structures out of step. Each is refused with a reason (or,
// where the model is still whole, converted), leaves no file behind through the path entry, and
// takes no more memory than a few buffers, whatever the sizes in the file claim.

#include "bad_inputs.h"
#include "conversion_checks.h"
#include "model_convert.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
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
    StreamResult result;
    std::size_t memory; // the most heap memory held at once during the conversion, above what was held before
};

Outcome Convert(const std::string& input)
{
    const std::size_t before = liveBytes.load();
    peakBytes = before;
    Outcome outcome{ConvertBytes(input), 0};
    outcome.memory = peakBytes.load() - before;
    return outcome;
}

// The refusal every bad input gets: result 0, a kind and a reason, an offset inside the input, a
// partial output no longer than the input, bounded memory, and the same outcome in the fuzz target.
// Returns the conversion's result, for checks of its own.
StreamResult ExpectRefused(const std::string& input, const std::string& what)
{
    const Outcome outcome = Convert(input);
    const ConversionReport& report = outcome.result.report;
    EXPECT_EQ(outcome.result.converted, 0) << what;
    EXPECT_NE(report.kind, FailureKind::None) << what;
    EXPECT_FALSE(report.reason.empty()) << what;
    EXPECT_GE(report.offset, 0) << what;
    EXPECT_LE(report.offset, static_cast<std::int64_t>(input.size())) << what;
    EXPECT_LT(outcome.memory, kMaxConversionMemory) << what;
    EXPECT_EQ(CheckConversion(input), "") << what;
    return outcome.result;
}

const std::int32_t kVersions[] = {800, 1000};

} // namespace

// Empty files, other files under a model's name, a magic cut short or misspelt: not a model,
// found at offset 0 outside any chunk, and nothing written.
TEST(BadInput, NotAModelIsRefusedAtOffsetZero)
{
    const std::string model = WriteModel(FullModelPlan(800)).bytes;
    const std::string inputs[] = {std::string(), "MDL", "MDLY" + model.substr(4), "XLDM", "MDXL" + model.substr(4),
                                  std::string(4, '\0'), "BONE" + Int32Bytes(0), TextureFile()};
    for (const std::string& input : inputs) {
        const std::string what = HexBytes(input.substr(0, 8));
        const StreamResult result = ExpectRefused(input, what);
        EXPECT_EQ(result.report.kind, FailureKind::NotAModel) << what;
        EXPECT_EQ(result.report.offset, 0) << what;
        EXPECT_EQ(result.report.tag, 0) << what;
        EXPECT_EQ(result.report.floatsReduced, 0) << what;
        EXPECT_EQ(result.out, "") << what;
    }
}

// A download cut short anywhere: after whole chunks (or 1 to 3 bytes of the next tag, which are
// kept) the model is whole and converts to the reduced prefix; anywhere else it ends inside a
// chunk, and what was written is still the reduced prefix, a value cut short reduced as far as
// it goes.
TEST(BadInput, ModelCutAtEveryOffsetEndsAtAChunkOrIsTruncatedWithTheReducedPrefix)
{
    for (std::int32_t version : kVersions) {
        const WrittenModel model = WriteModel(FullModelPlan(version));
        const std::string expected = ExpectedOutput(model);
        const std::vector<std::size_t> boundaries = ChunkBoundaries(model.bytes);
        for (std::size_t cut = 4; cut < model.bytes.size(); ++cut) {
            const std::string input = model.bytes.substr(0, cut);
            bool whole = false;
            for (std::size_t boundary : boundaries)
                whole = whole || (cut >= boundary && cut < boundary + 4);
            const std::string what = "version " + std::to_string(version) + ", cut at " + std::to_string(cut);
            const StreamResult result = whole ? Convert(input).result : ExpectRefused(input, what);
            ASSERT_EQ(result.converted, whole ? 1 : 0) << what << ": " << result.report.reason;
            EXPECT_EQ(result.report.kind, whole ? FailureKind::None : FailureKind::Truncated) << what;
            ASSERT_EQ(FirstDifference(result.out, expected.substr(0, cut)), -1) << what;
        }
    }
}

// -1 is negative wherever it stands; 0x7FFFFFFF runs past the end of whatever holds it.
TEST(BadInput, SizeOrCountOfMaxIntOrMinusOneAnywhereIsRefused)
{
    for (std::int32_t version : kVersions) {
        const WrittenModel model = WriteModel(FullModelPlan(version));
        int fields = 0;
        for (const Mark& mark : model.marks) {
            if (!IsSizeOrCount(mark.kind))
                continue;
            ++fields;
            for (std::int32_t value : {0x7FFFFFFF, -1}) {
                const std::string input = WithField(model.bytes, mark.offset, value);
                const std::string what = "field at " + std::to_string(mark.offset) + " set to " + std::to_string(value);
                const FailureKind kind = ExpectRefused(input, what).report.kind;
                EXPECT_TRUE(value != -1 || kind == FailureKind::Malformed) << what;
            }
        }
        EXPECT_GT(fields, 50) << "the model should have a size or count in every structure";
    }
}

// The node-size minimum at its edge: a helper chunk whose only node declares 92 to 95 bytes,
// the chunk as large as the node, so that nothing else refuses it first; 96 bytes is a node
// without tracks.
TEST(BadInput, NodeSizeMinimumIsCheckedAtItsEdge)
{
    ModelPlan description;
    description.writeVersion = false;
    description.chunks.resize(1);
    description.chunks[0].kind = ChunkPlan::Helpers;
    description.chunks[0].nodes.resize(1);
    const std::string node = WriteModel(description).bytes;
    ASSERT_EQ(node.size(), 4u + 8 + 96);
    for (std::int32_t size = 92; size <= 96; ++size) {
        std::string input = node.substr(0, 12 + static_cast<std::size_t>(size));
        PutFieldAt(input, 8, size);
        PutFieldAt(input, 12, size);
        const StreamResult result = Convert(input).result;
        if (size == 96) {
            EXPECT_EQ(result.converted, 1) << DescribeFailure(result.report);
            EXPECT_TRUE(result.out == input);
            continue;
        }
        ExpectRefused(input, "node of " + std::to_string(size) + " bytes");
        EXPECT_EQ(result.report.kind, FailureKind::Malformed) << size;
        EXPECT_EQ(DescribeFailure(result.report), "node size is smaller than its 96-byte header (chunk 'HELP', offset 16)")
            << size;
    }
}

// A track the converter does not know: it and everything after it up to the end of its node is
// copied unchanged; tracks before it are still reduced.
TEST(BadInput, UnknownTrackTagCopiesTheRestOfItsNode)
{
    const WrittenModel model = WriteModel(FullModelPlan(800));
    std::size_t nodeAt = 0;
    int tracks = 0;
    for (const Mark& mark : model.marks) {
        if (mark.kind == kMarkNodeSize)
            nodeAt = mark.offset;
        if (mark.kind != kMarkTag || !IsReducedTrack(FieldAt(model.bytes, mark.offset)))
            continue;
        ++tracks;
        const std::string input = WithField(model.bytes, mark.offset, TagOf("KGXX"));
        const std::size_t nodeEnd = nodeAt + static_cast<std::size_t>(FieldAt(model.bytes, nodeAt));
        std::string expected = ExpectedOutput(model);
        expected.replace(mark.offset, nodeEnd - mark.offset, input, mark.offset, nodeEnd - mark.offset);
        const Outcome outcome = Convert(input);
        ASSERT_EQ(outcome.result.converted, 1) << "track at " << mark.offset << ": " << outcome.result.report.reason;
        EXPECT_EQ(outcome.result.out, expected) << "track at " << mark.offset;
    }
    EXPECT_GT(tracks, 10);
}

// A geoset with 4 bytes more than its fields, its size and its chunk's size grown to match; and
// a geoset whose size falls 4 bytes short of its fields.
TEST(BadInput, GeosetOutOfStepWithItsSizeIsRefused)
{
    for (std::int32_t version : kVersions) {
        const WrittenModel model = WriteModel(FullModelPlan(version));
        std::size_t chunkSizeAt = 0;
        int geosets = 0;
        for (const Mark& mark : model.marks) {
            if (mark.kind == kMarkChunkSize)
                chunkSizeAt = mark.offset;
            if (mark.kind != kMarkGeosetSize)
                continue;
            ++geosets;
            const std::int32_t size = FieldAt(model.bytes, mark.offset);
            std::string longer = WithField(model.bytes, mark.offset, size + 4);
            longer = WithField(longer, chunkSizeAt, FieldAt(model.bytes, chunkSizeAt) + 4);
            longer.insert(mark.offset + static_cast<std::size_t>(size), "UVBS");
            const std::string what = "geoset at " + std::to_string(mark.offset);
            EXPECT_EQ(ExpectRefused(longer, what + ", 4 bytes longer").report.kind, FailureKind::Malformed) << what;
            ExpectRefused(WithField(model.bytes, mark.offset, size - 4), what + ", 4 bytes short");
        }
        EXPECT_GE(geosets, 3);
    }
}

TEST(BadInput, ChunkClaimingMoreThanTheFileHoldsIsRefused)
{
    for (std::int32_t version : kVersions) {
        const WrittenModel model = WriteModel(FullModelPlan(version));
        for (const Mark& mark : model.marks) {
            if (mark.kind != kMarkChunkSize)
                continue;
            const std::int32_t rest = static_cast<std::int32_t>(model.bytes.size() - mark.offset - 4);
            for (std::int32_t size : {rest + 1, rest + 4096, 0x40000000})
                ExpectRefused(WithField(model.bytes, mark.offset, size),
                              "chunk size at " + std::to_string(mark.offset) + " set to " + std::to_string(size));
        }
    }
}

// A texture coordinate set count of 0x7FFFFFFF where the input ends: the walk stops at the end
// of the input at once. It runs in a child limited to two seconds of processor time, a thousand
// times what it needs, so that a walk that went on counting sets fails here instead of hanging.
TEST(BadInput, HugeTextureCoordinateSetCountAtTheEndOfTheInputFailsAtOnce)
{
    const WrittenModel model = WriteModel(FullModelPlan(1000));
    std::size_t setCountAt = 0;
    for (std::size_t m = 1; m < model.marks.size(); ++m) {
        const Mark& previous = model.marks[m - 1];
        if (model.marks[m].kind == kMarkCount && previous.kind == kMarkTag &&
            FieldAt(model.bytes, previous.offset) == TagOf("UVAS"))
            setCountAt = model.marks[m].offset;
    }
    ASSERT_NE(setCountAt, 0u);
    const std::string input = WithField(model.bytes, setCountAt, 0x7FFFFFFF).substr(0, setCountAt + 4);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        const rlimit cpu{2, 2};
        setrlimit(RLIMIT_CPU, &cpu);
        const StreamResult result = ConvertBytes(input);
        _exit(result.converted == 0 && result.report.kind == FailureKind::Truncated ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the conversion ran out of processor time (signal " << WTERMSIG(status)
                                   << "): the walk went on past the end of the input";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the conversion did not fail as truncated";
}

// The tool's own earlier output, given to it again: converted, and unchanged.
TEST(BadInput, EarlierOutputConvertsToItself)
{
    for (std::int32_t version : kVersions) {
        const std::string reduced = ExpectedOutput(WriteModel(FullModelPlan(version)));
        const Outcome outcome = Convert(reduced);
        ASSERT_EQ(outcome.result.converted, 1) << outcome.result.report.reason;
        EXPECT_EQ(outcome.result.out, reduced);
    }
}

// Through the path entry a refused input leaves no file: neither an output nor a temporary file,
// and an earlier output stays as it was.
using BadInputFiles = ScratchFolder;

TEST_F(BadInputFiles, RefusedInputLeavesNoFileBehind)
{
    for (const BadInput& bad : BadInputsOf(WriteModel(FullModelPlan(800)))) {
        const std::string input = Path("bad-" + bad.name);
        WriteFile(input, bad.bytes);
        const std::string output = Path("out_dezavivi.mdx");
        ConversionReport report;
        const std::size_t before = liveBytes.load();
        peakBytes = before;
        EXPECT_EQ(ConvertModelWithReport(input.c_str(), output.c_str(), report), 0) << input;
        EXPECT_LT(peakBytes.load() - before, kMaxPathConversionMemory) << input;
        EXPECT_FALSE(fs::exists(output)) << input;

        WriteFile(output, "earlier");
        EXPECT_EQ(ConvertModelWithReport(input.c_str(), output.c_str(), report), 0) << input;
        EXPECT_EQ(ReadFile(output), "earlier") << input;
        fs::remove(output);
    }
    for (const std::string& name : Names())
        EXPECT_EQ(name.rfind("bad", 0), 0u) << "left behind: " << name;
}
