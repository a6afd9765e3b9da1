#!/usr/bin/python3
"""The page's speed in headless chromium: a 512 KiB ROM opened and its table
drawn with every waveform, then one phrase replaced by a WAV file; medians
of RUNS (default 5) runs, each on a freshly loaded page. The ROM: full
MSM6295 tables of 127 phrases of random nibbles (1500 to 2060 bytes each),
read with the plain layout (127 phrases) and as two banks (254 phrases).
Needs the web build (cmake --workflow --preset web) and Debian's chromium,
chromium-driver and python3-selenium; run it with /usr/bin/python3."""
import os
import random
import shutil
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'web'))
from page_test import WEB, Page, tone, wav_file  # noqa: E402

RUNS = int(os.environ.get('RUNS', '5'))


def image(rng):
    """256 KiB: a full table, 127 phrases one after the other from 0x400."""
    rom = bytearray(rng.randbytes(0x40000))
    rom[:0x400] = bytes(0x400)
    first = 0x400
    for n in range(1, 128):
        last = first + rng.randrange(1500, 2061) - 1
        rom[8 * n:8 * n + 8] = first.to_bytes(3, 'big') + last.to_bytes(3, 'big') + bytes(2)
        first = last + 1
    return rom


# From the file input's change event (the user's pick) to the first frame
# painted after the page says 'ready', timed inside the page.
WATCH = """
const input = arguments[0], t = window.benchTimes = {};
input.addEventListener('change', () => { t.pick = performance.now(); }, {capture: true, once: true});
new MutationObserver((m, o) => {
  if (t.pick === undefined || document.body.dataset.state !== 'ready') return;
  o.disconnect();
  requestAnimationFrame(() => setTimeout(() => { t.painted = performance.now() - t.pick; }));
}).observe(document.body, {attributes: true, attributeFilter: ['data-state']});
"""


def picked(page, input_element, path):
    page.driver.execute_script(WATCH, input_element)
    input_element.send_keys(path)
    painted = 'return window.benchTimes.painted'
    page.wait(lambda: page.driver.execute_script(painted) is not None, 'the page painted')
    return page.driver.execute_script(painted)


def one_run(page, rom_path, layout, wav_path):
    page.driver.get('file://' + os.path.join(WEB, 'index.html'))
    page.wait(lambda: page.state() == 'empty', 'the page loaded')
    time.sleep(1)  # a user's pick comes later: the page warms the module up meanwhile
    page.driver.execute_script('const s = document.querySelector("select#layout"); s.value = arguments[0];'
                               's.dispatchEvent(new Event("change", {bubbles: true}))', layout)
    wall_open = picked(page, page.find('input#rom-file'), rom_path)
    times = dict(page.driver.execute_script('return window.sndbankPageTimes'))
    label = page.find('tr.phrase').get_attribute('data-label')
    wall_replace = picked(page, page.find(f'tr.phrase[data-label="{label}"] input.replace'), wav_path)
    assert page.edited(label)
    rows = len(page.driver.find_elements('css selector', 'tr.phrase'))
    replace = page.driver.execute_script('return window.sndbankPageTimes.replace')
    return rows, [times['open'], times['draw'], wall_open, replace, wall_replace]


def main():
    work = tempfile.mkdtemp(prefix='sndbank-bench-')
    rng = random.Random(7)
    rom_path = os.path.join(work, 'rom.bin')
    with open(rom_path, 'wb') as f:
        f.write(image(rng) + image(rng))
    wav_path = os.path.join(work, 'new.wav')
    with open(wav_path, 'wb') as f:
        f.write(wav_file(tone(0.15, 22050, 440), 22050))
    page = Page(os.path.join(work, 'downloads'))
    try:
        print(f'medians of {RUNS} runs, milliseconds: open, draw and replace as the page times them; '
              'painted: from the pick of the file to the next frame painted')
        print(f'{"layout":9} {"phrases":>7} {"open":>7} {"draw":>7} {"painted":>7} '
              f'{"replace":>8} {"painted":>7}')
        for layout in ['msm6295', 'banks']:
            runs = [one_run(page, rom_path, layout, wav_path) for _ in range(RUNS)]
            medians = [statistics.median(r[1][i] for r in runs) for i in range(5)]
            print(f'{layout:9} {runs[0][0]:7} ' + ' '.join(f'{m:7.1f}' for m in medians[:3])
                  + f' {medians[3]:8.1f} {medians[4]:7.1f}')
    finally:
        page.driver.quit()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
