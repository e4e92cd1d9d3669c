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
#include <cstdio>
#include <memory>

#include "authoring/widgets/kovasand_parts.h"
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
  const bool ok = Viewer(out, bin, temp.path()) && Authoring(out, bin, temp.path());
  return ok ? 0 : 1;
}
