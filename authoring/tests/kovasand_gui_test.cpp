// The authoring tool in its real frame, headless: importing, registering by
// clicks, the list and navigation windows, publishing and preview, painting
// in device pixels at any pixel ratio.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStatusTipEvent>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QtTest/qtestmouse.h>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>
#include <cmath>
#include <filesystem>
#include <sys/stat.h>

#include "authoring/tests/support.h"
#include "foundation/core/image/jpeg_encode.h"
#include "foundation/core/image/orientation.h"
#include "foundation/core/image/tests/exif_writer.h"
#include "authoring/widgets/artwork.h"
#include "authoring/widgets/dialogs.h"
#include "authoring/widgets/kovasand_parts.h"
#include "authoring/widgets/navi_window.h"
#include "authoring/widgets/parts_list_window.h"
#include "authoring/widgets/preview_opener.h"
#include "authoring/widgets/view_widget.h"
#include "foundation/core/util/text.h"
#include "foundation/shell/main_frame.h"
#include "resources/authoring/commands.h"
#include "viewer/model/viewer_document.h"
#include "viewer/model/viewer_view.h"

namespace kv::authoring {
namespace {

using testing::RecordingMessages;
using testing::TempDir;
namespace c = kv::authoring::cmd;

// Answers every question with the answer given.
class AnsweringMessages : public RecordingMessages {
 public:
  platform::MsgResult Show(const std::string& text, platform::MsgIcon icon,
                           platform::MsgButtons buttons) override {
    RecordingMessages::Show(text, icon, buttons);
    return buttons == platform::MsgButtons::Ok ? platform::MsgResult::Ok : answer;
  }
  platform::MsgResult answer = platform::MsgResult::Yes;
};

struct App {
  // useDialog: the real completion dialog instead of the recorded answer.
  explicit App(QSize viewSize = QSize(800, 600), bool useDialog = false,
               const std::function<void(QSettings&)>& profileSetup = {},
               const QString& profileFile = {})
      : profilePath(profileFile.isEmpty() ? profileDir.filePath("profile.ini") : profileFile) {
    testing::WriteProgramFiles(program);
    {
      QSettings s(ProfilePath(), QSettings::IniFormat);
      if (profileSetup) profileSetup(s);
    }
    frame = std::make_unique<shell::MainFrame>(
        shell::ProgramKind::Authoring, AuthoringTable(),
        std::make_unique<platform::QtProfile>(
            std::make_unique<QSettings>(ProfilePath(), QSettings::IniFormat)));
    PartsOptions options;
    options.messages = &messages;
    options.programFolder = program.Folder();
    options.tempRoot = temp.Folder();
    options.chooseJpeg = [this] { return jpeg; };
    options.confirmLink = [this](const QString& link) {
      shownLinks.push_back(link);
      return linkAccepted;
    };
    options.chooseKviPath = [this] { return kviPath; };
    options.chooseWebFolder = [this] { return webFolder; };
    if (!useDialog) {
      options.askLength = [this](int32_t px) -> std::optional<int32_t> {
        asked.push_back(px);
        return length;
      };
    }
    options.openPreview = [this](const std::string& path) {
      previews.push_back(path);
      return previewOpens;
    };
    options.askEditLength = [this](int32_t, int32_t current) -> std::optional<int32_t> {
      editedFrom.push_back(current);
      return editLength;
    };
    options.onProgramFilesDialog = [this](QDialog& d) {
      if (onSettings) onSettings(static_cast<ProgramFilesDialog&>(d));
    };
    created = frame->Create([&](shell::AppContext& ctx) {
      auto p = CreateKovasandPartsWith(ctx, options);
      parts = static_cast<KovasandParts*>(p.get());
      return p;
    });
    started = created && frame->ProcessCommandLine({});
    frame->show();
    widget = parts->Widget();
    const QSize extra = frame->size() - widget->size();
    frame->resize(viewSize + extra);
    QApplication::processEvents();
  }
  QString ProfilePath() const { return profilePath; }
  KovasandDoc& Doc() { return parts->Doc(); }
  KovasandView& View() { return widget->Model(); }
  PartsListWindow* List() { return widget->List(); }
  NaviWindow* Navi() { return widget->Navigator(); }
  QImage Grab() { return widget->viewport()->grab().toImage(); }
  bool Import(const std::string& path) {
    jpeg = path;
    const size_t before = messages.shown.size();
    frame->DispatchCommand(c::kImportJpeg);
    // Scroll bars that came or went resize the view.
    QApplication::processEvents();
    return messages.shown.size() == before && Doc().jpegPath == path;
  }
  // A click at a device-pixel point of the view; the point reached is
  // returned (at a ratio above 1 not every device pixel can be reached).
  QPoint ClickDevice(int x, int y, Qt::MouseButton button = Qt::LeftButton) {
    const double r = widget->Ratio();
    const QPoint logical(int(std::ceil(x / r)), int(std::ceil(y / r)));
    QTest::mouseClick(widget->viewport(), button, {}, logical);
    return widget->ToDevice(QPointF(logical));
  }
  QPoint ClickPhoto(int x, int y) {
    const IntPoint d = View().PhotoToClient(x, y);
    return ClickDevice(d.x, d.y);
  }
  QString Cell(int row, int column) { return List()->Table()->item(row, column)->text(); }

  TempDir program;
  TempDir temp;
  TempDir work;
  QTemporaryDir profileDir;
  QString profilePath;
  AnsweringMessages messages;
  std::optional<std::string> jpeg;
  std::optional<std::string> kviPath;
  std::optional<std::string> webFolder;
  std::optional<int32_t> length = 250;
  std::vector<int32_t> asked;
  std::vector<QString> shownLinks;
  bool linkAccepted = true;
  std::vector<std::string> previews;
  bool previewOpens = true;
  std::optional<int32_t> editLength;
  std::vector<int32_t> editedFrom;
  std::function<void(ProgramFilesDialog&)> onSettings;
  std::unique_ptr<shell::MainFrame> frame;
  KovasandParts* parts = nullptr;
  KovasandViewWidget* widget = nullptr;
  bool created = false;
  bool started = false;
};

bool IsColor(const QImage& img, int x, int y, int r, int g, int b) {
  const QColor q(img.pixel(x, y));
  return q.red() == r && q.green() == g && q.blue() == b;
}

int CountColor(const QImage& img, int r, int g, int b) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) n += IsColor(img, x, y, r, g, b);
  return n;
}

bool IsPink(const QImage& img, int x, int y) { return IsColor(img, x, y, 255, 0, 204); }

TEST(KovasandGui, StartsWithTheBannerAndItsToolWindows) {
  App app;
  ASSERT_TRUE(app.started);
  ASSERT_NE(app.Navi(), nullptr);
  ASSERT_NE(app.List(), nullptr);
  EXPECT_TRUE(app.Navi()->isVisible());
  EXPECT_TRUE(app.List()->isVisible());
  EXPECT_EQ(app.Navi()->size(), QSize(240, 240));
  // No photo: the banner at (10, 10) on light grey, in device pixels.
  const QImage img = app.widget->ComposeFrame();
  const QImage banner = MakeStartBanner();
  EXPECT_EQ(img.size(), app.widget->DeviceSize());
  EXPECT_TRUE(IsColor(img, 5, 5, 230, 230, 230));
  for (const QPoint p : {QPoint(50, 50), QPoint(300, 60), QPoint(540, 90)})
    EXPECT_EQ(img.pixel(kBannerX + p.x(), kBannerY + p.y()), banner.pixel(p)) << p.x();
  // All four commands offered; the user cannot close the tool windows.
  for (int id : {c::kImportJpeg, c::kPublish, c::kRegisterSize, c::kPreview}) {
    EXPECT_TRUE(app.frame->QueryCommand(id).enabled) << id;
    EXPECT_FALSE(app.frame->QueryCommand(id).checked) << id;
  }
  app.Navi()->close();
  app.List()->close();
  QApplication::processEvents();
  EXPECT_TRUE(app.Navi()->isVisible());
  EXPECT_TRUE(app.List()->isVisible());
  QTest::keyClick(app.List()->Table(), Qt::Key_Escape);
  QTest::keyClick(app.List()->Table(), Qt::Key_Return);
  EXPECT_TRUE(app.List()->isVisible());
}

TEST(KovasandGui, RegistrationByTwoClicksGivesTheSevenValuesAndARow) {
  App app;
  const std::string photo = testing::WritePhoto(app.work, "photo.jpg", 400, 300);
  ASSERT_TRUE(app.Import(photo));
  EXPECT_TRUE(app.Doc().IsModified());
  // Centred in the window, in device pixels.
  const QSize device = app.widget->DeviceSize();
  EXPECT_EQ(app.View().DisplayOffsetX(), (device.width() - 400) / 2);
  EXPECT_EQ(app.View().DisplayOffsetY(), (device.height() - 300) / 2);

  app.frame->DispatchCommand(c::kRegisterSize);
  ASSERT_FALSE(app.messages.shown.empty());
  EXPECT_EQ(app.messages.shown.back(), text::kRegisterPrompt);
  EXPECT_TRUE(app.frame->QueryCommand(c::kRegisterSize).checked);
  // The start cursor: ours, tip at (0, 11).
  QCursor cur = app.widget->viewport()->cursor();
  EXPECT_EQ(cur.shape(), Qt::BitmapCursor);
  EXPECT_EQ(cur.hotSpot(), QPoint(kCursorHotX, kCursorHotY));
  EXPECT_EQ(cur.pixmap().toImage().convertToFormat(QImage::Format_ARGB32),
            MakeRegistrationCursorImage(false));

  const QPoint a = app.ClickPhoto(10, 20);
  EXPECT_EQ(app.Doc().drawMode, kDrawEnd);
  EXPECT_EQ(app.widget->viewport()->cursor().pixmap().toImage().convertToFormat(
                QImage::Format_ARGB32),
            MakeRegistrationCursorImage(true));
  // The pending start point is drawn in yellow-green.
  EXPECT_GT(CountColor(app.widget->ComposeFrame(), 210, 255, 0), 10);
  app.ClickPhoto(310, 60);
  const IntPoint s = app.View().ClientToPhoto(a.x(), a.y());
  ASSERT_EQ(s, (IntPoint{10, 20}));
  ASSERT_EQ(app.asked, std::vector<int32_t>{302});  // 302.65... truncated
  ASSERT_EQ(app.Doc().registrations.size(), 1u);
  const SizeRegistration& r = app.Doc().registrations[0];
  EXPECT_EQ(r, MakeRegistration(10, 20, 310, 60, 250));
  EXPECT_EQ(r.centerX, 160);
  EXPECT_EQ(r.centerY, 40);
  EXPECT_EQ(app.Doc().drawMode, kDrawIdle);
  EXPECT_FALSE(app.frame->QueryCommand(c::kRegisterSize).checked);
  EXPECT_EQ(app.widget->viewport()->cursor().shape(), Qt::ArrowCursor);
  // The row, as the list shows it.
  ASSERT_EQ(app.List()->Table()->rowCount(), 1);
  EXPECT_EQ(app.Cell(0, 0), "1");
  EXPECT_EQ(app.Cell(0, 1), "(10,20)");
  EXPECT_EQ(app.Cell(0, 2), "(310,60)");
  EXPECT_EQ(app.Cell(0, 3), "250");
  EXPECT_EQ(app.Cell(0, 4), "(160,40)");
  EXPECT_EQ(app.List()->Table()->horizontalHeaderItem(3)->text(), QString::fromUtf8("実ｻｲｽﾞ"));
  // Wide enough for the coordinates of a large photo.
  const QFontMetrics metrics(app.List()->Table()->font());
  EXPECT_GT(app.List()->Table()->columnWidth(1), metrics.horizontalAdvance("(99999,99999)"));
  // Not selected: grey line with a dark purple core, no pink anywhere.
  const QImage img = app.widget->ComposeFrame();
  EXPECT_EQ(CountColor(img, 255, 0, 204), 0);
  EXPECT_GT(CountColor(img, 184, 184, 184), 100);
  EXPECT_GT(CountColor(img, 50, 0, 50), 250);

  // A cancelled dialog adds nothing; the next registration needs the command.
  app.length.reset();
  app.frame->DispatchCommand(c::kRegisterSize);
  app.ClickPhoto(50, 50);
  app.ClickPhoto(90, 80);
  EXPECT_EQ(app.Doc().registrations.size(), 1u);
  app.ClickPhoto(20, 20);
  EXPECT_EQ(app.Doc().drawMode, kDrawIdle);
  EXPECT_EQ(app.asked.size(), 2u);
}

TEST(KovasandGui, CompletionDialogInTheRealFlow) {
  App app(QSize(800, 600), /*useDialog=*/true);
  ASSERT_TRUE(app.Import(testing::WritePhoto(app.work, "p.jpg", 300, 200)));
  app.frame->DispatchCommand(c::kRegisterSize);
  app.ClickPhoto(0, 0);
  QString shownLength;
  bool refusedOnce = false, focusInLength = false;
  // The dialog is modal: answer it from the event loop it runs, typing as
  // a user types: the digits go into the length, Enter takes them.
  QTimer::singleShot(0, [&] {
    auto* d = qobject_cast<SizeDoneDialog*>(QApplication::activeModalWidget());
    if (!d) return;
    shownLength = d->ImageLengthEdit()->text();
    d->MeasuredEdit()->setText("abc");
    d->AddButton()->click();
    refusedOnce = d->isVisible();
    focusInLength = d->focusWidget() == d->MeasuredEdit();
    d->MeasuredEdit()->selectAll();
    QTest::keyClicks(d->MeasuredEdit(), "250");
    QTest::keyClick(d->MeasuredEdit(), Qt::Key_Return);
    if (d->isVisible()) d->reject();  // never leave the test waiting
  });
  app.ClickPhoto(30, 40);
  EXPECT_TRUE(refusedOnce);
  EXPECT_TRUE(focusInLength);
  EXPECT_EQ(shownLength, "50");
  ASSERT_EQ(app.Doc().registrations.size(), 1u);
  EXPECT_EQ(app.Doc().registrations[0], MakeRegistration(0, 0, 30, 40, 250));
}

TEST(KovasandGui, SelectingARowTurnsItsRegistrationPink) {
  App app;
  ASSERT_TRUE(app.Import(testing::WritePhoto(app.work, "p.jpg", 400, 300)));
  ASSERT_TRUE(app.Doc().AddRegistration(MakeRegistration(20, 40, 380, 40, 100)));
  ASSERT_TRUE(app.Doc().AddRegistration(MakeRegistration(20, 200, 380, 200, 50)));
  QTableWidget* table = app.List()->Table();
  ASSERT_EQ(table->rowCount(), 2);
  EXPECT_EQ(app.Doc().selectedIndex, -1);
  EXPECT_EQ(CountColor(app.Grab(), 255, 0, 204), 0);

  QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                    table->visualItemRect(table->item(1, 2)).center());
  EXPECT_EQ(app.Doc().selectedIndex, 1);
  QImage img = app.Grab();
  ASSERT_EQ(img.size(), app.widget->DeviceSize());
  // The second line is pink beside its dark core, the first stays grey.
  IntPoint p = app.View().PhotoToClient(200, 200);
  EXPECT_TRUE(IsPink(img, p.x, p.y - 1) || IsPink(img, p.x, p.y + 1));
  EXPECT_TRUE(IsColor(img, p.x, p.y, 50, 0, 50));
  p = app.View().PhotoToClient(200, 40);
  EXPECT_FALSE(IsPink(img, p.x, p.y - 1) || IsPink(img, p.x, p.y + 1));
  // The navigator's line too.
  QImage nav = app.Navi()->Compose();
  const IntPoint t = app.View().Navigator().PhotoToThumb(200, 200);
  EXPECT_TRUE(IsPink(nav, t.x, t.y) || IsPink(nav, t.x, t.y - 1) || IsPink(nav, t.x, t.y + 1));

  // Another row moves the highlight; no row selected, no highlight.
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                    table->visualItemRect(table->item(0, 0)).center());
  EXPECT_EQ(app.Doc().selectedIndex, 0);
  table->clearSelection();
  EXPECT_EQ(app.Doc().selectedIndex, -1);
  EXPECT_EQ(CountColor(app.Grab(), 255, 0, 204), 0);
}

TEST(KovasandGui, DeletingRenumbersAndMarksTheProjectModified) {
  App app;
  ASSERT_TRUE(app.Import(testing::WritePhoto(app.work, "p.jpg", 400, 300)));
  for (int i = 0; i < 4; ++i)
    ASSERT_TRUE(app.Doc().AddRegistration(MakeRegistration(10, 10 + 20 * i, 300, 10 + 20 * i, 100 + i)));
  app.Doc().SetModifiedFlag(false);
  QTableWidget* table = app.List()->Table();
  // Nothing selected: told, nothing removed.
  const size_t before = app.messages.shown.size();
  QTest::mouseClick(app.List()->DeleteButton(), Qt::LeftButton);
  ASSERT_EQ(app.messages.shown.size(), before + 1);
  EXPECT_EQ(app.messages.shown.back(), text::kNoSelection);
  EXPECT_EQ(table->rowCount(), 4);
  EXPECT_FALSE(app.Doc().IsModified());

  table->selectRow(1);
  QTest::mouseClick(app.List()->DeleteButton(), Qt::LeftButton);
  ASSERT_EQ(table->rowCount(), 3);
  EXPECT_TRUE(app.Doc().IsModified());
  EXPECT_EQ(app.Doc().selectedIndex, -1);
  EXPECT_EQ(app.Cell(0, 0), "1");
  EXPECT_EQ(app.Cell(1, 0), "2");
  EXPECT_EQ(app.Cell(2, 0), "3");
  EXPECT_EQ(app.Cell(1, 3), "102");
  // Several rows at once.
  table->selectRow(0);
  table->selectionModel()->select(table->model()->index(2, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
  QTest::mouseClick(app.List()->DeleteButton(), Qt::LeftButton);
  ASSERT_EQ(table->rowCount(), 1);
  EXPECT_EQ(app.Cell(0, 0), "1");
  EXPECT_EQ(app.Cell(0, 3), "102");
  ASSERT_EQ(app.Doc().registrations.size(), 1u);
  EXPECT_EQ(app.Doc().registrations[0].lengthMm, 102);

  // Undo and redo by keys from whichever window is active, the menu never
  // opened: the list's own window, then the navigation window.
  app.List()->activateWindow();
  QApplication::setActiveWindow(app.List());
  QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(table->rowCount(), 3);
  QApplication::setActiveWindow(app.Navi());
  QTest::keyClick(app.Navi(), Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(table->rowCount(), 1);
  QApplication::setActiveWindow(app.frame.get());
  QTest::keyClick(app.widget, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(table->rowCount(), 3);
}

TEST(KovasandGui, RightClickBetweenTheClicksCancels) {
  App app;
  ASSERT_TRUE(app.Import(testing::WritePhoto(app.work, "p.jpg", 400, 300)));
  app.frame->DispatchCommand(c::kRegisterSize);
  app.ClickPhoto(100, 100);
  ASSERT_EQ(app.Doc().drawMode, kDrawEnd);
  EXPECT_GT(CountColor(app.Grab(), 210, 255, 0), 10);
  app.ClickPhoto(100, 100);  // the same point again is refused, the start stays
  EXPECT_EQ(app.Doc().drawMode, kDrawEnd);
  const IntPoint p = app.View().PhotoToClient(200, 150);
  app.ClickDevice(p.x, p.y, Qt::RightButton);
  EXPECT_EQ(app.Doc().drawMode, kDrawIdle);
  EXPECT_EQ(CountColor(app.Grab(), 210, 255, 0), 0);
  EXPECT_FALSE(app.frame->QueryCommand(c::kRegisterSize).checked);
  app.ClickPhoto(200, 150);
  EXPECT_TRUE(app.Doc().registrations.empty());
  EXPECT_TRUE(app.asked.empty());
  EXPECT_EQ(app.widget->viewport()->cursor().shape(), Qt::ArrowCursor);
}

TEST(KovasandGui, SmallPhotoIsCentredOnGreyAndItsCornerIsPointZero) {
  App app;
  ASSERT_TRUE(app.Import(testing::WritePhoto(app.work, "small.jpg", 100, 80)));
  const QSize device = app.widget->DeviceSize();
  const int ox = app.View().DisplayOffsetX(), oy = app.View().DisplayOffsetY();
  EXPECT_EQ(ox, (device.width() - 100) / 2);
  EXPECT_EQ(oy, (device.height() - 80) / 2);
  EXPECT_EQ(app.View().MaxScrollX(), 0);
  EXPECT_EQ(app.View().MaxScrollY(), 0);
  EXPECT_EQ(app.widget->horizontalScrollBar()->maximum(), 0);
  const QImage img = app.Grab();
  EXPECT_TRUE(IsColor(img, ox - 1, oy + 10, 230, 230, 230));
  EXPECT_TRUE(IsColor(img, ox + 10, oy - 1, 230, 230, 230));
  EXPECT_TRUE(IsColor(img, ox + 100, oy + 10, 230, 230, 230));
  EXPECT_FALSE(IsColor(img, ox + 1, oy + 1, 230, 230, 230));
  EXPECT_NEAR(QColor(img.pixel(ox + 50, oy + 30)).blue(), 50, 8);
  EXPECT_NEAR(QColor(img.pixel(ox + 50, oy + 30)).green(), 30, 8);
  // No banner once a photo is there.
  EXPECT_TRUE(IsColor(img, kBannerX + 50, kBannerY + 50, 230, 230, 230));

  app.frame->DispatchCommand(c::kRegisterSize);
  const QPoint reached = app.ClickDevice(ox, oy);
  ASSERT_EQ(reached, QPoint(ox, oy)) << "offsets are even for the sizes used";
  EXPECT_EQ(app.Doc().drawMode, kDrawEnd);
  EXPECT_EQ(app.View().PendingRegistration().startX, 0);
  EXPECT_EQ(app.View().PendingRegistration().startY, 0);
  // A click on the grey beside it is refused and keeps the start.
  app.ClickDevice(ox - 20, oy + 10);
  EXPECT_EQ(app.Doc().drawMode, kDrawEnd);
  EXPECT_TRUE(app.Doc().registrations.empty());
}

TEST(KovasandGui, LargePhotoScrollsByBarsAndNavigatorButNotByTheWheel) {
  App app;
  ASSERT_TRUE(app.Import(testing::WritePhoto(app.work, "big.jpg", 2000, 1500)));
  if (qEnvironmentVariable("QT_SCALE_FACTOR") == "2") {
    ASSERT_EQ(app.widget->Ratio(), 2.0);
  }
  const QSize device = app.widget->DeviceSize();
  EXPECT_EQ(device, app.widget->viewport()->size() * app.widget->Ratio());
  QScrollBar* h = app.widget->horizontalScrollBar();
  QScrollBar* v = app.widget->verticalScrollBar();
  EXPECT_EQ(app.View().DisplayOffsetX(), 0);
  EXPECT_EQ(h->maximum(), 2000 - device.width());
  EXPECT_EQ(v->maximum(), 1500 - device.height());
  EXPECT_EQ(h->pageStep(), std::min(1000, device.width() - device.width() / 10));
  EXPECT_EQ(h->singleStep(), std::min(40, device.width() / 20));
  // One photo pixel per device pixel: neighbours differ by one.
  QImage img = app.Grab();
  for (int x = 20; x < 30; ++x) EXPECT_NEAR(QColor(img.pixel(x, 40)).blue(), x, 4) << x;
  h->setValue(300);
  v->setValue(110);
  EXPECT_EQ(app.View().ScrollX(), 300);
  EXPECT_EQ(app.View().ScrollY(), 110);
  img = app.Grab();
  EXPECT_NEAR(QColor(img.pixel(30, 20)).blue(), (300 + 30) % 256, 6);
  EXPECT_NEAR(QColor(img.pixel(30, 20)).green(), 130, 6);
  // The navigator frames what is shown.
  const VisibleFrame f = app.View().NavigatorFrame();
  EXPECT_TRUE(f.drawLeft && f.drawTop && f.drawRight && f.drawBottom);
  const QImage nav = app.Navi()->Compose();
  // Dotted: about every other pixel of the left edge is black.
  int black = 0;
  for (int y = f.top + 1; y < f.bottom; ++y) black += IsColor(nav, f.left, y, 0, 0, 0);
  EXPECT_GE(black, (f.bottom - f.top) / 3);
  EXPECT_LT(black, f.bottom - f.top);

  // The wheel does nothing.
  QWheelEvent wheel(QPointF(100, 100), app.widget->viewport()->mapToGlobal(QPointF(100, 100)),
                    QPoint(0, 0), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(app.widget->viewport(), &wheel);
  QApplication::processEvents();
  EXPECT_EQ(app.View().ScrollX(), 300);
  EXPECT_EQ(app.View().ScrollY(), 110);
  EXPECT_EQ(v->value(), 110);
  // Nor over the scroll bars.
  QWheelEvent onBar(QPointF(2, 20), v->mapToGlobal(QPointF(2, 20)), QPoint(0, 0), QPoint(0, -120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(v, &onBar);
  EXPECT_EQ(v->value(), 110);
  EXPECT_EQ(app.View().ScrollY(), 110);
  // The keyboard and the bars' own steps do scroll.
  v->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(app.View().ScrollY(), 110 + std::min(30, device.height() / 20));

  // A press on the navigator brings that point to the middle.
  const NavigatorMapping& m = app.View().Navigator();
  EXPECT_DOUBLE_EQ(m.navScale, 2000.0 / 240.0);
  EXPECT_EQ(m.navOffsetY, 30);
  QTest::mouseClick(app.Navi(), Qt::LeftButton, {}, QPoint(120, 120));
  const int expectX = int((120 - m.navOffsetX) * m.navScale - device.width() / 2);
  const int expectY = int((120 - m.navOffsetY) * m.navScale - device.height() / 2);
  EXPECT_EQ(app.View().ScrollX(), std::clamp(expectX, 0, app.View().MaxScrollX()));
  EXPECT_EQ(app.View().ScrollY(), std::clamp(expectY, 0, app.View().MaxScrollY()));
  EXPECT_EQ(h->value(), app.View().ScrollX());
  EXPECT_EQ(v->value(), app.View().ScrollY());
  // Clicks land on the photo point under them after scrolling.
  app.frame->DispatchCommand(c::kRegisterSize);
  const QPoint d = app.ClickDevice(100, 60);
  EXPECT_EQ(app.View().PendingRegistration().startX, d.x() + app.View().ScrollX());
  EXPECT_EQ(app.View().PendingRegistration().startY, d.y() + app.View().ScrollY());
}

TEST(KovasandGui, NavigatorMapsAWidePhotoWithOffsets) {
  App app;
  ASSERT_TRUE(app.Import(testing::WritePhoto(app.work, "wide.jpg", 480, 240)));
  const NavigatorMapping& m = app.View().Navigator();
  EXPECT_DOUBLE_EQ(m.navScale, 2.0);
  EXPECT_EQ(m.navOffsetX, 0);
  EXPECT_EQ(m.navOffsetY, 60);
  ASSERT_TRUE(app.Doc().AddRegistration(MakeRegistration(40, 100, 440, 100, 100)));
  app.Doc().Select(0);
  const QImage nav = app.Navi()->Compose();
  EXPECT_TRUE(IsPink(nav, 120, 110) || IsPink(nav, 120, 109) || IsPink(nav, 120, 111));
  EXPECT_FALSE(IsPink(nav, 10, 110));
  // The photo is in the thumbnail's band, black (empty) above it.
  EXPECT_LT(QColor(nav.pixel(120, 20)).lightness(), 40);
  if (app.View().MaxScrollX() == 0 && app.View().MaxScrollY() == 0) {
    const VisibleFrame f = app.View().NavigatorFrame();
    EXPECT_FALSE(f.drawLeft || f.drawTop || f.drawRight || f.drawBottom);
  }
}

TEST(KovasandGui, PreviewWritesAFileThatTheOpenerReceives) {
  std::string previewPath;
  std::string folder;
  {
    App app;
    ASSERT_TRUE(app.Import(testing::WritePhoto(app.work, "p.jpg", 320, 200)));
    ASSERT_TRUE(app.Doc().AddRegistration(MakeRegistration(10, 10, 300, 10, 150)));
    app.frame->DispatchCommand(c::kPreview);
    ASSERT_EQ(app.previews.size(), 1u);
    previewPath = app.previews[0];
    folder = app.Doc().PreviewFolder();
    EXPECT_EQ(previewPath.rfind(folder, 0), 0u);
    EXPECT_EQ(previewPath.substr(previewPath.size() - 4), ".kvi");
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ActualSizeFile f;
    std::string reason;
    ASSERT_TRUE(ReadActualSizeFile(previewPath, f, reason)) << reason;
    EXPECT_EQ(f.registrations, app.Doc().registrations);
    EXPECT_EQ(f.jpegBytes, app.Doc().jpegBytes);
    EXPECT_EQ(f.jpegName, "p.jpg");
    // Nothing took it: the user is told, the file stays until the end.
    app.previewOpens = false;
    const size_t before = app.messages.shown.size();
    app.frame->DispatchCommand(c::kPreview);
    ASSERT_EQ(app.previews.size(), 2u);
    EXPECT_NE(app.previews[1], previewPath);
    ASSERT_EQ(app.messages.shown.size(), before + 1);
    EXPECT_NE(app.messages.shown.back().find("ﾌﾟﾚﾋﾞｭｰ"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(app.previews[1]));
  }
  // Gone with the document.
  EXPECT_FALSE(std::filesystem::exists(previewPath));
  EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(KovasandGui, PublishingForTheWebWritesTheFolderAndAsksBeforeReplacingItsFiles) {
  App app;
  app.webFolder = app.work.File("site");
  app.frame->DispatchCommand(c::kPublishWeb);
  ASSERT_FALSE(app.messages.shown.empty());
  EXPECT_EQ(app.messages.shown.back(), text::kNoJpeg);
  EXPECT_FALSE(std::filesystem::exists(*app.webFolder));

  ASSERT_TRUE(app.Import(testing::WritePhoto(app.work, "p.jpg", 320, 200)));
  ASSERT_TRUE(app.Doc().AddRegistration(MakeRegistration(10, 10, 300, 10, 150)));
  app.frame->DispatchCommand(c::kPublishWeb);
  const std::string kvi = *app.webFolder + "/p.kvi";
  ActualSizeFile f;
  std::string reason;
  ASSERT_TRUE(ReadActualSizeFile(kvi, f, reason)) << reason;
  EXPECT_EQ(f.registrations, app.Doc().registrations);
  for (const char* page : {"index.html", "js/app.js", "js/kvi.js", "p.kvi.js"})
    EXPECT_TRUE(std::filesystem::is_regular_file(*app.webFolder + "/" + page)) << page;

  // Published again into the same folder: asked first, and "No" keeps it.
  const size_t shown = app.messages.shown.size();
  app.messages.answer = platform::MsgResult::No;
  ASSERT_TRUE(app.Doc().AddRegistration(MakeRegistration(10, 50, 300, 50, 150)));
  app.frame->DispatchCommand(c::kPublishWeb);
  ASSERT_EQ(app.messages.shown.size(), shown + 1);
  EXPECT_NE(app.messages.shown.back().find("index.html"), std::string::npos);
  ASSERT_TRUE(ReadActualSizeFile(kvi, f, reason));
  EXPECT_EQ(f.registrations.size(), 1u);
  app.messages.answer = platform::MsgResult::Yes;
  app.frame->DispatchCommand(c::kPublishWeb);
  ASSERT_TRUE(ReadActualSizeFile(kvi, f, reason));
  EXPECT_EQ(f.registrations.size(), 2u);
}

TEST(KovasandGui, PublishingChecksConfirmsTheLinkAndCompletesTheName) {
  App app;
  // No photo: refused before any dialog.
  app.frame->DispatchCommand(c::kPublish);
  ASSERT_FALSE(app.messages.shown.empty());
  EXPECT_EQ(app.messages.shown.back(), text::kNoJpeg);
  EXPECT_TRUE(app.shownLinks.empty());

  ASSERT_TRUE(app.Import(testing::WritePhoto(app.work, "p.jpg", 320, 200)));
  ASSERT_TRUE(app.Doc().AddRegistration(MakeRegistration(10, 10, 300, 10, 150)));
  app.kviPath = app.work.File("out");
  app.linkAccepted = false;
  app.frame->DispatchCommand(c::kPublish);
  ASSERT_EQ(app.shownLinks.size(), 1u);
  EXPECT_EQ(app.shownLinks[0], "https://example.com/");
  EXPECT_FALSE(std::filesystem::exists(app.work.File("out.kvi")));

  app.linkAccepted = true;
  const bool modified = app.Doc().IsModified();
  app.frame->DispatchCommand(c::kPublish);
  ASSERT_TRUE(std::filesystem::exists(app.work.File("out.kvi")));
  EXPECT_FALSE(std::filesystem::exists(app.work.File("out")));
  EXPECT_EQ(app.Doc().IsModified(), modified);
  ActualSizeFile f;
  std::string reason;
  ASSERT_TRUE(ReadActualSizeFile(app.work.File("out.kvi"), f, reason)) << reason;
  EXPECT_EQ(f.registrations, app.Doc().registrations);
  EXPECT_EQ(f.logoWidth, 2);
  EXPECT_EQ(f.logoHeight, 1);
  EXPECT_EQ(f.link, "https://example.com/");

  // The completed name exists now: asked before it is overwritten.
  app.messages.answer = platform::MsgResult::No;
  const auto stamp = std::filesystem::last_write_time(app.work.File("out.kvi"));
  ASSERT_TRUE(app.Doc().AddRegistration(MakeRegistration(10, 50, 300, 50, 150)));
  app.frame->DispatchCommand(c::kPublish);
  EXPECT_EQ(app.messages.icons.back(), platform::MsgIcon::Warning);
  ASSERT_TRUE(ReadActualSizeFile(app.work.File("out.kvi"), f, reason));
  EXPECT_EQ(f.registrations.size(), 1u);
  EXPECT_EQ(std::filesystem::last_write_time(app.work.File("out.kvi")), stamp);
  app.messages.answer = platform::MsgResult::Yes;
  app.frame->DispatchCommand(c::kPublish);
  ASSERT_TRUE(ReadActualSizeFile(app.work.File("out.kvi"), f, reason));
  EXPECT_EQ(f.registrations.size(), 2u);
  // A cancelled save dialog writes nothing.
  const auto written = std::filesystem::last_write_time(app.work.File("out.kvi"));
  app.kviPath.reset();
  ASSERT_TRUE(app.Doc().AddRegistration(MakeRegistration(10, 90, 300, 90, 150)));
  app.frame->DispatchCommand(c::kPublish);
  ASSERT_TRUE(ReadActualSizeFile(app.work.File("out.kvi"), f, reason));
  EXPECT_EQ(f.registrations.size(), 2u);
  EXPECT_EQ(std::filesystem::last_write_time(app.work.File("out.kvi")), written);
}

TEST(KovasandGui, NewAndOpenResetTheViewAndTheList) {
  App app;
  ASSERT_TRUE(app.Import(testing::WritePhoto(app.work, "p.jpg", 400, 300)));
  ASSERT_TRUE(app.Doc().AddRegistration(MakeRegistration(10, 10, 300, 10, 150)));
  const std::string project = app.work.File("a.kvp");
  ASSERT_TRUE(app.parts->OnSaveDocument(project));
  app.Doc().SetModifiedFlag(false);
  app.frame->DispatchCommand(kv::cmd::kFileNew);
  EXPECT_TRUE(app.Doc().jpegPath.empty());
  EXPECT_EQ(app.List()->Table()->rowCount(), 0);
  EXPECT_TRUE(IsColor(app.widget->ComposeFrame(), kBannerX + 50, kBannerY + 50,
                      QColor(MakeStartBanner().pixel(50, 50)).red(),
                      QColor(MakeStartBanner().pixel(50, 50)).green(),
                      QColor(MakeStartBanner().pixel(50, 50)).blue()));
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(project)));
  EXPECT_EQ(app.Doc().jpegPath, app.work.File("p.jpg"));
  ASSERT_EQ(app.List()->Table()->rowCount(), 1);
  EXPECT_EQ(app.Cell(0, 2), "(300,10)");
  const IntPoint p = app.View().PhotoToClient(200, 100);
  EXPECT_NEAR(QColor(app.Grab().pixel(p.x, p.y)).blue(), 200, 8);
  // The photo gone: told, the registrations stay, nothing of the old photo.
  std::filesystem::remove(app.work.File("p.jpg"));
  const size_t before = app.messages.shown.size();
  app.messages.answer = platform::MsgResult::No;
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(project)));
  QApplication::processEvents();
  ASSERT_EQ(app.messages.shown.size(), before + 1) << app.messages.shown.back();
  EXPECT_NE(app.messages.shown.back().find("が見つかりません。"), std::string::npos);
  EXPECT_EQ(app.List()->Table()->rowCount(), 1);
  EXPECT_FALSE(app.Doc().image.HasImage());
  const QImage img = app.Grab();
  EXPECT_TRUE(IsColor(img, p.x, p.y, 230, 230, 230));
}

TEST(KovasandGui, ToolWindowsKeepTheirPlaceInTheProfile) {
  QTemporaryDir keep;
  int naviWidth = 0;
  const QString profile = keep.filePath("profile.ini");
  {
    App app(
        QSize(800, 600), false,
        [](QSettings& s) {
          s.setValue("settings/DlgMenu", QString::fromStdString(RectToText(30, 40, 270, 280)));
          s.setValue("settings/DlgParts",
                     QString::fromStdString(RectToText(9000, 9000, 9300, 9300)));
        },
        profile);
    EXPECT_EQ(app.Navi()->frameGeometry().topLeft(), QPoint(30, 40));
    // Off the screen: beside the navigation window instead.
    EXPECT_EQ(app.List()->frameGeometry().topLeft(),
              QPoint(app.Navi()->frameGeometry().width(), kNaviDefaultY));
    app.Navi()->move(50, 60);
    naviWidth = app.Navi()->frameGeometry().width();
  }
  QSettings s(profile, QSettings::IniFormat);
  const Rect r = TextToRect(s.value("settings/DlgMenu").toString().toStdString());
  EXPECT_EQ(r.left, 50);
  EXPECT_EQ(r.top, 60);
  EXPECT_EQ(r.Width(), naviWidth);
  EXPECT_GE(naviWidth, 240);
  EXPECT_FALSE(s.value("settings/DlgParts").toString().startsWith("9000"));
}

TEST(KovasandGui, DefaultPlacesWithAnEmptyProfile) {
  App app;
  EXPECT_EQ(app.Navi()->frameGeometry().topLeft(), QPoint(kNaviDefaultX, kNaviDefaultY));
  EXPECT_EQ(app.List()->frameGeometry().topLeft(),
            QPoint(app.Navi()->frameGeometry().width(), kNaviDefaultY));
  EXPECT_EQ(app.List()->frameGeometry().height(), app.Navi()->frameGeometry().height());
}

TEST(KovasandDialogs, CompletionDialogRefusesWhatIsNotALength) {
  RecordingMessages m;
  SizeDoneDialog dialog(302, &m);
  EXPECT_EQ(dialog.MeasuredEdit()->text(), "100");
  EXPECT_EQ(dialog.ImageLengthEdit()->text(), "302");
  EXPECT_TRUE(dialog.ImageLengthEdit()->isReadOnly());
  EXPECT_TRUE(dialog.AddButton()->isDefault());
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("完了"));
  for (const char* bad : {"0", "-5", "abc", "1000001", "", "12.5", "99999999999"}) {
    dialog.MeasuredEdit()->setText(bad);
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted) << bad;
  }
  EXPECT_EQ(m.shown.size(), 7u);
  // The refusal says which digits are taken.
  EXPECT_NE(m.shown.back().find("０～９"), std::string::npos) << m.shown.back();
  // Full-width digits as an input method types them.
  dialog.MeasuredEdit()->setText(QString::fromUtf8("１５０"));
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.MeasuredMm(), 150);
  dialog.setResult(QDialog::Rejected);
  dialog.MeasuredEdit()->setText(" 1000000 ");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.MeasuredMm(), 1000000);
  // The focus starts in the length, its text selected: typed digits replace
  // it and Enter takes them; Enter alone takes the 100 that is shown.
  SizeDoneDialog typed(5, &m);
  typed.show();
  EXPECT_EQ(typed.focusWidget(), typed.MeasuredEdit());
  QTest::keyClicks(typed.focusWidget(), "250");
  QTest::keyClick(typed.focusWidget(), Qt::Key_Return);
  EXPECT_EQ(typed.result(), QDialog::Accepted);
  EXPECT_EQ(typed.MeasuredMm(), 250);
  SizeDoneDialog fresh(5, &m);
  fresh.show();
  QTest::keyClick(&fresh, Qt::Key_Return);
  EXPECT_EQ(fresh.result(), QDialog::Accepted);
  EXPECT_EQ(fresh.MeasuredMm(), 100);
  // Editing: the current length, its own title and button.
  SizeDoneDialog edit(5, &m, nullptr, 321);
  EXPECT_EQ(edit.MeasuredEdit()->text(), "321");
  EXPECT_EQ(edit.windowTitle(), QString::fromUtf8("実測値の修正"));
  EXPECT_EQ(edit.AddButton()->text(), QString::fromUtf8("変更"));
}

TEST(KovasandDialogs, LogoLinkIsCheckedAsAnAddressWhenOkIsPressed) {
  RecordingMessages m;
  QImage logo(4, 2, QImage::Format_RGB888);
  logo.fill(Qt::red);
  ProgramFilesDialog dialog("https://example.com/", logo, &m);
  for (const char* bad : {"http://", "https://", "ftp://example.com/", "example.com", "",
                          "https://exa mple.com/", "https://:80/", "https://例え.jp/😀"}) {
    dialog.LinkEdit()->setText(QString::fromUtf8(bad));
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted) << bad;
    // What the user typed and chose stays for mending.
    EXPECT_EQ(dialog.LinkEdit()->text(), QString::fromUtf8(bad));
    EXPECT_EQ(dialog.Logo().size(), QSize(4, 2));
  }
  EXPECT_EQ(m.shown.size(), 8u);
  EXPECT_NE(m.shown[7].find("保存できない文字"), std::string::npos) << m.shown[7];
  for (const char* good : {"HTTPS://EXAMPLE.COM/", "Http://shop.example.jp:8080/店?a=1",
                           "https://user@example.com"}) {
    EXPECT_EQ(WhyLinkRefused(good), "") << good;
    dialog.setResult(QDialog::Rejected);
    dialog.LinkEdit()->setText(QString::fromUtf8(good));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << good;
  }
}

TEST(KovasandDialogs, LinkDialogShowsTheLinkReadOnly) {
  LogoLinkDialog dialog(QString::fromUtf8("https://example.com/ﾛｺﾞ"));
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("ﾛｺﾞのﾘﾝｸ先を指定して下さい"));
  EXPECT_EQ(dialog.LinkEdit()->text(), QString::fromUtf8("https://example.com/ﾛｺﾞ"));
  EXPECT_TRUE(dialog.LinkEdit()->isReadOnly());
}

TEST(KovasandPreviewRoute, AsksTheDesktopAndFallsBackToTheViewer) {
  TempDir dir;
  const std::string file = dir.File("a.kvi");
  testing::WriteText(file, "x");
  auto script = [&](const std::string& name, const std::string& body) {
    const std::string path = dir.File(name);
    testing::WriteText(path, "#!/bin/sh\n" + body);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return QString::fromStdString(path);
  };
  const QString known = script("known", "if [ \"$2\" = filetype ]; then echo application/x-kvi; "
                                        "else echo viewer.desktop; fi\n");
  const QString noDefault =
      script("nodefault", "if [ \"$2\" = filetype ]; then echo application/x-kvi; fi\n");
  const QString guessed = script("guessed", "if [ \"$2\" = filetype ]; then echo "
                                            "application/octet-stream; else echo any.desktop; fi\n");
  const QString failing = script("failing", "exit 3\n");
  const QString qfile = QString::fromStdString(file);
  EXPECT_TRUE(DesktopHasApplicationFor(qfile, known));
  EXPECT_FALSE(DesktopHasApplicationFor(qfile, noDefault));
  EXPECT_FALSE(DesktopHasApplicationFor(qfile, guessed));
  EXPECT_FALSE(DesktopHasApplicationFor(qfile, failing));
  EXPECT_FALSE(DesktopHasApplicationFor(qfile, QString::fromStdString(dir.File("absent"))));

  // The desktop takes it when it knows the type.
  struct CountingShell : platform::Shell {
    bool Open(const std::string& t) override {
      opened.push_back(t);
      return true;
    }
    std::vector<std::string> opened;
  } shell;
  PreviewRoute route;
  route.shell = &shell;
  route.xdgMime = known;
  EXPECT_TRUE(OpenPreviewFile(file, route));
  ASSERT_EQ(shell.opened.size(), 1u);
  // Otherwise the viewer beside us, started with the file.
  const std::string marker = dir.File("started");
  route.xdgMime = noDefault;
  route.viewerPath = script("Kovalindra", "echo \"$1\" > '" + marker + "'\n").toStdString();
  EXPECT_TRUE(OpenPreviewFile(file, route));
  EXPECT_EQ(shell.opened.size(), 1u);
  for (int i = 0; i < 100 && testing::ReadText(marker).empty(); ++i) QTest::qWait(20);
  EXPECT_EQ(testing::ReadText(marker), file + "\n");
  // Neither: false, for the caller to tell.
  route.viewerPath = dir.File("absent");
  EXPECT_FALSE(OpenPreviewFile(file, route));
}

// What a user does from start to finish: import, two registrations by
// clicks, save, reopen, publish; the viewer then shows the file at the
// scale its registrations ask for.
TEST(KovasandGui, AProjectMadeByClicksReopensAndPublishesForTheViewer) {
  App app;
  ASSERT_TRUE(app.started);
  ASSERT_TRUE(app.Import(testing::WritePhoto(app.work, "机.jpg", 400, 300)));
  const struct {
    int x1, y1, x2, y2, mm;
  } clicks[] = {{10, 10, 210, 10, 70}, {50, 100, 50, 200, 35}};
  for (const auto& c : clicks) {
    app.frame->DispatchCommand(c::kRegisterSize);
    app.length = c.mm;
    // At a ratio above 1 the reachable device point may differ by one.
    app.ClickPhoto(c.x1, c.y1);
    app.ClickPhoto(c.x2, c.y2);
  }
  ASSERT_EQ(app.Doc().registrations.size(), 2u);
  EXPECT_TRUE(app.Doc().IsModified());
  const RegistrationList made = app.Doc().registrations;

  const std::string project = app.work.File("机.kvp");
  ASSERT_TRUE(app.parts->OnSaveDocument(project));
  app.Doc().SetModifiedFlag(false);  // as the frame's save does
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(project)));
  EXPECT_EQ(app.Doc().registrations, made);
  EXPECT_TRUE(app.Doc().HasPhoto());
  EXPECT_EQ(app.List()->Table()->rowCount(), 2);
  EXPECT_FALSE(app.Doc().IsModified());

  app.kviPath = app.work.File("机");
  app.frame->DispatchCommand(c::kPublish);
  const std::string published = app.work.File("机.kvi");
  ASSERT_TRUE(std::filesystem::exists(published));

  RecordingMessages viewerMessages;
  viewer::KovalindraDoc shown(platform::Services{&viewerMessages, nullptr, nullptr},
                              viewer::SettingsLocation{app.work.File("nowhere") + "/", ""});
  ASSERT_TRUE(shown.OpenDocument(published));
  EXPECT_EQ(shown.Registrations(), made);
  viewer::KovalindraView view(shown, nullptr);
  view.OnSize(800, 600);
  view.OnInitialUpdate();
  view.ShowRealSize();
  // Uncalibrated and told of no screen: the viewer's fallback density.
  const SizeRegistration& r = made[size_t(shown.currentPoint)];
  const double imagePx = std::hypot(double(r.endX - r.startX), double(r.endY - r.startY));
  const double mm = viewer::FallbackMmPerDevicePixel(1.0);
  EXPECT_NEAR(view.Scale().realSizeZoom, (r.lengthMm / imagePx) / mm, 1e-9);
  EXPECT_NEAR(view.Scale().realSizeZoom, 0.35 / mm, 0.01);
  EXPECT_TRUE(viewerMessages.shown.empty());
}

TEST(KovasandNames, KviExtensionIsAddedOnlyWhenTheNameHasNone) {
  EXPECT_EQ(WithKviExtension("/a/out"), "/a/out.kvi");
  EXPECT_EQ(WithKviExtension("/a/out."), "/a/out.kvi");
  EXPECT_EQ(WithKviExtension("/a/out.kvi"), "/a/out.kvi");
  EXPECT_EQ(WithKviExtension("/a/out.dat"), "/a/out.dat");
  EXPECT_EQ(WithKviExtension("/a.b/out"), "/a.b/out.kvi");
  EXPECT_EQ(WithKviExtension("/a/.hidden"), "/a/.hidden.kvi");
  EXPECT_EQ(WithKviExtension(""), "");
}

// Zoom. The device pixels that show photo pixel x at scale s, scroll and
// centring offset: from ceil(x s) to ceil((x + 1) s) - 1 in scaled
// coordinates (exact for the table's scales).
struct DeviceSpan {
  int first, last;
};
DeviceSpan SpanOf(KovasandView& v, int x, bool vertical) {
  const double s = v.Scale();
  const int shift = vertical ? v.DisplayOffsetY() - v.ScrollY() : v.DisplayOffsetX() - v.ScrollX();
  return {int(std::ceil(x * s)) + shift, int(std::ceil((x + 1) * s)) - 1 + shift};
}

// Clicks on the first (or last) device pixel of photo pixel p that a
// logical point reaches (at a ratio of 2 only even device pixels are).
QPoint ClickInsidePixel(App& app, IntPoint p, bool last) {
  const DeviceSpan sx = SpanOf(app.View(), p.x, false), sy = SpanOf(app.View(), p.y, true);
  const double r = app.widget->Ratio();
  const QPoint logical = last ? QPoint(int(std::floor(sx.last / r)), int(std::floor(sy.last / r)))
                              : QPoint(int(std::ceil(sx.first / r)), int(std::ceil(sy.first / r)));
  QTest::mouseClick(app.widget->viewport(), Qt::LeftButton, {}, logical);
  const QPoint d = app.widget->ToDevice(QPointF(logical));
  EXPECT_TRUE(d.x() >= sx.first && d.x() <= sx.last && d.y() >= sy.first && d.y() <= sy.last)
      << "device (" << d.x() << "," << d.y() << ") outside the pixel";
  return d;
}

void SendWheel(App& app, QPoint logical, int delta, Qt::KeyboardModifiers modifiers) {
  QWheelEvent wheel(QPointF(logical), app.widget->viewport()->mapToGlobal(QPointF(logical)),
                    QPoint(0, 0), QPoint(0, delta), Qt::NoButton, modifiers, Qt::NoScrollPhase,
                    false);
  QApplication::sendEvent(app.widget->viewport(), &wheel);
  QApplication::processEvents();
}

// A click as the window system delivers it: at a device pixel's middle,
// which at a ratio above 1 is a fraction of a logical pixel.
void PlatformClick(App& app, int deviceX, int deviceY) {
  static int timestamp = 1000;
  const double r = app.widget->Ratio();
  QWidget* top = app.frame.get();
  const QPointF local = QPointF(app.widget->viewport()->mapTo(top, QPoint(0, 0))) +
                        QPointF((deviceX + 0.5) / r, (deviceY + 0.5) / r);
  const QPointF global = QPointF(top->mapToGlobal(QPoint(0, 0))) + local;
  QWindow* w = top->windowHandle();
  qt_handleMouseEvent(w, local, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress,
                      {}, ++timestamp);
  qt_handleMouseEvent(w, local, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease,
                      {}, ++timestamp);
  QApplication::processEvents();
}

TEST(KovasandGui, OddPhotoPixelsAreRegisteredAtEveryScaleAndRatio) {
  App app;
  ASSERT_TRUE(app.Import(testing::WritePhoto(app.work, "odd.jpg", 600, 400)));
  app.frame->activateWindow();
  const auto registerAt = [&](IntPoint a, IntPoint b, const char* where) {
    app.frame->DispatchCommand(c::kRegisterSize);
    for (const IntPoint p : {a, b}) {
      // The device pixel that shows the photo pixel (its middle one).
      const IntPoint d = app.View().PhotoToClient(p.x, p.y);
      PlatformClick(app, d.x, d.y);
    }
    ASSERT_FALSE(app.Doc().registrations.empty()) << where;
    EXPECT_EQ(app.Doc().registrations.back(), MakeRegistration(a.x, a.y, b.x, b.y, 250))
        << where << " at ratio " << app.widget->Ratio();
  };
  const auto oddNearMiddle = [&](int dx, int dy) {
    const QSize d = app.widget->DeviceSize();
    const IntPoint m = app.View().ClientToPhoto(d.width() / 2, d.height() / 2);
    return IntPoint{(m.x + dx) | 1, (m.y + dy) | 1};
  };
  app.widget->ZoomActual();
  QApplication::processEvents();
  registerAt({201, 151}, {303, 251}, "100 %");
  app.widget->ZoomActual();
  for (int i = 0; i < 6; ++i) app.widget->ZoomIn();  // 1.5 2 2.5 3 3.5 4
  QApplication::processEvents();
  ASSERT_EQ(app.widget->Scale(), 4.0);
  registerAt(oddNearMiddle(-10, -6), oddNearMiddle(8, 4), "400 %");
  app.widget->ZoomFit();
  QApplication::processEvents();
  registerAt({1, 3}, {597, 399 - 2}, "fit");
  registerAt({101, 77}, {103, 79}, "fit, near");
}

TEST(KovasandGui, ZoomedByKeysAndCtrlWheelClicksRegisterThePixelsUnderThem) {
  App app;
  // Larger than the window at 3.5 at either ratio: the pointer's pixel can
  // stay under it.
  ASSERT_TRUE(app.Import(testing::WritePhoto(app.work, "zoom.jpg", 600, 400)));
  std::vector<double> announced;
  QObject::connect(app.widget, &KovasandViewWidget::ScaleChanged,
                   [&](double s) { announced.push_back(s); });
  // + five times: 1.5, 2, 2.5, 3, 3.5; the bars follow.
  for (int i = 0; i < 5; ++i) QTest::keyClick(app.widget, Qt::Key_Plus);
  QApplication::processEvents();
  ASSERT_EQ(app.widget->Scale(), 3.5);
  EXPECT_EQ(announced.back(), 3.5);
  const QSize device = app.widget->DeviceSize();
  EXPECT_EQ(app.widget->horizontalScrollBar()->maximum(), 2100 - device.width());
  EXPECT_EQ(app.widget->verticalScrollBar()->maximum(), 1400 - device.height());

  // What is shown under a device pixel is the photo pixel, crisp, and a
  // click anywhere inside it registers that pixel.
  const auto registerBetween = [&](IntPoint a, IntPoint b) {
    app.frame->DispatchCommand(c::kRegisterSize);
    ClickInsidePixel(app, a, false);
    ClickInsidePixel(app, b, true);
    ASSERT_FALSE(app.Doc().registrations.empty());
    EXPECT_EQ(app.Doc().registrations.back(), MakeRegistration(a.x, a.y, b.x, b.y, 250));
    const QImage img = app.Grab();
    ASSERT_EQ(img.size(), app.widget->DeviceSize());
    const auto photo = [&](IntPoint p) {
      const uint8_t* px = app.Doc().image.Row(p.y) + p.x * 3;
      return qRgb(px[2], px[1], px[0]);
    };
    // A pixel down and to the left of the start, clear of the marks: a
    // square of one colour, its neighbour's starting right after it.
    const IntPoint q{a.x - 5, a.y + 5};
    const DeviceSpan sx = SpanOf(app.View(), q.x, false), sy = SpanOf(app.View(), q.y, true);
    int wrong = 0;
    for (int y = sy.first; y <= sy.last; ++y)
      for (int x = sx.first; x <= sx.last; ++x) wrong += img.pixel(x, y) != photo(q);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(img.pixel(sx.last + 1, sy.last), photo({q.x + 1, q.y}));
    EXPECT_EQ(img.pixel(sx.first, sy.last + 1), photo({q.x, q.y + 1}));
    // The marks sit inside the clicked pixels: the dark core of the line
    // starts there.
    const IntPoint s = app.View().PhotoToClient(a.x, a.y);
    const DeviceSpan ax = SpanOf(app.View(), a.x, false), ay = SpanOf(app.View(), a.y, true);
    EXPECT_TRUE(s.x >= ax.first && s.x <= ax.last && s.y >= ay.first && s.y <= ay.last);
    EXPECT_TRUE(IsColor(app.widget->ComposeFrame(), s.x, s.y, 50, 0, 50));
  };
  const IntPoint middle = app.View().ClientToPhoto(device.width() / 2, device.height() / 2);
  registerBetween({middle.x - 20, middle.y - 10}, {middle.x + 15, middle.y + 12});

  // Ctrl + wheel about the pointer: the photo pixel under it stays; half
  // notches add up; the wheel alone does nothing.
  const QPoint pointer(180, 130);
  const QPoint pd = app.widget->ToDevice(QPointF(pointer));
  const IntPoint under = app.View().ClientToPhoto(pd.x(), pd.y());
  const int scrollY = app.View().ScrollY();
  SendWheel(app, pointer, -120, Qt::NoModifier);
  EXPECT_EQ(app.widget->Scale(), 3.5);
  EXPECT_EQ(app.View().ScrollY(), scrollY);
  SendWheel(app, pointer, 120, Qt::ControlModifier);
  EXPECT_EQ(app.widget->Scale(), 4.0);
  EXPECT_EQ(app.View().ClientToPhoto(pd.x(), pd.y()), under);
  SendWheel(app, pointer, 60, Qt::ControlModifier);
  EXPECT_EQ(app.widget->Scale(), 4.0);
  SendWheel(app, pointer, 60, Qt::ControlModifier);
  EXPECT_EQ(app.widget->Scale(), 5.0);
  SendWheel(app, pointer, -240, Qt::ControlModifier);
  EXPECT_EQ(app.widget->Scale(), 3.5);
  EXPECT_EQ(app.View().ClientToPhoto(pd.x(), pd.y()), under);
  EXPECT_EQ(app.widget->horizontalScrollBar()->value(), app.View().ScrollX());
  // = is + without Shift; - zooms out.
  QTest::keyClick(app.widget, Qt::Key_Equal);
  QTest::keyClick(app.widget, Qt::Key_Minus);
  EXPECT_EQ(app.widget->Scale(), 3.5);
  for (int i = 0; i < 4; ++i) QTest::keyClick(app.widget, Qt::Key_Equal);
  ASSERT_EQ(app.widget->Scale(), 8.0);
  QApplication::processEvents();
  const IntPoint centre = app.View().ClientToPhoto(app.widget->DeviceSize().width() / 2,
                                                   app.widget->DeviceSize().height() / 2);
  registerBetween({centre.x - 10, centre.y - 5}, {centre.x + 6, centre.y + 3});
  ASSERT_EQ(app.Doc().registrations.size(), 2u);

  // The menu's commands: fit leaves nothing to scroll, 1:1 is 1.
  app.widget->ZoomFit();
  QApplication::processEvents();
  EXPECT_LT(app.widget->Scale(), 8.0);
  EXPECT_EQ(app.widget->horizontalScrollBar()->maximum(), 0);
  EXPECT_EQ(app.widget->verticalScrollBar()->maximum(), 0);
  app.widget->ZoomActual();
  EXPECT_EQ(app.widget->Scale(), 1.0);
  EXPECT_EQ(announced.back(), 1.0);
}

TEST(KovasandGui, TrapsOfEverydayWorkAreGone) {
  App app;
  const std::string photo = testing::WritePhoto(app.work, "p.jpg", 300, 200);
  ASSERT_TRUE(app.Import(photo));
  app.frame->DispatchCommand(c::kRegisterSize);
  app.ClickPhoto(10, 10);
  app.ClickPhoto(110, 10);
  ASSERT_EQ(app.Doc().registrations.size(), 1u);
  // Another photo asks whether to delete the registrations; "no" keeps
  // them with the new photo, and undo brings the old photo back.
  const std::string other = testing::WritePhoto(app.work, "q.jpg", 200, 100);
  app.messages.answer = platform::MsgResult::No;
  app.jpeg = other;
  app.frame->DispatchCommand(c::kImportJpeg);
  EXPECT_EQ(app.Doc().jpegPath, other);
  EXPECT_EQ(app.List()->Table()->rowCount(), 1);
  app.frame->DispatchCommand(c::kEditUndo);
  EXPECT_EQ(app.Doc().jpegPath, photo);
  EXPECT_EQ(app.Doc().image.width, 300);
  EXPECT_EQ(app.List()->Table()->rowCount(), 1);
  app.messages.answer = platform::MsgResult::Yes;

  // Undo and redo by keys, the list and the modified flag following.
  const std::string project = app.work.File("a.kvp");
  ASSERT_TRUE(app.parts->OnSaveDocument(project));
  app.Doc().SetPathName(project);
  app.Doc().SetModifiedFlag(false);
  app.frame->activateWindow();
  app.widget->setFocus();
  QTest::keyClick(app.frame.get(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(app.List()->Table()->rowCount(), 0);
  EXPECT_TRUE(app.Doc().IsModified());
  QTest::keyClick(app.frame.get(), Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(app.List()->Table()->rowCount(), 1);
  EXPECT_FALSE(app.Doc().IsModified());
  // The photo replaced and taken back above could still come again.
  EXPECT_TRUE(app.frame->QueryCommand(c::kEditRedo).enabled);
  // A double-click on the row edits the length; undo takes it back.
  app.editLength = 333;
  const QRect cell = app.List()->Table()->visualItemRect(app.List()->Table()->item(0, 3));
  // As a hand does it: the first click, then the second one of the pair.
  QTest::mouseClick(app.List()->Table()->viewport(), Qt::LeftButton, {}, cell.center());
  QTest::mouseDClick(app.List()->Table()->viewport(), Qt::LeftButton, {}, cell.center());
  ASSERT_EQ(app.editedFrom, std::vector<int32_t>{250});
  EXPECT_EQ(app.Doc().registrations[0].lengthMm, 333);
  EXPECT_EQ(app.Cell(0, 3), "333");
  app.frame->DispatchCommand(c::kEditUndo);
  EXPECT_EQ(app.Cell(0, 3), "250");

  // Bytes that are no project are refused; the project on show stays and a
  // save writes it where it came from, never over the refused file.
  const std::string noise = app.work.File("noise.kvp");
  testing::WriteText(noise, std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10", 20));
  EXPECT_FALSE(app.frame->OpenDocumentFile(QString::fromStdString(noise)));
  EXPECT_EQ(app.Doc().PathName(), project);
  EXPECT_EQ(app.List()->Table()->rowCount(), 1);
  app.frame->DispatchCommand(kv::cmd::kFileSave);
  EXPECT_EQ(testing::ReadText(noise), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10", 20));

  // A file that cannot be written: the program's text, then why.
  app.kviPath = "/proc/kovasand-test.kvi";
  app.frame->DispatchCommand(c::kPublish);
  EXPECT_EQ(app.messages.shown.back().rfind(text::kWriteError, 0), 0u) << app.messages.shown.back();

  // The logo and link from the dialog go into both files and the next
  // published file; the default link reminded once before that.
  QImage picture(800, 100, QImage::Format_RGB32);
  picture.fill(QColor(10, 120, 200));
  const QString png = QString::fromStdString(app.work.File("logo.png"));
  ASSERT_TRUE(picture.save(png));
  app.onSettings = [&](ProgramFilesDialog& d) {
    EXPECT_TRUE(d.LoadLogo(png));
    EXPECT_EQ(d.Logo().size(), QSize(400, 50));  // fitted, proportions kept
    d.LinkEdit()->setText("https://shop.example.jp/");
    d.accept();
    if (d.isVisible()) d.reject();
  };
  app.frame->DispatchCommand(c::kProgramFiles);
  app.kviPath = app.work.File("out.kvi");
  app.frame->DispatchCommand(c::kPublish);
  ActualSizeFile back;
  std::string reason;
  ASSERT_TRUE(ReadActualSizeFile(app.work.File("out.kvi"), back, reason)) << reason;
  EXPECT_EQ(back.link, "https://shop.example.jp/");
  EXPECT_EQ(back.logoWidth, 400);
  EXPECT_EQ(back.logoHeight, 50);
  EXPECT_EQ(back.logoBytes[0], 10);
  EXPECT_EQ(back.logoBytes[2], 200);
  EXPECT_EQ(back.registrations.size(), 1u);
  EXPECT_TRUE(app.frame->StatusPane(0)->text().contains("out.kvi"));
  EXPECT_NE(testing::ReadText(app.program.File(kSettingsFileName)).find("https://shop.example.jp/"),
            std::string::npos);
}

TEST(KovasandGui, AMissingPhotoIsOfferedFoundAgainAndNeverPreviewedEmpty) {
  App app;
  const std::string photo = testing::WritePhoto(app.work, "p.jpg", 300, 200);
  ASSERT_TRUE(app.Import(photo));
  EXPECT_EQ(app.frame->StatusPane(kScalePane)->text(), QString::fromUtf8("表示倍率 100%"));
  EXPECT_EQ(app.parts->SuggestedSavePath(), app.work.File("p.kvp"));
  ASSERT_TRUE(app.Doc().AddRegistration(MakeRegistration(10, 10, 200, 10, 150)));
  const std::string project = app.work.File("a.kvp");
  ASSERT_TRUE(app.parts->OnSaveDocument(project));
  std::filesystem::create_directories(app.work.File("moved"));
  std::filesystem::rename(photo, app.work.File("moved/q.jpg"));
  app.Doc().SetModifiedFlag(false);
  app.frame->DispatchCommand(kv::cmd::kFileNew);
  EXPECT_EQ(app.frame->StatusPane(kScalePane)->text(), QString());

  app.messages.answer = platform::MsgResult::No;
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(project)));
  QApplication::processEvents();
  ASSERT_FALSE(app.messages.shown.empty());
  EXPECT_NE(app.messages.shown.back().find("写真の場所を指定しますか"), std::string::npos)
      << app.messages.shown.back();
  EXPECT_TRUE(app.frame->QueryCommand(c::kLocatePhoto).enabled);
  // Preview says why instead of opening an empty viewer.
  app.frame->DispatchCommand(c::kPreview);
  EXPECT_NE(app.messages.shown.back().find("ﾌﾟﾚﾋﾞｭｰできません"), std::string::npos);
  EXPECT_TRUE(app.previews.empty());
  // The photo chosen again: its size is the project's, so it is taken as it is.
  const size_t told = app.messages.shown.size();
  app.jpeg = app.work.File("moved/q.jpg");
  app.frame->DispatchCommand(c::kLocatePhoto);
  QApplication::processEvents();
  EXPECT_EQ(app.messages.shown.size(), told);
  EXPECT_EQ(app.Doc().jpegPath, app.work.File("moved/q.jpg"));
  EXPECT_TRUE(app.Doc().HasPhoto());
  EXPECT_EQ(app.List()->Table()->rowCount(), 1);
  EXPECT_FALSE(app.frame->QueryCommand(c::kLocatePhoto).enabled);
  EXPECT_TRUE(app.Doc().IsModified());
  // The scale has a pane of its own that a menu's prompt leaves alone.
  EXPECT_EQ(app.frame->StatusPane(kScalePane)->text(), QString::fromUtf8("表示倍率 100%"));
  QStatusTipEvent tip(QString::fromUtf8("写真を読み込みます"));
  QApplication::sendEvent(app.frame.get(), &tip);
  QStatusTipEvent none{QString()};
  QApplication::sendEvent(app.frame.get(), &none);
  EXPECT_EQ(app.frame->StatusPane(kScalePane)->text(), QString::fromUtf8("表示倍率 100%"));
}

TEST(KovasandGui, EscapeGivesUpARegistrationAndTheDeleteKeyDeletes) {
  App app;
  ASSERT_TRUE(app.Import(testing::WritePhoto(app.work, "p.jpg", 300, 200)));
  app.frame->DispatchCommand(c::kRegisterSize);
  app.ClickPhoto(20, 20);
  ASSERT_EQ(app.Doc().drawMode, kDrawEnd);
  app.widget->setFocus();
  QTest::keyClick(app.widget, Qt::Key_Escape);
  EXPECT_EQ(app.Doc().drawMode, kDrawIdle);
  EXPECT_FALSE(app.frame->QueryCommand(c::kRegisterSize).checked);
  app.ClickPhoto(60, 20);
  EXPECT_TRUE(app.Doc().registrations.empty());
  EXPECT_TRUE(app.asked.empty());

  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(app.Doc().AddRegistration(MakeRegistration(10, 10 + 20 * i, 200, 10 + 20 * i, 100 + i)));
  QTableWidget* table = app.List()->Table();
  table->selectRow(1);
  QApplication::setActiveWindow(app.List());
  QTest::keyClick(table, Qt::Key_Delete);
  ASSERT_EQ(table->rowCount(), 2);
  EXPECT_EQ(app.Cell(1, 3), "102");
}

TEST(KovasandGui, ClosingTheFrameEndsTheProgramAndRemovesThePreviews) {
  auto app = std::make_unique<App>();
  ASSERT_TRUE(app->Import(testing::WritePhoto(app->work, "p.jpg", 60, 40)));
  app->frame->DispatchCommand(c::kPreview);
  ASSERT_EQ(app->previews.size(), 1u);
  const std::string folder = app->Doc().PreviewFolder();
  ASSERT_TRUE(std::filesystem::exists(folder));
  app->Doc().SetModifiedFlag(false);  // no save prompt
  QEventLoop loop;
  bool closed = false;
  QObject::connect(app->frame.get(), &shell::MainFrame::Closed, &loop, [&] {
    closed = true;
    loop.quit();
  });
  QTimer::singleShot(0, [&] { app->frame->DispatchCommand(kv::cmd::kAppExit); });
  QTimer::singleShot(5000, &loop, &QEventLoop::quit);
  loop.exec();
  EXPECT_TRUE(closed);
  EXPECT_FALSE(app->frame->isVisible());
  EXPECT_FALSE(app->Navi()->isVisible());
  EXPECT_FALSE(app->List()->isVisible());
  app.reset();
  EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(KovasandGui, ClicksOnAnUprightedPhotoLandOnTheSameFeatureInTheViewer) {
  App app;
  const PixelSize stored{120, 80};
  // Blue carries the stored x, green the stored y: a feature is its colour.
  const int32_t ax = 20, ay = 30, bx = 90, by = 30;
  for (uint16_t o = 1; o <= 8; ++o) {
    SCOPED_TRACE(o);
    const std::vector<uint8_t> jpeg =
        kv::testing::WithExif(EncodeJpeg(testing::PatternPhoto(120, 80), 95), o, o % 2 == 1);
    const std::string photo = app.work.File("o" + std::to_string(o) + ".jpg");
    testing::WriteText(photo, std::string(jpeg.begin(), jpeg.end()));
    app.Doc().DeleteRegistrations({0});  // the last photo's: no question on import
    ASSERT_TRUE(app.Import(photo));
    ASSERT_EQ(app.Doc().image.width, o >= 5 ? 80 : 120);
    int32_t sax = ax, say = ay, sbx = bx, sby = by;
    StoredToShown(o, stored, sax, say);
    StoredToShown(o, stored, sbx, sby);
    app.frame->DispatchCommand(c::kRegisterSize);
    app.length = 50;
    app.ClickPhoto(sax, say);
    app.ClickPhoto(sbx, sby);
    ASSERT_EQ(app.Doc().registrations.size(), 1u);
    const SizeRegistration shownReg = app.Doc().registrations[0];
    // Published as the photo is stored (a click at a ratio above 1 may
    // land one pixel off).
    app.kviPath = app.work.File("o" + std::to_string(o) + ".kvi");
    app.frame->DispatchCommand(c::kPublish);
    ActualSizeFile file;
    std::string reason;
    ASSERT_TRUE(ReadActualSizeFile(*app.kviPath, file, reason)) << reason;
    ASSERT_EQ(file.registrations.size(), 1u);
    EXPECT_NEAR(file.registrations[0].startX, ax, 1);
    EXPECT_NEAR(file.registrations[0].startY, ay, 1);
    EXPECT_NEAR(file.registrations[0].endX, bx, 1);
    EXPECT_NEAR(file.registrations[0].endY, by, 1);
    // The viewer shows it on the same upright photo, on the same feature.
    RecordingMessages viewerMessages;
    viewer::KovalindraDoc shown(platform::Services{&viewerMessages, nullptr, nullptr},
                                viewer::SettingsLocation{app.work.File("nowhere") + "/", ""});
    ASSERT_TRUE(shown.OpenDocument(*app.kviPath));
    ASSERT_EQ(shown.Registrations().size(), 1u);
    EXPECT_EQ(shown.Registrations()[0], shownReg);
    viewer::KovalindraView view(shown, nullptr);
    view.OnSize(400, 300);
    view.OnInitialUpdate();
    view.MutableScale().zoom = 1.0;
    view.ApplyZoom(0, 0);
    const viewer::ViewScale& vs = view.Scale();
    uint8_t px[4];
    ASSERT_TRUE(GetPixel(*view.DisplayImage(), shownReg.startX - vs.originX,
                         shownReg.startY - vs.originY, px));
    EXPECT_NEAR(px[0], ax, 9);
    EXPECT_NEAR(px[1], ay, 9);
  }
}

}  // namespace
}  // namespace kv::authoring
