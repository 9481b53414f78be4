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
