#include "test_support.h"

#include "model_convert.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

StreamResult ConvertBytes(const std::string& input)
{
    std::istringstream source(input);
    std::ostringstream sink;
    StreamResult result;
    result.converted = ConvertModelStream(source, sink, result.report);
    result.out = sink.str();
    return result;
}

ReducedKind ReducedKindOf(ValueKind kind)
{
    switch (kind) {
    case ValueKind::Position: return ReducedKind::Position;
    case ValueKind::Normal: return ReducedKind::Normal;
    case ValueKind::Tangent: return ReducedKind::Tangent;
    case ValueKind::Extent: return ReducedKind::Extent;
    case ValueKind::TextureCoordinate: return ReducedKind::TextureCoordinate;
    case ValueKind::Translation: return ReducedKind::Translation;
    case ValueKind::Rotation: return ReducedKind::Rotation;
    case ValueKind::Scaling: return ReducedKind::Scaling;
    }
    return ReducedKind::Position;
}

ConversionSettings SettingsFor(const ReductionPlan& plan)
{
    ConversionSettings settings;
    for (int k = 0; k < 8; ++k)
        settings.keptBits[static_cast<int>(ReducedKindOf(static_cast<ValueKind>(k)))] = plan.keptBits[k];
    settings.rounding = plan.nearest ? Rounding::Nearest : Rounding::TowardZero;
    return settings;
}

ReductionPlan RandomReductionPlan(std::uint32_t seed)
{
    std::mt19937 random(seed);
    const int favourites[] = {kDefaultKeptBits, kFewestKeptBits, kMostKeptBits};
    ReductionPlan plan;
    plan.nearest = random() % 2 == 1;
    for (int& bits : plan.keptBits)
        bits = random() % 4 == 0 ? favourites[random() % 3] : kFewestKeptBits + static_cast<int>(random() % 23);
    return plan;
}

std::streamsize LimitedSinkBuffer::xsputn(const char* bytes, std::streamsize n)
{
    const std::size_t room = limit - std::min(limit, written.size());
    const std::size_t accepted = std::min(room, static_cast<std::size_t>(n));
    written.append(bytes, accepted);
    return static_cast<std::streamsize>(accepted);
}

LimitedSinkBuffer::int_type LimitedSinkBuffer::overflow(int_type byte)
{
    if (traits_type::eq_int_type(byte, traits_type::eof()))
        return traits_type::not_eof(byte);
    const char c = traits_type::to_char_type(byte);
    return xsputn(&c, 1) == 1 ? byte : traits_type::eof();
}

StreamResult ConvertIntoLimitedSink(const std::string& input, std::size_t limit)
{
    std::istringstream source(input);
    LimitedSinkBuffer buffer(limit);
    std::ostream sink(&buffer);
    StreamResult result;
    result.converted = ConvertModelStream(source, sink, result.report);
    result.out = buffer.written;
    return result;
}

long long FirstDifference(const std::string& a, const std::string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    const auto differ = std::mismatch(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n), b.begin()).first;
    if (differ == a.begin() + static_cast<std::ptrdiff_t>(n) && a.size() == b.size())
        return -1;
    return differ - a.begin();
}

std::string HexBytes(const std::string& bytes)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char byte : bytes) {
        if (!text.empty())
            text += ' ';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return !file.fail();
}

std::vector<WrittenModel> OracleModels()
{
    std::vector<WrittenModel> models;
    for (std::int32_t version : {800, 900, 1000, 1100}) {
        models.push_back(WriteModel(FullModelPlan(version)));
        for (std::uint32_t seed = 1; seed <= 20; ++seed)
            models.push_back(WriteModel(RandomModelPlan(seed, version), seed));
    }
    return models;
}
