// The ".kvi" file as the desktop reads it: length-prefixed fields, 32-bit
// little-endian integers, texts as CP932 bytes. A file is taken only when
// the whole of it is sound; otherwise the reason says what is wrong, in the
// same words as the desktop programs.

(function (K) {
  'use strict';

  const RESERVED_BYTES = 64;
  const RECORD_BYTES = 28;

  class Reader {
    constructor(bytes) {
      this.bytes = bytes;
      this.view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
      this.pos = 0;
    }
    remaining() { return this.bytes.length - this.pos; }
    int() {
      if (this.remaining() < 4) return null;
      const v = this.view.getInt32(this.pos, true);
      this.pos += 4;
      return v;
    }
    short(what) {
      return `${what}の前でﾌｧｲﾙが終わっています`;
    }
    // A count followed by that many bytes: a view into the file, not a copy.
    block(what) {
      const n = this.int();
      if (n === null) throw new KviError(this.short(what));
      if (n < 0) throw new KviError(`${what}の長さが負の値です`);
      if (n > this.remaining()) {
        throw new KviError(`${what}の長さがﾌｧｲﾙの終わりを越えています (ﾌｧｲﾙが途中で切れています)`);
      }
      const out = this.bytes.subarray(this.pos, this.pos + n);
      this.pos += n;
      return out;
    }
  }

  class KviError extends Error {}

  // Parses a whole file. Returns {ok: true, file} or {ok: false, reason}.
  // file: magic, formatVersion, jpegName, link (each the raw CP932 bytes),
  // registrations [{startX, startY, endX, endY, lengthMm, centerX, centerY}],
  // jpegBytes, logoWidth, logoHeight, logoBytes (views into `bytes`).
  function parseKvi(bytes) {
    if (!(bytes instanceof Uint8Array)) bytes = new Uint8Array(bytes);
    const r = new Reader(bytes);
    try {
      const f = {};
      // The magic text and the version are not compared: files whose
      // structure is sound are shown whatever they say there.
      f.magic = r.block('識別文字列');
      f.formatVersion = r.block('形式の版');
      f.jpegName = r.block('写真のﾌｧｲﾙ名');
      const count = r.int();
      if (count === null) throw new KviError(r.short('登録数'));
      if (count < 0) throw new KviError('登録数が負の値です');
      if (count > Math.floor(r.remaining() / RECORD_BYTES)) {
        throw new KviError('登録数がﾌｧｲﾙに収まる数を超えています');
      }
      f.registrations = [];
      for (let i = 0; i < count; i++) {
        // The file holds the centre before the length.
        const startX = r.int(), startY = r.int(), endX = r.int(), endY = r.int();
        const centerX = r.int(), centerY = r.int(), lengthMm = r.int();
        f.registrations.push({ startX, startY, endX, endY, lengthMm, centerX, centerY });
      }
      if (r.remaining() < RESERVED_BYTES) throw new KviError(r.short('予約領域'));
      r.pos += RESERVED_BYTES;
      f.jpegBytes = r.block('写真');
      f.link = r.block('ﾘﾝｸ先');
      f.logoWidth = r.int();
      if (f.logoWidth === null) throw new KviError(r.short('ﾛｺﾞの幅'));
      f.logoHeight = r.int();
      if (f.logoHeight === null) throw new KviError(r.short('ﾛｺﾞの高さ'));
      f.logoBytes = r.block('ﾛｺﾞ');
      if (r.remaining() !== 0) {
        throw new KviError('ﾛｺﾞの後ろに余分なﾃﾞｰﾀがあります');
      }
      return { ok: true, file: f };
    } catch (e) {
      if (e instanceof KviError) return { ok: false, reason: e.message };
      throw e;
    }
  }

  // A logo whose length disagrees with its sides is not shown; the photo is.
  function hasUsableLogo(f) {
    if (f.logoWidth <= 0 || f.logoHeight <= 0) return false;
    return f.logoWidth * f.logoHeight * 3 === f.logoBytes.length;
  }

  // CP932 text to a string; null when it is not valid CP932, as the
  // desktop's converter refuses it. Single bytes are mapped here (ASCII and
  // the half-width katakana): some Shift_JIS tables swap control codes
  // (0x1A, 0x1C, 0x7F). Double-byte codes go to the Shift_JIS decoder,
  // which is the CP932 table (NEC and IBM rows included).
  let decoder = null;
  function decodeCp932(bytes) {
    let out = '';
    for (let i = 0; i < bytes.length; i++) {
      const b = bytes[i];
      if (b < 0x80) {
        out += String.fromCharCode(b);
      } else if (b >= 0xa1 && b <= 0xdf) {
        out += String.fromCharCode(0xff61 + b - 0xa1);
      } else if ((b >= 0x81 && b <= 0x9f) || (b >= 0xe0 && b <= 0xfc)) {
        if (i + 1 >= bytes.length) return null;
        if (!decoder) decoder = new TextDecoder('shift_jis', { fatal: true });
        let c;
        try {
          c = decoder.decode(bytes.subarray(i, i + 2));
        } catch {
          return null;
        }
        // A trail byte the decoder does not pair is handed back as its own
        // character; the desktop refuses the pair.
        if (c.length !== 1 || c === '\ufffd') return null;
        out += c;
        i++;
      } else {
        return null;  // 0x80, 0xA0, 0xFD to 0xFF
      }
    }
    return out;
  }

  // ---- The JPEG's header: orientation and size, read as the desktop reads them.

  // Each marker segment after SOI up to the first scan, as [marker, start, length]
  // of its payload; a segment running past the bytes ends the walk.
  function* headerSegments(b) {
    const n = b.length;
    if (n < 4 || b[0] !== 0xff || b[1] !== 0xd8) return;
    let i = 2;
    while (i + 4 <= n) {
      if (b[i] !== 0xff) return;
      const marker = b[i + 1];
      if (marker === 0xff) { i += 1; continue; }
      if (marker === 0xda || marker === 0xd9) return;
      if (marker === 0x01 || (marker >= 0xd0 && marker <= 0xd7)) { i += 2; continue; }
      const length = (b[i + 2] << 8) | b[i + 3];
      if (length < 2 || length - 2 > n - (i + 4)) return;
      yield [marker, i + 4, length - 2];
      i += 2 + length;
    }
  }

  function orientationFromExif(b, at, n) {
    const exif = [0x45, 0x78, 0x69, 0x66, 0, 0];
    if (n < 6 + 8) return 0;
    for (let k = 0; k < 6; k++) if (b[at + k] !== exif[k]) return 0;
    const p = at + 6, len = n - 6;
    let little;
    if (b[p] === 0x49 && b[p + 1] === 0x49) little = true;
    else if (b[p] === 0x4d && b[p + 1] === 0x4d) little = false;
    else return 0;
    const u16 = (o) => (o > len || len - o < 2 ? null
      : little ? b[p + o] | (b[p + o + 1] << 8) : (b[p + o] << 8) | b[p + o + 1]);
    const u32 = (o) => (o > len || len - o < 4 ? null
      : little ? (b[p + o] | (b[p + o + 1] << 8) | (b[p + o + 2] << 16)) + b[p + o + 3] * 0x1000000
        : b[p + o] * 0x1000000 + ((b[p + o + 1] << 16) | (b[p + o + 2] << 8) | b[p + o + 3]));
    const magic = u16(2), ifd = u32(4);
    if (magic !== 42 || ifd === null) return 0;
    const entries = u16(ifd);
    if (entries === null) return 0;
    for (let e = 0; e < entries; e++) {
      const o = ifd + 2 + e * 12;
      const tag = u16(o), type = u16(o + 2), count = u32(o + 4);
      if (tag === null || type === null || count === null) return 0;
      if (tag !== 0x0112) continue;
      const value = type === 3 && count === 1 ? u16(o + 8) : null;
      if (value === null) return 0;
      return value >= 1 && value <= 8 ? value : 0;
    }
    return 0;
  }

  // The orientation tag of the first Exif segment; 1 when there is none.
  function readExifOrientation(b) {
    for (const [marker, at, n] of headerSegments(b)) {
      if (marker !== 0xe1) continue;
      const o = orientationFromExif(b, at, n);
      if (o !== 0) return o;
    }
    return 1;
  }

  // The stored size from the frame header, or null.
  function readJpegSize(b) {
    for (const [marker, at, n] of headerSegments(b)) {
      const frame = marker >= 0xc0 && marker <= 0xcf && marker !== 0xc4 && marker !== 0xc8 &&
        marker !== 0xcc;
      if (!frame) continue;
      return n >= 5 ? { width: (b[at + 3] << 8) | b[at + 4], height: (b[at + 1] << 8) | b[at + 2] }
        : null;
    }
    return null;
  }

  // The turn a photo is shown with: its tag, believed only of a photo whose
  // header gives its size, since the registrations are turned with that size.
  function shownOrientation(b) {
    return readJpegSize(b) ? readExifOrientation(b) : 1;
  }

  function swapsSides(o) { return o >= 5 && o <= 8; }

  const clamp32 = (v) => Math.min(2147483647, Math.max(-2147483648, v));

  // One pixel from the stored photo (its size given) to the shown one.
  function storedToShown(o, size, x, y) {
    const w1 = size.width - 1, h1 = size.height - 1;
    let nx = x, ny = y;
    switch (o) {
      case 2: nx = w1 - x; break;
      case 3: nx = w1 - x; ny = h1 - y; break;
      case 4: ny = h1 - y; break;
      case 5: nx = y; ny = x; break;
      case 6: nx = h1 - y; ny = x; break;
      case 7: nx = h1 - y; ny = w1 - x; break;
      case 8: nx = y; ny = w1 - x; break;
      default: break;
    }
    return [clamp32(nx), clamp32(ny)];
  }

  // The centre is start + (end - start) / 2, truncating toward zero.
  function makeRegistration(startX, startY, endX, endY, lengthMm) {
    return {
      startX, startY, endX, endY, lengthMm,
      centerX: startX + Math.trunc((endX - startX) / 2),
      centerY: startY + Math.trunc((endY - startY) / 2),
    };
  }

  // Registrations as shown. Orientation 1 keeps them as stored (centres too);
  // otherwise both points are mapped and the centre made from them again.
  function registrationsToShown(stored, o, size) {
    if (o < 2 || o > 8) return stored.map((r) => ({ ...r }));
    return stored.map((r) => {
      const [sx, sy] = storedToShown(o, size, r.startX, r.startY);
      const [ex, ey] = storedToShown(o, size, r.endX, r.endY);
      return makeRegistration(sx, sy, ex, ey, r.lengthMm);
    });
  }

  // The canvas transform that draws a stored photo upright: shown = M * stored,
  // as [a, b, c, d, e, f] of setTransform, for a stored photo of size.
  function orientationMatrix(o, size) {
    const w = size.width, h = size.height;
    switch (o) {
      case 2: return [-1, 0, 0, 1, w, 0];
      case 3: return [-1, 0, 0, -1, w, h];
      case 4: return [1, 0, 0, -1, 0, h];
      case 5: return [0, 1, 1, 0, 0, 0];
      case 6: return [0, 1, -1, 0, h, 0];
      case 7: return [0, -1, -1, 0, h, w];
      case 8: return [0, -1, 1, 0, 0, w];
      default: return [1, 0, 0, 1, 0, 0];
    }
  }

  Object.assign(K, { parseKvi, hasUsableLogo, decodeCp932, readExifOrientation, readJpegSize, shownOrientation, swapsSides, storedToShown, makeRegistration, registrationsToShown, orientationMatrix, KviError });
})(globalThis.Kova = globalThis.Kova || {});
