#pragma once
// Where the markers go on the marker sheet: as many as fit, each a black
// square of the size the user asked for inside its white border, with the
// size printed under it, and the check bar and the printing advice at the
// foot. Millimetres on the page, as the real-size pages use. Qt-free.
#include <cstdint>
#include <string>
#include <vector>

#include "print/print_layout.h"

namespace kv::print {

// The markers' own white border is one of the eight cells across the black
// square; the sheet leaves this much more between neighbours for scissors.
inline constexpr double kMarkerGapMm = 6.0;
inline constexpr double kMarkerLabelMm = 5.0;
inline constexpr double kMarkerTitleMm = 8.0;
inline constexpr double kMarkerFooterMm = 24.0;

struct MarkerCell {
  int id = 0;
  RectMm square;  // the black square's outer edge: sizeMm x sizeMm, exactly
  RectMm label;
};

struct MarkerSheetLayout {
  bool fits = false;
  RectMm title;
  std::vector<MarkerCell> markers;
  RectMm scaleBar, barLabels, advice;
};

MarkerSheetLayout LayOutMarkerSheet(const PageSpec& page, int32_t sizeMm);

// The texts on the sheet (UTF-8).
std::string MarkerSheetTitle(int32_t sizeMm);
std::string MarkerLabel(int id, int32_t sizeMm);
extern const char* const kMarkerSheetAdvice;

}  // namespace kv::print
