#pragma once
// The geometry of a page that shows a photo at its real size. On paper the
// scale needs no calibration: a printer's or a PDF's resolution is exact, so
// one registration (a length over a pixel distance) fixes how many
// millimetres a photo pixel covers. Everything here is in millimetres on the
// page (origin at the paper's top-left corner, y downward) or in pixels of
// the upright photo. Qt-free, so the tests and the sanitizer build run it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/core/image/orientation.h"
#include "kvi/size_registration.h"

namespace kv::print {

// The length of the check bar: long enough that an error of a percent shows
// against a ruler, short enough for an A5 sheet either way round.
inline constexpr double kScaleBarMm = 100.0;
// The band under the photo that holds the bar, its numbers and the caption.
inline constexpr double kFooterMm = 14.0;
// Margins of a page written as PDF; a printer reports its own.
inline constexpr double kPdfMarginMm = 10.0;
// Resolution of the PDFs we write: device units fine enough that placing
// the photo and the bar never rounds by a visible amount.
inline constexpr int kPdfDotsPerInch = 600;
// Less room than this for the photo is not worth a sheet of paper.
inline constexpr double kMinPhotoAreaMm = 10.0;

struct RectMm {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  double Right() const { return x + width; }
  double Bottom() const { return y + height; }
  bool operator==(const RectMm&) const = default;
};

// Why a page cannot be made.
enum class Refusal {
  kNone,
  kNoRegistration,        // the photo has none, or the index is outside the list
  kBadRegistration,       // no length, or both ends on one pixel
  kNoPhoto,               // no JPEG in the file, or one that does not decode
  kPageTooSmall,          // the bar or a useful piece of photo does not fit
  kPixelLargerThanPage,   // one photo pixel is bigger than the room for the photo
};

// The reason as the user reads it (Japanese, one line, no leading verb), so
// that the viewer and the tool can say what they could not do first.
std::string RefusalText(Refusal why);

// Millimetres per photo pixel of registration `index`: its length over the
// distance between its ends (the same whether the photo is upright or as
// stored, as turning keeps distances).
struct RegistrationScale {
  Refusal refusal = Refusal::kNone;
  double mmPerPixel = 0;
};
RegistrationScale ScaleOf(const RegistrationList& registrations, int32_t index);

// A sheet and the part of it the device can mark.
struct PageSpec {
  double widthMm = 0;
  double heightMm = 0;
  RectMm printable;
};

enum class PaperSize { kA4, kA3, kLetter };
// "A4", "A3" or "Letter", in any case; nullopt for anything else.
std::optional<PaperSize> PaperSizeByName(std::string_view name);
// The sheet with kPdfMarginMm all round, upright or on its side.
PageSpec PdfPage(PaperSize paper, bool landscape);

struct PageLayout {
  Refusal refusal = Refusal::kNone;
  ImageRect crop;      // the part of the upright photo on the page
  RectMm photo;        // where it lands: crop size x mmPerPixel, exactly
  RectMm scaleBar;     // kScaleBarMm long, starting at the printable left edge
  RectMm barLabels;    // the row of numbers under the bar
  RectMm caption;      // one line of text across the printable width
};

// The photo (upright size) at mmPerPixel, cropped to the room above the
// footer around the photo point (centreX, centreY) as far as the photo's
// edges allow and centred in that room; never shrunk.
PageLayout LayOutPage(const PageSpec& page, double mmPerPixel, int32_t photoWidth,
                      int32_t photoHeight, int32_t centreX, int32_t centreY);

// Without a dialog to ask: a sheet on its side when that shows more of the
// photo.
bool PrefersLandscape(PaperSize paper, double mmPerPixel, int32_t photoWidth,
                      int32_t photoHeight);

// The line in the margin: the file's name, the registration the scale comes
// from (1-based, of count) and the scale, so that a sheet found later says
// what it is.
std::string CaptionText(const std::string& fileName, int32_t index, size_t count,
                        const SizeRegistration& registration, double mmPerPixel);

}  // namespace kv::print
