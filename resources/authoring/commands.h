#pragma once
// The authoring tool's command numbers and its user-interface table.
#include "resources/command_table.h"

namespace kv::authoring::cmd {
using namespace kv::cmd;
constexpr int kImportJpeg = 32771;   // JPEGﾌｧｲﾙの読み込み
constexpr int kPublish = 32772;      // 等倍情報kviﾌｧｲﾙの出力
constexpr int kRegisterSize = 32773; // ｻｲｽﾞ登録
constexpr int kPreview = 32774;      // ﾌﾟﾚﾋﾞｭｰ
constexpr int kScrollText = 32775;   // string only: ｽｸﾛｰﾙ
constexpr int kZoomIn = 32776;       // 拡大
constexpr int kZoomOut = 32777;      // 縮小
constexpr int kZoomFit = 32778;      // 全体を表示
constexpr int kZoomActual = 32779;   // 等倍で表示
constexpr int kProgramFiles = 32780; // ﾛｺﾞとﾘﾝｸ先の設定
constexpr int kEditLength = 32781;   // 実測値の修正
constexpr int kPublishWeb = 32790;   // Webﾍﾟｰｼﾞとして出力
constexpr int kEditRedo = 57644;     // やり直し
constexpr int kLocatePhoto = 32810;  // 写真の場所を指定
constexpr int kMarkerSheet = 32791;       // ﾏｰｶｰ用紙の出力...
constexpr int kFolderBatch = 32792;       // ﾌｫﾙﾀﾞの一括出力...
constexpr int kRegisterByMarker = 32793;  // ﾏｰｶｰで自動登録
// About box control: opens the help page.
constexpr int kAboutWebButton = 1003;
}  // namespace kv::authoring::cmd

namespace kv::authoring {
const kv::res::ProgramTable& AuthoringTable();
}
