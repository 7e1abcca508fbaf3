#include <gtest/gtest.h>

#include <cstdio>

#include "real_format.hpp"

TEST(RealFormat, placeholder) { EXPECT_EQ(grain::formatReal(0.1f), "0.100000"); }
