"""The Python package against the programs: the same WAV files as
sndextract, the same regions as sndimplant, the library's refusals as
sndtools.Error, and the bank functions on a hand-made table.

SNDTOOLS_PROGRAMS names the folder of the built sndextract and sndimplant;
SNDTOOLS_LIBRARY (or the loader's search) the shared library.
"""
import os
import pathlib
import re
import shutil
import struct
import subprocess

import pytest

import sndtools

PROGRAMS = pathlib.Path(os.environ.get("SNDTOOLS_PROGRAMS", "build"))
CHIME = pathlib.Path(__file__).resolve().parents[2] / "examples" / "chime.bin"
REGION = CHIME.read_bytes()[4096:4096 + 6000]


def run(tool, *args):
    subprocess.run([str(PROGRAMS / tool), *map(str, args)], check=True, stdout=subprocess.DEVNULL)


@pytest.mark.parametrize("wav_rate,amplification,low,best", [
    (44100, None, False, False), (8000, 16.0, False, False), (22050, -3.5, True, False),
    (22050, None, False, True), (8000, 16.0, True, True)])
def test_extract_and_implant_give_the_programs_bytes(tmp_path, wav_rate, amplification, low,
                                                     best):
    options = ["--low-nibble-first"] if low else []
    extra = [amplification] if amplification is not None else []
    run("sndextract", *options, CHIME, 4096, 6000, 8000, wav_rate, tmp_path / "x.wav", *extra)
    wav, level = sndtools.extract(REGION, 8000, wav_rate, amplification, low)
    assert wav == (tmp_path / "x.wav").read_bytes()
    assert level.peak > 0 and level.max_val >= level.min_val
    shutil.copy(CHIME, tmp_path / "target.bin")
    run("sndimplant", *options, *(["--best"] if best else []), tmp_path / "x.wav",
        tmp_path / "target.bin", 4096, 6000, 8000, *extra)
    back = sndtools.implant(wav, 6000, 8000, amplification, low, best=best)
    assert back.region == (tmp_path / "target.bin").read_bytes()[4096:4096 + 6000]
    if best:  # any number of threads gives the same bytes; the search beats nearest codes
        for threads in (1, 2, 3, 8):
            assert sndtools.implant(wav, 6000, 8000, amplification, low, threads,
                                    best=True).region == back.region
        assert back.snr > 0


@pytest.mark.parametrize("wav_bytes,region_bytes,filled", [(100, 6000, True), (6000, 100, False)])
def test_implant_says_what_it_used(wav_bytes, region_bytes, filled):
    wav, _ = sndtools.extract(REGION[:wav_bytes], 8000, 8000)
    back = sndtools.implant(wav, region_bytes, 8000)
    frames = (len(wav) - 45) // 4
    assert (back.filled_with_silence, back.frames_used == frames) == (filled, filled)


def test_codes_are_the_headers():
    header = (pathlib.Path(__file__).resolve().parents[2] / "include" / "sndtools.h").read_text()
    for prefix, enum in [("SNDTOOLS_ERROR_", sndtools.ErrorCode),
                         ("SNDTOOLS_FAULT_", sndtools.Fault)]:
        defined = dict(re.findall(r"#define %s(\w+) (\d+)" % prefix, header))
        assert {name: int(value) for name, value in defined.items()} == {
            e.name: e.value for e in enum}


def test_refusals_raise_errors_in_the_librarys_words():
    wav, _ = sndtools.extract(REGION[:100], 8000, 8000)
    code = sndtools.ErrorCode
    cases = [
        (lambda: sndtools.implant(b"RIFX" + wav[4:], 100, 8000), code.WAV_NOT_RIFF,
         "RIFF not found"),
        (lambda: sndtools.implant(wav[:10], 100, 8000), code.WAV_TOO_SHORT,
         "shorter than its 44-byte header"),
        (lambda: sndtools.extract(REGION, 0, 8000), code.ADPCM_RATE, "ADPCM rate"),
        (lambda: sndtools.extract(REGION, 8000, 8000, amplification=0.0), code.AMPLIFICATION,
         "amplification of 0"),
        (lambda: sndtools.encode([2 ** 31 - 2048, 0]), code.SAMPLE_RANGE, "magnitude"),
        (lambda: sndtools.read_table(b"\0" * 100), code.NO_TABLE, "does not lie inside the ROM"),
    ]
    for call, expected, words in cases:
        with pytest.raises(sndtools.Error, match=words) as raised:
            call()
        assert raised.value.code is expected


def test_codec_round_trip():
    samples = sndtools.decode(REGION)
    assert len(samples) == 12000 and max(samples) <= 2047 and min(samples) >= -2048
    assert sndtools.encode(samples) != b""
    assert sndtools.decode(sndtools.encode(list(samples))) == sndtools.decode(
        sndtools.encode(samples))
    assert sndtools.decode(bytes(REGION), low_nibble_first=True) != samples


def test_bank_functions_on_a_hand_made_table():
    rom = bytearray(0x10000)
    for number, start, end in [(1, 0x800, 0x8FF), (2, 0x400, 0x47F), (3, 0x900, 0x880)]:
        rom[8 * number:8 * number + 6] = start.to_bytes(3, "big") + end.to_bytes(3, "big")
    phrases = sndtools.read_table(bytes(rom))
    assert [(p.number, p.offset, p.length, p.fault) for p in phrases] == [
        (1, 0x800, 0x100, 0), (2, 0x400, 0x80, 0), (3, 0x900, 0, 1)]
    assert sndtools.lay_out(phrases, [0x300, 0x80, 0], 0x10000) == [0x400, 0x700, 0x900]
    with pytest.raises(sndtools.Error, match="end past the limit"):
        sndtools.lay_out(phrases, [0x300, 0x80, 0], 0x77F)
    listed = sndtools.read_regions("0x100 16 8000 jump\n# no phrase\n0x200 0\n", 0x1000)
    assert [(p.number, p.name, p.adpcm_rate, p.fault) for p in listed] == [(1, "jump", 8000, 0),
                                                                     (2, "", 0, 8)]
    assert sndtools.region_bytes(8713, 7575, 7575) == 4357


def test_layouts_read_each_bank_and_map_addresses():
    rom = bytearray(b"\xff" * 0x80000)  # two 256 KiB images, each with its table
    for image in (0, 1):
        rom[0x40000 * image + 8:0x40000 * image + 16] = bytes.fromhex("000400 0004ff 0000")
    assert [(p.bank, p.number, p.offset, p.fault) for p in
            sndtools.read_table(bytes(rom), layout="banks")] == [(0, 1, 0x400, 0),
                                                                 (1, 1, 0x40400, 0)]
    assert sndtools.layout_offset("nmk112", 5, 0x21000) == 0x51000
    assert sndtools.layout_address("window-linear:0x20000,0x20000", 2, 0x60400) == 0x20400
    for call, expected in [(lambda: sndtools.layout_offset("banks", -1, 0x400),
                            sndtools.ErrorCode.UNMAPPED),
                           (lambda: sndtools.read_table(bytes(rom), layout="window-linear"),
                            sndtools.ErrorCode.OPTION)]:
        with pytest.raises(sndtools.Error) as raised:
            call()
        assert raised.value.code is expected


def test_read_wav_takes_mono_float_and_plain_files():
    wav, _ = sndtools.extract(REGION[:400], 8000, 8000)
    assert sndtools.read_wav(wav) == (8000, wav[44:-1])  # 16-bit stereo: the bytes as they are
    data = struct.pack("<3f", 0.5, -0.25, 1.0)
    chunks = (b"fmt " + struct.pack("<IHHIIHH", 16, 3, 1, 22050, 88200, 4, 32) +
              b"data" + struct.pack("<I", len(data)) + data)
    mono = b"RIFF" + struct.pack("<I", 4 + len(chunks)) + b"WAVE" + chunks
    assert sndtools.read_wav(mono) == (22050, struct.pack("<6h", 16384, 16384, -8192, -8192,
                                                          32767, 32767))
    with pytest.raises(sndtools.Error, match="no \"RIFF\""):
        sndtools.read_wav(b"ID3\x04" + wav)
