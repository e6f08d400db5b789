#pragma once

#include <string>

namespace glimmer {

// The boundary to the narrow-string interfaces (LoadImageA, the JPEG
// library's texts). Our text is UTF-8; the narrow calls take the system's
// code page. On Linux that is UTF-8 too. On Windows the programs ask for
// UTF-8 as their code page; where the system cannot give it, a name the
// code page cannot hold raises RuntimeError (BadFileName) instead of
// reaching the call with its letters replaced.
std::string toAnsi(const std::string& utf8);
std::string fromAnsi(const char* s);

} // namespace glimmer
