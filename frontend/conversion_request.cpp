#include "conversion_request.h"

#include "file_path.h"
#include "model_convert.h"

#include <commdlg.h>

#include <cstddef>
#include <cstring>
#include <string>

// The output name replaces the 4-character extension with the suffix; the longest accepted input
// must leave room for it and the terminator in a MAX_PATH buffer.
static_assert(kMaxInputPathLength - 4 + (sizeof(kOutputSuffix) - 1) + 1 <= MAX_PATH,
              "the longest accepted input has no room for its output name");

#if defined(__i386__)
// The dialog is given the record size of its first version; on the 32-bit build that is 76 bytes.
// (OPENFILENAME_SIZE_VERSION_400A is not a constant expression, so the layout is checked instead.)
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == 76,
              "OPENFILENAME_SIZE_VERSION_400A must be 76 bytes on 32-bit Windows");
#endif

// Shows the open-file dialog; returns non-zero with an existing file's path in path (MAX_PATH
// characters), 0 when the user cancelled or the dialog failed.
static BOOL ChooseModelFile(HWND ownerWindow, char* path)
{
    OPENFILENAMEA dialog;
    std::memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = ownerWindow;
    dialog.lpstrFilter = "MDX files (*.mdx)\0*.mdx\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    dialog.lpstrDefExt = "mdx";
    return GetOpenFileNameA(&dialog);
}

// Reports a failed conversion of inputPath; nothing else about the failure reaches the user.
static void ShowConversionError(HWND ownerWindow, const char* inputPath)
{
    const std::string text = std::string("Error dezaroing ") + inputPath;
    MessageBoxA(ownerWindow, text.c_str(), "Error", MB_ICONERROR);
}

void OnConvertClicked(HWND ownerWindow)
{
    char inputPath[MAX_PATH] = "";
    if (!ChooseModelFile(ownerWindow, inputPath)) {
        return;
    }
    ConvertChosenModel(ownerWindow, inputPath);
}

void ConvertChosenModel(HWND ownerWindow, const char* inputPath)
{
    if (!HasModelExtension(inputPath)) {
        return;
    }
    if (std::strlen(inputPath) > kMaxInputPathLength) {
        ShowConversionError(ownerWindow, inputPath);
        return;
    }

    const std::string outputPath = MakeOutputName(inputPath);
    if (!ConvertModel(FilePath(PathFromAnsi(inputPath)), FilePath(PathFromAnsi(outputPath)))) {
        ShowConversionError(ownerWindow, inputPath);
        return;
    }
    const std::string text = "Dezavivi to " + outputPath;
    MessageBoxA(ownerWindow, text.c_str(), "Success", MB_OK);
}
