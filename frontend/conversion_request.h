#pragma once

// What happens between a click on the button and the message that reports the outcome: the
// file choice, the extension test, the output name, the conversion and the report.

#include "output_name.h" // HasModelExtension, MakeOutputName, kOutputSuffix

#include <windows.h>

// Longest input path converted: its output name is 9 characters longer and must fit, with its
// terminator, in a buffer of MAX_PATH (260) characters. Longer inputs are refused with the
// error message and nothing is converted.
constexpr int kMaxInputPathLength = 250;

// Lets the user pick a model, converts it to the file named by MakeOutputName beside it and
// reports the outcome in a message box owned by ownerWindow. Cancelling the dialog, or a name
// that does not end in ".mdx" (any case), does nothing and shows nothing.
void OnConvertClicked(HWND ownerWindow);

// What a click does once the dialog has given inputPath: a name that does not end in ".mdx"
// does nothing; an input longer than kMaxInputPathLength gets the error message; otherwise
// the model is converted and the outcome reported.
void ConvertChosenModel(HWND ownerWindow, const char* inputPath);
