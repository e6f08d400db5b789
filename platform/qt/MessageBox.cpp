#include "MessageBox.h"

#include <QMessageBox>

namespace glimmer {

void QtMessageBox::show(const QString& text, const QString& title, Icon icon)
{
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    switch (icon) {
    case Icon::None: qtIcon = QMessageBox::NoIcon; break;
    case Icon::Information: qtIcon = QMessageBox::Information; break;
    case Icon::Exclamation: qtIcon = QMessageBox::Warning; break;
    case Icon::Critical: qtIcon = QMessageBox::Critical; break;
    }
    QMessageBox box(qtIcon, title, text, QMessageBox::Ok, parent_);
    if (parent_)
        box.setWindowModality(Qt::WindowModal);
    box.exec();
}

} // namespace glimmer
