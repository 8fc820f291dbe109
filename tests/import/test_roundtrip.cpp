// Tabs written by Kadenzo's own text export read back to the same song: notes that share a
// line at one tick, flams on the bass drum, and the marks of the line above a staff.

#include "importtestutil.h"
#include "textexport.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

// The song text with the notes of one position in a fixed order: the order of the lines
// they came from is not part of the song.
std::string Sorted(const std::string& song)
{
    std::vector<std::string> tokens;
    std::string out;
    auto flush = [&] {
        std::stable_sort(tokens.begin(), tokens.end(), [](const std::string& a, const std::string& b) {
            const int pa = std::stoi(a.substr(a.find('@') + 1));
            const int pb = std::stoi(b.substr(b.find('@') + 1));
            return pa != pb ? pa < pb : a < b;
        });
        for (const std::string& t : tokens)
            out += " " + t;
        tokens.clear();
    };
    size_t i = 0;
    while (i < song.size()) {
        const size_t j = std::min(song.find(' ', i), song.size());
        const std::string t = song.substr(i, j - i);
        const size_t at = t.find('@');
        if (!t.empty() && (t[0] == '|' || at == std::string::npos || at + 1 >= t.size() || !std::isdigit(static_cast<unsigned char>(t[at + 1])))) {
            flush();
            out += (out.empty() ? "" : " ") + t;
        } else if (!t.empty()) {
            tokens.push_back(t);
        }
        i = j + 1;
    }
    flush();
    return out;
}

// The song as an opened document holds it (with its closing bar), written and read back.
std::string ExportAndReimport(CRondelDoc& doc)
{
    EXPECT_TRUE(doc.FinishOpen(nullptr));
    const QByteArray text = MakeTextTab(doc);
    auto back = RunImport(QByteArray(text).replace("\r\n", "\n").toStdString());
    EXPECT_GE(back->blocks, 1) << text.toStdString();
    EXPECT_TRUE(back->doc.FinishOpen(nullptr));
    for (const QString& m : back->report.m_messages)
        ADD_FAILURE() << "unexpected message: " << m.toStdString();
    return Sorted(SongText(back->doc.Events()));
}

TEST(TextRoundTrip, NotesSharingALineAtOneTickComeBack)
{
    // Kick and hi-hat foot together, both crashes together, and a flammed kick: the written
    // tab has one bass and one crash line, so each pair needs the line of its own.
    auto r = RunImport("C1|x---------------|\n"
                       "C2|x-------x-------|\n"
                       "HH|--x-x-x-x-x-x-x-|\n"
                       "S |----o-------o---|\n"
                       "B |o-------f---o---|\n"
                       "HF|x---x---x---x---|\n");
    const std::string song = Sorted(SongText(r->doc.Events()) + " |4/4");
    ASSERT_NE(song.find("44@0"), std::string::npos) << song;
    ASSERT_NE(song.find("57@0"), std::string::npos) << song;
    ASSERT_NE(song.find("36@192f"), std::string::npos) << song;
    EXPECT_EQ(ExportAndReimport(r->doc), song);
}

TEST(TextRoundTrip, AccentedCymbalsAndRemarksComeBack)
{
    auto r = RunImport("   cresc >>>>>>>>>>\n"
                       "C |X---------------|x---------------|\n"
                       "H |--x-x-x-X-x-x-x-|X-x-x-x-x-x-x-x-|\n"
                       "S |----o-------o---|----o-------o---|\n"
                       "B |o-------o-------|o-------o-------|\n");
    const std::string song = Sorted(SongText(r->doc.Events()) + " |4/4");
    ASSERT_NE(song.find("49@0!"), std::string::npos) << song;
    EXPECT_EQ(ExportAndReimport(r->doc), song);
}

TEST(TextRoundTrip, OneInstrumentWrittenOnTwoLinesPlaysEachHitOnce)
{
    auto r = RunImport("HH|x-x-x-x-x-x-x-x-|\n"
                       "HH|x-x-x-x-x-x-x-x-|\n"
                       "S |----o-------o---|\n"
                       "S |----o-------o---|\n"
                       "B |o-------o-------|\n");
    EXPECT_EQ(SongText(r->doc.Events()),
              "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336");
}

TEST(TextRoundTrip, AccentMarksAboveAStaffButNotARemark)
{
    // '>' over a note accents it; a remark that holds '>' among its words does not.
    auto marked = RunImport("       >       >\n"
                            "H |x-x-x-x-x-x-x-x-|\n"
                            "B |o-------o-------|\n");
    EXPECT_EQ(SongText(marked->doc.Events()),
              "|4/4 42@0 36@0 42@48 42@96! 42@144 42@192 36@192 42@240 42@288! 42@336");
    auto remark = RunImport("   c>>>>>>>>>>>>>>\n"
                            "H |x-x-x-x-x-x-x-x-|\n"
                            "B |o-------o-------|\n");
    EXPECT_EQ(SongText(remark->doc.Events()).find('!'), std::string::npos) << SongText(remark->doc.Events());
}

} // namespace
