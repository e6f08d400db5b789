#pragma once

#include "platform/MessageBox.h"

class QWidget;

namespace glimmer {

// QMessageBox over the parent window, modal to it.
class QtMessageBox : public MessageBox {
public:
    explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void show(const std::string& text, const std::string& title, Icon icon) override;

private:
    QWidget* parent_;
};

} // namespace glimmer
