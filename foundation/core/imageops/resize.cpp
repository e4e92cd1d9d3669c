#include "foundation/core/imageops/image.h"

namespace kv {

bool ResizeImage(const Image& src, Image& dst, int32_t dstNumX, int32_t srcNumX, int32_t dstNumY,
                 int32_t srcNumY, Interpolation) {
  (void)src; (void)dst; (void)dstNumX; (void)srcNumX; (void)dstNumY; (void)srcNumY;
  return false;
}

}  // namespace kv
