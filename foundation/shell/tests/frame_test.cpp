#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include "foundation/shell/status_panes.h"
#include "foundation/shell/tests/fake_parts.h"
#include "foundation/shell/toolbar_images.h"

namespace kv::shell {
namespace {

using testing::FrameFixture;

// "id:text" lines of a menu, "---" for a separator.
std::vector<std::string> Lines(const QMenu* menu) {
  std::vector<std::string> out;
  for (QAction* a : menu->actions()) {
    if (a->isSeparator()) {
      out.push_back("---");
      continue;
    }
    if (!a->isVisible()) continue;
    out.push_back(std::to_string(a->data().toInt()) + ":" + a->text().toStdString());
  }
  return out;
}

std::vector<QMenu*> Menus(MainFrame& f) {
  std::vector<QMenu*> menus;
  for (QAction* a : f.menuBar()->actions())
    if (a->menu()) menus.push_back(a->menu());
  return menus;
}

TEST(ViewerFrame, MainMenuHasTheExactTextsAndIds) {
  FrameFixture fx(ProgramKind::Viewer);
  ASSERT_TRUE(fx.ok);
  const auto menus = Menus(*fx.frame);
  ASSERT_EQ(menus.size(), 7u);
  std::vector<std::string> titles;
  for (QMenu* m : menus) titles.push_back(m->title().toStdString());
  EXPECT_EQ(titles, (std::vector<std::string>{"ﾌｧｲﾙ(&F)", "表示(&V)", "ﾓｰﾄﾞ(&M)", "画像処理(&G)",
                                              "ｽﾗｲﾄﾞｼｮｰ(&S)", "ﾃﾞｨｽﾌﾟﾚｲ設定(&C)", "ﾍﾙﾌﾟ(&H)"}));
  EXPECT_EQ(Lines(menus[0]), (std::vector<std::string>{"57601:開く(&O)...\tCtrl+O", "---",
                                                       "32810:印刷(&P)...\tCtrl+P",
                                                       "32811:PDFに出力...", "---",
                                                       "57616:最近使ったﾌｧｲﾙ", "---",
                                                       "57665:Kovalindraの終了(&X)"}));
  EXPECT_EQ(Lines(menus[1]),
            (std::vector<std::string>{
                "59392:ﾂｰﾙ ﾊﾞｰ(&T)", "59393:ｽﾃｰﾀｽ ﾊﾞｰ(&S)", "---", "32791:ﾌﾙｽｸﾘｰﾝ(&F)",
                "32778:ﾂｰﾙﾎﾞｯｸｽの表示(&M)", "---", "32781:拡大(&U)", "32784:縮小(&D)", "---",
                "32785:原寸大で表示(&E)", "32790:全体を表示(&I)", "---",
                "32787:原寸大表示ﾎﾟｲﾝﾄ次へ(&N)", "32788:原寸大表示ﾎﾟｲﾝﾄ前へ(&P)", "---",
                "32795:ﾌｫﾙﾀﾞ表示(&A)", "32797:等倍情報の表示(&O)", "32798:ﾃﾞｨｽﾌﾟﾚｲ設定の表示(&R)"}));
  EXPECT_EQ(Lines(menus[2]),
            (std::vector<std::string>{"32773:ﾏｳｽでｽｸﾛｰﾙ(&S)", "32777:ﾏｳｽで拡大縮小(&R)",
                                      "32776:ﾏｳｽで計測(&K)"}));
  EXPECT_EQ(Lines(menus[3]),
            (std::vector<std::string>{"32779:明るさ調整(&B)", "32780:ｺﾝﾄﾗｽﾄ調整(&C)"}));
  EXPECT_EQ(Lines(menus[4]),
            (std::vector<std::string>{"32793:次の画像表示(&A)", "32794:前の画像表示(&B)"}));
  EXPECT_EQ(Lines(menus[5]),
            (std::vector<std::string>{"32783:A4ｻｲｽﾞを指定(&A)", "32772:任意ｻｲｽﾞを指定(&S)"}));
  EXPECT_EQ(Lines(menus[6]),
            (std::vector<std::string>{"57670:WEBﾍﾙﾌﾟの表示(&H)", "32786:Tessaloftﾎｰﾑﾍﾟｰｼﾞ(&V)",
                                      "---", "57664:ﾊﾞｰｼﾞｮﾝ情報(&A)..."}));
}

TEST(ViewerFrame, ContextMenuHasTheExactTextsAndIds) {
  FrameFixture fx(ProgramKind::Viewer);
  ASSERT_NE(fx.frame->ContextMenu(), nullptr);
  EXPECT_EQ(Lines(fx.frame->ContextMenu()),
            (std::vector<std::string>{
                "32795:開く(&O)", "---", "32785:原寸大で表示(&E)", "32790:全体を表示(&I)",
                "32787:原寸大表示ﾎﾟｲﾝﾄ次へ(&N)", "32788:原寸大表示ﾎﾟｲﾝﾄ前へ(&P)", "---",
                "32791:ﾌﾙｽｸﾘｰﾝ表示(&F)", "32792:ｳｨﾝﾄﾞｩ表示(&W)", "---", "32781:拡大(&U)",
                "32784:縮小(&D)", "32773:ﾏｳｽでｽｸﾛｰﾙ(&S)", "32776:ﾏｳｽで計測(&K)", "---",
                "32793:次の画像表示(&A)",
                "32794:前の画像表示(&R)", "---", "32778:ﾂｰﾙﾎﾞｯｸｽの表示/非表示(&M)", "---",
                "32779:明るさ調整(&B)", "32780:ｺﾝﾄﾗｽﾄ調整(&C)", "---",
                "32796:Kovalindraの終了(&X)"}));
}

TEST(ViewerFrame, ContextMenuRoutesTheChosenCommandWithCurrentState) {
  FrameFixture fx(ProgramKind::Viewer, {{32785, {true, false}}, {32773, {true, true}}});
  fx.frame->show();
  QMenu* menu = fx.frame->ContextMenu();
  QTimer::singleShot(50, [menu] {
    for (QAction* a : menu->actions()) {
      if (a->data().toInt() == 32773) {
        EXPECT_TRUE(a->isChecked());
      }
      if (a->data().toInt() == 32793) {
        EXPECT_FALSE(a->isEnabled());  // nobody handles it
      }
    }
    for (QAction* a : menu->actions())
      if (a->data().toInt() == 32785) {
        menu->setActiveAction(a);
        QTest::keyClick(menu, Qt::Key_Return);
      }
  });
  fx.frame->ShowContextMenu(QPoint(100, 100));
  EXPECT_EQ(fx.record.commands, std::vector<int>{32785});
}

TEST(AuthoringFrame, MainMenuHasTheExactTextsAndIds) {
  FrameFixture fx(ProgramKind::Authoring);
  const auto menus = Menus(*fx.frame);
  ASSERT_EQ(menus.size(), 6u);
  std::vector<std::string> titles;
  for (QMenu* m : menus) titles.push_back(m->title().toStdString());
  EXPECT_EQ(titles, (std::vector<std::string>{"ﾌｧｲﾙ(&F)", "編集(&E)", "表示(&V)", "作図ﾓｰﾄﾞ(&M)",
                                              "出版(&O)", "ﾍﾙﾌﾟ(&H)"}));
  EXPECT_EQ(Lines(menus[0]),
            (std::vector<std::string>{"57600:新規作成(&N)\tCtrl+N", "57601:開く(&O)...\tCtrl+O",
                                      "57603:上書き保存(&S)\tCtrl+S", "57604:名前を付けて保存(&A)...",
                                      "---", "32771:JPEGﾌｧｲﾙの読み込み(&J)",
                                      "32810:写真の場所を指定(&L)...", "---",
                                      "57616:最近使ったﾌｧｲﾙ", "---", "57665:Kovasandの終了(&X)"}));
  EXPECT_EQ(Lines(menus[1]),
            (std::vector<std::string>{"57643:元に戻す(&U)\tCtrl+Z", "57644:やり直し(&R)\tCtrl+Y",
                                      "---", "32781:実測値の修正(&L)..."}));
  EXPECT_EQ(Lines(menus[2]),
            (std::vector<std::string>{"59392:ﾂｰﾙ ﾊﾞｰ(&T)", "59393:ｽﾃｰﾀｽ ﾊﾞｰ(&S)", "---",
                                      "32776:拡大(&I)\t+", "32777:縮小(&O)\t-",
                                      "32778:全体を表示(&W)", "32779:等倍で表示(&A)", "---",
                                      "32774:ﾌﾟﾚﾋﾞｭｰ(&P)"}));
  EXPECT_EQ(Lines(menus[3]), (std::vector<std::string>{"32773:ｻｲｽﾞ登録(&E)",
                                                       "32793:ﾏｰｶｰで自動登録(&A)", "---",
                                                       "32791:ﾏｰｶｰ用紙の出力(&K)..."}));
  EXPECT_EQ(Lines(menus[4]), (std::vector<std::string>{"32772:等倍情報kviﾌｧｲﾙの出力(&T)",
                                                       "32790:Webﾍﾟｰｼﾞとして出力(&W)...",
                                                       "32792:ﾌｫﾙﾀﾞの一括出力(&B)...", "---",
                                                       "32780:ﾛｺﾞとﾘﾝｸ先の設定(&L)..."}));
  EXPECT_EQ(Lines(menus[5]),
            (std::vector<std::string>{"57670:WEBﾍﾙﾌﾟの表示(&H)", "32786:Tessaloftﾎｰﾑﾍﾟｰｼﾞ(&V)",
                                      "---", "57664:ﾊﾞｰｼﾞｮﾝ情報(&A)..."}));
  EXPECT_EQ(fx.frame->ContextMenu(), nullptr);
}

std::vector<int> ToolbarIds(MainFrame& f) {
  std::vector<int> ids;
  for (QAction* a : f.ToolBar()->actions()) ids.push_back(a->isSeparator() ? 0 : a->data().toInt());
  return ids;
}

TEST(Toolbar, ButtonsInOrderWithTheirImagesAndTooltips) {
  FrameFixture v(ProgramKind::Viewer);
  EXPECT_EQ(ToolbarIds(*v.frame), (std::vector<int>{32787, 32797, 0, 32790, 57601, 0, 32781, 32784,
                                                    0, 32794, 32793, 0, 32779, 32780, 0, 57670,
                                                    0, 32786}));
  FrameFixture a(ProgramKind::Authoring);
  EXPECT_EQ(ToolbarIds(*a.frame),
            (std::vector<int>{32771, 57603, 0, 32772, 0, 32773, 0, 32774, 0, 57670, 0, 32786}));
  EXPECT_EQ(ButtonStrip(viewer::ViewerTable().toolbar).size(), QSize(384, 24));
  EXPECT_EQ(ButtonStrip(authoring::AuthoringTable().toolbar).size(), QSize(224, 24));
  EXPECT_EQ(v.frame->ToolBar()->iconSize(), QSize(32, 24));
  QAction* real = v.frame->Action(32785);
  QAction* whole = v.frame->Action(32790);
  EXPECT_EQ(real->statusTip().toStdString(), "原寸大で表示する");
  EXPECT_EQ(whole->toolTip().toStdString(), "全体を表示");
  // Every button has a picture of its own: none is the plain frame, and no
  // two buttons of a program look alike.
  const QImage plain = ButtonImage(res::ButtonArt::Frame);
  for (const res::ProgramTable* t : {&viewer::ViewerTable(), &authoring::AuthoringTable()}) {
    std::vector<QImage> seen;
    for (const res::ToolbarButton& b : t->toolbar) {
      if (!b.id) continue;
      const QImage img = ButtonImage(b.art);
      EXPECT_EQ(img.size(), QSize(32, 24));
      EXPECT_NE(img, plain) << b.id;
      for (const QImage& other : seen) EXPECT_NE(img, other) << b.id;
      seen.push_back(img);
    }
  }
}

TEST(Toolbar, ViewerStartsHiddenAuthoringShownAndTheCommandToggles) {
  FrameFixture v(ProgramKind::Viewer);
  v.frame->show();
  EXPECT_FALSE(v.frame->IsToolBarVisible());
  EXPECT_FALSE(v.frame->QueryCommand(59392).checked);
  v.frame->DispatchCommand(59392);
  EXPECT_TRUE(v.frame->ToolBar()->isVisible());
  EXPECT_TRUE(v.frame->Action(59392)->isChecked());
  FrameFixture a(ProgramKind::Authoring);
  a.frame->show();
  EXPECT_TRUE(a.frame->ToolBar()->isVisible());
  a.frame->DispatchCommand(59393);
  EXPECT_FALSE(a.frame->statusBar()->isVisible());
}

TEST(Toolbar, ClickingAButtonRoutesItsCommandAndGreyedButtonsDoNothing) {
  FrameFixture fx(ProgramKind::Authoring, {{32773, {true, false}}, {32772, {false, false}}});
  fx.frame->show();
  fx.frame->UpdateCommandUi();
  QWidget* reg = fx.frame->ToolBar()->widgetForAction(fx.frame->Action(32773));
  QWidget* pub = fx.frame->ToolBar()->widgetForAction(fx.frame->Action(32772));
  ASSERT_TRUE(reg && pub);
  QTest::mouseClick(reg, Qt::LeftButton);
  QTest::mouseClick(pub, Qt::LeftButton);
  EXPECT_EQ(fx.record.commands, std::vector<int>{32773});
  fx.frame->DispatchCommand(32772);  // greyed: not run from a key either
  EXPECT_EQ(fx.record.commands, std::vector<int>{32773});
  // A command nobody handles is greyed.
  EXPECT_FALSE(fx.frame->QueryCommand(32774).enabled);
  EXPECT_FALSE(fx.frame->Action(32774)->isEnabled());
}

TEST(Accelerators, KeysReachTheirCommands) {
  FrameFixture fx(ProgramKind::Authoring, {{57601, {}}, {57603, {}}, {57600, {}}});
  fx.frame->show();
  QApplication::setActiveWindow(fx.frame.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(fx.frame.get()));
  QTest::keyClick(fx.frame.get(), Qt::Key_O, Qt::ControlModifier);
  QTest::keyClick(fx.frame.get(), Qt::Key_S, Qt::ControlModifier);
  QTest::keyClick(fx.frame.get(), Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(fx.record.commands, (std::vector<int>{57601, 57603, 57600}));
  EXPECT_EQ(fx.frame->Action(57680)->shortcut(), QKeySequence(Qt::Key_F6));
  EXPECT_EQ(fx.frame->Action(57681)->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F6));
  EXPECT_EQ(fx.frame->Action(57634)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Insert));
  FrameFixture v(ProgramKind::Viewer);
  EXPECT_EQ(v.frame->Action(57601)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
  EXPECT_EQ(v.frame->Action(32810)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
  EXPECT_EQ(v.frame->Action(57634)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
  EXPECT_EQ(v.frame->Action(57600), nullptr);
}

TEST(StatusBar, ViewerHasFourPanesOfTheirWidths) {
  FrameFixture fx(ProgramKind::Viewer);
  fx.frame->resize(1200, 500);
  fx.frame->show();
  QApplication::processEvents();
  ASSERT_EQ(fx.frame->StatusPaneCount(), 4);
  EXPECT_EQ(fx.frame->StatusPane(0)->width(), 400);
  EXPECT_EQ(fx.frame->StatusPane(1)->width(), 200);
  EXPECT_EQ(fx.frame->StatusPane(2)->width(), 200);
  EXPECT_GT(fx.frame->StatusPane(3)->width(), 300);
  EXPECT_LT(fx.frame->StatusPane(0)->x(), fx.frame->StatusPane(1)->x());
  EXPECT_LT(fx.frame->StatusPane(2)->x(), fx.frame->StatusPane(3)->x());
  EXPECT_EQ(fx.frame->StatusPaneText(0).toStdString(), "等倍表示ｿﾌﾄ");
  fx.frame->SetStatusPaneText(1, QString::fromUtf8("倍率:0.95"));
  EXPECT_EQ(fx.frame->StatusPane(1)->text().toStdString(), "倍率:0.95");
  // At the default 640 x 480 the message pane gives way first: the scale
  // and the last measured length stay readable, inside the bar.
  fx.frame->resize(640, 480);
  QApplication::processEvents();
  const QWidget* bar = fx.frame->statusBar();
  EXPECT_EQ(fx.frame->StatusPane(1)->width(), 200);
  EXPECT_GE(fx.frame->StatusPane(2)->width(), 110);
  EXPECT_GE(fx.frame->StatusPane(3)->width(), 130);
  EXPECT_GE(fx.frame->StatusPane(0)->width(), 120);
  const QString scale = QString::fromUtf8("倍率:等倍(推定 0.95)");
  EXPECT_LT(fx.frame->StatusPane(1)->fontMetrics().horizontalAdvance(scale),
            fx.frame->StatusPane(1)->contentsRect().width());
  const QLabel* last = fx.frame->StatusPane(3);
  EXPECT_LE(last->mapTo(bar, QPoint(last->width(), 0)).x(), bar->width());
}

TEST(StatusBar, PanesTheirWidthsWhateverTheRow) {
  const std::vector<PaneSpec> viewer = {{400, 120, 0}, {200, 100, 2}, {200, 110, 1}, {10, 130, 3}};
  EXPECT_EQ(FitPaneWidths(1200, 2, viewer), (std::vector<int>{400, 200, 200, 394}));
  EXPECT_EQ(FitPaneWidths(940, 2, viewer), (std::vector<int>{400, 200, 200, 134}));
  EXPECT_EQ(FitPaneWidths(700, 2, viewer), (std::vector<int>{164, 200, 200, 130}));
  // Narrower: the measuring scale gives way next, then the scale.
  EXPECT_EQ(FitPaneWidths(620, 2, viewer), (std::vector<int>{120, 200, 164, 130}));
  EXPECT_EQ(FitPaneWidths(500, 2, viewer), (std::vector<int>{120, 134, 110, 130}));
  // Narrower than every minimum: clipped at the end.
  EXPECT_EQ(FitPaneWidths(300, 2, viewer), (std::vector<int>{120, 100, 110, 130}));
}

TEST(StatusBar, ALongMessageShowsItsStartAndEndAndAllOfItAsTheTooltip) {
  FrameFixture fx(ProgramKind::Viewer);
  fx.frame->resize(1000, 480);
  fx.frame->show();
  QApplication::processEvents();
  const QString text = QString::fromUtf8(
      "b.kvi を開けませんでした (ﾌｧｲﾙが壊れているか、kviﾌｧｲﾙではありません: "
      "写真の長さがﾌｧｲﾙの終わりを越えています (ﾌｧｲﾙが途中で切れています))");
  fx.frame->SetStatusPaneText(0, text);
  QLabel* pane = fx.frame->StatusPane(0);
  EXPECT_EQ(fx.frame->StatusPaneText(0), text);
  EXPECT_TRUE(pane->text().startsWith(QString::fromUtf8("b.kvi を開けませんでした")))
      << pane->text().toStdString();
  EXPECT_TRUE(pane->text().endsWith(QString::fromUtf8("ています))")));
  EXPECT_TRUE(pane->text().contains(QChar(0x2026)));
  EXPECT_LE(pane->fontMetrics().horizontalAdvance(pane->text()), pane->contentsRect().width());
  EXPECT_EQ(pane->toolTip(), text);
  // A short one shows whole; nothing to say brings the idle text back.
  const QString shortText = QString::fromUtf8("c.kvi を開けませんでした");
  fx.frame->SetStatusPaneText(0, shortText);
  EXPECT_EQ(pane->text(), shortText);
  EXPECT_TRUE(pane->toolTip().isEmpty());
  fx.frame->SetStatusPaneText(0, QString());
  EXPECT_EQ(pane->text().toStdString(), "等倍表示ｿﾌﾄ");
  EXPECT_TRUE(pane->toolTip().isEmpty());
}

TEST(StatusBar, PromptsGoToThePaneAndTheIdleTextComesBack) {
  FrameFixture fx(ProgramKind::Viewer);
  fx.frame->SetStatusPaneText(1, "1.00");
  QStatusTipEvent tip(fx.frame->Action(32785)->statusTip());
  QApplication::sendEvent(fx.frame.get(), &tip);
  EXPECT_EQ(fx.frame->StatusPaneText(0).toStdString(), "原寸大で表示する");
  QStatusTipEvent none{QString()};
  QApplication::sendEvent(fx.frame.get(), &none);
  EXPECT_EQ(fx.frame->StatusPaneText(0).toStdString(), "等倍表示ｿﾌﾄ");
  EXPECT_EQ(fx.frame->StatusPaneText(1).toStdString(), "1.00");
}

TEST(StatusBar, AuthoringHasTheMessagePaneAndKeyIndicators) {
  FrameFixture fx(ProgramKind::Authoring);
  ASSERT_EQ(fx.frame->StatusPaneCount(), 6);
  EXPECT_EQ(fx.frame->StatusPaneText(0).toStdString(), "等倍画像作成ｿﾌﾄ");
  // The view's scale, left of the key indicators, empty without a photo.
  EXPECT_EQ(fx.frame->StatusPaneText(5).toStdString(), "");
  EXPECT_LT(fx.frame->StatusPane(5)->x(), fx.frame->StatusPane(1)->x());
  EXPECT_EQ(fx.frame->StatusPaneText(1).toStdString(), "ｶﾅ");
  EXPECT_EQ(fx.frame->StatusPaneText(2).toStdString(), "CAP");
  EXPECT_EQ(fx.frame->StatusPaneText(3).toStdString(), "NUM");
  EXPECT_EQ(fx.frame->StatusPaneText(4).toStdString(), "SCRL");
}

TEST(Documents, CommandLineAndRecentFilesOpenThroughTheParts) {
  FrameFixture fx(ProgramKind::Viewer);
  EXPECT_EQ(fx.record.frameCreated, 1);
  ASSERT_TRUE(fx.frame->ProcessCommandLine({}));
  EXPECT_EQ(fx.record.newDocuments, 1);
  EXPECT_EQ(fx.frame->windowTitle().toStdString(), "新規ﾌｧｲﾙ - Kovalindra");
  EXPECT_FALSE(fx.frame->QueryCommand(57616).enabled);  // empty list: greyed

  const QString good = fx.dir.filePath("写真.ok");
  ASSERT_TRUE(fx.frame->ProcessCommandLine({good}));
  EXPECT_EQ(fx.record.opened.back(), good.toStdString());
  EXPECT_EQ(fx.parts->Document().PathName(), good.toStdString());
  EXPECT_EQ(fx.frame->windowTitle().toStdString(), "写真.ok - Kovalindra");
  EXPECT_FALSE(fx.frame->ProcessCommandLine({fx.dir.filePath("bad.kvi")}));
  EXPECT_EQ(fx.parts->Document().PathName(), good.toStdString());  // left as it was

  fx.frame->AddToRecentFiles(fx.dir.filePath("gone.kvi").toStdString());
  const auto recent = fx.frame->Profile().RecentFiles();
  ASSERT_EQ(recent.size(), 2u);
  EXPECT_EQ(fx.frame->Action(57616)->isVisible(), false);  // entries replace the placeholder
  fx.frame->DispatchCommand(57617);  // the second entry: 写真.ok
  EXPECT_EQ(fx.record.opened.back(), good.toStdString());
  // Now second, the file that does not open any more: it leaves the list.
  fx.frame->DispatchCommand(57617);
  EXPECT_EQ(fx.record.opened.back(), fx.dir.filePath("gone.kvi").toStdString());
  EXPECT_EQ(fx.frame->Profile().RecentFiles(), std::vector<std::string>{good.toStdString()});
}

TEST(Documents, AModifiedDocumentIsOfferedForSavingFirst) {
  FrameFixture fx(ProgramKind::Authoring);
  ASSERT_TRUE(fx.frame->ProcessCommandLine({}));
  fx.parts->Document().SetModifiedFlag(true);
  QTimer::singleShot(0, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text().toStdString(), "新規ﾌｧｲﾙ への変更を保存しますか?");
    box->button(QMessageBox::Cancel)->click();
  });
  fx.frame->DispatchCommand(57600);
  EXPECT_EQ(fx.record.newDocuments, 1);  // cancelled: no new document
  EXPECT_TRUE(fx.parts->Document().IsModified());

  fx.parts->Document().SetPathName(fx.dir.filePath("p.kvp").toStdString());
  QTimer::singleShot(0, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    box->button(QMessageBox::Yes)->click();
  });
  fx.frame->DispatchCommand(57600);
  EXPECT_EQ(fx.parts->saved, std::vector<std::string>{fx.dir.filePath("p.kvp").toStdString()});
  EXPECT_EQ(fx.record.newDocuments, 2);
  EXPECT_FALSE(fx.parts->Document().IsModified());
}

class ShellCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::DesktopShell::SetOpenerForTesting([this](const QUrl& u) {
      opened.push_back(u);
      return true;
    });
  }
  void TearDown() override { platform::DesktopShell::SetOpenerForTesting({}); }
  std::vector<QUrl> opened;
};

TEST_F(ShellCommands, HelpAndHomePageOpenOurBundledPages) {
  const QString bin = qEnvironmentVariable("KV_BIN_DIR");
  ASSERT_FALSE(bin.isEmpty());
  for (ProgramKind kind : {ProgramKind::Viewer, ProgramKind::Authoring}) {
    FrameFixture fx(kind);
    fx.frame->SetHelpFolder(bin + "/help/");
    opened.clear();
    fx.frame->DispatchCommand(57670);
    fx.frame->DispatchCommand(32786);
    ASSERT_EQ(opened.size(), 2u);
    const QString page = kind == ProgramKind::Viewer ? "kovalindra.html" : "kovasand.html";
    EXPECT_EQ(opened[0].toLocalFile(), bin + "/help/" + page);
    EXPECT_EQ(opened[1].toLocalFile(), bin + "/help/index.html");
    QFile f(opened[0].toLocalFile());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains(kind == ProgramKind::Viewer ? "Kovalindra" : "Kovasand"));
  }
  // Without the pages nothing is handed on.
  FrameFixture fx(ProgramKind::Viewer);
  fx.frame->SetHelpFolder(fx.dir.filePath("nothing-here"));
  opened.clear();
  fx.frame->DispatchCommand(57670);
  EXPECT_TRUE(opened.empty());
}

TEST_F(ShellCommands, AboutBoxShowsItsTextsAndItsButtonOpensTheHelpPage) {
  const QString bin = qEnvironmentVariable("KV_BIN_DIR");
  FrameFixture fx(ProgramKind::Viewer);
  fx.frame->SetHelpFolder(bin + "/help/");
  QTimer::singleShot(0, [this, &fx] {
    auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle().toStdString(), "Kovalindraのﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_EQ(box->findChild<QLabel*>("aboutVersion")->text().toStdString(), "Kovalindra Version 1.8");
    auto* web = box->findChild<QPushButton*>("aboutWebButton");
    ASSERT_NE(web, nullptr);
    EXPECT_EQ(web->text().toStdString(), "オンラインサポートWEBページを開く");
    EXPECT_EQ(web->property("controlId").toInt(), 1004);
    // The help page here is a file: no local path is shown.
    EXPECT_EQ(box->findChild<QLabel*>("aboutAddress"), nullptr);
    QTest::mouseClick(web, Qt::LeftButton);
    box->accept();
  });
  fx.frame->DispatchCommand(57664);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].toLocalFile(), bin + "/help/kovalindra.html");

  // A site's own address beside the pages: shown and opened as it is; one
  // that is no http(s) address with a host leaves the bundled page.
  ASSERT_TRUE(QDir(fx.dir.path()).mkpath("web"));
  const QString web = fx.dir.filePath("web");
  QFile links(web + "/links.ini");
  ASSERT_TRUE(links.open(QIODevice::WriteOnly));
  links.write("[Links]\r\nSupport=HTTPS://Example.COM/help/\r\nHome=http://\r\n");
  links.close();
  QFile::copy(bin + "/help/index.html", web + "/index.html");
  fx.frame->SetHelpFolder(web);
  opened.clear();
  QTimer::singleShot(0, [] {
    auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    auto* address = box->findChild<QLabel*>("aboutAddress");
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(address->text().toStdString(), "https://example.com/help/");
    QTest::mouseClick(box->findChild<QPushButton*>("aboutWebButton"), Qt::LeftButton);
    box->accept();
  });
  fx.frame->DispatchCommand(57664);
  fx.frame->DispatchCommand(32786);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].toString().toStdString(), "https://example.com/help/");
  EXPECT_EQ(opened[1].toLocalFile(), web + "/index.html");

  // Each program's notice and button number come from its own table.
  for (ProgramKind kind : {ProgramKind::Viewer, ProgramKind::Authoring}) {
    FrameFixture other(kind);
    QTimer::singleShot(0, [kind] {
      auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      const bool viewer = kind == ProgramKind::Viewer;
      EXPECT_EQ(box->findChild<QLabel*>("aboutNotice")->text().toStdString(),
                viewer ? "写真を実物の大きさでﾓﾆﾀｰに表示します。"
                       : "写真に実寸の情報を付けて等倍情報ﾌｧｲﾙを作ります。");
      EXPECT_EQ(box->findChild<QPushButton*>("aboutWebButton")->property("controlId").toInt(),
                viewer ? 1004 : 1003);
      box->accept();
    });
    other.frame->DispatchCommand(57664);
  }
}

TEST(Translations, QtsOwnButtonsSpeakJapanese) {
  ASSERT_TRUE(InstallQtJapanese(*QCoreApplication::instance()));
  EXPECT_TRUE(InstallQtJapanese(*QCoreApplication::instance()));  // once is enough
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString::fromUtf8("キャンセル"));
}

TEST(Menus, EveryItemThatCanBeCheckedLooksTheSameWhenItIsNot) {
  // 32773 checked, 32777 not, as the mouse modes start.
  FrameFixture fx(ProgramKind::Viewer, {{32773, CommandUi{true, true}}, {32777, CommandUi{}}});
  QMenu* modes = Menus(*fx.frame)[2];
  auto row = [&](int id) {
    fx.frame->UpdateCommandUi();
    modes->adjustSize();
    const QImage all = modes->grab().toImage();
    const QRect r = modes->actionGeometry(fx.frame->Action(id));
    return all.copy(r);
  };
  fx.parts->Handled()[32773] = CommandUi{true, false};
  const QImage scrollOff = row(32773);
  const QImage zoomNever = row(32777);
  // The zoom mode chosen once and left again: its row is drawn as before.
  fx.parts->Handled()[32777] = CommandUi{true, true};
  row(32777);
  fx.parts->Handled()[32777] = CommandUi{};
  EXPECT_TRUE(row(32777) == zoomNever);
  // And so does the item that was checked at the start.
  fx.parts->Handled()[32777] = CommandUi{true, true};
  EXPECT_FALSE(row(32777) == zoomNever);
  fx.parts->Handled()[32777] = CommandUi{};
  EXPECT_TRUE(row(32773) == scrollOff);
}

TEST(Menus, EscOnAnOpenMenuGivesTheKeysBackToTheView) {
  FrameFixture fx(ProgramKind::Viewer);
  QWidget* view = fx.frame->centralWidget();
  view->setFocusPolicy(Qt::StrongFocus);
  fx.frame->show();
  fx.frame->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(fx.frame.get()));
  view->setFocus();
  QMenu* menu = Menus(*fx.frame)[1];
  fx.frame->menuBar()->setActiveAction(menu->menuAction());
  ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }));
  QTest::keyClick(menu, Qt::Key_Escape);
  QTest::qWait(50);
  EXPECT_FALSE(menu->isVisible());
  EXPECT_EQ(fx.frame->focusWidget(), view);
  EXPECT_EQ(fx.frame->menuBar()->activeAction(), nullptr);
}

TEST(FullScreen, HidesTheBarsAndComesBackWithoutTheToolbar) {
  FrameFixture fx(ProgramKind::Viewer);
  fx.frame->ActivateFrame();
  fx.frame->DispatchCommand(59392);  // toolbar shown before
  const QRect before = fx.frame->geometry();
  fx.frame->EnterFullScreen();
  EXPECT_TRUE(fx.frame->IsFullScreen());
  EXPECT_FALSE(fx.frame->menuBar()->isVisible());
  EXPECT_FALSE(fx.frame->statusBar()->isVisible());
  EXPECT_FALSE(fx.frame->ToolBar()->isVisible());
  fx.frame->LeaveFullScreen();
  EXPECT_FALSE(fx.frame->IsFullScreen());
  EXPECT_TRUE(fx.frame->menuBar()->isVisible());
  EXPECT_TRUE(fx.frame->statusBar()->isVisible());
  EXPECT_FALSE(fx.frame->ToolBar()->isVisible());
  EXPECT_EQ(fx.frame->geometry(), before);
}

TEST(Closing, ExitClosesTheFrameAndTheViewGoesBeforeTheParts) {
  // The viewer's exit from its view is its own command; the same number
  // means nothing to the authoring tool.
  FrameFixture a(ProgramKind::Authoring);
  a.frame->show();
  EXPECT_FALSE(a.frame->QueryCommand(32796).enabled);
  a.frame->DispatchCommand(32796);
  QTest::qWait(20);
  EXPECT_TRUE(a.frame->isVisible());

  FrameFixture fx(ProgramKind::Viewer);
  fx.frame->show();
  fx.frame->DispatchCommand(32796);
  QTRY_VERIFY(!fx.frame->isVisible());
  EXPECT_EQ(fx.frame->Profile().GetInt("Window size", "icon", -1), 0);
  fx.frame.reset();  // must not touch the parts after they are gone
}

}  // namespace
}  // namespace kv::shell
