#pragma once

#include "platform/Form.h"
#include "platform/win32/Win32Progress.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct HFONT__;
struct HICON__;
struct HINSTANCE__;
struct HWND__;
struct tagSIZE;

namespace glimmer {

// The window's form over Win32: a top-level window whose controls are the
// system's own (BUTTON, STATIC, COMBOBOX) and a picture box of ours, made in
// the order the logic adds them, which is their tab order. Places in twips
// become pixels at the window's DPI (twips × DPI / 1440), in the system's
// message font at that DPI, and again when the window moves to a monitor of
// another DPI.
class Win32Form : public ui::Form {
public:
    // The icon and the placeholder are taken from `instance`'s resources
    // (ResourceIds.h); the executable's when null.
    explicit Win32Form(HINSTANCE__* instance = nullptr);
    ~Win32Form() override;
    Win32Form(const Win32Form&) = delete;
    Win32Form& operator=(const Win32Form&) = delete;

    void setCaption(const std::string& caption) override;
    void setClientSize(int widthTwips, int heightTwips) override;
    ui::CommandButton& addCommandButton(const char* name, const std::string& caption, ui::Twips place) override;
    ui::OptionButton& addOptionButton(const char* name, const std::string& caption, ui::Twips place) override;
    ui::Label& addLabel(const char* name, const std::string& caption, ui::Twips place) override;
    ui::ComboBox& addComboBox(const char* name, ui::Twips place) override;
    ui::PictureBox& addPictureBox(const char* name, ui::Twips place) override;
    Picture placeholder() override;
    Progress& progress() override { return progress_; }

    HWND__* window() const noexcept { return window_; }
    // The control the logic named `name`, or null. Its ID (GetDlgCtrlID)
    // is 1000 plus the number of controls made before it.
    HWND__* control(std::string_view name) const;

    // Lays the window and its controls out at `dpi`, with the message font
    // at that DPI: what a move to another monitor does, and what a test
    // does to see the window at a DPI its screen does not have.
    void layOut(unsigned dpi);
    unsigned dpi() const noexcept { return dpi_; }
    // The controls' font at the current DPI.
    HFONT__* font() const noexcept { return font_; }

    void show(int how);
    // Dispatches the thread's messages, Tab, Enter and access keys through
    // the dialog manager, until the window is closed; returns the exit code.
    int run();

    struct Entry;

private:
    friend struct FormWindow;
    enum class Kind { Button, Option, Label, Combo, Picture };

    Entry& add(Kind kind, const char* name, const wchar_t* windowClass, unsigned long style, ui::Twips place,
               const std::string& caption);
    void place(const Entry& entry) const;
    // The window's outer size for the client area at `dpi`.
    tagSIZE windowSize(unsigned dpi) const;
    // The caption as Win32 shows it: '&' doubled, and an '&' before the
    // first letter (of a word if it can) that no other control has taken as
    // its access key.
    std::wstring withAccessKey(Entry& entry, const std::string& caption);
    void checkOption(HWND__* checked);
    void updateTabStops();
    void command(int id, int code);
    void setIcons();

    HINSTANCE__* instance_;
    HWND__* window_ = nullptr;
    HWND__* lastFocus_ = nullptr;
    HFONT__* font_ = nullptr;
    HICON__* bigIcon_ = nullptr;
    HICON__* smallIcon_ = nullptr;
    unsigned dpi_ = 96;
    int clientWidthTwips_ = 0;
    int clientHeightTwips_ = 0;
    std::vector<std::unique_ptr<Entry>> entries_;
    Win32Progress progress_;
};

} // namespace glimmer
