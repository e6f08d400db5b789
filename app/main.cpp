#include "app/frmSavePreview.h"
#include "preview/FileComponents.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Glimmerbox"));

    glimmer::QtCommonDialog dialog;
    glimmer::QtMessageBox messages;
    glimmer::FileComponents components;
    glimmer::frmSavePreview window(dialog, messages, components);
    window.show();
    return QApplication::exec();
}
