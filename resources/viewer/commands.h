#pragma once
// The viewer's command numbers and its user-interface table.
#include "resources/command_table.h"

namespace kv::viewer::cmd {
using namespace kv::cmd;
constexpr int kCustomSize = 32772;      // 任意ｻｲｽﾞを指定
constexpr int kMouseScroll = 32773;     // ﾏｳｽでｽｸﾛｰﾙ
constexpr int kImageScaleText = 32774;  // string only: 画像の倍率
constexpr int kDisplayScaleText = 32775;  // string only: ﾃﾞｨｽﾌﾟﾚｲの倍率
constexpr int kMouseMeasure = 32776;    // ﾏｳｽで計測
constexpr int kMouseZoom = 32777;       // ﾏｳｽで拡大縮小
constexpr int kToolbox = 32778;         // ﾂｰﾙﾎﾞｯｸｽの表示/非表示
constexpr int kBrightness = 32779;
constexpr int kContrast = 32780;
constexpr int kZoomIn = 32781;
constexpr int kA4Size = 32783;
constexpr int kZoomOut = 32784;
constexpr int kRealSize = 32785;
constexpr int kNextPoint = 32787;
constexpr int kPrevPoint = 32788;
constexpr int kShowWhole = 32790;
constexpr int kFullScreen = 32791;
constexpr int kWindowed = 32792;
constexpr int kNextImage = 32793;
constexpr int kPrevImage = 32794;
constexpr int kOpenWithDialog = 32795;
constexpr int kExitFromView = 32796;
constexpr int kSizeInfo = 32797;
constexpr int kDisplaySettings = 32798;
// The photo on paper at the current registration's real size.
constexpr int kPrint = 32810;      // 印刷
constexpr int kExportPdf = 32811;  // PDFに出力
// About box control: opens the help page.
constexpr int kAboutWebButton = 1004;
}  // namespace kv::viewer::cmd

namespace kv::viewer {
const kv::res::ProgramTable& ViewerTable();
}
