// Pictures of both programs for the help pages, taken at build time from
// the real windows on the offscreen platform: the manual shows what the
// programs of this build look like.
//   kv_screenshots OUTPUT_FOLDER PROGRAM_FOLDER
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <memory>

#include "authoring/model/marker_registration.h"
#include "authoring/tests/marker_photos.h"
#include "authoring/widgets/kovasand_parts.h"
#include "authoring/widgets/marker_batch_dialogs.h"
#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/jpeg_encode.h"
#include "foundation/core/util/file_io.h"
#include "authoring/widgets/view_widget.h"
#include "foundation/shell/main_frame.h"
#include "platform/services.h"
#include "resources/authoring/commands.h"
#include "resources/viewer/commands.h"
#include "tools/samplegen/scene.h"
#include "viewer/model/calibration.h"
#include "viewer/widgets/kovalindra_parts.h"
#include "viewer/widgets/toolbox_window.h"
#include "viewer/widgets/view_widget.h"

namespace {

using namespace kv;

// Nobody is there to answer: every question is answered yes.
class Quiet : public platform::MessageService {
 public:
  platform::MsgResult Show(const std::string&, platform::MsgIcon, platform::MsgButtons b) override {
    return b == platform::MsgButtons::Ok ? platform::MsgResult::Ok : platform::MsgResult::Yes;
  }
};

std::unique_ptr<shell::MainFrame> Frame(shell::ProgramKind kind, const res::ProgramTable& table,
                                        const QString& profile) {
  return std::make_unique<shell::MainFrame>(
      kind, table,
      std::make_unique<platform::QtProfile>(
          std::make_unique<QSettings>(profile, QSettings::IniFormat)));
}

void Settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

bool Save(QWidget* w, const QString& path) {
  Settle();
  const bool ok = w->grab().save(path);
  if (!ok) std::fprintf(stderr, "kv_screenshots: cannot write %s\n", qPrintable(path));
  return ok;
}

bool Viewer(const QString& out, const std::string& bin, const QString& temp) {
  Quiet quiet;
  // A monitor of about 96 dots per inch, calibrated: no welcome panel.
  std::string reason;
  const std::string settings = (temp + "/viewer/").toStdString();
  QDir().mkpath(temp + "/viewer");
  viewer::WriteCalibration(settings + "Kovalindra.ini", {100, 500, 894, 500, 210}, reason);
  auto frame = Frame(shell::ProgramKind::Viewer, viewer::ViewerTable(), temp + "/viewer.ini");
  viewer::KovalindraParts* parts = nullptr;
  viewer::PartsOptions options;
  options.messages = &quiet;
  options.settings = SettingsLocation{settings, ""};
  if (!frame->Create([&](shell::AppContext& ctx) {
        auto p = viewer::CreateKovalindraPartsWith(ctx, options);
        parts = static_cast<viewer::KovalindraParts*>(p.get());
        return p;
      }))
    return false;
  frame->resize(900, 640);
  frame->show();
  if (!frame->OpenDocumentFile(QString::fromStdString(bin + "sample.kvi"))) return false;
  // The photo decodes on a worker; the commands below act on it once shown.
  QElapsedTimer waited;
  waited.start();
  while (!parts->View().Session().Settled() && waited.elapsed() < 60000)
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  frame->DispatchCommand(viewer::cmd::kSizeInfo);
  frame->DispatchCommand(viewer::cmd::kNextPoint);
  frame->DispatchCommand(viewer::cmd::kNextPoint);
  frame->DispatchCommand(viewer::cmd::kNextPoint);  // back to the ruler
  bool ok = Save(frame.get(), out + "/viewer.png");
  if (viewer::ToolboxWindow* box = parts->Toolbox()) ok = Save(box, out + "/toolbox.png") && ok;
  // Measuring, as a user drags: the card across, then the pencil from end
  // to end, which lands on its registration.
  frame->DispatchCommand(viewer::cmd::kShowWhole);
  frame->DispatchCommand(viewer::cmd::kMouseMeasure);
  viewer::KovalindraView& v = parts->View();
  const viewer::ViewScale& s = v.Scale();
  auto drag = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    v.OnLeftButtonDown(s.ClientX(x1), s.ClientY(y1));
    v.OnMouseMove(s.ClientX((x1 + x2) / 2), s.ClientY((y1 + y2) / 2));
    v.OnLeftButtonUp(s.ClientX(x2), s.ClientY(y2));
  };
  const int32_t cardLeft = int32_t(sample::kCardLeft), cardY = int32_t(sample::kCardTop) + 300;
  drag(cardLeft, cardY, cardLeft + int32_t(sample::kCardWidthMm * sample::kPixelsPerMm), cardY);
  drag(sample::kPencilEndX + 2, sample::kPencilEndY - 3, sample::kPencilTipX - 3,
       sample::kPencilTipY + 2);
  ok = Save(frame.get(), out + "/measure.png") && ok;
  frame->DispatchCommand(viewer::cmd::kMouseScroll);
  frame->DispatchCommand(viewer::cmd::kA4Size);
  ok = Save(frame.get(), out + "/calibration.png") && ok;
  return ok;
}

bool Authoring(const QString& out, const std::string& bin, const QString& temp) {
  Quiet quiet;
  auto frame = Frame(shell::ProgramKind::Authoring, authoring::AuthoringTable(), temp + "/a.ini");
  authoring::KovasandParts* parts = nullptr;
  authoring::PartsOptions options;
  options.messages = &quiet;
  options.programFolder = bin;
  options.tempRoot = temp.toStdString();
  std::optional<int32_t> length = 100;
  options.askLength = [&](int32_t) { return length; };
  options.chooseJpeg = [&] { return std::optional<std::string>(bin + "sample.jpg"); };
  if (!frame->Create([&](shell::AppContext& ctx) {
        auto p = authoring::CreateKovasandPartsWith(ctx, options);
        parts = static_cast<authoring::KovasandParts*>(p.get());
        return p;
      }))
    return false;
  if (!frame->ProcessCommandLine({})) return false;
  frame->resize(900, 640);
  frame->show();
  Settle();
  frame->DispatchCommand(authoring::cmd::kImportJpeg);
  frame->DispatchCommand(authoring::cmd::kZoomFit);
  authoring::KovasandViewWidget* w = parts->Widget();
  // The ruler's 0 and 10 cm marks, as a user clicks them.
  authoring::KovasandDoc& doc = parts->Doc();
  doc.AddRegistration(MakeRegistration(140, 162, 940, 162, 100));
  length = 54;
  doc.AddRegistration(MakeRegistration(276, 560, 276, 992, 54));
  doc.Select(0);
  bool ok = Save(frame.get(), out + "/kovasand.png");
  if (w->List()) ok = Save(w->List(), out + "/list.png") && ok;
  return ok;
}

// The sample photo with a printed 30 mm marker laid beside the card, at the
// photo's own 8 pixels a millimetre, turned a little as a hand lays it.
std::optional<std::string> SampleWithMarker(const std::string& bin, const QString& temp) {
  std::vector<uint8_t> jpeg;
  std::string reason;
  DibImage photo;
  if (!ReadWholeFile(bin + "sample.jpg", jpeg, reason) ||
      DecodeJpegBuffer(jpeg.data(), jpeg.size(), photo) != 1)
    return std::nullopt;
  const authoring::testing::Grey marker = authoring::testing::MarkerPicture(0, 30, 0);
  const double turn = 6 * 3.14159265358979 / 180, c = std::cos(turn), s = std::sin(turn);
  const double left = 930, top = 400, half = marker.width / 2.0;
  for (int32_t y = int32_t(top) - 40; y < int32_t(top) + marker.height + 40; ++y)
    for (int32_t x = int32_t(left) - 40; x < int32_t(left) + marker.width + 40; ++x) {
      // Into the marker's own pixels, turned back about its centre.
      const double dx = x + 0.5 - (left + half), dy = y + 0.5 - (top + half);
      const double mx = c * dx + s * dy + half, my = -s * dx + c * dy + half;
      if (mx < 0 || my < 0 || mx >= marker.width || my >= marker.height) continue;
      const int v = marker.At(int32_t(mx), int32_t(my)) ? 238 : 28;
      uint8_t* p = photo.Row(y) + x * 3;
      p[0] = uint8_t(v - 6), p[1] = uint8_t(v - 2), p[2] = uint8_t(v);
    }
  const std::vector<uint8_t> out = EncodeJpeg(photo, 92);
  const std::string path = temp.toStdString() + "/marker_sample.jpg";
  if (!WriteFileAtomically(path, out, reason)) return std::nullopt;
  return path;
}

// "ﾏｰｶｰで自動登録" on that photo, and the folder batch's dialog.
bool Markers(const QString& out, const std::string& bin, const QString& temp) {
  Quiet quiet;
  const std::optional<std::string> photo = SampleWithMarker(bin, temp);
  if (!photo) return false;
  auto frame = Frame(shell::ProgramKind::Authoring, authoring::AuthoringTable(), temp + "/m.ini");
  authoring::KovasandParts* parts = nullptr;
  authoring::PartsOptions options;
  options.messages = &quiet;
  options.programFolder = bin;
  options.tempRoot = temp.toStdString();
  options.chooseJpeg = [&] { return photo; };
  if (!frame->Create([&](shell::AppContext& ctx) {
        auto p = authoring::CreateKovasandPartsWith(ctx, options);
        parts = static_cast<authoring::KovasandParts*>(p.get());
        return p;
      }))
    return false;
  if (!frame->ProcessCommandLine({})) return false;
  frame->resize(900, 640);
  frame->show();
  Settle();
  frame->DispatchCommand(authoring::cmd::kImportJpeg);
  frame->DispatchCommand(authoring::cmd::kZoomFit);
  if (authoring::RegisterByMarkers(parts->Doc(), 30) != 1) {
    std::fprintf(stderr, "kv_screenshots: the marker was not found\n");
    return false;
  }
  parts->Doc().Select(0);
  bool ok = Save(frame.get(), out + "/markers.png");
  authoring::BatchDialog dialog(QStringLiteral("/home/shop/photos/2024-05-10"),
                                QStringLiteral("/home/shop/photos/2024-05-10/kvi"), 50, true,
                                frame.get());
  dialog.show();
  ok = Save(&dialog, out + "/batch.png") && ok;
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kv_screenshots OUTPUT_FOLDER PROGRAM_FOLDER\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  shell::InstallQtJapanese(app);
  const QString out = QString::fromLocal8Bit(argv[1]);
  std::string bin = argv[2];
  if (!bin.empty() && bin.back() != '/') bin += '/';
  QDir().mkpath(out);
  QTemporaryDir temp;
  if (!temp.isValid()) return 1;
  const bool ok = Viewer(out, bin, temp.path()) && Authoring(out, bin, temp.path()) &&
                  Markers(out, bin, temp.path());
  return ok ? 0 : 1;
}
