#include "foundation/shell/main_frame.h"

#include <QAction>
#include <algorithm>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QUrl>
#include <optional>
#include <QToolBar>
#include <QVBoxLayout>

#include "foundation/shell/status_panes.h"
#include "foundation/shell/toolbar_images.h"
#include "platform/file_dialog.h"
#include "platform/private_profile.h"
#include "platform/shell_target.h"
#include "platform/qt_text.h"
#include "resources/authoring/commands.h"
#include "resources/viewer/commands.h"

namespace kv::shell {
namespace {

using platform::Utf8ToQString;

QString Q(std::string_view s) { return Utf8ToQString(s); }

// Part of the document template string: 0 title, 1 document name,
// 2 new-file type, 3 filter, 4 extension.
QString TemplatePart(const res::ProgramTable& t, int index) {
  const QStringList parts = Q(t.docTemplate).split('\n');
  return index < parts.size() ? parts[index] : QString();
}

QString FileDialogFilter(const res::ProgramTable& t) {
  return TemplatePart(t, 3) + ";;" + QString::fromUtf8("全ﾌｧｲﾙ(*.*)") + " (*)";
}

// Our files by our names, whatever the system's type database makes of them.
void NameOurFileTypes(QFileDialog& dialog) {
  platform::NameFileTypes(dialog, {{"kvi", QString::fromUtf8("kviﾌｧｲﾙ")},
                                   {"kvp", QString::fromUtf8("kvpﾌｧｲﾙ")}});
}

// The about box's notice line.
QString AboutNotice(ProgramKind kind) {
  return kind == ProgramKind::Viewer
             ? QString::fromUtf8("写真を実物の大きさでﾓﾆﾀｰに表示します。")
             : QString::fromUtf8("写真に実寸の情報を付けて等倍情報ﾌｧｲﾙを作ります。");
}

// A status pane that shows a text too long for it shortened in the middle,
// so both its start (what it is about) and its end stay, and the whole of it
// as its tooltip.
class ElidedPane : public QLabel {
 public:
  using QLabel::QLabel;
  void SetFullText(const QString& text) {
    full_ = text;
    Elide();
  }
  const QString& FullText() const { return full_; }

 protected:
  void resizeEvent(QResizeEvent* e) override {
    QLabel::resizeEvent(e);
    Elide();
  }

 private:
  void Elide() {
    const int room = std::max(0, contentsRect().width() - 2 * margin() - 2);
    const QString shown = fontMetrics().elidedText(full_, Qt::ElideMiddle, room);
    setText(shown);
    setToolTip(shown == full_ ? QString() : full_);
  }
  QString full_;
};

// The viewer's panes side by side: each keeps the width its texts were
// written for while there is room; in a narrow window the message pane gives
// way first, so the scale and the measured length stay readable.
class FittedPanes : public QWidget {
 public:
  FittedPanes(std::vector<PaneSpec> specs, QWidget* parent)
      : QWidget(parent), specs_(std::move(specs)) {
    setMinimumWidth(0);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  }
  void Add(QLabel* l) { labels_.push_back(l); }
  QSize sizeHint() const override {
    int h = 0;
    for (const QLabel* l : labels_) h = std::max(h, l->sizeHint().height());
    return QSize(0, h);
  }
  QSize minimumSizeHint() const override { return QSize(0, sizeHint().height()); }

 protected:
  void resizeEvent(QResizeEvent*) override {
    const std::vector<int> w = FitPaneWidths(width(), kGap, specs_);
    int x = 0;
    for (size_t i = 0; i < labels_.size() && i < w.size(); ++i) {
      labels_[i]->setGeometry(x, 0, w[i], height());
      x += w[i] + kGap;
    }
  }

 private:
  static constexpr int kGap = 2;
  std::vector<PaneSpec> specs_;
  std::vector<QLabel*> labels_;
};

}  // namespace

MainFrame::MainFrame(ProgramKind kind, const res::ProgramTable& table,
                     std::unique_ptr<platform::QtProfile> profile)
    : PersistentFrame(kind, nullptr),
      kind_(kind),
      table_(table),
      profile_(profile ? std::move(profile)
                       : std::make_unique<platform::QtProfile>(Q(table.appName))),
      messages_(Q(table.appName), this) {
  SetPlacementProfile(profile_.get());
  services_.messages = &messages_;
  services_.profile = profile_.get();
  services_.shell = &shell_;
  services_.dispatcher = std::make_shared<platform::QtDispatcher>();
  setWindowTitle(Q(table_.appName));
  setWindowIcon(ProgramIcon(kind_));
}

MainFrame::~MainFrame() {
  // The view and the tool windows refer to the document: they go first.
  if (QWidget* view = takeCentralWidget()) delete view;
  QList<QPointer<QWidget>> windows;
  for (QObject* c : children())
    if (auto* w = qobject_cast<QWidget*>(c); w && w->isWindow()) windows.push_back(w);
  for (const QPointer<QWidget>& w : windows) delete w.data();
  parts_.reset();
}

bool MainFrame::Create(const PartsFactory& factory) {
  if (!factory) return false;
  parts_ = factory(*this);
  if (!parts_) return false;
  QWidget* view = parts_->CreateView(this);
  if (!view) return false;
  setCentralWidget(view);

  BuildMenus();
  BuildToolBar();
  BuildStatusBar();
  BuildAccelerators();
  if (!toolBar_ || panes_.empty()) return false;

  // Toolbar buttons follow the program's state as they would on idle.
  auto* idle = new QTimer(this);
  idle->setInterval(250);
  connect(idle, &QTimer::timeout, this, [this] {
    if (toolBar_ && toolBar_->isVisible())
      for (QAction* a : toolBar_->actions())
        if (const int id = a->data().toInt()) ApplyUi(a, id);
  });
  idle->start();

  parts_->OnFrameCreated();
  UpdateCommandUi();
  return true;
}

QAction* MainFrame::MakeAction(int id, const QString& text) {
  auto* a = new QAction(text, this);
  a->setData(id);
  a->setIconVisibleInMenu(false);
  if (const res::CommandText* c = res::FindCommand(table_, id)) {
    a->setStatusTip(Q(c->prompt));
    if (!c->tooltip.empty()) a->setToolTip(Q(c->tooltip));
  }
  connect(a, &QAction::triggered, this, [this, id] { DispatchCommand(id); });
  return a;
}

void MainFrame::BuildMenus() {
  for (const res::Menu& m : table_.menus) {
    QMenu* menu = menuBar()->addMenu(Q(m.title));
    for (const res::MenuItem& item : m.items) {
      if (item.id == res::kSeparator) {
        menu->addSeparator();
        continue;
      }
      QAction* a = MakeAction(item.id, Q(item.text));
      actions_.insert(item.id, a);
      menu->addAction(a);
      addAction(a);  // keys work while the menu bar is hidden (full screen)
      if (item.id == cmd::kFileMru1) fileMenu_ = menu;
    }
    menu->installEventFilter(this);
    barMenus_.push_back(menu);
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
      if (menu == fileMenu_) RefreshRecentMenu();
      for (QAction* a : menu->actions())
        if (const int id = a->data().toInt()) ApplyUi(a, id);
    });
  }
  RefreshRecentMenu();

  if (!table_.contextMenu.empty()) {
    contextMenu_ = new QMenu(this);
    for (const res::MenuItem& item : table_.contextMenu) {
      if (item.id == res::kSeparator)
        contextMenu_->addSeparator();
      else
        contextMenu_->addAction(MakeAction(item.id, Q(item.text)));
    }
  }
}

void MainFrame::RefreshRecentMenu() {
  if (!fileMenu_) return;
  QAction* placeholder = actions_.value(cmd::kFileMru1);
  if (!placeholder) return;
  for (QAction* a : recentActions_) {
    fileMenu_->removeAction(a);
    removeAction(a);
    delete a;
  }
  recentActions_.clear();
  const std::vector<std::string> files = profile_->RecentFiles();
  // With files, the entries stand where the placeholder stood; without,
  // the placeholder shows greyed.
  placeholder->setVisible(files.empty());
  for (size_t i = 0; i < files.size(); ++i) {
    const int id = cmd::kFileMru1 + int(i);
    QString text = QString("&%1 ").arg(i + 1) + Utf8ToQString(files[i]);
    QAction* a = MakeAction(id, text);
    fileMenu_->insertAction(placeholder, a);
    recentActions_.push_back(a);
  }
}

void MainFrame::BuildToolBar() {
  toolBar_ = new QToolBar(this);
  toolBar_->setObjectName("toolbar");
  toolBar_->setWindowTitle(QString::fromUtf8("ﾂｰﾙ ﾊﾞｰ"));
  toolBar_->setIconSize(QSize(kButtonWidth, kButtonHeight));
  toolBar_->setMovable(true);
  toolBar_->setFloatable(true);
  toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
  const QImage strip = ButtonStrip(table_.toolbar);
  int index = 0;
  for (int id : table_.toolbar) {
    if (id == res::kSeparator) {
      toolBar_->addSeparator();
      continue;
    }
    QAction* a = actions_.value(id);
    if (!a) {
      a = MakeAction(id, QString());
      actions_.insert(id, a);
    }
    a->setIcon(QIcon(QPixmap::fromImage(
        strip.copy(index * kButtonWidth, 0, kButtonWidth, kButtonHeight))));
    ++index;
    toolBar_->addAction(a);
  }
  addToolBar(Qt::TopToolBarArea, toolBar_);
  // The viewer's toolbox stands in for its toolbar, which starts hidden.
  toolBar_->setVisible(kind_ != ProgramKind::Viewer);
}

void MainFrame::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setSizeGripEnabled(true);
  auto pane = [bar](int width, int stretch, bool permanent) {
    auto* l = new QLabel(bar);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setMargin(1);
    if (width > 0) l->setFixedWidth(width);
    if (permanent)
      bar->addPermanentWidget(l, stretch);
    else
      bar->addWidget(l, stretch);
    return l;
  };
  if (kind_ == ProgramKind::Viewer) {
    // Message, scale, measuring scale, last length: 400, 200 and 200 wide
    // and the rest, as far as the window allows.
    auto* row = new FittedPanes({{400, 120, 0}, {200, 100, 2}, {200, 110, 1}, {10, 130, 3}}, bar);
    for (int i = 0; i < 4; ++i) {
      auto* l = new ElidedPane(row);
      l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      l->setMargin(1);
      row->Add(l);
      panes_.push_back(l);
    }
    bar->addWidget(row, 1);
  } else {
    panes_.push_back(pane(0, 1, false));
    // The view's scale, a pane of its own that menu prompts never cover.
    QLabel* scale = pane(0, 0, true);
    scale->setObjectName("scalePane");
    scale->setAlignment(Qt::AlignCenter);
    scale->setMinimumWidth(scale->fontMetrics().horizontalAdvance(QString::fromUtf8("表示倍率 1600%")) + 12);
    // Lock-key indicators; the desktop does not tell us the lock states, so
    // they stand greyed as an unlit indicator does.
    for (const char* key : {"ｶﾅ", "CAP", "NUM", "SCRL"}) {
      QLabel* l = pane(0, 0, true);
      l->setText(QString::fromUtf8(key));
      l->setAlignment(Qt::AlignCenter);
      l->setMinimumWidth(l->fontMetrics().horizontalAdvance(l->text()) + 12);
      l->setEnabled(false);
      panes_.push_back(l);
    }
    panes_.push_back(scale);
  }
  ShowIdleMessage();
}

void MainFrame::BuildAccelerators() {
  for (const res::Accelerator& acc : table_.accelerators) {
    QAction* a = actions_.value(acc.id);
    if (!a) {
      // A key without a menu item of its own.
      a = MakeAction(acc.id, QString());
      actions_.insert(acc.id, a);
      addAction(a);
    }
    QKeySequence keys(Q(acc.keys), QKeySequence::PortableText);
    a->setShortcut(keys);
    a->setShortcutContext(Qt::WindowShortcut);
  }
}

void MainFrame::ShowIdleMessage() { SetStatusPaneText(0, QString()); }

QAction* MainFrame::Action(int id) const { return actions_.value(id); }

QLabel* MainFrame::StatusPane(int pane) const {
  return pane >= 0 && pane < int(panes_.size()) ? panes_[size_t(pane)] : nullptr;
}

bool MainFrame::ShellHandles(int id) const {
  switch (id) {
    case cmd::kFileOpen:
    case cmd::kAppExit:
    case cmd::kViewToolbar:
    case cmd::kViewStatusBar:
    case cmd::kAppAbout:
    case cmd::kHelpWeb:
    case cmd::kHomePage:
      return true;
    case cmd::kFileNew:
    case cmd::kFileSave:
    case cmd::kFileSaveAs:
      return kind_ == ProgramKind::Authoring;
    case viewer::cmd::kExitFromView:
      return kind_ == ProgramKind::Viewer;
    default:
      return id >= cmd::kFileMru1 && id < cmd::kFileMru1 + cmd::kRecentFileCount;
  }
}

CommandUi MainFrame::QueryCommand(int id) {
  CommandUi ui;
  if (parts_ && parts_->OnUpdateCommand(id, ui)) return ui;
  if (!ShellHandles(id)) return CommandUi{false, false};
  if (id == cmd::kViewToolbar) ui.checked = IsToolBarVisible();
  if (id == cmd::kViewStatusBar) ui.checked = IsStatusBarVisible();
  if (id >= cmd::kFileMru1 && id < cmd::kFileMru1 + cmd::kRecentFileCount)
    ui.enabled = size_t(id - cmd::kFileMru1) < profile_->RecentFiles().size();
  return ui;
}

void MainFrame::ApplyUi(QAction* a, int id) {
  const CommandUi ui = QueryCommand(id);
  a->setEnabled(ui.enabled);
  // A check mark while the state holds and nothing otherwise, for every item
  // alike: an item once checked must not keep an empty box the others lack.
  a->setCheckable(ui.checked);
  a->setChecked(ui.checked);
}

void MainFrame::UpdateCommandUi() {
  for (auto it = actions_.begin(); it != actions_.end(); ++it) ApplyUi(it.value(), it.key());
  for (QAction* a : recentActions_) ApplyUi(a, a->data().toInt());
  if (contextMenu_)
    for (QAction* a : contextMenu_->actions())
      if (const int id = a->data().toInt()) ApplyUi(a, id);
}

void MainFrame::DispatchCommand(int id) {
  // A command whose update handler greys it does nothing, from whichever
  // menu, button or key it comes.
  if (!QueryCommand(id).enabled) return;
  if (!(parts_ && parts_->OnCommand(id))) ShellCommand(id);
  UpdateCommandUi();
}

bool MainFrame::ShellCommand(int id) {
  switch (id) {
    case cmd::kFileNew: OnFileNew(); return true;
    case cmd::kFileOpen: OnFileOpen(); return true;
    case cmd::kFileSave: DoSave(false); return true;
    case cmd::kFileSaveAs: DoSave(true); return true;
    case cmd::kAppExit: CloseMainFrame(); return true;
    case cmd::kViewToolbar: SetToolBarVisible(!IsToolBarVisible()); return true;
    case cmd::kViewStatusBar: SetStatusBarVisible(!IsStatusBarVisible()); return true;
    case cmd::kAppAbout: ShowAboutBox(); return true;
    case cmd::kHelpWeb: shell_.Open(platform::QStringToUtf8(HelpPagePath())); return true;
    case cmd::kHomePage: shell_.Open(platform::QStringToUtf8(HomePagePath())); return true;
    default: break;
  }
  if (kind_ == ProgramKind::Viewer && id == viewer::cmd::kExitFromView) {
    CloseMainFrame();
    return true;
  }
  if (id >= cmd::kFileMru1 && id < cmd::kFileMru1 + cmd::kRecentFileCount) {
    const std::vector<std::string> files = profile_->RecentFiles();
    const size_t index = size_t(id - cmd::kFileMru1);
    if (index >= files.size()) return true;
    const std::string path = files[index];
    // An entry that no longer opens leaves the list, so it is not offered again.
    if (!OpenDocumentFile(Utf8ToQString(path))) profile_->RemoveRecentFile(path);
    RefreshRecentMenu();
    return true;
  }
  return false;
}

bool MainFrame::SaveModified() {
  if (!parts_) return true;
  platform::DocumentBase& doc = parts_->Document();
  if (doc.IsModified()) {
    const std::string title = doc.Title().empty() ? platform::QStringToUtf8(TemplatePart(table_, 1))
                                                  : doc.Title();
    switch (messages_.Show(title + " への変更を保存しますか?", platform::MsgIcon::Warning,
                           platform::MsgButtons::YesNoCancel)) {
      case platform::MsgResult::Yes:
        if (!DoSave(false)) return false;
        break;
      case platform::MsgResult::No: break;
      default: return false;
    }
  }
  return parts_->CanClose();
}

bool MainFrame::DoSave(bool askName) {
  if (!parts_) return false;
  platform::DocumentBase& doc = parts_->Document();
  QString path = Utf8ToQString(doc.PathName());
  if (askName || path.isEmpty()) {
    QString suggested = path;
    if (suggested.isEmpty()) suggested = Utf8ToQString(parts_->SuggestedSavePath());
    if (suggested.isEmpty()) suggested = TemplatePart(table_, 1);
    QFileDialog dialog(this, QString::fromUtf8("名前を付けて保存"), suggested,
                       FileDialogFilter(table_));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(TemplatePart(table_, 4).mid(1));
    NameOurFileTypes(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().first();
  }
  const std::string utf8 = platform::QStringToUtf8(path);
  if (!parts_->OnSaveDocument(utf8)) return false;
  doc.SetPathName(utf8);
  doc.SetTitle(platform::QStringToUtf8(QFileInfo(path).fileName()));
  doc.SetModifiedFlag(false);
  AddToRecentFiles(utf8);
  UpdateFrameTitle();
  return true;
}

void MainFrame::OnFileNew() {
  if (!SaveModified()) return;
  if (!parts_->OnNewDocument()) return;
  platform::DocumentBase& doc = parts_->Document();
  doc.SetPathName("");
  doc.SetTitle(platform::QStringToUtf8(TemplatePart(table_, 1)));
  doc.SetModifiedFlag(false);
  UpdateFrameTitle();
}

void MainFrame::OnFileOpen() {
  // Start in the folder of the file on show.
  QString start;
  if (parts_ && !parts_->Document().PathName().empty())
    start = QFileInfo(Utf8ToQString(parts_->Document().PathName())).absolutePath();
  QFileDialog dialog(this, QString::fromUtf8("開く"), start, FileDialogFilter(table_));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  NameOurFileTypes(dialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  OpenDocumentFile(dialog.selectedFiles().first());
}

bool MainFrame::OpenDocumentFile(const QString& path) {
  if (!parts_ || !SaveModified()) return false;
  const QString full = QFileInfo(path).absoluteFilePath();
  const std::string utf8 = platform::QStringToUtf8(full);
  platform::WaitCursor wait;
  if (!parts_->OnOpenDocument(utf8)) return false;
  // Read on a worker: the parts report back when it has opened, or not.
  if (!parts_->OpensInBackground()) DocumentOpened(utf8);
  return true;
}

void MainFrame::DocumentOpened(const std::string& utf8) {
  if (!parts_) return;
  platform::DocumentBase& doc = parts_->Document();
  doc.SetPathName(utf8);
  doc.SetTitle(platform::QStringToUtf8(QFileInfo(Utf8ToQString(utf8)).fileName()));
  doc.SetModifiedFlag(false);
  AddToRecentFiles(utf8);
  UpdateFrameTitle();
}

void MainFrame::DocumentNotOpened(const std::string& utf8) {
  profile_->RemoveRecentFile(utf8);
  RefreshRecentMenu();
  // Nothing was ever opened (a file on the command line): the empty document.
  if (parts_ && parts_->Document().Title().empty()) {
    parts_->Document().SetTitle(platform::QStringToUtf8(TemplatePart(table_, 1)));
    UpdateFrameTitle();
  }
}

bool MainFrame::ProcessCommandLine(const QStringList& arguments) {
  if (!parts_) return false;
  for (const QString& a : arguments) {
    if (a.isEmpty()) continue;
    return OpenDocumentFile(a);
  }
  if (!parts_->OnNewDocument()) return false;
  platform::DocumentBase& doc = parts_->Document();
  doc.SetPathName("");
  doc.SetTitle(platform::QStringToUtf8(TemplatePart(table_, 1)));
  UpdateFrameTitle();
  return true;
}

namespace {

// A site that keeps its manual on the web says where in "links.ini" beside
// the bundled pages ("[Links]", keys "Support" and "Home"). Only an http(s)
// address with a host is taken; anything else leaves the bundled page.
std::optional<QString> ConfiguredAddress(const QString& helpFolder, std::string_view key) {
  const std::string file = platform::QStringToUtf8(QDir(helpFolder).filePath("links.ini"));
  const std::string value = platform::GetPrivateProfileString("Links", key, "", file);
  if (value.empty() || platform::ClassifyShellTarget(value) != platform::ShellTargetKind::WebAddress)
    return std::nullopt;
  const QUrl url(QString::fromLatin1(value.data(), qsizetype(value.size())), QUrl::StrictMode);
  if (!url.isValid() || url.host().isEmpty()) return std::nullopt;
  return url.toString();
}

}  // namespace

QString MainFrame::HelpFolder() const {
  return helpFolder_.isEmpty() ? Utf8ToQString(ProgramFolder()) + "help/" : helpFolder_;
}

QString MainFrame::HelpPagePath() const {
  if (std::optional<QString> web = ConfiguredAddress(HelpFolder(), "Support")) return *web;
  return QDir::cleanPath(HelpFolder() + "/" + Q(table_.helpFile));
}

QString MainFrame::HomePagePath() const {
  if (std::optional<QString> web = ConfiguredAddress(HelpFolder(), "Home")) return *web;
  return QDir::cleanPath(HelpFolder() + "/index.html");
}

void MainFrame::ShowAboutBox() {
  QDialog box(this);
  box.setObjectName("aboutBox");
  box.setWindowTitle(Q(table_.aboutTitle));
  auto* layout = new QVBoxLayout(&box);
  auto* top = new QHBoxLayout;
  auto* icon = new QLabel(&box);
  icon->setPixmap(QPixmap::fromImage(ProgramIconImage(kind_, 32)));
  icon->setAlignment(Qt::AlignTop);
  top->addWidget(icon);
  auto* texts = new QVBoxLayout;
  auto* version = new QLabel(Q(table_.aboutVersion), &box);
  version->setObjectName("aboutVersion");
  auto* notice = new QLabel(AboutNotice(kind_), &box);
  notice->setObjectName("aboutNotice");
  notice->setWordWrap(true);
  texts->addWidget(version);
  texts->addWidget(notice);
  top->addLayout(texts, 1);
  layout->addLayout(top);
  auto* web = new QPushButton(QString::fromUtf8("オンラインサポートWEBページを開く"), &box);
  web->setObjectName("aboutWebButton");
  web->setProperty("controlId", kind_ == ProgramKind::Viewer ? viewer::cmd::kAboutWebButton
                                                             : authoring::cmd::kAboutWebButton);
  connect(web, &QPushButton::clicked, this,
          [this] { shell_.Open(platform::QStringToUtf8(HelpPagePath())); });
  layout->addWidget(web);
  // A web address is shown for the reader to note; a path on this machine
  // tells them nothing.
  const QString help = HelpPagePath();
  if (help.startsWith("http://", Qt::CaseInsensitive) ||
      help.startsWith("https://", Qt::CaseInsensitive)) {
    auto* address = new QLabel(help, &box);
    address->setObjectName("aboutAddress");
    address->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(address);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
  buttons->button(QDialogButtonBox::Ok)->setText("OK");
  connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
  layout->addWidget(buttons);
  box.exec();
}

void MainFrame::SetStatusPaneText(int pane, const QString& text) {
  QLabel* l = StatusPane(pane);
  if (!l) return;
  // The message pane with nothing to say shows the idle text.
  const QString shown = pane == 0 && text.isEmpty() ? Q(table_.idleMessage) : text;
  if (auto* e = dynamic_cast<ElidedPane*>(l))
    e->SetFullText(shown);
  else
    l->setText(shown);
}

QString MainFrame::StatusPaneText(int pane) const {
  const QLabel* l = StatusPane(pane);
  if (const auto* e = dynamic_cast<const ElidedPane*>(l)) return e->FullText();
  return l ? l->text() : QString();
}

void MainFrame::ShowContextMenu(const QPoint& globalPos) {
  if (!contextMenu_) return;
  for (QAction* a : contextMenu_->actions())
    if (const int id = a->data().toInt()) ApplyUi(a, id);
  QPoint at = globalPos;
  if (at == QPoint(-1, -1)) {
    const QScreen* s = QGuiApplication::primaryScreen();
    at = s ? s->geometry().topLeft() : QPoint(0, 0);
  }
  contextMenu_->exec(at);
}

void MainFrame::AddToRecentFiles(const std::string& path) {
  profile_->AddRecentFile(path);
  RefreshRecentMenu();
}

void MainFrame::UpdateFrameTitle() {
  const QString app = Q(table_.appName);
  const QString doc = parts_ ? Utf8ToQString(parts_->Document().Title()) : QString();
  setWindowTitle(doc.isEmpty() ? app : doc + " - " + app);
}

void MainFrame::EnterFullScreen() {
  if (fullScreen_) return;
  fullScreenWasMaximised_ = isMaximized();
  fullScreenSavedGeometry_ = fullScreenWasMaximised_ ? normalGeometry() : geometry();
  menuBarWasVisible_ = menuBar()->isVisible() || !isVisible();
  statusBar()->hide();
  if (toolBar_) toolBar_->hide();
  menuBar()->hide();
  fullScreen_ = true;
  // The screen the window is on, not always the primary one.
  const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  if (s) setGeometry(s->geometry());
  showFullScreen();
}

void MainFrame::LeaveFullScreen() {
  if (!fullScreen_) return;
  fullScreen_ = false;
  if (menuBarWasVisible_) menuBar()->show();
  statusBar()->show();
  if (fullScreenWasMaximised_) {
    showNormal();
    setGeometry(fullScreenSavedGeometry_);
    showMaximized();
  } else {
    showNormal();
    setGeometry(fullScreenSavedGeometry_);
  }
}

bool MainFrame::IsToolBarVisible() const { return toolBar_ && !toolBar_->isHidden(); }

void MainFrame::SetToolBarVisible(bool visible) {
  if (toolBar_) toolBar_->setVisible(visible);
}

bool MainFrame::IsStatusBarVisible() const { return !statusBar()->isHidden(); }

void MainFrame::SetStatusBarVisible(bool visible) { statusBar()->setVisible(visible); }

void MainFrame::CloseMainFrame() {
  QTimer::singleShot(0, this, &QWidget::close);
}

std::string MainFrame::ProgramFolder() const {
  QString dir = QCoreApplication::applicationDirPath();
  if (!dir.endsWith('/')) dir += '/';
  return platform::QStringToUtf8(dir);
}

bool MainFrame::event(QEvent* e) {
  if (e->type() == QEvent::StatusTip) {
    // Menu prompts go to the message pane; the idle text comes back after.
    SetStatusPaneText(0, static_cast<QStatusTipEvent*>(e)->tip());
    return true;
  }
  return PersistentFrame::event(e);
}

bool MainFrame::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape &&
      std::find(barMenus_.begin(), barMenus_.end(), watched) != barMenus_.end()) {
    // Esc closes the menu and leaves the menu bar in its keyboard mode, which
    // swallows the view's keys until a second Esc: that second one is ours.
    QTimer::singleShot(0, this, [this] { ReleaseMenuBarKeys(); });
  }
  return PersistentFrame::eventFilter(watched, e);
}

void MainFrame::ReleaseMenuBarKeys() {
  QMenuBar* bar = menuBar();
  if (QApplication::activePopupWidget()) return;  // another menu is open now
  if (bar->hasFocus() || bar->activeAction()) {
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &esc);
  }
  QWidget* focus = QApplication::focusWidget();
  if ((!focus || focus == bar) && centralWidget()) centralWidget()->setFocus(Qt::OtherFocusReason);
}

bool MainFrame::QueryClose() { return SaveModified(); }

void MainFrame::OnClosing() {
  if (fullScreen_) {
    // The placement to remember is the one before full screen; it has been
    // saved from the full-screen window, so write the real one.
    WindowPlacement p;
    p.normal = kv::Rect{fullScreenSavedGeometry_.x(), fullScreenSavedGeometry_.y(),
                        fullScreenSavedGeometry_.x() + fullScreenSavedGeometry_.width(),
                        fullScreenSavedGeometry_.y() + fullScreenSavedGeometry_.height()};
    p.state = fullScreenWasMaximised_ ? ShowState::Maximised : ShowState::Normal;
    p.restoreMaximised = fullScreenWasMaximised_;
    const PlacementRecord rec = PlacementToRecord(p);
    profile_->WriteString(kPlacementSection, "Rect", rec.rect);
    profile_->WriteInt(kPlacementSection, "icon", rec.icon);
    profile_->WriteInt(kPlacementSection, "max", rec.max);
  }
  if (parts_) parts_->OnFrameClosing();
  profile_->Sync();
  emit Closed();
}

bool InstallQtJapanese(QCoreApplication& app) {
  // One per process, living as long as the application.
  static QTranslator* translator = nullptr;
  if (translator) return true;
  auto* t = new QTranslator(&app);
  if (!t->load(QLocale(QLocale::Japanese, QLocale::Japan), "qtbase", "_",
               QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete t;
    return false;
  }
  app.installTranslator(t);
  translator = t;
  return true;
}

int RunProgram(int argc, char** argv, ProgramKind kind, const res::ProgramTable& table,
               const PartsFactory& factory) {
  QApplication app(argc, argv);
  InstallQtJapanese(app);
  QCoreApplication::setOrganizationName("Tessaloft");
  QCoreApplication::setApplicationName(Q(table.appName));
  QApplication::setWindowIcon(ProgramIcon(kind));
  platform::InstallQtWaitCursor();
  int code = 1;
  {
    MainFrame frame(kind, table);
    if (!frame.Create(factory)) return 1;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    // A file on the command line that does not open has been told to the
    // user; the program still comes up, with an empty document.
    if (!frame.ProcessCommandLine(arguments) && (arguments.isEmpty() || !frame.ProcessCommandLine({})))
      return 1;
    frame.ActivateFrame();
    // The loop ends with the frame, not with the last window on screen: a
    // tool window must never keep a closed program running.
    QObject::connect(&frame, &MainFrame::Closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    code = app.exec();
  }
  return code;
}

}  // namespace kv::shell
