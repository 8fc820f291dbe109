// The practice click and the count-in: where the clicks fall in a written file and in
// playback (on the manual clock), the beats of each meter, the recording's start against a
// count-in, and that with both off a written file is byte for byte what it always was.

#include "manualclock.h"
#include "miditest.h"
#include "midistream.h"

#include <QTemporaryDir>

#include <cmath>

namespace {

constexpr int kClickOn = 0x99; // note-on, MIDI channel 10

struct SClickGuard
{
    SClickOptions saved = ClickOptions();
    SClickGuard(bool click, bool countIn) { ClickOptions() = SClickOptions{click, countIn}; }
    ~SClickGuard() { ClickOptions() = saved; }
};

struct SOn
{
    int tick;
    int status;
    int note;
    int velocity;
};

// The note-ons of a written file and its time signatures, walking the track ourselves (every
// event carries its own status byte); seconds() follows the tempo events.
struct SParsed
{
    std::vector<SOn> ons;
    std::vector<std::pair<int, int>> timeSigs; // tick, numerator
    std::vector<std::pair<int, int>> tempi;    // tick, microseconds per quarter

    double Seconds(int tick) const
    {
        double s = 0;
        int at = 0;
        int usecs = 500000;
        for (const auto& [t, u] : tempi) {
            if (t >= tick)
                break;
            s += (t - at) * usecs / 96e6;
            at = t;
            usecs = u;
        }
        return s + (tick - at) * usecs / 96e6;
    }
    // Sounding clicks (onsets) in time order.
    std::vector<SOn> Clicks() const
    {
        std::vector<SOn> out;
        for (const SOn& o : ons)
            if (o.status == kClickOn && (o.note == Click::kAccentNote || o.note == Click::kBeatNote) && o.velocity > 0)
                out.push_back(o);
        return out;
    }
    int ClickReleases() const
    {
        int n = 0;
        for (const SOn& o : ons)
            n += o.status == kClickOn && (o.note == Click::kAccentNote || o.note == Click::kBeatNote) && o.velocity == 0;
        return n;
    }
    // The song's own sounding notes (everything but clicks).
    std::vector<SOn> SongNotes() const
    {
        std::vector<SOn> out;
        for (const SOn& o : ons)
            if (o.velocity > 0 && !(o.status == kClickOn && (o.note == Click::kAccentNote || o.note == Click::kBeatNote)))
                out.push_back(o);
        return out;
    }
};

SParsed Parse(const QByteArray& file)
{
    SParsed p;
    int pos = 22;
    int tick = 0;
    const auto byte = [&](int i) { return i < file.size() ? uint8_t(file[i]) : uint8_t(0); };
    const auto varLen = [&] {
        int v = 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t b = byte(pos++);
            v = (v << 7) | (b & 0x7F);
            if (!(b & 0x80))
                break;
        }
        return v;
    };
    while (pos < file.size()) {
        tick += varLen();
        const uint8_t status = byte(pos++);
        if (status == 0xFF) {
            const uint8_t type = byte(pos++);
            const int length = varLen();
            if (type == 0x58)
                p.timeSigs.push_back({tick, byte(pos)});
            if (type == 0x51)
                p.tempi.push_back({tick, byte(pos) << 16 | byte(pos + 1) << 8 | byte(pos + 2)});
            pos += length;
        } else if ((status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0) {
            pos += 1;
        } else {
            if ((status & 0xF0) == 0x90)
                p.ons.push_back({tick, status, byte(pos), byte(pos + 1)});
            pos += 2;
        }
    }
    return p;
}

// Bars of hi-hat eighths; the first at `tempo`.
void EighthsSong(CSong& s, const std::vector<std::pair<int, int>>& meters, int tempo = 120)
{
    for (size_t i = 0; i < meters.size(); ++i) {
        s.Bar(uint32_t(meters[i].first), uint32_t(meters[i].second), 0, i == 0 ? TempoBits(uint32_t(tempo)) : 0);
        const int ticks = meters[i].first * 384 / meters[i].second;
        for (int t = 0; t < ticks; t += 48)
            s.Note(42, uint32_t(t));
    }
    s.Close();
    s.Midi().ComputeBarTimes();
}

std::vector<double> ClickSeconds(const SParsed& p)
{
    std::vector<double> out;
    for (const SOn& o : p.Clicks())
        out.push_back(p.Seconds(o.tick));
    return out;
}

void ExpectTimes(const std::vector<double>& got, const std::vector<double>& want, double tolerance)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_NEAR(got[i], want[i], tolerance) << "click " << i;
}

} // namespace

// ----- written files ---------------------------------------------------------------------

TEST(ClickFile, ClicksFallOnTheBeatsAndLeaveTheSongAlone)
{
    CSong s;
    EighthsSong(s, {{4, 4}});
    const SParsed plain = Parse(s.Midi().MidiFileBytes());
    SParsed clicked;
    {
        SClickGuard on(true, false);
        clicked = Parse(s.Midi().MidiFileBytes());
    }
    ExpectTimes(ClickSeconds(clicked), {0.0, 0.5, 1.0, 1.5}, 0.002);
    const std::vector<SOn> clicks = clicked.Clicks();
    EXPECT_EQ(clicks[0].note, Click::kAccentNote);
    for (size_t i = 1; i < clicks.size(); ++i)
        EXPECT_EQ(clicks[i].note, Click::kBeatNote);
    EXPECT_EQ(clicked.ClickReleases(), 4) << "every click is released";
    EXPECT_TRUE(plain.Clicks().empty());

    // The song's notes keep their ticks, and the file its end.
    ASSERT_EQ(clicked.SongNotes().size(), plain.SongNotes().size());
    for (size_t i = 0; i < plain.SongNotes().size(); ++i)
        EXPECT_EQ(clicked.SongNotes()[i].tick, plain.SongNotes()[i].tick);
    EXPECT_EQ(clicked.ons.back().tick, plain.ons.back().tick);
}

TEST(ClickFile, EachBarClicksInItsOwnMeter)
{
    CSong s;
    EighthsSong(s, {{4, 4}, {6, 8}, {7, 8}, {3, 4}});
    SClickGuard on(true, false);
    const SParsed p = Parse(s.Midi().MidiFileBytes());
    std::vector<int> ticks;
    std::vector<int> accents;
    for (const SOn& o : p.Clicks()) {
        ticks.push_back(o.tick);
        if (o.note == Click::kAccentNote)
            accents.push_back(o.tick);
    }
    // 4/4 quarters; 6/8 two dotted quarters; 7/8 as 2+2+3 eighths; 3/4 quarters.
    EXPECT_EQ(ticks, (std::vector<int>{0, 96, 192, 288, 384, 528, 672, 768, 864, 1008, 1104, 1200}));
    EXPECT_EQ(accents, (std::vector<int>{0, 384, 672, 1008}));
}

TEST(ClickFile, ACountInPlaysOneBarOfTheFirstMeterBeforeTheSong)
{
    for (const auto& [meter, barSeconds, clicks] :
         std::vector<std::tuple<std::pair<int, int>, double, std::vector<double>>>{
             {{4, 4}, 2.0, {0.0, 0.5, 1.0, 1.5}}, {{6, 8}, 1.5, {0.0, 0.75}}}) {
        SCOPED_TRACE(meter.first);
        CSong s;
        EighthsSong(s, {meter, {4, 4}});
        const SParsed plain = Parse(s.Midi().MidiFileBytes());
        SParsed counted;
        {
            SClickGuard countIn(false, true); // the count-in sounds even with the click off
            counted = Parse(s.Midi().MidiFileBytes());
        }
        ExpectTimes(ClickSeconds(counted), clicks, 0.002);
        const SOn first = counted.SongNotes().front();
        EXPECT_NEAR(counted.Seconds(first.tick) - plain.Seconds(plain.SongNotes().front().tick), barSeconds, 0.002);
        ASSERT_FALSE(counted.timeSigs.empty());
        EXPECT_EQ(counted.timeSigs.front(), std::make_pair(0, meter.first)) << "the count-in bar carries its meter";
        EXPECT_EQ(counted.SongNotes().size(), plain.SongNotes().size());
    }
}

TEST(ClickFile, ClickAndCountInTogetherAndTheCountingPassAgrees)
{
    CSong s;
    EighthsSong(s, {{4, 4}, {4, 4}});
    SClickGuard both(true, true);
    const SParsed p = Parse(s.Midi().MidiFileBytes());
    std::vector<double> want;
    for (int i = 0; i < 12; ++i)
        want.push_back(i * 0.5);
    ExpectTimes(ClickSeconds(p), want, 0.002);
    // The counting pass counts what the file holds: 5 per bar (the count-in and the closing
    // bar are bars too) plus one per short event (not the two controllers of the header).
    const int shortEvents = int(p.ons.size());
    EXPECT_EQ(s.Midi().CountMidiEvents(), 5 * 4 + shortEvents);
}

TEST(ClickFile, OffTheFileIsByteForByteWhatItWas)
{
    EXPECT_EQ(SClickOptions{}, (SClickOptions{false, false})) << "off by default";
    QTemporaryDir dir;
    for (const QString& name : {QStringLiteral("funk_ghosts_accents"), QStringLiteral("shuffle_triplets"),
                               QStringLiteral("compound_six_eight")}) {
        SCOPED_TRACE(name.toStdString());
        const QString out = dir.filePath(name + QStringLiteral(".mid"));
        const SRunResult r = RunCli({QStringLiteral("convert"), FixturesDir() + QStringLiteral("/tabs/") + name + QStringLiteral(".txt"), out},
                                    dir.filePath(QStringLiteral("settings.ini")));
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(ReadAll(out), ReadAll(FixturesDir() + QStringLiteral("/midi/export/") + name + QStringLiteral(".mid")));
    }
}

TEST(ClickFile, TheCliOptionsWriteClicksAReaderAccepts)
{
    QTemporaryDir dir;
    const QString in = FixturesDir() + QStringLiteral("/tabs/simple_beat.txt");
    const QString plain = dir.filePath(QStringLiteral("plain.mid"));
    const QString clicked = dir.filePath(QStringLiteral("click.mid"));
    ASSERT_EQ(RunCli({QStringLiteral("convert"), in, plain}).exitCode, 0);
    const SRunResult r = RunCli({QStringLiteral("convert"), in, clicked, QStringLiteral("--click"), QStringLiteral("--count-in")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const SMidoFile a = ReadWithMido(plain);
    const SMidoFile b = ReadWithMido(clicked);
    ASSERT_TRUE(a.ok && b.ok) << b.error.toStdString();
    int clicks = 0;
    for (const SMidoEvent& e : b.Struck())
        clicks += e.channel == 9 && (e.a == Click::kAccentNote || e.a == Click::kBeatNote);
    EXPECT_EQ(clicks, 12) << "a count-in bar and two bars of 4/4";
    // The song's first note comes one 4/4 bar (384 ticks) later.
    const auto firstSongNote = [](const SMidoFile& f) {
        for (const SMidoEvent& e : f.Struck())
            if (!(e.channel == 9 && (e.a == Click::kAccentNote || e.a == Click::kBeatNote)))
                return e.time;
        return -1;
    };
    EXPECT_EQ(firstSongNote(b) - firstSongNote(a), 384);
    EXPECT_EQ(b.Struck()[0].time, 0);
    EXPECT_TRUE(RunCli({QStringLiteral("--help")}).out.contains("--count-in"));
}

TEST(ClickBeats, EveryMeterBeatsSensibly)
{
    using V = std::vector<int>;
    EXPECT_EQ(Click::BeatOffsets(4, 4, 384), (V{0, 96, 192, 288}));
    EXPECT_EQ(Click::BeatOffsets(2, 2, 384), (V{0, 192}));
    EXPECT_EQ(Click::BeatOffsets(5, 4, 480), (V{0, 96, 192, 288, 384}));
    EXPECT_EQ(Click::BeatOffsets(6, 8, 288), (V{0, 144}));
    EXPECT_EQ(Click::BeatOffsets(9, 8, 432), (V{0, 144, 288}));
    EXPECT_EQ(Click::BeatOffsets(12, 8, 576), (V{0, 144, 288, 432}));
    EXPECT_EQ(Click::BeatOffsets(7, 8, 336), (V{0, 96, 192}));
    EXPECT_EQ(Click::BeatOffsets(5, 8, 240), (V{0, 96}));
    EXPECT_EQ(Click::BeatOffsets(3, 8, 144), (V{0, 48, 96}));
    EXPECT_EQ(Click::BeatOffsets(7, 16, 168), (V{0, 48, 96}));
    EXPECT_EQ(Click::BeatOffsets(6, 16, 144), (V{0, 72}));
    EXPECT_EQ(Click::BeatOffsets(4, 4, 0), V{});
}

// ----- playback ----------------------------------------------------------------------------

namespace {
class CClickHost : public CPlayerHost
{
public:
    int CurrentPlayTempo() const override { return m_playTempo; }
    void NotifyOverlay(int code, int msecs) override { m_overlay.push_back({code, msecs, m_now ? *m_now : 0}); }
    struct SCall
    {
        int code, msecs;
        int64_t at;
    };
    int m_playTempo = 0;
    const int64_t* m_now = nullptr;
    std::vector<SCall> m_overlay;
};

struct CClickPlay : ::testing::Test
{
    CRecordingReport report;
    CScopedUserReport scoped{&report};
    CClickHost host;
    CSong song;
    int64_t now = 0;
    std::vector<std::pair<int64_t, int>> clicks; // frame (ms), key
    std::vector<int64_t> notes;                   // frames of the song's notes

    void SetUp() override
    {
        host.m_now = &now;
        PlayerHost::Set(&host);
        MidiStreams::SetOpener([](int) { return std::make_unique<CManualClockStream>(1000.0); });
    }
    void TearDown() override
    {
        song.Midi().Stop();
        while (CMidi::GetPlayState() != 0 && song.Midi().PollPlayer() >= 0) {
        }
        PlayerHost::Set(nullptr);
        MidiStreams::SetOpener({});
    }
    CManualClockStream* Clock() { return static_cast<CManualClockStream*>(CMidi::PlayerStream()); }
    // Moves the clock on by ms, polling every 50 ms like the view.
    void Run(int64_t ms)
    {
        for (int64_t i = 0; i < ms; ++i) {
            if (CManualClockStream* c = Clock()) {
                c->Advance(1);
                for (const auto& p : c->Played()) {
                    if (p.m_bytes.size() != 3 || (p.m_bytes[0] & 0xF0) != 0x90 || !p.m_bytes[2])
                        continue;
                    if (p.m_bytes[0] == kClickOn && (p.m_bytes[1] == Click::kAccentNote || p.m_bytes[1] == Click::kBeatNote))
                        clicks.push_back({now, p.m_bytes[1]});
                    else
                        notes.push_back(now);
                }
                c->ClearPlayed();
            }
            ++now;
            if (now % 50 == 0)
                song.Midi().PollPlayer();
        }
    }
    std::vector<int64_t> ClickFrames(int key = 0) const
    {
        std::vector<int64_t> out;
        for (const auto& [f, k] : clicks)
            if (!key || k == key)
                out.push_back(f);
        return out;
    }
};

void ExpectFrames(const std::vector<int64_t>& got, const std::vector<int64_t>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_NEAR(double(got[i]), double(want[i]), 2.0) << "event " << i;
}
} // namespace

TEST_F(CClickPlay, TheCountInComesFirstAndThePositionWaitsForTheSong)
{
    EighthsSong(song, {{4, 4}, {4, 4}});
    std::vector<int64_t> plainNotes;
    {
        SClickGuard off(false, false);
        ASSERT_TRUE(song.Midi().Play(0, SPlayRange{}, false, false));
        Run(4500);
        plainNotes = notes;
        EXPECT_TRUE(clicks.empty());
    }
    ASSERT_EQ(CMidi::GetPlayState(), 0);
    notes.clear();
    SClickGuard both(true, true);
    const int64_t start = now;
    ASSERT_TRUE(song.Midi().Play(0, SPlayRange{}, false, false));
    Run(1000);
    EXPECT_EQ(song.Midi().GetPlayPosition(), 0) << "the count-in holds the cursor at the first bar";
    Run(1500); // 2500 ms in: 500 ms into the song
    EXPECT_NEAR(double(song.Midi().GetPlayPosition()), 96.0, 2.0);
    Run(4000);
    std::vector<int64_t> want;
    for (int i = 0; i < 12; ++i)
        want.push_back(start + i * 500);
    ExpectFrames(ClickFrames(), want);
    ExpectFrames(ClickFrames(Click::kAccentNote), {start, start + 2000, start + 4000});
    // Every note of the song sounds exactly one bar (2.0 s) later than without the count-in.
    ASSERT_EQ(notes.size(), plainNotes.size());
    for (size_t i = 0; i < notes.size(); ++i)
        EXPECT_NEAR(double(notes[i] - start), double(plainNotes[i] + 2000), 2.0);
}

TEST_F(CClickPlay, TheClickFollowsThePlayTempoAndALoopCountsInOnce)
{
    EighthsSong(song, {{4, 4}});
    SClickGuard both(true, true);
    host.m_playTempo = 60; // slower practice: a second a beat
    ASSERT_TRUE(song.Midi().Play(0, SPlayRange{}, true, false));
    Run(12500);
    // Count-in 0-4 s, then the one bar over and over without another count-in.
    ExpectFrames(ClickFrames(Click::kAccentNote), {0, 4000, 8000, 12000});
    EXPECT_EQ(ClickFrames().size(), 13u);
    ASSERT_FALSE(notes.empty());
    EXPECT_NEAR(double(notes.front()), 4000 + 62.5, 2.0); // the first note a flam gap after the bar line
    EXPECT_EQ(std::count_if(notes.begin(), notes.end(), [](int64_t f) { return f >= 8000 && f < 8100; }), 1)
        << "the loop's second pass starts at 8 s";
}

TEST_F(CClickPlay, TheRecordingKeepsItsPlaceAgainstTheSong)
{
    EighthsSong(song, {{4, 4}, {4, 4}});
    SClickGuard countIn(false, true);

    // The recording has 3 s before the first bar: the count-in plays its last two seconds.
    song.m_doc.m_audioSync = 300;
    song.Midi().ComputeBarTimes();
    ASSERT_TRUE(song.Midi().Play(0, SPlayRange{}, false, false));
    ASSERT_EQ(host.m_overlay.size(), 1u);
    EXPECT_EQ(host.m_overlay[0].code, 1);
    EXPECT_EQ(host.m_overlay[0].msecs, 1000);
    song.Midi().Stop();
    while (CMidi::GetPlayState() != 0 && song.Midi().PollPlayer() >= 0) {
    }

    // Only half a second before the first bar: the recording waits 1.5 s, then starts at 0.
    host.m_overlay.clear();
    song.m_doc.m_audioSync = 50;
    song.Midi().ComputeBarTimes();
    const int64_t start = now;
    ASSERT_TRUE(song.Midi().Play(0, SPlayRange{}, false, false));
    Run(1400);
    EXPECT_TRUE(std::none_of(host.m_overlay.begin(), host.m_overlay.end(), [](const auto& c) { return c.code == 1; }));
    Run(200);
    ASSERT_EQ(host.m_overlay.size(), 1u);
    EXPECT_EQ(host.m_overlay[0].code, 1);
    // Started as if at its 0 ms when the stream was 1.5 s in (the stream tells its place in
    // ticks: within one tick, 5.2 ms), however late the poll came.
    EXPECT_NEAR(double(host.m_overlay[0].at - start - host.m_overlay[0].msecs), 1500.0, 6.0);
    EXPECT_LE(host.m_overlay[0].msecs, 50);
}
