#include "formats/Scale.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#define GLIMMER_SCALE_SSE2 1
#include <emmintrin.h>
#endif

// Two passes, one along each axis, each a weighted sum of source samples
// per target sample, in integers: the four bytes of a pixel are samples
// alike, whatever they mean. The SSE2 loops compute exactly what the plain
// ones do, only several samples at a time.
namespace glimmer {

namespace {

// Weights are fixed-point fractions of One; those of one target pixel add
// up to exactly One, so that a plain area keeps exactly its colour.
constexpr int WeightBits = 14;
constexpr std::int32_t One = 1 << WeightBits;
// Samples between the two passes keep 7 bits of fraction, so that a sample
// and a weight both fit 16 bits, and two of their products 32.
constexpr int MiddleBits = 7;
// What each pass drops: to the middle samples, and from them to bytes.
constexpr int ToMiddle = WeightBits - MiddleBits;
constexpr int ToBytes = WeightBits + MiddleBits;

// For each target pixel along one axis: the first source pixel it takes and
// the weights of that one and the `taps - 1` after it (zero where it takes
// fewer).
struct Taps {
    int taps = 1;
    std::vector<int> first;
    std::vector<std::int16_t> weights;   // `taps` a target pixel
    // The same weights two by two in 32 bits, the first in the low half; an
    // odd last one with zero.
    std::vector<std::int32_t> pairs;

    const std::int16_t* of(std::size_t target) const noexcept { return weights.data() + target * std::size_t(taps); }
    const std::int32_t* pairsOf(std::size_t target) const noexcept
    {
        return pairs.data() + target * ((std::size_t(taps) + 1) / 2);
    }
};

// Room for `taps` weights for each of `to` target pixels.
Taps withRoom(int taps, int to)
{
    Taps t;
    t.taps = taps;
    t.first.resize(std::size_t(to));
    t.weights.assign(std::size_t(to) * std::size_t(taps), 0);
    return t;
}

// Where a target pixel's weights go: its first source pixel moved left
// where its run would reach past the last one, its weights after as many
// zeros.
std::int16_t* place(Taps& t, std::size_t target, int first, int from)
{
    const int shift = std::max(0, first + t.taps - from);
    t.first[target] = first - shift;
    return t.weights.data() + target * std::size_t(t.taps) + std::size_t(shift);
}

// Shrinking: measured in 1/to of a source pixel, source pixel i spans
// [i·to, (i+1)·to) and target pixel t spans [t·from, (t+1)·from); each source
// pixel weighs what it covers. The weights are rounded on their running
// sum, so that they add up to One.
Taps areaTaps(int from, int to)
{
    const auto firstOf = [&](std::int64_t t) { return t * from / to; };
    const auto lastOf = [&](std::int64_t t) { return ((t + 1) * from - 1) / to; };
    std::int64_t most = 1;
    for (std::int64_t t = 0; t < to; ++t)
        most = std::max(most, lastOf(t) - firstOf(t) + 1);
    Taps taps = withRoom(static_cast<int>(most), to);
    for (std::int64_t t = 0; t < to; ++t) {
        const std::int64_t start = t * from;
        const std::int64_t end = start + from;
        std::int16_t* w = place(taps, std::size_t(t), static_cast<int>(firstOf(t)), from);
        std::int64_t covered = 0;
        std::int64_t given = 0;
        for (std::int64_t i = firstOf(t); i <= lastOf(t); ++i) {
            covered += std::min((i + 1) * to, end) - std::max(i * to, start);
            const std::int64_t upTo = (covered * One + from / 2) / from;
            *w++ = static_cast<std::int16_t>(upTo - given);
            given = upTo;
        }
    }
    return taps;
}

// Growing: each target pixel's centre mapped into the source, between the
// centres of the two source pixels around it; before the first centre or
// past the last, that pixel alone.
Taps linearTaps(int from, int to)
{
    Taps taps = withRoom(std::min(from, 2), to);
    for (std::int64_t t = 0; t < to; ++t) {
        // (t + ½)·from/to − ½, in fractions of One; divided before the
        // fraction is taken, so that no product passes 64 bits.
        const std::int64_t twice = (2 * t + 1) * from - to;
        const std::int64_t span = 2 * std::int64_t{to};
        const std::int64_t at = twice / span * One + twice % span * One / span;
        const std::int64_t i = std::clamp<std::int64_t>(at >> WeightBits, 0, from - 1);
        const std::int64_t fraction = at < 0 || i == from - 1 ? 0 : at & (One - 1);
        std::int16_t* w = place(taps, std::size_t(t), static_cast<int>(i), from);
        w[0] = static_cast<std::int16_t>(One - fraction);
        if (fraction > 0)
            w[1] = static_cast<std::int16_t>(fraction);
    }
    return taps;
}

Taps tapsFor(int from, int to)
{
    Taps t = from > to ? areaTaps(from, to) : linearTaps(from, to);
    const std::size_t perTarget = (std::size_t(t.taps) + 1) / 2;
    t.pairs.resize(t.first.size() * perTarget);
    for (std::size_t x = 0; x < t.first.size(); ++x)
        for (std::size_t j = 0; j < perTarget; ++j) {
            const std::int16_t* w = t.of(x) + 2 * j;
            const std::uint32_t second = 2 * j + 1 < std::size_t(t.taps) ? static_cast<std::uint16_t>(w[1]) : 0u;
            t.pairs[x * perTarget + j] = static_cast<std::int32_t>(static_cast<std::uint16_t>(w[0]) | second << 16);
        }
    return t;
}

template <typename Out>
Out narrow(std::int32_t v)
{
    if constexpr (sizeof(Out) == 1)
        return static_cast<Out>(std::clamp(v, 0, 255));
    else
        return static_cast<Out>(v);
}

// Across a row of pixels: out[4x + c] = Σ w[k]·in[4(first + k) + c],
// rounded and shifted down by `drop` bits.
template <typename In, typename Out>
void acrossPlain(const Taps& t, const In* in, Out* out, int drop)
{
    const std::int32_t half = std::int32_t{1} << (drop - 1);
    for (std::size_t x = 0; x < t.first.size(); ++x) {
        const std::int16_t* w = t.of(x);
        const In* p = in + std::size_t(t.first[x]) * 4;
        for (std::size_t c = 0; c < 4; ++c) {
            std::int32_t sum = half;
            for (std::size_t k = 0; k < std::size_t(t.taps); ++k)
                sum += w[k] * p[4 * k + c];
            out[4 * x + c] = narrow<Out>(sum >> drop);
        }
    }
}

// Down a stack of `count` rows from sample `begin` on: out[i] =
// Σ w[k]·rows[k][i], rounded and shifted down by `drop` bits.
template <typename In, typename Out>
void downPlain(const In* const* rows, const std::int16_t* w, int count, std::size_t begin, std::size_t n, Out* out,
               int drop)
{
    const std::int32_t half = std::int32_t{1} << (drop - 1);
    for (std::size_t i = begin; i < n; ++i) {
        std::int32_t sum = half;
        for (int k = 0; k < count; ++k)
            sum += w[k] * rows[k][i];
        out[i] = narrow<Out>(sum >> drop);
    }
}

#if defined(GLIMMER_SCALE_SSE2)

__m128i shifted(__m128i sum, __m128i drop)
{
    return _mm_sra_epi32(sum, drop);
}

// Four 32-bit sums, shifted and narrowed: to 16-bit samples, or to bytes
// (saturated, as the plain loops clamp).
template <typename Out>
void store4(__m128i sum, __m128i drop, Out* out)
{
    const __m128i words = _mm_packs_epi32(shifted(sum, drop), _mm_setzero_si128());
    if constexpr (sizeof(Out) == 1) {
        const int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
        std::memcpy(out, &bytes, 4);
    } else {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), words);
    }
}

// Sixteen 32-bit sums, as four, shifted and narrowed.
template <typename Out>
void store16(const __m128i (&sum)[4], __m128i drop, Out* out)
{
    const __m128i first = _mm_packs_epi32(shifted(sum[0], drop), shifted(sum[1], drop));
    const __m128i second = _mm_packs_epi32(shifted(sum[2], drop), shifted(sum[3], drop));
    if constexpr (sizeof(Out) == 1) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(first, second));
    } else {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), first);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), second);
    }
}

// Two neighbouring pixels' samples as pairs of 16-bit lanes: the first
// pixel's sample, then the second's, for each of the four.
__m128i pixelPair(const std::uint8_t* p)
{
    const __m128i both = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_unpacklo_epi8(_mm_unpacklo_epi8(both, _mm_srli_si128(both, 4)), _mm_setzero_si128());
}
__m128i pixelPair(const std::int16_t* p)
{
    const __m128i both = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return _mm_unpacklo_epi16(both, _mm_srli_si128(both, 8));
}
// One pixel, paired with zeros.
__m128i pixelAlone(const std::uint8_t* p)
{
    std::int32_t bytes;
    std::memcpy(&bytes, p, 4);
    const __m128i zero = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(bytes), zero), zero);
}
__m128i pixelAlone(const std::int16_t* p)
{
    return _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
}

// Across, with the count of taps fixed for the usual counts so that the
// loop over them unrolls.
template <int FixedTaps, typename In, typename Out>
void acrossFixed(const Taps& t, const In* in, Out* out, int drop)
{
    const int taps = FixedTaps > 0 ? FixedTaps : t.taps;
    const std::size_t pairs = (std::size_t(taps) + 1) / 2;
    const __m128i half = _mm_set1_epi32(std::int32_t{1} << (drop - 1));
    const __m128i shift = _mm_cvtsi32_si128(drop);
    const std::int32_t* w = t.pairs.data();
    const int* first = t.first.data();
    for (std::size_t x = 0, width = t.first.size(); x < width; ++x, w += pairs, out += 4) {
        const In* p = in + std::size_t(first[x]) * 4;
        __m128i sum = half;
        int k = 0;
        for (; k + 1 < taps; k += 2)
            sum = _mm_add_epi32(sum, _mm_madd_epi16(pixelPair(p + 4 * k), _mm_set1_epi32(w[k / 2])));
        if (k < taps)
            sum = _mm_add_epi32(sum, _mm_madd_epi16(pixelAlone(p + 4 * k), _mm_set1_epi32(w[k / 2])));
        store4(sum, shift, out);
    }
}

template <typename In, typename Out>
void acrossFast(const Taps& t, const In* in, Out* out, int drop)
{
    switch (t.taps) {
    case 1: return acrossFixed<1>(t, in, out, drop);
    case 2: return acrossFixed<2>(t, in, out, drop);
    case 3: return acrossFixed<3>(t, in, out, drop);
    case 4: return acrossFixed<4>(t, in, out, drop);
    default: return acrossFixed<0>(t, in, out, drop);
    }
}

// Sixteen samples of two rows as pairs of 16-bit lanes, row a's then row b's.
void rowPairs(const std::uint8_t* a, const std::uint8_t* b, __m128i (&out)[4])
{
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = _mm_unpacklo_epi8(x, y);
    const __m128i high = _mm_unpackhi_epi8(x, y);
    out[0] = _mm_unpacklo_epi8(low, zero);
    out[1] = _mm_unpackhi_epi8(low, zero);
    out[2] = _mm_unpacklo_epi8(high, zero);
    out[3] = _mm_unpackhi_epi8(high, zero);
}
void rowPairs(const std::int16_t* a, const std::int16_t* b, __m128i (&out)[4])
{
    for (int half = 0; half < 2; ++half) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 8 * half));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 8 * half));
        out[2 * half] = _mm_unpacklo_epi16(x, y);
        out[2 * half + 1] = _mm_unpackhi_epi16(x, y);
    }
}

template <typename In, typename Out>
void downFast(const In* const* rows, const Taps& t, std::size_t y, std::size_t n, Out* out, int drop)
{
    const int count = t.taps;
    const std::int32_t* weights = t.pairsOf(y);
    const __m128i half = _mm_set1_epi32(std::int32_t{1} << (drop - 1));
    const __m128i shift = _mm_cvtsi32_si128(drop);
    std::size_t i = 0;
    if (count <= 2) {
        // The usual case: the weights stay in a register.
        const __m128i w = _mm_set1_epi32(weights[0]);
        const In* a = rows[0];
        const In* b = rows[count - 1];
        for (; i + 16 <= n; i += 16) {
            __m128i pairs[4];
            rowPairs(a + i, b + i, pairs);
            const __m128i sum[4] = {_mm_add_epi32(half, _mm_madd_epi16(pairs[0], w)),
                                    _mm_add_epi32(half, _mm_madd_epi16(pairs[1], w)),
                                    _mm_add_epi32(half, _mm_madd_epi16(pairs[2], w)),
                                    _mm_add_epi32(half, _mm_madd_epi16(pairs[3], w))};
            store16(sum, shift, out + i);
        }
    } else if (count <= 4) {
        // Three or four rows, as when shrinking by up to 2.5.
        const __m128i w0 = _mm_set1_epi32(weights[0]);
        const __m128i w1 = _mm_set1_epi32(weights[1]);
        const In* a = rows[0];
        const In* b = rows[1];
        const In* c = rows[2];
        const In* d = rows[count - 1];
        for (; i + 16 <= n; i += 16) {
            __m128i first[4], second[4];
            rowPairs(a + i, b + i, first);
            rowPairs(c + i, d + i, second);
            __m128i sum[4];
            for (int j = 0; j < 4; ++j)
                sum[j] = _mm_add_epi32(_mm_add_epi32(half, _mm_madd_epi16(first[j], w0)), _mm_madd_epi16(second[j], w1));
            store16(sum, shift, out + i);
        }
    } else {
        for (; i + 16 <= n; i += 16) {
            __m128i sum[4] = {half, half, half, half};
            for (int k = 0; k < count; k += 2) {
                // An odd last row pairs with itself at weight zero.
                __m128i pairs[4];
                rowPairs(rows[k] + i, rows[std::min(k + 1, count - 1)] + i, pairs);
                const __m128i w = _mm_set1_epi32(weights[k / 2]);
                for (int j = 0; j < 4; ++j)
                    sum[j] = _mm_add_epi32(sum[j], _mm_madd_epi16(pairs[j], w));
            }
            store16(sum, shift, out + i);
        }
    }
    downPlain(rows, t.of(y), count, i, n, out, drop);
}

#endif

// The loops each pass runs: the plain ones, or the fastest this build has.
template <bool Plain>
struct Loops {
    template <typename In, typename Out>
    static void across(const Taps& t, const In* in, Out* out, int drop)
    {
#if defined(GLIMMER_SCALE_SSE2)
        if constexpr (!Plain)
            return acrossFast(t, in, out, drop);
#endif
        acrossPlain(t, in, out, drop);
    }
    template <typename In, typename Out>
    static void down(const In* const* rows, const Taps& t, std::size_t y, std::size_t n, Out* out, int drop)
    {
#if defined(GLIMMER_SCALE_SSE2)
        if constexpr (!Plain)
            return downFast(rows, t, y, n, out, drop);
#endif
        downPlain(rows, t.of(y), t.taps, 0, n, out, drop);
    }
};
using PlainLoops = Loops<true>;
using FastLoops = Loops<false>;

const std::uint8_t* rowOf(const Image& image, int y)
{
    return reinterpret_cast<const std::uint8_t*>(image.row(y));
}

// Rows first, then across: for targets no taller than their source, so that
// the pass across runs once per target row.
template <typename Loops>
void downThenAcross(const Image& source, const Taps& h, const Taps& v, Image& target)
{
    const std::size_t n = std::size_t(source.width()) * 4;
    std::vector<std::int16_t> middle(n);
    std::vector<const std::uint8_t*> rows(std::size_t(v.taps));
    for (int y = 0; y < target.height(); ++y) {
        for (int k = 0; k < v.taps; ++k)
            rows[std::size_t(k)] = rowOf(source, v.first[std::size_t(y)] + k);
        Loops::down(rows.data(), v, std::size_t(y), n, middle.data(), ToMiddle);
        Loops::across(h, middle.data(), reinterpret_cast<std::uint8_t*>(target.row(y)), ToBytes);
    }
}

// Across first, each source row once, then down: for targets taller than
// their source, whose rows share source rows.
template <typename Loops>
void acrossThenDown(const Image& source, const Taps& h, const Taps& v, Image& target)
{
    const std::size_t n = std::size_t(target.width()) * 4;
    // Source rows across, in slots by row number: a target row takes
    // `taps` rows in a row, and later ones no earlier rows.
    const std::size_t slots = std::size_t(v.taps);
    std::vector<std::int16_t> middle(n * slots);
    std::vector<int> held(slots, -1);
    std::vector<const std::int16_t*> rows(slots);
    for (int y = 0; y < target.height(); ++y) {
        for (int k = 0; k < v.taps; ++k) {
            const int r = v.first[std::size_t(y)] + k;
            const std::size_t slot = std::size_t(r) % slots;
            std::int16_t* row = middle.data() + slot * n;
            if (held[slot] != r) {
                Loops::across(h, rowOf(source, r), row, ToMiddle);
                held[slot] = r;
            }
            rows[std::size_t(k)] = row;
        }
        Loops::down(rows.data(), v, std::size_t(y), n, reinterpret_cast<std::uint8_t*>(target.row(y)), ToBytes);
    }
}

template <typename Loops>
Image scaledWith(const Image& source, Size size)
{
    if (source.isNull() || size.isEmpty())
        return {};
    if (size == source.size())
        return source;
    Image target(size, source.format());
    const Taps h = tapsFor(source.width(), size.width);
    const Taps v = tapsFor(source.height(), size.height);
    if (size.height <= source.height())
        downThenAcross<Loops>(source, h, v, target);
    else
        acrossThenDown<Loops>(source, h, v, target);
    return target;
}

} // namespace

Image scaled(const Image& source, Size size)
{
    return scaledWith<FastLoops>(source, size);
}

Image scaledPlain(const Image& source, Size size)
{
    return scaledWith<PlainLoops>(source, size);
}

} // namespace glimmer
