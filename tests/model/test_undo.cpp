// Undo and redo: snapshot limits, the redo list, what a snapshot restores, playback markers.

#include "report.h"
#include "rondeldoc.h"
#include "songrange.h"
#include "testutil.h"

namespace {

// A song of `bars` plain 4/4 measures plus the closing bar line.
void MakeBars(CRondelDoc& doc, int bars)
{
    doc.OnNewDocument();
    doc.Events().clear();
    AppendEvent(doc.Events(), EventType::Bar | TempoBits(120), TimeSigWord(4, 4));
    for (int i = 1; i < bars; ++i)
        AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4));
    AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4));
    doc.UndoHistory().Clear();
    doc.CheckPoint(false);
}

TEST(Undo, TwelveChangesLeaveTenSteps)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    EXPECT_FALSE(doc.CanUndo());
    for (int i = 1; i <= 12; ++i) {
        doc.m_header[Header::Song] = QStringLiteral("v%1").arg(i);
        AppendEvent(doc.Events(), 38, 0);
        doc.CommitEdit();
    }
    int steps = 0;
    while (doc.Undo())
        ++steps;
    EXPECT_EQ(steps, 10);
    // The oldest states (the new song and the first change) are gone.
    EXPECT_EQ(doc.m_header[Header::Song], QStringLiteral("v2"));
    EXPECT_EQ(doc.Events().size(), 2u + 2u);
    int redone = 0;
    while (doc.Redo())
        ++redone;
    EXPECT_EQ(redone, 10);
    EXPECT_EQ(doc.m_header[Header::Song], QStringLiteral("v12"));
    EXPECT_EQ(doc.Events().size(), 2u + 12u);
}

TEST(Undo, AChangeAfterUndoEmptiesRedo)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    for (int i = 0; i < 3; ++i) {
        AppendEvent(doc.Events(), 36, uint32_t(i * 96));
        doc.CommitEdit();
    }
    ASSERT_TRUE(doc.Undo());
    ASSERT_TRUE(doc.Undo());
    EXPECT_TRUE(doc.CanRedo());
    EXPECT_EQ(doc.UndoHistory().RedoSteps(), 2);
    doc.m_header[Header::Band] = QStringLiteral("new");
    doc.CommitEdit();
    EXPECT_FALSE(doc.CanRedo());
    EXPECT_FALSE(doc.Redo());
    ASSERT_TRUE(doc.Undo());
    EXPECT_TRUE(doc.m_header[Header::Band].isEmpty());
    EXPECT_EQ(doc.Events().size(), 3u);
}

TEST(Undo, RestoresHeaderAndSettings)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    const QByteArray before = doc.SaveBytes();
    for (int i = 0; i < Header::Count; ++i)
        doc.m_header[size_t(i)] = QStringLiteral("text %1").arg(i);
    doc.m_songTempo = 77;
    doc.m_audioSync = 345;
    doc.m_audioFile = QStringLiteral("/music/take.wav");
    doc.m_bThreePartCounting = 1;
    doc.m_sizeDoc[1] = 4000;
    doc.Events().front().SetText(QStringLiteral("Intro"));
    doc.CommitEdit();
    const QByteArray after = doc.SaveBytes();

    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.SaveBytes(), before);
    EXPECT_TRUE(doc.m_header[Header::Drummer].isEmpty());
    EXPECT_EQ(doc.m_songTempo, 120);
    EXPECT_EQ(doc.m_audioSync, 0);
    EXPECT_TRUE(doc.m_audioFile.isEmpty());
    ASSERT_TRUE(doc.Redo());
    EXPECT_EQ(doc.SaveBytes(), after);
}

TEST(Undo, NewPageBitsOnCommentedBarsSurviveUndo)
{
    // Opening a file repairs new-page bits when most comments sit on new-page bars; an undo
    // snapshot is not an opened file and must come back exactly.
    CRondelDoc doc;
    doc.OnNewDocument();
    doc.Events().front().m_word1 |= EventBits::NewPage;
    doc.Events().front().SetText(QStringLiteral("page two"));
    doc.CommitEdit();
    AppendEvent(doc.Events(), 36, 0);
    doc.CommitEdit();
    ASSERT_TRUE(doc.Undo());
    EXPECT_TRUE(doc.Events().front().m_word1 & EventBits::NewPage);
}

TEST(Undo, MarkersStayOnTheSameBarOrdinals)
{
    CRondelDoc doc;
    MakeBars(doc, 4);
    // A measure repeat before the marked bars does not count: markers count BAR events only.
    auto second = std::next(doc.Events().begin());
    doc.Events().insert(second, std::make_unique<CEvent>(EventType::RepeatPrevMeasures, RepeatPrevWord(1, 1)));
    doc.CommitEdit();
    doc.m_pStartMarker = BarAtOrdinal(doc.Events(), 2);
    doc.m_pEndMarker = BarAtOrdinal(doc.Events(), 4);
    ASSERT_TRUE(doc.m_pStartMarker && doc.m_pEndMarker);
    EXPECT_EQ(BarNumberOf(doc.Events(), std::find_if(doc.Events().begin(), doc.Events().end(),
                                                     [&](const auto& e) { return &e == doc.m_pStartMarker; })),
              3);

    AppendEvent(doc.Events(), 36, 0);
    doc.CommitEdit();
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(BarOrdinal(doc.Events(), doc.m_pStartMarker), 2);
    EXPECT_EQ(BarOrdinal(doc.Events(), doc.m_pEndMarker), 4);
    ASSERT_TRUE(doc.Redo());
    EXPECT_EQ(BarOrdinal(doc.Events(), doc.m_pStartMarker), 2);
    EXPECT_EQ(BarOrdinal(doc.Events(), doc.m_pEndMarker), 4);
}

TEST(Undo, MarkerOnABarThatUndoRemovesIsCleared)
{
    CRondelDoc doc;
    MakeBars(doc, 2);
    AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4));
    AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4));
    doc.CommitEdit();
    doc.m_pStartMarker = BarAtOrdinal(doc.Events(), 1);
    doc.m_pEndMarker = BarAtOrdinal(doc.Events(), 5);
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(BarOrdinal(doc.Events(), doc.m_pStartMarker), 1);
    EXPECT_EQ(doc.m_pEndMarker, nullptr);
}

TEST(Undo, SuspendedCheckPointsStillMarkModified)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    EXPECT_FALSE(doc.IsModified());
    doc.UndoHistory().SuspendCheckPoints();
    doc.UndoHistory().SuspendCheckPoints();
    AppendEvent(doc.Events(), 36, 0);
    doc.CommitEdit();
    EXPECT_TRUE(doc.IsModified());
    EXPECT_FALSE(doc.CanUndo());
    doc.UndoHistory().ResumeCheckPoints();
    doc.CommitEdit();
    EXPECT_FALSE(doc.CanUndo());
    doc.UndoHistory().ResumeCheckPoints();
    doc.UndoHistory().ResumeCheckPoints(); // never below zero
    doc.CommitEdit();
    EXPECT_TRUE(doc.CanUndo());
    doc.UndoHistory().SuspendCheckPoints();
    EXPECT_TRUE(doc.UndoHistory().IsSuspended());
}

class CReloadCounter : public CDocPart
{
public:
    explicit CReloadCounter(int* count) : m_count(count) {}
    void OnEventsReloaded() override { ++*m_count; }
    int* m_count;
};

TEST(Undo, ToolsAndViewsHearOfTheReload)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    int reloads = 0;
    int updates = 0;
    doc.m_pSelection = std::make_unique<CReloadCounter>(&reloads);
    doc.AddListener([&](CRondelDoc&) { ++updates; });
    AppendEvent(doc.Events(), 36, 0);
    doc.CommitEdit();
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(reloads, 0);
    doc.Undo();
    doc.Redo();
    EXPECT_EQ(reloads, 2);
    EXPECT_EQ(updates, 3);
}

TEST(Undo, OpeningAFileStartsAFreshHistory)
{
    QTemporaryDir dir;
    CRondelDoc source;
    source.OnNewDocument();
    const QString path = dir.filePath(QStringLiteral("s.kdz"));
    ASSERT_TRUE(source.OnSaveDocument(path));
    EXPECT_FALSE(source.IsModified());

    CRondelDoc doc;
    doc.OnNewDocument();
    AppendEvent(doc.Events(), 36, 0);
    doc.CommitEdit();
    ASSERT_TRUE(doc.OnOpenDocument(path));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_FALSE(doc.CanUndo());
    AppendEvent(doc.Events(), 38, 0);
    doc.CommitEdit();
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.SaveBytes(), source.SaveBytes());
}

} // namespace

TEST(Undo, AnEditThatChangedNothingTakesNoStep)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    EXPECT_FALSE(doc.CommitEdit());
    EXPECT_FALSE(doc.CanUndo());
    EXPECT_FALSE(doc.IsModified());
    AppendEvent(doc.Events(), 36, 0);
    EXPECT_TRUE(doc.CommitEdit());
    EXPECT_EQ(doc.UndoHistory().UndoSteps(), 1);
    EXPECT_TRUE(doc.IsModified());
}

TEST(Undo, ImportLinksAndMarkersComeBackWithTheirStep)
{
    CRondelDoc doc;
    MakeBars(doc, 3);
    auto second = std::next(doc.Events().begin());
    while (!second->IsMeasure())
        ++second;
    second->SetImportRef((7u << 10) | 3);
    doc.m_pStartMarker = &*second;
    doc.MarkersChanged();
    EXPECT_EQ(doc.UndoHistory().UndoSteps(), 0) << "a marker is no undo step";
    // A bar inserted in front of the marked one, then undone: the marker and the link are
    // back on the same measure.
    doc.Events().insert(second, std::make_unique<CEvent>(EventType::Bar, TimeSigWord(4, 4)));
    doc.CommitEdit();
    ASSERT_TRUE(doc.Undo());
    auto again = std::next(doc.Events().begin());
    while (!again->IsMeasure())
        ++again;
    EXPECT_EQ(doc.m_pStartMarker, &*again);
    EXPECT_EQ(again->GetImportRef(), (7u << 10) | 3);
    ASSERT_TRUE(doc.Redo());
    EXPECT_EQ(BarOrdinal(doc.Events(), doc.m_pStartMarker), 3);
}
