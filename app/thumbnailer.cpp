// glimmerbox-thumbnailer [-s SIZE] INPUT OUTPUT: writes a CAD document's
// preview as a PNG file, for file managers (Exec=... -s %s %i %o).
// Exit status: 0 written, 1 no preview, 2 not a readable document,
// 3 bad arguments or OUTPUT cannot be written.
#include "preview/Fetch.h"
#include "preview/FileComponents.h"
#include "preview/Thumbnail.h"

#include <QGuiApplication>
#include <QSaveFile>
#include <QStringList>

#include <cstdio>

namespace {

enum Exit { Written = 0, NoPreview = 1, Unreadable = 2, Failed = 3 };

// Qt's own notes (a missing runtime folder and the like) would add lines to
// stderr, where the caller expects at most one.
void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

int fail(int status, const QString& text)
{
    QString line = text;
    line.replace(u'\n', u' ');
    std::fprintf(stderr, "glimmerbox-thumbnailer: %s\n", qPrintable(line));
    return status;
}

} // namespace

int main(int argc, char* argv[])
{
    // A thumbnailer never shows anything; it must run where there is no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quiet);
    QGuiApplication app(argc, argv);

    QStringList args = QCoreApplication::arguments().mid(1);
    int size = 0;
    if (args.size() >= 2 && args[0] == QLatin1String("-s")) {
        bool ok = false;
        size = args[1].toInt(&ok);
        if (!ok || size < 0)
            return fail(Failed, QStringLiteral("bad size \"%1\"").arg(args[1]));
        args = args.mid(2);
    }
    if (args.size() != 2)
        return fail(Failed, QStringLiteral("usage: glimmerbox-thumbnailer [-s SIZE] INPUT OUTPUT"));
    const QString& input = args[0];
    const QString& output = args[1];

    glimmer::FileComponents components;
    const glimmer::FetchedPreview fetched = glimmer::fetchPreview(components, input);
    switch (fetched.status) {
    case glimmer::FetchedPreview::Status::Unreadable:
        return fail(Unreadable, QStringLiteral("%1: %2").arg(input, fetched.reason));
    case glimmer::FetchedPreview::Status::NoPreview:
        return fail(NoPreview, QStringLiteral("%1: %2").arg(input, fetched.reason));
    case glimmer::FetchedPreview::Status::Ok:
        break;
    }
    const QImage image = glimmer::thumbnailImage(fetched.picture, size);

    // Written to a temporary file and renamed: OUTPUT is whole or untouched.
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly))
        return fail(Failed, QStringLiteral("%1: cannot be written: %2").arg(output, file.errorString()));
    if (!image.save(&file, "PNG")) {
        file.cancelWriting();
        return fail(Failed, QStringLiteral("%1: cannot be written: %2").arg(output, file.errorString()));
    }
    if (!file.commit())
        return fail(Failed, QStringLiteral("%1: cannot be written: %2").arg(output, file.errorString()));
    return Written;
}
