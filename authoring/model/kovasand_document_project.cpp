// The document's project file: reading a ".kvp" into the document and
// writing it back, naming the photo from the project's folder.
#include <filesystem>

#include "authoring/model/kovasand_document.h"
#include "authoring/model/project_file.h"
#include "foundation/core/util/encoding.h"
#include "foundation/core/util/file_io.h"

namespace kv::authoring {
namespace {

namespace fs = std::filesystem;

// Far above any real project; only there so that a wrong file chosen by
// mistake is refused instead of read into memory.
constexpr uint64_t kMaxProjectBytes = uint64_t(16) << 20;

// A name stored in CP932 reads back with some characters in another
// Unicode form than the one the file on disk has (a wave dash typed by an
// input method reads back as a full-width tilde): the form that exists.
std::string ExistingForm(const std::string& path) {
  std::error_code ec;
  if (path.empty() || fs::exists(path, ec)) return path;
  for (const std::string& other : Cp932FormVariants(path))
    if (fs::exists(other, ec)) return other;
  return path;
}

}  // namespace

bool KovasandDoc::OnOpenDocument(const std::string& path) {
  const std::string real = ResolveLinks(path);
  std::vector<uint8_t> bytes;
  std::string reason;
  if (!ReadWholeFile(path, bytes, reason, kMaxProjectBytes)) {
    Tell(FileNameOf(path) + " を開けませんでした。\r(" + reason + ")", platform::MsgIcon::Warning);
    return false;
  }
  std::optional<ProjectContent> parsed = ParseProjectFile(bytes, reason);
  if (!parsed) {
    // Half a project taken would be saved over the whole one.
    Tell(FileNameOf(path) + " を開けませんでした。\r" + reason, platform::MsgIcon::Warning);
    return false;
  }
  ProjectContent& content = *parsed;
  std::string photo;
  if (!content.jpegReference.empty()) {
    const std::optional<std::string> ref = Cp932ToUtf8(content.jpegReference);
    if (!ref) {
      Tell(FileNameOf(path) + " の写真のﾌｧｲﾙ名が読み取れません。", platform::MsgIcon::Warning);
      return false;
    }
    // A project reached through a link names its photo from where it
    // really lies.
    photo = ExistingForm(ResolvePhotoReference(*ref, FolderOf(real)));
  }
  if (!ReloadProgramFiles()) return false;
  // A centre is only ever the midpoint of its ends; another is a mistake of
  // whoever edited the file.
  size_t recentred = 0;
  for (SizeRegistration& r : content.registrations) {
    if (CentreMatches(r)) continue;
    r = MakeRegistration(r.startX, r.startY, r.endX, r.endY, r.lengthMm);
    ++recentred;
  }
  registrations = std::move(content.registrations);
  openedPath_ = path;
  openedTarget_ = real;
  shownSize_ = PixelSize{content.photoWidth, content.photoHeight};
  registrationsStored_ = true;  // turned with the photo once it is loaded
  orientation_ = 1;
  jpegPath = photo;
  drawMode = kDrawIdle;
  selectedIndex = -1;
  StartHistory();
  if (recentred > 0) {
    Changed();
    Tell(FileNameOf(path) + " の " + std::to_string(recentred) +
             " 件のｻｲｽﾞ登録で、中心が始点と終点の中点と違っていたため、計算し直しました。\r"
             "保存するとﾌｧｲﾙにも反映されます。",
         platform::MsgIcon::Information);
  }
  return true;
}

bool KovasandDoc::OnSaveDocument(const std::string& path) {
  // The link was resolved when the project was opened: saving goes to that
  // file, and the photo is named from its folder.
  const std::string target = path == openedPath_ ? openedTarget_ : ResolveLinks(path);
  ProjectContent content;
  content.registrations = StoredRegistrations();
  content.photoWidth = shownSize_.width;
  content.photoHeight = shownSize_.height;
  std::string reference = MakePhotoReference(jpegPath, FolderOf(target));
  if (!Utf8ToCp932(reference) && !CopyPhotoBeside(FolderOf(target), reference)) return false;
  reference = MakePhotoReference(jpegPath, FolderOf(target));
  const std::optional<std::string> stored = Utf8ToCp932(reference);
  if (!stored) return false;
  content.jpegReference = *stored;
  const std::string bytes = FormatProjectFile(content);
  std::string reason;
  std::error_code ec;
  const bool existed = fs::exists(target, ec);
  if (!WriteFileAtomically(target, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
                           reason)) {
    Tell(std::string(text::kWriteError) + "\r" + FileNameOf(path) + " を保存できませんでした。" +
             (existed ? "元のﾌｧｲﾙはそのままです。" : "") + "\r(" + reason + ")",
         platform::MsgIcon::Warning);
    return false;
  }
  openedPath_ = path;
  openedTarget_ = target;
  savedVersion_ = version_;
  return true;
}

bool KovasandDoc::CopyPhotoBeside(const std::string& folder, const std::string& reference) {
  // Without the photo's bytes there is nothing to copy: the name cannot
  // be stored.
  const std::string copyName = ReplaceNonCp932(FileNameOf(jpegPath));
  if (!HasPhoto()) {
    Tell("写真のﾌｧｲﾙ名に、ﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙに保存できない文字が含まれています。\r" + reference,
         platform::MsgIcon::Warning);
    return false;
  }
  // A free name: never over another file.
  std::string copy = folder + copyName;
  std::error_code ec;
  const size_t dot = copyName.find_last_of('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? copyName : copyName.substr(0, dot);
  const std::string ext = stem.size() == copyName.size() ? "" : copyName.substr(stem.size());
  for (int n = 2; fs::exists(copy, ec) || fs::is_symlink(copy, ec); ++n)
    copy = folder + stem + "_" + std::to_string(n) + ext;
  const std::string ask =
      "写真のﾌｧｲﾙ名 " + FileNameOf(jpegPath) +
      " には、ﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙに保存できない文字が含まれています。\r"
      "写真をﾌﾟﾛｼﾞｪｸﾄと同じﾌｫﾙﾀﾞに " + FileNameOf(copy) +
      " としてｺﾋﾟｰし、ｺﾋﾟｰの方を使いますか?\r(ｻｲｽﾞ登録はそのまま使えます)";
  if (!services_.messages || services_.messages->Show(ask, platform::MsgIcon::Question,
                                                      platform::MsgButtons::YesNo) !=
                                 platform::MsgResult::Yes)
    return false;
  std::string reason;
  if (!WriteFileAtomically(copy, jpegBytes, reason)) {
    Tell(std::string(text::kWriteError) + "\r" + FileNameOf(copy) + "\r(" + reason + ")",
         platform::MsgIcon::Warning);
    return false;
  }
  jpegPath = copy;
  jpegName = FileNameOf(copy);
  return true;
}

}  // namespace kv::authoring
