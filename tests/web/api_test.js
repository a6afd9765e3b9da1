// The page's module under node, byte for byte against the native sndbank:
// the list, every phrase's WAV file, and the ROM after a replacement with
// each setting. Run from the source tree after the web and native builds:
//   node tests/web/api_test.js
// (SNDBANK names another native sndbank, SNDBANK_JS another module).
'use strict';
const assert = require('assert');
const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const root = path.resolve(__dirname, '..', '..');
const sndbank_exe = process.env.SNDBANK || path.join(root, 'build', 'sndbank');
const sndbank = require(process.env.SNDBANK_JS || path.join(root, 'build', 'web', 'sndbank.js'));
const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'sndbank-api-'));

function run(args) {
  return execFileSync(sndbank_exe, args, { cwd: tmp, encoding: 'latin1' });
}

// A 256 KiB image with an MSM6295 table at 0 (entries 1.. as [first, last])
// and pseudo-random nibbles (a fixed LCG) for the phrases' bytes.
function image(entries, seed) {
  const rom = new Uint8Array(0x40000).fill(0xff);
  let x = seed;
  for (let i = 0x400; i < rom.length; i++) {
    x = (Math.imul(x, 1103515245) + 12345) >>> 0;
    rom[i] = x >>> 24;
  }
  entries.forEach(([first, last], i) => {
    const e = 8 * (i + 1);
    rom.set([first >> 16, first >> 8, first, last >> 16, last >> 8, last, 0, 0].map(b => b & 0xff), e);
  });
  return rom;
}

// 16-bit stereo frames: a sweep, the right channel at half the left.
function sweep(seconds, rate) {
  const n = Math.round(seconds * rate);
  const frames = new Int16Array(2 * n);
  for (let i = 0; i < n; i++) {
    const t = i / rate;
    const v = Math.round(20000 * Math.sin(2 * Math.PI * (200 + 1800 * t / seconds) * t));
    frames[2 * i] = v;
    frames[2 * i + 1] = v >> 1;
  }
  return frames;
}

function wav_file(frames, rate) {
  const b = Buffer.alloc(44 + 2 * frames.length);
  b.write('RIFF', 0); b.writeUInt32LE(36 + 2 * frames.length, 4); b.write('WAVEfmt ', 8);
  b.writeUInt32LE(16, 16); b.writeUInt16LE(1, 20); b.writeUInt16LE(2, 22);
  b.writeUInt32LE(rate, 24); b.writeUInt32LE(4 * rate, 28); b.writeUInt16LE(4, 32);
  b.writeUInt16LE(16, 34); b.write('data', 36); b.writeUInt32LE(2 * frames.length, 40);
  frames.forEach((v, i) => b.writeInt16LE(v, 44 + 2 * i));
  return b;
}

// Writes the ROM's files into a fresh folder; returns the --rom arguments.
let folders = 0;
function write_rom(files) {
  const dir = path.join(tmp, 'rom' + folders++);
  fs.mkdirSync(dir);
  return files.flatMap(f => {
    fs.writeFileSync(path.join(dir, f.name), f.bytes);
    return ['--rom', path.join(dir, f.name)];
  });
}

const bank_bin = new Uint8Array(fs.readFileSync(path.join(root, 'examples', 'bank.bin')));
const roms = [
  { name: 'one file', files: [{ name: 'bank.bin', bytes: bank_bin }], options: {}, args: [] },
  { name: 'banks, two files', options: { layout: 'banks' }, args: ['--layout', 'banks'],
    files: [
      // a phrase inside another, one alike an earlier one, one ending before it starts
      { name: 'a.bin', bytes: image([[0x400, 0x7ff], [0x500, 0x5ff], [0x400, 0x7ff], [0x900, 0x800]], 1) },
      { name: 'b.bin', bytes: image([[0x400, 0xbff], [0x2000, 0x2fff]], 2) }] },
];

async function check_listing(c) {
  const bank = await sndbank.open(c.files, c.options);
  const rom_args = write_rom(c.files);
  const list = run(['list', ...c.args, ...rom_args]);
  assert.strictEqual(bank.listText, list, c.name);
  const dir = path.join(tmp, 'x' + folders++);
  run(['extract', ...c.args, ...rom_args, dir]);
  assert.ok(bank.phrases.length > 0, c.name);
  for (const p of bank.phrases) {
    const line = list.split('\n').find(l => l.trim().split(/\s+/)[0] === p.label);
    assert.deepStrictEqual(line.trim().split(/\s+/).slice(0, 6),
                           [p.label, p.firstText, p.lastText, String(p.bytes), p.seconds, String(p.peak)]);
    assert.ok(Buffer.from(bank.wav(p.label)).equals(fs.readFileSync(path.join(dir, p.wavName))),
              c.name + ' ' + p.label);
    assert.strictEqual(Math.max(...bank.samples(p.label).map(Math.abs)), p.peak, p.label);
  }
}

// Each replacement on a fresh bank of bank.bin: the module's ROM against
// sndbank implant of the same frames as a WAV file on a copy of the ROM.
const replacements = [
  { name: 'default', settings: {}, args: [], seconds: 0.25 },
  { name: 'full scale', settings: { level: 'full' }, args: ['--full-scale'], seconds: 0.25 },
  { name: 'match level', settings: { level: 'match' }, args: ['--match-level'], seconds: 0.25 },
  { name: 'best', settings: { best: true }, args: ['--best'], seconds: 0.25 },
  { name: 'resize', settings: {}, args: ['--resize'], seconds: 1.0, too_long: true },
];

async function check_replacement(c) {
  const label = '2', rate = 11025;
  const files = [{ name: 'bank.bin', bytes: bank_bin }];
  const bank = await sndbank.open(files, {});
  bank.setSettings(c.settings);
  const frames = sweep(c.seconds, rate);
  if (c.too_long) {
    assert.throws(() => bank.replace(label, frames, rate),
                  e => e instanceof sndbank.Refusal && e.tooLong && e.canResize && e.label === label);
    assert.deepStrictEqual(bank.files()[0].bytes, bank_bin, 'a refusal leaves the ROM');
    bank.setSettings({ resize: true });
  }
  bank.replace(label, frames, rate);

  const rom_args = write_rom(files);
  const dir = path.join(tmp, 'x' + folders++);
  run(['extract', ...rom_args, dir]);
  fs.writeFileSync(path.join(dir, bank.phrases.find(p => p.label === label).wavName), wav_file(frames, rate));
  run(['implant', ...c.args, ...rom_args, dir]);
  const implanted = fs.readFileSync(rom_args[1]);
  assert.ok(Buffer.from(bank.files()[0].bytes).equals(implanted), c.name);
  assert.ok(!implanted.equals(Buffer.from(bank_bin)), c.name + ': the phrase changed');
  assert.deepStrictEqual(bank.edits, [label]);

  bank.undo(label);
  assert.ok(Buffer.from(bank.files()[0].bytes).equals(Buffer.from(bank_bin)), c.name + ': undo');
}

// A regions list: a sound too long for the second of two replacements is
// named as sndbank names it; with resize, the ROM and the list laid out
// again are sndbank's, under sndbank's name for the list.
async function check_regions_resize() {
  const files = [{ name: 'bank.bin', bytes: bank_bin }], text = '0x400 800\n0x720 1320 8000\n';
  const bank = await sndbank.open(files, { regions: text, regionsName: 'sounds.txt' });
  const short = wav_file(sweep(0.1, 11025), 11025), long = wav_file(sweep(0.5, 11025), 11025);
  assert.throws(() => bank.replaceMany([{ label: '1', wav: short }, { label: '2', wav: long }]),
                e => e.tooLong && e.label === '2');
  bank.setSettings({ resize: true });
  bank.replaceMany([{ label: '1', wav: short }, { label: '2', wav: long }]);

  const rom_args = write_rom(files), list = path.join(path.dirname(rom_args[1]), 'sounds.txt');
  fs.writeFileSync(list, text);
  const dir = path.join(tmp, 'x' + folders++);
  run(['extract', '--regions', list, ...rom_args, dir]);
  fs.writeFileSync(path.join(dir, '001.wav'), short);
  fs.writeFileSync(path.join(dir, '002.wav'), long);
  run(['implant', '--resize', '--regions', list, ...rom_args, dir]);
  assert.ok(Buffer.from(bank.files()[0].bytes).equals(fs.readFileSync(rom_args[1])), 'regions: ROM');
  const resized = bank.regions();
  assert.strictEqual(resized.name, 'sounds-resized.txt');
  assert.strictEqual(resized.text, fs.readFileSync(path.join(path.dirname(list), resized.name), 'latin1'));
}

(async () => {
  try {
    await check_regions_resize();
    for (const c of roms) await check_listing(c);
    for (const c of replacements) await check_replacement(c);
    // The browser's decoding as frames: one channel on both sides, two as
    // they are, more mixed down to their mean; times 32768, rounded, clipped.
    const f = values => new Float32Array(values);
    for (const [channels, frames] of [
      [[f([0.25])], [8192, 8192]],
      [[f([0.5, -1, 1.5, 3 / 65536]), f([0, -1, 0.5, 0])], [16384, 0, -32768, -32768, 32767, 16384, 2, 0]],
      [[f([0.3]), f([0.3]), f([0.6])], [13107, 13107]],
    ])
      assert.deepStrictEqual(Array.from(sndbank.framesFromChannels(channels)), frames);
    console.log(`api_test: ${roms.length} ROMs listed and extracted, ` +
                `${replacements.length} replacements and a resized regions list byte for byte: ok`);
  } finally {
    fs.rmSync(tmp, { recursive: true, force: true });
  }
})().catch(e => { console.error(e); process.exitCode = 1; });
