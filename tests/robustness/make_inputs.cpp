// robustness-make-inputs DIR: writes the inputs the memcheck tests give the command-line tool:
// well-formed models with every structure, and bad inputs as users meet them.
//
// Prints nothing on success; on failure one line on stderr and exit status 1.

#include "bad_inputs.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// The offset of the first mark of kind, 0 if there is none.
std::size_t FirstMark(const std::vector<Mark>& marks, MarkKind kind)
{
    for (const Mark& mark : marks) {
        if (mark.kind == kind)
            return mark.offset;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: robustness-make-inputs DIR\n");
        return 1;
    }
    const std::string dir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    const WrittenModel full = WriteModel(FullModelPlan(800));
    const std::string& bytes = full.bytes;
    const bool ok = WriteFile(dir + "/full.mdx", bytes) &&
                    WriteFile(dir + "/full-1000.mdx", WriteModel(FullModelPlan(1000)).bytes) &&
                    WriteFile(dir + "/empty.mdx", std::string()) && WriteFile(dir + "/texture.mdx", TextureFile()) &&
                    WriteFile(dir + "/cut.mdx", bytes.substr(0, bytes.size() * 2 / 3)) &&
                    WriteFile(dir + "/negative-count.mdx", WithField(bytes, FirstMark(full.marks, kMarkCount), -1)) &&
                    WriteFile(dir + "/huge-chunk.mdx",
                              WithField(bytes, FirstMark(full.marks, kMarkChunkSize), 0x7FFFFFFF));
    if (!ok) {
        std::fprintf(stderr, "robustness-make-inputs: cannot write the inputs into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
