#pragma once

#include "formats/Image.h"
#include "platform/Progress.h"
#include "preview/Picture.h"

#include <functional>
#include <string>

// A window and its controls as the window's logic sees them, whatever
// toolkit draws them: captions in UTF-8, places in twips (1440 to the
// inch), and a Click that the toolkit raises when the user acts.
namespace glimmer::ui {

struct Twips {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

class Control {
public:
    virtual ~Control() = default;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
};

class CommandButton : public Control {
public:
    virtual void setCaption(const std::string& caption) = 0;
    virtual std::string caption() const = 0;
    std::function<void()> Click;
};

// One of a group of option buttons: choosing one clears the others.
class OptionButton : public Control {
public:
    virtual bool Value() const = 0;
    virtual void setValue(bool value) = 0;
    std::function<void()> Click;
};

class Label : public Control {
public:
    virtual void setCaption(const std::string& caption) = 0;
    virtual std::string caption() const = 0;
};

// A drop-down combo box with editable text. Click is raised only when an
// entry is picked from the list; typed text raises nothing.
class ComboBox : public Control {
public:
    virtual void AddItem(const std::string& item) = 0;
    // The index of the list entry the text shows; -1 for typed text that is
    // not the selected entry.
    virtual int ListIndex() const = 0;
    virtual void setListIndex(int index) = 0;
    virtual std::string Text() const = 0;
    std::function<void()> Click;
};

// Shows a Picture scaled uniformly to fit, centred and never clipped, on
// the system's window colour.
class PictureBox : public Control {
public:
    static constexpr int TwipsPerPixel = 15;

    virtual const Picture& picture() const = 0;
    virtual void setPicture(const Picture& picture) = 0;
    virtual int widthTwips() const = 0;
    virtual int heightTwips() const = 0;
    virtual void setWidthTwips(int twips) = 0;
    virtual void setHeightTwips(int twips) = 0;
    // The persistent image: the box as it shows itself, as the engine
    // renders it, at its size in the design's pixels (15 twips each),
    // whatever the screen's scaling: what the saved pictures hold.
    virtual Image image() const = 0;
};

// The window the logic fills with controls. Each control is made at its
// place with its name; the order they are made in is the tab order. The
// form owns them.
class Form {
public:
    virtual ~Form() = default;
    virtual void setCaption(const std::string& caption) = 0;
    virtual void setClientSize(int widthTwips, int heightTwips) = 0;
    virtual CommandButton& addCommandButton(const char* name, const std::string& caption, Twips place) = 0;
    virtual OptionButton& addOptionButton(const char* name, const std::string& caption, Twips place) = 0;
    // A label whose caption wraps at its width, top-left aligned.
    virtual Label& addLabel(const char* name, const std::string& caption, Twips place) = 0;
    virtual ComboBox& addComboBox(const char* name, Twips place) = 0;
    virtual PictureBox& addPictureBox(const char* name, Twips place) = 0;
    // The picture a document without a preview shows: the program's own.
    virtual Picture placeholder() = 0;
    // Where a long run shows its progress, over this window.
    virtual Progress& progress() = 0;
};

} // namespace glimmer::ui
