// What only the layer over the system's GDI has: the system's objects
// behind our handles, and their release.
#include "platform/win32/Win32Gdi.h"
#include "platform/Ansi.h"
#include "tests/support/BitmapFiles.h"
#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <windows.h>
// The names of Gdi.h, not the macros of <windows.h>.
#undef DIB_RGB_COLORS
#undef IMAGE_BITMAP
#undef LR_LOADFROMFILE
#undef LR_CREATEDIBSECTION

#include <vector>

using namespace glimmer;

namespace {

gdi::BITMAPINFO header24(std::int32_t width, std::int32_t height)
{
    gdi::BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = 40;
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = height;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 24;
    return bmi;
}

// Whether `handle` is still an object of the system's GDI.
bool systemObject(void* handle)
{
    return GetObjectType(static_cast<HGDIOBJ>(handle)) != 0;
}

} // namespace

TEST(Win32Gdi, DeleteObjectAndDestructionReleaseTheSystemsObjects)
{
    test::TempDir dir;
    const std::string file = dir.file("small.bmp");
    test::writeFile(file, test::makeBitmapFile(test::cornerPicture(3, 2), {8}));
    std::vector<void*> handles;
    {
        gdi::Win32Gdi gdi;
        const gdi::HDC dc = gdi.CreateCompatibleDC({});
        const gdi::HDC empty = gdi.CreateCompatibleDC(dc);
        std::byte* bits = nullptr;
        const gdi::HBITMAP selected = gdi.CreateDIBSection(dc, header24(4, 4), gdi::DIB_RGB_COLORS, bits);
        const gdi::HBITMAP loaded = gdi.LoadImageA({}, toAnsi(file).c_str(), gdi::IMAGE_BITMAP, 0, 0,
                                                   gdi::LR_LOADFROMFILE | gdi::LR_CREATEDIBSECTION);
        const gdi::HBITMAP deleted = gdi.CreateDIBSection({}, header24(2, 2), gdi::DIB_RGB_COLORS, bits);
        ASSERT_TRUE(loaded) << gdi.lastError();
        ASSERT_TRUE(gdi.SelectObject(dc, selected));
        for (const gdi::HGDIOBJ o : {gdi::HGDIOBJ(dc), gdi::HGDIOBJ(empty), gdi::HGDIOBJ(selected), gdi::HGDIOBJ(loaded)}) {
            handles.push_back(gdi.systemHandle(o));
            EXPECT_TRUE(systemObject(handles.back()));
        }
        void* const deletedHandle = gdi.systemHandle(deleted);
        EXPECT_TRUE(systemObject(deletedHandle));
        EXPECT_TRUE(gdi.DeleteObject(deleted));
        EXPECT_FALSE(systemObject(deletedHandle));
        EXPECT_EQ(gdi.systemHandle(deleted), nullptr);
        EXPECT_EQ(gdi.systemHandle(gdi::Win32Gdi::stockBitmap()), nullptr);
        EXPECT_EQ(gdi.liveObjects(), 4u);
    }
    // The context goes first, so that the section selected into it can go too.
    for (void* h : handles)
        EXPECT_FALSE(systemObject(h));
}
