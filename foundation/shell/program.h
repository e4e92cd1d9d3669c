#pragma once
// How a program plugs its document and its view into the shared shell.
//
// The shell (CMainFrame) owns the window, the menus, the toolbar, the status
// bar, the profile and the start-up. A program supplies one ProgramParts
// object, made by its factory with the AppContext of the frame; the parts own
// the document and the central view widget.
//
// Command routing: a menu item, toolbar button, context-menu item or
// accelerator calls ProgramParts::OnCommand(id) first; when that returns
// false the shell's own handler runs (new, open, save, save as, recent files,
// exit, toolbar and status bar toggles, about box, help, home page), if it has
// one. Before a menu or the context menu is shown, and after every command,
// OnUpdateCommand(id, ui) is asked for every item: return true when the parts
// handle that command (ui then says whether it is enabled and checked); a
// command that neither the parts nor the shell handle is shown greyed.
//
// Document life: at start-up the shell calls OnNewDocument() (no argument) or
// OnOpenDocument(path) (a path on the command line); when that fails the
// program ends. The shell's Open command, the recent-file list and the
// command line all end in OnOpenDocument; on success the shell sets the
// document's path and title, adds the path to the recent-file list and
// updates the frame title. The parts show their own message on failure and
// leave the document as it was.
#include <QPoint>
#include <QString>
#include <memory>
#include <string>

#include "platform/doc_view.h"
#include "platform/services.h"

class QMainWindow;
class QWidget;

namespace kv::shell {

// The state a command-update handler gives a menu item or toolbar button.
struct CommandUi {
  bool enabled = true;
  bool checked = false;
};

// What the parts may ask of the frame. Valid from the factory call until the
// parts are destroyed (the frame outlives them).
class AppContext {
 public:
  virtual ~AppContext() = default;

  // The main window: the parent of dialogs and tool windows.
  virtual QMainWindow* MainWindow() = 0;
  // Message boxes, the per-user profile, the desktop shell.
  virtual platform::Services& Services() = 0;

  // Sets one pane of the status bar; the text stays until set again.
  // Viewer: panes 0 to 3 (pane 1 carries the scale). Authoring: pane 0
  // (messages) and pane 5 (the view's scale; 1 to 4 are the lock keys).
  virtual void SetStatusPaneText(int pane, const QString& text) = 0;
  virtual QString StatusPaneText(int pane) const = 0;

  // Runs the program's context menu at a global screen point; the chosen
  // command is routed like a menu command before this returns. A point of
  // (-1, -1) (the keyboard's menu key) opens it at the screen's top-left.
  virtual void ShowContextMenu(const QPoint& globalPos) = 0;

  // Re-asks the update handlers now (menus are refreshed when shown anyway).
  virtual void UpdateCommandUi() = 0;

  // Routes one command as a menu item would (greyed commands do nothing).
  virtual void DispatchCommand(int id) = 0;

  // Recent-file list of 4 entries in the profile; path in UTF-8.
  virtual void AddToRecentFiles(const std::string& path) = 0;

  // Frame title from the document's title ("title - Kovalindra").
  virtual void UpdateFrameTitle() = 0;

  // For parts that open in the background (ProgramParts::OpensInBackground):
  // the file has opened, and the shell does what it does after a successful
  // OnOpenDocument (path and title, recent list, frame title); or it has
  // not, and it leaves the recent list.
  virtual void DocumentOpened(const std::string& path) { (void)path; }
  virtual void DocumentNotOpened(const std::string& path) { (void)path; }

  // Viewer: full screen. Entering hides the menu bar, toolbar and status bar
  // and makes the view cover the primary screen; leaving restores the
  // previous placement (maximised included) and the status bar, the toolbar
  // stays hidden.
  virtual bool IsFullScreen() const = 0;
  virtual void EnterFullScreen() = 0;
  virtual void LeaveFullScreen() = 0;

  virtual bool IsToolBarVisible() const = 0;
  virtual void SetToolBarVisible(bool visible) = 0;
  virtual bool IsStatusBarVisible() const = 0;
  virtual void SetStatusBarVisible(bool visible) = 0;

  // Closes the main frame as its close command does (save prompts included).
  virtual void CloseMainFrame() = 0;

  // The folder of the program's file, ending with '/' (UTF-8).
  virtual std::string ProgramFolder() const = 0;
};

// One program's document and view, as the shell drives them.
class ProgramParts {
 public:
  virtual ~ProgramParts() = default;

  virtual platform::DocumentBase& Document() = 0;
  // The central view. Called once; the frame takes ownership of the widget.
  virtual QWidget* CreateView(QWidget* parent) = 0;
  // After the view is in the frame and the menus and bars exist, before the
  // first document is made and before the frame is shown.
  virtual void OnFrameCreated() {}

  virtual bool OnNewDocument() = 0;
  // path: UTF-8 file path. True when the file was opened, or, for parts
  // that open in the background, when its reading has started: they then
  // call DocumentOpened or DocumentNotOpened when it ends.
  virtual bool OnOpenDocument(const std::string& path) = 0;
  virtual bool OpensInBackground() const { return false; }
  // Where "save as" of a document never saved starts (UTF-8, empty: the
  // dialog's own choice).
  virtual std::string SuggestedSavePath() { return {}; }
  // The authoring tool's project save. True when written.
  virtual bool OnSaveDocument(const std::string& path) {
    (void)path;
    return false;
  }

  // True when handled (the shell then does nothing more).
  virtual bool OnCommand(int id) {
    (void)id;
    return false;
  }
  // True when the parts handle this command; fill ui.
  virtual bool OnUpdateCommand(int id, CommandUi& ui) {
    (void)id;
    (void)ui;
    return false;
  }

  // Asked before a new or opened document replaces this one and before the
  // program ends, after the shell's own save prompt for a modified document.
  // False keeps everything as it is.
  virtual bool CanClose() { return true; }
  // The frame is about to be destroyed (placement already saved).
  virtual void OnFrameClosing() {}
};

// Each program's widget library defines its factory; the program's start-up
// calls it once the frame exists.
std::unique_ptr<ProgramParts> CreateKovalindraParts(AppContext& context);
std::unique_ptr<ProgramParts> CreateKovasandParts(AppContext& context);

}  // namespace kv::shell
