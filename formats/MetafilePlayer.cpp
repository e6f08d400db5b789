#include "formats/MetafilePlayer.h"

#include "formats/Dib.h"
#include "formats/MetafileReader.h"

#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

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

// Ternary raster operations we know, by their index (the high word's low byte).
constexpr unsigned ropBlackness = 0x00;
constexpr unsigned ropNotSrcCopy = 0x33;
constexpr unsigned ropSrcInvert = 0x66;
constexpr unsigned ropSrcAnd = 0x88;
constexpr unsigned ropSrcCopy = 0xCC;
constexpr unsigned ropSrcPaint = 0xEE;
constexpr unsigned ropPatCopy = 0xF0;
constexpr unsigned ropWhiteness = 0xFF;

// The playback device context: what SAVEDC keeps and RESTOREDC brings back.
struct DcState {
    QPen pen{QColor(Qt::black), 0};
    QBrush brush{Qt::white};
    QColor background{Qt::white};
    bool opaqueBackground = true;
    Qt::FillRule fillRule = Qt::OddEvenFill;
    QPointF windowOrg;
    QSizeF windowExt;
    QPointF viewportOrg;
    QSizeF viewportExt;
    QPointF position;
};

// An entry of the object table; fonts, palettes, regions and pattern
// brushes hold a slot but draw nothing.
struct GdiObject {
    enum class Kind { Pen, Brush, Other } kind = Kind::Other;
    QPen pen;
    QBrush brush;
};

QColor colourRef(ByteReader& in)
{
    const int r = in.u8();
    const int g = in.u8();
    const int b = in.u8();
    in.skip(1);   // palette flags: we have no palette, the RGB stands
    return QColor(r, g, b);
}

QPen makePen(std::uint16_t style, int width, const QColor& colour)
{
    static constexpr Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
                                              Qt::DashDotDotLine, Qt::NoPen, Qt::SolidLine};
    const unsigned kind = style & 0x0Fu;
    QPen pen(colour, width < 0 ? -width : width);   // width 0 is a one-pixel pen
    pen.setStyle(kind < std::size(styles) ? styles[kind] : Qt::SolidLine);
    switch (style & 0x0F00u) {
    case 0x0100: pen.setCapStyle(Qt::SquareCap); break;
    case 0x0200: pen.setCapStyle(Qt::FlatCap); break;
    default: pen.setCapStyle(Qt::RoundCap); break;
    }
    switch (style & 0xF000u) {
    case 0x1000: pen.setJoinStyle(Qt::BevelJoin); break;
    case 0x2000: pen.setJoinStyle(Qt::MiterJoin); break;
    default: pen.setJoinStyle(Qt::RoundJoin); break;
    }
    return pen;
}

QBrush makeBrush(std::uint16_t style, const QColor& colour, std::uint16_t hatch)
{
    static constexpr Qt::BrushStyle hatches[] = {Qt::HorPattern, Qt::VerPattern, Qt::FDiagPattern,
                                                 Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
    switch (style) {
    case 1:   // BS_NULL
        return QBrush(Qt::NoBrush);
    case 2:   // BS_HATCHED
        return QBrush(colour, hatch < std::size(hatches) ? hatches[hatch] : Qt::SolidPattern);
    default:   // solid, and the pattern kinds we cannot draw from this record
        return QBrush(colour);
    }
}

// Gives the painter back as it came, however playback ends.
class PainterGuard {
public:
    explicit PainterGuard(QPainter& painter) : painter_(painter) { painter_.save(); }
    ~PainterGuard() { painter_.restore(); }
    PainterGuard(const PainterGuard&) = delete;
    PainterGuard& operator=(const PainterGuard&) = delete;

private:
    QPainter& painter_;
};

// Plays the records once; without a painter it only checks every record it
// would draw, so that a fault stops playback before anything is drawn.
class Player {
public:
    Player(QPainter* painter, const Metafile& metafile, const QRectF& target)
        : painter_(painter), metafile_(metafile), target_(target), objects_(metafile.header.numberOfObjects)
    {
        // Every slot is free; the lowest one is taken first. Ascending is a heap.
        freeSlots_.resize(objects_.size());
        std::iota(freeSlots_.begin(), freeSlots_.end(), std::uint16_t{0});
        std::optional<QSize> extent;
        try {
            extent = windowExtent(metafile);
        } catch (const FormatError&) {
            // An empty window extent: played in target pixels, as without one.
        }
        natural_ = extent ? QSizeF(*extent) : target.size();
        if (metafile.header.placeable && !metafile.header.bounds.isEmpty()) {
            state_.windowOrg = metafile.header.bounds.topLeft();
            state_.windowExt = metafile.header.bounds.size();
        } else {
            state_.windowExt = natural_;
        }
        state_.viewportExt = natural_;
    }

    void run()
    {
        std::optional<PainterGuard> guard;
        if (painter_) {
            guard.emplace(*painter_);
            base_ = painter_->worldTransform();
            painter_->setClipRect(target_, Qt::IntersectClip);
            applyAll();
        }
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

    static QPointF point(ByteReader& in)   // x then y
    {
        const double x = in.i16le();
        return {x, double(in.i16le())};
    }
    static QPointF pointYX(ByteReader& in)
    {
        const double y = in.i16le();
        return {double(in.i16le()), y};
    }
    // Bottom, right, top, left: the order of RECTANGLE and ELLIPSE.
    static QRectF boxBRTL(ByteReader& in)
    {
        const double bottom = in.i16le();
        const double right = in.i16le();
        const double top = in.i16le();
        const double left = in.i16le();
        return QRectF(QPointF(left, top), QPointF(right, bottom)).normalized();
    }
    static QPolygonF points(ByteReader& in, int count)
    {
        if (count < 0)
            throw FormatError(Code::BadValue, "negative point count", in.offset());
        if (std::size_t(count) * 4 > in.remaining())
            throw FormatError(Code::Truncated, std::to_string(count) + " points do not fit in the record", in.offset());
        QPolygonF poly;
        poly.reserve(count);
        for (int i = 0; i < count; ++i)
            poly << point(in);
        return poly;
    }

    QTransform mapping() const
    {
        const DcState& s = state_;
        const double kx = target_.width() / natural_.width();
        const double ky = target_.height() / natural_.height();
        const double wx = s.viewportExt.width() / s.windowExt.width();
        const double wy = s.viewportExt.height() / s.windowExt.height();
        return QTransform(wx * kx, 0, 0, wy * ky, target_.x() + (s.viewportOrg.x() - s.windowOrg.x() * wx) * kx,
                          target_.y() + (s.viewportOrg.y() - s.windowOrg.y() * wy) * ky);
    }

    void applyAll()
    {
        if (!painter_)
            return;
        painter_->setWorldTransform(mapping() * base_);
        painter_->setPen(state_.pen);
        painter_->setBrush(state_.brush);
        painter_->setBackground(state_.background);
        painter_->setBackgroundMode(state_.opaqueBackground ? Qt::OpaqueMode : Qt::TransparentMode);
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
        if (state_.pen.style() == Qt::NoPen)
            return 0;
        const QTransform m = mapping();
        return std::max(1.0, state_.pen.widthF() * std::max(std::abs(m.m11()), std::abs(m.m22())));
    }
    // Target pixels inside a box of logical units widened by `margin` target pixels.
    double covered(const QRectF& box, double margin) const
    {
        const QRectF device = mapping().mapRect(box.normalized()).adjusted(-margin - 1, -margin - 1, margin + 1, margin + 1);
        const QRectF clipped = device.intersected(target_);
        return clipped.isEmpty() ? 0.0 : clipped.width() * clipped.height();
    }
    // A shape through `points`: its box and its edges (the closing one too when `closed`).
    void spendOnShape(const QPolygonF& points, bool closed, bool filled)
    {
        if (points.isEmpty())
            return;
        const double pen = penWidth();
        if (!filled && pen == 0)
            return;
        const QTransform m = mapping();
        const double most = 4 * (target_.width() + target_.height());
        double edges = 0;
        for (qsizetype i = 1; i < points.size() + (closed ? 1 : 0); ++i) {
            const QPointF d = m.map(points[i % points.size()]) - m.map(points[i - 1]);
            edges += std::min(std::abs(d.x()) + std::abs(d.y()) + 2 * pen, most);
        }
        spend(covered(points.boundingRect(), pen / 2) + edges + double(points.size()) * Limits::pixelsPerPoint);
    }
    void spendOnBox(const QRectF& box, bool filled)
    {
        spendOnShape(QPolygonF(box.normalized()), true, filled);
    }

    void playRecord(const Record& r)
    {
        ByteReader in(r.params);
        switch (r.function) {
        case META_SETWINDOWORG:
            state_.windowOrg = pointYX(in);
            applyAll();
            break;
        case META_SETWINDOWEXT:
        case META_SETVIEWPORTEXT: {
            const QPointF p = pointYX(in);
            if (p.x() == 0 || p.y() == 0)
                break;   // refused by the platform too: nothing to divide by
            (r.function == META_SETWINDOWEXT ? state_.windowExt : state_.viewportExt) = QSizeF(p.x(), p.y());
            applyAll();
            break;
        }
        case META_SETVIEWPORTORG:
            state_.viewportOrg = pointYX(in);
            applyAll();
            break;
        case META_SETBKCOLOR:
            state_.background = colourRef(in);
            applyAll();
            break;
        case META_SETBKMODE:
            state_.opaqueBackground = in.u16le() == 2;
            applyAll();
            break;
        case META_SETPOLYFILLMODE:
            state_.fillRule = in.u16le() == 2 ? Qt::WindingFill : Qt::OddEvenFill;
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
                applyAll();
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
            const QColor colour = colourRef(in);
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
                applyAll();
            } else if (objects_[index]->kind == GdiObject::Kind::Brush) {
                state_.brush = objects_[index]->brush;
                applyAll();
            }
            break;
        }
        case META_MOVETO:
            state_.position = pointYX(in);
            break;
        case META_LINETO: {
            const QPointF to = pointYX(in);
            spendOnShape(QPolygonF({state_.position, to}), false, false);
            if (painter_)
                painter_->drawLine(state_.position, to);
            state_.position = to;
            break;
        }
        case META_POLYLINE:
        case META_POLYGON: {
            const QPolygonF poly = points(in, in.i16le());
            spendOnShape(poly, r.function == META_POLYGON, r.function == META_POLYGON);
            if (!painter_)
                break;
            if (r.function == META_POLYLINE)
                painter_->drawPolyline(poly);
            else
                painter_->drawPolygon(poly, state_.fillRule);
            break;
        }
        case META_POLYPOLYGON:
            polyPolygon(in);
            break;
        case META_RECTANGLE:
        case META_ELLIPSE: {
            const QRectF box = boxBRTL(in);
            spendOnBox(box, true);
            if (painter_ && r.function == META_RECTANGLE)
                painter_->drawRect(box);
            else if (painter_)
                painter_->drawEllipse(box);
            break;
        }
        case META_PATBLT: {
            const std::uint32_t rop = in.u32le();
            const double h = in.i16le();
            const double w = in.i16le();
            const QPointF at = pointYX(in);
            fill(QRectF(at, QSizeF(w, h)), rop);
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

    void polyPolygon(ByteReader& in)
    {
        const std::uint16_t count = in.u16le();
        if (std::size_t{count} * 2 > in.remaining())
            throw FormatError(Code::Truncated, "polygon counts do not fit in the record", in.offset());
        std::vector<int> sizes(count);
        for (auto& n : sizes)
            n = in.u16le();
        QPainterPath path;
        path.setFillRule(state_.fillRule);
        for (int n : sizes) {
            const QPolygonF poly = points(in, n);
            spendOnShape(poly, true, true);
            if (!poly.isEmpty()) {
                path.addPolygon(poly);
                path.closeSubpath();
            }
        }
        if (painter_)
            painter_->drawPath(path);
    }

    // A block transfer without a bitmap: the brush or a fixed colour.
    void fill(const QRectF& box, std::uint32_t rop)
    {
        spend(covered(box, 0));
        if (!painter_)
            return;
        switch ((rop >> 16) & 0xFFu) {
        case ropPatCopy: painter_->fillRect(box.normalized(), state_.brush); break;
        case ropBlackness: painter_->fillRect(box.normalized(), Qt::black); break;
        case ropWhiteness: painter_->fillRect(box.normalized(), Qt::white); break;
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
        const QPointF src = pointYX(in);
        if (withoutBitmap && r.function != META_STRETCHDIB)
            in.skip(2);   // reserved
        double destH = in.i16le();
        double destW = in.i16le();
        if (r.function == META_DIBBITBLT) {
            srcW = int(destW);
            srcH = int(destH);
        }
        const QPointF dest = pointYX(in);
        const QRectF destBox(dest, QSizeF(destW, destH));
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
        // shows; a scaled bitmap is filtered, which costs more than a copy.
        const QSizeF device = mapping().mapRect(destBox.normalized()).size();
        const bool scaled = qRound(device.width()) != std::abs(srcW) || qRound(device.height()) != std::abs(srcH);
        spend(double(bitmap.width) * bitmap.height + covered(destBox, 0) * (scaled ? Limits::scaledBitmapCost : 1));
        if (painter_)
            drawBitmap(bitmap, QRect(int(src.x()), int(src.y()), srcW, srcH), destBox, rop);
    }

    void drawBitmap(const dib::Bitmap& bitmap, QRect src, QRectF dest, std::uint32_t rop)
    {
        QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
        switch ((rop >> 16) & 0xFFu) {
        case ropSrcCopy: break;
        case ropSrcPaint: mode = QPainter::RasterOp_SourceOrDestination; break;
        case ropSrcAnd: mode = QPainter::RasterOp_SourceAndDestination; break;
        case ropSrcInvert: mode = QPainter::RasterOp_SourceXorDestination; break;
        case ropNotSrcCopy: mode = QPainter::RasterOp_NotSource; break;
        default: return;
        }
        if (mode != QPainter::CompositionMode_SourceOver
            && !painter_->paintEngine()->hasFeature(QPaintEngine::RasterOpModes))
            return;

        // A negative source size runs the other way; fold it into the destination.
        if (src.width() < 0) {
            src = QRect(src.x() + src.width(), src.y(), -src.width(), src.height());
            dest = QRectF(dest.right(), dest.y(), -dest.width(), dest.height());
        }
        if (src.height() < 0) {
            src = QRect(src.x(), src.y() + src.height(), src.width(), -src.height());
            dest = QRectF(dest.x(), dest.bottom(), dest.width(), -dest.height());
        }
        if (src.isEmpty() || dest.width() == 0 || dest.height() == 0)
            return;
        // Source rows of a bottom-up bitmap count from its bottom row.
        if (!bitmap.topDown)
            src.moveTop(bitmap.height - src.y() - src.height());
        const QRect clipped = src.intersected(QRect(0, 0, bitmap.width, bitmap.height));
        if (clipped.isEmpty())
            return;
        if (clipped != src) {
            const double fx = dest.width() / src.width();
            const double fy = dest.height() / src.height();
            dest = QRectF(dest.x() + (clipped.x() - src.x()) * fx, dest.y() + (clipped.y() - src.y()) * fy,
                          clipped.width() * fx, clipped.height() * fy);
            src = clipped;
        }

        QImage image = dib::toImage(bitmap);
        if (src != image.rect())
            image = image.copy(src);
        const QTransform toDevice = painter_->worldTransform();
        painter_->save();
        painter_->setCompositionMode(mode);
        const QPointF a = toDevice.map(dest.topLeft());
        const QPointF b = toDevice.map(dest.bottomRight());
        const QRectF device = QRectF(a, b).normalized();
        // Only a bitmap that lies wholly inside the target is scaled ahead:
        // one stretched far past it would cost memory for pixels never shown.
        const QRectF visible = base_.mapRect(target_).adjusted(-1, -1, 1, 1);
        if (toDevice.type() <= QTransform::TxScale && visible.contains(device)) {
            // Land on whole device pixels: a bitmap at its own size is copied
            // exactly, a scaled one is filtered once, over its whole area.
            const QRect pixels(QPoint(qRound(device.left()), qRound(device.top())),
                               QPoint(qRound(device.right()) - 1, qRound(device.bottom()) - 1));
            if (!pixels.isEmpty()) {
                if (b.x() < a.x() || b.y() < a.y())
                    image = image.mirrored(b.x() < a.x(), b.y() < a.y());
                if (image.size() != pixels.size())
                    image = image.scaled(pixels.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                painter_->resetTransform();
                painter_->drawImage(pixels.topLeft(), image);
            }
        } else {
            painter_->setRenderHint(QPainter::SmoothPixmapTransform);
            painter_->drawImage(dest, image);
        }
        painter_->restore();
    }

    QPainter* painter_;
    const Metafile& metafile_;
    QRectF target_;
    QSizeF natural_;
    QTransform base_;
    DcState state_;
    std::vector<DcState> saved_;
    std::vector<std::optional<GdiObject>> objects_;
    std::vector<std::uint16_t> freeSlots_;   // a min-heap of the free slots of objects_
    double drawn_ = 0;                       // what the work budget has counted
};

} // namespace

void render(QPainter& painter, std::span<const std::byte> bytes, const QRectF& target)
{
    const Metafile metafile = read(bytes);
    Player(nullptr, metafile, target).run();
    if (target.isEmpty())
        return;
    Player(&painter, metafile, target).run();
}

bool play(QPainter& painter, std::span<const std::byte> bytes, const QRectF& target)
{
    try {
        render(painter, bytes, target);
        return true;
    } catch (const FormatError&) {
        return false;
    }
}

} // namespace glimmer::wmf
