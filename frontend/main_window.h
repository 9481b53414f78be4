#pragma once

// The program's one window: WinMain registers its class, creates it and runs the message
// loop; MainWindowProc keeps the button filling the window and hands clicks on to the
// conversion request.

#include <windows.h>

extern HWND g_convertButton; // the child button; null when creating it failed

constexpr char kConvertButtonText[] = "Dezaro MDX"; // the button's text when no batch runs

// The window procedure of the "mdxDuridodi" class: creates the button on WM_CREATE, stretches it
// over the client area on WM_SIZE, converts on a click or a drop, follows a batch's progress,
// stops a batch and quits on WM_DESTROY. Every other message goes to DefWindowProcA.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
