// The plain-text tab writer: exact bytes of whole files and of single staff lines.

#include "rondeldoc.h"
#include "testutil.h"
#include "textexport.h"

#include <QTemporaryDir>

namespace {

const QByteArray kCredit = "\r\nCreated using Kadenzo, tab player/converter, drum notation editor. Free download at "
                           "https://kadenzo.org\r\n\r\n";

const QByteArray kLegend = "\r\n\r\nKey:\r\n"
                           "\tnotes: x=normal, X=accent, f=flam, g=ghost, d=double stroke\r\n"
                           "\tcymbals: c=crash, s=splash, t=trash/china, 2=2nd crash, O=open High hat\r\n"
                           "\tsnares: x=normal, s=side stick, c=cow bell, e=electric snare\r\n"
                           "\tbass: x=normal, f=high hat foot\r\n"
                           "\ttq = quarter note triplet\r\n"
                           "\ttt = 8th note triplet\r\n"
                           "\ttl = 16th note triplet\r\n\r\n"
                           "\t|  3   |\r\n"
                           "\t| .//. | means repeat the previous 2 measures, 3 more times (i.e. play a total of 4 times)\r\n";

const QByteArray kCount44 = "1 e + a 2 e + a 3 e + a 4 e + a ";

// A song of the given events (first bar at tempo 120 unless the events say otherwise).
class Song
{
public:
    Song()
    {
        m_doc.OnNewDocument();
        m_doc.Events().clear();
    }
    Song& Bar(uint32_t num = 4, uint32_t den = 4, uint32_t word1Extra = 0)
    {
        AppendEvent(m_doc.Events(), EventType::Bar | word1Extra, TimeSigWord(num, den));
        return *this;
    }
    Song& Note(uint32_t key, uint32_t pos, uint32_t flags = 0)
    {
        AppendEvent(m_doc.Events(), key | flags, pos);
        return *this;
    }
    Song& Repeat(uint32_t n, uint32_t count)
    {
        AppendEvent(m_doc.Events(), EventType::RepeatPrevMeasures, RepeatPrevWord(n, count));
        return *this;
    }
    Song& Text(const QString& text)
    {
        m_doc.Events().back().SetText(text);
        return *this;
    }
    QByteArray Tab() const { return MakeTextTab(m_doc); }
    // The body between the credit line and the legend.
    QByteArray Body() const
    {
        QByteArray t = Tab();
        const int start = t.indexOf(kCredit);
        const int end = t.indexOf("\r\n\r\nKey:\r\n");
        return start < 0 || end < 0 ? QByteArray() : t.mid(start + kCredit.size(), end - start - kCredit.size());
    }
    // The staff line that starts with `label` in the n-th block (0-based).
    QByteArray Line(const QByteArray& label, int block = 0) const
    {
        for (const QByteArray& line : Tab().split('\n'))
            if (line.startsWith(label) && block-- == 0)
                return line.chopped(line.endsWith('\r') ? 1 : 0);
        return {};
    }
    // The count line of the n-th block: the line after the block's last staff line.
    QByteArray CountLine(int block = 0) const
    {
        const QList<QByteArray> lines = Body().split('\n');
        for (int i = 0; i + 1 < lines.size(); ++i)
            if (lines[i].startsWith("B  ") && block-- == 0)
                return lines[i + 1].chopped(1);
        return {};
    }
    CRondelDoc m_doc;
};

TEST(TextExport, NewSongIsTheDocumentedBlock)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    const QByteArray dashes(32, '-');
    const QByteArray expected = kCredit + "tempo=120bpm\r\n\r\n" + "HH |" + dashes + "|\r\n" + "S  |" + dashes + "|\r\n"
                                + "B  |" + dashes + "|\r\n" + "    " + kCount44 + "|\r\n\r\n" + kLegend;
    EXPECT_EQ(MakeTextTab(doc), expected);
}

TEST(TextExport, HeaderLinesInTheirOrderWithoutMusicBy)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    for (int i = 0; i < Header::Count; ++i)
        doc.m_header[size_t(i)] = QStringLiteral("h%1").arg(i);
    doc.m_header[Header::Album].clear();
    const QByteArray tab = MakeTextTab(doc);
    EXPECT_TRUE(tab.startsWith("Song:\th0\r\nBand:\th1\r\nTrack No:\th4\r\nYear:\th3\r\nDuration:\th5\r\n"
                               "Copyright:\th6\r\nLyrics by:\th8\r\nDrummer:\th9\r\nDrum Tab by:\th10\r\n"
                               + kCredit))
        << tab.left(200).toStdString();
    EXPECT_FALSE(tab.contains("h7"));
    EXPECT_FALSE(tab.contains("Album"));
}

TEST(TextExport, EighthHiHatsWithAccentOnOne)
{
    Song s;
    s.Bar(4, 4, TempoBits(120));
    for (uint32_t pos = 0; pos < 384; pos += 48)
        s.Note(42, pos, pos == 0 ? EventBits::Accent : 0);
    s.Bar();
    EXPECT_EQ(s.Line("HH "), "HH |X---x---x---x---x---x---x---x---|");
    EXPECT_EQ(s.Line("S  "), "S  |--------------------------------|");
}

struct SGlyphCase
{
    uint32_t key;
    uint32_t flags;
    const char* label;
    char letter;
    bool percussionLegend;
};

class TextExportGlyphs : public testing::TestWithParam<SGlyphCase>
{
};

TEST_P(TextExportGlyphs, NoteLandsOnItsLineWithItsLetter)
{
    const SGlyphCase c = GetParam();
    Song s;
    s.Bar(4, 4, TempoBits(100)).Note(c.key, 24, c.flags).Bar();
    const QByteArray line = s.Line(c.label);
    ASSERT_EQ(line.size(), 3 + 1 + 32 + 1) << c.key;
    EXPECT_EQ(line[4 + 2], c.letter) << "key " << c.key;
    EXPECT_EQ(s.Tab().contains("\tpercussion: R=open triangle"), c.percussionLegend);
}

INSTANTIATE_TEST_SUITE_P(Keys, TextExportGlyphs,
                         testing::Values(SGlyphCase{36, 0, "B  ", 'x', false}, SGlyphCase{35, EventBits::Accent, "B  ", 'X', false},
                                         SGlyphCase{44, EventBits::Accent, "B  ", 'f', false}, // no dynamics on the foot
                                         SGlyphCase{38, EventBits::Ghost, "S  ", 'g', false},
                                         SGlyphCase{38, EventBits::FlamOrPM, "S  ", 'f', false},
                                         SGlyphCase{40, EventBits::Accent, "S  ", 'E', false},
                                         SGlyphCase{37, EventBits::Accent, "S  ", 's', false},
                                         SGlyphCase{56, 0, "S  ", 'c', false}, SGlyphCase{46, 0, "HH ", 'O', false},
                                         SGlyphCase{49, EventBits::Accent, "Cr ", 'C', false},
                                         SGlyphCase{57, EventBits::Accent, "Cr ", '2', false},
                                         SGlyphCase{52, 0, "Cr ", 't', false}, SGlyphCase{55, 0, "Cr ", 's', false},
                                         SGlyphCase{53, 0, "Rd ", 'b', false}, SGlyphCase{59, 0, "Rd ", '2', false},
                                         SGlyphCase{50, 0, "T1 ", 'x', false}, SGlyphCase{41, EventBits::Ghost, "T6 ", 'g', false},
                                         SGlyphCase{45, 0, "T4 ", 'x', false},
                                         SGlyphCase{81, EventBits::Accent, "P  ", 'R', true},
                                         SGlyphCase{39, 0, "P  ", 'H', true}, SGlyphCase{60, 0, "P  ", 'B', true}));

TEST(TextExport, UnusedOptionalLinesAreLeftOut)
{
    Song s;
    s.Bar(4, 4, TempoBits(100)).Note(36, 0).Bar();
    const QByteArray tab = s.Tab();
    for (const char* label : {"\nCr ", "\nRd ", "\nT1 ", "\nT6 ", "\nP  "})
        EXPECT_FALSE(tab.contains(label)) << label;
    EXPECT_TRUE(tab.contains("\nHH |"));
}

TEST(TextExport, SixEightBetweenFourFourHas24Columns)
{
    Song s;
    s.Bar(4, 4, TempoBits(100)).Bar(6, 8).Bar(4, 4).Bar();
    const QByteArray dashes(32, '-');
    EXPECT_EQ(s.Line("HH "), "HH |" + dashes + "|" + QByteArray(24, '-') + "|" + dashes + "|");
    EXPECT_EQ(s.CountLine(), "    " + kCount44 + " 1 e + a 2 e + a 3 e + a  " + kCount44 + "|");
}

TEST(TextExport, SixteenthTripletThenEighth)
{
    Song s;
    s.Bar(4, 4, TempoBits(100));
    s.Note(38, 0, EventBits::Triplet).Note(38, 16, EventBits::Triplet).Note(38, 32, EventBits::Triplet);
    s.Note(36, 48);
    s.Bar();
    // Three columns for the triplet, then the 8th on '+'; the measure is one column short.
    EXPECT_EQ(s.CountLine().mid(4, 5), "1tl+ ");
    EXPECT_EQ(s.Line("S  ").mid(4, 4), "xxx-");
    EXPECT_EQ(s.Line("B  ").mid(4, 4), "---x");
    EXPECT_EQ(s.Line("S  ").size(), 3 + 1 + 31 + 1);
}

TEST(TextExport, TripletSpacingMarks)
{
    for (auto [step, mark] : {std::pair{16, 'l'}, std::pair{32, 't'}, std::pair{64, 'q'}}) {
        Song s;
        s.Bar(4, 4, TempoBits(100));
        for (int i = 0; i < 3; ++i)
            s.Note(42, uint32_t(96 + i * step), EventBits::Triplet);
        s.Bar();
        EXPECT_EQ(s.CountLine().mid(4 + 8, 3), QByteArray("2t") + mark) << step;
        EXPECT_EQ(s.Line("HH ").mid(4 + 8, 3), "xxx") << step;
    }
}

TEST(TextExport, ChordInATripletRunSharesItsColumn)
{
    Song s;
    s.Bar(4, 4, TempoBits(100));
    s.Note(42, 0, EventBits::Triplet).Note(36, 0).Note(42, 32, EventBits::Triplet).Note(38, 32, EventBits::Triplet);
    s.Note(42, 64, EventBits::Triplet).Bar();
    EXPECT_EQ(s.Line("HH ").mid(4, 3), "xxx");
    EXPECT_EQ(s.Line("S  ").mid(4, 3), "-x-");
    EXPECT_EQ(s.Line("B  ").mid(4, 3), "x--");
    EXPECT_EQ(s.CountLine().mid(4, 3), "1tt");
}

TEST(TextExport, MeasureRepeatSign)
{
    Song s;
    s.Bar(4, 4, TempoBits(100)).Bar().Repeat(2, 3).Bar();
    // Blocks: two 4/4 measures fill the first block; the repeat opens the second.
    EXPECT_EQ(s.Line("S  ", 0), "S  |" + QByteArray(32, '-') + "|" + QByteArray(32, '-') + "| .//. |");
    EXPECT_EQ(s.Line("HH ", 0), "HH |" + QByteArray(32, '-') + "|" + QByteArray(32, '-') + "|  3   |");
    EXPECT_EQ(s.Line("B  ", 0).right(8), "|      |");
}

TEST(TextExport, MeasureRepeatOnceHasNoDigit)
{
    Song s;
    s.Bar(2, 4, TempoBits(100)).Repeat(1, 1).Bar(2, 4).Note(36, 0).Bar();
    EXPECT_EQ(s.Line("S  "), "S  |" + QByteArray(16, '-') + "| ./. |" + QByteArray(16, '-') + "|");
    EXPECT_EQ(s.Line("HH "), "HH |" + QByteArray(16, '-') + "|     |" + QByteArray(16, '-') + "|");
    // The notes after the repeat belong to the measure after it.
    EXPECT_EQ(s.Line("B  ").right(17), "x---------------|");
}

TEST(TextExport, CommentsAreCutAndPushed)
{
    Song s;
    s.Bar(2, 4, TempoBits(100)).Text(QString(40, QLatin1Char('a'))).Bar(2, 4).Text(QStringLiteral("next")).Bar();
    const QList<QByteArray> lines = s.Body().split('\n');
    // tempo line, blank line, then the comment line of the block.
    ASSERT_GE(lines.size(), 3);
    const QByteArray comment = lines[2].chopped(1);
    // 32 characters of the first comment, right after the bar line, then the second one
    // straight after it, since the first ran past its 16-column measure.
    EXPECT_EQ(comment, "    " + QByteArray(32, 'a') + "next");
}

TEST(TextExport, ShortCommentsSitOverTheirMeasures)
{
    Song s;
    s.Bar(2, 4, TempoBits(100)).Text(QStringLiteral("Intro")).Bar(2, 4).Text(QStringLiteral("Verse")).Bar();
    const QList<QByteArray> lines = s.Body().split('\n');
    // The comment line keeps growing with the columns, so it ends under the last bar line.
    EXPECT_EQ(lines[2].chopped(1), "    Intro" + QByteArray(12, ' ') + "Verse" + QByteArray(11, ' '));
    EXPECT_EQ(lines[3].chopped(1).size(), 3 + 17 + 17 + 1);
}

TEST(TextExport, TempoChangesStandAboveTheirBlock)
{
    Song s;
    s.Bar(4, 4, TempoBits(100)).Bar(4, 4, TempoBits(140)).Bar(4, 4, TempoBits(90)).Bar();
    const QByteArray body = s.Body();
    // Each tempo change opens a block of its own, its line right above it: read back, a
    // tempo line holds from the first measure of the block under it.
    const int t100 = body.indexOf("tempo=100bpm\r\n\r\n");
    const int hh1 = body.indexOf("HH |");
    const int t140 = body.indexOf("tempo=140bpm\r\n\r\n");
    const int hh2 = body.indexOf("HH |", hh1 + 1);
    const int t90 = body.indexOf("tempo=90bpm\r\n\r\n");
    const int hh3 = body.indexOf("HH |", hh2 + 1);
    EXPECT_TRUE(t100 == 0 && hh1 > t100 && t140 > hh1 && hh2 > t140 && t90 > hh2 && hh3 > t90) << body.toStdString();
    // A tempo on the first measure of a block breaks nothing.
    Song one;
    one.Bar(4, 4, TempoBits(100)).Bar(4, 4).Bar();
    EXPECT_EQ(one.Body().count("HH |"), 1);
}

TEST(TextExport, BlockBreaksBeforeReaching100Columns)
{
    // 2/4 measures take 17 columns: 3 + 5 * 17 = 88, a sixth would reach 88 + 16 >= 100.
    Song s;
    s.Bar(2, 4, TempoBits(100));
    for (int i = 0; i < 6; ++i)
        s.Bar(2, 4);
    const QByteArray first = s.Line("HH ", 0);
    EXPECT_EQ(first.size(), 3 + 5 * 17 + 1);
    EXPECT_EQ(s.Line("HH ", 1).size(), 3 + 17 + 1);
}

TEST(TextExport, NoteOffTheGridGetsAFinerBeat)
{
    // A snare 30 units into the measure lies between two 32nd columns: its beat is written on
    // a grid of 6 units (16 columns), the other beats keep their 8.
    Song s;
    s.Bar(4, 4, TempoBits(100)).Note(38, 30).Note(36, 48).Bar();
    EXPECT_EQ(s.Line("S  "), "S  |-----x----------" + QByteArray(24, '-') + "|");
    EXPECT_EQ(s.Line("B  "), "B  |--------x-------" + QByteArray(24, '-') + "|");
    EXPECT_EQ(s.CountLine(), "    1   e   +   a   2 e + a 3 e + a 4 e + a |");
}

TEST(TextExport, SixEightOfSixteenthTripletsTakesThreeColumnsAnEighth)
{
    Song s;
    s.Bar(6, 8, TempoBits(100)).Note(36, 0, EventBits::Triplet).Note(38, 144, EventBits::Triplet);
    s.Note(42, 176, EventBits::Triplet).Note(36, 272, EventBits::Triplet).Bar(4, 4).Note(36, 0).Bar();
    EXPECT_EQ(s.Line("B  "), "B  |x----------------x|x" + QByteArray(31, '-') + "|");
    EXPECT_EQ(s.Line("S  "), "S  |---------x--------|" + QByteArray(32, '-') + "|");
    EXPECT_EQ(s.Line("HH "), "HH |-----------x------|" + QByteArray(32, '-') + "|");
    EXPECT_EQ(s.CountLine(), "    1tl2tl3tl4tl5tl6tl " + kCount44 + "|");
}

TEST(TextExport, EmptyLastMeasureIsFollowedByTheClosingOne)
{
    Song s;
    s.Bar(4, 4, TempoBits(100)).Note(36, 0).Bar(2, 4).Bar(3, 4);
    EXPECT_EQ(s.Line("B  "), "B  |x" + QByteArray(31, '-') + "|" + QByteArray(16, '-') + "|" + QByteArray(24, '-') + "|");
    EXPECT_EQ(s.CountLine(), "    " + kCount44 + " 1 e + a 2 e + a  1 e + a 2 e + a 3 e + a |");
}

TEST(TextExport, UnwritablePathFailsWithoutAFile)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(ExportTextTab(doc, dir.filePath(QStringLiteral("missing/x.txt")), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(ExportTextTab(doc, dir.filePath(QStringLiteral("x.txt")), &error));
    EXPECT_EQ(ReadAll(dir.filePath(QStringLiteral("x.txt"))), MakeTextTab(doc));
}

TEST(TextExport, SavingUnderATxtNameWritesTheTab)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Tune.TXT"));
    ASSERT_TRUE(doc.OnSaveDocument(path));
    EXPECT_EQ(ReadAll(path), MakeTextTab(doc));
    // Exporting does not make the text file the document's file.
    EXPECT_TRUE(doc.m_pathName.isEmpty());
}

} // namespace
