#include "authoring/model/marker_registration.h"

#include <algorithm>

#include "authoring/model/marker_detect.h"
#include "platform/services.h"

namespace kv::authoring {

int32_t RememberedMarkerSize(platform::Profile* profile) {
  if (!profile) return kDefaultMarkerMm;
  const int32_t v = profile->GetInt(kMarkerSizeSection, kMarkerSizeKey, kDefaultMarkerMm);
  return CheckMarkerSize(v).empty() ? v : kDefaultMarkerMm;
}

void RememberMarkerSize(platform::Profile* profile, int32_t sizeMm) {
  if (profile && CheckMarkerSize(sizeMm).empty())
    profile->WriteInt(kMarkerSizeSection, kMarkerSizeKey, sizeMm);
}

int RegisterByMarkers(KovasandDoc& doc, int32_t sizeMm) {
  if (!doc.HasPhoto()) {
    doc.Tell("写真がありません。先に写真ﾌｧｲﾙを読み込んで下さい。", platform::MsgIcon::Information);
    return 0;
  }
  if (const std::string why = CheckMarkerSize(sizeMm); !why.empty()) {
    doc.Tell(why, platform::MsgIcon::Warning);
    return 0;
  }
  MarkerOutcome found;
  {
    platform::WaitCursor wait;
    MarkerDetector detector;
    found = RegistrationsFromMarkers(detector.Detect(doc.image), sizeMm);
  }
  if (!found.Ok()) {
    doc.Tell(found.refusal, platform::MsgIcon::Warning);
    return 0;
  }
  int added = 0;
  for (const SizeRegistration& r : found.registrations) {
    const bool known = std::any_of(doc.registrations.begin(), doc.registrations.end(),
                                   [&](const SizeRegistration& o) {
                                     return o.startX == r.startX && o.startY == r.startY &&
                                            o.endX == r.endX && o.endY == r.endY &&
                                            o.lengthMm == r.lengthMm;
                                   });
    if (!known && doc.AddRegistration(r)) ++added;
  }
  if (added == 0)
    doc.Tell("ﾏｰｶｰのｻｲｽﾞ登録は既にあります。", platform::MsgIcon::Information);
  return added;
}

}  // namespace kv::authoring
