// A full disk at every point of a conversion: the output refuses every byte after the first N,
// for N at every offset of a model with every structure. Each such conversion must report that it
// could not write, and through the path entry leave neither an output nor a temporary file.

#include "bad_inputs.h"
#include "conversion_checks.h"
#include "model_convert.h"
#include "model_writer.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;

const std::int32_t kVersions[] = {800, 1000};

// Exit statuses of the child that converts under a file-size limit.
constexpr int kChildConverted = 0;
constexpr int kChildRefusedWrite = 1;
constexpr int kChildOtherFailure = 2;

TEST(FaultInjection, SinkRefusingAfterEveryOffsetFailsTheConversion)
{
    for (std::int32_t version : kVersions) {
        const WrittenModel model = WriteModel(FullModelSpec(version));
        for (std::size_t limit = 0; limit < model.bytes.size(); ++limit) {
            std::string output;
            ConversionReport report;
            ASSERT_EQ(ConvertIntoLimitedSink(model.bytes, limit, output, report), 0) << "limit " << limit;
            EXPECT_EQ(report.converted, 0);
            EXPECT_NE(report.reason.find("cannot write"), std::string::npos) << "limit " << limit << ": " << report.reason;
            EXPECT_EQ(output, ExpectedOutput(model).substr(0, limit)) << "limit " << limit;
        }
        std::string output;
        ConversionReport report;
        EXPECT_EQ(ConvertIntoLimitedSink(model.bytes, model.bytes.size(), output, report), 1) << report.reason;
        EXPECT_EQ(output, ExpectedOutput(model));
    }
}

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
        _exit(converted                                              ? kChildConverted
              : report.reason.find("cannot write") != std::string::npos ? kChildRefusedWrite
                                                                     : kChildOtherFailure);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> FilesIn(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    return names;
}

// Every field boundary of the model is a cut point (the output has the input's layout), and so
// are no room at all and one byte short of the whole output.
TEST(FaultInjection, FullDiskAtEveryFieldLeavesNoFileThroughThePathEntry)
{
    const fs::path dir = fs::temp_directory_path() / ("duridodi-full-disk-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (std::int32_t version : kVersions) {
        const std::string model = WriteModel(FullModelSpec(version)).bytes;
        const std::string input = (dir / "model.mdx").string();
        std::ofstream(input, std::ios::binary).write(model.data(), static_cast<std::streamsize>(model.size()));
        const std::string output = (dir / "model_dezavivi.mdx").string();

        std::set<std::size_t> limits{0, model.size() - 1};
        for (const Mark& mark : FieldMarks(model))
            limits.insert(mark.offset);
        ASSERT_GT(limits.size(), 100u);
        for (std::size_t limit : limits) {
            ASSERT_EQ(ConvertUnderFileSizeLimit(input, output, limit), kChildRefusedWrite) << "limit " << limit;
            EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"model.mdx"}) << "limit " << limit;
        }

        // An earlier output stays as it was.
        std::ofstream(output, std::ios::binary) << "earlier";
        ASSERT_EQ(ConvertUnderFileSizeLimit(input, output, model.size() / 2), kChildRefusedWrite);
        std::ifstream earlier(output, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(earlier), {}), "earlier");
        EXPECT_EQ(FilesIn(dir).size(), 2u);

        // With room for the whole output it converts, replacing the earlier file.
        ASSERT_EQ(ConvertUnderFileSizeLimit(input, output, model.size()), kChildConverted);
        EXPECT_EQ(fs::file_size(output), model.size());
        fs::remove(output);
    }
    fs::remove_all(dir);
}

} // namespace
