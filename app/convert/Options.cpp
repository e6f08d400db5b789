#include "app/convert/Options.h"

#include <QCommandLineParser>

namespace glimmer::convert {

namespace {

Arguments usage(const QString& error)
{
    Arguments a;
    a.action = Arguments::Action::Usage;
    a.error = error;
    return a;
}

// A whole decimal number in [low, high]; nothing else.
bool readNumber(const QString& text, int low, int high, int& value)
{
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    if (!ok || n < low || n > high || text.startsWith(u'+'))
        return false;
    value = n;
    return true;
}

} // namespace

QString extensionOf(OutputType type)
{
    switch (type) {
    case OutputType::Bmp:
        return QStringLiteral(".bmp");
    case OutputType::Jpg:
        return QStringLiteral(".jpg");
    case OutputType::Wmf:
        return QStringLiteral(".wmf");
    case OutputType::Png:
        return QStringLiteral(".png");
    }
    return {};
}

Arguments parseArguments(const QStringList& arguments, int defaultJobs)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    const QCommandLineOption type({"t", "type"}, {}, "TYPE");
    const QCommandLineOption size({"s", "size"}, {}, "N");
    const QCommandLineOption output({"o", "output"}, {}, "DIR");
    const QCommandLineOption jobs({"j", "jobs"}, {}, "N");
    const QCommandLineOption recursive({"r", "recursive"}, {});
    const QCommandLineOption follow({"L", "follow"}, {});
    const QCommandLineOption force({"f", "force"}, {});
    const QCommandLineOption quiet({"q", "quiet"}, {});
    const QCommandLineOption json(QStringLiteral("json"), {});
    const QCommandLineOption dryRun({"n", "dry-run"}, {});
    const QCommandLineOption help({"h", "help"}, {});
    const QCommandLineOption version(QStringLiteral("version"), {});
    parser.addOptions({type, size, output, jobs, recursive, follow, force, quiet, json, dryRun, help, version});

    if (!parser.parse(QStringList{QStringLiteral("glimmerbox-convert")} + arguments))
        return usage(parser.errorText());
    Arguments a;
    if (parser.isSet(help)) {
        a.action = Arguments::Action::Help;
        return a;
    }
    if (parser.isSet(version)) {
        a.action = Arguments::Action::Version;
        return a;
    }
    Options& o = a.options;
    o.jobs = defaultJobs;
    if (parser.isSet(type)) {
        const QString t = parser.value(type);
        if (t == QLatin1String("bmp"))
            o.type = OutputType::Bmp;
        else if (t == QLatin1String("jpg"))
            o.type = OutputType::Jpg;
        else if (t == QLatin1String("wmf"))
            o.type = OutputType::Wmf;
        else if (t == QLatin1String("png"))
            o.type = OutputType::Png;
        else
            return usage(QStringLiteral("unknown type \"%1\" (bmp, jpg, wmf or png)").arg(t));
    }
    if (parser.isSet(size) && !readNumber(parser.value(size), 0, MaxSize, o.size))
        return usage(QStringLiteral("bad size \"%1\" (0 to %2)").arg(parser.value(size)).arg(MaxSize));
    if (parser.isSet(jobs) && !readNumber(parser.value(jobs), 1, MaxJobs, o.jobs))
        return usage(QStringLiteral("bad number of jobs \"%1\" (1 to %2)").arg(parser.value(jobs)).arg(MaxJobs));
    if (parser.isSet(output)) {
        o.outputDir = parser.value(output);
        if (o.outputDir.isEmpty())
            return usage(QStringLiteral("the output folder is empty"));
    }
    o.recursive = parser.isSet(recursive);
    o.followLinks = parser.isSet(follow);
    o.force = parser.isSet(force);
    o.quiet = parser.isSet(quiet);
    o.json = parser.isSet(json);
    o.dryRun = parser.isSet(dryRun);
    o.paths = parser.positionalArguments();
    if (o.paths.isEmpty())
        return usage(QStringLiteral("no document or folder given"));
    a.action = Arguments::Action::Run;
    return a;
}

QString helpText()
{
    return QStringLiteral(
        "Usage: glimmerbox-convert [OPTIONS] PATH...\n"
        "Writes the preview picture of every CAD document (.ipt .iam .idw .ipn .ide)\n"
        "among PATH, a document or a folder, as Glimmerbox's window writes it.\n"
        "\n"
        "  -t, --type TYPE    bmp (the default), jpg, wmf or png\n"
        "  -s, --size N       box size of bmp and jpg, largest side of png (240);\n"
        "                     0 keeps the preview's own size\n"
        "  -o, --output DIR   write into DIR, mirroring the documents' folders,\n"
        "                     instead of beside each document\n"
        "  -r, --recursive    take the documents of subfolders too\n"
        "  -L, --follow       follow symbolic links to folders\n"
        "  -f, --force        write pictures that are already up to date\n"
        "  -j, --jobs N       work on N documents at once (the number of cores)\n"
        "  -n, --dry-run      read and report everything, write nothing\n"
        "      --json         one JSON object per document on standard output\n"
        "  -q, --quiet        no progress line and no summary\n"
        "  -h, --help         show this text\n"
        "      --version      show the version\n"
        "\n"
        "A picture newer than its document is left alone as up to date.\n"
        "Exit status: 0 when every document was written, up to date or without a\n"
        "preview; 1 when one could not be read or written; 2 for bad usage;\n"
        "130 when interrupted.\n"
        "See glimmerbox-convert(1).\n");
}

} // namespace glimmer::convert
