#include "model_convert.h"

#include "blocked_output.h"
#include "chunk_walkers.h"
#include "file_streams.h"
#include "model_tags.h"
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

// The longest path that the file calls of Windows accept without the "\\?\" prefix (260 with
// the terminator).
constexpr std::size_t kMaxPathLength = 259;

// Files are named in two ways: by 8-bit names (std::string), opened through the C runtime's
// narrow calls (on Windows in the system code page, as the window tool's paths are), or by file
// system paths (on Windows wide names, so that any name works). The few operations that differ
// have one form for each; the conversion of a file is written once for both.

std::size_t PathLength(const std::string& path)
{
    return path.size();
}

std::size_t PathLength(const fs::path& path)
{
    return path.native().size();
}

// "~dz" in the folder of path.
std::string ShortNameBeside(const std::string& path)
{
    const std::size_t end = path.find_last_of("/\\:");
    return (end == std::string::npos ? std::string() : path.substr(0, end + 1)) + "~dz";
}

fs::path ShortNameBeside(const fs::path& path)
{
    return path.parent_path() / "~dz";
}

std::string WithSuffix(const std::string& path, const std::string& suffix)
{
    return path + suffix;
}

fs::path WithSuffix(fs::path path, const std::string& suffix)
{
    return path += suffix;
}

void RemoveFile(const std::string& path)
{
    std::remove(path.c_str());
}

void RemoveFile(const fs::path& path)
{
    std::error_code error;
    fs::remove(path, error);
}

// Opens path for reading; null when it cannot be opened.
std::FILE* OpenInput(const std::string& path)
{
    return std::fopen(path.c_str(), "rb");
}

std::FILE* OpenInput(const fs::path& path)
{
#ifdef _WIN32
    return _wfopen(path.c_str(), L"rb");
#else
    return std::fopen(path.c_str(), "rb");
#endif
}

#ifdef _WIN32
// A C runtime file over the descriptor of a file just created; closes the descriptor when that
// fails. The C runtime that MinGW links has no "x" mode for fopen, so the file is created with
// _O_EXCL and then given a FILE.
std::FILE* FileOverNewDescriptor(int descriptor)
{
    if (descriptor < 0)
        return nullptr;
    std::FILE* file = _fdopen(descriptor, "wb");
    if (file == nullptr)
        _close(descriptor);
    return file;
}
#endif

// Creates path for writing only if no file of that name exists, so that two runs writing beside
// the same output never share a file, and no file that this run did not create is truncated.
std::FILE* CreateNewFile(const std::string& path)
{
#ifdef _WIN32
    return FileOverNewDescriptor(_open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE));
#else
    return std::fopen(path.c_str(), "wbx");
#endif
}

std::FILE* CreateNewFile(const fs::path& path)
{
#ifdef _WIN32
    return FileOverNewDescriptor(
        _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE));
#else
    return std::fopen(path.c_str(), "wbx");
#endif
}

// The tries of the numbered-name search: more names beside one output than anyone keeps.
constexpr int kMaxNameTries = 1000;

// Creates a new file beside path: path + suffix, else with 1, 2, ... after it, whichever name no
// file has, and returns its name in name. Where that would pass the path limit, a short name in
// the same folder ("~dz" + suffix) is used: it is shorter than any output name, which ends in the
// 13 characters "_dezavivi.mdx". Returns null when no name could be created.
template <typename Path>
std::FILE* CreateUnusedFile(const Path& path, const std::string& suffix, Path& name)
{
    const Path base = PathLength(path) + suffix.size() + 3 > kMaxPathLength ? ShortNameBeside(path) : path;
    for (int n = 0; n < kMaxNameTries; ++n) {
        name = WithSuffix(base, n == 0 ? suffix : suffix + std::to_string(n));
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

// Moves the finished temporary file onto the output path, replacing an earlier file there.
bool MoveOntoOutput(const std::string& temporaryPath, const std::string& outputPath)
{
#ifdef _WIN32
    // The C runtime's rename does not replace an existing file: move the earlier file aside
    // (under a name no file has, which rename will not take from another file), move the new
    // one in, and put the earlier one back if that fails.
    if (std::rename(temporaryPath.c_str(), outputPath.c_str()) == 0)
        return true;
    // Only an earlier file is replaced: a folder of that name stays where it is.
    struct stat earlier;
    if (stat(outputPath.c_str(), &earlier) == 0 && S_ISDIR(earlier.st_mode))
        return false;
    std::string asidePath;
    bool movedAside = false;
    for (int n = 0; n < kMaxNameTries && !movedAside; ++n) {
        asidePath = outputPath + ".old" + (n == 0 ? std::string() : std::to_string(n));
        movedAside = std::rename(outputPath.c_str(), asidePath.c_str()) == 0;
    }
    if (!movedAside)
        return false;
    if (std::rename(temporaryPath.c_str(), outputPath.c_str()) != 0) {
        std::rename(asidePath.c_str(), outputPath.c_str());
        return false;
    }
    std::remove(asidePath.c_str());
    return true;
#else
    return std::rename(temporaryPath.c_str(), outputPath.c_str()) == 0;
#endif
}

// std::filesystem's rename replaces an existing file on every system (on Windows it moves with
// MOVEFILE_REPLACE_EXISTING).
bool MoveOntoOutput(const fs::path& temporaryPath, const fs::path& outputPath)
{
    std::error_code error;
    fs::rename(temporaryPath, outputPath, error);
    return !error;
}

// Converts the file at inputPath into outputPath, through a temporary file beside the output.
template <typename Path>
int ConvertFile(const Path& inputPath, const Path& outputPath, const ConversionSettings& settings,
                ConversionReport& report)
{
    ClearReport(report);
    FileBuffers* buffers = ObtainFileBuffers();
    if (buffers == nullptr)
        return FailConversion(report, FailureKind::OutOfMemory, "not enough memory for the file buffers");
    std::FILE* input = OpenInput(inputPath);
    if (input == nullptr)
        return FailConversion(report, FailureKind::CannotOpen, "cannot open the input");
    Path temporaryPath;
    std::FILE* output = CreateUnusedFile(outputPath, ".part", temporaryPath);
    if (output == nullptr) {
        std::fclose(input);
        return FailConversion(report, FailureKind::CannotWrite, "cannot create the output");
    }
    // The buffers below are the only ones: every call of the streams goes to the system.
    std::setvbuf(input, nullptr, _IONBF, 0);
    std::setvbuf(output, nullptr, _IONBF, 0);

    FileInput fileInput(input, buffers->input, kBlockSize);
    std::istream source(&fileInput);
    FileOutput fileOutput(output);
    BlockedOutput blocks(&fileOutput, buffers->output);
    std::ostream sink(&blocks);
    LendFileBuffers(source, fileInput, sink, blocks);
    int converted = ConvertModelStream(source, sink, settings, report);
    const bool readFailed = std::ferror(input) != 0;
    const bool closeFailed = std::fclose(output) != 0;
    std::fclose(input);
    if (readFailed) {
        // To the walk a read error looks like the end of the input: say what it was.
        report.reason.clear();
        converted = FailConversion(report, FailureKind::CannotOpen, "cannot read the input");
    }
    if (converted && closeFailed)
        converted = FailConversion(report, FailureKind::CannotWrite, "cannot write the output");
    if (converted && !MoveOntoOutput(temporaryPath, outputPath))
        converted = FailConversion(report, FailureKind::CannotWrite, "cannot move the output into place");
    if (!converted)
        RemoveFile(temporaryPath);
    return converted;
}

} // namespace

int ConvertModel(const char* inputPath, const char* outputPath)
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
        report.reason.clear();
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

int ConvertModelWithReport(const char* inputPath, const char* outputPath, ConversionReport& report)
{
    return ConvertFile(std::string(inputPath), std::string(outputPath), ConversionSettings(), report);
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
