#include "fuzz/support/MetafileBombs.h"

#include "formats/MetafileReader.h"

#include <cstdint>
#include <algorithm>

namespace glimmer::seeds {

namespace {

using namespace wmf;

constexpr int canvas = Limits::maxCanvas;
const std::string overBudget = "metafile draws more than " + std::to_string(Limits::maxPixelsDrawn) + " pixels";

// Writes a metafile record by record; bytes() puts the header in front.
class Writer {
public:
    explicit Writer(int objects = 0) : objects_(objects) {}

    Writer& record(std::uint16_t function, const std::vector<int>& params, const std::vector<std::byte>& tail = {})
    {
        const std::size_t words = 3 + params.size() + (tail.size() + 1) / 2;
        u32(static_cast<std::uint32_t>(words));
        u16(function);
        for (int p : params)
            u16(static_cast<std::uint16_t>(p));
        records_.insert(records_.end(), tail.begin(), tail.end());
        if (tail.size() % 2)
            records_.push_back(std::byte{0});
        largest_ = std::max(largest_, words);
        return *this;
    }
    // A canvas of the largest size, a solid brush and a pen of `penWidth`.
    Writer& fullCanvas(int penWidth = 0)
    {
        record(META_SETWINDOWORG, {0, 0}).record(META_SETWINDOWEXT, {canvas, canvas});
        record(META_CREATEBRUSHINDIRECT, {0, 0x00FF, 0, 0}).record(META_SELECTOBJECT, {0});
        return record(META_CREATEPENINDIRECT, {0, penWidth, 0, 0xFF00, 0}).record(META_SELECTOBJECT, {1});
    }
    std::vector<std::byte> bytes() const
    {
        Writer all;
        all.u16(1);   // in memory
        all.u16(metaHeaderBytes / 2);
        all.u16(0x0300);
        all.u32(static_cast<std::uint32_t>((metaHeaderBytes + records_.size() + recordHeaderBytes) / 2));
        all.u16(static_cast<std::uint16_t>(objects_));
        all.u32(static_cast<std::uint32_t>(largest_));
        all.u16(0);
        all.records_.insert(all.records_.end(), records_.begin(), records_.end());
        all.record(META_EOF, {});
        return all.records_;
    }

private:
    void u16(std::uint16_t v)
    {
        records_.push_back(static_cast<std::byte>(v & 0xFF));
        records_.push_back(static_cast<std::byte>(v >> 8));
    }
    void u32(std::uint32_t v)
    {
        u16(static_cast<std::uint16_t>(v & 0xFFFF));
        u16(static_cast<std::uint16_t>(v >> 16));
    }

    std::vector<std::byte> records_;
    int objects_;
    std::size_t largest_ = 3;
};

// A BITMAPINFOHEADER of width × height at 24 bits, and `pixelBytes` zero bytes.
std::vector<std::byte> dib(int width, int height, std::size_t pixelBytes)
{
    std::vector<std::byte> d(40 + pixelBytes);
    const auto put = [&d](std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            d[at + static_cast<std::size_t>(i)] = static_cast<std::byte>((v >> (8 * i)) & 0xFF);
    };
    put(0, 40, 4);
    put(4, static_cast<std::uint32_t>(width), 4);
    put(8, static_cast<std::uint32_t>(height), 4);
    put(12, 1, 2);
    put(14, 24, 2);
    return d;
}

std::string inRecord(const std::string& error, std::uint16_t function)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string hex = "0x0000";
    for (int i = 0; i < 4; ++i)
        hex[5 - static_cast<std::size_t>(i)] = digits[(function >> (4 * i)) & 0xF];
    return error + " (record " + hex + ")";
}

// Points back and forth across the whole canvas.
std::vector<int> zigzag(int points)
{
    std::vector<int> xy;
    for (int i = 0; i < points; ++i) {
        xy.push_back(i % 2 ? canvas : 0);
        xy.push_back(i % canvas);
    }
    return xy;
}

} // namespace

std::vector<MetafileBomb> metafileBombs()
{
    std::vector<MetafileBomb> bombs;
    {
        // A million full-canvas fills once took two hours.
        Writer w(2);
        w.fullCanvas();
        for (int i = 0; i < 100; ++i)
            w.record(META_PATBLT, {0x0021, 0x00F0, canvas, canvas, 0, 0});
        bombs.push_back({"full-canvas-fills", w.bytes(), inRecord(overBudget, META_PATBLT), true});
    }
    {
        // Exactly the budget: four full-canvas fills play.
        Writer w(2);
        w.fullCanvas();
        for (int i = 0; i < 4; ++i)
            w.record(META_PATBLT, {0x0021, 0x00F0, canvas, canvas, 0, 0});
        bombs.push_back({"four-full-canvas-fills", w.bytes(), "", true});
    }
    {
        // Just inside the budget: three ellipses with the widest pen, and
        // one pixel stretched over the canvas (a second is refused).
        Writer w(2);
        w.fullCanvas(32767);
        for (int i = 0; i < 3; ++i)
            w.record(META_ELLIPSE, {canvas - 1, canvas - 1, 0, 0});
        bombs.push_back({"three-wide-pen-ellipses", w.bytes(), "", true});
        Writer b;
        b.record(META_SETWINDOWEXT, {canvas, canvas});
        b.record(META_STRETCHDIB, {0x0020, 0x00CC, 0, 1, 1, 0, 0, canvas, canvas, 0, 0}, dib(1, 1, 4));
        bombs.push_back({"stretched-bitmap", b.bytes(), "", true});
        b.record(META_STRETCHDIB, {0x0020, 0x00CC, 0, 1, 1, 0, 0, canvas, canvas, 0, 0}, dib(1, 1, 4));
        bombs.push_back({"two-stretched-bitmaps", b.bytes(), inRecord(overBudget, META_STRETCHDIB), true});
    }
    {
        // Ellipses drawn with the widest pen once took 1.3 hours.
        Writer w(2);
        w.fullCanvas(32767);
        for (int i = 0; i < 100; ++i)
            w.record(META_ELLIPSE, {canvas, canvas, 0, 0});
        bombs.push_back({"wide-pen-ellipses", w.bytes(), inRecord(overBudget, META_ELLIPSE), true});
    }
    {
        // One pixel stretched over 32767 × 32767 units, again and again.
        Writer w;
        w.record(META_SETWINDOWEXT, {canvas, canvas});
        for (int i = 0; i < 20; ++i)
            w.record(META_STRETCHDIB, {0x0020, 0x00CC, 0, 1, 1, 0, 0, 32767, 32767, -100, -100}, dib(1, 1, 4));
        bombs.push_back({"huge-stretch-blits", w.bytes(), inRecord(overBudget, META_STRETCHDIB), true});
    }
    {
        // A bitmap header that promises more pixels than one record may hold.
        Writer w;
        w.record(META_SETWINDOWEXT, {canvas, canvas});
        w.record(META_STRETCHDIB, {0x0020, 0x00CC, 0, 1, 1, 0, 0, canvas, canvas, 0, 0}, dib(8192, 8192, 4));
        bombs.push_back({"bitmap-over-the-pixel-limit", w.bytes(),
                         inRecord("bitmap of 8192 x 8192 pixels is more than " + std::to_string(Limits::maxDibPixels),
                                  META_STRETCHDIB),
                         true});
    }
    {
        // A polyline of 4,000 points across the canvas with the widest pen.
        Writer w(2);
        w.fullCanvas(32767);
        std::vector<int> params{4000};
        const auto xy = zigzag(4000);
        params.insert(params.end(), xy.begin(), xy.end());
        w.record(META_POLYLINE, params);
        bombs.push_back({"wide-pen-polyline", w.bytes(), inRecord(overBudget, META_POLYLINE), true});
    }
    {
        // A canvas of 32767 × 32767 pixels.
        Writer w;
        w.record(META_SETWINDOWEXT, {32767, 32767});
        bombs.push_back({"largest-canvas", w.bytes(),
                         "metafile canvas of 32767 x 32767 pixels is larger than " + std::to_string(canvas) + " x "
                             + std::to_string(canvas),
                         true});
    }
    {
        // 100 polygons of 400 points each, every edge across the canvas.
        Writer w(2);
        w.fullCanvas();
        std::vector<int> params{100};
        params.insert(params.end(), 100, 400);
        for (int i = 0; i < 100; ++i) {
            const auto xy = zigzag(400);
            params.insert(params.end(), xy.begin(), xy.end());
        }
        w.record(META_POLYPOLYGON, params);
        bombs.push_back({"polypolygon-of-many-points", w.bytes(), inRecord(overBudget, META_POLYPOLYGON)});
    }
    {
        // A million points on one spot: nothing to fill, but each point costs.
        Writer w(2);
        w.fullCanvas();
        std::vector<int> params{17};
        params.insert(params.end(), 17, 65535);
        params.insert(params.end(), std::size_t{17} * 65535 * 2, 0);
        w.record(META_POLYPOLYGON, params);
        bombs.push_back({"a-million-points", w.bytes(), inRecord(overBudget, META_POLYPOLYGON)});
    }
    {
        // Every object slot filled, then the lowest freed and taken again.
        Writer w(65535);
        w.record(META_SETWINDOWEXT, {canvas, canvas});
        for (int i = 0; i < 50'000; ++i)
            w.record(META_CREATEBRUSHINDIRECT, {0, i & 0xFFFF, 0, 0});
        for (int i = 0; i < 24'990; ++i)
            w.record(META_DELETEOBJECT, {i % 100}).record(META_CREATEPENINDIRECT, {0, 1, 0, 0, 0});
        bombs.push_back({"many-objects", w.bytes(), ""});
    }
    {
        // SAVEDC far past the nesting it keeps, then RESTOREDC back down.
        Writer w;
        w.record(META_SETWINDOWEXT, {canvas, canvas});
        for (int i = 0; i < 50'000; ++i)
            w.record(META_SAVEDC, {});
        for (int i = 0; i < 49'990; ++i)
            w.record(META_RESTOREDC, {i % 2 ? -1 : 1});
        bombs.push_back({"save-restore-nesting", w.bytes(), ""});
    }
    {
        // One record over the limit.
        Writer w;
        for (std::size_t i = 0; i <= Limits::maxRecords; ++i)
            w.record(META_SETBKMODE, {1});
        bombs.push_back({"too-many-records", w.bytes(),
                         "metafile has more than " + std::to_string(Limits::maxRecords) + " records"});
    }
    return bombs;
}

} // namespace glimmer::seeds
