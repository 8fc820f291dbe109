// What the drawing pass draws: the symbols it records (glyph log) for the notation rules, and
// a few pixel checks on an image.

#include "importtext.h"
#include "report.h"
#include "trackrender.h"
#include "viewtest.h"

#include <QImage>
#include <QPainter>

#include <algorithm>

namespace {

class Drawing : public ViewTest
{
protected:
    // Draws the whole song on an image and keeps what was drawn.
    QImage Draw(int width = 1200)
    {
        Track().m_glyphLog = &m_glyphs;
        QString error;
        QImage image = RenderSongImage(m_doc, width, std::nullopt, &error);
        Track().m_glyphLog = nullptr;
        EXPECT_FALSE(image.isNull()) << error.toStdString();
        return image;
    }
    std::vector<SGlyph> Glyphs(EGlyph kind, int bar = 0) const
    {
        std::vector<SGlyph> out;
        for (const SGlyph& g : m_glyphs)
            if (g.kind == kind && (bar == 0 || g.bar == bar))
                out.push_back(g);
        return out;
    }
    // Note x of a tick in a bar.
    qreal TickX(int bar, int tick)
    {
        const CEvent& ev = BarEvent(bar);
        return Bar(bar).x + ((ev.m_word2 & EventBits::TimeSigShown) ? 32 : 10) + 8 * tick;
    }
    // Dark pixels inside a rectangle of logical units (one unit is one pixel here).
    static int Ink(const QImage& image, const QRect& r)
    {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (image.rect().contains(x, y) && qGray(image.pixel(x, y)) < 128)
                    ++n;
        return n;
    }

    std::vector<SGlyph> m_glyphs;
};

// ----- measures ---------------------------------------------------------------------------

TEST_F(Drawing, TimeSignatureOnTheFirstBarAndOnChangesOnly)
{
    // Each bar opens with a quarter hi-hat and a whole-note bass: nothing of theirs reaches
    // into the spaces right of the first stem.
    Song()
        .Bar().Note(42, 0).Note(42, 8).Note(36, 0)
        .Bar().Note(42, 0).Note(42, 8).Note(36, 0)
        .Bar(3, 4).Note(42, 0).Note(36, 0)
        .Close();
    const QImage image = Draw();
    const auto sigs = Glyphs(EGlyph::TimeSig);
    ASSERT_EQ(sigs.size(), 3u);
    EXPECT_EQ(sigs[0].bar, 1);
    EXPECT_EQ(sigs[0].text, QStringLiteral("4/4"));
    EXPECT_EQ(sigs[1].bar, 3);
    EXPECT_EQ(sigs[1].text, QStringLiteral("3/4"));
    EXPECT_EQ(sigs[2].bar, 4); // the closing bar goes back to 4/4
    // Pixels: digits between the staff lines of bar 1's lead, nothing there in bar 2.
    for (int bar : {1, 2}) {
        const SBarGeometry g = Bar(bar);
        int ink = 0;
        for (int space = 0; space < 4; ++space)
            ink += Ink(image, QRect(g.x + 19, g.staffTop + 8 * space + 2, 10, 5));
        if (bar == 1) {
            EXPECT_GT(ink, 20);
        } else {
            EXPECT_EQ(ink, 0);
        }
    }
}

TEST_F(Drawing, TempoRepeatsEndingsAndMeasureRepeats)
{
    Song()
        .Bar(4, 4, TempoBits(96), EventBits::RepeatGroupStart)
        .Note(38, 0)
        .Bar(4, 4, 0, 1u << EventBits::AltEndShift)
        .Note(38, 0)
        .Bar(4, 4, 0, EventBits::RepeatGroupEnd)
        .Note(38, 0)
        .Bar(4, 4, 0, 2u << EventBits::AltEndShift)
        .Note(38, 0)
        .Bar()
        .Note(38, 0)
        .RepeatPrev(2, 3)
        .Close();
    Draw(3000);
    ASSERT_EQ(Glyphs(EGlyph::Tempo).size(), 1u);
    EXPECT_EQ(Glyphs(EGlyph::Tempo)[0].value, 96);
    EXPECT_EQ(Glyphs(EGlyph::RepeatStart).size(), 1u);
    ASSERT_EQ(Glyphs(EGlyph::RepeatEnd).size(), 1u);
    EXPECT_EQ(Glyphs(EGlyph::RepeatEnd)[0].bar, 3);
    const auto endings = Glyphs(EGlyph::Ending);
    ASSERT_EQ(endings.size(), 2u);
    EXPECT_EQ(endings[0].bar, 2);
    EXPECT_EQ(endings[0].value, 1);
    EXPECT_EQ(endings[1].bar, 4);
    ASSERT_EQ(Glyphs(EGlyph::MeasureRepeat).size(), 1u);
    EXPECT_EQ(Glyphs(EGlyph::MeasureRepeat)[0].value, 2);
    EXPECT_EQ(Glyphs(EGlyph::MeasureRepeat)[0].bar, 6);
}

TEST_F(Drawing, EndingBrackets)
{
    // |: A | 1. B C | 2. D | E : ending 1 runs over two bars up to the next ending and ends with
    // a repeat sign; the last ending covers its own bar.
    Song()
        .Bar(4, 4, 0, EventBits::RepeatGroupStart)
        .Bar(4, 4, 0, 1u << EventBits::AltEndShift)
        .Bar()
        .Bar(4, 4, 0, 2u << EventBits::AltEndShift)
        .Bar()
        .Close();
    Track().m_glyphLog = &m_glyphs;
    QImage image(2400, 400, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    SDrawTarget target;
    target.painter = &painter;
    target.width = 2400;
    Track().Draw(target);
    Track().m_glyphLog = nullptr;
    const auto ends = Glyphs(EGlyph::RepeatEnd);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].bar, 3);
    // Pixels: the bracket line over bars 2 and 3, closed down at bar 3's end, open after bar 4.
    const SBarGeometry b2 = Bar(2), b3 = Bar(3), b4 = Bar(4), b5 = Bar(5);
    const int y = b2.staffTop - 70;
    EXPECT_EQ(Ink(image, QRect(b2.x + 40, y, 1, 1)), 1);
    EXPECT_EQ(Ink(image, QRect(b3.x + 40, y, 1, 1)), 1);
    EXPECT_EQ(Ink(image, QRect(b3.x + b3.width, y + 15, 1, 1)), 1); // downward stroke
    EXPECT_EQ(Ink(image, QRect(b4.x + 40, y, 1, 1)), 1);
    EXPECT_EQ(Ink(image, QRect(b4.x + b4.width, y + 15, 1, 1)), 0); // open end
    EXPECT_EQ(Ink(image, QRect(b5.x + 40, y, 1, 1)), 0);
}

TEST_F(Drawing, TheClosingBarHasNoRests)
{
    Song().Bar().Close();
    Draw();
    const auto rests = Glyphs(EGlyph::Rest);
    ASSERT_EQ(rests.size(), 2u); // bar 1: one whole rest in each voice
    for (const SGlyph& r : rests) {
        EXPECT_EQ(r.bar, 1);
        EXPECT_EQ(r.value, 32);
    }
}

TEST_F(Drawing, CountRow)
{
    m_doc.m_bThreePartCounting = 1;
    Song().Bar().Bar(6, 8).Bar(6, 8).Close();
    m_doc.m_bThreePartCounting = 1;
    Draw(3000);
    QStringList first, second;
    for (const SGlyph& g : Glyphs(EGlyph::Count, 1))
        first << g.text;
    for (const SGlyph& g : Glyphs(EGlyph::Count, 2))
        second << g.text;
    EXPECT_EQ(first.join(u' '), QStringLiteral("1 e & a 2 e & a 3 e & a 4 e & a"));
    EXPECT_EQ(second.join(u' '), QStringLiteral("1 a + 2 a +"));
    m_doc.m_bThreePartCounting = 0;
    m_glyphs.clear();
    Draw(3000);
    second.clear();
    for (const SGlyph& g : Glyphs(EGlyph::Count, 2))
        second << g.text;
    EXPECT_EQ(second.join(u' '), QStringLiteral("1 & 2 & 3 & 4 & 5 & 6 &"));
    // The count starts under the first tick (one unit left of it).
    EXPECT_EQ(Glyphs(EGlyph::Count, 3)[0].x, TickX(3, 0) - 1);
}

TEST_F(Drawing, HeaderBarTextsAndMarkers)
{
    m_doc.m_header[Header::Song] = QStringLiteral("Back in Black");
    m_doc.m_header[Header::Band] = QStringLiteral("AC/DC");
    m_doc.m_header[Header::Tabber] = QStringLiteral("me");
    Song().Bar().Text(QStringLiteral("Intro")).Bar().Bar().Close();
    Track().m_startMarkerBar = 2;
    Track().m_endMarkerBar = 3;
    Draw();
    EXPECT_EQ(Track().m_headerHeight, 3 * 21);
    EXPECT_EQ(Bar(1).staffTop, 63 + 10 + 93);
    ASSERT_EQ(Glyphs(EGlyph::BarText).size(), 1u);
    EXPECT_EQ(Glyphs(EGlyph::BarText)[0].text, QStringLiteral("Intro"));
    const auto markers = Glyphs(EGlyph::Marker);
    ASSERT_EQ(markers.size(), 2u);
    EXPECT_EQ(markers[0].bar, 2);
    EXPECT_EQ(markers[1].x, Bar(3).x - 6);
}

TEST_F(Drawing, ImportedTextUnderItsBlock)
{
    CPlainImportText text({QStringLiteral("HH|x-x-|"), QStringLiteral("BD|o---|")});
    Track().m_importText = &text;
    m_doc.m_bImported = 1;
    Song().Bar(4, 4, EventBits::ImportedLineStart).Note(42, 0).Close();
    Draw();
    Track().m_importText = nullptr;
    const auto lines = Glyphs(EGlyph::ImportLine);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].value, 1);
    EXPECT_EQ(lines[1].text, QStringLiteral("BD|o---|"));
    EXPECT_EQ(lines[0].y, Bar(1).staffTop + Bar(1).S + 10);
    EXPECT_EQ(lines[1].y - lines[0].y, 13);
}

TEST_F(Drawing, OnlyVisibleSystemsAreDrawn)
{
    CSongBuilder song = Song();
    for (int i = 0; i < 40; ++i)
        song.Bar().Note(38, 8);
    song.Close();
    Layout();
    const SBarGeometry g = Bar(21);
    QImage image(1200, 400, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.translate(0, -g.staffTop);
    SDrawTarget target;
    target.painter = &painter;
    target.visible = QRect(0, g.staffTop, 1200, 10);
    Track().m_glyphLog = &m_glyphs;
    Track().Draw(target);
    Track().m_glyphLog = nullptr;
    std::vector<int> bars;
    for (const SGlyph& gl : Glyphs(EGlyph::Head))
        bars.push_back(gl.bar);
    ASSERT_FALSE(bars.empty());
    // The system of bar 21 and its neighbours within reach, nothing from the top.
    EXPECT_GT(*std::min_element(bars.begin(), bars.end()), 10);
    EXPECT_LT(*std::max_element(bars.begin(), bars.end()), 33);
}

// ----- drum voices --------------------------------------------------------------------------

TEST_F(Drawing, AFiveThirtySecondNoteIsAnEighthAndAThirtySecondRest)
{
    Song().Bar().Note(38, 0).Note(38, 5).Close();
    const QImage image = Draw();
    const auto flags = Glyphs(EGlyph::Flag, 1);
    ASSERT_EQ(flags.size(), 1u);
    EXPECT_EQ(flags[0].value, 1);
    EXPECT_TRUE(flags[0].stemUp);
    std::vector<SGlyph> upRests;
    for (const SGlyph& r : Glyphs(EGlyph::Rest, 1))
        if (r.stemUp)
            upRests.push_back(r);
    // The 32nd rest right after the eighth; then the note at tick 5 lasts to the end: a
    // dotted half note with a dotted 16th rest.
    ASSERT_EQ(upRests.size(), 2u);
    EXPECT_EQ(upRests[0].value, 1);
    EXPECT_EQ(upRests[0].x, TickX(1, 4));
    EXPECT_EQ(upRests[1].value, 3);
    EXPECT_EQ(upRests[1].x, TickX(1, 29));
    EXPECT_EQ(Glyphs(EGlyph::Dot, 1).size(), 1u);
    // Pixels: the 32nd rest stands in the upper half of the staff at tick 4.
    const SBarGeometry g = Bar(1);
    EXPECT_GT(Ink(image, QRect(int(TickX(1, 4)) - 2, g.staffTop + 2, 10, 5)), 3);
}

TEST_F(Drawing, AVoiceStartingAtTickFourStartsWithARest)
{
    Song().Bar().Note(42, 4).Note(42, 8).Note(36, 0).Close();
    Draw();
    std::vector<SGlyph> up;
    for (const SGlyph& r : Glyphs(EGlyph::Rest, 1))
        if (r.stemUp)
            up.push_back(r);
    ASSERT_FALSE(up.empty());
    EXPECT_EQ(up[0].value, 4);
    EXPECT_EQ(up[0].x, TickX(1, 0));
    // The bass voice starts at 0: no rest before it.
    for (const SGlyph& r : Glyphs(EGlyph::Rest, 1)) {
        if (!r.stemUp) {
            EXPECT_GT(r.x, TickX(1, 0));
        }
    }
}

TEST_F(Drawing, RockBeatBeamsEighthsByHalfBars)
{
    Song().RockBar().Close();
    Draw();
    std::vector<SGlyph> up, down;
    for (const SGlyph& b : Glyphs(EGlyph::Beam, 1))
        (b.stemUp ? up : down).push_back(b);
    // Two groups of four eighths: three main beams each, nothing else.
    ASSERT_EQ(up.size(), 6u);
    for (const SGlyph& b : up)
        EXPECT_EQ(b.value, 1);
    EXPECT_TRUE(down.empty());
    EXPECT_TRUE(Glyphs(EGlyph::Flag, 1).empty());
    EXPECT_TRUE(Glyphs(EGlyph::Stub, 1).empty());
    // Heads: 8 hi-hats and 2 snares up, 2 bass drums down as half notes.
    int upHeads = 0, downHeads = 0;
    for (const SGlyph& h : Glyphs(EGlyph::Head, 1))
        ++(h.stemUp ? upHeads : downHeads);
    EXPECT_EQ(upHeads, 10);
    EXPECT_EQ(downHeads, 2);
    EXPECT_TRUE(Glyphs(EGlyph::Rest, 1).empty());
}

TEST_F(Drawing, SixteenthsBeamByQuarters)
{
    CSongBuilder song = Song();
    song.Bar();
    for (int t = 0; t < 32; t += 2)
        song.Note(42, t);
    song.Note(36, 0).Close();
    Draw();
    int main = 0, second = 0;
    for (const SGlyph& b : Glyphs(EGlyph::Beam, 1)) {
        if (!b.stemUp)
            continue;
        main += b.value == 1;
        second += b.value == 2;
    }
    EXPECT_EQ(main, 12); // four groups of four
    EXPECT_EQ(second, 12);
}

TEST_F(Drawing, BeamsEndWithStubsWhereTheyStopShort)
{
    // Ticks 4 and 6: two 16ths beamed; 8, 11, 12: a dotted 16th, a 32nd and a long note.
    Song().Bar().Note(42, 0).Note(42, 4).Note(42, 6).Note(42, 8).Note(42, 11).Note(42, 12).Close();
    Draw();
    std::vector<int> beams, stubs;
    for (const SGlyph& b : Glyphs(EGlyph::Beam, 1))
        beams.push_back(b.value);
    for (const SGlyph& s : Glyphs(EGlyph::Stub, 1))
        stubs.push_back(s.value);
    // 4-6: main and second beam; 8-11: main and second; the 32nd, where the beam ends before
    // the long note, gets a third-beam stub pointing left.
    EXPECT_EQ(beams, std::vector<int>({1, 2, 1, 2}));
    EXPECT_EQ(stubs, std::vector<int>({-3}));
    // The lone eighth at tick 0 has its flag.
    ASSERT_EQ(Glyphs(EGlyph::Flag, 1).size(), 1u);
    EXPECT_EQ(Glyphs(EGlyph::Flag, 1)[0].value, 1);
}

TEST_F(Drawing, TripletGroupsGetTheirThree)
{
    Song()
        .Bar()
        .At(38, 0, EventBits::Triplet)
        .At(38, 32, EventBits::Triplet)
        .At(38, 64, EventBits::Triplet)
        .At(38, 96)
        .At(42, 192, EventBits::Triplet)
        .At(42, 208, EventBits::Triplet)
        .At(42, 224, EventBits::Triplet)
        .Close();
    Draw();
    const auto threes = Glyphs(EGlyph::Triplet3, 1);
    ASSERT_EQ(threes.size(), 2u);
    // Over the middle note of each group.
    EXPECT_DOUBLE_EQ(threes[0].x, TickX(1, 0) + 32 * 64.0 / 96.0);
    EXPECT_DOUBLE_EQ(threes[1].x, TickX(1, 16) + 16 * 64.0 / 96.0);
    int eighthBeams = 0, sixteenthBeams = 0;
    for (const SGlyph& b : Glyphs(EGlyph::Beam, 1)) {
        if (b.x < TickX(1, 12))
            eighthBeams += 1;
        else
            sixteenthBeams += 1;
    }
    EXPECT_EQ(eighthBeams, 2);    // main beams between three eighth triplets
    EXPECT_EQ(sixteenthBeams, 4); // main and second beams between three 16th triplets
    // After the 16th triplet (ends at tick 20) the voice rests to the end of the bar.
    bool restAfter = false;
    for (const SGlyph& r : Glyphs(EGlyph::Rest, 1))
        restAfter = restAfter || (r.stemUp && r.x == TickX(1, 20));
    EXPECT_TRUE(restAfter);
}

TEST_F(Drawing, FlamsAccentsAndGhosts)
{
    Song()
        .Bar()
        .Note(38, 0, EventBits::FlamOrPM)
        .Note(38, 8, EventBits::Accent)
        .Note(38, 16, EventBits::Ghost)
        .Note(42, 24, EventBits::Accent)
        .Close();
    Draw();
    ASSERT_EQ(Glyphs(EGlyph::Flam, 1).size(), 1u);
    EXPECT_EQ(Glyphs(EGlyph::Flam, 1)[0].x, TickX(1, 0) - 10);
    EXPECT_EQ(Glyphs(EGlyph::Accent, 1).size(), 2u);
    QStringList tab;
    for (const SGlyph& t : Glyphs(EGlyph::TabText, 1))
        tab << t.text;
    EXPECT_EQ(tab, QStringList({QStringLiteral("f"), QStringLiteral("X"), QStringLiteral("g"), QStringLiteral("X")}));
}

TEST_F(Drawing, AChokedCymbalGetsItsMarkBesideTheHead)
{
    Song().Bar().Note(49, 0, EventBits::Choked).Note(51, 8, EventBits::Choked).Note(49, 16).Note(36, 0).Close();
    const QImage image = Draw();
    const auto marks = Glyphs(EGlyph::Choke, 1);
    ASSERT_EQ(marks.size(), 2u);
    std::vector<SGlyph> heads;
    for (const SGlyph& h : Glyphs(EGlyph::Head, 1))
        if (h.value == 49 || h.value == 51)
            heads.push_back(h);
    ASSERT_EQ(heads.size(), 3u);
    for (const SGlyph& mark : marks) {
        const auto head = std::find_if(heads.begin(), heads.end(), [&](const SGlyph& h) {
            return h.value == mark.value && std::abs(h.box.center().x() - mark.box.center().x()) < 12;
        });
        ASSERT_NE(head, heads.end());
        // Right of the head, over its upper half, touching neither it nor the stem's side.
        EXPECT_GT(mark.box.left(), head->box.right());
        EXPECT_LT(mark.box.left() - head->box.right(), 4);
        EXPECT_LT(mark.box.top(), head->box.center().y());
        EXPECT_GT(mark.box.bottom(), head->box.top());
        EXPECT_GT(Ink(image, mark.box.toAlignedRect()), 3);
    }
    // The plain crash on beat 3 has none.
    for (const SGlyph& mark : marks)
        EXPECT_LT(mark.x, TickX(1, 16));
    QStringList tab;
    for (const SGlyph& t : Glyphs(EGlyph::TabText, 1))
        if (t.value != 36)
            tab << t.text;
    EXPECT_EQ(tab.count(QStringLiteral("#")), 2);
}

TEST_F(Drawing, CymbalLabelsAlternateRowsWhenTheyWouldCollide)
{
    Song().Bar().Note(49, 0).Note(42, 1).Note(42, 2).Note(51, 16).Note(42, 24).Note(60, 25).Close();
    Draw();
    const auto labels = Glyphs(EGlyph::Label, 1);
    ASSERT_EQ(labels.size(), 5u);
    const int top = Bar(1).staffTop;
    EXPECT_EQ(labels[0].text, QStringLiteral("Cr"));
    EXPECT_EQ(labels[0].y, top - 52);
    EXPECT_EQ(labels[1].text, QStringLiteral("H.H.")); // one 32nd later: the other row
    EXPECT_EQ(labels[1].y, top - 64);
    EXPECT_EQ(labels[2].text, QStringLiteral("R.C.")); // far enough: back on the first row
    EXPECT_EQ(labels[2].y, top - 52);
    EXPECT_EQ(labels[3].text, QStringLiteral("H.H.")); // the hi-hat again after the ride
    EXPECT_EQ(labels[4].text, QStringLiteral("Hi Bgo")); // percussion remembers separately
    // The other row, lifted a little when its descender would touch the label below.
    EXPECT_LE(labels[4].y, top - 64);
    EXPECT_GT(labels[4].y, top - 70);
    EXPECT_LE(labels[4].box.bottom(), labels[3].box.top());
}

TEST_F(Drawing, TooManyNotesInAVoiceAreReportedOnce)
{
    CSongBuilder song = Song();
    song.Bar(63, 4);
    for (int t = 0; t < 100; ++t)
        song.Note(38, t);
    song.Close();
    CRecordingReport report;
    CScopedUserReport scoped(&report);
    Draw(4095);
    Draw(4095);
    ASSERT_EQ(report.m_messages.size(), 2u);
    EXPECT_EQ(report.m_messages[0], QStringLiteral("Internal error. drawList size exceeded"));
    EXPECT_TRUE(report.m_messages[1].contains(QStringLiteral("track:")));
}

// ----- guitar and bass ------------------------------------------------------------------------

TEST_F(Drawing, FretsTwelveAndTwentyOneGetTheirMarks)
{
    m_doc.m_trackType = TrackType::Guitar6;
    Song().Bar(4, 4, PatchBits(27)).Note(64 + 12, 0).Note(64 + 21, 16).Note(40 + 3, 24).Close();
    m_doc.Events().back().m_word2 |= 0; // closing bar
    // The last note on the low E string (string index 5).
    std::prev(m_doc.Events().end(), 2)->m_word2 |= 5u << EventBits::StringShift;
    const QImage image = Draw();
    const auto texts = Glyphs(EGlyph::TabText, 1);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].text, QStringLiteral("2"));
    EXPECT_EQ(texts[1].text, QStringLiteral("1"));
    EXPECT_EQ(texts[2].text, QStringLiteral("3"));
    EXPECT_EQ(texts[2].y, Bar(1).staffTop + Bar(1).T + 12 * 5);
    const auto lines = Glyphs(EGlyph::FretLine, 1);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].value, 1);
    EXPECT_EQ(lines[1].value, 2);
    // Pixels: one unbroken 8-unit line over the 2, two short ones with a gap over the 1.
    const int y = int(lines[0].y);
    const int x12 = int(lines[0].x);
    const int x21 = int(lines[1].x);
    EXPECT_EQ(Ink(image, QRect(x12, y, 8, 1)), 8);
    EXPECT_EQ(Ink(image, QRect(x21, y, 3, 1)), 3);
    EXPECT_EQ(Ink(image, QRect(x21 + 3, y, 2, 1)), 0);
    EXPECT_EQ(Ink(image, QRect(x21 + 5, y, 3, 1)), 3);
}

TEST_F(Drawing, PitchedNotesGetLedgerLinesAndAccidentals)
{
    m_doc.m_trackType = TrackType::Guitar6;
    Song().Bar().Note(40, 0).Note(61, 8).Note(30, 16).Close();
    Draw();
    // Low E sits in the space below the third ledger line; C sharp has its sharp; a pitch
    // below the guitar's range is not drawn on the staff.
    EXPECT_EQ(Glyphs(EGlyph::Ledger, 1).size(), 3u);
    const auto acc = Glyphs(EGlyph::Accidental, 1);
    ASSERT_EQ(acc.size(), 1u);
    EXPECT_EQ(acc[0].value, 1);
    EXPECT_EQ(Glyphs(EGlyph::Head, 1).size(), 2u);
}

TEST_F(Drawing, PalmMuteRuns)
{
    m_doc.m_trackType = TrackType::Bass4;
    Song()
        .Bar()
        .Note(40, 0, EventBits::FlamOrPM)
        .Note(40, 4, EventBits::FlamOrPM)
        .Note(40, 8)
        .Note(40, 12, EventBits::FlamOrPM)
        .Close();
    Draw();
    const auto pm = Glyphs(EGlyph::PalmMute, 1);
    ASSERT_EQ(pm.size(), 2u);
    EXPECT_EQ(pm[0].x, TickX(1, 0));
    EXPECT_EQ(pm[1].x, TickX(1, 12));
}

} // namespace
