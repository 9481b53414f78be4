#include "value_reduction.h"

int ValuesPerElement(ReducedKind kind)
{
    switch (kind) {
    case ReducedKind::Tangent:
    case ReducedKind::Rotation: return 4;
    case ReducedKind::Extent: return 7;
    case ReducedKind::TextureCoordinate: return 2;
    default: return 3;
    }
}

const char* KindWord(ReducedKind kind)
{
    // By ReducedKind.
    static const char* const kWords[kReducedKindCount] = {"positions",  "normals",      "tangents",
                                                          "texture_coordinates", "extents", "translations",
                                                          "rotations",  "scalings"};
    return kWords[static_cast<int>(kind)];
}

bool AreSettingsValid(const ConversionSettings& settings)
{
    for (const int keptBits : settings.keptBits) {
        if (keptBits < kFewestKeptBits || keptBits > kMostKeptBits)
            return false;
    }
    return true;
}

FieldRule FieldRuleOf(int keptBits, Rounding rounding)
{
    const int dropped = kMostKeptBits - keptBits;
    const bool rounds = rounding == Rounding::Nearest && dropped > 0;
    const std::uint32_t halfLess = rounds ? (1u << (dropped - 1)) - 1u : 0u;
    return {KeptBitsMask(keptBits), halfLess, rounds ? 1u : 0u, dropped};
}

std::uint32_t ReduceBits(std::uint32_t bits, int keptBits, Rounding rounding)
{
    const FieldRule rule = FieldRuleOf(keptBits, rounding);
    return ReduceField(bits, rule.keep, rule.halfLess, rule.odd, rule.dropped);
}
