#pragma once

#include "formats/Image.h"

#include <cstdint>
#include <span>
#include <vector>

// Aliased drawing in whole device pixels into an Image, never outside a clip
// box, after the drawing rules of the Windows GDI. A point names a pixel:
// lines run through pixel centres, while shapes have their corners on pixel
// corners and take the pixels whose centres they hold. Work is bounded by
// the clipped box of what is drawn, however far outside it a shape reaches.
namespace glimmer::raster {

// Device coordinates are taken within ±maxCoordinate; callers clamp to it.
inline constexpr int maxCoordinate = 1 << 26;

// Hatch patterns of 8 × 8 pixels, their lines through the canvas's origin.
enum class Hatch { Horizontal, Vertical, ForwardDiagonal, BackwardDiagonal, Cross, DiagonalCross };

struct Brush {
    enum class Style { Null, Solid, Hatched };
    Style style = Style::Solid;
    std::uint32_t colour = White;   // 0xAARRGGBB; drawn opaque
    Hatch hatch = Hatch::Horizontal;
};

struct Pen {
    // The broken styles apply to one-pixel pens (dash 18 on 6 off, dot 3 on
    // 3 off, and their mixes); wider pens draw them solid.
    enum class Style { Solid, Dash, Dot, DashDot, DashDotDot };
    Style style = Style::Solid;
    int width = 1;   // device pixels; 1 or less is the one-pixel pen
    std::uint32_t colour = Black;
};

// Which pixels of overlapping rings are inside: an odd number of crossings
// (ALTERNATE), or a winding number other than zero (WINDING).
enum class FillRule { Alternate, Winding };

// How a bitmap pixel s meets the canvas pixel d: s, s | d, s & d, s ^ d, ~s.
enum class BitOp { Copy, Or, And, Xor, NotCopy };

class Raster {
public:
    // Draws into `canvas`, only inside `clip`.
    Raster(Image& canvas, const Rect& clip);

    const Rect& clip() const noexcept { return clip_; }
    // The background that the gaps of hatches and broken pens take when
    // `opaque`; otherwise they are left as they are.
    void setBackground(bool opaque, std::uint32_t colour) noexcept;

    void fill(const Rect& box, const Brush& brush);
    // All rings as one shape: pixels whose centres lie inside, or on a left
    // or top edge.
    void fillPolygon(std::span<const std::vector<Point>> rings, FillRule rule, const Brush& brush);
    // The ellipse inscribed in `box`: pixels whose centres lie inside or on it.
    void fillEllipse(const Rect& box, const Brush& brush);
    // A one-pixel pen takes the pixels of fillEllipse that have a neighbour
    // outside it; a wider one a band of its width centred on them.
    void strokeEllipse(const Rect& box, const Pen& pen);
    // The lines from point to point (and back to the first when `closed`).
    // A one-pixel pen steps from pixel to pixel and leaves out an open
    // path's last point; a wider one is a band of its width centred on the
    // lines, with round ends and joins.
    void stroke(std::span<const Point> points, bool closed, const Pen& pen);
    // `from` (of `source`, top row first) onto `to`, mirrored as asked: each
    // device pixel takes the source pixel nearest its centre, so a bitmap of
    // the same size is copied exactly. Parts of `from` outside the source
    // draw nothing.
    void blit(const Image& source, const Rect& from, const Rect& to, bool mirrorX, bool mirrorY, BitOp op);

private:
    // Paints columns [x0, x1) of row y, both already inside the clip.
    void brushSpan(int y, int x0, int x1, const Brush& brush);
    void colourSpan(int y, int x0, int x1, std::uint32_t word);
    void line(Point from, Point to, const Pen& pen, std::int64_t& phase);
    void wideStroke(std::span<const Point> points, bool closed, int width, std::uint32_t colour);

    Image& canvas_;
    Rect clip_;
    bool opaque_ = true;
    std::uint32_t background_ = White;
    std::uint32_t alpha_ = 0;   // the canvas's word for an opaque black
};

} // namespace glimmer::raster
