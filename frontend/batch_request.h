#pragma once

// Models, maps and folders dropped on the window or named on the command line. One model is
// taken as a file chosen in the dialog; a map, a folder or several paths are a batch, run on a
// worker thread while the window stays responsive, and reported in one message box.

#include <windows.h>

#include <string>
#include <vector>

// Posted by the batch's worker to the main window.
constexpr UINT WM_BATCH_PROGRESS = WM_APP + 1; // wParam: number of the model begun, lParam: models in all
constexpr UINT WM_BATCH_DONE = WM_APP + 2;     // the worker has ended

// Takes ANSI paths as given: one file that is not a map as ConvertChosenModel does, else a batch
// over every model and map named or found in the folders named. Does nothing while a batch runs.
void OnPathsGiven(HWND window, const std::vector<std::string>& paths);

// Takes the paths of a drop (then releases it); ignored while a batch runs.
void OnDropFiles(HWND window, HDROP drop);

// 1 while a batch runs, from its start until its report.
int IsBatchRunning();

// Shows "Dezaroing N of M" on the button, and lets the worker post the next progress.
void OnBatchProgress(WPARAM modelNumber, LPARAM modelCount);

// Ends the batch: gives the button back and reports the outcome in one message box.
void OnBatchDone(HWND window);

// Stops a running batch (its folder walk, or after the model being converted) and waits for it,
// for at most a few seconds; nothing is reported.
void StopBatch();
