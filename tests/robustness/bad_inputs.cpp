#include "bad_inputs.h"

std::string TextureFile()
{
    std::string bytes = "BLP1";
    bytes.resize(1024);
    PutFieldAt(bytes, 4, 1);    // compression: palette
    PutFieldAt(bytes, 8, 8);    // alpha bits
    PutFieldAt(bytes, 12, 64);  // width
    PutFieldAt(bytes, 16, 64);  // height
    for (std::size_t i = 28; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 37 + 11);
    return bytes;
}

std::string WithField(const std::string& bytes, std::size_t offset, std::int32_t value)
{
    std::string patched = bytes;
    PutFieldAt(patched, offset, value);
    return patched;
}

namespace {

// The offset of the first mark of kind, 0 if there is none.
std::size_t FirstMark(const std::vector<Mark>& marks, MarkKind kind)
{
    for (const Mark& mark : marks) {
        if (mark.kind == kind)
            return mark.offset;
    }
    return 0;
}

} // namespace

std::vector<BadInput> BadInputsOf(const WrittenModel& model)
{
    const std::string& bytes = model.bytes;
    return {{"empty.mdx", std::string()},
            {"texture.mdx", TextureFile()},
            {"cut.mdx", bytes.substr(0, bytes.size() * 2 / 3)},
            {"negative-count.mdx", WithField(bytes, FirstMark(model.marks, kMarkCount), -1)},
            {"huge-chunk.mdx", WithField(bytes, FirstMark(model.marks, kMarkChunkSize), 0x7FFFFFFF)}};
}
