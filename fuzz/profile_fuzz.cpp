// The private profile reader and writer. Input: section, key and value, each
// ended by a zero byte, then the file's contents. A lookup in any contents
// returns at most what the caller's buffer holds, without splitting a
// double-byte character; a write that is accepted is found again with the
// value as lookups give it (blanks around it and one pair of quotes
// dropped), writing it again changes nothing, and other sections read as
// before.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/private_profile.h"

namespace {

using kv::platform::LookupProfileValue;
using kv::platform::SetProfileValue;

std::string_view Field(std::string_view& rest) {
  const size_t end = rest.find('\0');
  const std::string_view field = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return field;
}

// Names are matched trimmed and without regard to ASCII case.
bool IsProbe(std::string_view name) {
  while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t' || name.back() == '\r'))
    name.remove_suffix(1);
  if (name.size() != 5) return false;
  for (size_t i = 0; i < 5; ++i)
    if ((name[i] | 0x20) != "probe"[i]) return false;
  return true;
}

std::string_view AsLookupsGiveIt(std::string_view v) {
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string_view section = Field(rest);
  const std::string_view key = Field(rest);
  const std::string_view value = Field(rest);
  const std::string_view contents = rest;
  constexpr size_t kWhole = size_t(1) << 30;

  const std::string whole = LookupProfileValue(contents, section, key, "", kWhole);
  const size_t buffer = size % 19;
  const std::string clipped = LookupProfileValue(contents, section, key, "", buffer);
  FUZZ_CHECK(clipped.size() + 1 <= std::max<size_t>(buffer, 1));
  FUZZ_CHECK(whole.compare(0, clipped.size(), clipped) == 0);
  // Clipping drops at most one double-byte character more than it must.
  if (buffer > 0) FUZZ_CHECK(clipped.size() + 2 >= std::min(whole.size(), buffer - 1) + 1);

  const auto written = SetProfileValue(contents, section, key, value);
  if (!written) return 0;
  FUZZ_CHECK(LookupProfileValue(*written, section, key, "\x01missing", kWhole) == AsLookupsGiveIt(value));
  const auto again = SetProfileValue(*written, section, key, value);
  FUZZ_CHECK(again && *again == *written);
  // A section of another name reads as before.
  const std::string_view other = IsProbe(section) ? "other" : "probe";
  FUZZ_CHECK(LookupProfileValue(*written, other, "k", "\x01", kWhole) ==
             LookupProfileValue(contents, other, "k", "\x01", kWhole));
  return 0;
}
