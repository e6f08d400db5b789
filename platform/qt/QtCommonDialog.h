#pragma once

#include "platform/CommonDialog.h"

class QWidget;

namespace glimmer {

// The dialog over Qt's own QFileDialog (never the desktop's: the same
// dialog everywhere, whose saving adds the extension of the picked type to a
// name typed without one).
class QtCommonDialog : public CommonDialog {
public:
    explicit QtCommonDialog(QWidget* parent = nullptr) : parent_(parent) {}
    // The window the dialog sits over, modal to it.
    void setParent(QWidget* parent) { parent_ = parent; }

protected:
    std::optional<std::vector<std::string>> run(Mode mode) override;

private:
    QWidget* parent_;
};

} // namespace glimmer
