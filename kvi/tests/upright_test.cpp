#include "kvi/upright.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "foundation/core/image/jpeg_encode.h"
#include "foundation/core/image/tests/exif_writer.h"

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


// The tag is believed with the size in the header, and the registrations
// come turned with that size; without a size nothing is turned.
TEST(Upright, APhotoIsShownByItsTagWithItsRegistrationsTurned) {
  DibImage img(40, 24);
  img.padBytes = DibPadBytes(40);
  img.byteSize = uint32_t(img.Stride() * 24);
  img.pixels = std::make_unique<uint8_t[]>(img.byteSize);
  const std::vector<uint8_t> plain = EncodeJpeg(img, 90);
  const RegistrationList stored = {MakeRegistration(1, 2, 31, 2, 50)};
  const UprightPhoto asIs = ShowUpright(plain, stored);
  EXPECT_EQ(asIs.orientation, 1);
  EXPECT_EQ(asIs.stored, (PixelSize{40, 24}));
  EXPECT_EQ(asIs.shown, (PixelSize{40, 24}));
  EXPECT_EQ(asIs.registrations, stored);

  const UprightPhoto six = ShowUpright(testing::WithExif(plain, 6, true), stored);
  EXPECT_EQ(six.orientation, 6);
  EXPECT_EQ(six.shown, (PixelSize{24, 40}));
  EXPECT_EQ(six.registrations, RegistrationsToShown(stored, 6, {40, 24}));
  EXPECT_EQ(six.registrations[0].startX, 24 - 1 - 2);

  // Exif but no frame header: the tag cannot be believed.
  const std::vector<uint8_t> tagged = testing::WithExif(plain, 6, true);
  const std::vector<uint8_t> headOnly(tagged.begin(), tagged.begin() + 40);
  const UprightPhoto none = ShowUpright(headOnly, stored);
  EXPECT_EQ(none.orientation, 1);
  EXPECT_FALSE(none.stored);
  EXPECT_EQ(none.shown, (PixelSize{0, 0}));
  EXPECT_EQ(none.registrations, stored);
  EXPECT_EQ(ShowUpright({}).orientation, 1);
}

}  // namespace
}  // namespace kv
