#pragma once
// Publishing a whole folder: every photo (JPEG, HEIC, PNG) becomes a ".kvi"
// file, registered either by the registrations of one project photo (a
// fixed rig: every photo of the same pixel size gets them) or by the
// printed markers in each photo. Photos go to the cores in parallel; each
// one succeeds or fails on its own, with the reason. No Qt: the authoring
// tool's dialog and kvitool share it.
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "foundation/core/image/orientation.h"
#include "kvi/size_registration.h"

namespace kv::authoring {

struct BatchRequest {
  std::string targetFolder;
  // Exactly one of the two.
  std::optional<int32_t> markerMm;
  struct Fixed {
    RegistrationList upright;  // on the project's photo as shown
    PixelSize uprightSize;     // that photo as shown
  };
  std::optional<Fixed> fixed;
  // What publishing adds to each file (CP932 link, raw RGB logo).
  std::string link;
  int32_t logoWidth = 0, logoHeight = 0;
  std::vector<uint8_t> logoBytes;
  // Replace ".kvi" files that are there already (otherwise each such photo
  // fails and its file is left alone).
  bool overwrite = false;
  int threads = 0;  // 0: one per core
};

struct BatchItem {
  std::string photo;   // path
  std::string target;  // the ".kvi" path
  bool done = false;
  std::string reason;  // why not (Japanese)
  int registrations = 0;
};

// The photos directly in `folder` (not below it), by name.
std::vector<std::string> ListPhotos(const std::string& folder);
// The ".kvi" a photo becomes: its name without extension, in `targetFolder`.
std::string BatchTarget(const std::string& photo, const std::string& targetFolder);
// The targets of these photos that exist already, each once.
std::vector<std::string> ExistingTargets(const std::vector<std::string>& photos,
                                         const std::string& targetFolder);

// Called after each photo, from the worker that did it, one call at a time.
using BatchProgress = std::function<void(size_t done, size_t total, const BatchItem& item)>;

// One item per photo, in the order given. `cancel`, set from another thread,
// stops the run after the photos under way; those not started say so.
std::vector<BatchItem> PublishFolder(const BatchRequest& request,
                                     const std::vector<std::string>& photos,
                                     const std::atomic<bool>* cancel = nullptr,
                                     const BatchProgress& progress = nullptr);

// The report shown at the end: how many were written, and each photo that
// failed with why (UTF-8, lines broken with '\n').
std::string BatchReport(const std::vector<BatchItem>& items);

}  // namespace kv::authoring
