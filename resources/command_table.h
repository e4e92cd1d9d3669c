#pragma once
// The shape of one program's user-interface table: menus, context menu,
// toolbar, accelerators and the prompt and tooltip of every command. Texts
// are UTF-8; "&" marks a mnemonic and "\t" separates the accelerator text,
// as menus show them. Plain data, no Qt, so models and tests can read it.
#include <span>
#include <string_view>

// Commands of the shell itself, the same numbers in both programs.
namespace kv::cmd {
constexpr int kFileNew = 57600;
constexpr int kFileOpen = 57601;
constexpr int kFileSave = 57603;
constexpr int kFileSaveAs = 57604;
constexpr int kFileMru1 = 57616;  // the recent-file list: 57616 to 57619
constexpr int kRecentFileCount = 4;
constexpr int kEditCopy = 57634;
constexpr int kEditCut = 57635;
constexpr int kEditPaste = 57637;
constexpr int kEditUndo = 57643;
constexpr int kAppAbout = 57664;
constexpr int kAppExit = 57665;
constexpr int kHelpWeb = 57670;
constexpr int kNextPane = 57680;
constexpr int kPrevPane = 57681;
constexpr int kViewToolbar = 59392;
constexpr int kViewStatusBar = 59393;
constexpr int kHomePage = 32786;
}  // namespace kv::cmd

namespace kv::res {

constexpr int kSeparator = 0;

struct MenuItem {
  int id;                 // kSeparator for a separator line
  std::string_view text;  // empty for a separator
};

struct Menu {
  std::string_view title;
  std::span<const MenuItem> items;
};

struct CommandText {
  int id;
  std::string_view prompt;   // status-bar prompt
  std::string_view tooltip;  // toolbar tooltip
};

struct Accelerator {
  int id;
  std::string_view keys;  // portable key text, e.g. "Ctrl+O", "Shift+F6"
};

// The pictures the shell draws for toolbar buttons, named for what they
// show; each program's toolbar gives every button one.
enum class ButtonArt {
  Frame,          // a plain frame: no picture of its own
  RulerNext,      // a ruler and an arrow on to the next
  Information,    // an "i" in a circle
  FitInFrame,     // a photo inside the corners of a frame
  Folder,
  MagnifierPlus,
  MagnifierMinus,
  PhotoBack,      // a photo with an arrow back
  PhotoForward,   // a photo with an arrow on
  Sun,
  Contrast,       // a circle half dark
  Question,       // a "?" in a circle
  House,
  PhotoIn,        // a photo with an arrow coming in
  Disk,
  PageOut,        // a page carrying a ruler, going out
  Measure,        // two marked ends and "mm"
  Eye,
};

struct ToolbarButton {
  int id;  // kSeparator for a gap between groups
  ButtonArt art = ButtonArt::Frame;
};

struct ProgramTable {
  std::string_view appName;       // "Kovalindra" / "Kovasand"
  std::string_view idleMessage;   // status bar's idle text
  std::string_view docTemplate;   // "title\ndoc name\nnew type\nfilter\n.ext"
  std::span<const Menu> menus;
  std::span<const MenuItem> contextMenu;  // empty when the program has none
  std::span<const ToolbarButton> toolbar;
  std::span<const Accelerator> accelerators;
  std::span<const CommandText> commands;
  std::string_view aboutTitle;
  std::string_view aboutVersion;
  std::string_view helpFile;  // file name under help/ next to the program
  std::string_view aboutNotice;  // the about box's line on what the program does
  int aboutWebButtonId = 0;      // control number of the about box's web button
  // A command of the program's own that ends it as Exit does (the viewer's
  // view offers one); 0 when there is none.
  int exitCommand = 0;
};

// Prompt and tooltip of a command; nullptr when the table has none.
inline const CommandText* FindCommand(const ProgramTable& t, int id) {
  for (const CommandText& c : t.commands)
    if (c.id == id) return &c;
  return nullptr;
}

}  // namespace kv::res
