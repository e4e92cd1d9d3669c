#include "kvi/hit_test.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

TEST(HitTestEnd, BoxEdgesAndOrder) {
  RegistrationList list = {MakeRegistration(100, 100, 200, 100, 50),
                           MakeRegistration(300, 300, 100, 100, 60)};
  RegistrationHit hit;
  EXPECT_EQ(HitTestRegistrationEnd({}, 0, 0, hit), 0);
  // Left/top edges inside, right/bottom outside.
  EXPECT_EQ(HitTestRegistrationEnd(list, 106, 106, hit), 1);
  EXPECT_EQ(hit.index, 0u);
  EXPECT_EQ(hit.endFlag, 0);
  EXPECT_EQ(HitTestRegistrationEnd(list, 94, 100, hit), 0);
  EXPECT_EQ(HitTestRegistrationEnd(list, 100, 94, hit), 0);
  EXPECT_EQ(HitTestRegistrationEnd(list, 205, 100, hit), 1);
  EXPECT_EQ(hit.endFlag, 1);
  EXPECT_EQ(hit.registration, list[0]);
  EXPECT_EQ(HitTestRegistrationEnd(list, 300, 300, hit), 1);
  EXPECT_EQ(hit.index, 1u);
  EXPECT_EQ(hit.endFlag, 0);
}

TEST(HitTestLine, ShallowSteepAndDegenerate) {
  RegistrationList list = {MakeRegistration(0, 0, 100, 10, 1),    // shallow
                           MakeRegistration(500, 0, 510, 100, 1),  // steep
                           MakeRegistration(700, 700, 700, 700, 1)};
  RegistrationHit hit;
  EXPECT_EQ(HitTestRegistrationLine(list, 50, 5, hit), 1);
  EXPECT_EQ(hit.index, 0u);
  EXPECT_EQ(HitTestRegistrationLine(list, 50, 12, hit), 0);  // beyond the box
  EXPECT_EQ(HitTestRegistrationLine(list, 105, 10, hit), 0);  // past the end
  EXPECT_EQ(HitTestRegistrationLine(list, 505, 50, hit), 1);
  EXPECT_EQ(hit.index, 1u);
  EXPECT_EQ(HitTestRegistrationLine(list, 700, 700, hit), 0);
  // Reversed direction works the same.
  RegistrationList back = {MakeRegistration(100, 10, 0, 0, 1)};
  EXPECT_EQ(HitTestRegistrationLine(back, 50, 5, hit), 1);
  // A vertical line is steep and hit between its ends.
  RegistrationList vertical = {MakeRegistration(10, 0, 10, 100, 1)};
  EXPECT_EQ(HitTestRegistrationLine(vertical, 12, 50, hit), 1);
  EXPECT_EQ(HitTestRegistrationLine(vertical, 12, 100, hit), 0);
}

}  // namespace
}  // namespace kv
