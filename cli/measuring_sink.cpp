#include "measuring_sink.h"

#include "stream_io.h"

#include <cstring>
#include <fstream>
#include <vector>

MeasuringSink::MeasuringSink(int deflating) : deflating(deflating)
{
    std::memset(&stream, 0, sizeof stream);
    if (deflating && deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK) {
        this->deflating = 0;
        failed = 1;
    }
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
    if (!deflating || failed)
        return;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    stream.avail_in = static_cast<uInt>(count);
    int result;
    do {
        stream.next_out = compressed;
        stream.avail_out = kBufferSize;
        result = deflate(&stream, flush);
        deflated += kBufferSize - stream.avail_out;
    } while (stream.avail_out == 0);
    // Z_BUF_ERROR only says that no progress was possible; a finished stream must have ended.
    if (result == Z_STREAM_ERROR || (flush == Z_FINISH && result != Z_STREAM_END))
        failed = 1;
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

int MeasuringSink::FinishDeflate(std::uint64_t& deflatedSize)
{
    ConsumeBuffered(Z_FINISH);
    deflatedSize = deflated;
    return deflating && !failed;
}

int DeflatedFileSize(const std::filesystem::path& path, std::uint64_t& deflatedSize)
{
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open())
        return 0;
    MeasuringSink sink(1);
    // Its own block, not a shared one: several workers may measure at once.
    std::vector<char> block(kBlockSize);
    while (file.read(block.data(), static_cast<std::streamsize>(block.size())) || file.gcount() > 0)
        sink.sputn(block.data(), file.gcount());
    const int deflated = sink.FinishDeflate(deflatedSize);
    return deflated && !file.bad();
}
