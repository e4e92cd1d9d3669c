#include "print/print_page.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <new>

#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/shown_photo.h"
#include "kvi/upright.h"
#include "print/page_painting.h"

namespace kv::print {

PrintOutcome PrintRealSize(QPagedPaintDevice& device, const RealSizeRequest& request) {
  PrintOutcome r;
  if (!request.file) {
    r.refusal = Refusal::kNoPhoto;
    return r;
  }
  const ActualSizeFile& file = *request.file;
  const RegistrationScale scale = ScaleOf(file.registrations, request.registration);
  if (scale.refusal != Refusal::kNone) {
    r.refusal = scale.refusal;
    return r;
  }
  const std::vector<uint8_t>& jpeg = file.jpegBytes;
  const UprightPhoto upright = ShowUpright(jpeg);
  if (jpeg.empty() || !upright.stored) {
    r.refusal = Refusal::kNoPhoto;
    return r;
  }
  const Orientation o = upright.orientation;
  const PixelSize shown = upright.shown;
  r.photoWidth = shown.width;
  r.photoHeight = shown.height;

  const QPageLayout pageLayout = device.pageLayout();
  const QRectF full = pageLayout.fullRect(QPageLayout::Millimeter);
  const QRectF paint = pageLayout.paintRect(QPageLayout::Millimeter);
  const PageSpec page{full.width(),
                             full.height(),
                             {paint.x(), paint.y(), paint.width(), paint.height()}};
  r.layout = LayOutPage(page, scale.mmPerPixel, shown.width, shown.height,
                               request.centreX.value_or(shown.width / 2),
                               request.centreY.value_or(shown.height / 2));
  if (r.layout.refusal != Refusal::kNone) {
    r.refusal = r.layout.refusal;
    return r;
  }

  // Only the part on the paper is ever held, upright and in sRGB, as the
  // viewer shows it.
  DibImage crop;
  std::string why;
  if (DecodeShownSrgb(jpeg.data(), jpeg.size(), o, crop, why, &r.layout.crop) != 1) {
    if (why.find("ﾒﾓﾘ") != std::string::npos)
      r.failure = "写真を用紙の大きさに切り出すﾒﾓﾘが足りません";
    else
      r.refusal = Refusal::kNoPhoto;
    return r;
  }
  const QImage image(crop.pixels.get(), crop.width, crop.height, qsizetype(crop.Stride()),
                     QImage::Format_BGR888);

  QPainter painter;
  if (!painter.begin(&device)) {
    r.failure = "印刷を始められませんでした";
    return r;
  }
  const PageMap map = PageMap::Of(device);
  // The exact target rectangle in device units: the scale is the device's
  // resolution over the registration's, nothing rounded on the way.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
  painter.drawImage(map(r.layout.photo), image, QRectF(0, 0, crop.width, crop.height));

  const QFont font = PageFont(painter.font(), 7.5);
  painter.setFont(font);
  painter.setPen(Qt::black);
  DrawScaleBar(painter, map, r.layout.scaleBar, r.layout.barLabels);

  const PageLayout& l = r.layout;
  const SizeRegistration& reg = file.registrations[size_t(request.registration)];
  const QString caption = QString::fromUtf8(CaptionText(
      request.fileName, request.registration, file.registrations.size(), reg, scale.mmPerPixel));
  const QRectF captionRect = map(l.caption);
  const QFontMetricsF metrics(font, &device);
  painter.drawText(captionRect, Qt::AlignLeft | Qt::AlignTop,
                   metrics.elidedText(caption, Qt::ElideMiddle, captionRect.width()));
  if (!painter.end()) r.failure = "印刷ﾃﾞｰﾀを書き終えられませんでした";
  return r;
}

bool PrefersLandscape(const RealSizeRequest& request, PaperSize paper) {
  if (!request.file) return false;
  const RegistrationScale scale =
      ScaleOf(request.file->registrations, request.registration);
  const std::vector<uint8_t>& jpeg = request.file->jpegBytes;
  const std::optional<PixelSize> stored = ReadJpegSize(jpeg.data(), jpeg.size());
  if (scale.refusal != Refusal::kNone || !stored) return false;
  const PixelSize shown = ShownSize(*stored, ReadExifOrientation(jpeg.data(), jpeg.size()));
  return PrefersLandscape(paper, scale.mmPerPixel, shown.width, shown.height);
}

PrintOutcome WriteRealSizePdf(const RealSizeRequest& request, PaperSize paper,
                              const std::string& path, std::optional<bool> landscape) {
  PrintOutcome r;
  if (!request.file) {
    r.refusal = Refusal::kNoPhoto;
    return r;
  }
  const RegistrationScale scale =
      ScaleOf(request.file->registrations, request.registration);
  if (scale.refusal != Refusal::kNone) {
    r.refusal = scale.refusal;
    return r;
  }
  const std::vector<uint8_t>& jpeg = request.file->jpegBytes;
  if (!ReadJpegSize(jpeg.data(), jpeg.size())) {
    r.refusal = Refusal::kNoPhoto;
    return r;
  }
  if (!landscape) landscape = PrefersLandscape(request, paper);

  const PdfPageSetup setup{paper, *landscape, "Kovalindra", request.fileName};
  std::string failure;
  const bool written = WritePdfPage(setup, path, [&](QPdfWriter& writer) {
    r = PrintRealSize(writer, request);
    return r.Done();
  }, failure);
  r.landscape = *landscape;
  if (!written && r.Done()) r.failure = failure;
  return r;
}

}  // namespace kv::print
