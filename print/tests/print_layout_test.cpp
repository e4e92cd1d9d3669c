// Where a photo at real size lands on paper, without Qt or a window.
#include "print/print_layout.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kv::print {
namespace {

TEST(PrintLayout, TheScaleIsTheRegistrationsLengthOverItsPixelDistance) {
  const RegistrationList regs = {MakeRegistration(100, 100, 400, 500, 250),  // 500 px
                                 MakeRegistration(10, 10, 10, 10, 40),       // one pixel
                                 MakeRegistration(0, 0, 30, 40, 0),          // no length
                                 MakeRegistration(0, 0, 30, 40, -5)};
  const RegistrationScale s = ScaleOf(regs, 0);
  EXPECT_EQ(s.refusal, Refusal::kNone);
  EXPECT_DOUBLE_EQ(s.mmPerPixel, 0.5);
  for (int32_t i : {1, 2, 3}) EXPECT_EQ(ScaleOf(regs, i).refusal, Refusal::kBadRegistration) << i;
  for (int32_t i : {-1, 4, INT32_MAX}) EXPECT_EQ(ScaleOf(regs, i).refusal, Refusal::kNoRegistration);
  EXPECT_EQ(ScaleOf({}, 0).refusal, Refusal::kNoRegistration);
  // Every refusal has words for the user; success has none.
  for (Refusal r : {Refusal::kNoRegistration, Refusal::kBadRegistration, Refusal::kNoPhoto,
                    Refusal::kPageTooSmall, Refusal::kPixelLargerThanPage})
    EXPECT_FALSE(RefusalText(r).empty());
  EXPECT_TRUE(RefusalText(Refusal::kNone).empty());
}

TEST(PrintLayout, SheetsAndTheirNames) {
  EXPECT_EQ(PaperSizeByName("A4"), PaperSize::kA4);
  EXPECT_EQ(PaperSizeByName("a3"), PaperSize::kA3);
  EXPECT_EQ(PaperSizeByName("LETTER"), PaperSize::kLetter);
  EXPECT_EQ(PaperSizeByName("A5"), std::nullopt);
  EXPECT_EQ(PaperSizeByName(""), std::nullopt);

  const PageSpec a4 = PdfPage(PaperSize::kA4, false);
  EXPECT_DOUBLE_EQ(a4.widthMm, 210);
  EXPECT_DOUBLE_EQ(a4.heightMm, 297);
  EXPECT_EQ(a4.printable, (RectMm{10, 10, 190, 277}));
  const PageSpec a3 = PdfPage(PaperSize::kA3, true);
  EXPECT_DOUBLE_EQ(a3.widthMm, 420);
  EXPECT_EQ(a3.printable, (RectMm{10, 10, 400, 277}));
  const PageSpec letter = PdfPage(PaperSize::kLetter, false);
  EXPECT_DOUBLE_EQ(letter.widthMm, 215.9);
  EXPECT_DOUBLE_EQ(letter.heightMm, 279.4);
}

// A4 upright: the photo's room is 190 x 263 mm above the 14 mm footer.
TEST(PrintLayout, ASmallPhotoIsShownWholeAtItsScaleInTheMiddleOfItsRoom) {
  const PageLayout l = LayOutPage(PdfPage(PaperSize::kA4, false), 0.1, 1000, 800, 0, 0);
  ASSERT_EQ(l.refusal, Refusal::kNone);
  EXPECT_EQ(l.crop, (ImageRect{0, 0, 1000, 800}));
  EXPECT_DOUBLE_EQ(l.photo.width, 100.0);
  EXPECT_DOUBLE_EQ(l.photo.height, 80.0);
  EXPECT_DOUBLE_EQ(l.photo.x, 10 + (190 - 100) / 2.0);
  EXPECT_DOUBLE_EQ(l.photo.y, 10 + (263 - 80) / 2.0);

  // The footer: the bar starts at the printable left edge under the room,
  // its numbers under it, the caption last, all inside the printable part.
  EXPECT_EQ(l.scaleBar, (RectMm{10, 276, kScaleBarMm, 2}));
  EXPECT_DOUBLE_EQ(l.barLabels.y, l.scaleBar.Bottom() + 0.5);
  EXPECT_DOUBLE_EQ(l.barLabels.width, kScaleBarMm);
  EXPECT_DOUBLE_EQ(l.caption.x, 10);
  EXPECT_DOUBLE_EQ(l.caption.width, 190);
  EXPECT_GE(l.caption.y, l.barLabels.Bottom());
  EXPECT_LE(l.caption.Bottom(), 287 + 1e-9);
  EXPECT_LE(l.photo.Bottom(), l.scaleBar.y);
}

TEST(PrintLayout, ALargePhotoIsCroppedAroundTheCentreNeverShrunk) {
  const PageSpec a4 = PdfPage(PaperSize::kA4, false);
  // 0.05 mm a pixel: 3800 x 5260 pixels fit.
  PageLayout l = LayOutPage(a4, 0.05, 8000, 9000, 4000, 4500);
  ASSERT_EQ(l.refusal, Refusal::kNone);
  EXPECT_EQ(l.crop, (ImageRect{4000 - 1900, 4500 - 2630, 3800, 5260}));
  EXPECT_NEAR(l.photo.width, 190, 1e-9);
  EXPECT_NEAR(l.photo.height, 263, 1e-9);
  EXPECT_NEAR(l.photo.x, 10, 1e-9);

  // Near an edge the crop stays inside the photo instead of showing paper.
  l = LayOutPage(a4, 0.05, 8000, 9000, 100, 8990);
  EXPECT_EQ(l.crop, (ImageRect{0, 9000 - 5260, 3800, 5260}));
  l = LayOutPage(a4, 0.05, 8000, 9000, -50, 99999);
  EXPECT_EQ(l.crop, (ImageRect{0, 9000 - 5260, 3800, 5260}));

  // Cropped one way, whole the other: the bundled sample's density.
  l = LayOutPage(a4, 0.125, 1600, 1200, 800, 600);
  EXPECT_EQ(l.crop, (ImageRect{40, 0, 1520, 1200}));
  EXPECT_DOUBLE_EQ(l.photo.width, 190);
  EXPECT_DOUBLE_EQ(l.photo.height, 150);

  // A printer's own printable part, margins unequal: the room follows it.
  const PageSpec printer{210, 297, {4.2, 6.1, 201.3, 284.6}};
  l = LayOutPage(printer, 0.125, 1600, 1200, 800, 600);
  EXPECT_EQ(l.crop, (ImageRect{0, 0, 1600, 1200}));
  EXPECT_DOUBLE_EQ(l.photo.x, 4.2 + (201.3 - 200) / 2);
  EXPECT_DOUBLE_EQ(l.scaleBar.x, 4.2);
  EXPECT_DOUBLE_EQ(l.scaleBar.y, 6.1 + 284.6 - kFooterMm + 3);
}

TEST(PrintLayout, WhatDoesNotFitIsRefused) {
  const PageSpec a4 = PdfPage(PaperSize::kA4, false);
  EXPECT_EQ(LayOutPage(a4, 0.1, 0, 10, 0, 0).refusal, Refusal::kNoPhoto);
  EXPECT_EQ(LayOutPage(a4, 0.0, 10, 10, 0, 0).refusal, Refusal::kBadRegistration);
  EXPECT_EQ(LayOutPage(a4, std::nan(""), 10, 10, 0, 0).refusal, Refusal::kBadRegistration);
  // One photo pixel wider than the room.
  EXPECT_EQ(LayOutPage(a4, 200.0, 10, 10, 0, 0).refusal, Refusal::kPixelLargerThanPage);
  // A sheet too narrow for the 100 mm bar, or too short for any photo.
  EXPECT_EQ(LayOutPage({105, 148, {5, 5, 95, 138}}, 0.1, 10, 10, 0, 0).refusal,
            Refusal::kPageTooSmall);
  EXPECT_EQ(LayOutPage({210, 30, {5, 5, 200, 20}}, 0.1, 10, 10, 0, 0).refusal,
            Refusal::kPageTooSmall);
  // Exactly the bar's width and the smallest room are enough.
  EXPECT_EQ(LayOutPage({110, 40, {5, 5, kScaleBarMm, kFooterMm + kMinPhotoAreaMm}}, 0.1, 10, 10,
                       0, 0)
                .refusal,
            Refusal::kNone);
}

TEST(PrintLayout, WithoutADialogTheSheetTurnsWhenThatShowsMore) {
  // The sample: cropped upright, whole on its side.
  EXPECT_TRUE(PrefersLandscape(PaperSize::kA4, 0.125, 1600, 1200));
  EXPECT_FALSE(PrefersLandscape(PaperSize::kA4, 0.125, 1200, 1600));
  // Whole either way: upright, as a sheet usually is.
  EXPECT_FALSE(PrefersLandscape(PaperSize::kA4, 0.05, 1600, 1200));
  // Too large either way: the sheet that holds more of it.
  EXPECT_TRUE(PrefersLandscape(PaperSize::kA3, 0.05, 20000, 6000));
}

TEST(PrintLayout, TheCaptionSaysFileRegistrationAndScale) {
  const SizeRegistration r = MakeRegistration(0, 0, 300, 400, 250);  // 500 px
  EXPECT_EQ(CaptionText("写真.kvi", 1, 3, r, 0.5),
            "写真.kvi　原寸大表示ﾎﾟｲﾝﾄ 2/3: 250 mm = 500.0 画素　縮尺: 実寸 (1:1, 0.5000 "
            "mm/画素)");
}

}  // namespace
}  // namespace kv::print
