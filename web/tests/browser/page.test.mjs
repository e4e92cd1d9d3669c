// The page in headless Chromium, as a user meets it: files made by our own
// tools, served from a loopback server or opened from disk, measured in
// screenshots in device pixels.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath, pathToFileURL } from 'node:url';
import zlib from 'node:zlib';
import puppeteer from 'puppeteer-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const pageDir = path.resolve(here, '../../page');
const work = process.env.KV_WORK_DIR || fs.mkdtempSync('/tmp/kova-web-browser-');
const kvitool = process.env.KVITOOL;
const binDir = process.env.KV_BIN_DIR;

let server, origin;
const browsers = new Map();

// One browser per device scale factor, set as a screen's own (not emulated),
// so that the device-pixel content box is what a real screen reports.
async function browserAt(dsf) {
  if (!browsers.has(dsf)) {
    browsers.set(dsf, await puppeteer.launch({
      executablePath: process.env.KV_CHROMIUM, headless: true, defaultViewport: null,
      args: ['--no-sandbox', '--disable-gpu', `--force-device-scale-factor=${dsf}`, '--window-size=1000,800'],
    }));
  }
  return browsers.get(dsf);
}
const newPage = async (dsf = 1) => (await browserAt(dsf)).newPage();

// ---- screenshots as pixels (8-bit RGB or RGBA, not interlaced, as Chromium writes them)

function decodePng(buf) {
  let at = 8, width = 0, height = 0, channels = 0;
  const idat = [];
  while (at < buf.length) {
    const len = buf.readUInt32BE(at), type = buf.toString('latin1', at + 4, at + 8);
    const data = buf.subarray(at + 8, at + 8 + len);
    if (type === 'IHDR') {
      width = data.readUInt32BE(0); height = data.readUInt32BE(4);
      assert.equal(data[8], 8);
      channels = { 2: 3, 6: 4 }[data[9]];
      assert.ok(channels && data[12] === 0, 'an 8-bit RGB(A) picture');
    } else if (type === 'IDAT') {
      idat.push(data);
    }
    at += 12 + len;
  }
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const stride = width * channels, out = Buffer.alloc(width * height * 3);
  let prev = Buffer.alloc(stride);
  for (let y = 0; y < height; y++) {
    const f = raw[y * (stride + 1)], line = Buffer.from(raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1)));
    for (let i = 0; i < stride; i++) {
      const a = i >= channels ? line[i - channels] : 0, b = prev[i], c = i >= channels ? prev[i - channels] : 0;
      let p = 0;
      if (f === 1) p = a; else if (f === 2) p = b; else if (f === 3) p = (a + b) >> 1;
      else if (f === 4) { const q = a + b - c, pa = Math.abs(q - a), pb = Math.abs(q - b), pc = Math.abs(q - c); p = pa <= pb && pa <= pc ? a : pb <= pc ? b : c; }
      line[i] = (line[i] + p) & 255;
    }
    for (let x = 0; x < width; x++) line.copy(out, (y * width + x) * 3, x * channels, x * channels + 3);
    prev = line;
  }
  return { width, height, px: (x, y) => [out[(y * width + x) * 3], out[(y * width + x) * 3 + 1], out[(y * width + x) * 3 + 2]] };
}

// Runs of pixels along row y that `match` picks, as [first, last].
function runs(img, y, match, from = 0, to = img.width) {
  const found = [];
  let start = -1;
  for (let x = from; x <= to; x++) {
    const m = x < to && match(img.px(x, y));
    if (m && start < 0) start = x;
    if (!m && start >= 0) { found.push([start, x - 1]); start = -1; }
  }
  return found;
}
const dark = ([r, g, b]) => r + g + b < 300;

async function shot(page, name) {
  const png = Buffer.from(await page.screenshot({ type: 'png' }));
  fs.writeFileSync(path.join(work, `${name}.png`), png);
  return decodePng(png);
}

// ---- files made with our own tools

// A white photo with two black bars whose centres are 800 pixels apart,
// drawn and encoded by the browser; `turned` stores it a quarter turn
// anticlockwise with the Exif tag 6 that turns it back.
async function makeBarsJpeg(page, turned) {
  const b64 = await page.evaluate(async (turned) => {
    const w = 1200, h = 600;
    const c = new OffscreenCanvas(turned ? h : w, turned ? w : h);
    const g = c.getContext('2d');
    g.fillStyle = '#fff';
    g.fillRect(0, 0, c.width, c.height);
    g.fillStyle = '#000';
    for (const x of [200, 1000]) {
      if (turned) g.fillRect(0, w - 1 - x - 2, h, 5); else g.fillRect(x - 2, 0, 5, h);
    }
    const blob = await c.convertToBlob({ type: 'image/jpeg', quality: 0.95 });
    const bytes = new Uint8Array(await blob.arrayBuffer());
    let s = '';
    for (const v of bytes) s += String.fromCharCode(v);
    return btoa(s);
  }, turned);
  let jpeg = Buffer.from(b64, 'base64');
  if (turned) {
    const tiff = [0x49, 0x49, 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0];
    const app1 = [0x45, 0x78, 0x69, 0x66, 0, 0, ...tiff];
    jpeg = Buffer.concat([jpeg.subarray(0, 2), Buffer.from([0xff, 0xe1, 0, app1.length + 2, ...app1]), jpeg.subarray(2)]);
  }
  return jpeg;
}

function serve() {
  const roots = { page: pageDir, data: work };
  server = http.createServer((req, res) => {
    const url = new URL(req.url, 'http://x');
    const [, root, ...rest] = decodeURIComponent(url.pathname).split('/');
    const base = roots[root];
    const file = base && path.resolve(base, rest.join('/'));
    if (!file || !file.startsWith(base) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      res.writeHead(404); res.end(); return;
    }
    const types = { '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.css': 'text/css' };
    res.writeHead(200, { 'content-type': types[path.extname(file)] || 'application/octet-stream' });
    fs.createReadStream(file).pipe(res);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => {
    origin = `http://127.0.0.1:${server.address().port}`;
    resolve();
  }));
}

before(async () => {
  fs.rmSync(work, { recursive: true, force: true });
  fs.mkdirSync(work, { recursive: true });
  const page = await newPage(1);
  for (const turned of [false, true]) {
    fs.writeFileSync(path.join(work, turned ? 'bars6.jpg' : 'bars.jpg'), await makeBarsJpeg(page, turned));
  }
  await page.close();
  execFileSync(kvitool, ['make', '--jpeg', path.join(work, 'bars.jpg'), '--reg', '200,300,1000,300,100', '-o', path.join(work, 'bars.kvi')]);
  // Stored a quarter turn round: the same registration in stored pixels.
  execFileSync(kvitool, ['make', '--jpeg', path.join(work, 'bars6.jpg'), '--reg', '300,999,300,199,100', '-o', path.join(work, 'bars6.kvi')]);
  const good = fs.readFileSync(path.join(work, 'bars.kvi'));
  fs.writeFileSync(path.join(work, 'broken.kvi'), good.subarray(0, good.length - 5));
  execFileSync(kvitool, ['web', path.join(binDir, 'sample.kvi'), path.join(work, 'published')]);
  await serve();
});

after(async () => {
  for (const b of browsers.values()) await b.close();
  server?.close();
});

async function open(page, query) {
  await page.goto(`${origin}/page/index.html${query}`);
  await page.waitForFunction(() => !!(globalThis.Kova && Kova.app && Kova.app.ready));
  await page.evaluate(() => Kova.app.ready);
  await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
}

// The device-pixel row of the screenshot through photo row y, and the
// canvas's left edge there.
async function rowOf(page, photoY) {
  return page.evaluate((py) => {
    const r = document.getElementById('canvas').getBoundingClientRect();
    return { y: Math.round(r.top * devicePixelRatio + Math.trunc(Kova.app.scale.clientY(py))), left: Math.round(r.left * devicePixelRatio) };
  }, photoY);
}

function barCentres(img, y) {
  const found = runs(img, y, dark);
  assert.equal(found.length, 2, `two bars on row ${y}: ${JSON.stringify(found)}`);
  return found.map(([a, b]) => (a + b + 1) / 2);
}

test('at real size the registered 100 mm span 100 x pxPerMm device pixels at device scale factors 1, 1.5 and 2', async () => {
  for (const dsf of [1, 1.5, 2]) {
    const page = await newPage(dsf);
    for (const pxPerMm of [3.78 * dsf, 4.5 * dsf]) {
      await open(page, `?kvi=/data/bars.kvi&pxPerMm=${pxPerMm}&view=real`);
      const st = await page.evaluate(() => ({ zoom: Kova.app.scale.zoom, real: Kova.app.realZoom, word: Kova.app.scaleWord,
        cal: document.getElementById('statusCalibration').textContent, w: Kova.app.scale.clientWidth, cw: document.getElementById('canvas').width }));
      assert.equal(st.zoom, st.real);
      assert.match(st.word, /^倍率:等倍\(/);
      assert.match(st.cal, /URL指定/);
      assert.equal(st.w, Math.round(1000 * dsf), 'the canvas is as wide as the view in device pixels');
      await page.keyboard.press('g');  // the guides off: the photo alone is measured
      const img = await shot(page, `real_${dsf}_${pxPerMm.toFixed(2)}`);
      assert.equal(img.width, Math.round(1000 * dsf));
      const { y } = await rowOf(page, 300);
      const [a, b] = barCentres(img, y);
      assert.ok(Math.abs(b - a - 100 * pxPerMm) <= 1, `dsf ${dsf}: ${b - a} device pixels for ${100 * pxPerMm}`);
    }
    await page.close();
  }
});

test('a photo stored sideways is shown upright with its registration turned as the desktop turns it', async () => {
  const page = await newPage(1);
  await open(page, '?kvi=/data/bars6.kvi&pxPerMm=5&view=real');
  const st = await page.evaluate(() => ({ w: Kova.app.scale.photoWidth, h: Kova.app.scale.photoHeight, r: Kova.app.registrations[0] }));
  assert.deepEqual([st.w, st.h], [1200, 600]);
  assert.deepEqual([st.r.startX, st.r.startY, st.r.endX, st.r.endY], [200, 300, 1000, 300]);
  await page.keyboard.press('g');
  const img = await shot(page, 'turned');
  const { y } = await rowOf(page, 300);
  const [a, b] = barCentres(img, y);
  assert.ok(Math.abs(b - a - 500) <= 1, `${b - a}`);
  await page.close();
});

test('calibrating with the card: the edge dragged, then nudged by device pixels, kept for this screen and used for real size', async () => {
  const context = await (await browserAt(1.5)).createBrowserContext();
  const page = await context.newPage();
  const dsf = 1.5;
  await open(page, '?kvi=/data/bars.kvi');
  assert.match(await page.$eval('#statusCalibration', (e) => e.textContent), /不明/);
  // Real size is refused while it is unknown.
  await page.click('[data-cmd="real"]');
  assert.match(await page.$eval('#statusMessage', (e) => e.textContent), /校正されていません/);
  await page.click('[data-cmd="calibrate"]');
  const rect = await page.evaluate(() => {
    const c = Kova.app.calibrating, r = document.getElementById('canvas').getBoundingClientRect();
    return { w: c.widthPx, x: Math.round(40 * devicePixelRatio), y: Math.round(60 * devicePixelRatio), top: r.top, left: r.left };
  });
  const cssX = (d) => rect.left + d / dsf;
  const cssY = (d) => rect.top + d / dsf;
  await page.mouse.move(cssX(rect.x + rect.w - 1), cssY(rect.y + 20));
  await page.mouse.down();
  await page.mouse.move(cssX(rect.x + 400), cssY(rect.y + 20), { steps: 5 });
  await page.mouse.move(cssX(rect.x + 480), cssY(rect.y + 20), { steps: 5 });
  await page.mouse.up();
  const dragged = await page.evaluate(() => Kova.app.calibrating.widthPx);
  assert.ok(Math.abs(dragged - 480) <= 1, `${dragged}`);
  for (const k of ['ArrowRight', 'ArrowRight', 'ArrowRight', 'ArrowLeft']) await page.keyboard.press(k);
  const width = await page.evaluate(() => Kova.app.calibrating.widthPx);
  assert.equal(width, dragged + 2);
  // The rectangle on the glass is that many device pixels wide.
  const img = await shot(page, 'calibration');
  const blue = ([r, g, b]) => r < 60 && g > 50 && g < 110 && b > 160;
  const edges = runs(img, Math.round(rect.top * dsf) + rect.y + 5, blue);
  assert.equal(edges.at(-1)[1] - edges[0][0] + 1, width, JSON.stringify(edges));
  await page.keyboard.press('Enter');
  const saved = await page.evaluate(() => Object.entries(localStorage));
  assert.equal(saved.length, 1);
  assert.match(saved[0][0], /^kova\.pxPerMm\.\d+x\d+@1\.5$/);
  assert.equal(Number(saved[0][1]), width / 85.6);
  assert.match(await page.$eval('#statusCalibration', (e) => e.textContent), /校正: /);
  // Opened again on the same screen: real size from the kept calibration.
  await open(page, '?kvi=/data/bars.kvi&view=real');
  await page.keyboard.press('g');
  const again = await shot(page, 'calibrated_real');
  const { y } = await rowOf(page, 300);
  const [a, b] = barCentres(again, y);
  assert.ok(Math.abs(b - a - 100 * width / 85.6) <= 1, `${b - a}`);
  // Another ratio (browser zoom, another monitor) is not calibrated yet.
  await page.setViewport({ width: 1000, height: 700, deviceScaleFactor: 2 });
  await open(page, '?kvi=/data/bars.kvi');
  assert.match(await page.$eval('#statusCalibration', (e) => e.textContent), /不明/);
  await context.close();
});

test('measuring from one registered end to the other reads the registered length', async () => {
  const page = await newPage(1);
  await open(page, '?kvi=/data/bars.kvi&pxPerMm=4&view=real');
  await page.keyboard.press('m');
  const ends = await page.evaluate(() => {
    const s = Kova.app.scale, r = document.getElementById('canvas').getBoundingClientRect();
    return [[r.left + s.clientX(201), r.top + s.clientY(302)], [r.left + s.clientX(997), r.top + s.clientY(299)]];
  });
  await page.mouse.move(...ends[0]);
  await page.mouse.down();
  await page.mouse.move(...ends[1], { steps: 8 });
  await page.mouse.up();
  const m = await page.evaluate(() => Kova.app.measures);
  assert.equal(m.length, 1);
  assert.deepEqual([m[0].from, m[0].to], [{ x: 200, y: 300 }, { x: 1000, y: 300 }]);
  assert.match(await page.$eval('#statusMessage', (e) => e.textContent), /^100\.0 mm \(800 px\)  計測: ｻｲｽﾞ情報 1 \(100 mm\) の縮尺/);
  // A free measurement between the bars' outer edges.
  await page.keyboard.press('Escape');
  const free = await page.evaluate(() => {
    const s = Kova.app.scale, r = document.getElementById('canvas').getBoundingClientRect();
    return [[r.left + s.clientX(100), r.top + s.clientY(500)], [r.left + s.clientX(500), r.top + s.clientY(500)]];
  });
  await page.mouse.move(...free[0]);
  await page.mouse.down();
  await page.mouse.move(...free[1], { steps: 4 });
  await page.mouse.up();
  assert.match(await page.$eval('#statusMessage', (e) => e.textContent), /^50\.0 mm \(400 px\)/);
  await shot(page, 'measure');
  await page.close();
});

test('a broken file is refused with the reader\'s reason and the photo on show stays', async () => {
  const page = await newPage(1);
  await open(page, '?kvi=/data/broken.kvi');
  const msg = await page.$eval('#message', (e) => (e.hidden ? '' : e.textContent));
  assert.match(msg, /kviﾌｧｲﾙとして読めません \(broken\.kvi\): ﾛｺﾞの長さ \(0ﾊﾞｲﾄ\)|kviﾌｧｲﾙとして読めません \(broken\.kvi\): /);
  assert.equal(await page.evaluate(() => Kova.app.bitmap), null);
  await open(page, '?kvi=/data/bars.kvi&pxPerMm=4');
  const input = await page.$('#file');
  await input.uploadFile(path.join(work, 'broken.kvi'));
  await page.waitForFunction(() => !document.getElementById('message').hidden);
  assert.match(await page.$eval('#message', (e) => e.textContent), /broken\.kvi/);
  assert.equal(await page.evaluate(() => Kova.app.name), 'bars.kvi');
  await shot(page, 'refused');
  await page.close();
});

test('drag follows the pointer, the wheel and keys zoom through the table, two fingers pinch', async () => {
  const page = await newPage(2);
  await open(page, '?kvi=/data/bars.kvi&pxPerMm=40&view=real');
  const before = await page.evaluate(() => Kova.app.scale.photoAt(400, 400));
  await page.mouse.move(300, 300);
  await page.mouse.down();
  await page.mouse.move(250, 280, { steps: 5 });
  await page.mouse.up();
  const afterDrag = await page.evaluate(() => Kova.app.scale.photoAt(300, 360));
  assert.ok(Math.abs(afterDrag.x - before.x) < 1e-6 && Math.abs(afterDrag.y - before.y) < 1e-6);
  await page.keyboard.press('0');
  const fit = await page.evaluate(() => [Kova.app.scale.zoom, Kova.app.scale.fit(), Kova.app.scaleWord]);
  assert.equal(fit[0], fit[1]);
  await page.keyboard.press('+');
  const step = (z) => page.evaluate((z) => Kova.zoomInStep(z), z);
  assert.equal(await page.evaluate(() => Kova.app.scale.zoom), await step(fit[0]));
  await page.mouse.move(500, 300);
  await page.mouse.wheel({ deltaY: -100 });
  await page.evaluate(() => new Promise((r) => requestAnimationFrame(r)));
  assert.equal(await page.evaluate(() => Kova.app.scale.zoom), await step(await step(fit[0])));
  // Two fingers apart to twice their distance: twice the scale.
  const z0 = await page.evaluate(() => Kova.app.scale.zoom);
  const cdp = await page.createCDPSession();
  const touch = (type, pts) => cdp.send('Input.dispatchTouchEvent', { type, touchPoints: pts.map(([x, y], id) => ({ x, y, id })) });
  await touch('touchStart', [[400, 300], [500, 300]]);
  for (let k = 1; k <= 5; k++) await touch('touchMove', [[400 - 10 * k, 300], [500 + 10 * k, 300]]);
  await touch('touchEnd', []);
  await page.evaluate(() => new Promise((r) => requestAnimationFrame(r)));
  const z1 = await page.evaluate(() => Kova.app.scale.zoom);
  assert.ok(Math.abs(z1 / z0 - 2) < 0.02, `${z0} -> ${z1}`);
  await page.close();
});

test('a published folder opens its file at fit, from a web host and from disk', async () => {
  const dir = path.join(work, 'published');
  assert.ok(fs.existsSync(path.join(dir, 'sample.kvi')) && fs.existsSync(path.join(dir, 'sample.kvi.js')));
  const page = await newPage(1);
  const viaFile = pathToFileURL(path.join(dir, 'index.html')).href;
  for (const url of [`${origin}/data/published/index.html?pxPerMm=3.78`, `${viaFile}?pxPerMm=3.78`]) {
    await page.goto(url);
    await page.waitForFunction(() => !!(globalThis.Kova && Kova.app && Kova.app.ready));
    await page.evaluate(() => Kova.app.ready);
    const st = await page.evaluate(() => ({ name: Kova.app.name, fitted: Kova.app.fitted, zoom: Kova.app.scale.zoom, fit: Kova.app.scale.fit(), n: Kova.app.registrations.length }));
    assert.deepEqual(st, { name: 'sample.kvi', fitted: true, zoom: st.fit, fit: st.fit, n: 3 }, url);
  }
  // The picture in the README: the sample at real size on a 96 dpi screen, measuring the card.
  await page.goto(`${origin}/data/published/index.html?pxPerMm=3.78`);
  await page.evaluate(() => Kova.app.ready);
  await page.keyboard.press('n');
  await page.keyboard.press('n');
  await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
  await shot(page, 'web_page');
  await page.close();
});

test('a second publication into the same folder is refused unless replacing is asked for', () => {
  const dir = path.join(work, 'published');
  assert.throws(() => execFileSync(kvitool, ['web', path.join(binDir, 'sample.kvi'), dir], { stdio: 'pipe' }),
    (e) => e.status === 1 && /--replace/.test(String(e.stderr)));
  execFileSync(kvitool, ['web', path.join(binDir, 'sample.kvi'), dir, '--replace']);
});

test('the browser\'s Shift_JIS decoder gives what the desktop converter gives for every CP932 code', async () => {
  const table = JSON.parse(execFileSync(process.env.KV_WEB_ORACLE, ['cp932'], { maxBuffer: 1 << 26 }).toString());
  const page = await newPage(1);
  await page.goto(`${origin}/page/index.html`);
  const differ = await page.evaluate((table) => table.filter(([code, text]) =>
    Kova.decodeCp932(code > 255 ? Uint8Array.of(code >> 8, code & 255) : Uint8Array.of(code)) !== text)
    .map(([code]) => code.toString(16)), table);
  assert.deepEqual(differ.slice(0, 20), []);
  await page.close();
});
