#include "own_type.h"

#include <windows.h>

#include <system_error>

// The Windows runtime's std::filesystem reads links through (it has no lstat), so the reparse
// point attribute is asked for directly.
std::filesystem::file_type OwnType(const std::filesystem::directory_entry& entry)
{
    const DWORD attributes = GetFileAttributesW(entry.path().c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::filesystem::file_type::not_found;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return std::filesystem::file_type::symlink;
    std::error_code error;
    const std::filesystem::file_status own = entry.symlink_status(error);
    return error ? std::filesystem::file_type::not_found : own.type();
}
