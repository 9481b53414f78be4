// The output name rule shared by the window tool and the command-line tool.

#include "output_name.h"

#include <gtest/gtest.h>

#include <string>

TEST(MakeOutputName, ReplacesTheExtensionWithTheSuffix)
{
    EXPECT_EQ(MakeOutputName("a.mdx"), "a_dezavivi.mdx");
    EXPECT_EQ(MakeOutputName("models/orc.mdx"), "models/orc_dezavivi.mdx");
}

TEST(MakeOutputName, KeepsTheDirectoryAndWritesTheSuffixInLowerCase)
{
    EXPECT_EQ(MakeOutputName("C:\\models\\tree.MDX"), "C:\\models\\tree_dezavivi.mdx");
    EXPECT_EQ(MakeOutputName("C:\\models\\tree.Mdx"), "C:\\models\\tree_dezavivi.mdx");
}

TEST(MakeOutputName, NameThatIsOnlyTheExtension)
{
    EXPECT_EQ(MakeOutputName(".mdx"), "_dezavivi.mdx");
}

TEST(MakeOutputName, ConvertingAnOutputAgainAddsTheSuffixAgain)
{
    EXPECT_EQ(MakeOutputName("a_dezavivi.mdx"), "a_dezavivi_dezavivi.mdx");
}

TEST(MakeOutputName, LongestInputGivesTheLongestPath)
{
    // 250 characters in, 259 out: the longest path the window tool can hand on.
    const std::string input = std::string(246, 'p') + ".mdx";
    ASSERT_EQ(input.size(), 250u);
    const std::string output = MakeOutputName(input.c_str());
    EXPECT_EQ(output.size(), 259u);
    EXPECT_EQ(output, std::string(246, 'p') + "_dezavivi.mdx");
}

TEST(HasModelExtension, AcceptsMdxInAnyLetterCase)
{
    for (const char* path : {"a.mdx", "a.MDX", "a.Mdx", "a.mDx", "a.mdX", ".mdx", "C:\\m\\x.MdX", "dir.mdx/b.mdx"})
        EXPECT_TRUE(HasModelExtension(path)) << path;
}

TEST(HasModelExtension, RefusesOtherEndings)
{
    for (const char* path : {"model.mdx.bak", "mdx", ".md", "", "a.mdl", "a_mdx", "a.mdxx", "a.mdx ", "amdx",
                             "a.mdx/", "a.mx", "a.m\xC4x"})
        EXPECT_FALSE(HasModelExtension(path)) << path;
}

TEST(MapNames, MapsKeepTheirExtensionAsWrittenAndEarlierOutputsOfBothKindsAreKnown)
{
    EXPECT_EQ(MakeOutputName("maps/td.w3x"), "maps/td_dezavivi.w3x");
    EXPECT_EQ(MakeOutputName("C:\\maps\\TD.W3M"), "C:\\maps\\TD_dezavivi.W3M");
    EXPECT_EQ(MakeOutputName("a.Mpq"), "a_dezavivi.Mpq");
    for (const char* path : {"a.w3x", "a.W3X", "a.w3m", "a.MPQ", ".mpq"})
        EXPECT_TRUE(HasMapExtension(path) && HasConvertibleExtension(path) && !HasModelExtension(path)) << path;
    for (const char* path : {"a.w3x.bak", "a.w3", "a.mp", "w3x", "a.w3n", "a.mdx"})
        EXPECT_FALSE(HasMapExtension(path)) << path;
    for (const char* path : {"a_dezavivi.mdx", "a_DEZAVIVI.W3X", "a_dezavivi.w3m", "a_dezavivi.mpq"})
        EXPECT_TRUE(IsOutputName(path)) << path;
    for (const char* path : {"a_dezavivi.txt", "a_dezavivi", "dezavivi.w3x", "a.w3x", "a_dezavivi.w3x.bak"})
        EXPECT_FALSE(IsOutputName(path)) << path;
}
