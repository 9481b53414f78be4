#pragma once

#include <cstdint>

// Four-letter tags as the 32-bit little-endian numbers their bytes form in the file.
constexpr std::int32_t TagFromLetters(const char* letters)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<unsigned char>(letters[0])) |
                                     static_cast<std::uint32_t>(static_cast<unsigned char>(letters[1])) << 8 |
                                     static_cast<std::uint32_t>(static_cast<unsigned char>(letters[2])) << 16 |
                                     static_cast<std::uint32_t>(static_cast<unsigned char>(letters[3])) << 24);
}

constexpr std::int32_t kModelMagic = TagFromLetters("MDLX"); // the first four bytes of every model
constexpr std::int32_t kTagVersion = TagFromLetters("VERS"); // body: the model version
constexpr std::int32_t kTagBone = TagFromLetters("BONE");
constexpr std::int32_t kTagHelper = TagFromLetters("HELP");
constexpr std::int32_t kTagGeoset = TagFromLetters("GEOS");
constexpr std::int32_t kTagTranslation = TagFromLetters("KGTR");
constexpr std::int32_t kTagRotation = TagFromLetters("KGRT");
constexpr std::int32_t kTagScaling = TagFromLetters("KGSC");
constexpr std::int32_t kTagTangents = TagFromLetters("TANG"); // geosets of versions above 800
constexpr std::int32_t kTagSkin = TagFromLetters("SKIN"); // geosets of versions above 800
