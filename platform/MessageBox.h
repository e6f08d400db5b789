#pragma once

#include <string>

namespace glimmer {

// Modal message boxes with an OK button only. Texts are UTF-8.
class MessageBox {
public:
    enum class Icon { None, Information, Exclamation, Critical };

    static std::string applicationTitle() { return "Glimmerbox"; }

    virtual ~MessageBox() = default;
    virtual void show(const std::string& text, const std::string& title = applicationTitle(), Icon icon = Icon::None) = 0;
};

} // namespace glimmer
