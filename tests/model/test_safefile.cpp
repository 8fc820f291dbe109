// Saving never costs the old file: a full disk, a folder in the way or an abandoned write
// fails with the system's reason and leaves the target as it was and no temporary file.

#include "filesizelimit.h"
#include "rondeldoc.h"
#include "safefile.h"
#include "testutil.h"
#include "textexport.h"

#include <QDir>
#include <QTemporaryDir>

namespace {

constexpr long kLimitBytes = 4096;

// A song whose every file form is well past kLimitBytes.
void MakeLongSong(CRondelDoc& doc)
{
    doc.OnNewDocument();
    doc.Events().clear();
    AppendEvent(doc.Events(), EventType::Bar | TempoBits(120), TimeSigWord(4, 4));
    for (int bar = 0; bar < 300; ++bar) {
        if (bar > 0)
            AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4));
        for (uint32_t pos = 0; pos < 384; pos += 48)
            AppendEvent(doc.Events(), 42, pos);
    }
    AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4));
}

QStringList FilesIn(const QTemporaryDir& dir)
{
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
}

struct SFormat
{
    const char* name;
    std::function<bool(CRondelDoc&, const QString&, QString*)> save;
};

class SafeSave : public testing::TestWithParam<SFormat>
{
};

TEST_P(SafeSave, AFullDiskFailsWithTheReasonAndKeepsTheOldFile)
{
    QTemporaryDir dir;
    CRondelDoc doc;
    MakeLongSong(doc);
    const QString path = dir.filePath(QStringLiteral("song") + QLatin1String(GetParam().name));
    const QByteArray old = "the user's own file, which must survive\n";
    ASSERT_TRUE(WriteAll(path, old));

    const SLimitedSave run = SaveWithFileSizeLimit(kLimitBytes, [&](QString* error) { return GetParam().save(doc, path, error); });
    ASSERT_TRUE(run.finished);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, QStringLiteral("Cannot write \"%1\": File too large").arg(path));
    EXPECT_EQ(ReadAll(path), old);
    EXPECT_EQ(FilesIn(dir), QStringList{QStringLiteral("song") + QLatin1String(GetParam().name)});

    // With room, the same save goes through and replaces the file.
    QString error;
    ASSERT_TRUE(GetParam().save(doc, path, &error)) << error.toStdString();
    EXPECT_GT(ReadAll(path).size(), kLimitBytes);
}

INSTANTIATE_TEST_SUITE_P(Formats, SafeSave,
                         testing::Values(SFormat{".kdz", [](CRondelDoc& doc, const QString& path, QString* error) {
                                                     return doc.OnSaveDocument(path, error);
                                                 }},
                                         SFormat{".txt", [](CRondelDoc& doc, const QString& path, QString* error) {
                                                     return ExportTextTab(doc, path, error);
                                                 }}),
                         [](const testing::TestParamInfo<SFormat>& info) { return std::string(info.param.name + 1); });

TEST(SafeFile, SmallWritesThroughTheDevicePastAFullDiskFailAtCommit)
{
    // Writers that take a device (images, PDF) write many small pieces and ignore what each
    // write returns: the failure must still stop the rename.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pages.pdf"));
    ASSERT_TRUE(WriteAll(path, "old"));
    const SLimitedSave run = SaveWithFileSizeLimit(kLimitBytes, [&](QString* error) {
        CSafeFile file(path);
        if (!file.Open(error))
            return false;
        for (int i = 0; i < 1000; ++i)
            file.write("0123456789abcdef", 16);
        return file.Commit(error);
    });
    ASSERT_TRUE(run.finished);
    EXPECT_FALSE(run.ok);
    EXPECT_TRUE(run.error.endsWith(QStringLiteral(": File too large"))) << run.error.toStdString();
    EXPECT_EQ(ReadAll(path), QByteArray("old"));
    EXPECT_EQ(FilesIn(dir).size(), 1);
}

TEST(SafeFile, WritesSeeksAndReplacesOnlyAtCommit)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.wav"));
    ASSERT_TRUE(WriteAll(path, "old"));
    {
        CSafeFile file(path);
        ASSERT_TRUE(file.Open());
        EXPECT_EQ(file.write("HEADxxxxdata"), 12);
        EXPECT_EQ(ReadAll(path), QByteArray("old"));
        ASSERT_TRUE(file.seek(4));
        EXPECT_EQ(file.write("1234"), 4);
        EXPECT_EQ(file.size(), 12);
        QString error;
        ASSERT_TRUE(file.Commit(&error)) << error.toStdString();
    }
    EXPECT_EQ(ReadAll(path), QByteArray("HEAD1234data"));
    EXPECT_EQ(FilesIn(dir).size(), 1);

    // Given up (cancelled or never committed): the old file stays and no temporary is left.
    {
        CSafeFile file(path);
        ASSERT_TRUE(file.Open());
        file.write("new");
        file.Cancel();
        QString error;
        EXPECT_FALSE(file.Commit(&error));
    }
    {
        CSafeFile file(path);
        ASSERT_TRUE(file.Open());
        file.write("new");
    }
    EXPECT_EQ(ReadAll(path), QByteArray("HEAD1234data"));
    EXPECT_EQ(FilesIn(dir).size(), 1);
}

TEST(SafeFile, AFolderOrAMissingFolderIsNamedInTheError)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("song.kdz")));
    QString error;
    EXPECT_FALSE(WriteFileAtomically(dir.filePath(QStringLiteral("song.kdz")), "x", &error));
    EXPECT_EQ(error, QStringLiteral("Cannot write \"%1\": it is a folder").arg(dir.filePath(QStringLiteral("song.kdz"))));
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("song.kdz"))).isDir());

    const QString nowhere = dir.filePath(QStringLiteral("no/such/a.txt"));
    EXPECT_FALSE(WriteFileAtomically(nowhere, "x", &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Cannot write \"%1\": ").arg(nowhere))) << error.toStdString();
    EXPECT_FALSE(error.endsWith(QStringLiteral("Unknown error")));
}

TEST(SafeFile, TheDocumentOpensOnlyRegularFilesOfABoundedSize)
{
    QTemporaryDir dir;
    CRondelDoc doc;
    doc.OnNewDocument();
    const QString folder = dir.filePath(QStringLiteral("folder.kdz"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.kdz")));
    QString error;
    EXPECT_FALSE(doc.OnOpenDocument(folder, &error));
    EXPECT_EQ(error, QStringLiteral("Cannot open \"%1\": it is a folder, not a song file.").arg(folder));
    EXPECT_FALSE(doc.OnOpenDocument(QStringLiteral("/dev/zero.kdz"), &error)); // no such file
    EXPECT_FALSE(doc.OnOpenDocument(QStringLiteral("/dev/null"), &error));
    EXPECT_FALSE(error.isEmpty());

    // A sparse file just over the cap is refused before it is read.
    const QString huge = dir.filePath(QStringLiteral("huge.kdz"));
    QFile f(huge);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(DocFormats::kMaxSongFileBytes + 1));
    f.close();
    EXPECT_FALSE(doc.OnOpenDocument(huge, &error));
    EXPECT_EQ(error, QStringLiteral("Cannot open \"%1\": the file is 65 MB; Kadenzo opens song files of up to 64 MB").arg(huge));
    EXPECT_EQ(doc.Events().size(), 2u); // the document kept its song
}

} // namespace
