// How many device pixels make a millimetre on this screen. A browser
// reports no physical size, so the user lays a card or a ruler against the
// glass and matches an on-screen rectangle to it; the result is kept per
// screen (its size in device pixels and its device-pixel ratio), so another
// monitor or a browser zoom is recognised as not calibrated yet.
(function (K) {
  'use strict';

  const CARD_WIDTH_MM = 85.6;  // ISO/IEC 7810 ID-1
  const CARD_HEIGHT_MM = 53.98;
  const STORAGE_PREFIX = 'kova.pxPerMm.';
  // Densities outside these are no screen's (20 to 2500 dpi).
  const MIN_PX_PER_MM = 20 / 25.4;
  const MAX_PX_PER_MM = 2500 / 25.4;

  function plausible(v) {
    return Number.isFinite(v) && v >= MIN_PX_PER_MM && v <= MAX_PX_PER_MM;
  }

  // "2560x1440@1.5": the screen in device pixels and the ratio.
  function screenKey(screenWidth, screenHeight, ratio) {
    const r = Math.round(ratio * 1000) / 1000;
    return `${Math.round(screenWidth * ratio)}x${Math.round(screenHeight * ratio)}@${r}`;
  }

  // A length typed in millimetres, full-width digits and a comma as the
  // decimal sign allowed; null when it is none or not above 0.
  function parseLength(text) {
    const t = String(text).trim()
      .replace(/[０-９]/g, (c) => String.fromCharCode(c.charCodeAt(0) - 0xff10 + 0x30))
      .replace(/[．，,]/g, '.').replace(/\s*(mm|ｍｍ)$/i, '');
    if (!/^\d+(\.\d+)?$|^\.\d+$/.test(t)) return null;
    const v = Number(t);
    return v > 0 && v <= 10000 ? v : null;
  }

  // The density from the address (`pxPerMm=N`) for kiosks, or null.
  function fromQuery(search) {
    const v = new URLSearchParams(search).get('pxPerMm');
    if (v === null) return null;
    const n = Number(v);
    return plausible(n) ? n : null;
  }

  function load(storage, key) {
    try {
      const v = Number(storage.getItem(STORAGE_PREFIX + key));
      return plausible(v) ? v : null;
    } catch {
      return null;  // storage refused (private mode, file:// in some browsers)
    }
  }

  function save(storage, key, pxPerMm) {
    if (!plausible(pxPerMm)) return false;
    try {
      storage.setItem(STORAGE_PREFIX + key, String(pxPerMm));
      return true;
    } catch {
      return false;
    }
  }

  // The rectangle the user matches: its width in whole device pixels for a
  // density; the starting guess is the web's nominal 96 dpi per CSS pixel.
  function widthForLength(lengthMm, pxPerMm) {
    return Math.max(1, Math.round(lengthMm * pxPerMm));
  }
  const nominalPxPerMm = (ratio) => (96 / 25.4) * ratio;

  Object.assign(K, {
    CARD_WIDTH_MM, CARD_HEIGHT_MM, plausiblePxPerMm: plausible, screenKey, parseLength,
    pxPerMmFromQuery: fromQuery, loadCalibration: load, saveCalibration: save,
    widthForLength, nominalPxPerMm,
  });
})(globalThis.Kova = globalThis.Kova || {});
