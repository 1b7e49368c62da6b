// The simulator's event lines read back (as the Windows Simulator reads
// ccsim's log): every field kind survives, anything else is refused.
#include "sim/event.h"

#include <gtest/gtest.h>

using namespace pj::sim;

TEST(EventLine, WhatJsonWritesIsReadBackFieldForField) {
    Event e("frame");
    const std::uint8_t code[] = {0xA0, 0x01, 0x0D};
    e.add("key", 7)
        .add("garbled", false)
        .add("negative", -12)
        .add("text", std::string_view("教室 \"101\"\\\n\t\x01"))
        .addHex("code", code);
    e.setTimeMs(1796645830489);
    const auto back = Event::fromJson(e.json());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->kind(), "frame");
    EXPECT_EQ(back->timeMs(), 1796645830489);
    EXPECT_EQ(back->number("key"), 7);
    EXPECT_EQ(back->flag("garbled"), false);
    EXPECT_EQ(back->number("negative"), -12);
    EXPECT_EQ(back->text("text"), "教室 \"101\"\\\n\t\x01");
    EXPECT_EQ(back->text("code"), "a0 01 0d");
    EXPECT_EQ(back->json(), e.json());
}

TEST(EventLine, ALineOfCcsimsLogIsRead) {
    const auto e = Event::fromJson(
        R"({"t":1796645911925,"event":"frame","key":7,"length":6,"code":"02 00 00 00 00 02",)"
        R"("reload":248,"projector_baud":4800,"parity":"none","visualizer":1,)"
        R"("chunking":"colon-first","gap_ms":464})");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->kind(), "frame");
    EXPECT_EQ(e->number("projector_baud"), 4800);
    EXPECT_EQ(e->text("chunking"), "colon-first");
    EXPECT_FALSE(e->raw("t")); // the time is the event's, not a field
}

TEST(EventLine, AnythingElseIsRefused) {
    for (const char* bad :
         {"", "{}", "[1,2]", "{\"t\":1}", "{\"event\":\"x\"", "{\"event\":\"x\",}",
          "{\"event\":\"x\",\"a\":}", "{\"event\":\"x\",\"a\":\"open}", "{\"event\":\"x\" \"a\":1}",
          "{event:\"x\"}", "ready"}) {
        EXPECT_FALSE(Event::fromJson(bad)) << bad;
    }
    // Spaces around the parts are allowed, as in any JSON.
    const auto spaced = Event::fromJson(" { \"event\" : \"rx\" , \"baud\" : 600 } ");
    ASSERT_TRUE(spaced);
    EXPECT_EQ(spaced->number("baud"), 600);
}
