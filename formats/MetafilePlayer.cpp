#include "formats/MetafilePlayer.h"

#include "formats/Dib.h"
#include "formats/MetafileReader.h"
#include "formats/Raster.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

namespace glimmer::wmf {

namespace {

using Code = FormatError::Code;
using raster::Brush;
using raster::FillRule;

// Ternary raster operations we know, by their index (the high word's low byte).
constexpr unsigned ropBlackness = 0x00;
constexpr unsigned ropNotSrcCopy = 0x33;
constexpr unsigned ropSrcInvert = 0x66;
constexpr unsigned ropSrcAnd = 0x88;
constexpr unsigned ropSrcCopy = 0xCC;
constexpr unsigned ropSrcPaint = 0xEE;
constexpr unsigned ropPatCopy = 0xF0;
constexpr unsigned ropWhiteness = 0xFF;

// A point, or a size, in logical units or in target pixels before rounding.
struct Vec {
    double x = 0;
    double y = 0;
};

// A box in logical units, normalized: left <= right, top <= bottom.
struct Box {
    double left = 0, top = 0, right = 0, bottom = 0;

    static Box spanning(Vec a, Vec b)
    {
        return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
    }
};

// A pen as its record gives it: its width is in logical units.
struct LogicalPen {
    bool null = false;
    raster::Pen::Style style = raster::Pen::Style::Solid;
    int width = 0;
    std::uint32_t colour = Black;
};

// The playback device context: what SAVEDC keeps and RESTOREDC brings back.
struct DcState {
    LogicalPen pen;
    Brush brush;
    std::uint32_t background = White;
    bool opaqueBackground = true;
    FillRule fillRule = FillRule::Alternate;
    Vec windowOrg;
    Vec windowExt;
    Vec viewportOrg;
    Vec viewportExt;
    Vec position;
};

// An entry of the object table; fonts, palettes, regions and pattern
// brushes hold a slot but draw nothing.
struct GdiObject {
    enum class Kind { Pen, Brush, Other } kind = Kind::Other;
    LogicalPen pen;
    Brush brush;
};

// Logical units to target pixels: a scale and an offset on each axis.
struct Mapping {
    double sx = 1, sy = 1, dx = 0, dy = 0;

    Vec map(Vec p) const { return {sx * p.x + dx, sy * p.y + dy}; }
    Box map(const Box& b) const { return Box::spanning(map(Vec{b.left, b.top}), map(Vec{b.right, b.bottom})); }
};

std::uint32_t colourRef(ByteReader& in)
{
    const unsigned r = in.u8();
    const unsigned g = in.u8();
    const unsigned b = in.u8();
    in.skip(1);   // palette flags: we have no palette, the RGB stands
    return rgb(r, g, b);
}

LogicalPen makePen(std::uint16_t style, int width, std::uint32_t colour)
{
    // End caps and joins (the high bits) are left to the rasterizer's round ones.
    using S = raster::Pen::Style;
    static constexpr S styles[] = {S::Solid, S::Dash, S::Dot, S::DashDot, S::DashDotDot};
    const unsigned kind = style & 0x0Fu;
    LogicalPen pen;
    pen.null = kind == 5;   // PS_NULL; PS_INSIDEFRAME and the rest draw solid
    pen.style = kind < std::size(styles) ? styles[kind] : S::Solid;
    pen.width = width < 0 ? -width : width;
    pen.colour = colour;
    return pen;
}

Brush makeBrush(std::uint16_t style, std::uint32_t colour, std::uint16_t hatch)
{
    switch (style) {
    case 1:   // BS_NULL
        return {Brush::Style::Null, colour, {}};
    case 2:   // BS_HATCHED: HS_HORIZONTAL (0) to HS_DIAGCROSS (5), in raster::Hatch's order
        if (hatch <= std::uint16_t(raster::Hatch::DiagonalCross))
            return {Brush::Style::Hatched, colour, raster::Hatch(hatch)};
        return {Brush::Style::Solid, colour, {}};
    default:   // solid, and the pattern kinds we cannot draw from this record
        return {Brush::Style::Solid, colour, {}};
    }
}

// A target coordinate as a whole device pixel, held to what the rasterizer takes.
int pixel(double v)
{
    constexpr double most = raster::maxCoordinate;
    if (!(v > -most))
        return -raster::maxCoordinate;
    if (!(v < most))
        return raster::maxCoordinate;
    return static_cast<int>(std::floor(v + 0.5));
}

// Plays the records once; without a rasterizer it only checks every record
// it would draw, so that a fault stops playback before anything is drawn.
class Player {
public:
    Player(raster::Raster* raster, const Metafile& metafile, const Rect& target)
        : raster_(raster), metafile_(metafile), target_(target), objects_(metafile.header.numberOfObjects)
    {
        // Every slot is free; the lowest one is taken first. Ascending is a heap.
        freeSlots_.resize(objects_.size());
        std::iota(freeSlots_.begin(), freeSlots_.end(), std::uint16_t{0});
        std::optional<Size> extent;
        try {
            extent = windowExtent(metafile);
        } catch (const FormatError&) {
            // An empty window extent: played in target pixels, as without one.
        }
        natural_ = extent ? Vec{double(extent->width), double(extent->height)}
                          : Vec{double(target.width), double(target.height)};
        const Rect& bounds = metafile.header.bounds;
        if (metafile.header.placeable && !bounds.isEmpty()) {
            state_.windowOrg = {double(bounds.x), double(bounds.y)};
            state_.windowExt = {double(bounds.width), double(bounds.height)};
        } else {
            state_.windowExt = natural_;
        }
        state_.viewportExt = natural_;
    }

    void run()
    {
        for (const Record& r : metafile_.records) {
            try {
                playRecord(r);
            } catch (const FormatError& e) {
                // Name the record: errors inside it count from its parameters.
                throw FormatError(e.code(), std::string(e.what()) + " (record " + function(r) + ")",
                                  r.offset + recordHeaderBytes + e.offset());
            }
        }
    }

private:
    static std::string function(const Record& r)
    {
        static constexpr char digits[] = "0123456789ABCDEF";
        std::string s = "0x0000";
        for (int i = 0; i < 4; ++i)
            s[5 - static_cast<std::size_t>(i)] = digits[(r.function >> (4 * i)) & 0xF];
        return s;
    }

    static Vec point(ByteReader& in)   // x then y
    {
        const double x = in.i16le();
        return {x, double(in.i16le())};
    }
    static Vec pointYX(ByteReader& in)
    {
        const double y = in.i16le();
        return {double(in.i16le()), y};
    }
    // Bottom, right, top, left: the order of RECTANGLE and ELLIPSE.
    static Box boxBRTL(ByteReader& in)
    {
        const double bottom = in.i16le();
        const double right = in.i16le();
        const double top = in.i16le();
        const double left = in.i16le();
        return Box::spanning({left, top}, {right, bottom});
    }
    static std::vector<Vec> points(ByteReader& in, int count)
    {
        if (count < 0)
            throw FormatError(Code::BadValue, "negative point count", in.offset());
        if (std::size_t(count) * 4 > in.remaining())
            throw FormatError(Code::Truncated, std::to_string(count) + " points do not fit in the record", in.offset());
        std::vector<Vec> poly;
        poly.reserve(std::size_t(count));
        for (int i = 0; i < count; ++i)
            poly.push_back(point(in));
        return poly;
    }
    // The closed outline of a box, corner by corner back to the first.
    static std::vector<Vec> outline(const Box& b)
    {
        return {{b.left, b.top}, {b.right, b.top}, {b.right, b.bottom}, {b.left, b.bottom}, {b.left, b.top}};
    }

    Mapping mapping() const
    {
        const DcState& s = state_;
        const double kx = target_.width / natural_.x;
        const double ky = target_.height / natural_.y;
        const double wx = s.viewportExt.x / s.windowExt.x;
        const double wy = s.viewportExt.y / s.windowExt.y;
        return {wx * kx, wy * ky, target_.x + (s.viewportOrg.x - s.windowOrg.x * wx) * kx,
                target_.y + (s.viewportOrg.y - s.windowOrg.y * wy) * ky};
    }

    void createObject(GdiObject object)
    {
        // The lowest free slot; with none free the platform fails the creation.
        if (freeSlots_.empty())
            return;
        std::pop_heap(freeSlots_.begin(), freeSlots_.end(), std::greater<>());
        objects_[freeSlots_.back()] = std::move(object);
        freeSlots_.pop_back();
    }

    // The work budget. Before anything is drawn, each shape, line, fill and
    // bitmap counts the target pixels it may touch (its box widened by the
    // pen, clipped to the target), each edge its length (at most twice round
    // the target) plus a fixed cost, and each bitmap its own pixels. The
    // check pass counts exactly as the drawing pass, so a metafile over the
    // budget is refused before anything is drawn.
    void spend(double pixels)
    {
        drawn_ += pixels;
        if (drawn_ > double(Limits::maxPixelsDrawn))
            throw FormatError(Code::TooLarge, "metafile draws more than " + std::to_string(Limits::maxPixelsDrawn)
                                                  + " pixels");
    }
    // The pen's width in target pixels; 0 for no pen.
    double penWidth() const
    {
        if (state_.pen.null)
            return 0;
        const Mapping m = mapping();
        return std::max(1.0, state_.pen.width * std::max(std::abs(m.sx), std::abs(m.sy)));
    }
    // Target pixels inside a box of logical units widened by `margin` target pixels.
    double covered(const Box& box, double margin) const
    {
        const Box device = mapping().map(box);
        const double left = std::max(device.left - margin - 1, double(target_.x));
        const double top = std::max(device.top - margin - 1, double(target_.y));
        const double right = std::min(device.right + margin + 1, double(target_.right()));
        const double bottom = std::min(device.bottom + margin + 1, double(target_.bottom()));
        return right > left && bottom > top ? (right - left) * (bottom - top) : 0.0;
    }
    // A shape through `points`: its box and its edges (the closing one too when `closed`).
    void spendOnShape(const std::vector<Vec>& points, bool closed, bool filled)
    {
        if (points.empty())
            return;
        const double pen = penWidth();
        if (!filled && pen == 0)
            return;
        const Mapping m = mapping();
        const double most = 4.0 * (target_.width + target_.height);
        double edges = 0;
        Box bounds{points[0].x, points[0].y, points[0].x, points[0].y};
        for (std::size_t i = 1; i < points.size() + (closed ? 1 : 0); ++i) {
            const Vec a = m.map(points[i - 1]), b = m.map(points[i % points.size()]);
            edges += std::min(std::abs(b.x - a.x) + std::abs(b.y - a.y) + 2 * pen, most);
        }
        for (const Vec& p : points)
            bounds = {std::min(bounds.left, p.x), std::min(bounds.top, p.y), std::max(bounds.right, p.x),
                      std::max(bounds.bottom, p.y)};
        spend(covered(bounds, pen / 2) + edges + double(points.size()) * Limits::pixelsPerPoint);
    }

    // Logical points as device pixels.
    std::vector<Point> device(const std::vector<Vec>& points) const
    {
        const Mapping m = mapping();
        std::vector<Point> out;
        out.reserve(points.size());
        for (const Vec& p : points) {
            const Vec d = m.map(p);
            out.push_back({pixel(d.x), pixel(d.y)});
        }
        return out;
    }
    // A logical box as the device pixels from its mapped top left corner
    // up to (not including) its mapped bottom right one.
    Rect device(const Box& box) const
    {
        const Box d = mapping().map(box);
        const int left = pixel(d.left), top = pixel(d.top);
        return {left, top, pixel(d.right) - left, pixel(d.bottom) - top};
    }
    // The selected pen in device pixels; nothing for PS_NULL.
    std::optional<raster::Pen> pen() const
    {
        const LogicalPen& p = state_.pen;
        if (p.null)
            return std::nullopt;
        const Mapping m = mapping();
        const double scaled = p.width <= 1 ? 1.0 : p.width * std::max(std::abs(m.sx), std::abs(m.sy));
        return raster::Pen{p.style, std::max(1, pixel(scaled)), p.colour};
    }
    // The rasterizer, its background set from the device context; null in the check pass.
    raster::Raster* draw()
    {
        if (raster_)
            raster_->setBackground(state_.opaqueBackground, state_.background);
        return raster_;
    }

    void playRecord(const Record& r)
    {
        ByteReader in(r.params);
        switch (r.function) {
        case META_SETWINDOWORG:
            state_.windowOrg = pointYX(in);
            break;
        case META_SETWINDOWEXT:
        case META_SETVIEWPORTEXT: {
            const Vec p = pointYX(in);
            if (p.x == 0 || p.y == 0)
                break;   // refused by the platform too: nothing to divide by
            (r.function == META_SETWINDOWEXT ? state_.windowExt : state_.viewportExt) = p;
            break;
        }
        case META_SETVIEWPORTORG:
            state_.viewportOrg = pointYX(in);
            break;
        case META_SETBKCOLOR:
            state_.background = colourRef(in);
            break;
        case META_SETBKMODE:
            state_.opaqueBackground = in.u16le() == 2;
            break;
        case META_SETPOLYFILLMODE:
            state_.fillRule = in.u16le() == 2 ? FillRule::Winding : FillRule::Alternate;
            break;
        case META_SAVEDC:
            if (saved_.size() < Limits::maxSavedStates)
                saved_.push_back(state_);
            break;
        case META_RESTOREDC: {
            // Negative counts back from the newest save, positive names one.
            const int n = in.i16le();
            const std::ptrdiff_t index = n < 0 ? std::ptrdiff_t(saved_.size()) + n : std::ptrdiff_t{n} - 1;
            if (n != 0 && index >= 0 && index < std::ptrdiff_t(saved_.size())) {
                state_ = saved_[std::size_t(index)];
                saved_.resize(std::size_t(index));
            }
            break;
        }
        case META_CREATEPENINDIRECT: {
            const std::uint16_t style = in.u16le();
            const int width = in.i16le();
            in.skip(2);   // the width's y, unused
            createObject({GdiObject::Kind::Pen, makePen(style, width, colourRef(in)), {}});
            break;
        }
        case META_CREATEBRUSHINDIRECT: {
            const std::uint16_t style = in.u16le();
            const std::uint32_t colour = colourRef(in);
            createObject({GdiObject::Kind::Brush, {}, makeBrush(style, colour, in.u16le())});
            break;
        }
        case META_CREATEFONTINDIRECT:
        case META_CREATEPALETTE:
        case META_CREATEPATTERNBRUSH:
        case META_DIBCREATEPATTERNBRUSH:
        case META_CREATEREGION:
            createObject({});
            break;
        case META_SELECTOBJECT:
        case META_DELETEOBJECT: {
            const std::uint16_t index = in.u16le();
            if (index >= objects_.size() || !objects_[index])
                break;   // the platform ignores a stale or unknown index
            if (r.function == META_DELETEOBJECT) {
                objects_[index].reset();   // what is selected stays in use
                freeSlots_.push_back(index);
                std::push_heap(freeSlots_.begin(), freeSlots_.end(), std::greater<>());
            } else if (objects_[index]->kind == GdiObject::Kind::Pen) {
                state_.pen = objects_[index]->pen;
            } else if (objects_[index]->kind == GdiObject::Kind::Brush) {
                state_.brush = objects_[index]->brush;
            }
            break;
        }
        case META_MOVETO:
            state_.position = pointYX(in);
            break;
        case META_LINETO: {
            const std::vector<Vec> line{state_.position, pointYX(in)};
            spendOnShape(line, false, false);
            stroke(line, false);
            state_.position = line[1];
            break;
        }
        case META_POLYLINE:
        case META_POLYGON: {
            const std::vector<Vec> poly = points(in, in.i16le());
            const bool polygon = r.function == META_POLYGON;
            spendOnShape(poly, polygon, polygon);
            if (polygon)
                fillPolygon({&poly, 1});
            stroke(poly, polygon);
            break;
        }
        case META_POLYPOLYGON:
            polyPolygon(in);
            break;
        case META_RECTANGLE:
        case META_ELLIPSE: {
            const Box box = boxBRTL(in);
            spendOnShape(outline(box), true, true);
            if (r.function == META_RECTANGLE)
                rectangle(box);
            else
                ellipse(box);
            break;
        }
        case META_PATBLT: {
            const std::uint32_t rop = in.u32le();
            const double h = in.i16le();
            const double w = in.i16le();
            const Vec at = pointYX(in);
            fill(Box::spanning(at, {at.x + w, at.y + h}), rop);
            break;
        }
        case META_DIBBITBLT:
        case META_DIBSTRETCHBLT:
        case META_STRETCHDIB:
            bitmapRecord(r, in);
            break;
        default:
            break;   // text, clipping, palettes, escapes: nothing we draw
        }
    }

    void stroke(const std::vector<Vec>& points, bool closed)
    {
        const std::optional<raster::Pen> p = pen();
        if (p && draw())
            raster_->stroke(device(points), closed, *p);
    }

    void fillPolygon(std::span<const std::vector<Vec>> rings)
    {
        if (!draw())
            return;
        std::vector<std::vector<Point>> pixels;
        pixels.reserve(rings.size());
        for (const auto& ring : rings)
            pixels.push_back(device(ring));
        raster_->fillPolygon(pixels, state_.fillRule, state_.brush);
    }

    // The box's pixels, right and bottom edges left out: the brush inside,
    // the pen's outline through its outermost pixels.
    void rectangle(const Box& box)
    {
        const Rect pixels = device(box);
        if (pixels.isEmpty() || !draw())
            return;
        raster_->fill(pixels, state_.brush);
        if (const std::optional<raster::Pen> p = pen()) {
            const int r = pixels.right() - 1, b = pixels.bottom() - 1;
            const Point corners[] = {{pixels.x, pixels.y}, {r, pixels.y}, {r, b}, {pixels.x, b}};
            raster_->stroke(corners, true, *p);
        }
    }

    void ellipse(const Box& box)
    {
        const Rect pixels = device(box);
        if (pixels.isEmpty() || !draw())
            return;
        raster_->fillEllipse(pixels, state_.brush);
        if (const std::optional<raster::Pen> p = pen())
            raster_->strokeEllipse(pixels, *p);
    }

    void polyPolygon(ByteReader& in)
    {
        const std::uint16_t count = in.u16le();
        if (std::size_t{count} * 2 > in.remaining())
            throw FormatError(Code::Truncated, "polygon counts do not fit in the record", in.offset());
        std::vector<int> sizes(count);
        for (auto& n : sizes)
            n = in.u16le();
        std::vector<std::vector<Vec>> rings;
        for (int n : sizes) {
            std::vector<Vec> ring = points(in, n);
            spendOnShape(ring, true, true);
            if (!ring.empty())
                rings.push_back(std::move(ring));
        }
        fillPolygon(rings);
        for (const auto& ring : rings)
            stroke(ring, true);
    }

    // A block transfer without a bitmap: the brush or a fixed colour.
    void fill(const Box& box, std::uint32_t rop)
    {
        spend(covered(box, 0));
        if (!draw())
            return;
        switch ((rop >> 16) & 0xFFu) {
        case ropPatCopy: raster_->fill(device(box), state_.brush); break;
        case ropBlackness: raster_->fill(device(box), {Brush::Style::Solid, Black, {}}); break;
        case ropWhiteness: raster_->fill(device(box), {Brush::Style::Solid, White, {}}); break;
        default: break;
        }
    }

    void bitmapRecord(const Record& r, ByteReader& in)
    {
        // Each of these has a form without a bitmap, told apart by its size.
        const bool withoutBitmap = r.params.size() == std::size_t(r.function >> 8) * 2;
        const std::uint32_t rop = in.u32le();
        bool paletteIndices = false;   // DIB_PAL_COLORS
        int srcW = 0, srcH = 0;
        if (r.function == META_STRETCHDIB)
            paletteIndices = in.u16le() == 1;
        if (r.function != META_DIBBITBLT) {
            srcH = in.i16le();
            srcW = in.i16le();
        }
        const Vec src = pointYX(in);
        if (withoutBitmap && r.function != META_STRETCHDIB)
            in.skip(2);   // reserved
        const double destH = in.i16le();
        const double destW = in.i16le();
        if (r.function == META_DIBBITBLT) {
            srcW = int(destW);
            srcH = int(destH);
        }
        const Vec dest = pointYX(in);
        const Vec destEnd{dest.x + destW, dest.y + destH};
        const Box destBox = Box::spanning(dest, destEnd);
        if (withoutBitmap && r.function != META_STRETCHDIB) {
            fill(destBox, rop);
            return;
        }
        const std::size_t dibAt = in.offset();
        dib::Options options;
        options.maxPixels = Limits::maxDibPixels;
        options.paletteIndices = paletteIndices;
        options.base = dibAt;
        dib::Bitmap bitmap;
        try {
            bitmap = dib::read(in.take(in.remaining()), options);
        } catch (const FormatError& e) {
            if (e.code() == Code::Unsupported)
                return;   // a bitmap kind we do not draw: skip it like an unknown record
            throw;
        }
        // Decoding takes every pixel of the bitmap, however little of it
        // shows; a scaled bitmap costs more than a copy.
        const Box device = mapping().map(destBox);
        const bool scaled = std::floor(device.right - device.left + 0.5) != std::abs(srcW)
                            || std::floor(device.bottom - device.top + 0.5) != std::abs(srcH);
        spend(double(bitmap.width) * bitmap.height + covered(destBox, 0) * (scaled ? Limits::scaledBitmapCost : 1));
        if (draw())
            drawBitmap(bitmap, src, srcW, srcH, dest, destEnd, rop);
    }

    void drawBitmap(const dib::Bitmap& bitmap, Vec src, int srcW, int srcH, Vec dest, Vec destEnd, std::uint32_t rop)
    {
        raster::BitOp op = raster::BitOp::Copy;
        switch ((rop >> 16) & 0xFFu) {
        case ropSrcCopy: break;
        case ropSrcPaint: op = raster::BitOp::Or; break;
        case ropSrcAnd: op = raster::BitOp::And; break;
        case ropSrcInvert: op = raster::BitOp::Xor; break;
        case ropNotSrcCopy: op = raster::BitOp::NotCopy; break;
        default: return;
        }
        // A negative extent, of the source or of the mapped destination, mirrors.
        const Mapping m = mapping();
        const Vec a = m.map(dest), b = m.map(destEnd);
        const int x0 = pixel(a.x), y0 = pixel(a.y), x1 = pixel(b.x), y1 = pixel(b.y);
        const Rect to{std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0), std::abs(y1 - y0)};
        Rect from{int(src.x) + std::min(srcW, 0), int(src.y) + std::min(srcH, 0), std::abs(srcW), std::abs(srcH)};
        // Source rows of a bottom-up bitmap count from its bottom row.
        if (!bitmap.topDown)
            from.y = bitmap.height - from.y - from.height;
        if (to.isEmpty() || from.isEmpty() || from.intersected({0, 0, bitmap.width, bitmap.height}).isEmpty())
            return;
        raster_->blit(dib::toImage(bitmap), from, to, (x1 < x0) != (srcW < 0), (y1 < y0) != (srcH < 0), op);
    }

    raster::Raster* raster_;
    const Metafile& metafile_;
    Rect target_;
    Vec natural_;
    DcState state_;
    std::vector<DcState> saved_;
    std::vector<std::optional<GdiObject>> objects_;
    std::vector<std::uint16_t> freeSlots_;   // a min-heap of the free slots of objects_
    double drawn_ = 0;                       // what the work budget has counted
};

} // namespace

void render(Image& canvas, std::span<const std::byte> bytes, const Rect& target)
{
    const Metafile metafile = read(bytes);
    Player(nullptr, metafile, target).run();
    if (target.isEmpty())
        return;
    raster::Raster raster(canvas, target);
    Player(&raster, metafile, target).run();
}

bool play(Image& canvas, std::span<const std::byte> bytes, const Rect& target)
{
    try {
        render(canvas, bytes, target);
        return true;
    } catch (const FormatError&) {
        return false;
    }
}

} // namespace glimmer::wmf
