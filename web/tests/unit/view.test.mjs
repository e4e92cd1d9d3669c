// The page's scale model and calibration rules, without a page.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { K } from './helpers.mjs';

test('fit, zoom steps and centring follow the desktop viewer', () => {
  const s = new K.ViewScale();
  Object.assign(s, { photoWidth: 4000, photoHeight: 3000, clientWidth: 1000, clientHeight: 700 });
  s.setZoom(s.fit(), 0, 0);
  assert.equal(s.zoom, 1 / Math.max(4, 3000 / 700));
  assert.deepEqual([s.visibleWidth(), s.visibleHeight(), s.originX, s.originY, s.offsetX, s.offsetY],
    [4285, 3000, 0, 0, 33, 0]);
  assert.equal(K.zoomInStep(1.0), 1.25);
  assert.equal(K.zoomOutStep(1.0), 0.75);
  assert.equal(K.zoomInStep(4.0), null);
  assert.equal(K.zoomOutStep(0.125), null);
  assert.equal(K.zoomOutStep(0.2), 0.167);
  assert.equal(K.zoomInStep(0.2), 0.25);
  assert.equal(K.zoomInStep(0.952), 1.0);
  assert.equal(K.zoomOutStep(0.952), 0.75);
  // Centred near the right edge the visible part is flush with it.
  s.setZoom(1.0, 3990, 10);
  assert.deepEqual([s.originX, s.originY], [3000, 0]);
  assert.equal(K.fitScale(0, 10, 100, 100), 1.0);
});

test('a registration of L mm spans L x pxPerMm device pixels at real size, wherever the view is', () => {
  const regs = [K.makeRegistration(100, 200, 500, 200, 100), K.makeRegistration(0, 0, 300, 400, 250),
    K.makeRegistration(5, 5, 5, 5, 10), K.makeRegistration(0, 0, 10, 0, 0)];
  const s = new K.ViewScale();
  Object.assign(s, { photoWidth: 1600, photoHeight: 1200, clientWidth: 1234, clientHeight: 777 });
  for (const pxPerMm of [3.7795, 5.669, 7.559, 11.3]) {
    for (const i of [0, 1]) {
      const { zoom } = K.realSizeZoom(regs, i, pxPerMm);
      s.setZoom(zoom, regs[i].centerX, regs[i].centerY);
      const r = regs[i];
      const span = Math.hypot(s.clientX(r.endX) - s.clientX(r.startX), s.clientY(r.endY) - s.clientY(r.startY));
      assert.ok(Math.abs(span - r.lengthMm * pxPerMm) < 1e-6, `${pxPerMm} ${i}`);
    }
  }
  assert.deepEqual(K.realSizeZoom(regs, 2, 4), { zoom: null, why: 'registration' });
  assert.deepEqual(K.realSizeZoom(regs, 3, 4), { zoom: null, why: 'registration' });
  assert.deepEqual(K.realSizeZoom(regs, 7, 4), { zoom: null, why: 'point' });
  assert.deepEqual(K.realSizeZoom(regs, 0, null), { zoom: null, why: 'calibration' });
});

test('dragging and zooming about a point keep the photo under the pointer', () => {
  const s = new K.ViewScale();
  Object.assign(s, { photoWidth: 2000, photoHeight: 2000, clientWidth: 800, clientHeight: 600 });
  s.setZoom(1.5, 1000, 1000);
  const before = s.photoAt(300, 200);
  s.panBy(-37.5, 12.25);
  const after = s.photoAt(300 - 37.5, 200 + 12.25);
  assert.ok(Math.abs(after.x - before.x) < 1e-9 && Math.abs(after.y - before.y) < 1e-9);
  const p = s.photoAt(123, 456);
  s.zoomAbout(2.25, 123, 456);
  const q = s.photoAt(123, 456);
  assert.ok(Math.abs(p.x - q.x) < 1e-9 && Math.abs(p.y - q.y) < 1e-9);
  // Never past the photo's edges.
  s.panBy(1e6, 1e6);
  assert.deepEqual([s.originX, s.originY], [0, 0]);
});

test('points step as on the desktop, measurements read by the current registration', () => {
  assert.deepEqual([K.stepPointIndex(0, -1, 3), K.stepPointIndex(2, -1, 3), K.stepPointIndex(2, +1, 3)], [2, 1, 0]);
  assert.deepEqual([K.stepPointIndex(0, -1, 0), K.stepPointIndex(-1, +1, 0)], [-1, 0]);
  const regs = [K.makeRegistration(0, 0, 300, 400, 100)];
  const scale = K.measureScale(regs, 0);
  assert.equal(scale.text, '計測: ｻｲｽﾞ情報 1 (100 mm) の縮尺');
  assert.equal(K.measureCaption({ x: 0, y: 0 }, { x: 600, y: 800 }, scale.mmPerPixel), '200.0 mm (1000 px)');
  assert.equal(K.measureCaption({ x: 0, y: 0 }, { x: 3, y: 4 }, null), '5 px');
  assert.equal(K.measureScale([], 0).text, 'ｻｲｽﾞ情報がないためﾋﾟｸｾﾙで計測');
  const s = new K.ViewScale();
  Object.assign(s, { photoWidth: 1000, photoHeight: 1000, clientWidth: 1000, clientHeight: 1000 });
  s.setZoom(1, 500, 500);
  assert.equal(K.registrationAt(regs, s, 150, 202, 4), 0);
  assert.equal(K.registrationAt(regs, s, 150, 260, 4), -1);
  assert.deepEqual(K.snapToEnd(regs, s, 303, 397, 6), { x: 300, y: 400 });
});

test('calibration: lengths as typed, densities from the address, one key per screen and ratio', () => {
  assert.equal(K.parseLength('１００'), 100);
  assert.equal(K.parseLength(' 85,6 mm'), 85.6);
  for (const bad of ['', '0', '-3', 'abc', '1e3', '20000']) assert.equal(K.parseLength(bad), null, bad);
  assert.equal(K.pxPerMmFromQuery('?kvi=a.kvi&pxPerMm=3.78'), 3.78);
  for (const bad of ['?pxPerMm=0', '?pxPerMm=x', '?pxPerMm=1e9', '']) assert.equal(K.pxPerMmFromQuery(bad), null, bad);
  assert.equal(K.screenKey(1280, 720, 1.5), '1920x1080@1.5');
  assert.notEqual(K.screenKey(1280, 720, 1.5), K.screenKey(1920, 1080, 1));
  const store = new Map();
  const storage = { getItem: (k) => store.get(k) ?? null, setItem: (k, v) => store.set(k, v) };
  assert.equal(K.loadCalibration(storage, 'a'), null);
  assert.ok(K.saveCalibration(storage, 'a', 5.5));
  assert.equal(K.loadCalibration(storage, 'a'), 5.5);
  assert.equal(K.loadCalibration(storage, 'b'), null);
  assert.equal(K.saveCalibration(storage, 'a', Infinity), false);
  const refusing = { getItem() { throw new Error('denied'); }, setItem() { throw new Error('denied'); } };
  assert.equal(K.loadCalibration(refusing, 'a'), null);
  assert.equal(K.saveCalibration(refusing, 'a', 4), false);
  assert.equal(K.widthForLength(85.6, 4), 342);
});

test('the page weighs under 300 KB before the photo, and every file it loads is one the publisher embeds', async () => {
  const fs = await import('node:fs');
  const path = await import('node:path');
  const { pageDir, sourceDir } = await import('./helpers.mjs');
  const listed = fs.readFileSync(path.join(sourceDir, 'web/CMakeLists.txt'), 'utf8')
    .match(/set\(KV_WEB_PAGE_FILES ([^)]*)\)/)[1].trim().split(/\s+/);
  const html = fs.readFileSync(path.join(pageDir, 'index.html'), 'utf8');
  const loaded = [...html.matchAll(/(?:src|href)="([^"]+)"/g)].map((m) => m[1]);
  assert.deepEqual([...loaded].sort(), listed.filter((f) => f !== 'index.html').sort());
  const bytes = listed.reduce((n, f) => n + fs.statSync(path.join(pageDir, f)).size, 0);
  assert.ok(bytes < 300 * 1024, `${bytes} bytes`);
});
