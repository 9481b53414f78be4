#include "json_report.h"

#include <nlohmann/json.hpp>

// Fields stay in the order they are written in, as the manual lists them.
using Json = nlohmann::ordered_json;

namespace {

// The word for why an input failed, from the typed kinds: the tool's checks, then the conversion's.
const char* FailureWord(const FileOutcome& outcome)
{
    switch (outcome.check) {
    case InputCheck::IsAFolder: return "is_a_folder";
    case InputCheck::NotMdxName: return "not_mdx_name";
    case InputCheck::SameAsInput: return "same_as_input";
    case InputCheck::OutputTaken: return "output_taken";
    case InputCheck::CannotReadFolder: return "cannot_read_folder";
    case InputCheck::None: break;
    }
    switch (outcome.report.kind) {
    case FailureKind::CannotOpen: return "cannot_open";
    case FailureKind::CannotRead: return "cannot_read";
    case FailureKind::NotAModel: return "not_a_model";
    case FailureKind::Truncated: return "truncated";
    case FailureKind::Malformed: return "malformed";
    case FailureKind::CannotWrite: return "cannot_write";
    case FailureKind::OutOfMemory: return "out_of_memory";
    case FailureKind::InvalidSettings: return "invalid_settings";
    case FailureKind::None: break;
    }
    return "failed";
}

Json ErrorJson(const FileOutcome& outcome)
{
    if (outcome.failure.empty()) {
        Json error;
        error["kind"] = "cannot_measure";
        error["message"] = kUnmeasuredReason;
        error["offset"] = nullptr;
        error["chunk"] = nullptr;
        return error;
    }
    const bool conversion = outcome.check == InputCheck::None;
    Json error;
    error["kind"] = FailureWord(outcome);
    error["message"] = conversion && !outcome.report.reason.empty() ? outcome.report.reason : outcome.failure;
    error["offset"] = conversion && outcome.report.offset >= 0 ? Json(outcome.report.offset) : Json();
    error["chunk"] = conversion && outcome.report.tag != 0 ? Json(TagLetters(outcome.report.tag)) : Json();
    return error;
}

Json ValueChangesJson(const ValueChanges& changes)
{
    Json figures;
    for (int k = 0; k < kReducedKindCount; ++k) {
        const ReducedKind kind = static_cast<ReducedKind>(k);
        // A model without tangents has no figure for them; every other kind has one, 0 when absent.
        if (kind == ReducedKind::Tangent && changes.values[k] == 0)
            continue;
        figures[ValueChangeKey(kind)] = changes.largest[k];
        if (kind == ReducedKind::Position)
            figures["model_size"] = changes.modelSize;
    }
    figures["non_finite"] = changes.nonFinite;
    return figures;
}

std::string JsonLine(const Json& object)
{
    return object.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace

std::string InputJsonLine(const std::string& input, const FileOutcome& outcome, const CliOptions& options)
{
    const bool converted = outcome.failure.empty();
    // The version is known once the walk has begun.
    const bool walked = converted || (outcome.check == InputCheck::None && outcome.report.walked);
    Json object;
    object["input"] = input;
    object["output"] = converted && !options.dryRun ? Json(outcome.outputPath) : Json();
    object["converted"] = converted;
    object["dry_run"] = options.dryRun != 0;
    object["version"] = walked ? Json(outcome.report.version) : Json();
    object["floats_reduced"] = converted ? outcome.report.floatsReduced : 0;
    object["bytes"] = outcome.bytesIn;
    object["error"] = converted && !outcome.unmeasured ? Json() : ErrorJson(outcome);
    if (options.stats) {
        object["deflated_input"] = outcome.measured ? Json(outcome.deflatedIn) : Json();
        object["deflated_output"] = outcome.measured ? Json(outcome.deflatedOut) : Json();
        object["largest_change"] = converted ? ValueChangesJson(outcome.changes) : Json();
    }
    object["rounding"] = options.round ? "nearest" : "toward_zero";
    Json keptBits;
    for (int k = 0; k < kReducedKindCount; ++k)
        keptBits[KindWord(static_cast<ReducedKind>(k))] = options.keptBits[k];
    object["kept_bits"] = keptBits;
    return JsonLine(object);
}

std::string SummaryJsonLine(const BatchTotals& totals, const CliOptions& options)
{
    Json object;
    object["summary"] = true;
    object["converted"] = totals.converted;
    object["failed"] = totals.failed;
    object["skipped"] = totals.skipped;
    object["bytes"] = totals.bytesIn;
    object["floats_reduced"] = totals.floatsReduced;
    if (options.stats) {
        // Totals over only some of the files would read as the batch's: unknown is null.
        object["deflated_input"] = totals.unmeasured == 0 ? Json(totals.deflatedIn) : Json();
        object["deflated_output"] = totals.unmeasured == 0 ? Json(totals.deflatedOut) : Json();
        object["unmeasured"] = totals.unmeasured;
        object["largest_change"] = ValueChangesJson(totals.changes);
    }
    return JsonLine(object);
}
