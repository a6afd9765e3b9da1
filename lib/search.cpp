#include "search.h"

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace sndtools {

namespace {

const int max_paths = 8;
const int indices = 49;
const int max_slots = indices * max_paths;
// Costs are kept relative to the best path's; a path this far behind is
// as good as lost, and the cap keeps sums clear of overflow.
const int64_t cost_cap = int64_t(1) << 62;

// Per step index, the 16 codes in increasing order of their difference:
// each one's difference and the index that follows it.
struct ordered_row {
    int32_t diff[16];
    int32_t next[16];
};

unsigned code_at(int pos)
{
    return pos < 8 ? unsigned(15 - pos) : unsigned(pos - 8);
}

struct ordered_rows {
    ordered_row row[indices];
};

ordered_rows make_ordered_rows()
{
    ordered_rows rows;
    for (int i = 0; i < indices; i++)
        for (int pos = 0; pos < 16; pos++) {
            const ad_code_row *r = &ad_rows.row[i];
            rows.row[i].diff[pos] = r->diff[code_at(pos)];
            rows.row[i].next[pos] = static_cast<int>(ad_next_row(r, code_at(pos)) - ad_rows.row);
        }
    return rows;
}

const ordered_rows by_order = make_ordered_rows();

// The paths alive after one sample, by step index, each index's in order
// of cost (on equal costs the earlier found first). A slot is index *
// paths + rank; label is the slot the path passed through at the last
// settling point.
struct layer {
    int count[indices];
    int live[indices]; // the indices with paths, in the order they came
    int lives;
    int64_t cost[max_slots];
    int32_t sample[max_slots];
    uint16_t label[max_slots];
};

struct search {
    int paths, codes, half;
    std::size_t slots; // 49 * paths: a sample's share of the window
    layer layers[2];
    layer *now, *next;
    // Per sample of the window, per slot: the parent's slot * 16 + code.
    std::vector<uint16_t> back;
    std::vector<unsigned char> settled; // codes traced back, oldest last
    ad_packer packer;
    int64_t emitted; // codes written so far
    double offset;   // the costs taken off by renormalising
    int64_t pending; // the part of it not yet added to offset
};

// Adds a path to index ni's list unless it is out-ranked, or the same state
// is there already at no more cost.
inline void offer(search *s, int ni, int64_t cost, int32_t sample, int parent, unsigned code,
                  uint16_t *back_row, uint16_t label)
{
    layer &L = *s->next;
    const int base = ni * s->paths;
    int n = L.count[ni];
    if (n == 0)
        L.live[L.lives++] = ni;
    else if (n == s->paths && cost >= L.cost[base + n - 1])
        return;
    for (int j = 0; j < n; j++) {
        if (L.sample[base + j] == sample) {
            if (cost >= L.cost[base + j])
                return;
            n--; // drop the dearer twin, then insert
            for (int k = j; k < n; k++) {
                L.cost[base + k] = L.cost[base + k + 1];
                L.sample[base + k] = L.sample[base + k + 1];
                L.label[base + k] = L.label[base + k + 1];
                back_row[base + k] = back_row[base + k + 1];
            }
            break;
        }
    }
    int at = n; // where it goes
    while (at > 0 && cost < L.cost[base + at - 1])
        at--;
    if (n == s->paths)
        n--; // the dearest falls off
    for (int k = n; k > at; k--) {
        L.cost[base + k] = L.cost[base + k - 1];
        L.sample[base + k] = L.sample[base + k - 1];
        L.label[base + k] = L.label[base + k - 1];
        back_row[base + k] = back_row[base + k - 1];
    }
    L.cost[base + at] = cost;
    L.sample[base + at] = sample;
    L.label[base + at] = label;
    back_row[base + at] = static_cast<uint16_t>(parent << 4 | code);
    L.count[ni] = n + 1;
}

// The position, among the 16 reconstructions in increasing order, nearest
// to the target (in Q8) from sample on row r.
inline int nearest_position(const ad_code_row *r, int32_t sample, int32_t target)
{
    int32_t delta = target - sample * 256;
    int32_t magnitude = ((delta < 0 ? -delta : delta) + 128) >> 8;
    const int32_t *mid = r->midpoint;
    int m = int(magnitude > mid[0]) + int(magnitude > mid[1]) + int(magnitude > mid[2]) +
            int(magnitude > mid[3]) + int(magnitude > mid[4]) + int(magnitude > mid[5]) +
            int(magnitude > mid[6]);
    return delta < 0 ? 7 - m : 8 + m;
}

void step(search *s, uint16_t *back_row, int32_t target)
{
    // Around the nearest code, the larger magnitudes first (they bring the
    // larger steps, which the nearest code is slow to reach).
    const int fewer = (s->codes - 1) / 2, more = s->codes - 1 - fewer;
    layer &now = *s->now, &next = *s->next;
    for (int k = 0; k < next.lives; k++)
        next.count[next.live[k]] = 0;
    next.lives = 0;
    for (int k = 0; k < now.lives; k++) {
        const int i = now.live[k];
        const ad_code_row *r = &ad_rows.row[i];
        const ordered_row *o = &by_order.row[i];
        for (int j = 0; j < now.count[i]; j++) {
            const int slot = i * s->paths + j;
            const int32_t sample = now.sample[slot];
            const int64_t cost = now.cost[slot];
            int p = nearest_position(r, sample, target);
            int lo = p >= 8 ? p - fewer : p - more, hi = lo + s->codes - 1;
            if (lo < 0)
                lo = 0, hi = s->codes - 1;
            if (hi > 15)
                hi = 15, lo = 16 - s->codes;
            for (int pos = lo; pos <= hi; pos++) {
                int32_t ns = sample + o->diff[pos];
                ns = ns < -2048 ? -2048 : (ns > 2047 ? 2047 : ns);
                int64_t e = int64_t(ns) * 256 - target;
                offer(s, o->next[pos], cost + e * e, ns, slot, code_at(pos), back_row,
                      now.label[slot]);
            }
        }
    }
    int64_t best = cost_cap;
    for (int k = 0; k < next.lives; k++)
        if (next.cost[next.live[k] * s->paths] < best)
            best = next.cost[next.live[k] * s->paths];
    for (int k = 0; k < next.lives; k++)
        for (int i = next.live[k], j = 0; j < next.count[i]; j++) {
            int64_t c = next.cost[i * s->paths + j] - best;
            next.cost[i * s->paths + j] = c > cost_cap ? cost_cap : c;
        }
    s->pending += best;
    if (s->pending > (int64_t(1) << 52)) {
        s->offset += static_cast<double>(s->pending);
        s->pending = 0;
    }
    std::swap(s->now, s->next); // pointers only
}

// The slot of the cheapest path (the first found on equal costs).
int best_slot(const search *s)
{
    const layer &L = *s->now;
    int best = L.live[0] * s->paths;
    for (int k = 1; k < L.lives; k++)
        if (L.cost[L.live[k] * s->paths] < L.cost[best])
            best = L.live[k] * s->paths;
    return best;
}

// The codes of samples until to t on the line of slot (after sample t),
// gathered newest first.
void trace(search *s, int slot, int64_t t, int64_t until)
{
    s->settled.clear();
    const int64_t window = 2 * s->half;
    for (int64_t k = t; k >= until; k--) {
        uint16_t b = s->back[std::size_t(k % window) * s->slots + std::size_t(slot)];
        s->settled.push_back(static_cast<unsigned char>(b & 15));
        slot = b >> 4;
    }
}

void emit(search *s)
{
    for (std::size_t k = s->settled.size(); k-- > 0;)
        pack_code(&s->packer, s->emitted++, s->settled[k]);
}

// After sample t, (t + 1) a multiple of half: the paths that left the best
// one's line before the last settling point go, the codes up to that point
// are written, and the labels start again.
void settle(search *s, int64_t t, uint16_t *back_row)
{
    const int half = s->half;
    int b = best_slot(s);
    uint16_t keep = s->now->label[b];
    layer &L = *s->now;
    int lives = 0;
    for (int k = 0; k < L.lives; k++) {
        const int i = L.live[k];
        int n = 0;
        for (int j = 0; j < L.count[i]; j++) {
            int from = i * s->paths + j, to = i * s->paths + n;
            if (L.label[from] != keep)
                continue;
            L.cost[to] = L.cost[from];
            L.sample[to] = L.sample[from];
            L.label[to] = L.label[from];
            back_row[to] = back_row[from]; // its line moves with it
            n++;
        }
        L.count[i] = n;
        if (n > 0)
            L.live[lives++] = i;
    }
    L.lives = lives;
    b = best_slot(s);
    if (t + 1 >= 2 * half) {
        trace(s, b, t, t + 1 - 2 * half);
        // only the older half is settled: drop the newer half's codes
        s->settled.erase(s->settled.begin(), s->settled.begin() + half);
        emit(s);
    }
    for (int k = 0; k < L.lives; k++)
        for (int i = L.live[k], j = 0; j < L.count[i]; j++)
            L.label[i * s->paths + j] = static_cast<uint16_t>(i * s->paths + j);
}

int clamp_int(int v, int lo, int hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

} // namespace

struct search_state {
    search s;
    int64_t t = 0;          // targets taken
    std::size_t at = 0;     // t modulo the window
    int to_settle = 0;      // targets until the next settling
    double target_energy = 0;
    int64_t target_pending = 0;
};

search_state *search_start(nibble_order order, unsigned char *bytes, search_shape shape)
{
    search_state *state = new search_state();
    search *s = &state->s;
    s->paths = clamp_int(shape.paths, 1, max_paths);
    s->codes = clamp_int(shape.codes, 1, 16);
    s->half = clamp_int(shape.window / 2, 1, 1 << 15);
    s->slots = std::size_t(indices * s->paths);
    s->back.assign(std::size_t(2 * s->half) * s->slots, 0);
    s->packer = packer_of(bytes, order);
    s->emitted = 0;
    s->offset = 0;
    s->pending = 0;
    s->now = &s->layers[0];
    s->next = &s->layers[1];
    s->now->count[0] = 1; // the state {0, 0}
    s->now->live[0] = 0;
    s->now->lives = 1;
    s->now->cost[0] = 0;
    s->now->sample[0] = 0;
    s->now->label[0] = 0;
    state->to_settle = s->half;
    return state;
}

void search_feed(search_state *state, const int32_t *targets, int64_t count)
{
    search *s = &state->s;
    const std::size_t window = std::size_t(2 * s->half);
    for (int64_t k = 0; k < count; k++, state->t++) {
        uint16_t *back_row = &s->back[state->at * s->slots];
        step(s, back_row, targets[k]);
        state->at = state->at + 1 == window ? 0 : state->at + 1;
        if (--state->to_settle == 0) { // (t + 1) a multiple of half
            settle(s, state->t, back_row);
            state->to_settle = s->half;
        }
        state->target_pending += int64_t(targets[k]) * targets[k];
        if (state->target_pending > (int64_t(1) << 52)) {
            state->target_energy += static_cast<double>(state->target_pending);
            state->target_pending = 0;
        }
    }
}

search_energy search_end(search_state *state)
{
    std::unique_ptr<search_state> owner(state);
    search *s = &state->s;
    if (state->t > 0) {
        int b = best_slot(s);
        trace(s, b, state->t - 1, s->emitted);
        emit(s);
        s->pending += s->now->cost[b];
    }
    return search_energy{s->offset + static_cast<double>(s->pending),
                         state->target_energy + static_cast<double>(state->target_pending)};
}

search_energy search_encode(const int32_t *targets, int64_t len, nibble_order order,
                            unsigned char *bytes, search_shape shape)
{
    search_state *state = search_start(order, bytes, shape);
    search_feed(state, targets, 2 * len);
    return search_end(state);
}

} // namespace sndtools
