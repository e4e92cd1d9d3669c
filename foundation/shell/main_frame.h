#pragma once
// The main frame shared by both programs: menus, toolbar, status bar,
// accelerators, context menu, about box, help and home page, the recent-file
// list, and the start-up that plugs a program's parts in. What differs
// between the programs comes from their table and their parts; the frame
// knows neither program's commands.
//
// One class over several files: the frame, routing and start-up in
// main_frame.cpp, the status bar in main_frame_status.cpp, the document
// commands in main_frame_documents.cpp, the about box and the help pages in
// main_frame_about.cpp.
#include <QLabel>
#include <QMap>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "foundation/shell/persistent_frame.h"
#include "foundation/shell/program.h"
#include "platform/qt_services.h"
#include "resources/command_table.h"

class QAction;
class QCoreApplication;
class QMenu;
class QToolBar;

namespace kv::shell {

using PartsFactory = std::function<std::unique_ptr<ProgramParts>(AppContext&)>;

class MainFrame : public PersistentFrame, public AppContext {
  Q_OBJECT
 public:
  // profile: the per-user profile; null for the program's own under
  // "Tessaloft".
  MainFrame(ProgramKind kind, const res::ProgramTable& table,
            std::unique_ptr<platform::QtProfile> profile = nullptr);
  ~MainFrame() override;

  // Builds the menus, toolbar, status bar and view with the parts the
  // factory makes. False when something could not be created.
  bool Create(const PartsFactory& factory);
  // A new document, or the file named by the first argument. False when that
  // fails (the program then ends).
  bool ProcessCommandLine(const QStringList& arguments);

  // Routes one command as a menu item would.
  void DispatchCommand(int id) override;
  // The state the update handlers give a command now.
  CommandUi QueryCommand(int id);

  const res::ProgramTable& Table() const { return table_; }
  ProgramParts* Parts() { return parts_.get(); }
  QAction* Action(int id) const;
  QToolBar* ToolBar() const { return toolBar_; }
  QMenu* ContextMenu() const { return contextMenu_; }
  QLabel* StatusPane(int pane) const;
  int StatusPaneCount() const { return int(panes_.size()); }
  platform::QtProfile& Profile() { return *profile_; }
  platform::QtMessageService& Messages() { return messages_; }

  // Where the help pages lie (ProgramFolder() + "help/" unless set).
  QString HelpFolder() const;
  // The configured web address when there is one, else the bundled page.
  QString HelpPagePath() const;
  QString HomePagePath() const;
  void SetHelpFolder(const QString& folder) { helpFolder_ = folder; }
  // Opens the file as the shell's Open command does after its dialog.
  bool OpenDocumentFile(const QString& path);

  // AppContext
  QMainWindow* MainWindow() override { return this; }
  platform::Services& Services() override { return services_; }
  void SetStatusPaneText(int pane, const QString& text) override;
  QString StatusPaneText(int pane) const override;
  void ShowContextMenu(const QPoint& globalPos) override;
  void UpdateCommandUi() override;
  void AddToRecentFiles(const std::string& path) override;
  void UpdateFrameTitle() override;
  void DocumentOpened(const std::string& path) override;
  void DocumentNotOpened(const std::string& path) override;
  bool IsFullScreen() const override { return fullScreen_; }
  void EnterFullScreen() override;
  void LeaveFullScreen() override;
  bool IsToolBarVisible() const override;
  void SetToolBarVisible(bool visible) override;
  bool IsStatusBarVisible() const override;
  void SetStatusBarVisible(bool visible) override;
  void CloseMainFrame() override;
  std::string ProgramFolder() const override;

  // The about box (modal).
  void ShowAboutBox();

 signals:
  // The frame accepted its close (placement saved, parts told): the program
  // ends, whatever other windows are still showing.
  void Closed();

 protected:
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  bool QueryClose() override;
  void OnClosing() override;

 private:
  // Menus, toolbar, keys and command routing (main_frame.cpp).
  void BuildMenus();
  void BuildToolBar();
  void BuildAccelerators();
  QAction* MakeAction(int id, const QString& text);
  void ApplyUi(QAction* action, int id);
  bool ShellHandles(int id) const;
  bool ShellCommand(int id);
  // After Esc closed one of its menus: the menu bar lets go of the keys.
  void ReleaseMenuBarKeys();

  // The status bar (main_frame_status.cpp).
  void BuildStatusBar();
  void ShowIdleMessage();

  // The document commands and the recent-file list (main_frame_documents.cpp).
  bool SaveModified();
  bool DoSave(bool askName);
  void OnFileOpen();
  void OnFileNew();
  void RefreshRecentMenu();
  // The recent list's entry at this position; one that no longer opens
  // leaves the list. True when it opened.
  bool OpenRecentFile(int index);

  ProgramKind kind_;
  const res::ProgramTable& table_;
  std::unique_ptr<platform::QtProfile> profile_;
  platform::QtMessageService messages_;
  platform::DesktopShell shell_;
  platform::Services services_;
  std::unique_ptr<ProgramParts> parts_;
  QMap<int, QAction*> actions_;  // one per command, shared by menu and toolbar
  std::vector<QAction*> recentActions_;
  std::vector<QMenu*> barMenus_;
  QMenu* fileMenu_ = nullptr;
  QMenu* contextMenu_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  std::vector<QLabel*> panes_;
  QString helpFolder_;
  bool fullScreen_ = false;
  bool fullScreenWasMaximised_ = false;
  QRect fullScreenSavedGeometry_;
  bool menuBarWasVisible_ = true;
};

// Qt's own texts (standard buttons, file dialogs) in Japanese, as the rest
// of the programs speak. False when the translations are not installed.
bool InstallQtJapanese(QCoreApplication& app);

// The whole start-up of a program: application object, profile, frame,
// parts, command line, first show, event loop. Returns the exit code.
int RunProgram(int argc, char** argv, ProgramKind kind, const res::ProgramTable& table,
               const PartsFactory& factory);

}  // namespace kv::shell
