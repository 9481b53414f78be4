#include "bad_inputs.h"

#include "model_tags.h"

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

std::vector<Mark> FieldMarks(const std::string& bytes)
{
    ModelLayout layout;
    std::vector<Mark> marks;
    if (!ParseModel(bytes, layout) || !layout.complete || WriteLayout(layout, false, &marks) != bytes)
        marks.clear();
    return marks;
}

std::vector<std::size_t> ChunkBoundaries(const std::string& bytes)
{
    std::vector<std::size_t> boundaries;
    std::size_t at = 4;
    while (at + 8 <= bytes.size()) {
        boundaries.push_back(at);
        at += 8 + static_cast<std::size_t>(FieldAt(bytes, at + 4));
    }
    boundaries.push_back(bytes.size());
    return boundaries;
}

std::string WithField(const std::string& bytes, std::size_t offset, std::int32_t value)
{
    std::string patched = bytes;
    PutFieldAt(patched, offset, value);
    return patched;
}
