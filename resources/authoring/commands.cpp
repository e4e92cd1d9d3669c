#include "resources/authoring/commands.h"

namespace kv::authoring {
namespace {
using kv::res::kSeparator;
using kv::res::MenuItem;
namespace c = kv::authoring::cmd;

constexpr MenuItem kFileMenu[] = {
    {c::kFileNew, "新規作成(&N)\tCtrl+N"},
    {c::kFileOpen, "開く(&O)...\tCtrl+O"},
    {c::kFileSave, "上書き保存(&S)\tCtrl+S"},
    {c::kFileSaveAs, "名前を付けて保存(&A)..."},
    {kSeparator, ""},
    {c::kImportJpeg, "JPEGﾌｧｲﾙの読み込み(&J)"},
    {c::kLocatePhoto, "写真の場所を指定(&L)..."},
    {kSeparator, ""},
    {c::kFileMru1, "最近使ったﾌｧｲﾙ"},
    {kSeparator, ""},
    {c::kAppExit, "Kovasandの終了(&X)"},
};
constexpr MenuItem kEditMenu[] = {
    {c::kEditUndo, "元に戻す(&U)\tCtrl+Z"},
    {c::kEditRedo, "やり直し(&R)\tCtrl+Y"},
    {kSeparator, ""},
    {c::kEditLength, "実測値の修正(&L)..."},
};
constexpr MenuItem kViewMenu[] = {
    {c::kViewToolbar, "ﾂｰﾙ ﾊﾞｰ(&T)"},
    {c::kViewStatusBar, "ｽﾃｰﾀｽ ﾊﾞｰ(&S)"},
    {kSeparator, ""},
    {c::kZoomIn, "拡大(&I)\t+"},
    {c::kZoomOut, "縮小(&O)\t-"},
    {c::kZoomFit, "全体を表示(&W)"},
    {c::kZoomActual, "等倍で表示(&A)"},
    {kSeparator, ""},
    {c::kPreview, "ﾌﾟﾚﾋﾞｭｰ(&P)"},
};
constexpr MenuItem kDrawMenu[] = {
    {c::kRegisterSize, "ｻｲｽﾞ登録(&E)"},
    {c::kRegisterByMarker, "ﾏｰｶｰで自動登録(&A)"},
    {kSeparator, ""},
    {c::kMarkerSheet, "ﾏｰｶｰ用紙の出力(&K)..."},
};
constexpr MenuItem kPublishMenu[] = {
    {c::kPublish, "等倍情報kviﾌｧｲﾙの出力(&T)"},
    {c::kPublishWeb, "Webﾍﾟｰｼﾞとして出力(&W)..."},
    {c::kFolderBatch, "ﾌｫﾙﾀﾞの一括出力(&B)..."},
    {kSeparator, ""},
    {c::kProgramFiles, "ﾛｺﾞとﾘﾝｸ先の設定(&L)..."},
};
constexpr MenuItem kHelpMenu[] = {
    {c::kHelpWeb, "WEBﾍﾙﾌﾟの表示(&H)"},
    {c::kHomePage, "Tessaloftﾎｰﾑﾍﾟｰｼﾞ(&V)"},
    {kSeparator, ""},
    {c::kAppAbout, "ﾊﾞｰｼﾞｮﾝ情報(&A)..."},
};

constexpr kv::res::Menu kMenus[] = {
    {"ﾌｧｲﾙ(&F)", kFileMenu},    {"編集(&E)", kEditMenu}, {"表示(&V)", kViewMenu},
    {"作図ﾓｰﾄﾞ(&M)", kDrawMenu},
    {"出版(&O)", kPublishMenu}, {"ﾍﾙﾌﾟ(&H)", kHelpMenu},
};

using kv::res::ButtonArt;
constexpr kv::res::ToolbarButton kToolbar[] = {
    {c::kImportJpeg, ButtonArt::PhotoIn},
    {c::kFileSave, ButtonArt::Disk},
    {kSeparator},
    {c::kPublish, ButtonArt::PageOut},
    {kSeparator},
    {c::kRegisterSize, ButtonArt::Measure},
    {kSeparator},
    {c::kPreview, ButtonArt::Eye},
    {kSeparator},
    {c::kHelpWeb, ButtonArt::Question},
    {kSeparator},
    {c::kHomePage, ButtonArt::House},
};

// Next pane, previous pane, copy, paste and cut do nothing here: the tool
// has neither split panes nor a clipboard; the keys stay reserved.
constexpr kv::res::Accelerator kAccelerators[] = {
    {c::kFileNew, "Ctrl+N"},      {c::kFileOpen, "Ctrl+O"},   {c::kFileSave, "Ctrl+S"},
    {c::kNextPane, "F6"},         {c::kPrevPane, "Shift+F6"}, {c::kEditCopy, "Ctrl+Ins"},
    {c::kEditPaste, "Shift+Ins"}, {c::kEditCut, "Ctrl+X"},    {c::kEditUndo, "Ctrl+Z"},
    {c::kEditRedo, "Ctrl+Y"},
};

constexpr kv::res::CommandText kCommands[] = {
    {c::kImportJpeg, "JPEGﾌｧｲﾙの読み込み", "JPEGﾌｧｲﾙの読み込み"},
    {c::kPublish, "等倍情報kviﾌｧｲﾙの出力", "等倍情報kviﾌｧｲﾙの出力"},
    {c::kPublishWeb, "写真をﾌﾞﾗｳｻﾞで原寸大表示するﾍﾟｰｼﾞをﾌｫﾙﾀﾞに出力", "Webﾍﾟｰｼﾞとして出力"},
    {c::kRegisterSize, "ｻｲｽﾞ登録", "ｻｲｽﾞ登録"},
    {c::kPreview, "ﾌﾟﾚﾋﾞｭｰ", "ﾌﾟﾚﾋﾞｭｰ"},
    {c::kScrollText, "ｽｸﾛｰﾙ", ""},
    {c::kZoomIn, "写真を拡大", "拡大"},
    {c::kZoomOut, "写真を縮小", "縮小"},
    {c::kZoomFit, "写真の全体をｳｨﾝﾄﾞｩに合わせて表示", "全体を表示"},
    {c::kZoomActual, "写真の1ﾄﾞｯﾄを画面の1ﾄﾞｯﾄで表示", "等倍で表示"},
    {c::kProgramFiles, "kviﾌｧｲﾙに入れるﾛｺﾞとﾘﾝｸ先を設定", "ﾛｺﾞとﾘﾝｸ先の設定"},
    {c::kRegisterByMarker, "写真に写った印刷ﾏｰｶｰからｻｲｽﾞ登録を追加", "ﾏｰｶｰで自動登録"},
    {c::kMarkerSheet, "実寸で印刷するﾏｰｶｰ用紙をPDFに出力", "ﾏｰｶｰ用紙の出力"},
    {c::kFolderBatch, "ﾌｫﾙﾀﾞの写真をまとめてkviﾌｧｲﾙに出力", "ﾌｫﾙﾀﾞの一括出力"},
    {c::kEditLength, "選択したｻｲｽﾞ登録の実測値を修正", "実測値の修正"},
    {c::kEditUndo, "直前の操作を元に戻す", "元に戻す"},
    {c::kEditRedo, "元に戻した操作をやり直す", "やり直し"},
    {c::kHomePage, "Tessaloftﾎｰﾑﾍﾟｰｼﾞ", "Tessaloftﾎｰﾑﾍﾟｰｼﾞ"},
    {c::kHelpWeb, "WEBﾍﾙﾌﾟの表示", "WEBﾍﾙﾌﾟの表示"},
    // The shell's own commands.
    {c::kFileNew, "新しいﾌﾟﾛｼﾞｪｸﾄを作成", "新規作成"},
    {c::kFileOpen, "既存のﾌﾟﾛｼﾞｪｸﾄを開く", "開く"},
    {c::kFileSave, "ﾌﾟﾛｼﾞｪｸﾄを上書き保存", "上書き保存"},
    {c::kFileSaveAs, "ﾌﾟﾛｼﾞｪｸﾄに名前を付けて保存", "名前を付けて保存"},
    {c::kFileMru1, "このﾌﾟﾛｼﾞｪｸﾄを開く", ""},
    {c::kAppExit, "Kovasandを終了", "終了"},
    {c::kViewToolbar, "ﾂｰﾙ ﾊﾞｰの表示/非表示", "ﾂｰﾙ ﾊﾞｰ"},
    {c::kViewStatusBar, "ｽﾃｰﾀｽ ﾊﾞｰの表示/非表示", "ｽﾃｰﾀｽ ﾊﾞｰ"},
    {c::kAppAbout, "ﾊﾞｰｼﾞｮﾝ情報を表示", "ﾊﾞｰｼﾞｮﾝ情報"},
};

constexpr kv::res::ProgramTable kTable = {
    "Kovasand",
    "等倍画像作成ｿﾌﾄ",
    "Kovasand\n新規ﾌｧｲﾙ\nKovasandﾌﾟﾛｼﾞｪｸﾄ\nKVPﾌｧｲﾙ(*.kvp)\n.kvp",
    kMenus,
    {},
    kToolbar,
    kAccelerators,
    kCommands,
    "Kovasandのﾊﾞｰｼﾞｮﾝ情報",
    "Kovasand Version 1.9",
    "kovasand.html",
    "写真に実寸の情報を付けて等倍情報ﾌｧｲﾙを作ります。",
    c::kAboutWebButton,
    0,
};
}  // namespace

const kv::res::ProgramTable& AuthoringTable() { return kTable; }

}  // namespace kv::authoring
