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

// What every object of a run ends with: the rounding and the bits each kind keeps.
void AddSettingsJson(Json& object, const CliOptions& options)
{
    object["rounding"] = options.settings.rounding == Rounding::Nearest ? "nearest" : "toward_zero";
    Json keptBits;
    for (int k = 0; k < kReducedKindCount; ++k)
        keptBits[KindWord(static_cast<ReducedKind>(k))] = options.settings.keptBits[k];
    object["kept_bits"] = keptBits;
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
    AddSettingsJson(object, options);
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
    object["map_models_reduced"] = totals.mapModelsReduced;
    object["map_models_kept"] = totals.mapModelsKept;
    if (options.stats) {
        // Totals over only some of the files would read as the batch's: unknown is null.
        object["deflated_input"] = totals.unmeasured == 0 ? Json(totals.deflatedIn) : Json();
        object["deflated_output"] = totals.unmeasured == 0 ? Json(totals.deflatedOut) : Json();
        object["unmeasured"] = totals.unmeasured;
        object["largest_change"] = ValueChangesJson(totals.changes);
    }
    AddSettingsJson(object, options);
    return JsonLine(object);
}

namespace {

// A model of a map and what became of it.
Json MapModelJson(const ArchiveModel& model)
{
    Json object;
    object["name"] = model.name;
    object["block"] = model.block;
    object["reduced"] = model.reduced;
    object["version"] = model.report.walked ? Json(model.report.version) : Json();
    object["floats_reduced"] = model.reduced ? model.report.floatsReduced : 0;
    object["bytes"] = model.size;
    object["stored_before"] = model.storedBefore;
    object["stored_after"] = model.storedAfter;
    if (model.reduced) {
        object["error"] = nullptr;
        return object;
    }
    // The core's word when the core refused the model, else its data could not be read.
    FileOutcome core;
    core.report = model.report;
    Json error;
    error["kind"] = model.report.kind != FailureKind::None ? FailureWord(core) : "cannot_read";
    error["message"] = model.keptReason;
    object["error"] = error;
    return object;
}

} // namespace

std::string MapJsonLine(const std::string& input, const FileOutcome& outcome, const CliOptions& options)
{
    const bool converted = outcome.failure.empty();
    Json object;
    object["input"] = input;
    object["output"] = converted && !options.dryRun ? Json(outcome.outputPath) : Json();
    object["map"] = true;
    object["converted"] = converted;
    object["dry_run"] = options.dryRun != 0;
    object["bytes"] = outcome.bytesIn;
    object["output_bytes"] = converted ? Json(outcome.map.sizeAfter) : Json();
    object["models_reduced"] = CountReducedModels(outcome.map);
    object["models_kept"] = CountKeptModels(outcome.map);
    object["floats_reduced"] = converted ? outcome.report.floatsReduced : 0;
    object["signature_dropped"] = outcome.map.signatureDropped || outcome.map.strongSignatureDropped;
    Json models = Json::array();
    for (const ArchiveModel& model : outcome.map.models)
        models.push_back(MapModelJson(model));
    object["models"] = models;
    if (converted) {
        object["error"] = nullptr;
    } else {
        // The tool's own checks have their words; an archive refused has the archive's.
        Json error;
        error["kind"] = outcome.check != InputCheck::None ? FailureWord(outcome) : ArchiveFailureWord(outcome.map.kind);
        error["message"] = outcome.failure;
        object["error"] = error;
    }
    if (options.stats)
        object["largest_change"] = converted ? ValueChangesJson(outcome.changes) : Json();
    AddSettingsJson(object, options);
    return JsonLine(object);
}
