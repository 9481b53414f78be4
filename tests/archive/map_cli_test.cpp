// Maps through the command-line tool, run as a separate process over a StormLib-built map: the
// line per map, a line per kept model, --json, --dry-run --stats, the walk under -r, the exit
// status, refusals that write nothing, and the same bytes from one worker as from two.

#include "scratch_folder.h"
#include "storm_maps.h"
#include "test_support.h"

#include <StormLib.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the tool in folder with args (each quoted for the shell).
ToolRun RunTool(const fs::path& folder, const std::vector<std::string>& args)
{
    std::string command = "cd '" + folder.string() + "' && '" DURIDODI_TOOL "'";
    for (const std::string& arg : args)
        command += " '" + arg + "'";
    command += " >.out 2>.err";
    const int status = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(folder / ".out");
    run.err = ReadFile(folder / ".err");
    fs::remove(folder / ".out");
    fs::remove(folder / ".err");
    return run;
}

std::vector<nlohmann::json> JsonLines(const std::string& text)
{
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line));
    return lines;
}

constexpr std::uint32_t kSectored = MPQ_FILE_COMPRESS | MPQ_FILE_SECTOR_CRC;

// Five models over several sectors (enough for two workers to share), one file that is named as a
// model and is none, and a file that is no model.
StormMapPlan ToolPlan()
{
    StormMapPlan plan;
    plan.attributeFlags = MPQ_ATTRIBUTE_CRC32;
    for (std::uint32_t seed = 1; seed <= 5; ++seed)
        plan.files.push_back({"units\\unit" + std::to_string(seed) + ".mdx",
                              WriteModel(RandomModelPlan(seed, 800), seed).bytes, kSectored, MPQ_COMPRESSION_ZLIB});
    plan.files.push_back({"textures\\bad.mdx", "BLP1" + std::string(5000, 'x'), kSectored, MPQ_COMPRESSION_ZLIB});
    plan.files.push_back({"war3map.j", std::string(9000, 'j'), kSectored, MPQ_COMPRESSION_ZLIB});
    return plan;
}

std::string Percent(std::uint64_t before, std::uint64_t after)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", 100.0 * (double(before) - double(after)) / double(before));
    return text;
}

using MapCommandLine = ScratchFolder;

TEST_F(MapCommandLine, MapIsWrittenBesideItWithItsLineTheKeptModelAndTheSameBytesOnTwoWorkers)
{
    fs::create_directories(dir / "maps");
    ASSERT_EQ(BuildStormMap(dir / "maps" / "td.w3x", ToolPlan()), "");
    const std::uint64_t before = fs::file_size(dir / "maps" / "td.w3x");

    const ToolRun one = RunTool(dir, {"-j", "1", "maps/td.w3x"});
    EXPECT_EQ(one.status, 1); // a model was kept
    ASSERT_TRUE(fs::exists(dir / "maps" / "td_dezavivi.w3x"));
    const std::uint64_t after = fs::file_size(dir / "maps" / "td_dezavivi.w3x");
    EXPECT_LT(after, before);
    EXPECT_EQ(one.out, "maps/td.w3x -> maps/td_dezavivi.w3x: 5 models reduced, 1 kept; " + std::to_string(before) +
                           " -> " + std::to_string(after) + " bytes (" + Percent(before, after) + " smaller)\n");
    EXPECT_EQ(one.err.rfind("duridodi: maps/td.w3x: textures\\bad.mdx kept unchanged: ", 0), 0u) << one.err;
    EXPECT_NE(one.err.find("not an MDX model"), std::string::npos) << one.err;
    EXPECT_EQ(std::count(one.err.begin(), one.err.end(), '\n'), 1);

    // StormLib reads the output: the kept file as it was, a model as its loose conversion.
    std::vector<StormEntry> was;
    std::vector<StormEntry> is;
    ASSERT_TRUE(ReadStormMap(dir / "maps" / "td.w3x", was));
    ASSERT_TRUE(ReadStormMap(dir / "maps" / "td_dezavivi.w3x", is));
    ASSERT_EQ(is.size(), was.size());
    for (std::size_t i = 0; i < is.size(); ++i) {
        EXPECT_EQ(is[i].verify & VERIFY_FILE_ERROR_MASK, 0u) << is[i].name;
        if (is[i].name == "units\\unit3.mdx") {
            EXPECT_EQ(FirstDifference(is[i].content, ConvertBytes(was[i].content).out), -1);
        } else if (is[i].name == "textures\\bad.mdx") {
            EXPECT_EQ(is[i].content, was[i].content);
        }
    }

    const ToolRun two = RunTool(dir, {"-j", "2", "-q", "-o", "two.w3x", "maps/td.w3x"});
    EXPECT_EQ(two.status, 1);
    EXPECT_EQ(two.out, "");
    EXPECT_EQ(FirstDifference(ReadFile(dir / "two.w3x"), ReadFile(dir / "maps" / "td_dezavivi.w3x")), -1);

    // The output named as the input is refused, and the map is as it was.
    const std::string map = ReadFile(dir / "maps" / "td.w3x");
    const ToolRun same = RunTool(dir, {"-o", "maps/../maps/td.w3x", "maps/td.w3x"});
    EXPECT_EQ(same.status, 1);
    EXPECT_NE(same.err.find("is the input file itself"), std::string::npos) << same.err;
    EXPECT_EQ(ReadFile(dir / "maps" / "td.w3x"), map);
}

TEST_F(MapCommandLine, RecursiveJsonListsEachMapsModelsSkipsEarlierOutputsAndRefusesBrokenMaps)
{
    fs::create_directories(dir / "maps");
    ASSERT_EQ(BuildStormMap(dir / "maps" / "a.W3M", ToolPlan()), "");
    // An earlier output, a truncated map, and a loose model beside them.
    fs::copy_file(dir / "maps" / "a.W3M", dir / "maps" / "old_dezavivi.w3x");
    const std::string whole = ReadFile(dir / "maps" / "a.W3M");
    ASSERT_TRUE(WriteFile(dir / "maps" / "b.mpq", whole.substr(0, whole.size() / 2)));
    ASSERT_TRUE(WriteFile(dir / "maps" / "c.mdx", WriteModel(FullModelPlan(800)).bytes));

    const ToolRun run = RunTool(dir, {"--json", "-r", "maps"});
    EXPECT_EQ(run.status, 1);
    const std::vector<nlohmann::json> lines = JsonLines(run.out);
    ASSERT_EQ(lines.size(), 4u) << run.out;
    const nlohmann::json& a = lines[0];
    EXPECT_EQ(a["input"], "maps/a.W3M");
    EXPECT_EQ(a["output"], "maps/a_dezavivi.W3M");
    EXPECT_EQ(a["map"], true);
    EXPECT_EQ(a["converted"], true);
    EXPECT_EQ(a["models_reduced"], 5);
    EXPECT_EQ(a["models_kept"], 1);
    EXPECT_EQ(a["output_bytes"], fs::file_size(dir / "maps" / "a_dezavivi.W3M"));
    ASSERT_EQ(a["models"].size(), 6u);
    std::int64_t floats = 0;
    for (const nlohmann::json& model : a["models"]) {
        const bool bad = model["name"] == "textures\\bad.mdx";
        EXPECT_EQ(model["reduced"], !bad) << model;
        EXPECT_EQ(model["error"].is_null(), !bad) << model;
        floats += model["floats_reduced"].get<std::int64_t>();
        if (bad) {
            EXPECT_EQ(model["error"]["kind"], "not_a_model");
        }
    }
    EXPECT_GT(floats, 0);
    EXPECT_EQ(a["floats_reduced"], floats);
    const nlohmann::json& b = lines[1];
    EXPECT_EQ(b["input"], "maps/b.mpq");
    EXPECT_EQ(b["converted"], false);
    EXPECT_EQ(b["output"], nullptr);
    EXPECT_EQ(b["error"]["kind"], "truncated") << b;
    EXPECT_EQ(lines[2]["input"], "maps/c.mdx");
    EXPECT_EQ(lines[2]["converted"], true);
    const nlohmann::json& summary = lines[3];
    EXPECT_EQ(summary["converted"], 2);
    EXPECT_EQ(summary["failed"], 1);
    EXPECT_EQ(summary["skipped"], 1);
    EXPECT_EQ(summary["map_models_reduced"], 5);
    EXPECT_EQ(summary["map_models_kept"], 1);
    EXPECT_EQ(summary["kept_bits"], a["kept_bits"]);
    EXPECT_EQ(a["kept_bits"]["rotations"], 16);
    EXPECT_FALSE(fs::exists(dir / "maps" / "b_dezavivi.mpq"));
    EXPECT_FALSE(fs::exists(dir / "maps" / "old_dezavivi_dezavivi.w3x"));

    // A dry run with --stats gives the same line, the largest changes and a summary, and writes
    // nothing; the map's line and the summary name the bits kept, as a model's line does.
    fs::remove(dir / "maps" / "a_dezavivi.W3M");
    fs::remove(dir / "maps" / "c_dezavivi.mdx");
    const ToolRun dry = RunTool(dir, {"--dry-run", "--stats", "--keep-bits", "rotations=20", "maps/a.W3M"});
    EXPECT_EQ(dry.status, 1);
    std::istringstream out(dry.out);
    std::string line;
    ASSERT_TRUE(std::getline(out, line));
    EXPECT_EQ(line.rfind("maps/a.W3M -> maps/a_dezavivi.W3M: 5 models reduced, 1 kept; bits kept: rotations 20; ", 0),
              0u)
        << line;
    EXPECT_NE(line.find(" (dry run, nothing written)"), std::string::npos) << line;
    ASSERT_TRUE(std::getline(out, line));
    EXPECT_EQ(line.rfind("largest change: positions ", 0), 0u) << line;
    ASSERT_TRUE(std::getline(out, line));
    EXPECT_EQ(line.rfind("summary: 1 converted, 0 failed, 0 skipped; ", 0), 0u) << line;
    EXPECT_NE(line.find("; 1 map: 5 models reduced, 1 kept; bits kept: rotations 20 (dry run"), std::string::npos)
        << line;
    EXPECT_FALSE(fs::exists(dir / "maps" / "a_dezavivi.W3M"));
}

} // namespace
