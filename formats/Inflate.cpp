#include "formats/Inflate.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

namespace glimmer::inflate {

namespace {

using deflate::Result;

struct Failed {
    Result result;
};

// Bits of the stream, least significant first (RFC 1951, 3.1.1).
class Bits {
public:
    explicit Bits(std::span<const std::uint8_t> in) : in_(in) {}

    // The next `n` (at most 32) bits without taking them; zeros past the end.
    std::uint32_t peek(int n)
    {
        while (count_ <= 56 && pos_ < in_.size()) {
            buffer_ |= std::uint64_t{in_[pos_++]} << count_;
            count_ += 8;
        }
        return static_cast<std::uint32_t>(buffer_ & ((std::uint64_t{1} << n) - 1));
    }
    void drop(int n)
    {
        if (n > count_)
            throw Failed{Result::BadData};   // the stream ends inside a code
        buffer_ >>= n;
        count_ -= n;
    }
    std::uint32_t take(int n)
    {
        const std::uint32_t v = peek(n);
        drop(n);
        return v;
    }
    void alignToByte() { drop(count_ % 8); }
    // Bytes not yet read, the buffered ones included.
    std::size_t bytesLeft() const { return in_.size() - pos_ + static_cast<std::size_t>(count_ / 8); }

private:
    std::span<const std::uint8_t> in_;
    std::size_t pos_ = 0;
    std::uint64_t buffer_ = 0;
    int count_ = 0;
};

constexpr int MaxBits = 15;
constexpr int FastBits = 10;

// A canonical Huffman code: a table for codes of up to FastBits bits, and
// the counts and sorted symbols for the longer ones, read a bit at a time.
class Huffman {
public:
    Huffman(const std::uint8_t* lengths, int n)
    {
        for (int s = 0; s < n; ++s)
            ++counts_[lengths[s]];
        counts_[0] = 0;
        int left = 1;
        for (int len = 1; len <= MaxBits; ++len) {
            left = left * 2 - counts_[static_cast<std::size_t>(len)];
            if (left < 0)
                throw Failed{Result::BadData};   // over-subscribed
        }
        std::array<int, MaxBits + 2> offsets{};
        for (int len = 1; len <= MaxBits; ++len)
            offsets[static_cast<std::size_t>(len + 1)] = offsets[static_cast<std::size_t>(len)] + counts_[static_cast<std::size_t>(len)];
        for (int s = 0; s < n; ++s)
            if (lengths[s] != 0)
                symbols_[static_cast<std::size_t>(offsets[lengths[s]]++)] = static_cast<std::uint16_t>(s);

        // Codes are assigned in order of length, then symbol; the table is
        // indexed by the code's bits as they arrive (reversed).
        int code = 0;
        int index = 0;
        for (int len = 1; len <= FastBits; ++len) {
            for (int k = 0; k < counts_[static_cast<std::size_t>(len)]; ++k, ++code, ++index) {
                int reversed = 0;
                for (int b = 0; b < len; ++b)
                    reversed |= ((code >> b) & 1) << (len - 1 - b);
                const auto entry = static_cast<std::uint16_t>(symbols_[static_cast<std::size_t>(index)] << 4 | len);
                for (int fill = reversed; fill < (1 << FastBits); fill += 1 << len)
                    fast_[static_cast<std::size_t>(fill)] = entry;
            }
            code <<= 1;
        }
    }

    int decode(Bits& bits) const
    {
        const std::uint16_t entry = fast_[bits.peek(FastBits)];
        if (entry != 0) {
            bits.drop(entry & 0xF);
            return entry >> 4;
        }
        // A longer code (or none): canonical decoding, a bit at a time.
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= MaxBits; ++len) {
            code |= static_cast<int>(bits.take(1));
            const int count = counts_[static_cast<std::size_t>(len)];
            if (code - first < count)
                return symbols_[static_cast<std::size_t>(index + code - first)];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        throw Failed{Result::BadData};   // no such code
    }

private:
    std::array<std::uint16_t, 1 << FastBits> fast_{};   // symbol << 4 | length; 0: not in the table
    std::array<int, MaxBits + 1> counts_{};
    std::array<std::uint16_t, 288> symbols_{};
};

constexpr std::array<std::uint16_t, 29> LengthBase{3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                   31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> LengthExtra{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> DistanceBase{1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                                     33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                                     1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> DistanceExtra{0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                     6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

class Inflater {
public:
    Inflater(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) : bits_(in), out_(out) {}

    void run()
    {
        bool last = false;
        while (!last) {
            last = bits_.take(1) != 0;
            switch (bits_.take(2)) {
            case 0:
                stored();
                break;
            case 1:
                fixed();
                break;
            case 2:
                dynamic();
                break;
            default:
                throw Failed{Result::BadData};
            }
        }
    }
    std::size_t written() const { return at_; }
    Bits& bits() { return bits_; }

private:
    void put(std::uint8_t byte)
    {
        if (at_ == out_.size())
            throw Failed{Result::InsufficientSpace};
        out_[at_++] = byte;
    }

    void stored()
    {
        bits_.alignToByte();
        const std::uint32_t length = bits_.take(16);
        if ((bits_.take(16) ^ 0xFFFFu) != length)
            throw Failed{Result::BadData};
        if (length > bits_.bytesLeft())
            throw Failed{Result::BadData};
        for (std::uint32_t i = 0; i < length; ++i)
            put(static_cast<std::uint8_t>(bits_.take(8)));
    }

    void fixed()
    {
        static const auto codes = [] {
            std::array<std::uint8_t, 288 + 30> lengths{};
            std::fill(lengths.begin(), lengths.begin() + 144, 8);
            std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
            std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
            std::fill(lengths.begin() + 280, lengths.begin() + 288, 8);
            std::fill(lengths.begin() + 288, lengths.end(), 5);
            return std::pair<Huffman, Huffman>{Huffman(lengths.data(), 288), Huffman(lengths.data() + 288, 30)};
        }();
        codes_(codes.first, codes.second);
    }

    void dynamic()
    {
        const int literals = static_cast<int>(bits_.take(5)) + 257;
        const int distances = static_cast<int>(bits_.take(5)) + 1;
        const int lengthCodes = static_cast<int>(bits_.take(4)) + 4;
        if (literals > 286 || distances > 30)
            throw Failed{Result::BadData};
        static constexpr std::array<std::uint8_t, 19> Order{16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        std::array<std::uint8_t, 19> lengthLengths{};
        for (int i = 0; i < lengthCodes; ++i)
            lengthLengths[Order[static_cast<std::size_t>(i)]] = static_cast<std::uint8_t>(bits_.take(3));
        const Huffman lengthCode(lengthLengths.data(), 19);

        std::array<std::uint8_t, 286 + 30> lengths{};
        const int total = literals + distances;
        for (int i = 0; i < total;) {
            const int symbol = lengthCode.decode(bits_);
            if (symbol < 16) {
                lengths[static_cast<std::size_t>(i++)] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            std::uint8_t value = 0;
            int repeat = 0;
            if (symbol == 16) {
                if (i == 0)
                    throw Failed{Result::BadData};
                value = lengths[static_cast<std::size_t>(i - 1)];
                repeat = 3 + static_cast<int>(bits_.take(2));
            } else if (symbol == 17) {
                repeat = 3 + static_cast<int>(bits_.take(3));
            } else {
                repeat = 11 + static_cast<int>(bits_.take(7));
            }
            if (i + repeat > total)
                throw Failed{Result::BadData};
            while (repeat-- > 0)
                lengths[static_cast<std::size_t>(i++)] = value;
        }
        if (lengths[256] == 0)
            throw Failed{Result::BadData};   // no end-of-block code
        codes_(Huffman(lengths.data(), literals), Huffman(lengths.data() + literals, distances));
    }

    // The compressed data of one block, to its end-of-block code.
    void codes_(const Huffman& literal, const Huffman& distance)
    {
        for (;;) {
            const int symbol = literal.decode(bits_);
            if (symbol < 256) {
                put(static_cast<std::uint8_t>(symbol));
                continue;
            }
            if (symbol == 256)
                return;
            const auto l = static_cast<std::size_t>(symbol - 257);
            if (l >= LengthBase.size())
                throw Failed{Result::BadData};
            const std::size_t length = LengthBase[l] + bits_.take(LengthExtra[l]);
            const auto d = static_cast<std::size_t>(distance.decode(bits_));
            if (d >= DistanceBase.size())
                throw Failed{Result::BadData};
            const std::size_t back = DistanceBase[d] + bits_.take(DistanceExtra[d]);
            if (back > at_)
                throw Failed{Result::BadData};
            if (length > out_.size() - at_) {
                std::copy_n(out_.begin() + static_cast<std::ptrdiff_t>(at_ - back), out_.size() - at_,
                            out_.begin() + static_cast<std::ptrdiff_t>(at_));
                throw Failed{Result::InsufficientSpace};
            }
            // Byte by byte: a copy may overlap what it writes.
            std::uint8_t* to = out_.data() + at_;
            const std::uint8_t* from = to - back;
            for (std::size_t i = 0; i < length; ++i)
                to[i] = from[i];
            at_ += length;
        }
    }

    Bits bits_;
    std::span<std::uint8_t> out_;
    std::size_t at_ = 0;
};

std::uint32_t adler32(std::span<const std::uint8_t> data)
{
    std::uint32_t a = 1, b = 0;
    while (!data.empty()) {
        const std::size_t n = std::min<std::size_t>(data.size(), 5552);   // no overflow before the modulo
        for (std::size_t i = 0; i < n; ++i) {
            a += data[i];
            b += a;
        }
        a %= 65521;
        b %= 65521;
        data = data.subspan(n);
    }
    return b << 16 | a;
}

} // namespace

Result zlibDecompress(std::span<const std::uint8_t> in, std::span<std::uint8_t> out)
{
    // RFC 1950: method 8 with a window of at most 32 KiB, the header's
    // check bits, no preset dictionary; the Adler-32 of the data at the end.
    if (in.size() < 6 || (in[0] & 0x0F) != 8 || (in[0] >> 4) > 7 || (in[0] << 8 | in[1]) % 31 != 0 || (in[1] & 0x20) != 0)
        return Result::BadData;
    Inflater inflater(in.subspan(2), out);
    try {
        inflater.run();
        Bits& bits = inflater.bits();
        bits.alignToByte();
        std::uint32_t expected = 0;
        for (int i = 0; i < 4; ++i)
            expected = expected << 8 | bits.take(8);
        if (inflater.written() < out.size())
            return Result::ShortOutput;
        if (expected != adler32(out))
            return Result::BadData;
        return Result::Ok;
    } catch (const Failed& f) {
        return f.result;
    }
}

std::vector<std::uint8_t> zlibStore(std::span<const std::uint8_t> in)
{
    const std::span<const std::uint8_t> whole = in;
    std::vector<std::uint8_t> out{0x78, 0x01};
    do {
        const std::size_t n = std::min<std::size_t>(in.size(), 0xFFFF);
        const bool last = n == in.size();
        out.push_back(last ? 1 : 0);
        out.push_back(static_cast<std::uint8_t>(n));
        out.push_back(static_cast<std::uint8_t>(n >> 8));
        out.push_back(static_cast<std::uint8_t>(~n));
        out.push_back(static_cast<std::uint8_t>(~n >> 8));
        out.insert(out.end(), in.begin(), in.begin() + static_cast<std::ptrdiff_t>(n));
        in = in.subspan(n);
    } while (!in.empty());
    const std::uint32_t check = adler32(whole);
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(check >> shift));
    return out;
}

namespace {

// Bits into `out`, least significant first; Huffman codes go most
// significant bit first (RFC 1951, 3.1.1).
class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    void put(std::uint32_t bits, int n)
    {
        buffer_ |= std::uint64_t{bits} << count_;
        count_ += n;
        for (; count_ >= 8; count_ -= 8, buffer_ >>= 8)
            out_.push_back(static_cast<std::uint8_t>(buffer_));
    }
    void putCode(std::uint32_t code, int n)
    {
        std::uint32_t reversed = 0;
        for (int i = 0; i < n; ++i, code >>= 1)
            reversed = reversed << 1 | (code & 1);
        put(reversed, n);
    }
    void flush()
    {
        if (count_ > 0)
            out_.push_back(static_cast<std::uint8_t>(buffer_));
        buffer_ = 0;
        count_ = 0;
    }

private:
    std::vector<std::uint8_t>& out_;
    std::uint64_t buffer_ = 0;
    int count_ = 0;
};

// A literal, a length's code or the end of the block, in the fixed codes.
void putFixed(BitWriter& bits, unsigned symbol)
{
    if (symbol < 144)
        bits.putCode(0x30 + symbol, 8);
    else if (symbol < 256)
        bits.putCode(0x190 + symbol - 144, 9);
    else if (symbol < 280)
        bits.putCode(symbol - 256, 7);
    else
        bits.putCode(0xC0 + symbol - 280, 8);
}

// The code of `value` in a table of bases: the last base not above it.
template <std::size_t N>
std::size_t codeOf(const std::array<std::uint16_t, N>& base, std::size_t value)
{
    return static_cast<std::size_t>(std::upper_bound(base.begin(), base.end(), value) - base.begin()) - 1;
}

void putMatch(BitWriter& bits, std::size_t length, std::size_t distance)
{
    const std::size_t l = length == 258 ? 28 : codeOf(LengthBase, length);
    putFixed(bits, static_cast<unsigned>(257 + l));
    bits.put(static_cast<std::uint32_t>(length - LengthBase[l]), LengthExtra[l]);
    const std::size_t d = codeOf(DistanceBase, distance);
    bits.putCode(static_cast<std::uint32_t>(d), 5);
    bits.put(static_cast<std::uint32_t>(distance - DistanceBase[d]), DistanceExtra[d]);
}

} // namespace

std::vector<std::uint8_t> zlibCompress(std::span<const std::uint8_t> in)
{
    constexpr std::size_t Window = 32768, MinMatch = 3, MaxMatch = 258;
    constexpr int HashBits = 15;
    std::vector<std::uint8_t> out{0x78, 0x01};
    out.reserve(in.size() / 4 + 64);
    BitWriter bits(out);
    bits.put(1, 1);   // the last block,
    bits.put(1, 2);   // of the fixed codes
    // The latest position + 1 of each hash of three bytes; 0: none yet.
    std::vector<std::uint32_t> latest(std::size_t{1} << HashBits, 0);
    const auto hashAt = [&](std::size_t i) {
        const std::uint32_t v = std::uint32_t{in[i]} | std::uint32_t{in[i + 1]} << 8 | std::uint32_t{in[i + 2]} << 16;
        return (v * 2654435761u) >> (32 - HashBits);
    };
    std::size_t i = 0;
    while (i < in.size()) {
        std::size_t length = 0, distance = 0;
        if (i + MinMatch <= in.size()) {
            std::uint32_t& slot = latest[hashAt(i)];
            const std::size_t candidate = slot;
            slot = static_cast<std::uint32_t>(i + 1);
            if (candidate > 0 && i - (candidate - 1) <= Window) {
                const std::size_t from = candidate - 1;
                const std::size_t most = std::min(MaxMatch, in.size() - i);
                while (length < most && in[from + length] == in[i + length])
                    ++length;
                distance = i - from;
            }
        }
        if (length < MinMatch) {
            putFixed(bits, in[i]);
            ++i;
            continue;
        }
        putMatch(bits, length, distance);
        // The positions it covers are found by later matches too.
        const std::size_t end = i + length;
        for (++i; i < end; ++i)
            if (i + MinMatch <= in.size())
                latest[hashAt(i)] = static_cast<std::uint32_t>(i + 1);
    }
    putFixed(bits, 256);
    bits.flush();
    const std::uint32_t check = adler32(in);
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(check >> shift));
    // What does not shrink (noise, already compressed data) is stored.
    return out.size() < in.size() + 11 ? out : zlibStore(in);
}

std::uint32_t crc32(std::span<const std::uint8_t> data)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (const std::uint8_t byte : data)
        c = table[(c ^ byte) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

} // namespace glimmer::inflate
