#include "storm_maps.h"

#include <StormLib.h>

#include <algorithm>
#include <tuple>

std::string BuildStormMap(const std::filesystem::path& path, const StormMapPlan& plan)
{
    SFILE_CREATE_MPQ create = {};
    create.cbSize = sizeof(create);
    create.dwMpqVersion = MPQ_FORMAT_VERSION_1;
    create.dwFileFlags1 = plan.listfile ? MPQ_FILE_DEFAULT_INTERNAL : 0;
    create.dwFileFlags2 = plan.attributeFlags != 0 ? MPQ_FILE_DEFAULT_INTERNAL : 0;
    create.dwAttrFlags = plan.attributeFlags;
    create.dwSectorSize = 4096;
    create.dwMaxFileCount = plan.hashTableSize;
    HANDLE archive = nullptr;
    if (!SFileCreateArchive2(path.c_str(), &create, &archive))
        return "SFileCreateArchive2 failed: " + std::to_string(GetLastError());
    std::string problem;
    for (const StormFile& file : plan.files) {
        HANDLE handle = nullptr;
        if (!SFileCreateFile(archive, file.name.c_str(), 0x01D0000012345678ull, static_cast<DWORD>(file.content.size()),
                             file.locale, file.flags, &handle) ||
            !SFileWriteFile(handle, file.content.data(), static_cast<DWORD>(file.content.size()), file.compression) ||
            !SFileFinishFile(handle)) {
            problem = "cannot add " + file.name + ": " + std::to_string(GetLastError());
            break;
        }
    }
    for (const std::string& name : plan.removed)
        if (problem.empty() && !SFileRemoveFile(archive, name.c_str(), 0))
            problem = "cannot remove " + name;
    if (!SFileCloseArchive(archive) && problem.empty())
        problem = "SFileCloseArchive failed";
    return problem;
}

bool ReadStormMap(const std::filesystem::path& path, std::vector<StormEntry>& entries)
{
    entries.clear();
    HANDLE archive = nullptr;
    if (!SFileOpenArchive(path.c_str(), 0, MPQ_OPEN_READ_ONLY | MPQ_OPEN_CHECK_SECTOR_CRC, &archive))
        return false;
    SFILE_FIND_DATA found;
    HANDLE search = SFileFindFirstFile(archive, "*", &found, nullptr);
    for (bool more = search != nullptr; more; more = SFileFindNextFile(search, &found)) {
        StormEntry entry;
        entry.name = found.cFileName;
        entry.locale = static_cast<std::uint16_t>(found.lcLocale);
        entry.size = found.dwFileSize;
        SFileSetLocale(found.lcLocale);
        HANDLE file = nullptr;
        if (SFileOpenFileEx(archive, entry.name.c_str(), SFILE_OPEN_FROM_MPQ, &file)) {
            entry.content.resize(SFileGetFileSize(file, nullptr));
            DWORD got = 0;
            const DWORD size = static_cast<DWORD>(entry.content.size());
            entry.read = size == 0 || (SFileReadFile(file, &entry.content[0], size, &got, nullptr) && got == size);
            SFileCloseFile(file);
        }
        entry.verify = SFileVerifyFile(archive, entry.name.c_str(), SFILE_VERIFY_ALL);
        entries.push_back(entry);
    }
    if (search != nullptr)
        SFileFindClose(search);
    SFileSetLocale(0);
    SFileCloseArchive(archive);
    std::sort(entries.begin(), entries.end(), [](const StormEntry& a, const StormEntry& b) {
        return std::tie(a.name, a.locale) < std::tie(b.name, b.locale);
    });
    return true;
}
