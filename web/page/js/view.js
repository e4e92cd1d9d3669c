// The page's scale model, the desktop viewer's rules in device pixels: how
// many device pixels one photo pixel covers, which part of the photo shows
// and where. A scale of 1 puts one photo pixel on one pixel of the glass.
// Pure functions and one small state object; nothing here touches the page.
(function (K) {
  'use strict';

  // The zoom commands' fixed scales; 0.167 is meant, not 1/6.
  const ZOOM_TABLE = [0.125, 0.167, 0.25, 0.5, 0.75, 1.0, 1.25, 1.5, 1.75,
    2.0, 2.25, 2.5, 2.75, 3.0, 3.25, 3.5, 3.75, 4.0];
  const MIN_SCALE = 1 / 1024;
  const MAX_SCALE = 1024;

  const usable = (s) => Number.isFinite(s) && s > 0;

  function fitScale(pw, ph, cw, ch) {
    if (pw <= 0 || ph <= 0 || cw <= 0 || ch <= 0) return 1.0;
    return 1 / Math.max(pw / cw, ph / ch);
  }
  function zoomInStep(z) { return ZOOM_TABLE.find((v) => v > z) ?? null; }
  function zoomOutStep(z) {
    for (let i = ZOOM_TABLE.length - 1; i >= 0; i--) if (ZOOM_TABLE[i] < z) return ZOOM_TABLE[i];
    return null;
  }

  // Millimetres per photo pixel of a registration; null for one without a
  // length or whose ends coincide.
  function mmPerPhotoPixel(r) {
    const d = Math.hypot(r.endX - r.startX, r.endY - r.startY);
    return r.lengthMm > 0 && d > 0 ? r.lengthMm / d : null;
  }

  // "%.2f" as the status bar writes scales.
  const scaleText = (z) => z.toFixed(2);

  class ViewScale {
    constructor() {
      this.clientWidth = 0; this.clientHeight = 0;
      this.photoWidth = 0; this.photoHeight = 0;
      this.zoom = 0; this.realSizeZoom = null;
      // Origin in photo pixels (fractions kept while dragging, so the photo
      // follows the pointer at any scale), offsets in device pixels.
      this.originX = 0; this.originY = 0;
      this.offsetX = 0; this.offsetY = 0;
    }
    hasScale() { return usable(this.zoom); }
    visibleWidth() { return this.hasScale() ? Math.trunc(this.clientWidth / this.zoom) : 0; }
    visibleHeight() { return this.hasScale() ? Math.trunc(this.clientHeight / this.zoom) : 0; }
    fit() { return fitScale(this.photoWidth, this.photoHeight, this.clientWidth, this.clientHeight); }
    centreX() { return this.originX + this.visibleWidth() / 2; }
    centreY() { return this.originY + this.visibleHeight() / 2; }

    // The visible part centred on the photo point as far as the photo allows.
    placeCentredOn(cx, cy) {
      const place = (c, visible, size) => {
        if (visible > size) return 0;
        let o = Math.trunc(c) - Math.trunc(visible / 2);
        if (o + visible >= size) o = size - visible;
        return Math.max(0, o);
      };
      this.originX = place(cx, this.visibleWidth(), this.photoWidth);
      this.originY = place(cy, this.visibleHeight(), this.photoHeight);
      this.computeOffsets();
    }
    clampOrigin() {
      const clamp = (o, visible, size) => (visible > size ? 0 : Math.min(Math.max(0, o), size - visible));
      this.originX = clamp(this.originX, this.clientWidth / this.zoom, this.photoWidth);
      this.originY = clamp(this.originY, this.clientHeight / this.zoom, this.photoHeight);
      this.computeOffsets();
    }
    computeOffsets() {
      const sw = Math.trunc(this.photoWidth * this.zoom), sh = Math.trunc(this.photoHeight * this.zoom);
      this.offsetX = sw < this.clientWidth ? Math.trunc((this.clientWidth - sw) / 2) : 0;
      this.offsetY = sh < this.clientHeight ? Math.trunc((this.clientHeight - sh) / 2) : 0;
    }
    setZoom(z, cx = this.centreX(), cy = this.centreY()) {
      this.zoom = Math.min(MAX_SCALE, Math.max(MIN_SCALE, z));
      this.placeCentredOn(cx, cy);
    }
    // Zooms keeping the photo point under the client point (x, y) in place.
    zoomAbout(z, x, y) {
      const p = this.photoAt(x, y);
      this.zoom = Math.min(MAX_SCALE, Math.max(MIN_SCALE, z));
      this.computeOffsets();
      this.originX = p.x - (x - this.offsetX) / this.zoom;
      this.originY = p.y - (y - this.offsetY) / this.zoom;
      this.clampOrigin();
    }
    panBy(dx, dy) {
      this.originX -= dx / this.zoom;
      this.originY -= dy / this.zoom;
      this.clampOrigin();
    }
    // Client device pixel to photo point (unrounded) and back.
    photoAt(x, y) {
      return { x: (x - this.offsetX) / this.zoom + this.originX, y: (y - this.offsetY) / this.zoom + this.originY };
    }
    clientX(px) { return (px - this.originX) * this.zoom + this.offsetX; }
    clientY(py) { return (py - this.originY) * this.zoom + this.offsetY; }
  }

  // The real-size scale of registration `index` for pxPerMm device pixels per
  // millimetre: device pixels per photo pixel, or why there is none.
  function realSizeZoom(registrations, index, pxPerMm) {
    const r = registrations[index];
    if (!r) return { zoom: null, why: 'point' };
    const mm = mmPerPhotoPixel(r);
    if (mm === null) return { zoom: null, why: 'registration' };
    if (!usable(pxPerMm)) return { zoom: null, why: 'calibration' };
    const z = mm * pxPerMm;
    if (z < MIN_SCALE || z > MAX_SCALE) return { zoom: null, why: 'registration' };
    return { zoom: z, why: null };
  }

  // "次へ" (-1) walks toward the list's start, "前へ" (+1) toward its end,
  // both wrapping, as on the desktop.
  function stepPointIndex(current, direction, count) {
    if (count <= 0) return direction < 0 ? -1 : 0;
    let i = current + direction;
    if (direction < 0 && i < 0) i = count - 1;
    if (direction > 0 && i >= count) i = 0;
    return i;
  }

  // "150.0 mm (300 px)", or "300 px" without a registration to read by.
  function measureCaption(from, to, mmPerPixel) {
    const px = Math.hypot(to.x - from.x, to.y - from.y);
    const pxText = `${px.toFixed(0)} px`;
    return mmPerPixel ? `${(px * mmPerPixel).toFixed(1)} mm (${pxText})` : pxText;
  }

  // The status bar's word on the scale measurements are read with.
  function measureScale(registrations, current) {
    if (registrations.length === 0) return { mmPerPixel: null, text: 'ｻｲｽﾞ情報がないためﾋﾟｸｾﾙで計測' };
    const r = registrations[current];
    if (!r) return { mmPerPixel: null, text: '原寸大表示ﾎﾟｲﾝﾄがないためﾋﾟｸｾﾙで計測' };
    const mm = mmPerPhotoPixel(r);
    if (mm === null) return { mmPerPixel: null, text: `ｻｲｽﾞ情報 ${current + 1} が使えないためﾋﾟｸｾﾙで計測` };
    return { mmPerPixel: mm, text: `計測: ｻｲｽﾞ情報 ${current + 1} (${r.lengthMm} mm) の縮尺` };
  }

  // The registration whose line passes within `radius` device pixels of the
  // client point, its ends first; -1 for none.
  function registrationAt(registrations, s, x, y, radius) {
    let best = -1, bestD = radius;
    registrations.forEach((r, i) => {
      const ax = s.clientX(r.startX), ay = s.clientY(r.startY);
      const bx = s.clientX(r.endX), by = s.clientY(r.endY);
      const dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
      const t = len2 > 0 ? Math.min(1, Math.max(0, ((x - ax) * dx + (y - ay) * dy) / len2)) : 0;
      const d = Math.hypot(ax + t * dx - x, ay + t * dy - y);
      if (d <= bestD) { bestD = d; best = i; }
    });
    return best;
  }

  // An end point of a registration drawn within radius of the client point.
  function snapToEnd(registrations, s, x, y, radius) {
    let best = null, bestD = radius;
    for (const r of registrations) {
      for (const [px, py] of [[r.startX, r.startY], [r.endX, r.endY]]) {
        const d = Math.hypot(s.clientX(px) - x, s.clientY(py) - y);
        if (d <= bestD) { bestD = d; best = { x: px, y: py }; }
      }
    }
    return best;
  }

  Object.assign(K, {
    ZOOM_TABLE, fitScale, zoomInStep, zoomOutStep, mmPerPhotoPixel, scaleText, ViewScale,
    realSizeZoom, stepPointIndex, measureCaption, measureScale, registrationAt, snapToEnd,
  });
})(globalThis.Kova = globalThis.Kova || {});
