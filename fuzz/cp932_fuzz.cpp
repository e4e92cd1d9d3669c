// CP932 conversion both ways. Text read from CP932 converts back to CP932
// that reads as the same text; text converted to CP932 reads back exactly
// (or with two-form characters in their other form) or is refused; a label with every unconvertible character replaced always
// converts.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/core/util/encoding.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  if (const std::optional<std::string> text = kv::Cp932ToUtf8(bytes)) {
    const std::optional<std::string> cp932 = kv::Utf8ToCp932(*text);
    FUZZ_CHECK(cp932.has_value());
    FUZZ_CHECK(kv::Cp932ToUtf8(*cp932) == text);
  }

  // It reads back as the same text, but for the characters with two
  // Unicode forms, which read back in CP932's form.
  if (const std::optional<std::string> cp932 = kv::Utf8ToCp932(bytes)) {
    const std::optional<std::string> back = kv::Cp932ToUtf8(*cp932);
    FUZZ_CHECK(back.has_value());
    FUZZ_CHECK(kv::Utf8ToCp932(*back) == cp932);
    if (bytes.size() <= 24) {
      const std::vector<std::string> forms = kv::Cp932FormVariants(*back, 1 << 10);
      FUZZ_CHECK(std::find(forms.begin(), forms.end(), bytes) != forms.end());
    }
  }

  const std::string label = kv::ReplaceNonCp932(bytes);
  const std::optional<std::string> cp932 = kv::Utf8ToCp932(label);
  FUZZ_CHECK(cp932.has_value());
  // Characters that convert are kept: a text that converts is its own label.
  if (kv::Utf8ToCp932(bytes)) FUZZ_CHECK(label == bytes);
  return 0;
}
