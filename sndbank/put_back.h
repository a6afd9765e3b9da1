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
    int samplerate_in = 0, waveblock_size = 0;
    int64_t needed = 0;                // bytes for every frame
    std::vector<unsigned char> bytes;  // its encoding, as long as it is to be
    sndtools::implant_report report;
    bool writes = false;               // its new bytes go into the ROM
    bool own_place = false;            // inside another that also writes: it leaves it
};

struct put_back_plan {
    std::vector<phrase_work> work;
    std::vector<sndtools::phrase_place> places; // where each entry lies afterwards
    unsigned char fill = 0xFF;                  // what the bytes phrases leave become
};

// Which phrases' WAV files differ from what extract wrote (each file read
// once); refused when one is missing or cannot be read.
stop find_edits(const bank_layout &bank, const bank_options &o, const manifest &m,
                put_back_plan *plan);

// An edited file's header, checked as sndimplant checks it, and the bytes
// it needs (work->needed); a sound longer than its phrase is refused
// without --resize.
stop look_at_header(const sndtools::bank_phrase &p, const bank_options &o, phrase_work *work);

// Encodes phrase p's WAV file into length bytes (work->bytes), with the
// manifest's multiplier or the options' level.
stop encode_phrase(const bank_options &o, const sndtools::bank_phrase &p, int64_t length,
                   phrase_work *work);

// Pairs of edited phrases, one inside the other, where one's new bytes
// would overwrite the other's (both write, or one writes over the other's
// edit that the ROM holds already): refused without --resize; with it the
// inner one of each pair takes a place of its own.
stop settle_shared_bytes(const bank_layout &bank, const bank_options &o, put_back_plan *plan);

// Where each phrase lies now; afterwards: where it was, or with --resize the
// layout asked for (the phrases whose places grow encoded again for it).
std::vector<sndtools::phrase_place> places_as_they_are(const bank_layout &bank);
stop lay_out(const bank_layout &bank, const bank_options &o, put_back_plan *plan);

// The new ROM: the bytes moved or shortened phrases leave filled, the
// phrases' new bytes, moved ones' old bytes at their new places, and the
// table's entries rewritten.
std::vector<unsigned char> new_rom(const bank_layout &bank, const bank_options &o,
                                   const put_back_plan &plan);

// The regions list with each phrase's line at its new offset and length,
// every other byte of it as it was; and the name it is written under.
std::string regions_moved(const bank_layout &bank, const put_back_plan &plan);
std::string resized_list_name(const bank_options &o);

#endif
