#pragma once
// Pictures of the authoring tool drawn in code: the start banner and the two
// cursors of a size registration.
#include <QCursor>
#include <QImage>

namespace kv::authoring {

inline constexpr int kBannerWidth = 550;
inline constexpr int kBannerHeight = 100;
// Where the banner stands in the view, in device pixels.
inline constexpr int kBannerX = 10;
inline constexpr int kBannerY = 10;

// The banner shown while no photo is imported: our round mark and the way
// to start.
QImage MakeStartBanner();

// 32 x 32 arrows with a label box ("開始" / "終了") to the upper right; the
// hot spot is the arrow's tip at (0, 11).
inline constexpr int kCursorSide = 32;
inline constexpr int kCursorHotX = 0;
inline constexpr int kCursorHotY = 11;
QImage MakeRegistrationCursorImage(bool endPoint);
QCursor MakeRegistrationCursor(bool endPoint);

}  // namespace kv::authoring
