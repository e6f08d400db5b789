#include "formats/Raster.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace glimmer::raster {

namespace {

// The canvas's own word for a colour, opaque.
std::uint32_t wordOf(PixelFormat format, std::uint32_t colour) noexcept
{
    if (format == PixelFormat::Xrgb32 || format == PixelFormat::Argb32)
        return colour | 0xFF000000u;
    const std::byte bytes[4] = {std::byte(redOf(colour)), std::byte(greenOf(colour)), std::byte(blueOf(colour)),
                                std::byte{0xFF}};
    std::uint32_t word;
    std::memcpy(&word, bytes, 4);
    return word;
}

bool hatched(Hatch hatch, int x, int y) noexcept
{
    const int u = x & 7, v = y & 7;
    const bool forward = u == v, backward = ((u + v) & 7) == 0;
    switch (hatch) {
    case Hatch::Horizontal: return v == 0;
    case Hatch::Vertical: return u == 0;
    case Hatch::ForwardDiagonal: return forward;
    case Hatch::BackwardDiagonal: return backward;
    case Hatch::Cross: return u == 0 || v == 0;
    case Hatch::DiagonalCross: return forward || backward;
    }
    return false;
}

// Whether step `i` (from 0) of a one-pixel pen is drawn: runs of on, off, on, off...
bool penOn(Pen::Style style, std::int64_t i) noexcept
{
    static constexpr int dash[] = {18, 6}, dot[] = {3, 3}, dashDot[] = {9, 6, 3, 6}, dashDotDot[] = {9, 3, 3, 3, 3, 3};
    std::span<const int> runs;
    switch (style) {
    case Pen::Style::Solid: return true;
    case Pen::Style::Dash: runs = dash; break;
    case Pen::Style::Dot: runs = dot; break;
    case Pen::Style::DashDot: runs = dashDot; break;
    case Pen::Style::DashDotDot: runs = dashDotDot; break;
    }
    int period = 0;
    for (int r : runs)
        period += r;
    std::int64_t at = i % period;
    for (std::size_t k = 0; k < runs.size(); at -= runs[k], ++k)
        if (at < runs[k])
            return k % 2 == 0;
    return true;
}

// Turns shapes into runs of pixels, row by row, inside a clip box. Its
// coordinates have pixel centres on whole numbers; a pixel is inside when
// its centre is, or lies on a left or top edge. Each row costs the edges
// and discs that cross it, and only rows of the clip are visited.
class Scanner {
public:
    explicit Scanner(const Rect& clip) : clip_(clip) {}

    void addEdge(double x0, double y0, double x1, double y1)
    {
        if (y0 == y1)
            return;
        int winding = 1;
        if (y1 < y0) {
            std::swap(x0, x1);
            std::swap(y0, y1);
            winding = -1;
        }
        const int first = std::max(rowAtOrBelow(y0), clip_.y);
        const int last = std::min(rowAtOrBelow(y1) - 1, clip_.bottom() - 1);
        if (first <= last)
            edges_.push_back({x0, y0, x1, y1, winding, first, last});
    }

    // The pixels within `radius` of the pixel centre (x, y).
    void addDisc(int x, int y, double radius)
    {
        const int first = std::max(rowAtOrBelow(y - radius), clip_.y);
        const int last = std::min(rowAtOrBelow(y + radius) - 1, clip_.bottom() - 1);
        if (first <= last)
            discs_.push_back({x, y, radius, first, last});
    }

    // Calls paint(y, x0, x1) for the columns [x0, x1) inside the shape on
    // each row, every pixel once.
    template <typename Paint>
    void run(FillRule rule, Paint&& paint)
    {
        if (edges_.empty() && discs_.empty())
            return;
        const auto byFirst = [](const auto& a, const auto& b) { return a.first < b.first; };
        std::sort(edges_.begin(), edges_.end(), byFirst);
        std::sort(discs_.begin(), discs_.end(), byFirst);
        int top = clip_.bottom(), bottom = clip_.y - 1;
        for (const Edge& e : edges_) {
            top = std::min(top, e.first);
            bottom = std::max(bottom, e.last);
        }
        for (const Disc& d : discs_) {
            top = std::min(top, d.first);
            bottom = std::max(bottom, d.last);
        }

        // The edges crossing the row, ordered by where they cross it: an
        // order that changes only where edges meet or cross.
        std::vector<Crossing> crossings;
        std::vector<const Disc*> discs;
        std::vector<std::pair<int, int>> spans;
        std::size_t nextEdge = 0, nextDisc = 0;
        for (int y = top; y <= bottom; ++y) {
            std::erase_if(crossings, [y](const Crossing& c) { return c.edge->last < y; });
            std::erase_if(discs, [y](const Disc* d) { return d->last < y; });
            for (; nextEdge < edges_.size() && edges_[nextEdge].first <= y; ++nextEdge)
                crossings.push_back({0, &edges_[nextEdge]});
            for (; nextDisc < discs_.size() && discs_[nextDisc].first <= y; ++nextDisc)
                discs.push_back(&discs_[nextDisc]);
            for (Crossing& c : crossings) {
                const Edge& e = *c.edge;
                c.x = e.x0 + (y - e.y0) * (e.x1 - e.x0) / (e.y1 - e.y0);
            }
            sortByX(crossings);

            spans.clear();
            int count = 0;
            double from = 0;
            for (const Crossing& c : crossings) {
                const bool wasInside = rule == FillRule::Winding ? count != 0 : count % 2 != 0;
                count += rule == FillRule::Winding ? c.edge->winding : 1;
                const bool inside = rule == FillRule::Winding ? count != 0 : count % 2 != 0;
                if (inside && !wasInside)
                    from = c.x;
                else if (!inside && wasInside)
                    addSpan(spans, from, c.x);
            }
            if (!discs.empty()) {
                for (const Disc* d : discs) {
                    const double dy = y - d->y;
                    const double half = std::sqrt(std::max(0.0, d->radius * d->radius - dy * dy));
                    addSpan(spans, d->x - half, d->x + half);
                }
                std::sort(spans.begin(), spans.end());
            }
            for (std::size_t i = 0; i < spans.size();) {
                auto [x0, x1] = spans[i];
                for (++i; i < spans.size() && spans[i].first <= x1; ++i)
                    x1 = std::max(x1, spans[i].second);
                paint(y, x0, x1);
            }
        }
    }

private:
    struct Edge {
        double x0, y0, x1, y1;   // y0 < y1
        int winding;             // +1 downwards
        int first, last;         // rows it crosses, inside the clip
    };
    struct Disc {
        int x, y;
        double radius;
        int first, last;
    };
    struct Crossing {
        double x;
        const Edge* edge;
    };

    // Insertion sort while the order barely changed since the last row,
    // a full sort once that costs more.
    static void sortByX(std::vector<Crossing>& crossings)
    {
        std::size_t budget = 8 * crossings.size();
        for (std::size_t i = 1; i < crossings.size(); ++i) {
            const Crossing c = crossings[i];
            std::size_t j = i;
            for (; j > 0 && c.x < crossings[j - 1].x && budget > 0; --j, --budget)
                crossings[j] = crossings[j - 1];
            crossings[j] = c;
            if (budget == 0) {
                std::sort(crossings.begin(), crossings.end(),
                          [](const Crossing& a, const Crossing& b) { return a.x < b.x; });
                return;
            }
        }
    }

    // The first row or column at or past `v`, held to just outside the clip.
    static int atOrPast(double v, int low, int high)
    {
        return static_cast<int>(std::ceil(std::clamp(v, double(low), double(high))));
    }
    int rowAtOrBelow(double y) const { return atOrPast(y, clip_.y - 1, clip_.bottom() + 1); }

    // Columns whose centres lie in [x0, x1), clipped.
    void addSpan(std::vector<std::pair<int, int>>& spans, double x0, double x1) const
    {
        const int a = atOrPast(x0, clip_.x, clip_.right());
        const int b = atOrPast(x1, clip_.x, clip_.right());
        if (a < b)
            spans.emplace_back(a, b);
    }

    Rect clip_;
    std::vector<Edge> edges_;
    std::vector<Disc> discs_;
};

// A box in 64 bits: ellipses grown by a wide pen may pass the int range.
struct Box {
    std::int64_t l, t, r, b;
};

// Columns [first, last] of row y inside the ellipse inscribed in `box`;
// first > last when there are none. Exactly symmetric about the centre.
std::pair<std::int64_t, std::int64_t> ellipseRow(const Box& box, std::int64_t y)
{
    constexpr std::pair<std::int64_t, std::int64_t> none{1, 0};
    const std::int64_t w = box.r - box.l, h = box.b - box.t;
    // Offsets from the centre in half pixels: a pixel centre (x, y) is
    // inside when dx² h² + dy² w² <= w² h².
    const std::int64_t dy = 2 * y + 1 - (box.t + box.b);
    if (w <= 0 || h <= 0 || dy <= -h || dy >= h)
        return none;
    auto dx = static_cast<std::int64_t>(
        std::floor(double(w) * std::sqrt(double(h * h - dy * dy)) / double(h)));
    // Pixel centres lie at offsets of w + 1's parity.
    if (((dx + w + 1) & 1) != 0)
        --dx;
    if (dx < 0)
        return none;
    const std::int64_t sum = box.l + box.r - 1;
    return {(sum - dx) / 2, (sum + dx) / 2};
}

Box boxOf(const Rect& r)
{
    return {r.x, r.y, std::int64_t{r.x} + r.width, std::int64_t{r.y} + r.height};
}

} // namespace

Raster::Raster(Image& canvas, const Rect& clip)
    : canvas_(canvas), clip_(clip.intersected(canvas.rect())), alpha_(wordOf(canvas.format(), Black))
{
}

void Raster::setBackground(bool opaque, std::uint32_t colour) noexcept
{
    opaque_ = opaque;
    background_ = colour;
}

void Raster::colourSpan(int y, int x0, int x1, std::uint32_t word)
{
    std::fill(canvas_.row32(y) + x0, canvas_.row32(y) + x1, word);
}

void Raster::brushSpan(int y, int x0, int x1, const Brush& brush)
{
    const PixelFormat format = canvas_.format();
    switch (brush.style) {
    case Brush::Style::Null:
        return;
    case Brush::Style::Solid:
        colourSpan(y, x0, x1, wordOf(format, brush.colour));
        return;
    case Brush::Style::Hatched: {
        const std::uint32_t line = wordOf(format, brush.colour), gap = wordOf(format, background_);
        std::uint32_t* row = canvas_.row32(y);
        for (int x = x0; x < x1; ++x) {
            if (hatched(brush.hatch, x, y))
                row[x] = line;
            else if (opaque_)
                row[x] = gap;
        }
        return;
    }
    }
}

void Raster::fill(const Rect& box, const Brush& brush)
{
    const Rect area = box.intersected(clip_);
    for (int y = area.y; y < area.bottom(); ++y)
        brushSpan(y, area.x, area.right(), brush);
}

void Raster::fillPolygon(std::span<const std::vector<Point>> rings, FillRule rule, const Brush& brush)
{
    if (brush.style == Brush::Style::Null || clip_.isEmpty())
        return;
    // Corners lie on pixel corners, half a pixel before the centres.
    Scanner scanner(clip_);
    for (const auto& ring : rings)
        for (std::size_t i = 0; i < ring.size(); ++i) {
            const Point a = ring[i], b = ring[(i + 1) % ring.size()];
            scanner.addEdge(a.x - 0.5, a.y - 0.5, b.x - 0.5, b.y - 0.5);
        }
    scanner.run(rule, [&](int y, int x0, int x1) { brushSpan(y, x0, x1, brush); });
}

void Raster::fillEllipse(const Rect& box, const Brush& brush)
{
    if (brush.style == Brush::Style::Null)
        return;
    const Box b = boxOf(box);
    const int top = std::max(box.y, clip_.y), bottom = std::min(box.bottom(), clip_.bottom());
    for (int y = top; y < bottom; ++y) {
        const auto [x0, x1] = ellipseRow(b, y);
        const auto from = std::max<std::int64_t>(x0, clip_.x), to = std::min<std::int64_t>(x1 + 1, clip_.right());
        if (from < to)
            brushSpan(y, int(from), int(to), brush);
    }
}

void Raster::strokeEllipse(const Rect& box, const Pen& pen)
{
    const std::uint32_t word = wordOf(canvas_.format(), pen.colour);
    // Columns [x0, x1] of row y, clipped.
    const auto paint = [&](int y, std::int64_t x0, std::int64_t x1) {
        x0 = std::max<std::int64_t>(x0, clip_.x);
        x1 = std::min<std::int64_t>(x1 + 1, clip_.right());
        if (x0 < x1)
            colourSpan(y, int(x0), int(x1), word);
    };
    // A row of `outer` less the columns of `inner`.
    const auto ring = [&](int y, std::pair<std::int64_t, std::int64_t> outer, std::int64_t lo, std::int64_t hi) {
        if (outer.first > outer.second)
            return;
        if (lo > hi) {
            paint(y, outer.first, outer.second);
        } else {
            paint(y, outer.first, lo - 1);
            paint(y, hi + 1, outer.second);
        }
    };

    Box outer = boxOf(box);
    if (pen.width <= 1) {
        // Inside, with a neighbour outside: left, right, above or below.
        for (int y = std::max(box.y, clip_.y); y < std::min(box.bottom(), clip_.bottom()); ++y) {
            const auto row = ellipseRow(outer, y), above = ellipseRow(outer, y - 1), below = ellipseRow(outer, y + 1);
            ring(y, row, std::max({row.first + 1, above.first, below.first}),
                 std::min({row.second - 1, above.second, below.second}));
        }
        return;
    }
    // Between the ellipse grown by half the width and the one shrunk by the rest.
    const int grow = pen.width / 2, shrink = pen.width - grow;
    const Box inner{outer.l + shrink, outer.t + shrink, outer.r - shrink, outer.b - shrink};
    outer = {outer.l - grow, outer.t - grow, outer.r + grow, outer.b + grow};
    const auto top = std::max<std::int64_t>(outer.t, clip_.y), bottom = std::min<std::int64_t>(outer.b, clip_.bottom());
    for (auto y = int(top); y < bottom; ++y) {
        const auto hole = ellipseRow(inner, y);
        ring(y, ellipseRow(outer, y), hole.first, hole.second);
    }
}

void Raster::line(Point from, Point to, const Pen& pen, std::int64_t& phase)
{
    const std::int64_t dx = std::int64_t{to.x} - from.x, dy = std::int64_t{to.y} - from.y;
    const std::int64_t steps = std::max(std::abs(dx), std::abs(dy));
    if (steps == 0)
        return;
    // Each step moves one pixel along the major axis and to the nearest
    // pixel across it; only the steps whose major coordinate is inside
    // the clip are visited.
    const bool xMajor = std::abs(dx) >= std::abs(dy);
    const std::int64_t start = xMajor ? from.x : from.y, along = xMajor ? dx : dy, across = xMajor ? dy : dx;
    const std::int64_t low = xMajor ? clip_.x : clip_.y, high = (xMajor ? clip_.right() : clip_.bottom()) - 1;
    std::int64_t first = 0, last = steps - 1;
    if (along > 0) {
        first = std::max(first, low - start);
        last = std::min(last, high - start);
    } else {
        first = std::max(first, start - high);
        last = std::min(last, start - low);
    }
    const std::uint32_t word = wordOf(canvas_.format(), pen.colour), gap = wordOf(canvas_.format(), background_);
    // Across the major axis the line has moved i·|across|/steps pixels,
    // rounded half away from zero: `moved` whole ones and `rest` over 2·steps.
    const std::int64_t slope = 2 * std::abs(across), twice = 2 * steps;
    std::int64_t moved = (first * slope + steps) / twice, rest = (first * slope + steps) % twice;
    const std::int64_t minorStart = xMajor ? from.y : from.x;
    for (std::int64_t i = first; i <= last; ++i) {
        const std::int64_t major = start + (along > 0 ? i : -i);
        const std::int64_t minor = minorStart + (across < 0 ? -moved : moved);
        rest += slope;
        if (rest >= twice) {
            rest -= twice;
            ++moved;
        }
        const std::int64_t x = xMajor ? major : minor, y = xMajor ? minor : major;
        if (x < clip_.x || x >= clip_.right() || y < clip_.y || y >= clip_.bottom())
            continue;
        if (pen.style == Pen::Style::Solid || penOn(pen.style, phase + i))
            canvas_.row32(int(y))[x] = word;
        else if (opaque_)
            canvas_.row32(int(y))[x] = gap;
    }
    phase += steps;
}

void Raster::wideStroke(std::span<const Point> points, bool closed, int width, std::uint32_t colour)
{
    // Every segment a band, every point a disc, all painted as one shape.
    // The bands all wind the same way round, so winding fills their union.
    Scanner scanner(clip_);
    const double radius = width / 2.0;
    const std::size_t segments = closed ? points.size() : points.size() - 1;
    for (std::size_t i = 0; i < segments; ++i) {
        const Point a = points[i], b = points[(i + 1) % points.size()];
        const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
        const double length = std::hypot(dx, dy);
        if (length == 0)
            continue;
        const double nx = -dy / length * radius, ny = dx / length * radius;
        scanner.addEdge(a.x + nx, a.y + ny, b.x + nx, b.y + ny);
        scanner.addEdge(b.x + nx, b.y + ny, b.x - nx, b.y - ny);
        scanner.addEdge(b.x - nx, b.y - ny, a.x - nx, a.y - ny);
        scanner.addEdge(a.x - nx, a.y - ny, a.x + nx, a.y + ny);
    }
    for (const Point p : points)
        scanner.addDisc(p.x, p.y, radius);
    const std::uint32_t word = wordOf(canvas_.format(), colour);
    scanner.run(FillRule::Winding, [&](int y, int x0, int x1) { colourSpan(y, x0, x1, word); });
}

void Raster::stroke(std::span<const Point> points, bool closed, const Pen& pen)
{
    if (points.size() < 2 || clip_.isEmpty())
        return;
    if (pen.width > 1) {
        wideStroke(points, closed, pen.width, pen.colour);
        return;
    }
    // The pattern of a broken pen runs on from one line to the next.
    std::int64_t phase = 0;
    for (std::size_t i = 1; i < points.size(); ++i)
        line(points[i - 1], points[i], pen, phase);
    if (closed)
        line(points.back(), points.front(), pen, phase);
}

void Raster::blit(const Image& source, const Rect& from, const Rect& to, bool mirrorX, bool mirrorY, BitOp op)
{
    const Rect area = to.intersected(clip_);
    if (source.isNull() || from.isEmpty() || area.isEmpty())
        return;
    // The source pixel nearest the centre of device pixel `at` (of `count`,
    // counted from the far end when mirrored), or -1 outside the source.
    const auto nearest = [](int at, int origin, int count, bool mirror, int sourceAt, int sourceCount, int limit) {
        const std::int64_t u = mirror ? std::int64_t{origin} + count - 1 - at : std::int64_t{at} - origin;
        const std::int64_t s = sourceAt + (2 * u + 1) * sourceCount / (2 * std::int64_t{count});
        return s >= 0 && s < limit ? int(s) : -1;
    };
    std::vector<int> columns(std::size_t(area.width));
    for (int x = area.x; x < area.right(); ++x)
        columns[std::size_t(x - area.x)] = nearest(x, to.x, to.width, mirrorX, from.x, from.width, source.width());

    // Source columns side by side, as in a copy at the same size.
    bool contiguous = columns.front() >= 0;
    for (std::size_t i = 1; i < columns.size() && contiguous; ++i)
        contiguous = columns[i] == columns[i - 1] + 1;

    const PixelFormat format = canvas_.format();
    const std::uint32_t alpha = alpha_;
    const auto run = [&](auto read, auto combine) {
        for (int y = area.y; y < area.bottom(); ++y) {
            const int sy = nearest(y, to.y, to.height, mirrorY, from.y, from.height, source.height());
            if (sy < 0)
                continue;
            const std::uint32_t* in = source.row32(sy);
            std::uint32_t* out = canvas_.row32(y);
            if (contiguous) {
                for (int x = area.x, sx = columns.front(); x < area.right(); ++x, ++sx)
                    out[x] = combine(read(in, sx, sy), out[x]) | alpha;
                continue;
            }
            for (int x = area.x; x < area.right(); ++x) {
                const int sx = columns[std::size_t(x - area.x)];
                if (sx >= 0)
                    out[x] = combine(read(in, sx, sy), out[x]) | alpha;
            }
        }
    };
    const auto withOp = [&](auto read) {
        switch (op) {
        case BitOp::Copy: run(read, [](std::uint32_t s, std::uint32_t) { return s; }); break;
        case BitOp::Or: run(read, [](std::uint32_t s, std::uint32_t d) { return s | d; }); break;
        case BitOp::And: run(read, [](std::uint32_t s, std::uint32_t d) { return s & d; }); break;
        case BitOp::Xor: run(read, [](std::uint32_t s, std::uint32_t d) { return s ^ d; }); break;
        case BitOp::NotCopy: run(read, [](std::uint32_t s, std::uint32_t) { return ~s; }); break;
        }
    };
    // Words of the same layout need no conversion (the alpha is set after).
    const auto words = [](PixelFormat f) { return f == PixelFormat::Xrgb32 || f == PixelFormat::Argb32; };
    if (words(source.format()) && words(format))
        withOp([](const std::uint32_t* in, int sx, int) { return in[sx]; });
    else
        withOp([&](const std::uint32_t*, int sx, int sy) { return wordOf(format, source.pixel(sx, sy)); });
}

} // namespace glimmer::raster
