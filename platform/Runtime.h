#pragma once
#include <QImage>
#include <QString>
#include <QFile>
#include <QBuffer>
#include <QCoreApplication>
#include "platform/FileWrite.h"
#include "platform/RuntimeError.h"
namespace glimmer {
inline void SavePicture(const QImage& image, const QString& path) { QByteArray b; QBuffer buf(&b); buf.open(QIODevice::WriteOnly); image.convertToFormat(QImage::Format_RGB888).save(&buf, "BMP"); writeFileAtomically(path, b); }
inline void Kill(const QString& path) { if (!QFile::remove(path)) throw RuntimeError(53, "File not found"); }
inline void DoEvents() { QCoreApplication::processEvents(); }
}
