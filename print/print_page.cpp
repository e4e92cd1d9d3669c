#include "print/print_page.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <cstdio>
#include <new>

#include "foundation/core/image/icc.h"
#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/util/file_io.h"
#include "kvi/upright.h"

namespace kv::print {
namespace {

constexpr double kMmPerInch = 25.4;

// Page millimetres to the painter's device units: the painter's origin is
// the top-left corner of the device's paint rectangle.
struct DeviceMap {
  double originXMm, originYMm, dotsPerMmX, dotsPerMmY;
  QRectF operator()(const RectMm& r) const {
    return QRectF((r.x - originXMm) * dotsPerMmX, (r.y - originYMm) * dotsPerMmY,
                  r.width * dotsPerMmX, r.height * dotsPerMmY);
  }
};

// Fonts and the PDF writer need a GUI application; a tool run from a shell
// has none and perhaps no display. Made once and kept for the process.
void EnsureGuiApplication() {
  if (QCoreApplication::instance()) return;
  // A tool's error stream is for its own one-line reasons: Qt's remarks
  // about the environment (no runtime folder, no display) are dropped.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) fprintf(stderr, "%s\n", qPrintable(text));
  });
  static int argc = 3;
  static char name[] = "kvitool", option[] = "-platform", platform[] = "offscreen";
  static char* argv[] = {name, option, platform, nullptr};
  new QGuiApplication(argc, argv);
}

// The check bar: ten 10 mm cells, alternately black and white inside a
// black frame, with every mark inside the bar's own 100 mm so that its ends
// are where a ruler's 0 and 100 go.
void DrawScaleBar(QPainter& painter, const DeviceMap& map, const PageLayout& l) {
  const RectMm& bar = l.scaleBar;
  constexpr double kFrameMm = 0.25;
  painter.fillRect(map(bar), Qt::black);
  const double cell = bar.width / 10;
  for (int k = 1; k < 10; k += 2) {
    const double left = bar.x + k * cell;
    const double right = std::min(left + cell, bar.Right() - kFrameMm);
    painter.fillRect(map({left, bar.y + kFrameMm, right - left, bar.height - 2 * kFrameMm}),
                     Qt::white);
  }
  const QRectF labels = map(l.barLabels);
  painter.drawText(labels, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("0"));
  painter.drawText(labels, Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("50"));
  painter.drawText(labels, Qt::AlignRight | Qt::AlignTop, QStringLiteral("100 mm"));
}

QPageSize::PageSizeId PageSizeId(PaperSize paper) {
  switch (paper) {
    case PaperSize::kA3: return QPageSize::A3;
    case PaperSize::kLetter: return QPageSize::Letter;
    case PaperSize::kA4: break;
  }
  return QPageSize::A4;
}

}  // namespace

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
  const DeviceMap map{paint.x(), paint.y(), device.logicalDpiX() / kMmPerInch,
                      device.logicalDpiY() / kMmPerInch};
  // The exact target rectangle in device units: the scale is the device's
  // resolution over the registration's, nothing rounded on the way.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
  painter.drawImage(map(r.layout.photo), image, QRectF(0, 0, crop.width, crop.height));

  // One gothic face for the whole line, so that the half-width katakana and
  // the numbers beside them do not come from different fonts.
  QFont font = painter.font();
  font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                    QStringLiteral("Noto Sans CJK JP")});
  font.setPointSizeF(7.5);
  painter.setFont(font);
  painter.setPen(Qt::black);
  DrawScaleBar(painter, map, r.layout);

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

  EnsureGuiApplication();
  QByteArray bytes;
  {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    const double m = kPdfMarginMm;
    writer.setPageLayout(QPageLayout(QPageSize(PageSizeId(paper)),
                                     *landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                                     QMarginsF(m, m, m, m), QPageLayout::Millimeter));
    writer.setResolution(kPdfDotsPerInch);
    writer.setCreator(QStringLiteral("Kovalindra"));
    writer.setTitle(QString::fromUtf8(request.fileName));
    r = PrintRealSize(writer, request);
  }
  r.landscape = *landscape;
  if (!r.Done()) return r;
  std::string reason;
  if (!WriteFileAtomically(
          path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                         size_t(bytes.size())),
          reason))
    r.failure = reason;
  return r;
}

}  // namespace kv::print
