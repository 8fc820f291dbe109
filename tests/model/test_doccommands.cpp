// Opening through a registered format with every step that follows, and saving by extension.

#include "doccommands.h"
#include "rondeldoc.h"
#include "testutil.h"

namespace {

// A stand-in for an importer, registered under ".fak": the file's first word picks the song.
bool FakeOpen(CRondelDoc& doc, const QString& path, QString* error)
{
    const QByteArray kind = ReadAll(path).trimmed();
    if (kind == "fail") {
        *error = QStringLiteral("cannot read");
        return false;
    }
    doc.m_bImported = 1;
    doc.m_sizeDoc[1] = 400 * 3;
    doc.m_songTempo = 90;
    if (kind == "empty")
        return true;
    doc.m_trackType = kind == "bass" ? TrackType::Bass5 : kind == "guitar" ? TrackType::Guitar7 : TrackType::Drums;
    AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(3, 4)); // no tempo
    AppendEvent(doc.Events(), 38, 0);                               // and no closing bar
    return true;
}

class DocCommandsTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        DocFormats::RegisterOpen(QStringLiteral(".FAK"), FakeOpen);
        DocFormats::RegisterSave(QStringLiteral(".mid"), [](CRondelDoc&, const QString& path, QString* error) {
            return WriteFileAtomically(path, QByteArray("MThd"), error);
        });
    }
    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(WriteAll(path, bytes));
        return path;
    }
    QTemporaryDir m_dir;
};

struct SOpenCase
{
    const char* kind;
    uint32_t patch; // 0: none
};

class DocCommandsOpen : public DocCommandsTest, public testing::WithParamInterface<SOpenCase>
{
};

TEST_P(DocCommandsOpen, EveryStepAfterTheImport)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    const QString path = Write(QStringLiteral("song.fak"), GetParam().kind);
    QString error;
    ASSERT_TRUE(doc.OnOpenDocument(path, &error)) << error.toStdString();
    ASSERT_EQ(doc.Events().size(), 3u);
    const CEvent& first = doc.Events().front();
    EXPECT_EQ(first.GetTempo(), 90u);
    EXPECT_EQ(first.GetTimeSigNumerator(), 3u);
    EXPECT_EQ(first.GetPatch(), GetParam().patch);
    EXPECT_EQ(bool(first.m_word1 & EventBits::PatchPresent), GetParam().patch != 0);
    EXPECT_EQ(doc.Events().back().m_word2, TimeSigWord(4, 4));
    EXPECT_TRUE(doc.Events().back().IsBar());
    EXPECT_EQ(doc.m_sizeDoc[1], 1200u);
    EXPECT_EQ(doc.m_bImported, 1u);
    EXPECT_EQ(doc.m_pathName, path);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_FALSE(doc.CanUndo());
    // The snapshot taken at the end of the open holds the fixed-up song.
    AppendEvent(doc.Events(), 36, 0);
    doc.CommitEdit();
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.Events().size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Tracks, DocCommandsOpen,
                         testing::Values(SOpenCase{"drums", 0}, SOpenCase{"bass", 33}, SOpenCase{"guitar", 27}));

TEST_F(DocCommandsTest, FailedOrEmptyImportsKeepTheDocument)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    doc.m_header[Header::Song] = QStringLiteral("mine");
    const QByteArray before = doc.SaveBytes();
    QString error;
    EXPECT_FALSE(doc.OnOpenDocument(Write(QStringLiteral("a.fak"), "fail"), &error));
    EXPECT_EQ(error, QStringLiteral("cannot read"));
    EXPECT_FALSE(doc.OnOpenDocument(Write(QStringLiteral("b.fak"), "empty"), &error));
    EXPECT_EQ(doc.SaveBytes(), before);
    EXPECT_FALSE(doc.IsModified());
}

TEST_F(DocCommandsTest, SavingATextTabDocumentByExtension)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    doc.m_pathName = m_dir.filePath(QStringLiteral("tune.txt")); // as if imported from it
    ASSERT_TRUE(DocCommands::SaveNeedsFileChoice(doc.m_pathName));
    EXPECT_EQ(DocCommands::InitialFileName(doc.m_pathName), m_dir.filePath(QStringLiteral("tune")));
    EXPECT_FALSE(DocCommands::SaveNeedsFileChoice(QStringLiteral("/x/TUNE.KDZ")));
    EXPECT_TRUE(DocCommands::InitialFileName(QString()).isEmpty());

    const QString mid = m_dir.filePath(QStringLiteral("tune.mid"));
    ASSERT_TRUE(doc.OnSaveDocument(mid));
    EXPECT_EQ(ReadAll(mid), QByteArray("MThd"));
    EXPECT_EQ(doc.m_pathName, m_dir.filePath(QStringLiteral("tune.txt")));

    doc.SetModifiedFlag();
    const QString kdz = m_dir.filePath(QStringLiteral("tune.kdz"));
    ASSERT_TRUE(doc.OnSaveDocument(kdz));
    EXPECT_EQ(doc.m_pathName, kdz);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(ReadAll(kdz), doc.SaveBytes());

    QString error;
    EXPECT_FALSE(doc.OnSaveDocument(m_dir.filePath(QStringLiteral("tune.doc")), &error));
    EXPECT_EQ(error, QString::fromLatin1(DocCommands::kUnknownSaveFormat));
}

TEST(SampleTabs, FolderIsDocumentsTabs)
{
    EXPECT_TRUE(SampleTabFolder().endsWith(QStringLiteral("/Tabs/")));
}

} // namespace

namespace {

QByteArray SongBytes(const std::vector<std::pair<uint32_t, uint32_t>>& events, uint16_t songTempo)
{
    QByteArray b = U32(500) + U32(2000) + QByteArray(15, '\0') + U32(0) + QByteArray(1, '\0');
    b += U16(songTempo) + U16(0) + U16(uint16_t(events.size()));
    bool first = true;
    for (auto [w1, w2] : events) {
        b += first ? U16(0xFFFF) + U16(2) + U16(6) + QByteArray("CEvent") : U16(0x8001);
        b += U32(w1) + U32(w2);
        first = false;
    }
    return b + U32(0);
}

struct SDamagedCase
{
    const char* what;
    std::vector<std::pair<uint32_t, uint32_t>> events;
    uint16_t songTempo;
    std::vector<std::pair<uint32_t, uint32_t>> opened;
};

class DamagedSongs : public testing::TestWithParam<SDamagedCase>
{
};

TEST_P(DamagedSongs, OpenIntoAWellFormedSong)
{
    const SDamagedCase& c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("d.kdz"));
    ASSERT_TRUE(WriteAll(path, SongBytes(c.events, c.songTempo)));
    CRondelDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path)) << c.what;
    std::vector<std::pair<uint32_t, uint32_t>> opened;
    for (const auto& ev : doc.Events())
        opened.emplace_back(ev.m_word1, ev.m_word2);
    EXPECT_EQ(opened, c.opened) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedSongs,
    testing::Values(
        SDamagedCase{"a note first keeps its bits", {{38, 0}}, 100,
                     {{100 | TempoBits(100), 260}, {38, 0}, {100, 260}}},
        SDamagedCase{"song tempo 0", {{100, 260}, {100, 260}}, 0, {{100 | TempoBits(120), 260}, {100, 260}}},
        SDamagedCase{"song tempo 300", {{100, 260}, {100, 260}}, 300, {{100 | TempoBits(255), 260}, {100, 260}}},
        SDamagedCase{"a repeat measure last", {{100 | TempoBits(90), 260}, {101, RepeatPrevWord(1, 1)}}, 120,
                     {{100 | TempoBits(90), 260}, {101, RepeatPrevWord(1, 1)}, {100, 260}}}));

} // namespace
