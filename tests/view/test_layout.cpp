// Layout geometry: widths, systems, pages, the stored geometry words and the hit tests.

#include "importtext.h"
#include "trackrender.h"
#include "viewtest.h"

#include <QImage>
#include <QPainter>

#include <climits>

namespace {

using Geometry = ViewTest;

TEST_F(Geometry, BarWidthsFollowTheTimeSignatureAndItsDisplay)
{
    Song().Bar(4, 4).Bar(4, 4).Bar(7, 8).Bar(7, 8).Bar(6, 16).RepeatPrev(9, 1).RepeatPrev(2, 1).Close();
    Layout(4000);
    EXPECT_EQ(Bar(1).width, 298); // shows 4/4
    EXPECT_EQ(Bar(2).width, 276);
    EXPECT_EQ(Bar(3).width, 266); // shows 7/8
    EXPECT_EQ(Bar(4).width, 244);
    EXPECT_EQ(Bar(5).width, 6 * 64 / 4 + 32 + 10);
    EXPECT_EQ(Bar(6).width, 102); // repeats 9 measures: 60 + 7 * 6
    EXPECT_EQ(Bar(7).width, 74);
    // Bars follow each other on the line.
    for (int n = 2; n <= 8; ++n)
        EXPECT_EQ(Bar(n).x, Bar(n - 1).x + Bar(n - 1).width) << n;
}

TEST_F(Geometry, TimeSignatureShownOnlyWhereItChanges)
{
    Song().Bar(4, 4).Bar(4, 4).Bar(3, 4).RepeatPrev(1, 1).Bar(3, 4).Bar(4, 4).Close();
    // A stale bit from an earlier pass must not survive.
    m_doc.Events().front().m_word2 &= ~EventBits::TimeSigShown;
    std::next(m_doc.Events().begin())->m_word2 |= EventBits::TimeSigShown;
    Layout();
    // The measure repeat carries 4/4, so the 3/4 after it is shown again.
    const bool expected[] = {true, false, true, false, true, true, false};
    for (int n = 1; n <= 7; ++n) {
        if (BarEvent(n).IsBar()) {
            EXPECT_EQ(bool(BarEvent(n).m_word2 & EventBits::TimeSigShown), expected[n - 1]) << n;
        }
    }
}

struct SBreakCase
{
    int width;
    int systemsOfBar2; // 1: on the first line, 2: starts the second
};

class LineBreak : public ViewTest, public testing::WithParamInterface<SBreakCase>
{
};

TEST_P(LineBreak, ABarMayEndExactlyFiveUnitsBeforeTheEdge)
{
    Song().Bar().Bar().Close();
    Layout(GetParam().width);
    // Bar 1 runs from 80 to 378 and bar 2 to 654.
    const bool newSystem = GetParam().systemsOfBar2 == 2;
    EXPECT_EQ(Bar(2).systemStart, newSystem);
    EXPECT_EQ(Bar(2).x, newSystem ? 80 : 378);
    EXPECT_EQ(Bar(2).staffTop > Bar(1).staffTop, newSystem);
}

INSTANTIATE_TEST_SUITE_P(Edges, LineBreak,
                         testing::Values(SBreakCase{659, 1}, SBreakCase{658, 2}, SBreakCase{2000, 1}));

TEST_F(Geometry, GeometryWordsHoldPositionAndRows)
{
    Song().RockBar().RockBar().Close();
    QSize size;
    Layout(1200, EDisplayMode::Edit, &size);
    const CEvent& first = BarEvent(1);
    // Header "Song:" is one line of 21; the first system starts 10 below it, the staff 93
    // lower. Edit shows Standard, 8 drum tab rows and the count row.
    EXPECT_EQ(first.GetLayoutPos(), (80u << 20) | 124u);
    EXPECT_EQ(Bar(1).T, 98);
    EXPECT_EQ(Bar(1).B, 98 + 12 * 7);
    EXPECT_EQ(Bar(1).S, 98 + 12 * 7 + 8 + 26);
    EXPECT_TRUE(Bar(1).systemStart);
    EXPECT_TRUE(Bar(1).pageStart);
    EXPECT_FALSE(Bar(2).systemStart);
    EXPECT_EQ(Track().m_headerHeight, 21);
    // Widest bar end (+10) and the bottom of the last system (+10 on screen).
    EXPECT_EQ(size.width(), Bar(3).x + 276 + 10);
    EXPECT_EQ(size.height(), 124 + Bar(1).S + 10);
}

TEST_F(Geometry, RowsFollowTheMode)
{
    CDisplayConfig& cfg = DisplayConfig();
    cfg.SetRows(EDisplayMode::Edit, {false, true, false, true});
    Song().RockBar().Close();
    Layout();
    EXPECT_EQ(Bar(1).staffTop, 21 + 10 + 35);
    EXPECT_EQ(Bar(1).T, 25);
    EXPECT_EQ(Bar(1).B, 25 + 12 * 7);
    // Playback by default: Standard and Count.
    Layout(1200, EDisplayMode::Playback);
    EXPECT_EQ(Bar(1).staffTop, 21 + 10 + 93);
    EXPECT_EQ(Bar(1).B, 98);
    EXPECT_EQ(Bar(1).S, 98 + 8 + 26);
    // Print by default: Standard only, lines start at 40.
    Layout(1200, EDisplayMode::Print);
    EXPECT_EQ(Bar(1).S, 98 + 8);
    EXPECT_EQ(Bar(1).x, 40);
}

TEST_F(Geometry, TabStaffFormatDecidesTheDrumRows)
{
    Song().RockBar().Close();
    SDrawTarget target;
    target.tabFormat = {false, false, false}; // Cymbals, Toms, Snare, Bass
    Track().Draw(target);
    EXPECT_EQ(Bar(1).B - Bar(1).T, 12 * 3);
    target.tabFormat = {true, true, true}; // 2 + 3 + 6 + 2
    Track().Draw(target);
    EXPECT_EQ(Bar(1).B - Bar(1).T, 12 * 12);
}

TEST_F(Geometry, AKeyOfAHiddenRowSwitchesTheRowOnBeforeCounting)
{
    Song().Bar().Note(60, 0).Note(36, 0).Close(); // a bongo, with the percussion lines off
    SDrawTarget target;
    target.tabFormat = {false, false, false};
    Track().Draw(target);
    EXPECT_EQ(Bar(1).B - Bar(1).T, 12 * 4);
    EXPECT_TRUE(TabLines::IsShown(1));
}

TEST_F(Geometry, GuitarTracksHaveOneTabRowPerString)
{
    m_doc.m_trackType = TrackType::Guitar7;
    Song().Bar().Note(64, 0).Close();
    Layout();
    EXPECT_EQ(Bar(1).B - Bar(1).T, 12 * 6);
    m_doc.m_trackType = TrackType::Bass4;
    Layout();
    EXPECT_EQ(Bar(1).B - Bar(1).T, 12 * 3);
}

TEST_F(Geometry, UserLineAndPageBreaks)
{
    Song().Bar().Bar(4, 4, EventBits::NewLine).Bar().Bar(4, 4, EventBits::NewPage).Close();
    const int pages = Layout(3000, EDisplayMode::Print);
    EXPECT_FALSE(Bar(2).pageStart);
    EXPECT_TRUE(Bar(2).systemStart);
    EXPECT_FALSE(Bar(3).systemStart);
    EXPECT_TRUE(Bar(4).systemStart);
    EXPECT_TRUE(Bar(4).pageStart);
    EXPECT_EQ(pages, 2);
    // The layout bits are cleared and set again on every pass.
    std::prev(m_doc.Events().end())->m_word1 |= EventBits::LayoutPageStart;
    Layout(3000, EDisplayMode::Print);
    EXPECT_FALSE(Bar(5).pageStart);
}

TEST_F(Geometry, PagesFillToTheUsablePageHeight)
{
    CSongBuilder song = Song();
    for (int i = 0; i < 40; ++i)
        song.Bar();
    song.Close();
    // Print: width 0.75 * 2000 - 88 - 88 = 1324, four bars a line from x = 40; systems of
    // 93 + 106 units on a usable height of 2000 - 110 - 110 = 1780 after the 31 of the header:
    // eight systems a page.
    const int pages = Layout(0, EDisplayMode::Print);
    EXPECT_EQ(pages, 2);
    for (int n = 1; n <= 41; ++n) {
        EXPECT_EQ(Bar(n).systemStart, (n - 1) % 4 == 0) << n;
        EXPECT_EQ(Bar(n).pageStart, n == 1 || n == 33) << n;
    }
    EXPECT_EQ(Bar(5).staffTop - Bar(1).staffTop, 199);
    // A larger print (smaller size value) fits fewer systems.
    DisplayConfig().m_printSize = 1000;
    EXPECT_GT(Layout(0, EDisplayMode::Print), 2);
}

TEST_F(Geometry, PrintingAPageRestartsItsFirstSystemAtTheTop)
{
    CSongBuilder song = Song();
    for (int i = 0; i < 40; ++i)
        song.Bar();
    song.Close();
    SDrawTarget target;
    target.printing = true;
    target.page = 2;
    QImage image(100, 100, QImage::Format_RGB32);
    QPainter painter(&image);
    target.painter = &painter;
    Track().Draw(target);
    EXPECT_EQ(Bar(33).staffTop, 93);
    EXPECT_EQ(Bar(37).staffTop, 93 + 199);
}

TEST_F(Geometry, BogusEventsAreRemoved)
{
    Song().At(38, 0).At(38, 12).Bar().At(42, 384).At(42, 385).Bar(3, 4).At(36, 288).At(36, 289).Close();
    Layout();
    std::vector<std::pair<int, uint32_t>> left;
    for (const auto& ev : m_doc.Events())
        if (!ev.IsMeasure())
            left.emplace_back(int(ev.GetEventType()), ev.GetPosition());
    // Before the first bar only position 0 fits; a note at the bar's length survives.
    const std::vector<std::pair<int, uint32_t>> expected = {{38, 0}, {42, 384}, {36, 288}};
    EXPECT_EQ(left, expected);
}

TEST_F(Geometry, SupersizeHalvesTheLineWidthOnScreen)
{
    CSongBuilder song = Song();
    for (int i = 0; i < 8; ++i)
        song.Bar();
    song.Close();
    auto systems = [&] {
        int n = 0;
        for (const auto& ev : m_doc.Events())
            n += bool(ev.m_word1 & EventBits::LayoutLineStart);
        return n;
    };
    QImage image(1200, 800, QImage::Format_RGB32);
    QPainter painter(&image);
    const QSize normal = PaintView(m_doc, painter, 1200, QRect(0, 0, 1200, 800));
    EXPECT_EQ(systems(), 3); // 4 + 4 + the closing bar
    EXPECT_EQ(normal.width(), int(m_doc.m_sizeDoc[0]));
    DisplayConfig().m_flags[CDisplayConfig::Supersize] = true;
    const QSize super = PaintView(m_doc, painter, 1200, QRect(0, 0, 1200, 800));
    EXPECT_EQ(systems(), 9); // 600 units a line: one bar each
    EXPECT_EQ(super.width(), 2 * int(m_doc.m_sizeDoc[0]));
    EXPECT_EQ(super.height(), 2 * int(m_doc.m_sizeDoc[1]));
    // Not while the player runs.
    CTrack::SetPlayerQuery([](const CRondelDoc&) { return true; });
    PaintView(m_doc, painter, 1200, QRect(0, 0, 1200, 800));
    CTrack::SetPlayerQuery({});
    EXPECT_EQ(Track().m_lastMode, EDisplayMode::Playback);
    EXPECT_LT(systems(), 9);
}

TEST_F(Geometry, ImportedBlocksStartLinesAndReserveTheirText)
{
    CPlainImportText text({QStringLiteral("Title"), QStringLiteral("HH|x-x-|"), QStringLiteral("SD|--o-|"),
                           QStringLiteral(""), QStringLiteral("HH|x-x-|x-x-|"), QStringLiteral("BD|o---|o---|")});
    Track().m_importText = &text;
    m_doc.m_bImported = 1;
    Song().Bar(4, 4, EventBits::ImportedLineStart).Bar(4, 4, EventBits::ImportedLineStart).Bar().Close();
    std::next(m_doc.Events().begin(), 0)->SetImportRef(1u << 10);
    std::next(m_doc.Events().begin(), 1)->SetImportRef((4u << 10) | 2);
    Layout();
    EXPECT_TRUE(Bar(2).systemStart);
    EXPECT_FALSE(Bar(3).systemStart);
    // Block 1 shows lines 2 and 3 (the blank line before the next block is dropped).
    EXPECT_EQ(Bar(2).staffTop - Bar(1).staffTop, Bar(1).S + 10 + 2 * 13 + 10 + 93);
    // Without Import shown the blocks neither break lines nor take room.
    DisplayConfig().SetRows(EDisplayMode::Edit, {true, true, false, true});
    Layout();
    EXPECT_FALSE(Bar(2).systemStart);
    Track().m_importText = nullptr;
}

TEST_F(Geometry, ANestedPassDrawsNothing)
{
    Song().Bar().Close();
    int nested = -1;
    CTrack::SetImportTextProvider([&](const CRondelDoc&) -> std::unique_ptr<CImportTextSource> {
        nested = Track().Draw(SDrawTarget());
        return nullptr;
    });
    EXPECT_EQ(Layout(), 1);
    CTrack::SetImportTextProvider({});
    EXPECT_EQ(nested, 0);
}

// ----- hit tests ----------------------------------------------------------------------------

struct SHitCase
{
    int dx; // from the bar's x
    bool hit;
    int tick;
};

class HitTest : public ViewTest, public testing::WithParamInterface<SHitCase>
{
};

TEST_P(HitTest, TicksAcrossASecondBar)
{
    Song().Bar().Bar().Close();
    Layout();
    const SBarGeometry g = Bar(2); // no time signature: lead 10
    int bar = -1;
    int tick = -2;
    const bool hit = Track().HitTestBarTick(g.x + GetParam().dx, g.staffTop + 10, &bar, &tick);
    EXPECT_EQ(hit, GetParam().hit) << GetParam().dx;
    EXPECT_EQ(bar, GetParam().hit ? 2 : 0);
    if (GetParam().hit) {
        EXPECT_EQ(tick, GetParam().tick) << GetParam().dx;
    }
}

INSTANTIATE_TEST_SUITE_P(Points, HitTest,
                         testing::Values(SHitCase{0, true, -1}, SHitCase{10, true, -1}, SHitCase{11, true, 0},
                                         SHitCase{17, true, 0}, SHitCase{18, true, 1}, SHitCase{265, true, 31},
                                         SHitCase{266, true, INT_MAX}, SHitCase{275, true, INT_MAX}));

TEST_F(ViewTest, AHalfNoteBarIsAsWideAsItsTicks)
{
    Song().Bar(4, 4).Bar(2, 2).Bar(4, 4).Close();
    Layout(4000);
    EXPECT_EQ(Bar(2).width, Bar(1).width) << "both show their signature and hold 32 ticks";
    // Its last tick is still inside it, and the next bar starts after it.
    const SBarGeometry g = Bar(2);
    int bar = 0;
    int tick = 0;
    ASSERT_TRUE(Track().HitTestBarTick(g.x + 32 + 31 * 8 + 4, g.staffTop + 10, &bar, &tick));
    EXPECT_EQ(bar, 2);
    EXPECT_EQ(tick, 31);
}

TEST_F(ViewTest, HitTestUsesTheLeadOfATimeSignature)
{
    Song().Bar().Close();
    Layout();
    const SBarGeometry g = Bar(1);
    int bar = 0;
    int tick = 0;
    ASSERT_TRUE(Track().HitTestBarTick(g.x + 32, g.staffTop, &bar, &tick));
    EXPECT_EQ(tick, -1);
    ASSERT_TRUE(Track().HitTestBarTick(g.x + 33, g.staffTop, &bar, &tick));
    EXPECT_EQ(tick, 0);
}

TEST_F(ViewTest, HitTestVerticalRangeOfASystem)
{
    Song().Bar().Close();
    Layout();
    const SBarGeometry g = Bar(1);
    int bar = 0;
    int tick = 0;
    EXPECT_FALSE(Track().HitTestBarTick(g.x + 50, g.staffTop - 68, &bar, &tick));
    EXPECT_TRUE(Track().HitTestBarTick(g.x + 50, g.staffTop - 67, &bar, &tick));
    EXPECT_TRUE(Track().HitTestBarTick(g.x + 50, g.staffTop + g.S - 1, &bar, &tick));
    EXPECT_FALSE(Track().HitTestBarTick(g.x + 50, g.staffTop + g.S, &bar, &tick));
    // Right of the last bar of the line.
    EXPECT_FALSE(Track().HitTestBarTick(Bar(2).x + 276, g.staffTop, &bar, &tick));
    EXPECT_EQ(bar, 0);
}

TEST_F(ViewTest, AClickLeftOfASystemFindsNoBarEvenOverThePreviousSystem)
{
    // Without the standard staff the vertical ranges of two systems overlap.
    DisplayConfig().SetRows(EDisplayMode::Edit, {false, true, false, true});
    CSongBuilder song = Song();
    for (int i = 0; i < 6; ++i)
        song.Bar();
    song.Close();
    Layout(700); // two bars a line
    const SBarGeometry second = Bar(3);
    ASSERT_TRUE(second.systemStart);
    const SBarGeometry previous = Bar(2);
    const int y = second.staffTop - 60;
    ASSERT_LT(y, previous.staffTop + previous.S); // inside both ranges
    int bar = -1;
    int tick = 0;
    EXPECT_FALSE(Track().HitTestBarTick(second.x - 1, y, &bar, &tick));
    EXPECT_EQ(bar, 0);
    // The same y right of the margin finds the earlier system's bar first.
    EXPECT_TRUE(Track().HitTestBarTick(previous.x + 20, y, &bar, &tick));
    EXPECT_EQ(bar, 2);
}

TEST_F(ViewTest, DrumKeysUnderY)
{
    Song().Bar().Close();
    Layout();
    const SBarGeometry g = Bar(1);
    std::vector<int> keys;
    Track().GetDrumKeysAtY(1, g.staffTop, &keys); // top line: position 10
    EXPECT_NE(std::find(keys.begin(), keys.end(), 42), keys.end());
    EXPECT_NE(std::find(keys.begin(), keys.end(), 49), keys.end());
    EXPECT_EQ(std::find(keys.begin(), keys.end(), 38), keys.end());
    Track().GetDrumKeysAtY(1, g.staffTop + 14, &keys); // step 4: position 6, tom 3
    EXPECT_EQ(keys, std::vector<int>({47, 60, 67, 76}));
    Track().GetDrumKeysAtY(1, g.staffTop + 32, &keys); // bottom line: the feet
    EXPECT_EQ(keys, std::vector<int>({35, 36, 44}));
    Track().GetDrumKeysAtY(1, g.staffTop - 5, &keys);
    EXPECT_TRUE(keys.empty());
    // Tab rows: Perc first, Bass last.
    Track().GetDrumKeysAtY(1, g.staffTop + g.B, &keys);
    EXPECT_EQ(keys, std::vector<int>({36, 35, 44}));
    Track().GetDrumKeysAtY(1, g.staffTop + g.T + 6, &keys); // second row: Congas
    EXPECT_EQ(keys, std::vector<int>({64, 63, 62, 61, 60}));
}

TEST_F(ViewTest, PitchUnderY)
{
    m_doc.m_trackType = TrackType::Guitar6;
    Song().Bar().Note(64, 0).Close();
    Layout();
    const SBarGeometry g = Bar(1);
    int alternative = 0;
    EXPECT_EQ(Track().GetPitchAtY(1, TrackType::Guitar6, g.staffTop, &alternative), 65); // F
    EXPECT_EQ(alternative, 66);                                                         // F sharp
    EXPECT_EQ(Track().GetPitchAtY(1, TrackType::Guitar6, g.staffTop + 4, &alternative), 64); // E
    EXPECT_EQ(alternative, 63);                                                             // E flat
    EXPECT_EQ(Track().GetPitchAtY(1, TrackType::Guitar6, g.staffTop + 12, &alternative), 60); // C
    EXPECT_EQ(alternative, 61);
    EXPECT_EQ(Track().GetPitchAtY(1, TrackType::Bass4, g.staffTop, &alternative), 45); // A
    EXPECT_EQ(alternative, 45);                                                        // no sharp or flat
    EXPECT_EQ(Track().GetPitchAtY(1, TrackType::Guitar6, g.staffTop + g.T, &alternative), -1);
    EXPECT_EQ(Track().GetPitchAtY(1, TrackType::Guitar6, g.staffTop + g.T + 12 * 5, &alternative), -6);
    EXPECT_EQ(Track().GetPitchAtY(1, TrackType::Guitar6, g.staffTop + g.B + 20, &alternative), 0);
}

} // namespace
