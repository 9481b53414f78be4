// The stream primitives: 32-bit fields, blocks and reduced values, byte by byte.

#include "stream_io.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

std::string Bytes(std::initializer_list<unsigned> values)
{
    std::string bytes;
    for (unsigned value : values)
        bytes += static_cast<char>(value);
    return bytes;
}

// A run of n bytes that never repeats within 251, so a lost or doubled piece shows.
std::string Pattern(std::size_t n)
{
    std::string bytes(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>(1 + i % 251);
    return bytes;
}

std::streamoff Position(std::istream& source)
{
    return source.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in);
}

} // namespace

// ---- ReadInt32, WriteInt32, CopyInt32

TEST(ReadInt32, TakesTheFirstByteAsTheLeastSignificant)
{
    std::istringstream source(Bytes({0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(ReadInt32(source), 0x12345678);
    EXPECT_EQ(ReadInt32(source), -1);
    EXPECT_TRUE(source.good());
}

TEST(ReadInt32, ShortReadFillsTheLowBytesThenFails)
{
    std::istringstream source(Bytes({0x01, 0x02}));
    EXPECT_EQ(ReadInt32(source), 0x0201);
    EXPECT_TRUE(source.eof());
    EXPECT_TRUE(source.fail());
    EXPECT_EQ(ReadInt32(source), 0);
}

TEST(WriteInt32, WritesLittleEndian)
{
    std::ostringstream sink;
    WriteInt32(sink, 0x454E4F42);
    WriteInt32(sink, -2);
    EXPECT_EQ(sink.str(), "BONE" + Bytes({0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST(CopyInt32, WritesOnlyTheBytesOfAShortField)
{
    std::istringstream source(Bytes({0xAB}));
    std::ostringstream sink;
    EXPECT_EQ(CopyInt32(source, sink), 0xAB);
    EXPECT_EQ(HexBytes(sink.str()), "AB");
    EXPECT_TRUE(source.fail());
}

// ---- Reduction (the rule itself is checked value by value in value_reduction_test)

// A conversion's settings keeping bits of every kind.
static ConversionSettings Keeping(int keptBits, Rounding rounding = Rounding::TowardZero)
{
    ConversionSettings settings;
    for (int& bits : settings.keptBits)
        bits = keptBits;
    settings.rounding = rounding;
    return settings;
}

TEST(CopyReducedValues, DefaultSettingsTruncateToTwoHighBytesAndNeverRound)
{
    // 1.1f, -0.1f, and 1.0039062f (0x3F80FFFF), which rounding would carry into 0x3F810000.
    std::istringstream source(Int32Bytes(0x3F8CCCCD) + Int32Bytes(0xBDCCCCCD) + Int32Bytes(0x3F80FFFF));
    std::ostringstream sink;
    CopyReducedValues(source, sink, 1, 0, 3, ReducedKind::Position, ConversionSettings());
    EXPECT_EQ(sink.str(), Int32Bytes(0x3F8C0000) + Int32Bytes(0xBDCC0000) + Int32Bytes(0x3F800000));
}

TEST(CopyReducedValues, NonPositiveCountLeavesBothStreamsAloneAndABadShapeFailsTheSource)
{
    for (std::int64_t n : {0, -1, -5}) {
        std::istringstream source(Bytes({0x11, 0x22, 0x33, 0x44}));
        std::ostringstream sink;
        CopyReducedValues(source, sink, n, 1, 3, ReducedKind::Translation, ConversionSettings());
        EXPECT_EQ(sink.str(), "") << "n = " << n;
        EXPECT_TRUE(source.good());
        EXPECT_TRUE(sink.good());
        EXPECT_EQ(Position(source), 0);
    }
    const int badShapes[][2] = {{0, 0}, {2, 3}, {1, 13}, {0, -1}}; // frame fields, values per group
    for (const auto& shape : badShapes) {
        std::istringstream source(Pattern(64));
        std::ostringstream sink;
        CopyReducedValues(source, sink, 1, shape[0], shape[1], ReducedKind::Rotation, ConversionSettings());
        EXPECT_TRUE(source.fail()) << shape[0] << " " << shape[1];
        EXPECT_EQ(sink.str(), "");
    }
}

// Keys of a Bezier rotation (a frame time and 12 values, 52 bytes) and plain values, over more
// than one block: frame times pass unchanged, every value is reduced by the rule, whatever the
// bits and rounding. The values climb through the exponents, so that after some 64 KB of finite
// ones a run meets the infinities and NaNs, where rounding leaves its ordinary way for the whole
// rule in the middle of a run and of its lanes.
TEST(CopyReducedValues, RunsBeyondOneBlockKeepingFrameTimes)
{
    for (const int keptBits : {16, 21}) {
        for (const Rounding rounding : {Rounding::TowardZero, Rounding::Nearest}) {
            for (const int frameFields : {0, 1}) {
                const std::uint32_t kGroups = frameFields ? 6000 : 30000;
                std::string input, expected;
                for (std::uint32_t group = 0; group < kGroups; ++group) {
                    if (frameFields) {
                        input += Int32Bytes(0x3C000000u + group * 0x10001u + 1);
                        expected += Int32Bytes(0x3C000000u + group * 0x10001u + 1);
                    }
                    for (std::uint32_t v = 0; v < 12; ++v) {
                        const std::uint32_t value = 0x3F800000u + (group * 12 + v) * 0x10003u + 1;
                        input += Int32Bytes(value);
                        expected += Int32Bytes(ReduceBits(value, keptBits, rounding));
                    }
                }
                std::istringstream source(input + "TAIL");
                std::ostringstream sink;
                CopyReducedValues(source, sink, kGroups, frameFields, 12, ReducedKind::Rotation,
                                  Keeping(keptBits, rounding));
                EXPECT_TRUE(sink.str() == expected) << keptBits << " bits, rounding " << (rounding == Rounding::Nearest)
                                                    << ", " << frameFields << " frame fields";
                EXPECT_EQ(ReadInt32(source), 0x4C494154); // "TAIL" is still there
            }
        }
    }
}

// A run of finite values with one that needs the whole rule, at each place of the first looks
// ahead in turn: the largest finite value, which must not round up to infinity, or a NaN, which
// must stay one. Wherever it lies, in whatever lane of a vector, it is rounded by the whole rule
// (a frame time that looks like one is kept), and every other value as before.
TEST(CopyReducedValues, AValueThatNeedsTheWholeRuleIsFoundWhereverItLies)
{
    constexpr std::uint32_t kGroups = 200; // more than two looks ahead, of 256 fields each
    for (const std::uint32_t frameFields : {0u, 1u}) {
        const std::uint32_t groupFields = frameFields + 12;
        for (std::uint32_t place = 0; place < 600; ++place) {
            std::string input, expected;
            for (std::uint32_t field = 0; field < kGroups * groupFields; ++field) {
                const std::uint32_t value =
                    field != place ? 0x3F800000u + field * 0x1003u + 0x8000u : place % 2 ? 0x7F7FFFFFu : 0x7F800001u;
                input += Int32Bytes(value);
                const bool frame = field % groupFields < frameFields;
                expected += Int32Bytes(frame ? value : ReduceBits(value, 16, Rounding::Nearest));
            }
            std::istringstream source(input);
            std::ostringstream sink;
            CopyReducedValues(source, sink, kGroups, static_cast<int>(frameFields), 12, ReducedKind::Rotation,
                              Keeping(16, Rounding::Nearest));
            ASSERT_TRUE(sink.str() == expected) << "at field " << place << ", " << frameFields << " frame fields";
        }
    }
}

// A value cut by the end of the input is written as far as it was read, its dropped bits
// cleared: with 20 bits kept, 11 22 33 (the start of a value 0x44332211) becomes 00 20 33, also
// when the whole values are rounded.
TEST(CopyReducedValues, ShortInputWritesWhatItReadWithTheCutValueTruncated)
{
    const std::string whole = Bytes({0x11, 0x22, 0x33});
    const std::string reduced = Bytes({0x00, 0x20, 0x33});
    for (const Rounding rounding : {Rounding::TowardZero, Rounding::Nearest}) {
        for (std::size_t cut = 0; cut <= 3; ++cut) {
            std::istringstream source(Int32Bytes(0x3F8CCCCD) + whole.substr(0, cut));
            std::ostringstream sink;
            CopyReducedValues(source, sink, 100, 0, 2, ReducedKind::TextureCoordinate, Keeping(20, rounding));
            EXPECT_TRUE(source.fail());
            const std::uint32_t first = rounding == Rounding::Nearest ? 0x3F8CD000u : 0x3F8CC000u;
            EXPECT_EQ(HexBytes(sink.str()), HexBytes(Int32Bytes(first) + reduced.substr(0, cut))) << cut;
        }
    }
}

// ---- CopyBlock

TEST(CopyBlock, ZeroBytesLeavesBothStreamsAlone)
{
    std::istringstream source("abcd");
    std::ostringstream sink;
    CopyBlock(source, sink, 0);
    EXPECT_EQ(sink.str(), "");
    EXPECT_TRUE(source.good());
    EXPECT_TRUE(sink.good());
    EXPECT_EQ(Position(source), 0);
}

TEST(CopyBlock, NegativeLengthFailsSourceAndSink)
{
    std::istringstream source("abcd");
    std::ostringstream sink;
    CopyBlock(source, sink, -4);
    EXPECT_EQ(sink.str(), "");
    EXPECT_TRUE(source.eof());
    EXPECT_TRUE(source.fail());
    EXPECT_TRUE(sink.bad());
}

TEST(CopyBlock, CopiesExactlyNBytes)
{
    std::istringstream source("abcdefgh");
    std::ostringstream sink;
    CopyBlock(source, sink, 5);
    EXPECT_EQ(sink.str(), "abcde");
    EXPECT_TRUE(source.good());
    EXPECT_EQ(Position(source), 5);
}

TEST(CopyBlock, LongerThanTheInputWritesOnlyWhatWasRead)
{
    std::istringstream source("abc");
    std::ostringstream sink;
    CopyBlock(source, sink, 10);
    EXPECT_EQ(sink.str(), "abc");
    EXPECT_TRUE(source.fail());
}

TEST(CopyBlock, HugeDeclaredLengthOnSmallInputWritesOnlyTheInput)
{
    // A size field claiming 2 GB must neither be allocated nor invent output.
    std::istringstream source(Pattern(1000));
    std::ostringstream sink;
    CopyBlock(source, sink, 0x7FFFFFFF);
    EXPECT_TRUE(sink.str() == Pattern(1000));
    EXPECT_TRUE(source.fail());
}

TEST(CopyBlock, RunsBeyondOneBuffer)
{
    // 64 KiB * 3 + 7: several whole buffers and a partial one.
    const std::string block = Pattern(3 * 65536 + 7);
    std::istringstream source(block + "TAIL");
    std::ostringstream sink;
    CopyBlock(source, sink, static_cast<std::int64_t>(block.size()));
    EXPECT_TRUE(sink.str() == block);
    EXPECT_EQ(ReadInt32(source), 0x4C494154);
}

// ---- CopyRest and the termination predicate

TEST(CopyRest, CopiesEverythingLeftAndFailsTheSource)
{
    const std::string rest = Pattern(70000);
    std::istringstream source("HEAD" + rest);
    std::ostringstream sink;
    ReadInt32(source);
    CopyRest(source, sink);
    EXPECT_TRUE(sink.str() == rest);
    EXPECT_TRUE(source.fail());
    EXPECT_TRUE(source.eof());
}

TEST(IsWalkOver, TrueOnceEitherStreamHasFailed)
{
    std::istringstream source("ab");
    std::ostringstream sink;
    EXPECT_FALSE(IsWalkOver(source, sink));
    ReadInt32(source);
    EXPECT_TRUE(IsWalkOver(source, sink));

    std::istringstream fresh("abcd");
    sink.setstate(std::ios::badbit);
    EXPECT_TRUE(IsWalkOver(fresh, sink));
}
