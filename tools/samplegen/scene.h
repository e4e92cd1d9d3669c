#pragma once
// The bundled sample: a photo-like picture of a wooden desk with a steel
// millimetre ruler, a bank-card-sized card and a pencil, drawn in code at a
// known density so that its registrations are true.
#include <cstdint>
#include <vector>

#include "foundation/core/image/dib_image.h"
#include "kvi/actual_size_file.h"

namespace kv::sample {

constexpr int32_t kWidth = 1600;
constexpr int32_t kHeight = 1200;
constexpr int32_t kPixelsPerMm = 8;

// Ruler: the zero line is pixel column kRulerZeroX, the k-th millimetre line
// is column kRulerZeroX + k * kPixelsPerMm; lines hang down from the top edge.
constexpr int32_t kRulerLeft = 60;
constexpr int32_t kRulerTop = 150;
constexpr int32_t kRulerLengthMm = 170;
constexpr int32_t kRulerWidthMm = 30;
constexpr int32_t kRulerZeroX = kRulerLeft + 10 * kPixelsPerMm;
constexpr int32_t kRulerScaleMm = 150;
// Rows where every millimetre line is drawn (the shortest lines are 3 mm).
constexpr int32_t kRulerTickRow = kRulerTop + 12;

// Card: 85.6 x 53.98 mm with rounded corners, axis-aligned.
constexpr double kCardLeft = 180;
constexpr double kCardTop = 560;
constexpr double kCardWidthMm = 85.6;
constexpr double kCardHeightMm = 53.98;

// Pencil: 120 mm from the eraser end to the graphite tip.
constexpr int32_t kPencilEndX = 960, kPencilEndY = 1150;
constexpr int32_t kPencilTipX = 1536, kPencilTipY = 382;
constexpr int32_t kPencilLengthMm = 120;

constexpr int32_t kLogoWidth = 120;
constexpr int32_t kLogoHeight = 40;

// The photo, top-down BGR.
DibImage DrawPhoto();

// The logo as raw pixels: kLogoWidth x kLogoHeight, 3 bytes each (red,
// green, blue), rows top to bottom, no padding.
std::vector<uint8_t> DrawLogo();

// The registrations made on the photo: the ruler from 0 to 100 mm, the
// card's short side (54 mm, nearest whole millimetre of 53.98) and the pencil.
RegistrationList Registrations();

// The whole file content for the given JPEG bytes.
ActualSizeFile MakeFile(std::vector<uint8_t> jpegBytes);

}  // namespace kv::sample
