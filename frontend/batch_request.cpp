#include "batch_request.h"

#include "conversion_request.h"
#include "main_window.h"
#include "map_request.h"

#include "file_path.h"
#include "model_convert.h"
#include "model_walk.h"
#include "output_name.h"
#include "shared_outputs.h"

#include <shellapi.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

// The failed models a report lists; the rest are counted.
constexpr std::size_t kMaxListedFailures = 10;

// How long a closing window waits for the model being converted, in milliseconds; a model that
// takes longer is cut short with the process (its temporary file stays).
constexpr DWORD kStopWaitMs = 10000;

// One batch. The UI thread fills the first part before the worker starts; the worker fills
// the outcome, which the UI thread reads only after the worker has ended.
struct Batch {
    HWND window = nullptr;               // receives the worker's messages
    bool mapAlone = false;               // one map was given, and nothing else: its own box
    std::vector<std::string> givenPaths; // ANSI, as dropped or given
    std::atomic<int> stopRequested{0};   // set by the UI thread when the window closes
    std::atomic<int> progressPending{0}; // a progress message is posted and not yet handled
    HANDLE thread = nullptr;
    std::size_t modelCount = 0;          // models named or found
    std::int64_t converted = 0;
    std::int64_t maps = 0;               // maps met (written or not)
    std::int64_t mapsWritten = 0;
    ArchiveReport lastMap;               // the last map's outcome: the report of a map given alone
    std::vector<std::string> failures;   // ANSI "PATH: reason" of models, maps and folders that failed
};

static Batch* g_batch = nullptr; // the running batch, null when none

// The models of a batch, each with the path given that it was found under (an empty path for a
// file given itself), so that it can be named relative to that folder.
struct BatchList {
    ModelList list;
    std::vector<fs::path> roots;             // the folders given, and an empty path
    std::vector<std::size_t> modelRoot;      // for each model, its root
    std::vector<std::size_t> unreadableRoot; // for each unreadable folder, its root
};

// The models and maps of the batch: folders walked, files taken when their names end in ".mdx"
// or a map's extension.
static void ListModels(Batch& batch, BatchList& models)
{
    models.roots.push_back(fs::path());
    for (const std::string& given : batch.givenPaths) {
        const fs::path path = PathFromAnsi(given);
        std::size_t root = 0;
        if (LookAtFile(FilePath(path)).isFolder) {
            root = models.roots.size();
            models.roots.push_back(path);
            CollectModels(path, models.list, &batch.stopRequested);
        } else if (HasConvertibleExtension(given.c_str())) {
            models.list.models.push_back(path.native());
        }
        models.modelRoot.resize(models.list.models.size(), root);
        models.unreadableRoot.resize(models.list.unreadable.size(), root);
    }
}

// The ANSI name of path for the report: relative to the folder given that it was found in, in
// full when it was given itself.
static std::string ReportName(const BatchList& models, std::size_t root, const fs::path& path)
{
    const fs::path relative = root == 0 ? fs::path() : path.lexically_relative(models.roots[root]);
    return AnsiFromPath(relative.empty() || relative == "." ? path : relative);
}

// The worker: lists the models, converts them one by one until done or asked to stop, and
// tells the window how far it is and when it has ended. Of models that share an output, the
// first that converts writes it, and the others are refused.
static DWORD WINAPI RunBatch(LPVOID parameter)
{
    Batch& batch = *static_cast<Batch*>(parameter);
    BatchList models;
    ListModels(batch, models);
    const ModelList& list = models.list;
    std::error_code error;
    const std::string folder = PathText(fs::current_path(error));
    const SharedOutputs shared = FindSharedOutputs(list, folder);
    const auto modelName = [&](std::size_t index) {
        return ReportName(models, models.modelRoot[index], list.models[index]);
    };
    // Folders that could not be read are listed where the walk met them, among the models.
    std::size_t unreadableListed = 0;
    const auto listUnreadableBefore = [&](std::size_t index) {
        for (const std::size_t end = UnreadableBefore(list, index, unreadableListed); unreadableListed < end;
             ++unreadableListed) {
            const UnreadableFolder& unreadable = list.unreadable[unreadableListed];
            batch.failures.push_back(ReportName(models, models.unreadableRoot[unreadableListed], unreadable.folder) +
                                     ": " + unreadable.reason);
        }
    };
    const auto convert = [&](std::size_t index) {
        listUnreadableBefore(index);
        // One progress message at a time: a flood of them could fill the window's queue.
        if (!batch.progressPending.exchange(1))
            PostMessageA(batch.window, WM_BATCH_PROGRESS, index + 1, static_cast<LPARAM>(list.models.size()));
        const fs::path model(list.models[index]);
        if (HasMapExtension(PathText(model).c_str())) {
            ++batch.maps;
            batch.lastMap = ArchiveReport();
            const bool written = ConvertDroppedMap(model, batch.lastMap);
            batch.mapsWritten += written ? 1 : 0;
            ListMapFailures(modelName(index), batch.lastMap, batch.failures);
            return written;
        }
        ConversionReport report;
        if (ConvertModelWithReport(FilePath(model), FilePath(MakeOutputPath(model)), report)) {
            ++batch.converted;
            return true;
        }
        batch.failures.push_back(modelName(index) + ": " + DescribeFailure(report));
        return false;
    };
    const auto refuse = [&](std::size_t index, std::size_t writer) {
        listUnreadableBefore(index);
        const fs::path model(list.models[index]);
        const std::string output = ReportName(models, models.modelRoot[index], MakeOutputPath(model));
        batch.failures.push_back(modelName(index) + ": " + DescribeTakenOutput(output, modelName(writer)));
    };
    batch.modelCount = list.models.size();
    for (std::size_t i = 0; i < list.models.size() && !batch.stopRequested; ++i) {
        if (shared.follows[i])
            continue;
        if (shared.next[i] == kNoModel)
            convert(i);
        else
            ConvertSharingModels(list, shared, i, folder, convert, refuse);
    }
    listUnreadableBefore(list.models.size());
    // The report must reach the window, or its button would say "Dezaroing" for good; a full
    // queue empties as the window works through it.
    while (!batch.stopRequested && !PostMessageA(batch.window, WM_BATCH_DONE, 0, 0) && IsWindow(batch.window))
        Sleep(50);
    return 0;
}

// "Dezavivi N models" (and "and M maps" when maps were met), then the failures: their number and
// at most ten of them with their reasons. A map given alone has a box of its own.
static void ShowBatchReport(HWND window, const Batch& batch)
{
    if (batch.mapAlone && batch.maps == 1) {
        ShowMapReport(window, batch.givenPaths[0], batch.lastMap, kMaxListedFailures);
        return;
    }
    if (batch.modelCount == 0 && batch.failures.empty()) {
        const std::string text =
            batch.givenPaths.size() == 1 ? "No MDX models in " + batch.givenPaths[0] : "No MDX models found";
        MessageBoxA(window, text.c_str(), "Error", MB_ICONERROR);
        return;
    }
    std::string text = "Dezavivi " + std::to_string(batch.converted) + " models";
    if (batch.maps > 0)
        text += " and " + std::to_string(batch.mapsWritten) + " maps";
    if (batch.failures.empty()) {
        MessageBoxA(window, text.c_str(), "Success", MB_OK);
        return;
    }
    const std::size_t failed = batch.failures.size();
    text += "\nError dezaroing " + std::to_string(failed) + (batch.maps > 0 ? " models and maps:" : " models:");
    for (std::size_t i = 0; i < failed && i < kMaxListedFailures; ++i)
        text += "\n" + batch.failures[i];
    if (failed > kMaxListedFailures)
        text += "\nand " + std::to_string(failed - kMaxListedFailures) + " more";
    MessageBoxA(window, text.c_str(), "Error", MB_ICONERROR);
}

// Waits for the worker and forgets the batch; returns it for the report.
static Batch* EndBatch()
{
    Batch* batch = g_batch;
    g_batch = nullptr;
    WaitForSingleObject(batch->thread, INFINITE);
    CloseHandle(batch->thread);
    return batch;
}

void OnPathsGiven(HWND window, const std::vector<std::string>& paths)
{
    if (g_batch != nullptr || paths.empty())
        return;
    const bool oneFile = paths.size() == 1 && !LookAtFile(FilePath(PathFromAnsi(paths[0]))).isFolder;
    // A map alone runs on the worker too: its models take a while, and the window must answer.
    if (oneFile && !HasMapExtension(paths[0].c_str())) {
        ConvertChosenModel(window, paths[0].c_str());
        return;
    }
    Batch* batch = new Batch;
    batch->window = window;
    batch->mapAlone = oneFile;
    batch->givenPaths = paths;
    batch->thread = CreateThread(nullptr, 0, RunBatch, batch, 0, nullptr);
    if (batch->thread == nullptr) {
        delete batch;
        MessageBoxA(window, "Could not start the conversion.", "Error", MB_ICONERROR);
        return;
    }
    g_batch = batch;
    EnableWindow(g_convertButton, FALSE);
}

void OnDropFiles(HWND window, HDROP drop)
{
    std::vector<std::string> paths;
    const UINT count = IsBatchRunning() ? 0 : DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileA(drop, i, nullptr, 0);
        std::string path(length + 1, '\0');
        DragQueryFileA(drop, i, &path[0], length + 1);
        path.resize(length);
        paths.push_back(path);
    }
    DragFinish(drop);
    OnPathsGiven(window, paths);
}

int IsBatchRunning()
{
    return g_batch != nullptr;
}

void OnBatchProgress(WPARAM modelNumber, LPARAM modelCount)
{
    if (g_batch == nullptr)
        return;
    g_batch->progressPending = 0;
    const std::string text =
        "Dezaroing " + std::to_string(modelNumber) + " of " + std::to_string(static_cast<long long>(modelCount));
    SetWindowTextA(g_convertButton, text.c_str());
}

void OnBatchDone(HWND window)
{
    if (g_batch == nullptr)
        return;
    Batch* batch = EndBatch();
    SetWindowTextA(g_convertButton, kConvertButtonText);
    EnableWindow(g_convertButton, TRUE);
    ShowBatchReport(window, *batch);
    delete batch;
}

void StopBatch()
{
    if (g_batch == nullptr)
        return;
    Batch* batch = g_batch;
    g_batch = nullptr;
    batch->stopRequested = 1;
    // A worker still busy past the wait is ended with the process; it keeps its batch till then.
    const bool ended = WaitForSingleObject(batch->thread, kStopWaitMs) == WAIT_OBJECT_0;
    CloseHandle(batch->thread);
    if (ended)
        delete batch;
}
