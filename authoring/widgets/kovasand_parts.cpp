#include "authoring/widgets/kovasand_parts.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QStandardPaths>
#include <QTimer>
#include <cmath>
#include <filesystem>

#include "authoring/widgets/dialogs.h"
#include "authoring/widgets/marker_batch_dialogs.h"
#include "authoring/widgets/preview_opener.h"
#include "authoring/widgets/view_widget.h"
#include "foundation/core/util/geometry.h"
#include "platform/qt_text.h"
#include "resources/authoring/commands.h"
#include "web/publish/web_folder.h"

namespace kv::authoring {
namespace {

platform::Services MakeServices(shell::AppContext& context, const PartsOptions& options) {
  platform::Services s = context.Services();
  if (options.messages) s.messages = options.messages;
  return s;
}

}  // namespace

QString WithKviExtension(const QString& path) {
  if (path.isEmpty()) return path;
  const QString name = QFileInfo(path).fileName();
  // ".name" is a hidden file without an extension.
  const qsizetype dot = name.lastIndexOf('.');
  if (dot > 0 && dot + 1 < name.size()) return path;
  return (name.endsWith('.') ? path.left(path.size() - 1) : path) + ".kvi";
}

// Beside an installed program (a folder nobody may write) the logo and link
// the user sets go to their own configuration folder.
std::string UserConfigFolder() {
  QString user = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
  if (!user.isEmpty() && !user.endsWith('/')) user += '/';
  return platform::QStringToUtf8(user);
}

KovasandParts::KovasandParts(shell::AppContext& context, PartsOptions options)
    : context_(context),
      options_(std::move(options)),
      services_(MakeServices(context, options_)),
      doc_(services_, options_.programFolder.empty() ? context.ProgramFolder() : options_.programFolder,
           options_.tempRoot,
           options_.programFolder.empty() ? UserConfigFolder() : options_.userFolder) {
  doc_.AddView(this);
}

void KovasandParts::OnNotify(const std::string&, int code) {
  if (code == code::kListChanged) context_.UpdateCommandUi();
  // A photo came or went (imported, chosen again, undone).
  if (code == code::kDisplay) ShowScale();
}

KovasandParts::~KovasandParts() {
  doc_.RemoveView(this);
  // The widget's view model is registered with the document: it goes first.
  delete widget_.data();
}

QWidget* KovasandParts::CreateView(QWidget* parent) {
  widget_ = new KovasandViewWidget(doc_, context_, parent);
  if (options_.askLength) widget_->SetAskLength(options_.askLength);
  // The wheel and keys change the scale too, not only the menu.
  QObject::connect(widget_, &KovasandViewWidget::ScaleChanged, widget_, [this](double) {
    ShowScale();
    context_.UpdateCommandUi();
  });
  return widget_;
}

void KovasandParts::ShowScale() {
  const bool photo = widget_ && doc_.HasPhoto();
  context_.SetStatusPaneText(
      kScalePane, photo ? QString::fromUtf8("表示倍率 %1%").arg(std::lround(widget_->Scale() * 100))
                        : QString());
}

std::string KovasandParts::SuggestedSavePath() {
  // Beside the photo, named after it.
  if (doc_.jpegPath.empty()) return {};
  const QFileInfo photo(platform::Utf8ToQString(doc_.jpegPath));
  return platform::QStringToUtf8(photo.absolutePath() + "/" + photo.completeBaseName() + ".kvp");
}

void KovasandParts::InitialUpdate() {
  if (!widget_) return;
  widget_->EnsureToolWindows();
  // The tool windows are windows of their own: the frame's keys (undo and
  // redo above all) must work while one of them is active too.
  for (QAction* a : context_.MainWindow()->actions()) {
    if (a->shortcut().isEmpty()) continue;
    if (NaviWindow* navi = widget_->Navigator()) navi->addAction(a);
    if (PartsListWindow* list = widget_->List()) list->addAction(a);
  }
  if (PartsListWindow* list = widget_->List()) {
    list->onEditLength = [this](size_t i) { EditLength(i); };
    list->onChanged = [this] { context_.UpdateCommandUi(); };
  }
  widget_->Model().SetTellsMissingPhoto(false);
  widget_->Model().OnInitialUpdate();
  ShowScale();
  context_.UpdateCommandUi();
  // After the frame has taken the project as opened (and cleared its
  // modified flag): a project mended while read stays to be saved, and a
  // missing photo may be chosen again.
  const int update = ++initialUpdates_;
  QTimer::singleShot(0, widget_, [this, update] {
    if (update != initialUpdates_) return;  // another document came since
    if (doc_.DiffersFromSaved()) doc_.SetModifiedFlag(true);
    if (doc_.PhotoMissing()) OfferLocatePhoto();
    context_.UpdateCommandUi();
  });
}

void KovasandParts::OfferLocatePhoto() {
  const std::string ask = doc_.jpegPath + text::kPhotoNotFound +
                          "\r写真の場所を指定しますか?\r"
                          "(後で「ﾌｧｲﾙ」→「写真の場所を指定...」でも指定できます)";
  if (services_.messages &&
      services_.messages->Show(ask, platform::MsgIcon::Question, platform::MsgButtons::YesNo) ==
          platform::MsgResult::Yes)
    LocatePhoto();
}

std::optional<std::string> KovasandParts::ChoosePhoto(const QString& title) {
  std::optional<std::string> chosen;
  if (options_.chooseJpeg) {
    chosen = options_.chooseJpeg();
  } else {
    QFileDialog dialog(context_.MainWindow(), title, WorkFolder(),
                       QString::fromUtf8("写真ﾌｧｲﾙ(*.jpg *.jpeg *.heic *.heif *.png);;全ﾌｧｲﾙ(*)"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::ReadOnly, true);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      chosen = platform::QStringToUtf8(dialog.selectedFiles().first());
  }
  if (!chosen || chosen->empty()) return std::nullopt;
  return platform::QStringToUtf8(QFileInfo(platform::Utf8ToQString(*chosen)).absoluteFilePath());
}

void KovasandParts::LocatePhoto() {
  const std::optional<std::string> chosen = ChoosePhoto(QString::fromUtf8("写真の場所を指定"));
  if (!chosen) return;
  platform::WaitCursor wait;
  doc_.LocatePhoto(*chosen);
  context_.UpdateCommandUi();
}

QString KovasandParts::WorkFolder() const {
  const std::string& base = !doc_.PathName().empty() ? doc_.PathName() : doc_.jpegPath;
  return base.empty() ? QString() : QFileInfo(platform::Utf8ToQString(base)).absolutePath();
}

void KovasandParts::EditLength(size_t index) {
  if (index >= doc_.registrations.size()) return;
  const SizeRegistration r = doc_.registrations[index];
  const int32_t imagePx =
      int32_t(PointDistance(r.startX, r.startY, r.endX, r.endY));
  std::optional<int32_t> length;
  if (options_.askEditLength) {
    length = options_.askEditLength(imagePx, r.lengthMm);
  } else {
    SizeDoneDialog dialog(imagePx, services_.messages, context_.MainWindow(), r.lengthMm);
    if (dialog.exec() == QDialog::Accepted) length = dialog.MeasuredMm();
  }
  if (length) doc_.SetRegistrationLength(index, *length);
  context_.UpdateCommandUi();
}

void KovasandParts::EditProgramFiles() {
  // Read again: another run may have changed them since.
  doc_.LoadSettings();
  doc_.LoadLogo();
  QString link =
      platform::Cp932ToQString(doc_.link).value_or(QString::fromLatin1(doc_.link.c_str()));
  QImage logo = LogoFromRgb(doc_.logoBytes, doc_.cx, doc_.cy);
  // A save that fails brings the dialog back with what the user gave.
  for (;;) {
    ProgramFilesDialog dialog(link, logo, services_.messages, context_.MainWindow());
    if (options_.onProgramFilesDialog)
      QTimer::singleShot(0, &dialog, [this, &dialog] { options_.onProgramFilesDialog(dialog); });
    if (dialog.exec() != QDialog::Accepted) return;
    link = dialog.Link();
    logo = dialog.Logo();
    if (doc_.SaveProgramFiles(platform::QStringToUtf8(dialog.Link()), dialog.Logo().width(),
                              dialog.Logo().height(), dialog.LogoRgb())) {
      context_.SetStatusPaneText(0, QString::fromUtf8("ﾛｺﾞとﾘﾝｸ先を保存しました"));
      return;
    }
  }
}

bool KovasandParts::OnNewDocument() {
  if (!doc_.OnNewDocument()) return false;
  InitialUpdate();
  return true;
}

bool KovasandParts::OnOpenDocument(const std::string& path) {
  if (!doc_.OnOpenDocument(path)) return false;
  InitialUpdate();
  return true;
}

bool KovasandParts::OnSaveDocument(const std::string& path) { return doc_.OnSaveDocument(path); }

void KovasandParts::OnFrameClosing() {
  if (!widget_) return;
  widget_->SaveToolWindowPlacement();
  // The tool windows go with the frame: left showing, they would keep the
  // program running with nothing that can close them.
  if (NaviWindow* navi = widget_->Navigator()) navi->hide();
  if (PartsListWindow* list = widget_->List()) list->hide();
}

void KovasandParts::ImportJpeg() {
  const std::optional<std::string> chosen = ChoosePhoto(QString::fromUtf8("写真ﾌｧｲﾙを選択"));
  if (!chosen) return;
  platform::WaitCursor wait;
  doc_.ImportJpeg(*chosen);
  context_.UpdateCommandUi();
}

std::optional<std::string> KovasandParts::AskKviPath() {
  QString path;
  if (options_.chooseKviPath) {
    const std::optional<std::string> chosen = options_.chooseKviPath();
    if (!chosen) return std::nullopt;
    path = platform::Utf8ToQString(*chosen);
  } else {
    // Beside the project, named after the photo.
    QString suggested = WorkFolder();
    if (!doc_.jpegName.empty()) {
      const QString stem = QFileInfo(platform::Utf8ToQString(doc_.jpegName)).completeBaseName();
      suggested = (suggested.isEmpty() ? QString() : suggested + "/") + stem + ".kvi";
    }
    QFileDialog dialog(context_.MainWindow(), QString::fromUtf8("出力KVIﾌｧｲﾙ名の指定"), suggested,
                       QString::fromUtf8("kviﾌｧｲﾙ(*.kvi);;全ﾌｧｲﾙ(*)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix("kvi");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    path = dialog.selectedFiles().first();
  }
  if (path.isEmpty()) return std::nullopt;
  const QString completed = WithKviExtension(QFileInfo(path).absoluteFilePath());
  // The dialog asked about the name as typed; a name it completed is asked
  // about here.
  if (completed != QFileInfo(path).absoluteFilePath() && QFileInfo::exists(completed) &&
      services_.messages) {
    const platform::MsgResult answer = services_.messages->Show(
        platform::QStringToUtf8(QFileInfo(completed).fileName()) +
            " は既に存在します。\r上書きしますか?",
        platform::MsgIcon::Warning, platform::MsgButtons::YesNo);
    if (answer != platform::MsgResult::Yes) return std::nullopt;
  }
  return platform::QStringToUtf8(completed);
}

void KovasandParts::Publish() {
  if (!doc_.CheckPublishable()) return;
  if (doc_.UsesDefaultLink() && !remindedOfLink_) {
    // Once a run: every published file carries this address.
    remindedOfLink_ = true;
    doc_.Tell(std::string("ﾛｺﾞのﾘﾝｸ先が初期設定の ") + kDefaultLogoLink +
                  " のままです。\r「出版」→「ﾛｺﾞとﾘﾝｸ先の設定」で、あなたのﾎｰﾑﾍﾟｰｼﾞなどに"
                  "変更して下さい。",
              platform::MsgIcon::Information);
  }
  const QString link =
      platform::Cp932ToQString(doc_.link).value_or(QString::fromLatin1(doc_.link.c_str()));
  bool confirmed = false;
  if (options_.confirmLink) {
    confirmed = options_.confirmLink(link);
  } else {
    LogoLinkDialog dialog(link, context_.MainWindow());
    confirmed = dialog.exec() == QDialog::Accepted;
  }
  if (!confirmed) return;
  const std::optional<std::string> path = AskKviPath();
  if (!path) return;
  platform::WaitCursor wait;
  if (doc_.WriteKvi(*path))
    context_.SetStatusPaneText(0, QString::fromUtf8("出力しました: ") + platform::Utf8ToQString(*path));
}

// The same file in a folder with the page that shows it at real size in a
// browser; files already in the folder are replaced only when the user says so.
void KovasandParts::PublishWeb() {
  if (!doc_.CheckPublishable()) return;
  std::optional<std::string> folder;
  if (options_.chooseWebFolder) {
    folder = options_.chooseWebFolder();
  } else {
    const QString chosen = QFileDialog::getExistingDirectory(
        context_.MainWindow(), QString::fromUtf8("Webﾍﾟｰｼﾞの出力先ﾌｫﾙﾀﾞ"));
    if (!chosen.isEmpty()) folder = platform::QStringToUtf8(chosen);
  }
  if (!folder) return;
  std::string stem = std::filesystem::path(doc_.jpegName).stem().string();
  const std::string name = (stem.empty() ? std::string("photo") : stem) + ".kvi";
  const std::vector<std::string> existing = web::ExistingFiles(*folder, name);
  if (!existing.empty() && services_.messages) {
    std::string list;
    for (size_t i = 0; i < existing.size() && i < 5; ++i) list += existing[i] + "\r";
    if (existing.size() > 5) list += "...\r";
    const platform::MsgResult answer = services_.messages->Show(
        "出力先のﾌｫﾙﾀﾞに同じ名前のﾌｧｲﾙがあります。\r" + list + "上書きしますか?",
        platform::MsgIcon::Warning, platform::MsgButtons::YesNo);
    if (answer != platform::MsgResult::Yes) return;
  }
  platform::WaitCursor wait;
  std::string reason;
  const std::optional<ActualSizeFile> file = doc_.MakeActualSizeFile(reason);
  if (!file || !web::PublishWebFolder(*folder, name, SerializeActualSizeFile(*file), true, reason)) {
    doc_.Tell(std::string(text::kWriteError) + "\r" + *folder + "\r(" + reason + ")",
              platform::MsgIcon::Warning);
    return;
  }
  context_.SetStatusPaneText(
      0, QString::fromUtf8("出力しました: ") + platform::Utf8ToQString(*folder + "/index.html"));
}

void KovasandParts::Preview() {
  if (doc_.PhotoMissing()) {
    // The viewer would open on nothing.
    doc_.Tell(doc_.jpegPath + " が見つからないため、ﾌﾟﾚﾋﾞｭｰできません。\r"
                              "「ﾌｧｲﾙ」→「写真の場所を指定...」で写真を指定して下さい。",
              platform::MsgIcon::Warning);
    return;
  }
  std::optional<std::string> path;
  {
    platform::WaitCursor wait;
    path = doc_.WritePreview();
  }
  if (!path) return;
  bool opened = false;
  if (options_.openPreview) {
    opened = options_.openPreview(*path);
  } else {
    PreviewRoute route;
    route.shell = context_.Services().shell;
    route.viewerPath = context_.ProgramFolder() + "Kovalindra";
    opened = OpenPreviewFile(*path, route);
  }
  if (!opened)
    doc_.Tell("ﾌﾟﾚﾋﾞｭｰを表示できませんでした。kviﾌｧｲﾙを開くﾌﾟﾛｸﾞﾗﾑ(Kovalindra)が見つかりません。\r" +
                  *path,
              platform::MsgIcon::Warning);
}

bool KovasandParts::OnCommand(int id) {
  switch (id) {
    case cmd::kImportJpeg: ImportJpeg(); return true;
    case cmd::kLocatePhoto: LocatePhoto(); return true;
    case cmd::kRegisterSize:
      doc_.BeginRegistration();
      context_.UpdateCommandUi();
      return true;
    case cmd::kPublish: Publish(); return true;
    case cmd::kPublishWeb: PublishWeb(); return true;
    case cmd::kPreview: Preview(); return true;
    case cmd::kProgramFiles: EditProgramFiles(); return true;
    case cmd::kRegisterByMarker: RegisterByMarkersCommand(doc_, context_, services_); return true;
    case cmd::kMarkerSheet: MarkerSheetCommand(doc_, context_, services_); return true;
    case cmd::kFolderBatch: FolderBatchCommand(doc_, context_, services_); return true;
    case cmd::kEditUndo: doc_.Undo(); return true;
    case cmd::kEditRedo: doc_.Redo(); return true;
    case cmd::kEditLength:
      if (doc_.selectedIndex >= 0) EditLength(size_t(doc_.selectedIndex));
      return true;
    case cmd::kZoomIn:
      if (widget_) widget_->ZoomIn();
      return true;
    case cmd::kZoomOut:
      if (widget_) widget_->ZoomOut();
      return true;
    case cmd::kZoomFit:
      if (widget_) widget_->ZoomFit();
      return true;
    case cmd::kZoomActual:
      if (widget_) widget_->ZoomActual();
      return true;
    default: return false;
  }
}

bool KovasandParts::OnUpdateCommand(int id, shell::CommandUi& ui) {
  ui = shell::CommandUi{};
  switch (id) {
    case cmd::kImportJpeg:
    case cmd::kPublish:
    case cmd::kPublishWeb:
    case cmd::kPreview: return true;
    case cmd::kRegisterSize:
      ui.checked = doc_.drawMode == kDrawStart || doc_.drawMode == kDrawEnd;
      return true;
    case cmd::kProgramFiles:
    case cmd::kMarkerSheet:
    case cmd::kFolderBatch: return true;
    case cmd::kLocatePhoto: ui.enabled = doc_.PhotoMissing(); return true;
    case cmd::kRegisterByMarker: ui.enabled = doc_.HasPhoto(); return true;
    case cmd::kEditUndo: ui.enabled = doc_.CanUndo(); return true;
    case cmd::kEditRedo: ui.enabled = doc_.CanRedo(); return true;
    case cmd::kEditLength:
      ui.enabled = doc_.selectedIndex >= 0 && size_t(doc_.selectedIndex) < doc_.registrations.size();
      return true;
    case cmd::kZoomIn: ui.enabled = widget_ && widget_->Model().CanZoomIn(); return true;
    case cmd::kZoomOut: ui.enabled = widget_ && widget_->Model().CanZoomOut(); return true;
    case cmd::kZoomFit:
    case cmd::kZoomActual: ui.enabled = doc_.HasPhoto(); return true;
    default: return false;
  }
}

std::unique_ptr<shell::ProgramParts> CreateKovasandPartsWith(shell::AppContext& context,
                                                             PartsOptions options) {
  return std::make_unique<KovasandParts>(context, std::move(options));
}

}  // namespace kv::authoring

namespace kv::shell {
std::unique_ptr<ProgramParts> CreateKovasandParts(AppContext& context) {
  return authoring::CreateKovasandPartsWith(context, authoring::PartsOptions{});
}
}  // namespace kv::shell
