#pragma once
// Pictures of the viewer drawn in code: its mouse cursors, the two hot-spot
// icons shown in the view's corner while the toolbox is hidden, and the
// toolbox's buttons and legend. Everything is laid out on a logical grid and
// painted at the screen's device-pixel ratio, so it stays crisp on
// high-density screens.
#include <QCursor>
#include <QImage>
#include <QPixmap>
#include <QPoint>

namespace kv::viewer {

enum class ViewerCursorId {
  OpenHand,             // open hand, fingers up: ready to drag the photo
  GrabHand,             // closed hand while dragging
  ZoomIn,               // magnifier with a plus, the lens centred on the hot spot
  ZoomOut,              // magnifier with a minus
  CalibrationRightEnd,  // pointing hand labelled "右端"
  Registration,         // arrow labelled "検出"
  LogoLink,             // pointing hand labelled "HP"
  ShowToolbox,          // pointing hand labelled "TOOL"
  ReturnView,           // pointing hand labelled "初期"
  NavigatorHand,        // open hand with a purple cuff, over the navigator
  NavigatorGrab,        // closed hand with a purple cuff, dragging in the navigator
  Measure,              // thin crosshair centred on the hot spot, a small ruler below right
};

// The side of every cursor and corner icon, in logical pixels.
inline constexpr int kViewerArtSide = 32;

// In logical pixels, as QCursor takes it for a pixmap with a pixel ratio.
QPoint CursorHotSpot(ViewerCursorId id);
// A transparent pixmap of 32 * dpr device pixels carrying the ratio dpr.
QPixmap MakeViewerCursorPixmap(ViewerCursorId id, double dpr);
QCursor MakeViewerCursor(ViewerCursorId id, double dpr);
// Built once per (id, dpr) and kept for the process; GUI thread only.
const QCursor& ViewerCursor(ViewerCursorId id, double dpr);

// Where the icons stand and answer clicks is the view model's business
// (kHotIconSide and friends in viewer/model/viewer_view.h), which cannot see
// this header.

// returnIcon: a photo frame with a circular arrow (back to the initial
// whole view); otherwise a small panel of buttons and a navigator square
// (show the toolbox). ARGB32 premultiplied, 32 * dpr device pixels, ratio dpr.
QImage MakeHiddenToolboxIcon(bool returnIcon, double dpr);

enum class ToolboxButton {
  PrevPhoto,   // left chevron
  NextPhoto,   // right chevron
  Windowed,    // a monitor with a diagonal double arrow
  RealSize,    // green tile reading "REAL SIZE"
  ZoomOut,     // magnifier with a minus
  ZoomIn,      // magnifier with a plus
  ResetView,   // green tile with a return arrow
  OpenFolder,  // yellow folder
  FullScreen,  // monitor reading "FULL"
  Guides,      // ruler
};

// Logical sizes of a toolbox button's picture and of the legend panel.
inline constexpr int kToolboxButtonSide = 24;
inline constexpr int kLegendWidth = 66, kLegendHeight = 70;

// The picture on the toolbox's cream background, opaque, ARGB32
// premultiplied, round(24 * dpr) device pixels square with the ratio dpr.
QImage MakeToolboxButtonImage(ToolboxButton b, double dpr);
// A black panel with a short magenta line over the words "ラインが /
// リアルサイズ / 表示中です": a line in that colour is the registration
// currently shown at real size. Opaque, ARGB32 premultiplied, ratio dpr.
QImage MakeToolboxLegend(double dpr);

}  // namespace kv::viewer
