// The ".kvp" reader and the photo reference. Any bytes are read whole or
// refused with a reason, never in part: a project read has its "EOF" and as
// many blocks as its count says, and written back reads back the same; line
// feeds and carriage return plus line feed read alike; a reference resolves
// to a clean absolute path or to none, and the reference made from that path
// finds it again.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "authoring/model/project_file.h"
#include "foundation/core/util/encoding.h"
#include "fuzz/fuzz_check.h"

namespace {

using kv::authoring::ProjectContent;

std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

bool Same(const std::optional<ProjectContent>& a, const std::optional<ProjectContent>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || (a->jpegReference == b->jpegReference && a->registrations == b->registrations);
}

std::optional<ProjectContent> Parse(const std::string& text) {
  std::string reason;
  std::optional<ProjectContent> c = kv::authoring::ParseProjectFile(Bytes(text), reason);
  FUZZ_CHECK(c.has_value() || !reason.empty());
  return c;
}

// Absolute, '/' between parts, no empty, "." or ".." part.
bool IsCleanPath(const std::string& path) {
  if (path.empty() || path.front() != '/' || path.find('\\') != std::string::npos) return false;
  if (path == "/") return true;
  size_t from = 1;
  for (;;) {
    const size_t slash = path.find('/', from);
    const std::string_view part =
        std::string_view(path).substr(from, slash == std::string::npos ? std::string::npos : slash - from);
    if (part.empty() || part == "." || part == "..") return false;
    if (slash == std::string::npos) return true;
    from = slash + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<ProjectContent> read = Parse(text);

  if (text.find('\r') == std::string::npos) {
    std::string crlf;
    for (const char c : text) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    FUZZ_CHECK(Same(Parse(crlf), read));
  }
  if (!read) return 0;
  const ProjectContent& content = *read;
  // A registration takes a tag and seven value lines, and the file its end.
  const std::vector<std::string_view> lines = kv::authoring::SplitLines(text);
  FUZZ_CHECK(content.registrations.size() <= lines.size() / 8);
  FUZZ_CHECK(std::find(lines.begin(), lines.end(), "EOF") != lines.end());
  FUZZ_CHECK(content.jpegReference.find('\n') == std::string::npos);

  // The writer ends lines with a line feed and the reader drops one carriage
  // return before each, so a reference ending in a carriage return is the
  // one thing that cannot come back.
  if (content.jpegReference.empty() || content.jpegReference.back() != '\r')
    FUZZ_CHECK(Same(Parse(kv::authoring::FormatProjectFile(content)), read));

  const std::optional<std::string> reference = kv::Cp932ToUtf8(content.jpegReference);
  if (!reference) return 0;
  for (const std::string folder : {"/work/project/", "/"}) {
    const std::string path = kv::authoring::ResolvePhotoReference(*reference, folder);
    if (reference->empty()) FUZZ_CHECK(path.empty());
    if (path.empty()) continue;
    FUZZ_CHECK(IsCleanPath(path));
    if (path == "/") continue;
    const std::string made = kv::authoring::MakePhotoReference(path, folder);
    FUZZ_CHECK(kv::authoring::ResolvePhotoReference(made, folder) == path);
  }
  return 0;
}
