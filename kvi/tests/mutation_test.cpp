// Mutated and truncated files: the reader either accepts a record that is
// consistent with the bytes it was given, or rejects with a reason; it never
// reads outside the buffer (the sanitizer build checks that).
#include <gtest/gtest.h>

#include <random>

#include "foundation/core/util/bytes.h"
#include "kvi/actual_size_file.h"

namespace kv {
namespace {

std::vector<uint8_t> Seed() {
  ActualSizeFile f;
  f.jpegName = "\x8E\xCA\x90\x5E.jpg";
  f.link = "https://example.com/";
  for (int i = 0; i < 4; ++i) f.registrations.push_back(MakeRegistration(i, -i, 3 * i, 7, 10 * i));
  f.jpegBytes.assign(300, 0x5A);
  f.logoWidth = 3;
  f.logoHeight = 2;
  f.logoBytes.assign(18, 0x11);
  return SerializeActualSizeFile(f);
}

TEST(ActualSizeFileMutation, NeverCrashesAndAcceptsOnlyConsistentFiles) {
  const std::vector<uint8_t> seed = Seed();
  std::mt19937 rng(12345);
  int accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    std::vector<uint8_t> b = seed;
    const int edits = 1 + int(rng() % 4);
    for (int e = 0; e < edits; ++e) {
      const size_t at = rng() % b.size();
      switch (rng() % 4) {
        case 0: b[at] = uint8_t(rng()); break;
        case 1:
          if (at + 4 <= b.size()) {
            const uint32_t special[] = {0, 1, 0x7fffffff, 0x80000000u, 0xffffffffu, 28, 64};
            PutInt32LE(special[rng() % 7], b.data() + at);
          }
          break;
        case 2: b.resize(at); break;
        default: b.insert(b.begin() + at, uint8_t(rng())); break;
      }
      if (b.empty()) break;
    }
    ActualSizeFile out;
    out.link = "untouched";
    std::string reason;
    if (ParseActualSizeFile(b, out, reason)) {
      ++accepted;
      // Whatever was accepted serialises back to exactly the same bytes.
      const std::vector<uint8_t> again = SerializeActualSizeFile(out);
      ASSERT_EQ(again.size(), b.size());
      // The reserved block is skipped unread and written as zeros.
      const size_t reserved = 16 + out.magic.size() + out.formatVersion.size() +
                              out.jpegName.size() + 28 * out.registrations.size();
      for (size_t i = 0; i < b.size(); ++i) {
        if (i >= reserved && i < reserved + 64) continue;
        ASSERT_EQ(again[i], b[i]) << "byte " << i;
      }
    } else {
      EXPECT_FALSE(reason.empty());
      EXPECT_EQ(out.link, "untouched");
    }
  }
  EXPECT_GT(accepted, 0);
}

TEST(ActualSizeFileMutation, EveryTruncationIsRejected) {
  const std::vector<uint8_t> seed = Seed();
  for (size_t n = 0; n < seed.size(); ++n) {
    ActualSizeFile out;
    std::string reason;
    EXPECT_FALSE(ParseActualSizeFile(std::span(seed.data(), n), out, reason)) << n;
  }
}

}  // namespace
}  // namespace kv
