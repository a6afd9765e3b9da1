// The page over sndbank.js: open a ROM, list its phrases with a waveform
// each, play them, replace them from any sound file, download the ROM.
// Everything happens here, in the browser; nothing is sent anywhere.
(function () {
  'use strict';

  var WAVE_W = 240, WAVE_H = 40;
  var bank = null;        // the open ROM
  var romFiles = null;    // its files as opened, for a re-open when a field changes
  var regionsName = '';   // the regions list's file name, when one was picked
  var rows = {};          // label -> tr
  var replaced = {};      // label -> {name: the file that replaced it, said: what the row says}
  var report = [];        // the last rebuild's report, whose lines each row shows
  var pending = null;     // the too-long replacement waiting for an answer
  var pendingLabel = null; // the phrase its sound is too long for
  var relayoutAs = true;  // how it would lay the phrases out: true, or 'compact' (all of them)
  var focusBefore = null; // where the focus was before the too-long dialog
  var audio = null;       // the AudioContext, made on the first play
  var playing = null;     // {source, button}
  var times = window.sndbankPageTimes = {open: 0, draw: 0, replace: 0};

  function el(id) { return document.getElementById(id); }
  function setState(s) { document.body.dataset.state = s; }
  function isRefusal(e) { return e && Array.isArray(e.lines); }

  // ---- messages and outcome ----

  function lines(box, list, cls) {
    if (!list || !list.length) return;
    var pre = document.createElement('pre');
    pre.className = cls;
    pre.textContent = list.join('\n');
    box.appendChild(pre);
  }

  // sndbank list's own lines (hints, faults, the closing line), then a refusal's.
  function showMessages(refusal) {
    var box = el('messages');
    box.textContent = '';
    var list = bank ? bank.messages : [];
    lines(box, list, 'list-lines');
    lines(box, refusal, 'refusal');
    if (/ --(table-offset|layout|regions|low-nibble-first|rate)\b/.test(list.concat(refusal || []).join(' '))) {
      var p = document.createElement('p');
      p.className = 'options-note';
      p.textContent = 'On this page, under Layout: --table-offset is the Table offset, --layout the Board layout, ' +
        '--regions the Regions list, --low-nibble-first the Low nibble first box, --rate the Rate.';
      box.appendChild(p);
    }
  }

  function status(list, failed) {
    var box = el('status');
    box.textContent = '';
    box.classList.toggle('failed', !!failed);
    lines(box, list, 'report');
  }

  // The error's lines go to the messages; the outcome, in words, to the status.
  function fail(e, outcome) {
    stopPlaying();
    var list = isRefusal(e) ? e.lines : [String(e && e.message || e)];
    showMessages(list);
    status([outcome || 'Nothing was changed: the message above says why.'], true);
    setState('error');
  }

  // ---- opening the ROM ----

  function number(text, what) {
    var t = text.trim();
    if (/^0x[0-9a-fA-F]+$/.test(t)) return parseInt(t.slice(2), 16);
    if (/^[0-9]+$/.test(t)) return parseInt(t, 10);
    throw new Error(what + ': give a number, decimal (4096) or hexadecimal after 0x (0x1000).');
  }

  function openOptions() {
    var layout = el('layout').value;
    if (layout.indexOf('window-') === 0)
      layout += ':' + el('layout-fixed').value.trim() + ',' + el('layout-window').value.trim();
    var regions = el('regions-text').value;
    return {
      tableOffset: number(el('table-offset').value, 'Table offset'),
      regions: regions.trim() ? regions : null,
      regionsName: regionsName,
      layout: layout,
      pagedTable: layout !== 'nmk112' || el('paged-table').checked,
      lowNibbleFirst: el('low-nibble').checked,
      rate: el('rate').value.trim() || '7575'
    };
  }

  function readFiles(list) {
    return Promise.all(Array.prototype.map.call(list, function (f) {
      return f.arrayBuffer().then(function (b) { return {name: f.name, bytes: new Uint8Array(b)}; });
    }));
  }

  // The Layout fields as the open ROM was read with, for a re-open refused.
  var fieldsOpened = null;
  function layoutFields() {
    return Array.prototype.slice.call(el('layout-box').querySelectorAll('input:not([type=file]), select, textarea'));
  }
  function keepFields() {
    fieldsOpened = layoutFields().map(function (f) { return f.type === 'checkbox' ? f.checked : f.value; });
  }
  function restoreFields() {
    if (fieldsOpened) layoutFields().forEach(function (f, i) { f[f.type === 'checkbox' ? 'checked' : 'value'] = fieldsOpened[i]; });
    showLayoutFields();
  }

  async function openRom(files) {
    // Opening again starts from the files as opened: replacements (and their
    // undo) would go, downloaded or not.
    if (bank && bank.edits.length &&
        !window.confirm((bank.dirty ? 'The replaced phrases have not been downloaded. '
                                    : 'The replaced phrases are in the downloaded ROM only. ') +
                        'Open the ROM again and lose them here?')) {
      restoreFields();
      return;
    }
    var options;
    try {
      options = openOptions();
    } catch (e) {
      return fail(e);
    }
    setState('busy');
    stopPlaying();
    romFiles = files;
    el('rom-name').textContent = files.map(function (f) { return f.name; }).join(' + ');
    try {
      var t0 = performance.now();
      var opened = await sndbank.open(files, options);
      times.open = performance.now() - t0;
      bank = opened;
      replaced = {};
      report = [];
      var wanted = replaceSettings();
      var s = bank.settings;
      if (wanted.level !== s.level || wanted.resize !== s.resize || wanted.best !== s.best)
        await bank.setSettings(wanted);
      keepFields();
      el('bank').classList.remove('closed');
      buildTable();
      showMessages();
      status([bank.phrases.length + ' phrases in ' + el('rom-name').textContent + '.']);
      setState('ready');
    } catch (e) {
      bank = null;
      el('bank').classList.add('closed');
      el('layout-box').open = true;
      fail(e, el('rom-name').textContent + ' could not be opened with these Layout settings: the message above says why.');
    }
  }

  // ---- the table ----

  // One row made by hand, cloned for every phrase.
  var rowTemplate = (function () {
    var tr = document.createElement('tr');
    tr.className = 'phrase';
    ['label', 'first', 'last', 'bytes', 'seconds', 'peak', 'note'].forEach(function (c) {
      tr.insertCell().className = c;
    });
    var ratio = window.devicePixelRatio || 1;
    tr.insertCell().innerHTML = '<canvas class="wave" role="img" width="' + Math.round(WAVE_W * ratio) +
      '" height="' + Math.round(WAVE_H * ratio) + '"></canvas><div class="change"></div>';
    tr.lastChild.className = 'sound';
    tr.insertCell().innerHTML = '<button type="button" class="play">Play</button>' +
      '<label class="button">Replace…<input type="file" accept="audio/*" class="replace hidden-input"></label>' +
      '<button type="button" class="undo">Undo</button><button type="button" class="wav">Download WAV</button>';
    tr.lastChild.className = 'actions';
    return tr;
  })();

  function makeRow(p) {
    var tr = rowTemplate.cloneNode(true), l = p.label;
    tr.dataset.label = l;
    tr.querySelector('canvas').setAttribute('aria-label', 'Waveform of phrase ' + l);
    tr.querySelector('.play').setAttribute('aria-label', 'Play phrase ' + l);
    tr.querySelector('label').title = 'Replace phrase ' + l + ' with a sound file (or drop one on its row)';
    tr.querySelector('.replace').setAttribute('aria-label', 'Replace phrase ' + l + ' with a sound file');
    tr.querySelector('.undo').setAttribute('aria-label', 'Undo the replacement of phrase ' + l);
    tr.querySelector('.wav').setAttribute('aria-label', 'Download phrase ' + l + ' as ' + p.wavName);
    return tr;
  }

  // Text set only where it differs: a node replaced by the same text would
  // still make the browser lay the whole table out again.
  function setText(node, text) {
    text = String(text);
    if (node.textContent !== text) node.textContent = text;
  }

  function fillRow(tr, p) {
    var c = tr.cells;
    [p.label, p.firstText, p.lastText, p.bytes, p.seconds, p.peak, p.note].forEach(function (v, i) {
      setText(c[i], v);
    });
    tr.classList.toggle('edited', p.edited);
    var change = tr.querySelector('.change'), detail = reportOn(p);
    var said = p.edited ? (replaced[p.label] || {said: 'Replaced'}).said : '';
    if (change.said !== said || change.detail !== detail) {
      change.textContent = said;
      if (detail) {
        var small = document.createElement('small');
        small.textContent = detail;
        change.appendChild(small);
      }
      change.said = said;
      change.detail = detail;
    }
    tr.querySelector('.undo').disabled = !p.edited;
    // Drawn again only when its sound changed (an edit, or a phrase it lies in).
    var samples = bank.samples(p.label);
    if (!tr.samples || tr.drawnEdited !== p.edited || !same(tr.samples, samples)) {
      drawWave(tr.querySelector('canvas'), samples, p.edited);
      tr.samples = samples;
      tr.drawnEdited = p.edited;
    }
  }

  function same(a, b) {
    if (a.length !== b.length) return false;
    for (var i = 0; i < a.length; i++) if (a[i] !== b[i]) return false;
    return true;
  }

  function buildTable() {
    var t0 = performance.now();
    var body = el('phrases').tBodies[0];
    var frag = document.createDocumentFragment();
    rows = {};
    bank.phrases.forEach(function (p) {
      var tr = makeRow(p);
      rows[p.label] = tr;
      fillRow(tr, p);
      frag.appendChild(tr);
    });
    body.textContent = '';
    body.appendChild(frag);
    times.draw = performance.now() - t0;
  }

  // After a rebuild of the ROM: moved, grown and inner phrases change too.
  function refresh() {
    var known = bank.phrases.length === Object.keys(rows).length &&
                bank.phrases.every(function (p) { return rows[p.label]; });
    if (!known) return buildTable();
    var t0 = performance.now();
    bank.phrases.forEach(function (p) { fillRow(rows[p.label], p); });
    showMessages();
    times.draw = performance.now() - t0;
  }

  // One vertical stroke per pixel column, from its samples' least to greatest.
  function drawWave(canvas, samples, edited) {
    var w = canvas.width, h = canvas.height, ctx = canvas.getContext('2d');
    var n = samples.length, mid = h / 2, scale = (h / 2 - 1) / 2048;
    ctx.clearRect(0, 0, w, h);
    ctx.fillStyle = '#d5dbe3';
    ctx.fillRect(0, Math.floor(mid), w, 1);
    if (!n) return;
    ctx.beginPath();
    for (var x = 0; x < w; x++) {
      var a = Math.floor(x * n / w), b = Math.max(a + 1, Math.floor((x + 1) * n / w));
      var lo = 2047, hi = -2048;
      for (var i = a; i < b; i++) {
        var v = samples[i];
        if (v < lo) lo = v;
        if (v > hi) hi = v;
      }
      ctx.moveTo(x + 0.5, mid - hi * scale - 0.5);
      ctx.lineTo(x + 0.5, mid - lo * scale + 0.5);
    }
    ctx.lineWidth = 1;
    ctx.strokeStyle = edited ? '#b3541e' : '#22577a';
    ctx.stroke();
  }

  // ---- playing ----

  // An AudioBuffer at the phrase's rate; a browser that refuses the rate gets
  // the samples resampled linearly to its own (for listening only).
  function audioBuffer(ctx, samples, rate) {
    var n = Math.max(1, samples.length), buffer, data, i;
    try {
      buffer = ctx.createBuffer(1, n, rate);
      data = buffer.getChannelData(0);
      for (i = 0; i < samples.length; i++) data[i] = samples[i] / 2048;
      return buffer;
    } catch (e) {
      var m = Math.max(1, Math.round(samples.length * ctx.sampleRate / rate));
      buffer = ctx.createBuffer(1, m, ctx.sampleRate);
      data = buffer.getChannelData(0);
      var step = rate / ctx.sampleRate, last = samples.length - 1;
      for (i = 0; i < m && last >= 0; i++) {
        var at = i * step, k = Math.min(Math.floor(at), last), f = at - k;
        data[i] = (samples[k] + (samples[Math.min(k + 1, last)] - samples[k]) * f) / 2048;
      }
      return buffer;
    }
  }

  function stopPlaying() {
    if (!playing) return;
    var was = playing;
    playing = null;
    was.button.textContent = 'Play';
    was.button.setAttribute('aria-label', 'Play phrase ' + was.label);
    try { was.source.stop(); } catch (e) { /* already ended */ }
  }

  function play(label, btn) {
    var again = playing && playing.button === btn;
    stopPlaying();
    if (again) return;
    try {
      if (!audio) audio = new (window.AudioContext || window.webkitAudioContext)();
      if (audio.state === 'suspended') audio.resume();
      var source = audio.createBufferSource();
      source.buffer = audioBuffer(audio, bank.samples(label), bank.phrase(label).rate);
      source.connect(audio.destination);
      source.onended = function () { if (playing && playing.source === source) stopPlaying(); };
      source.start();
      playing = {source: source, button: btn, label: label};
      btn.textContent = 'Stop';
      btn.setAttribute('aria-label', 'Stop phrase ' + label);
    } catch (e) {
      status(['This browser could not play the sound: ' + (e.message || e)], true);
    }
  }

  // ---- reading sound files ----

  function isWav(b) {
    return b.length >= 12 && text(b, 0, 4) === 'RIFF' && text(b, 8, 4) === 'WAVE';
  }

  function text(b, at, n) { return String.fromCharCode.apply(null, b.subarray(at, at + n)); }

  function find(b, s, from, to) {
    to = Math.min(to, b.length - s.length);
    outer: for (var i = from; i <= to; i++) {
      for (var j = 0; j < s.length; j++) if (b[i + j] !== s.charCodeAt(j)) continue outer;
      return i;
    }
    return -1;
  }

  // The rate a sound file holds its samples at, from its header (0: unknown).
  function fileRate(b) {
    var v = new DataView(b.buffer, b.byteOffset, b.byteLength), at;
    function flac(at) { return at >= 0 && b.length > at + 21 ? (b[at + 18] << 12) | (b[at + 19] << 4) | (b[at + 20] >> 4) : 0; }
    if (isWav(b)) {
      for (at = 12; at + 16 <= b.length; at += 8 + v.getUint32(at + 4, true) + (v.getUint32(at + 4, true) & 1))
        if (text(b, at, 4) === 'fmt ') return v.getUint32(at + 12, true);
      return 0;
    }
    if (text(b, 0, 4) === 'fLaC') return flac(0);
    if (text(b, 0, 4) === 'OggS') {
      if ((at = find(b, '\x01vorbis', 0, 4096)) >= 0 && b.length > at + 16) return v.getUint32(at + 12, true);
      if (find(b, 'OpusHead', 0, 4096) >= 0) return 48000;  // Opus always decodes at 48 kHz
      return flac(find(b, 'fLaC', 0, 4096));
    }
    if (text(b, 4, 4) === 'ftyp') {
      at = find(b, 'mp4a', 8, b.length);
      return at >= 0 && b.length > at + 30 ? v.getUint16(at + 28) : 0;
    }
    at = 0;
    if (text(b, 0, 3) === 'ID3' && b.length > 10)
      at = 10 + ((b[6] & 127) << 21 | (b[7] & 127) << 14 | (b[8] & 127) << 7 | (b[9] & 127)) + (b[5] & 16 ? 10 : 0);
    for (var end = Math.min(b.length - 3, at + 65536); at < end; at++) {
      if (b[at] !== 0xFF || (b[at + 1] & 0xE0) !== 0xE0) continue;
      var version = (b[at + 1] >> 3) & 3, layer = (b[at + 1] >> 1) & 3;
      if (layer === 0 && (b[at + 1] & 0xF6) === 0xF0) {  // ADTS (AAC)
        var adts = [96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350];
        var k = (b[at + 2] >> 2) & 15;
        if (k < adts.length) return adts[k];
      } else if (version !== 1 && layer !== 0 && (b[at + 2] >> 4) !== 15 && ((b[at + 2] >> 2) & 3) !== 3) {
        return [44100, 48000, 32000][(b[at + 2] >> 2) & 3] / [4, 0, 2, 1][version];
      }
    }
    return 0;
  }

  // Decoded by the browser at the file's own rate: a context at that rate
  // does not resample (a plain decode would, to the audio device's rate).
  async function decode(s) {
    var rate = fileRate(s.bytes);
    if (!(rate >= 3000 && rate <= 768000)) rate = 48000;
    var buffer;
    try {
      buffer = await new OfflineAudioContext(1, 1, rate).decodeAudioData(s.bytes.slice().buffer);
    } catch (e) {
      throw new Error('This browser cannot read ' + s.name + ' as a sound.');
    }
    var channels = [];
    for (var i = 0; i < buffer.numberOfChannels; i++) channels.push(buffer.getChannelData(i));
    s.frames = sndbank.framesFromChannels(channels);
    s.rate = rate;
  }

  // ---- replacing ----

  // s: {label, name, bytes, frames, rate, cut}; WAV files through the
  // library's own reader, so that they give sndbank's very bytes.
  async function put(s) {
    var opened = bank;
    if (!s.frames && libraryFrames(s)) return await bank.replaceWav(s.label, s.bytes);
    if (!s.frames) await decode(s);
    if (bank !== opened) throw new Error('Another ROM was opened while ' + s.name + ' was read: it was not put in.');
    return await bank.replace(s.label, s.frames, s.rate);
  }

  // A WAV file's frames as the library reads them, read once; null for a
  // file it cannot read (the browser may).
  function libraryFrames(s) {
    if (s.library === undefined) {
      s.library = null;
      if (isWav(s.bytes)) {
        try { s.library = bank.wavFrames(s.bytes); } catch (e) { /* not one it reads */ }
      }
    }
    return s.library;
  }

  // The sound's own length.
  function seconds(s) {
    var read = s.frames ? s : libraryFrames(s);
    return read ? read.frames.length / 2 / read.rate : NaN;
  }

  // The name of a phrase's sound: the file the user gave, or its WAV file's.
  function soundName(p) {
    return replaced[p.label] ? replaced[p.label].name : p.wavName;
  }

  // sndbank implant's lines on a phrase: its own, and those naming its sound.
  function reportOn(p) {
    var pattern = new RegExp('^\\s*' + p.label.replace(/[^\w]/g, '\\$&') + '\\s+(.*)$'), detail = [];
    report.forEach(function (line) {
      var m = pattern.exec(line);
      if (m) detail.push(m[1]);
      else if (line.indexOf(': ' + soundName(p) + ' ') > 0) detail.push(line.slice(0, line.indexOf(':')));
    });
    return detail.join('; ');
  }

  // After a rebuild: the rows as the ROM is now, the outcome and the report,
  // which names each sound by the file the user gave, not by the WAV file
  // the page made of it.
  function rebuilt(result, outcome) {
    report = (result && result.lines || []).map(function (line) {
      bank.phrases.forEach(function (p) {
        line = line.split(': ' + p.wavName + ' ').join(': ' + soundName(p) + ' ');
      });
      return line;
    });
    refresh();
    status([outcome].concat(report).filter(Boolean));
    setState('ready');
  }

  function done(list, result) {
    list.forEach(function (s) {
      var own = seconds(s);
      replaced[s.label] = {name: s.name, said: 'Replaced by ' + s.name +
                           (isNaN(own) ? '' : ', ' + own.toFixed(3) + ' s') + (s.cut ? ', cut to fit' : '')};
    });
    rebuilt(result, '');
  }

  // resized: the phrases were just laid out again for it; a refusal now
  // leaves cutting it.
  async function attempt(list, t0, resized) {
    setState('busy');
    if (bank.settings.best) {
      // The search takes a while: the words shown before it starts.
      status(['Searching for the best-sounding codes…']);
      await new Promise(function (go) { requestAnimationFrame(function () { setTimeout(go); }); });
    }
    try {
      var result;
      if (list.length === 1) result = await put(list[0]);
      else result = await bank.replaceMany(list.map(function (s) {
        return {label: s.label, wav: s.frames ? sndbank.wavFile(s.frames, s.rate) : s.bytes};
      }));
      done(list, result);
      times.replace = performance.now() - t0;
      var tr = rows[list[0].label];
      if (tr) tr.querySelector('.play').focus({preventScroll: true});
      return true;
    } catch (e) {
      if (isRefusal(e) && (e.tooLong || resized && list.length === 1)) tooLong(list, e, resized);
      else fail(e);
      return false;
    }
  }

  async function replaceFiles(label, files) {
    setState('busy');
    try {
      var read = await readFiles(files), list = [], unknown = [];
      if (label && read.length === 1) {
        list.push({label: label, name: read[0].name, bytes: read[0].bytes});
      } else {
        read.forEach(function (f) {
          var base = f.name.replace(/\.[^.]*$/, '').toLowerCase();
          var p = bank.phrases.find(function (q) { return q.wavName.replace(/\.[^.]*$/, '').toLowerCase() === base; });
          if (p) list.push({label: p.label, name: f.name, bytes: f.bytes});
          else unknown.push(f.name);
        });
      }
      var leftOut = unknown.length ? ['Named like no phrase (name a file as its phrase\'s WAV file, 003.wav), so left out: ' +
                                      unknown.join(', ')] : null;
      if (!list.length) {
        showMessages(leftOut);
        status(['Nothing replaced: drop a sound on the row of the phrase it replaces.'], true);
        setState('ready');
        return;
      }
      var t0 = performance.now();
      // Files the library reads go in together; others are decoded and put in one by one.
      var wavs = list.filter(function (s) { return isWav(s.bytes); });
      var others = list.filter(function (s) { return !isWav(s.bytes); });
      var ok = !wavs.length || await attempt(wavs, t0);
      for (var i = 0; ok && i < others.length; i++) ok = await attempt([others[i]], t0);
      if (ok && leftOut) showMessages(leftOut);
    } catch (e) {
      fail(e);
    }
  }

  // ---- too long ----

  function tooLong(list, e, resized) {
    var s = list.find(function (x) { return x.label === e.label; }) || list[0];
    // After a relayout that found no room, laying every phrase out again may.
    var compact = resized && e.canCompact && bank.settings.resize !== 'compact';
    var canResize = e.canResize && !resized || compact, p = bank.phrase(s.label);
    relayoutAs = compact ? 'compact' : true;
    el('relayout').textContent = compact ? 'Lay every phrase out again' : 'Lay the phrases out again';
    var lasts = /lasts ([0-9.]+) seconds/.exec(e.lines.join(' '));
    pending = list;
    pendingLabel = s.label;
    showMessages(e.lines);
    el('too-long-text').textContent = (lasts
      ? s.name + ' lasts ' + lasts[1] + ' s, but phrase ' + p.label + ' has room for ' + p.seconds + ' s in the ROM. '
      : s.name + ' is longer than the ' + p.seconds + ' s that phrase ' + p.label + ' has room for in the ROM. ') + (compact
        ? 'No free span is long enough for it: every phrase can be laid out again one after the other (all may move), or the sound can be cut to fit.'
        : canResize
        ? 'The phrases can be laid out again so that it gets the room it needs (other phrases may move), or the sound can be cut to fit.'
        : 'There is no free room in the ROM for it to grow: it can be cut to fit, or replaced by a shorter sound.');
    el('too-long-lines').textContent = e.lines.join('\n');
    el('relayout').disabled = !canResize;
    el('cut').disabled = !list.some(function (x) { return x.label === e.label; });
    if (el('too-long').hidden) focusBefore = document.activeElement;
    el('too-long').hidden = false;
    document.querySelector('main').inert = true;
    status(['Nothing was changed: the sound is too long for its phrase.'], true);
    setState('error');
    el(canResize ? 'relayout' : el('cut').disabled ? 'cancel-long' : 'cut').focus();
  }

  function closeTooLong() {
    el('too-long').hidden = true;
    document.querySelector('main').inert = false;
    var list = pending;
    pending = null;
    return list;
  }

  // Laying out again rebuilds at once (an earlier edit may move): when the
  // sound still does not go in, the layout goes back as it was.
  async function relayout() {
    var list = closeTooLong(), t0 = performance.now(), before = bank.settings.resize;
    setState('busy');
    try {
      await bank.setSettings({resize: relayoutAs});
      el('resize').checked = true;
    } catch (e) {
      return fail(e);
    }
    if (await attempt(list, t0, true)) return;
    try {
      await bank.setSettings({resize: before});
    } catch (e) { /* it held before */ }
    el('resize').checked = !!before;
    refresh();
  }

  // Cut to the frames that fit; a WAV file's frames as the library reads it.
  async function cut() {
    var label = pendingLabel, list = closeTooLong(), t0 = performance.now();
    var s = list.find(function (x) { return x.label === label; });
    setState('busy');
    try {
      var read = s.frames ? null : libraryFrames(s);
      if (read) {
        s.frames = read.frames;
        s.rate = read.rate;
      }
      if (!s.frames) await decode(s);
      var keep = await bank.fitFrames(s.label, s.frames.length / 2, s.rate);
      s.frames = s.frames.subarray(0, keep * 2);
      s.cut = true;
    } catch (e) {
      return fail(e);
    }
    await attempt(list, t0);
  }

  // ---- settings, undo, downloads ----

  function replaceSettings() {
    var resize = el('resize').checked && (bank.settings.resize || true);
    return {level: el('level').value, resize: resize, best: el('best').checked};
  }

  async function applySettings() {
    if (!bank) return;
    setState('busy');
    try {
      rebuilt(await bank.setSettings(replaceSettings()), 'Settings changed.');
    } catch (e) {
      el('level').value = bank.settings.level;
      el('resize').checked = !!bank.settings.resize;
      el('best').checked = bank.settings.best;
      fail(e);
    }
  }

  async function undo(label) {
    setState('busy');
    try {
      var result = await bank.undo(label);
      delete replaced[label];
      rebuilt(result, 'Phrase ' + label + ' is back as it was in the ROM as opened.');
    } catch (e) {
      fail(e);
    }
  }

  function download(name, bytes) {
    var url = URL.createObjectURL(new Blob([bytes], {type: 'application/octet-stream'}));
    var a = document.createElement('a');
    a.href = url;
    a.download = name;
    document.body.appendChild(a);
    a.click();
    a.remove();
    setTimeout(function () { URL.revokeObjectURL(url); }, 60000);
  }

  // The ROM's files, and the regions list a resize wrote, under sndbank's
  // name for it (list-resized.txt beside list.txt).
  function downloadRom() {
    try {
      var files = bank.files(), now = bank.regions();
      if (now && now.text !== bank.options.regions)
        files = files.concat([{name: now.name, bytes: new TextEncoder().encode(now.text)}]);
      files.forEach(function (f) { download(f.name, f.bytes); });
      bank.markSaved();
      status(['Downloaded ' + files.map(function (f) { return f.name; }).join(', ') + '.' +
              (files.length > romFiles.length ? ' Keep the new regions list with the ROM: phrases moved.' : '')]);
    } catch (e) {
      fail(e);
    }
  }

  // ---- wiring ----

  function showLayoutFields() {
    var layout = el('layout').value;
    document.querySelectorAll('.window-field').forEach(function (n) { n.hidden = layout.indexOf('window-') !== 0; });
    document.querySelectorAll('.nmk-field').forEach(function (n) { n.hidden = layout !== 'nmk112'; });
  }

  function droppable(node, onDrop) {
    node.addEventListener('dragover', function (e) {
      e.preventDefault();
      e.stopPropagation();
      node.classList.add('drop-over');
    });
    node.addEventListener('dragleave', function () { node.classList.remove('drop-over'); });
    node.addEventListener('drop', function (e) {
      e.preventDefault();
      e.stopPropagation();
      node.classList.remove('drop-over');
      if (e.dataTransfer.files.length) onDrop(e.dataTransfer.files, e);
    });
  }

  function openPicked(list) {
    if (list.length) readFiles(list).then(openRom, fail);
  }

  el('rom-file').addEventListener('change', function () { openPicked(this.files); this.value = ''; });
  droppable(el('rom-drop'), openPicked);
  // A file dropped elsewhere is a ROM while none is open; never a page to leave for.
  droppable(document.body, function (files) {
    if (!bank) openPicked(files);
    else status(['Drop a ROM on the box at the top, or a sound on the row of the phrase it replaces.'], true);
  });

  var table = el('phrases');
  droppable(table, function (files, e) {
    var tr = e.target.closest && e.target.closest('tr.phrase');
    replaceFiles(tr ? tr.dataset.label : null, files);
  });
  table.addEventListener('dragover', function (e) {
    var tr = e.target.closest && e.target.closest('tr.phrase');
    table.querySelectorAll('tr.drop-row').forEach(function (r) { if (r !== tr) r.classList.remove('drop-row'); });
    if (tr) tr.classList.add('drop-row');
  });
  ['dragleave', 'drop'].forEach(function (type) {
    table.addEventListener(type, function () {
      table.querySelectorAll('tr.drop-row').forEach(function (r) { r.classList.remove('drop-row'); });
    });
  });
  table.addEventListener('click', function (e) {
    var b = e.target.closest('button');
    if (!b || !bank) return;
    var label = b.closest('tr.phrase').dataset.label;
    if (b.classList.contains('play')) play(label, b);
    else if (b.classList.contains('undo')) undo(label);
    else if (b.classList.contains('wav')) {
      try { download(bank.phrase(label).wavName, bank.wav(label)); } catch (err) { fail(err); }
    }
  });
  table.addEventListener('change', function (e) {
    var input = e.target;
    if (!input.classList.contains('replace') || !input.files.length) return;
    replaceFiles(input.closest('tr.phrase').dataset.label, input.files).then(function () { input.value = ''; });
  });

  el('layout-box').addEventListener('change', function (e) {
    showLayoutFields();
    if (e.target.id === 'regions-file') {
      var f = e.target.files[0];
      e.target.value = '';
      if (!f) return;
      return f.text().then(function (t) {
        el('regions-text').value = t;
        regionsName = f.name;
        if (romFiles) openRom(romFiles);
      }, fail);
    }
    if (romFiles) openRom(romFiles);
  });
  ['level', 'resize', 'best'].forEach(function (id) { el(id).addEventListener('change', applySettings); });
  el('download-rom').addEventListener('click', downloadRom);
  el('relayout').addEventListener('click', relayout);
  el('cut').addEventListener('click', cut);
  el('cancel-long').addEventListener('click', function () {
    closeTooLong();
    if (focusBefore && document.contains(focusBefore)) focusBefore.focus();
    showMessages();
    status(['Nothing replaced.']);
    setState('ready');
  });
  el('too-long').addEventListener('keydown', function (e) {
    if (e.key === 'Escape') el('cancel-long').click();
  });
  window.addEventListener('beforeunload', function (e) {
    if (bank && bank.dirty) {
      e.preventDefault();
      e.returnValue = '';
    }
  });

  showLayoutFields();
  setState('empty');
  // The module compiled while the user picks a file.
  sndbank.ready().catch(function () { /* the open will say */ });
})();
