#!/usr/bin/python3
"""The page in headless chromium, opened from build/web/index.html as a user
double-clicks it: a ROM made here, its rows against `sndbank list`, a play,
a WAV file put in and the downloaded ROM against `sndbank implant`, a sound
too long cut, undo, an MP3 made by lame put in; the screenshot kept in
build/web/screenshot.png. Skips (status 0) without chromium, chromedriver or
selenium, unless SNDTOOLS_REQUIRE_BROWSER=1."""
import functools
import http.server
import math
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WEB = os.path.join(ROOT, 'build', 'web')
SNDBANK = os.environ.get('SNDBANK', os.path.join(ROOT, 'build', 'sndbank'))
CHROMEDRIVER = shutil.which('chromedriver')

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
    missing = None if CHROMEDRIVER and shutil.which('chromium') else 'chromium or chromedriver'
except ImportError:
    missing = 'selenium'
if missing:
    required = os.environ.get('SNDTOOLS_REQUIRE_BROWSER') == '1'
    print(f'page_test: no {missing}' +
          (', which SNDTOOLS_REQUIRE_BROWSER=1 requires' if required else ': skipped'))
    sys.exit(1 if required else 0)


def sndbank(*args):
    return subprocess.run([SNDBANK, *args], check=True, capture_output=True, text=True).stdout


def wav_file(samples, rate, channels=2):
    """A 16-bit PCM WAV file with the 44-byte header; samples interleaved."""
    data = struct.pack(f'<{len(samples)}h', *samples)
    return (b'RIFF' + struct.pack('<I', 36 + len(data)) + b'WAVEfmt '
            + struct.pack('<IHHIIHH', 16, 1, channels, rate, 2 * channels * rate, 2 * channels, 16)
            + b'data' + struct.pack('<I', len(data)) + data)


def tone(seconds, rate, hz, channels=2):
    """A decaying tone with its second harmonic, the same on every channel."""
    out = []
    for i in range(int(seconds * rate)):
        t = i / rate
        v = math.exp(-3 * t) * (math.sin(2 * math.pi * hz * t) + 0.4 * math.sin(4 * math.pi * hz * t))
        out += [round(16000 * v)] * channels
    return out


def implant(work, rom, wavs, *options):
    """sndbank implant of {wav name: bytes} into a copy of rom; its bytes."""
    folder = tempfile.mkdtemp(dir=work)
    path = os.path.join(folder, 'rom.bin')
    with open(path, 'wb') as f:
        f.write(rom)
    sndbank('extract', path, os.path.join(folder, 'wav'))
    for name, data in wavs.items():
        with open(os.path.join(folder, 'wav', name), 'wb') as f:
            f.write(data)
    sndbank('implant', *options, path, os.path.join(folder, 'wav'))
    with open(path, 'rb') as f:
        return f.read()


def make_rom(work):
    """64 KiB, an MSM6295 table of five phrases of tones and a sixth inside
    the fourth; their bytes encoded by sndbank implant."""
    spans = [(0x400, 0xBCF), (0xBD0, 0x178F), (0x1790, 0x1D6F), (0x1D70, 0x2D0F),
             (0x2D10, 0x36D3), (0x2000, 0x23FF)]
    rom = bytearray(random.Random(1).randbytes(0x10000))
    rom[:0x400] = bytes(0x400)
    for n, (first, last) in enumerate(spans, 1):
        rom[8 * n:8 * n + 8] = first.to_bytes(3, 'big') + last.to_bytes(3, 'big') + bytes(2)
    wavs = {f'{n:03}.wav': wav_file(tone(seconds, 16000, hz), 16000) for n, (hz, seconds) in
            enumerate([(330, 0.5), (440, 0.75), (554, 0.35), (262, 1), (660, 0.6)], 1)}
    return implant(work, bytes(rom), wavs, '--full-scale')


class Page:
    def __init__(self, downloads):
        os.makedirs(downloads, exist_ok=True)
        options = webdriver.ChromeOptions()
        options.binary_location = shutil.which('chromium')
        for arg in ['--headless=new', '--no-sandbox', '--disable-dev-shm-usage', '--window-size=1280,1000']:
            options.add_argument(arg)
        options.add_experimental_option('prefs', {'download.default_directory': downloads,
                                                  'download.prompt_for_download': False})
        options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
        self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        self.driver.execute_cdp_cmd('Page.setDownloadBehavior',
                                    {'behavior': 'allow', 'downloadPath': downloads})
        self.downloads = downloads
        self.driver.get('file://' + os.path.join(WEB, 'index.html'))

    def wait(self, condition, what):
        WebDriverWait(self.driver, 30, poll_frequency=0.01).until(lambda d: condition(), message=what)

    def state(self):
        return self.driver.execute_script('return document.body.dataset.state')

    def find(self, css):
        return self.driver.find_element(By.CSS_SELECTOR, css)

    def row(self, label):
        return self.find(f'tr.phrase[data-label="{label}"]')

    def edited(self, label):
        return 'edited' in self.row(label).get_attribute('class').split()

    def put(self, label, path, edited=True):
        """A file on the phrase's picker; waits until the row says so."""
        self.row(label).find_element(By.CSS_SELECTOR, 'input.replace').send_keys(path)
        self.wait(lambda: self.state() == 'ready' and self.edited(label) == edited, f'{label} replaced')

    def download_rom(self, name):
        for f in os.listdir(self.downloads):
            os.remove(os.path.join(self.downloads, f))
        self.find('#download-rom').click()
        path = os.path.join(self.downloads, name)
        self.wait(lambda: os.path.exists(path) and len(os.listdir(self.downloads)) == 1, 'the ROM downloaded')
        time.sleep(0.2)
        with open(path, 'rb') as f:
            return f.read()

    def severe(self):
        return [e['message'] for e in self.driver.get_log('browser') if e['level'] == 'SEVERE']


def check_rows(page, listed):
    """Each row's cells are the words of sndbank list's line, in order."""
    cells = ['label', 'first', 'last', 'bytes', 'seconds', 'peak', 'note']
    rows = page.driver.execute_script(
        'return [...document.querySelectorAll("tr.phrase")].map(r => arguments[0].map('
        'c => r.querySelector("td." + c).textContent.trim()))', cells)
    lines = [line.split(None, 6) for line in listed.splitlines() if line.split()[1].startswith('0x')]
    words = [line[:6] + (line[6:] and line[6].split()) for line in lines]
    assert [r[:6] + r[6].split() for r in rows] == words, (rows, lines)
    blank = page.driver.execute_script(
        'return [...document.querySelectorAll("tr.phrase canvas.wave")].filter(c => !c.getContext("2d")'
        '.getImageData(0, 0, c.width, c.height).data.some(v => v)).length')
    assert blank == 0, f'{blank} waveforms not drawn'


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def main():
    work = tempfile.mkdtemp(prefix='sndbank-page-')
    page = None
    try:
        rom = make_rom(work)
        rom_path = os.path.join(work, 'test.bin')
        with open(rom_path, 'wb') as f:
            f.write(rom)
        page = Page(os.path.join(work, 'downloads'))
        page.find('input#rom-file').send_keys(rom_path)
        page.wait(lambda: page.state() == 'ready', 'the ROM opened')
        check_rows(page, sndbank('list', rom_path))

        page.row('1').find_element(By.CSS_SELECTOR, 'button.play').click()
        time.sleep(0.5)
        severe = page.severe()
        assert not severe, severe

        # A 16-bit stereo WAV file gives sndbank implant's bytes.
        wav = wav_file(tone(0.3, 22050, 880), 22050)
        with open(os.path.join(work, 'new.wav'), 'wb') as f:
            f.write(wav)
        page.put('2', os.path.join(work, 'new.wav'))
        assert page.download_rom('test.bin') == implant(work, rom, {'002.wav': wav}), 'the ROM after a WAV'

        # Too long for phrase 3: the message, then cut to fit.
        with open(os.path.join(work, 'long.wav'), 'wb') as f:
            f.write(wav_file(tone(3, 22050, 440), 22050))
        page.row('3').find_element(By.CSS_SELECTOR, 'input.replace').send_keys(os.path.join(work, 'long.wav'))
        page.wait(lambda: page.find('#too-long').is_displayed(), 'the too-long message')
        page.find('#cut').click()
        page.wait(lambda: page.state() == 'ready' and page.edited('3'), 'the cut sound put in')
        assert not page.find('#too-long').is_displayed()

        for label in ['2', '3']:
            page.row(label).find_element(By.CSS_SELECTOR, 'button.undo').click()
            page.wait(lambda: page.state() == 'ready' and not page.edited(label), f'{label} undone')
        assert page.download_rom('test.bin') == rom, 'undo gives the ROM back'

        # An MP3 file (decoded by the browser) changes its phrase's bytes only.
        with open(os.path.join(work, 'voice.wav'), 'wb') as f:
            f.write(wav_file(tone(0.4, 22050, 300, channels=1), 22050, channels=1))
        subprocess.run(['lame', '--quiet', os.path.join(work, 'voice.wav'), os.path.join(work, 'voice.mp3')],
                       check=True)
        page.put('4', os.path.join(work, 'voice.mp3'))
        after = page.download_rom('test.bin')
        changed = [i for i in range(len(rom)) if after[i] != rom[i]]
        assert changed and 0x1D70 <= changed[0] and changed[-1] <= 0x2D0F, 'the MP3 changed phrase 4 only'

        page.driver.save_screenshot(os.path.join(WEB, 'screenshot.png'))
        assert not page.severe(), page.severe()

        # The same page served by a plain static server.
        server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), functools.partial(Quiet, directory=WEB))
        threading.Thread(target=server.serve_forever, daemon=True).start()
        try:
            page.driver.get(f'http://127.0.0.1:{server.server_address[1]}/index.html')
            page.find('input#rom-file').send_keys(rom_path)
            page.wait(lambda: page.state() == 'ready', 'the ROM opened from a served page')
            check_rows(page, sndbank('list', rom_path))
        finally:
            server.shutdown()
        print('page_test: list, play, WAV, too long and cut, undo, MP3, served: ok')
    finally:
        if page:
            page.driver.quit()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
