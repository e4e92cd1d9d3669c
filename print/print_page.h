#pragma once
// A ".kvi" photo on paper at its real size: drawn with Qt onto a printer or
// a PDF writer, for the viewer's printing and PDF export and for kvitool.
// The photo is decoded from the file's own JPEG bytes each time (never taken
// from a view), turned upright and into sRGB as the viewer shows it, and
// only the part that goes on the page is ever copied. No Qt type appears
// here, so that callers without widgets (the tool) include it freely.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "foundation/core/image/dib_image.h"
#include "foundation/core/image/orientation.h"
#include "kvi/actual_size_file.h"
#include "print/print_layout.h"

class QPagedPaintDevice;

namespace kv::print {

struct RealSizeRequest {
  // Held for as long as the request: a photo step during the print dialog
  // does not take it away.
  std::shared_ptr<const ActualSizeFile> file;
  std::string fileName;      // UTF-8, shown in the caption
  int32_t registration = 0;  // index into the file's registrations
  // The upright photo point the page is centred on; unset: the photo's
  // own centre.
  std::optional<int32_t> centreX, centreY;
};

// A request's hold on a file whose owner outlives the request (a tool, a
// test): it is not owned.
inline std::shared_ptr<const ActualSizeFile> Unowned(const ActualSizeFile& file) {
  return std::shared_ptr<const ActualSizeFile>(std::shared_ptr<const ActualSizeFile>(), &file);
}

struct PrintOutcome {
  // Set: nothing was drawn and no file written.
  Refusal refusal = Refusal::kNone;
  // The device or the file could not be written (Japanese, for the user).
  std::string failure;
  PageLayout layout;         // what went on the page
  int32_t photoWidth = 0;           // the upright photo
  int32_t photoHeight = 0;
  bool landscape = false;           // the PDF's sheet, when one was written
  bool Done() const { return refusal == Refusal::kNone && failure.empty(); }
};

// Without a dialog to ask: whether `paper` on its side shows more of the
// request's photo (read from the JPEG's header, turned as it is shown).
bool PrefersLandscape(const RealSizeRequest& request, PaperSize paper);

// One page on a device whose page layout and resolution are already set (a
// printer after its dialog, or a PDF writer).
PrintOutcome PrintRealSize(QPagedPaintDevice& device, const RealSizeRequest& request);

// The page as a PDF at kPdfDotsPerInch on `paper`, on its side when that
// shows more of the photo (or as `landscape` says). Written beside `path`
// and renamed over it only when complete: on a refusal or a failure an
// existing file is left as it was. A QGuiApplication on the offscreen
// platform is made when the process has none (a tool run from a shell).
PrintOutcome WriteRealSizePdf(const RealSizeRequest& request, PaperSize paper,
                              const std::string& path,
                              std::optional<bool> landscape = std::nullopt);

}  // namespace kv::print
