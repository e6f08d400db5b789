#include "platform/Ansi.h"

namespace glimmer {

// The locale's narrow encoding is UTF-8: nothing to convert.
std::string toAnsi(const std::string& utf8)
{
    return utf8;
}

std::string fromAnsi(const char* s)
{
    return s ? std::string(s) : std::string();
}

} // namespace glimmer
