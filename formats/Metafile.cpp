#include "Metafile.h"

namespace glimmer::wmf {

// Stand-ins until the metafile reader and writer land.
QByteArray fromImage(const QImage&)
{
    return {};
}

QByteArray toPlaceable(std::span<const std::byte> metafile, QSize)
{
    return QByteArray(reinterpret_cast<const char*>(metafile.data()), static_cast<qsizetype>(metafile.size()));
}

QSize naturalSize(std::span<const std::byte>)
{
    throw FormatError(FormatError::Code::Unsupported, "metafiles cannot be read yet");
}

} // namespace glimmer::wmf
