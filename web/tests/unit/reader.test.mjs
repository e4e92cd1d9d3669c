// The page's reader against the desktop's, file by file: the same verdict,
// the same reason for a refusal, the same fields, texts, turn and
// registrations as shown for every seed, regression and mutation of them.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';
import { K, filesIn, kviBytes, oracle, rng, tempDir } from './helpers.mjs';

const hex = (b) => Buffer.from(b).toString('hex');
const regArray = (list) => list.map((r) => [r.startX, r.startY, r.endX, r.endY, r.lengthMm, r.centerX, r.centerY]);

// What the page makes of one file, in the verdict tool's terms.
function pageVerdict(bytes) {
  const p = K.parseKvi(bytes);
  if (!p.ok) return { ok: false, reason: p.reason };
  const f = p.file;
  const text = (b) => ({ hex: hex(b), text: K.decodeCp932(b) });
  const size = K.readJpegSize(f.jpegBytes);
  const o = K.shownOrientation(f.jpegBytes);
  return {
    ok: true,
    magic: text(f.magic), formatVersion: text(f.formatVersion), jpegName: text(f.jpegName), link: text(f.link),
    registrations: regArray(f.registrations),
    shown: regArray(size ? K.registrationsToShown(f.registrations, o, size) : f.registrations),
    jpegLength: f.jpegBytes.length,
    exif: K.readExifOrientation(f.jpegBytes), orientation: o, size: size ? [size.width, size.height] : null,
    logoWidth: f.logoWidth, logoHeight: f.logoHeight, logoLength: f.logoBytes.length, usableLogo: K.hasUsableLogo(f),
  };
}

// Every file in `files` read by both; the name says which one differed.
function compareAll(files) {
  const desktop = oracle(['kvi', ...files]);
  assert.equal(desktop.length, files.length);
  let accepted = 0;
  files.forEach((file, i) => {
    const page = pageVerdict(new Uint8Array(fs.readFileSync(file)));
    assert.deepEqual(page, desktop[i], path.basename(file));
    if (page.ok) accepted++;
  });
  return accepted;
}

// A JPEG head with an Exif orientation and a frame header, no pixels: the
// reader and the turn need no more.
function jpegHead(orientation, width, height, little = true) {
  const tiff = little
    ? [0x49, 0x49, 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, orientation, 0, 0, 0, 0, 0, 0, 0]
    : [0x4d, 0x4d, 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, orientation, 0, 0, 0, 0, 0, 0];
  const app1 = [0x45, 0x78, 0x69, 0x66, 0, 0, ...tiff];
  const sof = [8, height >> 8, height & 255, width >> 8, width & 255, 1, 1, 0x11, 0];
  return [0xff, 0xd8, 0xff, 0xe1, (app1.length + 2) >> 8, (app1.length + 2) & 255, ...app1,
    0xff, 0xc0, 0, sof.length + 2, ...sof, 0xff, 0xda, 0, 2, 0xff, 0xd9];
}

function seeds() {
  const regs = [K.makeRegistration(10, 40, 15, 31, 100), K.makeRegistration(-5, 7, 2000000000, -3, 0),
    K.makeRegistration(0, 0, 3, 4, -12)];
  const out = [];
  // The layout example: a 5-byte name, one registration, 1000 JPEG bytes,
  // no link and a 2 x 2 logo make 1158 bytes.
  out.push(['layout_example', kviBytes({ name: 'a.jpg', registrations: [regs[0]], jpeg: new Array(1000).fill(7),
    logoWidth: 2, logoHeight: 2, logo: new Array(12).fill(200) })]);
  assert.equal(out[0][1].length, 1158);
  out.push(['japanese_texts', kviBytes({ name: [0x8e, 0xca, 0x90, 0x5e, 0x2e, 0x6a, 0x70, 0x67],
    link: [0x68, 0x74, 0x74, 0x70, 0x3a, 0x2f, 0x2f, 0x5c, 0x7e, 0xb1, 0x87, 0x40, 0xed, 0x40, 0xfa, 0x40],
    registrations: regs, jpeg: jpegHead(6, 640, 480) })]);
  for (let o = 1; o <= 8; o++) {
    out.push([`turn_${o}`, kviBytes({ registrations: regs, jpeg: jpegHead(o, 300, 200, o % 2 === 0),
      logoWidth: 1, logoHeight: 1, logo: [1, 2, 3] })]);
  }
  out.push(['broken_text', kviBytes({ name: [0x82], link: [0x80, 0xa0, 0xfd], jpeg: [1] })]);
  out.push(['odd_logo', kviBytes({ magic: 'Other', version: '9', jpeg: [1, 2], logoWidth: 3, logoHeight: 1, logo: [1] })]);
  return out;
}

test('every seed, regression and vector reads as the desktop reads it', () => {
  const dir = tempDir('vectors');
  const files = filesIn('fuzz/corpus/kvi', 'fuzz/regressions/kvi');
  assert.ok(files.length >= 3, 'the seed corpus is there');
  for (const [name, bytes] of seeds()) {
    const f = path.join(dir, `${name}.kvi`);
    fs.writeFileSync(f, bytes);
    files.push(f);
  }
  // Every cut of a seed is refused by both, with the same reason.
  const cut = seeds()[1][1];
  for (let n = 0; n < cut.length; n += 3) {
    const f = path.join(dir, `cut_${n}.kvi`);
    fs.writeFileSync(f, cut.subarray(0, n));
    files.push(f);
  }
  assert.ok(compareAll(files) >= 12);
  fs.rmSync(dir, { recursive: true });
});

test('mutations of the seeds get the same verdict, reason and fields from both readers', () => {
  const dir = tempDir('mutations');
  const bases = [...filesIn('fuzz/corpus/kvi').map((f) => new Uint8Array(fs.readFileSync(f))),
    ...seeds().map(([, b]) => b)].filter((b) => b.length < 1 << 20);
  const next = rng(20261207);
  const special = [0, 1, 28, 64, 0x7fffffff, 0x80000000, 0xffffffff];
  const files = [];
  for (let round = 0; round < 3000; round++) {
    let b = Array.from(bases[next() % bases.length]);
    const edits = 1 + (next() % 4);
    for (let e = 0; e < edits && b.length > 0; e++) {
      const at = next() % b.length;
      switch (next() % 4) {
        case 0: b[at] = next() & 255; break;
        case 1:
          if (at + 4 <= b.length) {
            const v = special[next() % special.length];
            b.splice(at, 4, v & 255, (v >>> 8) & 255, (v >>> 16) & 255, v >>> 24);
          }
          break;
        case 2: b = b.slice(0, at); break;
        default: b.splice(at, 0, next() & 255); break;
      }
    }
    const f = path.join(dir, `m${round}.kvi`);
    fs.writeFileSync(f, Uint8Array.from(b));
    files.push(f);
  }
  const accepted = compareAll(files);
  assert.ok(accepted > 100 && accepted < files.length, `${accepted} of ${files.length} accepted`);
  fs.rmSync(dir, { recursive: true });
});

test('the JPEG head gives the same tag, size and turn as on the desktop', () => {
  const dir = tempDir('jpeg');
  const files = filesIn('fuzz/corpus/exif', 'fuzz/corpus/jpeg', 'fuzz/corpus/icc', 'fuzz/regressions/jpeg');
  const next = rng(7);
  // Mutations inside the head, where the tag and the frame header are.
  for (const f of filesIn('fuzz/corpus/exif')) {
    const base = fs.readFileSync(f);
    for (let k = 0; k < 60; k++) {
      const b = Buffer.from(base);
      const head = Math.min(b.length, 160);
      for (let e = 0; e < 1 + (next() % 3); e++) b[next() % head] = next() & 255;
      const m = path.join(dir, `${path.basename(f)}.${k}.jpg`);
      fs.writeFileSync(m, next() % 5 === 0 ? b.subarray(0, next() % b.length) : b);
      files.push(m);
    }
  }
  const desktop = oracle(['jpeg', ...files]);
  files.forEach((f, i) => {
    const b = new Uint8Array(fs.readFileSync(f));
    const size = K.readJpegSize(b);
    assert.deepEqual({ exif: K.readExifOrientation(b), orientation: K.shownOrientation(b), size: size ? [size.width, size.height] : null },
      desktop[i], path.basename(f));
  });
  fs.rmSync(dir, { recursive: true });
});

test('every one- and two-byte CP932 code decodes to what the desktop converter gives, or is refused by both', () => {
  const table = oracle(['cp932'])[0];
  const differ = [];
  for (const [code, text] of table) {
    const bytes = code > 255 ? Uint8Array.of(code >> 8, code & 255) : Uint8Array.of(code);
    const page = K.decodeCp932(bytes);
    if (page !== text) differ.push(`${code.toString(16)}: ${JSON.stringify(page)} / ${JSON.stringify(text)}`);
  }
  assert.deepEqual(differ.slice(0, 20), []);
  assert.equal(table.length, 256 + 60 * 188);
});

test('registrations are turned as the desktop turns them, and the drawing turn puts each pixel where they say', () => {
  const vectors = oracle(['orient'])[0];
  const size = { width: 7, height: 5 };
  for (const v of vectors) {
    const stored = v.stored.map(([startX, startY, endX, endY, lengthMm, centerX, centerY]) =>
      ({ startX, startY, endX, endY, lengthMm, centerX, centerY }));
    assert.deepEqual(regArray(K.registrationsToShown(stored, v.orientation, size)), v.shown, `turn ${v.orientation}`);
    const [a, b, c, d, e, f] = K.orientationMatrix(v.orientation, size);
    for (let y = 0; y < size.height; y++) {
      for (let x = 0; x < size.width; x++) {
        // The centre of stored pixel (x, y) lands in the centre of the shown pixel.
        const X = a * (x + 0.5) + c * (y + 0.5) + e, Y = b * (x + 0.5) + d * (y + 0.5) + f;
        assert.deepEqual([X - 0.5, Y - 0.5], K.storedToShown(v.orientation, size, x, y));
      }
    }
  }
});
