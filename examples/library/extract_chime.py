"""Takes the chime out of examples/chime.bin through the Python package, as
`sndextract chime.bin 4096 6000 8000 44100 out.wav` does, writes the same
WAV file, byte for byte, and puts it back as sndimplant would:

    python3 extract_chime.py <chime.bin> <out.wav>
"""
import sys

import sndtools

region = open(sys.argv[1], "rb").read()[4096:4096 + 6000]
wav, level = sndtools.extract(region, 8000, 44100)
open(sys.argv[2], "wb").write(wav)
back = sndtools.implant(wav, len(region), 8000)
print("sndtools %s: %d bytes, multiplier %f; %d of %d bytes back as they were, from %d frames" % (
    sndtools.__version__, len(wav), level.multiplier,
    sum(a == b for a, b in zip(back.region, region)), len(region), back.frames_used))
