#include "web/publish/web_folder.h"

#include <filesystem>
#include <system_error>

#include "foundation/core/util/file_io.h"
#include "kvi/actual_size_file.h"

namespace kv::web {
namespace {

// The name as a relative address: every byte outside the unreserved set
// escaped, so any name (Japanese, spaces, '#') reaches the page intact and
// needs no further escaping inside an HTML attribute or a script string.
std::string UrlEscape(const std::string& name) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                       (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-' || c == '~';
    if (plain) {
      out += char(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string Base64(std::span<const uint8_t> b) {
  static const char* kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((b.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= b.size(); i += 3) {
    const uint32_t v = uint32_t(b[i]) << 16 | uint32_t(b[i + 1]) << 8 | b[i + 2];
    out += kDigits[v >> 18];
    out += kDigits[(v >> 12) & 63];
    out += kDigits[(v >> 6) & 63];
    out += kDigits[v & 63];
  }
  if (i < b.size()) {
    const uint32_t v = uint32_t(b[i]) << 16 | (i + 1 < b.size() ? uint32_t(b[i + 1]) << 8 : 0);
    out += kDigits[v >> 18];
    out += kDigits[(v >> 12) & 63];
    out += i + 1 < b.size() ? kDigits[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

bool IsPlainKviName(const std::string& name) {
  if (name.size() <= 4 || name.find('/') != std::string::npos || name == "..") return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return ext == ".kvi";
}

std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// The page's own index.html names the file to open in one meta element
// left empty in the page's sources.
constexpr char kKviMeta[] = "<meta name=\"kova-kvi\" content=\"\">";

}  // namespace

std::vector<std::string> PublishedNames(const std::string& kviName) {
  std::vector<std::string> names;
  for (const PageFile& f : PageFiles()) names.emplace_back(f.path);
  names.push_back(kviName);
  names.push_back(kviName + ".js");
  return names;
}

std::vector<std::string> ExistingFiles(const std::string& folder, const std::string& kviName) {
  std::vector<std::string> found;
  for (const std::string& name : PublishedNames(kviName)) {
    std::error_code ec;
    if (std::filesystem::symlink_status(std::filesystem::path(folder) / name, ec).type() !=
        std::filesystem::file_type::not_found) {
      found.push_back(name);
    }
  }
  return found;
}

bool PublishWebFolder(const std::string& folder, const std::string& kviName,
                      std::span<const uint8_t> kvi, bool replace, std::string& reason) {
  if (!IsPlainKviName(kviName)) {
    reason = "ﾌｧｲﾙ名が .kvi で終わっていません: " + kviName;
    return false;
  }
  ActualSizeFile parsed;
  if (!ParseActualSizeFile(kvi, parsed, reason)) return false;
  if (parsed.jpegBytes.empty()) {
    reason = "写真のないkviﾌｧｲﾙは出力できません";
    return false;
  }
  if (!replace) {
    const std::vector<std::string> existing = ExistingFiles(folder, kviName);
    if (!existing.empty()) {
      reason = "出力先のﾌｫﾙﾀﾞに同じ名前のﾌｧｲﾙがあります: " + existing.front();
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(folder) / "js", ec);
  if (ec) {
    reason = "出力先のﾌｫﾙﾀﾞを作れません: " + folder;
    return false;
  }
  const std::string escaped = UrlEscape(kviName);
  // The photo first and index.html last: a folder whose writing failed half
  // way never has a page naming a photo it lacks.
  const std::string script = "Kova.embedded = {name: \"" + escaped + "\", base64: \"" +
                             Base64(kvi) + "\"};\n";
  if (!WriteFileAtomically(folder + "/" + kviName, kvi, reason) ||
      !WriteFileAtomically(folder + "/" + kviName + ".js", Bytes(script), reason)) {
    return false;
  }
  const PageFile* index = nullptr;
  for (const PageFile& f : PageFiles()) {
    if (std::string(f.path) == "index.html") {
      index = &f;
      continue;
    }
    if (!WriteFileAtomically(folder + "/" + f.path, {f.data, f.size}, reason)) return false;
  }
  if (!index) return true;
  std::string text(reinterpret_cast<const char*>(index->data), index->size);
  const size_t at = text.find(kKviMeta);
  if (at != std::string::npos) {
    text.replace(at, sizeof kKviMeta - 1, "<meta name=\"kova-kvi\" content=\"" + escaped + "\">");
  }
  return WriteFileAtomically(folder + "/index.html", Bytes(text), reason);
}

}  // namespace kv::web
