// The window's form over Win32 as the user meets it: the real controls the
// logic fills it with, their places at 96 and 192 DPI, the keys, the combo
// box's picks, the picture box's pixels on screen, the program's resources
// and glimmerbox.exe itself. Under Wine on a display of its own.
#include "app/frmSavePreview.h"
#include "app/win32/JpegPicture.h"
#include "app/win32/Win32Form.h"
#include "platform/win32/Utf16.h"
#include "preview/Box.h"
#include "preview/FileComponents.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Sha256.h"

#include <gtest/gtest.h>

#include <windows.h>
#undef MessageBox   // our class, not the macro for MessageBoxW

#include <array>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

using namespace glimmer;
using glimmer::win32::fromUtf16;
using glimmer::win32::toUtf16;

namespace {

class NoDialog : public CommonDialog {
protected:
    std::optional<std::vector<std::string>> run(Mode) override { return std::nullopt; }
};

class NoMessages : public MessageBox {
public:
    void show(const std::string& text, const std::string&, Icon) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

std::string textOf(HWND window)
{
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, static_cast<int>(std::size(text)));
    return fromUtf16(text);
}

std::string classOf(HWND window)
{
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return fromUtf16(name);
}

RECT placeOf(HWND control)
{
    RECT r;
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// What the dialog manager does with a key pressed in the window.
void press(HWND form, UINT key, bool shift = false)
{
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    ::SetKeyboardState(keys);
    MSG message{::GetFocus() ? ::GetFocus() : form, WM_KEYDOWN, key, 1, 0, {}};
    ::IsDialogMessageW(form, &message);
    keys[VK_SHIFT] = 0;
    ::SetKeyboardState(keys);
}

void pressAlt(HWND form, wchar_t letter)
{
    MSG message{::GetFocus() ? ::GetFocus() : form, WM_SYSCHAR, letter, 1 << 29, 0, {}};
    ::IsDialogMessageW(form, &message);
}

void pump()
{
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

bool quitPosted()
{
    MSG message;
    return ::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
}

// The form as the program makes it: filled by the window's logic.
struct ProgramForm : testing::Test {
    Win32Form form;
    NoDialog dialog;
    NoMessages messages;
    FileComponents components;
    frmSavePreview window{form, dialog, messages, components};

    ProgramForm()
    {
        window.setExitHandler([] {});
        form.show(SW_SHOW);
        ::SetForegroundWindow(form.window());
        pump();
    }
    HWND control(const char* name) const { return form.control(name); }
};

TEST_F(ProgramForm, ControlsHaveTheirNamesPlacesAndCaptionsAt96Dpi)
{
    ASSERT_EQ(form.dpi(), 96u) << "the display is expected at 96 DPI";
    struct Row {
        const char* name;
        const char* windowClass;
        RECT place;   // pixels: twips / 15, to the nearest
        const char* shown;   // the Win32 caption, its access key marked
    };
    const Row rows[] = {
        {"picPreview", "GlimmerboxPicture", {0, 0, 244, 244}, ""},
        {"cmdOpen", "Button", {256, 56, 337, 89}, "&File Select"},
        {"cmdSave", "Button", {256, 96, 337, 129}, "&Save"},
        {"cmdExit", "Button", {256, 216, 337, 249}, "&Exit"},
        {"optMulti", "Button", {248, 8, 353, 33}, "&Multiple Files"},
        {"optSave", "Button", {248, 32, 353, 49}, "S&ingle File"},
        {"FileType", "ComboBox", {272, 152, 329, 0}, ".bmp"},
        {"Label1", "Static", {264, 136, 345, 161}, "Image Type"},
        {"FileName", "Static", {8, 256, 337, 281}, "No File Selected"},
        {"PicSize", "ComboBox", {272, 192, 329, 0}, "240"},
        {"Label2", "Static", {264, 176, 321, 201}, "Size"},
        {"Picture1", "GlimmerboxPicture", {32, 312, 153, 433}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HWND control = this->control(row.name);
        ASSERT_TRUE(control);
        EXPECT_EQ(::GetParent(control), form.window());
        EXPECT_STRCASEEQ(classOf(control).c_str(), row.windowClass);
        const RECT place = placeOf(control);
        EXPECT_EQ(place.left, row.place.left);
        EXPECT_EQ(place.top, row.place.top);
        EXPECT_EQ(place.right, row.place.right);
        if (row.place.bottom) {   // a combo box's field is as high as its font needs
            EXPECT_EQ(place.bottom, row.place.bottom);
        }
        EXPECT_EQ(textOf(control), row.shown);
    }
    EXPECT_EQ(form.control("nothing"), nullptr);

    RECT client;
    ::GetClientRect(form.window(), &client);
    EXPECT_EQ(client.right, 339);    // 5085 twips
    EXPECT_EQ(client.bottom, 290);   // 4350 twips
    EXPECT_GE(placeOf(control("Picture1")).top, client.bottom) << "Picture1 only holds the placeholder, out of sight";
    EXPECT_EQ(textOf(form.window()), "Preview & Save Inventor Images");
}

TEST_F(ProgramForm, TabAndShiftTabFollowTheCreationOrder)
{
    // Of the option buttons, the chosen one takes the tab.
    const std::vector<const char*> order = {"cmdOpen", "cmdSave", "cmdExit", "optSave", "FileType", "PicSize"};
    auto focused = [this] {
        HWND focus = ::GetFocus();
        for (const char* name : {"cmdOpen", "cmdSave", "cmdExit", "optMulti", "optSave", "FileType", "PicSize"})
            if (focus == control(name) || ::GetParent(focus) == control(name))   // a combo box's edit field
                return std::string(name);
        return std::string("?");
    };
    ASSERT_EQ(focused(), "cmdOpen");
    for (std::size_t i = 1; i <= order.size(); ++i) {
        press(form.window(), VK_TAB);
        EXPECT_EQ(focused(), order[i % order.size()]) << "Tab " << i;
    }
    for (std::size_t i = order.size(); i-- > 0;) {
        press(form.window(), VK_TAB, true);
        EXPECT_EQ(focused(), order[i]) << "Shift+Tab to " << order[i];
    }

    // Choosing the other option moves the tab stop with it; Save, which the
    // logic then turns off, is passed over.
    pressAlt(form.window(), L'm');
    EXPECT_EQ(::SendMessageW(control("optMulti"), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(::SendMessageW(control("optSave"), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    ASSERT_FALSE(::IsWindowEnabled(control("cmdSave")));
    ::SetFocus(control("cmdOpen"));
    press(form.window(), VK_TAB);
    EXPECT_EQ(focused(), "cmdExit");
    press(form.window(), VK_TAB);
    EXPECT_EQ(focused(), "optMulti");
}

TEST_F(ProgramForm, CaptionsFitTheirControlsAt96And192Dpi)
{
    for (const unsigned dpi : {96u, 192u}) {
        SCOPED_TRACE("at " + std::to_string(dpi) + " DPI");
        if (dpi == 96) {
            form.layOut(dpi);
        } else {
            // As a move to a monitor at 200 % tells the window.
            RECT suggested{40, 30, 700, 640};
            ::SendMessageW(form.window(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
            RECT frame;
            ::GetWindowRect(form.window(), &frame);
            EXPECT_EQ(frame.left, 40);
            EXPECT_EQ(frame.top, 30);
        }
        EXPECT_EQ(form.dpi(), dpi);
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        ASSERT_TRUE(::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi));

        const RECT open = placeOf(control("cmdOpen"));
        EXPECT_EQ(open.left, ::MulDiv(3840, static_cast<int>(dpi), 1440));
        EXPECT_EQ(open.right - open.left, ::MulDiv(1215, static_cast<int>(dpi), 1440));
        RECT client;
        ::GetClientRect(form.window(), &client);
        EXPECT_EQ(client.right, ::MulDiv(5085, static_cast<int>(dpi), 1440));

        for (const char* name : {"cmdOpen", "cmdSave", "cmdExit", "optMulti", "optSave", "Label1", "FileName", "Label2"}) {
            SCOPED_TRACE(name);
            HWND control = this->control(name);
            const auto font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
            LOGFONTW used{};
            ASSERT_TRUE(::GetObjectW(font, sizeof used, &used));
            EXPECT_EQ(used.lfHeight, metrics.lfMessageFont.lfHeight) << "the message font at this DPI";
            EXPECT_STREQ(used.lfFaceName, metrics.lfMessageFont.lfFaceName);

            std::wstring caption = toUtf16(textOf(control));
            std::erase(caption, L'&');
            HDC dc = ::GetDC(control);
            const HGDIOBJ old = ::SelectObject(dc, font);
            SIZE text{};
            ::GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &text);
            SIZE zero{};
            ::GetTextExtentPoint32W(dc, L"0", 1, &zero);
            ::SelectObject(dc, old);
            ::ReleaseDC(control, dc);

            RECT box;
            ::GetClientRect(control, &box);
            int room = box.right;
            // An option button's caption starts past its check box and half
            // a character's gap.
            if ((::GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON && classOf(control) == "Button")
                room -= ::GetSystemMetricsForDpi(SM_CXMENUCHECK, dpi) + zero.cx / 2;
            EXPECT_LE(text.cx, room) << fromUtf16(caption) << " in " << fromUtf16(used.lfFaceName);
            // The option buttons reach past the window's edge: their
            // captions must end before it.
            EXPECT_LE(placeOf(control).left + box.right - room + text.cx, client.right) << fromUtf16(caption);
            EXPECT_LE(text.cy, box.bottom) << fromUtf16(caption);
        }
    }
    form.layOut(96);
    EXPECT_EQ(placeOf(control("cmdOpen")).left, 256);
}

TEST_F(ProgramForm, CloseBoxEndsTheLoopAndEscDoesNot)
{
    ::SetFocus(control("cmdExit"));
    press(form.window(), VK_ESCAPE);
    pump();
    EXPECT_FALSE(quitPosted());
    EXPECT_TRUE(::IsWindow(form.window()));

    ::SendMessageW(form.window(), WM_CLOSE, 0, 0);
    MSG quit;
    ASSERT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 0u);
}

TEST(Win32Form, EnterAndAccessKeysPressButtonsWhoseCaptionsKeepTheirText)
{
    Win32Form form;
    ui::CommandButton& open = form.addCommandButton("open", "File Select", {0, 0, 1200, 400});
    ui::CommandButton& save = form.addCommandButton("save", "Save", {0, 500, 1200, 400});
    ui::OptionButton& multi = form.addOptionButton("multi", "Multiple Files", {0, 1000, 1800, 300});
    ui::ComboBox& box = form.addComboBox("box", {0, 1400, 1200, 300});
    ui::CommandButton& amp = form.addCommandButton("amp", "R&D", {0, 1800, 1200, 400});
    int opened = 0, saved = 0, chosen = 0, picked = 0;
    open.Click = [&] { ++opened; };
    save.Click = [&] { ++saved; };
    multi.Click = [&] { ++chosen; };
    box.Click = [&] { ++picked; };
    box.AddItem("96");
    form.show(SW_SHOW);
    ::SetForegroundWindow(form.window());
    pump();

    ::SetFocus(form.control("save"));
    press(form.window(), VK_RETURN);
    EXPECT_EQ(saved, 1);
    EXPECT_EQ(opened, 0);
    ::SetFocus(form.control("box"));
    press(form.window(), VK_RETURN);   // in the combo box's field: nothing
    press(form.window(), VK_ESCAPE);
    pressAlt(form.window(), L'f');
    pressAlt(form.window(), L'm');
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(saved, 1);
    EXPECT_EQ(chosen, 1);
    EXPECT_TRUE(multi.Value());
    EXPECT_EQ(picked, 0);

    // A caption's own '&' is shown as it is; a new caption takes a key no
    // other control holds.
    EXPECT_EQ(textOf(form.control("amp")), "&R&&D");
    EXPECT_EQ(amp.caption(), "R&D");
    open.setCaption("Save Mult");
    EXPECT_EQ(open.caption(), "Save Mult");
    EXPECT_EQ(textOf(form.control("open")), "S&ave Mult");
    pressAlt(form.window(), L'a');
    EXPECT_EQ(opened, 2);
}

TEST(Win32Form, ComboBoxClickIsAListPickNotTypedText)
{
    Win32Form form;
    ui::ComboBox& box = form.addComboBox("PicSize", {0, 0, 855, 315});
    for (const char* size : {"96", "120", "240"})
        box.AddItem(size);
    box.setListIndex(2);
    std::vector<std::string> clicks;
    box.Click = [&] { clicks.push_back(box.Text() + "/" + std::to_string(box.ListIndex())); };
    form.show(SW_SHOW);
    ::SetForegroundWindow(form.window());
    pump();
    HWND combo = form.control("PicSize");
    COMBOBOXINFO parts{};
    parts.cbSize = sizeof parts;
    ASSERT_TRUE(::GetComboBoxInfo(combo, &parts));
    EXPECT_TRUE(clicks.empty()) << "setListIndex raises nothing";

    // Typed text, Return included: no Click, and no list entry.
    ::SendMessageW(parts.hwndItem, EM_SETSEL, 0, -1);
    for (const wchar_t c : std::wstring(L"12"))
        ::SendMessageW(parts.hwndItem, WM_CHAR, c, 1);
    ::SendMessageW(parts.hwndItem, WM_KEYDOWN, VK_RETURN, 1);
    pump();
    EXPECT_TRUE(clicks.empty());
    EXPECT_EQ(box.Text(), "12");
    EXPECT_EQ(box.ListIndex(), -1);

    // A pick with the mouse from the open list: Click sees the entry.
    ::SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    pump();
    RECT item;
    ASSERT_NE(::SendMessageW(parts.hwndList, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item)), LB_ERR);
    POINT at{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    ::ClientToScreen(parts.hwndList, &at);
    ::SetCursorPos(at.x, at.y);
    INPUT clicks2[2] = {};
    clicks2[0].type = clicks2[1].type = INPUT_MOUSE;
    clicks2[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    clicks2[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ASSERT_EQ(::SendInput(2, clicks2, sizeof(INPUT)), 2u);
    for (int i = 0; i < 50 && clicks.empty(); ++i) {
        pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(clicks, std::vector<std::string>{"120/1"});
    EXPECT_FALSE(::SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));

    // An arrow key in the closed box picks the next entry, as Qt's does.
    ::SetFocus(parts.hwndItem);
    ::SendMessageW(parts.hwndItem, WM_KEYDOWN, VK_DOWN, 1);
    pump();
    EXPECT_EQ(clicks, (std::vector<std::string>{"120/1", "240/2"}));
}

// The first pixels of the screen under `window`, read back through GDI.
Image screenOf(HWND window, int width, int height)
{
    HDC screen = ::GetDC(window);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    Image out(width, height, PixelFormat::Xrgb32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out.setPixel(x, y, 0xFF000000u | static_cast<const std::uint32_t*>(bits)[y * width + x]);
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(window, screen);
    return out;
}

TEST(Win32Form, PictureBoxShowsTheEnginesPixelsOnTheWindowColour)
{
    Win32Form form;
    form.setClientSize(1500, 1500);
    ui::PictureBox& box = form.addPictureBox("box", {0, 0, 900, 900});
    // Twice as wide as high, a colour to each quarter: fitted into the
    // box's middle, with the window's colour above and below.
    Image wide(20, 10, PixelFormat::Xrgb32);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            wide.setPixel(x, y, y < 5 ? (x < 10 ? rgb(200, 30, 40) : rgb(20, 40, 220))
                                      : (x < 10 ? rgb(30, 180, 60) : rgb(240, 220, 20)));
    box.setPicture(Picture::fromImage(wide));
    form.show(SW_SHOW);
    pump();
    ::UpdateWindow(form.control("box"));

    const Image image = box.image();
    ASSERT_EQ(image.size(), (Size{60, 60}));
    const COLORREF window = ::GetSysColor(COLOR_WINDOW);
    EXPECT_EQ(image.pixel(0, 0), rgb(GetRValue(window), GetGValue(window), GetBValue(window)));
    EXPECT_EQ(image.pixel(5, 20), rgb(200, 30, 40));
    EXPECT_EQ(image.pixel(5, 40), rgb(30, 180, 60));
    const Image shown = screenOf(form.control("box"), 60, 60);
    int different = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x)
            different += shown.pixel(x, y) != image.pixel(x, y);
    EXPECT_EQ(different, 0) << "the screen shows the image one to one";

    box.setWidthTwips(1200);
    EXPECT_EQ(box.widthTwips(), 1200);
    EXPECT_EQ(box.image().size(), (Size{80, 60}));
    EXPECT_EQ(placeOf(form.control("box")).right, 80);
}

std::string pixelHash(const Image& image)
{
    test::Sha256 hash;
    for (int y = 0; y < image.height(); ++y)
        hash.add({image.row(y), static_cast<std::size_t>(image.width()) * 4});
    return hash.hex();
}

TEST(Win32Form, PlaceholderHasTheLinuxWindowsPixels)
{
    // Qt 6.4's reader over libjpeg-turbo 2.1.5 on Linux, as RGB32 rows.
    const char* qtDecode = "b406a1f0a97e3a6649f0a7d2e262d0c87a9047b7d8eb018f80a7688f61f393f6";
    Win32Form form;   // this program carries the window's resources too
    const Picture placeholder = form.placeholder();
    ASSERT_EQ(placeholder.size(), (Size{120, 120}));
    EXPECT_EQ(pixelHash(placeholder.image()), qtDecode);

    const auto file = test::readFile(GLIMMER_SOURCE_DIR "/app/resources/placeholder.jpg");
    EXPECT_EQ(pixelHash(decodeJpeg(file)), qtDecode);
    EXPECT_TRUE(decodeJpeg({}).isNull());
    const std::vector<std::byte> notJpeg(64, std::byte{0x42});
    EXPECT_TRUE(decodeJpeg(notJpeg).isNull());
}

TEST(Win32Form, ProgramCarriesItsIconPlaceholderVersionAndManifest)
{
    HMODULE program = ::LoadLibraryExW(toUtf16(GLIMMER_WINDOW_EXE).c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_TRUE(program);
    auto resource = [&](LPCWSTR type, int id) -> std::string {
        HRSRC found = ::FindResourceW(program, MAKEINTRESOURCEW(id), type);
        return found ? std::string(static_cast<const char*>(::LockResource(::LoadResource(program, found))),
                                   ::SizeofResource(program, found))
                     : std::string();
    };
    auto byte = [](const std::string& bytes, std::size_t at) { return static_cast<unsigned char>(bytes.at(at)); };

    // The icon group: 16, 32, 48 and 256 (0) pixels, 32 bits each, in the
    // order of their images' IDs.
    const std::string group = resource(RT_GROUP_ICON, 1);
    ASSERT_EQ(group.size(), 6u + 4 * 14);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(byte(group, 6 + 14 * i), (std::array{16, 32, 48, 0}[i]));
        EXPECT_EQ(byte(group, 6 + 14 * i + 6), 32);
    }
    // The 32-pixel one a bitmap, bottom-up: teal (#008080) inside the
    // frame, clear at the corner; the 256-pixel one a PNG.
    const std::string icon = resource(RT_ICON, byte(group, 6 + 14 + 12));
    ASSERT_GE(icon.size(), 40u + 32 * 32 * 4);
    auto pixel = [&](int x, int y) {
        const std::size_t at = 40 + static_cast<std::size_t>((31 - y) * 32 + x) * 4;
        return argb(byte(icon, at + 3), byte(icon, at + 2), byte(icon, at + 1), byte(icon, at));
    };
    EXPECT_EQ(pixel(24, 9), rgb(0x00, 0x80, 0x80));
    EXPECT_EQ(alphaOf(pixel(0, 0)), 0u);
    EXPECT_EQ(resource(RT_ICON, byte(group, 6 + 3 * 14 + 12)).substr(1, 3), "PNG");

    EXPECT_EQ(resource(RT_RCDATA, 101).size(), test::readFile(GLIMMER_SOURCE_DIR "/app/resources/placeholder.jpg").size());
    EXPECT_FALSE(resource(RT_VERSION, 1).empty());
    const std::string manifest = resource(RT_MANIFEST, 1);
    for (const char* part : {"PerMonitorV2", "<activeCodePage", "UTF-8", "Microsoft.Windows.Common-Controls"})
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    ::FreeLibrary(program);
}

TEST(Win32Window, OpensTheDocumentItIsGivenAndEndsWhenClosed)
{
    GLIMMER_REQUIRE_FIXTURES();
    const std::string document = test::fixtureFile("jessedusty-2014-15-Robotux-CAD-Files/tetrix spacer.ipt");
    std::wstring command = L"\"" + toUtf16(GLIMMER_WINDOW_EXE) + L"\" \"" + toUtf16(document) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started));
    HWND window = nullptr;
    std::string shown;
    for (int i = 0; i < 300 && shown != "tetrix spacer.ipt"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        // The program's window: this process has none left.
        if (!window)
            window = ::FindWindowW(L"GlimmerboxForm", nullptr);
        // FileName: the ninth control made.
        if (window)
            shown = textOf(::GetDlgItem(window, 1008));
    }
    EXPECT_EQ(shown, "tetrix spacer.ipt");
    if (window)
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(::WaitForSingleObject(started.hProcess, 20000), WAIT_OBJECT_0);
    DWORD code = 1;
    ::GetExitCodeProcess(started.hProcess, &code);
    EXPECT_EQ(code, 0u);
    if (::WaitForSingleObject(started.hProcess, 0) != WAIT_OBJECT_0)
        ::TerminateProcess(started.hProcess, 1);
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
}

} // namespace
