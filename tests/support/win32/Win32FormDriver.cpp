// The window's form over Win32, driven as a user drives it: the messages a
// click, a pick from a list or typing send to the controls of the controls'
// names, through the controls' own window procedures.
#include "app/win32/Win32Form.h"
#include "tests/support/window/FormDriver.h"

#include <windows.h>

#include <stdexcept>

namespace glimmer::test {

namespace {

std::wstring wide(const std::string& utf8)
{
    std::wstring text(utf8.size(), L'\0');
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(),
                                             static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    return text;
}

std::string utf8(const std::wstring& text)
{
    std::string out(text.size() * 3, '\0');
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                             static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    return out;
}

std::wstring windowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// A caption as the user reads it: the access key's '&' gone, "&&" one '&'.
std::wstring shown(const std::wstring& caption)
{
    std::wstring text;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == L'&' && i + 1 < caption.size())
            ++i;
        text += caption[i];
    }
    return text;
}

// Lets the window procedures see what was posted meanwhile.
void settle()
{
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

class Win32FormDriver final : public FormDriver {
public:
    ui::Form& form() override { return form_; }
    void show() override
    {
        form_.show(SW_SHOWNORMAL);
        settle();
    }

    void click(const char* control) override
    {
        const HWND button = find(control);
        // A disabled control takes no click.
        if (!::IsWindowEnabled(button) || !::IsWindowEnabled(::GetAncestor(button, GA_ROOT)))
            return;
        ::SendMessageW(button, BM_CLICK, 0, 0);
        settle();
    }

    void pick(const char* combo, int index) override
    {
        const HWND box = find(combo);
        if (!::IsWindowEnabled(box))
            return;
        // The list drops down, the entry is chosen, the list closes on it.
        ::SendMessageW(box, CB_SHOWDROPDOWN, TRUE, 0);
        ::SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        const WPARAM id = static_cast<WPARAM>(::GetDlgCtrlID(box));
        ::SendMessageW(::GetParent(box), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
        ::SendMessageW(box, CB_SHOWDROPDOWN, FALSE, 0);
        settle();
    }

    void type(const char* combo, const std::string& text) override
    {
        const HWND box = find(combo);
        const HWND edit = ::FindWindowExW(box, nullptr, L"Edit", nullptr);
        if (!edit)
            throw std::logic_error(std::string(combo) + " has no text field");
        ::SendMessageW(edit, EM_SETSEL, 0, -1);
        ::SendMessageW(edit, WM_CHAR, VK_BACK, 0);
        for (const wchar_t c : wide(text))
            ::SendMessageW(edit, WM_CHAR, c, 0);
        settle();
    }

    std::string text(const char* control) override { return utf8(shown(windowText(find(control)))); }
    bool isEnabled(const char* control) override { return ::IsWindowEnabled(find(control)) != FALSE; }
    bool isChecked(const char* option) override { return ::SendMessageW(find(option), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    Picture picture(const char* box) override { return pictureBox(box).picture(); }
    Size pixelSize(const char* box) override
    {
        RECT r{};
        ::GetClientRect(find(box), &r);
        return {r.right - r.left, r.bottom - r.top};
    }
    Image image(const char* box) override { return pictureBox(box).image(); }

private:
    HWND find(const char* name)
    {
        const HWND control = form_.control(name);
        if (!control)
            throw std::logic_error(std::string("the window has no control ") + name);
        return control;
    }
    ui::PictureBox& pictureBox(const char* name)
    {
        auto* box = dynamic_cast<ui::PictureBox*>(form_.find(name));
        if (!box)
            throw std::logic_error(std::string("the window has no picture box ") + name);
        return *box;
    }

    Win32Form form_;
};

} // namespace

std::unique_ptr<FormDriver> makeFormDriver()
{
    return std::make_unique<Win32FormDriver>();
}

} // namespace glimmer::test
