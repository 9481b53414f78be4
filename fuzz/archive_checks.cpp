#include "archive_checks.h"

#include "archive_convert.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Converts bytes through C runtime files in memory; out receives the new archive.
int ConvertInMemory(const std::string& bytes, std::string& out, ArchiveReport& report)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* output = open_memstream(&buffer, &size);
    if (output == nullptr)
        return -1;
    const auto openInput = [&bytes]() -> std::FILE* {
        // fmemopen takes no empty buffer; an empty input is a file of no bytes all the same.
        return bytes.empty() ? std::fopen("/dev/null", "rb")
                             : fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    };
    const int written = ConvertArchiveFiles(openInput, output, ArchiveOptions(), report);
    std::fclose(output);
    out.assign(buffer, size);
    std::free(buffer);
    return written;
}

} // namespace

std::string CheckArchiveConversion(const std::string& input)
{
    std::string out;
    ArchiveReport report;
    const int written = ConvertInMemory(input, out, report);
    if (written < 0)
        return "cannot open a memory stream";
    if (!written)
        return report.kind != ArchiveFailure::None && !report.reason.empty() ? "" : "a refusal without a reason";
    if (out.size() != report.sizeAfter)
        return "the report's size " + std::to_string(report.sizeAfter) + " is not the output's " +
               std::to_string(out.size());
    if (report.sizeBefore != input.size())
        return "the report's input size is not the input's";
    std::string again;
    ArchiveReport againReport;
    if (ConvertInMemory(out, again, againReport) != 1)
        return "the output is refused: " + againReport.reason;
    if (again != out)
        return "the output does not convert to itself";
    if (againReport.models.size() != report.models.size())
        return "the output holds another number of models";
    return "";
}
