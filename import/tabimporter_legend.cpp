// Legends: lines such as "c = cross-stick", "@ : flam", "o - double stroke" (several may
// share a line) that say what a note character or a label stands for in the whole tab.

#include "tabimporter.h"

#include "importtext.h"

#include <algorithm>
#include <cstring>

using namespace ImportText;
using namespace InstrumentTables;

namespace {
constexpr size_t kMaxSymbol = 3;
// A label spelt out as a word ("Crash = crash", "Pedal = hat w/ foot", "Hi-Hat: closed").
constexpr size_t kMaxLabelSymbol = 8;
// A symbol may be written as it stands in a bar: |-x-|, -x-, (x), 'x'.
constexpr size_t kMaxWrittenSymbol = 7;
// Symbols of several characters are replaced in the staff lines by one of these bytes, which
// no text holds.
constexpr char kFirstPlaceholder = 1;
constexpr char kLastPlaceholder = 8;
// A legend says what a few characters mean; beyond these, the lines are something else (and
// the passes stay linear in the size of the file).
constexpr size_t kMaxLegendEntries = 64;
constexpr size_t kMaxMeaning = 64;
constexpr int kFootHiHat = 44;

bool IsWrapper(char c)
{
    return c == '|' || c == '-' || c == '(' || c == ')' || c == '[' || c == ']' || c == '\'' || c == '"';
}

struct SRawEntry
{
    size_t symbolStart;
    size_t meaningStart;
    std::string_view symbol;
};

// The entries of a legend line: a short symbol, then '=', ':' or a '-' standing between
// blanks, then its meaning up to the next entry.
std::vector<std::pair<std::string, std::string>> ParseLegendLine(std::string_view t)
{
    std::vector<SRawEntry> raw;
    for (size_t j = 0; j < t.size(); ++j) {
        const char c = t[j];
        const bool dash = c == '-' && j > 0 && t[j - 1] == ' ' && j + 1 < t.size() && t[j + 1] == ' ';
        if (c != '=' && c != ':' && !dash)
            continue;
        if (j + 1 < t.size() && (t[j + 1] == '=' || t[j + 1] == ':'))
            continue; // "==", "::": drawing, not a legend
        size_t e = j;
        while (e > 0 && t[e - 1] == ' ')
            --e;
        size_t b = e;
        while (b > 0 && e - b <= std::max(kMaxWrittenSymbol, kMaxLabelSymbol) && t[b - 1] != ' ' && t[b - 1] != ','
               && t[b - 1] != ';' && t[b - 1] != '=' && t[b - 1] != ':')
            --b;
        if (b == e || e - b > std::max(kMaxWrittenSymbol, kMaxLabelSymbol))
            continue;
        std::string_view symbol = t.substr(b, e - b);
        while (symbol.size() > 1 && IsWrapper(symbol.front()))
            symbol.remove_prefix(1);
        while (symbol.size() > 1 && IsWrapper(symbol.back()))
            symbol.remove_suffix(1);
        // A longer symbol is a word of letters: a label named in full.
        const bool word = symbol.size() > kMaxSymbol && symbol.size() <= kMaxLabelSymbol
            && std::all_of(symbol.begin(), symbol.end(), [](char c) { return IsLetter(c) || c == '-'; });
        if (symbol.empty() || (symbol.size() > kMaxSymbol && !word) || symbol.find_first_of("=:") != std::string_view::npos)
            continue;
        if (!raw.empty() && raw.back().meaningStart > b)
            continue; // inside the previous symbol
        // "P1 = pad 1: 808 clap": the number of a word in the meaning before, not a symbol.
        if (c == ':' && !raw.empty() && std::all_of(symbol.begin(), symbol.end(), [](char d) { return IsDigit(d); })) {
            const std::string_view between = Trim(t.substr(raw.back().meaningStart, b - raw.back().meaningStart));
            if (!between.empty() && between.find_first_of(" ,;") == std::string_view::npos && IsLetter(between.back()))
                continue;
        }
        raw.push_back({b, j + 1, symbol});
    }
    std::vector<std::pair<std::string, std::string>> out;
    for (size_t i = 0; i < raw.size(); ++i) {
        const size_t end = i + 1 < raw.size() ? raw[i + 1].symbolStart : t.size();
        std::string_view meaning = t.substr(raw[i].meaningStart, end - raw[i].meaningStart);
        while (!meaning.empty() && (meaning.front() == ' ' || meaning.front() == '-'))
            meaning.remove_prefix(1);
        meaning = meaning.substr(0, kMaxMeaning);
        while (!meaning.empty() && (meaning.back() == ' ' || meaning.back() == ',' || meaning.back() == ';'))
            meaning.remove_suffix(1);
        int letters = 0;
        for (char c : meaning)
            letters += IsLetter(c);
        if (letters < 2)
            continue; // "bpm=124", "1:30": no meaning in words
        out.emplace_back(std::string(raw[i].symbol), std::string(meaning));
    }
    return out;
}

// A legend in a sentence: "I use c for the cross-stick and * for the bell of the ride". A
// symbol of one character standing alone, "for", its meaning up to "and", ',', ';' or '.'.
std::vector<std::pair<std::string, std::string>> ParseProseLegend(std::string_view t)
{
    std::vector<std::pair<std::string, std::string>> out;
    bool says = false;
    for (const char* word : {"use ", "using ", "write ", "means "})
        for (size_t k = t.find(word); k != std::string_view::npos && !says; k = t.find(word, k + 1))
            says = k == 0 || !IsLetter(t[k - 1]);
    if (!says)
        return out;
    for (size_t at = t.find(" for "); at != std::string_view::npos; at = t.find(" for ", at + 1)) {
        if (at < 2 || t[at - 2] != ' ' || IsDigit(t[at - 1]) || t[at - 1] == ' ')
            continue;
        std::string_view meaning = t.substr(at + 5);
        if (meaning.substr(0, 4) == "the ")
            meaning.remove_prefix(4);
        size_t end = meaning.find_first_of(",;.");
        const size_t conj = meaning.find(" and ");
        end = std::min(end, conj);
        meaning = Trim(meaning.substr(0, std::min(end, meaning.size())).substr(0, kMaxMeaning));
        int letters = 0;
        for (char c : meaning)
            letters += IsLetter(c);
        if (letters >= 3)
            out.emplace_back(std::string(1, t[at - 1]), std::string(meaning));
    }
    return out;
}

// Whether the word before column `at` says "not" ("accent (not rimshot)", "no flam").
bool Negated(std::string_view text, size_t at)
{
    size_t e = at;
    while (e > 0 && !IsLetter(text[e - 1]))
        --e;
    size_t b = e;
    while (b > 0 && IsLetter(text[b - 1]))
        --b;
    const std::string_view word = text.substr(b, e - b);
    for (std::string_view no : {"not", "no", "non", "without"})
        if (word.size() == no.size() && std::equal(word.begin(), word.end(), no.begin(), [](char a, char c) { return ToLower(a) == c; }))
            return true;
    return false;
}

// Whether the phrase stands in text as whole words; a blank in the phrase also matches a '-'
// or nothing ("cross stick", "cross-stick", "crossstick").
bool HasPhrase(std::string_view text, std::string_view phrase)
{
    // Phrases are lower case: a place can only match where the byte, its case bit set, is the
    // phrase's first letter. Most bytes fail that one test.
    const char first = phrase.empty() ? 0 : phrase[0];
    const bool letter = first >= 'a' && first <= 'z';
    for (size_t i = 0; i < text.size(); ++i) {
        if (letter && char(text[i] | 0x20) != first)
            continue;
        if (i > 0 && IsLetter(text[i - 1]))
            continue;
        size_t t = i;
        size_t p = 0;
        while (p < phrase.size() && t <= text.size()) {
            if (phrase[p] == ' ') {
                if (t < text.size() && (text[t] == ' ' || text[t] == '-'))
                    ++t;
                ++p;
                continue;
            }
            if (t >= text.size() || ToLower(text[t]) != phrase[p])
                break;
            ++t;
            ++p;
        }
        if (p == phrase.size() && (t >= text.size() || !IsLetter(text[t])) && !Negated(text, i))
            return true;
    }
    return false;
}

// Cheap test before the parse: a '=', a ':' or a " - " somewhere.
bool MayBeLegend(std::string_view t)
{
    if (std::memchr(t.data(), '=', t.size()) || std::memchr(t.data(), ':', t.size()))
        return true;
    for (int at = FindByte(t, 0, '-'); at >= 0; at = FindByte(t, at + 1, '-'))
        if (at > 0 && t[size_t(at - 1)] == ' ' && size_t(at + 1) < t.size() && t[size_t(at + 1)] == ' ')
            return true;
    return false;
}

// The part of the kit a key belongs to: 0 hi-hat, 1 other cymbals, 2 snare, 3 toms, 4 bass
// drum, 5 the rest.
int KitPart(int key)
{
    switch (key) {
    case 42: case 44: case 46: return 0;
    case 49: case 51: case 52: case 53: case 55: case 57: case 59: return 1;
    case 37: case 38: case 40: return 2;
    case 41: case 43: case 45: case 47: case 48: case 50: return 3;
    case 35: case 36: return 4;
    default: return 5;
    }
}

// A line that begins "snares:", "cymbals:", "bass:" ... speaks of those lines only: the
// kit parts it names as bits of KitPart, or -1 for every line.
int LineParts(std::string_view t)
{
    struct SPart
    {
        const char* word;
        int parts;
    };
    static const SPart kParts[] = {
        {"cymbals", 3}, {"cymbal", 3}, {"hi-hat", 1}, {"hihat", 1}, {"hi hat", 1}, {"hats", 1}, {"hat", 1},
        {"snares", 4}, {"snare", 4}, {"toms", 8}, {"tom", 8}, {"bass", 16}, {"kick", 16},
        {"percussion", 32},
    };
    t = Trim(t);
    const size_t colon = t.find(':');
    if (colon == std::string_view::npos || colon > 16)
        return -1;
    const std::string_view word = Trim(t.substr(0, colon));
    for (const SPart& p : kParts)
        if (EqualsNoCase(word, p.word))
            return p.parts;
    return -1;
}

// "x on the snare line = rim click": a character's meaning on one kind of line. The parts
// of the kit as LineParts gives them, or -1.
int CharOnLineLegend(std::string_view t, std::string* symbol, std::string* meaning)
{
    const size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return -1;
    std::string_view left = Trim(t.substr(0, eq));
    if (left.size() < 8 || IsBlank(left[0]) || left[1] != ' ')
        return -1;
    std::string_view rest = Trim(left.substr(1));
    if (rest.size() < 3 || !EqualsNoCase(rest.substr(0, 3), "on "))
        return -1;
    rest = Trim(rest.substr(3));
    if (rest.size() >= 4 && EqualsNoCase(rest.substr(0, 4), "the "))
        rest = Trim(rest.substr(4));
    if (rest.size() < 6 || !EqualsNoCase(rest.substr(rest.size() - 5), " line"))
        return -1;
    const std::string word = std::string(Trim(rest.substr(0, rest.size() - 5))) + ":";
    const int parts = LineParts(word);
    if (parts < 0)
        return -1;
    *symbol = std::string(1, left[0]);
    *meaning = std::string(Trim(t.substr(eq + 1)));
    return parts;
}


// The meaning rows' phrases with their letters, worked out once: a phrase can only stand in
// a text that holds all of its letters, which rules out most rows without a search.
struct SRowPhrase
{
    std::string_view word;
    uint32_t letters;
};
const std::vector<SRowPhrase>& RowPhrases()
{
    static const std::vector<SRowPhrase> phrases = [] {
        int count = 0;
        const SMeaningRow* rows = MeaningRows(&count);
        std::vector<SRowPhrase> v;
        for (int r = 0; r < count; ++r)
            v.push_back({rows[r].word, LettersOf(rows[r].word)});
        return v;
    }();
    return phrases;
}

// HasPhrase for meaning row r, given the text's letters.
bool HasRowPhrase(std::string_view text, uint32_t textLetters, int r)
{
    const SRowPhrase& row = RowPhrases()[size_t(r)];
    return (row.letters & textLetters) == row.letters && HasPhrase(text, row.word);
}

// Whether the meaning says anything the importer understands.
bool Understood(std::string_view meaning)
{
    int count = 0;
    MeaningRows(&count);
    const uint32_t letters = LettersOf(meaning);
    for (int r = 0; r < count; ++r)
        if (HasRowPhrase(meaning, letters, r))
            return true;
    return false;
}

bool IsHiHat(int key) { return key == 42 || key == 44 || key == 46; }
bool IsSnare(int key) { return key == 37 || key == 38 || key == 40; }
bool IsBass(int key) { return key == 35 || key == 36; }
bool IsRide(int key) { return key == 51 || key == 53 || key == 59; }
}

void CTabImporter::ReadLegends()
{
    m_legend.clear();
    m_legendEdits.clear();
    for (int i = 0; i < int(m_lines.size()); ++i) {
        const CImportLine& line = m_lines[size_t(i)];
        if (line.m_type != LineType::Unknown)
            continue;
        if (line.m_text.find(" for ") != std::string_view::npos)
            for (auto& [symbol, meaning] : ParseProseLegend(line.m_text))
                if (m_legend.size() < kMaxLegendEntries && Understood(meaning))
                    m_legend.push_back({std::move(symbol), std::move(meaning), i, 0, -1});
        if (!MayBeLegend(line.m_text))
            continue;
        std::string onSymbol, onMeaning;
        if (const int onParts = CharOnLineLegend(line.m_text, &onSymbol, &onMeaning); onParts >= 0) {
            m_legend.push_back({std::move(onSymbol), std::move(onMeaning), i, 0, onParts});
            continue;
        }
        int parts = LineParts(line.m_text);
        // "... HF line: x = foot chick, o = foot splash" after a sentence: that line's kind.
        size_t on = std::string_view::npos;
        for (size_t k = 0; parts < 0 && k + 6 <= line.m_text.size() && on == std::string_view::npos; ++k)
            if (EqualsNoCase(std::string_view(line.m_text).substr(k, 6), " line:"))
                on = k;
        if (on != std::string_view::npos) {
            const std::string_view before = Trim(std::string_view(line.m_text).substr(0, on));
            const size_t space = before.find_last_of(" \t");
            const std::string_view word = space == std::string_view::npos ? before : before.substr(space + 1);
            parts = LineParts(std::string(word) + ":");
            if (const SLabelAlias* alias = parts < 0 ? FindAlias(word) : nullptr; alias && alias->instrument)
                parts = 1 << KitPart(alias->instrument);
        }
        for (auto& [symbol, meaning] : ParseLegendLine(line.m_text))
            if (m_legend.size() < kMaxLegendEntries)
                m_legend.push_back({std::move(symbol), std::move(meaning), i, 0, parts});
        if (m_legend.size() >= kMaxLegendEntries)
            break;
    }
    // A symbol of several characters written in the bars is one note: it becomes a single
    // character followed by ticks, so that the note stands where the symbol begins.
    char next = kFirstPlaceholder;
    for (size_t li = 0; li < m_legend.size(); ++li) {
        SLegendEntry& entry = m_legend[li];
        if (entry.symbol.size() < 2 || entry.symbol.size() > kMaxSymbol || next > kLastPlaceholder || !Understood(entry.meaning))
            continue; // "tt = 8th note triplet" is about the count line; "Crash" a label
        for (const SLegendEntry& other : m_legend)
            if (&other != &entry && other.symbol == entry.symbol && other.noteChar)
                entry.noteChar = other.noteChar;
        bool found = entry.noteChar != 0;
        const std::string_view symbol = entry.symbol;
        for (size_t l = 0; l < m_lines.size(); ++l) {
            CImportLine& line = m_lines[l];
            if (line.m_type != LineType::StaffLine)
                continue;
            const size_t from = size_t(std::max(line.m_firstBarColumn + line.m_columnShift, 0));
            for (size_t at = line.m_text.find(symbol, from); at != std::string::npos;
                 at = line.m_text.find(symbol, at + symbol.size())) {
                if (!found) {
                    entry.noteChar = next++;
                    found = true;
                }
                m_legendEdits.push_back({int(l), int(at), int(li)});
                char* text = line.m_text.Edit(&m_arena);
                text[at] = entry.noteChar;
                for (size_t k = 1; k < symbol.size(); ++k)
                    text[at + k] = m_tickChar;
            }
        }
    }
}

void CTabImporter::ApplyLegends()
{
    m_legendNamesD = false;
    int rowCount = 0;
    const SMeaningRow* rows = MeaningRows(&rowCount);
    // Lines a note key block has taken keep its reading.
    std::vector<uint8_t> open(m_legend.size());
    for (size_t i = 0; i < m_legend.size(); ++i)
        open[i] = m_lines[size_t(m_legend[i].line)].m_type == LineType::Unknown;
    for (size_t li = 0; li < m_legend.size(); ++li) {
        const SLegendEntry& legend = m_legend[li];
        CImportLine& line = m_lines[size_t(legend.line)];
        if (!open[li])
            continue;
        // What the meaning says, by kind: the first row of each kind that is found.
        int said[MeaningSame + 1];
        bool saidAny[MeaningSame + 1] = {};
        bool instruments = false; // more than one instrument named
        std::vector<std::string_view> named; // their phrases ("ride bell" names no "ride" too)
        const uint32_t meaningLetters = LettersOf(legend.meaning);
        for (int r = 0; r < rowCount; ++r) {
            const SMeaningRow& row = rows[r];
            if (!HasRowPhrase(legend.meaning, meaningLetters, r))
                continue;
            if (row.kind == MeaningInstrument) {
                const std::string_view word = row.word;
                const bool within = std::any_of(named.begin(), named.end(), [&](std::string_view n) { return n.find(word) != std::string_view::npos; });
                if (!within && !named.empty() && row.value != said[MeaningInstrument])
                    instruments = true;
                named.push_back(word);
            }
            if (saidAny[row.kind])
                continue;
            saidAny[row.kind] = true;
            said[row.kind] = row.value;
        }
        // "the bell of the ride": the ride's bell.
        if (saidAny[MeaningInstrument] && said[MeaningInstrument] == 51 && saidAny[MeaningRide] && said[MeaningRide] == 53)
            said[MeaningInstrument] = 53;
        // "x = closed hat / ride / crash" lists the lines the character is written on: each
        // line keeps its own instrument.
        if (instruments)
            saidAny[MeaningInstrument] = false;
        // "R = right hand on the hats" names a line's instrument in words of its own.
        const bool namesLabel = std::any_of(m_labels.begin(), m_labels.begin() + m_labelCount,
                                            [&](const CLabelRecord& rec) { return legend.symbol == rec.label; });
        const bool hatWords = namesLabel
            && (HasPhrase(legend.meaning, "hi hat") || HasPhrase(legend.meaning, "hihat") || HasPhrase(legend.meaning, "hats")
                || HasPhrase(legend.meaning, "hat"));
        if (std::none_of(std::begin(saidAny), std::end(saidAny), [](bool b) { return b; }) && !hatWords)
            continue; // nothing we understand: the built-in meaning stays
        bool applied = false;
        auto apply = [&](CNoteKeyEntry& entry) {
            int instrument = entry.instrument;
            if (saidAny[MeaningInstrument])
                instrument = said[MeaningInstrument];
            else if (saidAny[MeaningHiHat] && IsHiHat(instrument)
                     && !(instrument == kFootHiHat && said[MeaningHiHat] != kFootHiHat))
                instrument = said[MeaningHiHat]; // the foot's line stays the foot: "x = closed" is its stroke
            else if (saidAny[MeaningSnare] && IsSnare(instrument))
                instrument = said[MeaningSnare];
            else if (saidAny[MeaningBass] && IsBass(instrument)
                     && !(saidAny[MeaningHiHat] && said[MeaningHiHat] != kFootHiHat))
                instrument = said[MeaningBass]; // the hat's foot; an open or closed hat is played by hand
            else if (saidAny[MeaningRide] && IsRide(instrument))
                instrument = said[MeaningRide];
            // A new sound is played plain unless the legend says how.
            if (saidAny[MeaningDynamic])
                entry.dynamic = uint8_t(said[MeaningDynamic]);
            else if (instrument != entry.instrument || saidAny[MeaningSame])
                entry.dynamic = 0;
            if (saidAny[MeaningSame] && IsChokeable(instrument))
                entry.dynamic = uint8_t(entry.dynamic | said[MeaningSame]);
            entry.instrument = uint8_t(instrument);
            entry.kind = 1;
            const size_t n = std::min(legend.meaning.size(), size_t(ImportLimits::kMaxDescriptionChars));
            std::memcpy(entry.description, legend.meaning.data(), n);
            entry.description[n] = 0;
            applied = true;
        };
        // A symbol that is a label names the instrument of that whole line.
        bool isLabel = false;
        for (int i = 0; i < m_labelCount; ++i) {
            CLabelRecord& rec = m_labels[size_t(i)];
            if (legend.symbol != rec.label)
                continue;
            isLabel = true;
            // A whole line names one instrument, or the hat played with the foot
            // ("HH - Hi-Hat w/foot"); open and closed are its strokes, not the line.
            const bool foot = saidAny[MeaningHiHat] && said[MeaningHiHat] == 44;
            // "R = right hand on the hats", "R = hi-hat": the line is the hi-hat, its 'o' open.
            if (!saidAny[MeaningInstrument] && !foot && hatWords && rec.EntryCount() > 0 && !IsHiHat(rec.entries[0].instrument)) {
                for (int e = 0; e < rec.EntryCount(); ++e) {
                    CNoteKeyEntry& entry = rec.entries[size_t(e)];
                    const char c = entry.noteChar;
                    entry.instrument = uint8_t(c == 'o' || c == 'O' ? 46 : 42);
                    entry.kind = 1;
                }
                m_labelGuessed[size_t(i)] = false;
                applied = true;
                continue;
            }
            if (!saidAny[MeaningInstrument] && !foot)
                continue;
            // "LF = left foot" over a second bass drum spells the label out.
            if (foot && !saidAny[MeaningInstrument] && rec.EntryCount() > 0 && IsBass(rec.entries[0].instrument)
                && HasPhrase(legend.meaning, "left foot"))
                continue;
            for (int e = 0; e < rec.EntryCount(); ++e)
                apply(rec.entries[size_t(e)]);
            m_labelGuessed[size_t(i)] = false;
        }
        // An instrument named for a character goes to the lines of its kind ("x = crash" is
        // the x of the cymbal lines, not of the hi-hat); on no such line, to every line.
        const char noteChar = legend.noteChar ? legend.noteChar : legend.symbol.size() == 1 ? legend.symbol[0] : 0;
        if (!isLabel && noteChar) {
            const int kind = saidAny[MeaningInstrument] ? KitPart(said[MeaningInstrument]) : -1;
            for (int pass = 0; pass < 2 && !applied; ++pass) {
                for (int i = 0; i < m_labelCount; ++i) {
                    CLabelRecord& rec = m_labels[size_t(i)];
                    for (int e = 0; e < rec.EntryCount(); ++e) {
                        CNoteKeyEntry& entry = rec.entries[size_t(e)];
                        if (entry.noteChar != noteChar)
                            continue;
                        if (legend.parts >= 0 && !(legend.parts & (1 << KitPart(entry.instrument))))
                            continue;
                        if (pass == 1 || kind < 0 || KitPart(entry.instrument) == kind)
                            apply(entry);
                    }
                }
            }
        }
        if (applied) {
            line.m_type = LineType::NoteKey;
            if (noteChar == 'd' && !isLabel)
                m_legendNamesD = true;
        }
    }
}

void CTabImporter::RestoreLegendSymbols()
{
    for (const SLegendEdit& edit : m_legendEdits) {
        const std::string& symbol = m_legend[size_t(edit.entry)].symbol;
        m_lines[size_t(edit.line)].m_text.Replace(size_t(edit.column), symbol.size(), symbol, &m_arena);
    }
    m_legendEdits.clear();
}
