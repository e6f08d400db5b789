#include "platform/win32/Win32Gdi.h"

#include "formats/BitmapFile.h"
#include "platform/Ansi.h"
#include "platform/Paths.h"

#include <windows.h>

// <windows.h> makes these names macros; ours are the constants of Gdi.h
// (of the same values), which the macros would otherwise replace.
#undef BI_RGB
#undef BI_RLE8
#undef BI_RLE4
#undef BI_BITFIELDS
#undef DIB_RGB_COLORS
#undef IMAGE_BITMAP
#undef LR_LOADFROMFILE
#undef LR_CREATEDIBSECTION
#undef SRCCOPY
#undef SRCPAINT
#undef SRCAND
#undef SRCINVERT
#undef SRCERASE
#undef NOTSRCCOPY
#undef NOTSRCERASE
#undef MERGEPAINT
#undef DSTINVERT
#undef BLACKNESS
#undef WHITENESS

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace glimmer::gdi {

namespace {

// The system's headers, with room for the three masks or a colour table
// that GetDIBits may write after the header.
struct SystemInfo {
    ::BITMAPINFOHEADER bmiHeader;
    ::RGBQUAD bmiColors[256];
};

void clipStart(std::int64_t& start, std::int64_t& partner, std::int64_t& extent)
{
    if (start < 0) {
        partner -= start;
        extent += start;
        start = 0;
    }
}

// Our header as the system's: the same fields, of the system's types.
SystemInfo systemInfoOf(const BITMAPINFOHEADER& h)
{
    SystemInfo s{};
    s.bmiHeader.biSize = sizeof(::BITMAPINFOHEADER);
    s.bmiHeader.biWidth = h.biWidth;
    s.bmiHeader.biHeight = h.biHeight;
    s.bmiHeader.biPlanes = static_cast<WORD>(h.biPlanes);
    s.bmiHeader.biBitCount = static_cast<WORD>(h.biBitCount);
    s.bmiHeader.biCompression = static_cast<DWORD>(h.biCompression);
    s.bmiHeader.biSizeImage = static_cast<DWORD>(h.biSizeImage);
    s.bmiHeader.biXPelsPerMeter = h.biXPelsPerMeter;
    s.bmiHeader.biYPelsPerMeter = h.biYPelsPerMeter;
    return s;
}

// The system's text for an error code, in UTF-8, without its final full
// stop and line break.
std::string systemText(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string utf8;
    if (length > 0) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
        utf8.resize(static_cast<std::size_t>(std::max(bytes, 0)));
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), bytes, nullptr, nullptr);
    }
    LocalFree(text);
    while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == ' ' || utf8.back() == '.'))
        utf8.pop_back();
    return utf8.empty() ? "error " + std::to_string(code) : utf8;
}

// A section at the file's own depth holding its rows bottom-up, made here
// for the files whose rows the system's reader is seen to lose: top-down
// rows (Wine loads them all black) and OS/2 headers (Wine misreads their
// colour tables). The file is checked whole before.
::HBITMAP sectionOf(const bmp::FileInfo& info)
{
    SystemInfo s{};
    s.bmiHeader.biSize = sizeof(::BITMAPINFOHEADER);
    s.bmiHeader.biWidth = info.width;
    s.bmiHeader.biHeight = info.height;
    s.bmiHeader.biPlanes = 1;
    s.bmiHeader.biBitCount = static_cast<WORD>(info.bitCount);
    if (info.compression == bmp::Bitfields) {
        s.bmiHeader.biCompression = BI_BITFIELDS;
        std::memcpy(s.bmiColors, info.masks.data(), sizeof info.masks);
    } else {
        s.bmiHeader.biCompression = BI_RGB;
        const std::size_t colours = std::min<std::size_t>(info.colours.size(), 256);
        s.bmiHeader.biClrUsed = static_cast<DWORD>(colours);
        for (std::size_t i = 0; i < colours; ++i) {
            const std::uint32_t c = info.colours[i];
            s.bmiColors[i] = {static_cast<BYTE>(blueOf(c)), static_cast<BYTE>(greenOf(c)), static_cast<BYTE>(redOf(c)), 0};
        }
    }
    void* memory = nullptr;
    const ::HBITMAP made = ::CreateDIBSection(nullptr, reinterpret_cast<::BITMAPINFO*>(&s), DIB_RGB_COLORS, &memory,
                                              nullptr, 0);
    if (!made || !memory) {
        if (made)
            ::DeleteObject(made);
        return nullptr;
    }
    const auto stride = static_cast<std::size_t>(info.stride());
    const auto rows = static_cast<std::size_t>(info.height);
    for (std::size_t r = 0; r < rows; ++r)
        std::memcpy(static_cast<std::byte*>(memory) + (info.topDown ? rows - 1 - r : r) * stride,
                    info.pixels.data() + r * stride, stride);
    return made;
}

::HDC dcOf(void* handle)
{
    return static_cast<::HDC>(handle);
}

::HBITMAP bitmapOf(void* handle)
{
    return static_cast<::HBITMAP>(handle);
}

} // namespace

Win32Gdi::Win32Gdi() = default;

Win32Gdi::~Win32Gdi()
{
    // Contexts first: a bitmap selected into one cannot be deleted.
    for (auto& [id, o] : objects_)
        if (o.kind == Kind::Dc) {
            ::SelectObject(dcOf(o.handle), o.stock);
            ::DeleteDC(dcOf(o.handle));
        }
    for (auto& [id, o] : objects_)
        if (o.kind == Kind::Bitmap)
            ::DeleteObject(o.handle);
}

template <typename H>
H Win32Gdi::fail(std::string why)
{
    lastError_ = std::move(why);
    return H{};
}

template <typename H>
H Win32Gdi::failSystem(const char* call)
{
    // Many GDI calls fail without setting a code; the callers clear it first.
    const DWORD code = GetLastError();
    return fail<H>(std::string(call) + ": " + (code ? systemText(code) : "the system gave no reason"));
}

Win32Gdi::Object* Win32Gdi::find(std::uint32_t id, Kind kind)
{
    const auto it = objects_.find(id);
    return it == objects_.end() || it->second.kind != kind ? nullptr : &it->second;
}

Win32Gdi::Object* Win32Gdi::bitmapIn(HDC hdc)
{
    const Object* d = find(hdc.id(), Kind::Dc);
    return d ? find(d->selected, Kind::Bitmap) : nullptr;
}

std::uint32_t Win32Gdi::add(Object object)
{
    if (lastId_ == std::numeric_limits<std::uint32_t>::max()) {
        if (object.kind == Kind::Dc)
            ::DeleteDC(dcOf(object.handle));
        else
            ::DeleteObject(object.handle);
        throw std::bad_alloc();
    }
    objects_.emplace(++lastId_, object);
    return lastId_;
}

void* Win32Gdi::systemHandle(HGDIOBJ object) const noexcept
{
    const auto it = objects_.find(object.id());
    return it == objects_.end() ? nullptr : it->second.handle;
}

HDC Win32Gdi::CreateCompatibleDC(HDC hdc)
{
    const Object* like = find(hdc.id(), Kind::Dc);
    if (hdc && !like)
        return fail<HDC>("CreateCompatibleDC: unknown device context");
    SetLastError(0);
    const ::HDC made = ::CreateCompatibleDC(like ? dcOf(like->handle) : nullptr);
    if (!made)
        return failSystem<HDC>("CreateCompatibleDC");
    Object o{Kind::Dc, made};
    o.stock = ::GetCurrentObject(made, OBJ_BITMAP);
    return HDC(add(o));
}

HBITMAP Win32Gdi::CreateDIBSection(HDC hdc, const BITMAPINFO& bmi, std::uint32_t usage, std::byte*& bits)
{
    bits = nullptr;
    const BITMAPINFOHEADER& h = bmi.bmiHeader;
    const Object* d = find(hdc.id(), Kind::Dc);
    if (usage != DIB_RGB_COLORS)
        return fail<HBITMAP>("CreateDIBSection: only DIB_RGB_COLORS");
    if (hdc && !d)
        return fail<HBITMAP>("CreateDIBSection: unknown device context");
    std::int64_t bytes = 0;
    if (const std::string why = refusal::ofSection(h, bytes); !why.empty())
        return fail<HBITMAP>(why);

    SystemInfo info = systemInfoOf(h);
    info.bmiHeader.biSizeImage = static_cast<DWORD>(bytes);
    void* memory = nullptr;
    SetLastError(0);
    // The section's memory is a mapping the system hands out zeroed.
    const ::HBITMAP made = ::CreateDIBSection(d ? dcOf(d->handle) : nullptr, reinterpret_cast<::BITMAPINFO*>(&info),
                                              DIB_RGB_COLORS, &memory, nullptr, 0);
    if (!made || !memory) {
        if (made)
            ::DeleteObject(made);
        return failSystem<HBITMAP>("CreateDIBSection");
    }
    Object o{Kind::Bitmap, made};
    o.width = h.biWidth;
    o.height = rowsOf(h.biHeight);
    const HBITMAP id(add(o));
    bits = static_cast<std::byte*>(memory);
    return id;
}

HBITMAP Win32Gdi::SelectObject(HDC hdc, HBITMAP bitmap)
{
    Object* d = find(hdc.id(), Kind::Dc);
    if (!d)
        return fail<HBITMAP>("SelectObject: unknown device context");
    Object* b = nullptr;
    void* handle = d->stock;
    if (bitmap != stockBitmap()) {
        b = find(bitmap.id(), Kind::Bitmap);
        if (!b)
            return fail<HBITMAP>("SelectObject: unknown bitmap");
        if (b->selectedInto && b->selectedInto != hdc.id())
            return fail<HBITMAP>("SelectObject: the bitmap is selected into another context");
        handle = b->handle;
    }
    SetLastError(0);
    if (!::SelectObject(dcOf(d->handle), handle))
        return failSystem<HBITMAP>("SelectObject");
    const HBITMAP previous(d->selected);
    if (Object* p = find(previous.id(), Kind::Bitmap))
        p->selectedInto = 0;
    d->selected = bitmap.id();
    if (b)
        b->selectedInto = hdc.id();
    return previous;
}

bool Win32Gdi::DeleteObject(HGDIOBJ object)
{
    const auto it = objects_.find(object.id());
    if (it == objects_.end())
        return fail<bool>("DeleteObject: unknown or stale handle");
    const Object& o = it->second;
    const char* const call = o.kind == Kind::Dc ? "DeleteDC" : "DeleteObject";
    SetLastError(0);
    bool released = false;
    if (o.kind == Kind::Dc) {
        if (Object* b = find(o.selected, Kind::Bitmap)) {
            ::SelectObject(dcOf(o.handle), o.stock);
            b->selectedInto = 0;
        }
        released = ::DeleteDC(dcOf(o.handle));
    } else {
        if (o.selectedInto)
            return fail<bool>("DeleteObject: the bitmap is still selected into a context");
        released = ::DeleteObject(o.handle);
    }
    // Gone from the table either way: a handle the system would not release
    // is of no further use.
    objects_.erase(it);
    return released || failSystem<bool>(call);
}

int Win32Gdi::GetDIBits(HDC hdc, HBITMAP bitmap, std::int32_t start, std::int32_t lines, std::span<std::byte> bits,
                        BITMAPINFO& bmi, std::uint32_t usage)
{
    const Object* d = find(hdc.id(), Kind::Dc);
    if (!d)
        return fail<int>("GetDIBits: unknown device context");
    const Object* b = find(bitmap.id(), Kind::Bitmap);
    if (!b)
        return fail<int>("GetDIBits: unknown bitmap");
    BITMAPINFOHEADER& target = bmi.bmiHeader;
    if (usage != DIB_RGB_COLORS || target.biSize < 40)
        return fail<int>("GetDIBits: unsupported header or colour use");

    if (bits.empty() && target.biBitCount == 0) {
        SystemInfo query{};
        query.bmiHeader.biSize = sizeof(::BITMAPINFOHEADER);
        SetLastError(0);
        if (!::GetDIBits(dcOf(d->handle), bitmapOf(b->handle), 0, 0, nullptr,
                         reinterpret_cast<::BITMAPINFO*>(&query), DIB_RGB_COLORS))
            return failSystem<int>("GetDIBits");
        const ::BITMAPINFOHEADER& own = query.bmiHeader;
        target.biWidth = own.biWidth;
        target.biHeight = own.biHeight;
        target.biPlanes = static_cast<std::int16_t>(own.biPlanes);
        target.biBitCount = static_cast<std::int16_t>(own.biBitCount);
        target.biCompression = static_cast<std::int32_t>(own.biCompression);
        target.biSizeImage = static_cast<std::int32_t>(own.biSizeImage);
        target.biXPelsPerMeter = own.biXPelsPerMeter;
        target.biYPelsPerMeter = own.biYPelsPerMeter;
        target.biClrUsed = static_cast<std::int32_t>(own.biClrUsed);
        target.biClrImportant = static_cast<std::int32_t>(own.biClrImportant);
        return 1;
    }

    if (!pixelFormatSupported(target) || target.biWidth != b->width || rowsOf(target.biHeight) != b->height)
        return fail<int>("GetDIBits: the target format must be 24 or 32 bits at the bitmap's size");
    const std::int64_t stride = bmp::strideOf(target.biWidth, target.biBitCount);
    // The system's header only: what it writes back stays out of the caller's.
    SystemInfo info = systemInfoOf(target);
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = 0;
    if (bits.empty()) {
        SetLastError(0);
        if (!::GetDIBits(dcOf(d->handle), bitmapOf(b->handle), 0, 0, nullptr, reinterpret_cast<::BITMAPINFO*>(&info),
                         DIB_RGB_COLORS))
            return failSystem<int>("GetDIBits");
        target.biSizeImage = static_cast<std::int32_t>(info.bmiHeader.biSizeImage);
        return 1;
    }
    if (start < 0 || lines < 0 || start >= b->height)
        return fail<int>("GetDIBits: scan lines " + std::to_string(start) + " + " + std::to_string(lines) + " out of range");
    const std::int64_t count = std::min<std::int64_t>(lines, b->height - start);
    if (count * stride > static_cast<std::int64_t>(bits.size()))
        return fail<int>("GetDIBits: the buffer holds fewer than " + std::to_string(count) + " scan lines");

    // GDI counts scan lines from the bottom of the picture whatever the
    // target's row order; ours count in the target's order.
    const std::int64_t first = target.biHeight < 0 ? b->height - start - count : start;
    SetLastError(0);
    const int copied = ::GetDIBits(dcOf(d->handle), bitmapOf(b->handle), static_cast<UINT>(first),
                                   static_cast<UINT>(count), bits.data(), reinterpret_cast<::BITMAPINFO*>(&info),
                                   DIB_RGB_COLORS);
    if (copied <= 0)
        return failSystem<int>("GetDIBits");
    return copied;
}

HBITMAP Win32Gdi::LoadImageA(HINSTANCE instance, const char* name, std::uint32_t type, int cx, int cy,
                             std::uint32_t flags)
{
    // The system's reader sees only files that ours accepts, so that a
    // damaged or hostile file fails as it does everywhere else, and a
    // device or a pipe is never read.
    std::string path;
    std::vector<std::byte> bytes;
    if (const std::string why = refusal::ofLoad(instance, name, type, cx, cy, flags, path, bytes); !why.empty())
        return fail<HBITMAP>(why);
    bmp::FileInfo info;
    try {
        // Uncompressed 24- and 32-bit rows are checked to lie inside the
        // file; any other kind is decoded whole to be checked.
        info = bmp::readInfo(bytes);
        if (info.compression != bmp::Rgb || (info.bitCount != 24 && info.bitCount != 32))
            bmp::decode(bytes);
    } catch (const FormatError& e) {
        return fail<HBITMAP>("LoadImageA: \"" + path + "\": " + e.what());
    }

    SetLastError(0);
    const bool ownRows = info.topDown || info.headerSize == 12;
    const HANDLE loaded = ownRows ? sectionOf(info)
                                  : ::LoadImageA(nullptr, name, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION);
    if (!loaded)
        return failSystem<HBITMAP>(ownRows ? "CreateDIBSection" : "LoadImageA");
    DIBSECTION section{};
    if (!::GetObjectA(loaded, sizeof section, &section)) {
        ::DeleteObject(loaded);
        return failSystem<HBITMAP>("GetObjectA");
    }
    Object o{Kind::Bitmap, loaded};
    o.width = section.dsBm.bmWidth;
    o.height = section.dsBm.bmHeight;
    return HBITMAP(add(o));
}

bool Win32Gdi::BitBlt(HDC target, int x, int y, int cx, int cy, HDC source, int x1, int y1, std::uint32_t rop)
{
    bool usesSource = false;
    if (const std::string why = refusal::ofRop(rop, usesSource); !why.empty())
        return fail<bool>(why);

    const Object* dst = bitmapIn(target);
    if (!dst)
        return fail<bool>("BitBlt: the target context holds no DIB section");
    const Object* src = usesSource ? bitmapIn(source) : nullptr;
    if (usesSource && !src)
        return fail<bool>("BitBlt: the source context holds no DIB section");

    // Clipped here, as MemoryGdi clips: the system sees only rectangles
    // inside both bitmaps, never coordinates beyond its own range.
    std::int64_t left = x, top = y, width = cx, height = cy, sx = x1, sy = y1;
    clipStart(left, sx, width);
    clipStart(top, sy, height);
    if (src) {
        clipStart(sx, left, width);
        clipStart(sy, top, height);
        width = std::min(width, src->width - sx);
        height = std::min(height, src->height - sy);
    }
    width = std::min(width, dst->width - left);
    height = std::min(height, dst->height - top);
    if (width <= 0 || height <= 0)
        return true;

    SetLastError(0);
    const bool done = ::BitBlt(dcOf(find(target.id(), Kind::Dc)->handle), static_cast<int>(left),
                               static_cast<int>(top), static_cast<int>(width), static_cast<int>(height),
                               src ? dcOf(find(source.id(), Kind::Dc)->handle) : nullptr,
                               src ? static_cast<int>(sx) : 0, src ? static_cast<int>(sy) : 0, rop);
    if (!done)
        return failSystem<bool>("BitBlt");
    // The caller reads the section's memory next: nothing may wait in GDI's batch.
    GdiFlush();
    return true;
}

} // namespace glimmer::gdi
