// Drives the running window tool from outside, step after step, and prints one line per
// observation, so that a test can compare the transcript with the one it expects.
//
// Usage: gui_driver STEP...  with the steps
//   wait-main          wait for the main window; print its class, title, size and styles
//   button             print the button's class, text, styles and font (a batch changes them while
//                      it runs, so a launch that starts one reads the button after its box)
//   rect               print the main window's screen rectangle as WxH+X+Y (for a screenshot)
//   click              click the button (posted: the dialog it opens is modal)
//   open PATH          type PATH into the open-file dialog and confirm it
//   cancel             cancel the open-file dialog
//   msgbox             print the message box's caption, text and icon, then dismiss it
//   nobox              check that no dialog or message box of the program appears
//   busy               wait until a batch runs: the button disabled, its text "Dezaroing N of M"
//   command ID CODE    post WM_COMMAND with control id ID and notification code CODE
//   resize W H         resize the main window and check the button covers the client area
//   maximize, restore  the same after maximising or restoring the window
//   close              close the main window and wait for it to go
// Returns 0 when every step succeeded, 2 after a step failed or timed out (its last line then
// starts with "FAILED:"), 1 on a usage error. Every line is flushed at once: stdout is a pipe.

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kConvertButtonId = 102;
constexpr int kDialogFileNameCombo = 0x47C; // cmb13: the file name box of the explorer dialog
constexpr int kDialogFileNameEdit = 0x480;  // edt1: the older dialog's file name box
constexpr int kDialogTypeCombo = 0x470;     // cmb1: the file type filter
constexpr int kMessageBoxText = 0xFFFF;     // the static control that holds a message box's text
constexpr int kMessageBoxIcon = 0x440;      // stc1: the message box's icon
constexpr int kPollMilliseconds = 20;
constexpr int kStepTimeoutMilliseconds = 10000;
constexpr int kNoBoxWatchMilliseconds = 300;

HWND g_mainWindow = nullptr; // found by wait-main, used by every later step
DWORD g_programId = 0;       // process id of the window tool

void Say(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::printf("\n");
    std::fflush(stdout);
}

[[noreturn]] void Fail(const std::string& what)
{
    Say("FAILED: %s", what.c_str());
    std::exit(2);
}

// Polls done every 20 ms for at most 10 s; returns its last answer.
template <typename Predicate>
bool WaitFor(Predicate done)
{
    for (int waited = 0; waited < kStepTimeoutMilliseconds; waited += kPollMilliseconds) {
        if (done()) {
            return true;
        }
        Sleep(kPollMilliseconds);
    }
    return done();
}

std::string WindowText(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassName(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// Returns once the program's user-interface thread has handled a message, so everything posted
// to it before has been handled too.
void SyncWithProgram()
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(g_mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, kStepTimeoutMilliseconds, &result)) {
        Fail("the main window does not answer");
    }
}

struct DialogSearch {
    bool wantOpenDialog; // the "Open" file dialog, or any other dialog (a message box)
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM parameter)
{
    DialogSearch& search = *reinterpret_cast<DialogSearch*>(parameter);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != g_programId || ClassName(window) != "#32770" || !IsWindowVisible(window)) {
        return TRUE;
    }
    if ((WindowText(window) == "Open") == search.wantOpenDialog) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindProgramDialog(bool wantOpenDialog)
{
    DialogSearch search = {wantOpenDialog, nullptr};
    EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForDialog(bool wantOpenDialog)
{
    HWND dialog = nullptr;
    if (!WaitFor([&] { return (dialog = FindProgramDialog(wantOpenDialog)) != nullptr; })) {
        Fail(wantOpenDialog ? "no open-file dialog appeared" : "no message box appeared");
    }
    return dialog;
}

void CloseDialog(HWND dialog, int commandId)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(commandId, BN_CLICKED), 0);
    if (!WaitFor([&] { return !IsWindow(dialog); })) {
        Fail("the dialog did not close");
    }
}

BOOL CALLBACK MatchEdit(HWND window, LPARAM parameter)
{
    if (ClassName(window) == "Edit") {
        *reinterpret_cast<HWND*>(parameter) = window;
        return FALSE;
    }
    return TRUE;
}

// The file name box: an Edit that is, or lies inside, the dialog's file name control.
HWND FindFileNameEdit(HWND dialog)
{
    for (int id : {kDialogFileNameCombo, kDialogFileNameEdit}) {
        HWND control = GetDlgItem(dialog, id);
        if (control == nullptr) {
            continue;
        }
        if (ClassName(control) == "Edit") {
            return control;
        }
        HWND edit = nullptr;
        EnumChildWindows(control, MatchEdit, reinterpret_cast<LPARAM>(&edit));
        if (edit != nullptr) {
            return edit;
        }
    }
    Fail("the open-file dialog has no file name box");
}

// True when control draws its text with the stock font stockFont. WM_GETFONT answers 0 across
// processes under Wine, so the control's window bytes are searched for the handle too (stock
// objects have the same handle in every process).
bool HasStockFont(HWND control, int stockFont)
{
    const LONG_PTR wanted = reinterpret_cast<LONG_PTR>(GetStockObject(stockFont));
    if (SendMessageA(control, WM_GETFONT, 0, 0) == wanted) {
        return true;
    }
    for (int offset = 0; offset <= 32; offset += 4) {
        if (static_cast<LONG_PTR>(static_cast<DWORD>(GetWindowLongA(control, offset))) == wanted) {
            return true;
        }
    }
    return false;
}

// The entries of the dialog's file type list, each in quotes. Read as UTF-16: under Wine
// CB_GETLBTEXT across processes delivers the text in UTF-16 even to an ANSI caller.
std::string FilterList(HWND typeCombo)
{
    std::string list;
    const LRESULT count = SendMessageW(typeCombo, CB_GETCOUNT, 0, 0);
    for (LRESULT item = 0; item < count; ++item) {
        wchar_t wide[256] = L"";
        if (SendMessageW(typeCombo, CB_GETLBTEXTLEN, item, 0) < 256) {
            SendMessageW(typeCombo, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(wide));
        }
        char text[256] = "";
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
        list += (list.empty() ? "'" : " '") + std::string(text) + "'";
    }
    return list;
}

// The button's rectangle relative to the main window's client area, against the client area.
void CheckButtonCoversClient(const char* step)
{
    SyncWithProgram();
    RECT client;
    GetClientRect(g_mainWindow, &client);
    RECT button;
    GetWindowRect(GetDlgItem(g_mainWindow, kConvertButtonId), &button);
    MapWindowPoints(nullptr, g_mainWindow, reinterpret_cast<POINT*>(&button), 2);
    if (!EqualRect(&client, &button) || client.right <= 0 || client.bottom <= 0) {
        char what[200];
        std::snprintf(what, sizeof what, "%s: button %ldx%ld+%ld+%ld, client area %ldx%ld", step,
                      button.right - button.left, button.bottom - button.top, button.left, button.top,
                      client.right, client.bottom);
        Fail(what);
    }
    Say("%s: the button covers the client area", step);
}

void WaitMain()
{
    if (!WaitFor([] {
            g_mainWindow = FindWindowA("mdxDuridodi", "MDX Duridodi 1.00");
            return g_mainWindow != nullptr && IsWindowVisible(g_mainWindow);
        })) {
        Fail("no visible window of class mdxDuridodi titled 'MDX Duridodi 1.00'");
    }
    GetWindowThreadProcessId(g_mainWindow, &g_programId);
    SyncWithProgram();

    RECT frame;
    GetWindowRect(g_mainWindow, &frame);
    const LONG_PTR style = GetWindowLongPtrA(g_mainWindow, GWL_STYLE);
    const LONG_PTR exStyle = GetWindowLongPtrA(g_mainWindow, GWL_EXSTYLE);
    Say("main: class %s title '%s' size %ldx%ld", ClassName(g_mainWindow).c_str(),
        WindowText(g_mainWindow).c_str(), frame.right - frame.left, frame.bottom - frame.top);
    Say("main: overlapped window %s, client edge %s",
        (style & WS_OVERLAPPEDWINDOW) == WS_OVERLAPPEDWINDOW ? "yes" : "no",
        (exStyle & WS_EX_CLIENTEDGE) != 0 ? "yes" : "no");
}

void DescribeButton()
{
    HWND button = GetDlgItem(g_mainWindow, kConvertButtonId);
    if (button == nullptr) {
        Fail("the main window has no control 102");
    }
    const bool guiFont = HasStockFont(button, DEFAULT_GUI_FONT);
    Say("button: class %s text '%s' style 0x%08lx exstyle 0x%lx font %s", ClassName(button).c_str(),
        WindowText(button).c_str(), static_cast<unsigned long>(GetWindowLongPtrA(button, GWL_STYLE)),
        static_cast<unsigned long>(GetWindowLongPtrA(button, GWL_EXSTYLE)),
        guiFont ? "DEFAULT_GUI_FONT" : "other");
}

void PrintRect()
{
    RECT frame;
    GetWindowRect(g_mainWindow, &frame);
    Say("rect: %ldx%ld+%ld+%ld", frame.right - frame.left, frame.bottom - frame.top, frame.left, frame.top);
}

void Click()
{
    PostMessageA(GetDlgItem(g_mainWindow, kConvertButtonId), BM_CLICK, 0, 0);
    Say("click");
}

void Open(const char* path)
{
    HWND dialog = WaitForDialog(true);
    HWND edit = FindFileNameEdit(dialog);
    Say("open: filters %s", FilterList(GetDlgItem(dialog, kDialogTypeCombo)).c_str());
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
    CloseDialog(dialog, IDOK);
    Say("open: %s", path);
}

void Cancel()
{
    CloseDialog(WaitForDialog(true), IDCANCEL);
    Say("cancel");
}

void ReadMessageBox()
{
    HWND box = WaitForDialog(false);
    char text[1024] = "";
    GetDlgItemTextA(box, kMessageBoxText, text, sizeof text);
    const bool hasIcon = SendMessageA(GetDlgItem(box, kMessageBoxIcon), STM_GETICON, 0, 0) != 0;
    Say("msgbox: %s|%s|icon %s", WindowText(box).c_str(), text, hasIcon ? "yes" : "no");
    CloseDialog(box, IDOK);
}

void NoBox()
{
    SyncWithProgram();
    for (int waited = 0; waited < kNoBoxWatchMilliseconds; waited += kPollMilliseconds) {
        if (FindProgramDialog(true) != nullptr || FindProgramDialog(false) != nullptr) {
            Fail("a dialog appeared");
        }
        Sleep(kPollMilliseconds);
    }
    Say("nobox");
}

void WaitBusy()
{
    HWND button = GetDlgItem(g_mainWindow, kConvertButtonId);
    std::string text;
    if (!WaitFor([&] {
            text = WindowText(button);
            return !IsWindowEnabled(button) && text.compare(0, 10, "Dezaroing ") == 0;
        })) {
        Fail("no batch runs: the button reads '" + text + "'");
    }
    // The model number changes as the batch goes on: only its place is kept.
    const std::size_t of = text.find(" of ");
    Say("busy: button disabled, text 'Dezaroing N%s'", of == std::string::npos ? "" : text.substr(of).c_str());
}

void PostCommand(int id, int code)
{
    PostMessageA(g_mainWindow, WM_COMMAND, MAKEWPARAM(id, code), 0);
    Say("command: id %d code %d", id, code);
}

void Resize(int width, int height)
{
    SetWindowPos(g_mainWindow, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    char step[64];
    std::snprintf(step, sizeof step, "resize %dx%d", width, height);
    CheckButtonCoversClient(step);
}

void Show(int showCommand, const char* step)
{
    ShowWindow(g_mainWindow, showCommand);
    CheckButtonCoversClient(step);
}

void Close()
{
    PostMessageA(g_mainWindow, WM_CLOSE, 0, 0);
    if (!WaitFor([] { return !IsWindow(g_mainWindow); })) {
        Fail("the main window did not close");
    }
    Say("close");
}

int Usage()
{
    std::fprintf(stderr, "usage: gui_driver STEP... (see the top of gui_driver.cpp)\n");
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string step = argv[i];
        const int left = argc - 1 - i; // arguments after this step
        if (step != "wait-main" && g_mainWindow == nullptr) {
            Fail("wait-main must come first");
        }
        if (step == "wait-main") {
            WaitMain();
        } else if (step == "button") {
            DescribeButton();
        } else if (step == "rect") {
            PrintRect();
        } else if (step == "click") {
            Click();
        } else if (step == "open" && left >= 1) {
            Open(argv[++i]);
        } else if (step == "cancel") {
            Cancel();
        } else if (step == "msgbox") {
            ReadMessageBox();
        } else if (step == "nobox") {
            NoBox();
        } else if (step == "busy") {
            WaitBusy();
        } else if (step == "command" && left >= 2) {
            PostCommand(std::atoi(argv[i + 1]), std::atoi(argv[i + 2]));
            i += 2;
        } else if (step == "resize" && left >= 2) {
            Resize(std::atoi(argv[i + 1]), std::atoi(argv[i + 2]));
            i += 2;
        } else if (step == "maximize") {
            Show(SW_MAXIMIZE, "maximize");
        } else if (step == "restore") {
            Show(SW_RESTORE, "restore");
        } else if (step == "close") {
            Close();
        } else {
            return Usage();
        }
    }
    return 0;
}
