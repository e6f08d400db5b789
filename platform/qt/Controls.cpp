#include "Controls.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLineEdit>

namespace glimmer {

ComboBox::ComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // The classic control does not complete typed text from its list.
    setCompleter(nullptr);
    lineEdit()->installEventFilter(this);
    connect(this, &QComboBox::activated, this, [this] {
        const bool pick = fromList_;
        fromList_ = false;
        if (pick)
            emit Click();
    });
}

int ComboBox::ListIndex() const
{
    const int index = currentIndex();
    return index >= 0 && itemText(index) == currentText() ? index : -1;
}

void ComboBox::hidePopup()
{
    // A pick from the open list closes it and then activates the entry.
    fromList_ = view()->isVisible();
    QComboBox::hidePopup();
}

bool ComboBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lineEdit() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        fromList_ = key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown;
    }
    return QComboBox::eventFilter(watched, event);
}

} // namespace glimmer
