#pragma once

#include "formats/FormatError.h"

#include "formats/Image.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace glimmer::wmf {

// What we accept from a metafile, in proportion to real previews with a
// wide margin: a real one has 4 records and a 180×180 canvas, and draws
// 32,400 pixels (one 24-bit bitmap record of about 97 KB).
struct Limits {
    static constexpr std::size_t maxBytes = 64u * 1024u * 1024u;   // the size META_HEADER declares
    static constexpr std::size_t maxRecords = 100'000;
    static constexpr int maxCanvas = 4096;                             // window extent, each side, in pixels
    static constexpr std::int64_t maxDibPixels = std::int64_t{4096} * 4096;   // one bitmap in a record
    // The work budget of one playback: pixels of the target that shapes,
    // lines, fills and bitmaps may touch, with their pen (a scaled bitmap's
    // `scaledBitmapCost` times), plus each bitmap's own pixels and
    // `pixelsPerPoint` for every point of a shape. Four full canvases of the
    // largest size; a real preview spends 65,000.
    static constexpr std::int64_t maxPixelsDrawn = std::int64_t{4} * maxCanvas * maxCanvas;
    static constexpr int pixelsPerPoint = 64;
    static constexpr int scaledBitmapCost = 3;
    static constexpr int maxCoordinate = 32767;                        // coordinates are 16-bit
    static constexpr std::size_t maxSavedStates = 4096;                // SAVEDC nesting while playing
};

// Record functions of [MS-WMF] that we read, write or play.
enum RecordFunction : std::uint16_t {
    META_EOF = 0x0000,
    META_SAVEDC = 0x001E,
    META_CREATEPALETTE = 0x00F7,
    META_SETBKMODE = 0x0102,
    META_SETMAPMODE = 0x0103,
    META_SETPOLYFILLMODE = 0x0106,
    META_RESTOREDC = 0x0127,
    META_SELECTOBJECT = 0x012D,
    META_DIBCREATEPATTERNBRUSH = 0x0142,
    META_DELETEOBJECT = 0x01F0,
    META_CREATEPATTERNBRUSH = 0x01F9,
    META_SETBKCOLOR = 0x0201,
    META_SETWINDOWORG = 0x020B,
    META_SETWINDOWEXT = 0x020C,
    META_SETVIEWPORTORG = 0x020D,
    META_SETVIEWPORTEXT = 0x020E,
    META_LINETO = 0x0213,
    META_MOVETO = 0x0214,
    META_CREATEPENINDIRECT = 0x02FA,
    META_CREATEFONTINDIRECT = 0x02FB,
    META_CREATEBRUSHINDIRECT = 0x02FC,
    META_POLYGON = 0x0324,
    META_POLYLINE = 0x0325,
    META_ELLIPSE = 0x0418,
    META_RECTANGLE = 0x041B,
    META_POLYPOLYGON = 0x0538,
    META_PATBLT = 0x061D,
    META_CREATEREGION = 0x06FF,
    META_DIBBITBLT = 0x0940,
    META_DIBSTRETCHBLT = 0x0B41,
    META_STRETCHDIB = 0x0F43,
};

constexpr std::uint32_t placeableKey = 0x9AC6CDD7;
constexpr std::size_t placeableHeaderBytes = 22;
constexpr std::size_t metaHeaderBytes = 18;
constexpr std::size_t recordHeaderBytes = 6;   // size in words (32 bits), function (16 bits)

// The headers in front of the records.
struct Header {
    bool placeable = false;
    Rect bounds;                 // placeable only: the bounding box, logical units
    std::uint16_t inch = 0;      // placeable only: logical units per inch
    std::uint16_t type = 0;      // 1 memory, 2 disk
    std::uint16_t version = 0;   // 0x0100 or 0x0300
    std::uint32_t sizeWords = 0; // the whole metafile from META_HEADER on, in 16-bit words
    std::uint16_t numberOfObjects = 0;
    std::uint32_t maxRecordWords = 0;
};

// One record: its function and the parameters after the record header.
struct Record {
    std::uint16_t function = 0;
    std::size_t offset = 0;                 // of the record header in the input
    std::span<const std::byte> params;      // views the input
};

// A checked metafile: every record lies inside the declared size, which
// lies inside the input; META_EOF ended it (it is not in `records`).
struct Metafile {
    Header header;
    std::vector<Record> records;
};

// Reads and checks a metafile, placeable or not. The records view `bytes`.
// Raises FormatError with the offset of the first fault.
Metafile read(std::span<const std::byte> bytes);

// The picture's size in logical units: the first META_SETWINDOWEXT, else
// the placeable bounding box; nothing when neither gives a non-empty size.
std::optional<Size> windowExtent(const Metafile& metafile);

// The checksum a placeable header carries: the XOR of its first ten 16-bit words.
std::uint16_t placeableChecksum(std::span<const std::byte> header);

} // namespace glimmer::wmf
