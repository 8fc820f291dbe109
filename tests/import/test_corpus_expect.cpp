// Corpus tabs read by hand: for each, the measures, their meters and the hits of three
// measures as a drummer reads them from the tab. Skipped when the corpus is not present.

#include "importtestutil.h"
#include "testutil.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>

namespace {
struct SMeasureHits
{
    int measure; // 0-based among the measure openers (bars and measure repeats)
    std::set<int> keys; // the instruments checked (others, such as toms, are left out)
    std::string hits;   // "key@pos" sorted by position, then key
};

struct SCorpusCase
{
    const char* name;
    const char* file;
    std::string measures;
    std::vector<SMeasureHits> hits;
};

std::string HitsOf(const CEventList& events, int measure, const std::set<int>& keys)
{
    std::vector<std::pair<uint32_t, int>> found;
    int index = -1;
    for (const auto& ev : events) {
        if (ev.IsMeasure()) {
            ++index;
            continue;
        }
        if (index == measure && ev.IsNote() && keys.count(int(ev.GetEventType())))
            found.emplace_back(ev.GetPosition(), int(ev.GetEventType()));
    }
    std::sort(found.begin(), found.end());
    std::string out;
    for (const auto& [pos, key] : found)
        out += (out.empty() ? "" : " ") + std::to_string(key) + "@" + std::to_string(pos);
    return out;
}

std::string Repeat(const std::string& measure, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += (out.empty() ? "" : " ") + measure;
    return out;
}

class CorpusByHand : public ::testing::TestWithParam<SCorpusCase>
{
};

TEST_P(CorpusByHand, MeasuresMetersAndHits)
{
    const QString path = CorpusDir() + QStringLiteral("/tabs/") + QString::fromLatin1(GetParam().file);
    if (!QFileInfo::exists(path))
        GTEST_SKIP() << "corpus not present";
    const QByteArray bytes = ReadAll(path);
    auto r = RunImport(std::string(bytes.constData(), size_t(bytes.size())));
    ASSERT_GE(r->blocks, 1);
    EXPECT_EQ(BarsText(r->doc.Events()), GetParam().measures);
    for (const SMeasureHits& h : GetParam().hits)
        EXPECT_EQ(HitsOf(r->doc.Events(), h.measure, h.keys), h.hits) << "measure " << h.measure;
}

const std::set<int> kKit = {36, 38, 42, 46, 49, 51};
const std::string kRockBeat32 = "36@0 46@0 36@96 46@96 36@192 38@192 36@288 46@288";

INSTANTIATE_TEST_SUITE_P(
    Tabs, CorpusByHand,
    ::testing::Values(
        SCorpusCase{"BackInBlack", "drumtabreader__back_in_black.txt",
                    Repeat("|4/4", 50) + " |2/4 " + Repeat("|4/4", 30),
                    {{2, kKit, "36@0 49@0 42@48 38@96 42@96 42@144 36@192 42@192 42@240 38@288 42@288 42@336"},
                     {9, kKit, "36@0 42@0 42@48 38@96 36@120 42@120 38@168 36@192 49@192 38@240 36@264 49@264 38@312 36@336 49@336"},
                     {50, kKit, "38@0 36@48 49@48 36@120 49@120"}}},
        SCorpusCase{"OddMeters", "tab2xml-ccscov__timeingTest2.txt", "|4/4 |4/4 |4/4 |6/4 |6/4 |6/4 |6/4 |13/8",
                    {{0, kKit, "38@0 38@24 36@168 49@168 36@240 51@240 36@264 51@264 38@288 51@288 36@312 51@336"},
                     {5, kKit, "36@0 49@0 36@528 49@528"},
                     {7, kKit, "36@0 49@0 38@480"}}},
        SCorpusCase{"RepeatSevenTimes", "tab2xml-biltzerpos__repeat.txt", "|4/4 |4/4 %2*6 |4/4 |4/4",
                    {{0, kKit, "36@0 49@0 36@24 49@24 42@96 42@144 42@192 42@240 42@288 42@336"},
                     {1, kKit, "42@0 42@48 42@96 42@144 42@192 46@216 42@240 42@288 42@336"},
                     {3, kKit, "36@0 49@0 36@24 49@24 42@96 42@144 42@192 42@240 42@288 42@336"}}},
        SCorpusCase{"OneTwoOne", "tabtomidi__repetition_1x_2x_1x.txt", "|4/4 |4/4 %1*1 |4/4",
                    {{0, kKit, kRockBeat32}, {1, kKit, kRockBeat32}, {3, kKit, kRockBeat32}}},
        SCorpusCase{"VariableBarLengths", "tabtomidi__variable_bar_lengths.txt", "|4/4 |2/4 |2/4",
                    {{0, kKit, kRockBeat32}, {1, kKit, "36@0 46@0 36@96 46@96"}, {2, kKit, "36@0 38@0 36@96 46@96"}}},
        SCorpusCase{"TwiceTwice", "tabtomidi__repetition_2x_2x.txt", "|4/4 %1*1 |4/4 %1*1",
                    {{0, kKit, kRockBeat32}, {1, kKit, ""}, {2, kKit, kRockBeat32}}},
        SCorpusCase{"FourTimesWithEquals", "tabtomidi__repetition_4x_equals.txt", "|4/4 %1*3",
                    {{0, kKit, kRockBeat32}, {1, kKit, ""}}},
        SCorpusCase{"TwoBarRepetition", "tabtomidi__two_bar_repetition.txt", "|4/4 |4/4 %2*1",
                    {{0, {36, 38}, "36@0 36@48 36@72 38@96 36@168 38@216 38@288 38@360"},
                     {1, {36, 38}, "36@0 36@96 36@192 36@288"},
                     {2, {36, 38}, ""}}},
        SCorpusCase{"SignatureAbove", "tab2xml-biltzerpos__push.txt", "|4/4 |4/4 |4/4",
                    {{0, kKit, "36@0 49@0 42@48 38@96 42@96 42@144 36@192 42@192 42@240 38@288 42@288 36@336 49@336"},
                     {1, kKit, "42@48 38@96 42@96 42@144 36@192 42@192 42@240 38@288 42@288 42@336"},
                     {2, kKit, "36@0 49@0"}}},
        SCorpusCase{"BracketsOverParts", "eecs-nobaiha__example2.txt",
                    Repeat("|4/4", 18) + " %2*2 " + Repeat("|4/4", 4) + " %2*1 " + Repeat("|4/4", 28) + " %2*3 "
                        + Repeat("|4/4", 4) + " %2*1 |4/4 |4/4",
                    {{0, kKit, "36@0 49@0 42@48 38@96 42@96 42@144 36@168 36@192 42@192 36@240 42@240 38@288 42@288 42@336"},
                     {19, {36, 38, 42}, "36@0 42@48 38@96 42@96 42@144 36@168 36@192 42@192 36@240 42@240 38@288 42@288 42@336"},
                     {59, kKit, "36@0 49@0"}}}),
    [](const auto& info) { return std::string(info.param.name); });
} // namespace
