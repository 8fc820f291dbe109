// The test-mode comparison of two songs and its messages.

#include "report.h"
#include "rondeldoc.h"
#include "songcompare.h"
#include "testutil.h"

namespace {

void Bar(CEventList& l, uint32_t word2 = TimeSigWord(4, 4)) { AppendEvent(l, EventType::Bar, word2); }

// Bar 1: hi-hat and bass at tick 0, snare at tick 8; bar 2 empty; closing bar.
CEventList Reference()
{
    CEventList l;
    Bar(l);
    AppendEvent(l, 42, 0);
    AppendEvent(l, 36, 0);
    AppendEvent(l, 38 | EventBits::Accent, 96);
    Bar(l);
    Bar(l);
    return l;
}

TEST(SongCompare, EqualSongsMatchWhateverTheChordOrder)
{
    CEventList a = Reference();
    // The same chord listed the other way round.
    auto hh = std::next(a.begin());
    a.splice(std::next(hh, 2), a, hh);
    EXPECT_EQ((*std::next(a.begin())).GetEventType(), 36u);
    EXPECT_FALSE(CompareSongs(a, Reference()).m_differ);
}

struct SDiffCase
{
    const char* what;
    std::function<void(CEventList&)> change;
    const char* message;
};

class SongCompareDifferences : public testing::TestWithParam<SDiffCase>
{
};

TEST_P(SongCompareDifferences, FirstDifferenceIsNamed)
{
    CEventList a = Reference();
    GetParam().change(a);
    const SSongDifference d = CompareSongs(a, Reference());
    EXPECT_TRUE(d.m_differ);
    EXPECT_EQ(d.Message(), QString::fromLatin1(GetParam().message)) << GetParam().what;
}

CEvent& At(CEventList& l, int index) { return *std::next(l.begin(), index); }

INSTANTIATE_TEST_SUITE_P(
    Cases, SongCompareDifferences,
    testing::Values(
        SDiffCase{"time signature", [](CEventList& l) { At(l, 4).m_word2 = TimeSigWord(3, 4); },
                  "BAR match failed type(GetTimeSigNumerator) at bar(2)"},
        SDiffCase{"denominator", [](CEventList& l) { At(l, 0).m_word2 = TimeSigWord(4, 8); },
                  "BAR match failed type(GetTimeSigDenominator) at bar(1)"},
        SDiffCase{"repeat start", [](CEventList& l) { At(l, 4).m_word2 |= EventBits::RepeatGroupStart; },
                  "BAR match failed type(IsRepeatGroupStart) at bar(2)"},
        SDiffCase{"type", [](CEventList& l) { At(l, 4).m_word1 = EventType::RepeatPrevMeasures; },
                  "BAR match failed type(GetEventType) at bar(2)"},
        SDiffCase{"missing bar", [](CEventList& l) { l.pop_back(); }, "BAR match failed type(GetEventType) at bar(3)"},
        SDiffCase{"accent", [](CEventList& l) { At(l, 3).m_word1 = 38; }, "NOTE match failed type(IsAccent) at bar(1) tick(8)"},
        SDiffCase{"ghost", [](CEventList& l) { At(l, 1).m_word1 |= EventBits::Ghost; },
                  "NOTE match failed type(IsGhost) at bar(1) tick(0)"},
        SDiffCase{"triplet", [](CEventList& l) { At(l, 2).m_word1 |= EventBits::Triplet; },
                  "NOTE match failed type(IsTriplet) at bar(1) tick(0)"},
        SDiffCase{"instrument", [](CEventList& l) { At(l, 3).m_word1 = 40 | EventBits::Accent; },
                  "NOTE match failed type(GetEventType) at bar(1) tick(8)"},
        SDiffCase{"tick", [](CEventList& l) { At(l, 3).m_word2 = 48; }, "NOTE match failed type(GetTick) at bar(1) tick(4)"},
        SDiffCase{"extra note", [](CEventList& l) { l.insert(std::next(l.begin(), 5), std::make_unique<CEvent>(42, 192)); },
                  "NOTE match failed type(GetEventType) at bar(2) tick(16)"},
        SDiffCase{"extra rest", [](CEventList& l) { l.insert(std::next(l.begin(), 5), std::make_unique<CEvent>(1, 0)); },
                  "NOTE match failed type(GetEventType) at bar(2) tick(0)"}));

TEST(SongCompare, OptionsLeaveOutRestsAndTriplets)
{
    CEventList a = Reference();
    At(a, 1).m_word1 |= EventBits::Triplet;
    a.insert(std::next(a.begin(), 5), std::make_unique<CEvent>(1, 0));
    SCompareOptions o;
    o.m_rests = false;
    o.m_triplets = false;
    EXPECT_FALSE(CompareSongs(a, Reference(), o).m_differ);
}

TEST(SongCompare, OnlyTextDocumentsCanBeCompared)
{
    CRecordingReport report;
    CScopedUserReport scope(&report);
    CRondelDoc doc;
    doc.OnNewDocument();
    doc.m_pathName = QStringLiteral("/tmp/song.kdz");
    QString message;
    EXPECT_EQ(CompareWithSongFile(doc, &message), ECompareResult::CannotCompare);
    EXPECT_EQ(message, QStringLiteral("Can only compare .txt file as input"));
    EXPECT_EQ(report.m_messages, QStringList{message});
}

TEST(SongCompare, TextDocumentAgainstItsSongFile)
{
    QTemporaryDir dir;
    CRondelDoc saved;
    saved.OnNewDocument();
    AppendEvent(saved.Events(), 42, 0); // into the closing bar: bar 2
    ASSERT_TRUE(saved.OnSaveDocument(dir.filePath(QStringLiteral("tune.kdz"))));

    CRecordingReport report;
    CScopedUserReport scope(&report);
    CRondelDoc doc;
    doc.OnNewDocument();
    doc.m_pathName = dir.filePath(QStringLiteral("tune.txt"));
    QString message;
    EXPECT_EQ(CompareWithSongFile(doc, &message), ECompareResult::Differ);
    EXPECT_EQ(message, QStringLiteral("NOTE match failed type(GetEventType) at bar(2) tick(0)"));

    AppendEvent(doc.Events(), 42, 0);
    EXPECT_EQ(CompareWithSongFile(doc, &message), ECompareResult::Match);
    EXPECT_TRUE(message.isEmpty());

    doc.m_pathName = dir.filePath(QStringLiteral("other.txt"));
    EXPECT_EQ(CompareWithSongFile(doc, &message), ECompareResult::CannotCompare);
    EXPECT_TRUE(message.contains(QStringLiteral("other.kdz")));
}

} // namespace
