#include "platform/Runtime.h"

#include "formats/BitmapFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace glimmer {

namespace {

std::string nativeOf(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

RuntimeError runtimeErrorOf(const FileError& error)
{
    int number = RuntimeError::PathFileAccess;
    switch (error.kind()) {
    case FileError::Kind::BadFileName: number = RuntimeError::BadFileName; break;
    case FileError::Kind::PathNotFound: number = RuntimeError::PathNotFound; break;
    case FileError::Kind::PermissionDenied: number = RuntimeError::PermissionDenied; break;
    case FileError::Kind::Access: number = RuntimeError::PathFileAccess; break;
    }
    return RuntimeError(number, QString::fromUtf8(error.what()));
}

void writeFileAtomically(const QString& path, std::span<const std::byte> bytes, Durability durability)
{
    try {
        writeFileAtomically(nativeOf(path), bytes, durability);
    } catch (const FileError& e) {
        throw runtimeErrorOf(e);
    }
}

void SavePicture(const Image& image, const QString& path)
{
    Bytes bytes;
    try {
        bytes = bmp::encode24(image);
    } catch (const FormatError& e) {
        throw RuntimeError(RuntimeError::InvalidPicture,
                           QStringLiteral("Invalid picture: cannot save \"%1\" (%2)").arg(path, QString::fromUtf8(e.what())));
    }
    writeFileAtomically(path, bytes);
}

void Kill(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || (!info.exists() && !info.isSymLink()))
        throw RuntimeError(RuntimeError::FileNotFound, QStringLiteral("File not found: \"%1\"").arg(path));
    if (info.isDir())
        throw RuntimeError(RuntimeError::PathFileAccess,
                           QStringLiteral("Path/File access error: \"%1\" is a folder").arg(path));
    QFile file(path);
    if (!file.remove())
        throw RuntimeError(RuntimeError::PermissionDenied,
                           QStringLiteral("Permission denied: cannot delete \"%1\" (%2)").arg(path, file.errorString()));
}

void DoEvents()
{
    QCoreApplication::processEvents();
}

} // namespace glimmer
