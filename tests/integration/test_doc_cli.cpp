// kadenzo-cli over the document commands: text export by extension and the test-mode compare.

#include "rondeldoc.h"
#include "testutil.h"
#include "textexport.h"

namespace {

class DocCli : public testing::Test
{
protected:
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    SRunResult Run(const QStringList& args) const { return RunCli(args, Path(QStringLiteral("settings.ini"))); }
    QTemporaryDir m_dir;
};

TEST_F(DocCli, ConvertToTxtWritesTheTextTab)
{
    ASSERT_EQ(Run({QStringLiteral("new"), Path(QStringLiteral("a.kdz"))}).exitCode, 0);
    const SRunResult r = Run({QStringLiteral("convert"), Path(QStringLiteral("a.kdz")), Path(QStringLiteral("a.txt"))});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    CRondelDoc doc;
    doc.OnNewDocument();
    EXPECT_EQ(ReadAll(Path(QStringLiteral("a.txt"))), MakeTextTab(doc));
}

TEST_F(DocCli, ConvertToAnUnwritablePlaceLeavesNoFile)
{
    ASSERT_EQ(Run({QStringLiteral("new"), Path(QStringLiteral("a.kdz"))}).exitCode, 0);
    const SRunResult r = Run({QStringLiteral("convert"), Path(QStringLiteral("a.kdz")), Path(QStringLiteral("no/b.txt"))});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.err.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(Path(QStringLiteral("no"))));
}

TEST_F(DocCli, CompareNeedsATextTab)
{
    ASSERT_EQ(Run({QStringLiteral("new"), Path(QStringLiteral("a.kdz"))}).exitCode, 0);
    const SRunResult r = Run({QStringLiteral("compare"), Path(QStringLiteral("a.kdz"))});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("Can only compare .txt file as input")) << r.err.toStdString();
    EXPECT_EQ(Run({QStringLiteral("compare")}).exitCode, 2);
}

TEST_F(DocCli, CompareAllOnAFolderWithoutSongs)
{
    const SRunResult r = Run({QStringLiteral("compare-all"), m_dir.path()});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("0 of 0 songs match"));
    EXPECT_EQ(Run({QStringLiteral("compare-all"), Path(QStringLiteral("missing"))}).exitCode, 1);
}

} // namespace
