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
  // A corner off every screen (a monitor since unplugged) would leave the
  // window out of reach; one on a second monitor, even left of or above the
  // primary one, is where the user put it.
  if (!IsPointOnAnyScreen(r.left, r.top)) return false;
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
