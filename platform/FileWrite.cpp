#include "FileWrite.h"

#include "RuntimeError.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace glimmer {

namespace {

[[noreturn]] void fail(const QString& path, const QString& reason)
{
    const QFileInfo info(path);
    int number = RuntimeError::PathFileAccess;
    QString why = reason;
    if (info.isDir()) {
        why = QStringLiteral("it is a folder");
    } else if (!info.dir().exists()) {
        number = RuntimeError::PathNotFound;
        why = QStringLiteral("the folder does not exist");
    } else if (!QFileInfo(info.absolutePath()).isWritable()) {
        number = RuntimeError::PermissionDenied;
        why = QStringLiteral("the folder is not writable");
    }
    throw RuntimeError(number, QStringLiteral("Cannot write \"%1\": %2").arg(QDir::toNativeSeparators(path), why));
}

} // namespace

void writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    if (path.isEmpty())
        throw RuntimeError(RuntimeError::BadFileName, QStringLiteral("Cannot write a file without a name"));
    if (QFileInfo(path).isDir())
        fail(path, {});
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail(path, file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        fail(path, reason);
    }
    if (!file.commit())
        fail(path, file.errorString());
}

} // namespace glimmer
