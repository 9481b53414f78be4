#include "map_request.h"

#include "archive_text.h"
#include "file_path.h"
#include "output_name.h"

int ConvertDroppedMap(const std::filesystem::path& map, ArchiveReport& report)
{
    return ConvertArchive(FilePath(map), FilePath(MakeOutputPath(map)), ArchiveOptions(), report);
}

void ListMapFailures(const std::string& name, const ArchiveReport& report, std::vector<std::string>& failures)
{
    if (!report.written) {
        failures.push_back(name + ": " + report.reason);
        return;
    }
    for (const ArchiveModel& model : report.models) {
        if (!model.reduced)
            failures.push_back(name + ": " + DescribeKeptModel(model) + " (kept unchanged)");
    }
}

void ShowMapReport(HWND window, const std::string& inputPath, const ArchiveReport& report, std::size_t maxListed)
{
    if (!report.written) {
        const std::string text = "Error dezaroing " + inputPath + "\n" + report.reason;
        MessageBoxA(window, text.c_str(), "Error", MB_ICONERROR);
        return;
    }
    std::string text = "Dezavivi " + std::to_string(CountReducedModels(report)) + " models to\n" +
                       MakeOutputName(inputPath.c_str()) + "\n" + DescribeMapSizes(report.sizeBefore, report.sizeAfter);
    const std::size_t kept = CountKeptModels(report);
    if (kept == 0) {
        MessageBoxA(window, text.c_str(), "Success", MB_OK);
        return;
    }
    text += "\nKept " + std::to_string(kept) + " models unchanged:";
    std::size_t listed = 0;
    for (const ArchiveModel& model : report.models) {
        if (!model.reduced && listed++ < maxListed)
            text += "\n" + DescribeKeptModel(model);
    }
    if (kept > maxListed)
        text += "\nand " + std::to_string(kept - maxListed) + " more";
    MessageBoxA(window, text.c_str(), "Warning", MB_ICONWARNING);
}
