// The column scans read staff lines several bytes at a time. These sweeps put bars of every
// width at every offset from the start of the line, so that each bar edge, tick run and note
// lands at every position within a word, and check the song against the columns as written.

#include "importtestutil.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Time signature of a bar of `ticks` 32nds: the smallest denominator that divides evenly.
std::string SigOf(int ticks)
{
    for (int den : {4, 8, 16, 32})
        if (ticks % (32 / den) == 0)
            return "|" + std::to_string(ticks / (32 / den)) + "/" + std::to_string(den);
    return "?";
}

// One staff: a hi-hat on every other column, a bass drum on each bar's first column.
// `widths` are the bars' column counts; `indent` blanks and a label of `labelWidth` letters
// come before the first bar line. Two plain 16-column bars follow so that a column is a 16th.
struct SStaff
{
    std::string tab;
    std::string bars;  // expected measure openers
    std::string notes; // expected song
};

SStaff MakeStaff(const std::vector<int>& widths, int indent, int labelWidth)
{
    const std::string pad(size_t(indent), ' ');
    std::string hh = pad + std::string("HH") + std::string(size_t(labelWidth - 2), 'h') + "|";
    std::string bd = pad + std::string("BD") + std::string(size_t(labelWidth - 2), ' ') + "|";
    SStaff s;
    for (int w : widths) {
        s.bars += (s.bars.empty() ? "" : " ") + SigOf(w * 2);
        s.notes += (s.notes.empty() ? "" : " ") + SigOf(w * 2);
        for (int c = 0; c < w; ++c) {
            const bool hit = c % 2 == 0;
            hh += hit ? 'x' : '-';
            bd += c == 0 ? 'o' : '-';
            if (hit)
                s.notes += " 42@" + std::to_string(c * 24);
            if (c == 0)
                s.notes += " 36@0";
        }
        hh += '|';
        bd += '|';
    }
    s.tab = hh + "\n" + bd + "\n\nHH|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|o-------o-------|\n";
    s.bars += " |4/4 |4/4";
    return s;
}

TEST(ColumnScan, BarsOfEveryWidthAtEveryOffset)
{
    for (int labelWidth = 2; labelWidth <= 9; ++labelWidth) {
        for (int indent = 0; indent <= 1; ++indent) {
            // Widths 1 to 31 columns (up to 62 ticks, below the split length), each bar starting
            // at a different offset from the last.
            std::vector<int> widths;
            for (int w = 31; w >= 1; --w)
                widths.push_back(w);
            const SStaff s = MakeStaff(widths, indent, labelWidth);
            auto r = RunImport(s.tab);
            ASSERT_EQ(r->blocks, 2) << "label " << labelWidth << " indent " << indent;
            EXPECT_EQ(BarsText(r->doc.Events()), s.bars) << "label " << labelWidth << " indent " << indent;
            // Labels such as "HHhhh" are reported as guesses; nothing else may be.
            std::vector<int> ids = r->IssueIds();
            std::erase(ids, int(ImportIssue::UncertainLabel));
            EXPECT_TRUE(ids.empty()) << "label " << labelWidth << " indent " << indent;
            const std::string song = SongText(r->doc.Events());
            EXPECT_EQ(song.substr(0, s.notes.size()), s.notes) << "label " << labelWidth << " indent " << indent;
        }
    }
}

TEST(ColumnScan, TickCountsDisagreeingInAnyColumnAreSeen)
{
    // One line of the staff is a column short in bar k, which shifts its later separators
    // too: the short bar gets the tick it lacks before its bar line, that line alone records
    // the inconsistency there, whatever the bar's offset in the line, and the notes of its
    // later bars stay on their columns.
    for (int k = 0; k < 12; ++k) {
        std::string hh = "HH|", sd = "SD|", bd = "BD|";
        for (int b = 0; b < 12; ++b) {
            const int w = 5 + b;
            hh += std::string(size_t(w), '-') + "|";
            sd += (b == k ? std::string(size_t(w - 1), '-') : "--o" + std::string(size_t(w - 3), '-')) + "|";
            bd += "o" + std::string(size_t(w - 1), '-') + "|";
        }
        auto r = RunImport(hh + "\n" + sd + "\n" + bd + "\n\nHH|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|\n");
        ASSERT_EQ(r->blocks, 2);
        int inconsistent = 0;
        for (const CImportIssue& i : r->imp.m_issues) {
            if (i.m_id == 61452) {
                ++inconsistent;
                EXPECT_EQ(i.m_line, 1) << "bar " << k;
            }
        }
        EXPECT_EQ(inconsistent, 1) << "bar " << k;
        const std::string song = SongText(r->doc.Events());
        const size_t last = song.rfind("|", song.rfind("|") - 1);
        EXPECT_EQ(song.substr(last, 24), k == 11 ? "|4/4 36@0 |4/4 42@0 36@0" : "|4/4 36@0 38@48 |4/4 42@") << "bar " << k;
        std::vector<int> widths;
        for (int b = 0; b < 12; ++b)
            widths.push_back(5 + b);
        std::string bars;
        for (int w : widths)
            bars += SigOf(w * 2) + " ";
        EXPECT_EQ(BarsText(r->doc.Events()), bars + "|4/4") << "bar " << k;
    }
}

TEST(ColumnScan, NotesAtEveryColumnOfALongBar)
{
    // A single note moving through every column of a 31-column bar, behind labels of every
    // width: the note keeps its column's position.
    for (int labelWidth = 2; labelWidth <= 9; ++labelWidth) {
        for (int col = 0; col < 31; ++col) {
            std::string sd = "SD" + std::string(size_t(labelWidth - 2), ' ') + "|" + std::string(31, '-') + "|";
            sd[size_t(labelWidth + 1 + col)] = 'o';
            const std::string bd = "BD" + std::string(size_t(labelWidth - 2), ' ') + "|o" + std::string(30, '-') + "|";
            auto r = RunImport(sd + "\n" + bd + "\n\nHH|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|\n");
            ASSERT_EQ(r->blocks, 2);
            const std::string song = SongText(r->doc.Events());
            const std::string want = "38@" + std::to_string(col * 24);
            EXPECT_NE(song.find(want), std::string::npos) << "label " << labelWidth << " col " << col << ": " << song;
        }
    }
}

} // namespace
