// The "display" setting, the dialog rules of the configuration and the Tab Staff Format rows.

#include "catalogue.h"
#include "displayconfig.h"
#include "drumlayout.h"
#include "settings.h"

#include <gtest/gtest.h>

namespace {

TEST(DisplayConfig, DefaultsWriteTheKnownString)
{
    const CDisplayConfig cfg;
    EXPECT_EQ(cfg.ToDisplayString(), QStringLiteral("111100101000,0.8,1.0,1.0,0.8,2000,0"));
    const SRowSettings edit = cfg.Rows(EDisplayMode::Edit);
    EXPECT_TRUE(edit.standard && edit.tab && edit.import && edit.count);
    const SRowSettings play = cfg.Rows(EDisplayMode::Playback);
    EXPECT_TRUE(play.standard && !play.tab && !play.import && play.count);
    const SRowSettings print = cfg.Rows(EDisplayMode::Print);
    EXPECT_TRUE(print.standard && !print.tab && !print.import && !print.count);
    EXPECT_FALSE(cfg.IsSupersize());
}

TEST(DisplayConfig, EditAlwaysHasItsCountRow)
{
    CDisplayConfig cfg;
    cfg.ApplyDisplayString(QStringLiteral("000000000000"));
    EXPECT_TRUE(cfg.Rows(EDisplayMode::Edit).count);
    EXPECT_FALSE(cfg.Rows(EDisplayMode::Playback).count);
}

struct SDisplayCase
{
    const char* stored;
    const char* written; // what the configuration writes back after reading `stored`
};

class DisplayStrings : public testing::TestWithParam<SDisplayCase>
{
};

TEST_P(DisplayStrings, ReadsAsFarAsTheTextGoes)
{
    CDisplayConfig cfg;
    cfg.ApplyDisplayString(QString::fromLatin1(GetParam().stored));
    EXPECT_EQ(cfg.ToDisplayString(), QString::fromLatin1(GetParam().written)) << GetParam().stored;
}

INSTANTIATE_TEST_SUITE_P(
    Values, DisplayStrings,
    testing::Values(
        // The full format round-trips.
        SDisplayCase{"010101010101,0.5,1.5,0.3,2.0,1500,1", "010101010101,0.5,1.5,0.3,2.0,1500,1"},
        // Shorter than 12 characters: nothing is taken.
        SDisplayCase{"01010101010", "111100101000,0.8,1.0,1.0,0.8,2000,0"},
        // Exactly the flags: the numbers keep their defaults. Edit with neither Standard nor
        // Tab gets Standard, as the dialog's OK would give it.
        SDisplayCase{"000111000111", "100111000111,0.8,1.0,1.0,0.8,2000,0"},
        // 15 characters are too short for the numbers; 16 are enough.
        SDisplayCase{"000111000111,1.", "100111000111,0.8,1.0,1.0,0.8,2000,0"},
        SDisplayCase{"000111000111,1.5", "100111000111,1.5,1.0,1.0,0.8,2000,0"},
        // Two margins parse, then a field that does not: the rest keeps its values.
        SDisplayCase{"111111111111,1.5,0.5,x,1.0,1000,1", "111111111111,1.5,0.5,1.0,0.8,2000,0"},
        // Five fields: print size without Play Time.
        SDisplayCase{"111100101000,0.2,0.2,0.2,0.2,3000", "111100101000,0.2,0.2,0.2,0.2,3000,0"},
        // Any character other than '0' is a set flag.
        SDisplayCase{"2x0100101000,0.8,1.0,1.0,0.8,2000,0", "110100101000,0.8,1.0,1.0,0.8,2000,0"},
        // Print sizes and margins are held to the dialog's ranges.
        SDisplayCase{"111100101000,0.8,1.0,1.0,0.8,0,1", "111100101000,0.8,1.0,1.0,0.8,1000,1"},
        SDisplayCase{"111100101000,9.0,9.0,0.0,-3.0,9000,0", "111100101000,2.0,2.0,0.2,0.2,3000,0"},
        // Every row off in every mode: each mode gets its staff back.
        SDisplayCase{"000000000000,0.8,1.0,1.0,0.8,2000,0", "100100001000,0.8,1.0,1.0,0.8,2000,0"}));

TEST(DisplayConfig, SettingsRoundTrip)
{
    CDisplayConfig cfg;
    cfg.m_flags[CDisplayConfig::Supersize] = true;
    cfg.m_printSize = 2400;
    cfg.m_marginLeft = 1.2;
    cfg.SaveToSettings();
    EXPECT_EQ(SettingsStore::Read(QStringLiteral("display")), QStringLiteral("111100111000,1.2,1.0,1.0,0.8,2400,0"));
    CDisplayConfig loaded;
    loaded.LoadFromSettings();
    EXPECT_EQ(loaded.ToDisplayString(), cfg.ToDisplayString());
    SettingsStore::Write(QStringLiteral("display"), QString());
}

TEST(DisplayConfig, NeitherStandardNorTabGetsStandard)
{
    CDisplayConfig cfg;
    cfg.SetRows(EDisplayMode::Print, {false, false, true, true});
    cfg.SetRows(EDisplayMode::Edit, {false, true, false, true});
    cfg.EnsureStandardOrTab();
    EXPECT_TRUE(cfg.Rows(EDisplayMode::Print).standard);
    EXPECT_TRUE(cfg.Rows(EDisplayMode::Print).import);
    EXPECT_FALSE(cfg.Rows(EDisplayMode::Edit).standard);
}

TEST(DisplayConfig, MarginSpinsStayInRange)
{
    EXPECT_DOUBLE_EQ(CDisplayConfig::SpinMargin(0.2, -1), 0.2);
    EXPECT_DOUBLE_EQ(CDisplayConfig::SpinMargin(2.0, +1), 2.0);
    EXPECT_DOUBLE_EQ(CDisplayConfig::SpinMargin(0.8, +1), 0.9);
    double m = 0.8;
    for (int i = 0; i < 5; ++i)
        m = CDisplayConfig::SpinMargin(m, -1);
    EXPECT_DOUBLE_EQ(m, 0.3);
}

TEST(DisplayConfig, SliderMapsToPrintSizes)
{
    EXPECT_EQ(CDisplayConfig::PrintSizeFromSlider(0), 1000);
    EXPECT_EQ(CDisplayConfig::PrintSizeFromSlider(100), 3000);
    EXPECT_EQ(CDisplayConfig::PrintSizeFromSlider(50), 2000);
    EXPECT_EQ(CDisplayConfig::SliderFromPrintSize(2000), 50);
    EXPECT_EQ(CDisplayConfig::SliderFromPrintSize(1000), 0);
}

TEST(DrumLayoutPresets, FranceStandardPutsTheHiHatFootBelowTheStaffWithItsStemUp)
{
    DrumLayout::SetCurrent(DrumLayout::FranceStandard());
    EXPECT_EQ(DrumLayout::Position(44), 0);
    EXPECT_FALSE(DrumLayout::TailDown(44));
    DrumLayout::SetCurrent(DrumLayout::UsUkStandard());
    EXPECT_EQ(DrumLayout::Position(44), 2);
    EXPECT_TRUE(DrumLayout::TailDown(44));
}

TEST(TabStaffFormat, DefaultsShowEachCymbalAndThePercussionLines)
{
    TabLines::ResetShown();
    const STabStaffFormat format;
    ApplyTabStaffFormat(format.cymbalsOwnLines, format.tomsOwnLines, format.showPercussion);
    // Perc, Congas, Crash, Ride, HighHat, Toms, Snare, Bass.
    EXPECT_EQ(CountShownTabLines(), 8);
    EXPECT_FALSE(TabLines::IsShown(2));
    EXPECT_TRUE(TabLines::IsShown(5));
    EXPECT_TRUE(TabLines::IsShown(6));
    TabLines::ResetShown();
}

} // namespace
