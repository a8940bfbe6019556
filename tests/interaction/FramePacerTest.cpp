// Frame pacing of the beat with made-up clock readings: frames never outrun the display or the
// ticks, slow frames give way to ticks, and the rates describe what happened.
#include <gtest/gtest.h>

#include "interaction/FramePacer.h"

namespace {

TEST(FramePacer, FramesFollowTicksAtMostAtTheDisplayRate) {
    FramePacer pacer;
    EXPECT_FALSE(pacer.frameDue());
    pacer.tickDone(0.0);
    ASSERT_TRUE(pacer.frameDue());
    EXPECT_LE(pacer.msUntilNextFrame(0.0), 0.0) << "the first frame is drawn at once";
    pacer.frameDrawn(0.0, 4.0);
    EXPECT_FALSE(pacer.frameDue()) << "one frame showed the tick; nothing to draw until the next";

    // A cheap frame: the next may start one display period after this one started.
    pacer.tickDone(5.0);
    EXPECT_NEAR(pacer.msUntilNextFrame(5.0), FramePacer::kMinFramePeriodMs - 5.0, 1e-9);
    EXPECT_GT(pacer.msUntilNextFrame(16.0), 0.0);
    EXPECT_LE(pacer.msUntilNextFrame(17.0), 0.0);
}

TEST(FramePacer, SlowFramesGiveWayToTicks) {
    FramePacer pacer;
    pacer.tickDone(0.0);
    pacer.frameDrawn(0.0, 40.0);
    EXPECT_DOUBLE_EQ(pacer.frameCostMs(), 40.0);
    pacer.tickDone(45.0);
    // 40 ms of drawing asks for 100 ms between frame starts: ticks get the other 60.
    EXPECT_NEAR(pacer.msUntilNextFrame(45.0), 55.0, 1e-9);

    // One fast frame moves the smoothed cost only part of the way.
    pacer.frameDrawn(80.0, 84.0);
    EXPECT_GT(pacer.frameCostMs(), 20.0);
    EXPECT_LT(pacer.frameCostMs(), 40.0);
    for (int i = 0; i < 40; ++i) pacer.frameDrawn(100.0 + 20 * i, 104.0 + 20 * i);
    EXPECT_NEAR(pacer.frameCostMs(), 4.0, 0.01) << "fast frames again: the display rate sets the pace";
}

TEST(FramePacer, RatesCountTicksAndFramesPerWindow) {
    FramePacer pacer;
    pacer.restartRates(0.0);
    EXPECT_FALSE(pacer.takeNewRates());
    // 100 ticks and 25 frames in the first half second.
    for (int i = 0; i < 100; ++i) {
        pacer.tickDone(5.0 * i);
        if (i % 4 == 3) pacer.frameDrawn(5.0 * i, 5.0 * i + 1.0);
    }
    EXPECT_FALSE(pacer.takeNewRates()) << "the window is not complete yet";
    pacer.tickDone(500.0);
    ASSERT_TRUE(pacer.takeNewRates());
    EXPECT_FALSE(pacer.takeNewRates()) << "reported once";
    EXPECT_NEAR(pacer.ticksPerSecond(), 200.0, 1e-9);
    EXPECT_NEAR(pacer.framesPerSecond(), 50.0, 1e-9);
    EXPECT_EQ(pacer.ticksCounted(), 101);
    EXPECT_EQ(pacer.framesCounted(), 25);

    // A pause before the next run does not dilute its rates.
    pacer.restartRates(10000.0);
    for (int i = 0; i <= 50; ++i) pacer.tickDone(10000.0 + 10.0 * i);
    ASSERT_TRUE(pacer.takeNewRates());
    EXPECT_NEAR(pacer.ticksPerSecond(), 100.0, 1e-9);
    EXPECT_DOUBLE_EQ(pacer.framesPerSecond(), 0.0);
}

}  // namespace
