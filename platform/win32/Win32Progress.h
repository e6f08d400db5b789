#pragma once

#include "platform/Progress.h"

struct HFONT__;
struct HWND__;

namespace glimmer {

// A run's progress as a small window over the owner: a line saying which
// file comes next and a Cancel button. Until finish() the owner is
// disabled and the thread's messages are pumped by advance() so that only
// the progress window's Cancel acts (pumpWindowMessages).
class Win32Progress : public Progress {
public:
    explicit Win32Progress(HWND__* owner = nullptr) : owner_(owner) {}
    ~Win32Progress() override;
    Win32Progress(const Win32Progress&) = delete;
    Win32Progress& operator=(const Win32Progress&) = delete;

    void setOwner(HWND__* owner) { owner_ = owner; }

    void start(int total) override;
    bool advance(int done, const std::string& current) override;
    void finish() override;

    // The progress window while a run goes on, else null.
    HWND__* window() const { return window_; }

private:
    friend struct ProgressWindow;

    HWND__* owner_;
    HWND__* window_ = nullptr;
    HWND__* label_ = nullptr;
    HFONT__* font_ = nullptr;
    int total_ = 0;
    bool cancelled_ = false;
    bool ownerWasEnabled_ = false;
};

// The event pump for setEventPump (platform/Runtime.h): dispatches the
// messages waiting for the thread's windows, for a moment at most. While a
// progress window is up, input (keys, mouse) for any other window is
// dropped; painting, timers and other messages are dispatched.
void pumpWindowMessages();

} // namespace glimmer
