#include <gtest/gtest.h>

#include "foundation/core/imageops/image.h"

TEST(Image, Placeholder) {}
