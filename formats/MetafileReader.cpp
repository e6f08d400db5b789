#include "formats/MetafileReader.h"

#include <cstdlib>
#include <string>

namespace glimmer::wmf {

namespace {

using Code = FormatError::Code;

Header readPlaceable(ByteReader& in, std::span<const std::byte> bytes)
{
    if (bytes.size() < placeableHeaderBytes)
        throw FormatError(Code::Truncated, "metafile ends inside its placeable header", bytes.size());
    Header h;
    h.placeable = true;
    in.skip(4);   // key
    in.skip(2);   // handle, unused in files
    const int left = in.i16le();
    const int top = in.i16le();
    const int right = in.i16le();
    const int bottom = in.i16le();
    h.bounds = Rect{left, top, right - left, bottom - top};
    h.inch = in.u16le();
    in.skip(4);   // reserved
    const std::uint16_t stored = in.u16le();
    const std::uint16_t computed = placeableChecksum(bytes.first(placeableHeaderBytes));
    if (stored != computed)
        throw FormatError(Code::BadValue,
                          "placeable metafile header checksum is " + std::to_string(stored) + ", expected "
                              + std::to_string(computed),
                          20);
    return h;
}

void readMetaHeader(ByteReader& in, Header& h)
{
    const std::size_t start = in.offset();
    if (in.remaining() < metaHeaderBytes)
        throw FormatError(Code::Truncated, "metafile ends inside its header", in.size());
    h.type = in.u16le();
    if (h.type != 1 && h.type != 2)
        throw FormatError(Code::BadSignature, "not a Windows metafile (header type " + std::to_string(h.type) + ")",
                          start);
    const std::uint16_t headerWords = in.u16le();
    if (headerWords != metaHeaderBytes / 2)
        throw FormatError(Code::BadValue,
                          "metafile header size is " + std::to_string(headerWords) + " words, expected 9",
                          start + 2);
    h.version = in.u16le();
    if (h.version != 0x0100 && h.version != 0x0300)
        throw FormatError(Code::Unsupported, "metafile version " + std::to_string(h.version) + " is not 0x100 or 0x300",
                          start + 4);
    // The size is two 16-bit words, low one first: the same bytes as a 32-bit value.
    h.sizeWords = in.u32le();
    h.numberOfObjects = in.u16le();
    h.maxRecordWords = in.u32le();
    in.skip(2);   // number of members, unused

    const std::uint64_t sizeBytes = std::uint64_t{h.sizeWords} * 2;
    if (sizeBytes > Limits::maxBytes)
        throw FormatError(Code::TooLarge, "metafile claims " + std::to_string(sizeBytes) + " bytes, over the limit",
                          start + 6);
    if (sizeBytes < metaHeaderBytes + recordHeaderBytes)
        throw FormatError(Code::BadValue, "metafile size " + std::to_string(sizeBytes) + " bytes is below its header",
                          start + 6);
    if (sizeBytes > in.size() - start)
        throw FormatError(Code::Truncated,
                          "metafile claims " + std::to_string(sizeBytes) + " bytes but only "
                              + std::to_string(in.size() - start) + " are there",
                          in.size());
}

} // namespace

std::uint16_t placeableChecksum(std::span<const std::byte> header)
{
    ByteReader in(header);
    std::uint16_t sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= in.u16le();
    return sum;
}

std::optional<Size> windowExtent(const Metafile& metafile)
{
    for (const Record& r : metafile.records) {
        if (r.function != META_SETWINDOWEXT)
            continue;
        ByteReader in(r.params);
        if (in.remaining() < 4)
            throw FormatError(Code::Truncated, "window extent record is cut short", r.offset);
        // Y comes first; a negative extent only flips the axis.
        const int y = std::abs(int{in.i16le()});
        const int x = std::abs(int{in.i16le()});
        if (x == 0 || y == 0)
            throw FormatError(Code::BadValue, "window extent is empty", r.offset + recordHeaderBytes);
        return Size{x, y};
    }
    const Rect& box = metafile.header.bounds;
    if (metafile.header.placeable && box.width != 0 && box.height != 0)
        return Size{std::abs(box.width), std::abs(box.height)};
    return std::nullopt;
}

Metafile read(std::span<const std::byte> bytes)
{
    if (bytes.size() < 4)
        throw FormatError(Code::Truncated, "too short for a metafile", bytes.size());

    Metafile mf;
    ByteReader in(bytes);
    if (ByteReader(bytes).u32le() == placeableKey)
        mf.header = readPlaceable(in, bytes);
    const std::size_t start = in.offset();
    readMetaHeader(in, mf.header);

    // Records must stay inside the declared size; bytes after it are not ours.
    const std::size_t end = start + std::size_t{mf.header.sizeWords} * 2;
    ByteReader records(bytes.first(end), in.offset());
    while (true) {
        const std::size_t at = records.offset();
        if (records.remaining() < recordHeaderBytes)
            throw FormatError(Code::Truncated, "metafile ends without an end-of-file record", at);
        const std::uint32_t words = records.u32le();
        const std::uint16_t function = records.u16le();
        if (words < recordHeaderBytes / 2)
            throw FormatError(Code::BadValue, "record size of " + std::to_string(words) + " words is below 3", at);
        const std::uint64_t paramBytes = std::uint64_t{words} * 2 - recordHeaderBytes;
        if (paramBytes > records.remaining())
            throw FormatError(Code::Truncated,
                              "record of " + std::to_string(words) + " words goes beyond the end of the metafile", at);
        const auto params = records.take(static_cast<std::size_t>(paramBytes));
        if (function == META_EOF)
            break;
        if (mf.records.size() >= Limits::maxRecords)
            throw FormatError(Code::TooLarge, "metafile has more than " + std::to_string(Limits::maxRecords) + " records",
                              at);
        mf.records.push_back(Record{function, at, params});
    }
    return mf;
}

} // namespace glimmer::wmf
