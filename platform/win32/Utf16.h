#pragma once

#include <string>
#include <string_view>

// Our UTF-8 text as the wide text Windows' own calls take, and back, for
// the stand-ins' *_win32 sources.
namespace glimmer::win32 {

// Bytes that are not UTF-8 become U+FFFD.
std::wstring toUtf16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string fromUtf16(std::wstring_view wide);

} // namespace glimmer::win32
