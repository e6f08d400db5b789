#pragma once

#include <string>

// UTF-8 paths as the wide ones Windows' calls take, for system/*_win32.cpp
// (never the narrow calls, which read names in the active code page).
namespace glimmer::win32 {

// The wide form of `utf8`; bytes that are not UTF-8 raise FormatError (Io,
// "cannot be read: the name is not UTF-8").
std::wstring widePath(const std::string& utf8);

// The system's text for a Windows error code (GetLastError()).
std::string errorMessage(unsigned long error);

} // namespace glimmer::win32
