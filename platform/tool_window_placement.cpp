#include "platform/tool_window_placement.h"

#include "foundation/core/util/text.h"
#include "platform/screen.h"
#include "platform/services.h"

namespace kv::platform {

bool PlaceFromProfile(QWidget& window, Profile* profile, const char* section, const char* key) {
  if (!profile) return false;
  const std::string saved = profile->GetString(section, key, "");
  if (saved.empty()) return false;
  const Rect r = TextToRect(saved);
  // A window left with only a sliver on some screen (a monitor since
  // unplugged or moved) would be out of reach; one on a second monitor, even
  // left of or above the primary one, is where the user put it.
  const QRect frame = window.frameGeometry();
  if (!IsTitleAreaOnAnyScreen(QRect(r.left, r.top, frame.width(), frame.height()))) return false;
  window.move(r.left, r.top);
  return true;
}

void SavePlacementToProfile(const QWidget& window, Profile* profile, const char* section,
                            const char* key) {
  if (!profile) return;
  const QRect g = window.frameGeometry();
  profile->WriteString(section, key,
                       RectToText(g.x(), g.y(), g.x() + g.width(), g.y() + g.height()));
}

}  // namespace kv::platform
