#include "foundation/core/util/encoding.h"

#include <iconv.h>

#include <cerrno>
#include <iterator>

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

// The characters whose Unicode form differs between conventions: what a
// Japanese input method types, and what CP932's byte reads back as.
struct TwoForms {
  const char* typed;
  const char* cp932;
};
constexpr TwoForms kTwoForms[] = {
    {"\u301C", "\uFF5E"},  // WAVE DASH / FULLWIDTH TILDE (0x8160)
    {"\u2016", "\u2225"},  // DOUBLE VERTICAL LINE / PARALLEL TO (0x8161)
    {"\u2212", "\uFF0D"},  // MINUS SIGN / FULLWIDTH HYPHEN-MINUS (0x817C)
    {"\u00A2", "\uFFE0"},  // CENT SIGN / FULLWIDTH CENT SIGN (0x8191)
    {"\u00A3", "\uFFE1"},  // POUND SIGN / FULLWIDTH POUND SIGN (0x8192)
    {"\u00AC", "\uFFE2"},  // NOT SIGN / FULLWIDTH NOT SIGN (0x81CA)
};

// Which of the two-form characters starts at utf8[i]; -1 none. `other`
// says whether it is in its typed form (false) or CP932's (true).
int TwoFormAt(std::string_view utf8, size_t i, bool& cp932Form) {
  for (size_t k = 0; k < std::size(kTwoForms); ++k) {
    for (const bool c : {false, true}) {
      const std::string_view form = c ? kTwoForms[k].cp932 : kTwoForms[k].typed;
      if (utf8.substr(i, form.size()) == form) {
        cp932Form = c;
        return int(k);
      }
    }
  }
  return -1;
}

// Every two-form character in CP932's form.
std::string ToCp932Forms(std::string_view utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    bool cp932Form = false;
    const int k = TwoFormAt(utf8, i, cp932Form);
    if (k < 0) {
      out.push_back(utf8[i++]);
      continue;
    }
    const std::string_view from = cp932Form ? kTwoForms[k].cp932 : kTwoForms[k].typed;
    out += kTwoForms[k].cp932;
    i += from.size();
  }
  return out;
}

}  // namespace

std::vector<std::string> Cp932FormVariants(std::string_view utf8, size_t limit) {
  std::vector<std::string> out{std::string(utf8)};
  for (size_t i = 0; i < utf8.size();) {
    bool cp932Form = false;
    const int k = TwoFormAt(utf8, i, cp932Form);
    if (k < 0) {
      ++i;
      continue;
    }
    const std::string_view from = cp932Form ? kTwoForms[k].cp932 : kTwoForms[k].typed;
    const std::string_view to = cp932Form ? kTwoForms[k].typed : kTwoForms[k].cp932;
    // Each text so far again with this character in its other form; the
    // byte offset is the same in all of them only up to here, so the tail
    // is rebuilt from the original.
    const size_t n = out.size();
    for (size_t v = 0; v < n && out.size() < limit; ++v) {
      const std::string& base = out[v];
      const size_t tail = utf8.size() - i;
      std::string other = base.substr(0, base.size() - tail);
      other += to;
      other += utf8.substr(i + from.size());
      out.push_back(std::move(other));
    }
    i += from.size();
  }
  return out;
}

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) {
  return Convert("UTF-8", "CP932", cp932);
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
  // iconv maps some characters to bytes that read back as others (U+00A5
  // to 0x5C, which is a backslash here; U+203E to 0x7E) without counting
  // them as irreversible, so only the way back proves the conversion exact.
  const std::string normal = ToCp932Forms(utf8);
  std::optional<std::string> cp932 = Convert("CP932", "UTF-8", normal);
  if (!cp932) return std::nullopt;
  const std::optional<std::string> back = Convert("UTF-8", "CP932", *cp932);
  if (!back || *back != normal) return std::nullopt;
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
