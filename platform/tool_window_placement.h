#pragma once
// Where a tool window stands across runs: its outer rectangle is kept in the
// profile as "%04d %04d %04d %04d"; only the top-left corner is used again.
#include <QWidget>

namespace kv::platform {

class Profile;

// Moves the window (its own size kept) to the saved top-left corner when
// that corner lies on some connected screen; false when nothing usable was
// saved, so the caller picks the default place.
bool PlaceFromProfile(QWidget& window, Profile* profile, const char* section, const char* key);
void SavePlacementToProfile(const QWidget& window, Profile* profile, const char* section,
                            const char* key);

}  // namespace kv::platform
