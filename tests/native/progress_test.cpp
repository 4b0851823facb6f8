#include "progress.h"

#include <gtest/gtest.h>

TEST(ProgressRange, AcceptsOneToFortyEightOnly) {
    EXPECT_FALSE(progress::InRange(0.0f));
    EXPECT_FALSE(progress::InRange(0.5f));
    EXPECT_TRUE(progress::InRange(1.0f));
    EXPECT_TRUE(progress::InRange(48.0f));
    EXPECT_FALSE(progress::InRange(48.5f));
    EXPECT_FALSE(progress::InRange(54.0f));
}

TEST(StepCounter, StopsAt32767WithoutWrapping) {
    progress::StepCounter counter;
    EXPECT_EQ(counter.Value(), 1);
    int advanced = 0;
    while (counter.Advance()) ++advanced;
    EXPECT_EQ(advanced, 32766);
    EXPECT_EQ(counter.Value(), 32767);
    EXPECT_FALSE(counter.Advance());
    EXPECT_EQ(counter.AsProgress(), 32767.0f);
}
