#include "batch_request.h"

#include "conversion_request.h"
#include "main_window.h"

#include "model_convert.h"
#include "model_path.h"
#include "model_walk.h"
#include "output_name.h"

#include <shellapi.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

// The failed paths a report lists; the rest are counted.
constexpr std::size_t kMaxListedFailures = 10;

// One batch. The UI thread fills the first part before the worker starts; the worker fills
// the outcome, which the UI thread reads only after the worker has ended.
struct Batch {
    HWND window = nullptr;               // receives the worker's messages
    std::vector<std::string> givenPaths; // ANSI, as dropped or given
    std::atomic<int> stopRequested{0};   // set by the UI thread when the window closes
    HANDLE thread = nullptr;
    std::size_t modelCount = 0;          // models named or found
    std::int64_t converted = 0;
    std::vector<std::string> failedPaths; // ANSI: models that failed, folders that could not be read
};

static Batch* g_batch = nullptr; // the running batch, null when none

// The folder walk and the core take wide paths, so any name found in a folder works; the
// window's own texts stay in the ANSI code page, as its file calls take them.
static fs::path PathFromAnsi(const std::string& text)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(length > 0 ? static_cast<std::size_t>(length) : 0, L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return fs::path(wide);
}

// The ANSI spelling of path for a report; characters the code page lacks show as '?'.
static std::string AnsiFromPath(const fs::path& path)
{
    const std::wstring& wide = path.native();
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &text[0], size, nullptr, nullptr);
    return text;
}

// The models of the batch: folders walked, files taken when their names end in ".mdx".
static ModelList ListModels(const std::vector<std::string>& givenPaths)
{
    ModelList list;
    for (const std::string& given : givenPaths) {
        const fs::path path = PathFromAnsi(given);
        std::error_code error;
        if (fs::is_directory(path, error))
            CollectModels(path, list);
        else if (HasModelExtension(given.c_str()))
            list.models.push_back(path.native());
    }
    return list;
}

// The worker: lists the models, converts them one by one until done or asked to stop, and
// tells the window how far it is and when it has ended.
static DWORD WINAPI RunBatch(LPVOID parameter)
{
    Batch& batch = *static_cast<Batch*>(parameter);
    const ModelList list = ListModels(batch.givenPaths);
    // Folders that could not be read are listed where the walk met them, among the models.
    std::size_t unreadableListed = 0;
    const auto listUnreadableBefore = [&](std::size_t index) {
        for (const std::size_t end = UnreadableBefore(list, index, unreadableListed); unreadableListed < end;
             ++unreadableListed)
            batch.failedPaths.push_back(AnsiFromPath(list.unreadable[unreadableListed].folder));
    };
    batch.modelCount = list.models.size();
    for (std::size_t i = 0; i < list.models.size() && !batch.stopRequested; ++i) {
        listUnreadableBefore(i);
        PostMessageA(batch.window, WM_BATCH_PROGRESS, i + 1, static_cast<LPARAM>(list.models.size()));
        const fs::path model(list.models[i]);
        ConversionReport report;
        if (ConvertModelWithReport(model, MakeOutputPath(model), report))
            ++batch.converted;
        else
            batch.failedPaths.push_back(AnsiFromPath(model));
    }
    listUnreadableBefore(list.models.size());
    PostMessageA(batch.window, WM_BATCH_DONE, 0, 0);
    return 0;
}

// "Dezavivi N models", then the failures: their number and at most ten of their paths.
static void ShowBatchReport(HWND window, const Batch& batch)
{
    if (batch.modelCount == 0 && batch.failedPaths.empty()) {
        const std::string text =
            batch.givenPaths.size() == 1 ? "No MDX models in " + batch.givenPaths[0] : "No MDX models found";
        MessageBoxA(window, text.c_str(), "Error", MB_ICONERROR);
        return;
    }
    std::string text = "Dezavivi " + std::to_string(batch.converted) + " models";
    if (batch.failedPaths.empty()) {
        MessageBoxA(window, text.c_str(), "Success", MB_OK);
        return;
    }
    const std::size_t failed = batch.failedPaths.size();
    text += "\nError dezaroing " + std::to_string(failed) + " models:";
    for (std::size_t i = 0; i < failed && i < kMaxListedFailures; ++i)
        text += "\n" + batch.failedPaths[i];
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
    std::error_code error;
    if (paths.size() == 1 && !fs::is_directory(PathFromAnsi(paths[0]), error)) {
        ConvertChosenModel(window, paths[0].c_str());
        return;
    }
    Batch* batch = new Batch;
    batch->window = window;
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
    g_batch->stopRequested = 1;
    delete EndBatch();
}
