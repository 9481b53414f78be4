#include "archive_convert.h"

#include "archive_write.h"
#include "mpq_crypt.h"
#include "mpq_read.h"
#include "output_file.h"
#include "named_files.h"

#include <system_error>

namespace fs = std::filesystem;

namespace {

// The names of the archive's files: its (listfile), when it can be read, and the fixed names.
std::vector<std::string> ArchiveNames(std::FILE* input, const Archive& archive)
{
    std::vector<std::string> names;
    for (std::size_t slot : FindSlots(archive, kListfileName)) {
        const std::uint32_t index = archive.hashes[slot].block;
        if (index >= archive.blocks.size() || !HoldsFile(archive.blocks[index]))
            continue;
        const BlockEntry& block = archive.blocks[index];
        std::string content;
        ReadError ignored;
        // A listfile that cannot be read names nothing: files are then found by their content.
        if (ReadFileContent(input, archive, block, FileKey(kListfileName, block.flags, block.offset, block.realSize),
                            content, ignored))
            names = SplitListfile(content);
        break;
    }
    names.insert(names.end(), {kListfileName, kAttributesName, kSignatureName});
    return names;
}

// True when the unnamed block begins with a model's magic. Only its first sector is read.
bool BeginsAsModel(std::FILE* input, const Archive& archive, const BlockEntry& block)
{
    std::string start;
    ReadError ignored;
    return block.realSize >= 4 && ReadFileContent(input, archive, block, 0, start, ignored, 1) &&
           start.compare(0, 4, "MDLX") == 0;
}

// Names every block and decides what becomes of it. Returns false when a block cannot be carried
// over: one encrypted with a key fixed to its offset that the archive does not name.
bool PlanArchive(std::FILE* input, const Archive& archive, ArchivePlan& plan, ArchiveReport& report, ReadError& error)
{
    const std::vector<std::string> names = ArchiveNames(input, archive);
    // Dropping a (signature) that is also the (listfile), say, would lose the names the output needs.
    const std::size_t ambiguous = FindAmbiguousBlock(archive, names);
    if (ambiguous < archive.blocks.size())
        return Fail(error, ArchiveFailure::Malformed,
                    "block " + std::to_string(ambiguous) + " is named as two different files");
    plan.names = NameBlocks(archive, names);
    plan.roles.assign(archive.blocks.size(), BlockRole::Move);
    for (std::size_t i = 0; i < archive.blocks.size(); ++i) {
        const BlockEntry& block = archive.blocks[i];
        const std::string& name = plan.names[i];
        const bool encrypted = block.flags & kFileEncrypted;
        if (!HoldsFile(block)) {
            plan.roles[i] = BlockRole::Empty;
        } else if (name == kSignatureName) {
            plan.roles[i] = BlockRole::Drop;
            report.signatureDropped = true;
        } else if (name == kAttributesName) {
            plan.roles[i] = BlockRole::Attributes;
        } else if (encrypted && (block.flags & kFileFixedKey) && name.empty()) {
            return Fail(error, ArchiveFailure::Unsupported,
                        "block " + std::to_string(i) +
                            " is encrypted with a key bound to its place, and the archive does not name it");
        } else if (HasModelName(name) || (name.empty() && !encrypted && BeginsAsModel(input, archive, block))) {
            plan.roles[i] = BlockRole::Model;
        }
    }
    return true;
}

// A refusal reports the input's size, the kind and the reason, and nothing found on the way.
int Refuse(ArchiveReport& report, const ReadError& error)
{
    const std::uint64_t sizeBefore = report.sizeBefore;
    report = ArchiveReport();
    report.sizeBefore = sizeBefore;
    report.kind = error.kind == ArchiveFailure::None ? ArchiveFailure::Malformed : error.kind;
    report.reason = error.reason;
    return 0;
}

} // namespace

const char* ArchiveFailureWord(ArchiveFailure kind)
{
    switch (kind) {
    case ArchiveFailure::None: return "";
    case ArchiveFailure::CannotOpen: return "cannot_open";
    case ArchiveFailure::NotAnArchive: return "not_an_archive";
    case ArchiveFailure::Unsupported: return "unsupported";
    case ArchiveFailure::Truncated: return "truncated";
    case ArchiveFailure::Malformed: return "malformed";
    case ArchiveFailure::CannotWrite: return "cannot_write";
    case ArchiveFailure::OutOfMemory: return "out_of_memory";
    }
    return "";
}

std::size_t CountReducedModels(const ArchiveReport& report)
{
    std::size_t count = 0;
    for (const ArchiveModel& model : report.models)
        count += model.reduced ? 1 : 0;
    return count;
}

std::size_t CountKeptModels(const ArchiveReport& report)
{
    return report.models.size() - CountReducedModels(report);
}

int ConvertArchiveFiles(const std::function<std::FILE*()>& openInput, std::FILE* output,
                        const ArchiveOptions& options, ArchiveReport& report)
{
    report = ArchiveReport();
    ReadError error;
    std::FILE* input = openInput();
    if (input == nullptr)
        return Refuse(report, ReadError{ArchiveFailure::CannotOpen, "cannot open the input"});
    Archive archive;
    ArchivePlan plan;
    ArchiveOutput out;
    out.file = output;
    const bool written = ReadArchive(input, archive, error) && PlanArchive(input, archive, plan, report, error) &&
                         WriteArchive(input, openInput, archive, plan, options, out, report, error);
    std::fclose(input);
    report.sizeBefore = archive.fileSize;
    if (!written)
        return Refuse(report, error);
    report.strongSignatureDropped = archive.strongSignature;
    report.sizeAfter = out.written;
    report.written = true;
    return 1;
}

int ConvertArchive(const fs::path& inputPath, const fs::path& outputPath, const ArchiveOptions& options,
                   ArchiveReport& report)
{
    std::error_code sameError;
    if (fs::equivalent(inputPath, outputPath, sameError)) {
        report = ArchiveReport();
        return Refuse(report, ReadError{ArchiveFailure::CannotWrite, "the output would replace the input"});
    }
    fs::path temporaryPath;
    std::FILE* output = CreateTemporaryBeside(outputPath, temporaryPath);
    if (output == nullptr) {
        report = ArchiveReport();
        return Refuse(report, ReadError{ArchiveFailure::CannotWrite, "cannot create the output"});
    }
    int written = ConvertArchiveFiles([&] { return OpenInputFile(inputPath); }, output, options, report);
    const bool closeFailed = std::fclose(output) != 0;
    if (written && closeFailed)
        written = Refuse(report, ReadError{ArchiveFailure::CannotWrite, "cannot write the output"});
    if (written && !PlaceOutputFile(temporaryPath, outputPath))
        written = Refuse(report, ReadError{ArchiveFailure::CannotWrite, "cannot move the output into place"});
    if (!written)
        RemoveTemporaryFile(temporaryPath);
    return written;
}

int DryRunArchive(const fs::path& inputPath, const ArchiveOptions& options, ArchiveReport& report)
{
    return ConvertArchiveFiles([&] { return OpenInputFile(inputPath); }, nullptr, options, report);
}
