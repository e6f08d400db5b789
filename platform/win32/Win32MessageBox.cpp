#include "platform/win32/Win32MessageBox.h"

#include "platform/RuntimeError.h"
#include "platform/win32/Utf16.h"
#include "system/Win32Path.h"

#include <windows.h>
#undef MessageBox   // our class, not the macro for MessageBoxW

namespace glimmer {

void Win32MessageBox::show(const std::string& text, const std::string& title, Icon icon)
{
    UINT style = MB_OK;
    switch (icon) {
    case Icon::None: break;
    case Icon::Information: style |= MB_ICONINFORMATION; break;
    case Icon::Exclamation: style |= MB_ICONWARNING; break;
    case Icon::Critical: style |= MB_ICONERROR; break;
    }
    const std::wstring wideText = win32::toUtf16(text);
    const std::wstring wideTitle = win32::toUtf16(title);
    // An owner that has gone since would lose the message: it is shown
    // without one instead.
    HWND owner = owner_ && ::IsWindow(owner_) ? owner_ : nullptr;
    if (::MessageBoxW(owner, wideText.c_str(), wideTitle.c_str(), style) == 0)
        throw RuntimeError(RuntimeError::OutOfMemory,
                           "The message \"" + text + "\" could not be shown: " + win32::errorMessage(::GetLastError()));
}

} // namespace glimmer
