#pragma once

#include "tests/support/Fixtures.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

// The test doubles' UTF-8 texts compared with Qt's, in the window's Qt tests.
inline bool operator==(const std::string& a, const QString& b)
{
    return QString::fromStdString(a) == b;
}

inline bool operator==(const std::vector<std::string>& a, const QStringList& b)
{
    if (a.size() != static_cast<std::size_t>(b.size()))
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!(a[i] == b[static_cast<qsizetype>(i)]))
            return false;
    return true;
}

// The fixture helpers in Qt's types, for the tests of the window and the programs.
namespace glimmer::test {

inline std::string toStd(const QString& text)
{
    return text.toStdString();
}

inline std::vector<std::string> toStd(const QStringList& texts)
{
    std::vector<std::string> out;
    for (const QString& t : texts)
        out.push_back(t.toStdString());
    return out;
}

inline QString fixtureQPath(const char* relativePath)
{
    return QString::fromStdString(fixtureFile(relativePath));
}

inline QString qpath(const TempDir& dir)
{
    return QString::fromStdString(dir.file());
}

// The whole content of a file; empty when it cannot be read.
inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What a file's first bytes say it is: "bmp", "jpg", "wmf" (placeable
// metafile), or empty for anything else.
inline QString pictureFormat(const QString& path)
{
    const QByteArray head = readAll(path).left(4);
    if (head.startsWith("BM"))
        return QStringLiteral("bmp");
    if (head.startsWith("\xFF\xD8\xFF"))
        return QStringLiteral("jpg");
    if (head == QByteArray("\xD7\xCD\xC6\x9A", 4))
        return QStringLiteral("wmf");
    return {};
}

// Makes `bytes` the whole content of a file (a test failure when it cannot).
inline void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

} // namespace glimmer::test
