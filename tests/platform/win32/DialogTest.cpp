// The window's dialogs over Win32, as the user meets them: the real boxes of
// comdlg32 and user32, driven from a second thread while the thread under
// test sits in the box's own loop. Every wait is bounded: a box that never
// appears, or never closes, fails its test and is closed.
#include "platform/MessageBox.h"
#include "platform/RuntimeError.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/Win32CommonDialog.h"
#include "platform/win32/Win32MessageBox.h"
#include "platform/win32/Win32Progress.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <dlgs.h>
#undef MessageBox   // our class, not the macro for MessageBoxW

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace glimmer;
using glimmer::win32::fromUtf16;
using glimmer::win32::toUtf16;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace std::string_literals;

const std::string OpenFilter =
    "All Files(*.*)|*.*|Inventor Files(*.ipt,*.iam,*.idw,*.ipn, *.ide)|*.ipt;*.iam;*.idw;*.ipn;*.ide|"
    "Part Files (*.ipt)|*.ipt|Assembly Files (*.iam)|*.iam|Drawing Files(*.idw)|*.idw|"
    "Presentation Files (*.ipn)|*.ipn|iFeature Files(*.ide)|*.ide";
const std::vector<std::string> OpenTypes = {
    "All Files(*.*)", "Inventor Files(*.ipt,*.iam,*.idw,*.ipn, *.ide)", "Part Files (*.ipt)",
    "Assembly Files (*.iam)", "Drawing Files(*.idw)", "Presentation Files (*.ipn)", "iFeature Files(*.ide)"};
const std::string SaveFilter = "Wimdows Bitmap(*.bmp)|*.bmp|Windows Meta File(*.wmf)|*.wmf|JPEG(*.jpg)|*.jpg";
const std::vector<std::string> SaveTypes = {"Wimdows Bitmap(*.bmp)", "Windows Meta File(*.wmf)", "JPEG(*.jpg)"};

const std::string Spaced = "a b.ipt";
const std::string UmlautStem = "Geh\xC3\xA4use";   // "Gehäuse"
const std::string Umlaut = UmlautStem + ".ipt";
const std::string Plain = "plain.iam";

std::string classOf(HWND window)
{
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return fromUtf16(name);
}

// A message to a window of the thread under test, answered within a few
// seconds or given up (0).
LRESULT ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 5000, &result))
        return 0;
    return static_cast<LRESULT>(result);
}

std::string textOf(HWND window)
{
    const auto length = static_cast<std::size_t>(ask(window, WM_GETTEXTLENGTH));
    std::wstring text(length + 1, L'\0');
    text.resize(static_cast<std::size_t>(ask(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return fromUtf16(text);
}

void press(HWND dialog, int id)
{
    ask(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

// The file name box: a combo box in the Explorer dialog, an edit in the old one.
HWND nameBox(HWND dialog)
{
    HWND box = ::GetDlgItem(dialog, cmb13);
    return box ? box : ::GetDlgItem(dialog, edt1);
}

void typeName(HWND dialog, const std::string& name)
{
    const std::wstring wide = toUtf16(name);
    ask(nameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

std::vector<std::string> fileTypesOf(HWND dialog)
{
    HWND types = ::GetDlgItem(dialog, cmb1);
    std::vector<std::string> texts;
    const LRESULT count = ask(types, CB_GETCOUNT);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring text(static_cast<std::size_t>(ask(types, CB_GETLBTEXTLEN, static_cast<WPARAM>(i))) + 1, L'\0');
        text.resize(static_cast<std::size_t>(
            ask(types, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()))));
        texts.push_back(fromUtf16(text));
    }
    return texts;
}

void pickFileType(HWND dialog, int index)
{
    HWND types = ::GetDlgItem(dialog, cmb1);
    ask(types, CB_SETCURSEL, static_cast<WPARAM>(index));
    // What the list sends when the user picks from it (Wine's dialog
    // acts on the second alone).
    ask(dialog, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELCHANGE), reinterpret_cast<LPARAM>(types));
    ask(dialog, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELENDOK), reinterpret_cast<LPARAM>(types));
}

bool isFileDialog(HWND window)
{
    return ::GetDlgItem(window, cmb1) != nullptr;
}

bool isMessageBox(HWND window)
{
    return !isFileDialog(window) && ::GetDlgItem(window, IDOK) != nullptr;
}

struct ThreadWindows {
    DWORD thread;
    std::vector<HWND> found;
};

// The visible dialog boxes (#32770) of `thread`.
std::vector<HWND> dialogBoxesOf(DWORD thread)
{
    ThreadWindows windows{thread, {}};
    ::EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* of = reinterpret_cast<ThreadWindows*>(context);
            if (::GetWindowThreadProcessId(window, nullptr) == of->thread && ::IsWindowVisible(window)
                && classOf(window) == "#32770")
                of->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows.found;
}

// What is up on the screen, for a test that fails: each box's title and the
// texts of its controls.
std::string describe(const std::vector<HWND>& boxes)
{
    std::string text;
    for (HWND box : boxes) {
        text += " [\"" + textOf(box) + "\":";
        ::EnumChildWindows(
            box,
            [](HWND child, LPARAM context) -> BOOL {
                const std::string childText = textOf(child);
                if (!childText.empty())
                    *reinterpret_cast<std::string*>(context) += " \"" + childText + "\"";
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&text));
        text += "]";
    }
    return text.empty() ? " none" : text;
}

// Runs `call` (a box shown by this thread) while `script` drives the box
// from a second thread. Returns what went wrong with the box: none
// appeared, or it did not close when the script was done.
std::string drive(const std::function<bool(HWND)>& wanted, const std::function<void(HWND)>& script,
                  const std::function<void()>& call)
{
    const DWORD thread = ::GetCurrentThreadId();
    std::atomic<bool> returned = false;
    std::string failure;
    const auto waitFor = [&](auto condition, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!condition() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(20ms);
        return condition();
    };

    std::thread driver([&] {
        HWND box = nullptr;
        const bool appeared = waitFor(
            [&] {
                for (HWND candidate : dialogBoxesOf(thread))
                    if (wanted(candidate))
                        box = candidate;
                return box != nullptr || returned.load();
            },
            10s);
        if (!appeared || !box) {
            failure = returned ? "the call returned without showing its box" : "no box appeared within 10 s";
        } else {
            script(box);
        }
        if (waitFor([&] { return returned.load(); }, 5s))
            return;
        const std::vector<HWND> up = dialogBoxesOf(thread);
        failure += "the box did not close; up:" + describe(up);
        for (HWND open : up)
            ::PostMessageW(open, WM_COMMAND, IDCANCEL, 0);
        if (!waitFor([&] { return returned.load(); }, 5s)) {
            std::fprintf(stderr, "%s, and would not be closed\n", failure.c_str());
            std::fflush(stderr);
            ::TerminateProcess(::GetCurrentProcess(), 1);
        }
    });
    try {
        call();
    } catch (...) {
        returned = true;
        driver.join();
        throw;
    }
    returned = true;
    driver.join();
    return failure;
}

std::vector<std::string> split(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1)
        parts.push_back(text.substr(start, end - start));
    parts.push_back(text.substr(start));
    return parts;
}

std::string utf8Path(const fs::path& path)
{
    return fromUtf16(path.wstring());
}

// A folder of documents of its own, the owner window over which the boxes
// sit, and the current folder given back at the end.
class Win32Dialogs : public testing::Test {
protected:
    void SetUp() override
    {
        before_ = fs::current_path();
        static int made = 0;
        folder_ = fs::temp_directory_path()
                  / (L"glimmer-dialogs-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++made));
        fs::create_directories(folder_ / L"inner");
        for (const std::string& name : {Spaced, Umlaut, Plain})
            std::ofstream(folder_ / toUtf16(name)) << "document";
        owner_ = ::CreateWindowExW(0, L"STATIC", L"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480, nullptr,
                                   nullptr, nullptr, nullptr);
        ASSERT_NE(owner_, nullptr);
    }

    void TearDown() override
    {
        ::DestroyWindow(owner_);
        fs::current_path(before_);
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    std::string folder() const { return utf8Path(folder_); }
    std::string in(const std::string& name) const { return utf8Path(folder_ / toUtf16(name)); }

    fs::path before_;
    fs::path folder_;
    HWND owner_ = nullptr;
};

// The types listed are the filter's descriptions, the one FilterIndex
// names picked; the name typed comes back in the folder FileName named,
// with the picked type's extension, or DefaultExt's where the type is "*.*".
TEST_F(Win32Dialogs, ShowTheFilterAndGiveBackTheNameAndTheTypePicked)
{
    const std::string all = "All Files(*.*)|*.*";
    struct Case {
        bool save;
        std::string filter;
        std::vector<std::string> types;
        int filterIndex;
        int picked;   // 1-based; 0 leaves the type alone
        std::string defaultExt;
        std::string typed;
        std::string chosen;
    };
    const Case cases[] = {
        {false, OpenFilter, OpenTypes, 2, 3, "", Spaced, Spaced},
        {true, SaveFilter, SaveTypes, 3, 0, ".jpg", "name", "name.jpg"},
        {true, SaveFilter, SaveTypes, 3, 2, ".jpg", "name", "name.wmf"},
        {true, SaveFilter, SaveTypes, 3, 1, ".jpg", UmlautStem, UmlautStem + ".bmp"},
        {true, SaveFilter, SaveTypes, 3, 0, ".jpg", "name.bmp", "name.bmp"},
        {true, all, {"All Files(*.*)"}, 1, 0, ".jpg", "name", "name.jpg"},
        {true, all, {"All Files(*.*)"}, 1, 0, "", "name", "name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.save ? "Save " : "Open ") + c.typed + " as " + std::to_string(c.picked));
        Win32CommonDialog dialog(owner_);
        dialog.Flags = CommonDialog::Explorer;
        dialog.Filter = c.filter;
        dialog.FilterIndex = c.filterIndex;
        dialog.FileName = in("start");
        dialog.DefaultExt = c.defaultExt;

        std::vector<std::string> types;
        int selected = -1;
        std::string startName;
        bool ownedAndModal = false;
        const std::string failure = drive(isFileDialog, [&](HWND box) {
            types = fileTypesOf(box);
            selected = static_cast<int>(ask(::GetDlgItem(box, cmb1), CB_GETCURSEL));
            startName = textOf(nameBox(box));
            ownedAndModal = ::GetWindow(box, GW_OWNER) == owner_ && !::IsWindowEnabled(owner_);
            if (c.picked)
                pickFileType(box, c.picked - 1);
            typeName(box, c.typed);
            press(box, IDOK);
        }, [&] { c.save ? dialog.ShowSave() : dialog.ShowOpen(); });

        EXPECT_EQ(failure, "");
        EXPECT_EQ(types, c.types);
        EXPECT_EQ(selected, c.filterIndex - 1);
        EXPECT_EQ(startName, "start");
        EXPECT_TRUE(ownedAndModal);
        EXPECT_EQ(dialog.FileName, in(c.chosen));
        EXPECT_EQ(dialog.FilterIndex, c.picked ? c.picked : c.filterIndex);
        EXPECT_EQ(fs::current_path(), folder_);
        EXPECT_TRUE(::IsWindowEnabled(owner_));
    }
}

// Several names typed at once, one with spaces and one beyond ASCII, come
// back as the folder and the names; a selection MaxFileSize cannot hold
// raises BufferTooSmall.
TEST_F(Win32Dialogs, MultipleSelectionIsTheFolderThenTheNames)
{
    const long several = CommonDialog::AllowMultiselect | CommonDialog::Explorer;
    const int folderSize = static_cast<int>(folder().size());   // ASCII: the folder alone fills it
    const std::string three = "\"" + Spaced + "\" \"" + Umlaut + "\" \"" + Plain + "\"";
    struct Case {
        long flags;
        int maxFileSize;
        std::string typed;
        std::vector<std::string> names;   // none: too long
    };
    const Case cases[] = {
        {several, 32767, three, {Spaced, Umlaut, Plain}},
        {several, folderSize, three, {}},
        {CommonDialog::Explorer, folderSize, Spaced, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed + " in " + std::to_string(c.maxFileSize));
        Win32CommonDialog dialog(owner_);
        dialog.Flags = c.flags;
        dialog.Filter = OpenFilter;
        dialog.FilterIndex = 2;
        dialog.FileName = folder();
        dialog.MaxFileSize = c.maxFileSize;
        int number = 0;
        std::string text;
        const std::string failure = drive(isFileDialog, [&](HWND box) {
            typeName(box, c.typed);
            press(box, IDOK);
        }, [&] {
            try {
                dialog.ShowOpen();
            } catch (const RuntimeError& e) {
                number = e.number();
                text = e.what();
            }
        });
        EXPECT_EQ(failure, "");
        if (c.names.empty()) {
            EXPECT_EQ(number, CommonDialog::BufferTooSmall);
            EXPECT_EQ(text, "The selection is too long: choose fewer files at a time.");
            EXPECT_EQ(dialog.FileName, "");
            continue;
        }
        const std::vector<std::string> parts = split(dialog.FileName);
        ASSERT_EQ(parts.size(), c.names.size() + 1) << dialog.FileName;
        EXPECT_EQ(parts[0], folder());
        EXPECT_EQ(std::set<std::string>(parts.begin() + 1, parts.end()),
                  std::set<std::string>(c.names.begin(), c.names.end()));
        for (std::size_t i = 1; i < parts.size(); ++i)
            EXPECT_TRUE(fs::is_regular_file(fs::path(toUtf16(parts[0])) / toUtf16(parts[i]))) << parts[i];
        EXPECT_EQ(fs::current_path(), folder_);
    }
}

// The buffer's forms, as comdlg32 leaves them.
TEST_F(Win32Dialogs, SelectedPathsAreTheFolderThenEachName)
{
    const std::wstring folder = folder_.wstring();
    const auto shortName = [&](const std::string& name) {
        const std::wstring path = (folder_ / toUtf16(name)).wstring();
        std::wstring shortPath(MAX_PATH, L'\0');
        shortPath.resize(::GetShortPathNameW(path.c_str(), shortPath.data(), MAX_PATH));
        return fs::path(shortPath).filename().wstring();
    };
    ASSERT_EQ(shortName(Spaced).find(L' '), std::wstring::npos);

    const long several = CommonDialog::AllowMultiselect | CommonDialog::Explorer;
    struct Case {
        std::wstring buffer;
        long flags;
        std::vector<std::string> paths;
    };
    const Case cases[] = {
        {folder + L'\0' + toUtf16(Spaced) + L'\0' + toUtf16(Umlaut) + L"\0\0"s, several, {in(Spaced), in(Umlaut)}},
        {toUtf16(in(Spaced)) + L"\0\0"s, several, {in(Spaced)}},
        {L"C:\\\0a.ipt\0b.ipt\0\0"s, several, {"C:\\a.ipt", "C:\\b.ipt"}},
        {toUtf16(in(Spaced)) + L"\0"s, CommonDialog::Explorer, {in(Spaced)}},
        // The old dialog, several files by their short names, or one by its long name.
        {folder + L' ' + shortName(Spaced) + L' ' + shortName(Umlaut) + L"\0\0"s, CommonDialog::AllowMultiselect,
         {in(Spaced), in(Umlaut)}},
        {toUtf16(in(Spaced)) + L"\0\0"s, CommonDialog::AllowMultiselect, {in(Spaced)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(fromUtf16(c.buffer));
        EXPECT_EQ(win32::selectedPaths(c.buffer, c.flags), c.paths);
    }
}

// Browsing into another folder and cancelling: no name, the type and the
// current folder as they were.
TEST_F(Win32Dialogs, CancelLeavesNothingAndChangesNothing)
{
    for (const bool save : {false, true}) {
        SCOPED_TRACE(save ? "Save" : "Open");
        Win32CommonDialog dialog(owner_);
        dialog.Flags = CommonDialog::Explorer;
        dialog.Filter = save ? SaveFilter : OpenFilter;
        dialog.FilterIndex = 2;
        dialog.FileName = in("start");
        const fs::path current = fs::current_path();
        const std::string failure = drive(isFileDialog, [&](HWND box) {
            typeName(box, in("inner"));
            press(box, IDOK);   // into the folder, the box still up: Wine moves the current folder there
            pickFileType(box, 0);
            press(box, IDCANCEL);
        }, [&] { save ? dialog.ShowSave() : dialog.ShowOpen(); });
        EXPECT_EQ(failure, "");
        EXPECT_EQ(dialog.FileName, "");
        EXPECT_EQ(dialog.FilterIndex, 2);
        EXPECT_EQ(fs::current_path(), current);
    }
}

TEST_F(Win32Dialogs, MessageBoxShowsTitleTextAndIconAndOkClosesIt)
{
    struct Case {
        MessageBox::Icon icon;
        std::string title;   // empty: the default
        LPCWSTR systemIcon;
    };
    const Case cases[] = {
        {MessageBox::Icon::None, "", nullptr},
        {MessageBox::Icon::Information, "Glimmerbox", IDI_INFORMATION},
        {MessageBox::Icon::Exclamation, "Glimmerbox", IDI_WARNING},
        {MessageBox::Icon::Critical, "Save Preview", IDI_ERROR},
    };
    const std::string text = Umlaut + ": the document carries no preview";
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.icon));
        Win32MessageBox box(owner_);
        MessageBox& messages = box;
        std::string title;
        std::vector<std::string> texts;
        HICON shown = nullptr;
        bool ownedAndModal = false;
        const std::string failure = drive(isMessageBox, [&](HWND up) {
            title = textOf(up);
            ownedAndModal = ::GetWindow(up, GW_OWNER) == owner_ && !::IsWindowEnabled(owner_);
            for (HWND child = ::GetWindow(up, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
                if (classOf(child) != "Static")
                    continue;
                if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                    if (::IsWindowVisible(child))
                        shown = reinterpret_cast<HICON>(ask(child, STM_GETICON));
                } else {
                    texts.push_back(textOf(child));
                }
            }
            press(up, IDOK);
        }, [&] {
            if (c.title.empty())
                messages.show(text);
            else
                messages.show(text, c.title, c.icon);
        });
        EXPECT_EQ(failure, "");
        EXPECT_EQ(title, c.title.empty() ? "Glimmerbox" : c.title);
        EXPECT_EQ(texts, std::vector<std::string>{text});
        EXPECT_TRUE(ownedAndModal);
        EXPECT_EQ(shown, c.systemIcon ? ::LoadIconW(nullptr, c.systemIcon) : nullptr);
        EXPECT_TRUE(::IsWindowEnabled(owner_));
    }
}

// A window that counts what reaches it, and can keep its queue full.
struct Counted {
    int keys = 0;
    int clicks = 0;
    int others = 0;
    int reposts = 0;

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* counted = reinterpret_cast<Counted*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (counted) {
            if (message == WM_KEYDOWN)
                ++counted->keys;
            else if (message == WM_LBUTTONDOWN)
                ++counted->clicks;
            else if (message == WM_APP)
                ++counted->others;
            else if (message == WM_APP + 1 && counted->reposts > 0 && --counted->reposts > 0)
                ::PostMessageW(window, WM_APP + 1, 0, 0);
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
};

HWND countedWindow(Counted& counted)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Counted::procedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"GlimmerCounted";
    ::RegisterClassW(&windowClass);
    HWND window = ::CreateWindowExW(0, L"GlimmerCounted", L"Other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                    200, nullptr, nullptr, windowClass.hInstance, nullptr);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&counted));
    return window;
}

void postInput(HWND window)
{
    ::PostMessageW(window, WM_KEYDOWN, 'A', 0);
    ::PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    ::PostMessageW(window, WM_APP, 0, 0);
}

TEST_F(Win32Dialogs, ProgressLetsOnlyItsCancelAct)
{
    Counted counted;
    HWND other = countedWindow(counted);
    ASSERT_NE(other, nullptr);

    // Without a progress window, everything is dispatched.
    postInput(other);
    pumpWindowMessages();
    EXPECT_EQ(counted.keys, 1);
    EXPECT_EQ(counted.clicks, 1);
    EXPECT_EQ(counted.others, 1);

    Win32Progress progress(owner_);
    progress.start(3);
    HWND window = progress.window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(::IsWindowVisible(window));
    EXPECT_EQ(::GetWindow(window, GW_OWNER), owner_);
    EXPECT_FALSE(::IsWindowEnabled(owner_));

    postInput(other);
    EXPECT_TRUE(progress.advance(0, Spaced));
    postInput(other);
    pumpWindowMessages();
    EXPECT_EQ(counted.keys, 1);
    EXPECT_EQ(counted.clicks, 1);
    EXPECT_EQ(counted.others, 3);
    std::set<std::string> texts;
    for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        texts.insert(textOf(child));
    EXPECT_EQ(texts, (std::set<std::string>{"1 of 3: " + Spaced, "Cancel"}));

    // A click on Cancel, as the mouse gives it.
    HWND cancel = ::GetDlgItem(window, IDCANCEL);
    ASSERT_NE(cancel, nullptr);
    ::PostMessageW(cancel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::PostMessageW(cancel, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_FALSE(progress.advance(1, Umlaut));

    progress.finish();
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_TRUE(::IsWindowEnabled(owner_));
    EXPECT_EQ(progress.window(), nullptr);

    // Esc on the next run's progress is Cancel too.
    progress.start(1);
    ::PostMessageW(::GetDlgItem(progress.window(), IDCANCEL), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(progress.advance(0, Plain));
    progress.finish();
    ::DestroyWindow(other);
}

// A window that keeps its queue full does not keep the pump for ever.
TEST_F(Win32Dialogs, ThePumpReturnsFromAQueueThatNeverEmpties)
{
    Counted counted;
    HWND other = countedWindow(counted);
    ASSERT_NE(other, nullptr);
    counted.reposts = 1000000;
    ::PostMessageW(other, WM_APP + 1, 0, 0);
    pumpWindowMessages();
    EXPECT_GT(counted.reposts, 0);
    ::DestroyWindow(other);
}

} // namespace
