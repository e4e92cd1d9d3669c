// The ".kvi" reader. What it accepts writes back to the same bytes and reads
// back to the same records; the one exception is the reserved block, which
// is skipped unread and written as zeros. What it refuses has a reason and
// leaves the record as it was.
#include <cstdint>
#include <span>
#include <string>

#include "fuzz/fuzz_check.h"
#include "kvi/actual_size_file.h"

namespace {

bool Same(const kv::ActualSizeFile& a, const kv::ActualSizeFile& b) {
  return a.magic == b.magic && a.formatVersion == b.formatVersion && a.jpegName == b.jpegName &&
         a.registrations == b.registrations && a.jpegBytes == b.jpegBytes && a.link == b.link &&
         a.logoWidth == b.logoWidth && a.logoHeight == b.logoHeight && a.logoBytes == b.logoBytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  kv::ActualSizeFile file;
  file.link = "untouched";
  std::string reason;
  if (!kv::ParseActualSizeFile(bytes, file, reason)) {
    FUZZ_CHECK(!reason.empty());
    FUZZ_CHECK(file.link == "untouched" && file.registrations.empty());
    return 0;
  }
  FUZZ_CHECK(reason.empty());

  const std::vector<uint8_t> again = kv::SerializeActualSizeFile(file);
  FUZZ_CHECK(again.size() == size);
  const size_t reserved = 16 + file.magic.size() + file.formatVersion.size() + file.jpegName.size() +
                          28 * file.registrations.size();
  FUZZ_CHECK(reserved + 64 <= size);
  for (size_t i = 0; i < size; ++i) {
    if (i >= reserved && i < reserved + 64) {
      FUZZ_CHECK(again[i] == 0);
    } else {
      FUZZ_CHECK(again[i] == data[i]);
    }
  }

  kv::ActualSizeFile back;
  FUZZ_CHECK(kv::ParseActualSizeFile(again, back, reason));
  FUZZ_CHECK(Same(back, file));
  if (kv::HasUsableLogo(file))
    FUZZ_CHECK(uint64_t(file.logoWidth) * uint64_t(file.logoHeight) * 3 == file.logoBytes.size());
  return 0;
}
