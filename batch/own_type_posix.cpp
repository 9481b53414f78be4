#include "own_type.h"

#include <system_error>

namespace fs = std::filesystem;

fs::file_type OwnType(const fs::directory_entry& entry)
{
    // These tests answer from the type that the listing gave, where it gave one, without a
    // system call; an entry that is no link has its own type as the type it leads to.
    std::error_code error;
    if (entry.is_symlink(error))
        return fs::file_type::symlink;
    if (!error && entry.is_directory(error))
        return fs::file_type::directory;
    if (!error && entry.is_regular_file(error))
        return fs::file_type::regular;
    const fs::file_status own = entry.symlink_status(error);
    return error ? fs::file_type::not_found : own.type();
}
