#include "value_changes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr double kDegreesPerRadian = 57.295779513082320876798;

// Normals, tangents and rotations are directions: their change is an angle in degrees.
bool IsMeasuredAsAngle(ReducedKind kind)
{
    return kind == ReducedKind::Normal || kind == ReducedKind::Tangent || kind == ReducedKind::Rotation;
}

// A kind's word as the text line writes it: "texture coordinates" for "texture_coordinates".
std::string TextWord(ReducedKind kind)
{
    std::string word = KindWord(kind);
    std::replace(word.begin(), word.end(), '_', ' ');
    return word;
}

double FloatOf(std::uint32_t bits)
{
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The angle in radians between the n-vectors a and b, or -1 when either has zero length. Taken as
// 2 atan2(|a' - b'|, |a' + b'|) of the unit vectors, which keeps its precision for the tiny
// angles of a reduction, where acos of their cosine would not.
double AngleBetween(const double* a, const double* b, int n)
{
    double lengthA = 0;
    double lengthB = 0;
    for (int i = 0; i < n; ++i) {
        lengthA += a[i] * a[i];
        lengthB += b[i] * b[i];
    }
    if (lengthA == 0 || lengthB == 0)
        return -1;
    lengthA = std::sqrt(lengthA);
    lengthB = std::sqrt(lengthB);
    double difference = 0;
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        difference += (a[i] / lengthA - b[i] / lengthB) * (a[i] / lengthA - b[i] / lengthB);
        sum += (a[i] / lengthA + b[i] / lengthB) * (a[i] / lengthA + b[i] / lengthB);
    }
    return 2 * std::atan2(std::sqrt(difference), std::sqrt(sum));
}

// The angle in degrees between one element's directions before and after: the xyz of a normal or
// tangent, or the rotation between two quaternions, twice the angle between them as 4-vectors.
// Every component keeps its sign, so q.q' >= 0 and q' never needs turning into -q'. -1 when one
// has zero length.
double DirectionChange(ReducedKind kind, const double* original, const double* reduced)
{
    if (kind != ReducedKind::Rotation)
        return AngleBetween(original, reduced, 3) * kDegreesPerRadian;
    return 2 * AngleBetween(original, reduced, 4) * kDegreesPerRadian;
}

// Normals, tangents and rotations: one angle per whole element, of finite values only.
void ObserveDirections(ValueChanges& changes, ReducedKind kind, const std::uint32_t* original,
                       const std::uint32_t* reduced, std::size_t count)
{
    const std::size_t size = static_cast<std::size_t>(ValuesPerElement(kind));
    double& largest = changes.largest[static_cast<int>(kind)];
    for (std::size_t first = 0; first < count; first += size) {
        double before[4] = {};
        double after[4] = {};
        bool finite = true;
        for (std::size_t i = 0; i < size && first + i < count; ++i) {
            before[i] = FloatOf(original[first + i]);
            after[i] = FloatOf(reduced[first + i]);
            if (!std::isfinite(before[i]) || !std::isfinite(after[i])) {
                ++changes.nonFinite;
                finite = false;
            }
        }
        if (finite && first + size <= count)
            largest = std::max(largest, DirectionChange(kind, before, after));
    }
}

// "0.0039", "0.24", "412", "3.1e+38": two significant digits, whole units from 100 to a million.
std::string FormatFigure(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, value >= 100 && value < 1e6 ? "%.0f" : "%.2g", value);
    return text;
}

} // namespace

void ObserveValueChanges(void* context, ReducedKind kind, const std::uint32_t* original, const std::uint32_t* reduced,
                         std::size_t count)
{
    ValueChanges& changes = *static_cast<ValueChanges*>(context);
    const int k = static_cast<int>(kind);
    changes.values[k] += static_cast<std::int64_t>(count);
    if (IsMeasuredAsAngle(kind))
        return ObserveDirections(changes, kind, original, reduced, count);
    for (std::size_t i = 0; i < count; ++i) {
        const double before = FloatOf(original[i]);
        const double after = FloatOf(reduced[i]);
        if (!std::isfinite(before) || !std::isfinite(after)) {
            ++changes.nonFinite;
            continue;
        }
        // Exact: two floats this close differ by a double without rounding.
        changes.largest[k] = std::max(changes.largest[k], std::fabs(before - after));
        if (kind == ReducedKind::Position)
            changes.modelSize = std::max(changes.modelSize, std::fabs(before));
    }
}

void AddValueChanges(const ValueChanges& file, ValueChanges& batch)
{
    for (int k = 0; k < kReducedKindCount; ++k) {
        batch.largest[k] = std::max(batch.largest[k], file.largest[k]);
        batch.values[k] += file.values[k];
    }
    batch.modelSize = std::max(batch.modelSize, file.modelSize);
    batch.nonFinite += file.nonFinite;
}

std::string DescribeValueChanges(const ValueChanges& changes)
{
    std::string line;
    for (int k = 0; k < kReducedKindCount; ++k) {
        if (changes.values[k] == 0)
            continue;
        const ReducedKind kind = static_cast<ReducedKind>(k);
        line += std::string(line.empty() ? "" : ", ") + TextWord(kind) + " " + FormatFigure(changes.largest[k]);
        if (IsMeasuredAsAngle(kind))
            line += "\xC2\xB0"; // the degree sign in UTF-8
        else if (kind == ReducedKind::Position)
            line += " of " + FormatFigure(changes.modelSize) + " units";
    }
    if (line.empty())
        line = "no values reduced";
    if (changes.nonFinite > 0)
        line += "; " + std::to_string(changes.nonFinite) +
                (changes.nonFinite == 1 ? " non-finite value" : " non-finite values") + " left out";
    return "largest change: " + line;
}

std::string ValueChangeKey(ReducedKind kind)
{
    return std::string(KindWord(kind)) + (IsMeasuredAsAngle(kind) ? "_degrees" : "");
}
