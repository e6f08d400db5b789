#include "app/frmSavePreview.h"
#include "platform/qt/QtCommonDialog.h"
#include "platform/qt/QtMessageBox.h"
#include "system/Heap.h"
#include "preview/FileComponents.h"

#include <QApplication>

// glimmerbox [DOCUMENT]: the window, with DOCUMENT opened as File Select
// would open it (file managers' "Open with" passes it).
int main(int argc, char* argv[])
{
    glimmer::keepFreedMemoryForReuse();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Glimmerbox"));

    glimmer::QtCommonDialog dialog;
    glimmer::QtMessageBox messages;
    glimmer::FileComponents components;
    glimmer::frmSavePreview window(dialog, messages, components);
    dialog.setParent(&window);
    messages.setParent(&window);
    window.show();
    if (const QStringList arguments = QApplication::arguments(); arguments.size() > 1)
        window.open(arguments.at(1));
    return QApplication::exec();
}
