#include <gtest/gtest.h>
#include "platform/paint/afxgdi.h"
TEST(Smoke, Builds) { CDC dc; EXPECT_TRUE(dc.CreateCompatibleDC(nullptr)); }
