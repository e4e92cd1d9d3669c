#include "kvi/upright.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace kv {
namespace {

TEST(Upright, RegistrationsKeepTheirMeaningBothWays) {
  const PixelSize size{4000, 3000};
  const RegistrationList stored = {MakeRegistration(10, 20, 3010, 20, 100),
                                   SizeRegistration{1, 2, 3, 4, 5, 99, 98}};  // centre as stored
  EXPECT_EQ(RegistrationsToShown(stored, 1, size), stored);
  for (Orientation o = 2; o <= 8; ++o) {
    const RegistrationList shown = RegistrationsToShown(stored, o, size);
    const RegistrationList back = RegistrationsToStored(shown, o, size);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0], stored[0]) << o;
    EXPECT_EQ(back[1].startX, 1);
    EXPECT_EQ(back[1].endY, 4);
    EXPECT_EQ(back[1].lengthMm, 5);
    // Lengths in pixels do not change with a turn.
    EXPECT_EQ(std::abs(shown[0].endX - shown[0].startX) + std::abs(shown[0].endY - shown[0].startY),
              3000);
  }
  const RegistrationList six = RegistrationsToShown(stored, 6, size);
  EXPECT_EQ(six[0].startX, 3000 - 1 - 20);
  EXPECT_EQ(six[0].startY, 10);
}

}  // namespace
}  // namespace kv
