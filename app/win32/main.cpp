#include "app/frmSavePreview.h"
#include "app/win32/Win32Form.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/Win32CommonDialog.h"
#include "platform/win32/Win32MessageBox.h"
#include "preview/FileComponents.h"
#include "system/Heap.h"

#include <windows.h>
#include <shellapi.h>

#include <exception>

// glimmerbox.exe [DOCUMENT]: the window, with DOCUMENT opened as File Select
// would open it (Explorer's "Open with" passes it).
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    try {
        glimmer::keepFreedMemoryForReuse();
        glimmer::Win32Form form(instance);
        glimmer::Win32CommonDialog dialog(form.window());
        glimmer::Win32MessageBox messages(form.window());
        glimmer::FileComponents components;
        glimmer::frmSavePreview window(form, dialog, messages, components);
        form.show(show);
        int count = 0;
        if (LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
            const std::string document = count > 1 ? glimmer::win32::fromUtf16(arguments[1]) : std::string();
            ::LocalFree(arguments);
            window.open(document);
        }
        return form.run();
    } catch (const std::exception& e) {
        ::MessageBoxW(nullptr, glimmer::win32::toUtf16(e.what()).c_str(), L"Glimmerbox", MB_OK | MB_ICONERROR);
        return 1;
    }
}
