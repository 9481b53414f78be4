#include "model_reduce.h"

#include "model_convert.h"

#include <zlib.h>

#include <istream>
#include <ostream>
#include <streambuf>

namespace {

// The decompressed model as the core's source, without a copy; the position query gives the
// offset in the model for the core's reports.
struct MemoryInput : std::streambuf {
    explicit MemoryInput(std::string& bytes)
    {
        char* start = bytes.empty() ? nullptr : &bytes[0];
        setg(start, start, start + bytes.size());
    }

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode which) override
    {
        if (offset != 0 || direction != std::ios_base::cur || !(which & std::ios_base::in))
            return pos_type(off_type(-1));
        return pos_type(off_type(gptr() - eback()));
    }
};

// The core's output appended to a string.
struct StringOutput : std::streambuf {
    explicit StringOutput(std::string& bytes) : bytes_(bytes) {}

protected:
    std::streamsize xsputn(const char* bytes, std::streamsize n) override
    {
        bytes_.append(bytes, static_cast<std::size_t>(n));
        return n;
    }
    int_type overflow(int_type c) override
    {
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            bytes_ += traits_type::to_char_type(c);
        return traits_type::not_eof(c);
    }

private:
    std::string& bytes_;
};

} // namespace

void ReduceArchiveModel(std::FILE* input, const Archive& archive, std::uint32_t blockIndex, std::uint32_t key,
                        const ConversionSettings& settings, ReducedModel& result)
{
    const BlockEntry& block = archive.blocks[blockIndex];
    ArchiveModel& model = result.model;
    model.block = blockIndex;
    model.size = block.realSize;
    model.storedBefore = block.storedSize;
    model.storedAfter = block.storedSize;
    std::string content;
    ReadError error;
    if (input == nullptr) {
        model.keptReason = "cannot read the input";
        return;
    }
    if (!ReadFileContent(input, archive, block, key, content, error)) {
        model.keptReason = error.reason;
        return;
    }
    std::string reduced;
    try {
        reduced.reserve(content.size());
        MemoryInput sourceBuffer(content);
        std::istream source(&sourceBuffer);
        StringOutput sinkBuffer(reduced);
        std::ostream sink(&sinkBuffer);
        if (!ConvertModelStream(source, sink, settings, model.report)) {
            model.keptReason = DescribeFailure(model.report);
            return;
        }
        // The input is let go before the packed copy is made: two copies of a model at most.
        std::string().swap(content);
        result.crc32 = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(reduced.data()), static_cast<uInt>(reduced.size())));
        result.packed = PackFile(reduced, block.flags, archive.sectorSize);
    } catch (const std::bad_alloc&) {
        model.keptReason = "not enough memory for the model";
        result.packed = PackedFile();
        return;
    }
    model.reduced = true;
    model.storedAfter = result.packed.bytes.size();
}
