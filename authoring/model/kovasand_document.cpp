#include "authoring/model/kovasand_document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "authoring/model/project_file.h"
#include "foundation/core/image/icc.h"
#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/photo_import.h"
#include "foundation/core/util/encoding.h"
#include "foundation/core/util/file_io.h"

namespace kv::authoring {
namespace {

namespace fs = std::filesystem;

// Far above any real file of each kind; only there so that a wrong file
// chosen by mistake is refused instead of read into memory.
constexpr uint64_t kMaxProjectBytes = uint64_t(16) << 20;
constexpr uint64_t kMaxSettingsBytes = uint64_t(1) << 20;
constexpr uint64_t kMaxLogoBytes = uint64_t(64) << 20;
// The ".kvi" file counts the photo's bytes in 32 bits.
constexpr uint64_t kMaxJpegBytes = (uint64_t(1) << 31) - 1;

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

KovasandDoc::KovasandDoc(platform::Services services, std::string programFolder,
                         std::string tempRoot, std::string userFolder)
    : services_(services),
      programFolder_(std::move(programFolder)),
      location_{programFolder_, std::move(userFolder)},
      tempRoot_(std::move(tempRoot)) {
  image.Reset(100, 100);
  CreateThumbnailDib(thumbnail);
}

KovasandDoc::~KovasandDoc() {
  // Preview files may still be open in the viewer; removing them is all we
  // can do, and a failure is of no consequence at exit.
  for (const std::string& f : tempFiles) ::unlink(f.c_str());
  tempFiles.clear();
  if (!previewFolder_.empty()) ::rmdir(previewFolder_.c_str());
}

void KovasandDoc::Tell(const std::string& utf8, platform::MsgIcon icon) {
  if (services_.messages) services_.messages->Show(utf8, icon, platform::MsgButtons::Ok);
}

// --- settings and logo -----------------------------------------------------

namespace {

// Both read without touching the document, so that a failure of either
// leaves it whole.
bool ReadSettings(KovasandDoc& doc, KovasandSettings& out) {
  std::vector<uint8_t> bytes;
  std::string reason;
  if (!ReadWholeFile(SettingsFileForReading(doc.ProgramFilesLocation(), kSettingsFileName), bytes,
                    reason, kMaxSettingsBytes)) {
    doc.Tell(text::kSettingsMissing, platform::MsgIcon::Information);
    return false;
  }
  out = ParseSettingsFile(bytes);
  if (out.tags != 3) {
    doc.Tell(text::kSettingsInvalid, platform::MsgIcon::Information);
    return false;
  }
  return true;
}

bool ReadLogo(KovasandDoc& doc, std::vector<uint8_t>& out) {
  std::string reason;
  if (!ReadWholeFile(SettingsFileForReading(doc.ProgramFilesLocation(), kLogoFileName), out, reason,
                    kMaxLogoBytes)) {
    doc.Tell(text::kLogoMissing, platform::MsgIcon::Information);
    return false;
  }
  return true;
}

}  // namespace

bool KovasandDoc::LoadSettings() {
  KovasandSettings s;
  if (!ReadSettings(*this, s)) return false;
  cx = s.cx;
  cy = s.cy;
  link = s.link;
  return true;
}

bool KovasandDoc::LoadLogo() {
  std::vector<uint8_t> bytes;
  if (!ReadLogo(*this, bytes)) return false;
  logoBytes = std::move(bytes);
  logoLength = uint32_t(logoBytes.size());
  return true;
}

// --- document life -----------------------------------------------------------

bool KovasandDoc::ReloadProgramFiles() {
  KovasandSettings s;
  std::vector<uint8_t> logo;
  if (!ReadSettings(*this, s) || !ReadLogo(*this, logo)) return false;
  cx = s.cx;
  cy = s.cy;
  link = s.link;
  logoBytes = std::move(logo);
  logoLength = uint32_t(logoBytes.size());
  return true;
}

bool KovasandDoc::OnNewDocument() {
  if (!ReloadProgramFiles()) return false;
  FreeRegistrations();
  ClearPhoto(false);
  registrationsStored_ = false;
  orientation_ = 1;
  drawMode = kDrawIdle;
  selectedIndex = -1;
  StartHistory();
  return true;
}

void KovasandDoc::StartHistory() {
  undo_.clear();
  redo_.clear();
  version_ = savedVersion_ = nextVersion_++;
}

void KovasandDoc::Changed() {
  version_ = nextVersion_++;
  SetModifiedFlag(version_ != savedVersion_);
}

void KovasandDoc::RecordUndo() {
  undo_.push_back({registrations, version_});
  redo_.clear();
}

void KovasandDoc::RegistrationsReplaced() {
  selectedIndex = -1;
  drawMode = drawMode == kDrawEnd ? kDrawStart : drawMode;
  SetModifiedFlag(version_ != savedVersion_);
  NotifyViews("", code::kListChanged);
  NotifyViews("", code::kRepaint);
  NotifyViews("", code::kRedrawNavigator);
}

bool KovasandDoc::TakeStep(std::vector<UndoStep>& from, std::vector<UndoStep>& to) {
  if (from.empty()) return false;
  to.push_back({registrations, version_});
  registrations = std::move(from.back().registrations);
  version_ = from.back().version;
  from.pop_back();
  RegistrationsReplaced();
  return true;
}

bool KovasandDoc::Undo() { return TakeStep(undo_, redo_); }
bool KovasandDoc::Redo() { return TakeStep(redo_, undo_); }

bool KovasandDoc::OnOpenDocument(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::string reason;
  if (!ReadWholeFile(path, bytes, reason, kMaxProjectBytes)) {
    Tell(FileNameOf(path) + " を開けませんでした。\r(" + reason + ")", platform::MsgIcon::Warning);
    return false;
  }
  ProjectContent content = ParseProjectFile(bytes);
  if (!content.recognised) {
    // Opened as an empty project, the next save would write over it.
    Tell(FileNameOf(path) + " を開けませんでした。\rKovasandのﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙ(kvp)ではありません。",
         platform::MsgIcon::Warning);
    return false;
  }
  std::string photo;
  if (!content.jpegReference.empty()) {
    const std::optional<std::string> ref = Cp932ToUtf8(content.jpegReference);
    if (!ref) {
      Tell(FileNameOf(path) + " の写真のﾌｧｲﾙ名が読み取れません。", platform::MsgIcon::Warning);
      return false;
    }
    photo = ResolvePhotoReference(*ref, FolderOf(path));
  }
  if (!ReloadProgramFiles()) return false;
  registrations = std::move(content.registrations);
  registrationsStored_ = true;  // turned with the photo once it is loaded
  orientation_ = 1;
  jpegPath = photo;
  drawMode = kDrawIdle;
  selectedIndex = -1;
  StartHistory();
  return true;
}

bool KovasandDoc::OnSaveDocument(const std::string& path) {
  ProjectContent content;
  content.registrations = StoredRegistrations();
  const std::string reference = MakePhotoReference(jpegPath, FolderOf(path));
  const std::optional<std::string> stored = Utf8ToCp932(reference);
  if (!stored) {
    Tell("写真のﾌｧｲﾙ名に、ﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙに保存できない文字が含まれています。\r" + reference +
             "\rﾌｧｲﾙ名を変えてから読み込み直して下さい。",
         platform::MsgIcon::Warning);
    return false;
  }
  content.jpegReference = *stored;
  const std::string bytes = FormatProjectFile(content);
  std::string reason;
  if (!WriteFileAtomically(path, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
                           reason)) {
    Tell(std::string(text::kWriteError) + "\r" + FileNameOf(path) +
             " を保存できませんでした。元のﾌｧｲﾙはそのままです。\r(" + reason + ")",
         platform::MsgIcon::Warning);
    return false;
  }
  savedVersion_ = version_;
  return true;
}

// --- the photo ---------------------------------------------------------------

int KovasandDoc::LoadJpeg(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::string reason;
  if (!ReadWholeFile(path, bytes, reason, kMaxJpegBytes) || bytes.empty()) return 0;
  // HEIC and PNG become the JPEG a ".kvi" carries, made again from the
  // original at every load; a JPEG stays byte for byte as it is.
  if (!PhotoToJpeg(std::move(bytes), bytes, reason)) return 0;
  DibImage decoded;
  if (DecodeJpegBuffer(bytes.data(), bytes.size(), decoded) != 1 || !decoded.HasImage()) return 0;
  // A profile that cannot be used leaves the photo as decoded, read as sRGB.
  if (auto p = ReadIccProfile(bytes.data(), bytes.size())) ConvertToSrgb(decoded, *p);
  const Orientation o = ReadExifOrientation(bytes.data(), bytes.size());
  const PixelSize stored{decoded.width, decoded.height};
  if (!OrientImage(decoded, o)) return 0;
  orientation_ = o;
  storedSize_ = stored;
  if (registrationsStored_) {
    registrations = RegistrationsToShown(registrations, o, stored);
    registrationsStored_ = false;
  }
  jpegPath = path;
  jpegName = FileNameOf(path);
  jpegBytes = std::move(bytes);
  jpegLength = uint32_t(jpegBytes.size());
  image = std::move(decoded);
  return 1;
}

bool KovasandDoc::ImportJpeg(const std::string& path) {
  const std::string name = FileNameOf(path);
  if (!registrations.empty() && services_.messages &&
      services_.messages->Show(text::kDiscardRegistrations, platform::MsgIcon::Question,
                               platform::MsgButtons::YesNo) != platform::MsgResult::Yes)
    return false;
  if (LoadJpeg(path) != 1) {
    Tell(name + " を読み込めませんでした。\r写真ﾌｧｲﾙ(JPEG、HEIC、PNG)ではないか、壊れています。",
         platform::MsgIcon::Warning);
    return false;
  }
  // The old photo's registrations never go out with this one.
  if (!registrations.empty()) {
    FreeRegistrations();
    NotifyViews("", code::kListChanged);
  }
  drawMode = kDrawIdle;
  StartHistory();
  Changed();
  NotifyViews("", code::kThumbnail);
  NotifyViews("", code::kDisplay);
  if (!Utf8ToCp932(name))
    Tell("ﾌｧｲﾙ名 " + name + " には、ﾌﾟﾛｼﾞｪｸﾄやkviﾌｧｲﾙに保存できない文字が含まれています。\r"
             "kviﾌｧｲﾙには " + ReplaceNonCp932(name) + " として記録されます。\r"
             "ﾌﾟﾛｼﾞｪｸﾄを保存するには、ﾌｧｲﾙ名を変えてから読み込み直して下さい。",
         platform::MsgIcon::Information);
  return true;
}

RegistrationList KovasandDoc::StoredRegistrations() const {
  if (registrationsStored_ || !HasPhoto()) return registrations;
  return RegistrationsToStored(registrations, orientation_, storedSize_);
}

void KovasandDoc::ClearPhoto(bool keepPath) {
  jpegBytes = std::vector<uint8_t>();
  jpegLength = 0;
  image.Reset(image.width, image.height);
  CreateThumbnailDib(thumbnail);
  if (!keepPath) jpegPath.clear();
}

// --- registrations -----------------------------------------------------------

void KovasandDoc::FreeRegistrations() {
  registrations.clear();
  if (selectedIndex >= 0) selectedIndex = -1;
}

void KovasandDoc::BeginRegistration() {
  if (!HasPhoto()) {
    Tell("写真がありません。先にJPEGﾌｧｲﾙを読み込んで下さい。", platform::MsgIcon::Information);
    return;
  }
  Tell(text::kRegisterPrompt, platform::MsgIcon::Information);
  drawMode = kDrawStart;
  NotifyViews("", code::kRepaint);
  NotifyViews("", code::kRedrawNavigator);
}

std::string KovasandDoc::CheckPoint(int32_t x, int32_t y) const {
  if (!HasPhoto()) return "写真がありません。先にJPEGﾌｧｲﾙを読み込んで下さい。";
  if (x < 0 || y < 0 || x >= image.width || y >= image.height)
    return "写真の外側です。写真の上をｸﾘｯｸして下さい。";
  return {};
}

bool KovasandDoc::AddRegistration(const SizeRegistration& r) {
  std::string why = CheckPoint(r.startX, r.startY);
  if (why.empty()) why = CheckPoint(r.endX, r.endY);
  if (why.empty() && r.startX == r.endX && r.startY == r.endY)
    why = "始点と終点が同じ位置です。離れた2点をｸﾘｯｸして下さい。";
  if (why.empty() && (r.lengthMm < kMinLengthMm || r.lengthMm > kMaxLengthMm))
    why = "実測値は1から1000000までの整数(mm)で入力して下さい。";
  if (!why.empty()) {
    Tell("ｻｲｽﾞ登録を追加できません。\r" + why, platform::MsgIcon::Warning);
    return false;
  }
  // The centre always follows the two points, whatever the caller computed.
  RecordUndo();
  registrations.push_back(MakeRegistration(r.startX, r.startY, r.endX, r.endY, r.lengthMm));
  Changed();
  NotifyViews("", code::kListChanged);
  NotifyViews("", code::kRepaint);
  NotifyViews("", code::kRedrawNavigator);
  return true;
}

bool KovasandDoc::DeleteRegistrations(std::vector<size_t> indices) {
  std::erase_if(indices, [&](size_t i) { return i >= registrations.size(); });
  if (indices.empty()) return false;
  // Highest first, so the positions still to remove stay valid.
  std::sort(indices.begin(), indices.end(), std::greater<>());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  RecordUndo();
  for (size_t i : indices) registrations.erase(registrations.begin() + std::ptrdiff_t(i));
  selectedIndex = -1;
  Changed();
  NotifyViews("", code::kListChanged);
  NotifyViews("", code::kRepaint);
  NotifyViews("", code::kRedrawNavigator);
  return true;
}

bool KovasandDoc::SetRegistrationLength(size_t index, int32_t lengthMm) {
  if (index >= registrations.size()) return false;
  if (lengthMm < kMinLengthMm || lengthMm > kMaxLengthMm) {
    Tell("実測値は1から1000000までの整数(mm)で入力して下さい。", platform::MsgIcon::Warning);
    return false;
  }
  if (registrations[index].lengthMm == lengthMm) return true;
  RecordUndo();
  registrations[index].lengthMm = lengthMm;
  Changed();
  NotifyViews("", code::kListChanged);
  NotifyViews("", code::kRepaint);
  return true;
}

void KovasandDoc::Select(int32_t index) {
  if (index < 0 || size_t(index) >= registrations.size()) index = -1;
  if (index == selectedIndex) return;
  selectedIndex = index;
  NotifyViews("", code::kRepaint);
  NotifyViews("", code::kRedrawNavigator);
}

// --- the logo and link ---------------------------------------------------------

bool KovasandDoc::SaveProgramFiles(const std::string& linkUtf8, int32_t width, int32_t height,
                                   const std::vector<uint8_t>& rgb) {
  const std::optional<std::string> stored = Utf8ToCp932(linkUtf8);
  if (linkUtf8.empty() || !stored || stored->find_first_of("\r\n") != std::string::npos) {
    Tell("ﾘﾝｸ先に、設定ﾌｧｲﾙに保存できない文字が含まれています。", platform::MsgIcon::Warning);
    return false;
  }
  if (width <= 0 || height <= 0 || rgb.size() != size_t(width) * size_t(height) * 3) {
    Tell("ﾛｺﾞの画像が正しくありません。", platform::MsgIcon::Warning);
    return false;
  }
  const std::string iniPath = SettingsFileForWriting(location_, kSettingsFileName);
  const std::string logoPath = SettingsFileForWriting(location_, kLogoFileName);
  std::error_code ec;
  fs::create_directories(FolderOf(iniPath), ec);
  const std::string ini = "[link]\n" + *stored + "\n[cx]\n" + std::to_string(width) + "\n[cy]\n" +
                          std::to_string(height) + "\nEOF\n";
  // The two files must agree: the old logo comes back if the settings fail.
  std::vector<uint8_t> oldLogo;
  std::string reason;
  const bool hadLogo = ReadWholeFile(logoPath, oldLogo, reason, kMaxLogoBytes);
  if (!WriteFileAtomically(logoPath, rgb, reason)) {
    Tell(std::string(text::kWriteError) + "\r" + logoPath + "\r(" + reason + ")",
         platform::MsgIcon::Warning);
    return false;
  }
  if (!WriteFileAtomically(iniPath, std::span(reinterpret_cast<const uint8_t*>(ini.data()), ini.size()),
                           reason)) {
    std::string ignored;
    if (hadLogo)
      WriteFileAtomically(logoPath, oldLogo, ignored);
    else
      ::unlink(logoPath.c_str());
    Tell(std::string(text::kWriteError) + "\r" + iniPath + "\r(" + reason + ")",
         platform::MsgIcon::Warning);
    return false;
  }
  link = *stored;
  cx = width;
  cy = height;
  logoBytes = rgb;
  logoLength = uint32_t(logoBytes.size());
  return true;
}

// --- publishing --------------------------------------------------------------

bool KovasandDoc::CheckPublishable() {
  if (jpegLength == 0) {
    Tell(text::kNoJpeg);
    return false;
  }
  if (logoLength == 0) {
    Tell(text::kNoLogo);
    return false;
  }
  if (cx <= 0 || cy <= 0 || uint64_t(cx) * uint64_t(cy) * 3 != logoLength) {
    Tell("ﾛｺﾞﾌｧｲﾙの大きさが設定ﾌｧｲﾙの[cx]と[cy]に合いません。\r(" + std::to_string(cx) + " x " +
             std::to_string(cy) + " x 3 ≠ " + std::to_string(logoLength) + " ﾊﾞｲﾄ)",
         platform::MsgIcon::Warning);
    return false;
  }
  std::string reason;
  if (!MakeActualSizeFile(reason)) {
    Tell(reason, platform::MsgIcon::Warning);
    return false;
  }
  return true;
}

std::optional<ActualSizeFile> KovasandDoc::MakeActualSizeFile(std::string& reason) const {
  // The name is only a label in the file: characters CP932 lacks become '_'.
  const std::optional<std::string> name = Utf8ToCp932(ReplaceNonCp932(jpegName));
  if (!name) {
    reason = "写真のﾌｧｲﾙ名 " + jpegName + " を、kviﾌｧｲﾙに保存できる文字に直せませんでした。";
    return std::nullopt;
  }
  ActualSizeFile f;
  f.jpegName = *name;
  f.registrations = StoredRegistrations();
  f.jpegBytes = jpegBytes;
  f.link = link;
  f.logoWidth = cx;
  f.logoHeight = cy;
  f.logoBytes = logoBytes;
  return f;
}

bool KovasandDoc::WriteKvi(const std::string& path) {
  std::string reason;
  const std::optional<ActualSizeFile> f = MakeActualSizeFile(reason);
  if (!f) {
    Tell(reason, platform::MsgIcon::Warning);
    return false;
  }
  if (!WriteActualSizeFile(path, *f, reason)) {
    Tell(std::string(text::kWriteError) + "\r" + FileNameOf(path) + "\r(" + reason + ")",
         platform::MsgIcon::Warning);
    return false;
  }
  return true;
}

bool KovasandDoc::EnsurePreviewFolder() {
  if (!previewFolder_.empty()) return true;
  std::string root = tempRoot_;
  if (root.empty()) {
    const char* env = std::getenv("TMPDIR");
    root = env && *env ? env : "/tmp";
  }
  if (root.back() != '/') root += '/';
  std::string pattern = root + "kovasand-XXXXXX";
  // mkdtemp makes the folder exclusively, readable by us alone.
  if (!::mkdtemp(pattern.data())) return false;
  previewFolder_ = pattern + "/";
  return true;
}

std::optional<std::string> KovasandDoc::WritePreview() {
  if (!EnsurePreviewFolder()) {
    Tell("ﾌﾟﾚﾋﾞｭｰ用の一時ﾌｫﾙﾀﾞを作れませんでした。\r(" + ErrnoJapanese(errno) + ")",
         platform::MsgIcon::Warning);
    return std::nullopt;
  }
  std::string reason;
  const std::optional<ActualSizeFile> f = MakeActualSizeFile(reason);
  if (!f) {
    Tell(reason, platform::MsgIcon::Warning);
    return std::nullopt;
  }
  // Reserve a fresh name; nobody else can write in this folder, but a name
  // is never reused within the run either.
  std::string path;
  for (int attempt = 0; attempt < 1000 && path.empty(); ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "kvi%X.kvi", ++previewCounter_);
    const std::string candidate = previewFolder_ + name;
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      path = candidate;
    } else if (errno != EEXIST) {
      break;
    }
  }
  if (path.empty()) {
    Tell("ﾌﾟﾚﾋﾞｭｰ用のﾌｧｲﾙを作れませんでした。", platform::MsgIcon::Warning);
    return std::nullopt;
  }
  tempFiles.push_back(path);
  if (!WriteActualSizeFile(path, *f, reason)) {
    Tell(std::string(text::kWriteError) + "\r(" + reason + ")", platform::MsgIcon::Warning);
    return std::nullopt;
  }
  return path;
}

}  // namespace kv::authoring
