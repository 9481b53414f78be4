// The C library's fread, interposed for the program it is linked into: with
// DURIDODI_READ_FAILS_AFTER=N in the environment, a read of a file at or past byte N fails as a
// failing disk's does (the descriptor is pointed at a folder, so the system's read itself fails
// and the stream records the error), and a read of bytes (size 1) across byte N stops there. A
// file larger than N is then read up to N, and the next read fails.

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

extern "C" size_t fread(void* buffer, size_t size, size_t count, FILE* stream)
{
    using ReadFunction = size_t (*)(void*, size_t, size_t, FILE*);
    static const ReadFunction realRead = reinterpret_cast<ReadFunction>(dlsym(RTLD_NEXT, "fread"));
    const char* text = std::getenv("DURIDODI_READ_FAILS_AFTER");
    if (text == nullptr)
        return realRead(buffer, size, count, stream);
    const long limit = std::atol(text);
    const long position = std::ftell(stream);
    if (position >= limit) {
        const int folder = open("/", O_RDONLY | O_DIRECTORY);
        dup2(folder, fileno(stream));
        close(folder);
    } else if (size == 1 && count > static_cast<size_t>(limit - position)) {
        count = static_cast<size_t>(limit - position);
    }
    return realRead(buffer, size, count, stream);
}
