/* sndbank.js: sndbank in the browser (and under node). sndbank's own code,
 * compiled to WebAssembly with the library (sndbank_wasm.js), runs its
 * commands on files held in memory, so every list line, WAV file and ROM
 * is byte for byte what sndbank gives; nothing leaves the computer.
 *
 *   const bank = await sndbank.open(files, options)
 *     files: [{name, bytes: Uint8Array}], one ROM file or several in the
 *     order the board loads them. options (all optional):
 *       tableOffset  the phrase table's offset (default 0)
 *       regions      the text of a regions list ("offset length [rate]
 *                    [name]" a line), in place of the table; regionsName
 *                    its file's name (default regions.txt)
 *       layout       'msm6295' (default), 'banks', 'nmk112', 'tt5665',
 *                    'window-absolute:F,W', 'window-linear:F,W'
 *       pagedTable   nmk112: false when the table is not paged
 *       lowNibbleFirst  the other nibble order
 *       rate         the ADPCM rate of phrases without one (default 7575),
 *                    in Hz or as 'CLOCK/132'
 *     Throws sndbank.Refusal (its .lines are sndbank's message) when the
 *     ROM cannot be read as asked.
 *   bank.phrases   a row per phrase as `sndbank list` prints it: label,
 *                  number, bankIndex, first, last (offsets), firstText,
 *                  lastText, bytes, seconds (text), peak, note, rate,
 *                  wavName, multiplier, edited
 *   bank.messages  list's other lines: hints, faults, the closing line
 *   bank.faults    [{label, why}]: the entries that cannot be used, and why
 *   bank.listText  list's whole output
 *   bank.samples(label)  Int16Array: the phrase decoded, as it is now
 *   bank.wav(label)      Uint8Array: its WAV file, as `sndbank extract`
 *   bank.replace(label, frames, rate)  frames: Int16Array of 16-bit stereo
 *                  frames (left, right, ...) at rate Hz
 *   bank.replaceWav(label, wav)        any WAV file's bytes
 *   bank.replaceMany([{label, wav}])
 *   bank.undo(label)                   the phrase as opened
 *     Each rebuilds the ROM as `sndbank implant` would from the ROM as
 *     opened and every edited phrase's WAV file, with bank.settings, and
 *     returns {lines} (its report); a refusal throws sndbank.Refusal with
 *     .label, .tooLong (the sound is longer than its phrase) and
 *     .canResize (laying the phrases out again would make room),
 *     .canCompact (laying every phrase out again, resize 'compact', might), and
 *     changes nothing.
 *   bank.settings  {level: 'phrase' | 'full' | 'match', resize: false |
 *                  true | 'compact', best}: the phrase's own multiplier
 *                  (the default), full scale, or the replaced phrase's
 *                  level; room made for a longer sound (compact: every
 *                  phrase laid out again); the best-sounding road
 *   bank.setSettings(changes)          rebuilds with them
 *   bank.fitFrames(label, count, rate) the most of count frames that fit
 *   bank.wavFrames(wav)  {frames, rate}: any WAV file read as 16-bit
 *                        stereo frames by the library
 *   bank.edits     the labels of the phrases replaced
 *   bank.dirty     the ROM differs from what was opened or last saved
 *   bank.markSaved()
 *   bank.files()   [{name, bytes}]: the ROM's files as they are now
 *   bank.regions() {name, text}: the regions list as it is now, under the
 *                  name sndbank gives one a resize wrote (null: a table)
 *   await sndbank.ready()  loads the module and runs it once on a small ROM
 *                  (the first open is then no slower than the next)
 *   sndbank.framesFromChannels(channels)  Float32Arrays (the browser's
 *                  decoding) to 16-bit stereo frames: one channel on both
 *                  sides, two as they are, more mixed down
 *   sndbank.wavFile(frames, rate)  the 16-bit stereo WAV file of frames,
 *                  the library's header first (once the module is loaded)
 */
(function (root) {
    'use strict';

    class Refusal extends Error {
        constructor(lines, label) {
            super(lines.join('\n'));
            this.name = 'Refusal';
            this.lines = lines;
            const text = this.message, named = /^Phrase (\S+):/m.exec(text);
            this.label = label !== undefined ? label : named ? named[1] : undefined;
            this.tooLong = / too long for the phrase /.test(text);
            this.canResize = /or give --resize to give it/.test(text);
            this.canCompact = /give --resize=compact/.test(text);
        }
    }

    // One module for the page: sndbank's file system is its own.
    let module_promise = null, loaded = null;
    let sink = null;
    function wasm() {
        if (module_promise === null) {
            const factory = typeof sndbank_wasm === 'function' ? sndbank_wasm
                                                               : require('./sndbank_wasm.js');
            module_promise = factory({
                print: line => sink && sink.push(line),
                printErr: line => sink && sink.push(line),
            }).then(m => (loaded = m));
        }
        return module_promise;
    }

    // Runs use with blocks of the module's memory of the sizes given (at
    // least a byte each), freed however it ends.
    function with_memory(m, sizes, use) {
        const blocks = sizes.map(n => m._malloc(Math.max(1, n)));
        try {
            return use(...blocks);
        } finally {
            blocks.forEach(b => m._free(b));
        }
    }

    function run(m, args) {
        sink = [];
        let status;
        try {
            status = m.callMain(args);
        } catch (e) {
            sink.push(String(e && e.message || e));
            status = 1;
        }
        // The page's own folders are no names of the user's.
        const lines = sink.map(l => l.replace(/\/(?:rom\/\d+|opened|list)\//g, ''));
        sink = null;
        return {status, lines};
    }

    function remove_tree(fs, path) {
        if (!fs.analyzePath(path).exists)
            return;
        for (const name of fs.readdir(path)) {
            if (name === '.' || name === '..')
                continue;
            const p = path + '/' + name;
            if (fs.isDir(fs.stat(p).mode))
                remove_tree(fs, p);
            else
                fs.unlink(p);
        }
        fs.rmdir(path);
    }

    // A phrase's line of `sndbank list`.
    const row_pattern = /^ *(\S+)  (0x[0-9A-F]+)  (0x[0-9A-F]+) +(\d+) +(\d+\.\d+) +(\d+)(?:  (.*))?$/;

    // The manifest's rows by label (its number column holds the label).
    function manifest_rows(text) {
        const rows = new Map();
        let header = null;
        for (const line of text.split('\n')) {
            const cells = line.split('\t');
            if (cells[0] === 'number') {
                header = cells;
                continue;
            }
            if (header === null || cells.length < header.length)
                continue;
            const row = {};
            header.forEach((name, i) => { row[name] = cells[i]; });
            const label = row.number, m = /^(?:b(\d+)-)?0*(\d+)$/.exec(label);
            row.bank = m && m[1] !== undefined ? Number(m[1]) : -1;
            row.number = m ? Number(m[2]) : NaN;
            rows.set(label, row);
        }
        return rows;
    }

    // A library call's error, as a refusal in its words.
    function check(m, error) {
        if (error !== 0)
            throw new Refusal([m.UTF8ToString(m._sndtools_error_name(error))]);
    }

    function concat(parts) {
        const all = new Uint8Array(parts.reduce((n, p) => n + p.length, 0));
        let at = 0;
        for (const p of parts) {
            all.set(p, at);
            at += p.length;
        }
        return all;
    }

    // The library's header, then the frames (little-endian, as the
    // module's memory holds them).
    function wav_file(frames, rate) {
        const m = loaded;
        if (m === null)
            throw new Error('sndbank.wavFile: the module is not loaded yet (await sndbank.ready())');
        const n = frames.length / 2;
        return with_memory(m, [44 + 4 * n], wav => {
            check(m, m._sndtools_wav_header(wav, BigInt(n), rate));
            new Int16Array(m.HEAPU8.buffer, wav + 44, 2 * n).set(frames);
            return m.HEAPU8.slice(wav, wav + 44 + 4 * n);
        });
    }

    // One channel on both sides, two as they are (the library sums them, as
    // it sums a stereo WAV file's), more mixed down to their mean.
    function frames_from_channels(channels) {
        const n = channels.length ? channels[0].length : 0, frames = new Int16Array(2 * n);
        const sample = x => Math.max(-32768, Math.min(32767, Math.round(32768 * x)));
        const sides = channels.length <= 2 ? [channels[0], channels[channels.length - 1]] : null;
        for (let i = 0; i < n; i++) {
            if (sides) {
                frames[2 * i] = sample(sides[0][i]);
                frames[2 * i + 1] = sample(sides[1][i]);
                continue;
            }
            let sum = 0;
            for (const c of channels)
                sum += c[i];
            frames[2 * i] = frames[2 * i + 1] = sample(sum / channels.length);
        }
        return frames;
    }

    const rom_dir = '/rom', opened_dir = '/opened';
    const list_dir = '/list';

    class Bank {
        constructor(m, files, options) {
            this.m = m;
            this.names = files.map(f => f.name);
            this.opened = files.map(f => new Uint8Array(f.bytes));
            this.options = options;
            this.settings = {level: 'phrase', resize: false, best: false};
            this.edited = new Map(); // label: its WAV file
            this.originals = new Map(); // label: its WAV file as extracted, once edited
            this.saved = this.opened;
        }

        // The options that locate the phrases; list: the regions list as a
        // resize left it, for the ROM as it is now.
        source_args(list) {
            const o = this.options, args = [];
            // (both a list and a layout: sndbank's refusal says give one)
            if (o.regions)
                args.push('--regions', list || this.list_file);
            else
                args.push('--table-offset', String(o.tableOffset || 0));
            if (o.layout && o.layout !== 'msm6295')
                args.push('--layout', o.layout);
            if (o.pagedTable === false && !o.regions)
                args.push('--no-paged-table');
            if (o.lowNibbleFirst)
                args.push('--low-nibble-first');
            return args;
        }

        // --rate: list and extract; implant takes the manifest's rates.
        rate_args() {
            return ['--rate', String(this.options.rate || 7575)];
        }

        // The files beside the regions list: what a resize wrote.
        regions_left() {
            const fs = this.m.FS;
            if (!this.options.regions)
                return [];
            return fs.readdir(list_dir).filter(n => n !== '.' && n !== '..' &&
                                                    list_dir + '/' + n !== this.list_file);
        }

        rom_args() {
            const paths = this.names.map((n, i) => rom_dir + '/' + i + '/' + n);
            return paths.length === 1 ? [paths[0]] : paths.flatMap(p => ['--rom', p]);
        }

        put_rom(files) {
            const fs = this.m.FS;
            remove_tree(fs, rom_dir);
            fs.mkdir(rom_dir);
            files.forEach((bytes, i) => {
                fs.mkdir(rom_dir + '/' + i);
                fs.writeFile(rom_dir + '/' + i + '/' + this.names[i], bytes);
            });
        }

        command(args, label) {
            const r = run(this.m, args);
            if (r.status !== 0)
                throw new Refusal(r.lines, label);
            return r.lines;
        }

        // The list of the ROM as it is now.
        read_now() {
            const fs = this.m.FS;
            const listed = this.command(['list', ...this.source_args(this.list_now), ...this.rate_args(),
                                         ...this.rom_args()]);
            this.listText = listed.join('\n') + '\n';
            this.messages = [];
            this.phrases = [];
            this.faults = [];
            for (const line of listed) {
                const m = row_pattern.exec(line);
                if (m === null) {
                    const bad = /^ *(\S+)  bad: (.*)$/.exec(line);
                    if (bad)
                        this.faults.push({label: bad[1], why: bad[2]});
                    if (!/^ *# +first/.test(line))
                        this.messages.push(line);
                    continue;
                }
                const row = this.rows.get(m[1]) || {};
                this.phrases.push({
                    label: m[1], number: row.number, bankIndex: row.bank === undefined ? -1 : row.bank,
                    firstText: m[2], lastText: m[3], first: parseInt(m[2], 16),
                    last: parseInt(m[3], 16), bytes: Number(m[4]), seconds: m[5],
                    peak: Number(m[6]), note: m[7] || '', rate: Number(row.rate),
                    wavName: row.file, multiplier: row.multiplier,
                    edited: this.edited.has(m[1]),
                });
            }
            this.rom = concat(this.names.map((n, i) => fs.readFile(rom_dir + '/' + i + '/' + n)));
        }

        // The ROM as opened, every edit put in by sndbank implant.
        rebuild(label) {
            const fs = this.m.FS;
            this.put_rom(this.opened);
            this.list_now = this.list_file;
            for (const name of this.regions_left())
                fs.unlink(list_dir + '/' + name);
            const path = l => opened_dir + '/' + this.rows.get(l).file;
            if (this.edited.size > 0) {
                fs.writeFile(opened_dir + '/bank.tsv', this.manifest); // as extracted
                for (const [l, wav] of this.edited) {
                    if (!this.originals.has(l))
                        this.originals.set(l, fs.readFile(path(l)));
                    fs.writeFile(path(l), wav);
                }
                const s = this.settings, args = ['implant', ...this.source_args()];
                if (s.level === 'full')
                    args.push('--full-scale');
                else if (s.level === 'match')
                    args.push('--match-level');
                if (s.resize)
                    args.push(s.resize === 'compact' ? '--resize=compact' : '--resize');
                if (s.best)
                    args.push('--best');
                try {
                    this.report = this.command([...args, ...this.rom_args(), opened_dir], label);
                    // (a resize writes the list laid out again beside the list)
                    for (const name of this.regions_left())
                        this.list_now = list_dir + '/' + name;
                } finally {
                    for (const l of this.edited.keys())
                        fs.writeFile(path(l), this.originals.get(l));
                }
            } else {
                this.report = [];
            }
            this.read_now();
            return {lines: this.report};
        }

        // Changes the edits or settings, rebuilds, and puts both back when
        // sndbank refuses.
        change(label, what) {
            const edited = new Map(this.edited), settings = Object.assign({}, this.settings);
            what();
            try {
                return this.rebuild(label);
            } catch (e) {
                this.edited = edited;
                this.settings = settings;
                this.rebuild();
                throw e;
            }
        }

        phrase(label) {
            const p = this.phrases.find(p => p.label === label);
            if (!p)
                throw new Refusal(['No phrase ' + label], label);
            return p;
        }

        samples(label) {
            const p = this.phrase(label), m = this.m;
            return with_memory(m, [p.bytes, 8 * p.bytes], (region, out) => {
                m.HEAPU8.set(this.rom.subarray(p.first, p.first + p.bytes), region);
                check(m, m._sndtools_decode(region, BigInt(p.bytes), this.options.lowNibbleFirst ? 1 : 0,
                                            out));
                return Int16Array.from(m.HEAP32.subarray(out / 4, out / 4 + 2 * p.bytes));
            });
        }

        // What sndbank extract writes for it: the library's extraction at
        // the phrase's own rate, its level measured.
        wav(label) {
            const p = this.phrase(label), m = this.m;
            return with_memory(m, [p.bytes, 8, 48], (region, size_at, options) => {
                m.HEAPU8.fill(0, options, options + 48); // the options' _INIT: all 0 ...
                m.HEAP32[options / 4] = this.options.lowNibbleFirst ? 1 : 0; // ... but the order
                m.HEAPU8.set(this.rom.subarray(p.first, p.first + p.bytes), region);
                check(m, m._sndtools_extract_wav_size(BigInt(p.bytes), p.rate, p.rate, size_at));
                const size = Number(m.HEAP64[size_at / 8]);
                return with_memory(m, [size], wav => {
                    check(m, m._sndtools_extract(region, BigInt(p.bytes), p.rate, p.rate, options,
                                                 wav, BigInt(size), 0, 0));
                    return m.HEAPU8.slice(wav, wav + size);
                });
            });
        }

        replaceWav(label, wav) {
            return this.replaceMany([{label, wav}]);
        }

        replace(label, frames, rate) {
            return this.replaceWav(label, wav_file(frames, rate));
        }

        replaceMany(edits) {
            for (const e of edits)
                if (!this.rows.has(e.label))
                    throw new Refusal(['No phrase ' + e.label + ' to replace'], e.label);
            return this.change(edits.length === 1 ? edits[0].label : undefined, () => {
                for (const e of edits)
                    this.edited.set(e.label, new Uint8Array(e.wav));
            });
        }

        undo(label) {
            return this.change(label, () => this.edited.delete(label));
        }

        setSettings(changes) {
            return this.change(undefined, () => Object.assign(this.settings, changes));
        }

        get edits() {
            return [...this.edited.keys()];
        }

        // Whether the ROM differs from what was opened or last saved.
        get dirty() {
            const now = this.files();
            return now.some((f, i) => f.bytes.length !== this.saved[i].length ||
                                      f.bytes.some((b, j) => b !== this.saved[i][j]));
        }

        markSaved() {
            this.saved = this.files().map(f => f.bytes);
        }

        // The regions list of the ROM as it is now (a resize moves phrases:
        // then the list sndbank wrote, under the name it gives it), or null
        // with the table.
        regions() {
            if (!this.options.regions)
                return null;
            return {name: this.list_now.slice(list_dir.length + 1),
                    text: this.m.FS.readFile(this.list_now, {encoding: 'utf8'})};
        }

        files() {
            return this.names.map((name, i) => ({
                name, bytes: this.m.FS.readFile(rom_dir + '/' + i + '/' + name)}));
        }

        // Measured, then read.
        wavFrames(wav) {
            const m = this.m;
            return with_memory(m, [wav.length, 16], (at, counts) => {
                m.HEAPU8.set(wav, at);
                check(m, m._sndtools_read_wav(at, BigInt(wav.length), 0, 0n, counts, counts + 8));
                const n = Number(m.HEAP64[counts / 8]), rate = m.HEAP32[(counts + 8) / 4];
                return with_memory(m, [4 * n], frames => {
                    check(m, m._sndtools_read_wav(at, BigInt(wav.length), frames, BigInt(n), 0, 0));
                    return {frames: new Int16Array(m.HEAPU8.slice(frames, frames + 4 * n).buffer), rate};
                });
            });
        }

        fitFrames(label, count, rate) {
            const p = this.phrase(label), m = this.m;
            return with_memory(m, [8], out => {
                const needs = n => {
                    check(m, m._sndtools_region_bytes(BigInt(n), rate, p.rate, out));
                    return Number(m.HEAP64[out / 8]);
                };
                let lo = 0, hi = count;
                while (lo < hi) {
                    const mid = Math.ceil((lo + hi) / 2);
                    if (needs(mid) <= p.bytes)
                        lo = mid;
                    else
                        hi = mid - 1;
                }
                return lo;
            });
        }
    }

    async function open(files, options) {
        const m = await wasm();
        const bank = new Bank(m, files, Object.assign({}, options));
        const fs = m.FS;
        const list_name = String(bank.options.regionsName || '').replace(/[\/\\]/g, '_');
        bank.list_file = list_dir + '/' + (/^\.*$/.test(list_name) ? 'regions.txt' : list_name);
        bank.list_now = bank.list_file;
        remove_tree(fs, list_dir);
        fs.mkdir(list_dir);
        if (bank.options.regions)
            fs.writeFile(bank.list_file, bank.options.regions);
        bank.put_rom(bank.opened);
        // The WAV files as extracted from the ROM as opened: the folder
        // every implant starts from.
        remove_tree(fs, opened_dir);
        bank.command(['extract', ...bank.source_args(), ...bank.rate_args(), ...bank.rom_args(),
                      opened_dir]);
        bank.manifest = fs.readFile(opened_dir + '/bank.tsv');
        bank.rows = manifest_rows(new TextDecoder().decode(bank.manifest));
        bank.read_now();
        return bank;
    }

    // The module compiled and its paths run once on a small ROM, so that
    // the first ROM the user opens does not wait for that.
    async function ready() {
        const rom = new Uint8Array(4096).fill(0x17, 1024);
        rom.set([0, 4, 0, 0, 7, 255], 8);
        await open([{name: 'warm-up.bin', bytes: rom}], {});
    }

    const api = {open, ready, Refusal, framesFromChannels: frames_from_channels, wavFile: wav_file};
    if (typeof module === 'object' && module.exports)
        module.exports = api;
    else
        root.sndbank = api;
})(this);
