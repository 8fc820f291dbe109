// Tabs as people write them: tom and cymbal labels, legends, letters on cymbal lines, bytes
// from word processors, tempo lines and header names.

#include "importtestutil.h"
#include "importtext.h"
#include "textexport.h"

#include <gtest/gtest.h>

namespace {
using ImportText::Trim;

// The instrument the label's line plays for a note character (0: none).
int KeyOf(const SImported& r, const char* label, char note)
{
    for (int i = 0; i < r.imp.m_labelCount; ++i)
        if (std::string_view(r.imp.m_labels[size_t(i)].label) == label)
            return r.imp.LookupNote(i, note) & 0xFF;
    return -1;
}

int DynamicOf(const SImported& r, const char* label, char note)
{
    for (int i = 0; i < r.imp.m_labelCount; ++i)
        if (std::string_view(r.imp.m_labels[size_t(i)].label) == label)
            return r.imp.LookupNote(i, note) >> 8;
    return -1;
}

// The guessed labels named in the issue list, as "label=instrument".
std::vector<std::string> Guesses(const SImported& r)
{
    std::vector<std::string> out;
    for (const CImportIssue& issue : r.imp.m_issues) {
        if (issue.m_id != ImportIssue::UncertainLabel)
            continue;
        const CImportLine& line = r.imp.m_lines[size_t(issue.m_line)];
        const std::string text(Trim(std::string_view(line.m_text).substr(size_t(issue.m_start),
                                                                          size_t(issue.m_end - issue.m_start))));
        out.push_back(text + "=" + std::to_string(issue.m_instrument));
    }
    return out;
}


TEST(TomLabels, FiveTomsFallFromHighToLow)
{
    auto r = RunImport("sT|o---------------|\nmT|----o-----------|\nHT|--------o-------|\n"
                       "LT|------------o---|\n2T|--------------o-|\nB |o---o---o---o---|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(SongText(r->doc.Events()), "|4/4 50@0 36@0 48@96 36@96 47@192 36@192 45@288 36@288 43@336");
    // HT and 2T name toms already taken above them: each is moved and listed. LT under a
    // mid tom is the low tom by its name.
    EXPECT_EQ(Guesses(*r), (std::vector<std::string>{"HT=47", "2T=43"}));
}

struct STomCase
{
    const char* name;
    const char* labels[5];
    int keys[5];
};

class Toms : public ::testing::TestWithParam<STomCase>
{
};

// Each label on its own staff line, top to bottom, over a bass drum line.
TEST_P(Toms, PlayTheirTom)
{
    const STomCase& c = GetParam();
    std::string tab;
    for (const char* label : c.labels)
        if (label)
            tab += std::string(label) + "|o---o---o---o---|\n";
    tab += "B    |o-------o-------|\n";
    // Align the label column.
    std::string aligned;
    size_t width = 0;
    for (const char* label : c.labels)
        if (label)
            width = std::max(width, std::string_view(label).size());
    for (const char* label : c.labels)
        if (label)
            aligned += std::string(label) + std::string(width - std::string_view(label).size(), ' ') + "|o---o---o---o---|\n";
    aligned += "B" + std::string(width - 1, ' ') + "|o-------o-------|\n";
    for (const std::string& text : {aligned, Crlf(aligned)}) {
        auto r = RunImport(text);
        ASSERT_EQ(r->blocks, 1) << text;
        for (int i = 0; i < 5 && c.labels[i]; ++i) {
            std::string label(c.labels[i]);
            while (!label.empty() && (label.back() == ' ' || label.back() == ':'))
                label.pop_back();
            EXPECT_EQ(KeyOf(*r, label.c_str(), 'o'), c.keys[i]) << label;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Labels, Toms,
    ::testing::Values(STomCase{"HighMidFloor", {"HT", "MT", "FT"}, {50, 48, 41}},
                      STomCase{"NumberedFirst", {"1T", "2T", "3T", "4T"}, {50, 48, 45, 43}},
                      STomCase{"NumberedThree", {"T1", "T2", "T3"}, {50, 48, 47}},
                      STomCase{"NumberedAfter", {"T1", "T2", "T3", "T4"}, {50, 48, 45, 43}},
                      STomCase{"NumberedWithFloor", {"T1", "T2", "T3", "T4", "FT"}, {50, 48, 47, 45, 41}},
                      STomCase{"Words", {"Tom1", "Tom2", "Floor"}, {50, 48, 41}},
                      STomCase{"TwoWordNames", {"Hi Tom", "Mid", "Lo Tom"}, {50, 48, 45}},
                      STomCase{"FourNamed", {"HT", "MT", "LT", "FT"}, {50, 48, 45, 41}},
                      STomCase{"LowUnderHigh", {"HT", "LT"}, {50, 47}},
                      STomCase{"LowBetweenHighAndFloor", {"HT", "LT", "FT"}, {50, 45, 41}},
                      STomCase{"LowAlone", {"LT"}, {45}},
                      STomCase{"LowOverFloor", {"Lo Tom", "Floor"}, {45, 41}},
                      STomCase{"WithColons", {"ht:", "mt:", "ft:"}, {50, 48, 43}},
                      STomCase{"Dotted", {"T1", "F.T."}, {50, 41}},
                      STomCase{"SmallTom", {"sT", "LT"}, {50, 47}},
                      STomCase{"BareTAfterNumbered", {"T1", "T", "FT"}, {50, 48, 41}},
                      STomCase{"BareTAlone", {"T"}, {50}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TomLabels, ALabelKeepsTheTomItsFirstStaffGaveIt)
{
    // T1 and FT stand alone first; T2 comes later on a staff of its own.
    auto r = RunImport("T1|o---o---o---o---|\nFT|o---o---o---o---|\nB |o-------o-------|\n\n"
                       "T2|o---o---o---o---|\nB |o-------o-------|\n");
    ASSERT_EQ(r->blocks, 2);
    EXPECT_EQ(KeyOf(*r, "T1", 'o'), 50);
    EXPECT_EQ(KeyOf(*r, "FT", 'o'), 41);
    EXPECT_EQ(KeyOf(*r, "T2", 'o'), 48);
    EXPECT_TRUE(Guesses(*r).empty());
}

struct SCymbalCase
{
    const char* name;
    const char* label;
    char note;
    int key;
};

class CymbalLabels : public ::testing::TestWithParam<SCymbalCase>
{
};

TEST_P(CymbalLabels, PlayTheirInstrument)
{
    const SCymbalCase& c = GetParam();
    const std::string pad(std::max<size_t>(std::string_view(c.label).size(), 2) - 1, ' ');
    auto r = RunImport(std::string(c.label) + "|" + c.note + "-------" + c.note + "-------|\nB" + pad
                       + "|o-------o-------|\nH" + pad + "|x-x-x-x-x-x-x-x-|\n");
    ASSERT_EQ(r->blocks, 1);
    std::string label(c.label);
    while (!label.empty() && label.back() == ' ')
        label.pop_back();
    EXPECT_EQ(KeyOf(*r, label.c_str(), c.note), c.key);
    EXPECT_TRUE(Guesses(*r).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Labels, CymbalLabels,
    ::testing::Values(SCymbalCase{"G", "G ", 'x', 52}, SCymbalCase{"Ch", "Ch", 'x', 52},
                      SCymbalCase{"China", "China", 'X', 52}, SCymbalCase{"Cb", "Cb", 'x', 56},
                      SCymbalCase{"Cow", "Cow", 'x', 56}, SCymbalCase{"Cowbell", "Cowbell", 'o', 56},
                      SCymbalCase{"Spl", "Spl", 'x', 55}, SCymbalCase{"Splash", "Splash", 'x', 55},
                      SCymbalCase{"R", "R ", 'x', 51}, SCymbalCase{"Rd", "Rd", 'x', 51},
                      SCymbalCase{"RideLower", "ride", 'x', 51}, SCymbalCase{"RideO", "Rd", 'o', 51},
                      SCymbalCase{"Bell", "Bell", 'x', 53}, SCymbalCase{"Rb", "Rb", 'o', 53},
                      SCymbalCase{"RideBellLetter", "R ", 'b', 53}, SCymbalCase{"C1", "C1", 'x', 49},
                      SCymbalCase{"C2", "C2", 'x', 57}, SCymbalCase{"CC", "CC", 'x', 49},
                      SCymbalCase{"Cr", "Cr", 'x', 49}, SCymbalCase{"CrashO", "CC", 'o', 49},
                      SCymbalCase{"CrashChoked", "C ", '#', 49}, SCymbalCase{"ChinaChoked", "Ch", '#', 52},
                      SCymbalCase{"HiHatFoot", "HH", 's', 44}, SCymbalCase{"HiHatFootCapital", "HH", 'S', 44},
                      SCymbalCase{"HiHatOpen", "HH", 'o', 46}, SCymbalCase{"HiHatCrashLetter", "HH", 'c', 49},
                      SCymbalCase{"CrashCymbalWords", "Crash Cymbal", 'x', 49},
                      SCymbalCase{"HiHatFootWords", "Hi Hat foot", 'x', 44},
                      SCymbalCase{"HatFt", "Hat Ft", 'x', 44}, SCymbalCase{"HHFt", "HH Ft", 'x', 44},
                      SCymbalCase{"HatFoot", "Hat Foot", 'x', 44}, SCymbalCase{"HatPedal", "Hat pedal", 'x', 44},
                      SCymbalCase{"HHPedal", "HH Pedal", 'x', 44}, SCymbalCase{"HHPed", "HH ped", 'x', 44},
                      SCymbalCase{"HHF", "HH F", 'x', 44}, SCymbalCase{"HihatFt", "Hihat Ft", 'x', 44}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CymbalLabels, AFootLineUnderTheHatKeepsItsStrokes)
{
    // The foot's line plays with the hands' hat line: its strokes are its own, not the hat's
    // written twice.
    for (const char* foot : {"Hat Ft  ", "HH Pedal", "Hat Foot"}) {
        auto r = RunImport(std::string("Hi-Hat   |x-x-x-x-x-x-x-x-|\nSnare    |----o-------o---|\n") + foot
                           + " |--x---x---x---x-|\n");
        EXPECT_EQ(SongText(r->doc.Events()), "|4/4 42@0 42@48 44@48 42@96 38@96 42@144 44@144 42@192 42@240 44@240 "
                                             "42@288 38@288 42@336 44@336") << foot;
    }
}

TEST(CymbalLabels, GuessedLabelsAreListedWithTheirInstrument)
{
    auto r = RunImport("Zq|x-------x-------|\nBongo|o---o---|\nB |o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(Guesses(*r), (std::vector<std::string>{"Zq=58", "Bongo=36"}));
    for (const CImportIssue& issue : r->imp.m_issues) {
        if (issue.m_id == ImportIssue::UncertainLabel && issue.m_instrument == 58) {
            EXPECT_EQ(ImportIssueText(issue).toStdString(),
                      "Instrument label not recognised for certain; its notes are played as Vibraslap");
        }
    }
}

TEST(Legends, NoteCharactersFollowTheLegend)
{
    auto r = RunImport("c = cross-stick\n@ = flam\no = double stroke\n"
                       "h |x-x-x-x-x-x-x-x-|\ns |----c-------@---|\nb |o-------o--o----|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(SongText(r->doc.Events()),
              "|4/4 42@0 36@0 36@12 42@48 42@96 37@96 42@144 42@192 36@192 36@204 42@240 36@264 36@276 42@288 38@288f "
              "42@336");
}

TEST(Legends, FormsAndPlaces)
{
    // "X : meaning", "X - meaning", several on one line, below the staff, with CR LF.
    for (const char* legend : {"c : cross stick,  @ : flam", "c - side stick   @ - flam", "c=rim click; @=flam"}) {
        for (bool below : {false, true}) {
            const std::string staff = "H |x-x-x-x-x-x-x-x-|\nS |----c-------@---|\nB |o-------o-------|\n";
            std::string tab = below ? staff + "\n" + legend + "\n" : std::string(legend) + "\n\n" + staff;
            for (const std::string& text : {tab, Crlf(tab)}) {
                auto r = RunImport(text);
                ASSERT_EQ(r->blocks, 1) << legend;
                EXPECT_EQ(KeyOf(*r, "S", 'c'), 37) << legend;
                EXPECT_EQ(KeyOf(*r, "S", '@'), 38) << legend;
                EXPECT_EQ(DynamicOf(*r, "S", '@'), Dynamic::Flam) << legend;
                EXPECT_EQ(r->TypeOf(below ? 5 : 1), LineType::NoteKey) << legend;
            }
        }
    }
}

TEST(Legends, ALegendNamesALabel)
{
    auto r = RunImport("c1 = high cowbell\n\nc1|x---x---x---x---|\nB |o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(KeyOf(*r, "c1", 'x'), 56);
}

TEST(Legends, CymbalLettersAndAChina)
{
    auto r = RunImport("G = china\nG |X---------------|\nC |--------#-------|\nHH|----s-------s---|\nB |o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(SongText(r->doc.Events()), "|4/4 52@0 36@0 44@96 49@192# 36@192 44@288");
}

TEST(Legends, TwoLetterSymbolsAreOneNote)
{
    auto r = RunImport("ff = flat flam   cg = crash grab\n\n"
                       "C |cg--------------|\nS |----ff------ff--|\nB |o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(SongText(r->doc.Events()), "|4/4 49@0# 36@0 38@96f 36@192 38@288f");
    // The lines read as written afterwards.
    EXPECT_EQ(r->imp.m_lines[3].m_text, "S |----ff------ff--|");
}

// '#' on a cymbal a hand can grab is that cymbal choked; the hi-hat keeps its own '#'.
TEST(Chokes, HashOnAGrabbableCymbalIsThatCymbalChoked)
{
    struct SCase
    {
        const char* label;
        int key;
    };
    for (const SCase c : {SCase{"C ", 49}, SCase{"CC", 49}, SCase{"Cr", 49}, SCase{"C2", 57}, SCase{"Rd", 51},
                          SCase{"R ", 51}, SCase{"Ch", 52}, SCase{"Spl", 55}, SCase{"crash", 49}}) {
        for (const char* sep : {"|", ":|", " |"}) {
            const std::string tab = std::string(c.label) + sep + "x-------#-------|\nHH" + sep
                                    + "x-x-x-x-x-x-x-x-|\nB " + sep + "o-------o-------|\n";
            for (const std::string& text : {tab, Crlf(tab), "    " + tab}) {
                auto r = RunImport(text);
                ASSERT_EQ(r->blocks, 1) << c.label << sep;
                const std::string k = std::to_string(c.key);
                const std::string song = SongText(r->doc.Events());
                EXPECT_NE(song.find(k + "@0 "), std::string::npos) << c.label << sep << ": " << song;
                EXPECT_NE(song.find(k + "@192#"), std::string::npos) << c.label << sep << ": " << song;
                EXPECT_EQ(song.find(k + "@0#"), std::string::npos) << c.label << sep << ": " << song;
            }
        }
    }
    // Not on the hi-hat, nor on drums.
    auto r = RunImport("HH|x-x-x-x-#-x-x-x-|\nS |----#-------o---|\nB |o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(SongText(r->doc.Events()).find('#'), std::string::npos) << SongText(r->doc.Events());
}

TEST(Chokes, LegendsSayWhenACharacterIsAChoke)
{
    // The word says so...
    for (const char* legend : {"# = choke", "# - choked cymbal", "x = crash, + = cymbal grab", "+ : stop the cymbal"}) {
        const char sign = std::string_view(legend).find('+') != std::string_view::npos ? '+' : '#';
        const std::string tab = std::string(legend) + "\n\nC |x-------" + sign + "-------|\nB |o-------o-------|\n";
        auto r = RunImport(tab);
        ASSERT_EQ(r->blocks, 1) << legend;
        EXPECT_EQ(SongText(r->doc.Events()), "|4/4 49@0 36@0 49@192# 36@192") << legend;
    }
    // ...and a legend that gives the character another meaning takes the choke away.
    auto r = RunImport("# = china\n\nC |x-------#-------|\nB |o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(SongText(r->doc.Events()), "|4/4 49@0 36@0 52@192 36@192");
}

TEST(Chokes, TheChokeIsSavedAndWrittenBack)
{
    auto r = RunImport("Cr|#-------x-------|\nRd|--------x---#---|\nB |o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    ASSERT_TRUE(r->doc.FinishOpen(nullptr));
    const std::string song = SongText(r->doc.Events());
    EXPECT_EQ(song, "|4/4 49@0# 36@0 49@192 51@192 36@192 51@288# |4/4") << song;

    // The song file keeps it.
    CRondelDoc loaded;
    QString error;
    ASSERT_TRUE(loaded.LoadBytes(r->doc.SaveBytes(), &error)) << error.toStdString();
    EXPECT_EQ(SongText(loaded.Events()), song);

    // The text tab writes it as '#' on the cymbal's line (32 columns to the bar) and reads it
    // back the same.
    const QByteArray text = MakeTextTab(r->doc);
    EXPECT_TRUE(text.contains("Cr |#" + QByteArray(15, '-') + "c" + QByteArray(15, '-') + "|")) << text.toStdString();
    EXPECT_TRUE(text.contains("Rd |" + QByteArray(16, '-') + "x-------#-------|")) << text.toStdString();
    auto back = RunImport(text.toStdString());
    ASSERT_EQ(back->blocks, 1);
    ASSERT_TRUE(back->doc.FinishOpen(nullptr));
    EXPECT_EQ(SongText(back->doc.Events()), song);
}

TEST(Legends, ASaidFootOverridesTheLetter)
{
    // The legend wins over the built-in meaning: 's' on the hi-hat is a splash here.
    auto r = RunImport("s = splash\nHH|x-x-s-x-x-x-s-x-|\nB |o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(KeyOf(*r, "HH", 's'), 55);
    // And a hi-hat word only changes hi-hat lines.
    auto r2 = RunImport("x = closed\nHH|x-x-x-x-x-x-x-x-|\nS |----x-------x---|\nB |o-------o-------|\n");
    ASSERT_EQ(r2->blocks, 1);
    EXPECT_EQ(KeyOf(*r2, "HH", 'x'), 42);
    EXPECT_EQ(KeyOf(*r2, "S", 'x'), 38);
}

TEST(Legends, AnOpenOrClosedHatLegendLeavesTheKick)
{
    // "o = open hi-hat" speaks of the hat's 'o', not of the kick written with the same letter;
    // a legend that names the foot still makes the kick line's letter the foot.
    for (const char* legend : {"o = open hi-hat\nx = closed hi-hat\n", "o - open hihat, x - closed hihat\n"}) {
        auto r = RunImport(std::string(legend) + "\nH |x-x-o-x-x-x-o-x-|\nS |----o-------o---|\nK |o-------o-o-----|\n");
        ASSERT_EQ(r->blocks, 1);
        EXPECT_EQ(KeyOf(*r, "H", 'o'), 46) << legend;
        EXPECT_EQ(KeyOf(*r, "K", 'o'), 36) << legend;
    }
    auto foot = RunImport("f = hi-hat foot\nH |x-x-x-x-x-x-x-x-|\nK |o---f---o---f---|\n");
    EXPECT_EQ(KeyOf(*foot, "K", 'f'), 44);
}

TEST(BassLabels, RightAndLeftFoot)
{
    const std::string staff = "Sn|----o-------o---|\nRF|o---o---o---o---|\nLF|--o---o---o---o-|\n";
    // Alone, or spelt out in a legend: two bass drums.
    for (const std::string& legend : {std::string(), std::string("RF = right foot, LF = left foot (both on bass drums)\n\n"),
                                      std::string("RF = right foot\nLF = left foot\n\n")}) {
        for (const std::string& text : {legend + staff, Crlf(legend + staff)}) {
            auto r = RunImport(text);
            ASSERT_EQ(r->blocks, 1) << text;
            EXPECT_EQ(KeyOf(*r, "RF", 'o'), 36) << text;
            EXPECT_EQ(KeyOf(*r, "LF", 'o'), 36) << text;
        }
    }
    // Beside a kick line the left foot plays the hat.
    auto hat = RunImport("HH|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|\nLF|--x---x---x---x-|\n");
    EXPECT_EQ(KeyOf(*hat, "BD", 'o'), 36);
    EXPECT_EQ(KeyOf(*hat, "LF", 'x'), 44);
}

TEST(UnlabelledStaves, ANoteNamesTheLinesTopToBottom)
{
    const std::string staff = "|x---x---x---x---|x---x---x---x---|\n|--------o-------|--------o-------|\n"
                              "|o-----o---o-----|o-----o-----o-o-|\n";
    const std::string tab = "Half-time groove (no labels - lines are, top to bottom: ride, snare, kick)\nTempo 85\n\n" + staff;
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        ASSERT_EQ(r->blocks, 1);
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4");
        const std::string song = SongText(r->doc.Events());
        EXPECT_EQ(song.substr(0, song.find(" |")), "|4/4 51@0 36@0 51@96 36@144 51@192 38@192 36@240 51@288");
        EXPECT_TRUE(Guesses(*r).empty());
    }
    // With no such note, three lines are hat, snare and kick, and said to be guesses; a count
    // under them moves with them.
    auto guessed = RunImport("groove:\n\n" + staff + " 1 + 2 + 3 + 4 +  1 + 2 + 3 + 4 +\n");
    ASSERT_EQ(guessed->blocks, 1);
    const std::string song = SongText(guessed->doc.Events());
    EXPECT_EQ(song.substr(0, song.find(" |")), "|4/4 42@0 36@0 42@96 36@144 42@192 38@192 36@240 42@288");
    EXPECT_EQ(Guesses(*guessed), (std::vector<std::string>{"HH=42", "SD=38", "BD=36"}));
    // A labelled tab keeps its unlabelled lines as they are (a rest bar, endings).
    auto labelled = RunImport("H |x-x-x-x-x-x-x-x-|\n  |----------------|\nB |o-------o-------|\n");
    EXPECT_EQ(labelled->imp.m_lines[1].m_text, "  |----------------|");
}

TEST(CymbalLabels, OCymbalsOverXDrumsArePlainStrokes)
{
    // Cymbals written with 'o' and drums with 'x' throughout: the hat's 'o' is no open hat.
    const std::string tab = "(i use o for the cymbals and x for the drums)\n\n"
                            "crash |o---------------|\nhat   |--o-o-o-o-o-o-o-|\n"
                            "snare |----x-------x---|\nkick  |x-------x-------|\n";
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        ASSERT_EQ(r->blocks, 1);
        EXPECT_EQ(KeyOf(*r, "hat", 'o'), 42);
        EXPECT_EQ(KeyOf(*r, "crash", 'o'), 49);
        EXPECT_EQ(KeyOf(*r, "snare", 'x'), 38);
        EXPECT_EQ(KeyOf(*r, "kick", 'x'), 36);
    }
    // An 'o' among the drums, or an 'x' on the hat, keeps the usual letters.
    auto mixed = RunImport("H |o-o-o-o-o-o-o-o-|\nS |----o-------o---|\nB |x-------x-------|\n");
    EXPECT_EQ(KeyOf(*mixed, "H", 'o'), 46);
    auto both = RunImport("H |x-x-o-x-x-x-o-x-|\nS |----x-------x---|\nB |x-------x-------|\n");
    EXPECT_EQ(KeyOf(*both, "H", 'o'), 46);
    // One drum line is too little to tell.
    auto lone = RunImport("H |o-o-o-o-o-o-o-o-|\nB |x-------x-------|\n");
    EXPECT_EQ(KeyOf(*lone, "H", 'o'), 46);
}

TEST(Legends, AStrokeForTheWholeKitLeavesEachTomItsOwn)
{
    // "o = open" speaks of the hat; on the tom lines 'o' is still each tom's stroke.
    const std::string tab = "LEGEND\nHH = Hi-hat     SN = Snare     K = Kick\n"
                            "R = Ride        T1/T2 = rack toms   FT = floor tom\nx = hit   o = open   g = ghost\n\n"
                            "HH|x-x-x-x-o-x-x-x-|\nSN|--g-----o-------|\nT1|--------oo------|\nT2|----------oo----|\n"
                            "FT|------------oooo|\nK |o-----o---o-----|\n";
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        ASSERT_EQ(r->blocks, 1);
        EXPECT_EQ(KeyOf(*r, "T1", 'o'), 50);
        EXPECT_EQ(KeyOf(*r, "T2", 'o'), 48);
        EXPECT_EQ(KeyOf(*r, "FT", 'o') == 41 || KeyOf(*r, "FT", 'o') == 43, true) << KeyOf(*r, "FT", 'o');
        EXPECT_EQ(KeyOf(*r, "HH", 'o'), 46);
        EXPECT_EQ(KeyOf(*r, "SN", 'o'), 38);
        EXPECT_EQ(DynamicOf(*r, "SN", 'g'), Dynamic::Ghost);
    }
}

TEST(Legends, ALineNamedAfterASentenceScopesItsEntries)
{
    // "HF line:" after a sentence: its 'o' is the hat's, not the snare's or the kick's.
    for (const char* head : {"Ride groove with hat foot.   HF line: x = foot chick, o = foot splash\n",
                             "groove below. hi-hat line: x = foot chick, o = foot splash\n"}) {
        const std::string tab = std::string(head) + "\nRd |x---x-x-x---x-x-|\nSn |----------o-----|\n"
                                "HF |----x-------o---|\nBd |o-------------o-|\n";
        for (const std::string& text : {tab, Crlf(tab)}) {
            auto r = RunImport(text);
            ASSERT_EQ(r->blocks, 1) << text;
            EXPECT_EQ(KeyOf(*r, "Sn", 'o'), 38) << head;
            EXPECT_EQ(KeyOf(*r, "Bd", 'o'), 36) << head;
            EXPECT_EQ(KeyOf(*r, "HF", 'x'), 44) << head;
            // A foot splash is the hat opened by the foot.
            EXPECT_EQ(KeyOf(*r, "HF", 'o'), 46) << head;
        }
    }
}

TEST(Legends, SymbolsExplainedInASentence)
{
    const std::string staff = "\nRd |x-x-*-x-x-x-*-x-|\nSn |----c-------c---|\nK  |o-------o-o-----|\n";
    for (const char* note : {"Verse groove - I use c for the cross-stick and * for the bell of the ride, the rest is standard.\n",
                             "using * for the ride bell; c for the cross stick\n"}) {
        for (const std::string& text : {note + staff, Crlf(note + staff)}) {
            auto r = RunImport(text);
            ASSERT_EQ(r->blocks, 1) << note;
            EXPECT_EQ(KeyOf(*r, "Sn", 'c'), 37) << note;
            EXPECT_EQ(KeyOf(*r, "Rd", '*'), 53) << note;
            EXPECT_EQ(KeyOf(*r, "Rd", 'x'), 51) << note;
        }
    }
    // A sentence that uses no symbol leaves the letters alone.
    auto none = RunImport("I use a 14 for the snare and play it loud\n" + staff);
    EXPECT_EQ(KeyOf(*none, "Sn", 'c'), 56);
}

TEST(Legends, ANumberedWordInAMeaning)
{
    // "pad 1:" is part of P1's meaning, not an entry for '1'.
    const std::string tab = "P1 = pad 1: 808 clap     P2 = pad 2: electronic snare\n\n"
                            "HH |x-x-x-x-x-x-x-x-|\nP1 |----x-------x---|\nP2 |------------x--x|\nBD |o-----o-o-------|\n";
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        ASSERT_EQ(r->blocks, 1);
        EXPECT_EQ(KeyOf(*r, "P1", 'x'), 39);
        EXPECT_EQ(KeyOf(*r, "P2", 'x'), 40);
    }
}

TEST(Legends, ALabelSaidToBeTheHats)
{
    const std::string staff = "\nR |x--x--x-o--x--x-|\nS |----x-------x---|\nK |--x--x----x--x--|\n";
    for (const char* legend : {"Linear groove (R = right hand on the hats, S = snare, K = kick)\n", "R = hi-hat\n"}) {
        for (const std::string& text : {legend + staff, Crlf(legend + staff)}) {
            auto r = RunImport(text);
            ASSERT_EQ(r->blocks, 1) << legend;
            EXPECT_EQ(KeyOf(*r, "R", 'x'), 42) << legend;
            EXPECT_EQ(KeyOf(*r, "R", 'o'), 46) << legend;
            EXPECT_EQ(KeyOf(*r, "S", 'x'), 38) << legend;
        }
    }
    // Without it R is the ride.
    auto ride = RunImport(staff);
    EXPECT_EQ(KeyOf(*ride, "R", 'x'), 51);
}

TEST(Legends, AnInstrumentGoesToTheLinesOfItsKind)
{
    // x on the cymbal line is the crash, x on the hi-hat stays a hi-hat.
    auto r = RunImport("x = crash   X - ride bell\nHH|x-x-x-x-x-x-x-x-|\nCy|x-------X-------|\nB |o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(KeyOf(*r, "HH", 'x'), 42);
    EXPECT_EQ(KeyOf(*r, "Cy", 'x'), 49);
    EXPECT_EQ(KeyOf(*r, "Cy", 'X'), 53);
    // With no line of that kind, the character means it wherever it stands.
    auto r2 = RunImport("c = cowbell\nS |c---c---c---c---|\nB |o-------o-------|\n");
    ASSERT_EQ(r2->blocks, 1);
    EXPECT_EQ(KeyOf(*r2, "S", 'c'), 56);
    auto r3 = RunImport("w = crash\nS |w---o---w---o---|\nB |o-------o-------|\n");
    ASSERT_EQ(r3->blocks, 1);
    EXPECT_EQ(KeyOf(*r3, "S", 'w'), 49);
    EXPECT_EQ(KeyOf(*r3, "S", 'o'), 38);
}

TEST(Legends, ALineNamingAPartOfTheKitSpeaksOfThoseLinesOnly)
{
    // As Kadenzo's own text export writes its key.
    auto r = RunImport("HH |x-x-x-x-f-x-x-x-|\nS  |----s-------f---|\nB  |x-----f---x-----|\n\n"
                       "Key:\n\tnotes: x=normal, X=accent, f=flam, g=ghost, d=double stroke\n"
                       "\tsnares: x=normal, s=side stick, c=cow bell, e=electric snare\n"
                       "\tbass: x=normal, f=high hat foot\n\ttt = 8th note triplet\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(KeyOf(*r, "S", 's'), 37);
    EXPECT_EQ(KeyOf(*r, "S", 'f'), 38);
    EXPECT_EQ(DynamicOf(*r, "S", 'f'), Dynamic::Flam);
    EXPECT_EQ(KeyOf(*r, "B", 'f'), 44);
    EXPECT_EQ(DynamicOf(*r, "B", 'f'), 0);
    EXPECT_EQ(KeyOf(*r, "B", 'x'), 36);
    EXPECT_EQ(KeyOf(*r, "HH", 'f'), 44);
}

TEST(Legends, ProseAndHeadersAreNoLegends)
{
    auto r = RunImport("Song: Demo\nNote: play it soft\nbpm=124\n\nH |x-x-x-x-x-x-x-x-|\nB |o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(r->TypeOf(1), LineType::Header);
    EXPECT_EQ(r->TypeOf(3), LineType::Header);
    EXPECT_NE(r->TypeOf(2), LineType::NoteKey);
}

TEST(WordProcessorBytes, DashesAreTicksAndNoBreakSpacesBlanks)
{
    // A word processor turns "--" into an em dash and '-' into an en dash: an em dash is two
    // ticks, an en dash one; a no-break space is a blank. Windows-1252 and UTF-8.
    const std::string em = "|4/4 36@0 38@96 36@96 36@192 36@264 38@288";
    const std::string plain = "|4/4 36@0 38@96 36@96 36@192 38@288 36@288";
    const std::pair<const char*, std::string> cases[] = {
        {"S |----o-------o---|\nB |o---o---o\x97o----|\n", em},
        {"S |----o-------o---|\nB |o---o---o\xE2\x80\x94o----|\n", em},
        {"S |----o-------o---|\nB |o---o---o--\x96o---|\n", plain},
        {"S |----o-------o---|\nB |o---o---o--\xE2\x80\x93o---|\n", plain},
        {"S\xA0|----o-------o---|\nB\xA0|o---o---o---o---|\n", plain},
        {"S\xC2\xA0|----o-------o---|\nB |o---o---o---o---|\n", plain},
    };
    for (const auto& [tab, expected] : cases) {
        for (const std::string& text : {std::string(tab), Crlf(tab)}) {
            auto r = RunImport(text);
            ASSERT_EQ(r->blocks, 1) << tab;
            EXPECT_EQ(SongText(r->doc.Events()), expected) << tab;
        }
    }
}

TEST(WordProcessorBytes, OtherTextIsLeftAsWritten)
{
    // UTF-8 letters whose bytes look like Windows-1252 dashes stay letters.
    auto r = RunImport("Song: Caf\xC3\xA9 \xC3\xA0 la mode\n\nH |x-x-x-x-x-x-x-x-|\nB |o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(r->imp.m_header[Header::Song], QString::fromUtf8("Caf\xC3\xA9 \xC3\xA0 la mode"));
}

struct STempoCase
{
    const char* line;
    int tempo;
};

class TempoLines : public ::testing::TestWithParam<STempoCase>
{
};

// Right above the staff, where a count line would stand.
TEST_P(TempoLines, SetTheTempoAndAreNoCountLines)
{
    for (bool crlf : {false, true}) {
        std::string tab = std::string(GetParam().line) + "\nH |x-x-x-x-x-x-x-x-|\nB |o-------o-------|\n";
        auto r = RunImport(crlf ? Crlf(tab) : tab);
        ASSERT_EQ(r->blocks, 1);
        EXPECT_EQ(r->imp.m_tempo, GetParam().tempo);
        EXPECT_EQ(r->TypeOf(1), LineType::Header);
        EXPECT_EQ(r->imp.m_timeMode, 0);
        EXPECT_EQ(SongText(r->doc.Events()), "|4/4 42@0 36@0 42@48 42@96 42@144 42@192 36@192 42@240 42@288 42@336");
    }
}

INSTANTIATE_TEST_SUITE_P(Header, TempoLines,
                         ::testing::Values(STempoCase{"Tempo: 124", 124}, STempoCase{"tempo 124", 124},
                                           STempoCase{"124 bpm", 124}, STempoCase{"124BPM", 124},
                                           STempoCase{"bpm=124", 124}, STempoCase{"BPM: 124", 124},
                                           STempoCase{"\xE2\x99\xA9=124", 124}, STempoCase{"\xE2\x99\xA9 = 124", 124},
                                           STempoCase{"q=124", 124}, STempoCase{"Q = 124", 124}));

TEST(TempoLines, ATempoBetweenStavesChangesItThere)
{
    // The song starts at the header's tempo; a tempo line between two staves sets the tempo of
    // the first bar under it, wherever the line stands in the file.
    const std::string staff = "HH|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|o-------o-------|\n";
    std::string tab = "Song: Changes\nTempo: 100\n\n" + staff + "\nVerse\n" + staff + "\nTempo: 140\n\n" + staff;
    for (int i = 0; i < 60; ++i)
        tab += "\n"; // a change far down the file too
    tab += "bpm = 90\n" + staff;
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        ASSERT_EQ(r->blocks, 4);
        EXPECT_EQ(r->imp.m_tempo, 100);
        std::vector<uint32_t> tempos;
        for (const auto& ev : r->doc.Events())
            if (ev.IsBar())
                tempos.push_back(ev.GetTempo());
        EXPECT_EQ(tempos, (std::vector<uint32_t>{0, 0, 0, 0, 140, 0, 90, 0})) << text;
    }
}

TEST(HeaderNames, ByIsNoPartOfAName)
{
    auto r = RunImport("Song: Paranoid by Black Sabbath\nTabbed by: Ann Lee\nTranscribed by Bo\n\n"
                       "H |x-x-x-x-x-x-x-x-|\nB |o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(r->imp.m_header[Header::Song], QStringLiteral("Paranoid"));
    EXPECT_EQ(r->imp.m_header[Header::Band], QStringLiteral("Black Sabbath"));
    EXPECT_EQ(r->imp.m_header[Header::Tabber], QStringLiteral("Bo"));
}

TEST(HeaderNames, FieldsSharingALineWithALegend)
{
    auto r = RunImport("Song: Demo  Tempo: 100  Legend: x = closed hat, o = open hat\n\n"
                       "H |x-x-x-x-x-x-o---|\nB |o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(r->imp.m_header[Header::Song], QStringLiteral("Demo"));
    EXPECT_EQ(r->imp.m_tempo, 100);
    EXPECT_EQ(KeyOf(*r, "H", 'x'), 42);
    EXPECT_EQ(KeyOf(*r, "H", 'o'), 46);
}

TEST(HeaderNames, ATitleIsNeverPunctuationAlone)
{
    auto r = RunImport("Song: Enter Sandman\nSONG ===========\nsong: ---\n\nH |x-x-x-x-x-x-x-x-|\nB |o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(r->imp.m_header[Header::Song], QStringLiteral("Enter Sandman"));
}
} // namespace

namespace {
TEST(Legends, MeaningsInCapitals)
{
    auto r = RunImport("c = CROSS-STICK\n@ = Flam\n\nH |x-x-x-x-x-x-x-x-|\nS |----c-------@---|\nB |o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(KeyOf(*r, "S", 'c'), 37);
    EXPECT_EQ(KeyOf(*r, "S", '@'), 38);
    EXPECT_EQ(DynamicOf(*r, "S", '@'), Dynamic::Flam);
}
} // namespace
