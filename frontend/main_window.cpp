#include "main_window.h"

#include "batch_request.h"
#include "conversion_request.h"
#include "product_version.h"
#include "resource.h"

#include <shellapi.h>

#include <cstdlib>

HWND g_convertButton = nullptr; // written on WM_CREATE, read on WM_SIZE and by a batch

#if defined(__i386__)
static_assert(sizeof(WNDCLASSEXA) == 48, "WNDCLASSEXA must be 48 bytes on 32-bit Windows");
#endif

static const char kClassName[] = "mdxDuridodi";

// Creates the button at its initial place and gives it the GUI font, and lets files be dropped
// on the window. A failure is reported, and the window is still created (it then opens empty).
static void OnCreate(HWND window)
{
    DragAcceptFiles(window, TRUE);
    g_convertButton = CreateWindowExA(WS_EX_CLIENTEDGE, "BUTTON", kConvertButtonText, WS_CHILD | WS_VISIBLE,
                                      10, 10, 170, 50, window,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_CONVERT_BUTTON)),
                                      GetModuleHandleA(nullptr), nullptr);
    if (g_convertButton == nullptr) {
        MessageBoxA(window, "Could not create edit box.", "Error", MB_ICONERROR);
    }
    SendMessageA(g_convertButton, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 MAKELPARAM(FALSE, 0));
}

// Stretches the button over the whole client area.
static void OnSize(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    SetWindowPos(g_convertButton, nullptr, 0, 0, client.right, client.bottom, SWP_NOZORDER);
}

// A click on the button (notification code 0) starts a conversion unless a batch runs; every
// other command is ignored.
static void OnCommand(HWND window, WPARAM wParam)
{
    if (LOWORD(wParam) == IDC_CONVERT_BUTTON && HIWORD(wParam) == BN_CLICKED && !IsBatchRunning()) {
        OnConvertClicked(window);
    }
}

// A batch still running stops after its current model, so that the process ends with no
// conversion cut short.
static void OnDestroy()
{
    StopBatch();
    PostQuitMessage(0);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_SIZE:
        OnSize(window);
        return 0;
    case WM_COMMAND:
        OnCommand(window, wParam);
        return 0;
    case WM_DROPFILES:
        OnDropFiles(window, reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_BATCH_PROGRESS:
        OnBatchProgress(wParam, lParam);
        return 0;
    case WM_BATCH_DONE:
        OnBatchDone(window);
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    HMODULE module = GetModuleHandleA(nullptr);

    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = 0;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(module, MAKEINTRESOURCEA(IDI_APP_ICON));
    windowClass.hIconSm = LoadIconA(module, MAKEINTRESOURCEA(IDI_APP_ICON));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExA(&windowClass)) {
        MessageBoxA(nullptr, "Window Registration Failed!", "Error!", MB_ICONEXCLAMATION | MB_OK);
        return 0;
    }

    HWND window = CreateWindowExA(WS_EX_CLIENTEDGE, kClassName, kProductTitle, WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 200, 100, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        MessageBoxA(nullptr, "Window Creation Failed!", "Error!", MB_ICONEXCLAMATION | MB_OK);
        return 0;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    // Paths on the command line (a drop on the program's icon, "Open with", "Send to") are taken
    // as if dropped on the window.
    if (__argc > 1) {
        OnPathsGiven(window, std::vector<std::string>(__argv + 1, __argv + __argc));
    }

    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
