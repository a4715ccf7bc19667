// The error-trap runner: resume next at the right level, retry, end, failed conditions,
// 16-bit loops and calls without a trap of their own.
#include "platform/vb/trap.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace vb;

namespace {
struct Log {
    QStringList lines;
    Stmt say(const QString& s) {
        return step([this, s] { lines << s; });
    }
    Stmt fail(const QString& s, std::int32_t n = 5) {
        return step([this, s, n] {
            lines << s;
            vb::raise(n);
        });
    }
};
Trap always(Resume r, QStringList* seen = nullptr) {
    return [r, seen](const VbError& e) {
        if (seen) *seen << QString::number(e.number());
        return r;
    };
}
} // namespace

TEST(Trap, ResumeNextGoesOnAtTheLevelOfTheFailure) {
    Log log;
    QStringList seen;
    run({log.say("a"), log.fail("b"), log.say("c"),
         when([] { return true; }, {log.fail("t1", 6), log.say("t2")}), log.say("d")},
        always(Resume::Next, &seen));
    EXPECT_EQ(log.lines, QStringList({"a", "b", "c", "t1", "t2", "d"}));
    EXPECT_EQ(seen, QStringList({"5", "6"}));
}

TEST(Trap, EndStopsTheWholeHandlerFromAnyDepth) {
    Log log;
    std::int16_t i = 0;
    run({log.say("a"),
         forInt16(i, 0, [] { return 5; }, {when([&] { return i == 2; }, {log.fail("x")})}),
         log.say("never")},
        always(Resume::End));
    EXPECT_EQ(log.lines, QStringList({"a", "x"}));
    EXPECT_EQ(i, 2);
}

TEST(Trap, RetryRunsTheFailedStatementAgain) {
    int tries = 0;
    Log log;
    run({step([&] {
             if (++tries < 3) vb::raise(71);
         }),
         log.say("after")},
        always(Resume::Retry));
    EXPECT_EQ(tries, 3);
    EXPECT_EQ(log.lines, QStringList({"after"}));
}

TEST(Trap, FailedConditionTakesTheTrueBranch) {
    Log log;
    run({when([]() -> bool { vb::raise(13); }, {log.say("then")}, {log.say("else")}),
         log.say("next")},
        always(Resume::Next));
    EXPECT_EQ(log.lines, QStringList({"then", "next"}));
}

TEST(Trap, LoopBodyErrorContinuesInTheBodyAndCounterOverflowLeavesTheLoop) {
    std::int16_t i = 0;
    int passes = 0, afterFail = 0;
    QStringList seen;
    run({forInt16(
             i, 32760, [] { return 32767; },
             {step([&] { ++passes; }), step([&] { vb::raise(5); }), step([&] { ++afterFail; })}),
         step([&] { seen << "after-loop"; })},
        always(Resume::Next, &seen));
    EXPECT_EQ(passes, 8);
    EXPECT_EQ(afterFail, 8);
    EXPECT_EQ(seen.count("6"), 1); // the step past 32,767
    EXPECT_EQ(seen.last(), "after-loop");
}

TEST(Trap, LoopBoundThatDoesNotFitSkipsTheLoop) {
    std::int16_t i = 0;
    int passes = 0;
    QStringList seen;
    run({forInt16(i, 0, [] { return 32768; }, {step([&] { ++passes; })})},
        always(Resume::Next, &seen));
    EXPECT_EQ(passes, 0);
    EXPECT_EQ(seen, QStringList({"6"}));
}

TEST(Trap, EmptyLoopAndExit) {
    std::int16_t i = 0;
    Log log;
    run({forInt16(i, 0, [] { return -1; }, {log.say("body")}), log.say("a"), exitHandler(),
         log.say("b")},
        always(Resume::Next));
    EXPECT_EQ(log.lines, QStringList({"a"}));
}

TEST(Trap, CalledProcedureWithoutTrapIsOneStatement) {
    Log log;
    auto procedure = [&] {
        log.lines << "p1";
        vb::raise(53);
        log.lines << "p2";
    };
    run({step(procedure), log.say("after-call")}, always(Resume::Next));
    EXPECT_EQ(log.lines, QStringList({"p1", "after-call"}));
}

TEST(Trap, ErrorsRaisedByTheTrapItselfAreNotCaughtAgain) {
    int trapCalls = 0;
    EXPECT_THROW(run({step([] { vb::raise(5); })},
                     [&](const VbError&) -> Resume {
                         ++trapCalls;
                         vb::raise(6);
                     }),
                 VbError);
    EXPECT_EQ(trapCalls, 1);
}
