// Real tabs of the corpus, read by hand: how many measures, their meters, and every hit of
// three measures of each. The tabs were chosen for their labels and note letters (toms named
// HT, MT, T1-T4, F1, F2, t and T, choked crashes, open hi-hats, crash letters, double strokes).

#include "importtestutil.h"
#include "testutil.h"

#include <QDir>

#include <gtest/gtest.h>

#include <sstream>

namespace {
struct SMeasure
{
    int number; // 1-based
    const char* hits; // "key@pos" in any order; ! accent, g ghost, f flam
};

struct SCorpusTab
{
    const char* file;
    int measures;
    const char* meter; // every measure
    SMeasure checked[3];
};

std::vector<std::string> Sorted(std::string text)
{
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string t; in >> t;)
        out.push_back(t);
    std::sort(out.begin(), out.end());
    return out;
}

// The measures of the song as "num/den" and their notes.
std::vector<std::pair<std::string, std::string>> Measures(const CEventList& events)
{
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& ev : events) {
        CEventList one;
        one.push_back(std::make_unique<CEvent>(ev.m_word1, ev.m_word2));
        std::string text = SongText(one);
        if (ev.IsMeasure()) {
            out.emplace_back(text.substr(1), std::string());
            continue;
        }
        if (!out.empty())
            out.back().second += " " + text;
    }
    return out;
}

const SCorpusTab kTabs[] = {
    {"dacapo__DrumsTab_6Lines.txt", 2, "4/4",
     {{1, "49@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336"},
      {2, "38@0 36@0 38@24 38@48 38@72 50@96 50@120 48@144 48@168 49@192 36@192"},
      {2, "38@0 36@0 38@24 38@48 38@72 50@96 50@120 48@144 48@168 49@192 36@192"}}},
    {"tabconv-jamesmqle__textarea.txt", 3, "4/4",
     {{1, "49@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336"},
      {2, "38@0 36@0 38@24 38@48 38@72 50@96 50@120 48@144 48@168 49@192 36@192"},
      {3, "49@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336"}}},
    // The second staff has no bass drum and swaps the hi-hat and crash lines.
    {"tab2mxl-sgill__SplitDrum.txt", 4, "4/4",
     {{1, "49@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336"},
      {3, "42@0 49@48 49@96 38@96 49@144 49@192 49@240 49@288 38@288 49@336"},
      {4, "38@0 38@24 38@48 38@72 50@96 50@120 48@144 48@168 42@192 38@240g 38@288f 38@336f 38@360f"}}},
    // t over T over T2 over FT: four toms from high to low; '#' on the crash is a choked crash.
    {"tab2mxl-sgill__ChopSuey.txt", 8, "4/4",
     {{1, "49@0# 36@0"},
      {5, "50@0 41@0 38@24 50@72 50@96 50@120 47@144 47@192 47@216 45@240 45@264 41@288 41@336"},
      {8, "45@0 41@0 36@0 45@48 41@48 36@48 45@96 41@96 36@96 45@144 41@144 36@144 45@192 41@192 36@192 "
          "45@240 41@240 36@240 45@288 41@288 36@288"}}},
    // Six numbered toms over the six tom keys.
    {"tab2mxl-alborz__inTheAirTonight.txt", 3, "4/4",
     {{1, "50@0 48@0 50@24 48@24 48@72 47@72 48@96 47@96 47@144 45@144 47@168 45@168 45@216 43@216 45@240 "
          "43@240 43@288 41@288 43@336 41@336"},
      {2, "36@0 38@96 36@144 38@288"},
      {3, "36@0 36@48 38@96 38@288"}}},
    // Bars of 17 columns whose first column is a spare tick.
    {"eecs-ahopk__test1-Drum.txt", 2, "4/4",
     {{1, "42@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336"},
      {2, "42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336 36@336"},
      {1, "42@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336"}}},
    {"drumtabreader__du_hast.txt", 83, "4/4",
     {{1, "49@0 36@0 42@48 42@96 36@96 42@144 42@192 36@192 42@240 42@288 36@288 42@336"},
      {6, "42@0 36@0 42@48 49@96 36@96 49@120 49@144 49@168 49@192 36@192 49@216 38@216 49@240 49@264 49@288 "
          "38@288 36@288 49@312 49@336 49@360"},
      {15, "49@0# 36@0 42@48 36@96 42@144 36@192 42@240 36@288 42@336"}}},
    // 'd' a double stroke; 'o' on the crash line is the crash.
    {"drumtabreader__you_look_good_on_the_dancefloor.txt", 141, "4/4",
     {{1, "42@0 36@0 38@72 38@84 42@96 36@96 42@192 38@192 36@240 38@288 38@312 38@336 38@360"},
      {2, "42@0 36@0 38@72 38@84 42@96 36@96 42@192 38@192 36@240 49@288! 38@288"},
      {64, "42@0 36@0 42@96 38@96 46@192 36@192 49@240 49@252 49@264 49@276 49@288"}}},
    {"drumtabreader__seven_nation_army.txt", 82, "4/4",
     {{1, ""}, {5, "41@0 36@0 41@96 36@96 41@192 36@192 41@288 36@288"},
      {26, "41@0 36@0 41@96 38@96 36@96 41@192 36@192 41@288 38@288 36@288"}}},
    // A single T line is the high tom; 'O' on the hi-hat opens it.
    {"drumtabreader__when_the_sun_goes_down.txt", 92, "4/4",
     {{1, "49@0! 36@0 36@96 36@192 36@288"},
      {26, "42@0 36@0 42@48 36@72 42@96 38@96 46@144 36@144 42@192 46@240 36@240 38@288 38@312 50@336 50@360"},
      {92, ""}}},
};

TEST(CorpusByHand, MeasuresMetersAndHits)
{
    const QDir dir(CorpusDir() + QStringLiteral("/tabs"));
    if (!dir.exists())
        GTEST_SKIP() << "no corpus at " << CorpusDir().toStdString();
    for (const SCorpusTab& tab : kTabs) {
        SCOPED_TRACE(tab.file);
        const QByteArray bytes = ReadAll(dir.filePath(QString::fromLatin1(tab.file)));
        ASSERT_FALSE(bytes.isEmpty());
        auto r = RunImport(std::string(bytes.constData(), size_t(bytes.size())));
        ASSERT_GT(r->blocks, 0);
        const auto measures = Measures(r->doc.Events());
        ASSERT_EQ(int(measures.size()), tab.measures);
        for (const auto& m : measures)
            EXPECT_EQ(m.first, tab.meter);
        for (const SMeasure& check : tab.checked) {
            ASSERT_LE(check.number, int(measures.size()));
            EXPECT_EQ(Sorted(measures[size_t(check.number - 1)].second), Sorted(check.hits))
                << "measure " << check.number;
        }
    }
}
} // namespace
