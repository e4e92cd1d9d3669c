#pragma once
// A main window that remembers where it was: its placement is saved in the
// profile section "Window size" ("Rect", "icon", "max") when it closes and
// restored the first time it is shown.
#include <QMainWindow>
#include <functional>
#include <string>
#include <string_view>

#include "foundation/core/util/text.h"
#include "platform/services.h"

namespace kv::shell {

enum class ProgramKind { Viewer, Authoring };
enum class ShowState { Normal, Minimised, Maximised };

// The window's normal rectangle (right and bottom exclusive, screen pixels)
// and how it is shown. The rectangle is the window's own area (menu, bars
// and view) without the desktop's decorations: Qt restores that exactly on
// every desktop, while the decorations' size is known only once the window
// is up, so keeping it out means the window never creeps from run to run.
struct WindowPlacement {
  kv::Rect normal{0, 0, 640, 480};
  ShowState state = ShowState::Normal;
  bool restoreMaximised = false;  // minimised, and maximised again when restored
  bool operator==(const WindowPlacement&) const = default;
};

inline constexpr char kPlacementSection[] = "Window size";
inline constexpr kv::Rect kDefaultFrameRect{0, 0, 640, 480};

struct PlacementRecord {
  std::string rect;  // "%04d %04d %04d %04d"
  int32_t icon = 0;
  int32_t max = 0;
};

// What closing the window writes.
PlacementRecord PlacementToRecord(const WindowPlacement& placement);

// What the first show does with what the profile holds. `rectText` empty
// means missing. The viewer clamps the rectangle to the desktop; a rectangle
// with no area, or one that overlaps no screen, is replaced by the default.
WindowPlacement PlacementFromRecord(ProgramKind kind, std::string_view rectText, int32_t icon,
                                    int32_t max, const kv::Rect& desktop,
                                    const std::function<bool(const kv::Rect&)>& onSomeScreen);

class PersistentFrame : public QMainWindow {
  Q_OBJECT
 public:
  // profile may be null and set before the first show.
  PersistentFrame(ProgramKind kind, platform::Profile* profile, QWidget* parent = nullptr);
  ~PersistentFrame() override;

  ProgramKind Kind() const { return kind_; }
  void SetPlacementProfile(platform::Profile* profile) { profile_ = profile; }

  // The first call restores the saved placement and shows the window in the
  // saved state; later calls only show and raise it.
  void ActivateFrame();

  // The placement as the window has it now.
  WindowPlacement CurrentPlacement() const;
  // Writes the current placement to the profile.
  void SavePlacement();

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Lets a subclass refuse closing (save prompts) before the placement is saved.
  virtual bool QueryClose() { return true; }
  // Called once the close is accepted and the placement saved.
  virtual void OnClosing() {}

 private:
  ProgramKind kind_;
  platform::Profile* profile_;
  bool firstActivation_ = true;
};

}  // namespace kv::shell
