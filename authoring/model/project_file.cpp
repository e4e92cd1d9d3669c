#include "authoring/model/project_file.h"

#include <climits>
#include <filesystem>

#include "foundation/core/util/text.h"

namespace kv::authoring {
namespace {

constexpr std::string_view kHeaderTag = "[KOVASAND]";
constexpr std::string_view kVersion = "VERSION1.0";
constexpr std::string_view kCountTag = "[COUNT]";
constexpr std::string_view kJpegTag = "[JPEG]";
constexpr std::string_view kDataTag = "[DATA]";
constexpr std::string_view kSizeTag = "[SIZE]";
constexpr std::string_view kEofTag = "EOF";

void AppendLine(std::string& out, std::string_view line) {
  out.append(line);
  out.push_back('\n');
}

// Splits a path into its parts, dropping empty ones and ".".
std::vector<std::string> PathParts(const std::string& path) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    std::string part = path.substr(i, j - i);
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
    i = j + 1;
  }
  return parts;
}

// "..": one part back, but never above the root.
std::string JoinNormalised(const std::vector<std::string>& parts, bool absolute) {
  std::vector<std::string> kept;
  for (const std::string& p : parts) {
    if (p == "..") {
      if (!kept.empty() && kept.back() != "..") {
        kept.pop_back();
      } else if (!absolute) {
        kept.push_back(p);
      }
    } else {
      kept.push_back(p);
    }
  }
  std::string out = absolute ? "/" : "";
  for (size_t i = 0; i < kept.size(); ++i) {
    if (i) out += '/';
    out += kept[i];
  }
  return out;
}

// "C:", "C:/..." (separators already '/'): the other platform's absolute
// paths. A name such as "C:photo.jpg" is an ordinary name here.
bool IsDrivePath(std::string_view ref) {
  const char c = ref.empty() ? '\0' : ref[0];
  return ref.size() >= 2 && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) && ref[1] == ':' &&
         (ref.size() == 2 || ref[2] == '/');
}

}  // namespace

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t i = 0;
  while (i < text.size()) {
    size_t j = text.find('\n', i);
    const bool last = j == std::string_view::npos;
    if (last) j = text.size();
    std::string_view line = text.substr(i, j - i);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    i = j + 1;
  }
  return lines;
}

std::string FormatProjectFile(const ProjectContent& content) {
  std::string out;
  AppendLine(out, kHeaderTag);
  AppendLine(out, kVersion);
  AppendLine(out, kCountTag);
  AppendLine(out, IntToText(int32_t(content.registrations.size())));
  AppendLine(out, kJpegTag);
  AppendLine(out, content.jpegReference);
  if (content.photoWidth > 0 && content.photoHeight > 0) {
    AppendLine(out, kSizeTag);
    AppendLine(out, IntToText(content.photoWidth));
    AppendLine(out, IntToText(content.photoHeight));
  }
  for (const SizeRegistration& r : content.registrations) {
    AppendLine(out, kDataTag);
    for (int32_t v : {r.startX, r.startY, r.endX, r.endY, r.centerX, r.centerY, r.lengthMm})
      AppendLine(out, IntToText(v));
  }
  AppendLine(out, kEofTag);
  return out;
}

std::optional<ProjectContent> ParseProjectFile(std::span<const uint8_t> bytes,
                                               std::string& reason) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const std::vector<std::string_view> lines = SplitLines(text);
  // The file's order of a block's values.
  static const char* const kFields[7] = {"始点X", "始点Y", "終点X", "終点Y",
                                         "中心X", "中心Y", "実ｻｲｽﾞ(mm)"};
  ProjectContent out;
  std::optional<int64_t> count;
  bool recognised = false, ended = false;
  size_t i = 0;
  auto refuse = [&](const std::string& why) {
    reason = why;
    return std::nullopt;
  };
  auto lineNo = [&](size_t index) { return "(" + std::to_string(index + 1) + "行目)"; };
  while (i < lines.size()) {
    const std::string_view line = lines[i++];
    if (line == kEofTag) {
      ended = true;
      break;
    }
    const bool tag = line == kHeaderTag || line == kCountTag || line == kJpegTag || line == kDataTag;
    if (line == kSizeTag) {
      if (i + 2 > lines.size())
        return refuse("[SIZE]の次の行がありません。ﾌｧｲﾙが途中で切れています。");
      const std::optional<int64_t> w = ParseDecimal(lines[i], 1, INT32_MAX);
      const std::optional<int64_t> h = ParseDecimal(lines[i + 1], 1, INT32_MAX);
      if (!w || !h) return refuse("[SIZE]の値が1以上の整数ではありません。" + lineNo(w ? i + 1 : i));
      out.photoWidth = int32_t(*w);
      out.photoHeight = int32_t(*h);
      i += 2;
      continue;
    }
    if (!tag) continue;
    recognised = true;
    if (line == kDataTag) {
      const size_t block = out.registrations.size() + 1;
      const std::string where = std::to_string(block) + "番目の[DATA]ﾌﾞﾛｯｸ";
      int32_t v[7];
      for (int f = 0; f < 7; ++f) {
        if (i >= lines.size())
          return refuse(where + "が途中で切れています(" + kFields[f] + "がありません)。");
        const std::optional<int64_t> n = ParseDecimal(lines[i], INT32_MIN, INT32_MAX);
        if (!n)
          return refuse(where + "の" + kFields[f] + "が整数ではないか、範囲外です。" + lineNo(i));
        v[f] = int32_t(*n);
        ++i;
      }
      SizeRegistration r;
      r.startX = v[0];
      r.startY = v[1];
      r.endX = v[2];
      r.endY = v[3];
      r.centerX = v[4];
      r.centerY = v[5];
      r.lengthMm = v[6];
      out.registrations.push_back(r);
      continue;
    }
    if (i >= lines.size())
      return refuse(std::string(line) + "の次の行がありません。ﾌｧｲﾙが途中で切れています。");
    const size_t at = i;
    const std::string_view value = lines[i++];
    if (line == kCountTag) {
      count = ParseDecimal(value, 0, INT32_MAX);
      if (!count) return refuse("[COUNT]の値が0以上の整数ではありません。" + lineNo(at));
    } else if (line == kJpegTag) {
      out.jpegReference = std::string(value);
    }
  }
  if (!recognised) return refuse("Kovasandのﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙ(kvp)ではありません。");
  if (!ended) return refuse("最後の行(EOF)がありません。ﾌｧｲﾙが途中で切れています。");
  if (!count) return refuse("[COUNT]がありません。");
  if (uint64_t(*count) != out.registrations.size())
    return refuse("[COUNT]は" + std::to_string(*count) + "ですが、[DATA]ﾌﾞﾛｯｸは" +
                  std::to_string(out.registrations.size()) + "個です。" +
                  (uint64_t(*count) > out.registrations.size() ? "ﾌﾞﾛｯｸが欠けています。" : ""));
  return out;
}

std::string MakePhotoReference(const std::string& jpegPath, const std::string& projectFolder) {
  if (jpegPath.empty()) return {};
  if (projectFolder.empty() || jpegPath.compare(0, projectFolder.size(), projectFolder) == 0) {
    const std::string inside = jpegPath.substr(projectFolder.size());
    // A folder or file named like a drive would read back as one.
    return IsDrivePath(inside) ? "./" + inside : inside;
  }
  // Outside the project's folder: climb to the common folder.
  const std::vector<std::string> photo = PathParts(JoinNormalised(PathParts(jpegPath), true));
  const std::vector<std::string> folder =
      PathParts(JoinNormalised(PathParts(projectFolder), true));
  if (photo.empty()) return {};
  size_t common = 0;
  while (common < photo.size() - 1 && common < folder.size() && photo[common] == folder[common])
    ++common;
  std::string out;
  for (size_t k = common; k < folder.size(); ++k) out += "../";
  for (size_t k = common; k < photo.size(); ++k) {
    out += photo[k];
    if (k + 1 < photo.size()) out += '/';
  }
  return out;
}

std::string ResolvePhotoReference(const std::string& referenceUtf8,
                                  const std::string& projectFolder) {
  if (referenceUtf8.empty()) return {};
  std::string ref = referenceUtf8;
  for (char& c : ref)
    if (c == '\\') c = '/';
  // A drive-letter path from the other platform names nothing here; keep its
  // last part so the photo is found beside the project. A drive or folder
  // alone ("C:\\", "C:") has no last part: no photo.
  if (IsDrivePath(ref)) {
    const size_t slash = ref.find_last_of('/');
    ref = ref.substr(slash == std::string::npos ? 2 : slash + 1);
    if (ref.empty()) return {};
  }
  const std::string joined = ref.front() == '/' ? ref : projectFolder + ref;
  return JoinNormalised(PathParts(joined), !joined.empty() && joined.front() == '/');
}

KovasandSettings ParseSettingsFile(std::span<const uint8_t> bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const std::vector<std::string_view> lines = SplitLines(text);
  KovasandSettings out;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (line == kEofTag) break;
    const bool cx = line == "[cx]", cy = line == "[cy]", link = line == "[link]";
    if (!(cx || cy || link)) continue;
    ++out.tags;
    const std::string_view value = i + 1 < lines.size() ? lines[++i] : std::string_view();
    if (cx) out.cx = TextToLong(value);
    if (cy) out.cy = TextToLong(value);
    if (link) out.link = std::string(value);
  }
  return out;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace kv::authoring
