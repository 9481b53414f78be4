// The command-line tool, run as a separate process: exit status, stdout, stderr and the files
// it leaves, one behaviour per case. Expected outputs and reasons come from the core in-process.

#include "model_convert.h"
#include "output_name.h"
#include "scratch_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <zlib.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct RunResult {
    int status = -1; // exit status, -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// A user without root's right to read every folder, for the runs that need one.
constexpr uid_t kUnprivilegedUser = 65534;

// Starts program with args in folder, stdout and stderr captured in files named after capture,
// as user when one is given and the tests run as root. An alarm ends a run that hangs (an
// endless walk) so that it fails instead of blocking the suite.
pid_t StartProgram(const char* program, const std::vector<std::string>& args, const fs::path& folder,
                   uid_t user = 0, const std::string& capture = ".run")
{
    const fs::path outPath = folder / (capture + ".out");
    const fs::path errPath = folder / (capture + ".err");
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(127);
        const int outFile = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int errFile = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(outFile, 1);
        dup2(errFile, 2);
        if (user != 0 && geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(user) != 0 || setuid(user) != 0))
            _exit(126);
        std::vector<char*> argv{const_cast<char*>(program)};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        alarm(60);
        execv(program, argv.data());
        _exit(127);
    }
    return child;
}

// Waits for a program started with capture and collects what it printed.
RunResult FinishProgram(pid_t child, const fs::path& folder, const std::string& capture = ".run")
{
    int status = 0;
    waitpid(child, &status, 0);
    RunResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(folder / (capture + ".out"));
    result.err = ReadFile(folder / (capture + ".err"));
    fs::remove(folder / (capture + ".out"));
    fs::remove(folder / (capture + ".err"));
    return result;
}

RunResult RunProgram(const char* program, const std::vector<std::string>& args, const fs::path& folder,
                     uid_t user = 0)
{
    return FinishProgram(StartProgram(program, args, folder, user), folder);
}

RunResult Tool(const std::vector<std::string>& args, const fs::path& folder, uid_t user = 0)
{
    return RunProgram(DURIDODI_TOOL, args, folder, user);
}

std::string SuccessLine(const std::string& input, const std::string& output, const ConversionReport& report)
{
    return input + " -> " + output + ": " + std::to_string(report.floatsReduced) + " floats reduced, version " +
           std::to_string(report.version) + "\n";
}

std::uint64_t ZlibSize(const std::string& bytes)
{
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::vector<Bytef> buffer(size);
    compress2(buffer.data(), &size, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uLong>(bytes.size()),
              Z_DEFAULT_COMPRESSION);
    return size;
}

// Every file under folder with its bytes, to see that a run changed nothing.
std::map<std::string, std::string> Snapshot(const fs::path& folder)
{
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && !entry.is_symlink())
            files[entry.path().string()] = ReadFile(entry.path());
    }
    return files;
}

class CommandLine : public ScratchFolder {
protected:
    // Writes a model made by the project's model maker (kind: sample, full, random) at name.
    std::string MakeModel(const std::string& name, const std::vector<std::string>& args = {"sample"})
    {
        std::vector<std::string> all{args[0], (dir / name).string()};
        all.insert(all.end(), args.begin() + 1, args.end());
        const RunResult made = RunProgram(DURIDODI_MAKE_MODEL, all, dir);
        EXPECT_EQ(made.status, 0) << made.err;
        return ReadFile(dir / name);
    }
};

TEST_F(CommandLine, ConvertsOneModelBesideItWithTheCoresBytesAndExitsZero)
{
    const std::string input = MakeModel("tree.mdx");
    const StreamResult expected = ConvertBytes(input);
    ASSERT_EQ(expected.report.converted, 1);

    const RunResult run = Tool({"tree.mdx"}, dir);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, SuccessLine("tree.mdx", "tree_dezavivi.mdx", expected.report));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(ReadFile(dir / "tree_dezavivi.mdx"), expected.out);
    EXPECT_EQ(ReadFile(dir / "tree.mdx"), input);
}

TEST_F(CommandLine, UpperCaseExtensionIsAcceptedAndTheSuccessLineNamesTheVersion)
{
    const std::string input = MakeModel("ROCK.MDX", {"full", "1000"});
    const RunResult run = Tool({"ROCK.MDX"}, dir);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, SuccessLine("ROCK.MDX", "ROCK_dezavivi.mdx", ConvertBytes(input).report));
    EXPECT_NE(run.out.find(", version 1000\n"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir / "ROCK_dezavivi.mdx"));
}

TEST_F(CommandLine, NameWithoutModelExtensionFailsWithReason)
{
    WriteFile(dir / "model.txt", MakeModel("model.mdx"));
    const RunResult run = Tool({"model.txt"}, dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "duridodi: model.txt: not an .mdx file or a map (the name must end in .mdx, .w3x, .w3m or .mpq)\n");
}

// The whole failure line, word for word, for a file that is no model (found at offset 0) and a
// model whose chunk size is negative (found after the size); neither leaves a file.
TEST_F(CommandLine, RefusedFilesFailWithTheWholeLineAndLeaveNoFile)
{
    WriteFile(dir / "bad.mdx", "MDLY" + MakeModel("good.mdx").substr(4));
    WriteFile(dir / "negative.mdx", "MDLXTEXS" + Int32Bytes(0xFFFFFFFC) + "abcd");
    const RunResult run = Tool({"bad.mdx", "negative.mdx"}, dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "duridodi: bad.mdx: not an MDX model (the file does not start with \"MDLX\") (offset 0)\n"
                       "duridodi: negative.mdx: negative chunk size (chunk 'TEXS', offset 12)\n");
    EXPECT_EQ(Names(), (std::vector<std::string>{"bad.mdx", "good.mdx", "negative.mdx"}));
}

// A cut model ends inside the chunk the cut falls in, at the offset where the file ends.
TEST_F(CommandLine, TruncatedModelFailsAndLeavesNeitherOutputNorTemporaryFile)
{
    const std::string input = MakeModel("whole.mdx");
    const std::size_t cut = input.size() * 2 / 3;
    std::size_t chunk = 0;
    for (std::size_t start : ChunkBoundaries(input))
        chunk = start < cut ? start : chunk;
    WriteFile(dir / "cut.mdx", input.substr(0, cut));
    const RunResult run = Tool({"cut.mdx"}, dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "duridodi: cut.mdx: input ends inside a chunk (chunk '" + input.substr(chunk, 4) +
                           "', offset " + std::to_string(cut) + ")\n");
    EXPECT_EQ(Names(), (std::vector<std::string>{"cut.mdx", "whole.mdx"}));
}

TEST_F(CommandLine, MissingFileAndFolderOperandFailWithReasons)
{
    fs::create_directory(dir / "models.mdx");
    const RunResult run = Tool({"absent.mdx", "models.mdx"}, dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "duridodi: absent.mdx: cannot open the input\n"
                       "duridodi: models.mdx: is a folder (use -r to convert the models in it)\n");
}

// A folder where the output belongs: the finished copy cannot be moved onto it. The run fails,
// and the temporary file goes.
TEST_F(CommandLine, OutputThatCannotBeMovedIntoPlaceFailsAndLeavesNoTemporaryFile)
{
    MakeModel("in.mdx");
    fs::create_directory(dir / "in_dezavivi.mdx");
    const RunResult run = Tool({"in.mdx"}, dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "duridodi: in.mdx: cannot move the output into place\n");
    EXPECT_EQ(Names(), (std::vector<std::string>{"in.mdx", "in_dezavivi.mdx"}));
    EXPECT_TRUE(fs::is_empty(dir / "in_dezavivi.mdx"));
}

TEST_F(CommandLine, OneBadFileAmongGoodOnesFailsAloneAndTheOthersConvert)
{
    const std::string first = MakeModel("a.mdx");
    const std::string second = MakeModel("c.mdx", {"random", "7"});
    WriteFile(dir / "b.mdx", "MDL");
    const RunResult run = Tool({"a.mdx", "b.mdx", "c.mdx"}, dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, SuccessLine("a.mdx", "a_dezavivi.mdx", ConvertBytes(first).report) +
                           SuccessLine("c.mdx", "c_dezavivi.mdx", ConvertBytes(second).report));
    EXPECT_EQ(run.err, "duridodi: b.mdx: not an MDX model (the file does not start with \"MDLX\") (offset 0)\n");
    EXPECT_EQ(ReadFile(dir / "c_dezavivi.mdx"), ConvertBytes(second).out);
}

TEST_F(CommandLine, OutputOptionWritesTheCopyToTheGivenPath)
{
    const std::string input = MakeModel("in.mdx");
    fs::create_directory(dir / "out");
    const RunResult run = Tool({"-o", "out/copy.bin", "in.mdx"}, dir);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, SuccessLine("in.mdx", "out/copy.bin", ConvertBytes(input).report));
    EXPECT_EQ(ReadFile(dir / "out/copy.bin"), ConvertBytes(input).out);
    EXPECT_FALSE(fs::exists(dir / "in_dezavivi.mdx"));
}

TEST_F(CommandLine, OutputOptionNamingTheInputItselfIsRefusedAndTheInputKept)
{
    const std::string input = MakeModel("in.mdx");
    for (const std::string& output : std::vector<std::string>{"in.mdx", "./in.mdx", (dir / "in.mdx").string()}) {
        const RunResult run = Tool({"-o", output, "in.mdx"}, dir);
        EXPECT_EQ(run.status, 1) << output;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "duridodi: in.mdx: the output " + output + " is the input file itself\n");
        EXPECT_EQ(ReadFile(dir / "in.mdx"), input);
    }
}

TEST_F(CommandLine, OutputThatIsALinkToTheInputIsRefused)
{
    const std::string input = MakeModel("in.mdx");
    fs::create_hard_link(dir / "in.mdx", dir / "other.mdx");
    fs::create_hard_link(dir / "in.mdx", dir / "in_dezavivi.mdx");
    const RunResult viaOption = Tool({"-o", "other.mdx", "in.mdx"}, dir);
    EXPECT_EQ(viaOption.status, 1);
    EXPECT_EQ(viaOption.err, "duridodi: in.mdx: the output other.mdx is the input file itself\n");
    fs::create_symlink("in.mdx", dir / "linked.mdx");
    const RunResult viaSymlink = Tool({"-o", "linked.mdx", "in.mdx"}, dir);
    EXPECT_EQ(viaSymlink.status, 1);
    EXPECT_EQ(viaSymlink.err, "duridodi: in.mdx: the output linked.mdx is the input file itself\n");
    const RunResult viaName = Tool({"in.mdx"}, dir);
    EXPECT_EQ(viaName.status, 1);
    EXPECT_EQ(viaName.err, "duridodi: in.mdx: the output in_dezavivi.mdx is the input file itself\n");
    EXPECT_EQ(ReadFile(dir / "in.mdx"), input);
    EXPECT_EQ(fs::hard_link_count(dir / "in.mdx"), 3u);
}

TEST_F(CommandLine, UsageErrorsExitTwoAndWriteNothing)
{
    MakeModel("a.mdx");
    MakeModel("b.mdx");
    fs::create_directory(dir / "models");
    const std::vector<std::vector<std::string>> usages = {
        {}, {"-q"}, {"-x", "a.mdx"}, {"-j", "0", "a.mdx"}, {"--jobs=many", "a.mdx"}, {"a.mdx", "-o"},
        {"-o", "x.mdx", "a.mdx", "b.mdx"}, {"-r", "-o", "x.mdx", "models"}, {"-o", "x.mdx", "-o", "y.mdx", "a.mdx"},
        {"a.mdx", "--keep-bits"}, {"--keep-bits", "", "a.mdx"}, {"--keep-bits=16,,20", "a.mdx"},
        {"--keep-bits", "positions=", "a.mdx"}, {"--keep-bits", "16x", "a.mdx"},
    };
    const auto before = Snapshot(dir);
    for (const auto& args : usages) {
        const RunResult run = Tool(args, dir);
        EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("duridodi: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find("Try 'duridodi --help'"), std::string::npos);
    }
    EXPECT_EQ(Snapshot(dir), before);
    // The line names what was wrong.
    const std::vector<std::pair<std::vector<std::string>, std::string>> named = {
        {{"--keep-bits", "9"}, "--keep-bits needs a number of bits from 10 to 32, not '9'"},
        {{"--keep-bits=33"}, "--keep-bits needs a number of bits from 10 to 32, not '33'"},
        {{"--keep-bits", "rotations=22,uvs=24"}, "--keep-bits: unknown kind of value 'uvs' (the kinds: positions, "
                                                 "normals, tangents, texture_coordinates, extents, translations, "
                                                 "rotations, scalings)"},
        {{"--keep-bits", "normals=-16"}, "--keep-bits needs a number of bits from 10 to 32, not '-16'"},
    };
    for (const auto& [args, reason] : named) {
        std::vector<std::string> all = args;
        all.push_back("a.mdx");
        const RunResult run = Tool(all, dir);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, "duridodi: " + reason + "\nTry 'duridodi --help' for more information.\n");
    }
    EXPECT_EQ(Snapshot(dir), before);
}

TEST_F(CommandLine, QuietSilencesSuccessLinesButNotFailures)
{
    MakeModel("a.mdx");
    WriteFile(dir / "b.mdx", "");
    const RunResult run = Tool({"-q", "a.mdx", "b.mdx"}, dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("duridodi: b.mdx: ", 0), 0u) << run.err;
    EXPECT_TRUE(fs::exists(dir / "a_dezavivi.mdx"));
}

TEST_F(CommandLine, VersionAndHelpPrintAndConvertNothing)
{
    MakeModel("a.mdx");
    const RunResult version = Tool({"--version", "a.mdx"}, dir);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "MDX Duridodi 1.00\n");
    for (const char* option : {"-h", "--help"}) {
        const RunResult help = Tool({option}, dir);
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind("Usage: duridodi", 0), 0u);
        for (const char* word : {"-o OUT", "-r", "-q", "--dry-run", "--stats", "second pass", "Exit status"})
            EXPECT_NE(help.out.find(word), std::string::npos) << word;
        EXPECT_EQ(help.err, "");
    }
    EXPECT_FALSE(fs::exists(dir / "a_dezavivi.mdx"));
}

// models/ with good models at three depths, a bad one, an earlier output in capitals and a text file.
class RecursiveFolder : public CommandLine {
protected:
    void SetUp() override
    {
        CommandLine::SetUp();
        fs::create_directories(dir / "models/sub/deeper");
        good["models/a.mdx"] = MakeModel("models/a.mdx");
        good["models/sub/B.MDX"] = MakeModel("models/sub/B.MDX", {"full", "900"});
        good["models/sub/deeper/c.mdx"] = MakeModel("models/sub/deeper/c.mdx", {"random", "3"});
        bad = good["models/a.mdx"].substr(0, 100);
        WriteFile(dir / "models/broken.mdx", bad);
        WriteFile(dir / "models/old_DEZAVIVI.MDX", good["models/a.mdx"]); // an earlier output, however spelt
        WriteFile(dir / "models/notes.txt", "not a model");
    }

    std::map<std::string, std::string> good;
    std::string bad;
};

TEST_F(RecursiveFolder, GoodModelsConvertInSortedOrderAndTheBadOneIsNamed)
{
    const RunResult run = Tool({"-r", "models"}, dir);
    EXPECT_EQ(run.status, 1);
    std::string lines;
    long long bytesIn = 0;
    long long floats = 0;
    for (const char* name : {"models/a.mdx", "models/sub/B.MDX", "models/sub/deeper/c.mdx"}) {
        const StreamResult expected = ConvertBytes(good[name]);
        const std::string output = std::string(name).substr(0, std::string(name).size() - 4) + "_dezavivi.mdx";
        lines += SuccessLine(name, output, expected.report);
        EXPECT_EQ(ReadFile(dir / output), expected.out) << name;
        bytesIn += static_cast<long long>(good[name].size());
        floats += expected.report.floatsReduced;
    }
    lines += "summary: 3 converted, 1 failed, 1 skipped; " + std::to_string(bytesIn) + " bytes in, " +
             std::to_string(floats) + " floats reduced\n";
    EXPECT_EQ(run.out, lines);
    EXPECT_EQ(run.err, "duridodi: models/broken.mdx: " + DescribeFailure(ConvertBytes(bad).report) + "\n");
    EXPECT_FALSE(fs::exists(dir / "models/broken_dezavivi.mdx"));
    EXPECT_FALSE(fs::exists(dir / "models/old_DEZAVIVI_dezavivi.mdx"));
}

TEST_F(RecursiveFolder, DryRunReportsTheSameOutcomesAndWritesNothing)
{
    const auto before = Snapshot(dir);
    const RunResult dry = Tool({"-r", "--dry-run", "models"}, dir);
    EXPECT_EQ(Snapshot(dir), before);
    const RunResult real = Tool({"-r", "models"}, dir);
    EXPECT_EQ(dry.status, real.status);
    EXPECT_EQ(dry.err, real.err);
    // Each line of the dry run is the real line with the dry-run note.
    std::istringstream dryLines(dry.out);
    std::istringstream realLines(real.out);
    std::string dryLine;
    std::string realLine;
    int count = 0;
    while (std::getline(realLines, realLine) && std::getline(dryLines, dryLine)) {
        EXPECT_EQ(dryLine, realLine + " (dry run, nothing written)");
        ++count;
    }
    EXPECT_EQ(count, 4);
}

TEST_F(RecursiveFolder, QuietRecursiveRunPrintsOnlyTheFailure)
{
    const RunResult run = Tool({"-rq", "models"}, dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("duridodi: models/broken.mdx: ", 0), 0u);
    EXPECT_EQ(run.err.find('\r'), std::string::npos); // no progress line when stderr is a file
}

// A folder under -r that cannot be read is a failure of the run, named where the walk met it and
// counted, and the walk goes on with the rest. Root reads every folder, so the tool runs as an
// unprivileged user.
TEST_F(CommandLine, UnreadableFolderUnderRecursionIsNamedInWalkOrderAndCountedAsFailed)
{
    fs::create_directories(dir / "models/locked");
    const std::string model = MakeModel("models/a.mdx");
    WriteFile(dir / "models/b.mdx", model.substr(0, model.size() / 2));
    MakeModel("models/locked/c.mdx");
    for (const fs::path& path : {dir, dir / "models", dir / "models/a.mdx", dir / "models/b.mdx",
                                 dir / "models/locked", dir / "models/locked/c.mdx"})
        ASSERT_TRUE(geteuid() != 0 || chown(path.c_str(), kUnprivilegedUser, kUnprivilegedUser) == 0) << path;
    fs::permissions(dir / "models/locked", fs::perms::none);
    // A copy of the tool in the scratch folder, which the user can reach wherever the build lies.
    fs::copy_file(DURIDODI_TOOL, dir / "duridodi");
    const RunResult run = RunProgram((dir / "duridodi").c_str(), {"-r", "models"}, dir, kUnprivilegedUser);
    const RunResult json = RunProgram((dir / "duridodi").c_str(), {"-r", "--json", "models"}, dir, kUnprivilegedUser);
    fs::permissions(dir / "models/locked", fs::perms::owner_all);
    EXPECT_EQ(run.status, 1);
    const ConversionReport report = ConvertBytes(model).report;
    EXPECT_EQ(run.out, SuccessLine("models/a.mdx", "models/a_dezavivi.mdx", report) +
                           "summary: 1 converted, 2 failed, 0 skipped; " + std::to_string(model.size()) +
                           " bytes in, " + std::to_string(report.floatsReduced) + " floats reduced\n");
    const std::string lockedLine = "duridodi: models/locked: cannot read the folder (Permission denied)\n";
    ASSERT_GT(run.err.size(), lockedLine.size());
    EXPECT_EQ(run.err.rfind("duridodi: models/b.mdx: input ends inside a chunk", 0), 0u) << run.err;
    EXPECT_EQ(run.err.substr(run.err.size() - lockedLine.size()), lockedLine);
    EXPECT_LT(json.out.find("models/b.mdx"), json.out.find("models/locked")) << json.out;
    EXPECT_FALSE(fs::exists(dir / "models/locked/c_dezavivi.mdx"));
}

// ---- Workers (-j) and runs that share an output

// Removes every file under folder that was not in before.
void RemoveNewFiles(const fs::path& folder, const std::map<std::string, std::string>& before)
{
    for (const auto& file : Snapshot(folder))
        if (before.count(file.first) == 0)
            fs::remove(file.first);
}

TEST_F(CommandLine, ManyWorkersPrintAndWriteWhatOneWorkerDoesByteForByte)
{
    // Good and cut models in five folders, two inputs with one output, an earlier output.
    for (int i = 0; i < 40; ++i) {
        const std::string name = "tree/" + std::to_string(i % 5) + "/m" + std::to_string(i) + ".mdx";
        fs::create_directories((dir / name).parent_path());
        const std::string model = MakeModel(name, {"random", std::to_string(i)});
        if (i % 7 == 3)
            WriteFile(dir / name, model.substr(0, model.size() / 2));
    }
    WriteFile(dir / "tree/0/m0.MDX", ReadFile(dir / "tree/0/m5.mdx"));
    WriteFile(dir / "tree/1/old_dezavivi.mdx", "earlier");
    const auto before = Snapshot(dir);

    const RunResult one = Tool({"-r", "--stats", "-j", "1", "tree"}, dir);
    EXPECT_EQ(one.status, 1);
    EXPECT_NE(one.out.find("summary: 34 converted, 7 failed, 1 skipped;"), std::string::npos) << one.out;
    const auto written = Snapshot(dir);
    for (const std::vector<std::string>& jobs : {std::vector<std::string>{}, {"-j7"}, {"--jobs", "3"}}) {
        RemoveNewFiles(dir, before);
        std::vector<std::string> args{"-r", "--stats", "tree"};
        args.insert(args.end(), jobs.begin(), jobs.end());
        const RunResult many = Tool(args, dir);
        EXPECT_EQ(many.status, one.status) << ::testing::PrintToString(jobs);
        EXPECT_EQ(many.out, one.out) << ::testing::PrintToString(jobs);
        EXPECT_EQ(many.err, one.err) << ::testing::PrintToString(jobs);
        EXPECT_TRUE(Snapshot(dir) == written) << ::testing::PrintToString(jobs);
    }
}

TEST_F(CommandLine, OfTwoInputsWithOneOutputTheFirstConvertsAndTheSecondIsRefused)
{
    fs::create_directory(dir / "pair");
    const std::string first = MakeModel("pair/a.MDX", {"random", "1"});
    MakeModel("pair/a.mdx", {"random", "2"});
    const StreamResult expected = ConvertBytes(first);

    // Byte order takes a.MDX first.
    const RunResult walked = Tool({"-r", "pair"}, dir);
    EXPECT_EQ(walked.status, 1);
    EXPECT_EQ(walked.out.rfind(SuccessLine("pair/a.MDX", "pair/a_dezavivi.mdx", expected.report) +
                                   "summary: 1 converted, 1 failed, 0 skipped; ",
                               0),
              0u)
        << walked.out;
    EXPECT_EQ(walked.err,
              "duridodi: pair/a.mdx: its output pair/a_dezavivi.mdx is written by pair/a.MDX in this run\n");
    EXPECT_EQ(ReadFile(dir / "pair/a_dezavivi.mdx"), expected.out);

    // The same file named twice, in two spellings, is no other input: it is converted again.
    const RunResult named = Tool({"pair/a.MDX", "./pair/a.MDX"}, dir);
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(named.out, SuccessLine("pair/a.MDX", "pair/a_dezavivi.mdx", expected.report) +
                             SuccessLine("./pair/a.MDX", "./pair/a_dezavivi.mdx", expected.report));
    EXPECT_EQ(ReadFile(dir / "pair/a_dezavivi.mdx"), expected.out);

    // An input that fails writes nothing, so the output is the next input's; one named again
    // (a folder walked, then a folder inside it) is never refused on its own behalf.
    fs::create_directories(dir / "c/a");
    const std::string good = MakeModel("c/a.MDX", {"random", "5"});
    WriteFile(dir / "c/a.mdx", good.substr(0, good.size() / 2));
    const std::string inner = MakeModel("c/a/x.mdx", {"random", "6"});
    const RunResult taken = Tool({"-r", "-q", "c/a.mdx", "c/a.MDX", "c", "c/a"}, dir);
    EXPECT_EQ(taken.status, 1);
    const std::string cut = DescribeFailure(ConvertBytes(good.substr(0, good.size() / 2)).report);
    // The walk of c names a.MDX again (converted again), then a.mdx, refused for a.MDX.
    EXPECT_EQ(taken.err, "duridodi: c/a.mdx: " + cut + "\n" +
                             "duridodi: c/a.mdx: its output c/a_dezavivi.mdx is written by c/a.MDX in this run\n");
    EXPECT_EQ(ReadFile(dir / "c/a_dezavivi.mdx"), ConvertBytes(good).out);
    EXPECT_EQ(ReadFile(dir / "c/a/x_dezavivi.mdx"), ConvertBytes(inner).out);

    // A folder named like a model writes nothing, so it takes no output from the model after it.
    fs::create_directory(dir / "pair/b.MDX");
    const std::string second = MakeModel("pair/b.mdx", {"random", "3"});
    const RunResult folderFirst = Tool({"pair/b.MDX", "pair/b.mdx"}, dir);
    EXPECT_EQ(folderFirst.status, 1);
    EXPECT_EQ(folderFirst.err, "duridodi: pair/b.MDX: is a folder (use -r to convert the models in it)\n");
    EXPECT_EQ(ReadFile(dir / "pair/b_dezavivi.mdx"), ConvertBytes(second).out);

    // An input that another input writes is read after it is written, as in the order given,
    // even with workers to spare: the large first model would still be converting.
    const std::string large = MakeModel("pair/c.mdx", {"geometry", "12"});
    MakeModel("pair/c_dezavivi.mdx", {"random", "4"});
    const RunResult chained = Tool({"-q", "-j", "2", "pair/c.mdx", "pair/c_dezavivi.mdx"}, dir);
    EXPECT_EQ(chained.status, 0) << chained.err;
    EXPECT_EQ(ReadFile(dir / "pair/c_dezavivi_dezavivi.mdx"), ConvertBytes(ConvertBytes(large).out).out);
}

TEST_F(CommandLine, TwoRunsWritingOneOutputAtOnceLeaveOneWholeCopyAndNoTemporaryFile)
{
    const std::string geometry = ConvertBytes(MakeModel("geometry.mdx", {"geometry", "12"})).out;
    const std::string animation = ConvertBytes(MakeModel("animation.mdx", {"animation", "12"})).out;
    // Started together, the two would often pick one temporary name if it were not created
    // exclusively; a few rounds make that show.
    for (int round = 0; round < 8; ++round) {
        const pid_t first = StartProgram(DURIDODI_TOOL, {"-o", "out.mdx", "geometry.mdx"}, dir, 0, ".first");
        const pid_t second = StartProgram(DURIDODI_TOOL, {"-o", "out.mdx", "animation.mdx"}, dir, 0, ".second");
        EXPECT_EQ(FinishProgram(first, dir, ".first").status, 0);
        EXPECT_EQ(FinishProgram(second, dir, ".second").status, 0);
        const std::string output = ReadFile(dir / "out.mdx");
        EXPECT_TRUE(output == geometry || output == animation) << "round " << round;
        EXPECT_EQ(Names(), (std::vector<std::string>{"animation.mdx", "geometry.mdx", "out.mdx"})) << "round " << round;
    }
}

TEST_F(CommandLine, WalkTakesNamesInByteOrderWithFoldersWhereTheyStand)
{
    const std::string model = MakeModel("model.mdx");
    const std::vector<std::string> sorted = {"tree/B.mdx", "tree/a.mdx", "tree/k.mdx", "tree/k0/x.mdx",
                                             "tree/m.mdx", "tree/q1.mdx", "tree/q2.mdx", "tree/z.mdx"};
    fs::create_directories(dir / "tree/k0");
    for (auto name = sorted.rbegin(); name != sorted.rend(); ++name)
        WriteFile(dir / *name, model);
    const RunResult run = Tool({"-r", "tree"}, dir);
    EXPECT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    std::vector<std::string> inputs;
    for (std::string line; std::getline(lines, line);)
        inputs.push_back(line.substr(0, line.find(" -> ")));
    inputs.pop_back(); // the summary
    EXPECT_EQ(inputs, sorted);
}

TEST_F(CommandLine, NamesWithSpacesAndNonAsciiLettersConvertDirectlyAndInFolders)
{
    const std::string file = "my m\xC3\xB6" "del.mdx";
    const std::string folder = "\xC3\x9C" "ber Ordner";
    fs::create_directory(dir / folder);
    const std::string first = MakeModel(file);
    const std::string second = MakeModel(folder + "/" + file, {"random", "11"});

    const RunResult direct = Tool({file}, dir);
    EXPECT_EQ(direct.status, 0) << direct.err;
    EXPECT_EQ(direct.out, SuccessLine(file, "my m\xC3\xB6" "del_dezavivi.mdx", ConvertBytes(first).report));
    EXPECT_EQ(ReadFile(dir / "my m\xC3\xB6" "del_dezavivi.mdx"), ConvertBytes(first).out);

    const RunResult walked = Tool({"-r", folder}, dir);
    EXPECT_EQ(walked.status, 0) << walked.err;
    EXPECT_EQ(ReadFile(dir / folder / "my m\xC3\xB6" "del_dezavivi.mdx"), ConvertBytes(second).out);
}

TEST_F(CommandLine, SymbolicLinkLoopsDoNotMakeTheWalkEndless)
{
    fs::create_directories(dir / "models/sub");
    MakeModel("models/sub/a.mdx");
    fs::create_directory_symlink("..", dir / "models/sub/up");
    fs::create_directory_symlink(".", dir / "models/self");
    fs::create_directory_symlink(dir / "models", dir / "models/sub/absolute");
    const RunResult run = Tool({"-r", "models"}, dir);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.find("models/sub/a.mdx -> models/sub/a_dezavivi.mdx: "), 0u) << run.out;
    EXPECT_NE(run.out.find("summary: 1 converted, 0 failed, 0 skipped;"), std::string::npos) << run.out;
}

TEST_F(CommandLine, StatsGiveZlibSizesOfInputAndOutputAndTheOutputPacksSmaller)
{
    const std::string input = MakeModel("s.mdx");
    const std::string output = ConvertBytes(input).out;
    const std::uint64_t packedIn = ZlibSize(input);
    const std::uint64_t packedOut = ZlibSize(output);
    ASSERT_LT(packedOut, packedIn);
    char saving[128];
    std::snprintf(saving, sizeof saving, "; deflated %llu -> %llu bytes, saving %llu bytes (%.1f%%)",
                  static_cast<unsigned long long>(packedIn), static_cast<unsigned long long>(packedOut),
                  static_cast<unsigned long long>(packedIn - packedOut),
                  100.0 * static_cast<double>(packedIn - packedOut) / static_cast<double>(packedIn));

    const RunResult real = Tool({"--stats", "s.mdx"}, dir);
    EXPECT_EQ(real.status, 0) << real.err;
    const std::string line = SuccessLine("s.mdx", "s_dezavivi.mdx", ConvertBytes(input).report);
    EXPECT_EQ(real.out.substr(0, real.out.find('\n') + 1), line.substr(0, line.size() - 1) + saving + "\n");
    EXPECT_NE(real.out.find("\nsummary: 1 converted, 0 failed, 0 skipped; " + std::to_string(input.size()) +
                            " bytes in, "),
              std::string::npos);
    EXPECT_NE(real.out.find(std::string(saving) + "\n", real.out.find("summary")), std::string::npos) << real.out;

    fs::remove(dir / "s_dezavivi.mdx");
    const RunResult dry = Tool({"--stats", "--dry-run", "s.mdx"}, dir);
    EXPECT_NE(dry.out.find(std::string(saving) + " (dry run, nothing written)\n"), std::string::npos) << dry.out;
    EXPECT_FALSE(fs::exists(dir / "s_dezavivi.mdx"));
}

TEST_F(CommandLine, StatsSummaryCountsOnlyConvertedFiles)
{
    const std::string a = MakeModel("a.mdx");
    const std::string b = MakeModel("b.mdx", {"random", "5"});
    WriteFile(dir / "c.mdx", a.substr(0, 300));
    const RunResult run = Tool({"-q", "--stats", "a.mdx", "c.mdx", "b.mdx"}, dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, ""); // -q drops the summary too
    const RunResult loud = Tool({"--stats", "a.mdx", "c.mdx", "b.mdx"}, dir);
    const std::uint64_t packedIn = ZlibSize(a) + ZlibSize(b);
    const std::uint64_t packedOut = ZlibSize(ConvertBytes(a).out) + ZlibSize(ConvertBytes(b).out);
    EXPECT_NE(loud.out.find("summary: 2 converted, 1 failed, 0 skipped; " + std::to_string(a.size() + b.size()) +
                            " bytes in, "),
              std::string::npos)
        << loud.out;
    EXPECT_NE(loud.out.find("; deflated " + std::to_string(packedIn) + " -> " + std::to_string(packedOut) + " bytes"),
              std::string::npos)
        << loud.out;
}

} // namespace

TEST_F(CommandLine, ManualNamesTheVersionThatVersionPrints)
{
    const RunResult version = Tool({"--version"}, dir);
    ASSERT_EQ(version.status, 0);
    const std::string title = version.out.substr(0, version.out.find('\n'));
    const std::string manual = ReadFile(DURIDODI_MANUAL);
    const std::string header = manual.substr(0, manual.find('\n'));
    EXPECT_EQ(header.rfind(".TH DURIDODI 1 ", 0), 0u) << header;
    EXPECT_NE(header.find("\"" + title + "\""), std::string::npos) << header;
    EXPECT_NE(manual.find("\n.B " + title + "\nand exit."), std::string::npos);
    EXPECT_EQ(manual.find('@'), std::string::npos); // nothing left unconfigured
}

TEST_F(CommandLine, MissingFolderUnderRecursiveIsSaidNotToExist)
{
    fs::create_directory(dir / "models");
    const std::string input = MakeModel("models/a.mdx");
    const ConversionReport report = ConvertBytes(input).report;
    const RunResult run = Tool({"-r", "missing_dir", "models"}, dir);
    EXPECT_EQ(run.status, 1);
    const std::string failure = "duridodi: missing_dir: does not exist\n";
    const std::string converted = SuccessLine("models/a.mdx", "models/a_dezavivi.mdx", report);
    const std::string summary = "summary: 1 converted, 1 failed, 0 skipped; " + std::to_string(input.size()) +
                                " bytes in, " + std::to_string(report.floatsReduced) + " floats reduced\n";
    EXPECT_EQ(run.err, failure);
    EXPECT_EQ(run.out, converted + summary);
    EXPECT_FALSE(fs::exists(dir / "missing_dir"));
    // Both streams into one file, as a log gives them: the folder's line comes where the folder
    // stands among the inputs.
    fs::remove(dir / "models/a_dezavivi.mdx");
    const RunResult merged = RunProgram("/bin/sh", {"-c", "exec \"$0\" -r models missing_dir 2>&1", DURIDODI_TOOL}, dir);
    EXPECT_EQ(merged.out, converted + failure + summary);
}

// Every line of --json output, parsed back with the JSON library.
std::vector<nlohmann::json> JsonLines(const std::string& out)
{
    std::vector<nlohmann::json> lines;
    std::istringstream text(out);
    for (std::string line; std::getline(text, line);)
        lines.push_back(nlohmann::json::parse(line));
    return lines;
}

// A name with an escape byte converts and one with a newline fails: in the text lines each is
// quoted as ls --quoting-style=shell-escape quotes it, every result stays one line without a
// control byte, and bash reads the quoted name back as the name; --json gives the names as they are.
TEST_F(CommandLine, NamesWithControlCharactersArePrintedQuotedAndStayOneLine)
{
    const std::string coloured = "drop/ev\x1b[31mil.mdx";
    const std::string split = "drop/two\nlines.mdx";
    fs::create_directory(dir / "drop");
    const std::string model = MakeModel(coloured);
    WriteFile(dir / split, model.substr(0, model.size() / 2));
    const std::string quotedColoured = "'drop/ev'$'\\033''[31mil.mdx'";
    const std::string quotedSplit = "'drop/two'$'\\n''lines.mdx'";

    const RunResult text = Tool({"-r", "drop"}, dir);
    EXPECT_EQ(text.status, 1);
    const StreamResult converted = ConvertBytes(model);
    EXPECT_EQ(text.out, SuccessLine(quotedColoured, "'drop/ev'$'\\033''[31mil_dezavivi.mdx'", converted.report) +
                            "summary: 1 converted, 1 failed, 0 skipped; " + std::to_string(model.size()) +
                            " bytes in, " + std::to_string(converted.report.floatsReduced) + " floats reduced\n");
    EXPECT_EQ(text.err, "duridodi: " + quotedSplit + ": " +
                            DescribeFailure(ConvertBytes(model.substr(0, model.size() / 2)).report) + "\n");
    EXPECT_EQ(ReadFile(dir / "drop/ev\x1b[31mil_dezavivi.mdx"), converted.out);
    for (const std::string& printed : {text.out, text.err}) {
        EXPECT_TRUE(std::none_of(printed.begin(), printed.end(), [](char c) {
            return c != '\n' && (static_cast<unsigned char>(c) < 0x20 || c == 0x7F);
        })) << printed;
    }
    for (const std::string& name : {coloured, split}) {
        const std::string quoted = name == coloured ? quotedColoured : quotedSplit;
        EXPECT_EQ(RunProgram("/bin/bash", {"-c", "printf %s " + quoted}, dir).out, name);
    }

    const RunResult json = Tool({"-r", "--json", "drop"}, dir);
    const std::vector<nlohmann::json> lines = JsonLines(json.out);
    ASSERT_EQ(lines.size(), 3u) << json.out;
    EXPECT_EQ(lines[0]["input"], coloured);
    EXPECT_EQ(lines[1]["input"], split);
    EXPECT_EQ(json.err, text.err);
}

// The tool linked with a zlib whose deflate cannot start: the file is converted, its figures are
// said to be unknown rather than printed as 0, and the run exits 1.
TEST_F(CommandLine, StatsWhoseDeflateFailsSayTheFiguresAreUnknown)
{
    const std::string input = MakeModel("a.mdx");
    const StreamResult expected = ConvertBytes(input);
    std::string success = SuccessLine("a.mdx", "a_dezavivi.mdx", expected.report);
    success.pop_back();
    const std::string summary = "summary: 1 converted, 0 failed, 0 skipped; " + std::to_string(input.size()) +
                                " bytes in, " + std::to_string(expected.report.floatsReduced) +
                                " floats reduced; deflated sizes unknown, 1 not measured";
    for (const bool dryRun : {false, true}) {
        std::vector<std::string> args{"--stats", "a.mdx"};
        if (dryRun)
            args.insert(args.begin(), "--dry-run");
        const RunResult run = RunProgram(DURIDODI_FAILING_DEFLATE, args, dir);
        const std::string note = dryRun ? " (dry run, nothing written)" : "";
        EXPECT_EQ(run.status, 1) << "dry run " << dryRun;
        // The largest changes are measured without deflate; their figures are checked elsewhere.
        const std::size_t changesAt = run.out.find("\nlargest change: ") + 1;
        const std::string changes = run.out.substr(changesAt, run.out.find('\n', changesAt) + 1 - changesAt);
        EXPECT_EQ(run.out, success + note + "\n" + changes + summary + note + "\nsummary: " + changes);
        EXPECT_EQ(run.err, "duridodi: a.mdx: cannot measure the deflated sizes\n");
        EXPECT_EQ(ReadFile(dir / "a_dezavivi.mdx"), dryRun ? "" : expected.out) << "dry run " << dryRun;
        fs::remove(dir / "a_dezavivi.mdx");
    }
    // In JSON the batch's deflated totals are unknown too, not the sum over the files measured.
    const RunResult json = RunProgram(DURIDODI_FAILING_DEFLATE, {"--json", "--stats", "a.mdx"}, dir);
    const nlohmann::json totals = JsonLines(json.out).back();
    EXPECT_EQ(json.status, 1);
    EXPECT_TRUE(totals.at("deflated_input").is_null()) << totals;
    EXPECT_TRUE(totals.at("deflated_output").is_null()) << totals;
    EXPECT_EQ(totals.at("unmeasured"), 1);
}


// The number in object's field; 0 when it is absent or null.
std::uint64_t Figure(const nlohmann::json& object, const char* field)
{
    return object.contains(field) && !object[field].is_null() ? object[field].get<std::uint64_t>() : 0;
}

// One object per input in input order, each failure with its kind (its text line still on
// stderr), a name that is not UTF-8 made valid, and a summary that adds up the objects.
TEST_F(CommandLine, JsonLinesGiveEachInputItsFailureKindAndASummaryThatAddsUp)
{
    const std::string good = MakeModel("good.mdx");
    const std::string cut = good.substr(0, good.size() / 2);
    WriteFile(dir / "cut.mdx", cut);
    WriteFile(dir / "magic.mdx", "MDLY" + good.substr(4));
    WriteFile(dir / "tiny_node.mdx", std::string("MDLXBONE\x04\0\0\0\x04\0\0\0", 16));
    WriteFile(dir / "model.txt", good);
    WriteFile(dir / "good.MDX", good);
    WriteFile(dir / "name \xff\xfe.mdx", good);
    fs::create_directory(dir / "folder.mdx");
    fs::create_directory(dir / "models");
    MakeModel("models/deep.mdx", {"full", "1000"});
    const ConversionReport truncated = ConvertBytes(cut).report;
    const struct {
        const char* program;
        std::vector<std::string> args;
        std::vector<const char*> kinds; // per input; nullptr: converted
    } runs[] = {
        {DURIDODI_TOOL,
         {"--json", "--stats", "good.mdx", "cut.mdx", "magic.mdx", "tiny_node.mdx", "model.txt", "folder.mdx",
          "absent.mdx", "name \xff\xfe.mdx"},
         {nullptr, "truncated", "not_a_model", "malformed", "not_mdx_name", "is_a_folder", "cannot_open", nullptr}},
        {DURIDODI_TOOL, {"--json", "-o", "good.mdx", "good.mdx"}, {"same_as_input"}},
        {DURIDODI_TOOL, {"--json", "-j", "2", "good.mdx", "good.MDX"}, {nullptr, "output_taken"}},
        {DURIDODI_TOOL, {"--json", "-o", "no/such/folder/out.mdx", "good.mdx"}, {"cannot_write"}},
        {DURIDODI_TOOL, {"--json", "--dry-run", "-r", "missing", "models"}, {"cannot_read_folder", nullptr}},
        {DURIDODI_FAILING_DEFLATE, {"--json", "--stats", "good.mdx"}, {"cannot_measure"}},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(::testing::PrintToString(run.args));
        const RunResult result = RunProgram(run.program, run.args, dir);
        EXPECT_EQ(result.status, 1);
        const std::vector<nlohmann::json> lines = JsonLines(result.out);
        ASSERT_EQ(lines.size(), run.kinds.size() + 1);
        const char* const summed[] = {"bytes", "floats_reduced", "deflated_input", "deflated_output"};
        std::map<std::string, std::uint64_t> sums;
        long failureLines = 0;
        for (std::size_t i = 0; i < run.kinds.size(); ++i) {
            const nlohmann::json& object = lines[i];
            const std::string kind = object.at("error").is_null() ? "" : object.at("error").at("kind");
            EXPECT_EQ(kind, run.kinds[i] ? run.kinds[i] : "") << object;
            EXPECT_EQ(object.at("rounding"), "toward_zero");
            failureLines += !object.at("error").is_null();
            const bool converted = object.at("converted");
            ++sums[converted ? "converted" : "failed"];
            for (const char* field : summed)
                sums[field] += converted ? Figure(object, field) : 0;
        }
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), failureLines) << "a text line per failure";
        const nlohmann::json& summary = lines.back();
        EXPECT_EQ(summary.at("summary"), true);
        for (const auto& sum : sums)
            EXPECT_EQ(Figure(summary, sum.first.c_str()), sum.second) << sum.first;
    }

    const std::vector<nlohmann::json> first = JsonLines(Tool(runs[0].args, dir).out);
    EXPECT_TRUE(ReadFile(dir / first[0].at("output").get<std::string>()) == ConvertBytes(good).out);
    EXPECT_EQ(first[7].at("input"), "name \xEF\xBF\xBD\xEF\xBF\xBD.mdx") << "each bad byte becomes U+FFFD";
    EXPECT_EQ(first[1].at("error").at("offset"), truncated.offset);
    EXPECT_EQ(first[1].at("error").at("chunk"), TagLetters(truncated.tag));
    EXPECT_EQ(first[1].at("error").at("message"), truncated.reason);
    EXPECT_EQ(first[0].at("largest_change").size(), 9u) << "the figures of a model without tangents, non_finite too";
}

// The --json name of the figure of each of the model record's kinds.
const char* ChangeKey(ValueKind kind)
{
    switch (kind) {
    case ValueKind::Position: return "positions";
    case ValueKind::Normal: return "normals_degrees";
    case ValueKind::Tangent: return "tangents_degrees";
    case ValueKind::Extent: return "extents";
    case ValueKind::TextureCoordinate: return "texture_coordinates";
    case ValueKind::Translation: return "translations";
    case ValueKind::Rotation: return "rotations_degrees";
    case ValueKind::Scaling: return "scalings";
    }
    return "";
}

bool IsAngle(const std::string& key)
{
    return key.find("_degrees") != std::string::npos;
}

// The figures --stats must give for model, whose reduced copy is output, worked out from the
// record in long double: per value for lengths, per normal, tangent xyz or quaternion for angles,
// by acos as the manual gives them.
std::map<std::string, long double> ExpectedChanges(const WrittenModel& model, const std::string& output)
{
    std::map<std::string, long double> figures = {{"positions", 0}, {"model_size", 0}, {"normals_degrees", 0},
                                                  {"texture_coordinates", 0}, {"extents", 0}, {"translations", 0},
                                                  {"rotations_degrees", 0}, {"scalings", 0}, {"non_finite", 0}};
    const long double degrees = 180 / acosl(-1);
    for (std::size_t first = 0; first < model.reduced.size();) {
        const ValueKind kind = model.reduced[first].kind;
        const std::string key = ChangeKey(kind);
        const std::size_t size = kind == ValueKind::Normal ? 3 : IsAngle(key) ? 4 : 1;
        long double before[4] = {};
        long double after[4] = {};
        bool finite = true;
        for (std::size_t i = 0; i < size; ++i) {
            const ReducedValue& value = model.reduced[first + i];
            float original = 0;
            float reduced = 0;
            const std::uint32_t reducedBits = static_cast<std::uint32_t>(FieldAt(output, value.offset));
            std::memcpy(&original, &value.original, 4);
            std::memcpy(&reduced, &reducedBits, 4);
            before[i] = original;
            after[i] = reduced;
            finite = finite && std::isfinite(original) && std::isfinite(reduced);
            figures["non_finite"] += !std::isfinite(original) || !std::isfinite(reduced);
        }
        first += size;
        long double change = 0;
        if (!finite)
            continue;
        if (!IsAngle(key)) {
            change = fabsl(before[0] - after[0]);
            if (kind == ValueKind::Position)
                figures["model_size"] = std::max(figures["model_size"], fabsl(before[0]));
        } else {
            const std::size_t n = kind == ValueKind::Rotation ? 4 : 3;
            long double dot = 0, lengthBefore = 0, lengthAfter = 0;
            for (std::size_t i = 0; i < n; ++i) {
                dot += before[i] * after[i];
                lengthBefore += before[i] * before[i];
                lengthAfter += after[i] * after[i];
            }
            if (lengthBefore == 0 || lengthAfter == 0)
                continue;
            const long double cosine = dot / (sqrtl(lengthBefore) * sqrtl(lengthAfter));
            change = kind == ValueKind::Rotation ? 2 * acosl(std::min(1.0L, fabsl(cosine))) * degrees
                                                 : acosl(std::min(1.0L, cosine)) * degrees;
        }
        figures[key] = std::max(figures.count(key) ? figures[key] : 0, change);
    }
    return figures;
}

// --stats --json gives per file and for the batch the largest change of each kind that the model
// record says, both truncating and rounding; rounding never gives a larger length.
TEST_F(CommandLine, StatsGiveTheLargestChangesThatTheModelRecordShowsInBothModes)
{
    const WrittenModel models[] = {WriteModel(FullModelPlan(1000), 3), WriteModel(RandomModelPlan(11), 11)};
    WriteFile(dir / "a.mdx", models[0].bytes);
    WriteFile(dir / "b.mdx", models[1].bytes);
    std::vector<nlohmann::json> truncating;
    for (const bool round : {false, true}) {
        SCOPED_TRACE(round ? "--round" : "truncating");
        std::vector<std::string> args = {"--json", "--stats", "a.mdx", "b.mdx"};
        if (round)
            args.push_back("--round");
        const std::vector<nlohmann::json> lines = JsonLines(Tool(args, dir).out);
        ASSERT_EQ(lines.size(), 3u);
        nlohmann::json batch = nlohmann::json::object();
        for (std::size_t f = 0; f < 2; ++f) {
            const nlohmann::json& figures = lines[f].at("largest_change");
            const auto expected = ExpectedChanges(models[f], ReadFile(dir / lines[f].at("output").get<std::string>()));
            ASSERT_EQ(figures.size(), expected.size()) << figures;
            for (const auto& [key, value] : expected) {
                // acos cannot tell angles below about 3e-8 degrees from 0, even in long double.
                if (IsAngle(key))
                    EXPECT_NEAR(figures.at(key).get<double>(), static_cast<double>(value), 1e-6 * value + 1e-7) << key;
                else
                    EXPECT_EQ(figures.at(key).get<double>(), static_cast<double>(value)) << key;
                if (round && !IsAngle(key) && key != "non_finite") {
                    EXPECT_LE(figures.at(key).get<double>(), truncating[f].at(key).get<double>()) << key;
                }
                batch[key] = key == "non_finite" ? batch.value(key, 0) + figures.at(key).get<int>()
                                                 : std::max(batch.value(key, 0.0), figures.at(key).get<double>());
            }
            truncating.push_back(figures);
        }
        EXPECT_EQ(lines[2].at("largest_change"), batch);
    }
}

// A name of 242 to 246 bytes in the current folder: its output name is up to the 255 bytes a
// name may have, and its temporary file takes a short name beside it.
TEST_F(CommandLine, LongestBareNamesConvertThroughAShortTemporaryName)
{
    const std::string model = MakeModel("model.mdx");
    for (std::size_t length : {242, 246}) {
        const std::string name = std::string(length - 4, 'n') + ".mdx";
        WriteFile(dir / name, model);
        const RunResult run = Tool({"-q", name}, dir);
        EXPECT_EQ(run.status, 0) << length << ": " << run.err;
        EXPECT_EQ(ReadFile(dir / MakeOutputName(name.c_str())), ConvertBytes(model).out) << length;
        fs::remove(dir / name);
        fs::remove(dir / MakeOutputName(name.c_str()));
    }
    EXPECT_EQ(Names(), std::vector<std::string>{"model.mdx"});
}

// A disk that fills during the conversion: the failure is a write failure with no position,
// since the walk stopped reading wherever the refused write left it.
TEST_F(CommandLine, WriteFailureNamesNoChunkAndNoOffset)
{
    MakeModel("big.mdx", {"geometry", "1"});
    // A limit the shell sets and the tool inherits; ignored SIGXFSZ stays ignored across exec,
    // so a write past the limit fails with EFBIG.
    const RunResult run = RunProgram("/bin/sh", {"-c", "trap '' XFSZ; ulimit -f 128; exec \"$0\" --json big.mdx",
                                                 DURIDODI_TOOL}, dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "duridodi: big.mdx: cannot write the output\n");
    const nlohmann::json line = nlohmann::json::parse(run.out.substr(0, run.out.find('\n')));
    EXPECT_EQ(line["error"]["kind"], "cannot_write");
    EXPECT_TRUE(line["error"]["offset"].is_null()) << line;
    EXPECT_TRUE(line["error"]["chunk"].is_null()) << line;
    EXPECT_EQ(Names(), std::vector<std::string>{"big.mdx"});
}

// The input's disk fails part-way through the model: each mode says it cannot read the input,
// exits 1 and leaves no file, and the JSON kind is a read error's.
TEST_F(CommandLine, ReadErrorPartWayIsReportedInEveryModeAndLeavesNoFile)
{
    MakeModel("big.mdx", {"geometry", "1"});
    setenv("DURIDODI_READ_FAILS_AFTER", "100000", 1);
    const std::vector<std::vector<std::string>> modes{{}, {"--dry-run"}, {"--stats"}, {"--dry-run", "--stats"}};
    for (std::vector<std::string> args : modes) {
        args.push_back("big.mdx");
        const RunResult run = RunProgram(DURIDODI_FAILING_READ, args, dir);
        EXPECT_EQ(run.status, 1) << ::testing::PrintToString(args);
        EXPECT_EQ(run.err, "duridodi: big.mdx: cannot read the input\n") << ::testing::PrintToString(args);
        EXPECT_EQ(Names(), std::vector<std::string>{"big.mdx"});
    }
    const RunResult json = RunProgram(DURIDODI_FAILING_READ, {"--json", "--dry-run", "big.mdx"}, dir);
    unsetenv("DURIDODI_READ_FAILS_AFTER");
    EXPECT_EQ(nlohmann::json::parse(json.out.substr(0, json.out.find('\n')))["error"]["kind"], "cannot_read");
}

// Each option that changes the reduction, alone and combined, reaches the written bytes: the
// output is the oracle's reduction of the model under the same settings, whichever way the
// tool writes it. The text line names the bits that differ from 16, --json all of them.
TEST_F(CommandLine, EveryReductionOptionAndCombinationGivesTheOraclesBytes)
{
    const WrittenModel model = WriteModel(FullModelPlan(1000), 4);
    WriteFile(dir / "a.mdx", model.bytes);
    const auto allAt = [](int bits, bool nearest) {
        ReductionPlan plan;
        for (int& kept : plan.keptBits)
            kept = bits;
        plan.nearest = nearest;
        return plan;
    };
    ReductionPlan mixed = allAt(16, false); // texture coordinates 24, positions 20
    mixed.keptBits[static_cast<int>(ValueKind::TextureCoordinate)] = 24;
    mixed.keptBits[static_cast<int>(ValueKind::Position)] = 20;
    ReductionPlan mostThenOne = allAt(18, true); // 18, rotations 22, rounded
    mostThenOne.keptBits[static_cast<int>(ValueKind::Rotation)] = 22;
    const struct {
        std::vector<std::string> options;
        ReductionPlan plan;
        std::string bitsKept; // what the text line adds
    } runs[] = {
        {{}, ReductionPlan(), ""},
        {{"--round"}, allAt(16, true), ""},
        {{"--keep-bits", "20"}, allAt(20, false),
         "; bits kept: positions 20, normals 20, tangents 20, texture_coordinates 20, extents 20, translations 20, "
         "rotations 20, scalings 20"},
        {{"--keep-bits=texture_coordinates=24,positions=20"}, mixed,
         "; bits kept: positions 20, texture_coordinates 24"},
        {{"--round", "--keep-bits", "18,rotations=22"}, mostThenOne,
         "; bits kept: positions 18, normals 18, tangents 18, texture_coordinates 18, extents 18, translations 18, "
         "rotations 22, scalings 18"},
        {{"--keep-bits", "10", "--round", "--stats", "-q"}, allAt(10, true), ""},
        {{"--keep-bits", "32"}, allAt(32, false),
         "; bits kept: positions 32, normals 32, tangents 32, texture_coordinates 32, extents 32, translations 32, "
         "rotations 32, scalings 32"},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(::testing::PrintToString(run.options));
        const std::string expected = ExpectedOutput(model, run.plan);
        std::vector<std::string> beside = run.options;
        beside.push_back("a.mdx");
        const RunResult result = Tool(beside, dir);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(FirstDifference(ReadFile(dir / "a_dezavivi.mdx"), expected), -1);
        if (run.plan.keptBits[0] == 32) {
            EXPECT_EQ(ReadFile(dir / "a_dezavivi.mdx"), model.bytes);
        }
        const std::string line = result.out.substr(0, result.out.find('\n'));
        if (result.out.empty())
            EXPECT_EQ(run.options.back(), "-q");
        else
            EXPECT_EQ(line, "a.mdx -> a_dezavivi.mdx: " + std::to_string(model.reduced.size()) +
                                " floats reduced, version 1000" + run.bitsKept);
        std::vector<std::string> named = run.options;
        named.insert(named.end(), {"-j", "2", "--json", "-o", "out.mdx", "a.mdx"});
        const RunResult json = Tool(named, dir);
        EXPECT_EQ(FirstDifference(ReadFile(dir / "out.mdx"), expected), -1);
        const nlohmann::json object = JsonLines(json.out).at(0);
        const nlohmann::json summary = JsonLines(json.out).at(1);
        EXPECT_EQ(summary.at("rounding"), object.at("rounding"));
        EXPECT_EQ(summary.at("kept_bits"), object.at("kept_bits"));
        EXPECT_EQ(object.at("rounding"), run.plan.nearest ? "nearest" : "toward_zero");
        const nlohmann::json& keptBits = object.at("kept_bits");
        ASSERT_EQ(keptBits.size(), 8u);
        const auto bitsOf = [&](ValueKind kind) { return run.plan.keptBits[static_cast<int>(kind)]; };
        EXPECT_EQ(keptBits.at("positions"), bitsOf(ValueKind::Position));
        EXPECT_EQ(keptBits.at("texture_coordinates"), bitsOf(ValueKind::TextureCoordinate));
        EXPECT_EQ(keptBits.at("rotations"), bitsOf(ValueKind::Rotation));
    }
}
