#include "print/print_page.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <new>

#include "foundation/core/image/icc.h"
#include "foundation/core/image/jpeg_decode.h"
#include "kvi/upright.h"
#include "print/page_painting.h"

namespace kv::print {

DibImage CopyUprightCrop(const DibImage& stored, Orientation o, const PixelRect& crop) {
  DibImage out;
  if (!stored.HasImage() || stored.bitsPerPixel != 24 || stored.width <= 0 ||
      stored.height <= 0 || stored.byteSize < stored.Stride() * size_t(stored.height))
    return out;
  if (o < 1 || o > 8) o = 1;
  const PixelSize storedSize{stored.width, stored.height};
  const PixelSize shown = ShownSize(storedSize, o);
  if (crop.width <= 0 || crop.height <= 0 || crop.x < 0 || crop.y < 0 ||
      crop.x > shown.width - crop.width || crop.y > shown.height - crop.height)
    return out;
  out = DibImage(crop.width, crop.height);
  out.padBytes = DibPadBytes(crop.width);
  const uint64_t bytes = uint64_t(out.Stride()) * uint64_t(crop.height);
  if (bytes > UINT32_MAX) return DibImage();
  out.pixels.reset(new (std::nothrow) uint8_t[bytes]);
  if (!out.pixels) return DibImage();
  out.byteSize = uint32_t(bytes);
  const ptrdiff_t stride = ptrdiff_t(stored.Stride());
  for (int32_t y = 0; y < crop.height; ++y) {
    // Along an upright row the stored pixel moves by a fixed step.
    int32_t x0 = crop.x, y0 = crop.y + y, x1 = crop.x + 1, y1 = crop.y + y;
    ShownToStored(o, storedSize, x0, y0);
    ShownToStored(o, storedSize, x1, y1);
    const ptrdiff_t step = ptrdiff_t(y1 - y0) * stride + ptrdiff_t(x1 - x0) * 3;
    const uint8_t* s = stored.pixels.get() + ptrdiff_t(y0) * stride + ptrdiff_t(x0) * 3;
    uint8_t* d = out.Row(y);
    for (int32_t x = 0; x < crop.width; ++x, s += step, d += 3) {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
    }
    for (uint32_t p = 0; p < out.padBytes; ++p) d[p] = 0;
  }
  return out;
}

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
  DibImage stored;
  if (jpeg.empty() || DecodeJpegBuffer(jpeg.data(), jpeg.size(), stored) != 1) {
    r.refusal = Refusal::kNoPhoto;
    return r;
  }
  const Orientation o = ShowUpright(jpeg).orientation;
  const PixelSize shown = ShownSize({stored.width, stored.height}, o);
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

  DibImage crop = CopyUprightCrop(stored, o, r.layout.crop);
  stored.Reset();  // only the crop is needed from here on
  if (!crop.HasImage()) {
    r.failure = "写真を用紙の大きさに切り出すﾒﾓﾘが足りません";
    return r;
  }
  // A profile that cannot be used leaves the colours as decoded, read as sRGB.
  if (auto profile = ReadIccProfile(jpeg.data(), jpeg.size())) ConvertToSrgb(crop, *profile);
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
