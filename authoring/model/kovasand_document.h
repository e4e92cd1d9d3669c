#pragma once
// The authoring tool's document: the photo being worked on (path, file
// bytes, decoded pixels, navigator thumbnail), its size registrations, and
// what publishing adds from the program's folder (logo bytes, link, logo
// size). It reads and writes projects, writes ".kvi" files and keeps the
// preview files of this run in a private folder removed with the document.
//
// Paths are UTF-8 as the file system takes them; texts that go into files
// are converted to CP932 and refused when they cannot be.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/core/image/dib_image.h"
#include "foundation/core/image/thumbnail.h"
#include "kvi/actual_size_file.h"
#include "platform/doc_view.h"
#include "platform/services.h"

namespace kv::authoring {

// Notification codes from the document to its views.
namespace code {
inline constexpr int kRepaint = 0;
inline constexpr int kRedrawNavigator = 1;
inline constexpr int kThumbnail = 10;
inline constexpr int kDisplay = 101;
// Not sent by the other platform's program: the registration list changed
// (added, deleted, reloaded); the list window refills itself.
inline constexpr int kListChanged = 200;
}  // namespace code

// Size-registration state.
inline constexpr int32_t kDrawIdle = 0;
inline constexpr int32_t kDrawStart = 10;
inline constexpr int32_t kDrawEnd = 11;

// Accepted measured lengths, in millimetres.
inline constexpr int32_t kMinLengthMm = 1;
inline constexpr int32_t kMaxLengthMm = 1000000;

inline constexpr const char* kSettingsFileName = "kovasand.ini";
inline constexpr const char* kLogoFileName = "kovafunc.dll";

class KovasandDoc : public platform::DocumentBase {
 public:
  // programFolder: where "kovasand.ini" and "kovafunc.dll" are read, ending
  // with '/'. tempRoot: where the private preview folder is made (empty:
  // $TMPDIR or /tmp).
  KovasandDoc(platform::Services services, std::string programFolder, std::string tempRoot = "");
  ~KovasandDoc() override;
  KovasandDoc(const KovasandDoc&) = delete;
  KovasandDoc& operator=(const KovasandDoc&) = delete;

  // --- document life (each shows its own messages) ---
  // Settings and logo first; only when both load is anything cleared.
  bool OnNewDocument();
  // The project is read and the settings and logo loaded before anything
  // is replaced; a failure keeps the document as it was. The photo is
  // loaded by the view's initial update.
  bool OnOpenDocument(const std::string& path);
  // Writes beside the file, then renames; a failure keeps the old file and
  // is told. A photo path that cannot be stored is refused.
  bool OnSaveDocument(const std::string& path);
  bool LoadSettings();
  bool LoadLogo();

  // --- the photo ---
  // Reads and decodes the photo; path, name, bytes and pixels change only
  // when it decoded. 1 success, 0 failure (no message).
  int LoadJpeg(const std::string& path);
  // The import command after its dialog: a photo that fails keeps the old
  // one and is told; success notifies thumbnail and display, marks the
  // document modified. The registrations stay.
  bool ImportJpeg(const std::string& path);
  // Drops the photo's bytes, pixels and thumbnail (the path stays when
  // keepPath, so a project saved again still names its missing photo).
  void ClearPhoto(bool keepPath);
  bool HasPhoto() const { return jpegLength > 0 && image.HasImage(); }

  // --- registrations ---
  void FreeRegistrations();
  // The register command: refused without a photo; else the prompt, then
  // waiting for the start point.
  void BeginRegistration();
  // Why a point cannot be a registration's end (or start): empty when it can.
  std::string CheckPoint(int32_t x, int32_t y) const;
  // Appends after checking the record; refusals are told. Notifies the
  // views and marks the document modified.
  bool AddRegistration(const SizeRegistration& r);
  // Removes the registrations at these list positions (any order,
  // duplicates ignored), notifies, marks modified. False when none valid.
  bool DeleteRegistrations(std::vector<size_t> indices);
  void Select(int32_t index);

  // --- publishing ---
  // The publish command's checks, told to the user: photo bytes, logo
  // bytes, logo size agreeing with them, texts storable.
  bool CheckPublishable();
  // What the ".kvi" writer receives; nullopt (with reason, in Japanese)
  // when a text cannot be stored.
  std::optional<ActualSizeFile> MakeActualSizeFile(std::string& reason) const;
  // Writes the file; a failure is told and false.
  bool WriteKvi(const std::string& path);
  // Writes a new preview file in this run's private folder (made on first
  // use, mode 0700; files created exclusively); its path, or nullopt when
  // it could not be written (told).
  std::optional<std::string> WritePreview();
  const std::vector<std::string>& TempFiles() const { return tempFiles; }
  const std::string& PreviewFolder() const { return previewFolder_; }

  // A message box (no icon unless given, OK).
  void Tell(const std::string& utf8, platform::MsgIcon icon = platform::MsgIcon::None);
  platform::Services& Services() { return services_; }
  const std::string& ProgramFolder() const { return programFolder_; }

  // --- the document's fields ---
  std::string jpegPath;  // full path; empty: no photo
  std::string jpegName;  // file name of the photo (UTF-8)
  std::string link;      // CP932, from the settings file
  DibImage image;
  DibSectionImage thumbnail;
  ImageScaler scaler;
  int32_t drawMode = kDrawIdle;
  int32_t selectedIndex = -1;
  uint32_t jpegLength = 0;
  std::vector<uint8_t> jpegBytes;
  int32_t cx = 0;
  int32_t cy = 0;
  uint32_t logoLength = 0;
  std::vector<uint8_t> logoBytes;
  RegistrationList registrations;
  std::vector<std::string> tempFiles;

 private:
  // Settings and logo together: both read before either is applied.
  bool ReloadProgramFiles();
  bool EnsurePreviewFolder();

  platform::Services services_;
  std::string programFolder_;
  std::string tempRoot_;
  std::string previewFolder_;
  uint32_t previewCounter_ = 0;
};

// Texts the user sees.
namespace text {
inline constexpr const char* kSettingsMissing = "kovasand設定ﾌｧｲﾙが開けません。";
inline constexpr const char* kSettingsInvalid = "設定ﾌｧｲﾙが不正です。";
inline constexpr const char* kLogoMissing = "起動に必要なﾌｧｲﾙが開けません。";
inline constexpr const char* kPhotoNotFound =
    "が見つかりません。kvpﾌｧｲﾙがあるﾌｫﾙﾀﾞにJPEGﾌｧｲﾙを配置して下さい。";
inline constexpr const char* kRegisterPrompt = "ｻｲｽﾞ登録を行います。\r始点→終点の順に\r写真をｸﾘｯｸして下さい。";
inline constexpr const char* kNoSelection = "文字列が選択されていません。";
inline constexpr const char* kNoJpeg = "Jpegﾌｧｲﾙの長さがありません。";
inline constexpr const char* kNoLogo = "ﾛｺﾞﾌｧｲﾙの長さがありません。";
}  // namespace text

}  // namespace kv::authoring
