#include "app/frmSavePreview.h"
#include "platform/qt/QtCommonDialog.h"
#include "app/qt/QtForm.h"
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
    glimmer::QtForm form;
    glimmer::frmSavePreview window(form, dialog, messages, components);
    dialog.setParent(&form);
    messages.setParent(&form);
    form.show();
    if (const QStringList arguments = QApplication::arguments(); arguments.size() > 1)
        window.open(arguments.at(1).toStdString());
    return QApplication::exec();
}
