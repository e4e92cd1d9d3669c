// The ".kvp" reader and the photo reference. Any bytes read as a project
// (never a failure); a project written back reads back the same; line feeds
// and carriage return plus line feed read alike; a reference resolves to a
// clean absolute path or to none, and the reference made from that path
// finds it again.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "authoring/model/project_file.h"
#include "foundation/core/util/encoding.h"
#include "fuzz/fuzz_check.h"

namespace {

using kv::authoring::ProjectContent;

std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

bool Same(const ProjectContent& a, const ProjectContent& b) {
  return a.jpegReference == b.jpegReference && a.registrations == b.registrations &&
         a.recognised == b.recognised;
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
  const ProjectContent content = kv::authoring::ParseProjectFile(Bytes(text));
  // A registration takes a tag and seven value lines.
  FUZZ_CHECK(content.registrations.size() <= kv::authoring::SplitLines(text).size() / 8);
  FUZZ_CHECK(content.jpegReference.find('\n') == std::string::npos);

  // The writer ends lines with a line feed and the reader drops one carriage
  // return before each, so a reference ending in a carriage return is the
  // one thing that cannot come back.
  if (content.recognised &&
      (content.jpegReference.empty() || content.jpegReference.back() != '\r')) {
    const std::string written = kv::authoring::FormatProjectFile(content);
    FUZZ_CHECK(Same(kv::authoring::ParseProjectFile(Bytes(written)), content));
  }

  if (text.find('\r') == std::string::npos) {
    std::string crlf;
    for (const char c : text) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    FUZZ_CHECK(Same(kv::authoring::ParseProjectFile(Bytes(crlf)), content));
  }

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
