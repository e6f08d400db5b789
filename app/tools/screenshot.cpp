// Makes the pictures of the README: the real window, under a real X server,
// showing a real document's preview. Run by scripts/screenshot.
//   glimmerbox-screenshot DOCUMENT OUTPUT.png
#include "app/frmSavePreview.h"
#include "app/qt/QtForm.h"
#include "platform/qt/QtCommonDialog.h"
#include "platform/qt/QtMessageBox.h"
#include "preview/FileComponents.h"

#include <QApplication>
#include <QFileInfo>
#include <QScreen>
#include <QTimer>

#include <cstdio>

namespace {

// Nobody is there to press OK: messages go to the error output.
class PrintedMessages : public glimmer::MessageBox {
public:
    void show(const QString& text, const QString&, Icon) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: glimmerbox-screenshot DOCUMENT OUTPUT.png\n");
        return 2;
    }
    // Absolute now: choosing the document moves the current folder.
    const QString output = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();

    glimmer::QtCommonDialog dialog;
    PrintedMessages messages;
    glimmer::FileComponents components;
    glimmer::QtForm form;
    glimmer::frmSavePreview window(form, dialog, messages, components);
    form.move(40, 40);
    form.show();
    window.open(argv[1]);

    int status = 1;
    // Give the window system a moment to map and paint the window.
    QTimer::singleShot(800, [&] {
        const QRect frame = form.frameGeometry();
        const QPixmap shot = form.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
        status = shot.save(output) ? 0 : 1;
        if (status != 0)
            std::fprintf(stderr, "cannot write %s\n", argv[2]);
        QApplication::quit();
    });
    QApplication::exec();
    return status;
}
