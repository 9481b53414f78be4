#include "model_convert.h"

#include "blocked_output.h"
#include "chunk_walkers.h"
#include "file_streams.h"
#include "model_tags.h"
#include "output_file.h"
#include "stream_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

// The versions whose geoset layout is known; others are walked with the nearest layout.
bool IsKnownVersion(std::int32_t version)
{
    return version == 800 || version == 900 || version == 1000 || version == 1100;
}

int FailConversion(ConversionReport& report, FailureKind kind, const std::string& reason)
{
    if (report.reason.empty()) {
        report.reason = reason;
        report.kind = kind;
    }
    report.converted = 0;
    return 0;
}

// Walks the top-level chunks to the end of the input. Returns true when it met a clean end:
// the end of the input where a tag would stand, or a zero tag or stray bytes, which are copied
// with everything after them so that nothing is lost.
bool WalkChunks(std::istream& source, std::ostream& sink, const ConversionSettings& settings,
                ConversionReport& report)
{
    for (;;) {
        unsigned char bytes[4] = {0, 0, 0, 0};
        source.read(reinterpret_cast<char*>(bytes), 4);
        const std::streamsize got = source.gcount();
        if (got == 0)
            return true;
        const std::int32_t tag = DecodeInt32(bytes);
        if (got < 4 || tag == 0) {
            sink.write(reinterpret_cast<char*>(bytes), got);
            CopyRest(source, sink);
            return true;
        }
        report.tag = tag;
        WalkChunk(source, sink, tag, settings, report);
        if (IsWalkOver(source, sink))
            return false;
        report.tag = 0;
    }
}

// The longest file name (one step of a path) that the file systems take: 255 bytes on Linux,
// 255 UTF-16 units on Windows.
constexpr std::size_t kMaxNameLength = 255;

// Opens path for reading; null when it cannot be opened.
std::FILE* OpenInput(const fs::path& path)
{
#ifdef _WIN32
    return _wfopen(path.c_str(), L"rb");
#else
    return std::fopen(path.c_str(), "rb");
#endif
}

// Creates path for writing only if no file of that name exists, so that two runs writing beside
// the same output never share a file, and no file that this run did not create is truncated.
std::FILE* CreateNewFile(const fs::path& path)
{
#ifdef _WIN32
    // The C runtime that MinGW links has no "x" mode for fopen, so the file is created with
    // _O_EXCL and then given a FILE.
    const int descriptor = _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (descriptor < 0)
        return nullptr;
    std::FILE* file = _fdopen(descriptor, "wb");
    if (file == nullptr)
        _close(descriptor);
    return file;
#else
    return std::fopen(path.c_str(), "wbx");
#endif
}

// The tries of the numbered-name search: more names beside one output than anyone keeps.
constexpr int kMaxNameTries = 1000;

// Creates a new file beside path: path + suffix, else with 1, 2, ... after it, whichever name no
// file has, and returns its name in name. Where that name would be longer than a file name may
// be, a short name in the same folder ("~dz" + suffix) is used. Returns null when no name could
// be created.
std::FILE* CreateUnusedFile(const fs::path& path, const std::string& suffix, fs::path& name)
{
    const bool tooLong = path.filename().native().size() + suffix.size() + 3 > kMaxNameLength;
    const fs::path base = tooLong ? path.parent_path() / "~dz" : path;
    for (int n = 0; n < kMaxNameTries; ++n) {
        name = base;
        name += n == 0 ? suffix : suffix + std::to_string(n);
        errno = 0;
        std::FILE* file = CreateNewFile(name);
        if (file != nullptr || errno != EEXIST)
            return file;
    }
    return nullptr;
}

// The file buffers of the calling thread, obtained at its first file and kept until it ends: a
// batch converts thousands of files, and buffers for each cost allocations and page faults
// worth more than a small model's whole walk.
struct FileBuffers {
    std::unique_ptr<unsigned char[]> memory; // both, each on a page
    char* input;                             // kBlockSize bytes
    char* output;                            // kOutputBlockSize bytes
};

// The calling thread's buffers; null when the memory cannot be had.
FileBuffers* ObtainFileBuffers()
{
    thread_local FileBuffers buffers;
    if (!buffers.memory) {
        buffers.memory.reset(new (std::nothrow) unsigned char[kBlockSize + kOutputBlockSize + kPageSize - 1]);
        if (!buffers.memory)
            return nullptr;
        unsigned char* start = AlignToPage(buffers.memory.get());
        buffers.input = reinterpret_cast<char*>(start);
        buffers.output = reinterpret_cast<char*>(start + kBlockSize);
    }
    return &buffers;
}

// Walks the open input into sink through buffer (kBlockSize bytes); with blocks, the
// gathering block under sink, fields move between the two directly. To the walk a read error
// looks like the end of the input: it is reported as what it was, with no position, since the
// walk stopped wherever the failed read left it.
int WalkInput(std::FILE* input, char* buffer, std::ostream& sink, BlockedOutput* blocks,
              const ConversionSettings& settings, ConversionReport& report)
{
    std::setvbuf(input, nullptr, _IONBF, 0);
    FileInput fileInput(input, buffer, kBlockSize);
    std::istream source(&fileInput);
    if (blocks != nullptr)
        LendFileBuffers(source, fileInput, sink, *blocks);
    const int converted = ConvertModelStream(source, sink, settings, report);
    if (std::ferror(input) == 0)
        return converted;
    report.reason.clear();
    report.offset = -1;
    report.tag = 0;
    return FailConversion(report, FailureKind::CannotRead, "cannot read the input");
}

// Clears report, then has the calling thread's buffers and opens the input. Null, with report
// saying why, when either cannot be had.
std::FILE* OpenWithBuffers(const fs::path& inputPath, FileBuffers*& buffers, ConversionReport& report)
{
    ClearReport(report);
    buffers = ObtainFileBuffers();
    if (buffers == nullptr) {
        FailConversion(report, FailureKind::OutOfMemory, "not enough memory for the file buffers");
        return nullptr;
    }
    std::FILE* input = OpenInput(inputPath);
    if (input == nullptr)
        FailConversion(report, FailureKind::CannotOpen, "cannot open the input");
    return input;
}

// std::filesystem's rename replaces an existing file on every system (on Windows it moves with
// MOVEFILE_REPLACE_EXISTING); a folder at the output stays where it is.
bool MoveOntoOutput(const fs::path& temporaryPath, const fs::path& outputPath)
{
    std::error_code error;
    fs::rename(temporaryPath, outputPath, error);
    return !error;
}

// Converts the file at inputPath into outputPath, through a temporary file beside the output.
int ConvertFile(const fs::path& inputPath, const fs::path& outputPath, const ConversionSettings& settings,
                ConversionReport& report)
{
    FileBuffers* buffers = nullptr;
    std::FILE* input = OpenWithBuffers(inputPath, buffers, report);
    if (input == nullptr)
        return 0;
    fs::path temporaryPath;
    std::FILE* output = CreateUnusedFile(outputPath, ".part", temporaryPath);
    if (output == nullptr) {
        std::fclose(input);
        return FailConversion(report, FailureKind::CannotWrite, "cannot create the output");
    }
    // The buffers below are the only ones: every call of the streams goes to the system.
    std::setvbuf(output, nullptr, _IONBF, 0);
    FileOutput fileOutput(output);
    BlockedOutput blocks(&fileOutput, buffers->output);
    std::ostream sink(&blocks);
    int converted = WalkInput(input, buffers->input, sink, &blocks, settings, report);
    const bool closeFailed = std::fclose(output) != 0;
    std::fclose(input);
    if (converted && closeFailed)
        converted = FailConversion(report, FailureKind::CannotWrite, "cannot write the output");
    if (converted && !MoveOntoOutput(temporaryPath, outputPath))
        converted = FailConversion(report, FailureKind::CannotWrite, "cannot move the output into place");
    if (!converted) {
        std::error_code error;
        fs::remove(temporaryPath, error);
    }
    return converted;
}

} // namespace

int ConvertModel(const fs::path& inputPath, const fs::path& outputPath)
{
    ConversionReport report;
    return ConvertModelWithReport(inputPath, outputPath, report);
}

int ConvertModelStream(std::istream& source, std::ostream& sink, ConversionReport& report)
{
    return ConvertModelStream(source, sink, ConversionSettings(), report);
}

int ConvertModelStream(std::istream& source, std::ostream& sink, const ConversionSettings& settings,
                       ConversionReport& report)
{
    ClearReport(report);
    if (!AreSettingsValid(settings))
        return FailConversion(report, FailureKind::InvalidSettings,
                              "the settings ask for kept bits outside " + std::to_string(kFewestKeptBits) + " to " +
                                  std::to_string(kMostKeptBits));
    if (ReadInt32(source) != kModelMagic) {
        report.offset = 0;
        return FailConversion(report, FailureKind::NotAModel, "not an MDX model (the file does not start with \"MDLX\")");
    }
    WriteInt32(sink, kModelMagic);
    report.walked = true;
    const bool clean = WalkChunks(source, sink, settings, report);
    sink.flush();
    if (sink.fail()) {
        // The walk went on reading after the sink failed: where it stopped says nothing.
        report.reason.clear();
        report.offset = -1;
        report.tag = 0;
        // Only a refused write makes the sink bad; a block buffer that could not be had fails it.
        if (!sink.bad())
            return FailConversion(report, FailureKind::OutOfMemory, "not enough memory for a block buffer");
        return FailConversion(report, FailureKind::CannotWrite, "cannot write the output");
    }
    if (!clean) {
        if (report.offset < 0)
            report.offset = static_cast<std::int64_t>(source.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in));
        FailConversion(report, FailureKind::Truncated, "input ends inside a chunk");
        // Only a geoset's layout depends on the version.
        if (report.tag == kTagGeoset && !IsKnownVersion(report.version))
            report.reason += " (model version " + std::to_string(report.version) + ", walked with the " +
                             (report.version > 800 ? "later" : "800") + " geoset layout)";
        return 0;
    }
    report.converted = 1;
    return 1;
}

int ConvertModelWithReport(const fs::path& inputPath, const fs::path& outputPath, const ConversionSettings& settings,
                           ConversionReport& report)
{
    return ConvertFile(inputPath, outputPath, settings, report);
}

int ConvertModelWithReport(const fs::path& inputPath, const fs::path& outputPath, ConversionReport& report)
{
    return ConvertFile(inputPath, outputPath, ConversionSettings(), report);
}

int WalkModelFile(const fs::path& inputPath, std::ostream& sink, const ConversionSettings& settings,
                  ConversionReport& report)
{
    FileBuffers* buffers = nullptr;
    std::FILE* input = OpenWithBuffers(inputPath, buffers, report);
    if (input == nullptr)
        return 0;
    const int walked = WalkInput(input, buffers->input, sink, nullptr, settings, report);
    std::fclose(input);
    return walked;
}

std::FILE* OpenInputFile(const fs::path& path)
{
    return OpenInput(path);
}

std::FILE* CreateTemporaryBeside(const fs::path& outputPath, fs::path& temporaryPath)
{
    return CreateUnusedFile(outputPath, ".part", temporaryPath);
}

bool PlaceOutputFile(const fs::path& temporaryPath, const fs::path& outputPath)
{
    return MoveOntoOutput(temporaryPath, outputPath);
}

void RemoveTemporaryFile(const fs::path& temporaryPath)
{
    std::error_code error;
    fs::remove(temporaryPath, error);
}
