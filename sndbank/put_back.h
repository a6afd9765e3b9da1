// What sndbank implant decides for each phrase, shared by its steps: which
// WAV files were edited, their new bytes, where every phrase lies
// afterwards, and the new ROM built from that.
#ifndef SNDBANK_PUT_BACK_H
#define SNDBANK_PUT_BACK_H

#include <string>
#include <vector>

#include "implant.h"
#include "manifest.h"
#include "sndbank.h"

// What an implant does with one entry, by its index among the bank's
// phrases.
struct phrase_work {
    const manifest_row *row = nullptr; // every entry without a fault
    std::string path;                  // its WAV file
    bool edited = false;               // the file differs from what extract wrote
    std::vector<unsigned char> sound;  // its WAV file, or its frames converted: 16-bit stereo
    int64_t frames_at = 0;             // frames from here on, waveblock_size bytes
    int wav_rate = 0, waveblock_size = 0;
    int64_t needed = 0;                // bytes for every frame
    bool cut = false;                  // needs one byte more than the phrase has: left out
    bool level_given = true;           // the multiplier below, else the sound's own level
    float multiplier = 0.0f;
    int32_t old_peak = -1, new_peak = -1; // --match-level: the decoded peaks
    std::vector<unsigned char> bytes;  // its encoding, as long as it is to be
    sndtools::implant_report report;
    bool writes = false;               // its new bytes go into the ROM
    bool own_place = false;            // inside another that also writes: it leaves it
};

struct put_back_plan {
    std::vector<phrase_work> work;
    std::vector<sndtools::phrase_place> places; // where each entry lies afterwards
    unsigned char fill = 0xFF;                  // what the bytes phrases leave become
    std::vector<std::string> problems;          // a line each, naming phrase and file
};

// Which phrases' WAV files differ from what extract wrote (each file read
// once); a missing or unreadable one is a problem of its phrase.
void find_edits(const loaded_bank &bank, const bank_options &o, const manifest &m,
                put_back_plan *plan);

// Whether --resize may change a phrase's place and length: not one whose
// entry other banks read too, reaching other bytes through it (a window
// layout's banks, an unpaged NMK112 table's).
bool may_resize(const loaded_bank &bank, const bank_options &o, const sndtools::bank_phrase &p);
bool entry_shared(const loaded_bank &bank, const sndtools::bank_phrase &p);

// The bytes a phrase may take: its table's space, or in a banked layout
// its own area (the fixed area, its page, image or window) less the table;
// and its name in the messages (the ROM, or "bank 3 of" it).
sndtools::byte_span phrase_area(const loaded_bank &bank, const bank_options &o,
                                const sndtools::bank_phrase &p);
std::string area_name(const loaded_bank &bank, const bank_options &o,
                      const sndtools::bank_phrase &p);

// An edited phrase's WAV file read whole as 16-bit stereo frames, and the
// bytes it needs; a sound longer than its phrase by one byte is cut to it,
// by more is a problem without --resize (or where it may not resize).
// Returns the problem's line (the phrase not named), or an empty one.
std::string read_edit(const loaded_bank &bank, const sndtools::bank_phrase &p,
                      const bank_options &o, phrase_work *work);

// The multiplier an edited phrase is encoded with: the options', the
// manifest's or, with --match-level, the one that brings its decoded peak
// within 2 % of the peak of the phrase it replaces. Returns a problem's
// line (the phrase not named), or an empty one.
std::string choose_level(const loaded_bank &bank, const bank_options &o,
                         const sndtools::bank_phrase &p, int64_t length, phrase_work *work);

// Encodes a phrase's frames into length bytes (work->bytes) at the level
// chosen.
stop encode_phrase(const bank_options &o, int64_t length, phrase_work *work);

// Pairs of edited phrases, one inside the other, where one's new bytes
// would overwrite the other's (both write, or one writes over the other's
// edit that the ROM holds already): refused without --resize; with it the
// inner one of each pair takes a place of its own.
stop settle_shared_bytes(const loaded_bank &bank, const bank_options &o, put_back_plan *plan);

// Where each phrase lies now; afterwards: where it was, or with --resize the
// layout asked for (the phrases whose places grow encoded again for it).
std::vector<sndtools::phrase_place> places_as_they_are(const loaded_bank &bank);
stop lay_out(const loaded_bank &bank, const bank_options &o, put_back_plan *plan);

// The new ROM: the bytes moved or shortened phrases leave filled, the
// phrases' new bytes, moved ones' old bytes at their new places, and the
// table's entries rewritten.
std::vector<unsigned char> new_rom(const loaded_bank &bank, const bank_options &o,
                                   const put_back_plan &plan);

// The regions list with each phrase's line at its new offset and length,
// every other byte of it as it was; and the name it is written under.
std::string regions_moved(const loaded_bank &bank, const put_back_plan &plan);
std::string resized_list_name(const bank_options &o);

#endif
