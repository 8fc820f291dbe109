#include "catalogue.h"

#include "report.h"

#include <cstdlib>
#include <cstring>

namespace {
using G = EDrumGroup;
constexpr std::array<SInstrument, Catalogue::kInstrumentCount> kInstruments = {{
    {81, "Open Triangle", G::Percussion, 32957, "Open triangle"},
    {80, "Mute Triangle", G::Percussion, 32958, "Mute triangle"},
    {79, "Open Cuica", G::Percussion, 32967, "Open cuica"},
    {78, "Mute Cuica", G::Percussion, 32968, "Mute cuica"},
    {77, "Low Woodblock", G::Percussion, 32950, "Low woodblock"},
    {76, "High Woodblock", G::Percussion, 32951, "High woodblock"},
    {75, "Claves", G::Percussion, 32964, "Claves"},
    {74, "Long Guiro", G::Percussion, 32966, "Long guiro"},
    {73, "Short Guiro", G::Percussion, 32965, "Short guiro"},
    {72, "Long Whistle", G::Percussion, 32960, "Long whistle"},
    {71, "Short Whistle", G::Percussion, 32959, "Short whistle"},
    {70, "Maracas", G::Percussion, 32961, "Maracas"},
    {69, "Cabasa", G::Percussion, 32962, "Casaba"},
    {68, "Low Agogo", G::Percussion, 32969, "Low agogo"},
    {67, "High Agogo", G::Percussion, 32970, "High agogo"},
    {66, "Low Timbale", G::Snare, 32947, "Low timbale"},
    {65, "High Timbale", G::Snare, 32948, "High timbale"},
    {64, "Low Conga", G::BongoConga, 32952, "Low conga"},
    {63, "Open High Conga", G::BongoConga, 32953, "Open high conga"},
    {62, "Mute High Conga", G::BongoConga, 32954, "Mute high conga"},
    {61, "Low Bongo", G::BongoConga, 32955, "Low bongo"},
    {60, "High Bongo", G::BongoConga, 32956, "High bongo"},
    {59, "Ride Cymbal 2", G::Cymbal, 32933, "Ride cymbal 2"},
    {58, "Vibraslap", G::Percussion, 32963, "Vibraslap"},
    {57, "Crash Cymbal 2", G::Cymbal, 32936, "Crash cymbal 2"},
    {56, "Cowbell", G::Snare, 32927, "Cow bell"},
    {55, "Splash Cymbal", G::Cymbal, 32937, "Splash cymbal"},
    {54, "Tambourine", G::Percussion, 32946, "Tambourine"},
    {53, "Ride Cymbal Bell", G::Cymbal, 32934, "Ride cymbal bell"},
    {52, "Chinese Cymbal", G::Cymbal, 32938, "China (trash) cymbal"},
    {51, "Ride Cymbal", G::Cymbal, 32932, "Ride cymbal 1"},
    {50, "High Tom 1", G::Tom, 32939, "Tom 1"},
    {49, "Crash Cymbal", G::Cymbal, 32935, "Crash cymbal 1"},
    {48, "High-Mid Tom 2", G::Tom, 32940, "Tom 2"},
    {47, "Low-Mid Tom 3", G::Tom, 32941, "Tom 3"},
    {46, "Open High-hat", G::Cymbal, 32931, "&Open high hat"},
    {45, "High Floor Tom 4", G::Tom, 32942, "Tom 4"},
    {44, "High-hat Pedal", G::BassDrum, 32930, "High hat foot"},
    {43, "Mid Floor Tom 5", G::Tom, 32943, "Tom 5"},
    {42, "Closed High-hat", G::Cymbal, 32922, "Closed high hat"},
    {41, "Low Floor Tom 6", G::Tom, 32944, "Tom 6"},
    {40, "Electric Snare", G::Snare, 32925, "Electric snare"},
    {39, "Hand Clap ", G::Percussion, 32949, "Hand clap"},
    {38, "Acoustic Snare", G::Snare, 32924, "Acoustic snare"},
    {37, "Side Stick", G::Snare, 32926, "Sticks"},
    {36, "Bass Drum", G::BassDrum, 32928, "Bass drum 1"},
    {35, "Acoustic Bass Drum", G::BassDrum, 32929, "Bass drum 2"},
}};

constexpr std::array<Catalogue::SMenuGroup, 6> kMenuGroups = {{
    {"&Snares", G::Snare},
    {"&Bass Drum", G::BassDrum},
    {"&Cymbals", G::Cymbal},
    {"Toms", G::Tom},
    {"Percussion", G::Percussion},
    {"Bongos/Congas", G::BongoConga},
}};

constexpr std::array<STabLine, TabLines::kCount> kTabLines = {{
    {false, 0, "Perc", "Percusion",
     "81R 80r 79U 78u 77w 76W 75l 74G 73g 72E 71e 70M 69s 68a 67A 66t 65T 58V 54m 39H"},
    {false, 0, "Congas", "Congas and bongos", "64c 63C 62O 61b 60B"},
    {false, 0, "Cymbals", "Cymbals inc. High Hats", "42H 59R 57c 55S 53B 52T 51R 49C 46O"},
    {true, 0, "Crash", "Crash, China, Splash cymbals", "49C 55S 52T 57c"},
    {true, 0, "Ride", "Ride Cymbals", "51x 59x 53B"},
    {true, 0, "HighHat", "High Hats", "42x 46O"},
    {true, 1, "Toms", "Tom Toms", "501 482 473 454 435 416"},
    {false, 1, "Tom1", "Tom Tom 1", "50x"},
    {false, 2, "Tom2", "Tom Tom 2", "48x"},
    {false, 4, "Tom3", "Tom Tom 3", "47x"},
    {false, 5, "Tom4", "Tom Tom 4", "45x"},
    {false, 6, "FTom5", "Floor Tom Tom 5", "43x"},
    {false, 7, "FTom6", "Floor Tom Tom 6", "41x"},
    {true, 3, "Snare", "Snare", "38x 40e 37S 56C"},
    {true, 8, "Bass", "Bass Drum", "36x 35x 44f"},
}};

std::array<bool, TabLines::kCount> InitialShown()
{
    std::array<bool, TabLines::kCount> shown{};
    for (int i = 0; i < TabLines::kCount; ++i)
        shown[size_t(i)] = kTabLines[size_t(i)].shownAtStart;
    return shown;
}

std::array<bool, TabLines::kCount> g_shown = InitialShown();

std::vector<TabLines::SPair> ParsePairs(const char* text)
{
    // Each item is two key digits followed by the letter.
    std::vector<TabLines::SPair> pairs;
    for (const char* p = text; *p;) {
        while (*p == ' ')
            ++p;
        if (!*p)
            break;
        const int key = (p[0] - '0') * 10 + (p[1] - '0');
        pairs.push_back({key, p[2]});
        p += 3;
    }
    return pairs;
}
}

namespace Catalogue {

const std::array<SInstrument, kInstrumentCount>& Instruments() { return kInstruments; }

const SInstrument* Find(int key)
{
    if (key < kFirstKey || key > kLastKey)
        return nullptr;
    return &kInstruments[size_t(kLastKey - key)];
}

bool IsInGroup(int key, EDrumGroup group)
{
    const SInstrument* in = Find(key);
    return in && in->group == group;
}

const std::array<SMenuGroup, 6>& MenuGroups() { return kMenuGroups; }

const SInstrument* FindByCommand(int commandId)
{
    for (const SInstrument& in : kInstruments)
        if (in.commandId == commandId)
            return &in;
    return nullptr;
}
}

QString GetInstrumentName(int key)
{
    const SInstrument* in = Catalogue::Find(key);
    return in ? QString::fromLatin1(in->name) : QStringLiteral("*** Unknown ***");
}

int FindInstrumentByName(const QString& name)
{
    for (const SInstrument& in : kInstruments)
        if (name == QLatin1String(in.name))
            return in.key;
    return 0;
}

namespace TabLines {

const std::array<STabLine, kCount>& Table() { return kTabLines; }

const std::vector<SPair>& Pairs(int row)
{
    static const std::array<std::vector<SPair>, kCount> parsed = [] {
        std::array<std::vector<SPair>, kCount> all;
        for (int i = 0; i < kCount; ++i)
            all[size_t(i)] = ParsePairs(kTabLines[size_t(i)].pairs);
        return all;
    }();
    static const std::vector<SPair> none;
    return row >= 0 && row < kCount ? parsed[size_t(row)] : none;
}

bool IsShown(int row) { return row >= 0 && row < kCount && g_shown[size_t(row)]; }

void SetShown(int row, bool shown)
{
    if (row >= 0 && row < kCount)
        g_shown[size_t(row)] = shown;
}

void ResetShown() { g_shown = InitialShown(); }
}

void ApplyTabStaffFormat(bool cymbalsOwnLines, bool tomsOwnLines, bool showPercussion)
{
    g_shown[0] = g_shown[1] = showPercussion;
    g_shown[2] = !cymbalsOwnLines;
    for (int row = 3; row <= 5; ++row)
        g_shown[size_t(row)] = cymbalsOwnLines;
    g_shown[6] = !tomsOwnLines;
    for (int row = 7; row <= 12; ++row)
        g_shown[size_t(row)] = tomsOwnLines;
}

int CountShownTabLines()
{
    int n = 0;
    for (bool shown : g_shown)
        n += shown;
    return n;
}

int NextShownTabLine(int row)
{
    for (int r = std::max(row + 1, 0); r < TabLines::kCount; ++r)
        if (g_shown[size_t(r)])
            return r;
    KADENZO_INTERNAL_PROBLEM(ReportSource::Misc);
    return 0;
}

int ShownIndexOfTabLine(int row)
{
    if (row < 0 || row >= TabLines::kCount) {
        KADENZO_INTERNAL_PROBLEM(ReportSource::Misc);
        return 0;
    }
    int n = 0;
    for (int r = 0; r < row; ++r)
        n += g_shown[size_t(r)];
    return n;
}

int FindTabLine(int key, char* letter)
{
    auto search = [&](bool shown) -> int {
        for (int row = 0; row < TabLines::kCount; ++row) {
            if (g_shown[size_t(row)] != shown)
                continue;
            for (const TabLines::SPair& p : TabLines::Pairs(row)) {
                if (p.key == key) {
                    *letter = p.letter;
                    return row;
                }
            }
        }
        return -1;
    };
    int row = search(true);
    if (row < 0) {
        row = search(false);
        if (row >= 0)
            g_shown[size_t(row)] = true; // the caller redraws with the new shown set
    }
    if (row < 0) {
        *letter = '?';
        return 0;
    }
    return row + 1;
}
