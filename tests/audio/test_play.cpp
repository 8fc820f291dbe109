// CMidi's player on the manual clock: one-bar play, loops over a range, tempo changes, pause,
// resume and stop from every state, the finishing countdown, start points, the overlay codes,
// the look-ahead bar replaced after an edit; and the offline render measured by its onsets.

#include "manualclock.h"
#include "midi.h"
#include "mididevices.h"
#include "midiformats.h"
#include "report.h"
#include "rondeldoc.h"
#include "settings.h"
#include "synthengine.h"
#include "wavexport.h"

#include "testutil.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sndfile.h>

#include <cmath>

namespace {
constexpr int kFlamGap = 6; // every note sounds this many ticks after its grid position

// Records what the player tells the transport.
class CTestHost : public CPlayerHost
{
public:
    int CurrentPlayTempo() const override { return m_playTempo; }
    int FaderPos() const override { return m_fader; }
    void ShowPlayState(int state, bool) override { m_states.push_back(state); }
    void NotifyOverlay(int code, int msecs) override { m_overlay.push_back({code, msecs}); }
    void ShowDefaultTempo(int bpm) override { m_shownTempo = bpm; }
    int m_playTempo = 0;
    int m_fader = 0;
    int m_shownTempo = 0;
    std::vector<int> m_states;
    std::vector<std::pair<int, int>> m_overlay;
};

// Bars of four quarter notes; bar i plays key keys[i]; the first bar at `tempo`.
void MakeSong(CRondelDoc& doc, const std::vector<int>& keys, int tempo = 120, const std::vector<int>& barTempi = {})
{
    doc.OnNewDocument();
    doc.Events().clear();
    for (size_t b = 0; b < keys.size(); ++b) {
        uint32_t w1 = EventType::Bar;
        if (b == 0)
            w1 |= TempoBits(uint32_t(tempo));
        if (b < barTempi.size() && barTempi[b])
            w1 |= TempoBits(uint32_t(barTempi[b]));
        AppendEvent(doc.Events(), w1, TimeSigWord(4, 4));
        for (uint32_t pos = 0; pos < 384; pos += 96)
            AppendEvent(doc.Events(), uint32_t(keys[b]), pos);
    }
    AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4));
    MidiOf(doc).ComputeBarTimes();
}

EventPos Bar(CRondelDoc& doc, int number)
{
    int n = 0;
    for (EventPos it = doc.Events().begin(); it != doc.Events().end(); ++it)
        if (it->IsMeasure() && ++n == number)
            return it;
    return doc.Events().end();
}

struct SNote
{
    int64_t m_frame;
    int64_t m_tick;
    int m_key;
};

struct CPlayFixture : ::testing::Test
{
    CRecordingReport report;
    CScopedUserReport scoped{&report};
    CTestHost host;
    CRondelDoc doc;
    int64_t now = 0;
    std::vector<SNote> notes;
    std::vector<uint32_t> volumes;

    static void SetUpTestSuite() { RegisterMidiFormats(); }
    void SetUp() override
    {
        PlayerHost::Set(&host);
        MidiStreams::SetOpener([](int) { return std::make_unique<CManualClockStream>(1000.0); });
    }
    void TearDown() override
    {
        MidiOf(doc).Stop();
        while (CMidi::GetPlayState() != 0 && MidiOf(doc).PollPlayer() >= 0) {
        }
        PlayerHost::Set(nullptr);
        MidiStreams::SetOpener({});
    }
    CManualClockStream* Clock() { return static_cast<CManualClockStream*>(CMidi::PlayerStream()); }
    // Moves the clock on by ms, polling every 50 ms like the view's timer.
    void Run(int64_t ms)
    {
        for (int64_t i = 0; i < ms; ++i) {
            if (CManualClockStream* c = Clock()) {
                c->Advance(1);
                for (const auto& p : c->Played())
                    if (p.m_bytes.size() == 3 && (p.m_bytes[0] & 0xF0) == 0x90 && p.m_bytes[2])
                        notes.push_back({now, p.m_tick, p.m_bytes[1]});
                volumes.push_back(c->Volume());
                c->ClearPlayed();
            }
            ++now;
            if (now % 50 == 0)
                MidiOf(doc).PollPlayer();
        }
    }
    std::vector<int> Keys() const
    {
        std::vector<int> k;
        for (const auto& n : notes)
            k.push_back(n.m_key);
        return k;
    }
};
}

TEST_F(CPlayFixture, OneBarPlayEndsAfterExactlyOneBar)
{
    MakeSong(doc, {36, 38, 42});
    CMidi& midi = MidiOf(doc);
    ASSERT_TRUE(midi.Play(0, SPlayRange{}, false, true));
    EXPECT_EQ(CMidi::GetPlayState(), 1);
    EXPECT_EQ(Clock()->Pending(), 1) << "one-bar play queues no look-ahead";
    Run(1990);
    EXPECT_EQ(CMidi::GetPlayState(), 1);
    Run(20);
    EXPECT_LT(CMidi::GetPlayState(), 0) << "finishing after the bar";
    EXPECT_EQ(midi.GetPlayPosition(), 384);
    Run(2000);
    EXPECT_EQ(CMidi::GetPlayState(), 0);
    EXPECT_EQ(Keys(), (std::vector<int>{36, 36, 36, 36}));
    EXPECT_EQ(notes.front().m_tick, kFlamGap);
    EXPECT_EQ(midi.m_buffersDone, 1);
}

TEST_F(CPlayFixture, FinishingCountdownClosesTheStreamFourPollsAfterTheLastBuffer)
{
    MakeSong(doc, {36, 38});
    CMidi& midi = MidiOf(doc);
    ASSERT_TRUE(midi.Play(0, SPlayRange{}, false, false));
    // Advance without polling until both bars are done, then deliver the notifications.
    for (int i = 0; i < 4100; ++i)
        Clock()->Advance(1);
    EXPECT_EQ(CMidi::GetPlayState(), -5);
    for (int poll = 1; poll <= 3; ++poll) {
        EXPECT_GE(midi.PollPlayer(), 0);
        EXPECT_EQ(CMidi::GetPlayState(), -5 + poll);
        EXPECT_NE(CMidi::PlayerStream(), nullptr);
    }
    EXPECT_EQ(midi.PollPlayer(), -1);
    EXPECT_EQ(CMidi::GetPlayState(), 0);
    EXPECT_EQ(CMidi::PlayerStream(), nullptr);
    ASSERT_FALSE(host.m_overlay.empty());
    EXPECT_EQ(host.m_overlay.back().first, 2) << "the overlay stops with the stream";
    EXPECT_EQ(host.m_states.back(), 0);
}

TEST_F(CPlayFixture, LoopOverARangeReturnsToItsStartWithoutAGap)
{
    MakeSong(doc, {35, 36, 38, 42});
    CMidi& midi = MidiOf(doc);
    SPlayRange range;
    range.m_type = 2;
    range.m_startBarPos = Bar(doc, 2);
    range.m_endBarPos = Bar(doc, 4);
    range.m_endEventPos = std::prev(Bar(doc, 4));
    ASSERT_TRUE(midi.Play(0, range, true, false));
    Run(8000 + 40);
    ASSERT_EQ(notes.size(), 17u);
    const std::vector<int> expectedKeys{36, 36, 36, 36, 38, 38, 38, 38, 36, 36, 36, 36, 38, 38, 38, 38, 36};
    EXPECT_EQ(Keys(), expectedKeys);
    for (size_t i = 0; i < notes.size(); ++i) {
        EXPECT_EQ(notes[i].m_tick, int64_t(96 * i + kFlamGap)) << i;
        EXPECT_NEAR(double(notes[i].m_frame), 500.0 * double(i) + kFlamGap * 500.0 / 96, 1.0) << i;
    }
    EXPECT_EQ(CMidi::GetPlayState(), 1) << "a loop plays on";
}

TEST_F(CPlayFixture, LoopOverTheWholeSongWrapsAtTheEnd)
{
    MakeSong(doc, {36, 38});
    ASSERT_TRUE(MidiOf(doc).Play(0, SPlayRange{}, true, false));
    Run(6040);
    EXPECT_EQ(Keys(), (std::vector<int>{36, 36, 36, 36, 38, 38, 38, 38, 36, 36, 36, 36, 38}));
    EXPECT_EQ(notes.back().m_tick, 12 * 96 + kFlamGap);
}

TEST_F(CPlayFixture, BarTempoAppliesWhenItsBarBegins)
{
    MakeSong(doc, {36, 38}, 120, {0, 60});
    ASSERT_TRUE(MidiOf(doc).Play(0, SPlayRange{}, false, false));
    Run(7000);
    ASSERT_EQ(notes.size(), 8u);
    EXPECT_EQ(notes[4].m_frame - notes[3].m_frame, 500 - 31 + 62) << "the bar line at 120, the flam gap at 60";
    EXPECT_EQ(notes[5].m_frame - notes[4].m_frame, 1000);
    EXPECT_EQ(host.m_shownTempo, 60) << "the default-tempo box follows the bar being played";
}

TEST_F(CPlayFixture, TypedTempoAppliesAtOnceAndOutlastsTheBarTempi)
{
    MakeSong(doc, {36, 38, 42}, 120, {0, 60, 90});
    CMidi& midi = MidiOf(doc);
    ASSERT_TRUE(midi.Play(0, SPlayRange{}, false, false));
    Run(800); // notes at 31 and 531 ms
    host.m_playTempo = 240;
    midi.SetTempo(240);
    Run(4000);
    ASSERT_GE(notes.size(), 12u);
    // Third note: tick 198; at 800 ms the clock stood at tick 153.6, the rest at 240 BPM.
    EXPECT_NEAR(double(notes[2].m_frame), 800 + (198 - 153.6) * 250.0 / 96, 1.0);
    for (size_t i = 3; i < 12; ++i)
        EXPECT_EQ(notes[i].m_frame - notes[i - 1].m_frame, 250) << "bar tempi are ignored while a play tempo is typed: " << i;
}

TEST_F(CPlayFixture, PauseHoldsAndResumeContinues)
{
    MakeSong(doc, {36, 38});
    CMidi& midi = MidiOf(doc);
    ASSERT_TRUE(midi.Play(0, SPlayRange{}, false, false));
    Run(600);
    midi.PauseResume();
    EXPECT_EQ(CMidi::GetPlayState(), 2);
    const int64_t held = midi.GetPlayPosition();
    Run(3000);
    EXPECT_EQ(midi.GetPlayPosition(), held);
    EXPECT_EQ(notes.size(), 2u);
    midi.PauseResume();
    EXPECT_EQ(CMidi::GetPlayState(), 1);
    Run(500);
    EXPECT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[2].m_frame, 600 + 3000 + 1031 - 600);
    std::vector<int> codes;
    for (const auto& o : host.m_overlay)
        codes.push_back(o.first);
    EXPECT_EQ(codes, (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(host.m_states, (std::vector<int>{1, 2, 1}));
}

// Each row: how to reach a state, then the command, then the state expected.
struct STransportCase
{
    const char* name;
    int reach;   // 0 stopped, 1 playing, 2 paused, -3 finishing
    int command; // 0 Stop, 1 PauseResume
    int expected;
    bool streamOpen;
};

class CTransport : public CPlayFixture, public ::testing::WithParamInterface<STransportCase>
{
};

TEST_P(CTransport, CommandFromState)
{
    const auto& c = GetParam();
    MakeSong(doc, {36});
    CMidi& midi = MidiOf(doc);
    if (c.reach != 0) {
        ASSERT_TRUE(midi.Play(0, SPlayRange{}, false, false));
        Run(300);
        if (c.reach == 2)
            midi.PauseResume();
        if (c.reach == -3) {
            Run(1800); // the bar ends at 2000; two polls later
        }
    }
    ASSERT_EQ(CMidi::GetPlayState(), c.reach);
    if (c.command == 0)
        midi.Stop();
    else
        midi.PauseResume();
    EXPECT_EQ(CMidi::GetPlayState(), c.expected);
    EXPECT_EQ(CMidi::PlayerStream() != nullptr, c.streamOpen);
    if (c.reach > 0 && c.command == 0) {
        EXPECT_EQ(midi.GetPlayPosition(), 0);
        EXPECT_EQ(host.m_states.back(), 0) << "the buttons show idle";
        EXPECT_EQ(host.m_overlay.back().first, 2);
        EXPECT_FALSE(midi.m_loop);
        ASSERT_TRUE(midi.Play(0, SPlayRange{}, false, false)) << "and it plays again";
    }
}

INSTANTIATE_TEST_SUITE_P(Player, CTransport,
                         ::testing::Values(STransportCase{"stop_when_stopped", 0, 0, 0, false},
                                           STransportCase{"pause_when_stopped", 0, 1, 0, false},
                                           STransportCase{"stop_when_playing", 1, 0, 0, false},
                                           STransportCase{"pause_when_playing", 1, 1, 2, true},
                                           STransportCase{"stop_when_paused", 2, 0, 0, false},
                                           STransportCase{"resume_when_paused", 2, 1, 1, true},
                                           STransportCase{"stop_when_finishing", -3, 0, -3, true},
                                           STransportCase{"pause_when_finishing", -3, 1, -3, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CPlayFixture, PlayIsRefusedWhileAnotherPlayIsOn)
{
    MakeSong(doc, {36});
    ASSERT_TRUE(MidiOf(doc).Play(0, SPlayRange{}, false, false));
    EXPECT_FALSE(MidiOf(doc).Play(0, SPlayRange{}, false, false));
}

TEST_F(CPlayFixture, FailingDeviceLeavesTheStateStopped)
{
    MakeSong(doc, {36});
    MidiStreams::SetOpener([](int) { return std::unique_ptr<CMidiStream>(); });
    EXPECT_FALSE(MidiOf(doc).Play(3, SPlayRange{}, false, false));
    EXPECT_EQ(CMidi::GetPlayState(), 0);
    EXPECT_TRUE(report.m_messages.isEmpty());
}

TEST_F(CPlayFixture, StartPointsAndTheOverlayStartTime)
{
    MakeSong(doc, {35, 36, 38, 42});
    doc.m_audioSync = 150;
    CMidi& midi = MidiOf(doc);
    midi.ComputeBarTimes();
    struct SCase
    {
        std::optional<EventPos> startNode, marker;
        SPlayRange range;
        int firstKey;
        int overlayMs;
    };
    SPlayRange cursor;
    cursor.m_type = 1;
    cursor.m_startBarPos = Bar(doc, 3);
    std::vector<SCase> cases{{std::nullopt, std::nullopt, SPlayRange{}, 35, 1500},
                             {std::nullopt, std::nullopt, cursor, 38, 5500},
                             {std::nullopt, Bar(doc, 2), cursor, 36, 3500},
                             {Bar(doc, 4), Bar(doc, 2), cursor, 42, 7500}};
    for (const SCase& c : cases) {
        notes.clear();
        host.m_overlay.clear();
        midi.m_playStartMarker = c.marker;
        ASSERT_TRUE(midi.Play(0, c.range, false, true, c.startNode));
        Run(100);
        ASSERT_FALSE(notes.empty());
        EXPECT_EQ(notes[0].m_key, c.firstKey);
        ASSERT_FALSE(host.m_overlay.empty());
        EXPECT_EQ(host.m_overlay[0], std::make_pair(1, c.overlayMs));
        midi.Stop();
    }
    midi.m_playStartMarker.reset();
}

TEST_F(CPlayFixture, FaderSetsTheMidiVolume)
{
    MakeSong(doc, {36});
    host.m_fader = 30;
    ASSERT_TRUE(MidiOf(doc).Play(0, SPlayRange{}, false, false));
    Run(10);
    const uint32_t v = 70u * 65535u / 100u;
    EXPECT_EQ(volumes.back(), v | v << 16);
    MidiOf(doc).SetVolume(100);
    Run(1);
    EXPECT_EQ(volumes.back(), 0xFFFFFFFFu);
}

TEST_F(CPlayFixture, AnEditReplacesTheLookAheadBar)
{
    MakeSong(doc, {36, 38, 42});
    CMidi& midi = MidiOf(doc);
    ASSERT_TRUE(midi.Play(0, SPlayRange{}, false, false));
    Run(1000);
    // Bar 2 is queued already; change its notes and tell the views.
    for (EventPos it = std::next(Bar(doc, 2)); it != Bar(doc, 3); ++it)
        it->m_word1 = (it->m_word1 & ~EventBits::TypeMask) | 49;
    doc.UpdateAllViews();
    Run(3600);
    EXPECT_EQ(Keys(), (std::vector<int>{36, 36, 36, 36, 49, 49, 49, 49, 42, 42}));
}

TEST_F(CPlayFixture, DestroyingThePlayingMidiClosesTheStream)
{
    auto other = std::make_unique<CRondelDoc>();
    MakeSong(*other, {36, 38});
    ASSERT_TRUE(MidiOf(*other).Play(0, SPlayRange{}, true, false));
    Run(100);
    other.reset();
    EXPECT_EQ(CMidi::PlayerStream(), nullptr);
    EXPECT_EQ(CMidi::GetPlayState(), 0);
}

TEST_F(CPlayFixture, StopRequestStopsAtTheNextBuffer)
{
    MakeSong(doc, {36, 38, 42});
    CMidi& midi = MidiOf(doc);
    ASSERT_TRUE(midi.Play(0, SPlayRange{}, false, false));
    Run(500);
    CMidi::SetStopRequest(true);
    Run(2000);
    EXPECT_EQ(CMidi::PlayerStream(), nullptr);
    EXPECT_EQ(CMidi::GetPlayState(), -5) << "polling waits while the counter is open";
    CMidi::SetStopRequest(false);
    Run(250);
    EXPECT_EQ(CMidi::GetPlayState(), 0);
}

TEST(CMidiDevices, SettingNamesThePosition)
{
    QTemporaryDir dir;
    SettingsStore::UseFile(dir.filePath(QStringLiteral("k.ini")));
    const QStringList names{QString::fromLatin1(MidiDevices::kEmbeddedName), QStringLiteral("Port A"), QStringLiteral("Port B")};
    EXPECT_EQ(MidiDevices::PositionFromSetting(names), 0);
    EXPECT_TRUE(MidiDevices::Choose(2, names));
    EXPECT_EQ(SettingsStore::Read(QStringLiteral("midi_device")), QStringLiteral("Port B"));
    EXPECT_EQ(MidiDevices::PositionFromSetting(names), 2);
    EXPECT_EQ(MidiDevices::PositionFromSetting(names.mid(0, 2)), 0) << "a device that no longer exists";
    EXPECT_FALSE(MidiDevices::Choose(3, names));
    EXPECT_EQ(SettingsStore::Read(QStringLiteral("midi_device")), QStringLiteral("Port B"));
    EXPECT_EQ(MidiDevices::Resolve(QStringLiteral("1"), names), 1);
    EXPECT_EQ(MidiDevices::Resolve(QStringLiteral("port b"), names), 2);
    EXPECT_EQ(MidiDevices::Resolve(QStringLiteral("7"), names), -1);
    SettingsStore::UseFile(QString());
}

struct SWave
{
    int m_rate = 0;
    int m_channels = 0;
    int m_format = 0;
    std::vector<short> m_pcm; // interleaved
    int64_t Frames() const { return int64_t(m_pcm.size()) / std::max(1, m_channels); }
};

SWave ReadWave(const QString& path)
{
    SWave wave;
    SF_INFO info{};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!f)
        return wave;
    wave.m_rate = info.samplerate;
    wave.m_channels = info.channels;
    wave.m_format = info.format;
    wave.m_pcm.resize(size_t(info.frames * info.channels));
    sf_readf_short(f, wave.m_pcm.data(), info.frames);
    sf_close(f);
    return wave;
}

// Seconds at which the left channel rises above `threshold` after at least 0.1 s of quiet.
std::vector<double> Onsets(const SWave& wave, int threshold)
{
    std::vector<double> onsets;
    int64_t quiet = wave.m_rate;
    for (int64_t i = 0; i < wave.Frames(); ++i) {
        if (std::abs(wave.m_pcm[size_t(2 * i)]) > threshold) {
            if (quiet > wave.m_rate / 10)
                onsets.push_back(double(i) / wave.m_rate);
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return onsets;
}

double PeakDbfs(const SWave& wave)
{
    int peak = 0;
    for (short s : wave.m_pcm)
        peak = std::max(peak, std::abs(int(s)));
    return 20 * std::log10(std::max(peak, 1) / 32768.0);
}

class CExportWave : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RegisterMidiFormats();
        if (!QFileInfo::exists(m_font))
            GTEST_SKIP() << "timgm6mb-soundfont is not installed";
        MakeSong(m_doc, {76, 76, 76}); // high wood block: one sharp attack
    }
    const QString m_font = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
    CRondelDoc m_doc;
    QTemporaryDir m_dir;
};

// Twelve quarter notes at 120 BPM: each onset less its place on the grid of 0.5 s steps, which
// starts the flam gap (6 ticks, 31.25 ms) after 0. What is left is the timing error and the
// sample's own attack (the same for every note).
std::vector<double> GridErrors(const SWave& wave)
{
    const std::vector<double> onsets = Onsets(wave, 300);
    EXPECT_EQ(onsets.size(), 12u);
    std::vector<double> errors;
    for (size_t i = 0; i < onsets.size(); ++i)
        errors.push_back(onsets[i] - (kFlamGap * 0.5 / 96 + 0.5 * double(i)));
    return errors;
}

TEST_F(CExportWave, AtTheOutputRateNotesLandWithinOneBlockOfTheGrid)
{
    const QString path = m_dir.filePath(QStringLiteral("beat.wav"));
    std::vector<int> progress;
    QString error;
    SWaveOptions options;
    ASSERT_TRUE(ExportWave(m_doc, path, [&](int p) { progress.push_back(p); return true; }, &error, options, m_font)) << error.toStdString();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

    const SWave wave = ReadWave(path);
    EXPECT_EQ(wave.m_rate, 44100);
    EXPECT_EQ(wave.m_channels, 2);
    EXPECT_EQ(wave.m_format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_NEAR(double(wave.Frames()) / 44100, 6.0 + 2.0, 0.05) << "three bars and the tail";
    // Notes start on the 64-frame block boundary nearest their time: within 0.73 ms of it.
    const std::vector<double> errors = GridErrors(wave);
    for (size_t i = 0; i < errors.size(); ++i)
        EXPECT_NEAR(errors[i], 0, 0.0015) << i;
    const auto [low, high] = std::minmax_element(errors.begin(), errors.end());
    EXPECT_LE(*high - *low, 64.0 / 44100 + 0.0001);
}

TEST_F(CExportWave, ThePreciseModeKeepsNotesWithinAThirdOfAMillisecondOfTheirTimes)
{
    const QString path = m_dir.filePath(QStringLiteral("precise.wav"));
    QString error;
    SWaveOptions options;
    options.m_precise = true;
    ASSERT_TRUE(ExportWave(m_doc, path, nullptr, &error, options, m_font)) << error.toStdString();
    const SWave wave = ReadWave(path);
    EXPECT_EQ(wave.m_rate, 44100);
    // Half-blocks at twice the rate: every note 0.36 ms or less from its time, so no two
    // notes differ by more than 0.73 ms besides the attack they share.
    const std::vector<double> errors = GridErrors(wave);
    const auto [low, high] = std::minmax_element(errors.begin(), errors.end());
    EXPECT_LE(*high - *low, 32.0 / 44100 + 0.0001);
    EXPECT_GE(*low, -0.0004);
    EXPECT_LE(*high, 0.002) << "the attack of a wood block is short";
}

TEST_F(CExportWave, ThePeakIsNormalisedUnlessTurnedOff)
{
    QString error;
    SWaveOptions options;
    const QString loud = m_dir.filePath(QStringLiteral("loud.wav"));
    ASSERT_TRUE(ExportWave(m_doc, loud, nullptr, &error, options, m_font)) << error.toStdString();
    EXPECT_NEAR(PeakDbfs(ReadWave(loud)), kWavePeakDbfs, 0.2);

    options.m_normalise = false;
    const QString raw = m_dir.filePath(QStringLiteral("raw.wav"));
    ASSERT_TRUE(ExportWave(m_doc, raw, nullptr, &error, options, m_font)) << error.toStdString();
    const SWave rawWave = ReadWave(raw);
    EXPECT_LT(PeakDbfs(rawWave), kWavePeakDbfs - 3) << "the synthesizer alone is quieter";
    // The same render, only louder: the onsets are the same samples.
    EXPECT_EQ(Onsets(rawWave, 50).size(), 12u);

    // The settings choose the same way.
    SettingsStore::UseFile(m_dir.filePath(QStringLiteral("k.ini")));
    EXPECT_TRUE(SWaveOptions::FromSettings().m_normalise);
    EXPECT_FALSE(SWaveOptions::FromSettings().m_precise);
    SettingsStore::Write(QStringLiteral("wave_normalise"), QStringLiteral("0"));
    SettingsStore::Write(QStringLiteral("wave_precise"), QStringLiteral("1"));
    EXPECT_FALSE(SWaveOptions::FromSettings().m_normalise);
    EXPECT_TRUE(SWaveOptions::FromSettings().m_precise);
    SettingsStore::UseFile(QString());
}

TEST_F(CExportWave, CancellingInEitherPassLeavesNoFile)
{
    for (int stopAt : {0, 96}) {
        const QString path = m_dir.filePath(QStringLiteral("cancelled.wav"));
        QString error;
        int last = -1;
        EXPECT_FALSE(ExportWave(m_doc, path, [&](int p) { last = p; return p < stopAt; }, &error, SWaveOptions{}, m_font)) << stopAt;
        EXPECT_GE(last, stopAt);
        EXPECT_EQ(error, QStringLiteral("Export Wave cancelled"));
        EXPECT_FALSE(QFileInfo::exists(path));
        EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList()) << "no temporary file is left";
    }
}

TEST(SynthFontHandOff, SynthFontIniPointsAtTheMidiFile)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("SynthFont.ini"));
    ASSERT_TRUE(WriteAll(ini, "[Main]\r\nLast=C:\\old.mid\r\nVolume=3\nExplorer=C:\\\nLastButOne=x\n"));
    const QString midi = dir.filePath(QStringLiteral("songs/tune.mid"));
    ASSERT_TRUE(SynthFont::RewriteIni(ini, midi));
    const QByteArray expected = "[Main]\nLast=" + QFile::encodeName(midi) + "\nVolume=3\nExplorer=" + QFile::encodeName(dir.filePath(QStringLiteral("songs"))) +
                                "\nLastButOne=x\n";
    EXPECT_EQ(ReadAll(ini), expected);
    EXPECT_FALSE(SynthFont::RewriteIni(dir.filePath(QStringLiteral("missing.ini")), midi));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("missing.ini"))));
}
