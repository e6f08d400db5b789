// Fuzz target: the JPEG writer's handling of its parameter record. The bytes
// choose the sizes, the pad bytes, the row order, the quality, the sampling
// and the output buffer (down to a byte); the pixel and output buffers are
// exactly as large as the record says, so that any access beyond them is
// caught. ijlWrite must return a code and never write beyond JPGSizeBytes.
#include "jpeg/IJL.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Reads the fuzz input as a stream of small numbers; zeros once it runs out.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(byte() | byte() << 8); }
    const std::uint8_t* rest(std::size_t& n) const
    {
        n = size_ - pos_;
        return data_ + pos_;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace glimmer;
    Input in(data, size);
    const std::uint8_t flags = in.byte();
    const std::int32_t width = in.byte() % 97;                 // 0 is refused
    const std::int32_t rows = in.byte() % 97;
    const std::int32_t pad = static_cast<std::int8_t>(in.byte()) % 9;   // -8..8: negative is refused
    const std::int32_t quality = static_cast<std::int8_t>(in.byte());   // beyond 1..100 is refused
    const std::int32_t capacity = in.u16() % 20000;            // down to nothing
    const bool bottomUp = flags & 1;
    const bool half = flags & 2;

    JPEG_CORE_PROPERTIES record{};
    if (ijlInit(&record) != IjlOk)
        std::abort();

    // The pixels exactly as large as the record describes, or a little less
    // when the input says so: the writer is told the truth or a lie.
    const std::int64_t rowBytes = std::int64_t{width} * 3;
    const std::int64_t stride = rowBytes + (pad > 0 ? pad : 0);
    const std::int64_t pixelBytes = rows > 0 && width > 0 ? stride * (rows - 1) + rowBytes : 0;
    std::vector<std::byte> pixels(static_cast<std::size_t>(pixelBytes) + 1);
    std::size_t n = 0;
    const std::uint8_t* fill = in.rest(n);
    std::memcpy(pixels.data(), fill, std::min<std::size_t>(n, pixels.size()));
    std::vector<std::byte> jpeg(static_cast<std::size_t>(capacity));

    record.DIBBytes = (flags & 4) ? nullptr : pixels.data();
    record.DIBWidth = width;
    record.DIBHeight = bottomUp ? -rows : rows;
    record.DIBPadBytes = pad;
    record.dibChannels = (flags & 8) ? 4 : 3;
    record.JPGWidth = (flags & 16) ? width + 1 : width;
    record.JPGHeight = rows;
    record.jquality = quality;
    record.chroma = half ? IjlChroma::Half : IjlChroma::Full;
    record.JPGBytes = capacity > 0 ? jpeg.data() : nullptr;
    record.JPGSizeBytes = capacity;

    const std::int32_t code = ijlWrite(&record, (flags & 32) ? 0 : IJL_JBUFF_WRITEWHOLEIMAGE);
    if (code == IjlOk && (record.JPGSizeBytes <= 0 || record.JPGSizeBytes > capacity))
        std::abort();   // a stream length outside the buffer
    if (!ijlErrorStr(code))
        std::abort();   // every code we return has a text
    ijlFree(&record);
    return 0;
}
