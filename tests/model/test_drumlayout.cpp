// The drum layout bytes and their "postail" text.

#include "drumlayout.h"

#include <gtest/gtest.h>

namespace {

TEST(DrumLayout, UsUkPresetHasTheStoredDigits)
{
    EXPECT_EQ(DrumLayout::ToPostail(DrumLayout::UsUkStandard()),
              QStringLiteral("070707070506070707070707070506080908090905060a0a0a070a070a0a0a090a08060a0582040a03070707078282"));
}

TEST(DrumLayout, ShortValueChangesOnlyTheHighestKeys)
{
    DrumLayout::Table t = DrumLayout::UsUkStandard();
    DrumLayout::ApplyPostail(t, QStringLiteral("8103"));
    EXPECT_EQ(t[81 - 35], 0x81);
    EXPECT_EQ(t[80 - 35], 0x03);
    for (int key = 35; key <= 79; ++key)
        EXPECT_EQ(t[size_t(key - 35)], DrumLayout::UsUkStandard()[size_t(key - 35)]) << key;
}

TEST(DrumLayout, ReadingStopsAtTheFirstBadPair)
{
    DrumLayout::Table t = DrumLayout::UsUkStandard();
    DrumLayout::ApplyPostail(t, QStringLiteral("01zz02"));
    EXPECT_EQ(t[81 - 35], 1);
    EXPECT_EQ(t[80 - 35], 7);
    EXPECT_EQ(t[79 - 35], 7);
}

TEST(DrumLayout, FrancePresetPutsTheHiHatFootBelowWithStemUp)
{
    const auto& f = DrumLayout::FranceStandard();
    EXPECT_EQ(f[44 - 35], 0);
    EXPECT_EQ(f[49 - 35], 13);
    EXPECT_EQ(f[35 - 35], 1 | DrumLayout::kTailDown);
}

} // namespace
