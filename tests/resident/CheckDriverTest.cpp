// SPDX-License-Identifier: MIT
// The minute count and the check run it starts.
#include "resident/CheckDriver.h"
#include "resident/CheckRunner.h"
#include "resident/ResidentData.h"
#include "support/RecordingMessages.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace tessaly;

namespace {

/// The driver of `runner` on records of its own, with watching on.
struct Driven {
    explicit Driven(CheckRunner& runner, const std::string& interval) : runner(runner)
    {
        data.settings.Conf_Interval = interval;
    }
    ResidentData data;
    test::RecordingMessages messages;
    CheckRunner& runner;
    CheckDriver driver{data, messages, runner, std::chrono::minutes(1), [] { return true; }, {}};
};

struct IntervalCase {
    const char* interval;
    int ticks;
    int runs;
};

class MinuteCountTest : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(MinuteCountTest, ChecksWhenTheCountReachesTheInterval)
{
    CheckRunner runner;
    Driven d(runner, GetParam().interval);
    for (int i = 0; i < GetParam().ticks; ++i)
        d.driver.tick();
    EXPECT_EQ(runner.runs(), GetParam().runs);
}

INSTANTIATE_TEST_SUITE_P(Intervals, MinuteCountTest,
                         ::testing::Values(IntervalCase{"1", 4, 4}, IntervalCase{"2", 5, 2}, IntervalCase{"60", 181, 3},
                                           IntervalCase{"0", 30, 0}, IntervalCase{"05", 30, 6}, IntervalCase{"", 30, 0},
                                           IntervalCase{" 5", 30, 0}, IntervalCase{"5 ", 30, 0},
                                           IntervalCase{"+5", 30, 0}, IntervalCase{"5.0", 30, 0},
                                           IntervalCase{"-1", 30, 0}, IntervalCase{"9999999999", 30, 0},
                                           IntervalCase{"５", 30, 0}, IntervalCase{"five", 30, 0}));

TEST(MinuteCount, StartsAgainAfterEveryRunAndReadsTheIntervalEachTick)
{
    CheckRunner runner;
    Driven d(runner, "3");
    BasicSettings& settings = d.data.settings;
    CheckDriver& trigger = d.driver;
    trigger.tick();
    trigger.tick();
    EXPECT_EQ(trigger.minuteCount(), 2);
    trigger.tick();
    EXPECT_EQ(trigger.minuteCount(), 0);
    EXPECT_EQ(runner.runs(), 1);

    // Raising the interval counts from the next tick on.
    trigger.tick();
    settings.Conf_Interval = "4";
    trigger.tick();
    trigger.tick();
    EXPECT_EQ(runner.runs(), 1);
    trigger.tick();
    EXPECT_EQ(runner.runs(), 2);

    // Lowering it below the count checks at the next tick.
    settings.Conf_Interval = "30";
    for (int i = 0; i < 20; ++i)
        trigger.tick();
    settings.Conf_Interval = "10";
    trigger.tick();
    EXPECT_EQ(runner.runs(), 3);
    EXPECT_EQ(trigger.minuteCount(), 0);
}

TEST(MinuteCount, TicksDuringARunNeverStartASecondOne)
{
    int depth = 0;
    int deepest = 0;
    CheckDriver* triggerOfRun = nullptr;
    CheckRunner runner([&] {
        ++depth;
        deepest = std::max(deepest, depth);
        // Ticks handled while the run waits in a message box.
        triggerOfRun->tick();
        triggerOfRun->tick();
        --depth;
        return true;
    });
    Driven d(runner, "1");
    CheckDriver& trigger = d.driver;
    triggerOfRun = &trigger;
    trigger.tick();
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(runner.runs(), 1);
    EXPECT_EQ(trigger.minuteCount(), 0);
}

TEST(CheckRunner, RefusesANestedRunGivesTheResultAndRecoversFromAThrow)
{
    CheckRunner* self = nullptr;
    bool nested = true;
    int mode = 0; // 0: nest, 1: throw, 2: fail
    CheckRunner runner([&]() -> bool {
        if (mode == 1)
            throw std::runtime_error("boom");
        if (mode == 0)
            nested = self->run();
        return mode == 0;
    });
    self = &runner;
    EXPECT_TRUE(runner.run());
    EXPECT_FALSE(nested);
    EXPECT_FALSE(runner.running());
    EXPECT_EQ(runner.runs(), 1);
    mode = 1;
    EXPECT_THROW(runner.run(), std::runtime_error);
    EXPECT_FALSE(runner.running());
    mode = 2;
    EXPECT_FALSE(runner.run());
    EXPECT_EQ(runner.runs(), 3);
    EXPECT_TRUE(CheckRunner().run());
}

TEST(CheckRunner, WhatWaitsForIdleRunsAfterTheRunInTheOrderGiven)
{
    std::vector<std::string> steps;
    CheckRunner* self = nullptr;
    CheckRunner runner([&] {
        steps.push_back("run");
        // Handed over while the run is in progress (from a message box).
        self->whenIdle([&] { steps.push_back("save"); });
        self->whenIdle([&] {
            steps.push_back("check again");
            // A second run from an idle action holds back what follows it.
            self->whenIdle([&] { steps.push_back("late"); });
        });
        return true;
    });
    self = &runner;
    std::vector<bool> changes;
    QObject::connect(&runner, &CheckRunner::runningChanged, [&](bool running) { changes.push_back(running); });

    runner.whenIdle([&] { steps.push_back("at once"); });
    EXPECT_EQ(steps, std::vector<std::string>{"at once"});
    bool done = false;
    EXPECT_TRUE(runner.run([&](bool result) {
        EXPECT_TRUE(result);
        EXPECT_FALSE(runner.running());
        steps.push_back("done");
        done = true;
    }));
    EXPECT_TRUE(done);
    EXPECT_EQ(steps, (std::vector<std::string>{"at once", "run", "done", "save", "check again", "late"}));
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
}

} // namespace
