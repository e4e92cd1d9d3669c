#pragma once
// "ﾏｰｶｰで自動登録": the markers on the document's photo become
// registrations, added after the user's own, with the size the user typed
// once and the program remembers.
#include <cstdint>

#include "authoring/model/kovasand_document.h"
#include "platform/services.h"

namespace kv::authoring {

// Where the size is remembered in the profile.
inline constexpr const char* kMarkerSizeSection = "settings";
inline constexpr const char* kMarkerSizeKey = "MarkerMm";

// The size last used, or the default (also for a remembered value that is
// no longer one).
int32_t RememberedMarkerSize(platform::Profile* profile);
void RememberMarkerSize(platform::Profile* profile, int32_t sizeMm);

// Adds one registration per marker on the upright photo, none that is
// already there; a refusal (no photo, no marker, too small, seen at a
// slant) is told and nothing is added. The number added, 0 on refusal.
int RegisterByMarkers(KovasandDoc& doc, int32_t sizeMm);

}  // namespace kv::authoring
