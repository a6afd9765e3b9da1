"""Takes the chime out of examples/chime.bin through the shared library,
as `sndextract chime.bin 4096 6000 8000 44100 out.wav` does, and writes the
same WAV file, byte for byte (standard library only):

    python3 extract_chime.py <libsndtools.so> <chime.bin> <out.wav>
"""
import ctypes
import sys


class Level(ctypes.Structure):
    _fields_ = [("max_val", ctypes.c_int32), ("min_val", ctypes.c_int32),
                ("peak", ctypes.c_int32), ("multiplier", ctypes.c_float)]


lib = ctypes.CDLL(sys.argv[1])
lib.sndtools_extract_frames.restype = ctypes.c_int64
lib.sndtools_extract_frames.argtypes = [ctypes.c_size_t, ctypes.c_int32, ctypes.c_int32]
lib.sndtools_error_name.restype = ctypes.c_char_p
with open(sys.argv[2], "rb") as f:
    region = f.read()[4096:4096 + 6000]
frames = lib.sndtools_extract_frames(len(region), 8000, 44100)
wav = ctypes.create_string_buffer(4 * frames)
level = Level()
error = lib.sndtools_extract(region, ctypes.c_size_t(len(region)), 0, 8000, 44100, None, wav,
                             ctypes.c_size_t(4 * frames), ctypes.byref(level), 1)
if error:
    sys.exit("sndtools_extract: " + lib.sndtools_error_name(error).decode())
header = ctypes.create_string_buffer(44)
lib.sndtools_wav_header(header, ctypes.c_int32(frames), 44100)
with open(sys.argv[3], "wb") as f:
    f.write(header.raw + wav.raw + b"\0")
print("%d frames, multiplier %f" % (frames, level.multiplier))
