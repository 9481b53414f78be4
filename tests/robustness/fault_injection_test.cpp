// Faults of the output at every point of a conversion: a sink or a disk that refuses every byte
// after the first N, for N at every offset of a model with every structure, and a close of the
// finished output that fails. Each conversion must report that it could not write and, through
// the path entry, leave neither an output nor a temporary file.

#include "model_convert.h"
#include "scratch_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <set>
#include <sstream>

namespace {

// When set, closing a file whose name ends in ".part" (the converter's temporary output) fails
// after the file was closed, as a close that cannot write the last of its data does.
bool failTemporaryClose = false;

bool IsTemporaryOutput(FILE* stream)
{
    char link[64];
    char target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fileno(stream));
    const ssize_t length = readlink(link, target, sizeof target);
    return length > 5 && std::string(target, static_cast<std::size_t>(length)).rfind(".part") ==
                             static_cast<std::size_t>(length) - 5;
}

} // namespace

// The C library's fclose, interposed for this program: file streams close through it, and the
// dynamic linker finds this definition before the library's.
extern "C" int fclose(FILE* stream)
{
    using CloseFunction = int (*)(FILE*);
    static const CloseFunction realClose = reinterpret_cast<CloseFunction>(dlsym(RTLD_NEXT, "fclose"));
    const bool fail = failTemporaryClose && IsTemporaryOutput(stream);
    const int result = realClose(stream);
    if (!fail)
        return result;
    errno = EIO;
    return EOF;
}

namespace {

const std::int32_t kVersions[] = {800, 1000};

// Exit statuses of the child that converts under a file-size limit.
constexpr int kChildConverted = 0;
constexpr int kChildRefusedWrite = 1;
constexpr int kChildOtherFailure = 2;

// Converts input to output in a child process whose files may not grow past limit bytes (a
// full disk as the file system reports it), and returns the child's exit status.
int ConvertUnderFileSizeLimit(const std::string& input, const std::string& output, std::size_t limit)
{
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit then fails with EFBIG
        const rlimit fileSize{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
        setrlimit(RLIMIT_FSIZE, &fileSize);
        ConversionReport report;
        const int converted = ConvertModelWithReport(input.c_str(), output.c_str(), report);
        _exit(converted                                      ? kChildConverted
              : report.kind == FailureKind::CannotWrite ? kChildRefusedWrite
                                                             : kChildOtherFailure);
    }
    if (child < 0)
        return -1; // no child: a status that no test expects
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

using FaultInjectionFiles = ScratchFolder;

} // namespace

TEST(FaultInjection, SinkRefusingAfterEveryOffsetFailsTheConversion)
{
    for (std::int32_t version : kVersions) {
        const WrittenModel model = WriteModel(FullModelPlan(version));
        const std::string expected = ExpectedOutput(model);
        for (std::size_t limit = 0; limit < model.bytes.size(); ++limit) {
            const StreamResult result = ConvertIntoLimitedSink(model.bytes, limit);
            ASSERT_EQ(result.converted, 0) << "limit " << limit;
            EXPECT_EQ(result.report.converted, 0);
            EXPECT_EQ(result.report.kind, FailureKind::CannotWrite) << "limit " << limit << ": " << result.report.reason;
            EXPECT_EQ(result.out, expected.substr(0, limit)) << "limit " << limit;
        }
        const StreamResult whole = ConvertIntoLimitedSink(model.bytes, model.bytes.size());
        EXPECT_EQ(whole.converted, 1) << whole.report.reason;
        EXPECT_EQ(whole.out, expected);
    }
}

// Every field boundary of the model is a cut point (the output has the input's layout), and so
// are no room at all and one byte short of the whole output.
TEST_F(FaultInjectionFiles, FullDiskAtEveryFieldLeavesNoFileThroughThePathEntry)
{
    for (std::int32_t version : kVersions) {
        const WrittenModel model = WriteModel(FullModelPlan(version));
        const std::string input = Path("model.mdx");
        WriteFile(input, model.bytes);
        const std::string output = Path("model_dezavivi.mdx");

        std::set<std::size_t> limits{0, model.bytes.size() - 1};
        for (const Mark& mark : model.marks)
            limits.insert(mark.offset);
        ASSERT_GT(limits.size(), 100u);
        for (std::size_t limit : limits) {
            ASSERT_EQ(ConvertUnderFileSizeLimit(input, output, limit), kChildRefusedWrite) << "limit " << limit;
            EXPECT_EQ(Names(), std::vector<std::string>{"model.mdx"}) << "limit " << limit;
        }

        // An earlier output stays as it was.
        WriteFile(output, "earlier");
        ASSERT_EQ(ConvertUnderFileSizeLimit(input, output, model.bytes.size() / 2), kChildRefusedWrite);
        EXPECT_EQ(ReadFile(output), "earlier");
        EXPECT_EQ(Names().size(), 2u);

        // With room for the whole output it converts, replacing the earlier file.
        ASSERT_EQ(ConvertUnderFileSizeLimit(input, output, model.bytes.size()), kChildConverted);
        EXPECT_TRUE(ReadFile(output) == ExpectedOutput(model));
        std::filesystem::remove(output);
    }
}

// Every write succeeded, then closing the temporary file fails: the data may not be on disk, so
// the conversion fails, and neither the output nor the temporary file is left.
TEST_F(FaultInjectionFiles, FailingCloseOfTheOutputIsAFailure)
{
    WriteFile(Path("model.mdx"), WriteModel(FullModelPlan(800)).bytes);
    ConversionReport report;
    failTemporaryClose = true;
    const int converted = ConvertModelWithReport(Path("model.mdx").c_str(), Path("model_dezavivi.mdx").c_str(), report);
    failTemporaryClose = false;
    EXPECT_EQ(converted, 0);
    EXPECT_EQ(report.kind, FailureKind::CannotWrite);
    EXPECT_EQ(report.reason, "cannot write the output");
    EXPECT_EQ(Names(), std::vector<std::string>{"model.mdx"});

    // The same conversion with a close that works.
    EXPECT_EQ(ConvertModelWithReport(Path("model.mdx").c_str(), Path("model_dezavivi.mdx").c_str(), report), 1);
}

// The input's disk fails part-way through the model: through the path entry and the walk of a
// file alike, the failure is a read error, not the end of the input, and no output is left.
TEST_F(FaultInjectionFiles, ReadErrorPartWayIsAFailureToReadAndLeavesNoFile)
{
    const WrittenModel model = WriteModel(FullModelPlan(1000));
    ASSERT_GT(model.bytes.size(), 2000u);
    WriteFile(Path("model.mdx"), model.bytes);
    ConversionReport converted;
    ConversionReport walked;
    std::ostringstream sink;
    setenv("DURIDODI_READ_FAILS_AFTER", "1000", 1);
    const int convertedResult = ConvertModelWithReport(Path("model.mdx"), Path("model_dezavivi.mdx"), converted);
    const int walkedResult = WalkModelFile(Path("model.mdx"), sink, ConversionSettings(), walked);
    unsetenv("DURIDODI_READ_FAILS_AFTER");
    for (const ConversionReport* report : {&converted, &walked}) {
        EXPECT_EQ(report->kind, FailureKind::CannotRead);
        EXPECT_EQ(DescribeFailure(*report), "cannot read the input");
    }
    EXPECT_EQ(convertedResult, 0);
    EXPECT_EQ(walkedResult, 0);
    EXPECT_EQ(Names(), std::vector<std::string>{"model.mdx"});
}
