#include "foundation/shell/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QTranslator>
#include <algorithm>

#include "foundation/shell/toolbar_images.h"
#include "platform/qt_text.h"

namespace kv::shell {
namespace {

using platform::Utf8ToQString;

QString Q(std::string_view s) { return Utf8ToQString(s); }

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
  for (const res::ToolbarButton& button : table_.toolbar) {
    const int id = button.id;
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

QAction* MainFrame::Action(int id) const { return actions_.value(id); }

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
    default:
      if (table_.exitCommand != 0 && id == table_.exitCommand) return true;
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
  if (table_.exitCommand != 0 && id == table_.exitCommand) {
    CloseMainFrame();
    return true;
  }
  if (id >= cmd::kFileMru1 && id < cmd::kFileMru1 + cmd::kRecentFileCount) {
    OpenRecentFile(id - cmd::kFileMru1);
    return true;
  }
  return false;
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
