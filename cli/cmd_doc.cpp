// compare, compare-all: the test-mode comparison of imported tabs with song files saved from
// them earlier.

#include "commands.h"

#include "rondeldoc.h"
#include "songcompare.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

int CmdCompare(const QStringList& args)
{
    if (args.size() != 1)
        return UsageError(QStringLiteral("usage: kadenzo-cli compare TAB.txt"));
    CRondelDoc doc;
    if (!OpenInput(doc, args[0]))
        return 1;
    // The difference (or why there is nothing to compare) is reported on stderr.
    if (CompareWithSongFile(doc) != ECompareResult::Match)
        return 1;
    std::printf("%s matches %s\n", qPrintable(args[0]), qPrintable(args[0].chopped(4) + QStringLiteral(".kdz")));
    return 0;
}

int CmdCompareAll(const QStringList& args)
{
    if (args.size() > 1)
        return UsageError(QStringLiteral("usage: kadenzo-cli compare-all [FOLDER]"));
    const QString folder = args.isEmpty() ? SampleTabFolder() : args[0];
    if (!QFileInfo(folder).isDir())
        return Fail(QStringLiteral("no such folder: %1").arg(folder));
    int failed = 0;
    const std::vector<SCompareEntry> entries = CompareAllInFolder(folder);
    for (const SCompareEntry& e : entries) {
        const QString name = QFileInfo(e.m_kdzPath).completeBaseName();
        switch (e.m_result) {
        case ECompareResult::Match: std::printf("same     %s\n", qPrintable(name)); break;
        case ECompareResult::Differ: std::printf("differ   %s: %s\n", qPrintable(name), qPrintable(e.m_message)); break;
        case ECompareResult::CannotCompare: std::printf("failed   %s: %s\n", qPrintable(name), qPrintable(e.m_message)); break;
        }
        failed += e.m_result != ECompareResult::Match;
    }
    std::printf("%d of %d songs match (%s)\n", int(entries.size()) - failed, int(entries.size()),
                qPrintable(QDir::toNativeSeparators(folder)));
    return failed ? 1 : 0;
}

CCommandRegistrar s_compare{"compare", "compare TAB.txt           import TAB.txt and compare it with TAB.kdz; exit 1 on the first difference", CmdCompare};
CCommandRegistrar s_compareAll{"compare-all", "compare-all [FOLDER]      compare every .kdz in FOLDER (default: the sample-tab folder) with its .txt", CmdCompareAll};

} // namespace
