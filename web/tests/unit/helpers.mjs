// Shared by the page's Node tests: the page's scripts loaded as the browser
// loads them (they fill globalThis.Kova), the desktop reader's verdicts, and
// a writer of ".kvi" bytes for vectors made here.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const pageDir = path.resolve(here, '../../page');
export const sourceDir = process.env.KV_SOURCE_DIR || path.resolve(here, '../../..');

for (const f of ['kvi.js', 'view.js', 'calibration.js']) await import(path.join(pageDir, 'js', f));
export const K = globalThis.Kova;

export function oracle(args, input) {
  const exe = process.env.KV_WEB_ORACLE;
  if (!exe) throw new Error('KV_WEB_ORACLE names the desktop reader\'s verdict tool');
  const out = execFileSync(exe, args, { maxBuffer: 1 << 28, input });
  return out.toString('utf8').trim().split('\n').map((l) => JSON.parse(l));
}

export function tempDir(name) {
  return fs.mkdtempSync(path.join(os.tmpdir(), `kova-web-${name}-`));
}

export function filesIn(...dirs) {
  const out = [];
  for (const d of dirs) {
    const full = path.join(sourceDir, d);
    if (!fs.existsSync(full)) continue;
    for (const f of fs.readdirSync(full).sort()) out.push(path.join(full, f));
  }
  return out;
}

// A small deterministic generator, so a failing mutation can be replayed.
export function rng(seed) {
  let s = seed >>> 0;
  return () => {
    s ^= s << 13; s >>>= 0; s ^= s >>> 17; s ^= s << 5; s >>>= 0;
    return s;
  };
}

export function kviBytes({ magic = 'Kovalindra', version = '1.0', name = [], registrations = [],
  jpeg = [], link = [], logoWidth = 0, logoHeight = 0, logo = [] } = {}) {
  const parts = [];
  const int = (v) => { const b = Buffer.alloc(4); b.writeInt32LE(v); parts.push(b); };
  const text = (t) => { const b = Buffer.from(typeof t === 'string' ? Buffer.from(t, 'latin1') : t); int(b.length); parts.push(b); };
  text(magic); text(version); text(name);
  int(registrations.length);
  for (const r of registrations) [r.startX, r.startY, r.endX, r.endY, r.centerX, r.centerY, r.lengthMm].forEach(int);
  parts.push(Buffer.alloc(64));
  int(jpeg.length); parts.push(Buffer.from(jpeg));
  text(link);
  int(logoWidth); int(logoHeight); int(logo.length); parts.push(Buffer.from(logo));
  return new Uint8Array(Buffer.concat(parts));
}
