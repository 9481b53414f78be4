#include "measuring_sink.h"

#include <cstdio>
#include <cstring>
#include <vector>

MeasuringSink::MeasuringSink(int deflating) : deflating(deflating)
{
    std::memset(&stream, 0, sizeof stream);
    if (deflating)
        deflateInit(&stream, Z_DEFAULT_COMPRESSION);
    setp(pending, pending + kBufferSize);
}

MeasuringSink::~MeasuringSink()
{
    if (deflating)
        deflateEnd(&stream);
}

// Passes count bytes to deflate and counts what comes out; with Z_FINISH, until the end.
void MeasuringSink::Consume(const char* data, std::size_t count, int flush)
{
    if (!deflating)
        return;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    stream.avail_in = static_cast<uInt>(count);
    do {
        stream.next_out = compressed;
        stream.avail_out = kBufferSize;
        deflate(&stream, flush);
        deflated += kBufferSize - stream.avail_out;
    } while (stream.avail_out == 0);
}

void MeasuringSink::ConsumeBuffered(int flush)
{
    Consume(pbase(), static_cast<std::size_t>(pptr() - pbase()), flush);
    setp(pending, pending + kBufferSize);
}

MeasuringSink::int_type MeasuringSink::overflow(int_type c)
{
    ConsumeBuffered(Z_NO_FLUSH);
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

std::streamsize MeasuringSink::xsputn(const char* data, std::streamsize count)
{
    // Large writes go to deflate directly, in pieces it can take, after what is buffered.
    if (count < static_cast<std::streamsize>(kBufferSize))
        return std::streambuf::xsputn(data, count);
    ConsumeBuffered(Z_NO_FLUSH);
    for (std::streamsize done = 0; done < count;) {
        const std::streamsize piece = count - done < (1 << 30) ? count - done : (1 << 30);
        Consume(data + done, static_cast<std::size_t>(piece), Z_NO_FLUSH);
        done += piece;
    }
    return count;
}

int MeasuringSink::sync()
{
    return 0;
}

std::uint64_t MeasuringSink::FinishDeflate()
{
    ConsumeBuffered(Z_FINISH);
    return deflating ? deflated : 0;
}

int DeflatedFileSize(const char* path, std::uint64_t& deflatedSize)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return 0;
    MeasuringSink sink(1);
    // Its own block, not a shared one: several workers may measure at once.
    std::vector<char> block(256 * 1024);
    std::size_t got;
    while ((got = std::fread(block.data(), 1, block.size(), file)) > 0)
        sink.sputn(block.data(), static_cast<std::streamsize>(got));
    const int readFailed = std::ferror(file);
    std::fclose(file);
    deflatedSize = sink.FinishDeflate();
    return !readFailed;
}
