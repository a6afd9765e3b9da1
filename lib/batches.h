// The encoder on every core, with the sequential chain's bytes. Each code
// hangs on the state the one before left, but two encoders fed the same
// samples from different states tend to meet, and once they hold the same
// state they stay together. So the samples come in batches, each made and
// encoded by a thread of its own from the state that a warm-up over the
// samples before it leaves (which has almost always met the true chain by
// then), or from the true state where the batch before is done already;
// then, in order, the true chain is run from the end of the batch before
// until it meets the batch's own (the same state after the same byte) and
// the batch's codes are kept from there on. Where it does not meet within
// the trail, the true chain runs through the whole batch: slower, never
// wrong. One thread runs the same loop, every batch starting on the true
// state.
//
// A source of samples gives the batches in order and makes their samples:
//   bool acquire(int thread, int64_t b, sample_batch *batch): batch b (in
//     turn: batch b - 1 was acquired before), false when it failed;
//   template <typename sink_fn> bool make(int thread, const sample_batch &,
//     int64_t from, int64_t to, sink_fn &sink): sink(i, sample) for samples
//     from..to-1 of the thread's last batch, in order, while other threads
//     make theirs; false when the source failed. Samples once made can be
//     made again.
#ifndef SNDTOOLS_BATCHES_H
#define SNDTOOLS_BATCHES_H

#include <atomic>
#include <cstdint>
#include <vector>

#include "codec.h"
#include "threads.h"

namespace sndtools {

struct sample_batch {
    int64_t first, stop; // its samples: first even where there are threads
    int64_t warm_from;   // its source can make samples warm_from..first-1 for a warm-up
    bool last;
};

// Chosen by measurement on speech, noise and tones (README.md, "Speed"): a
// warm-up of 2048 samples meets the true chain before the batch starts on
// nearly every batch, and a trail over 65536 bytes catches nearly all the
// rest. The trail keeps the state after every stride-th byte: chains that
// met stay together, so meeting is seen at most stride - 1 bytes late.
struct batch_plan {
    int64_t warm_up = 2048; // samples
    int64_t trail = 4096;   // states kept
    int64_t stride = 16;    // bytes from one to the next
};

// How the batches met the true chain: started on it (the batch before was
// done), met it at their start (the warm-up did), after some bytes
// (met_bytes all of them, longest the most), or never (run through).
struct batch_counts {
    int64_t batches, exact, at_start, met, met_bytes, longest, through;
};

namespace batches_detail {

// The bytes of a batch after which a state is kept: every stride-th, the
// first trail_len of them.
struct trail_marks {
    int64_t stride, trail_len;
    int64_t until, kept; // bytes to the next mark; marks passed

    // After one more byte: the mark it reaches, or -1.
    int64_t next()
    {
        if (--until > 0 || kept == trail_len)
            return -1;
        until = stride;
        return kept++;
    }
};

inline trail_marks marks_of(const batch_plan &plan)
{
    return trail_marks{plan.stride, plan.trail, plan.stride, 0};
}

// Each sample's code, packed; with keep, the trail's states.
template <bool keep> struct encode_sink {
    ad_encoder e;
    ad_packer packer;
    ad_state *trail;
    trail_marks marks;

    void operator()(int64_t i, int32_t sample)
    {
        if (pack_code(&packer, i, encode_next(&e, sample)) && keep) {
            int64_t q = marks.next();
            if (q >= 0)
                trail[q] = state_of(e);
        }
    }
};

// A warm-up: the codes dropped.
struct warm_sink {
    ad_encoder e;
    void operator()(int64_t, int32_t sample) { encode_next(&e, sample); }
};

// The true chain, until it holds the state the batch's own held after the
// same byte; from then on the batch's codes stand.
struct reconcile_sink {
    ad_encoder e;
    ad_packer packer;
    const ad_state *trail;
    trail_marks marks;
    int64_t bytes; // made so far
    int64_t met;   // bytes taken to meet, 0 until then

    void operator()(int64_t i, int32_t sample)
    {
        if (met > 0)
            return;
        if (pack_code(&packer, i, encode_next(&e, sample))) {
            bytes++;
            int64_t q = marks.next();
            if (q >= 0 && same_state(state_of(e), trail[q]))
                met = bytes;
        }
    }
};

inline void add_counts(batch_counts *to, const batch_counts &c)
{
    to->batches += c.batches;
    to->exact += c.exact;
    to->at_start += c.at_start;
    to->met += c.met;
    to->met_bytes += c.met_bytes;
    to->longest = c.longest > to->longest ? c.longest : to->longest;
    to->through += c.through;
}

} // namespace batches_detail

// Encodes every sample of the source's batches into bytes (sample i into
// byte i / 2) on up to threads threads, from the start state {0, 0};
// false when the source failed. counts (when not null) are added to.
template <typename source_t>
bool encode_batches(int threads, source_t &source, nibble_order order, unsigned char *bytes,
                    const batch_plan &plan, batch_counts *counts)
{
    using namespace batches_detail;
    turn_order reads, turns; // batch b's turn comes once batch b - 1 had its own
    std::atomic<int64_t> next{0}, reconciled{0};
    std::atomic<bool> failed{false};
    ad_state truth{0, 0}; // after the last batch reconciled
    unsigned carried = 0; // alone, the earlier code of a byte a batch left half done
    std::mutex counted;
    batch_counts all{};
    // (Alone, every batch starts on the true state: no trail is kept.)
    std::vector<std::vector<ad_state>> trails(static_cast<size_t>(threads));
    for (int t = 0; t < threads && threads > 1; t++)
        trails[size_t(t)].resize(size_t(plan.trail));
    auto fail = [&] {
        failed = true;
        reads.stop();
        turns.stop();
    };
    auto work = [&](int t) {
        std::vector<ad_state> &trail = trails[size_t(t)];
        batch_counts thread_counts{};
        for (int64_t b; (b = next++) >= 0;) {
            sample_batch batch{};
            if (!reads.wait_for(b))
                break;
            bool taken = source.acquire(t, b, &batch);
            if (!taken || batch.last)
                reads.stop(); // no batch after this one: before its turn can pass
            reads.done(b);
            if (!taken) {
                fail();
                break;
            }
            // From the true state where the batch before is done (such a
            // batch is never reconciled), else after a warm-up.
            const bool exact = reconciled.load(std::memory_order_acquire) == b;
            ad_state start, end;
            bool made;
            if (exact) {
                start = truth;
                encode_sink<false> encode{encoder_of(start), packer_of(bytes, order), nullptr,
                                          marks_of(plan)};
                if (threads == 1)
                    encode.packer.earlier = carried;
                made = source.make(t, batch, batch.first, batch.stop, encode);
                if (threads == 1)
                    carried = encode.packer.earlier;
                end = state_of(encode.e);
            } else {
                warm_sink warm{encoder_of(ad_state{0, 0})};
                made = source.make(t, batch, batch.warm_from, batch.first, warm);
                start = state_of(warm.e);
                encode_sink<true> encode{encoder_of(start), packer_of(bytes, order), trail.data(),
                                         marks_of(plan)};
                made = made && source.make(t, batch, batch.first, batch.stop, encode);
                end = state_of(encode.e);
            }
            if (!made) {
                fail();
                break;
            }
            if (!turns.wait_for(b))
                break;
            thread_counts.batches++;
            if (exact) {
                thread_counts.exact++;
            } else if (same_state(start, truth)) {
                thread_counts.at_start++;
            } else {
                // (Made again, the samples may be read again: that can fail.)
                reconcile_sink chain{encoder_of(truth), packer_of(bytes, order), trail.data(),
                                     marks_of(plan), 0, 0};
                for (int64_t from = batch.first; made && from < batch.stop && chain.met == 0;) {
                    int64_t to = batch.stop - from < 512 ? batch.stop : from + 512;
                    made = source.make(t, batch, from, to, chain);
                    from = to;
                }
                if (!made) {
                    fail();
                    break;
                }
                if (chain.met == 0) {
                    thread_counts.through++;
                    end = state_of(chain.e);
                } else {
                    thread_counts.met++;
                    thread_counts.met_bytes += chain.met;
                    thread_counts.longest = chain.met > thread_counts.longest ? chain.met : thread_counts.longest;
                }
            }
            truth = end;
            reconciled.store(b + 1, std::memory_order_release);
            turns.done(b);
            if (batch.last)
                break;
        }
        std::lock_guard<std::mutex> locked(counted);
        add_counts(&all, thread_counts);
    };
    std::vector<std::thread> helpers = start_threads(threads - 1, [&](int t) { work(t + 1); });
    work(0);
    join_threads(helpers);
    if (counts != nullptr)
        add_counts(counts, all);
    return !failed;
}

} // namespace sndtools

#endif
