// Instrument recognition: labels, note characters, note key descriptions and dynamics.

#include "importtestutil.h"

#include <gtest/gtest.h>

namespace {
struct SLabelCase
{
    const char* name;
    const char* label;
    char note;
    const char* description; // a note key line "label: c = description", or null
    int instrument;
    int dynamic;
};

class Recognition : public ::testing::TestWithParam<SLabelCase>
{
};

// The tab holds the label's staff line with the note, plus a line of lower-case x and o so
// that capitals mean accents.
TEST_P(Recognition, GivesInstrumentAndDynamic)
{
    const SLabelCase& c = GetParam();
    std::string tab = std::string(c.label) + "|" + c.note + "---------------|\n";
    tab += "Zz|x-x-x-x-o-o-o-o-|\n";
    if (c.description)
        tab += std::string("\n") + c.label + ": " + c.note + " = " + c.description + "\n";
    auto r = RunImport(tab);
    ASSERT_EQ(r->blocks, 1);
    ASSERT_TRUE(r->imp.m_upperCaseAccents);
    const uint16_t v = r->imp.LookupNote(r->imp.m_lines[0].m_labelIndex, c.note);
    EXPECT_EQ(v & 0xFF, c.instrument);
    EXPECT_EQ(v >> 8, c.dynamic);
}

INSTANTIATE_TEST_SUITE_P(
    Labels, Recognition,
    ::testing::Values(SLabelCase{"HHx", "HH", 'x', nullptr, 42, 0}, SLabelCase{"HHo", "HH", 'o', nullptr, 46, 0},
                      SLabelCase{"HHCapitalX", "HH", 'X', nullptr, 42, Dynamic::Accent},
                      SLabelCase{"HiHatWord", "Hi-Hat", 'x', nullptr, 42, 0},
                      SLabelCase{"CCx", "CC", 'x', nullptr, 49, 0}, SLabelCase{"C2x", "C2", 'x', nullptr, 57, 0},
                      SLabelCase{"Chx", "Ch", 'x', nullptr, 52, 0}, SLabelCase{"Ride", "Rd", 'x', nullptr, 51, 0},
                      SLabelCase{"RideBell", "R", 'b', nullptr, 53, 0},
                      SLabelCase{"T1", "T1", 'o', nullptr, 50, 0}, SLabelCase{"tWith3", "t", '3', nullptr, 47, 0},
                      SLabelCase{"FT", "FT", 'o', nullptr, 41, 0}, SLabelCase{"ft", "ft", 'o', nullptr, 43, 0},
                      SLabelCase{"Tom1Word", "Tom1", 'g', nullptr, 50, Dynamic::Ghost},
                      SLabelCase{"BDo", "BD", 'o', nullptr, 36, 0},
                      SLabelCase{"BDCapitalO", "BD", 'O', nullptr, 36, Dynamic::Accent},
                      SLabelCase{"Kick", "Kick", 'o', nullptr, 36, 0},
                      SLabelCase{"SDo", "SD", 'o', nullptr, 38, 0}, SLabelCase{"SDflam", "SD", 'f', nullptr, 38, Dynamic::Flam},
                      SLabelCase{"SDrim", "SD", 'r', nullptr, 37, 0},
                      SLabelCase{"RimShotKey", "SD", 'x', "rim shot", 37, 0},
                      SLabelCase{"GhostKey", "SD", 'g', "ghost note", 38, Dynamic::Ghost},
                      SLabelCase{"HHOpenKey", "HH", 'x', "closed hi-hat", 42, 0},
                      SLabelCase{"CrashKey", "Cym", '*', "crash", 49, 0},
                      SLabelCase{"BellKey", "Cym", 'b', "ride bell", 53, 0},
                      SLabelCase{"Cowbell", "Cowbell", 'x', nullptr, 56, 0},
                      SLabelCase{"CowBellWords", "cb", 'x', nullptr, 56, 0},
                      SLabelCase{"Tambourine", "Tamb", 'x', nullptr, 54, 0},
                      SLabelCase{"PercussionChar", "Perc", 'W', nullptr, 76, 0},
                      SLabelCase{"Unknown", "Zz", 'x', nullptr, 58, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Labels, CrashesAllInCapitalsAreNotAccented)
{
    auto r = RunImport("CC|X-------X-------|\nHH|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    const uint16_t v = r->imp.LookupNote(r->imp.m_lines[0].m_labelIndex, 'X');
    EXPECT_EQ(v, 49);
}

TEST(Labels, RecordsAreCaseSensitiveAndIgnoreTrailingColons)
{
    auto r = RunImport("hh:|x-x-x-x-x-x-x-x-|\nBD |o-------o-------|\n\nhh|x-x-x-x-x-x-x-x-|\nHH|x-x-x-x-x-x-x-x-|\n");
    ASSERT_EQ(r->blocks, 2);
    EXPECT_EQ(r->imp.m_labelCount, 3);
    EXPECT_EQ(r->imp.m_lines[0].m_labelIndex, r->imp.m_lines[3].m_labelIndex);
    EXPECT_NE(r->imp.m_lines[3].m_labelIndex, r->imp.m_lines[4].m_labelIndex);
}

TEST(Labels, NoteKeyBlockLinesAreMarked)
{
    auto r = RunImport("HH|x-x-o-x-x-x-o-x-|\nSD|----o-------g---|\n\nHH: x = closed, o = open\nSD: g = ghost\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(r->TypeOf(4), LineType::NoteKey);
    EXPECT_EQ(r->TypeOf(5), LineType::NoteKey);
    const CLabelRecord& hh = r->imp.m_labels[size_t(r->imp.m_lines[0].m_labelIndex)];
    EXPECT_STREQ(hh.entries[0].description, "closed");
    EXPECT_EQ(hh.entries[0].kind, 1);
    EXPECT_EQ(r->imp.LookupNote(r->imp.m_lines[0].m_labelIndex, 'o') & 0xFF, 46);
}

TEST(Labels, KeyHeaderNamingPluralsCoversEveryMatchingLabel)
{
    auto r = RunImport("Tomhi|x---x---x---x---|\nTomlo|--x---x---x---x-|\n\nToms:\nx = low\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(r->TypeOf(4), LineType::NoteKey);
    EXPECT_EQ(r->TypeOf(5), LineType::NoteKey);
    for (int line : {0, 1}) {
        const int label = r->imp.m_lines[size_t(line)].m_labelIndex;
        EXPECT_STREQ(r->imp.m_labels[size_t(label)].entries[0].description, "low");
        EXPECT_EQ(r->imp.LookupNote(label, 'x') & 0xFF, 47); // "low" abbreviates "low mid"
    }
}

TEST(Labels, KeyHeaderWithoutEntriesGoesBackToUnknown)
{
    auto r = RunImport("HH|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|\n\nHH and BD\nplayed loud\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_NE(r->TypeOf(4), LineType::NoteKey);
}
} // namespace

namespace {
// The keys of the first bar's notes, in order.
std::string KeysOfFirstBar(const std::string& tab)
{
    auto r = RunImport(tab);
    const std::string song = SongText(r->doc.Events());
    std::string bar = song.substr(0, song.find('|', 1));
    while (!bar.empty() && bar.back() == ' ')
        bar.pop_back();
    return bar;
}
} // namespace

TEST(Legends, SeveralEntriesOnALineEachKeepTheirMeaning)
{
    // Labels spelt out as words end the entry before them ("BD = bass drum, Crash = crash").
    EXPECT_EQ(KeysOfFirstBar("Hat = hi hat, Sn = snare, BD = bass drum, Crash = crash, Ft = floor tom\n\n"
                             "Crash|x---------------|\n"
                             "Hat  |--x-x-x-x-x-x-x-|\n"
                             "Sn   |----o-------o---|\n"
                             "BD   |o-------o-------|\n"),
              "|4/4 49@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336");
    // A label legend, then a line of note entries a few blanks apart: each entry's meaning
    // ends where the next entry's symbol starts.
    for (const char* entries : {"x = closed hat   o = open hat (on the H line)", "x = closed hat, o = open hat"}) {
        SCOPED_TRACE(entries);
        EXPECT_EQ(KeysOfFirstBar(std::string("H = hi-hat\n") + entries + "\n\nH |x-x-x-x-x-x-o-x-|\nB |o-------o-------|\n"),
                  "|4/4 42@0 36@0 42@48 42@96 42@144 42@192 36@192 42@240 46@288 42@336");
    }
}

TEST(Legends, TheHatFootLineStaysTheFootWhatEverItsStrokesAreCalled)
{
    const char* forms[] = {
        "H = hi-hat, S = snare, K = kick, Pedal = hat w/ foot\nx = closed, o = open\n\n",
        "x = closed, o = open\n\n",
        "",
    };
    for (const char* legend : forms) {
        for (const char* label : {"Pedal", "FH   ", "Hf   ", "HF   "}) {
            SCOPED_TRACE(std::string(legend) + label);
            EXPECT_EQ(KeysOfFirstBar(std::string(legend) + "H    |x-x-x-x-x-x-x-x-|\n" + label + "|----x-------x---|\n"),
                      "|4/4 42@0 42@48 42@96 44@96 42@144 42@192 42@240 42@288 44@288 42@336");
        }
    }
}

TEST(Legends, ADragIsOneStrokeWithItsGrace)
{
    // "d" is a double stroke until a legend says otherwise; a drag is played with the one
    // grace note the song can hold (a flam).
    const std::string staff = "HH|x-x-x-x-x-x-x-x-|\nSD|----o---d---f---|\nBD|o-------o-------|\n";
    for (const char* legend : {"f = flam   d = drag\n\n", "d - drag, f - flam\n\n", "d = ruff\n\n"}) {
        SCOPED_TRACE(legend);
        EXPECT_EQ(KeysOfFirstBar(legend + staff), "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 38@192f 36@192 42@240 42@288 38@288f 42@336");
    }
    EXPECT_EQ(KeysOfFirstBar(staff), "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 38@192 36@192 38@204 42@240 42@288 38@288f 42@336");
}

TEST(Legends, ACharacterListedForSeveralInstrumentsLeavesEachLineItsOwn)
{
    // "x = closed hat / ride / crash" says where x is written, not that it is a crash.
    const std::string staff = " C |x---------------|\n R |----x-x-x-x-x-x-|\n S |----o-------o---|\n B |o-------o-o-----|\n";
    for (const char* key : {"Key:\n  x = closed hat / ride / crash\n  o = snare / kick\n\n", "x = hat, ride or crash\n\n"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(KeysOfFirstBar(key + staff), "|4/4 49@0 36@0 51@96 38@96 51@144 51@192 36@192 51@240 36@240 51@288 38@288 51@336");
    }
    // One instrument named in a longer name ("ride bell" holds "ride") still sets the character.
    EXPECT_EQ(KeysOfFirstBar("x = ride bell\n\n R |----x-x-x-x-x-x-|\n B |o-------o-o-----|\n"),
              "|4/4 36@0 53@96 53@144 53@192 36@192 53@240 36@240 53@288 53@336");
}

TEST(Legends, ACharacterOnOneKindOfLine)
{
    // "x on the snare line = rim click": the snare's x only; the cowbell's x stays.
    const std::string staff = "CB |X-x-X-x-X-x-X-x-|\nSN |----x---x-------|\nBD |------o-----o---|\n";
    for (const char* legend : {"Legend:  CB = cowbell\n         x on the snare line = rim click (clave)\n\n",
                               "x on snare line = side stick\n\n"}) {
        SCOPED_TRACE(legend);
        EXPECT_EQ(KeysOfFirstBar(legend + staff), "|4/4 56@0 56@48 56@96 37@96 56@144 36@144 56@192 37@192 56@240 56@288 36@288 56@336");
    }
    // "Ped" is the hat's foot.
    EXPECT_EQ(KeysOfFirstBar("HH |x-x-x-x-x-x-x-x-|\nPed|----x-------x---|\n"), "|4/4 42@0 42@48 42@96 44@96 42@144 42@192 42@240 42@288 44@288 42@336");
}

TEST(Legends, ANoteKeySayingHitLeavesEachCymbalLabelItsCymbal)
{
    const std::string tab = "Legend:\n Spl = splash    Rb = ride bell    Chn = china\n x = hit   X = accent   o = open/bell\n\n"
                            "Spl |--------------x-|\nChn |X---------------|\nRb  |x---x---x---x---|\nSn  |----o-------o---|\n"
                            "Kck |o-------o-------|\n";
    EXPECT_EQ(KeysOfFirstBar(tab), "|4/4 52@0! 53@0 36@0 53@96 38@96 53@192 36@192 53@288 38@288 55@336");
    EXPECT_EQ(KeysOfFirstBar(Crlf(tab)), "|4/4 52@0! 53@0 36@0 53@96 38@96 53@192 36@192 53@288 38@288 55@336");
}
