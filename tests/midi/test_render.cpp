// The bar step: play order with repeats, the corrections it makes to the song, bar times, and
// the notes of one bar as stream events.

#include "midistream.h"
#include "miditest.h"
#include "manualclock.h"
#include "velocity.h"

namespace {

// Each bar carries one note whose key names it, so play orders read as bar numbers.
CSong& Marked(CSong& s, uint32_t word2Flags = 0, uint32_t word1Flags = 0)
{
    s.Bar(4, 4, word2Flags, word1Flags);
    return s.Note(36, 0);
}

struct SOrderCase
{
    const char* name;
    std::function<void(CSong&)> build;
    std::vector<int> order;
    int messages;
};

class PlayOrder : public testing::TestWithParam<SOrderCase>
{
};

TEST_P(PlayOrder, RepeatsExpandInTheirOrder)
{
    CRecordingReport report;
    CScopedUserReport scope(&report);
    CSong s;
    GetParam().build(s);
    EXPECT_EQ(s.Midi().PlayOrder(), GetParam().order);
    EXPECT_EQ(report.m_messages.size(), GetParam().messages) << report.m_messages.join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Midi, PlayOrder, testing::Values(
    SOrderCase{"plain", [](CSong& s) { Marked(s); Marked(s); s.Close(); }, {1, 2}, 0},
    SOrderCase{"simple group", [](CSong& s) { Marked(s, kStart); Marked(s, kEnd); Marked(s); s.Close(); }, {1, 2, 1, 2, 3}, 0},
    SOrderCase{"two endings", [](CSong& s) {
        Marked(s, kStart); Marked(s); Marked(s, AltEnd(1)); Marked(s, AltEnd(2)); Marked(s); s.Close(); },
        {1, 2, 3, 1, 2, 4, 5}, 0},
    SOrderCase{"three endings", [](CSong& s) {
        Marked(s, kStart); Marked(s); Marked(s, AltEnd(1)); Marked(s, AltEnd(2)); Marked(s, AltEnd(3)); s.Close(); },
        {1, 2, 3, 1, 2, 4, 1, 2, 5}, 0},
    SOrderCase{"two-bar first ending", [](CSong& s) {
        Marked(s, kStart); Marked(s, AltEnd(1)); Marked(s); Marked(s, AltEnd(2)); Marked(s); s.Close(); },
        {1, 2, 3, 1, 4, 5}, 0},
    SOrderCase{"measure repeat of two", [](CSong& s) { Marked(s); Marked(s); s.RepeatPrev(2, 1); Marked(s); s.Close(); },
        {1, 2, 1, 2, 4}, 0},
    SOrderCase{"measure repeat three more times", [](CSong& s) { Marked(s); s.RepeatPrev(1, 3); s.Close(); },
        {1, 1, 1, 1}, 0},
    SOrderCase{"measure repeat reaching past the head", [](CSong& s) { Marked(s); s.RepeatPrev(4, 1); s.Close(); },
        {1, 1}, 0},
    SOrderCase{"measure repeat at the head plays nothing", [](CSong& s) { s.RepeatPrev(1, 1); Marked(s); s.Close(); },
        {2}, 0},
    SOrderCase{"group twice in a row", [](CSong& s) {
        Marked(s, kStart); Marked(s, kEnd); Marked(s, kStart); Marked(s, kEnd); s.Close(); },
        {1, 2, 1, 2, 3, 4, 3, 4}, 0},
    SOrderCase{"endings without a group start play in turn", [](CSong& s) {
        Marked(s); Marked(s, AltEnd(1)); Marked(s, AltEnd(2)); Marked(s); s.Close(); },
        {1, 2, 3, 4}, 0},
    SOrderCase{"end after an ending is removed", [](CSong& s) {
        Marked(s, kStart); Marked(s, AltEnd(1)); Marked(s, kEnd); Marked(s); s.Close(); },
        {1, 2, 3, 4}, 1},
    SOrderCase{"second marker right after a marker", [](CSong& s) {
        Marked(s); s.RepeatPrev(1, 1); s.RepeatPrev(1, 1); Marked(s); s.Close(); },
        {1, 1, 3, 4}, 1}),
    [](const testing::TestParamInfo<SOrderCase>& info) {
        std::string n = info.param.name;
        for (char& c : n)
            if (!isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return n;
    });

TEST(Render, AnEndAfterAnEndingIsReportedOnceAndClearedInTheSong)
{
    CRecordingReport report;
    CScopedUserReport scope(&report);
    CSong s;
    Marked(s, kStart);
    Marked(s, AltEnd(1));
    Marked(s, kEnd);
    s.Close();
    s.Midi().ComputeBarTimes();
    ASSERT_EQ(report.m_messages.size(), 1);
    EXPECT_EQ(report.m_messages[0], QStringLiteral("The repeat group end at bar 3 will cause an infinite loop. It has been removed automatically"));
    EXPECT_EQ(report.m_kinds[0], EReportKind::Warning); // repaired on the way
    EXPECT_FALSE(s.Measure(3).IsRepeatGroupEnd());
    s.Midi().ComputeBarTimes();
    s.Midi().CountMidiEvents();
    EXPECT_EQ(report.m_messages.size(), 1);
}

TEST(Render, AMarkerAfterAMarkerBecomesAFourFourBar)
{
    CRecordingReport report;
    CScopedUserReport scope(&report);
    CSong s;
    Marked(s);
    s.RepeatPrev(1, 1);
    AppendEvent(s.Events(), EventType::RepeatPrevMeasures, RepeatPrevWord(3, 5, 3, 4));
    s.Close();
    s.Midi().ComputeBarTimes();
    ASSERT_EQ(report.m_messages.size(), 1);
    EXPECT_EQ(report.m_messages[0], QStringLiteral("Cannot  repeat a measure inside another repeat measure. Repeat measure at bar 3 has been automatically removed"));
    const CEvent& converted = s.Measure(3);
    EXPECT_TRUE(converted.IsBar());
    EXPECT_EQ(converted.GetTimeSigNumerator(), 4u);
    EXPECT_EQ(converted.GetTimeSigDenominator(), 4u);
    // Its counts are gone rather than read as repeat marks.
    EXPECT_FALSE(converted.IsRepeatGroupStart());
    EXPECT_FALSE(converted.IsRepeatGroupEnd());
    EXPECT_EQ(converted.GetRepeatGroupAltEnd(), 0u);
}

TEST(Render, AMarkerThatWalksOverAnotherIsShortened)
{
    CRecordingReport report;
    CScopedUserReport scope(&report);
    CSong s;
    Marked(s);
    Marked(s);
    s.RepeatPrev(1, 1);
    Marked(s);
    s.RepeatPrev(3, 1);
    s.Close();
    // Start at the second marker, the way a play start marker can.
    CMidi& midi = s.Midi();
    midi.BeginPass(RENDER_COUNT);
    int total = 0;
    midi.m_barNumber = 5;
    EventPos next = midi.RenderBar(s.MeasurePos(5), total);
    EXPECT_EQ(next, s.MeasurePos(2)); // the walk still went back three bars (4, 2, 1): bar 1 was played
    ASSERT_EQ(report.m_messages.size(), 1);
    EXPECT_EQ(report.m_messages[0], QStringLiteral("Cannot  repeat a measure inside another repeat measure. Repeat measure at bar 5 has been automatically shortened"));
    EXPECT_EQ(s.Measure(5).GetRepeatPrevNMeasures(), 1u);
}

TEST(Render, AMarkerRightAfterAMarkerIsAnInternalProblem)
{
    CRecordingReport report;
    CScopedUserReport scope(&report);
    CSong s;
    Marked(s);
    s.RepeatPrev(1, 1);
    s.RepeatPrev(1, 1);
    s.Close();
    CMidi& midi = s.Midi();
    midi.BeginPass(RENDER_COUNT);
    int total = 0;
    EXPECT_EQ(midi.RenderBar(s.MeasurePos(3), total), s.Events().end());
    ASSERT_EQ(report.m_messages.size(), 1);
    EXPECT_EQ(report.m_messages[0], CUserReport::InternalProblemText("midi", 1409));
}

// ----- bar times --------------------------------------------------------------------------

TEST(Render, AFourFourBarAtOneTwentyLastsTwoSeconds)
{
    CSong s;
    s.Bar(4, 4, 0, TempoBits(120)).Note(36, 0).Bar().Close();
    s.Midi().ComputeBarTimes();
    EXPECT_EQ(s.Measure(1).GetRunTime2(), 0u);
    EXPECT_EQ(s.Measure(2).GetRunTime2(), 2000u);
    EXPECT_EQ(s.Measure(3).GetRunTime2(), 4000u);
    EXPECT_EQ(s.Measure(2).GetRunTime1(), 384u);
    // The timing pass fills the inherited tempo into the bars (their flag stays clear).
    EXPECT_EQ(s.Measure(2).GetTempo(), 0u);
    EXPECT_EQ((s.Measure(2).m_word1 & EventBits::TempoMask) >> EventBits::TempoShift, 120u);
}

TEST(Render, TheAudioSyncPointShiftsEveryBar)
{
    CSong s;
    s.Bar(4, 4, 0, TempoBits(120)).Bar().Close();
    s.m_doc.m_audioSync = 150;
    s.Midi().ComputeBarTimes();
    EXPECT_EQ(s.Measure(1).GetRunTime2(), 1500u);
    EXPECT_EQ(s.Measure(2).GetRunTime2(), 3500u);
}

TEST(Render, BarTimesFollowTempoAndTimeSignatureAndTruncatePerBar)
{
    CSong s;
    s.Bar(7, 8, 0, TempoBits(130)).Bar(7, 8).Bar(5, 4, 0, TempoBits(60)).Bar(3, 4).Close();
    s.Midi().ComputeBarTimes();
    EXPECT_EQ(s.Measure(2).GetRunTime2(), 1615u);        // 336 ticks at 130: 1615.38
    EXPECT_EQ(s.Measure(3).GetRunTime2(), 3230u);        // truncated bar by bar
    EXPECT_EQ(s.Measure(4).GetRunTime2(), 3230u + 5000); // 5/4 at 60
    EXPECT_EQ(s.Measure(5).GetRunTime2(), 8230u + 3000);
    EXPECT_EQ(s.Measure(5).GetRunTime1(), 336u * 2 + 480 + 288);
}

TEST(Render, RepeatedBarsKeepTheirFirstTime)
{
    CSong s;
    s.Bar(4, 4, kStart, TempoBits(120)).Note(36, 0);
    Marked(s, kEnd);
    Marked(s);
    s.Close();
    s.Midi().ComputeBarTimes();
    EXPECT_EQ(s.Measure(1).GetRunTime2(), 0u); // not the 4000 of its second play
    EXPECT_EQ(s.Measure(2).GetRunTime2(), 2000u);
    EXPECT_EQ(s.Measure(3).GetRunTime2(), 8000u);
    EXPECT_EQ(s.Measure(4).GetRunTime2(), 10000u);
}

TEST(Render, AMeasureRepeatStartsWhenItsRepeatDoes)
{
    CSong s;
    s.Bar(4, 4, 0, TempoBits(120)).Note(36, 0).Bar().Note(38, 0).RepeatPrev(2, 1).Bar().Note(42, 0).Close();
    s.Midi().ComputeBarTimes();
    EXPECT_EQ(s.Measure(3).GetRunTime2(), 4000u);
    EXPECT_EQ(s.Measure(4).GetRunTime2(), 8000u);
    EXPECT_EQ(s.Measure(4).GetRunTime1(), 4u * 384);
}

TEST(Render, FilesIgnoreWhatPlaybackLeftBehind)
{
    CSong s;
    Marked(s);
    Marked(s);
    Marked(s);
    s.Close();
    const QByteArray clean = s.Midi().MidiFileBytes();
    CMidi& midi = s.Midi();
    midi.m_loop = 1;
    midi.m_startNode = s.MeasurePos(2);
    midi.m_playEndMarker = s.MeasurePos(2);
    midi.m_playRange.m_type = 2;
    midi.m_playRange.m_endEventPos = std::next(s.Events().begin());
    midi.m_playRange.m_endBarPos = s.MeasurePos(2);
    EXPECT_EQ(midi.MidiFileBytes(), clean);
    EXPECT_EQ(midi.PlayOrder(), (std::vector<int>{1, 2, 3}));
}

TEST(Render, ALoopStartsItsRepeatsAfresh)
{
    CSong s;
    Marked(s, kStart);
    Marked(s);
    Marked(s, AltEnd(1));
    Marked(s, AltEnd(2));
    Marked(s);
    s.Close();
    CMidi& midi = s.Midi();
    midi.BeginPass(RENDER_PLAY);
    midi.m_loop = 1;
    midi.m_startNode = s.Events().begin();
    std::vector<int> order;
    int total = 0;
    EventPos node = s.Events().begin();
    // The closing bar renders nothing; the call after it wraps.
    for (int i = 0; i < 15; ++i) {
        node = midi.RenderBar(node, total);
        for (int n = 1; n <= 5; ++n)
            if (midi.m_streamBuffer.m_bar == &s.Measure(n))
                order.push_back(n);
    }
    midi.m_loop = 0;
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 1, 2, 4, 5, 1, 2, 3, 1, 2, 4, 5}));
}

TEST(Render, TheTimingPassWaitsWhileThePlayerRuns)
{
    CSong s;
    s.Bar(4, 4, 0, TempoBits(120)).Bar().Close();
    CMidi::SetPlayState(1);
    s.Midi().ComputeBarTimes();
    CMidi::SetPlayState(0);
    EXPECT_EQ(s.Measure(2).GetRunTime2(), 0u);
    s.Midi().ComputeBarTimes();
    EXPECT_EQ(s.Measure(2).GetRunTime2(), 2000u);
}

TEST(Render, APassThatNeverEndsIsReportedOncePerRun)
{
    CRecordingReport report;
    CScopedUserReport scope(&report);
    CSong s;
    s.Bar(4, 4, 0, TempoBits(120));
    for (int i = 0; i < 10010; ++i)
        s.Bar();
    s.Midi().ComputeBarTimes();
    ASSERT_EQ(report.m_messages.size(), 1);
    EXPECT_EQ(report.m_messages[0], QStringLiteral("There is an infinite loop around bar 10001. Please correct it to continue"));
    EXPECT_EQ(report.m_kinds[0], EReportKind::Error); // the song cannot be played to its end
    EXPECT_EQ(s.Measure(10001).GetRunTime2(), 10000u * 2000);
    EXPECT_EQ(s.Measure(10002).GetRunTime2(), 0u);
    s.Midi().ComputeBarTimes();
    EXPECT_EQ(report.m_messages.size(), 1);
}

TEST(Render, PatchesAreInheritedByLaterBars)
{
    CSong s;
    s.m_doc.m_trackType = TrackType::Guitar6;
    s.Bar(4, 4, 0, TempoBits(100) | PatchBits(30)).Bar().Bar(4, 4, 0, PatchBits(25)).Bar().Close();
    s.Midi().ComputeBarTimes();
    const auto stored = [&](int n) { return (s.Measure(n).m_word1 & EventBits::PatchMask) >> EventBits::PatchShift; };
    EXPECT_EQ(stored(2), 30u);
    EXPECT_EQ(stored(4), 25u);
    EXPECT_EQ(s.Measure(2).GetPatch(), 0u); // flag untouched
}

// ----- notes as stream events ---------------------------------------------------------------

struct SStream
{
    std::vector<SStreamEvent> events;
    int tempo = 0;
};

SStream RenderFirstBar(CSong& s)
{
    CMidi& midi = s.Midi();
    midi.ComputeBarTimes();
    midi.BeginPass(RENDER_PLAY);
    int total = 0;
    midi.RenderBar(s.Events().begin(), total);
    EXPECT_EQ(total, midi.m_writePos);
    return {midi.m_streamBuffer.m_events, midi.m_streamBuffer.m_tempo};
}

// delta:status:data1:data2 per short event, after the master volume.
QStringList Shorts(const SStream& st)
{
    QStringList out;
    for (size_t i = 1; i < st.events.size(); ++i) {
        const SStreamEvent& e = st.events[i];
        out << QStringLiteral("%1:%2:%3:%4").arg(e.m_delta).arg(e.m_bytes[0], 2, 16, QLatin1Char('0')).arg(e.m_bytes[1]).arg(e.m_bytes[2]);
    }
    return out;
}

int SumOfDeltas(const SStream& st)
{
    int t = 0;
    for (const SStreamEvent& e : st.events)
        t += int(e.m_delta);
    return t;
}

class Notes : public testing::Test
{
protected:
    void TearDown() override { DrumVolumes() = SDrumVolumes(); }
};

TEST_F(Notes, EveryStreamBarStartsWithTheMasterVolume)
{
    CSong s;
    s.Bar(4, 4, 0, TempoBits(135)).Close();
    const SStream st = RenderFirstBar(s);
    ASSERT_GE(st.events.size(), 1u);
    const SStreamEvent& v = st.events[0];
    EXPECT_TRUE(v.m_long);
    EXPECT_EQ(v.m_delta, 0u);
    EXPECT_EQ(v.m_bytes, (std::array<uint8_t, 8>{0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x7F, 0x7F, 0xF7}));
    EXPECT_EQ(st.tempo, 135);
    EXPECT_EQ(Shorts(st), QStringList{QStringLiteral("384:99:0:0")}); // an empty bar
    EXPECT_EQ(st.events[1].ShortWord(), 0x99u);
}

TEST_F(Notes, TheStreamTakesTheRenderedBar)
{
    CSong s;
    s.Bar(4, 4, 0, TempoBits(120)).Note(36, 0).Note(38, 96, EventBits::Accent).Close();
    CMidi& midi = s.Midi();
    midi.BeginPass(RENDER_PLAY);
    int total = 0;
    midi.RenderBar(s.Events().begin(), total);
    const std::vector<uint8_t> bytes = midi.m_streamBuffer.StreamBytes();
    ASSERT_EQ(bytes.size(), size_t(20 + 12 * 4));
    EXPECT_EQ(bytes[8 + 3], 0x80); // the long-event flag of the master volume
    EXPECT_EQ(bytes[12], 0xF0);

    CStreamCore core(1000.0);
    SMidiHeader header;
    header.m_pData = bytes.data();
    header.m_bufferLength = header.m_bytesRecorded = uint32_t(bytes.size());
    ASSERT_TRUE(core.Out(header));
    core.Restart();
    STimedMessage out[16];
    int count = 0;
    core.Advance(100000, out, 16, &count);
    ASSERT_EQ(count, 5);
    EXPECT_EQ(out[0].m_bytes[0], 0xF0);
    EXPECT_EQ(out[1].m_tick, 6);
    EXPECT_EQ(out[1].m_bytes[1], 36);
    EXPECT_EQ(out[3].m_tick, 102);
    EXPECT_EQ(out[3].m_bytes[2], 100);
    EXPECT_EQ(out[4].m_tick, 384);
}

TEST_F(Notes, VelocitiesFollowTheDrumGroupsAndReleasesFallOnTheGrid)
{
    CSong s;
    s.Bar(4, 4, 0, TempoBits(120))
        .Note(36, 0)
        .Note(38, 0, EventBits::Accent)
        .Note(42, 96, EventBits::Ghost)
        .Note(49, 200)
        .Note(46, 400) // beyond the bar: not rendered
        .Close();
    const SStream st = RenderFirstBar(s);
    EXPECT_EQ(Shorts(st), (QStringList{
                              QStringLiteral("6:99:36:70"),
                              QStringLiteral("0:99:38:100"),
                              QStringLiteral("90:99:36:0"), // released on the next grid position
                              QStringLiteral("0:99:38:0"),
                              QStringLiteral("6:99:42:50"),
                              QStringLiteral("98:99:42:0"),
                              QStringLiteral("6:99:49:70"),
                              QStringLiteral("178:99:49:0"), // the last release on the bar line
                          }));
    EXPECT_EQ(SumOfDeltas(st), 384);
}

TEST_F(Notes, AFlamPutsItsGraceNoteOnTheGrid)
{
    CSong s;
    s.Bar(4, 4, 0, TempoBits(120)).Note(38, 0, EventBits::FlamOrPM).Note(38, 96, EventBits::FlamOrPM).Note(36, 96, EventBits::FlamOrPM).Close();
    const SStream st = RenderFirstBar(s);
    EXPECT_EQ(Shorts(st), (QStringList{
                              QStringLiteral("0:99:38:35"),
                              QStringLiteral("6:99:38:70"),
                              QStringLiteral("90:99:38:0"),
                              QStringLiteral("0:99:38:35"),
                              QStringLiteral("6:99:38:70"),
                              QStringLiteral("0:99:36:70"), // same tick: no second flam
                              QStringLiteral("282:99:36:0"),
                              QStringLiteral("0:99:38:0"),
                          }));
}

TEST_F(Notes, FlamSettingsApply)
{
    DrumVolumes().m_flamGap = 3;
    DrumVolumes().m_flamPreVolume = 80;
    CSong s;
    s.Bar(4, 4, 0, TempoBits(120)).Note(38, 48, EventBits::FlamOrPM).Close();
    EXPECT_EQ(Shorts(RenderFirstBar(s)), (QStringList{QStringLiteral("48:99:38:56"), QStringLiteral("3:99:38:70"), QStringLiteral("333:99:38:0")}));
}

TEST_F(Notes, RestsKeepTheirTimeSilently)
{
    CSong s;
    s.Bar(4, 4, 0, TempoBits(120)).Rest(0).Note(36, 192).Close();
    const SStream st = RenderFirstBar(s);
    EXPECT_EQ(Shorts(st), (QStringList{QStringLiteral("6:99:0:0"), QStringLiteral("186:99:49:0"), QStringLiteral("6:99:36:70"),
                                       QStringLiteral("186:99:36:0")}));
}

TEST_F(Notes, PalmMuteSwitchesToTheMutedGuitarAndBack)
{
    CSong s;
    s.m_doc.m_trackType = TrackType::Guitar6;
    s.Bar(4, 4, 0, TempoBits(120) | PatchBits(30)).Note(52, 0, EventBits::FlamOrPM).Note(55, 96).Note(57, 192).Close();
    const SStream st = RenderFirstBar(s);
    EXPECT_EQ(Shorts(st), (QStringList{
                              QStringLiteral("0:c0:28:0"),
                              QStringLiteral("6:90:52:70"),
                              QStringLiteral("90:90:52:0"),
                              QStringLiteral("0:c0:30:0"),
                              QStringLiteral("6:90:55:70"),
                              QStringLiteral("90:90:55:0"),
                              QStringLiteral("6:90:57:70"), // no program change: already 30
                              QStringLiteral("186:90:57:0"),
                          }));
    EXPECT_EQ(st.events[1].m_length, 2);
}

TEST_F(Notes, GuitarVelocitiesComeFromThePatchRecordWithAFallback)
{
    GuitarVolumes().m_record[30 - 24] = {60, 110, 30, 70, 70};
    for (const auto& [patch, normal, accent, ghost] : std::vector<std::array<int, 4>>{{30, 60, 110, 30}, {80, 70, 100, 50}}) {
        CSong s;
        s.m_doc.m_trackType = TrackType::Bass4;
        s.Bar(4, 4, 0, TempoBits(120) | PatchBits(uint32_t(patch))).Note(40, 0).Note(41, 96, EventBits::Accent).Note(42, 192, EventBits::Ghost).Close();
        const SStream st = RenderFirstBar(s);
        std::vector<int> velocities;
        for (const SStreamEvent& e : st.events)
            if (!e.m_long && (e.m_bytes[0] & 0xF0) == 0x90 && e.m_bytes[2] > 0)
                velocities.push_back(e.m_bytes[2]);
        EXPECT_EQ(velocities, (std::vector<int>{normal, accent, ghost})) << "patch " << patch;
    }
    GuitarVolumes() = SGuitarVolumes();
}

TEST_F(Notes, NotesCloserThanTheFlamGapKeepTheBarLength)
{
    DrumVolumes().m_flamGap = 10;
    CRecordingReport report;
    CScopedUserReport scope(&report);
    CSong s;
    // Triplet 32nds 8 ticks apart, and a note on the bar line itself.
    s.Bar(4, 4, 0, TempoBits(120)).Note(42, 0, EventBits::Triplet).Note(42, 8, EventBits::Triplet).Note(42, 16, EventBits::Triplet).Note(36, 384);
    s.Bar().Note(38, 0).Close();
    CMidi& midi = s.Midi();
    midi.BeginPass(RENDER_PLAY);
    int total = 0;
    EventPos next = midi.RenderBar(s.Events().begin(), total);
    const int first = int(midi.m_streamBuffer.TotalTicks());
    midi.RenderBar(next, total);
    const int second = int(midi.m_streamBuffer.TotalTicks());
    EXPECT_EQ(first + second, 768);
    EXPECT_TRUE(report.m_messages.isEmpty());
    // Each note still sounds at its grid position plus the gap.
    std::vector<int> onTimes;
    int t = 0;
    midi.BeginPass(RENDER_PLAY);
    next = midi.RenderBar(s.Events().begin(), total);
    for (const SStreamEvent& e : midi.m_streamBuffer.m_events) {
        t += int(e.m_delta);
        if (!e.m_long && e.m_bytes[2] > 0)
            onTimes.push_back(t);
    }
    EXPECT_EQ(onTimes, (std::vector<int>{10, 18, 26, 394}));
}

TEST_F(Notes, ThePlayTwinStopsAtTheEndOfARange)
{
    CSong s;
    s.Bar(4, 4, 0, TempoBits(120)).Note(36, 0).Note(38, 96).Note(42, 192);
    s.Bar().Note(36, 0).Close();
    CMidi& midi = s.Midi();
    midi.m_playRange.m_type = 2;
    midi.m_playRange.m_endEventPos = std::next(s.Events().begin(), 2); // the snare
    midi.m_playRange.m_endBarPos = s.MeasurePos(2);
    midi.BeginPass(RENDER_PLAY);
    int total = 0;
    EXPECT_EQ(midi.RenderBar(s.Events().begin(), total), s.Events().end());
    int struck = 0;
    for (const SStreamEvent& e : midi.m_streamBuffer.m_events)
        struck += !e.m_long && e.m_bytes[2] > 0;
    EXPECT_EQ(struck, 2);
    EXPECT_EQ(midi.m_streamBuffer.TotalTicks(), 384u);

    // Looping wraps the end of the range back to the start.
    midi.m_loop = 1;
    midi.m_startNode = s.Events().begin();
    EXPECT_EQ(midi.RenderBar(s.MeasurePos(2), total), s.Events().end());
    EXPECT_EQ(midi.m_streamBuffer.m_bar, &s.Measure(1));
}

TEST_F(Notes, ThePlayEndMarkerStopsPlayback)
{
    CSong s;
    Marked(s);
    Marked(s);
    Marked(s);
    s.Close();
    CMidi& midi = s.Midi();
    midi.m_playEndMarker = s.MeasurePos(3);
    midi.BeginPass(RENDER_PLAY);
    int total = 0;
    EventPos next = midi.RenderBar(s.Events().begin(), total);
    EXPECT_EQ(next, s.MeasurePos(2));
    EXPECT_EQ(midi.RenderBar(next, total), s.Events().end());
}

TEST_F(Notes, ADenseBarGrowsTheStreamBufferWithAReport)
{
    CRecordingReport report;
    CScopedUserReport scope(&report);
    CSong s;
    s.Bar(4, 4, 0, TempoBits(120));
    for (uint32_t pos = 0; pos < 384; pos += 12)
        s.Note(42, pos).Note(38, pos).Note(36, pos);
    s.Close();
    CMidi& midi = s.Midi();
    midi.m_capacity = 0;
    midi.BeginPass(RENDER_PLAY);
    int total = 0;
    midi.RenderBar(s.Events().begin(), total);
    EXPECT_EQ(midi.m_streamBuffer.m_events.size(), 1u + 32 * 6);
    EXPECT_GT(midi.m_capacity, midi.m_writePos);
    ASSERT_FALSE(report.m_messages.isEmpty());
    EXPECT_EQ(report.m_messages[0], CUserReport::InternalProblemText("midi", 1210));
}

TEST(Render, CountingGivesFivePerBarAndOnePerShortEvent)
{
    CSong s;
    s.Bar(4, 4, 0, TempoBits(120)).Bar().Close();
    EXPECT_EQ(s.Midi().CountMidiEvents(), 5 + 1 + 5 + 1 + 5);
    CSong g;
    g.m_doc.m_trackType = TrackType::Guitar6;
    g.Bar(4, 4, 0, TempoBits(120) | PatchBits(27)).Note(40, 0).Note(45, 0).Close();
    EXPECT_EQ(g.Midi().CountMidiEvents(), 5 + 1 + 2 + 2 + 5); // program, two notes, two releases
}

} // namespace
