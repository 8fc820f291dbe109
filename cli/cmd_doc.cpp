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
        return FailFile(folder, QFileInfo::exists(folder) ? QStringLiteral("is a file, not a folder") : QStringLiteral("no such folder"));
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

CCommandRegistrar s_compare{"compare", "compare TAB.txt\n"
                                       "      import TAB.txt (or .tab) and compare it with TAB.kdz beside it; exit 1 on the first difference\n"
                                       "      reads: .txt .tab and .kdz; writes nothing",
                            CmdCompare};
CCommandRegistrar s_compareAll{"compare-all", "compare-all [FOLDER]\n"
                                              "      compare every .kdz in FOLDER (default: the sample-tab folder) with its .txt\n"
                                              "      reads: .kdz and .txt; writes nothing",
                               CmdCompareAll};

} // namespace
