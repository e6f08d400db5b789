#pragma once

#include "platform/Gdi.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <type_traits>

#ifdef _WIN32
#include "platform/win32/Win32Gdi.h"
#endif

// The graphics layers that the contract tests run over: MemoryGdi
// everywhere, and on Windows the system's GDI too.
namespace glimmer::test {

#ifdef _WIN32
using GraphicsLayers = ::testing::Types<gdi::MemoryGdi, gdi::Win32Gdi>;
#else
using GraphicsLayers = ::testing::Types<gdi::MemoryGdi>;
#endif

// Names the layers in the tests' names: "MemoryGdi", "Win32Gdi".
struct GraphicsLayerNames {
    template <typename T>
    static std::string GetName(int)
    {
        if constexpr (std::is_same_v<T, gdi::MemoryGdi>)
            return "MemoryGdi";
        else
            return "Win32Gdi";
    }
};

// Where the system's GDI legitimately answers otherwise than MemoryGdi;
// in everything else the contract tests hold both to the same answers.
template <typename G>
struct GdiQuirks {
    // The header query of a section made top-down reports its height as
    // made (negative); GDI reports every height positive.
    static constexpr bool queryKeepsTopDownHeight = true;
    // The header query of a 32-bit BI_RGB section reports BI_RGB; GDI
    // reports BI_BITFIELDS (its masks being the BI_RGB ones).
    static constexpr std::int32_t queriedCompressionOf32Bits = gdi::BI_RGB;
    // The fourth byte of a 32-bit pixel after a raster operation from a
    // 32-bit source gave `result` in the colour bytes: MemoryGdi leaves it
    // as it was (`before`) but for SRCCOPY, a plain copy of the pixels; GDI
    // works on the whole pixel.
    static constexpr std::uint8_t fourthByteAfter(std::uint32_t rop, std::uint8_t result, std::uint8_t before)
    {
        return rop == gdi::SRCCOPY ? result : before;
    }
};

#ifdef _WIN32
template <>
struct GdiQuirks<gdi::Win32Gdi> {
    static constexpr bool queryKeepsTopDownHeight = false;
    static constexpr std::int32_t queriedCompressionOf32Bits = gdi::BI_BITFIELDS;
    static constexpr std::uint8_t fourthByteAfter(std::uint32_t, std::uint8_t result, std::uint8_t) { return result; }
};
#endif

} // namespace glimmer::test
