#pragma once
// The viewer's document: the ".kvi" file on show, its decoded photo and
// navigator thumbnail, the logo, the monitor calibration, the list of ".kvi"
// files in the opened file's folder and the current real-size point. It
// never draws and never writes a photo; the view does the pixel work when
// notified.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/core/image/dib_image.h"
#include "foundation/core/image/orientation.h"
#include "foundation/core/image/thumbnail.h"
#include "foundation/core/imageops/image.h"
#include "kvi/actual_size_file.h"
#include "platform/doc_view.h"
#include "platform/services.h"
#include "viewer/model/calibration.h"
#include "viewer/model/photo_session.h"

namespace kv::viewer {

// Notification codes from the document to its views.
namespace code {
inline constexpr int kRepaint = 0;
inline constexpr int kDecode = 10;
inline constexpr int kRebuildDisplay = 20;
inline constexpr int kRealSize = 50;
inline constexpr int kOffsets = 51;
inline constexpr int kBuffers = 100;
// The photo session's pixels changed: a new file's picture (the document has
// taken the file on), the whole photo after its first frame, or none.
inline constexpr int kPhotoArrived = 11;
// A file was asked for: the photo on show stays until it has a picture.
inline constexpr int kPhotoRequested = 12;
// The file asked for could not be shown (LastFailure says why).
inline constexpr int kPhotoFailed = 13;
}  // namespace code

// Left-click meaning.
inline constexpr int32_t kMouseScroll = 0;
inline constexpr int32_t kCalibrationPending = 1;
inline constexpr int32_t kMouseZoom = 10;
inline constexpr int32_t kMouseMeasure = 20;

enum class CalibrationResult { Saved, SaveFailed, TooCloseToAnchor, NotPending, Declined };

class KovalindraDoc : public platform::DocumentBase {
 public:
  // Reads the calibration from the settings file found through `settings`.
  KovalindraDoc(platform::Services services, SettingsLocation settings);

  ~KovalindraDoc() override;

  // --- files ---
  // Opening through the shell (command line, Open, recent list) or the
  // viewer's own dialog: the file is read and its folder listed on a
  // worker; everything on show stays until its photo has a picture. Then
  // the document takes it on (path, title, folder list) and onOpened runs.
  // A file that cannot be shown is reported and everything stays as it was
  // (onOpenFailed runs). False when it failed within the call (no
  // dispatcher: everything runs in the call).
  bool OpenDocument(const std::string& path);
  // A photo of the folder list: the position moves there at once (the next
  // step goes beyond a file that cannot be shown); the file is read on a
  // worker. False when it failed within the call.
  bool OpenFolderEntry(size_t index);
  // Takes on a file that was read (the photo session calls this as its
  // first picture is ready): the registrations, the logo, the real-size
  // point.
  void AdoptPhotoFile(std::shared_ptr<const ActualSizeFile> fresh);
  // The ".kvi" files of the folder, sorted by name; subfolders are skipped.
  static std::vector<FolderEntry> ListFolderFiles(const std::string& folder) {
    return ListKviFiles(folder);
  }
  // The photo on show and the work that brings the next.
  PhotoSession& Session() { return *session_; }
  const PhotoSession& Session() const { return *session_; }
  // Why the last file asked for was not shown.
  const std::optional<SessionFailure>& LastFailure() const { return lastFailure_; }
  // The frame's part of an opening: recent list and frame title (set by
  // the program; tests leave them unset).
  std::function<void(const std::string& path)> onOpened;
  std::function<void(const std::string& path)> onOpenFailed;
  // The folder-list position of the next (+1) or previous (-1) photo whose
  // path differs from the current one; none when there is no other.
  std::optional<size_t> StepTarget(int direction) const;

  const ActualSizeFile& File() const { return *file_; }
  // Shared with a decode that may outlive the document's hold on it.
  std::shared_ptr<const ActualSizeFile> SharedFile() const { return file_; }
  // The photo's upright size from its header (0 x 0 when it has none).
  PixelSize ShownPhotoSize() const { return shownSize_; }
  // The registrations on the photo as shown: turned with it when its Exif
  // orientation says it is stored sideways (the file keeps them as stored).
  const RegistrationList& Registrations() const { return shown_; }
  // How the photo must be turned to stand upright (1: as stored).
  Orientation PhotoOrientation() const { return orientation_; }
  bool HasFile() const { return hasFile_; }
  const std::vector<FolderEntry>& Folder() const { return folder_; }
  size_t FolderIndex() const { return folderIndex_; }
  void SetFolderIndex(size_t index) { folderIndex_ = index; }

  // The navigator's upright thumbnail (filled when the view's decode lands;
  // the view holds the decoded photo itself).
  DibSectionImage thumbnail;
  // The logo as a colour image, or empty.
  const IplImageSlot& LogoImage() const { return logoImage_; }
  int32_t LogoWidth() const { return logoImage_ ? file_->logoWidth : 0; }
  int32_t LogoHeight() const { return logoImage_ ? file_->logoHeight : 0; }
  const std::string& Link() const { return file_->link; }

  int32_t currentPoint = 0;
  int32_t mouseMode = kMouseScroll;

  // --- calibration ---
  // The calibration of the monitor the window is on: the defaults while
  // that monitor has none of its own (see CalibrationState()).
  const DisplayCalibration& Calibration() const { return calibration_; }
  CalibrationState ScreenCalibrationState() const { return state_; }
  // The window is on `screen`; `primary` is the primary monitor, and
  // `reportedMmPerPixel` what `screen` reports of its size when plausible
  // (a calibration far from it is questioned). True when the calibration
  // in use changed (the views are not told: the caller recomputes the real
  // size together with the screen's own estimate).
  bool SetScreen(const ScreenId& screen, const ScreenId& primary,
                 std::optional<double> reportedMmPerPixel = std::nullopt);
  const ScreenId& Screen() const { return screen_; }
  bool OnPrimaryScreen() const { return primary_; }
  bool CalibrationPending() const { return mouseMode == kCalibrationPending; }
  // The reference length of the calibration in progress (kept apart from
  // the stored calibration until the click completes it).
  int32_t PendingLength() const { return pendingLength_; }
  // False when the user cancelled it (Esc) at one of its messages.
  bool BeginA4Calibration();
  // After the length dialog's OK.
  bool BeginCustomCalibration(int32_t lengthMm);
  // Esc: a pending calibration is dropped, the stored one stays. False when
  // none was pending.
  bool CancelCalibration();
  // The click that completes a pending calibration, in client device pixels.
  CalibrationResult CompleteCalibration(int32_t x, int32_t y, int32_t clientHeight);
  // What the guide beside the anchor says while a calibration is pending.
  std::string GuideCaption() const;
  static constexpr int32_t AnchorX() { return kAnchorInset; }
  static int32_t AnchorY(int32_t clientHeight) { return clientHeight - kAnchorInset; }
  const std::string& SettingsPathForWriting() const { return writePath_; }

  platform::Services& Services() { return services_; }
  // A message box (information icon, OK) with the program's name as title.
  void Tell(const std::string& utf8, platform::MsgIcon icon = platform::MsgIcon::Information);

 private:
  void BuildLogoImage();
  void OnFileArrived(const ArrivedFile& arrived);
  void OnPhotoFailed(const SessionFailure& failure);

  // A message of a calibration being started; false when Esc closed it.
  bool TellOrCancel(const std::string& utf8);

  platform::Services services_;
  SettingsLocation settings_;
  std::string writePath_;
  std::shared_ptr<const ActualSizeFile> file_ = std::make_shared<const ActualSizeFile>();
  RegistrationList shown_;
  PixelSize shownSize_{0, 0};
  Orientation orientation_ = 1;
  bool hasFile_ = false;
  IplImageSlot logoImage_;
  CalibrationStore store_;
  DisplayCalibration calibration_;
  CalibrationState state_ = CalibrationState::Uncalibrated;
  // Until a window says otherwise the screen is the primary.
  ScreenId screen_;
  bool primary_ = true;
  std::optional<double> reported_;
  int32_t pendingLength_ = kA4WidthMm;
  std::vector<FolderEntry> folder_;
  size_t folderIndex_ = 0;
  std::optional<SessionFailure> lastFailure_;
  // Made last and destroyed first: its callbacks reach into the document.
  std::unique_ptr<PhotoSession> session_;
};

// Texts the user sees.
namespace text {
inline constexpr const char* kA4Start = "ﾓﾆﾀｰ設定を行います。\rA4用紙の左上を┼ﾏｰｸに\r合わせて下さい。";
inline constexpr const char* kA4Click = "用紙の右端をｸﾘｯｸして下さい。\r(Escｷｰで中止します)";
inline constexpr const char* kCustomStart =
    "ﾓﾆﾀｰ設定を行います。\r指定した間隔の左を┼ﾏｰｸに\r合わせて下さい。";
inline constexpr const char* kCustomClick = "右端をｸﾘｯｸして下さい。\r(Escｷｰで中止します)";
inline constexpr const char* kCalibrationCancelled = "ﾓﾆﾀｰ設定を中止しました。";
// Asked before a calibration far from what the monitor reports is saved.
inline constexpr const char* kLooksWrong =
    "ﾓﾆﾀｰの報告する大きさと大きく違います。ｸﾘｯｸの位置を誤っていませんか?";
inline constexpr const char* kLooksWrongQuestion =
    "この設定を保存しますか?\r(「いいえ」で今までの設定のままにします)";
inline constexpr const char* kCalibrated = "ﾓﾆﾀｰの設定が完了しました！\rﾘｱﾙｻｲｽﾞ表示が可能です。";
inline constexpr const char* kGuideA4 = "┼　A4用紙の左上の端を合わせて下さい。";
inline constexpr const char* kGuideCustom = "┼　左端を合わせて下さい。";
}  // namespace text

}  // namespace kv::viewer
