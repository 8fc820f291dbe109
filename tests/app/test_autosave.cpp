// The desktop's autosave: the main window's changed songs are copied on the timer, the next
// start after a run that died offers them back, and a clean close removes the copies.

#include "autosave.h"
#include "mainframe.h"
#include "report.h"
#include "rondeldoc.h"
#include "settings.h"
#include "testutil.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QTemporaryDir>

namespace {

class AppAutosave : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SettingsStore::UseFile(m_dir.filePath(QStringLiteral("settings.ini")));
        m_oldDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("data"))));
    }
    void TearDown() override
    {
        qputenv("XDG_DATA_HOME", m_oldDataHome);
        SettingsStore::UseFile(QString());
    }

    // Leaves autosaved copies as a run that was killed would: written by an autosaver that
    // never closed, under the id of a process that has ended.
    void LeaveCopiesOfAKilledRun(const QString& originalPath)
    {
        CRondelDoc doc;
        doc.OnNewDocument();
        AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(3, 4));
        doc.m_pathName = originalPath;
        doc.m_title = QFileInfo(originalPath).fileName();
        doc.SetModifiedFlag(true);
        CAutosaver saver([&doc] { return std::vector<CRondelDoc*>{&doc}; });
        ASSERT_EQ(saver.SaveNow(), 1);

        QProcess ended;
        ended.start(QStringLiteral("true"), {});
        ASSERT_TRUE(ended.waitForFinished());
        const qint64 deadPid = ended.processId() ? ended.processId() : 0;
        for (const QFileInfo& f : QDir(CAutosaver::Folder()).entryInfoList({QStringLiteral("*.json")})) {
            QJsonObject info = QJsonDocument::fromJson(ReadAll(f.filePath())).object();
            info[QStringLiteral("pid")] = deadPid;
            ASSERT_TRUE(WriteAll(f.filePath(), QJsonDocument(info).toJson()));
        }
    }
    QStringList CopiesOnDisk() const { return QDir(CAutosaver::Folder()).entryList(QDir::Files); }

    QTemporaryDir m_dir;
    QByteArray m_oldDataHome;
    CRecordingReport m_report;
    CScopedUserReport m_scoped{&m_report};
};

TEST_F(AppAutosave, TheNextStartOffersAKilledRunsSongsAndOpensThemChanged)
{
    const QString original = m_dir.filePath(QStringLiteral("groove.kdz"));
    LeaveCopiesOfAKilledRun(original);
    CMainFrame frame;
    CAppAutosave autosave(frame);
    m_report.m_answer = true;
    EXPECT_EQ(autosave.OfferRecovery(), 1);
    ASSERT_EQ(m_report.m_questions.size(), 1);
    EXPECT_TRUE(m_report.m_questions[0].startsWith(QStringLiteral("Kadenzo was not closed properly")));
    EXPECT_TRUE(m_report.m_questions[0].contains(QStringLiteral("groove.kdz")));

    ASSERT_EQ(frame.MdiArea()->subWindowList().size(), 1);
    CRondelDoc* doc = frame.ActiveDocument();
    ASSERT_NE(doc, nullptr);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(doc->m_pathName, original);
    // The title shows the file's name, with the unsaved-changes mark lit.
    EXPECT_EQ(frame.MdiArea()->subWindowList()[0]->windowTitle(), QStringLiteral("groove.kdz[*]"));
    EXPECT_TRUE(frame.MdiArea()->subWindowList()[0]->isWindowModified());
    // The song as it was: the new song's two bars and the added 3/4 bar (the window's timing
    // pass fills in the bar times, so the bytes are not compared).
    ASSERT_EQ(doc->Events().size(), 3u);
    EXPECT_EQ(doc->Events().back().GetTimeSigNumerator(), 3u);
    EXPECT_FALSE(QFileInfo::exists(original)); // nothing is written to the user's file

    // The recovered song is this run's now: autosaved again, and gone after a clean close.
    EXPECT_EQ(autosave.Saver().SaveNow(), 1);
    EXPECT_EQ(CopiesOnDisk().size(), 2);
    EXPECT_TRUE(CAutosaver::RecoveryList().empty());
}

TEST_F(AppAutosave, NoThrowsTheCopiesAwayAndAnUntroubledStartAsksNothing)
{
    LeaveCopiesOfAKilledRun(QString());
    CMainFrame frame;
    {
        CAppAutosave autosave(frame);
        m_report.m_answer = false;
        EXPECT_EQ(autosave.OfferRecovery(), 0);
        EXPECT_EQ(m_report.m_questions.size(), 1);
        EXPECT_TRUE(frame.MdiArea()->subWindowList().isEmpty());
        EXPECT_TRUE(CopiesOnDisk().isEmpty());
        EXPECT_EQ(autosave.OfferRecovery(), 0);
        EXPECT_EQ(m_report.m_questions.size(), 1);
    }
}

TEST_F(AppAutosave, ChangedWindowsAreCopiedAndACleanCloseRemovesThem)
{
    SettingsStore::Write(QStringLiteral("autosave minutes"), QStringLiteral("7"));
    CMainFrame frame;
    frame.NewDocument();
    frame.NewDocument();
    {
        CAppAutosave autosave(frame);
        EXPECT_EQ(CAppAutosave::OpenDocuments(frame).size(), 2u);
        EXPECT_EQ(autosave.Saver().SaveNow(), 0); // nothing changed yet
        frame.ActiveDocument()->SetModifiedFlag(true);
        EXPECT_EQ(autosave.Saver().SaveNow(), 1);
        EXPECT_EQ(CopiesOnDisk().size(), 2);
    }
    EXPECT_TRUE(CopiesOnDisk().isEmpty());
}

} // namespace
