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
    const CEvent& first = *doc.Events().front();
    EXPECT_EQ(first.GetTempo(), 90u);
    EXPECT_EQ(first.GetTimeSigNumerator(), 3u);
    EXPECT_EQ(first.GetPatch(), GetParam().patch);
    EXPECT_EQ(bool(first.m_word1 & EventBits::PatchPresent), GetParam().patch != 0);
    EXPECT_EQ(doc.Events().back()->m_word2, TimeSigWord(4, 4));
    EXPECT_TRUE(doc.Events().back()->IsBar());
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
