#pragma once

#include <QString>

#include <string>

namespace glimmer {

// The boundary to the narrow-string interfaces (file loading, the JPEG
// library's texts). Our system's narrow encoding is the locale's, UTF-8,
// so every path survives the round trip.
std::string toAnsi(const QString& s);
QString fromAnsi(const char* s);

} // namespace glimmer
