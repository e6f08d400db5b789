#include "platform/win32/Win32Progress.h"

#include "platform/RuntimeError.h"
#include "platform/win32/Utf16.h"
#include "system/Win32Path.h"

#include <windows.h>

namespace glimmer {

namespace {

constexpr wchar_t ClassName[] = L"GlimmerboxProgress";
constexpr int Width = 420;
constexpr int Height = 130;

// The progress window up on this thread, whose input alone is let through.
thread_local HWND progressWindow = nullptr;

bool isInput(UINT message)
{
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST)
           || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST)
           || (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK)
           || message == WM_MOUSEHOVER || message == WM_MOUSELEAVE
           || message == WM_NCMOUSEHOVER || message == WM_NCMOUSELEAVE
           || message == WM_INPUT;
}

void pump(HWND accepting)
{
    // A window that keeps posting to itself, or one that never validates
    // what it paints, would keep the queue full for ever: the pump stops
    // after a moment, and the run goes on.
    const ULONGLONG deadline = ::GetTickCount64() + 50;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Left for the loop that ends the program.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        const bool forProgress = accepting && (message.hwnd == accepting || ::IsChild(accepting, message.hwnd));
        if (accepting && isInput(message.message) && !forProgress)
            continue;
        // Esc and Enter press Cancel; Tab moves between the controls.
        if (!forProgress || !::IsDialogMessageW(accepting, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        if (::GetTickCount64() >= deadline)
            return;
    }
}

HINSTANCE moduleOfThisCode()
{
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&moduleOfThisCode), &module);
    return module;
}

} // namespace

struct ProgressWindow {
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* progress = reinterpret_cast<Win32Progress*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL && progress) {
                progress->cancelled_ = true;
                return 0;
            }
            break;
        case WM_CLOSE:   // the caption's close box is Cancel too
            if (progress)
                progress->cancelled_ = true;
            return 0;
        default:
            break;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    static void registerClass(HINSTANCE instance)
    {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        if (::GetClassInfoExW(instance, ClassName, &windowClass))
            return;
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = instance;
        windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));   // IDC_ARROW, whose macro is narrow
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = ClassName;
        if (!::RegisterClassExW(&windowClass))
            throw RuntimeError(RuntimeError::OutOfMemory,
                               "The progress window could not be set up: " + win32::errorMessage(::GetLastError()));
    }
};

Win32Progress::~Win32Progress()
{
    finish();
}

void Win32Progress::start(int total)
{
    finish();
    total_ = total;
    cancelled_ = false;

    const HINSTANCE instance = moduleOfThisCode();
    ProgressWindow::registerClass(instance);

    // Centred over the owner, or over the screen without one.
    RECT over{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (owner_)
        ::GetWindowRect(owner_, &over);
    const int x = over.left + (over.right - over.left - Width) / 2;
    const int y = over.top + (over.bottom - over.top - Height) / 2;

    HWND window = ::CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, ClassName, L"Glimmerbox",
                                    WS_POPUP | WS_CAPTION | WS_SYSMENU, x, y, Width, Height, owner_, nullptr,
                                    instance, nullptr);
    if (!window)
        throw RuntimeError(RuntimeError::OutOfMemory,
                           "The progress window could not be created: " + win32::errorMessage(::GetLastError()));
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    window_ = window;

    RECT client;
    ::GetClientRect(window, &client);
    const int margin = 12;
    const int buttonWidth = 88;
    const int buttonHeight = 26;
    label_ = ::CreateWindowExW(0, L"STATIC", L"Saving previews...",
                               WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, margin, margin,
                               client.right - 2 * margin, 20, window, nullptr, instance, nullptr);
    HWND cancel = ::CreateWindowExW(0, L"BUTTON", L"Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                    client.right - margin - buttonWidth, client.bottom - margin - buttonHeight,
                                    buttonWidth, buttonHeight, window, reinterpret_cast<HMENU>(IDCANCEL), instance,
                                    nullptr);

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        font_ = ::CreateFontIndirectW(&metrics.lfMessageFont);
    HGDIOBJ font = font_ ? static_cast<HGDIOBJ>(font_) : ::GetStockObject(DEFAULT_GUI_FONT);
    for (HWND control : {label_, cancel})
        if (control)
            ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    // Modal to the owner from the first document until finish().
    ownerWasEnabled_ = owner_ && !::EnableWindow(owner_, FALSE);
    progressWindow = window;
    ::ShowWindow(window, SW_SHOW);
    if (cancel)
        ::SetFocus(cancel);
    ::UpdateWindow(window);
}

bool Win32Progress::advance(int done, const std::string& current)
{
    if (!window_)
        return true;
    const std::string text = std::to_string(done + 1) + " of " + std::to_string(total_) + ": " + current;
    ::SetWindowTextW(label_, win32::toUtf16(text).c_str());
    pump(window_);
    return !cancelled_;
}

void Win32Progress::finish()
{
    if (!window_)
        return;
    // The owner first, so that it is the window activated when this one goes.
    if (ownerWasEnabled_)
        ::EnableWindow(owner_, TRUE);
    ownerWasEnabled_ = false;
    if (progressWindow == window_)
        progressWindow = nullptr;
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
    window_ = nullptr;
    label_ = nullptr;
    if (font_)
        ::DeleteObject(font_);
    font_ = nullptr;
}

void pumpWindowMessages()
{
    pump(progressWindow);
}

} // namespace glimmer
