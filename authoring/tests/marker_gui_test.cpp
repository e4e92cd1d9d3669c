// The marker and folder commands in the authoring tool's real frame,
// headless: the size asked with its remembered value, registrations added
// and drawn, the marker sheet written, a folder published with its progress
// and report.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "authoring/tests/marker_photos.h"
#include "authoring/tests/support.h"
#include "authoring/widgets/kovasand_parts.h"
#include "authoring/widgets/view_widget.h"
#include "authoring/widgets/marker_batch_dialogs.h"
#include "foundation/core/image/jpeg_encode.h"
#include "foundation/shell/main_frame.h"
#include "platform/qt_services.h"
#include "resources/authoring/commands.h"

namespace kv::authoring {
namespace {

using testing::RecordingMessages;
using testing::TempDir;
namespace c = kv::authoring::cmd;
namespace fs = std::filesystem;

class Answering : public RecordingMessages {
 public:
  platform::MsgResult Show(const std::string& text, platform::MsgIcon icon,
                           platform::MsgButtons buttons) override {
    RecordingMessages::Show(text, icon, buttons);
    return buttons == platform::MsgButtons::Ok ? platform::MsgResult::Ok : answer;
  }
  platform::MsgResult answer = platform::MsgResult::Yes;
};

DibImage MarkerPhoto(int id, double scale) {
  const testing::Grey sheet = testing::MarkerPicture(id, 12, 30);
  testing::Projection p = testing::Projection::Similarity(scale, 15, 0, 0);
  double cx, cy;
  p.Apply(sheet.width / 2.0, sheet.height / 2.0, cx, cy);
  p.h[2] += 400 - cx;
  p.h[5] += 300 - cy;
  return testing::PhotographSheet(sheet, 800, 600, p, {1, 2, 0, 3});
}

struct Tool {
  Tool() {
    testing::WriteProgramFiles(program);
    frame = std::make_unique<shell::MainFrame>(
        shell::ProgramKind::Authoring, AuthoringTable(),
        std::make_unique<platform::QtProfile>(
            std::make_unique<QSettings>(profileDir.filePath("p.ini"), QSettings::IniFormat)));
    PartsOptions options;
    options.messages = &messages;
    options.programFolder = program.Folder();
    options.tempRoot = temp.Folder();
    options.chooseJpeg = [this] { return jpeg; };
    frame->Create([&](shell::AppContext& ctx) {
      auto p = CreateKovasandPartsWith(ctx, options);
      parts = static_cast<KovasandParts*>(p.get());
      return p;
    });
    frame->ProcessCommandLine({});
    frame->show();
    QApplication::processEvents();
  }
  // Runs `command`; `answer` is called with each modal dialog it opens
  // (not the progress dialog, which runs by itself).
  void Run(int command, const std::function<void(QWidget*)>& answer) {
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&answer] {
      QWidget* w = QApplication::activeModalWidget();
      if (w && w->isVisible() && !qobject_cast<QProgressDialog*>(w)) answer(w);
    });
    timer.start();
    frame->DispatchCommand(command);
    timer.stop();
    QApplication::processEvents();
  }
  TempDir program, temp, work;
  QTemporaryDir profileDir;
  Answering messages;
  std::optional<std::string> jpeg;
  std::unique_ptr<shell::MainFrame> frame;
  KovasandParts* parts = nullptr;
};

TEST(MarkerCommands, AutoRegistrationAsksTheSizeOnceRemembersItAndAddsTheMarkers) {
  Tool t;
  const std::vector<uint8_t> jpeg = EncodeJpeg(MarkerPhoto(2, 3), 92);
  t.jpeg = t.work.File("m.jpg");
  testing::WriteText(*t.jpeg, std::string(jpeg.begin(), jpeg.end()));
  t.frame->DispatchCommand(c::kImportJpeg);
  ASSERT_TRUE(t.parts->Doc().HasPhoto());
  int asked = 0;
  t.Run(c::kRegisterByMarker, [&](QWidget* w) {
    auto* d = qobject_cast<MarkerSizeDialog*>(w);
    ASSERT_NE(d, nullptr);
    ++asked;
    EXPECT_EQ(d->SizeBox()->value(), 50);  // nothing remembered yet
    d->SizeBox()->setValue(60);
    QTest::mouseClick(d->findChild<QPushButton*>("ok"), Qt::LeftButton);
  });
  EXPECT_EQ(asked, 1);
  ASSERT_EQ(t.parts->Doc().registrations.size(), 1u);
  EXPECT_EQ(t.parts->Doc().registrations[0].lengthMm, 60);
  // The next time it offers 60; cancelled, nothing changes.
  t.Run(c::kRegisterByMarker, [&](QWidget* w) {
    auto* d = qobject_cast<MarkerSizeDialog*>(w);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->SizeBox()->value(), 60);
    QTest::mouseClick(d->findChild<QPushButton*>("cancel"), Qt::LeftButton);
  });
  EXPECT_EQ(t.parts->Doc().registrations.size(), 1u);
}

TEST(MarkerCommands, TheSheetIsWrittenWhereTheUserSaysOnThePaperChosen) {
  Tool t;
  const std::string pdf = t.work.File("sheet.pdf");
  t.Run(c::kMarkerSheet, [&](QWidget* w) {
    if (auto* d = qobject_cast<MarkerSizeDialog*>(w)) {
      d->SizeBox()->setValue(40);
      d->PaperBox()->setCurrentIndex(1);  // Letter
      QTest::mouseClick(d->findChild<QPushButton*>("ok"), Qt::LeftButton);
    } else if (auto* f = qobject_cast<QFileDialog*>(w)) {
      // Typed as a user would: the whole path in the name field.
      auto* name = f->findChild<QLineEdit*>("fileNameEdit");
      ASSERT_NE(name, nullptr);
      name->setText(QString::fromStdString(pdf));
      QMetaObject::invokeMethod(f, "accept");
    }
  });
  ASSERT_TRUE(fs::exists(pdf)) << (t.messages.shown.empty() ? "" : t.messages.shown.back());
  EXPECT_EQ(testing::ReadText(pdf).substr(0, 5), "%PDF-");
  EXPECT_NE(t.messages.shown.back().find("100%"), std::string::npos);
}

TEST(MarkerCommands, AFolderIsPublishedWithOneQuestionForExistingFilesAndAReport) {
  Tool t;
  TempDir photos, out;
  for (int i = 0; i < 3; ++i) {
    const std::vector<uint8_t> jpeg = EncodeJpeg(MarkerPhoto(i, 2.6), 90);
    testing::WriteText(photos.File("p" + std::to_string(i) + ".jpg"), std::string(jpeg.begin(), jpeg.end()));
  }
  testing::WriteText(photos.File("blank.jpg"), [] {
    const std::vector<uint8_t> j = EncodeJpeg(MarkerPhoto(0, 0.01), 90);
    return std::string(j.begin(), j.end());
  }());
  testing::WriteText(out.File("p1.kvi"), "mine");
  t.messages.answer = platform::MsgResult::No;  // keep the one that is there
  t.Run(c::kFolderBatch, [&](QWidget* w) {
    auto* d = qobject_cast<BatchDialog*>(w);
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->ProjectButton()->isEnabled());  // no photo with registrations
    EXPECT_TRUE(d->MarkerButton()->isChecked());
    d->SourceEdit()->setText(QString::fromStdString(photos.Folder()));
    d->TargetEdit()->setText(QString::fromStdString(out.Folder()));
    QTest::mouseClick(d->findChild<QPushButton*>("ok"), Qt::LeftButton);
  });
  EXPECT_TRUE(fs::exists(out.File("p0.kvi")));
  EXPECT_TRUE(fs::exists(out.File("p2.kvi")));
  EXPECT_EQ(testing::ReadText(out.File("p1.kvi")), "mine");
  ASSERT_GE(t.messages.shown.size(), 2u);
  EXPECT_NE(t.messages.shown[t.messages.shown.size() - 2].find("1 個あります"), std::string::npos);
  const std::string report = t.messages.shown.back();
  EXPECT_NE(report.find("4 枚中 2 枚"), std::string::npos) << report;
  EXPECT_NE(report.find("blank.jpg: ﾏｰｶｰが見つかりません"), std::string::npos) << report;
  EXPECT_NE(report.find("p1.jpg: p1.kvi が既にあります"), std::string::npos) << report;
}

}  // namespace
}  // namespace kv::authoring
