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

constexpr std::int32_t kModelMagic = 0x584C444D;     // "MDLX", the first four bytes of every model
constexpr std::int32_t kTagVersion = 0x53524556;     // "VERS", body: the model version
constexpr std::int32_t kTagBone = 0x454E4F42;        // "BONE"
constexpr std::int32_t kTagHelper = 0x504C4548;      // "HELP"
constexpr std::int32_t kTagGeoset = 0x534F4547;      // "GEOS"
constexpr std::int32_t kTagTranslation = 0x5254474B; // "KGTR"
constexpr std::int32_t kTagRotation = 0x5452474B;    // "KGRT"
constexpr std::int32_t kTagScaling = 0x4353474B;     // "KGSC"
constexpr std::int32_t kTagTangents = 0x474E4154;    // "TANG", geosets of versions above 800
constexpr std::int32_t kTagSkin = 0x4E494B53;        // "SKIN", geosets of versions above 800

static_assert(kModelMagic == TagFromLetters("MDLX"));
static_assert(kTagVersion == TagFromLetters("VERS"));
static_assert(kTagBone == TagFromLetters("BONE"));
static_assert(kTagHelper == TagFromLetters("HELP"));
static_assert(kTagGeoset == TagFromLetters("GEOS"));
static_assert(kTagTranslation == TagFromLetters("KGTR"));
static_assert(kTagRotation == TagFromLetters("KGRT"));
static_assert(kTagScaling == TagFromLetters("KGSC"));
static_assert(kTagTangents == TagFromLetters("TANG"));
static_assert(kTagSkin == TagFromLetters("SKIN"));

// Every reduced float keeps its two high-order bytes: sign, exponent and the top 7 mantissa bits.
constexpr int kKeptBytes = 2;
