#pragma once

#include "platform/MessageBox.h"

struct HWND__;

namespace glimmer {

// MessageBoxW over the owner window, modal to it. A box the system cannot
// show raises RuntimeError with the system's reason.
class Win32MessageBox : public MessageBox {
public:
    explicit Win32MessageBox(HWND__* owner = nullptr) : owner_(owner) {}
    void setOwner(HWND__* owner) { owner_ = owner; }
    void show(const std::string& text, const std::string& title, Icon icon) override;

private:
    HWND__* owner_;
};

} // namespace glimmer
