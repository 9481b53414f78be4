#pragma once

// Models of one batch that would write one output (a.mdx and a.MDX in one folder on Linux, the
// same file named twice): the rule that both programs follow. Among the models of one output,
// in the order of the list, each is converted until one succeeds; every later model is refused,
// naming the one that wrote the output. A model is never refused on its own behalf: one that
// names the writer's input again is converted again.

#include "model_walk.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

constexpr std::size_t kNoModel = static_cast<std::size_t>(-1);

struct SharedOutputs {
    std::vector<std::size_t> next; // for each model, the next model of the list with its output, or kNoModel
    std::vector<bool> follows;     // for each model, whether an earlier model has its output
    bool inputWritten = false;     // one model's input is another's output: convert in the order given
};

// The models of list that share outputs, names compared as the system compares them (relative
// names against folder, the current folder's text). Inputs whose names end in neither ".mdx" nor
// a map's extension have no output and share none.
SharedOutputs FindSharedOutputs(const ModelList& list, const std::string& folder);

// Converts the models of the output of first (a model that follows none) in the order of the
// list: convert(index) is called for each until one returns true, then refuse(index, writer)
// for each later model of another input, and convert(index) for each that names the writer's
// input again.
void ConvertSharingModels(const ModelList& list, const SharedOutputs& shared, std::size_t first,
                          const std::string& folder, const std::function<bool(std::size_t)>& convert,
                          const std::function<void(std::size_t, std::size_t)>& refuse);

// The reason for refusing a model whose output writer wrote: "its output OUTPUT is written by
// WRITER in this run".
std::string DescribeTakenOutput(const std::string& output, const std::string& writer);
