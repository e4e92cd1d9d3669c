#include "viewer/widgets/kovalindra_parts.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QScreen>
#include <QFileDialog>
#include <QMainWindow>
#include <QPrintDialog>
#include <QPrinter>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTimer>
#include <cmath>

#include "foundation/core/util/file_io.h"
#include "platform/file_dialog.h"
#include "platform/qt_text.h"
#include "print/print_page.h"
#include "resources/viewer/commands.h"
#include "viewer/model/adjust.h"
#include "viewer/widgets/adjust_dialog.h"
#include "viewer/widgets/display_size_dialog.h"
#include "viewer/widgets/toolbox_window.h"
#include "viewer/widgets/view_widget.h"

namespace kv::viewer {
namespace {

platform::Services MakeServices(shell::AppContext& context, const PartsOptions& options) {
  platform::Services s = context.Services();
  if (options.messages) s.messages = options.messages;
  return s;
}

}  // namespace

std::unique_ptr<QFileDialog> MakePhotoOpenDialog(QWidget* parent, const QString& folder) {
  auto dialog = std::make_unique<QFileDialog>(parent, QString::fromUtf8("実寸情報ﾌｧｲﾙを選択"),
                                              folder, QString::fromUtf8("kviﾌｧｲﾙ(*.kvi);;全ﾌｧｲﾙ(*)"));
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setOption(QFileDialog::ReadOnly, true);
  dialog->setDefaultSuffix("kvi");
  platform::NameFileTypes(*dialog, {{"kvi", QString::fromUtf8("kviﾌｧｲﾙ")}});
  // The name line starts as the pattern, as the dialog always has.
  dialog->selectFile("*.kvi");
  return dialog;
}

SettingsLocation DefaultSettingsLocation(const shell::AppContext& context) {
  QString user = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
  if (!user.isEmpty() && !user.endsWith('/')) user += '/';
  return SettingsLocation{context.ProgramFolder(), platform::QStringToUtf8(user)};
}

KovalindraParts::KovalindraParts(shell::AppContext& context, PartsOptions options)
    : context_(context),
      options_(std::move(options)),
      services_(MakeServices(context, options_)),
      doc_(services_, options_.settings ? *options_.settings : DefaultSettingsLocation(context)) {
  doc_.onOpened = [this](const std::string& path) {
    SetToolboxCaption(path);
    context_.DocumentOpened(path);
  };
  doc_.onOpenFailed = [this](const std::string& path) { context_.DocumentNotOpened(path); };
}

KovalindraParts::~KovalindraParts() {
  // The widget's view model is registered with the document: it goes first.
  delete widget_.data();
}

KovalindraView& KovalindraParts::View() { return widget_->Model(); }
ToolboxWindow* KovalindraParts::Toolbox() { return toolbox_.data(); }

QWidget* KovalindraParts::CreateView(QWidget* parent) {
  widget_ = new KovalindraViewWidget(doc_, context_, parent);
  return widget_;
}

void KovalindraParts::OnFrameCreated() {
  if (!widget_) return;
  KovalindraView& v = widget_->Model();
  ToolboxWindow::Hooks hooks;
  hooks.runCommand = [this](int id) { context_.DispatchCommand(id); };
  hooks.isFullScreen = [this] { return context_.IsFullScreen(); };
  hooks.hiddenByUser = [this, &v] {
    v.SetToolboxShown(false);
    context_.UpdateCommandUi();
  };
  hooks.viewChanged = [this] { context_.UpdateCommandUi(); };
  hooks.returnKeys = [this] {
    QWidget* frame = context_.MainWindow();
    if (!widget_ || !frame || !frame->isVisible()) return;
    frame->activateWindow();
    widget_->setFocus(Qt::OtherFocusReason);
  };
  toolbox_ = new ToolboxWindow(doc_, v, std::move(hooks), context_.MainWindow());
  widget_->onShowToolbox = [this](bool shown) {
    if (!toolbox_) return;
    if (!shown) {
      toolbox_->hide();
      return;
    }
    if (!toolbox_->Placed()) toolbox_->Place(services_.profile, context_.MainWindow()->frameGeometry());
    toolbox_->show();
    toolbox_->Refresh();
  };
  widget_->onRepaint = [this] {
    if (toolbox_ && toolbox_->isVisible()) toolbox_->Refresh();
  };
  widget_->onTitleChanged = [this] {
    const auto& folder = doc_.Folder();
    if (doc_.FolderIndex() < folder.size()) SetToolboxCaption(folder[doc_.FolderIndex()].name);
  };
}

void KovalindraParts::OnFrameClosing() {
  if (toolbox_) toolbox_->SavePlacement(services_.profile);
}

void KovalindraParts::SetToolboxCaption(const std::string& utf8) {
  if (toolbox_) toolbox_->setWindowTitle(platform::Utf8ToQString(utf8));
}

bool KovalindraParts::OnNewDocument() {
  if (!initialised_ && widget_) {
    widget_->Model().OnInitialUpdate();
    initialised_ = true;
    SetToolboxCaption("");
  }
  return true;
}

bool KovalindraParts::OnOpenDocument(const std::string& path) {
  // The view is set up once; the file's photo is placed when it arrives.
  if (!initialised_ && widget_) widget_->Model().OnInitialUpdate();
  initialised_ = true;
  return doc_.OpenDocument(path);
}

void KovalindraParts::Adjust(bool brightness) {
  KovalindraView& v = widget_->Model();
  const QString prompt = QString::fromUtf8(brightness ? "明るさを調整して下さい。"
                                                      : "ｺﾝﾄﾗｽﾄを調整して下さい。");
  // The photo follows the slider; the view keeps the values, never the file.
  auto preview = [&v, brightness](int value) {
    brightness ? v.SetAdjustment(value, v.Contrast()) : v.SetAdjustment(v.Brightness(), value);
  };
  AdjustDialog dialog(prompt, brightness ? v.Brightness() : v.Contrast(), preview,
                      context_.MainWindow());
  if (options_.onAdjustDialog) {
    QTimer::singleShot(0, &dialog, [this, &dialog] { options_.onAdjustDialog(dialog); });
  }
  dialog.exec();
}

void KovalindraParts::OpenWithDialog() {
  std::optional<std::string> chosen;
  if (options_.chooseFile) {
    chosen = options_.chooseFile();
  } else {
    // Photos are looked through folder by folder: start in the one on show.
    const QString shown = platform::Utf8ToQString(doc_.PathName());
    const QString start = shown.isEmpty() ? QString() : QFileInfo(shown).absolutePath();
    std::unique_ptr<QFileDialog> dialog = MakePhotoOpenDialog(context_.MainWindow(), start);
    if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
      chosen = platform::QStringToUtf8(dialog->selectedFiles().first());
  }
  if (!chosen || chosen->empty()) return;
  const QString full = QFileInfo(platform::Utf8ToQString(*chosen)).absoluteFilePath();
  const std::string path = platform::QStringToUtf8(full);
  // Title and recent list follow once the file really opened (onOpened).
  OnOpenDocument(path);
}

void KovalindraParts::StartCustomCalibration() {
  std::optional<int32_t> length;
  if (options_.askLength) {
    length = options_.askLength();
  } else {
    DisplaySizeDialog dialog(services_.messages, context_.MainWindow());
    if (dialog.exec() == QDialog::Accepted) length = dialog.SizeMm();
  }
  if (!length || !MakeRoomForCalibration(*length)) return;
  doc_.BeginCustomCalibration(*length);
}

bool KovalindraParts::MakeRoomForCalibration(int32_t lengthMm) {
  if (!widget_) return false;
  // The density real size uses on this screen: its own calibration, else
  // the screen's report or the program's fallback.
  const DisplayCalibration& cal = doc_.Calibration();
  const std::optional<double> stored = ScreenMillimetresPerPixel(cal);
  const double mmPerPixel =
      stored && !IsUncalibrated(cal) ? *stored : widget_->Model().ScreenEstimate();
  const int32_t needed = CalibrationWidthNeeded(lengthMm, mmPerPixel);
  const int32_t have = widget_->DeviceSize().width();
  if (needed <= have || !services_.messages) return true;
  const std::string text = "ﾓﾆﾀｰ設定には、ｳｨﾝﾄﾞｩの幅が約" + std::to_string(needed) +
                           "ﾄﾞｯﾄ必要です(いまは" + std::to_string(have) +
                           "ﾄﾞｯﾄ)。\rｳｨﾝﾄﾞｩを最大化しますか?\r"
                           "画面に収まらない場合は、任意ｻｲｽﾞで短い長さを指定して下さい。\r"
                           "(Escｷｰでﾓﾆﾀｰ設定を中止します)";
  switch (services_.messages->Show(text, platform::MsgIcon::Question,
                                   platform::MsgButtons::YesNoCancel)) {
    case platform::MsgResult::Yes:
      context_.MainWindow()->showMaximized();
      QApplication::processEvents();  // the view takes its new size before the guide is drawn
      return true;
    case platform::MsgResult::No: return true;
    default:
      context_.SetStatusPaneText(0, QString::fromUtf8(text::kCalibrationCancelled));
      return false;
  }
}

bool KovalindraParts::CheckPrintable(const std::string& what) {
  const print::RegistrationScale s = print::ScaleOf(doc_.File().registrations, doc_.currentPoint);
  if (s.refusal == print::Refusal::kNone) return true;
  doc_.Tell(what + "\r" + print::RefusalText(s.refusal), platform::MsgIcon::Warning);
  return false;
}

print::RealSizeRequest KovalindraParts::PrintRequest() {
  const QFileInfo shown(platform::Utf8ToQString(doc_.PathName()));
  print::RealSizeRequest r;
  r.file = doc_.SharedFile();
  r.fileName = shown.fileName().isEmpty() ? doc_.Title() : platform::QStringToUtf8(shown.fileName());
  r.registration = doc_.currentPoint;
  // The part of the photo the user is looking at; the monitor's scale
  // plays no part on paper.
  const ViewScale& s = widget_->Model().Scale();
  if (s.HasScale() && s.photoWidth > 0 && s.photoHeight > 0) {
    // The point in the middle of the window, not the middle of the visible
    // part: with white around the photo the two differ.
    r.centreX = int32_t(std::lround(s.WindowCentrePhotoX()));
    r.centreY = int32_t(std::lround(s.WindowCentrePhotoY()));
  }
  return r;
}

namespace {

// A printer told to print to a file writes it as every file is written:
// the page goes to a temporary file, whose bytes then replace the chosen
// file through the one helper (a link kept and its target written, a
// read-only file refused and left as it was).
print::PrintOutcome PrintOnPrinter(QPrinter& printer, const print::RealSizeRequest& request) {
  const QString target = printer.outputFileName();
  if (target.isEmpty()) return print::PrintRealSize(printer, request);
  QTemporaryFile temp(QDir::tempPath() + "/kovalindra_print_XXXXXX.pdf");
  print::PrintOutcome r;
  if (!temp.open()) {
    r.failure = "一時ﾌｧｲﾙを作れませんでした";
    return r;
  }
  temp.close();
  printer.setOutputFileName(temp.fileName());
  r = print::PrintRealSize(printer, request);
  printer.setOutputFileName(target);
  if (!r.Done()) return r;
  std::vector<uint8_t> bytes;
  std::string reason;
  if (!ReadWholeFile(platform::QStringToUtf8(temp.fileName()), bytes, reason) ||
      !WriteFileAtomically(platform::QStringToUtf8(target), bytes, reason))
    r.failure = reason;
  return r;
}

}  // namespace

void KovalindraParts::Print() {
  const std::string cannot = "実寸で印刷できません。";
  if (!CheckPrintable(cannot)) return;
  const print::RealSizeRequest request = PrintRequest();
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageSize(QPageSize(QPageSize::A4));
  // Offered on its side when that shows more of the photo; the dialog has
  // the last word on sheet and orientation.
  printer.setPageOrientation(print::PrefersLandscape(request, print::PaperSize::kA4)
                                 ? QPageLayout::Landscape
                                 : QPageLayout::Portrait);
  printer.setDocName(platform::Utf8ToQString(request.fileName));
  printer.setCreator(QStringLiteral("Kovalindra"));
  if (options_.setUpPrinter) {
    if (!options_.setUpPrinter(printer)) return;
  } else {
    QPrintDialog dialog(&printer, context_.MainWindow());
    dialog.setWindowTitle(QString::fromUtf8("印刷"));
    // One page: nothing to choose among.
    dialog.setMinMax(1, 1);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    if (dialog.exec() != QDialog::Accepted) return;
  }
  platform::WaitCursor wait;
  const print::PrintOutcome r = PrintOnPrinter(printer, request);
  if (r.refusal != print::Refusal::kNone) {
    doc_.Tell(cannot + "\r" + print::RefusalText(r.refusal), platform::MsgIcon::Warning);
  } else if (!r.failure.empty()) {
    doc_.Tell("印刷できませんでした。\r(" + r.failure + ")", platform::MsgIcon::Warning);
  } else {
    context_.SetStatusPaneText(0, QString::fromUtf8("実寸で印刷しました。"));
  }
}

void KovalindraParts::ExportPdf() {
  const std::string cannot = "PDFに出力できません。";
  if (!CheckPrintable(cannot)) return;
  std::optional<std::string> chosen;
  if (options_.choosePdfPath) {
    chosen = options_.choosePdfPath();
  } else {
    // Beside the photo, named after it.
    const QFileInfo shown(platform::Utf8ToQString(doc_.PathName()));
    const QString base = shown.completeBaseName().isEmpty()
                             ? QFileInfo(platform::Utf8ToQString(doc_.Title())).completeBaseName()
                             : shown.completeBaseName();
    const QString suggested =
        (doc_.PathName().empty() ? QString() : shown.absolutePath() + "/") + base + ".pdf";
    QFileDialog dialog(context_.MainWindow(), QString::fromUtf8("PDFに出力"), suggested,
                       QString::fromUtf8("PDFﾌｧｲﾙ(*.pdf);;全ﾌｧｲﾙ(*)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix("pdf");
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      chosen = platform::QStringToUtf8(dialog.selectedFiles().first());
  }
  if (!chosen || chosen->empty()) return;
  const QString full = QFileInfo(platform::Utf8ToQString(*chosen)).absoluteFilePath();
  const std::string path = platform::QStringToUtf8(full);
  platform::WaitCursor wait;
  const print::PrintOutcome r =
      print::WriteRealSizePdf(PrintRequest(), print::PaperSize::kA4, path);
  if (r.refusal != print::Refusal::kNone) {
    doc_.Tell(cannot + "\r" + print::RefusalText(r.refusal), platform::MsgIcon::Warning);
  } else if (!r.failure.empty()) {
    doc_.Tell("PDFﾌｧｲﾙを保存できませんでした。\r" + path + "\r(" + r.failure + ")",
              platform::MsgIcon::Warning);
  } else {
    context_.SetStatusPaneText(
        0, QString::fromUtf8("実寸でPDFに出力しました: ") + QFileInfo(full).fileName());
  }
}

bool KovalindraParts::OnCommand(int id) {
  if (!widget_) return false;
  KovalindraView& v = widget_->Model();
  switch (id) {
    case cmd::kZoomIn: v.ZoomIn(); return true;
    case cmd::kZoomOut: v.ZoomOut(); return true;
    case cmd::kRealSize: v.ShowRealSize(); return true;
    case cmd::kShowWhole: v.ShowWhole(); return true;
    case cmd::kNextPoint: v.StepRealSizePoint(-1); return true;
    case cmd::kPrevPoint: v.StepRealSizePoint(+1); return true;
    case cmd::kNextImage: v.StepPhoto(+1); return true;
    case cmd::kPrevImage: v.StepPhoto(-1); return true;
    case cmd::kOpenWithDialog: OpenWithDialog(); return true;
    case cmd::kSizeInfo: v.ToggleGuides(); return true;
    case cmd::kDisplaySettings: v.ToggleCalibrationMarks(); return true;
    case cmd::kA4Size:
      if (MakeRoomForCalibration(kA4WidthMm)) doc_.BeginA4Calibration();
      return true;
    case cmd::kCustomSize: StartCustomCalibration(); return true;
    case cmd::kPrint: Print(); return true;
    case cmd::kExportPdf: ExportPdf(); return true;
    case cmd::kMouseScroll:
      doc_.mouseMode = kMouseScroll;
      doc_.NotifyViews("", code::kRepaint);
      return true;
    case cmd::kMouseZoom:
      doc_.mouseMode = kMouseZoom;
      doc_.NotifyViews("", code::kRepaint);
      return true;
    case cmd::kMouseMeasure:
      doc_.mouseMode = kMouseMeasure;
      doc_.NotifyViews("", code::kRepaint);
      return true;
    case cmd::kEditCopy:
      if (const std::optional<std::string> t = v.LastMeasureText())
        QGuiApplication::clipboard()->setText(platform::Utf8ToQString(*t));
      return true;
    case cmd::kToolbox: v.ToggleToolbox(); return true;
    case cmd::kBrightness: Adjust(true); return true;
    case cmd::kContrast: Adjust(false); return true;
    case cmd::kFullScreen:
      if (!context_.IsFullScreen()) {
        v.KeepCentreThroughResize();
        context_.EnterFullScreen();
      }
      if (toolbox_) toolbox_->Refresh();
      return true;
    case cmd::kWindowed:
      if (context_.IsFullScreen()) {
        v.KeepCentreThroughResize();
        context_.LeaveFullScreen();
      }
      if (toolbox_) toolbox_->Refresh();
      return true;
    default: return false;
  }
}

bool KovalindraParts::OnUpdateCommand(int id, shell::CommandUi& ui) {
  if (!widget_) return false;
  KovalindraView& v = widget_->Model();
  ui = shell::CommandUi{};
  switch (id) {
    // Zooming in is offered for as long as the scale table has a step.
    case cmd::kZoomIn: ui.enabled = v.CanZoomIn(); return true;
    case cmd::kZoomOut: ui.enabled = v.CanZoomOut(); return true;
    // Real size needs a registration that gives one; without any the photo
    // is never shown under that name.
    case cmd::kRealSize:
      ui.enabled = v.HasRealSize();
      ui.checked = v.IsRealSize();
      return true;
    case cmd::kShowWhole: ui.checked = v.IsWhole(); return true;
    case cmd::kNextPoint:
    case cmd::kPrevPoint: ui.enabled = !doc_.Registrations().empty(); return true;
    case cmd::kOpenWithDialog: return true;
    // Offered for any photo: one that cannot be put on paper is refused
    // with the reason, which a greyed item could not say.
    case cmd::kPrint:
    case cmd::kExportPdf: ui.enabled = doc_.HasFile(); return true;
    case cmd::kToolbox: ui.checked = v.toolboxShown; return true;
    case cmd::kBrightness:
    case cmd::kContrast: return true;
    case cmd::kNextImage:
    case cmd::kPrevImage: ui.enabled = doc_.Folder().size() > 1; return true;
    case cmd::kSizeInfo: ui.checked = v.showGuides; return true;
    case cmd::kDisplaySettings: ui.checked = v.showCalibrationMarks; return true;
    case cmd::kA4Size:
    case cmd::kCustomSize: ui.checked = doc_.CalibrationPending(); return true;
    case cmd::kMouseScroll: ui.checked = doc_.mouseMode == kMouseScroll; return true;
    case cmd::kMouseZoom: ui.checked = doc_.mouseMode == kMouseZoom; return true;
    case cmd::kMouseMeasure: ui.checked = doc_.mouseMode == kMouseMeasure; return true;
    case cmd::kEditCopy: ui.enabled = v.LastMeasureText().has_value(); return true;
    case cmd::kFullScreen: ui.checked = context_.IsFullScreen(); return true;
    case cmd::kWindowed: ui.checked = !context_.IsFullScreen(); return true;
    default: return false;
  }
}

std::unique_ptr<shell::ProgramParts> CreateKovalindraPartsWith(shell::AppContext& context,
                                                               PartsOptions options) {
  return std::make_unique<KovalindraParts>(context, std::move(options));
}

}  // namespace kv::viewer

namespace kv::shell {
std::unique_ptr<ProgramParts> CreateKovalindraParts(AppContext& context) {
  return viewer::CreateKovalindraPartsWith(context, viewer::PartsOptions{});
}
}  // namespace kv::shell
