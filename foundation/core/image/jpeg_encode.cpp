#include "foundation/core/image/jpeg_encode.h"

#include <turbojpeg.h>

namespace kv {

std::vector<uint8_t> EncodeJpeg(const DibImage& image, int quality) {
  std::vector<uint8_t> result;
  if (!image.HasImage() || image.width <= 0 || image.height <= 0) return result;
  tjhandle handle = tjInitCompress();
  if (handle == nullptr) return result;
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  const int rc = tjCompress2(handle, image.pixels.get(), image.width, int(image.Stride()),
                             image.height, TJPF_BGR, &jpeg, &size, TJSAMP_420, quality,
                             TJFLAG_ACCURATEDCT);
  if (rc == 0 && jpeg != nullptr) result.assign(jpeg, jpeg + size);
  tjFree(jpeg);
  tjDestroy(handle);
  return result;
}

}  // namespace kv
