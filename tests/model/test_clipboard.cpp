// Ranges, copy, paste, delete and the plain-text paste flow.

#include "clipboard.h"
#include "report.h"
#include "rondeldoc.h"
#include "safefile.h"
#include "songnotation.h"
#include "testutil.h"

#include <QStandardPaths>

namespace {

// Builds songs from the compact notation of songnotation.h.
void Build(CRondelDoc& doc, const QStringList& items)
{
    doc.OnNewDocument();
    doc.Events().clear();
    AppendSongItems(doc.Events(), items);
    doc.UndoHistory().Clear();
    doc.CheckPoint(false);
}

QStringList Describe(const CRondelDoc& doc)
{
    return DescribeSong(doc.Events());
}

TEST(SongRange, DragInsideOneBarSnapsToNotes)
{
    CRondelDoc doc;
    Build(doc, L("B 38@48 38@96 38@144 B"));
    const auto span = ResolveSongRange(doc.Events(), {1, 3, 1, 9});
    ASSERT_TRUE(span);
    EXPECT_EQ(span->m_count, 2);
    EXPECT_EQ(span->m_first->GetPosition(), 48u);
    EXPECT_EQ(span->m_last->GetPosition(), 96u);
    EXPECT_EQ(span->m_tickDn, 4);
    EXPECT_EQ(span->m_tickUp, 8);
    EXPECT_TRUE(span->m_endBar->IsBar());
}

TEST(SongRange, FromTheBarLineTakesTheBar)
{
    CRondelDoc doc;
    Build(doc, L("B 36@0 B 38@0 38@96 B 42@0 42@96 B"));
    // Ends given the wrong way round are ordered first.
    const auto span = ResolveSongRange(doc.Events(), {3, 4, 2, kTickBarLine});
    ASSERT_TRUE(span);
    EXPECT_TRUE(span->m_first->IsBar());
    EXPECT_EQ(span->m_barDn, 2);
    EXPECT_EQ(span->m_count, 5); // bar 2, its two notes, bar 3, its note at tick 0
    EXPECT_EQ(span->m_last->GetPosition(), 0u);
    EXPECT_EQ(span->m_last->GetEventType(), 42u);
}

TEST(SongRange, EmptyOrInvalidRangesResolveToNothing)
{
    CRondelDoc doc;
    Build(doc, L("B 36@0 B B"));
    EXPECT_FALSE(ResolveSongRange(doc.Events(), {0, 0, 1, 4}));
    EXPECT_FALSE(ResolveSongRange(doc.Events(), {2, 0, 2, kTickBarEnd}));
    EXPECT_FALSE(ResolveSongRange(doc.Events(), {1, 8, 1, 20}));
    // A start after the last note of a bar moves on to the next bar.
    Build(doc, L("B 36@0 B 38@24 B"));
    const auto span = ResolveSongRange(doc.Events(), {1, 8, 2, kTickBarEnd});
    ASSERT_TRUE(span);
    EXPECT_EQ(span->m_barDn, 2);
    EXPECT_EQ(span->m_tickDn, 2);
    EXPECT_EQ(span->m_count, 1);
    EXPECT_EQ(span->m_first->GetEventType(), 38u);
}

TEST(SongRange, InsertPointFollowsTheNotesBeforeTheTick)
{
    CRondelDoc doc;
    Build(doc, L("B 36@0 B 38@0 38@96 B"));
    auto p = FindInsertPoint(doc.Events(), 2, 8);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->m_after->GetPosition(), 0u);
    EXPECT_EQ(p->m_after->GetEventType(), 38u);
    p = FindInsertPoint(doc.Events(), 2, 0);
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->m_after == p->m_bar);
    p = FindInsertPoint(doc.Events(), 2, kTickBarEnd);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->m_tick, 32);
    EXPECT_EQ(p->m_after->GetPosition(), 96u);
    EXPECT_FALSE(FindInsertPoint(doc.Events(), 4, 0));
}

TEST(Clipboard, BytesAreTheCountThenEachRecord)
{
    CRondelDoc doc;
    Build(doc, L("B 38@48 B"));
    doc.Events().front().SetText(QStringLiteral("Intro"));
    const auto span = ResolveSongRange(doc.Events(), {1, kTickBarLine, 1, kTickBarEnd});
    ASSERT_TRUE(span);
    const QByteArray expected = U16(2) + U32(100 | 0x40000000) + U32(260) + QByteArray("\x05Intro") + U32(38) + U32(48);
    EXPECT_EQ(CopyEvents(*span).toHex(), expected.toHex());
}

TEST(Clipboard, PastedNotesLandOnTheCursorTick)
{
    CRondelDoc source;
    Build(source, L("B 38@48 42@72 B"));
    const auto span = ResolveSongRange(source.Events(), {1, 0, 1, kTickBarEnd});
    ASSERT_TRUE(span);
    const QByteArray bytes = CopyEvents(*span);

    CRondelDoc doc;
    Build(doc, L("B 36@0 36@192 B"));
    ASSERT_TRUE(PasteEvents(doc, bytes, FindInsertPoint(doc.Events(), 1, 8)));
    EXPECT_EQ(Describe(doc), L("B 36@0 38@96 42@120 36@192 B"));
    EXPECT_TRUE(doc.IsModified());
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(Describe(doc), L("B 36@0 36@192 B"));
}

TEST(Clipboard, RangeStartingWithNotesInsertsANewBarFirst)
{
    CRondelDoc source;
    Build(source, L("B 38@0 38@288 B3/4 36@0 B"));
    const auto span = ResolveSongRange(source.Events(), {1, 20, 2, kTickBarEnd});
    ASSERT_TRUE(span);
    const QByteArray bytes = CopyEvents(*span);

    CRondelDoc doc;
    Build(doc, L("B 42@0 B 42@96 B"));
    ASSERT_TRUE(PasteEvents(doc, bytes, FindInsertPoint(doc.Events(), 2, 4)));
    EXPECT_EQ(Describe(doc), L("B 42@0 B 38@288 B3/4 36@0 B 42@96 B"));
}

TEST(Clipboard, RangeStartingWithABarGoesInFrontOfTheCursorMeasure)
{
    CRondelDoc source;
    Build(source, L("B R2x3 B2/4 36@0 B"));
    const auto span = ResolveSongRange(source.Events(), {2, kTickBarLine, 3, kTickBarEnd});
    ASSERT_TRUE(span);

    CRondelDoc doc;
    Build(doc, L("B 42@0 B"));
    ASSERT_TRUE(PasteEvents(doc, CopyEvents(*span), FindInsertPoint(doc.Events(), 1, 0)));
    EXPECT_EQ(Describe(doc), L("R2x3 B2/4 36@0 B 42@0 B"));
}

TEST(Clipboard, NotesPastedIntoTheClosingBarGetANewClosingBar)
{
    CRondelDoc source;
    Build(source, L("B 38@0 B"));
    CRondelDoc doc;
    Build(doc, L("B B3/4"));
    const auto span = ResolveSongRange(source.Events(), {1, 0, 1, kTickBarEnd});
    ASSERT_TRUE(PasteEvents(doc, CopyEvents(*span), FindInsertPoint(doc.Events(), 2, 2)));
    EXPECT_EQ(Describe(doc), L("B B3/4 38@24 B3/4"));
    // The closing bar is part of the undo step.
    ASSERT_TRUE(doc.Undo());
    ASSERT_TRUE(doc.Redo());
    EXPECT_EQ(Describe(doc), L("B B3/4 38@24 B3/4"));
}

TEST(Clipboard, WithoutACursorNothingIsPasted)
{
    CRondelDoc doc;
    Build(doc, L("B B"));
    CRecordingReport report;
    CScopedUserReport scope(&report);
    EXPECT_FALSE(PasteEvents(doc, U16(1) + U32(38) + U32(0), std::nullopt));
    ASSERT_EQ(report.m_messages.size(), 1);
    EXPECT_TRUE(report.m_messages[0].startsWith(QStringLiteral("Kadenzo has encountered an internal problem at rondelDoc:")));
    EXPECT_EQ(Describe(doc), L("B B"));
}

TEST(Clipboard, DamagedDataChangesNothing)
{
    CRondelDoc doc;
    Build(doc, L("B 36@0 B"));
    const QByteArray good = U16(2) + U32(38) + U32(0) + U32(100 | 0x40000000) + U32(260) + QByteArray("\x03" "abc");
    const QList<QByteArray> bad = {
        good.left(good.size() - 1),       // cut inside the text
        U16(3) + U32(38) + U32(0),        // fewer records than counted
        U16(0xFFFF) + U32(0xFFFFFFFF),    // a huge count and nothing behind it
        U16(1) + U32(102) + U32(0),       // an unknown event type
        U16(1) + U32(0) + U32(0),         // type 0
        QByteArray(),
    };
    for (const QByteArray& bytes : bad) {
        QString error;
        EXPECT_FALSE(PasteEvents(doc, bytes, FindInsertPoint(doc.Events(), 1, 0), &error)) << bytes.toHex().constData();
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(Describe(doc), L("B 36@0 B"));
    EXPECT_FALSE(doc.CanUndo());
    EXPECT_TRUE(PasteEvents(doc, good, FindInsertPoint(doc.Events(), 1, 0)));
}

TEST(Clipboard, PastedBarWithoutTimeSignatureBecomesFourFour)
{
    CRondelDoc doc;
    Build(doc, L("B B"));
    ASSERT_TRUE(PasteEvents(doc, U16(1) + U32(100) + U32(0), FindInsertPoint(doc.Events(), 1, 0)));
    EXPECT_EQ(Describe(doc), L("B B B"));
}

TEST(Delete, RemovesTheRangeAndKeepsTheSongWhole)
{
    CRondelDoc doc;
    Build(doc, L("B 36@0 B 38@0 38@96 B 42@0 B"));
    const auto span = ResolveSongRange(doc.Events(), {2, kTickBarLine, 2, kTickBarEnd});
    ASSERT_TRUE(span);
    EXPECT_EQ(DeleteEvents(doc, *span), 1);
    EXPECT_EQ(Describe(doc), L("B 36@0 B 42@0 B"));
    EXPECT_TRUE(doc.CanUndo());
}

TEST(Delete, LastBarLeavesANewClosingBar)
{
    CRondelDoc doc;
    Build(doc, L("B 36@0 B 38@0 B"));
    doc.m_pEndMarker = &doc.Events().back();
    const auto span = ResolveSongRange(doc.Events(), {2, kTickBarLine, 3, kTickBarEnd});
    ASSERT_TRUE(span);
    EXPECT_EQ(DeleteEvents(doc, *span), 2);
    EXPECT_EQ(Describe(doc), L("B 36@0 B"));
    EXPECT_EQ(doc.m_pEndMarker, nullptr);
}

TEST(Delete, NotesLeftBehindTheFirstBarKeepAMeasure)
{
    CRondelDoc doc;
    Build(doc, L("B3/4 36@0 38@96 B"));
    doc.m_pStartMarker = &doc.Events().front();
    const auto span = ResolveSongRange(doc.Events(), {1, kTickBarLine, 1, 4});
    ASSERT_TRUE(span);
    // The measure goes on after the range: its bar line, and the marker on it, stay.
    EXPECT_EQ(DeleteEvents(doc, *span), 0);
    EXPECT_EQ(Describe(doc), L("B3/4 38@96 B"));
    EXPECT_EQ(doc.m_pStartMarker, &doc.Events().front());
}

TEST(Delete, ABarLineGoesOnlyWithItsWholeMeasure)
{
    CRondelDoc doc;
    Build(doc, L("B 36@0 B 38@0 38@96 B 42@0 42@96 B"));
    // From inside bar 2 to bar 3 tick 0: bar 3 keeps its bar line and its later notes.
    const auto span = ResolveSongRange(doc.Events(), {2, 4, 3, 0});
    ASSERT_TRUE(span);
    EXPECT_EQ(DeleteEvents(doc, *span), 0);
    EXPECT_EQ(Describe(doc), L("B 36@0 B 38@0 B 42@96 B"));
    // From bar 1's line to bar 3 tick 0: bars 1 and 2 go whole, bar 3 stays.
    const auto second = ResolveSongRange(doc.Events(), {1, kTickBarLine, 3, 0});
    ASSERT_TRUE(second);
    EXPECT_EQ(DeleteEvents(doc, *second), 2);
    EXPECT_EQ(Describe(doc), L("B 42@96 B"));
}

TEST(Delete, TheSongKeepsItsOpeningTempoAndPatch)
{
    CRondelDoc doc;
    Build(doc, L("B 36@0 B 38@0 B"));
    doc.Events().front().m_word1 |= TempoBits(97) | PatchBits(5);
    const auto span = ResolveSongRange(doc.Events(), {1, kTickBarLine, 1, kTickBarEnd});
    ASSERT_TRUE(span);
    EXPECT_EQ(DeleteEvents(doc, *span), 1);
    EXPECT_EQ(Describe(doc), L("B 38@0 B"));
    EXPECT_EQ(doc.Events().front().GetTempo(), 97u);
    EXPECT_EQ(doc.Events().front().GetPatch(), 5u);
}

TEST(Paste, RefusesRepeatMeasuresAndNotesPastTheBarEnd)
{
    CRecordingReport report;
    CScopedUserReport scope(&report);
    CRondelDoc source;
    Build(source, L("B 36@0 38@96 B"));
    const auto span = ResolveSongRange(source.Events(), {1, 0, 1, kTickBarEnd});
    ASSERT_TRUE(span);
    const QByteArray notes = CopyEvents(*span);

    CRondelDoc doc;
    Build(doc, L("B 42@0 R1x1 B"));
    EXPECT_FALSE(PasteEvents(doc, notes, FindInsertPoint(doc.Events(), 2, 0)));
    ASSERT_EQ(report.m_messages.size(), 1);
    EXPECT_EQ(report.m_messages[0], QString::fromLatin1(kNoNotesInRepeat));
    // Tick 28 plus the snare's 8 ticks would end past the bar's 32.
    EXPECT_FALSE(PasteEvents(doc, notes, FindInsertPoint(doc.Events(), 1, 28)));
    EXPECT_EQ(report.m_messages.size(), 2);
    EXPECT_EQ(Describe(doc), L("B 42@0 R1x1 B"));
    EXPECT_FALSE(doc.CanUndo());
}

TEST(Paste, MeasuresPastedAtTheHeadKeepTheSongsTempo)
{
    CRondelDoc source;
    Build(source, L("B 36@0 B"));
    const auto span = ResolveSongRange(source.Events(), {1, kTickBarLine, 1, kTickBarEnd});
    ASSERT_TRUE(span);
    CRondelDoc doc;
    Build(doc, L("B 42@0 B"));
    doc.Events().front().m_word1 |= TempoBits(90);
    ASSERT_TRUE(PasteEvents(doc, CopyEvents(*span), FindInsertPoint(doc.Events(), 1, 0)));
    EXPECT_EQ(Describe(doc), L("B 36@0 B 42@0 B"));
    EXPECT_EQ(doc.Events().front().GetTempo(), 90u);
}

class TextPasteTest : public testing::Test
{
protected:
    void SetUp() override
    {
        // Keep the sample-tab folder inside a temporary home.
        m_oldHome = qgetenv("HOME");
        m_oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", m_home.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toLocal8Bit());
    }
    void TearDown() override
    {
        qputenv("HOME", m_oldHome);
        if (m_oldConfig.isEmpty())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", m_oldConfig);
    }
    QTemporaryDir m_home;
    QByteArray m_oldHome;
    QByteArray m_oldConfig;
};

TEST_F(TextPasteTest, NoEndsTheFlow)
{
    CRecordingReport report;
    CScopedUserReport scope(&report);
    report.m_answer = false;
    bool asked = false;
    EXPECT_TRUE(SavePastedText(QStringLiteral("HH|x-x-|"), [&](const QString&) {
                    asked = true;
                    return QString();
                }).isEmpty());
    EXPECT_FALSE(asked);
    EXPECT_EQ(report.m_questions, QStringList{QString::fromLatin1(TextPaste::kQuestion)});
}

TEST_F(TextPasteTest, YesWritesTheTextInTheSampleFolder)
{
    CRecordingReport report;
    CScopedUserReport scope(&report);
    report.m_answer = true;
    QString offered;
    const QString path = SavePastedText(QStringLiteral("HH|x-x-|\r\nBD|o---|\n"), [&](const QString& folder) {
        offered = folder;
        return folder + QStringLiteral("NewTab.txt");
    });
    EXPECT_EQ(offered, SampleTabFolder());
    EXPECT_TRUE(offered.startsWith(m_home.path())) << offered.toStdString();
    EXPECT_TRUE(offered.endsWith(QStringLiteral("/Tabs/")));
    EXPECT_TRUE(QFileInfo(offered).isDir());
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(ReadAll(path), QByteArray("HH|x-x-|\nBD|o---|\n"));

    // Cancel in the file dialog, and a file that cannot be created.
    EXPECT_TRUE(SavePastedText(QStringLiteral("x"), [](const QString&) { return QString(); }).isEmpty());
    EXPECT_TRUE(report.m_messages.isEmpty());
    const QString missing = SampleTabFolder() + QStringLiteral("no/such/dir/t.txt");
    EXPECT_TRUE(SavePastedText(QStringLiteral("x"), [&](const QString&) { return missing; }).isEmpty());
    ASSERT_EQ(report.m_messages.size(), 1);
    // The short text, then the file and the system's reason like every other failed save.
    const QStringList lines = report.m_messages.front().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2) << report.m_messages.front().toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("File could not be opened"));
    EXPECT_EQ(lines[1], CannotWriteText(missing, QStringLiteral("No such file or directory")));
}

TEST(TextPaste, EveryLineEndsWithANewline)
{
    EXPECT_EQ(PastedTextBytes(QStringLiteral("a\nb")), QByteArray("a\nb\n"));
    EXPECT_EQ(PastedTextBytes(QStringLiteral("a\r\n\r\nb\r\n")), QByteArray("a\n\nb\n"));
    EXPECT_EQ(PastedTextBytes(QString()), QByteArray());
}

} // namespace

namespace {

// Removes measures [from, to] of the song without committing, then adjusts the repeats after
// them as the Delete command does; returns what the adjustment said.
bool RemoveBarsAndAdjust(CRondelDoc& doc, int from, int to)
{
    const auto span = ResolveSongRange(doc.Events(), {from, kTickBarLine, to, kTickBarEnd});
    EXPECT_TRUE(span);
    const int removed = RemoveEvents(doc, *span);
    EXPECT_EQ(removed, to - from + 1);
    return AdjustMeasureRepeat(doc.Events(), from, -removed);
}

TEST(MeasureRepeatAdjust, DeletesInsideAGroupShortenIt)
{
    CRondelDoc doc;
    // "R3x1" at bar 5 repeats bars 2 to 4.
    Build(doc, L("B 36@0 B 38@0 B 42@0 B 46@0 R3x1 B 49@0 B"));
    EXPECT_TRUE(RemoveBarsAndAdjust(doc, 3, 3));
    EXPECT_EQ(Describe(doc), L("B 36@0 B 38@0 B 46@0 R2x1 B 49@0 B"));
    // The last measure of the group, right before the repeat.
    Build(doc, L("B 36@0 B 38@0 B 42@0 B 46@0 R3x1 B 49@0 B"));
    EXPECT_TRUE(RemoveBarsAndAdjust(doc, 4, 4));
    EXPECT_EQ(Describe(doc), L("B 36@0 B 38@0 B 42@0 R2x1 B 49@0 B"));
    // Its first measure.
    Build(doc, L("B 36@0 B 38@0 B 42@0 B 46@0 R3x1 B 49@0 B"));
    EXPECT_TRUE(RemoveBarsAndAdjust(doc, 2, 2));
    EXPECT_EQ(Describe(doc), L("B 36@0 B 42@0 B 46@0 R2x1 B 49@0 B"));
}

TEST(MeasureRepeatAdjust, OnlyTheMeasuresInsideTheGroupCount)
{
    CRondelDoc doc;
    // Bars 1 and 2 go; only bar 2 was in the group of bars 2 to 4.
    Build(doc, L("B 36@0 B 38@0 B 42@0 B 46@0 R3x1 B"));
    EXPECT_TRUE(RemoveBarsAndAdjust(doc, 1, 2));
    EXPECT_EQ(Describe(doc), L("B 42@0 B 46@0 R2x1 B"));
    // A measure before the group changes nothing.
    Build(doc, L("B 36@0 B 38@0 B 42@0 R2x1 B"));
    EXPECT_TRUE(RemoveBarsAndAdjust(doc, 1, 1));
    EXPECT_EQ(Describe(doc), L("B 38@0 B 42@0 R2x1 B"));
    // Measures after the repeat change nothing either.
    Build(doc, L("B 36@0 B 38@0 R2x1 B 42@0 B"));
    EXPECT_TRUE(RemoveBarsAndAdjust(doc, 4, 4));
    EXPECT_EQ(Describe(doc), L("B 36@0 B 38@0 R2x1 B"));
}

TEST(MeasureRepeatAdjust, AGroupThatWouldBeEmptyIsLeftAndReported)
{
    CRondelDoc doc;
    Build(doc, L("B 36@0 B 38@0 B 42@0 R2x1 B"));
    EXPECT_FALSE(RemoveBarsAndAdjust(doc, 2, 3));
    EXPECT_EQ(Describe(doc), L("B 36@0 R2x1 B"));
    // A repeat more than 8 measures away is not looked at.
    Build(doc, L("B B B B B B B B B B 36@0 R10x1 B"));
    EXPECT_TRUE(RemoveBarsAndAdjust(doc, 1, 1));
    EXPECT_EQ(Describe(doc), L("B B B B B B B B B 36@0 R10x1 B"));
}

TEST(MeasureRepeatAdjust, AnInsertedMeasureInsideTheGroupLengthensIt)
{
    CRondelDoc doc;
    Build(doc, L("B 36@0 B 38@0 B 42@0 R2x1 B"));
    // A new bar 3 (after bar 2): bars 2 to 4 are now the group.
    doc.Events().insert(FindBar(doc.Events(), 3), std::make_unique<CEvent>(EventType::Bar, TimeSigWord(4, 4)));
    EXPECT_TRUE(AdjustMeasureRepeat(doc.Events(), 4, 1));
    EXPECT_EQ(Describe(doc), L("B 36@0 B 38@0 B B 42@0 R3x1 B"));
    // Inserted after the repeat: nothing to do.
    EXPECT_TRUE(AdjustMeasureRepeat(doc.Events(), 7, 1));
    EXPECT_EQ(Describe(doc), L("B 36@0 B 38@0 B B 42@0 R3x1 B"));
}

} // namespace
