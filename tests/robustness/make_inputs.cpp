// robustness-make-inputs DIR: writes the inputs the memcheck tests give the command-line tool:
// well-formed models with every structure, and bad inputs as users meet them.
//
// Prints nothing on success; on failure one line on stderr and exit status 1.

#include "bad_inputs.h"

#include <cstdio>
#include <filesystem>
#include <string>

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
    bool ok = WriteFile(dir + "/full.mdx", full.bytes) &&
              WriteFile(dir + "/full-1000.mdx", WriteModel(FullModelPlan(1000)).bytes);
    for (const BadInput& input : BadInputsOf(full))
        ok = ok && WriteFile(dir + "/" + input.name, input.bytes);
    if (!ok) {
        std::fprintf(stderr, "robustness-make-inputs: cannot write the inputs into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
