#pragma once

#include "platform/qt/Controls.h"
#include "platform/qt/PictureBox.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <stdexcept>

namespace glimmer::test {

// The window's controls, found as a user's tools find them: by name.
struct WindowControls {
    explicit WindowControls(const QWidget& window)
        : picPreview(find<PictureBox>(window, "picPreview"))
        , cmdOpen(find<QPushButton>(window, "cmdOpen"))
        , cmdSave(find<QPushButton>(window, "cmdSave"))
        , cmdExit(find<QPushButton>(window, "cmdExit"))
        , optMulti(find<QRadioButton>(window, "optMulti"))
        , optSave(find<QRadioButton>(window, "optSave"))
        , FileType(find<ComboBox>(window, "FileType"))
        , Label1(find<QLabel>(window, "Label1"))
        , FileName(find<QLabel>(window, "FileName"))
        , PicSize(find<ComboBox>(window, "PicSize"))
        , Label2(find<QLabel>(window, "Label2"))
        , Picture1(find<PictureBox>(window, "Picture1"))
    {
    }

    template <typename T>
    static T* find(const QWidget& window, const char* name)
    {
        T* control = window.findChild<T*>(QLatin1String(name));
        if (!control)
            throw std::logic_error(std::string("the window has no control ") + name);
        return control;
    }

    PictureBox* picPreview;
    QPushButton* cmdOpen;
    QPushButton* cmdSave;
    QPushButton* cmdExit;
    QRadioButton* optMulti;
    QRadioButton* optSave;
    ComboBox* FileType;
    QLabel* Label1;
    QLabel* FileName;
    ComboBox* PicSize;
    QLabel* Label2;
    PictureBox* Picture1;
};

} // namespace glimmer::test
