// The velocity configuration: defaults, the stored text formats, the slider mappings.

#include "settings.h"
#include "testutil.h"
#include "velocity.h"

#include <QTemporaryDir>

namespace {

class VelocitySettings : public testing::Test
{
protected:
    void SetUp() override
    {
        SettingsStore::UseFile(m_dir.filePath(QStringLiteral("settings.ini")));
        DrumVolumes() = SDrumVolumes();
        GuitarVolumes() = SGuitarVolumes();
    }
    void TearDown() override
    {
        DrumVolumes() = SDrumVolumes();
        GuitarVolumes() = SGuitarVolumes();
        SettingsStore::UseFile(QString());
    }
    QTemporaryDir m_dir;
};

TEST(Velocity, DefaultsAreSeventyFiftyHundredAndAFlamOfSixAtHalfVolume)
{
    const SDrumVolumes d;
    EXPECT_EQ(d.m_flamGap, 6);
    EXPECT_EQ(d.m_flamPreVolume, 50);
    for (const auto& g : d.m_velocity)
        EXPECT_EQ(g, (std::array<int, 3>{70, 50, 100}));
    EXPECT_EQ(d.ToText(), QStringLiteral("6,50") + QStringLiteral(",70,50,100").repeated(14));
    EXPECT_EQ(SGuitarVolumes().ToText(), QStringLiteral("4664324646").repeated(16));
}

TEST(Velocity, DrumGroupsFollowTheGeneralMidiKeys)
{
    const std::vector<std::pair<int, int>> cases = {
        {38, DrumGroup::Snare},     {40, DrumGroup::Snare},      {51, DrumGroup::Ride},     {59, DrumGroup::Ride},
        {53, DrumGroup::RideBell},  {46, DrumGroup::OpenHiHat},  {44, DrumGroup::PedalHiHat}, {42, DrumGroup::ClosedHiHat},
        {49, DrumGroup::Crash},     {57, DrumGroup::Crash},      {52, DrumGroup::China},    {56, DrumGroup::Cowbell},
        {35, DrumGroup::BassDrum},  {36, DrumGroup::BassDrum},   {55, DrumGroup::Splash},   {37, DrumGroup::SideStick},
        {41, DrumGroup::Toms},      {43, DrumGroup::Toms},       {45, DrumGroup::Toms},     {47, DrumGroup::Toms},
        {48, DrumGroup::Toms},      {50, DrumGroup::Toms},       {39, DrumGroup::Other},    {54, DrumGroup::Other},
        {81, DrumGroup::Other},     {2, DrumGroup::Other},
    };
    for (const auto& [key, group] : cases)
        EXPECT_EQ(DrumGroupOf(key), group) << key;
}

TEST(Velocity, DrumTextRoundTripsAndAShortTextFillsOnlyItsFields)
{
    SDrumVolumes d;
    d.m_flamGap = 3;
    d.m_velocity[DrumGroup::Toms] = {90, 31, 117};
    SDrumVolumes back;
    EXPECT_EQ(back.FromText(d.ToText()), 44);
    EXPECT_EQ(back, d);
    EXPECT_FALSE(d.ToText().endsWith(QLatin1Char(',')));

    SDrumVolumes partial;
    EXPECT_EQ(partial.FromText(QStringLiteral("9,80,41")), 3);
    EXPECT_EQ(partial.m_flamGap, 9);
    EXPECT_EQ(partial.m_flamPreVolume, 80);
    EXPECT_EQ(partial.m_velocity[DrumGroup::Snare], (std::array<int, 3>{41, 50, 100}));
    EXPECT_EQ(partial.m_velocity[DrumGroup::Ride], (std::array<int, 3>{70, 50, 100}));

    SDrumVolumes garbage;
    EXPECT_EQ(garbage.FromText(QStringLiteral("4,x,1")), 1);
    EXPECT_EQ(garbage.m_flamGap, 4);
    EXPECT_EQ(garbage.m_flamPreVolume, 50);
}

TEST(Velocity, GuitarTextIsTwoLowerCaseHexDigitsPerByte)
{
    SGuitarVolumes g;
    g.m_record[3] = {120, 0x7f, 20, 0x0a, 99};
    const QString text = g.ToText();
    ASSERT_EQ(text.size(), 160);
    EXPECT_EQ(text.mid(30, 10), QStringLiteral("787f140a63"));
    SGuitarVolumes back;
    EXPECT_EQ(back.FromText(text), 80);
    EXPECT_EQ(back, g);

    SGuitarVolumes shortText;
    EXPECT_EQ(shortText.FromText(QStringLiteral("5A6")), 1); // upper case reads too; a lone digit does not
    EXPECT_EQ(shortText.m_record[0][0], 0x5a);
    EXPECT_EQ(shortText.m_record[0][1], 100);
}

TEST_F(VelocitySettings, DrumVolumesPreferDrumVolOverInstCfg)
{
    LoadDrumVolumes(); // nothing stored: the defaults stay
    EXPECT_EQ(DrumVolumes(), SDrumVolumes());

    SettingsStore::Write(QStringLiteral("inst_cfg"), QStringLiteral("2,20"));
    LoadDrumVolumes();
    EXPECT_EQ(DrumVolumes().m_flamGap, 2);

    SettingsStore::Write(QStringLiteral("drum_vol"), QStringLiteral("8,30"));
    LoadDrumVolumes();
    EXPECT_EQ(DrumVolumes().m_flamGap, 8);
    EXPECT_EQ(DrumVolumes().m_flamPreVolume, 30);

    DrumVolumes().m_velocity[DrumGroup::Crash][DrumVelocity::Accent] = 111;
    SaveDrumVolumes();
    EXPECT_EQ(SettingsStore::Read(QStringLiteral("drum_vol")), DrumVolumes().ToText());
    DrumVolumes() = SDrumVolumes();
    LoadDrumVolumes();
    EXPECT_EQ(DrumVolumes().m_velocity[DrumGroup::Crash][DrumVelocity::Accent], 111);
}

TEST_F(VelocitySettings, GuitarVolumesSaveAndLoad)
{
    SaveGuitarVolumes();
    EXPECT_EQ(SettingsStore::Read(QStringLiteral("gtr_vol")), QStringLiteral("4664324646").repeated(16));
    GuitarVolumes().m_record[0][GuitarVelocity::Ghost] = 33;
    SaveGuitarVolumes();
    GuitarVolumes() = SGuitarVolumes();
    LoadGuitarVolumes();
    EXPECT_EQ(GuitarVolumes().m_record[0][GuitarVelocity::Ghost], 33);
}

struct SSliderCase
{
    const char* name;
    int (*fromSlider)(int);
    int (*toSlider)(int);
    std::vector<std::pair<int, int>> sliderToValue;
    std::vector<std::pair<int, int>> valueToSlider;
};

TEST(Velocity, SliderMappingsBothWays)
{
    using namespace VolumeSlider;
    const std::vector<SSliderCase> cases = {
        {"flam gap", FlamGapFromSlider, SliderFromFlamGap, {{0, 10}, {100, 1}, {45, 5}, {50, 5}, {-5, 10}}, {{6, 45}, {1, 100}, {10, 0}, {5, 56}}},
        {"pre-volume", FlamPreVolumeFromSlider, SliderFromFlamPreVolume, {{0, 10}, {100, 90}, {50, 50}, {33, 36}}, {{50, 50}, {10, 0}, {90, 100}, {35, 31}}},
        {"normal", NormalFromSlider, SliderFromNormal, {{0, 100}, {100, 40}, {50, 70}, {70, 58}, {101, 40}}, {{70, 50}, {40, 100}, {100, 0}, {65, 59}}},
        {"ghost", GhostFromSlider, SliderFromGhost, {{0, 80}, {100, 20}, {50, 50}}, {{50, 50}, {20, 100}, {80, 0}}},
        {"accent", AccentFromSlider, SliderFromAccent, {{0, 120}, {100, 80}, {50, 100}, {33, 106}}, {{100, 50}, {80, 100}, {120, 0}, {105, 38}}},
    };
    for (const SSliderCase& c : cases) {
        for (const auto& [s, v] : c.sliderToValue)
            EXPECT_EQ(c.fromSlider(s), v) << c.name << " slider " << s;
        for (const auto& [v, s] : c.valueToSlider)
            EXPECT_EQ(c.toSlider(v), s) << c.name << " value " << v;
    }
}

} // namespace
