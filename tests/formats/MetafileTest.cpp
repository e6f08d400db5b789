#include "formats/CompoundFile.h"
#include "formats/Metafile.h"
#include "formats/MetafilePlayer.h"
#include "formats/MetafileReader.h"
#include "tests/support/BitmapFiles.h"
#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QPainter>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <vector>

using namespace glimmer;
using Code = FormatError::Code;

namespace {

std::span<const std::byte> bytesOf(const QByteArray& a)
{
    return {reinterpret_cast<const std::byte*>(a.constData()), static_cast<std::size_t>(a.size())};
}

// A picture whose every pixel differs from its neighbours.
QImage pattern(QSize size)
{
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            img.setPixel(x, y, qRgb((x * 37 + y * 11) & 0xFF, (x * 5 + y * 71) & 0xFF, (x * y + 3 * x + 7) & 0xFF));
    return img;
}

// Plays into a white canvas; null when play refuses.
QImage playInto(const QByteArray& wmf, QSize canvas, QRectF target = {})
{
    QImage out(canvas, QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter painter(&out);
    if (!wmf::play(painter, bytesOf(wmf), target.isNull() ? QRectF(QPointF(), QSizeF(canvas)) : target))
        return {};
    painter.end();
    return out;
}

bool allWhite(const QImage& img)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != qRgb(255, 255, 255))
                return false;
    return true;
}

void put16(QByteArray& a, qsizetype at, std::uint16_t v)
{
    a[at] = static_cast<char>(v & 0xFF);
    a[at + 1] = static_cast<char>(v >> 8);
}
void put32(QByteArray& a, qsizetype at, std::uint32_t v)
{
    put16(a, at, v & 0xFFFF);
    put16(a, at + 2, static_cast<std::uint16_t>(v >> 16));
}

// Builds a metafile record by record; the header's sizes are filled in by bytes().
class Builder {
public:
    Builder& words(std::uint16_t function, std::initializer_list<int> params)
    {
        std::vector<std::uint16_t> w;
        for (int p : params)
            w.push_back(static_cast<std::uint16_t>(p));
        return raw(function, w, {});
    }
    // A record of 16-bit parameters followed by a tail of bytes (a bitmap).
    Builder& raw(std::uint16_t function, const std::vector<std::uint16_t>& params, const QByteArray& tail)
    {
        QByteArray r(6, '\0');
        for (auto p : params)
            r.append(static_cast<char>(p & 0xFF)).append(static_cast<char>(p >> 8));
        r.append(tail);
        if (r.size() % 2)
            r.append('\0');
        put32(r, 0, static_cast<std::uint32_t>(r.size() / 2));
        put16(r, 4, function);
        maxRecord_ = std::max<std::uint32_t>(maxRecord_, static_cast<std::uint32_t>(r.size() / 2));
        records_.append(r);
        return *this;
    }
    Builder& objects(int n)
    {
        objects_ = n;
        return *this;
    }
    QByteArray bytes() const
    {
        QByteArray out(18, '\0');
        put16(out, 0, 1);
        put16(out, 2, 9);
        put16(out, 4, 0x0300);
        put32(out, 6, static_cast<std::uint32_t>((18 + records_.size() + 6) / 2));
        put16(out, 10, static_cast<std::uint16_t>(objects_));
        put32(out, 12, maxRecord_);
        out.append(records_);
        out.append(QByteArray("\x03\x00\x00\x00\x00\x00", 6));
        return out;
    }

private:
    QByteArray records_;
    int objects_ = 0;
    std::uint32_t maxRecord_ = 3;
};

// A DIB of `bits` per pixel; pixel (x, y) (y from the top) holds colour
// index (x + 2y) mod the table size, or for 16 bits and more the colour
// `direct(x, y)`. `expected` receives the picture as it should play.
QByteArray makeDib(int w, int h, int bits, bool topDown, QImage* expected, bool coreHeader = false)
{
    const int tableSize = bits <= 8 ? (1 << bits) : 0;
    std::vector<QRgb> table;
    for (int i = 0; i < tableSize; ++i)
        table.push_back(qRgb((i * 97) & 0xFF, (i * 31 + 50) & 0xFF, (255 - i * 13) & 0xFF));
    const auto direct = [bits](int x, int y) {
        // 16-bit pixels hold 5 bits a channel: keep values that survive expansion.
        const int r = (x * 40 + 8) & 0xFF, g = (y * 24 + 16) & 0xFF, b = (x * y * 8) & 0xFF;
        if (bits == 16)
            return qRgb((r & 0xF8) | (r >> 5), (g & 0xF8) | (g >> 5), (b & 0xF8) | (b >> 5));
        return qRgb(r, g, b);
    };
    QByteArray dib(coreHeader ? 12 : 40, '\0');
    if (coreHeader) {
        put32(dib, 0, 12);
        put16(dib, 4, static_cast<std::uint16_t>(w));
        put16(dib, 6, static_cast<std::uint16_t>(h));
        put16(dib, 8, 1);
        put16(dib, 10, static_cast<std::uint16_t>(bits));
    } else {
        put32(dib, 0, 40);
        put32(dib, 4, static_cast<std::uint32_t>(w));
        put32(dib, 8, static_cast<std::uint32_t>(topDown ? -h : h));
        put16(dib, 12, 1);
        put16(dib, 14, static_cast<std::uint16_t>(bits));
    }
    for (QRgb c : table) {
        dib.append(static_cast<char>(qBlue(c))).append(static_cast<char>(qGreen(c))).append(static_cast<char>(qRed(c)));
        if (!coreHeader)
            dib.append('\0');
    }
    *expected = QImage(w, h, QImage::Format_RGB32);
    const int rowBytes = ((w * bits + 31) / 32) * 4;
    for (int row = 0; row < h; ++row) {
        const int y = topDown ? row : h - 1 - row;
        QByteArray line(rowBytes, '\0');
        for (int x = 0; x < w; ++x) {
            if (bits <= 8) {
                const int index = (x + 2 * y) % tableSize;
                expected->setPixel(x, y, table[static_cast<std::size_t>(index)]);
                const int bit = x * bits;
                line[bit / 8] = static_cast<char>(line[bit / 8] | (index << (8 - bits - bit % 8)));
                continue;
            }
            const QRgb c = direct(x, y);
            expected->setPixel(x, y, c);
            if (bits == 16) {
                put16(line, 2 * x, static_cast<std::uint16_t>(((qRed(c) >> 3) << 10) | ((qGreen(c) >> 3) << 5) | (qBlue(c) >> 3)));
            } else {
                const int n = bits / 8;
                line[n * x] = static_cast<char>(qBlue(c));
                line[n * x + 1] = static_cast<char>(qGreen(c));
                line[n * x + 2] = static_cast<char>(qRed(c));
            }
        }
        dib.append(line);
    }
    return dib;
}

// A metafile of one bitmap record of the given function, drawn 1:1 over a w×h window.
QByteArray bitmapMetafile(std::uint16_t function, int w, int h, const QByteArray& dib)
{
    Builder b;
    b.words(wmf::META_SETWINDOWORG, {0, 0}).words(wmf::META_SETWINDOWEXT, {h, w});
    const std::uint16_t lo = 0x0020, hi = 0x00CC;   // SRCCOPY
    const auto u = [](int v) { return static_cast<std::uint16_t>(v); };
    switch (function) {
    case wmf::META_DIBBITBLT:
        b.raw(function, {lo, hi, 0, 0, u(h), u(w), 0, 0}, dib);
        break;
    case wmf::META_DIBSTRETCHBLT:
        b.raw(function, {lo, hi, u(h), u(w), 0, 0, u(h), u(w), 0, 0}, dib);
        break;
    default:
        b.raw(function, {lo, hi, 0, u(h), u(w), 0, 0, u(h), u(w), 0, 0}, dib);
        break;
    }
    return b.bytes();
}

QByteArray sha256Rgb(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (int y = 0; y < rgb.height(); ++y)
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(rgb.constScanLine(y)), rgb.width() * 3));
    return hash.result().toHex();
}

} // namespace

TEST(Metafile, ImageRoundTripsExactlyThroughPlaceableFile)
{
    // Odd widths need row padding: 1, 2 and 3 bytes of it.
    for (QSize size : {QSize(1, 1), QSize(2, 3), QSize(3, 2), QSize(5, 7), QSize(180, 180), QSize(181, 17)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        const QImage image = pattern(size);
        const QByteArray wmf = wmf::fromImage(image);
        const QByteArray file = wmf::toPlaceable(bytesOf(wmf), size);
        EXPECT_EQ(file.size(), wmf.size() + 22);

        const wmf::Metafile mf = wmf::read(bytesOf(file));
        EXPECT_TRUE(mf.header.placeable);
        EXPECT_EQ(mf.header.bounds, QRect(QPoint(0, 0), size));
        EXPECT_EQ(mf.header.inch, 96);
        EXPECT_EQ(wmf::naturalSize(bytesOf(file)), size);
        EXPECT_EQ(wmf::naturalSize(bytesOf(wmf)), size);
        EXPECT_EQ(wmf::toPlaceable(bytesOf(file), {}), file) << "already placeable: unchanged";

        EXPECT_EQ(playInto(file, size), image);
        EXPECT_EQ(playInto(wmf, size), image);
    }
}

TEST(Metafile, WriterFlattensTransparencyOntoWhite)
{
    QImage image(2, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(0, 0, 0, 0));
    image.setPixel(1, 0, qRgba(10, 20, 30, 255));
    const QImage played = playInto(wmf::fromImage(image), {2, 1});
    EXPECT_EQ(played.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(played.pixel(1, 0), qRgb(10, 20, 30));
}

TEST(Metafile, WriterRefusesWhatItCannotHold)
{
    const struct {
        const char* name;
        QImage image;
        Code code;
    } cases[] = {
        {"null image", QImage(), Code::BadValue},
        {"wider than 16-bit coordinates", QImage(40000, 1, QImage::Format_Mono), Code::TooLarge},
        {"over the byte limit", QImage(6000, 6000, QImage::Format_Mono), Code::TooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            wmf::fromImage(c.image);
            ADD_FAILURE() << "no error";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.code(), c.code) << e.what();
        }
    }
}

TEST(Metafile, DamagedMetafilesGiveNamedErrorsAndDrawNothing)
{
    const QByteArray good = wmf::fromImage(pattern({7, 5}));
    const QByteArray placeable = wmf::toPlaceable(bytesOf(good), {7, 5});
    const qsizetype firstRecord = 18;                       // SETWINDOWORG
    const qsizetype dibRecord = 18 + 10 + 10;               // STRETCHDIB
    const qsizetype eof = good.size() - 6;
    const auto edit = [](QByteArray a, const std::function<void(QByteArray&)>& f) {
        f(a);
        return a;
    };
    Builder bomb;
    for (std::size_t i = 0; i <= wmf::Limits::maxRecords; ++i)
        bomb.words(wmf::META_SETBKMODE, {1});

    const struct {
        const char* name;
        QByteArray bytes;
        Code code;
    } cases[] = {
        {"empty", QByteArray(), Code::Truncated},
        {"three bytes", good.left(3), Code::Truncated},
        {"cut inside the header", good.left(10), Code::Truncated},
        {"header only", good.left(18), Code::Truncated},
        {"cut inside a record", good.left(dibRecord + 100), Code::Truncated},
        {"cut before the end record", good.left(eof), Code::Truncated},
        {"not a metafile", QByteArray("\x89PNG\r\n\x1a\n and more bytes to pass the header", 40), Code::BadSignature},
        {"header size 10 words", edit(good, [](QByteArray& a) { put16(a, 2, 10); }), Code::BadValue},
        {"version 0x200", edit(good, [](QByteArray& a) { put16(a, 4, 0x0200); }), Code::Unsupported},
        {"size below the header", edit(good, [](QByteArray& a) { put32(a, 6, 5); }), Code::BadValue},
        {"size a billion words", edit(good, [](QByteArray& a) { put32(a, 6, 1'000'000'000); }), Code::TooLarge},
        {"size one word short", edit(good, [&](QByteArray& a) { put32(a, 6, static_cast<std::uint32_t>(good.size() / 2 - 1)); }), Code::Truncated},
        {"record size 0", edit(good, [&](QByteArray& a) { put32(a, firstRecord, 0); }), Code::BadValue},
        {"record size 2", edit(good, [&](QByteArray& a) { put32(a, firstRecord, 2); }), Code::BadValue},
        {"record size beyond the end", edit(good, [&](QByteArray& a) { put32(a, dibRecord, 0x7FFFFFFF); }), Code::Truncated},
        {"no end record", edit(good, [&](QByteArray& a) { put16(a, eof + 4, wmf::META_SETBKMODE); }), Code::Truncated},
        {"placeable checksum wrong", edit(placeable, [](QByteArray& a) { a[20] = static_cast<char>(a[20] ^ 1); }), Code::BadValue},
        {"placeable bounds changed", edit(placeable, [](QByteArray& a) { put16(a, 10, 8); }), Code::BadValue},
        {"cut inside the placeable header", placeable.left(21), Code::Truncated},
        {"one record over the limit", bomb.bytes(), Code::TooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            wmf::read(bytesOf(c.bytes));
            ADD_FAILURE() << "read: no error";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.code(), c.code) << e.what();
        }
        EXPECT_THROW(wmf::naturalSize(bytesOf(c.bytes)), FormatError);
        EXPECT_THROW(wmf::toPlaceable(bytesOf(c.bytes), {7, 5}), FormatError);
        const QImage played = playInto(c.bytes, {7, 5});
        EXPECT_TRUE(played.isNull()) << "play accepted it";
    }
}

TEST(Metafile, DamagedRecordsStopPlaybackBeforeAnythingIsDrawn)
{
    QImage expected;
    const QByteArray dib = makeDib(4, 3, 24, false, &expected);
    const auto withDib = [&](const std::function<void(QByteArray&)>& f) {
        QByteArray d = dib;
        f(d);
        return d;
    };
    // Each metafile first fills the window black, then holds the damaged record.
    const auto after = [](const std::function<void(Builder&)>& damaged) {
        Builder b;
        b.objects(1).words(wmf::META_SETWINDOWEXT, {3, 4});
        b.words(wmf::META_CREATEBRUSHINDIRECT, {0, 0, 0, 0}).words(wmf::META_SELECTOBJECT, {0});
        b.words(wmf::META_RECTANGLE, {3, 4, 0, 0});
        damaged(b);
        return b.bytes();
    };
    const auto bitmap = [&](const QByteArray& d) {
        return after([&](Builder& b) { b.raw(wmf::META_DIBBITBLT, {0x0020, 0x00CC, 0, 0, 3, 4, 0, 0}, d); });
    };

    const struct {
        const char* name;
        QByteArray bytes;
        Code code;
    } cases[] = {
        {"pixels beyond the record", bitmap(withDib([](QByteArray& d) { put32(d, 8, 30); })), Code::Truncated},
        {"header cut off", bitmap(dib.left(20)), Code::Truncated},
        {"header size 20", bitmap(withDib([](QByteArray& d) { put32(d, 0, 20); })), Code::BadValue},
        {"header size beyond the record", bitmap(withDib([](QByteArray& d) { put32(d, 0, 1000); })), Code::Truncated},
        {"width 0", bitmap(withDib([](QByteArray& d) { put32(d, 4, 0); })), Code::BadValue},
        {"negative width", bitmap(withDib([](QByteArray& d) { put32(d, 4, 0xFFFFFFFC); })), Code::BadValue},
        {"height INT_MIN", bitmap(withDib([](QByteArray& d) { put32(d, 8, 0x80000000); })), Code::BadValue},
        {"a million squared", bitmap(withDib([](QByteArray& d) { put32(d, 4, 1'000'000); put32(d, 8, 1'000'000); })), Code::TooLarge},
        {"two planes", bitmap(withDib([](QByteArray& d) { put16(d, 12, 2); })), Code::BadValue},
        {"300 colours for 8 bits", bitmap(withDib([](QByteArray& d) { put16(d, 14, 8); put32(d, 32, 300); })), Code::BadValue},
        {"bitmap record cut before the bitmap", after([](Builder& b) { b.words(wmf::META_DIBBITBLT, {0x0020, 0x00CC, 0, 0}); }), Code::Truncated},
        {"polyline of more points than it holds", after([](Builder& b) { b.words(wmf::META_POLYLINE, {100, 0, 0, 1, 1}); }), Code::Truncated},
        {"polygon of a negative count", after([](Builder& b) { b.words(wmf::META_POLYGON, {-2, 0, 0}); }), Code::BadValue},
        {"polypolygon counts beyond the record", after([](Builder& b) { b.words(wmf::META_POLYPOLYGON, {2, 3}); }), Code::Truncated},
        {"rectangle cut short", after([](Builder& b) { b.words(wmf::META_RECTANGLE, {1, 2}); }), Code::Truncated},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QImage canvas(4, 3, QImage::Format_RGB32);
        canvas.fill(Qt::white);
        QPainter painter(&canvas);
        try {
            wmf::render(painter, bytesOf(c.bytes), QRectF(0, 0, 4, 3));
            ADD_FAILURE() << "render: no error";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.code(), c.code) << e.what();
            EXPECT_GT(e.offset(), 18u) << "the offset points into the records";
        }
        EXPECT_FALSE(wmf::play(painter, bytesOf(c.bytes), QRectF(0, 0, 4, 3)));
        painter.end();
        EXPECT_TRUE(allWhite(canvas)) << "drew before failing";
        EXPECT_EQ(wmf::naturalSize(bytesOf(c.bytes)), QSize(4, 3)) << "the structure itself reads";
    }
}

TEST(Metafile, BitmapKindsAndRecordsPlayPixelExact)
{
    const struct {
        int bits;
        bool topDown;
        bool core;
    } kinds[] = {{1, false, false}, {4, false, false}, {8, false, false}, {8, true, false}, {16, false, false},
                 {24, false, false}, {24, true, false}, {32, false, false}, {32, true, false}, {8, false, true},
                 {24, false, true}};
    for (std::uint16_t function : {wmf::META_DIBBITBLT, wmf::META_DIBSTRETCHBLT, wmf::META_STRETCHDIB}) {
        for (const auto& k : kinds) {
            SCOPED_TRACE(testing::Message() << "function " << function << ", " << k.bits << " bits"
                                            << (k.topDown ? ", top-down" : "") << (k.core ? ", core header" : ""));
            QImage expected;
            const int w = 13, h = 6;   // 13 pixels: every row needs padding at some depth
            const QByteArray wmf = bitmapMetafile(function, w, h, makeDib(w, h, k.bits, k.topDown, &expected, k.core));
            EXPECT_EQ(playInto(wmf, {w, h}), expected);
        }
    }
    // Compressed, bit-field and version 5 bitmaps, packed as a bitmap file holds them.
    const test::BitmapFormat packed[] = {{8, 1}, {4, 2}, {16, 3, false, 40, 0xF800, 0x07E0, 0x001F},
                                         {32, 3, false, 108, 0x0000FF, 0x00FF00, 0xFF0000}, {24, 0, false, 124}};
    for (const auto& f : packed) {
        SCOPED_TRACE(testing::Message() << f.bitCount << " bits, compression " << f.compression);
        const QImage picture = test::cornerPicture(13, 6);
        const QByteArray dib = test::makeBitmapFile(picture, f).mid(14);
        EXPECT_EQ(playInto(bitmapMetafile(wmf::META_STRETCHDIB, 13, 6, dib), {13, 6}), picture);
    }
}

TEST(Metafile, UnsupportedBitmapIsSkippedNotFatal)
{
    QImage expected;
    QByteArray dib = makeDib(4, 3, 8, false, &expected);
    put32(dib, 16, 4);   // BI_JPEG
    const QImage played = playInto(bitmapMetafile(wmf::META_STRETCHDIB, 4, 3, dib), {4, 3});
    ASSERT_FALSE(played.isNull());
    EXPECT_TRUE(allWhite(played));
}

TEST(Metafile, SourceRectangleOfABottomUpBitmapCountsFromItsBottom)
{
    QImage full;
    const QByteArray dib = makeDib(6, 4, 24, false, &full);
    // Source (1, 0) 3×2 of a bottom-up bitmap of 4 rows: its bottom two rows.
    Builder b;
    b.words(wmf::META_SETWINDOWEXT, {2, 3});
    b.raw(wmf::META_DIBSTRETCHBLT, {0x0020, 0x00CC, 2, 3, 0, 1, 2, 3, 0, 0}, dib);
    EXPECT_EQ(playInto(b.bytes(), {3, 2}), full.copy(1, 2, 3, 2));
}

TEST(Metafile, ScaledBitmapsAreSmoothAndFillTheTarget)
{
    // A one-pixel checkerboard shrunk by half averages to grey everywhere.
    QImage board(180, 180, QImage::Format_RGB32);
    for (int y = 0; y < 180; ++y)
        for (int x = 0; x < 180; ++x)
            board.setPixel(x, y, (x + y) % 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    const QImage half = playInto(wmf::fromImage(board), {90, 90});
    for (QPoint p : {QPoint(0, 0), QPoint(45, 45), QPoint(89, 89)}) {
        const QRgb c = half.pixel(p);
        EXPECT_NEAR(qGray(c), 128, 8) << p.x() << "," << p.y();
    }

    // Doubled, black beside white: the edges keep their colour, the seam blends.
    QImage pair(2, 1, QImage::Format_RGB32);
    pair.setPixel(0, 0, qRgb(0, 0, 0));
    pair.setPixel(1, 0, qRgb(255, 255, 255));
    QImage canvas(10, 4, QImage::Format_RGB32);
    canvas.fill(qRgb(255, 0, 0));
    QPainter painter(&canvas);
    ASSERT_TRUE(wmf::play(painter, bytesOf(wmf::fromImage(pair)), QRectF(1, 1, 8, 2)));
    painter.end();
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(255, 0, 0)) << "outside the target untouched";
    EXPECT_EQ(canvas.pixel(9, 3), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(1, 1), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(8, 2), qRgb(255, 255, 255));
    const int seam = qGray(canvas.pixel(4, 1));
    EXPECT_GT(seam, 10);
    EXPECT_LT(seam, 245);
}

TEST(Metafile, BitmapStretchedFarPastTheTargetFillsWhatShows)
{
    // One pixel spread over 32767 window units of one target pixel each
    // would be a picture of 10^9 pixels if it were scaled ahead.
    QImage one;
    const QByteArray dib = makeDib(1, 1, 24, false, &one);
    Builder b;
    b.words(wmf::META_SETWINDOWEXT, {1, 1});
    b.raw(wmf::META_STRETCHDIB, {0x0020, 0x00CC, 0, 1, 1, 0, 0, 32767, 32767, 0xFF9C, 0xFF9C}, dib);   // at (-100, -100)
    const QImage played = playInto(b.bytes(), {10, 10});
    ASSERT_FALSE(played.isNull());
    EXPECT_EQ(played.pixel(0, 0), one.pixel(0, 0));
    EXPECT_EQ(played.pixel(9, 9), one.pixel(0, 0));
}

TEST(Metafile, BitmapAtNaturalSizeIsExactAtAnOffset)
{
    const QImage image = pattern({9, 4});
    QImage canvas(20, 10, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    ASSERT_TRUE(wmf::play(painter, bytesOf(wmf::fromImage(image)), QRectF(5, 3, 9, 4)));
    painter.end();
    EXPECT_EQ(canvas.copy(5, 3, 9, 4), image);
    EXPECT_EQ(canvas.pixel(4, 3), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(14, 3), qRgb(255, 255, 255));
}

TEST(Metafile, DrawingRecordsUseTheObjectTableAndDeviceContext)
{
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), white = qRgb(255, 255, 255), black = qRgb(0, 0, 0);
    // A solid brush of colour (r, g, b); a null pen.
    const auto brush = [](Builder& b, int r, int g, int bl) {
        b.words(wmf::META_CREATEBRUSHINDIRECT, {0, r | (g << 8), bl, 0});
    };
    const auto nullPen = [](Builder& b) { b.words(wmf::META_CREATEPENINDIRECT, {5, 0, 0, 0, 0}); };
    const struct {
        const char* name;
        std::function<void(Builder&)> records;
        QPoint probe;   // in the 200×200 canvas; the window is 100×100
        QRgb colour;
    } cases[] = {
        {"rectangle filled with the selected brush",
         [&](Builder& b) { nullPen(b); brush(b, 255, 0, 0); b.words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_RECTANGLE, {50, 50, 10, 10}); },
         {60, 60}, red},
        {"outside the rectangle stays white",
         [&](Builder& b) { nullPen(b); brush(b, 255, 0, 0); b.words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_RECTANGLE, {50, 50, 10, 10}); },
         {150, 150}, white},
        {"a deleted slot is reused by the next object",
         [&](Builder& b) {
             brush(b, 255, 0, 0);   // slot 0
             nullPen(b);            // slot 1
             b.words(wmf::META_DELETEOBJECT, {0});
             brush(b, 0, 0, 255);   // slot 0 again
             b.words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_RECTANGLE, {100, 100, 0, 0});
         },
         {100, 100}, blue},
        {"a font holds a slot too",
         [&](Builder& b) {
             b.words(wmf::META_CREATEFONTINDIRECT, {12, 0, 0, 0, 400, 0, 0, 0, 0});   // slot 0
             brush(b, 0, 0, 255);                                                     // slot 1
             nullPen(b);                                                              // slot 2
             b.words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_SELECTOBJECT, {2}).words(wmf::META_RECTANGLE, {100, 100, 0, 0});
         },
         {100, 100}, blue},
        {"selecting an empty slot changes nothing",
         [&](Builder& b) { nullPen(b); b.words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SELECTOBJECT, {7}).words(wmf::META_RECTANGLE, {100, 100, 0, 0}); },
         {100, 100}, white},
        {"RESTOREDC -1 brings back the saved brush",
         [&](Builder& b) {
             brush(b, 255, 0, 0); brush(b, 0, 0, 255); nullPen(b);
             b.words(wmf::META_SELECTOBJECT, {2}).words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SAVEDC, {});
             b.words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_RESTOREDC, {-1}).words(wmf::META_ELLIPSE, {100, 100, 0, 0});
         },
         {100, 100}, red},
        {"RESTOREDC -1 takes the newest of two saves",
         [&](Builder& b) {
             brush(b, 255, 0, 0); brush(b, 0, 0, 255); nullPen(b);
             b.words(wmf::META_SELECTOBJECT, {2}).words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SAVEDC, {});
             b.words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_SAVEDC, {}).words(wmf::META_SELECTOBJECT, {0});
             b.words(wmf::META_RESTOREDC, {-1}).words(wmf::META_RECTANGLE, {100, 100, 0, 0});
         },
         {100, 100}, blue},
        {"RESTOREDC 1 takes the oldest save",
         [&](Builder& b) {
             brush(b, 255, 0, 0); brush(b, 0, 0, 255); nullPen(b);
             b.words(wmf::META_SELECTOBJECT, {2}).words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SAVEDC, {});
             b.words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_SAVEDC, {});
             b.words(wmf::META_RESTOREDC, {1}).words(wmf::META_RECTANGLE, {100, 100, 0, 0});
         },
         {100, 100}, red},
        {"polygon of the current brush",
         [&](Builder& b) { nullPen(b); brush(b, 0, 0, 255); b.words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_POLYGON, {3, 0, 0, 100, 0, 0, 100}); },
         {40, 40}, blue},
        {"polypolygon's second ring is a hole",
         [&](Builder& b) {
             nullPen(b); brush(b, 0, 0, 255);
             b.words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SELECTOBJECT, {1});
             b.words(wmf::META_POLYPOLYGON, {2, 4, 4, 0, 0, 100, 0, 100, 100, 0, 100, 25, 25, 75, 25, 75, 75, 25, 75});
         },
         {100, 100}, white},
        {"a wide line from MOVETO to LINETO",
         [&](Builder& b) { b.words(wmf::META_CREATEPENINDIRECT, {0, 4, 0, 0, 0}).words(wmf::META_SELECTOBJECT, {0}); b.words(wmf::META_MOVETO, {50, 0}).words(wmf::META_LINETO, {50, 100}); },
         {120, 100}, black},
        {"the window origin moves the drawing",
         [&](Builder& b) { nullPen(b); brush(b, 255, 0, 0); b.words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_SETWINDOWORG, {50, 50}).words(wmf::META_RECTANGLE, {100, 100, 50, 50}); },
         {20, 20}, red},
        {"PATBLT with PATCOPY fills with the brush",
         [&](Builder& b) { brush(b, 0, 0, 255); b.words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_PATBLT, {0x0021, 0x00F0, 100, 100, 0, 0}); },
         {199, 199}, blue},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Builder b;
        b.objects(4).words(wmf::META_SETWINDOWEXT, {100, 100});
        c.records(b);
        const QImage played = playInto(b.bytes(), {200, 200});
        ASSERT_FALSE(played.isNull());
        EXPECT_EQ(played.pixel(c.probe), c.colour) << std::hex << played.pixel(c.probe);
    }
}

TEST(Metafile, DrawingStaysInsideTheTarget)
{
    Builder b;
    b.objects(1).words(wmf::META_SETWINDOWEXT, {10, 10});
    b.words(wmf::META_CREATEBRUSHINDIRECT, {0, 255, 0, 0}).words(wmf::META_SELECTOBJECT, {0});
    b.words(wmf::META_RECTANGLE, {50, 50, -50, -50});
    QImage canvas(30, 30, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    ASSERT_TRUE(wmf::play(painter, bytesOf(b.bytes()), QRectF(5, 5, 10, 10)));
    painter.end();
    EXPECT_EQ(canvas.pixel(10, 10), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(2, 2), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(20, 20), qRgb(255, 255, 255));
}

TEST(Metafile, RandomDamageNeverCrashes)
{
    // Bytes flipped at random in a metafile of every record kind we play:
    // each copy must either play or be refused, never crash or overrun
    // (run under the asan preset to see the latter).
    QImage unused;
    Builder b;
    b.objects(3).words(wmf::META_SETWINDOWORG, {0, 0}).words(wmf::META_SETWINDOWEXT, {6, 9});
    b.words(wmf::META_CREATEPENINDIRECT, {0, 1, 0, 255, 0}).words(wmf::META_CREATEBRUSHINDIRECT, {2, 255, 0, 3});
    b.words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_SAVEDC, {});
    b.words(wmf::META_POLYPOLYGON, {2, 3, 3, 0, 0, 5, 0, 0, 5, 1, 1, 4, 1, 1, 4});
    b.words(wmf::META_POLYLINE, {3, 0, 0, 8, 5, 2, 3}).words(wmf::META_ELLIPSE, {6, 9, 0, 0});
    b.words(wmf::META_RESTOREDC, {-1}).words(wmf::META_DELETEOBJECT, {0});
    b.raw(wmf::META_STRETCHDIB, {0x0020, 0x00CC, 0, 6, 9, 0, 0, 6, 9, 0, 0}, makeDib(9, 6, 4, false, &unused));
    b.raw(wmf::META_DIBBITBLT, {0x0020, 0x00CC, 0, 0, 6, 9, 0, 0}, makeDib(9, 6, 1, true, &unused));
    const QByteArray good = wmf::toPlaceable(bytesOf(b.bytes()), {9, 6});

    std::uint32_t seed = 12345;
    const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    int refused = 0;
    for (int i = 0; i < 3000; ++i) {
        QByteArray bad = good;
        for (int n = 1 + int(next() % 4); n > 0; --n)
            bad[qsizetype(next() % std::uint32_t(bad.size()))] = char(next() >> 24);
        if (next() % 8 == 0)
            bad.truncate(qsizetype(next() % std::uint32_t(bad.size())));
        if (playInto(bad, {9, 6}).isNull())
            ++refused;
    }
    EXPECT_GT(refused, 0);
    EXPECT_LT(refused, 3000);
}

// Reads the metafile out of property 17 of a fixture's summary set, finding
// it by its header (the property-set reader lives elsewhere).
static QByteArray fixtureMetafile(const std::filesystem::path& path)
{
    const CompoundFile file(path.string());
    QByteArray found;
    for (const char* name : {"\x05SummaryInformation", "\x05Zrxrt4arFafyu34gYa3l3ohgHg"}) {
        if (!file.contains(name))
            continue;
        const auto bytes = file.read(name);
        const QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
        const qsizetype at = data.indexOf(QByteArray("\x01\x00\x09\x00\x00\x03", 6));
        if (at >= 0)
            found = data.mid(at);
    }
    return found;
}

TEST(Metafile, FixturePreviewsPlayToTheirKnownPixels)
{
    GLIMMER_REQUIRE_FIXTURES();
    int played = 0;
    for (const auto& doc : test::fixtureDocuments()) {
        const QByteArray wmf = fixtureMetafile(test::fixturePath(doc));
        if (wmf.isEmpty())
            continue;
        SCOPED_TRACE(doc.path);
        ++played;
        const QSize size = wmf::naturalSize(bytesOf(wmf));
        EXPECT_EQ(size, QSize(doc.previewSize, doc.previewSize));
        EXPECT_EQ(sha256Rgb(playInto(wmf, size)), QByteArray(doc.pixelSha256));
        // Written out as a file and read back, the picture is the same.
        const QByteArray file = wmf::toPlaceable(bytesOf(wmf), size);
        EXPECT_EQ(sha256Rgb(playInto(file, size)), QByteArray(doc.pixelSha256));
    }
    EXPECT_EQ(played, 5) << "the fixtures hold five metafile previews";
}
