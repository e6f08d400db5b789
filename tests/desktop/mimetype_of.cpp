// Test tool. "mimetype_of FILE..." prints "<type>\t<path>" for each file as
// the shared MIME database types it; "mimetype_of --size IMAGE" prints the
// image's "<width>x<height>".
#include <QCoreApplication>
#include <QImageReader>
#include <QMimeDatabase>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (!args.isEmpty() && args.first() == QLatin1String("--size")) {
        const QSize size = args.size() > 1 ? QImageReader(args[1]).size() : QSize();
        out << size.width() << 'x' << size.height() << '\n';
        return size.isValid() ? 0 : 1;
    }
    const QMimeDatabase db;
    for (const QString& path : args)
        out << db.mimeTypeForFile(path).name() << '\t' << path << '\n';
    return 0;
}
