#include "shared_outputs.h"

#include "file_path.h"
#include "output_name.h"

#include <algorithm>
#include <map>

namespace {

// A name as the system compares it, held as its hash beside the model it comes from: a batch of
// a hundred thousand models would hold tens of megabytes in the names themselves. Names whose
// hashes meet are made again and compared, which only a few are.
struct NameKey {
    std::size_t hash;
    std::size_t index;
    bool operator<(const NameKey& other) const
    {
        return hash != other.hash ? hash < other.hash : index < other.index;
    }
};

std::string ComparableInput(const ModelList& list, std::size_t index, const std::string& folder)
{
    return ComparableName(PathText(list.models[index]), folder);
}

std::string ComparableOutput(const ModelList& list, std::size_t index, const std::string& folder)
{
    return ComparableName(MakeOutputName(PathText(list.models[index]).c_str()), folder);
}

// The comparable names of each model's input and of its output, each list sorted by hash;
// inputs whose names name neither a model nor a map have no output and are left out.
void SortNameKeys(const ModelList& list, const std::string& folder, std::vector<NameKey>& inputs,
                  std::vector<NameKey>& outputs)
{
    for (std::size_t index = 0; index < list.models.size(); ++index) {
        const std::string input = PathText(list.models[index]);
        if (!HasConvertibleExtension(input.c_str()))
            continue;
        inputs.push_back({std::hash<std::string>()(ComparableName(input, folder)), index});
        outputs.push_back({std::hash<std::string>()(ComparableName(MakeOutputName(input.c_str()), folder)), index});
    }
    std::sort(inputs.begin(), inputs.end());
    std::sort(outputs.begin(), outputs.end());
}

} // namespace

SharedOutputs FindSharedOutputs(const ModelList& list, const std::string& folder)
{
    SharedOutputs shared;
    shared.next.assign(list.models.size(), kNoModel);
    shared.follows.assign(list.models.size(), false);
    std::vector<NameKey> inputs;
    std::vector<NameKey> outputs;
    SortNameKeys(list, folder, inputs, outputs);
    for (std::size_t first = 0, end = 0; first < outputs.size(); first = end) {
        for (end = first + 1; end < outputs.size() && outputs[end].hash == outputs[first].hash; ++end) {
        }
        if (end - first == 1)
            continue;
        // Models of one hash, in the order given: each links to the last model of its output.
        std::map<std::string, std::size_t> last;
        for (std::size_t key = first; key < end; ++key) {
            const std::size_t index = outputs[key].index;
            const auto claim = last.emplace(ComparableOutput(list, index, folder), index);
            if (claim.second)
                continue;
            shared.next[claim.first->second] = index;
            shared.follows[index] = true;
            claim.first->second = index;
        }
    }
    for (std::size_t key = 0, in = 0; key < outputs.size() && !shared.inputWritten; ++key) {
        for (; in < inputs.size() && inputs[in].hash < outputs[key].hash; ++in) {
        }
        for (std::size_t meet = in; meet < inputs.size() && inputs[meet].hash == outputs[key].hash; ++meet) {
            if (ComparableInput(list, inputs[meet].index, folder) == ComparableOutput(list, outputs[key].index, folder))
                shared.inputWritten = true;
        }
    }
    return shared;
}

void ConvertSharingModels(const ModelList& list, const SharedOutputs& shared, std::size_t first,
                          const std::string& folder, const std::function<bool(std::size_t)>& convert,
                          const std::function<void(std::size_t, std::size_t)>& refuse)
{
    std::size_t writer = kNoModel;
    std::string writerInput;
    for (std::size_t index = first; index != kNoModel; index = shared.next[index]) {
        if (writer != kNoModel && ComparableInput(list, index, folder) != writerInput) {
            refuse(index, writer);
        } else if (convert(index) && writer == kNoModel) {
            writer = index;
            writerInput = ComparableInput(list, index, folder);
        }
    }
}

std::string DescribeTakenOutput(const std::string& output, const std::string& writer)
{
    return "its output " + output + " is written by " + writer + " in this run";
}
