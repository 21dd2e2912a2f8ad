#include <gtest/gtest.h>
int ToolkitProbe();
TEST(Probe, Runs) { EXPECT_EQ(1, ToolkitProbe()); }
