#include "converter/Stop.h"

#include <gtest/gtest.h>

namespace {

TEST(Stop, OnlyTheQKeyStops) {
    EXPECT_TRUE(mirovex::holdsStopKey("q", 1));
    EXPECT_TRUE(mirovex::holdsStopKey("xxq", 3));
    EXPECT_FALSE(mirovex::holdsStopKey("Q\r\n", 3));
    EXPECT_FALSE(mirovex::holdsStopKey("", 0));
}

}  // namespace
