#pragma once

// The two files of a conversion as stream buffers over the C runtime's files, with buffers the
// caller keeps from file to file. The C runtime is used rather than the standard file streams
// because a temporary file must be created only where none exists, which the file streams of
// C++17 cannot ask for, and because input buffers of the caller's size cost no allocation.
// Both files are to be unbuffered (setvbuf _IONBF): every call below goes to the system.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <streambuf>

// Reads file in pieces of the caller's buffer (size bytes): a small model takes one read. A
// request of at least kDirectReadSize bytes beyond what is buffered is read straight into the
// caller's memory. The position query (pubseekoff(0, cur, in)) gives the offset in the file;
// nothing else seeks. A read error ends the input as the end of the file would; ferror(file)
// tells the two apart.
struct FileInput : std::streambuf {
    FileInput(std::FILE* file, char* buffer, std::size_t size);

    // The next n bytes where they lie in the buffer, or null when fewer are buffered. The caller
    // may change them before it moves past them with Consume: nothing reads them again.
    char* Buffered(std::streamsize n) const { return egptr() - gptr() >= n ? gptr() : nullptr; }
    // How many bytes the buffer holds beyond those consumed.
    std::streamsize Held() const { return egptr() - gptr(); }
    void Consume(std::streamsize n) { gbump(static_cast<int>(n)); }

protected:
    int_type underflow() override;
    std::streamsize xsgetn(char* bytes, std::streamsize n) override;
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode which) override;

private:
    std::FILE* file_;
    char* buffer_;
    std::size_t size_;
    std::int64_t fetched_ = 0; // bytes taken from the file so far
};

// Hands every write straight to file; for use under a BlockedOutput, which gathers them. A write
// the file takes in part is reported as such, which makes the stream over it bad.
struct FileOutput : std::streambuf {
    explicit FileOutput(std::FILE* file);

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* bytes, std::streamsize n) override;
    int sync() override;

private:
    std::FILE* file_;
};
