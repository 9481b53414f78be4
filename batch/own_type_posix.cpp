#include "own_type.h"

#include <system_error>

std::filesystem::file_type OwnType(const std::filesystem::directory_entry& entry)
{
    std::error_code error;
    const std::filesystem::file_status own = entry.symlink_status(error);
    return error ? std::filesystem::file_type::not_found : own.type();
}
