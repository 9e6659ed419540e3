#include "app/control/super_manager.h"
#include <gtest/gtest.h>
TEST(Placeholder, Builds) { EXPECT_EQ(Base36DigitValue('Z'), 35); }
