// Endings that carry several numbers ("1.3.", "1,3", "1-3"): the bar keeps its first number
// and is copied, in ending order, for each of the others, so that the song holds one ending
// number a bar and still plays every pass as written.

#include "importtestutil.h"

#include <gtest/gtest.h>

namespace {

// Only the measure openers with their endings, and the first note of each bar: which written
// bar a copy came from.
std::string Skeleton(const CEventList& events)
{
    std::string out;
    bool first = false;
    for (const auto& ev : events) {
        if (ev.IsBar()) {
            out += out.empty() ? "|" : " |";
            if (ev.IsRepeatGroupStart())
                out += "s";
            if (const int e = int(ev.GetRepeatGroupAltEnd()))
                out += std::to_string(e);
            first = true;
        } else if (first && !ev.IsRest()) {
            out += ":" + std::to_string(ev.GetEventType()) + "@" + std::to_string(ev.GetPosition());
            first = false;
        }
    }
    return out;
}

// Each written bar has its first hi-hat at its own place: bar 1 at 0, the three marked bars at
// 48, 96 and 144, the bar after them at 192.
std::string Tab(const std::string& a, const std::string& b, const std::string& c)
{
    auto cell = [](const std::string& mark) { return mark + std::string(16 - mark.size(), ' ') + "|"; };
    return "H |x-x-x-x-x-x-x-x-|\n"
           "  |" + cell(a) + cell(b) + cell(c) + "\n"
           "H |--x-------------|----x-----------|------x---------|\n"
           "\n"
           "H |--------x-------|\n";
}

TEST(Endings, SeveralNumbersOnOneBarPlayEveryPass)
{
    struct SCase
    {
        const char* a;
        const char* b;
        const char* c;
        const char* song;
    };
    const SCase cases[] = {
        {"1.3.", "2.", "4.", "|s:42@0 |1:42@48 |2:42@96 |3:42@48 |4:42@144 |:42@192"},
        {"1,3", "2.", "4.", "|s:42@0 |1:42@48 |2:42@96 |3:42@48 |4:42@144 |:42@192"},
        {"1-3", "4.", "5.", "|s:42@0 |1:42@48 |2:42@48 |3:42@48 |4:42@96 |5:42@144 |:42@192"},
        {"1.", "2.3.", "4.", "|s:42@0 |1:42@48 |2:42@96 |3:42@96 |4:42@144 |:42@192"},
        {"1.", "2.", "3.4.", "|s:42@0 |1:42@48 |2:42@96 |3:42@144 |4:42@144 |:42@192"},
        {"1.2.", "3.", "", "|s:42@0 |1:42@48 |2:42@48 |3:42@96 |:42@144 |:42@192"},
    };
    for (const SCase& c : cases) {
        auto r = RunImport(Tab(c.a, c.b, c.c));
        EXPECT_EQ(Skeleton(r->doc.Events()), c.song) << c.a << " " << c.b << " " << c.c;
        EXPECT_FALSE(r->HasIssue(ImportIssue::EndingOutOfSequence)) << c.a << " " << c.b << " " << c.c;
    }
}

TEST(Endings, NumbersThatAreNoEndingListStayText)
{
    // A time ("1.30") or a range of bars in a remark is no ending list.
    auto r = RunImport("H |x-x-x-x-x-x-x-x-|\n"
                       "  |1.30 min       |2 - 4 softer    |\n"
                       "H |--x-------------|----x-----------|\n");
    EXPECT_EQ(Skeleton(r->doc.Events()), "|:42@0 |:42@48 |:42@96");
}

} // namespace

namespace {
TEST(Endings, AMarkStartingOnTheBarLineBelongsToTheBarAfterIt)
{
    // "1st ending" written one column early, on the bar line of the bar it names.
    auto r = RunImport("                   1st ending       2nd ending\n"
                       "HH|x-x-x-x-x-x-x-x-|--x-------------|----x-----------|\n");
    EXPECT_EQ(Skeleton(r->doc.Events()), "|s:42@0 |1:42@48 |2:42@96");
}

TEST(Endings, RimLabelIsTheSideStick)
{
    auto r = RunImport("Rim|--x-----x-------|\nBD |o-------o-------|\n");
    EXPECT_EQ(SongText(r->doc.Events()), "|4/4 36@0 37@48 37@192 36@192");
}
} // namespace
