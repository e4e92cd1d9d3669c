// The page: opens a ".kvi" (dropped, picked, named in the address or
// published beside the page), shows its photo on a canvas sized in device
// pixels, and turns pointer, wheel, touch and keys into the scale model's
// calls. The logic lives in kvi.js, view.js and calibration.js.
(function (K) {
  'use strict';

  const $ = (id) => document.getElementById(id);
  const canvas = $('canvas'), view = $('view');
  const ctx = canvas.getContext('2d', { alpha: false });

  const GUIDE_CURRENT = 'rgb(255,0,204)';
  const GUIDE_OTHER = 'rgb(182,182,182)';
  const MEASURE = 'rgb(255,110,0)';
  const CALIBRATION = 'rgb(0,80,192)';

  const params = new URLSearchParams(location.search);
  const state = {
    file: null,            // the parsed file
    name: '',
    bitmap: null,          // the photo as stored (or as the browser turned it)
    copies: [],            // [{bitmap, factor}] reduced copies for small scales
    drawOrientation: 1,    // the turn still to apply when drawing
    storedSize: null,
    registrations: [],     // as shown
    currentPoint: 0,
    scale: new K.ViewScale(),
    pxPerMm: null,
    pxPerMmSource: null,   // 'query' | 'stored' | 'calibrated'
    showGuides: true,
    measuring: false,
    measures: [],          // [{from, to}] in photo pixels
    pending: null,
    calibrating: null,     // {lengthMm, widthPx, card}
    logo: null,
    link: null,
    scaleWord: '',
    frames: 0,
  };
  K.app = state;  // for the tests and the curious

  // ---- device pixels

  const ratio = () => window.devicePixelRatio || 1;
  let deviceWidth = 0, deviceHeight = 0;

  function applyCanvasSize(w, h) {
    if (w === deviceWidth && h === deviceHeight) return;
    const s = state.scale;
    const centre = s.hasScale() ? [s.centreX(), s.centreY()] : null;
    deviceWidth = w; deviceHeight = h;
    canvas.width = w; canvas.height = h;
    s.clientWidth = w; s.clientHeight = h;
    if (!state.bitmap) return draw();
    if (state.fitted) showWhole();
    else if (centre) { s.placeCentredOn(centre[0], centre[1]); draw(); }
  }

  // The canvas backing store follows the device-pixel content box, so a
  // canvas pixel is a pixel of the glass at any ratio and browser zoom.
  const observer = new ResizeObserver((entries) => {
    const e = entries[0];
    let w, h;
    if (e.devicePixelContentBoxSize && e.devicePixelContentBoxSize[0]) {
      w = e.devicePixelContentBoxSize[0].inlineSize;
      h = e.devicePixelContentBoxSize[0].blockSize;
    } else {
      w = Math.round(e.contentRect.width * ratio());
      h = Math.round(e.contentRect.height * ratio());
    }
    applyCanvasSize(w, h);
  });
  try {
    observer.observe(canvas, { box: 'device-pixel-content-box' });
  } catch {
    observer.observe(canvas);
  }

  // Pointer position in device pixels of the canvas.
  function devicePoint(e) {
    const r = canvas.getBoundingClientRect();
    return { x: (e.clientX - r.left) * (deviceWidth / r.width), y: (e.clientY - r.top) * (deviceHeight / r.height) };
  }

  // ---- calibration state

  function currentScreenKey() {
    return K.screenKey(screen.width, screen.height, ratio());
  }

  function loadDensity() {
    const q = K.pxPerMmFromQuery(location.search);
    if (q !== null) {
      state.pxPerMm = q; state.pxPerMmSource = 'query';
    } else {
      const v = K.loadCalibration(localStorage, currentScreenKey());
      state.pxPerMm = v; state.pxPerMmSource = v === null ? null : 'stored';
    }
    updateStatus();
  }

  // A change of ratio (browser zoom, another monitor) is another screen.
  function watchRatio() {
    const mq = matchMedia(`(resolution: ${ratio()}dppx)`);
    mq.addEventListener('change', () => {
      if (state.pxPerMmSource !== 'query') {
        const realBefore = isRealSize();
        loadDensity();
        computeRealSize(false);
        if (realBefore && state.realZoom) showRealSize();
      }
      watchRatio();
    }, { once: true });
  }

  // ---- opening files

  function showMessage(text) {
    const m = $('message');
    m.textContent = text;
    m.hidden = !text;
  }

  function status(text) { $('statusMessage').textContent = text; }

  function bytesOf(base64) {
    const s = atob(base64);
    const b = new Uint8Array(s.length);
    for (let i = 0; i < s.length; i++) b[i] = s.charCodeAt(i);
    return b;
  }

  // Reads, refuses or shows. A refused file leaves the photo on show as it was.
  async function openBytes(bytes, name) {
    performance.mark('kova-bytes');
    const parsed = K.parseKvi(bytes);
    if (!parsed.ok) {
      showMessage(`kviﾌｧｲﾙとして読めません (${name}): ${parsed.reason}`);
      status('ﾌｧｲﾙを読み込めませんでした');
      return false;
    }
    const f = parsed.file;
    if (f.jpegBytes.length === 0) {
      showMessage(`写真が入っていません (${name})`);
      return false;
    }
    const o = K.shownOrientation(f.jpegBytes);
    const size = K.readJpegSize(f.jpegBytes);
    let bitmap;
    const blob = new Blob([f.jpegBytes], { type: 'image/jpeg' });
    try {
      // Decoded as stored and turned when drawn, with the very turn the
      // registrations are mapped with.
      bitmap = await createImageBitmap(blob, { imageOrientation: 'none' });
    } catch (e) {
      try {
        bitmap = await createImageBitmap(blob);
      } catch {
        showMessage(`写真を表示できません (${name}): JPEGとして読めません`);
        return false;
      }
    }
    let drawOrientation = o;
    if (size && K.swapsSides(o) && size.width !== size.height &&
        bitmap.width === size.height && bitmap.height === size.width) {
      drawOrientation = 1;  // this browser turned it already
    }
    if (state.bitmap) state.bitmap.close();
    for (const c of state.copies) c.bitmap.close();
    state.copies = [];
    state.file = f;
    state.name = name;
    state.bitmap = bitmap;
    state.drawOrientation = drawOrientation;
    state.storedSize = size || { width: bitmap.width, height: bitmap.height };
    state.registrations = size ? K.registrationsToShown(f.registrations, o, size) : f.registrations.map((r) => ({ ...r }));
    const shownW = K.swapsSides(drawOrientation) ? bitmap.height : bitmap.width;
    const shownH = K.swapsSides(drawOrientation) ? bitmap.width : bitmap.height;
    state.scale.photoWidth = shownW;
    state.scale.photoHeight = shownH;
    state.measures = [];
    state.pending = null;
    state.logo = null;
    const link = K.decodeCp932(f.link);
    state.link = link && /^https?:\/\//i.test(link) ? link : null;
    if (state.currentPoint >= state.registrations.length) state.currentPoint = 0;
    showMessage('');
    $('hint').hidden = true;
    document.title = `${name} - 等倍表示`;
    computeRealSize(false);
    if (params.get('view') === 'real' && state.realZoom) showRealSize();
    else showWhole();
    performance.mark('kova-first-frame');
    status(`${name}  (${shownW} x ${shownH}, ｻｲｽﾞ情報 ${state.registrations.length})`);
    makeLogo(f);
    // The reduced copies for small scales, after the first frame is up.
    setTimeout(() => makeCopies(bitmap), 0);
    return true;
  }

  async function makeCopies(bitmap) {
    const copies = [];
    for (let factor = 2; factor <= 8; factor *= 2) {
      const w = Math.max(1, Math.round(bitmap.width / factor)), h = Math.max(1, Math.round(bitmap.height / factor));
      try {
        copies.push({ factor, bitmap: await createImageBitmap(bitmap, { resizeWidth: w, resizeHeight: h, resizeQuality: 'medium' }) });
      } catch {
        break;
      }
      if (w < 256 || h < 256) break;
    }
    if (state.bitmap !== bitmap) { copies.forEach((c) => c.bitmap.close()); return; }
    state.copies = copies;
    draw();
  }

  async function makeLogo(f) {
    if (!K.hasUsableLogo(f)) return;
    const rgba = new Uint8ClampedArray(f.logoWidth * f.logoHeight * 4);
    for (let i = 0, j = 0; i < f.logoBytes.length; i += 3, j += 4) {
      rgba[j] = f.logoBytes[i]; rgba[j + 1] = f.logoBytes[i + 1]; rgba[j + 2] = f.logoBytes[i + 2]; rgba[j + 3] = 255;
    }
    try {
      const logo = await createImageBitmap(new ImageData(rgba, f.logoWidth, f.logoHeight));
      if (state.file === f) { state.logo = logo; draw(); }
    } catch { /* a logo too large for the browser is left out */ }
  }

  async function openUrl(url) {
    status('読み込み中...');
    try {
      const res = await fetch(url);
      if (!res.ok) throw new Error(String(res.status));
      const bytes = new Uint8Array(await res.arrayBuffer());
      return openBytes(bytes, decodeURIComponent(url.split('/').pop().split('?')[0]));
    } catch (e) {
      return null;
    }
  }

  // A published folder opened from disk: the page may not read files there,
  // so the same bytes come as a script beside the ".kvi".
  function openEmbedded(name) {
    return new Promise((resolve) => {
      const s = document.createElement('script');
      s.src = `${name}.js`;
      s.onload = () => {
        const e = K.embedded;
        resolve(e ? openBytes(bytesOf(e.base64), decodeURIComponent(e.name)) : false);
      };
      s.onerror = () => resolve(false);
      document.head.appendChild(s);
    });
  }

  async function openInitial() {
    const named = params.get('kvi');
    const published = document.querySelector('meta[name="kova-kvi"]').content;
    const target = named || published;
    if (!target) return;
    const ok = await openUrl(new URL(target, location.href).href);
    if (ok !== null) return;
    if (!named && location.protocol === 'file:' && (await openEmbedded(published)) !== false) return;
    showMessage(`ﾌｧｲﾙを読み込めません: ${decodeURIComponent(target)}`);
    status('ﾌｧｲﾙを読み込めませんでした');
  }

  async function openFile(file) {
    if (!file) return;
    const bytes = new Uint8Array(await file.arrayBuffer());
    await openBytes(bytes, file.name);
  }

  // ---- scale commands

  function computeRealSize(apply) {
    const r = K.realSizeZoom(state.registrations, state.currentPoint, state.pxPerMm);
    state.realZoom = r.zoom;
    state.realWhy = r.why;
    if (apply && r.zoom) showRealSize(true);
  }

  const isRealSize = () => state.realZoom !== null && state.realZoom !== undefined && state.scale.zoom === state.realZoom;

  function showWhole() {
    const s = state.scale;
    if (!state.bitmap || !s.clientWidth) return draw();
    s.setZoom(s.fit(), 0, 0);
    state.fitted = true;
    state.scaleWord = K.scaleText(s.zoom);
    draw();
  }

  function setZoomWord(z, word) {
    state.fitted = false;
    state.scale.setZoom(z);
    state.scaleWord = word;
    draw();
  }

  function zoomIn() {
    const z = K.zoomInStep(state.scale.zoom);
    if (z !== null) setZoomWord(z, `倍率:${K.scaleText(z)}`);
  }
  function zoomOut() {
    const z = K.zoomOutStep(state.scale.zoom);
    if (z !== null) setZoomWord(z, `倍率:${K.scaleText(z)}`);
  }

  function realSizeRefusal() {
    if (state.realWhy === 'calibration') return '原寸大が分かりません: 画面がまだ校正されていません (「画面の校正」)';
    if (state.realWhy === 'point') return 'この写真にはｻｲｽﾞ情報がありません';
    return `ｻｲｽﾞ情報 ${state.currentPoint + 1} からは原寸大を求められません`;
  }

  // onPoint: centre on the registration (stepping points, a click on a line);
  // otherwise the visible part keeps its centre.
  function showRealSize(onPoint) {
    if (!state.bitmap) return;
    if (!state.realZoom) { status(realSizeRefusal()); return draw(); }
    const s = state.scale;
    state.fitted = false;
    if (onPoint) {
      const r = state.registrations[state.currentPoint];
      s.setZoom(state.realZoom, r.centerX, r.centerY);
    } else {
      s.setZoom(state.realZoom);
    }
    state.scaleWord = `倍率:等倍(${K.scaleText(s.zoom)})`;
    draw();
  }

  function stepPoint(direction) {
    if (!state.bitmap) return;
    state.currentPoint = K.stepPointIndex(state.currentPoint, direction, state.registrations.length);
    computeRealSize(true);
    if (!state.realZoom) { status(realSizeRefusal()); draw(); }
  }

  // ---- drawing

  function pickCopy(z) {
    // Under one half, a reduced copy drawn at no more than 1:1 looks as good
    // and costs a fraction.
    let best = { bitmap: state.bitmap, factor: 1 };
    if (z >= 0.5) return best;
    for (const c of state.copies) if (z * c.factor <= 1) best = c;
    return best;
  }

  function draw() {
    state.frames++;
    ctx.setTransform(1, 0, 0, 1, 0, 0);
    ctx.fillStyle = '#808080';
    ctx.fillRect(0, 0, deviceWidth, deviceHeight);
    const s = state.scale;
    if (state.bitmap && s.hasScale()) {
      const { bitmap, factor } = pickCopy(s.zoom);
      const z = s.zoom;
      ctx.setTransform(z, 0, 0, z, s.offsetX - s.originX * z, s.offsetY - s.originY * z);
      const m = K.orientationMatrix(state.drawOrientation, { width: bitmap.width * factor, height: bitmap.height * factor });
      ctx.transform(...m);
      // Bilinear: the reduced copies were made with a better filter once,
      // and a finer one per frame costs the frame rate.
      ctx.imageSmoothingEnabled = z < 2;
      ctx.imageSmoothingQuality = 'low';
      ctx.drawImage(bitmap, 0, 0, bitmap.width * factor, bitmap.height * factor);
      ctx.setTransform(1, 0, 0, 1, 0, 0);
      if (state.showGuides) drawGuides();
      drawMeasures();
      drawLogo();
    }
    if (state.calibrating) drawCalibration();
    updateStatus();
    updateButtons();
  }

  function font(px) {
    return `${Math.round(px * ratio())}px "IPAGothic", "IPAexGothic", "Noto Sans CJK JP", "Meiryo", sans-serif`;
  }

  // A cross of the colour between white lines, as the desktop marks points.
  function cross(x, y, colour) {
    const d = Math.round(10 * ratio());
    x = Math.floor(x) + 0.5; y = Math.floor(y) + 0.5;
    ctx.lineWidth = 1;
    ctx.strokeStyle = '#fff';
    ctx.beginPath();
    ctx.moveTo(x - d, y - 1); ctx.lineTo(x + d, y - 1);
    ctx.moveTo(x - d, y + 1); ctx.lineTo(x + d, y + 1);
    ctx.moveTo(x - 1, y - d); ctx.lineTo(x - 1, y + d);
    ctx.moveTo(x + 1, y - d); ctx.lineTo(x + 1, y + d);
    ctx.stroke();
    ctx.strokeStyle = colour;
    ctx.beginPath();
    ctx.moveTo(x - d, y); ctx.lineTo(x + d, y);
    ctx.moveTo(x, y - d); ctx.lineTo(x, y + d);
    ctx.stroke();
  }

  function label(text, x, y, colour) {
    ctx.font = font(12);
    const pad = 3 * ratio();
    const w = ctx.measureText(text).width + 2 * pad, h = 16 * ratio();
    const lx = Math.min(Math.max(0, x - w / 2), deviceWidth - w), ly = Math.min(Math.max(0, y - h), deviceHeight - h);
    ctx.fillStyle = 'rgba(255,255,255,0.9)';
    ctx.fillRect(lx, ly, w, h);
    ctx.strokeStyle = colour;
    ctx.lineWidth = 1;
    ctx.strokeRect(Math.floor(lx) + 0.5, Math.floor(ly) + 0.5, Math.round(w), Math.round(h));
    ctx.fillStyle = '#000';
    ctx.textBaseline = 'middle';
    ctx.fillText(text, lx + pad, ly + h / 2);
  }

  function drawGuides() {
    const s = state.scale;
    const real = isRealSize();
    state.registrations.forEach((r, i) => {
      const colour = i === state.currentPoint && real ? GUIDE_CURRENT : GUIDE_OTHER;
      const ax = Math.trunc(s.clientX(r.startX)) + 0.5, ay = Math.trunc(s.clientY(r.startY)) + 0.5;
      const bx = Math.trunc(s.clientX(r.endX)) + 0.5, by = Math.trunc(s.clientY(r.endY)) + 0.5;
      ctx.lineWidth = Math.max(1, Math.round(ratio()));
      ctx.setLineDash([]);
      ctx.strokeStyle = '#fff';
      ctx.beginPath(); ctx.moveTo(ax, ay); ctx.lineTo(bx, by); ctx.stroke();
      ctx.setLineDash([4 * ratio(), 4 * ratio()]);
      ctx.strokeStyle = colour;
      ctx.beginPath(); ctx.moveTo(ax, ay); ctx.lineTo(bx, by); ctx.stroke();
      ctx.setLineDash([]);
      cross(ax, ay, colour);
      cross(bx, by, colour);
      label(`ｻｲｽﾞ情報 ${i + 1} (${r.lengthMm} mm)`, (ax + bx) / 2, Math.min(ay, by) - 6 * ratio(), colour);
    });
  }

  function drawMeasures() {
    const s = state.scale;
    const scale = K.measureScale(state.registrations, state.currentPoint);
    const all = state.pending ? [...state.measures, state.pending] : state.measures;
    for (const m of all) {
      const ax = s.clientX(m.from.x), ay = s.clientY(m.from.y), bx = s.clientX(m.to.x), by = s.clientY(m.to.y);
      for (const [colour, w] of [['#fff', 4], [MEASURE, 2]]) {
        ctx.strokeStyle = colour;
        ctx.lineWidth = w * ratio();
        ctx.lineCap = 'round';
        ctx.beginPath(); ctx.moveTo(ax, ay); ctx.lineTo(bx, by); ctx.stroke();
      }
      ctx.lineCap = 'butt';
      label(K.measureCaption(m.from, m.to, scale.mmPerPixel), (ax + bx) / 2, Math.min(ay, by) - 8 * ratio(), MEASURE);
    }
  }

  function logoRect() {
    if (!state.logo) return null;
    return { x: deviceWidth - 10 - state.logo.width, y: 10, w: state.logo.width, h: state.logo.height };
  }

  function drawLogo() {
    const r = logoRect();
    if (r) ctx.drawImage(state.logo, r.x, r.y);
  }

  // The rectangle to match with the card or ruler: left edge fixed, its
  // right edge dragged and nudged in whole device pixels.
  function calibrationRect() {
    const c = state.calibrating;
    const x = Math.round(40 * ratio()), y = Math.round(60 * ratio());
    const h = c.card ? Math.round(c.widthPx * K.CARD_HEIGHT_MM / K.CARD_WIDTH_MM) : Math.round(30 * ratio());
    return { x, y, w: c.widthPx, h };
  }

  function drawCalibration() {
    const r = calibrationRect();
    ctx.fillStyle = 'rgba(255,255,255,0.92)';
    ctx.fillRect(0, 0, deviceWidth, deviceHeight);
    ctx.fillStyle = 'rgb(200,220,255)';
    ctx.fillRect(r.x, r.y, r.w, r.h);
    ctx.fillStyle = CALIBRATION;
    ctx.fillRect(r.x, r.y, r.w, 1);
    ctx.fillRect(r.x, r.y + r.h - 1, r.w, 1);
    ctx.fillRect(r.x, r.y, 1, r.h);
    ctx.fillRect(r.x + r.w - 1, r.y, 1, r.h);
    // The handle on the right edge.
    const hw = Math.round(6 * ratio());
    ctx.fillRect(r.x + r.w - 1, r.y + Math.round(r.h / 2) - hw * 2, hw, hw * 4);
    ctx.font = font(13);
    ctx.textBaseline = 'top';
    ctx.fillStyle = '#000';
    const c = state.calibrating;
    const mm = c.lengthMm;
    ctx.fillText(`${c.card ? 'ｶｰﾄﾞ' : '定規'} ${mm.toFixed(2)} mm = ${r.w} 画素 (${(r.w / mm).toFixed(3)} 画素/mm)`, r.x, r.y + r.h + 8 * ratio());
  }

  // ---- status and buttons

  function updateStatus() {
    const cal = $('statusCalibration');
    if (state.pxPerMm === null) cal.textContent = '原寸大: 不明 (画面が未校正)';
    else if (state.pxPerMmSource === 'query') cal.textContent = `校正: ${state.pxPerMm.toFixed(3)} 画素/mm (URL指定)`;
    else cal.textContent = `校正: ${state.pxPerMm.toFixed(3)} 画素/mm`;
    $('statusScale').textContent = state.bitmap ? state.scaleWord : '';
  }

  function updateButtons() {
    const has = !!state.bitmap, z = state.scale.zoom;
    const set = (cmd, enabled, pressed) => {
      const b = document.querySelector(`[data-cmd="${cmd}"]`);
      b.disabled = !enabled;
      if (pressed !== undefined) b.setAttribute('aria-pressed', String(pressed));
    };
    set('whole', has, has && state.fitted);
    set('zoomIn', has && K.zoomInStep(z) !== null);
    set('zoomOut', has && K.zoomOutStep(z) !== null);
    set('real', has, has && isRealSize());
    set('pointPrev', has && state.registrations.length > 0);
    set('pointNext', has && state.registrations.length > 0);
    set('guides', true, state.showGuides);
    set('measure', true, state.measuring);
  }

  // ---- calibration

  function calibrationLength() {
    const card = document.querySelector('input[name="ref"]:checked').value === 'card';
    return { card, lengthMm: card ? K.CARD_WIDTH_MM : K.parseLength($('rulerLength').value) };
  }

  function startCalibration() {
    const { card, lengthMm } = calibrationLength();
    const density = state.pxPerMm || K.nominalPxPerMm(ratio());
    state.calibrating = { card, lengthMm: lengthMm || 100, widthPx: K.widthForLength(lengthMm || 100, density) };
    $('calibration').hidden = false;
    $('calibrationGuide').textContent = card
      ? 'ｶｰﾄﾞの左端を四角形の左端に当て、右端を合わせて下さい。'
      : '定規の目盛りを四角形の左端に当て、右端を入力した長さに合わせて下さい。';
    view.focus();
    draw();
  }

  function referenceChanged() {
    const c = state.calibrating;
    if (!c) return;
    const { card, lengthMm } = calibrationLength();
    if (!lengthMm) { status('長さを mm で入力して下さい'); return; }
    // The density so far stays: the rectangle becomes the new length at it.
    const density = c.widthPx / c.lengthMm;
    state.calibrating = { card, lengthMm, widthPx: K.widthForLength(lengthMm, density) };
    startCalibrationGuide(card);
    draw();
  }

  function startCalibrationGuide(card) {
    $('calibrationGuide').textContent = card
      ? 'ｶｰﾄﾞの左端を四角形の左端に当て、右端を合わせて下さい。'
      : '定規の目盛りを四角形の左端に当て、右端を入力した長さに合わせて下さい。';
  }

  function finishCalibration(keep) {
    const c = state.calibrating;
    state.calibrating = null;
    $('calibration').hidden = true;
    if (keep && c) {
      const v = c.widthPx / c.lengthMm;
      const saved = K.saveCalibration(localStorage, currentScreenKey(), v);
      state.pxPerMm = v;
      state.pxPerMmSource = 'calibrated';
      status(saved ? '校正しました' : '校正しました (ﾌﾞﾗｳｻﾞに保存できませんでした)');
      const real = state.fitted === false && state.scaleWord.startsWith('倍率:等倍');
      computeRealSize(false);
      if (real && state.realZoom) showRealSize();
    }
    view.focus();
    draw();
  }

  function nudgeCalibration(delta) {
    const c = state.calibrating;
    c.widthPx = Math.max(10, Math.min(deviceWidth - calibrationRect().x, c.widthPx + delta));
    draw();
  }

  // ---- pointer, touch, wheel, keys

  const pointers = new Map();
  let gesture = null;

  view.addEventListener('pointerdown', (e) => {
    if (e.target !== canvas) return;
    view.focus();
    const p = devicePoint(e);
    canvas.setPointerCapture(e.pointerId);
    pointers.set(e.pointerId, p);
    if (state.calibrating) {
      const r = calibrationRect();
      if (p.y >= r.y - 20 * ratio() && p.y <= r.y + r.h + 20 * ratio()) {
        gesture = { kind: 'calibrate' };
        state.calibrating.widthPx = Math.max(10, Math.round(p.x - r.x));
        draw();
      }
      return;
    }
    if (!state.bitmap) return;
    if (pointers.size === 2) {
      const [a, b] = [...pointers.values()];
      state.pending = null;
      gesture = { kind: 'pinch', distance: Math.hypot(a.x - b.x, a.y - b.y), zoom: state.scale.zoom };
      return;
    }
    const lr = logoRect();
    if (lr && state.link && p.x >= lr.x && p.x < lr.x + lr.w && p.y >= lr.y && p.y < lr.y + lr.h) {
      window.open(state.link, '_blank', 'noopener');
      return;
    }
    if (state.measuring && e.pointerType !== 'touch') {
      const at = K.snapToEnd(state.registrations, state.scale, p.x, p.y, 6 * ratio()) || state.scale.photoAt(p.x, p.y);
      state.pending = { from: at, to: at };
      gesture = { kind: 'measure' };
      return;
    }
    gesture = { kind: 'drag', last: p, start: p, moved: false };
  });

  view.addEventListener('pointermove', (e) => {
    if (!pointers.has(e.pointerId)) return;
    const p = devicePoint(e);
    pointers.set(e.pointerId, p);
    if (!gesture) return;
    if (gesture.kind === 'calibrate') {
      state.calibrating.widthPx = Math.max(10, Math.round(p.x - calibrationRect().x));
      draw();
    } else if (gesture.kind === 'measure') {
      state.pending.to = K.snapToEnd(state.registrations, state.scale, p.x, p.y, 6 * ratio()) || state.scale.photoAt(p.x, p.y);
      draw();
    } else if (gesture.kind === 'drag') {
      state.fitted = false;
      state.scale.panBy(p.x - gesture.last.x, p.y - gesture.last.y);
      if (Math.hypot(p.x - gesture.start.x, p.y - gesture.start.y) > 3 * ratio()) gesture.moved = true;
      gesture.last = p;
      requestDraw();
    } else if (gesture.kind === 'pinch' && pointers.size === 2) {
      const [a, b] = [...pointers.values()];
      const d = Math.hypot(a.x - b.x, a.y - b.y);
      if (gesture.distance > 0) {
        state.fitted = false;
        state.scale.zoomAbout(gesture.zoom * d / gesture.distance, (a.x + b.x) / 2, (a.y + b.y) / 2);
        state.scaleWord = `倍率:${K.scaleText(state.scale.zoom)}`;
        requestDraw();
      }
    }
  });

  function pointerEnd(e) {
    if (!pointers.has(e.pointerId)) return;
    const p = devicePoint(e);
    pointers.delete(e.pointerId);
    const g = gesture;
    if (pointers.size > 0 && g && g.kind === 'pinch') {
      // The finger left behind goes on dragging.
      gesture = { kind: 'drag', last: [...pointers.values()][0], start: p, moved: true };
      return;
    }
    gesture = null;
    if (!g) return;
    if (g.kind === 'measure') {
      const m = state.pending;
      state.pending = null;
      if (m && (m.from.x !== m.to.x || m.from.y !== m.to.y)) {
        state.measures.push(m);
        status(`${K.measureCaption(m.from, m.to, K.measureScale(state.registrations, state.currentPoint).mmPerPixel)}  ${K.measureScale(state.registrations, state.currentPoint).text}`);
      }
      draw();
    } else if (g.kind === 'drag' && !g.moved && e.type === 'pointerup') {
      // A click on a registration line shows it at real size.
      const i = K.registrationAt(state.registrations, state.scale, p.x, p.y, 4 * ratio());
      if (i >= 0) {
        state.currentPoint = i;
        computeRealSize(true);
        if (!state.realZoom) status(realSizeRefusal());
      }
    }
  }
  view.addEventListener('pointerup', pointerEnd);
  view.addEventListener('pointercancel', pointerEnd);

  let drawQueued = false;
  function requestDraw() {
    if (drawQueued) return;
    drawQueued = true;
    requestAnimationFrame(() => { drawQueued = false; draw(); });
  }

  view.addEventListener('wheel', (e) => {
    if (!state.bitmap || state.calibrating) return;
    e.preventDefault();
    if (e.shiftKey) return;
    const p = devicePoint(e);
    const z = e.deltaY < 0 ? K.zoomInStep(state.scale.zoom) : K.zoomOutStep(state.scale.zoom);
    if (z === null) return;
    state.fitted = false;
    state.scale.zoomAbout(z, p.x, p.y);
    state.scaleWord = `倍率:${K.scaleText(z)}`;
    requestDraw();
  }, { passive: false });

  document.addEventListener('keydown', (e) => {
    if (e.target instanceof HTMLInputElement) return;
    if (state.calibrating) {
      const step = e.shiftKey ? 10 : 1;
      if (e.key === 'ArrowRight') nudgeCalibration(step);
      else if (e.key === 'ArrowLeft') nudgeCalibration(-step);
      else if (e.key === 'Enter') finishCalibration(true);
      else if (e.key === 'Escape') finishCalibration(false);
      else return;
      e.preventDefault();
      return;
    }
    if (e.ctrlKey || e.metaKey || e.altKey) return;
    const s = state.scale;
    const pan = (dx, dy) => { state.fitted = false; s.panBy(dx, dy); draw(); };
    switch (e.key) {
      case '+': case '=': zoomIn(); break;
      case '-': zoomOut(); break;
      case '0': case 'Home': showWhole(); break;
      case 'r': case 'R': showRealSize(); break;
      case 'n': case 'N': stepPoint(-1); break;
      case 'p': case 'P': stepPoint(+1); break;
      case 'g': case 'G': command('guides'); break;
      case 'm': case 'M': command('measure'); break;
      case 'ArrowLeft': pan(s.clientWidth / 10, 0); break;
      case 'ArrowRight': pan(-s.clientWidth / 10, 0); break;
      case 'ArrowUp': pan(0, s.clientHeight / 10); break;
      case 'ArrowDown': pan(0, -s.clientHeight / 10); break;
      case 'Escape':
        state.pending = null; gesture = null; state.measures = []; draw(); break;
      default: return;
    }
    e.preventDefault();
  });

  function command(cmd) {
    switch (cmd) {
      case 'open': $('file').click(); break;
      case 'whole': showWhole(); break;
      case 'zoomIn': zoomIn(); break;
      case 'zoomOut': zoomOut(); break;
      case 'real': showRealSize(); break;
      case 'pointNext': stepPoint(-1); break;
      case 'pointPrev': stepPoint(+1); break;
      case 'guides': state.showGuides = !state.showGuides; draw(); break;
      case 'measure':
        state.measuring = !state.measuring;
        status(state.measuring ? K.measureScale(state.registrations, state.currentPoint).text : 'ﾚﾃﾞｨ');
        draw();
        break;
      case 'calibrate': if (state.calibrating) finishCalibration(false); else startCalibration(); break;
      default: break;
    }
  }

  $('toolbar').addEventListener('click', (e) => {
    const b = e.target.closest('button[data-cmd]');
    if (b) command(b.dataset.cmd);
  });
  $('file').addEventListener('change', (e) => { openFile(e.target.files[0]); e.target.value = ''; });
  $('calibration').addEventListener('submit', (e) => { e.preventDefault(); finishCalibration(true); });
  $('calibrationCancel').addEventListener('click', () => finishCalibration(false));
  $('calibration').addEventListener('change', referenceChanged);
  $('rulerLength').addEventListener('input', () => {
    if (document.querySelector('input[name="ref"]:checked').value === 'ruler') referenceChanged();
  });

  view.addEventListener('dragover', (e) => { e.preventDefault(); view.classList.add('dragover'); });
  view.addEventListener('dragleave', () => view.classList.remove('dragover'));
  view.addEventListener('drop', (e) => {
    e.preventDefault();
    view.classList.remove('dragover');
    openFile(e.dataTransfer.files[0]);
  });

  state.open = openBytes;  // the benchmark opens bytes it holds already
  loadDensity();
  watchRatio();
  draw();
  state.ready = openInitial();
})(globalThis.Kova = globalThis.Kova || {});
