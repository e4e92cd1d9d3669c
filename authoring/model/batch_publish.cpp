#include "authoring/model/batch_publish.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "authoring/model/marker_detect.h"
#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/shown_photo.h"
#include "foundation/core/image/photo_import.h"
#include "foundation/core/util/encoding.h"
#include "foundation/core/util/file_io.h"
#include "kvi/actual_size_file.h"
#include "kvi/upright.h"

namespace kv::authoring {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCancelled = "中止したため出力していません";

std::string FileNameOf(const std::string& path) { return fs::path(path).filename().string(); }

// One photo, start to finish; `detector` is this worker's own.
void PublishOne(const BatchRequest& request, BatchItem& item, MarkerDetector* detector) {
  std::vector<uint8_t> original, jpeg;
  std::string reason;
  if (!ReadWholeFile(item.photo, original, reason, (uint64_t(1) << 31) - 1)) {
    item.reason = reason;
    return;
  }
  if (!PhotoToJpeg(std::move(original), jpeg, reason)) {
    item.reason = reason;
    return;
  }
  const UprightPhoto upright = ShowUpright(jpeg);
  const Orientation o = upright.orientation;
  ActualSizeFile f;
  if (request.fixed) {
    // The rig's registrations fit only photos of the project photo's size;
    // the header says it without decoding.
    const std::optional<PixelSize> stored = upright.stored;
    if (!stored) {
      item.reason = "JPEGの大きさが読み取れません";
      return;
    }
    const PixelSize shown = upright.shown;
    if (!(shown == request.fixed->uprightSize)) {
      item.reason = "写真の大きさ " + std::to_string(shown.width) + " x " +
                    std::to_string(shown.height) + " がﾌﾟﾛｼﾞｪｸﾄの写真(" +
                    std::to_string(request.fixed->uprightSize.width) + " x " +
                    std::to_string(request.fixed->uprightSize.height) + ")と違います";
      return;
    }
    f.registrations = RegistrationsToStored(request.fixed->upright, o, *stored);
  } else {
    // The markers are looked for on the photo as the authoring tool shows it.
    DibImage photo;
    if (DecodeShownSrgb(jpeg.data(), jpeg.size(), o, photo, reason) != 1) {
      item.reason = reason;
      return;
    }
    const PixelSize stored = ShownSize({photo.width, photo.height}, o);
    MarkerOutcome found = RegistrationsFromMarkers(detector->Detect(photo), *request.markerMm);
    if (!found.Ok()) {
      item.reason = found.refusal;
      return;
    }
    f.registrations = RegistrationsToStored(found.registrations, o, stored);
  }
  // The name is only a label in the file: characters CP932 lacks become '_'.
  f.jpegName = Utf8ToCp932(ReplaceNonCp932(FileNameOf(item.photo))).value_or("");
  f.jpegBytes = std::move(jpeg);
  f.link = request.link;
  f.logoWidth = request.logoWidth;
  f.logoHeight = request.logoHeight;
  f.logoBytes = request.logoBytes;
  std::error_code ec;
  if (!request.overwrite && fs::exists(item.target, ec)) {
    item.reason = FileNameOf(item.target) + " が既にあります(上書きしませんでした)";
    return;
  }
  if (!WriteActualSizeFile(item.target, f, reason)) {
    item.reason = reason;
    return;
  }
  item.registrations = int(f.registrations.size());
  item.done = true;
}

}  // namespace

std::vector<std::string> ListPhotos(const std::string& folder) {
  std::vector<std::string> photos;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code ec2;
    if (it->is_regular_file(ec2) && IsPhotoFileName(it->path().filename().string()))
      photos.push_back(it->path().string());
  }
  std::sort(photos.begin(), photos.end());
  return photos;
}

std::string BatchTarget(const std::string& photo, const std::string& targetFolder) {
  return (fs::path(targetFolder) / fs::path(photo).stem()).string() + ".kvi";
}

std::vector<std::string> ExistingTargets(const std::vector<std::string>& photos,
                                         const std::string& targetFolder) {
  std::vector<std::string> existing;
  for (const std::string& p : photos) {
    const std::string t = BatchTarget(p, targetFolder);
    std::error_code ec;
    if (fs::exists(t, ec) && std::find(existing.begin(), existing.end(), t) == existing.end())
      existing.push_back(t);
  }
  return existing;
}

std::vector<BatchItem> PublishFolder(const BatchRequest& request,
                                     const std::vector<std::string>& photos,
                                     const std::atomic<bool>* cancel,
                                     const BatchProgress& progress) {
  std::vector<BatchItem> items(photos.size());
  std::map<std::string, std::string> firstFor;  // target -> the photo that has it
  for (size_t i = 0; i < photos.size(); ++i) {
    items[i].photo = photos[i];
    items[i].target = BatchTarget(photos[i], request.targetFolder);
    const auto [at, fresh] = firstFor.emplace(items[i].target, photos[i]);
    // a.jpg and a.heic would write one file: the first keeps the name.
    if (!fresh)
      items[i].reason = FileNameOf(at->second) + " と同じ名前のkviﾌｧｲﾙになるため出力していません";
  }
  if (request.markerMm.has_value() == request.fixed.has_value()) {
    for (BatchItem& item : items)
      if (item.reason.empty()) item.reason = "登録の方法(ﾏｰｶｰかﾌﾟﾛｼﾞｪｸﾄ)が指定されていません";
    return items;
  }
  std::error_code ec;
  fs::create_directories(request.targetFolder, ec);

  int threads = request.threads > 0 ? request.threads : int(std::thread::hardware_concurrency());
  threads = std::clamp(threads, 1, std::max(1, int(photos.size())));
  std::atomic<size_t> next{0};
  std::mutex report;
  size_t finished = 0;
  auto worker = [&] {
    // Parallel over photos, so each detector keeps to one thread.
    std::unique_ptr<MarkerDetector> detector;
    if (request.markerMm) detector = std::make_unique<MarkerDetector>();
    for (;;) {
      const size_t i = next.fetch_add(1);
      if (i >= items.size()) return;
      BatchItem& item = items[i];
      if (item.reason.empty()) {
        if (cancel && cancel->load()) {
          item.reason = kCancelled;
        } else {
          try {
            PublishOne(request, item, detector.get());
          } catch (const std::bad_alloc&) {
            item.done = false;
            item.reason = "ﾒﾓﾘが足りません";
          } catch (...) {
            item.done = false;
            item.reason = "予期しないｴﾗｰです";
          }
        }
      }
      std::lock_guard<std::mutex> lock(report);
      ++finished;
      if (progress) progress(finished, items.size(), item);
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(worker);
  worker();
  for (std::thread& t : pool) t.join();
  return items;
}

std::string BatchReport(const std::vector<BatchItem>& items) {
  size_t done = 0;
  std::string failures;
  for (const BatchItem& item : items) {
    if (item.done) {
      ++done;
    } else {
      std::string why = item.reason;
      std::replace(why.begin(), why.end(), '\r', ' ');
      failures += FileNameOf(item.photo) + ": " + why + "\n";
    }
  }
  std::string text = std::to_string(items.size()) + " 枚中 " + std::to_string(done) +
                     " 枚をkviﾌｧｲﾙに出力しました。";
  if (!failures.empty())
    text += "\n出力できなかった写真 (" + std::to_string(items.size() - done) + " 枚):\n" + failures;
  return text;
}

}  // namespace kv::authoring
