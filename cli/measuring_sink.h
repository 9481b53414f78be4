#pragma once

// A sink that stores nothing: it accepts every byte and, when asked, measures the size the bytes
// deflate to with zlib at its default level (the compression models are shipped in).

#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <streambuf>

class MeasuringSink : public std::streambuf {
public:
    explicit MeasuringSink(int deflating);
    ~MeasuringSink() override;
    MeasuringSink(const MeasuringSink&) = delete;
    MeasuringSink& operator=(const MeasuringSink&) = delete;

    // Ends the deflate stream and stores its whole size in deflatedSize. Returns 1 on success, 0
    // when not deflating or when deflate could not start or failed on the way (the size is then
    // unknown). Nothing may be written after it.
    int FinishDeflate(std::uint64_t& deflatedSize);

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize count) override;
    int sync() override;

private:
    void Consume(const char* data, std::size_t count, int flush);
    void ConsumeBuffered(int flush);

    static const std::size_t kBufferSize = 64 * 1024; // one deflate step; any size works
    int deflating; // a deflate stream was started (and must be ended)
    int failed = 0; // deflate could not start or failed: the size is unknown
    z_stream stream;
    std::uint64_t deflated = 0;
    char pending[kBufferSize];
    unsigned char compressed[kBufferSize];
};

// Deflates the file at path and stores the compressed size in deflatedSize. Returns 1 on
// success, 0 when the file cannot be opened or read or deflate fails.
int DeflatedFileSize(const std::filesystem::path& path, std::uint64_t& deflatedSize);
