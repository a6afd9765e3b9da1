"""The exact Dialogic/OKI 4-bit ADPCM codec of sndextract, sndimplant and
sndbank, through the shared library libsndtools (standard library only).

    import sndtools
    region = open("rom.bin", "rb").read()[0x2000:0x2000 + 4096]
    wav, level = sndtools.extract(region, 8000, 8000, amplification=16)
    open("sound.wav", "wb").write(wav)         # what sndextract writes
    back = sndtools.implant(wav, len(region), 8000, amplification=16)
    back.region, back.frames_used, back.filled_with_silence

The library is found where SNDTOOLS_LIBRARY names it, beside this package
(where the wheel puts it), or through the system's loader (LD_LIBRARY_PATH
included). Failures raise sndtools.Error, whose code is an ErrorCode.
"""
import array
import ctypes
import ctypes.util
import enum
import os
import pathlib
import sys
from typing import List, NamedTuple, Optional, Sequence, Tuple, Union

__version__ = "1.0.0"
__all__ = ["Error", "ErrorCode", "Fault", "Level", "Implanted", "Phrase", "decode", "encode",
           "extract", "implant", "read_table", "read_regions", "lay_out", "region_bytes",
           "read_wav", "layout_offset", "layout_address", "library_version"]

_ABI = 3
_NAMES = {"linux": ["libsndtools.so.%d" % _ABI], "darwin": ["libsndtools.%d.dylib" % _ABI],
          "win32": ["libsndtools.dll", "sndtools.dll"]}


def _candidates() -> List[str]:
    names = _NAMES.get(sys.platform, _NAMES["linux"])
    here = pathlib.Path(__file__).resolve().parent
    found = [str(d / n) for d in (here, here.parent) for n in names if (d / n).exists()]
    system = ctypes.util.find_library("sndtools")
    return list(dict.fromkeys(found + ([system] if system else []) + names))


def _abi_of(lib: ctypes.CDLL) -> int:
    try:
        abi = lib.sndtools_abi
    except AttributeError:  # libraries before ABI 3 do not say theirs
        return 0
    abi.restype, abi.argtypes = ctypes.c_int, []
    return abi()


def _load() -> ctypes.CDLL:
    named = os.environ.get("SNDTOOLS_LIBRARY")
    tried = []
    for name in [named] if named else _candidates():
        try:
            lib = ctypes.CDLL(name)
        except OSError as e:
            tried.append("%s (%s)" % (name, e))
            continue
        abi = _abi_of(lib)
        if abi == _ABI:
            return lib
        tried.append("%s (ABI %s)" % (name, abi or "2 or older"))
    raise ImportError("sndtools: no libsndtools of ABI %d found; tried %s; set SNDTOOLS_LIBRARY "
                      "to its path" % (_ABI, ", ".join(tried)))


class ErrorCode(enum.IntEnum):
    """The library's error codes (SNDTOOLS_ERROR_... in sndtools.h)."""
    NULL_POINTER = 1
    BUFFER_SIZE = 2
    NO_MEMORY = 3
    WAV_TOO_SHORT = 4
    WAV_NOT_RIFF = 5
    WAV_FORMAT_LENGTH = 6
    WAV_NOT_PCM = 7
    WAV_NOT_16_BIT = 8
    WAV_NOT_STEREO = 9
    LENGTH = 10
    ADPCM_RATE = 11
    WAV_RATE = 12
    TOO_MANY_FRAMES = 13
    AMPLIFICATION = 14
    NIBBLE_ORDER = 15
    THREADS = 16
    SAMPLE_RANGE = 17
    DATA_SIZE = 18
    NO_TABLE = 19
    TOO_MANY_PHRASES = 20
    LAYOUT = 21
    COUNT = 22
    FRAMES_ROOM = 23
    WAV_NO_RIFF = 24
    WAV_NOT_WAVE = 25
    WAV_NO_FORMAT = 26
    WAV_NO_DATA = 27
    WAV_COMPRESSED = 28
    WAV_CHANNELS = 29
    WAV_BITS = 30
    WRITE = 31
    READ = 32
    OPTION = 33
    REREAD = 34
    UNMAPPED = 35


class Fault(enum.IntEnum):
    """Why a phrase cannot be used (SNDTOOLS_FAULT_... in sndtools.h)."""
    NONE = 0
    REVERSED = 1
    IN_TABLE = 2
    PAST_SPACE = 3
    PAST_FILE = 4
    OVERLAP = 5
    SYNTAX = 6
    NUMBER = 7
    NO_BYTES = 8
    RATE = 9
    NAME = 10
    SAME_NAME = 11
    OTHER_BANK = 12
    CROSSES = 13


class _Level(ctypes.Structure):
    _fields_ = [("max_val", ctypes.c_int32), ("min_val", ctypes.c_int32),
                ("peak", ctypes.c_int32), ("multiplier", ctypes.c_float),
                ("reserved", ctypes.c_int32 * 4)]


class _Options(ctypes.Structure):  # sndtools_extract_options and sndtools_implant_options
    _fields_ = [("nibble_order", ctypes.c_int32), ("amplification_given", ctypes.c_int32),
                ("amplification", ctypes.c_float), ("threads", ctypes.c_int32),
                ("best", ctypes.c_int32), ("reserved", ctypes.c_int32 * 7)]


class _Report(ctypes.Structure):
    _fields_ = [("level", _Level), ("frames_covered", ctypes.c_int64),
                ("frames_used", ctypes.c_int64), ("filled_with_silence", ctypes.c_int32),
                ("snr", ctypes.c_float), ("reserved", ctypes.c_int32 * 2)]


class _Phrase(ctypes.Structure):
    _fields_ = [("number", ctypes.c_int32), ("offset", ctypes.c_int64),
                ("length", ctypes.c_int64), ("start", ctypes.c_int64), ("end", ctypes.c_int64),
                ("adpcm_rate", ctypes.c_int32), ("line", ctypes.c_int32),
                ("name_at", ctypes.c_int64), ("name_length", ctypes.c_int64),
                ("fault", ctypes.c_int32), ("other", ctypes.c_int32), ("alias", ctypes.c_int32),
                ("inside", ctypes.c_int32), ("bank", ctypes.c_int32),
                ("other_bank", ctypes.c_int32), ("reserved", ctypes.c_int32 * 2)]


class _Layout(ctypes.Structure):
    _fields_ = [("kind", ctypes.c_int32), ("unpaged_table", ctypes.c_int32),
                ("fixed", ctypes.c_int64), ("window", ctypes.c_int64),
                ("reserved", ctypes.c_int32 * 4)]


_lib = _load()
_i32, _i64, _p = ctypes.c_int32, ctypes.c_int64, ctypes.c_char_p
_P64 = ctypes.POINTER(ctypes.c_int64)
_SIGNATURES = {
    "sndtools_error_name": (ctypes.c_char_p, [ctypes.c_int]),
    "sndtools_version": (ctypes.c_char_p, []),
    "sndtools_decode": (ctypes.c_int, [_p, _i64, ctypes.c_int, ctypes.POINTER(_i32)]),
    "sndtools_encode": (ctypes.c_int, [ctypes.POINTER(_i32), _i64, ctypes.c_int, _p]),
    "sndtools_extract_wav_size": (ctypes.c_int, [_i64, _i32, _i32, _P64]),
    "sndtools_extract": (ctypes.c_int, [_p, _i64, _i32, _i32, ctypes.POINTER(_Options), _p, _i64,
                                        _P64, ctypes.POINTER(_Level)]),
    "sndtools_implant": (ctypes.c_int, [_p, _i64, _i32, _p, _i64, _i32, ctypes.POINTER(_Options),
                                        ctypes.POINTER(_Report)]),
    "sndtools_wav_check": (ctypes.c_int, [_p, _i64, ctypes.POINTER(_i32), _P64]),
    "sndtools_region_bytes": (ctypes.c_int, [_i64, _i32, _i32, _P64]),
    "sndtools_read_wav": (ctypes.c_int, [_p, _i64, _p, _i64, _P64, ctypes.POINTER(_i32)]),
    "sndtools_parse_layout": (ctypes.c_int, [_p, ctypes.POINTER(_Layout)]),
    "sndtools_read_layout": (ctypes.c_int, [_p, _i64, ctypes.POINTER(_Layout), _i64,
                                            ctypes.POINTER(_Phrase), _i64, _P64]),
    "sndtools_layout_offset": (ctypes.c_int, [ctypes.POINTER(_Layout), _i64, _i32, _i64, _P64]),
    "sndtools_layout_address": (ctypes.c_int, [ctypes.POINTER(_Layout), _i64, _i32, _i64, _P64]),
    "sndtools_read_regions": (ctypes.c_int, [_p, _i64, _i64, ctypes.POINTER(_Phrase), _i64,
                                             _P64]),
    "sndtools_lay_out": (ctypes.c_int, [ctypes.POINTER(_Phrase), _i64, _P64, _i64, _P64]),
}
for _name, (_restype, _argtypes) in _SIGNATURES.items():
    getattr(_lib, _name).restype = _restype
    getattr(_lib, _name).argtypes = _argtypes


class Error(Exception):
    """A call the library refused; code is its ErrorCode, the text its words."""

    def __init__(self, code: int, what: str):
        try:
            self.code = ErrorCode(code)
        except ValueError:  # a newer library's
            self.code = code
        super().__init__("%s: %s" % (what, _lib.sndtools_error_name(code).decode()))


def _check(code: int, what: str) -> None:
    if code != 0:
        raise Error(code, what)


class Level(NamedTuple):
    """The level a path measured and the multiplier it chose, as the tools
    report them (sndextract's multiplier multiplies, sndimplant's divides
    twice over)."""
    max_val: int
    min_val: int
    peak: int
    multiplier: float


class Implanted(NamedTuple):
    """What implant wrote and used: the region's bytes; the level; the WAV
    frames that cover the region's duration; those of the file the samples
    used; and whether frames past the file's were taken as silence (the
    sound is shorter than the region); with best, the signal-to-noise ratio
    in dB the decoded region reaches against its band-limited input."""
    region: bytes
    level: Level
    frames_covered: int
    frames_used: int
    filled_with_silence: bool
    snr: float = 0.0


class Phrase(NamedTuple):
    """A phrase of a sample ROM: fault NONE when it can be used; other, the
    phrase it overlaps, or (with alias) the one it is exactly alike, or
    (with inside) the outermost phrase it lies inside, 0 for none; bank, the
    bank it is seen through (-1: none), other_bank that of phrase other."""
    number: int
    offset: int
    length: int
    start: int
    end: int
    adpcm_rate: int
    line: int
    name: str
    fault: Fault
    other: int
    alias: bool
    inside: bool
    bank: int = -1
    other_bank: int = -1


def _level(c: _Level) -> Level:
    return Level(c.max_val, c.min_val, c.peak, c.multiplier)


def _order(low_nibble_first: bool) -> int:
    return 1 if low_nibble_first else 0


def _options(amplification: Optional[float], low_nibble_first: bool, threads: int,
             best: bool = False) -> _Options:
    return _Options(_order(low_nibble_first), amplification is not None,
                    0.0 if amplification is None else amplification, threads, best)


def library_version() -> str:
    """The shared library's version."""
    return _lib.sndtools_version().decode()


def decode(region: bytes, low_nibble_first: bool = False) -> "array.array[int]":
    """The 2 * len(region) 12-bit samples a region decodes to."""
    samples = (_i32 * (2 * len(region)))()
    _check(_lib.sndtools_decode(bytes(region), len(region), _order(low_nibble_first), samples),
           "decode")
    return array.array("i", samples)


def encode(samples: Sequence[int], low_nibble_first: bool = False) -> bytes:
    """The region of len(samples) // 2 bytes that the samples encode to."""
    if len(samples) % 2:
        raise ValueError("encode: an even number of samples, two to a byte")
    held = (_i32 * len(samples))(*samples)
    region = ctypes.create_string_buffer(len(samples) // 2)
    _check(_lib.sndtools_encode(held, len(samples) // 2, _order(low_nibble_first), region),
           "encode")
    return region.raw


def extract(region: bytes, adpcm_rate: int, wav_rate: int,
            amplification: Optional[float] = None, low_nibble_first: bool = False,
            threads: int = 0) -> Tuple[bytes, Level]:
    """The WAV file sndextract writes of a region played at adpcm_rate, at
    wav_rate, with the automatic level or a fixed multiplier; and the level."""
    size, written = _i64(), _i64()
    _check(_lib.sndtools_extract_wav_size(len(region), adpcm_rate, wav_rate, ctypes.byref(size)),
           "extract")
    wav = ctypes.create_string_buffer(size.value)
    level = _Level()
    options = _options(amplification, low_nibble_first, threads)
    _check(_lib.sndtools_extract(bytes(region), len(region), adpcm_rate, wav_rate,
                                 ctypes.byref(options), wav, size.value, ctypes.byref(written),
                                 ctypes.byref(level)), "extract")
    return wav.raw[:written.value], _level(level)


def implant(wav: bytes, length: int, adpcm_rate: int, amplification: Optional[float] = None,
            low_nibble_first: bool = False, threads: int = 0, best: bool = False) -> Implanted:
    """The length bytes sndimplant writes into a region at adpcm_rate for a
    WAV file (all its bytes, header included), with what it measured and
    used; best: sndimplant --best's road."""
    wav = bytes(wav)
    wav_rate, data_size = _i32(), _i64()
    _check(_lib.sndtools_wav_check(wav, len(wav), ctypes.byref(wav_rate), ctypes.byref(data_size)),
           "implant")
    if data_size.value > len(wav) - 44:
        raise Error(ErrorCode.DATA_SIZE, "implant")
    region = ctypes.create_string_buffer(max(length, 0))
    report = _Report()
    options = _options(amplification, low_nibble_first, threads, best)
    _check(_lib.sndtools_implant(wav[44:44 + data_size.value], data_size.value // 4,
                                 wav_rate.value, region, length, adpcm_rate,
                                 ctypes.byref(options), ctypes.byref(report)), "implant")
    return Implanted(region.raw, _level(report.level), report.frames_covered,
                     report.frames_used, bool(report.filled_with_silence), report.snr)


def read_wav(wav: bytes) -> Tuple[int, bytes]:
    """The rate and the 16-bit stereo frames of any WAV file an editor saves
    (integer PCM of 8 to 32 bits or floating point, mono or stereo), as
    sndbank takes it."""
    wav = bytes(wav)
    count, rate = _i64(), _i32()
    _check(_lib.sndtools_read_wav(wav, len(wav), None, 0, ctypes.byref(count), ctypes.byref(rate)),
           "read_wav")
    frames = ctypes.create_string_buffer(4 * count.value)
    _check(_lib.sndtools_read_wav(wav, len(wav), frames, count.value, None, None), "read_wav")
    return rate.value, frames.raw


def region_bytes(frames: int, wav_rate: int, adpcm_rate: int) -> int:
    """The bytes a region at adpcm_rate needs for every frame of a sound."""
    n = _i64()
    _check(_lib.sndtools_region_bytes(frames, wav_rate, adpcm_rate, ctypes.byref(n)),
           "region_bytes")
    return n.value


def _phrases(array_, count: int, text: bytes = b"") -> List[Phrase]:
    return [Phrase(p.number, p.offset, p.length, p.start, p.end, p.adpcm_rate, p.line,
                   text[p.name_at:p.name_at + p.name_length].decode("utf-8", "replace"),
                   Fault(p.fault), p.other, bool(p.alias), bool(p.inside), p.bank,
                   p.other_bank)
            for p in array_[:count]]


def _layout(name: str, what: str) -> _Layout:
    layout = _Layout()
    _check(_lib.sndtools_parse_layout(name.encode(), ctypes.byref(layout)), what)
    return layout


def read_table(rom: bytes, table_offset: int = 0, layout: str = "msm6295") -> List[Phrase]:
    """The phrases of the phrase table at table_offset (chip address 0), as
    the board's layout maps the ROM: "msm6295", "window-absolute:F,W",
    "window-linear:F,W", "banks", "nmk112", "nmk112:unpaged" or "tt5665";
    a phrase once for each bank that reads its entry (its bank, -1 for none)."""
    rom, held, count = bytes(rom), _layout(layout, "read_table"), _i64()
    code = _lib.sndtools_read_layout(rom, len(rom), ctypes.byref(held), table_offset, None, 0,
                                     ctypes.byref(count))
    if code != ErrorCode.TOO_MANY_PHRASES:
        _check(code, "read_table")
    found = (_Phrase * count.value)()
    _check(_lib.sndtools_read_layout(rom, len(rom), ctypes.byref(held), table_offset, found,
                                     count.value, ctypes.byref(count)), "read_table")
    return _phrases(found, count.value)


def layout_offset(layout: str, bank: int, address: int, table_offset: int = 0) -> int:
    """The file's offset of the byte a chip address shows through bank (-1:
    none, a window layout's fixed area alone); Error UNMAPPED where the bank
    shows no such address."""
    offset = _i64()
    _check(_lib.sndtools_layout_offset(ctypes.byref(_layout(layout, "layout_offset")),
                                       table_offset, bank, address, ctypes.byref(offset)),
           "layout_offset")
    return offset.value


def layout_address(layout: str, bank: int, offset: int, table_offset: int = 0) -> int:
    """The chip address that shows the file's byte at offset through bank
    (the lowest when several do); Error UNMAPPED where the bank shows none."""
    address = _i64()
    _check(_lib.sndtools_layout_address(ctypes.byref(_layout(layout, "layout_address")),
                                        table_offset, bank, offset, ctypes.byref(address)),
           "layout_address")
    return address.value


def read_regions(text: Union[str, bytes], rom_size: int) -> List[Phrase]:
    """The phrases of a list of regions ("offset length [rate] [name]" a line)."""
    data = text.encode() if isinstance(text, str) else bytes(text)
    count = _i64()
    found = (_Phrase * (data.count(b"\n") + 1))()  # at most a phrase a line
    _check(_lib.sndtools_read_regions(data, len(data), rom_size, found, len(found),
                                      ctypes.byref(count)), "read_regions")
    return _phrases(found, count.value, data)


def lay_out(phrases: Sequence[Phrase], new_lengths: Sequence[int], limit: int) -> List[int]:
    """The phrases' offsets laid out again one after the other in table order
    from the lowest, each new_lengths[i] long; Error when past limit."""
    held = (_Phrase * len(phrases))(*[
        _Phrase(p.number, p.offset, p.length, p.start, p.end, p.adpcm_rate, p.line, 0, 0,
                p.fault, p.other, int(p.alias), int(p.inside), p.bank, p.other_bank)
        for p in phrases])
    lengths = (_i64 * len(phrases))(*new_lengths)
    offsets = (_i64 * len(phrases))()
    _check(_lib.sndtools_lay_out(held, len(phrases), lengths, limit, offsets), "lay_out")
    return list(offsets)
