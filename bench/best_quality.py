#!/usr/bin/env python3
"""How near each road's decoded region comes to the ideal one.

A corpus of speech (espeak-ng, several voices) and synthesised music (sox),
saved at 22050 Hz, is put into regions at 7575 Hz by three roads: the
default one (sndimplant), the two-tool one (sox rate -v to 7575 Hz, then
sndimplant) and --best. Each decoded region is measured against sox rate -v
of the same sound at 7575 Hz (the ideal band-limited version), scaled as
that road scaled the sound: the signal-to-noise ratio in dB. Then the
search alone at the region's own rate: --best against the nearest-code
encoder on sounds already at 7575 Hz.

Usage: bench/best_quality.py [--held-out] [--csv FILE]   (needs sox and
espeak-ng; the library from build/, or SNDTOOLS_LIBRARY); --csv writes the
figures for bench/best_plot.py.
"""
import array
import math
import os
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "python"))
os.environ.setdefault("SNDTOOLS_LIBRARY", os.path.join(here, "..", "build", "libsndtools.so"))
import sndtools  # noqa: E402

RATE, REGION_RATE = 22050, 7575

SPEECH = [("en", "The quick brown fox jumps over the lazy dog, and then it sleeps."),
          ("en-us", "Insert coin to continue. Player one, get ready for the next stage."),
          ("de", "Guten Morgen, wie geht es Ihnen heute? Das Spiel beginnt jetzt."),
          ("fr", "Bonjour tout le monde, la partie commence maintenant, bonne chance.")]
MUSIC = [("chords", "synth 3 pluck C4 pluck E4 pluck G4 pluck C5 fade 0 3 0.5"),
         ("square", "synth 3 square 220-880 square 330 fade 0 3 0.3"),
         ("drums", "synth 3 noise fade 0 0.08 0.07 repeat 11 : synth 0.25 sine 60 fade 0 0.25 0.2")]
HELD_OUT_SPEECH = [("en-gb", "You have been promoted. Well done, commander, the base is secure."),
                   ("es", "Bienvenido al juego, pulsa el boton para empezar la aventura.")]
HELD_OUT_MUSIC = [("organ", "synth 3 sine A3 sine E4 sine A4 tremolo 6 40 fade 0 3 0.4")]


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_corpus(folder, held_out):
    sounds = []
    speech, music = (HELD_OUT_SPEECH, HELD_OUT_MUSIC) if held_out else (SPEECH, MUSIC)
    for voice, text in speech:
        raw = os.path.join(folder, voice + "-raw.wav")
        path = os.path.join(folder, voice + ".wav")
        run("espeak-ng", "-v", voice, "-w", raw, text)
        run("sox", "-R", raw, "-r", str(RATE), "-c", "2", "-b", "16", path, "rate", "-v", "norm", "-1")
        sounds.append((voice, path, "speech"))
    for name, synth in music:
        path = os.path.join(folder, name + ".wav")
        run("sox", "-R", "-n", "-r", str(RATE), "-c", "2", "-b", "16", path, *synth.split(), "norm", "-1")
        sounds.append((name, path, "music"))
    return sounds


def frames_of(wav):
    """The frame sums of a 16-bit stereo WAV file (its data chunk)."""
    at = 12
    while at + 8 <= len(wav):
        size = int.from_bytes(wav[at + 4:at + 8], "little")
        if wav[at:at + 4] == b"data":
            data = array.array("h", wav[at + 8:at + 8 + size])
            return [data[i] + data[i + 1] for i in range(0, len(data) - 1, 2)]
        at += 8 + size + (size & 1)
    raise ValueError("no data chunk")


def at_rate(path, rate, folder, tag):
    out = os.path.join(folder, tag + ".wav")
    run("sox", "-R", path, "-r", str(rate), "-c", "2", "-b", "16", out, "rate", "-v")
    return open(out, "rb").read()


def snr(decoded, ideal_sums, multiplier):
    n = min(len(decoded), len(ideal_sums))
    signal = noise = 0.0
    for i in range(n):
        want = ideal_sums[i] / (2.0 * multiplier)
        signal += want * want
        noise += (decoded[i] - want) ** 2
    return 10.0 * math.log10(signal / noise) if noise > 0 else float("inf")


def road(wav, length, best=False):
    done = sndtools.implant(wav, length, REGION_RATE, best=best)
    return sndtools.decode(done.region), done.level.multiplier


def main():
    held_out = "--held-out" in sys.argv
    with tempfile.TemporaryDirectory() as folder:
        rows = []
        print("%-8s %8s %8s %8s   %s" % ("sound", "default", "two-tool", "best",
                                        "(dB against sox rate -v at 7575 Hz)"))
        for name, path, kind in make_corpus(folder, held_out):
            wav = open(path, "rb").read()
            ideal_wav = at_rate(path, REGION_RATE, folder, name + "-ideal")
            ideal = frames_of(ideal_wav)
            length = (len(ideal) + 1) // 2
            d, m = road(wav, length)
            default = snr(d, ideal, m)
            d, m = road(ideal_wav, length)
            two_tool = snr(d, ideal, m)
            d, m = road(wav, length, best=True)
            best = snr(d, ideal, m)
            # The search alone: the sound already at the region's rate.
            d, m = road(ideal_wav, length, best=True)
            search_alone = snr(d, ideal, m) - two_tool
            rows.append((name, kind, default, two_tool, best, search_alone))
            print("%-8s %8.2f %8.2f %8.2f   search alone %+.2f" % (name, default, two_tool, best,
                                                                    search_alone))
        if "--csv" in sys.argv:
            with open(sys.argv[sys.argv.index("--csv") + 1], "w") as out:
                out.write("sound,kind,default,two_tool,best\n")
                for r in rows:
                    out.write("%s,%s,%.2f,%.2f,%.2f\n" % r[:5])
        mean = lambda xs: sum(xs) / len(xs)
        print("mean     %8.2f %8.2f %8.2f   best - two-tool %+.2f, best - default %+.2f"
              % (mean([r[2] for r in rows]), mean([r[3] for r in rows]),
                 mean([r[4] for r in rows]), mean([r[4] - r[3] for r in rows]),
                 mean([r[4] - r[2] for r in rows])))
        print("least best - two-tool %+.2f; search alone on speech %+.2f"
              % (min(r[4] - r[3] for r in rows),
                 mean([r[5] for r in rows if r[1] == "speech"])))


if __name__ == "__main__":
    main()
