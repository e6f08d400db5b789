#include "platform/Ansi.h"

#include "platform/RuntimeError.h"

#include <windows.h>

namespace glimmer {

// Through the wide form: UTF-8 to UTF-16 to the active code page, which is
// UTF-8 itself where the program's manifest could ask for it.
std::string toAnsi(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                               static_cast<int>(utf8.size()), nullptr, 0);
    if (wideLength <= 0)
        throw RuntimeError(RuntimeError::BadFileName, "Bad file name: \"" + utf8 + "\" is not UTF-8");
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), wideLength);

    const UINT codePage = GetACP();
    // A code page other than UTF-8 replaces what it cannot hold by a
    // look-alike or '?': that would name another file, or none.
    BOOL replaced = FALSE;
    BOOL* const replacedFlag = codePage == CP_UTF8 ? nullptr : &replaced;
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int length = WideCharToMultiByte(codePage, flags, wide.data(), wideLength, nullptr, 0, nullptr, replacedFlag);
    if (length <= 0 || replaced)
        throw RuntimeError(RuntimeError::BadFileName,
                           "Bad file name: \"" + utf8 + "\" cannot be written in the system's code page");
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), wideLength, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

std::string fromAnsi(const char* s)
{
    if (!s || !*s)
        return {};
    const UINT codePage = GetACP();
    const int wideLength = MultiByteToWideChar(codePage, 0, s, -1, nullptr, 0);
    if (wideLength <= 1)
        return {};
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(codePage, 0, s, -1, wide.data(), wideLength);
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, utf8.data(), length, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(length - 1));
    return utf8;
}

} // namespace glimmer
