#include "LightState.h"

#include <gtest/gtest.h>

using namespace tally;

TEST(LightState, tableRowsAreWiredToTheRightCases) {
    struct Row {
        LightState state;
        std::string_view raw, command, icon;
    };
    const Row rows[] = {
        {LightState::available, "Available", "C 0 255 0", "\xF0\x9F\x9F\xA2"},
        {LightState::busy, "Busy", "C 255 0 0", "\xF0\x9F\x94\xB4"},
        {LightState::inCall, "In a call", "P 255 0 0 3000", "\xF0\x9F\x93\x9E"},
        {LightState::dnd, "Do not disturb", "C 150 0 255", "\xF0\x9F\x9F\xA3"},
        {LightState::away, "Away / Be right back", "C 255 110 0", "\xF0\x9F\x9F\xA1"},
        {LightState::off, "Off", "OFF", "\xE2\x9A\xAB\xEF\xB8\x8F"},
        {LightState::unknown, "Unknown", "P 0 0 90 4000", "\xF0\x9F\x94\xB5"},
    };
    ASSERT_EQ(allLightStates.size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].raw);
        EXPECT_EQ(allLightStates[i], rows[i].state) << "declaration order";
        EXPECT_EQ(rawValue(rows[i].state), rows[i].raw);
        EXPECT_EQ(command(rows[i].state), rows[i].command);
        EXPECT_EQ(icon(rows[i].state), rows[i].icon);
        EXPECT_EQ(lightStateFromRawValue(rows[i].raw), rows[i].state);
    }
}

TEST(LightState, constructionFromTextIsExact) {
    for (std::string_view text : {"in a call", "In a call ", "Away", "OFF", "", "Unknown\n"})
        EXPECT_EQ(lightStateFromRawValue(text), std::nullopt) << text;
}

TEST(Availability, constructionFromTextIsExact) {
    EXPECT_EQ(availabilityFromRawValue("DoNotDisturb"), Availability::dnd);
    EXPECT_EQ(availabilityFromRawValue("BeRightBack"), Availability::brb);
    for (std::string_view text : {"Do not disturb", "donotdisturb", "BeRightback", ""})
        EXPECT_EQ(availabilityFromRawValue(text), std::nullopt) << text;
    EXPECT_EQ(rawValue(Availability::offline), "Offline");
}

TEST(LogEvent, equalityComparesCaseAndEveryField) {
    const LogEvent busy = PresenceEvent{Availability::busy, "Busy"};
    EXPECT_EQ(busy, LogEvent(PresenceEvent{Availability::busy, "Busy"}));
    EXPECT_NE(busy, LogEvent(PresenceEvent{Availability::busy, "BusyIdle"}));
    EXPECT_NE(LogEvent(CallEvent{true, "a"}), LogEvent(CallEvent{false, "a"}));
    EXPECT_NE(LogEvent(CallEvent{true, "Busy"}), busy);
}

TEST(Tracker, callWindowsPairStartsWithEndsByExactName) {
    Tracker t;
    EXPECT_FALSE(t.availability);
    EXPECT_FALSE(t.inCall());

    t.apply(CallEvent{true, "a"});
    t.apply(CallEvent{true, "b"});
    t.apply(CallEvent{false, "a"});
    EXPECT_TRUE(t.inCall()) << "b is still open";
    t.apply(CallEvent{false, "b"});
    EXPECT_FALSE(t.inCall());

    t.apply(CallEvent{true, "a"});
    t.apply(CallEvent{true, "a"});
    t.apply(CallEvent{false, "a"});
    EXPECT_FALSE(t.inCall()) << "one end closes a window however often it started";

    t.apply(CallEvent{false, "never-opened"});
    t.apply(CallEvent{true, "A"});
    t.apply(CallEvent{false, "a"});
    EXPECT_TRUE(t.inCall()) << "names are case-sensitive";
}

TEST(Tracker, latestPresenceWinsAndCallsAreUntouched) {
    Tracker t;
    t.apply(CallEvent{true, "m"});
    t.apply(PresenceEvent{Availability::busy, "Busy"});
    t.apply(PresenceEvent{Availability::unknown, "Tentative"});
    EXPECT_EQ(t.availability, Availability::unknown);
    EXPECT_TRUE(t.inCall());
    EXPECT_EQ(combine(t.availability, t.inCall(), true, false), LightState::inCall);
}

TEST(Combine, followsTheDecisionTableInOrder) {
    using A = Availability;
    using L = LightState;
    struct Case {
        std::optional<A> availability;
        bool inCall, running, stale;
        L expected;
    };
    const Case cases[] = {
        {A::busy, true, false, true, L::off},  // not running beats everything
        {A::busy, true, true, true, L::unknown},
        {std::nullopt, false, true, false, L::unknown},
        {std::nullopt, true, true, false, L::unknown},  // a call needs a known availability
        {A::offline, true, true, false, L::inCall},
        {A::unknown, true, true, false, L::inCall},
        {A::available, false, true, false, L::available},
        {A::busy, false, true, false, L::busy},
        {A::dnd, false, true, false, L::dnd},
        {A::brb, false, true, false, L::away},
        {A::away, false, true, false, L::away},
        {A::offline, false, true, false, L::off},
        {A::unknown, false, true, false, L::unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "availability "
                                        << (c.availability ? rawValue(*c.availability) : "none")
                                        << " inCall " << c.inCall << " running " << c.running
                                        << " stale " << c.stale);
        EXPECT_EQ(combine(c.availability, c.inCall, c.running, c.stale), c.expected);
    }
}
