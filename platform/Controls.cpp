#include "Controls.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace glimmer {

ComboBox::ComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    lineEdit()->installEventFilter(this);
    // Connected after QComboBox's own handler, so this runs once it has
    // raised (or not) its activation for the typed text.
    connect(lineEdit(), &QLineEdit::returnPressed, this, [this] { typing_ = false; });
    connect(this, &QComboBox::activated, this, [this] {
        if (!typing_)
            emit Click();
    });
}

void ComboBox::showPopup()
{
    typing_ = false;
    QComboBox::showPopup();
}

bool ComboBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lineEdit() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        typing_ = key == Qt::Key_Return || key == Qt::Key_Enter;
    }
    return QComboBox::eventFilter(watched, event);
}

} // namespace glimmer
