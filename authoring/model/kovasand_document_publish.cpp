// Publishing: the checks before a ".kvi" goes out, the file itself, and the
// preview files of this run in their private folder.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "authoring/model/kovasand_document.h"
#include "authoring/model/project_file.h"
#include "foundation/core/util/encoding.h"
#include "foundation/core/util/file_io.h"

namespace kv::authoring {

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
  if (!CheckRegistrationsUsable()) return false;
  std::string reason;
  if (!MakeActualSizeFile(reason)) {
    Tell(reason, platform::MsgIcon::Warning);
    return false;
  }
  return true;
}

bool KovasandDoc::CheckRegistrationsUsable() {
  const std::optional<size_t> bad = FirstUnusable();
  if (!bad) return true;
  Tell("使用できないｻｲｽﾞ登録があります。\r" + std::to_string(*bad + 1) + "番: " +
           UnusableReason(*bad) + "\r等倍設定のﾘｽﾄで実ｻｲｽﾞを修正するか、削除して下さい。",
       platform::MsgIcon::Warning);
  return false;
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
  if (!CheckRegistrationsUsable()) return std::nullopt;
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
