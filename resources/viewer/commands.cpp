#include "resources/viewer/commands.h"

namespace kv::viewer {
namespace {
using kv::res::kSeparator;
using kv::res::MenuItem;
namespace c = kv::viewer::cmd;

constexpr MenuItem kFileMenu[] = {
    {c::kFileOpen, "開く(&O)...\tCtrl+O"},
    {kSeparator, ""},
    {c::kPrint, "印刷(&P)...\tCtrl+P"},
    {c::kExportPdf, "PDFに出力..."},
    {kSeparator, ""},
    {c::kFileMru1, "最近使ったﾌｧｲﾙ"},
    {kSeparator, ""},
    {c::kAppExit, "Kovalindraの終了(&X)"},
};
constexpr MenuItem kViewMenu[] = {
    {c::kViewToolbar, "ﾂｰﾙ ﾊﾞｰ(&T)"},
    {c::kViewStatusBar, "ｽﾃｰﾀｽ ﾊﾞｰ(&S)"},
    {kSeparator, ""},
    {c::kFullScreen, "ﾌﾙｽｸﾘｰﾝ(&F)"},
    {c::kToolbox, "ﾂｰﾙﾎﾞｯｸｽの表示(&M)"},
    {kSeparator, ""},
    {c::kZoomIn, "拡大(&U)"},
    {c::kZoomOut, "縮小(&D)"},
    {kSeparator, ""},
    {c::kRealSize, "原寸大で表示(&E)"},
    {c::kShowWhole, "全体を表示(&I)"},
    {kSeparator, ""},
    {c::kNextPoint, "原寸大表示ﾎﾟｲﾝﾄ次へ(&N)"},
    {c::kPrevPoint, "原寸大表示ﾎﾟｲﾝﾄ前へ(&P)"},
    {kSeparator, ""},
    {c::kOpenWithDialog, "ﾌｫﾙﾀﾞ表示(&A)"},
    {c::kSizeInfo, "等倍情報の表示(&O)"},
    {c::kDisplaySettings, "ﾃﾞｨｽﾌﾟﾚｲ設定の表示(&R)"},
};
constexpr MenuItem kModeMenu[] = {
    {c::kMouseScroll, "ﾏｳｽでｽｸﾛｰﾙ(&S)"},
    {c::kMouseZoom, "ﾏｳｽで拡大縮小(&R)"},
    {c::kMouseMeasure, "ﾏｳｽで計測(&K)"},
};
constexpr MenuItem kImageMenu[] = {
    {c::kBrightness, "明るさ調整(&B)"},
    {c::kContrast, "ｺﾝﾄﾗｽﾄ調整(&C)"},
};
constexpr MenuItem kSlideMenu[] = {
    {c::kNextImage, "次の画像表示(&A)"},
    {c::kPrevImage, "前の画像表示(&B)"},
};
constexpr MenuItem kDisplayMenu[] = {
    {c::kA4Size, "A4ｻｲｽﾞを指定(&A)"},
    {c::kCustomSize, "任意ｻｲｽﾞを指定(&S)"},
};
constexpr MenuItem kHelpMenu[] = {
    {c::kHelpWeb, "WEBﾍﾙﾌﾟの表示(&H)"},
    {c::kHomePage, "Tessaloftﾎｰﾑﾍﾟｰｼﾞ(&V)"},
    {kSeparator, ""},
    {c::kAppAbout, "ﾊﾞｰｼﾞｮﾝ情報(&A)..."},
};

constexpr kv::res::Menu kMenus[] = {
    {"ﾌｧｲﾙ(&F)", kFileMenu},       {"表示(&V)", kViewMenu},
    {"ﾓｰﾄﾞ(&M)", kModeMenu},       {"画像処理(&G)", kImageMenu},
    {"ｽﾗｲﾄﾞｼｮｰ(&S)", kSlideMenu},  {"ﾃﾞｨｽﾌﾟﾚｲ設定(&C)", kDisplayMenu},
    {"ﾍﾙﾌﾟ(&H)", kHelpMenu},
};

constexpr MenuItem kContextMenu[] = {
    {c::kOpenWithDialog, "開く(&O)"},
    {kSeparator, ""},
    {c::kRealSize, "原寸大で表示(&E)"},
    {c::kShowWhole, "全体を表示(&I)"},
    {c::kNextPoint, "原寸大表示ﾎﾟｲﾝﾄ次へ(&N)"},
    {c::kPrevPoint, "原寸大表示ﾎﾟｲﾝﾄ前へ(&P)"},
    {kSeparator, ""},
    {c::kFullScreen, "ﾌﾙｽｸﾘｰﾝ表示(&F)"},
    {c::kWindowed, "ｳｨﾝﾄﾞｩ表示(&W)"},
    {kSeparator, ""},
    {c::kZoomIn, "拡大(&U)"},
    {c::kZoomOut, "縮小(&D)"},
    {c::kMouseScroll, "ﾏｳｽでｽｸﾛｰﾙ(&S)"},
    {c::kMouseMeasure, "ﾏｳｽで計測(&K)"},
    {kSeparator, ""},
    {c::kNextImage, "次の画像表示(&A)"},
    {c::kPrevImage, "前の画像表示(&R)"},
    {kSeparator, ""},
    {c::kToolbox, "ﾂｰﾙﾎﾞｯｸｽの表示/非表示(&M)"},
    {kSeparator, ""},
    {c::kBrightness, "明るさ調整(&B)"},
    {c::kContrast, "ｺﾝﾄﾗｽﾄ調整(&C)"},
    {kSeparator, ""},
    {c::kExitFromView, "Kovalindraの終了(&X)"},
};

using kv::res::ButtonArt;
constexpr kv::res::ToolbarButton kToolbar[] = {
    {c::kNextPoint, ButtonArt::RulerNext},
    {c::kSizeInfo, ButtonArt::Information},
    {kSeparator},
    {c::kShowWhole, ButtonArt::FitInFrame},
    {c::kFileOpen, ButtonArt::Folder},
    {kSeparator},
    {c::kZoomIn, ButtonArt::MagnifierPlus},
    {c::kZoomOut, ButtonArt::MagnifierMinus},
    {kSeparator},
    {c::kPrevImage, ButtonArt::PhotoBack},
    {c::kNextImage, ButtonArt::PhotoForward},
    {kSeparator},
    {c::kBrightness, ButtonArt::Sun},
    {c::kContrast, ButtonArt::Contrast},
    {kSeparator},
    {c::kHelpWeb, ButtonArt::Question},
    {kSeparator},
    {c::kHomePage, ButtonArt::House},
};

// Ctrl+C copies the last measurement; it has no menu item of its own.
constexpr kv::res::Accelerator kAccelerators[] = {
    {c::kFileOpen, "Ctrl+O"}, {c::kPrint, "Ctrl+P"}, {c::kEditCopy, "Ctrl+C"}};

constexpr kv::res::CommandText kCommands[] = {
    {c::kCustomSize, "任意ｻｲｽﾞを指定", "任意ｻｲｽﾞを指定"},
    {c::kMouseScroll, "ﾏｳｽでｽｸﾛｰﾙ", "ﾏｳｽでｽｸﾛｰﾙ"},
    {c::kImageScaleText, "画像の倍率", ""},
    {c::kDisplayScaleText, "ﾃﾞｨｽﾌﾟﾚｲの倍率", ""},
    {c::kMouseZoom, "ﾏｳｽで拡大縮小", "ﾏｳｽで拡大縮小"},
    {c::kMouseMeasure, "写真上の長さを計測", "ﾏｳｽで計測"},
    {c::kToolbox, "ﾂｰﾙﾎﾞｯｸｽの表示/非表示", "ﾂｰﾙﾎﾞｯｸｽの表示/非表示"},
    {c::kBrightness, "明るさ調整", "明るさ調整"},
    {c::kContrast, "ｺﾝﾄﾗｽﾄ調整", "ｺﾝﾄﾗｽﾄ調整"},
    {c::kZoomIn, "拡大", "拡大"},
    {c::kA4Size, "A4ｻｲｽﾞを指定", "A4ｻｲｽﾞを指定"},
    {c::kZoomOut, "縮小", "縮小"},
    {c::kRealSize, "原寸大で表示する", "原寸大で表示"},
    {c::kHomePage, "Tessaloftﾎｰﾑﾍﾟｰｼﾞ", "Tessaloftﾎｰﾑﾍﾟｰｼﾞ"},
    {c::kNextPoint, "原寸大表示ﾎﾟｲﾝﾄ次へ", "原寸大表示ﾎﾟｲﾝﾄ次へ"},
    {c::kPrevPoint, "原寸大表示ﾎﾟｲﾝﾄ前へ", "原寸大表示ﾎﾟｲﾝﾄ前へ"},
    {c::kShowWhole, "全体を表示する", "全体を表示"},
    {c::kFullScreen, "ﾌﾙｽｸﾘｰﾝで表示", "ﾌﾙｽｸﾘｰﾝ表示"},
    {c::kWindowed, "ｳｨﾝﾄﾞｩ表示", "ｳｨﾝﾄﾞｩ表示"},
    {c::kNextImage, "次の画像表示", "次の画像表示"},
    {c::kPrevImage, "前の画像表示", "前の画像表示"},
    {c::kOpenWithDialog, "既存のﾌｧｲﾙを開く", "開く"},
    {c::kExitFromView, "Kovalindraを終了し、ﾌｧｲﾙの保存を指示", "終了"},
    {c::kSizeInfo, "等倍情報の表示", "等倍情報の表示"},
    {c::kDisplaySettings, "ﾃﾞｨｽﾌﾟﾚｲ設定の表示", "ﾃﾞｨｽﾌﾟﾚｲ設定の表示"},
    {c::kHelpWeb, "WEBﾍﾙﾌﾟの表示", "WEBﾍﾙﾌﾟの表示"},
    {c::kPrint, "写真を実寸で印刷", "印刷"},
    {c::kExportPdf, "写真を実寸でPDFﾌｧｲﾙに出力", "PDFに出力"},
    // The shell's own commands.
    {c::kFileOpen, "既存のﾌｧｲﾙを開く", "開く"},
    {c::kFileMru1, "このﾌｧｲﾙを開く", ""},
    {c::kEditCopy, "最後の計測結果をｸﾘｯﾌﾟﾎﾞｰﾄﾞにｺﾋﾟｰ", "ｺﾋﾟｰ"},
    {c::kAppExit, "Kovalindraを終了", "終了"},
    {c::kViewToolbar, "ﾂｰﾙ ﾊﾞｰの表示/非表示", "ﾂｰﾙ ﾊﾞｰ"},
    {c::kViewStatusBar, "ｽﾃｰﾀｽ ﾊﾞｰの表示/非表示", "ｽﾃｰﾀｽ ﾊﾞｰ"},
    {c::kAppAbout, "ﾊﾞｰｼﾞｮﾝ情報を表示", "ﾊﾞｰｼﾞｮﾝ情報"},
};

constexpr kv::res::ProgramTable kTable = {
    "Kovalindra",
    "等倍表示ｿﾌﾄ",
    "Kovalindra\n新規ﾌｧｲﾙ\nKovasandﾌﾟﾛｼﾞｪｸﾄ\nKVIﾌｧｲﾙ(*.kvi)\n.kvi",
    kMenus,
    kContextMenu,
    kToolbar,
    kAccelerators,
    kCommands,
    "Kovalindraのﾊﾞｰｼﾞｮﾝ情報",
    "Kovalindra Version 1.8",
    "kovalindra.html",
    "写真を実物の大きさでﾓﾆﾀｰに表示します。",
    c::kAboutWebButton,
    c::kExitFromView,
};
}  // namespace

const kv::res::ProgramTable& ViewerTable() { return kTable; }

}  // namespace kv::viewer
