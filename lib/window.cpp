#include "window.h"

// SSE2, which every x86-64 processor has and 32-bit x86 builds ask for:
// the scans run four values at a time. Elsewhere the plain loops, which
// compilers vectorise for NEON by themselves.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define SNDTOOLS_SSE2 1
#include <emmintrin.h>
#endif

namespace sndtools {

void window_over_region(window *w, const unsigned char *region, int64_t len, nibble_order order,
                        int64_t first, ad_state state, int32_t *values, int64_t capacity)
{
    *w = window{region, nullptr, state, order, first, values, capacity, 2 * first, 2 * first,
                2 * len};
}

void window_over_frames(window *w, byte_source *source, int64_t frames, int32_t *values,
                        int64_t capacity)
{
    *w = window{nullptr, source, ad_state{0, 0}, high_nibble_first, 0, values, capacity, 0, 0,
                frames};
}

void sum_frames(const unsigned char *frames, int64_t n, int32_t *sums)
{
    int64_t f = 0;
#ifdef SNDTOOLS_SSE2
    // Four frames at a time: the sum of each pair of 16-bit samples.
    const __m128i ones = _mm_set1_epi16(1);
    for (; f + 4 <= n; f += 4) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(frames + 4 * f));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(sums + f), _mm_madd_epi16(x, ones));
    }
#endif
    for (; f < n; f++) {
        const unsigned char *p = frames + 4 * f;
        sums[f] = int16_t(uint16_t(p[0] | p[1] << 8)) + int16_t(uint16_t(p[2] | p[3] << 8));
    }
}

void scan_values(const int32_t *values, int64_t n, int32_t *hi, int32_t *lo)
{
    int32_t h = *hi, l = *lo;
    int64_t i = 0;
#ifdef SNDTOOLS_SSE2
    // SSE2 has no 32-bit integer minimum or maximum, but every value here is
    // exact as a float: eight at a time, in two lanes of four each way.
    __m128 h0 = _mm_set1_ps(float(h)), h1 = h0, l0 = _mm_set1_ps(float(l)), l1 = l0;
    for (; i + 8 <= n; i += 8) {
        __m128 a = _mm_cvtepi32_ps(_mm_loadu_si128(reinterpret_cast<const __m128i *>(values + i)));
        __m128 b = _mm_cvtepi32_ps(_mm_loadu_si128(reinterpret_cast<const __m128i *>(values + i + 4)));
        h0 = _mm_max_ps(h0, a);
        h1 = _mm_max_ps(h1, b);
        l0 = _mm_min_ps(l0, a);
        l1 = _mm_min_ps(l1, b);
    }
    float hs[4], ls[4];
    _mm_storeu_ps(hs, _mm_max_ps(h0, h1));
    _mm_storeu_ps(ls, _mm_min_ps(l0, l1));
    for (int k = 0; k < 4; k++) {
        h = int32_t(hs[k]) > h ? int32_t(hs[k]) : h;
        l = int32_t(ls[k]) < l ? int32_t(ls[k]) : l;
    }
#endif
    for (; i < n; i++) {
        l = values[i] < l ? values[i] : l;
        h = values[i] > h ? values[i] : h;
    }
    *hi = h;
    *lo = l;
}

int window_refill(window *w)
{
    int64_t keep = w->end > w->base ? 1 : 0;
    if (keep)
        w->values[0] = w->values[w->end - 1 - w->base];
    w->base = w->end - keep;
    int32_t *into = w->values + keep;
    int64_t room = w->capacity - keep;
    int64_t n;
    if (w->region != nullptr) {
        n = (w->total - w->end) / 2 < room / 2 ? (w->total - w->end) / 2 : room / 2;
        decode_region(&w->decoder, w->region + w->consumed, n, w->order, into);
        w->end += 2 * n;
    } else {
        n = w->total - w->end < room ? w->total - w->end : room;
        unsigned char *frames = reinterpret_cast<unsigned char *>(into);
        const byte_source *from = w->frames;
        if (from->read_at(from->context, 4 * w->end, frames, 4 * n) != 4 * n)
            return 1;
        sum_frames(frames, n, into);
        w->end += n;
    }
    w->consumed += n;
    return 0;
}

void window_move_to(window *w, int64_t k)
{
    if (k < w->base || k > w->end)
        w->base = w->end = k < w->total ? k : w->total;
}

} // namespace sndtools
