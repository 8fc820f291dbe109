// Autosave copies changed songs into the data folder, never over the user's file; a process
// that dies leaves them for the next start, and a clean close takes them away.

#include "autosaver.h"
#include "rondeldoc.h"
#include "settings.h"
#include "testutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <sys/wait.h>
#include <unistd.h>

namespace {

class Autosave : public testing::Test
{
protected:
    void SetUp() override
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Quillon"));
        QCoreApplication::setApplicationName(QStringLiteral("Kadenzo"));
        m_oldDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", m_oldDataHome); }

    // A changed song: the new song with a third bar, as if the user had added it.
    static void MakeChangedSong(CRondelDoc& doc, const QString& path)
    {
        doc.OnNewDocument();
        AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(3, 4));
        doc.m_pathName = path;
        doc.m_title = QFileInfo(path).fileName();
        doc.SetModifiedFlag(true);
    }
    QStringList CopiesOnDisk() const { return QDir(CAutosaver::Folder()).entryList(QDir::Files); }

    QTemporaryDir m_data;
    QTemporaryDir m_work;
    QByteArray m_oldDataHome;
};

TEST_F(Autosave, ChangedSongsAreCopiedIntoTheDataFolderOnly)
{
    EXPECT_TRUE(CAutosaver::Folder().startsWith(m_data.path()));
    const QString userFile = m_work.filePath(QStringLiteral("mine.kdz"));
    ASSERT_TRUE(WriteAll(userFile, "the user's file"));
    CRondelDoc changed, unchanged;
    MakeChangedSong(changed, userFile);
    unchanged.OnNewDocument();
    std::vector<CRondelDoc*> open{&changed, &unchanged};
    CAutosaver saver([&] { return open; });

    EXPECT_EQ(saver.SaveNow(), 1);
    EXPECT_EQ(CopiesOnDisk().size(), 2); // the song and its description
    EXPECT_EQ(ReadAll(userFile), QByteArray("the user's file"));
    // Nothing changed since: nothing is written again.
    EXPECT_EQ(saver.SaveNow(), 0);
    AppendEvent(changed.Events(), EventType::Bar, TimeSigWord(4, 4));
    EXPECT_EQ(saver.SaveNow(), 1);
    // This run's own copies are not offered for recovery.
    EXPECT_TRUE(CAutosaver::RecoveryList().empty());

    // Saved by the user: the copy goes.
    changed.SetModifiedFlag(false);
    EXPECT_EQ(saver.SaveNow(), 0);
    EXPECT_TRUE(CopiesOnDisk().isEmpty());
    // Changed again, then closed: the copy goes too.
    changed.SetModifiedFlag(true);
    EXPECT_EQ(saver.SaveNow(), 1);
    open = {&unchanged};
    saver.SaveNow();
    EXPECT_TRUE(CopiesOnDisk().isEmpty());

    // A clean close removes what is left.
    open = {&changed};
    EXPECT_EQ(saver.SaveNow(), 1);
    saver.RemoveAll();
    EXPECT_TRUE(CopiesOnDisk().isEmpty());
}

TEST_F(Autosave, AKilledRunLeavesItsSongsForRecovery)
{
    const QString userFile = m_work.filePath(QStringLiteral("song.kdz"));
    CRondelDoc expected;
    MakeChangedSong(expected, userFile);
    const QByteArray expectedBytes = expected.SaveBytes();

    // A run that autosaves a named and an untitled song, then dies without closing.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        CRondelDoc named, untitled;
        MakeChangedSong(named, userFile);
        MakeChangedSong(untitled, QString());
        untitled.m_title = QStringLiteral("Song3");
        CAutosaver saver([&] { return std::vector<CRondelDoc*>{&named, &untitled}; });
        ::_exit(saver.SaveNow() == 2 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(QFileInfo::exists(userFile));

    std::vector<SAutosaveEntry> entries = CAutosaver::RecoveryList();
    ASSERT_EQ(entries.size(), 2u);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.m_title < b.m_title; });
    EXPECT_EQ(entries[0].m_title, QStringLiteral("Song3"));
    EXPECT_TRUE(entries[0].m_originalPath.isEmpty());
    EXPECT_EQ(entries[1].m_originalPath, userFile);
    EXPECT_TRUE(entries[1].m_savedAt.isValid());

    CRondelDoc recovered;
    QString error;
    ASSERT_TRUE(CAutosaver::Recover(entries[1], recovered, &error)) << error.toStdString();
    EXPECT_TRUE(recovered.IsModified());
    EXPECT_EQ(recovered.m_pathName, userFile);
    EXPECT_EQ(recovered.m_title, QStringLiteral("song.kdz"));
    EXPECT_EQ(recovered.SaveBytes(), expectedBytes);

    CRondelDoc untitled;
    ASSERT_TRUE(CAutosaver::Recover(entries[0], untitled, &error)) << error.toStdString();
    EXPECT_TRUE(untitled.m_pathName.isEmpty());
    EXPECT_EQ(untitled.m_title, QStringLiteral("Song3"));
    EXPECT_TRUE(untitled.IsModified());

    // Recovered copies belong to this run now: the next start does not offer them again.
    EXPECT_TRUE(CAutosaver::RecoveryList().empty());
    EXPECT_TRUE(CopiesOnDisk().isEmpty());
}

TEST_F(Autosave, DamagedOrHalfWrittenCopiesAreNotOffered)
{
    QDir().mkpath(CAutosaver::Folder());
    const QString base = CAutosaver::Folder() + QStringLiteral("/999999-1");
    // A description without its song, and a description that is not JSON.
    ASSERT_TRUE(WriteAll(base + QStringLiteral(".json"), R"({"pid": 999999, "path": "", "title": "x"})"));
    ASSERT_TRUE(WriteAll(CAutosaver::Folder() + QStringLiteral("/999999-2.kdz"), "bytes"));
    ASSERT_TRUE(WriteAll(CAutosaver::Folder() + QStringLiteral("/999999-2.json"), "not json"));
    EXPECT_TRUE(CAutosaver::RecoveryList().empty());

    // A copy whose song is damaged is listed but fails to open with a message, and stays.
    ASSERT_TRUE(WriteAll(base + QStringLiteral(".kdz"), "not a song"));
    const std::vector<SAutosaveEntry> entries = CAutosaver::RecoveryList();
    ASSERT_EQ(entries.size(), 1u);
    CRondelDoc doc;
    doc.OnNewDocument();
    QString error;
    EXPECT_FALSE(CAutosaver::Recover(entries[0], doc, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(doc.Events().size(), 2u);
    CAutosaver::Discard(entries[0]);
    EXPECT_TRUE(CAutosaver::RecoveryList().empty());
}

TEST_F(Autosave, TheIntervalComesFromTheSettings)
{
    const QString ini = m_work.filePath(QStringLiteral("settings.ini"));
    SettingsStore::UseFile(ini);
    EXPECT_EQ(CAutosaver::MinutesFromSettings(), 2);
    SettingsStore::Write(QStringLiteral("autosave minutes"), QStringLiteral("5"));
    EXPECT_EQ(CAutosaver::MinutesFromSettings(), 5);
    SettingsStore::Write(QStringLiteral("autosave minutes"), QStringLiteral("0"));
    EXPECT_EQ(CAutosaver::MinutesFromSettings(), 0);
    SettingsStore::Write(QStringLiteral("autosave minutes"), QStringLiteral("soon"));
    EXPECT_EQ(CAutosaver::MinutesFromSettings(), 2);
    SettingsStore::UseFile(QString());
}

} // namespace
