#pragma once

#include <QString>

class QWidget;

namespace glimmer {

// Modal message boxes with an OK button only.
class MessageBox {
public:
    enum class Icon { None, Information, Exclamation, Critical };

    static QString applicationTitle() { return QStringLiteral("Glimmerbox"); }

    virtual ~MessageBox() = default;
    virtual void show(const QString& text, const QString& title = applicationTitle(), Icon icon = Icon::None) = 0;
};

// QMessageBox over the parent window, modal to it.
class QtMessageBox : public MessageBox {
public:
    explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void show(const QString& text, const QString& title, Icon icon) override;

private:
    QWidget* parent_;
};

} // namespace glimmer
