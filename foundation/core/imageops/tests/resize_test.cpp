#include <gtest/gtest.h>
TEST(Resize, Placeholder) {}
