#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace glimmer::test {

// Waits for a modal window while it lives: its end stops the waiting, and
// fails the test when none showed.
class ModalWait {
public:
    ModalWait(QTimer* poll, std::shared_ptr<bool> answered) : poll_(poll), answered_(std::move(answered)) {}
    ModalWait(ModalWait&&) = default;
    ~ModalWait()
    {
        if (!answered_)
            return;
        if (!*answered_)
            ADD_FAILURE() << "the window never showed";
        delete poll_;
    }

private:
    QPointer<QTimer> poll_;
    std::shared_ptr<bool> answered_;
};

// Once the next modal window of type T shows, hands it to `act`, which must
// close it. A modal window of another type fails the test and is closed.
template <typename T>
[[nodiscard]] ModalWait whenModalShows(std::function<void(T&)> act)
{
    auto* poll = new QTimer;
    auto answered = std::make_shared<bool>(false);
    QObject::connect(poll, &QTimer::timeout, [poll, answered, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        poll->stop();
        *answered = true;
        if (auto* shown = qobject_cast<T*>(modal)) {
            act(*shown);
        } else {
            ADD_FAILURE() << "another window showed: " << modal->windowTitle().toStdString();
            modal->close();
        }
    });
    poll->start(0);
    return ModalWait(poll, answered);
}

// How a user answers Qt's own file dialog.
struct FileDialogAnswer {
    std::optional<QString> typedName;   // typed over the proposed name; none keeps it
    int pickedType = -1;                // 0-based entry of the type list; -1 leaves it
    bool accept = true;                 // Save/Open, or Cancel
};

// Answers the next file dialog from the keyboard and with its own buttons.
[[nodiscard]] inline ModalWait answerFileDialog(FileDialogAnswer answer)
{
    return whenModalShows<QFileDialog>([answer](QFileDialog& dialog) {
        if (answer.typedName) {
            auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            edit->selectAll();
            QTest::keyClick(edit, Qt::Key_Delete);
            QTest::keyClicks(edit, *answer.typedName);
        }
        if (answer.pickedType >= 0) {
            auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            while (types->currentIndex() < answer.pickedType)
                QTest::keyClick(types, Qt::Key_Down);
            while (types->currentIndex() > answer.pickedType)
                QTest::keyClick(types, Qt::Key_Up);
        }
        auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        const auto role = answer.accept ? QDialogButtonBox::AcceptRole : QDialogButtonBox::RejectRole;
        for (QAbstractButton* button : buttons->buttons())
            if (buttons->buttonRole(button) == role)
                QTest::mouseClick(button, Qt::LeftButton);
    });
}

} // namespace glimmer::test
