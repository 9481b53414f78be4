#include "cli_options.h"

#include <cstdlib>
#include <cstring>

const char kUsageText[] =
    "Usage: duridodi [OPTION]... FILE...\n"
    "       duridodi [OPTION]... -o OUT FILE\n"
    "       duridodi -r [OPTION]... DIR...\n"
    "\n"
    "Writes a reduced copy of each MDX model FILE beside it as NAME_dezavivi.mdx:\n"
    "geometry and animation floats keep their high 16 bits (see --keep-bits),\n"
    "all else is copied.\n"
    "A map FILE (.w3x, .w3m, .mpq) is copied as NAME_dezavivi.EXT with every model\n"
    "in it reduced; a model that cannot be is kept as it was and named on stderr.\n"
    "\n"
    "  -o OUT      write the copy of the one FILE to OUT (never onto FILE itself)\n"
    "  -r          convert every .mdx file and map under each DIR, in sorted order;\n"
    "              earlier outputs (*_dezavivi.*) are skipped, linked folders not\n"
    "              followed\n"
    "  -q          print failures only: no success lines, no summary (with\n"
    "              --json every object is still printed)\n"
    "  -j N, --jobs N\n"
    "              convert N files at once (default: one per processor it may\n"
    "              use); the lines and the summary are the same as with -j 1;\n"
    "              a map alone has its models compressed on N workers\n"
    "  --dry-run   walk every model and say what would happen; write nothing\n"
    "  --stats     add the zlib deflate sizes (default level) of input and output\n"
    "              and the saving, computed in a second pass over both files\n"
    "              after the conversion (a dry run deflates its output while\n"
    "              walking), and a line with the largest change the reduction\n"
    "              made to each kind of value\n"
    "  --round     round each value to the nearest value of the bits it keeps\n"
    "              (ties to even) instead of truncating it; never to infinity\n"
    "  --keep-bits N\n"
    "  --keep-bits KIND=N[,KIND=N]...\n"
    "              keep the high N bits (10 to 32, default 16; 32 copies) of\n"
    "              every reduced value, or of the values of each KIND named:\n"
    "              positions, normals, tangents, texture_coordinates, extents,\n"
    "              translations, rotations, scalings; \"18,rotations=22\" sets\n"
    "              every kind, then one\n"
    "  --json      print one JSON object per input and a summary object\n"
    "              (JSON Lines) on stdout instead of the text lines\n"
    "  -h, --help  show this help\n"
    "  --version   show the version\n"
    "\n"
    "One line per converted file on stdout, one per failure on stderr\n"
    "(duridodi: FILE: reason); with -r, --dry-run or --stats a summary ends the run.\n"
    "Exit status: 0 every file converted, 1 any failed or a map kept a model,\n"
    "2 usage error.\n"
    "See duridodi(1).\n";

// The number of -j or --jobs, from text; 0 with the reason in error when it is not a whole
// number from 1 to kMaxJobs.
static int ParseJobs(const char* text, std::string& error)
{
    char* end = nullptr;
    const long jobs = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || jobs < 1 || jobs > kMaxJobs) {
        error = "-j needs a number of files from 1 to " + std::to_string(kMaxJobs) + ", not '" + text + "'";
        return 0;
    }
    return static_cast<int>(jobs);
}

// A number of kept bits from text, or 0 with the reason in error when it is not a whole number
// from kFewestKeptBits to kMostKeptBits.
static int ParseKeptBits(const std::string& text, std::string& error)
{
    char* end = nullptr;
    const long bits = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || end != text.c_str() + text.size() || bits < kFewestKeptBits || bits > kMostKeptBits) {
        error = "--keep-bits needs a number of bits from " + std::to_string(kFewestKeptBits) + " to " +
                std::to_string(kMostKeptBits) + ", not '" + text + "'";
        return 0;
    }
    return static_cast<int>(bits);
}

// The kind a word of --keep-bits names; false with the reason in error when none does.
static bool ParseKind(const std::string& word, ReducedKind& kind, std::string& error)
{
    std::string words;
    for (int k = 0; k < kReducedKindCount; ++k) {
        if (word == KindWord(static_cast<ReducedKind>(k))) {
            kind = static_cast<ReducedKind>(k);
            return true;
        }
        words += std::string(k == 0 ? "" : ", ") + KindWord(static_cast<ReducedKind>(k));
    }
    error = "--keep-bits: unknown kind of value '" + word + "' (the kinds: " + words + ")";
    return false;
}

// The value of --keep-bits: settings separated by commas, each N for every kind or KIND=N for
// one, applied in order. Returns 1 on success, 0 with the reason in error.
static int ParseKeepBits(const std::string& value, CliOptions& options, std::string& error)
{
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = value.find(',', start);
        const std::string setting = value.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const std::size_t equals = setting.find('=');
        const int bits = ParseKeptBits(equals == std::string::npos ? setting : setting.substr(equals + 1), error);
        if (bits == 0)
            return 0;
        ReducedKind kind = ReducedKind::Position;
        if (equals != std::string::npos && !ParseKind(setting.substr(0, equals), kind, error))
            return 0;
        for (int k = 0; k < kReducedKindCount; ++k) {
            if (equals == std::string::npos || k == static_cast<int>(kind))
                options.settings.keptBits[k] = bits;
        }
        if (comma == std::string::npos)
            return 1;
        start = comma + 1;
    }
}

// The value of an option that takes one: the rest of its word when there is one, else the
// next word. Returns null when there is neither.
static const char* OptionValue(int argc, char** argv, int& index, const char* rest)
{
    if (rest[0] != '\0')
        return rest;
    if (index + 1 < argc && argv[index + 1][0] != '\0')
        return argv[++index];
    return nullptr;
}

// One short option letter; -o and -j take the rest of their word or the next word. Returns 1 on
// success, 0 on an unknown letter or a missing value.
static int ParseShortOptions(int argc, char** argv, int& index, CliOptions& options, std::string& error)
{
    const char* letters = argv[index] + 1;
    for (; *letters != '\0'; ++letters) {
        switch (*letters) {
        case 'q': options.quiet = 1; break;
        case 'r': options.recursive = 1; break;
        case 'h': options.help = 1; break;
        case 'o': {
            if (!options.outputPath.empty()) {
                error = "-o given more than once";
                return 0;
            }
            const char* value = OptionValue(argc, argv, index, letters + 1);
            if (value == nullptr) {
                error = "-o needs an output file";
                return 0;
            }
            options.outputPath = value;
            return 1;
        }
        case 'j': {
            const char* value = OptionValue(argc, argv, index, letters + 1);
            if (value == nullptr) {
                error = "-j needs a number of files";
                return 0;
            }
            options.jobs = ParseJobs(value, error);
            return options.jobs > 0;
        }
        default:
            error = std::string("unknown option '-") + *letters + "'";
            return 0;
        }
    }
    return 1;
}

// One long option; --jobs takes "=N" or the next word. Returns 1 when it is known and complete,
// 0 otherwise.
static int ParseLongOption(int argc, char** argv, int& index, CliOptions& options, std::string& error)
{
    const char* word = argv[index];
    if (std::strncmp(word, "--jobs", 6) == 0 && (word[6] == '\0' || word[6] == '=')) {
        const char* value = word[6] == '=' ? word + 7 : OptionValue(argc, argv, index, "");
        if (value == nullptr) {
            error = "--jobs needs a number of files";
            return 0;
        }
        options.jobs = ParseJobs(value, error);
        return options.jobs > 0;
    }
    if (std::strncmp(word, "--keep-bits", 11) == 0 && (word[11] == '\0' || word[11] == '=')) {
        const char* value = word[11] == '=' ? word + 12 : OptionValue(argc, argv, index, "");
        if (value == nullptr) {
            error = "--keep-bits needs a number of bits or KIND=N settings";
            return 0;
        }
        return ParseKeepBits(value, options, error);
    }
    if (std::strcmp(word, "--help") == 0) {
        options.help = 1;
    } else if (std::strcmp(word, "--version") == 0) {
        options.version = 1;
    } else if (std::strcmp(word, "--dry-run") == 0) {
        options.dryRun = 1;
    } else if (std::strcmp(word, "--stats") == 0) {
        options.stats = 1;
    } else if (std::strcmp(word, "--round") == 0) {
        options.settings.rounding = Rounding::Nearest;
    } else if (std::strcmp(word, "--json") == 0) {
        options.json = 1;
    } else {
        error = std::string("unknown option '") + word + "'";
        return 0;
    }
    return 1;
}

int ParseArguments(int argc, char** argv, CliOptions& options, std::string& error)
{
    int optionsEnded = 0;
    for (int index = 1; index < argc; ++index) {
        const char* word = argv[index];
        if (optionsEnded || word[0] != '-' || word[1] == '\0') {
            options.inputs.push_back(word);
        } else if (std::strcmp(word, "--") == 0) {
            optionsEnded = 1;
        } else if (word[1] == '-') {
            if (!ParseLongOption(argc, argv, index, options, error))
                return 0;
        } else if (!ParseShortOptions(argc, argv, index, options, error)) {
            return 0;
        }
    }
    // --help and --version answer whatever else stands on the line.
    if (options.help || options.version)
        return 1;
    if (options.inputs.empty()) {
        error = options.recursive ? "no folder given" : "no input file given";
        return 0;
    }
    if (!options.outputPath.empty() && options.recursive) {
        error = "-o cannot be used with -r";
        return 0;
    }
    if (!options.outputPath.empty() && options.inputs.size() != 1) {
        error = "-o takes exactly one input file";
        return 0;
    }
    return 1;
}

std::string DescribeKeptBits(const CliOptions& options)
{
    std::string text;
    for (int k = 0; k < kReducedKindCount; ++k) {
        if (options.settings.keptBits[k] != kDefaultKeptBits)
            text += std::string(text.empty() ? "" : ", ") + KindWord(static_cast<ReducedKind>(k)) + " " +
                    std::to_string(options.settings.keptBits[k]);
    }
    return text.empty() ? text : "; bits kept: " + text;
}
