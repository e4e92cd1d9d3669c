#include "viewer/model/viewer_document.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "foundation/core/util/geometry.h"
#include "foundation/core/util/text.h"
#include "kvi/upright.h"
#include "viewer/model/open_messages.h"

namespace kv::viewer {
namespace {

namespace fs = std::filesystem;

bool HasKviExtension(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& ch : ext)
    if (ch >= 'A' && ch <= 'Z') ch = char(ch - 'A' + 'a');
  return ext == ".kvi";
}

std::string FileNameOf(const std::string& path) { return fs::path(path).filename().string(); }

}  // namespace

KovalindraDoc::KovalindraDoc(platform::Services services, SettingsLocation settings)
    : services_(services),
      settings_(settings),
      writePath_(SettingsWritePath(settings)),
      store_(SettingsReadPath(settings), writePath_) {
  CreateThumbnailDib(thumbnail);
}

void KovalindraDoc::Tell(const std::string& utf8, platform::MsgIcon icon) {
  if (services_.messages) services_.messages->Show(utf8, icon, platform::MsgButtons::Ok);
}

bool KovalindraDoc::OpenPhotoFile(const std::string& path, std::string& reason) {
  auto fresh = std::make_shared<ActualSizeFile>();
  if (!ReadActualSizeFile(path, *fresh, reason)) return false;
  AdoptPhotoFile(std::move(fresh));
  return true;
}

void KovalindraDoc::AdoptPhotoFile(std::shared_ptr<const ActualSizeFile> fresh) {
  // Registrations follow the photo upright; the size the file's points
  // count in is the photo's as stored.
  const std::optional<PixelSize> stored =
      ReadJpegSize(fresh->jpegBytes.data(), fresh->jpegBytes.size());
  orientation_ = ShownOrientation(fresh->jpegBytes.data(), fresh->jpegBytes.size());
  shownSize_ = stored ? ShownSize(*stored, orientation_) : PixelSize{0, 0};
  shown_ = stored ? RegistrationsToShown(fresh->registrations, orientation_, *stored)
                  : fresh->registrations;
  file_ = std::move(fresh);
  hasFile_ = true;
  // An index into the previous file's list means nothing here.
  currentPoint = 0;
  CreateThumbnailDib(thumbnail);
  BuildLogoImage();
}

bool KovalindraDoc::OpenDocument(const std::string& path) {
  std::string reason;
  if (!OpenPhotoFile(path, reason)) {
    Tell(OpenFailureMessage(path, reason), platform::MsgIcon::Warning);
    // An explicit open puts the folder position back on the photo on show,
    // also after a step that stopped on a file that failed.
    for (size_t i = 0; i < folder_.size(); ++i)
      if (folder_[i].path == PathName()) folderIndex_ = i;
    return false;
  }
  // The file on show, also for what its decode may have to say about it.
  SetPathName(path);
  const fs::path p(path);
  std::string folder = p.parent_path().string();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  std::vector<FolderEntry> list = ListFolderFiles(folder);
  // A file that is not ".kvi" in a folder without any: it is the whole
  // list, so stepping stays in this folder instead of the previous one.
  if (list.empty()) list.push_back({path, FileNameOf(path)});
  folder_ = std::move(list);
  folderIndex_ = 0;
  for (size_t i = 0; i < folder_.size(); ++i)
    if (folder_[i].path == path) folderIndex_ = i;
  return true;
}

std::vector<FolderEntry> KovalindraDoc::ListFolderFiles(const std::string& folder) {
  std::vector<FolderEntry> out;
  std::error_code ec;
  fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!HasKviExtension(name)) continue;
    std::error_code typeEc;
    if (!it->is_regular_file(typeEc)) continue;
    out.push_back({folder + name, name});
  }
  std::sort(out.begin(), out.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return out;
}

std::optional<size_t> KovalindraDoc::StepTarget(int direction) const {
  const size_t n = folder_.size();
  if (n <= 1) return std::nullopt;
  size_t index = folderIndex_ < n ? folderIndex_ : 0;
  const std::string& old = folder_[index].path;
  // At most one lap: a list whose every entry is the same path has no other.
  // After a file that did not open the position is on it while another
  // photo is on show; stepping back onto the one on show would look like
  // nothing happened.
  for (size_t tries = 0; tries < n; ++tries) {
    index = direction > 0 ? (index + 1) % n : (index + n - 1) % n;
    if (folder_[index].path != old && folder_[index].path != PathName()) return index;
  }
  return std::nullopt;
}

void KovalindraDoc::BuildLogoImage() {
  ReleaseIplImage(logoImage_);
  if (!HasUsableLogo(*file_)) return;
  const int32_t w = file_->logoWidth;
  const int32_t h = file_->logoHeight;
  MakeColorIplImage(logoImage_, w, h);
  if (!logoImage_) return;
  // Stored red, green, blue, rows top-down.
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* in = file_->logoBytes.data() + size_t(y) * size_t(w) * 3;
    uint8_t* out = logoImage_->Row(y);
    for (int32_t x = 0; x < w; ++x, in += 3, out += 4) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      out[3] = 255;
    }
  }
}

bool KovalindraDoc::TellOrCancel(const std::string& utf8) {
  if (!services_.messages) return true;
  return services_.messages->Show(utf8, platform::MsgIcon::Information,
                                  platform::MsgButtons::OkEscapeCancels) != platform::MsgResult::Cancel;
}

bool KovalindraDoc::BeginA4Calibration() {
  if (!TellOrCancel(text::kA4Start)) return false;
  mouseMode = kCalibrationPending;
  pendingLength_ = kA4WidthMm;
  NotifyViews("", code::kRepaint);
  if (TellOrCancel(text::kA4Click)) return true;
  CancelCalibration();
  return false;
}

bool KovalindraDoc::BeginCustomCalibration(int32_t lengthMm) {
  pendingLength_ = std::clamp(lengthMm, kMinCalibrationMm, kMaxCalibrationMm);
  mouseMode = kCalibrationPending;
  if (TellOrCancel(text::kCustomStart)) {
    NotifyViews("", code::kRepaint);
    if (TellOrCancel(text::kCustomClick)) return true;
  }
  CancelCalibration();
  return false;
}

bool KovalindraDoc::CancelCalibration() {
  if (!CalibrationPending()) return false;
  mouseMode = kMouseScroll;
  NotifyViews("", code::kRepaint);
  return true;
}

std::string KovalindraDoc::GuideCaption() const {
  return pendingLength_ == kA4WidthMm ? text::kGuideA4 : text::kGuideCustom;
}

bool KovalindraDoc::SetScreen(const ScreenId& screen, const ScreenId& primary,
                              std::optional<double> reportedMmPerPixel) {
  store_.SetPrimary(primary);
  screen_ = screen;
  primary_ = screen == primary;
  reported_ = reportedMmPerPixel;
  const DisplayCalibration before = calibration_;
  const CalibrationState stateBefore = state_;
  calibration_ = store_.For(screen, state_);
  return !(calibration_ == before) || state_ != stateBefore;
}

CalibrationResult KovalindraDoc::CompleteCalibration(int32_t x, int32_t y, int32_t clientHeight) {
  if (!CalibrationPending()) return CalibrationResult::NotPending;
  const DisplayCalibration next{AnchorX(), AnchorY(clientHeight), x, y, pendingLength_};
  if (ScreenDistance(next) < kMinCalibrationPixels) {
    Tell("ｸﾘｯｸした位置が┼ﾏｰｸに近すぎます。\r右端をｸﾘｯｸして下さい。", platform::MsgIcon::Warning);
    return CalibrationResult::TooCloseToAnchor;
  }
  const double mm = ScreenMillimetresPerPixel(next).value_or(0.0);
  if (CalibrationLooksWrong(mm, reported_)) {
    // A mis-click must not replace a good calibration unasked.
    std::string q = std::string(text::kLooksWrong) + "\r設定した大きさ: 約" +
                    IntToText(int32_t(std::lround(25.4 / mm))) + "dpi";
    if (reported_) q += "(ﾓﾆﾀｰの報告: 約" + IntToText(int32_t(std::lround(25.4 / *reported_))) + "dpi)";
    q += std::string("\r") + text::kLooksWrongQuestion;
    const platform::MsgResult answer =
        services_.messages
            ? services_.messages->Show(q, platform::MsgIcon::Question, platform::MsgButtons::YesNo)
            : platform::MsgResult::No;
    if (answer != platform::MsgResult::Yes) {
      CancelCalibration();
      return CalibrationResult::Declined;
    }
  }
  std::string reason;
  const bool saved = store_.Save(screen_, primary_, next, reason);
  calibration_ = next;
  state_ = CalibrationState::Calibrated;
  mouseMode = kMouseScroll;
  NotifyViews("", code::kRealSize);
  NotifyViews("", code::kRebuildDisplay);
  NotifyViews("", code::kRepaint);
  if (saved) {
    Tell(text::kCalibrated);
    return CalibrationResult::Saved;
  }
  Tell("ﾓﾆﾀｰの設定を保存できませんでした。\r" + writePath_ +
           "\rこの設定は今回の起動中だけ使われます。\r(" + reason + ")",
       platform::MsgIcon::Warning);
  return CalibrationResult::SaveFailed;
}

}  // namespace kv::viewer
