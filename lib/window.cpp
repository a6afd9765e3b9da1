#include "window.h"

void window_over_region(window *w, const unsigned char *region, int64_t len, nibble_order order,
                        ad_state state, int32_t *values, int64_t capacity)
{
    *w = window{source_region, region, nullptr, nullptr, state, order, 0, values, capacity,
                0, 0, 2 * len};
}

void window_over_frames(window *w, FILE *file, const unsigned char *bytes, int64_t frames,
                        int32_t *values, unsigned char *frame_bytes, int64_t capacity)
{
    *w = window{file ? source_wav_file : source_wav_memory, bytes, file, frame_bytes,
                ad_state{0, 0}, high_nibble_first, 0, values, capacity, 0, 0, frames};
}

void sum_frames(const unsigned char *frames, int64_t n, int32_t *sums)
{
    for (int64_t f = 0; f < n; f++) {
        const unsigned char *p = frames + 4 * f;
        sums[f] = int16_t(uint16_t(p[0] | p[1] << 8)) + int16_t(uint16_t(p[2] | p[3] << 8));
    }
}

void scan_values(const int32_t *values, int64_t n, int32_t *hi, int32_t *lo)
{
    int32_t h = *hi, l = *lo;
    for (int64_t i = 0; i < n; i++) {
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
    if (w->kind == source_region) {
        n = (w->total - w->end) / 2 < room / 2 ? (w->total - w->end) / 2 : room / 2;
        decode_region(&w->decoder, w->bytes + w->consumed, n, w->order, into);
        w->end += 2 * n;
    } else {
        n = w->total - w->end < room ? w->total - w->end : room;
        const unsigned char *frames = w->bytes + 4 * w->consumed;
        if (w->file != nullptr) {
            if (fread(w->frame_bytes, 4, static_cast<size_t>(n), w->file) != static_cast<size_t>(n))
                return 1;
            frames = w->frame_bytes;
        }
        sum_frames(frames, n, into);
        w->end += n;
    }
    w->consumed += n;
    return 0;
}
