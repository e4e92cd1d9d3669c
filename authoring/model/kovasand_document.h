#pragma once
// The authoring tool's document: the photo being worked on (path, file
// bytes, decoded pixels, navigator thumbnail), its size registrations, and
// what publishing adds from the program's folder (logo bytes, link, logo
// size). It reads and writes projects, writes ".kvi" files and keeps the
// preview files of this run in a private folder removed with the document.
//
// One class over several files: the photo, the registrations and the
// program's files in kovasand_document.cpp, the project file in
// kovasand_document_project.cpp, the undo history in
// kovasand_document_history.cpp, publishing in kovasand_document_publish.cpp.
//
// Paths are UTF-8 as the file system takes them; texts that go into files
// are converted to CP932 and refused when they cannot be.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/core/image/dib_image.h"
#include "foundation/core/image/orientation.h"
#include "foundation/core/image/thumbnail.h"
#include "foundation/core/util/file_io.h"
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
// The size of the logo the build writes into the program's folder.
inline constexpr int32_t kDefaultLogoWidth = 120;
inline constexpr int32_t kDefaultLogoHeight = 40;
inline constexpr const char* kLogoFileName = "kovafunc.dll";

struct LoadedPhoto;
struct KovasandSettings;

class KovasandDoc : public platform::DocumentBase {
 public:
  // programFolder: where "kovasand.ini" and "kovafunc.dll" are read, ending
  // with '/'; userFolder: where they are written (and read first) when the
  // program's folder is not writable (empty: none). tempRoot: where the
  // private preview folder is made (empty: $TMPDIR or /tmp).
  KovasandDoc(platform::Services services, std::string programFolder, std::string tempRoot = "",
              std::string userFolder = "");
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
  // The import command after its dialog. With registrations the user is
  // asked whether to delete them ("no", the default, keeps them). A photo
  // that fails keeps the old one and its registrations and is told;
  // success notifies list, thumbnail and display, marks the document
  // modified and can be undone. A file name CP932 lacks characters for is
  // told: published files carry it with '_' in their place, and saving the
  // project offers a copy under a name that can be stored.
  bool ImportJpeg(const std::string& path);
  // The photo is missing: the project names it, but it is not loaded.
  bool PhotoMissing() const { return !jpegPath.empty() && !HasPhoto(); }
  // "写真の場所を指定": another file as the project's photo, registrations
  // untouched. Taken at once when its upright size is the photo's the
  // project knows (or there are no registrations), else the user is asked
  // (default no). Undoable like an import.
  enum class LocateResult { Taken, Declined, Failed };
  LocateResult LocatePhoto(const std::string& path);
  // Drops the photo's bytes, pixels and thumbnail (the path stays when
  // keepPath, so a project saved again still names its missing photo).
  void ClearPhoto(bool keepPath);
  bool HasPhoto() const { return jpegLength > 0 && image.HasImage(); }
  // How the photo was turned to stand upright (1: as stored). Registrations
  // in the document are on the upright photo; files keep them as stored.
  Orientation PhotoOrientation() const { return orientation_; }
  // The registrations as files store them.
  RegistrationList StoredRegistrations() const;

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
  // A new measured length for one registration; refusals are told.
  bool SetRegistrationLength(size_t index, int32_t lengthMm);
  // Why the registration at this position can never give a scale (a
  // hand-written project may hold such): empty when it can. The photo's
  // bounds count once the photo is loaded.
  std::string UnusableReason(size_t index) const;
  // The first unusable registration's position, if any.
  std::optional<size_t> FirstUnusable() const;

  // --- undo of adding, deleting and editing registrations ---
  bool CanUndo() const { return !undo_.empty(); }
  // The content is not what was last read or saved (a project mended while
  // it was read, say).
  bool DiffersFromSaved() const { return version_ != savedVersion_; }
  bool CanRedo() const { return !redo_.empty(); }
  bool Undo();
  bool Redo();

  // --- the logo and link that publishing adds ---
  // True while the link is the neutral one a new installation has.
  bool UsesDefaultLink() const { return link == kDefaultLogoLink; }
  // Writes "kovasand.ini" and "kovafunc.dll" (each beside the old, then
  // renamed) where settings are written, then uses them. rgb: width x
  // height x 3 bytes. False with the reason told when nothing changed.
  bool SaveProgramFiles(const std::string& linkUtf8, int32_t width, int32_t height,
                        const std::vector<uint8_t>& rgb);
  const SettingsLocation& ProgramFilesLocation() const { return location_; }

  // --- publishing ---
  // The publish command's checks, told to the user: photo bytes, logo
  // bytes, logo size agreeing with them, texts storable.
  bool CheckPublishable();
  // Unusable registrations never go out: the first is told.
  bool CheckRegistrationsUsable();
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
  // A photo whose name a project cannot store: asks, then copies it into
  // the folder under a name that can be stored and refers to the copy.
  bool CopyPhotoBeside(const std::string& folder, const std::string& reference);
  // Without a settings file: the defaults, told once.
  void ApplySettings(const KovasandSettings& s, bool defaults);
  bool toldDefaults_ = false;
  // Settings and logo together: both read before either is applied.
  bool ReloadProgramFiles();
  bool EnsurePreviewFolder();

  // The photo with everything that goes with it, kept by undo when a photo
  // replaces it.
  struct PhotoState;
  std::shared_ptr<PhotoState> TakePhotoState();
  void PutPhotoState(PhotoState&& state);
  void ReplacePhoto(const std::string& path, LoadedPhoto&& read, bool discard);

  // Before a change of the registrations, or of the photo (given then):
  // what undo brings back.
  void RecordUndo(std::shared_ptr<PhotoState> photo = nullptr);
  // After any change of content: the modified flag follows whether the
  // document is back at what was saved.
  void Changed();
  void StartHistory();
  void RegistrationsReplaced();

  struct UndoStep {
    RegistrationList registrations;
    uint64_t version;
    std::shared_ptr<PhotoState> photo;  // null: the photo stayed
  };
  // The state on top of `from` comes back; the present goes onto `to`.
  bool TakeStep(std::vector<UndoStep>& from, std::vector<UndoStep>& to);
  std::vector<UndoStep> undo_, redo_;
  uint64_t version_ = 0, savedVersion_ = 0, nextVersion_ = 1;

  platform::Services services_;
  std::string programFolder_;
  SettingsLocation location_;
  Orientation orientation_ = 1;
  PixelSize storedSize_;
  // The upright size of the project's photo, from the photo or the project
  // file; 0 x 0 unknown.
  PixelSize shownSize_;
  // Read from a project before its photo: still in stored coordinates.
  bool registrationsStored_ = false;
  // The project's path as opened or last saved, and the file it named then
  // (itself, or the end of its links).
  std::string openedPath_, openedTarget_;
  std::string tempRoot_;
  std::string previewFolder_;
  uint32_t previewCounter_ = 0;
};

// Why a logo link cannot be used (empty when it can): an http or https
// address (scheme in any case) with a host, without blanks or control
// characters, that the settings file can store in CP932.
std::string WhyLinkRefused(const std::string& linkUtf8);

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
inline constexpr const char* kWriteError = "書き込みﾌｧｲﾙの作成読み込みｴﾗｰです";
inline constexpr const char* kDiscardRegistrations =
    "登録済みのｻｲｽﾞ情報は、今の写真の上で測ったものです。\r"
    "新しい写真で、登録済みのｻｲｽﾞ情報を削除しますか?\r"
    "(いいえ: ｻｲｽﾞ情報を残します。同じ写真を撮り直した場合など)";
}  // namespace text

}  // namespace kv::authoring
