#include "print/print_layout.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "foundation/core/util/geometry.h"

namespace kv::print {
namespace {

// Fixed decimals whatever the process locale says (the Qt programs set the
// user's, which may write a decimal comma).
std::string Fixed(double value, int decimals) {
  char buf[64];
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  return ec == std::errc() ? std::string(buf, end) : std::string("?");
}

struct Sheet {
  double width, height;
};

Sheet SheetOf(PaperSize paper) {
  switch (paper) {
    case PaperSize::kA3: return {297.0, 420.0};
    case PaperSize::kLetter: return {215.9, 279.4};
    case PaperSize::kA4: break;
  }
  return {210.0, 297.0};
}

// How many whole photo pixels of mmPerPixel fit in `mm`; a hair of rounding
// below a whole count still counts as it.
int64_t PixelsIn(double mm, double mmPerPixel) {
  const double n = mm / mmPerPixel;
  if (!std::isfinite(n) || n <= 0) return 0;
  return int64_t(std::floor(n + 1e-9));
}

}  // namespace

std::string RefusalText(Refusal why) {
  switch (why) {
    case Refusal::kNone: return "";
    case Refusal::kNoRegistration: return "この写真にはｻｲｽﾞ登録がありません。";
    case Refusal::kBadRegistration:
      return "原寸大表示ﾎﾟｲﾝﾄの登録に長さがないか、始点と終点が同じ位置です。";
    case Refusal::kNoPhoto: return "ﾌｧｲﾙの中の写真(JPEG)が壊れています。";
    case Refusal::kPageTooSmall:
      return "用紙の印刷できる範囲が小さすぎます(100mmの目盛りと写真が入りません)。";
    case Refusal::kPixelLargerThanPage: return "写真の1画素が用紙より大きくなります。";
  }
  return "";
}

RegistrationScale ScaleOf(const RegistrationList& registrations, int32_t index) {
  if (index < 0 || size_t(index) >= registrations.size()) return {Refusal::kNoRegistration, 0};
  const SizeRegistration& r = registrations[size_t(index)];
  const std::optional<double> mm = MmPerPhotoPixel(r);
  if (!mm) return {Refusal::kBadRegistration, 0};
  return {Refusal::kNone, *mm};
}

std::optional<PaperSize> PaperSizeByName(std::string_view name) {
  std::string lower(name);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  if (lower == "a4") return PaperSize::kA4;
  if (lower == "a3") return PaperSize::kA3;
  if (lower == "letter") return PaperSize::kLetter;
  return std::nullopt;
}

PageSpec PdfPage(PaperSize paper, bool landscape) {
  Sheet s = SheetOf(paper);
  if (landscape) std::swap(s.width, s.height);
  return {s.width, s.height,
          {kPdfMarginMm, kPdfMarginMm, s.width - 2 * kPdfMarginMm, s.height - 2 * kPdfMarginMm}};
}

PageLayout LayOutPage(const PageSpec& page, double mmPerPixel, int32_t photoWidth,
                      int32_t photoHeight, int32_t centreX, int32_t centreY) {
  PageLayout out;
  if (photoWidth <= 0 || photoHeight <= 0) {
    out.refusal = Refusal::kNoPhoto;
    return out;
  }
  if (!std::isfinite(mmPerPixel) || mmPerPixel <= 0) {
    out.refusal = Refusal::kBadRegistration;
    return out;
  }
  const RectMm& p = page.printable;
  const RectMm area{p.x, p.y, p.width, p.height - kFooterMm};
  if (p.width < kScaleBarMm || area.height < kMinPhotoAreaMm) {
    out.refusal = Refusal::kPageTooSmall;
    return out;
  }
  const int64_t fitW = PixelsIn(area.width, mmPerPixel);
  const int64_t fitH = PixelsIn(area.height, mmPerPixel);
  if (fitW < 1 || fitH < 1) {
    out.refusal = Refusal::kPixelLargerThanPage;
    return out;
  }
  ImageRect& c = out.crop;
  c.width = int32_t(std::min<int64_t>(photoWidth, fitW));
  c.height = int32_t(std::min<int64_t>(photoHeight, fitH));
  c.x = int32_t(std::clamp<int64_t>(int64_t(centreX) - c.width / 2, 0, photoWidth - c.width));
  c.y = int32_t(std::clamp<int64_t>(int64_t(centreY) - c.height / 2, 0, photoHeight - c.height));

  const double w = c.width * mmPerPixel, h = c.height * mmPerPixel;
  out.photo = {area.x + (area.width - w) / 2, area.y + (area.height - h) / 2, w, h};
  // From the photo's room down: a gap, the bar, its numbers, the caption.
  const double footerTop = area.Bottom();
  out.scaleBar = {p.x, footerTop + 3.0, kScaleBarMm, 2.0};
  out.barLabels = {p.x, out.scaleBar.Bottom() + 0.5, kScaleBarMm, 3.5};
  out.caption = {p.x, out.barLabels.Bottom() + 1.0, p.width, 4.0};
  return out;
}

bool PrefersLandscape(PaperSize paper, double mmPerPixel, int32_t photoWidth,
                      int32_t photoHeight) {
  auto shown = [&](bool landscape) {
    const PageLayout l = LayOutPage(PdfPage(paper, landscape), mmPerPixel, photoWidth,
                                    photoHeight, photoWidth / 2, photoHeight / 2);
    return l.refusal == Refusal::kNone ? int64_t(l.crop.width) * l.crop.height : int64_t(-1);
  };
  return shown(true) > shown(false);
}

std::string CaptionText(const std::string& fileName, int32_t index, size_t count,
                        const SizeRegistration& registration, double mmPerPixel) {
  const double pixels =
      PointDistance(registration.startX, registration.startY, registration.endX, registration.endY);
  return fileName + "　原寸大表示ﾎﾟｲﾝﾄ " + std::to_string(int64_t(index) + 1) + "/" +
         std::to_string(count) + ": " + std::to_string(registration.lengthMm) + " mm = " +
         Fixed(pixels, 1) + " 画素　縮尺: 実寸 (1:1, " + Fixed(mmPerPixel, 4) + " mm/画素)";
}

}  // namespace kv::print
