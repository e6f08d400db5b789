#pragma once

#include "platform/qt/QtImage.h"
#include "tests/support/Pixels.h"

#include <QImage>

#include <cstdint>
#include <string>

// The pixel checks of Pixels.h for pictures that Qt's own readers read back
// from files, for the tests of the window.
namespace glimmer::test {

// The colours the window's tests paint their scripted previews in.
inline constexpr std::uint32_t Red = rgb(255, 0, 0);
inline constexpr std::uint32_t Green = rgb(0, 255, 0);
inline constexpr std::uint32_t Blue = rgb(0, 0, 255);

inline std::string pixelSha256(const QImage& image)
{
    return pixelSha256(fromQImage(image));
}

// 0 for images of different sizes.
inline double psnr(const QImage& a, const QImage& b)
{
    return a.size() == b.size() ? psnr(fromQImage(a), fromQImage(b)) : 0.0;
}

} // namespace glimmer::test
