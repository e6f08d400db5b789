#include "platform/Ansi.h"
#include "platform/RuntimeError.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

using namespace glimmer;

namespace {

// Whether the narrow calls take UTF-8: always here, on Windows where the
// program's manifest asked for it and the system could give it.
bool narrowIsUtf8()
{
#ifdef _WIN32
    return GetACP() == CP_UTF8;
#else
    return true;
#endif
}

} // namespace

// What the code page can hold survives the way to the narrow calls and back;
// what it cannot is refused, never passed on with its letters replaced.
TEST(Ansi, NamesSurviveTheNarrowCallsOrAreRefused)
{
    const char* latin = "Geh\xC3\xA4use ~TempBmpJpgImage.bmp";     // in every Western code page
    const char* beyond = "\xE9\x83\xA8\xE5\x93\x81 part.bmp";        // in no single-byte one
    EXPECT_EQ(fromAnsi(toAnsi(latin).c_str()), latin);
    EXPECT_EQ(fromAnsi(nullptr), "");
    if (narrowIsUtf8()) {
        EXPECT_EQ(toAnsi(beyond), beyond);
        return;
    }
    try {
        (void)toAnsi(beyond);
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), RuntimeError::BadFileName);
        EXPECT_NE(e.text().find("code page"), std::string::npos) << e.text();
    }
}
