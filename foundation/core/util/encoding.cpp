#include "foundation/core/util/encoding.h"

#include <iconv.h>

#include <cerrno>

namespace kv {
namespace {

// One conversion with iconv; any invalid or unconvertible sequence fails the
// whole text (no transliteration, no replacement characters).
std::optional<std::string> Convert(const char* to, const char* from, std::string_view in) {
  if (in.empty()) return std::string();
  iconv_t cd = ::iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out;
  out.resize(in.size() * 4 + 16);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  size_t used = 0;
  bool ok = true;
  while (srcLeft > 0) {
    char* dst = out.data() + used;
    size_t dstLeft = out.size() - used;
    const size_t r = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    used = out.size() - dstLeft;
    if (r == size_t(-1)) {
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      ok = false;  // EILSEQ or EINVAL (a cut-off multibyte character)
      break;
    }
    // glibc counts irreversible conversions in r; none are acceptable.
    if (r != 0) {
      ok = false;
      break;
    }
  }
  if (ok) {
    // Flush any shift state.
    char* dst = out.data() + used;
    size_t dstLeft = out.size() - used;
    if (::iconv(cd, nullptr, nullptr, &dst, &dstLeft) == size_t(-1)) ok = false;
    used = out.size() - dstLeft;
  }
  ::iconv_close(cd);
  if (!ok) return std::nullopt;
  out.resize(used);
  return out;
}

}  // namespace

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) {
  return Convert("UTF-8", "CP932", cp932);
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
  // iconv maps some characters to bytes that read back as others (U+00A5
  // to 0x5C, which is a backslash here; U+203E to 0x7E) without counting
  // them as irreversible, so only the way back proves the conversion exact.
  std::optional<std::string> cp932 = Convert("CP932", "UTF-8", utf8);
  if (!cp932) return std::nullopt;
  const std::optional<std::string> back = Convert("UTF-8", "CP932", *cp932);
  if (!back || *back != utf8) return std::nullopt;
  return cp932;
}

std::string ReplaceNonCp932(std::string_view utf8, char replacement) {
  std::string out;
  size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const size_t n = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3
                                                          : (lead >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > utf8.size()) {
      out.push_back(replacement);
      ++i;
      continue;
    }
    const std::string_view one = utf8.substr(i, n);
    out += Utf8ToCp932(one) ? std::string(one) : std::string(1, replacement);
    i += n;
  }
  return out;
}

}  // namespace kv
