#include "platform/qt/QtMessageBox.h"

#include <QMessageBox>

namespace glimmer {

void QtMessageBox::show(const std::string& text, const std::string& title, Icon icon)
{
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    switch (icon) {
    case Icon::None: qtIcon = QMessageBox::NoIcon; break;
    case Icon::Information: qtIcon = QMessageBox::Information; break;
    case Icon::Exclamation: qtIcon = QMessageBox::Warning; break;
    case Icon::Critical: qtIcon = QMessageBox::Critical; break;
    }
    QMessageBox box(qtIcon, QString::fromStdString(title), QString::fromStdString(text), QMessageBox::Ok, parent_);
    if (parent_)
        box.setWindowModality(Qt::WindowModal);
    box.exec();
}

} // namespace glimmer
