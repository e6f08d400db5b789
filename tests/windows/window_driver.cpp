// Drives glimmerbox.exe from outside, as a person does: finds its window by
// the caption and the controls by their class and text (the lists by the
// label above them), clicks them and types into them with real input
// (SendInput: the pointer moved and pressed, keys pressed and released), and
// waits, a few seconds at most, for what each step should bring about. It
// reads the controls' state (texts, sizes, enabled) only to know where to
// click and whether a step took.
//
//   window_driver single TYPE SIZE PICTURE
//       picks TYPE and SIZE, clicks Save, checks the name the save dialog
//       proposes (PICTURE's, without the type) and accepts it with Enter,
//       waits for PICTURE.
//   window_driver multiple TYPE SIZE FOLDER NAME... [-- NAME_WITHOUT_PREVIEW...]
//       picks TYPE and SIZE, clicks Multiple Files and Save Mult, types
//       FOLDER and Enter into the open dialog, then every NAME (quoted) and
//       Enter, answers every message box with Enter, waits for each NAME's
//       picture in FOLDER and checks that none came for the others.
//   window_driver screenshot BITMAP
//       waits for the document's preview and writes the window as the
//       screen shows it into BITMAP, a 24-bit BMP file.
// Each clicks Exit at the end. Paths are Windows paths. Prints each message
// box's text; on failure, one line saying what did not happen, exit 1.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::wstring Caption = L"Preview & Save Inventor Images";
const std::wstring MessageTitle = L"Glimmerbox";
// The common dialogs' file name field: edt1, or the edit of cmb13.
constexpr int FileNameEdit = 0x480;
constexpr int FileNameCombo = 0x47c;

// How long a step may take to show: Wine starts a dialog in about a second.
constexpr auto StepTime = 10s;

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                          nullptr);
    return out;
}

[[noreturn]] void fail(const std::wstring& what)
{
    throw Failure(utf8(what));
}

// Polls `ready` until it holds or `limit` has passed; then fails saying
// `what` (a text, or a function that makes it then) did not happen.
template <typename What, typename Ready>
auto waitFor(const What& what, Ready ready, std::chrono::milliseconds limit = StepTime)
{
    const auto deadline = Clock::now() + limit;
    for (;;) {
        if (auto result = ready())
            return result;
        if (Clock::now() >= deadline) {
            std::wstring text;
            if constexpr (std::is_invocable_v<What>)
                text = what();
            else
                text = what;
            fail(text + L" within " + std::to_wstring(limit.count() / 1000) + L" s");
        }
        std::this_thread::sleep_for(50ms);
    }
}

std::wstring textOf(HWND window)
{
    // WM_GETTEXT is marshalled across processes; a hung window gives up.
    wchar_t buffer[1024] = {};
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, std::size(buffer), reinterpret_cast<LPARAM>(buffer),
                               SMTO_ABORTIFHUNG, 2000, &length))
        return {};
    return std::wstring(buffer, std::min<std::size_t>(length, std::size(buffer) - 1));
}

// A control's text as it shows: an access key's '&' is not drawn ("&&"
// draws one).
std::wstring shownText(HWND control)
{
    std::wstring shown;
    const std::wstring text = textOf(control);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size())
            ++i;
        shown += text[i];
    }
    return shown;
}

std::wstring classOf(HWND window)
{
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return name;
}

bool sameClass(HWND window, const wchar_t* name)
{
    return ::lstrcmpiW(classOf(window).c_str(), name) == 0;
}

DWORD processOf(HWND window)
{
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    return process;
}

std::vector<HWND> topLevelWindows()
{
    std::vector<HWND> windows;
    ::EnumWindows(
        [](HWND window, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> descendants(HWND parent)
{
    std::vector<HWND> windows;
    ::EnumChildWindows(
        parent,
        [](HWND window, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

RECT rectOf(HWND window)
{
    RECT rect{};
    ::GetWindowRect(window, &rect);
    return rect;
}

// --- Input, as the system's own pointer and keyboard give it.

void sendInputs(std::vector<INPUT> inputs)
{
    if (::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size())
        fail(L"SendInput refused the input (error " + std::to_wstring(::GetLastError()) + L")");
}

INPUT mouse(DWORD flags, LONG x = 0, LONG y = 0)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = x;
    input.mi.dy = y;
    input.mi.dwFlags = flags;
    return input;
}

// A left click at a point of the screen: the pointer moved there, pressed
// and released.
void clickAt(POINT point)
{
    // Absolute coordinates run from 0 to 65535 over the primary screen.
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    const LONG x = static_cast<LONG>((point.x * 65535 + width / 2) / (width - 1));
    const LONG y = static_cast<LONG>((point.y * 65535 + height / 2) / (height - 1));
    sendInputs({mouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, x, y)});
    // Let the window under it see the pointer arrive before the press.
    std::this_thread::sleep_for(50ms);
    sendInputs({mouse(MOUSEEVENTF_LEFTDOWN), mouse(MOUSEEVENTF_LEFTUP)});
}

POINT centreOf(HWND window)
{
    const RECT rect = rectOf(window);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

void click(HWND control, const std::wstring& name)
{
    if (!::IsWindowVisible(control) || !::IsWindowEnabled(control))
        fail(L"\"" + name + L"\" cannot be clicked: it is " + (::IsWindowVisible(control) ? L"disabled" : L"hidden"));
    clickAt(centreOf(control));
}

INPUT key(WORD virtualKey, WORD scan, DWORD flags)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = scan;
    input.ki.dwFlags = flags;
    return input;
}

void pressKey(WORD virtualKey)
{
    sendInputs({key(virtualKey, 0, 0), key(virtualKey, 0, KEYEVENTF_KEYUP)});
}

// Types `text` as a keyboard that has every character would: each one
// pressed and released (KEYEVENTF_UNICODE), whatever the keyboard layout.
void typeText(const std::wstring& text)
{
    for (const wchar_t c : text) {
        sendInputs({key(0, c, KEYEVENTF_UNICODE), key(0, c, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP)});
        std::this_thread::sleep_for(5ms);
    }
}

// Brings `window` to the front as a click on it would, so that the keys
// typed next reach it.
void activate(HWND window, const std::wstring& name)
{
    waitFor(L"\"" + name + L"\" did not come to the front", [&] {
        if (::GetForegroundWindow() != window)
            ::SetForegroundWindow(window);
        return ::GetForegroundWindow() == window;
    });
}

// --- The window and its controls.

struct Window {
    HWND main = nullptr;
    DWORD process = 0;
    HWND fileSelect = nullptr;   // "File Select", "Save Mult" in multiple mode
    HWND save = nullptr;
    HWND exit = nullptr;
    HWND multiple = nullptr;
    HWND single = nullptr;
    HWND fileType = nullptr;
    HWND picSize = nullptr;
    HWND preview = nullptr;
    HWND documentName = nullptr;   // "No File Selected" until a document is open
};

HWND childByText(HWND parent, const wchar_t* className, const std::wstring& text)
{
    for (HWND child : descendants(parent))
        if (sameClass(child, className) && shownText(child) == text)
            return child;
    return nullptr;
}

// The combo box nearest below the top of `label` that overlaps it across.
HWND comboBelow(HWND parent, HWND label)
{
    const RECT under = rectOf(label);
    HWND best = nullptr;
    LONG bestDistance = 0;
    for (HWND child : descendants(parent)) {
        if (!sameClass(child, L"ComboBox") || ::GetParent(child) != parent)
            continue;
        const RECT rect = rectOf(child);
        const LONG distance = rect.top - under.top;
        if (distance < 0 || rect.right <= under.left || rect.left >= under.right)
            continue;
        if (!best || distance < bestDistance) {
            best = child;
            bestDistance = distance;
        }
    }
    return best;
}

Window findWindow()
{
    Window window;
    window.main = waitFor(L"no window \"" + Caption + L"\" appeared", [] {
        for (HWND top : topLevelWindows())
            if (::IsWindowVisible(top) && textOf(top) == Caption)
                return top;
        return HWND{};
    }, 30s);
    window.process = processOf(window.main);

    const auto need = [&](HWND control, const std::wstring& what) {
        if (!control)
            fail(L"the window has no " + what);
        return control;
    };
    window.fileSelect = need(childByText(window.main, L"Button", L"File Select"), L"button \"File Select\"");
    window.save = need(childByText(window.main, L"Button", L"Save"), L"button \"Save\"");
    window.exit = need(childByText(window.main, L"Button", L"Exit"), L"button \"Exit\"");
    window.multiple = need(childByText(window.main, L"Button", L"Multiple Files"), L"option \"Multiple Files\"");
    window.single = need(childByText(window.main, L"Button", L"Single File"), L"option \"Single File\"");
    HWND typeLabel = need(childByText(window.main, L"Static", L"Image Type"), L"label \"Image Type\"");
    HWND sizeLabel = need(childByText(window.main, L"Static", L"Size"), L"label \"Size\"");
    window.fileType = need(comboBelow(window.main, typeLabel), L"list under \"Image Type\"");
    window.picSize = need(comboBelow(window.main, sizeLabel), L"list under \"Size\"");
    // The preview box is the control at the client area's top left corner.
    POINT origin{0, 0};
    ::ClientToScreen(window.main, &origin);
    for (HWND child : descendants(window.main)) {
        const RECT rect = rectOf(child);
        if (::GetParent(child) == window.main && rect.left == origin.x && rect.top == origin.y)
            window.preview = child;
    }
    need(window.preview, L"preview box at its top left corner");
    // The document's name: the label that is neither of the lists'.
    for (HWND child : descendants(window.main))
        if (child != window.preview && child != typeLabel && child != sizeLabel && ::GetParent(child) == window.main
            && sameClass(child, L"Static") && !textOf(child).empty())
            window.documentName = child;
    need(window.documentName, L"label for the document's name");
    return window;
}

// The dialog of the window's process that is up and takes input: a file
// dialog or a message box (titled `title` when given).
HWND dialogOf(const Window& window, const std::wstring* title = nullptr)
{
    for (HWND top : topLevelWindows())
        if (::IsWindowVisible(top) && ::IsWindowEnabled(top) && processOf(top) == window.process
            && sameClass(top, L"#32770") && (!title || textOf(top) == *title))
            return top;
    return nullptr;
}

// Picks `item` from a drop-down list as a person does: a click on the
// arrow, then on the item in the list that drops down.
void pick(HWND combo, const std::wstring& listName, const std::wstring& item)
{
    const RECT rect = rectOf(combo);
    const int arrow = ::GetSystemMetrics(SM_CXVSCROLL);
    clickAt({rect.right - arrow / 2 - 1, (rect.top + rect.bottom) / 2});
    const auto dropped = [&] {
        return ::SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0;
    };
    waitFor(L"the list \"" + listName + L"\" did not drop down", dropped);

    // The list that dropped: the combo box's thread's visible ComboLBox.
    const DWORD thread = ::GetWindowThreadProcessId(combo, nullptr);
    HWND list = waitFor(L"no items of \"" + listName + L"\" showed", [&] {
        for (HWND top : topLevelWindows())
            if (::IsWindowVisible(top) && sameClass(top, L"ComboLBox")
                && ::GetWindowThreadProcessId(top, nullptr) == thread)
                return top;
        return HWND{};
    });
    const LRESULT count = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
    LRESULT index = -1;
    for (LRESULT i = 0; i < count && index < 0; ++i) {
        wchar_t text[256] = {};
        if (::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 255
            && ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text)) > 0
            && item == text)
            index = i;
    }
    if (index < 0)
        fail(L"the list \"" + listName + L"\" has no item \"" + item + L"\"");
    // Items are rows of one height from the top one shown.
    const LRESULT top = ::SendMessageW(list, LB_GETTOPINDEX, 0, 0);
    const LRESULT height = ::SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
    RECT client{};
    ::GetClientRect(list, &client);
    POINT at{client.right / 2, static_cast<LONG>((index - top) * height + height / 2)};
    if (index < top || at.y >= client.bottom)
        fail(L"the item \"" + item + L"\" of \"" + listName + L"\" is not in view");
    ::ClientToScreen(list, &at);
    clickAt(at);
    waitFor(
        [&] {
            return L"\"" + item + L"\" was not picked in \"" + listName + L"\" (it shows \"" + textOf(combo) + L"\")";
        },
        [&] { return !dropped() && textOf(combo) == item; });
}

void pickTypeAndSize(const Window& window, const std::wstring& type, const std::wstring& size)
{
    activate(window.main, Caption);
    pick(window.fileType, L"Image Type", type);
    pick(window.picSize, L"Size", size);
    // Picking a size makes the preview box that many pixels square.
    const int pixels = std::stoi(size);
    waitFor(L"the preview box did not become " + size + L" pixels square", [&] {
        RECT client{};
        ::GetClientRect(window.preview, &client);
        RECT outer = rectOf(window.preview);
        return (outer.right - outer.left == pixels && outer.bottom - outer.top == pixels)
               || (client.right == pixels && client.bottom == pixels);
    });
}

bool exists(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    return ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)
           && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (data.nFileSizeLow || data.nFileSizeHigh);
}

std::wstring fileNameField(HWND dialog)
{
    for (HWND child : descendants(dialog)) {
        if (!sameClass(child, L"Edit"))
            continue;
        const HWND parent = ::GetParent(child);
        if (::GetDlgCtrlID(child) == FileNameEdit || (parent && ::GetDlgCtrlID(parent) == FileNameCombo))
            return textOf(child);
    }
    fail(L"the file dialog has no file name field");
}

// What a dialog says: the texts of its labels.
std::wstring saidIn(HWND dialog)
{
    std::wstring text;
    for (HWND child : descendants(dialog))
        if (sameClass(child, L"Static") && !textOf(child).empty())
            text += (text.empty() ? L"" : L" ") + textOf(child);
    return text;
}

// Waits for a file dialog to close after Enter; a box it put up instead
// ("File not found", ...) is named in the failure.
void waitForClose(const Window& window, HWND dialog, const std::wstring& name)
{
    waitFor(
        [&] {
            for (HWND top : topLevelWindows())
                if (top != dialog && ::IsWindowVisible(top) && processOf(top) == window.process
                    && sameClass(top, L"#32770"))
                    return name + L" did not close on Enter: it says \"" + saidIn(top) + L"\"";
            return name + L" did not close on Enter";
        },
        [&] { return !::IsWindow(dialog); });
}

// Answers every message box with Enter, printing its text, until `done`
// holds with none up and the window takes input again.
void answerMessagesUntil(const Window& window, const std::function<bool()>& done, std::chrono::milliseconds limit,
                         const std::function<std::wstring()>& what)
{
    waitFor(what, [&] {
        if (HWND box = dialogOf(window, &MessageTitle)) {
            const std::wstring text = saidIn(box);
            std::printf("message: %s\n", utf8(text).c_str());
            std::fflush(stdout);
            activate(box, L"the message box");
            pressKey(VK_RETURN);
            waitFor(L"the message box \"" + text + L"\" did not close on Enter",
                    [&] { return !::IsWindow(box) || !::IsWindowVisible(box); });
            return false;
        }
        return done() && ::IsWindowEnabled(window.main) && ::IsWindowEnabled(window.exit) && !dialogOf(window);
    }, limit);
}

// --- The screenshot: the window as the screen shows it, into a 24-bit BMP.

void captureWindow(HWND window, const std::wstring& path)
{
    const RECT rect = rectOf(window);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;   // bottom-up, as a BMP file holds it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap)
        fail(L"no bitmap for the screenshot");
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    const BOOL copied = ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ::GdiFlush();
    ::SelectObject(memory, old);

    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD pixels = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + pixels;
    bool written = false;
    if (copied) {
        HANDLE file =
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD done = 0;
            written = ::WriteFile(file, &header, sizeof header, &done, nullptr)
                      && ::WriteFile(file, &info.bmiHeader, sizeof info.bmiHeader, &done, nullptr)
                      && ::WriteFile(file, bits, pixels, &done, nullptr) && done == pixels;
            written = ::CloseHandle(file) && written;
        }
    }
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    if (!copied)
        fail(L"the screen could not be copied for the screenshot");
    if (!written)
        fail(L"the screenshot could not be written to " + path);
}

// --- The two scenarios.

std::wstring withoutExtension(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::size_t dot = path.find_last_of(L'.');
    return dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash) ? path : path.substr(0, dot);
}

std::wstring fileNameOf(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void clickExit(const Window& window)
{
    activate(window.main, Caption);
    click(window.exit, L"Exit");
    waitFor(L"the window did not close on Exit", [&] { return !::IsWindow(window.main); });
}

// Waits for the document named on the command line: its name shown and
// Save enabled.
void waitForDocument(const Window& window)
{
    waitFor([&] { return L"the document did not open (the window shows \"" + textOf(window.documentName) + L"\")"; },
            [&] { return textOf(window.documentName) != L"No File Selected" && ::IsWindowEnabled(window.save); });
}

void single(const std::wstring& type, const std::wstring& size, const std::wstring& picture)
{
    const Window window = findWindow();
    waitForDocument(window);
    pickTypeAndSize(window, type, size);
    activate(window.main, Caption);
    click(window.save, L"Save");
    HWND dialog = waitFor(L"no save dialog appeared", [&] { return dialogOf(window); });
    const std::wstring proposed = *waitFor(L"the save dialog proposed no name", [&] {
        std::wstring name = fileNameField(dialog);
        return name.empty() ? std::nullopt : std::optional(name);
    });
    if (proposed != fileNameOf(withoutExtension(picture)))
        fail(L"the save dialog proposed \"" + proposed + L"\", not \"" + fileNameOf(withoutExtension(picture)) + L"\"");
    activate(dialog, L"the save dialog");
    pressKey(VK_RETURN);
    waitForClose(window, dialog, L"the save dialog");
    answerMessagesUntil(window, [&] { return exists(picture); }, StepTime, [&] { return L"no picture " + picture; });
    clickExit(window);
}

void screenshot(const std::wstring& bitmap)
{
    const Window window = findWindow();
    waitForDocument(window);
    activate(window.main, Caption);
    // A moment for the box to be painted after the document's preview came.
    std::this_thread::sleep_for(500ms);
    captureWindow(window.main, bitmap);
    clickExit(window);
}

void multiple(const std::wstring& type, const std::wstring& size, const std::wstring& folder,
              const std::vector<std::wstring>& names, const std::vector<std::wstring>& withoutPreview)
{
    const Window window = findWindow();
    pickTypeAndSize(window, type, size);
    click(window.multiple, L"Multiple Files");
    waitFor(L"\"File Select\" did not become \"Save Mult\"",
            [&] { return shownText(window.fileSelect) == L"Save Mult"; });
    click(window.fileSelect, L"Save Mult");
    HWND dialog = waitFor(L"no open dialog appeared", [&] { return dialogOf(window); });
    activate(dialog, L"the open dialog");
    // The file name field has the focus as the dialog opens, in the folder
    // last used (Windows' and Wine's memory of it) or the current one:
    // FOLDER typed and Enter go there, and empty the field.
    const auto field = [&](const wchar_t* what) {
        return L"the open dialog's file name field did not take " + std::wstring(what) + L" (it holds \""
               + fileNameField(dialog) + L"\")";
    };
    typeText(folder);
    waitFor([&] { return field(L"the folder"); }, [&] { return fileNameField(dialog) == folder; });
    pressKey(VK_RETURN);
    waitFor(L"the open dialog did not go to " + folder,
            [&] { return ::IsWindow(dialog) && fileNameField(dialog).empty(); });
    std::wstring typed;
    for (const auto* group : {&names, &withoutPreview})
        for (const std::wstring& name : *group)
            typed += (typed.empty() ? L"\"" : L" \"") + name + L"\"";
    typeText(typed);
    waitFor([&] { return field(L"the names"); }, [&] { return fileNameField(dialog) == typed; });
    pressKey(VK_RETURN);
    waitForClose(window, dialog, L"the open dialog");

    std::vector<std::wstring> pictures;
    for (const std::wstring& name : names)
        pictures.push_back(folder + L"\\" + withoutExtension(name) + type);
    answerMessagesUntil(window, [&] { return std::all_of(pictures.begin(), pictures.end(), exists); }, 60s,
                        [&] {
                            const auto missing = std::find_if_not(pictures.begin(), pictures.end(), exists);
                            return missing == pictures.end() ? L"the window did not take input again after the batch"
                                                             : L"no picture " + *missing;
                        });
    for (const std::wstring& name : withoutPreview)
        if (exists(folder + L"\\" + withoutExtension(name) + type))
            fail(L"a picture was written for " + name + L", which has no preview");
    clickExit(window);
}

} // namespace

int wmain(int argc, wchar_t* argv[])
{
    // Screen coordinates in pixels, whatever the display's scale.
    ::SetProcessDPIAware();
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    try {
        if (args.size() == 4 && args[0] == L"single") {
            single(args[1], args[2], args[3]);
        } else if (args.size() == 2 && args[0] == L"screenshot") {
            screenshot(args[1]);
        } else if (args.size() >= 5 && args[0] == L"multiple") {
            const auto split = std::find(args.begin() + 4, args.end(), L"--");
            multiple(args[1], args[2], args[3], std::vector<std::wstring>(args.begin() + 4, split),
                     std::vector<std::wstring>(split == args.end() ? split : split + 1, args.end()));
        } else {
            std::fprintf(stderr, "usage: window_driver single TYPE SIZE PICTURE\n"
                                 "       window_driver multiple TYPE SIZE FOLDER NAME... [-- NAME_WITHOUT_PREVIEW...]\n"
                                 "       window_driver screenshot BITMAP\n");
            return 2;
        }
    } catch (const Failure& e) {
        std::fprintf(stderr, "window_driver: %s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "window_driver: %s\n", e.what());
        return 1;
    }
    return 0;
}
