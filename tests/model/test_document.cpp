// The document and its ".kdz" file: exact bytes, damaged files, the fix-ups after opening.

#include "archive.h"
#include "report.h"
#include "rondeldoc.h"
#include "testutil.h"

#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

QByteArray NewSongBytes()
{
    QByteArray b;
    b += U32(500) + U32(2000);
    b += QByteArray(15, '\0');
    b += U32(0);
    b += QByteArray(1, '\0');
    b += U16(120) + U16(0);
    b += U16(2);
    b += U16(0xFFFF) + U16(2) + U16(6) + QByteArray("CEvent");
    b += U32(100 | 0x100 | (120u << 14)) + U32(260);
    b += U16(0x8001) + U32(100) + U32(260);
    b += U32(0);
    return b;
}

// The bytes of a document with the given events and all-default settings.
QByteArray DocBytes(const std::vector<std::pair<uint32_t, uint32_t>>& events, uint16_t songTempo = 120)
{
    QByteArray b;
    b += U32(500) + U32(2000) + QByteArray(15, '\0') + U32(0) + QByteArray(1, '\0');
    b += U16(songTempo) + U16(0) + U16(uint16_t(events.size()));
    bool first = true;
    for (auto [w1, w2] : events) {
        b += first ? U16(0xFFFF) + U16(2) + U16(6) + QByteArray("CEvent") : U16(0x8001);
        b += U32(w1) + U32(w2);
        first = false;
    }
    return b + U32(0);
}

TEST(Document, NewSongHasTwoBarsAtTempo120)
{
    CRondelDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    ASSERT_EQ(doc.Events().size(), 2u);
    EXPECT_EQ(doc.Events().front().GetTempo(), 120u);
    EXPECT_EQ(doc.Events().back().GetTempo(), 0u);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.m_trackType, TrackType::Drums);
}

TEST(Document, NewSongSavesToKnownBytes)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    EXPECT_EQ(doc.SaveBytes().toHex(), NewSongBytes().toHex());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("new.kdz"));
    ASSERT_TRUE(doc.OnSaveDocument(path));
    EXPECT_EQ(ReadAll(path), NewSongBytes());
}

TEST(Document, SaveLoadRoundTripKeepsEverySavedField)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    for (int i = 0; i < Header::Count; ++i)
        doc.m_header[size_t(i)] = QStringLiteral("h%1").arg(i);
    doc.m_header[0] = QString(300, QLatin1Char('s'));
    doc.m_audioFile = QStringLiteral("/music/take 1.mp3");
    doc.m_songTempo = 97;
    doc.m_audioSync = 150;
    doc.m_bThreePartCounting = 1;
    doc.m_sizeDoc[1] = 1234;
    doc.Events().front().SetText(QString::fromLatin1("Intro \xe9t\xe9"));
    AppendEvent(doc.Events(), 38 | EventBits::Accent, 48);

    const QByteArray bytes = doc.SaveBytes();
    // A 300-character header string: 0xFF then 300 as a 16-bit length.
    EXPECT_EQ(bytes.mid(8, 3).toHex(), QByteArray("ff2c01"));

    CRondelDoc back;
    QString error;
    ASSERT_TRUE(back.LoadBytes(bytes, &error)) << error.toStdString();
    EXPECT_EQ(back.m_header, doc.m_header);
    EXPECT_EQ(back.m_audioFile, doc.m_audioFile);
    EXPECT_EQ(back.m_songTempo, 97);
    EXPECT_EQ(back.m_audioSync, 150);
    EXPECT_EQ(back.m_bThreePartCounting, 1u);
    EXPECT_EQ(back.m_sizeDoc[1], 1234u);
    ASSERT_EQ(back.Events().size(), 3u);
    EXPECT_EQ(back.Events().front().GetText(), QString::fromLatin1("Intro \xe9t\xe9"));
    EXPECT_EQ(back.SaveBytes(), bytes);
}

TEST(Document, ManyEventsUseTheLongCount)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    for (int i = 0; i < 0x10000; ++i)
        AppendEvent(doc.Events(), 42, 0);
    const QByteArray bytes = doc.SaveBytes();
    const int countAt = 8 + 15 + 4 + 1 + 4;
    EXPECT_EQ(bytes.mid(countAt, 6).toHex(), (U16(0xFFFF) + U32(0x10002)).toHex());
    CRondelDoc back;
    ASSERT_TRUE(back.LoadBytes(bytes, nullptr));
    EXPECT_EQ(back.Events().size(), 0x10002u);
}

TEST(Document, NewPageBitIsClearedWhenMostTextsSitOnNewPageBars)
{
    auto make = [](int onNewPage, int onOther) {
        CRondelDoc doc;
        doc.OnNewDocument();
        for (int i = 0; i < onNewPage; ++i)
            doc.Events().push_back(std::make_unique<CEvent>(EventType::Bar | EventBits::NewPage, TimeSigWord(4, 4), 0, QStringLiteral("p")));
        for (int i = 0; i < onOther; ++i)
            doc.Events().push_back(std::make_unique<CEvent>(EventType::Bar, TimeSigWord(4, 4), 0, QStringLiteral("o")));
        // An untexted bar with bit 11 shows whether the fix ran.
        AppendEvent(doc.Events(), EventType::Bar | EventBits::NewPage, TimeSigWord(4, 4));
        return doc.SaveBytes();
    };
    auto newPageBars = [](const QByteArray& bytes) {
        CRondelDoc doc;
        EXPECT_TRUE(doc.LoadBytes(bytes, nullptr));
        int n = 0;
        for (const auto& ev : doc.Events())
            n += (ev.m_word1 & EventBits::NewPage) != 0;
        return n;
    };
    EXPECT_EQ(newPageBars(make(3, 0)), 0);
    EXPECT_EQ(newPageBars(make(2, 2)), 3);
    EXPECT_EQ(newPageBars(make(1, 2)), 2);
}

TEST(Document, WrongSchemaIsRefused)
{
    QByteArray bytes = DocBytes({{100, 260}, {100, 260}});
    const int schemaAt = 8 + 15 + 4 + 1 + 4 + 2 + 2;
    ASSERT_EQ(bytes.mid(schemaAt, 2), U16(2));
    bytes.replace(schemaAt, 2, U16(3));
    CRondelDoc doc;
    QString error;
    EXPECT_FALSE(doc.LoadBytes(bytes, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("schema 3"))) << error.toStdString();
}

TEST(Document, UnknownClassReferencesAreRefused)
{
    const int secondTagAt = 8 + 15 + 4 + 1 + 4 + 2 + 12 + 8;
    for (uint16_t tag : {uint16_t(0x8002), uint16_t(0x0001), uint16_t(0x0000), uint16_t(0x7FFF)}) {
        QByteArray bytes = DocBytes({{100, 260}, {100, 260}});
        ASSERT_EQ(bytes.mid(secondTagAt, 2), U16(0x8001));
        bytes.replace(secondTagAt, 2, U16(tag));
        CRondelDoc doc;
        EXPECT_FALSE(doc.LoadBytes(bytes, nullptr)) << tag;
    }
    // A class record under another name.
    QByteArray other = DocBytes({{100, 260}});
    other.replace("CEvent", "CEvenT");
    CRondelDoc doc;
    EXPECT_FALSE(doc.LoadBytes(other, nullptr));
}

TEST(Document, FileCutAtAnyOffsetIsRefusedAndLeavesDocumentAlone)
{
    CRondelDoc source;
    source.OnNewDocument();
    source.Events().front().SetText(QStringLiteral("Verse one"));
    source.m_header[1] = QStringLiteral("Band");
    const QByteArray bytes = source.SaveBytes();

    CRondelDoc doc;
    doc.OnNewDocument();
    doc.m_header[0] = QStringLiteral("keep me");
    const QByteArray before = doc.SaveBytes();
    for (int cut = 0; cut < bytes.size(); ++cut) {
        QString error;
        ASSERT_FALSE(doc.LoadBytes(bytes.left(cut), &error)) << "cut at " << cut;
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(doc.SaveBytes(), before);
}

TEST(Document, HugeCountsDoNotAllocate)
{
    // An event count of 0xFFFFFFFF with only two records behind it.
    QByteArray bytes = DocBytes({{100, 260}, {100, 260}});
    const int countAt = 8 + 15 + 4 + 1 + 4;
    bytes.replace(countAt, 2, U16(0xFFFF) + U32(0xFFFFFFFF));
    CRondelDoc doc;
    QString error;
    EXPECT_FALSE(doc.LoadBytes(bytes, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("The file is damaged"))) << error.toStdString();

    // A string that claims 4 GB.
    QByteArray str = DocBytes({{100, 260}});
    str.replace(8, 1, QByteArray("\xff\xff\xff\xff\xff\xff\xff", 7));
    EXPECT_FALSE(doc.LoadBytes(str, nullptr));
}

class DocumentFiles : public testing::Test
{
protected:
    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(WriteAll(path, bytes));
        return path;
    }
    QTemporaryDir m_dir;
};

TEST_F(DocumentFiles, ExtensionIgnoresCase)
{
    CRondelDoc doc;
    EXPECT_TRUE(doc.OnOpenDocument(Write(QStringLiteral("SONG.KDZ"), NewSongBytes())));
    EXPECT_EQ(doc.Events().size(), 2u);
    EXPECT_TRUE(doc.IsModified());
}

TEST_F(DocumentFiles, UnknownExtensionFailsSilently)
{
    CRondelDoc doc;
    QString error = QStringLiteral("x");
    EXPECT_FALSE(doc.OnOpenDocument(Write(QStringLiteral("song.xyz"), NewSongBytes()), &error));
    EXPECT_TRUE(error.isEmpty());
}

TEST_F(DocumentFiles, OnlyRegularFilesOpenAsSongs)
{
    // A pipe would block the open and a device would be read until memory runs out.
    const QString fifo = m_dir.filePath(QStringLiteral("pipe.kdz"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString device = m_dir.filePath(QStringLiteral("zero.kdz"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), device));
    const QString folder = m_dir.filePath(QStringLiteral("folder.kdz"));
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("folder.kdz")));
    const QString link = m_dir.filePath(QStringLiteral("link.kdz"));
    ASSERT_TRUE(QFile::link(Write(QStringLiteral("real.kdz"), NewSongBytes()), link));
    CRondelDoc doc;
    QString error;
    for (const QString& path : {fifo, device}) {
        EXPECT_FALSE(doc.OnOpenDocument(path, &error));
        EXPECT_EQ(error, QStringLiteral("Cannot open \"%1\": it is not a regular file (a device or a pipe).").arg(path));
    }
    EXPECT_FALSE(doc.OnOpenDocument(folder, &error));
    EXPECT_EQ(error, QStringLiteral("Cannot open \"%1\": it is a folder, not a song file.").arg(folder));
    EXPECT_TRUE(doc.Events().empty()) << "a refused open leaves the document as it was";
    EXPECT_TRUE(doc.OnOpenDocument(link, &error)) << "a link to a song file opens the song";
}

TEST_F(DocumentFiles, LastNoteGetsClosingBar)
{
    CRondelDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(Write(QStringLiteral("a.kdz"), DocBytes({{100 | TempoBits(100), 260}, {38, 0}}))));
    ASSERT_EQ(doc.Events().size(), 3u);
    EXPECT_TRUE(doc.Events().back().IsBar());
    EXPECT_EQ(doc.Events().back().m_word2, TimeSigWord(4, 4));
    EXPECT_EQ(doc.Events().front().GetTempo(), 100u);
}

TEST_F(DocumentFiles, NotesOutOfOrderArePutInPositionOrder)
{
    CRondelDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(Write(QStringLiteral("o.kdz"),
        DocBytes({{100 | TempoBits(100), 260}, {38, 96}, {36, 48}, {42, 48}, {100, 260}, {49, 0}}))));
    std::vector<std::pair<uint32_t, uint32_t>> order;
    for (const auto& ev : doc.Events())
        order.emplace_back(ev.GetEventType(), ev.IsMeasure() ? 0 : ev.GetPosition());
    EXPECT_EQ(order, (std::vector<std::pair<uint32_t, uint32_t>>{{100, 0}, {36, 48}, {42, 48}, {38, 96}, {100, 0}, {49, 0}, {100, 0}}));
}

TEST_F(DocumentFiles, FirstBarWithoutTempoTakesSongTempo)
{
    CRondelDoc doc;
    // Tempo bit set with tempo 0 counts as no tempo.
    ASSERT_TRUE(doc.OnOpenDocument(Write(QStringLiteral("b.kdz"), DocBytes({{100 | 0x100, 260}, {100, 260}}, 90))));
    EXPECT_EQ(doc.Events().front().GetTempo(), 90u);
    // Drum tracks get no patch.
    EXPECT_EQ(doc.Events().front().m_word1 & EventBits::PatchPresent, 0u);
}

TEST_F(DocumentFiles, EmptySongFailsToOpenAndKeepsThePreviousSong)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    doc.m_header[0] = QStringLiteral("mine");
    EXPECT_FALSE(doc.OnOpenDocument(Write(QStringLiteral("e.kdz"), DocBytes({}))));
    EXPECT_FALSE(doc.OnOpenDocument(Write(QStringLiteral("d.kdz"), NewSongBytes().left(20))));
    EXPECT_EQ(doc.Events().size(), 2u);
    EXPECT_EQ(doc.m_header[0], QStringLiteral("mine"));
}

TEST_F(DocumentFiles, ASavedFileHoldsTheSameBytesAsTheSongInMemory)
{
    // The file is written in blocks as the song is stored: texts and events that straddle
    // the blocks' edges must come out whole and in order.
    CRondelDoc doc;
    doc.OnNewDocument();
    for (int i = 0; i < 40000; ++i) {
        CEvent* ev = AppendEvent(doc.Events(), i % 7 == 0 ? EventType::Bar : 42, uint32_t(i));
        if (i % 7 == 0 && i % 3 == 0)
            ev->SetText(QString(i % 100, QLatin1Char('a' + i % 26)));
    }
    AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4))->SetText(QString(70000, QLatin1Char('z')));
    const QString path = m_dir.filePath(QStringLiteral("big.kdz"));
    QString error;
    ASSERT_TRUE(doc.OnSaveDocument(path, &error)) << error.toStdString();
    const QByteArray inMemory = doc.SaveBytes();
    EXPECT_GT(inMemory.size(), 5 * 65536);
    EXPECT_TRUE(ReadAll(path) == inMemory);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("big.kdz")});
}

TEST_F(DocumentFiles, SaveToUnwritablePlaceFailsWithoutLeavingAFile)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    QString error;
    EXPECT_FALSE(doc.OnSaveDocument(m_dir.filePath(QStringLiteral("no/such/dir/x.kdz")), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(doc.OnSaveDocument(m_dir.filePath(QStringLiteral("x.wav")), &error));
    EXPECT_EQ(error, QStringLiteral("Save aborted, unknown save format. Please choose .kdz, .mid or .txt"));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files).size(), 0);
}

} // namespace
