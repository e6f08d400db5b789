#pragma once

#include "platform/Gdi.h"

#include <set>

namespace glimmer::test {

// A graphics layer over one of its own (`Inner`: MemoryGdi, or the system's
// GDI) whose operations can be made to fail, or to make tiny sections
// whatever size they are asked for.
template <typename Inner>
class BasicScriptedGdi : public gdi::Gdi {
public:
    enum class Op { CreateCompatibleDC, CreateDIBSection, SelectObject, ConvertDIBits, LoadImageA };

    std::set<Op> failing;
    // LoadImageA fails this many times before it works (unless it is failing).
    int loadFailures = 0;
    int loadCalls = 0;
    // CreateDIBSection makes a 1 x 1 section, so that huge sizes can be "made".
    bool hollowSections = false;
    Inner inner;

    gdi::HDC CreateCompatibleDC(gdi::HDC hdc) override
    {
        return failing.count(Op::CreateCompatibleDC) ? gdi::HDC{} : inner.CreateCompatibleDC(hdc);
    }
    gdi::HBITMAP CreateDIBSection(gdi::HDC hdc, const gdi::BITMAPINFO& bmi, std::uint32_t usage,
                                  std::byte*& bits) override
    {
        if (failing.count(Op::CreateDIBSection)) {
            bits = nullptr;
            return {};
        }
        if (!hollowSections)
            return inner.CreateDIBSection(hdc, bmi, usage, bits);
        gdi::BITMAPINFO tiny = bmi;
        tiny.bmiHeader.biWidth = 1;
        tiny.bmiHeader.biHeight = 1;
        return inner.CreateDIBSection(hdc, tiny, usage, bits);
    }
    gdi::HBITMAP SelectObject(gdi::HDC hdc, gdi::HBITMAP bitmap) override
    {
        return failing.count(Op::SelectObject) ? gdi::HBITMAP{} : inner.SelectObject(hdc, bitmap);
    }
    bool DeleteObject(gdi::HGDIOBJ object) override { return inner.DeleteObject(object); }
    int GetDIBits(gdi::HDC hdc, gdi::HBITMAP bitmap, std::int32_t start, std::int32_t lines,
                  std::span<std::byte> bits, gdi::BITMAPINFO& bmi, std::uint32_t usage) override
    {
        if (!bits.empty() && failing.count(Op::ConvertDIBits))
            return 0;
        return inner.GetDIBits(hdc, bitmap, start, lines, bits, bmi, usage);
    }
    gdi::HBITMAP LoadImageA(gdi::HINSTANCE instance, const char* name, std::uint32_t type, int cx, int cy,
                            std::uint32_t flags) override
    {
        ++loadCalls;
        if (failing.count(Op::LoadImageA) || loadCalls <= loadFailures)
            return {};
        return inner.LoadImageA(instance, name, type, cx, cy, flags);
    }
    bool BitBlt(gdi::HDC target, int x, int y, int cx, int cy, gdi::HDC source, int x1, int y1,
                std::uint32_t rop) override
    {
        return inner.BitBlt(target, x, y, cx, cy, source, x1, y1, rop);
    }
};

using ScriptedGdi = BasicScriptedGdi<gdi::MemoryGdi>;

} // namespace glimmer::test
