#include "file_streams.h"

#include <algorithm>
#include <cstring>

namespace {

// Below this a request is served from the buffer, refilled as needed; from it on, reading straight
// into the caller's memory saves a copy and costs no more system calls.
constexpr std::streamsize kDirectReadSize = 64 * 1024;

} // namespace

FileInput::FileInput(std::FILE* file, char* buffer, std::size_t size) : file_(file), buffer_(buffer), size_(size)
{
    setg(buffer_, buffer_, buffer_);
}

FileInput::int_type FileInput::underflow()
{
    // A short read has met the end of the file; asking again would cost a system call for nothing.
    if (gptr() == egptr() && !std::feof(file_)) {
        const std::size_t got = std::fread(buffer_, 1, size_, file_);
        fetched_ += static_cast<std::int64_t>(got);
        setg(buffer_, buffer_, buffer_ + got);
    }
    return gptr() == egptr() ? traits_type::eof() : traits_type::to_int_type(*gptr());
}

std::streamsize FileInput::xsgetn(char* bytes, std::streamsize n)
{
    // Most requests are fields and short tracks that the buffer holds.
    if (n <= egptr() - gptr()) {
        std::memcpy(bytes, gptr(), static_cast<std::size_t>(n));
        gbump(static_cast<int>(n));
        return n;
    }
    std::streamsize done = 0;
    while (done < n) {
        if (gptr() == egptr() && std::feof(file_))
            return done;
        if (gptr() == egptr() && n - done >= kDirectReadSize) {
            const std::size_t got = std::fread(bytes + done, 1, static_cast<std::size_t>(n - done), file_);
            fetched_ += static_cast<std::int64_t>(got);
            return done + static_cast<std::streamsize>(got);
        }
        if (gptr() == egptr() && traits_type::eq_int_type(underflow(), traits_type::eof()))
            return done;
        const std::streamsize part = std::min<std::streamsize>(egptr() - gptr(), n - done);
        std::memcpy(bytes + done, gptr(), static_cast<std::size_t>(part));
        gbump(static_cast<int>(part));
        done += part;
    }
    return done;
}

FileInput::pos_type FileInput::seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode which)
{
    if (offset != 0 || direction != std::ios_base::cur || !(which & std::ios_base::in))
        return pos_type(off_type(-1));
    return pos_type(off_type(fetched_ - (egptr() - gptr())));
}

FileOutput::FileOutput(std::FILE* file) : file_(file) {}

FileOutput::int_type FileOutput::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    return std::fputc(traits_type::to_char_type(c), file_) == EOF ? traits_type::eof() : c;
}

std::streamsize FileOutput::xsputn(const char* bytes, std::streamsize n)
{
    return static_cast<std::streamsize>(std::fwrite(bytes, 1, static_cast<std::size_t>(n), file_));
}

int FileOutput::sync()
{
    return std::fflush(file_) == 0 ? 0 : -1;
}
