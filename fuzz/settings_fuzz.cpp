// The "kovasand.ini" reader: any bytes read (never a failure), sections are
// only counted where they are, and line feeds and carriage return plus line
// feed read alike.
#include <cstdint>
#include <span>
#include <string>

#include "authoring/model/project_file.h"
#include "fuzz/fuzz_check.h"

namespace {

std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const kv::authoring::KovasandSettings s = kv::authoring::ParseSettingsFile(Bytes(text));
  FUZZ_CHECK(s.tags >= 0 && size_t(s.tags) <= kv::authoring::SplitLines(text).size());
  FUZZ_CHECK(s.link.find('\n') == std::string::npos);
  if (s.tags == 0) FUZZ_CHECK(s.cx == 0 && s.cy == 0 && s.link.empty());

  if (text.find('\r') == std::string::npos) {
    std::string crlf;
    for (const char c : text) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    const kv::authoring::KovasandSettings t = kv::authoring::ParseSettingsFile(Bytes(crlf));
    FUZZ_CHECK(t.tags == s.tags && t.cx == s.cx && t.cy == s.cy && t.link == s.link);
  }
  return 0;
}
