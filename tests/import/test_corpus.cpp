// Every real tab (the project's own and, when present, the outside corpus) imports without a
// crash, into a well-formed song.

#include "importtestutil.h"
#include "testutil.h"

#include <QDir>

#include <gtest/gtest.h>

#include <map>

namespace {
// Empty when the song keeps the rules every reader of the event list relies on.
std::string SongProblem(const CEventList& events)
{
    if (events.empty())
        return {};
    if (!events.front().IsMeasure())
        return "the song does not start with a measure";
    const CEvent* measure = nullptr;
    uint32_t lastPos = 0;
    for (const auto& ev : events) {
        if (ev.IsMeasure()) {
            const uint32_t num = ev.GetTimeSigNumerator();
            const uint32_t den = ev.GetTimeSigDenominator();
            if (num < 1 || num > 63 || den < 1 || (den & (den - 1)) != 0)
                return "bad time signature " + std::to_string(num) + "/" + std::to_string(den);
            if (ev.IsRepeatPrev() && (ev.GetRepeatPrevNMeasures() < 1 || ev.GetRepeatPrevCount() < 1))
                return "empty measure repeat";
            measure = &ev;
            lastPos = 0;
            continue;
        }
        if (measure->IsRepeatPrev())
            return "notes after a measure repeat";
        if (!ev.IsNote() && !ev.IsRest())
            return "unknown event type";
        if (ev.GetPosition() < lastPos)
            return "notes out of order";
        lastPos = ev.GetPosition();
    }
    return {};
}

class Corpus : public ::testing::TestWithParam<ESongSource>
{
};

TEST_P(Corpus, EveryTabImportsIntoAWellFormedSong)
{
    SKIP_WITHOUT_SOURCE(GetParam());
    const QDir dir(SongSourceDir(GetParam()) + QStringLiteral("/tabs"));
    const QStringList files = dir.entryList({QStringLiteral("*.txt"), QStringLiteral("*.tab")}, QDir::Files, QDir::Name);
    ASSERT_GT(files.size(), GetParam() == ESongSource::Corpus ? 40 : 7);
    int withBars = 0;
    int fatal = 0;
    int titled = 0, tempo = 0, timeLines = 0, repeats = 0;
    std::map<int, int> issueCounts;
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray bytes = ReadAll(dir.filePath(name));
        auto r = RunImport(std::string(bytes.constData(), size_t(bytes.size())));
        if (r->blocks < 0) {
            ++fatal;
            EXPECT_FALSE(r->imp.m_fatalMessage.isEmpty());
            EXPECT_TRUE(r->doc.Events().empty());
            continue;
        }
        EXPECT_EQ(SongProblem(r->doc.Events()), "");
        if (r->imp.m_barTotal > 0)
            ++withBars;
        for (const CImportIssue& issue : r->imp.m_issues) {
            ++issueCounts[issue.m_id];
            EXPECT_GE(issue.m_line, 0);
            EXPECT_LT(issue.m_line, int(r->imp.m_lines.size()));
            EXPECT_LE(issue.m_start, issue.m_end);
        }
        titled += !r->imp.m_header[Header::Song].isEmpty();
        tempo += r->imp.m_tempo > 0;
        timeLines += r->imp.m_timeMode != 0;
        bool hasRepeat = false;
        for (const auto& ev : r->doc.Events())
            hasRepeat = hasRepeat || ev.IsRepeatPrev() || ev.IsRepeatGroupStart() || ev.IsRepeatGroupEnd()
                || ev.GetRepeatGroupAltEnd();
        repeats += hasRepeat;
    }
    std::vector<std::pair<int, int>> byCount(issueCounts.begin(), issueCounts.end());
    std::sort(byCount.begin(), byCount.end(), [](auto a, auto b) { return a.second > b.second; });
    std::string top;
    for (size_t i = 0; i < byCount.size() && i < 5; ++i)
        top += " " + std::to_string(byCount[i].first) + "x" + std::to_string(byCount[i].second);
    std::printf("%s: %d tabs, %d with bars, %d refused; title %d, tempo %d, time line %d, repeats %d; issues:%s\n",
                SongSourceName({GetParam(), 0}).c_str(), int(files.size()), withBars, fatal, titled, tempo, timeLines, repeats, top.c_str());
    // Every one holds drum staves.
    EXPECT_EQ(withBars, int(files.size()));
    EXPECT_EQ(fatal, 0);
    if (GetParam() == ESongSource::Fixtures) {
        // The fixtures are chosen to reach each of these at least once.
        EXPECT_GT(titled, 0);
        EXPECT_GT(tempo, 0);
        EXPECT_GT(timeLines, 0);
        EXPECT_GT(repeats, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Tabs, Corpus, ::testing::Values(ESongSource::Fixtures, ESongSource::Corpus), SongSourceName);
} // namespace

namespace {
// Inputs that once broke the importer (found by fuzzing); each must import cleanly.
TEST(Regressions, FormerCrashesImportCleanly)
{
    const QDir dir(QStringLiteral(KADENZO_SOURCE_DIR "/tests/import/regressions"));
    const QStringList files = dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
    ASSERT_FALSE(files.isEmpty());
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray bytes = ReadAll(dir.filePath(name));
        auto r = RunImport(std::string(bytes.constData(), size_t(bytes.size())));
        EXPECT_EQ(SongProblem(r->doc.Events()), "");
        for (const CImportIssue& issue : r->imp.m_issues) {
            EXPECT_GE(issue.m_start, 0);
            EXPECT_LE(issue.m_start, issue.m_end);
        }
    }
}
} // namespace
