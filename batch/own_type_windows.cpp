#include "own_type.h"

#include <windows.h>

#include <string>
#include <system_error>

// The Windows runtime's std::filesystem reads links through (it has no lstat), so the reparse
// point attribute is asked for directly; a path past MAX_PATH needs the "\\?\" form for that.
std::filesystem::file_type OwnType(const std::filesystem::directory_entry& entry)
{
    std::wstring path = entry.path().native();
    if (path.size() >= MAX_PATH && path.rfind(L"\\\\", 0) != 0) {
        std::error_code absoluteError;
        const std::filesystem::path absolute = std::filesystem::absolute(entry.path(), absoluteError);
        if (!absoluteError)
            path = L"\\\\?\\" + absolute.lexically_normal().make_preferred().native();
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::filesystem::file_type::not_found;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return std::filesystem::file_type::symlink;
    std::error_code error;
    const std::filesystem::file_status own = entry.symlink_status(error);
    return error ? std::filesystem::file_type::not_found : own.type();
}
