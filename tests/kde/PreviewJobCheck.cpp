// preview_job_check FOLDER: asks KIO for thumbnails of every document in
// FOLDER the way Dolphin asks, through a KIO::PreviewJob (and so KIO's
// thumbnail worker) with our plugin enabled, and compares what came back
// with the fixture table: a thumbnail for each document with a preview, none
// for the others. Prints one line per document; exit status 0 when all is
// as expected. preview_job_check.sh runs it in a home of its own.
#include "tests/support/Fixtures.h"

#include <KFileItem>
#include <KIO/PreviewJob>

#include <QDirIterator>
#include <QGuiApplication>
#include <QPixmap>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);   // the job hands out QPixmaps
    if (argc != 2) {
        std::fprintf(stderr, "usage: preview_job_check FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);

    KFileItemList items;
    QDirIterator it(folder, {"*.ipt", "*.iam", "*.idw", "*.ipn", "*.ide"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        items.append(KFileItem(QUrl::fromLocalFile(it.next())));

    // Dolphin's default box, and only our plugin, so that no other can stand in.
    const QStringList plugins{QStringLiteral("glimmerboxthumbnail")};
    std::map<std::string, QSize> thumbnails;   // by path relative to FOLDER
    const auto relative = [&](const KFileItem& item) { return item.localPath().mid(folder.size() + 1).toStdString(); };
    KIO::PreviewJob* job = KIO::filePreview(items, QSize(256, 256), &plugins);
    QObject::connect(job, &KIO::PreviewJob::gotPreview, [&](const KFileItem& item, const QPixmap& pixmap) {
        thumbnails[relative(item)] = pixmap.size();
    });
    QObject::connect(job, &KJob::result, &app, &QCoreApplication::quit);
    QTimer::singleShot(120'000, &app, [] {
        std::fprintf(stderr, "preview_job_check: no answer from KIO in 2 minutes\n");
        QCoreApplication::exit(1);
    });
    if (app.exec() != 0)
        return 1;

    int failures = 0;
    int made = 0;
    for (const auto& doc : glimmer::test::fixtureDocuments()) {
        const auto found = thumbnails.find(doc.path);
        const bool got = found != thumbnails.end();
        const int expectedSide = std::min(doc.previewSize, 256);
        const bool right = got == doc.hasPreview && (!got || found->second == QSize(expectedSide, expectedSide));
        std::printf("%s %s%s\n", right ? "ok  " : "FAIL", doc.path,
                    got ? (" " + std::to_string(found->second.width()) + "x" + std::to_string(found->second.height())).c_str()
                        : " no thumbnail");
        failures += right ? 0 : 1;
        made += got ? 1 : 0;
    }
    std::printf("%d documents asked, %d thumbnails from KIO, %d not as expected\n", int(items.size()), made, failures);
    return failures == 0 && made > 0 ? 0 : 1;
}
