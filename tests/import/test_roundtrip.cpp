// Tabs written by Kadenzo's own text export read back to the same song: notes that share a
// line at one tick, flams on the bass drum, the marks of the line above a staff, and measures
// the 32nd-note columns cannot carry (triplet grids, short signatures, notes off every grid,
// a note on the closing bar line, an empty last measure).

#include "importtestutil.h"
#include "songnotation.h"
#include "textexport.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

// The song text with the notes of one position in a fixed order: the order of the lines
// they came from is not part of the song.
std::string Sorted(const std::string& song)
{
    std::vector<std::string> tokens;
    std::string out;
    auto flush = [&] {
        std::stable_sort(tokens.begin(), tokens.end(), [](const std::string& a, const std::string& b) {
            const int pa = std::stoi(a.substr(a.find('@') + 1));
            const int pb = std::stoi(b.substr(b.find('@') + 1));
            return pa != pb ? pa < pb : a < b;
        });
        for (const std::string& t : tokens)
            out += " " + t;
        tokens.clear();
    };
    size_t i = 0;
    while (i < song.size()) {
        const size_t j = std::min(song.find(' ', i), song.size());
        const std::string t = song.substr(i, j - i);
        const size_t at = t.find('@');
        if (!t.empty() && (t[0] == '|' || at == std::string::npos || at + 1 >= t.size() || !std::isdigit(static_cast<unsigned char>(t[at + 1])))) {
            flush();
            out += (out.empty() ? "" : " ") + t;
        } else if (!t.empty()) {
            tokens.push_back(t);
        }
        i = j + 1;
    }
    flush();
    return out;
}

// The song as an opened document holds it (with its closing bar), written and read back.
std::string ExportAndReimport(CRondelDoc& doc)
{
    EXPECT_TRUE(doc.FinishOpen(nullptr));
    const QByteArray text = MakeTextTab(doc);
    auto back = RunImport(QByteArray(text).replace("\r\n", "\n").toStdString());
    EXPECT_GE(back->blocks, 1) << text.toStdString();
    EXPECT_TRUE(back->doc.FinishOpen(nullptr));
    for (const QString& m : back->report.m_messages)
        ADD_FAILURE() << "unexpected message: " << m.toStdString();
    return Sorted(SongText(back->doc.Events()));
}

TEST(TextRoundTrip, NotesSharingALineAtOneTickComeBack)
{
    // Kick and hi-hat foot together, both crashes together, and a flammed kick: the written
    // tab has one bass and one crash line, so each pair needs the line of its own.
    auto r = RunImport("C1|x---------------|\n"
                       "C2|x-------x-------|\n"
                       "HH|--x-x-x-x-x-x-x-|\n"
                       "S |----o-------o---|\n"
                       "B |o-------f---o---|\n"
                       "HF|x---x---x---x---|\n");
    const std::string song = Sorted(SongText(r->doc.Events()) + " |4/4");
    ASSERT_NE(song.find("44@0"), std::string::npos) << song;
    ASSERT_NE(song.find("57@0"), std::string::npos) << song;
    ASSERT_NE(song.find("36@192f"), std::string::npos) << song;
    EXPECT_EQ(ExportAndReimport(r->doc), song);
}

TEST(TextRoundTrip, ATempoChangeComesBackAtItsMeasure)
{
    // Two measures at the song's tempo, then a change: written as a block of its own, the
    // change is read back on the measure that carries it.
    auto r = RunImport("Tempo: 100\n\nHH|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|o-------o-------|\n\n"
                       "Tempo: 140\n\nHH|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|\n");
    ASSERT_TRUE(r->doc.FinishOpen(nullptr));
    const QByteArray text = MakeTextTab(r->doc);
    auto back = RunImport(QByteArray(text).replace("\r\n", "\n").toStdString());
    ASSERT_TRUE(back->doc.FinishOpen(nullptr));
    std::vector<int> tempos;
    for (const CEvent& ev : back->doc.Events())
        if (ev.IsBar())
            tempos.push_back(int(ev.GetTempo()));
    ASSERT_GE(tempos.size(), 3u) << text.toStdString();
    EXPECT_EQ(tempos[2], 140) << text.toStdString();
    EXPECT_EQ(tempos[1], 0) << text.toStdString();
}

TEST(TextRoundTrip, AccentedCymbalsAndRemarksComeBack)
{
    auto r = RunImport("   cresc >>>>>>>>>>\n"
                       "C |X---------------|x---------------|\n"
                       "H |--x-x-x-X-x-x-x-|X-x-x-x-x-x-x-x-|\n"
                       "S |----o-------o---|----o-------o---|\n"
                       "B |o-------o-------|o-------o-------|\n");
    const std::string song = Sorted(SongText(r->doc.Events()) + " |4/4");
    ASSERT_NE(song.find("49@0!"), std::string::npos) << song;
    EXPECT_EQ(ExportAndReimport(r->doc), song);
}

TEST(TextRoundTrip, OneInstrumentWrittenOnTwoLinesPlaysEachHitOnce)
{
    auto r = RunImport("HH|x-x-x-x-x-x-x-x-|\n"
                       "HH|x-x-x-x-x-x-x-x-|\n"
                       "S |----o-------o---|\n"
                       "S |----o-------o---|\n"
                       "B |o-------o-------|\n");
    EXPECT_EQ(SongText(r->doc.Events()),
              "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336");
}

TEST(TextRoundTrip, AccentMarksAboveAStaffButNotARemark)
{
    // '>' over a note accents it; a remark that holds '>' among its words does not.
    auto marked = RunImport("       >       >\n"
                            "H |x-x-x-x-x-x-x-x-|\n"
                            "B |o-------o-------|\n");
    EXPECT_EQ(SongText(marked->doc.Events()),
              "|4/4 42@0 36@0 42@48 42@96! 42@144 42@192 36@192 42@240 42@288! 42@336");
    auto remark = RunImport("   c>>>>>>>>>>>>>>\n"
                            "H |x-x-x-x-x-x-x-x-|\n"
                            "B |o-------o-------|\n");
    EXPECT_EQ(SongText(remark->doc.Events()).find('!'), std::string::npos) << SongText(remark->doc.Events());
}

// A song in the compact notation ("B6/8 49@0 ... B", the last "B" the closing bar), tempo 100.
struct SWritten
{
    QByteArray tab;       // the exported text, LF line ends
    std::string song;     // the song read back from it, in the same notation
    QStringList messages; // what reading it back told the user
};

SWritten WriteAndReadBack(const char* song, const std::vector<size_t>& triplets = {})
{
    CRondelDoc doc;
    doc.OnNewDocument();
    doc.Events().clear();
    AppendSongItems(doc.Events(), L(song), TempoBits(100));
    size_t index = 0;
    for (auto& ev : doc.Events())
        if (std::find(triplets.begin(), triplets.end(), index++) != triplets.end())
            ev.m_word1 |= EventBits::Triplet;
    SWritten w;
    w.tab = MakeTextTab(doc).replace("\r\n", "\n");
    auto back = RunImport(w.tab.toStdString());
    EXPECT_TRUE(back->doc.FinishOpen(nullptr));
    w.song = DescribeSong(back->doc.Events()).join(QLatin1Char(' ')).toStdString();
    w.messages = back->report.m_messages;
    return w;
}

// The count line of the first staff block: the line after the bass line.
std::string CountLine(const QByteArray& tab)
{
    const QList<QByteArray> lines = tab.split('\n');
    for (int i = 0; i + 1 < lines.size(); ++i)
        if (lines[i].startsWith("B  |"))
            return lines[i + 1].toStdString();
    return {};
}

TEST(TextRoundTripGrids, FourTomsComeBackAsTheyWere)
{
    // Written T1 to T4, read back as the same four toms (a hand-written T1-T4 tab is high,
    // mid, low and floor tom).
    const char* song = "B 50@0 36@0 48@96 47@192 45@288 B";
    const SWritten w = WriteAndReadBack(song);
    EXPECT_EQ(w.song, song) << w.tab.toStdString();
}

TEST(TextRoundTripGrids, SixteenthTripletsOverEighthsAndQuarters)
{
    // 6/8 of 16th-note triplets: three columns an eighth, counted the way tabs count them.
    const char* sixEight = "B6/8 49@0 36@0 51@96 49@144 38@144 51@192 51@240 36@272 B";
    SWritten w = WriteAndReadBack(sixEight);
    EXPECT_EQ(w.song, sixEight) << w.tab.toStdString();
    EXPECT_EQ(CountLine(w.tab), "    1tl2tl3tl4tl5tl6tl|");
    EXPECT_TRUE(w.messages.isEmpty()) << w.messages.join(QLatin1Char('\n')).toStdString();

    // The same notes in 3/4: the quarters split in six.
    const char* threeFour = "B3/4 49@0 36@0 51@96 49@144 38@144 51@192 51@240 36@272 B";
    w = WriteAndReadBack(threeFour);
    EXPECT_EQ(w.song, threeFour) << w.tab.toStdString();
    EXPECT_EQ(CountLine(w.tab), "    1 t+t 2 t+t 3 t+t |");

    // Sextuplets on beats 3 and 4 of a 4/4 measure, between two plain ones that keep their
    // 32 columns.
    const char* sextuplets = "B 36@0 B 49@0 36@0 38@48 50@240 50@256 50@272 48@320 48@336 B 36@0 B";
    w = WriteAndReadBack(sextuplets);
    EXPECT_EQ(w.song, sextuplets) << w.tab.toStdString();
    EXPECT_EQ(CountLine(w.tab), "    1 e + a 2 e + a 3 e + a 4 e + a  1 t+t 2 t+t 3 t+t 4 t+t  "
                                "1 e + a 2 e + a 3 e + a 4 e + a |");
}

TEST(TextRoundTripGrids, TripletRunsThatReadBackKeepTheirColumns)
{
    // A 16th-note triplet on beat 1 and an 8th-note triplet on beat 2: the columns of the
    // plain layout, three for each triplet.
    const char* song = "B 38@0 38@16 38@32 36@48 42@96 42@128 42@160 36@192 B";
    const SWritten w = WriteAndReadBack(song, {1, 2, 3, 5, 6, 7});
    EXPECT_EQ(w.song, song) << w.tab.toStdString();
    EXPECT_EQ(CountLine(w.tab), "    1tl+ a 2tt3 e + a 4 e + a |");

    // On beat 3 of four the same marks would make the reader count the measure in eighths
    // (4/8): the measure is written on the sextuplet grid instead.
    const char* third = "B 38@192 38@208 38@224 36@240 B";
    const SWritten late = WriteAndReadBack(third, {1, 2, 3});
    EXPECT_EQ(late.song, third) << late.tab.toStdString();
    EXPECT_EQ(CountLine(late.tab), "    1 t+t 2 t+t 3 t+t 4 t+t |");
}

TEST(TextRoundTripGrids, ShortSignatures)
{
    // 32nd-note triplets filling a 2/8 measure, then a 1/8 measure: counted in eighths, which
    // a count in quarters would read as 1/4 twice.
    const char* song = "B2/8 38@0 50@8 48@16 48@24 36@32 36@40 38@48 50@56 48@64 48@72 36@80 36@88 B1/8 38@0 B 36@0 B";
    const SWritten w = WriteAndReadBack(song);
    EXPECT_EQ(w.song, song) << w.tab.toStdString();
    EXPECT_EQ(CountLine(w.tab), "    1 t l 2 t l  1+ 1 e + a 2 e + a 3 e + a 4 e + a |");

    // A 6/8 measure of 32nd notes keeps its 24 columns counted in quarters: it comes back
    // as long, with its notes in place, spelt 3/4.
    const SWritten plain = WriteAndReadBack("B6/8 36@0 42@12 38@144 B");
    EXPECT_EQ(plain.song, "B3/4 36@0 42@12 38@144 B");
    EXPECT_EQ(CountLine(plain.tab), "    1 e + a 2 e + a 3 e + a |");

    // Four eighths of 16th-note triplets are no "1tl2tl3tl4tl" (one trip-let a quarter).
    const char* fourEighths = "B4/8 38@0 50@16 48@32 36@48 42@64 38@80 38@96 50@112 48@128 36@144 42@160 38@176 B";
    const SWritten quick = WriteAndReadBack(fourEighths);
    EXPECT_EQ(quick.song, fourEighths) << quick.tab.toStdString();
    // Nor are they "1 t l 2 t l 3 t l 4 t l" a blank apart (a 4/4 shuffle count): the first
    // beat takes twice the columns.
    EXPECT_EQ(CountLine(quick.tab), "    1   t   l   2 t l 3 t l 4 t l |");
    const char* fourEighths32 = "B4/8 38@0 50@8 48@16 36@24 42@64 38@88 38@96 50@136 48@176 B";
    const SWritten quicker = WriteAndReadBack(fourEighths32);
    EXPECT_EQ(quicker.song, fourEighths32) << quicker.tab.toStdString();

    // 12/8 with 16th-note triplets: counted in twelve eighths, the tenth to twelfth written
    // 0, 1 and 2 as the reader counts on from ten.
    const char* twelve = "B12/8 38@0 50@16 48@32 36@48 42@144 38@432 42@528 B";
    const SWritten compound = WriteAndReadBack(twelve);
    EXPECT_EQ(compound.song, twelve) << compound.tab.toStdString();
    EXPECT_EQ(CountLine(compound.tab), "    1tl2tl3tl4tl5tl6tl7tl8tl9tl0tl1tl2tl|");
}

TEST(TextRoundTripGrids, NotesOffEveryGrid)
{
    // 30 lies on no 32nd column: its beat takes the grid it needs (16 columns).
    const char* song = "B 38@30 36@48 B";
    SWritten w = WriteAndReadBack(song);
    EXPECT_EQ(w.song, song) << w.tab.toStdString();
    EXPECT_EQ(CountLine(w.tab), "    1   e   +   a   2 e + a 3 e + a 4 e + a |");

    // With 82 as well the beat would need 48 columns: both are written in the column of
    // their 32nd note on a grid of 24 columns a quarter.
    w = WriteAndReadBack("B 38@30 36@48 42@82 B");
    EXPECT_EQ(w.song, "B 38@28 36@48 42@80 B") << w.tab.toStdString();

    // 181 would need 48 columns an eighth note: it is written in the column of its 32nd note
    // on a grid of 24 a quarter (180), the snare hits 4 apart keep their own columns.
    w = WriteAndReadBack("B 38@96 38@100 38@104 41@181 B");
    EXPECT_EQ(w.song, "B 38@96 38@100 38@104 41@180 B") << w.tab.toStdString();
}

TEST(TextRoundTripGrids, NoteOnTheClosingBarLine)
{
    // A hit on the bar line that closes a 2/4 measure (where a tab's last column can leave
    // it) stays in that measure: one more beat number, a column wide.
    const char* song = "B2/4 36@0 38@96 42@192 B 36@0 B";
    const SWritten w = WriteAndReadBack(song);
    EXPECT_EQ(w.song, song) << w.tab.toStdString();
    EXPECT_EQ(CountLine(w.tab), "    1   e   +   a   2   e   +   a   3 1 e + a 2 e + a 3 e + a 4 e + a |");
}

TEST(TextRoundTripGrids, SparseCountsNeverTakeOverTheTab)
{
    // Every measure has hits a 96th note off the beat: written on their own grid, each count
    // line would hold too few syllables to be taken for a count, and the tab would be read
    // without counts. They are written in the columns of their 32nd notes instead.
    const SWritten w = WriteAndReadBack("B 38@4 36@100 B 38@4 36@100 B 38@4 36@100 B 38@4 36@100 B");
    EXPECT_EQ(w.song, "B 38@0 36@96 B 38@0 36@96 B 38@0 36@96 B 38@0 36@96 B") << w.tab.toStdString();
    EXPECT_EQ(CountLine(w.tab), "    1 e + a 2 e + a 3 e + a 4 e + a |");

    // One such measure among enough plain ones keeps its own grid: its staff alone is not
    // taken for a count, the others are, and the tab is read with counts.
    const char* one = "B 38@4 36@100 B 36@0 B 36@0 B 36@0 B 36@0 B 36@0 B 36@0 B 36@0 B 36@0 B";
    const SWritten kept = WriteAndReadBack(one);
    EXPECT_EQ(kept.song, one) << kept.tab.toStdString();
    EXPECT_EQ(CountLine(kept.tab), "    1     e     +     a     2     e     +     a     3 e + a 4 e + a |");
}

TEST(TextRoundTripGrids, EmptyLastMeasureStays)
{
    const char* song = "B 36@0 B3/4 B";
    SWritten w = WriteAndReadBack(song);
    EXPECT_EQ(w.song, song) << w.tab.toStdString();
    // A song without notes is written as it always was: one block of its measures.
    w = WriteAndReadBack("B B B");
    EXPECT_EQ(w.song, "B B");
}

TEST(TextRoundTripGrids, NotesPastTheMeasureEndAreKeptInALongerMeasure)
{
    // The reader takes a measure's length from the columns that place its notes: a hit a
    // quarter past the end of a 2/4 measure cannot stay in it, so the measure grows.
    const SWritten w = WriteAndReadBack("B2/4 36@0 38@240 B");
    EXPECT_EQ(w.song, "B21/32 36@0 38@240 B") << w.tab.toStdString();
}

} // namespace
