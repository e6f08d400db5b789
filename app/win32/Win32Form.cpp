#include "app/win32/Win32Form.h"

#include "app/win32/JpegPicture.h"
#include "app/win32/ResourceIds.h"
#include "platform/Runtime.h"
#include "platform/RuntimeError.h"
#include "platform/win32/Utf16.h"
#include "preview/Box.h"
#include "system/Win32Path.h"

#include <windows.h>

#include <algorithm>
#include <functional>

namespace glimmer {

namespace {

using win32::toUtf16;

constexpr wchar_t FormClass[] = L"GlimmerboxForm";
constexpr wchar_t PictureClass[] = L"GlimmerboxPicture";
constexpr DWORD FormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD FormExStyle = WS_EX_CONTROLPARENT;
// The controls' IDs, in the order they are made; clear of IDOK and
// IDCANCEL, which the dialog manager sends for Enter and Esc.
constexpr int FirstId = 1000;
// A drop-down list this many times the height of the combo box's field.
constexpr int ListHeights = 7;

int pixelsOf(int twips, unsigned dpi)
{
    return ::MulDiv(twips, static_cast<int>(dpi), 1440);
}

HINSTANCE moduleOfThisCode()
{
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&moduleOfThisCode), &module);
    return module;
}

std::wstring textOf(HWND window)
{
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring itemOf(HWND combo, int index)
{
    const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT got = ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got == CB_ERR ? 0 : static_cast<std::size_t>(got));
    return text;
}

// The system's window colour, as renderBox takes it.
std::uint32_t windowColour()
{
    const COLORREF c = ::GetSysColor(COLOR_WINDOW);
    return rgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

template <typename Base>
class Win32Control : public Base {
public:
    explicit Win32Control(HWND window) : window_(window) {}
    void setEnabled(bool enabled) override { ::EnableWindow(window_, enabled); }
    bool isEnabled() const override { return ::IsWindowEnabled(window_); }

protected:
    HWND window_;
};

} // namespace

struct Win32Form::Entry {
    using Kind = Win32Form::Kind;

    std::string name;
    Kind kind;
    int id;
    HWND window = nullptr;
    ui::Twips place;
    // The letter whose Alt press clicks the control; 0 for none.
    wchar_t accessKey = 0;
    std::unique_ptr<ui::Control> control;
};

namespace {

using Entry = Win32Form::Entry;
// What a control asks of its form: its caption as Win32 shows it.
using Caption = std::function<std::wstring(const std::string&)>;

class CommandButton final : public Win32Control<ui::CommandButton> {
public:
    CommandButton(HWND window, Caption win32Caption, const std::string& caption)
        : Win32Control(window), win32Caption_(std::move(win32Caption)), caption_(caption) {}
    void setCaption(const std::string& caption) override
    {
        caption_ = caption;
        ::SetWindowTextW(window_, win32Caption_(caption).c_str());
    }
    std::string caption() const override { return caption_; }

private:
    Caption win32Caption_;
    std::string caption_;
};

class OptionButton final : public Win32Control<ui::OptionButton> {
public:
    OptionButton(HWND window, std::function<void(HWND)> check) : Win32Control(window), check_(std::move(check)) {}
    bool Value() const override { return ::SendMessageW(window_, BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void setValue(bool value) override
    {
        if (value)
            check_(window_);
        else
            ::SendMessageW(window_, BM_SETCHECK, BST_UNCHECKED, 0);
    }

private:
    // Checks this button and clears the others of its group.
    std::function<void(HWND)> check_;
};

class Label final : public Win32Control<ui::Label> {
public:
    Label(HWND window, const std::string& caption) : Win32Control(window), caption_(caption) {}
    void setCaption(const std::string& caption) override
    {
        caption_ = caption;
        ::SetWindowTextW(window_, toUtf16(caption).c_str());
    }
    std::string caption() const override { return caption_; }

private:
    std::string caption_;
};

class ComboBox final : public Win32Control<ui::ComboBox> {
public:
    using Win32Control::Win32Control;
    void AddItem(const std::string& item) override
    {
        ::SendMessageW(window_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(toUtf16(item).c_str()));
    }
    int ListIndex() const override
    {
        const auto index = static_cast<int>(::SendMessageW(window_, CB_GETCURSEL, 0, 0));
        return index >= 0 && itemOf(window_, index) == textOf(window_) ? index : -1;
    }
    void setListIndex(int index) override { ::SendMessageW(window_, CB_SETCURSEL, static_cast<WPARAM>(index), 0); }
    std::string Text() const override { return win32::fromUtf16(textOf(window_)); }

    // A pick from the list: the field shows the entry before Click reads
    // it (the combo box itself updates the field only after CBN_SELCHANGE).
    void picked()
    {
        const auto index = static_cast<int>(::SendMessageW(window_, CB_GETCURSEL, 0, 0));
        if (index >= 0)
            ::SetWindowTextW(window_, itemOf(window_, index).c_str());
        if (Click)
            Click();
    }
};

class PictureBox final : public Win32Control<ui::PictureBox> {
public:
    PictureBox(HWND window, Entry& entry, const unsigned& dpi, std::function<void()> place)
        : Win32Control(window), entry_(entry), dpi_(dpi), place_(std::move(place)) {}

    const Picture& picture() const override { return picture_; }
    void setPicture(const Picture& picture) override
    {
        picture_ = picture;
        image_ = {};
        ::InvalidateRect(window_, nullptr, FALSE);
    }
    int widthTwips() const override { return entry_.place.width; }
    int heightTwips() const override { return entry_.place.height; }
    void setWidthTwips(int twips) override { resize(twips, entry_.place.height); }
    void setHeightTwips(int twips) override { resize(entry_.place.width, twips); }

    Image image() const override
    {
        const Size size{pixelsOf(entry_.place.width, dpi_), pixelsOf(entry_.place.height, dpi_)};
        const std::uint32_t background = windowColour();
        if (image_.size() != size || background != background_ || (image_.isNull() && !size.isEmpty())) {
            image_ = renderBox(picture_, size, background);
            background_ = background;
        }
        return image_;
    }

    void paint(HDC dc, const RECT& dirty) const
    {
        const Image shown = image();
        RECT client;
        ::GetClientRect(window_, &client);
        if (shown.isNull()) {
            HBRUSH brush = ::GetSysColorBrush(COLOR_WINDOW);
            ::FillRect(dc, &dirty, brush);
            return;
        }
        // The engine's pixels one to one: a top-down 32-bit DIB over the
        // image's own rows.
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = static_cast<LONG>(shown.stride() / 4);
        info.bmiHeader.biHeight = -shown.height();
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        ::SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(shown.width()), static_cast<DWORD>(shown.height()), 0, 0, 0,
                            static_cast<UINT>(shown.height()), shown.row(0), &info, DIB_RGB_COLORS);
        // Whatever of the window the image does not cover (none while the
        // window has the box's size).
        HBRUSH brush = ::GetSysColorBrush(COLOR_WINDOW);
        if (client.right > shown.width()) {
            const RECT right{shown.width(), 0, client.right, client.bottom};
            ::FillRect(dc, &right, brush);
        }
        if (client.bottom > shown.height()) {
            const RECT below{0, shown.height(), std::min<LONG>(client.right, shown.width()), client.bottom};
            ::FillRect(dc, &below, brush);
        }
    }

private:
    void resize(int width, int height)
    {
        entry_.place.width = width;
        entry_.place.height = height;
        place_();
        ::InvalidateRect(window_, nullptr, FALSE);
    }

    Entry& entry_;
    const unsigned& dpi_;
    std::function<void()> place_;
    Picture picture_;
    mutable Image image_;
    mutable std::uint32_t background_ = 0;
};

LRESULT CALLBACK pictureProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;   // WM_PAINT covers it all
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = ::BeginPaint(window, &paint);
        if (auto* box = reinterpret_cast<PictureBox*>(::GetWindowLongPtrW(window, GWLP_USERDATA)))
            box->paint(dc, paint.rcPaint);
        else
            ::FillRect(dc, &paint.rcPaint, ::GetSysColorBrush(COLOR_WINDOW));
        ::EndPaint(window, &paint);
        return 0;
    }
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

void registerClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, int background)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (::GetClassInfoExW(instance, name, &windowClass))
        return;
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));   // IDC_ARROW, whose macro is narrow
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(background + 1));
    windowClass.lpszClassName = name;
    if (!::RegisterClassExW(&windowClass))
        throw RuntimeError(RuntimeError::OutOfMemory,
                           "The window could not be set up: " + win32::errorMessage(::GetLastError()));
}

// The message font at `dpi`; the stock GUI font where the system has none.
HFONT messageFont(unsigned dpi)
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi))
        if (HFONT font = ::CreateFontIndirectW(&metrics.lfMessageFont))
            return font;
    return nullptr;
}

} // namespace

struct FormWindow {
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* form = reinterpret_cast<Win32Form*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!form)
            return ::DefWindowProcW(window, message, wParam, lParam);
        switch (message) {
        case WM_COMMAND:
            form->command(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case DM_GETDEFID:
            // Enter presses the focused button: the dialog manager asks
            // which button is the default one.
            if (HWND focus = ::GetFocus(); focus && ::GetParent(focus) == window)
                for (const auto& entry : form->entries_)
                    if (entry->window == focus && entry->kind == Entry::Kind::Button)
                        return MAKELRESULT(entry->id, DC_HASDEFID);
            return 0;
        case WM_ACTIVATE:
            // The focus leaves with the window and comes back with it.
            if (LOWORD(wParam) == WA_INACTIVE) {
                form->lastFocus_ = ::GetFocus();
            } else {
                HWND focus = form->lastFocus_ && ::IsChild(window, form->lastFocus_)
                                 ? form->lastFocus_ : ::GetNextDlgTabItem(window, nullptr, FALSE);
                if (focus)
                    ::SetFocus(focus);
            }
            return 0;
        case WM_GETDPISCALEDSIZE: {
            const SIZE size = form->windowSize(static_cast<unsigned>(wParam));
            *reinterpret_cast<SIZE*>(lParam) = size;
            return TRUE;
        }
        case WM_DPICHANGED: {
            const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
            form->layOut(HIWORD(wParam));
            ::SetWindowPos(window, nullptr, suggested.left, suggested.top, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_SETTINGCHANGE:
            if (wParam == SPI_SETNONCLIENTMETRICS)
                form->layOut(form->dpi_);   // another message font
            break;
        case WM_SYSCOLORCHANGE:
            ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
            break;
        case WM_CLOSE:
            // The loop ends, and the program with it; the window goes with
            // the form.
            ::PostQuitMessage(0);
            return 0;
        default:
            break;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
};

Win32Form::Win32Form(HINSTANCE instance)
    : instance_(instance ? instance : ::GetModuleHandleW(nullptr))
{
    const HINSTANCE code = moduleOfThisCode();
    registerClass(code, FormClass, FormWindow::procedure, COLOR_BTNFACE);
    registerClass(code, PictureClass, pictureProcedure, COLOR_WINDOW);
    window_ = ::CreateWindowExW(FormExStyle, FormClass, L"", FormStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr,
                                nullptr, code, nullptr);
    if (!window_)
        throw RuntimeError(RuntimeError::OutOfMemory,
                           "The window could not be created: " + win32::errorMessage(::GetLastError()));
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    progress_.setOwner(window_);
    dpi_ = ::GetDpiForWindow(window_);
    font_ = messageFont(dpi_);
    setIcons();
    setEventPump(pumpWindowMessages);
}

Win32Form::~Win32Form()
{
    progress_.finish();
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    for (const auto& entry : entries_)
        ::SetWindowLongPtrW(entry->window, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
    for (HICON icon : {bigIcon_, smallIcon_})
        if (icon)
            ::DestroyIcon(icon);
    if (font_)
        ::DeleteObject(font_);
}

void Win32Form::setIcons()
{
    const HICON big = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(GLIMMER_ICON), IMAGE_ICON,
                                                      ::GetSystemMetricsForDpi(SM_CXICON, dpi_),
                                                      ::GetSystemMetricsForDpi(SM_CYICON, dpi_), 0));
    const HICON small = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(GLIMMER_ICON), IMAGE_ICON,
                                                        ::GetSystemMetricsForDpi(SM_CXSMICON, dpi_),
                                                        ::GetSystemMetricsForDpi(SM_CYSMICON, dpi_), 0));
    ::SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    ::SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    for (HICON icon : {bigIcon_, smallIcon_})
        if (icon)
            ::DestroyIcon(icon);
    bigIcon_ = big;
    smallIcon_ = small;
}

void Win32Form::setCaption(const std::string& caption)
{
    ::SetWindowTextW(window_, toUtf16(caption).c_str());
}

SIZE Win32Form::windowSize(unsigned dpi) const
{
    RECT frame{0, 0, pixelsOf(clientWidthTwips_, dpi), pixelsOf(clientHeightTwips_, dpi)};
    ::AdjustWindowRectExForDpi(&frame, FormStyle, FALSE, FormExStyle, dpi);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

void Win32Form::setClientSize(int widthTwips, int heightTwips)
{
    clientWidthTwips_ = widthTwips;
    clientHeightTwips_ = heightTwips;
    const SIZE size = windowSize(dpi_);
    ::SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Form::place(const Entry& entry) const
{
    int height = pixelsOf(entry.place.height, dpi_);
    if (entry.kind == Entry::Kind::Combo)
        height *= ListHeights;   // the field and its drop-down list
    ::SetWindowPos(entry.window, nullptr, pixelsOf(entry.place.left, dpi_), pixelsOf(entry.place.top, dpi_),
                   pixelsOf(entry.place.width, dpi_), height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Form::layOut(unsigned dpi)
{
    HFONT old = font_;
    dpi_ = dpi;
    font_ = messageFont(dpi);
    for (const auto& entry : entries_) {
        if (entry->kind != Entry::Kind::Picture)
            ::SendMessageW(entry->window, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        place(*entry);
    }
    const SIZE size = windowSize(dpi_);
    ::SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    setIcons();
    ::RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    if (old)
        ::DeleteObject(old);
}

std::wstring Win32Form::withAccessKey(Entry& entry, const std::string& caption)
{
    const std::wstring text = toUtf16(caption);
    auto upper = [](wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; };
    auto usable = [&](std::size_t i) {
        const wchar_t c = upper(text[i]);
        if (!((c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')))
            return false;
        for (const auto& other : entries_)
            if (other.get() != &entry && other->accessKey == c)
                return false;
        return true;
    };
    // The first free letter that begins a word, else the first free one.
    std::size_t key = text.size();
    for (std::size_t i = 0; i < text.size() && key == text.size(); ++i)
        if ((i == 0 || text[i - 1] == L' ') && usable(i))
            key = i;
    for (std::size_t i = 0; i < text.size() && key == text.size(); ++i)
        if (usable(i))
            key = i;
    entry.accessKey = key < text.size() ? upper(text[key]) : 0;

    std::wstring shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == key)
            shown += L'&';
        shown += text[i];
        if (text[i] == L'&')
            shown += L'&';
    }
    return shown;
}

Win32Form::Entry& Win32Form::add(Kind kind, const char* name, const wchar_t* windowClass, unsigned long style,
                                 ui::Twips place, const std::string& caption)
{
    auto entry = std::make_unique<Entry>();
    entry->name = name;
    entry->kind = kind;
    entry->id = FirstId + static_cast<int>(entries_.size());
    entry->place = place;
    // The option buttons are a group of their own: its first one, and the
    // first control after it, begin a group.
    const bool afterOption = !entries_.empty() && entries_.back()->kind == Kind::Option;
    if ((kind == Kind::Option) != afterOption)
        style |= WS_GROUP;

    const std::wstring text = kind == Kind::Label                          ? toUtf16(caption)
                              : kind == Kind::Button || kind == Kind::Option ? withAccessKey(*entry, caption)
                                                                             : std::wstring();
    entry->window = ::CreateWindowExW(0, windowClass, text.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, 0, 0, 0, 0,
                                      window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(entry->id)),
                                      moduleOfThisCode(), nullptr);
    if (!entry->window)
        throw RuntimeError(RuntimeError::OutOfMemory, "The control " + entry->name + " could not be created: "
                                                          + win32::errorMessage(::GetLastError()));
    if (kind != Kind::Picture)
        ::SendMessageW(entry->window, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    // A label lies beneath the controls it overlaps ("Image Type" the top of
    // its combo box), as a caption drawn on the form would. The tab order
    // is that of the others, which keep theirs.
    if (kind == Kind::Label)
        ::SetWindowPos(entry->window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    this->place(*entry);
    entries_.push_back(std::move(entry));
    return *entries_.back();
}

ui::CommandButton& Win32Form::addCommandButton(const char* name, const std::string& caption, ui::Twips place)
{
    Entry& entry = add(Kind::Button, name, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, place, caption);
    auto shown = [this, &entry](const std::string& text) { return withAccessKey(entry, text); };
    entry.control = std::make_unique<CommandButton>(entry.window, shown, caption);
    return static_cast<ui::CommandButton&>(*entry.control);
}

ui::OptionButton& Win32Form::addOptionButton(const char* name, const std::string& caption, ui::Twips place)
{
    Entry& entry = add(Kind::Option, name, L"BUTTON", BS_AUTORADIOBUTTON, place, caption);
    entry.control = std::make_unique<OptionButton>(entry.window, [this](HWND checked) { checkOption(checked); });
    updateTabStops();
    return static_cast<ui::OptionButton&>(*entry.control);
}

ui::Label& Win32Form::addLabel(const char* name, const std::string& caption, ui::Twips place)
{
    // Top-left, wrapped at words; a document's name may hold an '&'.
    Entry& entry = add(Kind::Label, name, L"STATIC", SS_LEFT | SS_NOPREFIX, place, caption);
    entry.control = std::make_unique<Label>(entry.window, caption);
    return static_cast<ui::Label&>(*entry.control);
}

ui::ComboBox& Win32Form::addComboBox(const char* name, ui::Twips place)
{
    Entry& entry = add(Kind::Combo, name, L"COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                       place, {});
    entry.control = std::make_unique<ComboBox>(entry.window);
    return static_cast<ui::ComboBox&>(*entry.control);
}

ui::PictureBox& Win32Form::addPictureBox(const char* name, ui::Twips place)
{
    Entry& entry = add(Kind::Picture, name, PictureClass, 0, place, {});
    auto box = std::make_unique<PictureBox>(entry.window, entry, dpi_, [this, &entry] { this->place(entry); });
    ::SetWindowLongPtrW(entry.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(box.get()));
    entry.control = std::move(box);
    return static_cast<ui::PictureBox&>(*entry.control);
}

Picture Win32Form::placeholder()
{
    HRSRC found = ::FindResourceW(instance_, MAKEINTRESOURCEW(GLIMMER_PLACEHOLDER), MAKEINTRESOURCEW(10));   // RT_RCDATA
    HGLOBAL loaded = found ? ::LoadResource(instance_, found) : nullptr;
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes)
        return {};
    return Picture::fromImage(
        decodeJpeg({static_cast<const std::byte*>(bytes), static_cast<std::size_t>(::SizeofResource(instance_, found))}));
}

HWND Win32Form::control(std::string_view name) const
{
    for (const auto& entry : entries_)
        if (entry->name == name)
            return entry->window;
    return nullptr;
}

void Win32Form::checkOption(HWND checked)
{
    for (const auto& entry : entries_)
        if (entry->kind == Kind::Option)
            ::SendMessageW(entry->window, BM_SETCHECK, entry->window == checked ? BST_CHECKED : BST_UNCHECKED, 0);
    updateTabStops();
}

void Win32Form::updateTabStops()
{
    // Tab goes to the group's chosen button, the arrow keys to the others;
    // to the first while none is chosen.
    HWND first = nullptr;
    HWND chosen = nullptr;
    for (const auto& entry : entries_) {
        if (entry->kind != Kind::Option)
            continue;
        if (!first)
            first = entry->window;
        if (!chosen && ::SendMessageW(entry->window, BM_GETCHECK, 0, 0) == BST_CHECKED)
            chosen = entry->window;
    }
    HWND stop = chosen ? chosen : first;
    for (const auto& entry : entries_) {
        if (entry->kind != Kind::Option)
            continue;
        const LONG_PTR style = ::GetWindowLongPtrW(entry->window, GWL_STYLE);
        ::SetWindowLongPtrW(entry->window, GWL_STYLE, entry->window == stop ? style | WS_TABSTOP : style & ~WS_TABSTOP);
    }
}

void Win32Form::command(int id, int code)
{
    const auto index = static_cast<std::size_t>(id - FirstId);
    if (id < FirstId || index >= entries_.size())
        return;   // IDOK and IDCANCEL: Enter away from a button, and Esc
    Entry& entry = *entries_[index];
    std::function<void()>* click = nullptr;
    try {
        switch (entry.kind) {
        case Kind::Button:
            if (code == BN_CLICKED)
                click = &static_cast<ui::CommandButton&>(*entry.control).Click;
            break;
        case Kind::Option:
            if (code == BN_CLICKED) {
                updateTabStops();
                click = &static_cast<ui::OptionButton&>(*entry.control).Click;
            }
            break;
        case Kind::Combo:
            if (code == CBN_SELCHANGE)
                static_cast<ComboBox&>(*entry.control).picked();
            break;
        case Kind::Label:
        case Kind::Picture:
            break;
        }
        if (click && *click)
            (*click)();
    } catch (const std::exception& e) {
        // Nothing is thrown through the system's frames: the logic reports
        // its own errors, and this is what escaped it.
        ::MessageBoxW(window_, toUtf16(e.what()).c_str(), L"Glimmerbox", MB_OK | MB_ICONERROR);
    }
}

void Win32Form::show(int how)
{
    ::ShowWindow(window_, how);
    ::UpdateWindow(window_);
    if (HWND first = ::GetNextDlgTabItem(window_, nullptr, FALSE))
        ::SetFocus(first);
}

int Win32Form::run()
{
    MSG message;
    for (;;) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0)
            return static_cast<int>(message.wParam);
        if (got == -1)
            return 1;
        if (!::IsDialogMessageW(window_, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

} // namespace glimmer
