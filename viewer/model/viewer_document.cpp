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

std::string FileNameOf(const std::string& path) { return fs::path(path).filename().string(); }

}  // namespace

KovalindraDoc::KovalindraDoc(platform::Services services, SettingsLocation settings)
    : services_(services),
      settings_(settings),
      writePath_(SettingsWritePath(settings)),
      store_(SettingsReadPath(settings), writePath_) {
  CreateThumbnailDib(thumbnail);
  PhotoSession::Callbacks callbacks;
  callbacks.fileArrived = [this](const ArrivedFile& arrived) { OnFileArrived(arrived); };
  callbacks.photoChanged = [this] {
    DibImage made = session_->TakeThumbnail();
    if (made.pixels)
      thumbnail.image = std::move(made);
    else
      CreateThumbnailDib(thumbnail);  // nothing to navigate
    NotifyViews("", code::kPhotoArrived);
  };
  callbacks.failed = [this](const SessionFailure& failure) { OnPhotoFailed(failure); };
  session_ = std::make_unique<PhotoSession>(services_.dispatcher, std::move(callbacks));
}

KovalindraDoc::~KovalindraDoc() {
  // Its workers end before the document they report to.
  session_.reset();
}

void KovalindraDoc::Tell(const std::string& utf8, platform::MsgIcon icon) {
  if (services_.messages) services_.messages->Show(utf8, icon, platform::MsgButtons::Ok);
}

void KovalindraDoc::AdoptPhotoFile(std::shared_ptr<const ActualSizeFile> fresh) {
  // Registrations follow the photo upright; the size the file's points
  // count in is the photo's as stored.
  UprightPhoto upright = ShowUpright(fresh->jpegBytes, fresh->registrations);
  orientation_ = upright.orientation;
  shownSize_ = upright.shown;
  shown_ = std::move(upright.registrations);
  file_ = std::move(fresh);
  hasFile_ = true;
  // An index into the previous file's list means nothing here.
  currentPoint = 0;
  CreateThumbnailDib(thumbnail);
  BuildLogoImage();
}

bool KovalindraDoc::OpenDocument(const std::string& path) {
  const uint64_t request = session_->Open(path, true);
  NotifyViews("", code::kPhotoRequested);
  return !(session_->State() == PhotoState::Failed && session_->Request() == request);
}

bool KovalindraDoc::OpenFolderEntry(size_t index) {
  if (index >= folder_.size()) return false;
  // Whether it opens or not, the folder position is now there: the next
  // step goes on past a file that cannot be shown.
  folderIndex_ = index;
  const uint64_t request = session_->Open(folder_[index].path, false);
  NotifyViews("", code::kPhotoRequested);
  return !(session_->State() == PhotoState::Failed && session_->Request() == request);
}

void KovalindraDoc::OnFileArrived(const ArrivedFile& arrived) {
  lastFailure_.reset();
  AdoptPhotoFile(arrived.file);
  SetPathName(arrived.path);
  if (arrived.opening) {
    std::vector<FolderEntry> list = arrived.folder ? *arrived.folder : std::vector<FolderEntry>{};
    // A file that is not ".kvi" in a folder without any: it is the whole
    // list, so stepping stays in this folder instead of the previous one.
    if (list.empty()) list.push_back({arrived.path, FileNameOf(arrived.path)});
    folder_ = std::move(list);
    folderIndex_ = 0;
    for (size_t i = 0; i < folder_.size(); ++i)
      if (folder_[i].path == arrived.path) folderIndex_ = i;
    SetTitle(FileNameOf(arrived.path));
    if (onOpened) onOpened(arrived.path);
  } else {
    SetTitle(arrived.path);
  }
}

void KovalindraDoc::OnPhotoFailed(const SessionFailure& failure) {
  lastFailure_ = failure;
  NotifyViews("", code::kPhotoFailed);
  const bool opening = failure.opening;
  if (failure.kind == FailureKind::Read) {
    // A step says it in the status bar; an opening in a message box.
    if (opening) {
      Tell(OpenFailureMessage(failure.path, failure.reason), platform::MsgIcon::Warning);
      // An explicit open puts the folder position back on the photo on show,
      // also after a step that stopped on a file that failed.
      for (size_t i = 0; i < folder_.size(); ++i)
        if (folder_[i].path == PathName()) folderIndex_ = i;
    }
  } else if (failure.kind == FailureKind::Memory) {
    Tell("写真(JPEG)を表示できませんでした。\r" + ShownFileName(failure.path) +
             "\r写真が大きすぎて、ﾒﾓﾘに収まりません。\r(" + failure.reason + ")",
         platform::MsgIcon::Warning);
  } else {
    Tell(BrokenPhotoMessage(failure.path, failure.reason), platform::MsgIcon::Warning);
  }
  if (opening && !failure.wasShown && onOpenFailed) onOpenFailed(failure.path);
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
  // While a file asked for is still on its way, the position is on it and
  // steps go on from there.
  const bool skipShown = session_->State() == PhotoState::Failed;
  for (size_t tries = 0; tries < n; ++tries) {
    index = direction > 0 ? (index + 1) % n : (index + n - 1) % n;
    if (folder_[index].path != old && !(skipShown && folder_[index].path == PathName()))
      return index;
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
