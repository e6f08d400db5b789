#pragma once

#include <QByteArray>
#include <QString>

namespace glimmer {

// Writes `bytes` as the whole content of `path`: into a temporary file beside
// it, renamed over the target at the end, so that a failure leaves any earlier
// file of that name untouched and never half a file. Raises RuntimeError
// naming the path and the reason.
void writeFileAtomically(const QString& path, const QByteArray& bytes);

} // namespace glimmer
