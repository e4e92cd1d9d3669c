// The web page's speed in Chromium (run by hand after a build, like kv_bench):
//   node bench/web_page_bench.mjs [build/bin/kvitool] [runs]
// - page weight: the bytes of the page's files, before any photo;
// - first frame of a 24-megapixel photo: from the file's bytes in memory to
//   the first frame on the glass, against the browser's own decode of the
//   same JPEG drawn at the same size (medians);
// - drag and pinch-free zoom at 1920 x 1080: frame intervals while the
//   pointer drags, at fit (a reduced copy is drawn), at real size and at 1:1.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const puppeteer = createRequire(path.join(root, 'web/package.json'))('puppeteer-core');
const kvitool = process.argv[2] || path.join(root, 'build/bin/kvitool');
const runs = Number(process.argv[3] || 7);
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kova-web-bench-'));
const pageDir = path.join(root, 'web/page');
const median = (v) => [...v].sort((a, b) => a - b)[Math.floor(v.length / 2)];

let weight = 0;
for (const f of ['index.html', 'kova.css', 'js/kvi.js', 'js/view.js', 'js/calibration.js', 'js/app.js']) {
  weight += fs.statSync(path.join(pageDir, f)).size;
}
console.log(`page weight: ${weight} bytes (${(weight / 1024).toFixed(1)} KiB) in 6 files, uncompressed`);

const server = http.createServer((req, res) => {
  const p = decodeURIComponent(new URL(req.url, 'http://x').pathname);
  const file = p.startsWith('/data/') ? path.join(work, p.slice(6)) : path.join(pageDir, p);
  if (!fs.existsSync(file)) { res.writeHead(404); res.end(); return; }
  res.writeHead(200, { 'content-type': file.endsWith('.html') ? 'text/html; charset=utf-8' : file.endsWith('.js') ? 'text/javascript' : file.endsWith('.css') ? 'text/css' : 'application/octet-stream' });
  fs.createReadStream(file).pipe(res);
});
await new Promise((r) => server.listen(0, '127.0.0.1', r));
const origin = `http://127.0.0.1:${server.address().port}`;

const browser = await puppeteer.launch({
  executablePath: process.env.KV_CHROMIUM || '/usr/bin/chromium', headless: true, defaultViewport: null,
  args: ['--no-sandbox', '--window-size=1920,1200', '--force-device-scale-factor=1'],
});
const page = await browser.newPage();
await page.goto(`${origin}/index.html`);

// A 6000 x 4000 photo-like picture (gradients and fine noise, so it does not
// compress to nothing), encoded by the browser.
const b64 = await page.evaluate(async () => {
  const c = new OffscreenCanvas(6000, 4000), g = c.getContext('2d');
  const grad = g.createLinearGradient(0, 0, 6000, 4000);
  grad.addColorStop(0, '#6b4a2b'); grad.addColorStop(0.5, '#c89b6a'); grad.addColorStop(1, '#3b2a1b');
  g.fillStyle = grad; g.fillRect(0, 0, 6000, 4000);
  const tile = new ImageData(512, 512);
  for (let i = 0; i < tile.data.length; i += 4) {
    const v = (Math.random() * 60) | 0;
    tile.data[i] = v; tile.data[i + 1] = v; tile.data[i + 2] = v; tile.data[i + 3] = 40;
  }
  const t = await createImageBitmap(tile);
  for (let y = 0; y < 4000; y += 512) for (let x = 0; x < 6000; x += 512) g.drawImage(t, x, y);
  g.fillStyle = '#000'; g.fillRect(1000, 2000, 4, 400); g.fillRect(5000, 2000, 4, 400);
  const blob = await c.convertToBlob({ type: 'image/jpeg', quality: 0.9 });
  const b = new Uint8Array(await blob.arrayBuffer());
  let s = '';
  for (let i = 0; i < b.length; i += 0x8000) s += String.fromCharCode(...b.subarray(i, i + 0x8000));
  return btoa(s);
});
fs.writeFileSync(path.join(work, 'big.jpg'), Buffer.from(b64, 'base64'));
execFileSync(kvitool, ['make', '--jpeg', path.join(work, 'big.jpg'), '--reg', '1002,2200,5002,2200,400', '-o', path.join(work, 'big.kvi')]);
const jpegBytes = fs.statSync(path.join(work, 'big.jpg')).size;
console.log(`photo: 6000 x 4000 (24 MP), JPEG ${(jpegBytes / 1e6).toFixed(1)} MB`);

const first = [], own = [], decode = [];
for (let i = 0; i < runs; i++) {
  await page.goto(`${origin}/index.html?pxPerMm=3.78`);
  const t = await page.evaluate(async () => {
    const bytes = new Uint8Array(await (await fetch('/data/big.kvi')).arrayBuffer());
    const jpeg = new Uint8Array(await (await fetch('/data/big.jpg')).arrayBuffer());
    const frame = () => new Promise((r) => requestAnimationFrame(() => r()));
    await frame();
    // The browser alone: decode, draw at fit on a canvas as large as the page's.
    const c = document.createElement('canvas');
    c.width = Kova.app.scale.clientWidth; c.height = Kova.app.scale.clientHeight;
    c.style.cssText = 'position:fixed;left:0;top:0;width:10px;height:10px';
    document.body.appendChild(c);
    let t0 = performance.now();
    const bmp = await createImageBitmap(new Blob([jpeg], { type: 'image/jpeg' }));
    const z = Math.min(c.width / bmp.width, c.height / bmp.height);
    c.getContext('2d').drawImage(bmp, 0, 0, bmp.width * z, bmp.height * z);
    await frame();
    const own = performance.now() - t0;
    bmp.close(); c.remove();
    await frame();
    t0 = performance.now();
    (await createImageBitmap(new Blob([jpeg], { type: 'image/jpeg' }))).close();
    const decode = performance.now() - t0;
    await frame();
    t0 = performance.now();
    await Kova.app.open(bytes, 'big.kvi');
    await frame();
    return { own, decode, page: performance.now() - t0 };
  });
  own.push(t.own); first.push(t.page); decode.push(t.decode);
}
console.log(`first frame: page ${median(first).toFixed(0)} ms; the browser's own decode ${median(decode).toFixed(0)} ms ` +
  `(ratio ${(median(first) / median(decode)).toFixed(2)}), its decode and draw at fit ${median(own).toFixed(0)} ms (medians of ${runs})`);

async function dragFps(label, prepare) {
  await page.goto(`${origin}/index.html?kvi=/data/big.kvi&pxPerMm=3.78`);
  await page.evaluate(() => Kova.app.ready);
  await page.waitForFunction(() => Kova.app.copies.length > 0, { timeout: 60000 });  // the reduced copies
  await page.evaluate(() => new Promise((r) => setTimeout(r, 300)));
  await page.evaluate(prepare);
  const size = await page.evaluate(() => [Kova.app.scale.clientWidth, Kova.app.scale.clientHeight, Kova.app.scale.zoom]);
  await page.evaluate(() => {
    window.__frames = [];
    const tick = (t) => { window.__frames.push(t); if (window.__frames.length < 2000) requestAnimationFrame(tick); };
    requestAnimationFrame(tick);
  });
  await page.mouse.move(1500, 700);
  await page.mouse.down();
  const start = Date.now();
  let k = 0;
  while (Date.now() - start < 3000) {
    const x = 1500 - 600 * Math.abs(Math.sin(k / 40)), y = 700 - 200 * Math.abs(Math.sin(k / 55));
    await page.mouse.move(x, y);
    k++;
  }
  await page.mouse.up();
  const stats = await page.evaluate(() => {
    const f = window.__frames, d = [];
    for (let i = 1; i < f.length; i++) d.push(f[i] - f[i - 1]);
    d.sort((a, b) => a - b);
    return { n: d.length, median: d[Math.floor(d.length / 2)], p95: d[Math.floor(d.length * 0.95)], draws: Kova.app.frames };
  });
  console.log(`drag ${label} (${size[0]} x ${size[1]} device px, scale ${size[2].toFixed(3)}): median frame ${stats.median.toFixed(1)} ms (${(1000 / stats.median).toFixed(0)} fps), 95th percentile ${stats.p95.toFixed(1)} ms, ${k} pointer moves`);
}
await dragFps('at fit', () => {});
await dragFps('at real size', () => { Kova.app.currentPoint = 0; document.querySelector('[data-cmd="real"]').click(); });
await dragFps('at 1:1', () => { document.querySelector('[data-cmd="zoomIn"]').click(); for (let i = 0; i < 20 && Kova.app.scale.zoom < 1; i++) document.querySelector('[data-cmd="zoomIn"]').click(); });
console.log(`machine: ${os.cpus().length} x ${os.cpus()[0].model}, ${(await browser.version())}, headless, software rendering`);
await browser.close();
server.close();
fs.rmSync(work, { recursive: true });
