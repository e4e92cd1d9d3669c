#include "authoring/model/kovasand_document.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "authoring/model/project_file.h"
#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/shown_photo.h"
#include "foundation/core/image/photo_import.h"
#include "foundation/core/util/encoding.h"
#include "foundation/core/util/file_io.h"
#include "kvi/upright.h"

namespace kv::authoring {
namespace {

namespace fs = std::filesystem;

// Far above any real file of each kind; only there so that a wrong file
// chosen by mistake is refused instead of read into memory.
constexpr uint64_t kMaxSettingsBytes = uint64_t(1) << 20;
constexpr uint64_t kMaxLogoBytes = uint64_t(64) << 20;
// The ".kvi" file counts the photo's bytes in 32 bits.
constexpr uint64_t kMaxJpegBytes = (uint64_t(1) << 31) - 1;

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
bool ReadSettings(KovasandDoc& doc, KovasandSettings& out, bool& defaults) {
  std::vector<uint8_t> bytes;
  std::string reason;
  const std::string path = SettingsFileForReading(doc.ProgramFilesLocation(), kSettingsFileName);
  std::error_code ec;
  defaults = false;
  if (!fs::exists(path, ec) && !fs::is_symlink(path, ec)) {
    // Nothing to read is no reason to stop: the defaults serve until the
    // user saves the settings dialog, which writes the file.
    out = KovasandSettings{};
    out.link = kDefaultLogoLink;
    out.tags = 3;
    defaults = true;
    return true;
  }
  if (!ReadWholeFile(path, bytes, reason, kMaxSettingsBytes)) {
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

void KovasandDoc::ApplySettings(const KovasandSettings& s, bool defaults) {
  cx = s.cx;
  cy = s.cy;
  link = s.link;
  // The logo the build writes has its own size; another logo waits for the
  // settings dialog.
  if (defaults && logoLength == uint32_t(kDefaultLogoWidth * kDefaultLogoHeight * 3)) {
    cx = kDefaultLogoWidth;
    cy = kDefaultLogoHeight;
  }
  if (defaults && !toldDefaults_) {
    toldDefaults_ = true;
    Tell(std::string(text::kSettingsMissing) + "\r" + kSettingsFileName +
             " がないため、初期設定で始めます。\r"
             "「出版」→「ﾛｺﾞとﾘﾝｸ先の設定」で保存すると、設定ﾌｧｲﾙが作られます。",
         platform::MsgIcon::Information);
  }
}

bool KovasandDoc::LoadSettings() {
  KovasandSettings s;
  bool defaults = false;
  if (!ReadSettings(*this, s, defaults)) return false;
  ApplySettings(s, defaults);
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
  bool defaults = false;
  if (!ReadSettings(*this, s, defaults) || !ReadLogo(*this, logo)) return false;
  logoBytes = std::move(logo);
  logoLength = uint32_t(logoBytes.size());
  ApplySettings(s, defaults);
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

// --- the photo ---------------------------------------------------------------

// A photo read and decoded, turned upright, not yet the document's.
struct LoadedPhoto {
  std::vector<uint8_t> bytes;
  DibImage image;
  Orientation orientation = 1;
  PixelSize stored;
};

namespace {

bool ReadPhotoFile(const std::string& path, LoadedPhoto& out) {
  std::string reason;
  std::vector<uint8_t> original;
  if (!ReadWholeFile(path, original, reason, kMaxJpegBytes) || original.empty()) return false;
  // HEIC and PNG become the JPEG a ".kvi" carries, made again from the
  // original at every load; a JPEG stays byte for byte as it is.
  if (!PhotoToJpeg(std::move(original), out.bytes, reason)) return false;
  // Upright and in sRGB as the viewer will show it; the registrations are
  // clicked on this picture.
  out.orientation = ShowUpright(out.bytes).orientation;
  if (DecodeShownSrgb(out.bytes.data(), out.bytes.size(), out.orientation, out.image, reason) != 1 ||
      !out.image.HasImage())
    return false;
  // Turning is its own inverse on the sizes.
  out.stored = ShownSize({out.image.width, out.image.height}, out.orientation);
  return true;
}

}  // namespace

struct KovasandDoc::PhotoState {
  std::string jpegPath, jpegName;
  std::vector<uint8_t> jpegBytes;
  DibImage image;
  Orientation orientation = 1;
  PixelSize stored;
  bool registrationsStored = false;
};

std::shared_ptr<KovasandDoc::PhotoState> KovasandDoc::TakePhotoState() {
  auto state = std::make_shared<PhotoState>();
  state->jpegPath = jpegPath;
  state->jpegName = jpegName;
  state->jpegBytes = std::move(jpegBytes);
  state->image = std::move(image);
  state->orientation = orientation_;
  state->stored = storedSize_;
  state->registrationsStored = registrationsStored_;
  jpegBytes.clear();
  jpegLength = 0;
  image.Reset(state->image.width, state->image.height);
  return state;
}

void KovasandDoc::PutPhotoState(PhotoState&& state) {
  jpegPath = std::move(state.jpegPath);
  jpegName = std::move(state.jpegName);
  jpegBytes = std::move(state.jpegBytes);
  jpegLength = uint32_t(jpegBytes.size());
  image = std::move(state.image);
  orientation_ = state.orientation;
  storedSize_ = state.stored;
  registrationsStored_ = state.registrationsStored;
  if (HasPhoto()) shownSize_ = PixelSize{image.width, image.height};
}

int KovasandDoc::LoadJpeg(const std::string& path) {
  LoadedPhoto read;
  if (!ReadPhotoFile(path, read)) return 0;
  orientation_ = read.orientation;
  storedSize_ = read.stored;
  if (registrationsStored_) {
    registrations = RegistrationsToShown(registrations, read.orientation, read.stored);
    registrationsStored_ = false;
  }
  jpegPath = path;
  jpegName = FileNameOf(path);
  jpegBytes = std::move(read.bytes);
  jpegLength = uint32_t(jpegBytes.size());
  image = std::move(read.image);
  shownSize_ = PixelSize{image.width, image.height};
  return 1;
}

bool KovasandDoc::ImportJpeg(const std::string& path) {
  const std::string name = FileNameOf(path);
  // The registrations were measured on the photo they were made on; another
  // photo of the same thing (a better exposure, the same shot) keeps them,
  // so keeping is the safe default.
  bool discard = false;
  if (!registrations.empty() && services_.messages)
    discard = services_.messages->Show(text::kDiscardRegistrations, platform::MsgIcon::Question,
                                       platform::MsgButtons::YesNoDefaultNo) ==
              platform::MsgResult::Yes;
  LoadedPhoto read;
  if (!ReadPhotoFile(path, read)) {
    Tell(name + " を読み込めませんでした。\r写真ﾌｧｲﾙ(JPEG、HEIC、PNG)ではないか、壊れています。",
         platform::MsgIcon::Warning);
    return false;
  }
  ReplacePhoto(path, std::move(read), discard);
  if (!Utf8ToCp932(name))
    Tell("ﾌｧｲﾙ名 " + name + " には、ﾌﾟﾛｼﾞｪｸﾄやkviﾌｧｲﾙに保存できない文字が含まれています。\r"
             "kviﾌｧｲﾙには " + ReplaceNonCp932(name) + " として記録されます。\r"
             "ﾌﾟﾛｼﾞｪｸﾄを保存するときに、保存できる名前の写真のｺﾋﾟｰを作ることができます。",
         platform::MsgIcon::Information);
  return true;
}

void KovasandDoc::ReplacePhoto(const std::string& path, LoadedPhoto&& read, bool discard) {
  // Undo brings back the photo replaced and the registrations as they were;
  // a first photo replaces nothing.
  if (HasPhoto()) RecordUndo(TakePhotoState());
  if (registrationsStored_) {
    registrations = RegistrationsToShown(registrations, read.orientation, read.stored);
    registrationsStored_ = false;
  }
  if (discard) FreeRegistrations();
  PhotoState next;
  next.jpegPath = path;
  next.jpegName = FileNameOf(path);
  next.jpegBytes = std::move(read.bytes);
  next.image = std::move(read.image);
  next.orientation = read.orientation;
  next.stored = read.stored;
  PutPhotoState(std::move(next));
  drawMode = kDrawIdle;
  selectedIndex = -1;
  Changed();
  NotifyViews("", code::kListChanged);
  NotifyViews("", code::kThumbnail);
  NotifyViews("", code::kDisplay);
}

KovasandDoc::LocateResult KovasandDoc::LocatePhoto(const std::string& path) {
  LoadedPhoto read;
  if (!ReadPhotoFile(path, read)) {
    Tell(FileNameOf(path) + " を読み込めませんでした。\rJPEGﾌｧｲﾙではないか、壊れています。",
         platform::MsgIcon::Warning);
    return LocateResult::Failed;
  }
  const PixelSize upright{read.image.width, read.image.height};
  const bool known = shownSize_.width > 0 && shownSize_.height > 0;
  if (!registrations.empty() && !(known && upright == shownSize_)) {
    const std::string size = std::to_string(upright.width) + " x " + std::to_string(upright.height);
    const std::string ask =
        known ? "選んだ写真の大きさ (" + size + ") が、元の写真 (" + std::to_string(shownSize_.width) +
                    " x " + std::to_string(shownSize_.height) +
                    ") と違います。\rｻｲｽﾞ登録が写真の違う場所を指すかもしれません。\r"
                    "この写真を使いますか?"
              : "元の写真の大きさが分からないため、選んだ写真 (" + size +
                    ") がｻｲｽﾞ登録に合うか確かめられません。\rこの写真を使いますか?";
    if (!services_.messages || services_.messages->Show(ask, platform::MsgIcon::Question,
                                                        platform::MsgButtons::YesNoDefaultNo) !=
                                   platform::MsgResult::Yes)
      return LocateResult::Declined;
  }
  ReplacePhoto(path, std::move(read), false);
  return LocateResult::Taken;
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
  if (!keepPath) {
    jpegPath.clear();
    shownSize_ = PixelSize{};
  }
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

std::string KovasandDoc::UnusableReason(size_t index) const {
  if (index >= registrations.size()) return {};
  const bool photo = HasPhoto() && !registrationsStored_;
  switch (FindRegistrationFault(registrations[index], photo ? image.width : 0,
                                photo ? image.height : 0)) {
    case RegistrationFault::None: return {};
    case RegistrationFault::NoLength: return "実ｻｲｽﾞが0以下です";
    case RegistrationFault::SamePoints: return "始点と終点が同じ位置です";
    case RegistrationFault::OutsidePhoto: return "写真の外側の点があります";
  }
  return {};
}

std::optional<size_t> KovasandDoc::FirstUnusable() const {
  for (size_t i = 0; i < registrations.size(); ++i)
    if (!UnusableReason(i).empty()) return i;
  return std::nullopt;
}

void KovasandDoc::Select(int32_t index) {
  if (index < 0 || size_t(index) >= registrations.size()) index = -1;
  if (index == selectedIndex) return;
  selectedIndex = index;
  NotifyViews("", code::kRepaint);
  NotifyViews("", code::kRedrawNavigator);
}

// --- the logo and link ---------------------------------------------------------

std::string WhyLinkRefused(const std::string& link) {
  if (link.empty()) return "ﾘﾝｸ先を入力して下さい。";
  for (const char c : link)
    if (uint8_t(c) <= 0x20 || c == 0x7F)
      return "ﾘﾝｸ先に空白や改行を含めることはできません。";
  const auto lower = [&](size_t n) {
    std::string head = link.substr(0, n);
    for (char& c : head) c = char(std::tolower(uint8_t(c)));
    return head;
  };
  size_t hostStart = 0;
  if (lower(7) == "http://")
    hostStart = 7;
  else if (lower(8) == "https://")
    hostStart = 8;
  else
    return "ﾘﾝｸ先は http:// か https:// で始まるWEBｱﾄﾞﾚｽを入力して下さい。";
  // The host: up to the path, query or fragment, without a user and port.
  std::string authority = link.substr(hostStart, link.find_first_of("/?#", hostStart) - hostStart);
  if (const size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
  const std::string host = authority.substr(0, authority.find(':'));
  if (host.empty()) return "ﾘﾝｸ先のWEBｱﾄﾞﾚｽにｻｰﾊﾞｰ名がありません。(例: https://www.example.com/)";
  if (!Utf8ToCp932(link)) return "ﾘﾝｸ先に、設定ﾌｧｲﾙに保存できない文字が含まれています。";
  return {};
}

bool KovasandDoc::SaveProgramFiles(const std::string& linkUtf8, int32_t width, int32_t height,
                                   const std::vector<uint8_t>& rgb) {
  const std::optional<std::string> stored = Utf8ToCp932(linkUtf8);
  if (const std::string why = WhyLinkRefused(linkUtf8); !why.empty() || !stored) {
    Tell(why.empty() ? "ﾘﾝｸ先に、設定ﾌｧｲﾙに保存できない文字が含まれています。" : why,
         platform::MsgIcon::Warning);
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

}  // namespace kv::authoring
