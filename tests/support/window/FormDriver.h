#pragma once

#include "formats/Image.h"
#include "platform/Form.h"
#include "preview/Picture.h"

#include <memory>
#include <string>

namespace glimmer::test {

// The window's form as a user reaches it, whatever toolkit draws it: each
// control found by its name, and acted on the way the toolkit delivers a
// user's clicks, picks and typing.
class FormDriver {
public:
    virtual ~FormDriver() = default;

    virtual ui::Form& form() = 0;
    virtual void show() = 0;

    // A command or option button clicked.
    virtual void click(const char* control) = 0;
    // An entry picked from a combo box's list.
    virtual void pick(const char* combo, int index) = 0;
    // Text typed into a combo box over what it held; no entry picked.
    virtual void type(const char* combo, const std::string& text) = 0;

    // A button's or label's caption, or a combo box's text.
    virtual std::string text(const char* control) = 0;
    virtual bool isEnabled(const char* control) = 0;
    virtual bool isChecked(const char* option) = 0;
    virtual Picture picture(const char* box) = 0;
    // A picture box's size on screen, in pixels.
    virtual Size pixelSize(const char* box) = 0;
    // A picture box as it shows itself: its persistent image.
    virtual Image image(const char* box) = 0;
};

// The driver of the form of the toolkit the tests are built with.
std::unique_ptr<FormDriver> makeFormDriver();

} // namespace glimmer::test
