#include "archive_checks.h"

#include "archive_convert.h"

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

// Opens the input as a C runtime file in memory, as often as the conversion asks.
std::function<std::FILE*()> InputOpener(const std::string& bytes)
{
    return [&bytes]() -> std::FILE* {
        // fmemopen takes no empty buffer; an empty input is a file of no bytes all the same.
        return bytes.empty() ? std::fopen("/dev/null", "rb")
                             : fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    };
}

// Converts bytes through C runtime files in memory; out receives the new archive.
int ConvertInMemory(const std::string& bytes, std::string& out, ArchiveReport& report)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* output = open_memstream(&buffer, &size);
    if (output == nullptr)
        return -1;
    const int written = ConvertArchiveFiles(InputOpener(bytes), output, ArchiveOptions(), report);
    std::fclose(output);
    out.assign(buffer, size);
    std::free(buffer);
    return written;
}

// What a dry run over input says that the conversion (written, report) did not; "" when nothing.
std::string CompareDryRun(const std::string& input, int written, const ArchiveReport& report)
{
    ArchiveReport dry;
    const int dryWritten = ConvertArchiveFiles(InputOpener(input), nullptr, ArchiveOptions(), dry);
    if (dryWritten != written)
        return written ? "a dry run refuses what is written: " + dry.reason
                       : "a dry run would write what is refused: " + report.reason;
    if (!written)
        return dry.kind == report.kind ? "" : "a dry run refuses for another reason: " + dry.reason;
    if (dry.sizeAfter != report.sizeAfter)
        return "a dry run's size " + std::to_string(dry.sizeAfter) + " is not the output's " +
               std::to_string(report.sizeAfter);
    if (CountReducedModels(dry) != CountReducedModels(report) || dry.models.size() != report.models.size())
        return "a dry run reduces other models";
    return "";
}

} // namespace

std::string CheckArchiveConversion(const std::string& input)
{
    std::string out;
    ArchiveReport report;
    const int written = ConvertInMemory(input, out, report);
    if (written < 0)
        return "cannot open a memory stream";
    if (!written && (report.kind == ArchiveFailure::None || report.reason.empty()))
        return "a refusal without a reason";
    const std::string dryRun = CompareDryRun(input, written, report);
    if (!dryRun.empty() || !written)
        return dryRun;
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
