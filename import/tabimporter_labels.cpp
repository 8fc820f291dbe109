// Instrument labels: the label records, the note key lines and the recognition of an
// instrument and a dynamic for every (label, note character) pair.

#include "tabimporter.h"

#include "importtext.h"
#include "catalogue.h"
#include "report.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>

using namespace ImportText;
using namespace InstrumentTables;

namespace {
bool IsWordChar(char c)
{
    return IsAlnum(c) || c == '-' || c == '_' || c == '\'';
}

// The next word of a key header from *pos: a run of word characters; a word followed by a
// space and a number takes the number (Tom 1 is Tom1). False at the end of the text.
bool NextHeaderWord(std::string_view text, size_t* pos, std::string* word)
{
    size_t i = *pos;
    while (i < text.size() && !IsWordChar(text[i]))
        ++i;
    if (i >= text.size())
        return false;
    size_t j = i;
    while (j < text.size() && IsWordChar(text[j]))
        ++j;
    word->assign(text.substr(i, j - i));
    if (j + 1 < text.size() && text[j] == ' ' && IsDigit(text[j + 1])) {
        size_t k = j + 1;
        while (k < text.size() && IsDigit(text[k]))
            ++k;
        if (k >= text.size() || !IsWordChar(text[k])) {
            word->append(text.substr(j + 1, k - j - 1));
            j = k;
        }
    }
    *pos = j;
    return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

bool IsKeySeparator(char c)
{
    return c == ' ' || c == ',' || c == '=' || c == ':' || c == ';' || c == '(' || c == ')';
}

void StripQuotes(std::string& s)
{
    while (!s.empty() && (s.back() == '"' || s.back() == '\\'))
        s.pop_back();
}

size_t FindWordSeparator(std::string_view s)
{
    return s.find_first_of(" /,");
}

// Splits a note key description into at most three words.
int DescriptionWords(const char* description, std::string words[3])
{
    std::string d(description);
    StripQuotes(d);
    if (d.empty())
        return 0;
    const size_t sep = FindWordSeparator(d);
    if (sep == std::string::npos) {
        words[0] = d;
        return 1;
    }
    std::string first = d.substr(0, sep);
    StripQuotes(first);
    std::string rest = d.substr(sep + 1);
    rest.erase(0, std::min(rest.size(), rest.find_first_not_of(' ')));
    if (!rest.empty() && IsDigit(rest[0])) {
        words[0] = first + rest;
        return 1;
    }
    const size_t sep2 = FindWordSeparator(rest);
    std::string second = sep2 == std::string::npos ? rest : rest.substr(0, sep2);
    std::string third = sep2 == std::string::npos ? std::string() : rest.substr(sep2 + 1);
    third.erase(0, std::min(third.size(), third.find_first_not_of(' ')));
    // Empty words would match every keyword; they are left out.
    int n = 0;
    for (std::string* w : {&first, &second, &third})
        if (!w->empty())
            words[n++] = *w;
    return n;
}

int DynamicRule(char c, bool upperCaseAccents)
{
    switch (c) {
    case 'A': return Dynamic::Accent;
    case 'F':
    case 'f': return Dynamic::Flam;
    case 'G':
    case 'g': return Dynamic::Ghost;
    case 'O':
    case 'X': return upperCaseAccents ? Dynamic::Accent : Dynamic::Normal;
    default: return Dynamic::Normal;
    }
}

int TomByNumber(int n, int fallback)
{
    switch (n) {
    case 1: return 50;
    case 2: return 48;
    case 3: return 47;
    case 4: return 45;
    case 5: return 43;
    case 6:
    case 7:
    case 8: return 41;
    default: return fallback;
    }
}

// A label ends at its first blank, unless the next word finishes an instrument's name
// ("Hi Tom", "Floor Tom", "Bass Drum", "Tom 2").
std::string_view LabelWords(std::string_view label)
{
    static const char* const kTail[] = {"tom", "toms", "hat", "drum", "cymbal", "cym", "bell", "block", "stick", "foot",
                                        "ft", "pedal", "ped", "f"};
    size_t end = label.find(' ');
    while (end != std::string_view::npos) {
        size_t next = end;
        while (next < label.size() && label[next] == ' ')
            ++next;
        if (next - end > 1)
            break; // two blanks part a label from what follows
        size_t stop = next;
        while (stop < label.size() && label[stop] != ' ')
            ++stop;
        const std::string_view word = label.substr(next, stop - next);
        bool tail = word.size() == 1 && IsDigit(word[0]);
        for (const char* t : kTail)
            tail = tail || EqualsNoCase(word, t);
        if (!tail)
            break;
        end = stop < label.size() ? stop : std::string_view::npos;
    }
    return label.substr(0, end);
}
} // namespace

// The label as the alias table spells it: lower case, without '.', '-', '_' and blanks.
std::string InstrumentTables::LabelKey(std::string_view label)
{
    std::string key;
    for (char c : label)
        if (c != '.' && c != '-' && c != '_' && c != ' ' && c != '\'')
            key.push_back(ToLower(c));
    return key;
}

const SLabelAlias* InstrumentTables::FindAlias(std::string_view label)
{
    // sT is the small tom; ST and St stay with the snare.
    static const SLabelAlias smallTom = {"st", AliasTom, 50};
    if (label == "sT" || label == "st")
        return &smallTom;
    const std::string key = LabelKey(label);
    if (key.empty())
        return nullptr;
    // Every note character of every label asks: the table is indexed once, the first entry
    // of a key winning as in a scan.
    static const std::unordered_map<std::string_view, const SLabelAlias*> byKey = [] {
        std::unordered_map<std::string_view, const SLabelAlias*> map;
        int count = 0;
        const SLabelAlias* aliases = LabelAliases(&count);
        for (int i = 0; i < count; ++i)
            map.emplace(aliases[i].key, &aliases[i]);
        return map;
    }();
    const auto it = byKey.find(key);
    return it != byKey.end() ? it->second : nullptr;
}

namespace {

// A note character on a line that plays the cymbal `base`: the hi-hat line keeps the letters
// drummers write on it (o open, f and s the foot, c a crash), any other cymbal plays itself,
// choked ('#') or not, unless a letter names another one.
int CymbalFor(int base, char c)
{
    const char lc = ToLower(c);
    if (base == 42) {
        if (lc == 's')
            return 44;
        int count = 0;
        const SCharInstrument* chars = CymbalChars(&count);
        for (int i = 0; i < count; ++i)
            if (chars[i].c == lc)
                return chars[i].instrument;
        return 42;
    }
    if (base == 49 || base == 57 || base == 51) {
        switch (lc) {
        case 'b': return 53;
        case 's': return 55;
        case 't': return 52;
        case 'c': return base == 51 ? 49 : base;
        case 'r': return 51;
        default: return base;
        }
    }
    return base;
}

// The first row whose keywords match one of the words (the last row, without keywords,
// catches the rest).
const SDescriptionRow& MatchRow(const SDescriptionRow* rows, int count, const std::string* words, int n)
{
    for (int i = 0; i < count - 1; ++i)
        if (CTabImporter::MatchAny(words, n, rows[i].words))
            return rows[i];
    return rows[count - 1];
}
}

bool CTabImporter::MatchWord(std::string_view word, const char* keyword)
{
    const size_t len = std::strlen(keyword);
    if (word.size() > len)
        return false;
    for (size_t i = 0; i < word.size(); ++i) {
        const char w = word[i];
        const char k = keyword[i];
        if (w == ' ' || w == '-') {
            if (k != ' ' && k != '-')
                return false;
        } else if (ToLower(w) != ToLower(k)) {
            return false;
        }
    }
    return true;
}

bool CTabImporter::MatchAny(const std::string* words, int n, const SKeywords& keywords)
{
    for (int w = 0; w < n && w < 3; ++w)
        for (const char* k : keywords.k)
            if (k && MatchWord(words[w], k))
                return true;
    return false;
}

void CTabImporter::BuildLabelRecords(int index)
{
    CImportLine& line = m_lines[size_t(index)];
    if (line.m_type != LineType::StaffLine)
        return;
    const int labelEnd = std::min(line.m_firstBarColumn + line.m_columnShift, line.Length());
    std::string_view label;
    if (labelEnd > line.m_labelStart)
        label = std::string_view(line.m_text).substr(size_t(line.m_labelStart), size_t(labelEnd - line.m_labelStart));
    while (!label.empty() && IsBlank(label.front()))
        label.remove_prefix(1);
    while (!label.empty() && (label.back() == ' ' || label.back() == ':' || label.back() == '='))
        label.remove_suffix(1);
    label = LabelWords(label);
    label = label.substr(0, ImportLimits::kMaxLabelChars);
    if (label.empty()) {
        // Bars of ticks alone without a label stay in the staff: they are rests. Anything
        // else unlabelled is no staff line.
        const int p = FirstNonBlank(line.m_text, 0);
        if (p < 0 || !IsBareRestLine(line.m_text, p, m_barChar, m_tickChar))
            line.m_type = LineType::Unknown;
        return;
    }

    int slot = -1;
    for (int i = 0; i < m_labelCount; ++i) {
        if (m_labels[size_t(i)].label[0] != label[0])
            continue; // differs at once: no need to measure the stored label
        if (label == m_labels[size_t(i)].label) {
            slot = i;
            break;
        }
    }
    if (slot < 0) {
        if (m_labelCount >= ImportLimits::kMaxLabels) {
            KADENZO_INTERNAL_PROBLEM(ReportSource::Import);
            return;
        }
        slot = m_labelCount++;
        m_labels.emplace_back();
        CLabelRecord& rec = m_labels[size_t(slot)];
        std::memcpy(rec.label, label.data(), label.size());
        rec.label[label.size()] = 0;
    }
    line.m_labelIndex = slot;

    CLabelRecord& rec = m_labels[size_t(slot)];
    int entries = rec.EntryCount();
    std::array<uint8_t, 256> pass{}; // by byte: 2 ends the bar, 1 is passed over
    pass[uint8_t(' ')] = pass[uint8_t('_')] = pass[uint8_t(m_tickChar)] = 1;
    for (int e = 0; e < entries; ++e)
        pass[uint8_t(rec.entries[size_t(e)].noteChar)] = 1;
    pass[uint8_t(m_barChar)] = 2;
    const auto* text = reinterpret_cast<const unsigned char*>(line.m_text.data());
    bool triplet = false;
    for (int k = 0; k < line.m_barCount; ++k) {
        if ((line.BarFlags()[size_t(k)] & BarFlag::KindMask) != BarFlag::KindWritten)
            continue;
        const int end = std::min(line.BarEnd().empty() ? line.Length() : line.BarEnd()[size_t(k)], line.Length());
        for (int col = line.BarColumn()[size_t(k)];; ++col) {
            col = SkipMarked(text, col, end, pass.data());
            if (col >= end || pass[text[col]] == 2)
                break;
            const uint8_t c = text[col];
            if (m_timeMode == 1 && (char(c) == m_timeKey[0].symbol || MeterTokenValue(line, col, &triplet) > 0))
                continue; // a length under a meter line, no note
            pass[c] = 1; // listed from here on: each character once per label
            if (entries >= ImportLimits::kMaxNoteChars) {
                KADENZO_INTERNAL_PROBLEM(ReportSource::Import);
                return;
            }
            rec.entries[size_t(entries++)].noteChar = char(c);
        }
    }
}

bool CTabImporter::IsKeyHeader(const CImportLine& line, std::vector<int>* labels)
{
    labels->clear();
    size_t pos = 0;
    bool firstWord = true;
    while (NextHeaderWord(line.m_text, &pos, &m_keyWord)) {
        const std::string& word = m_keyWord;
        const bool plural = word.size() > 1 && ToLower(word.back()) == 's' && !EqualsNoCase(word, "bass");
        std::string_view stem = word;
        if (plural)
            while (!stem.empty() && ToLower(stem.back()) == 's')
                stem.remove_suffix(1);
        if (plural && stem.empty())
            continue;
        bool namedAny = false;
        for (int i = 0; i < m_labelCount; ++i) {
            const std::string_view label(m_labels[size_t(i)].label);
            if (!(plural ? StartsWithNoCase(label, stem) : EqualsNoCase(label, word)))
                continue;
            namedAny = true;
            if (std::find(labels->begin(), labels->end(), i) != labels->end())
                continue;
            if (int(labels->size()) >= ImportLimits::kMaxKeyHeaderLabels) {
                KADENZO_INTERNAL_PROBLEM(ReportSource::Import);
                labels->clear();
                return false;
            }
            labels->push_back(i);
        }
        if (firstWord && !namedAny)
            return false;
        firstWord = false;
    }
    return !labels->empty();
}

int CTabImporter::ReadKeyEntries(const CImportLine& line)
{
    const std::string_view t = line.m_text;
    int found = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        const char c = t[i];
        if (IsKeySeparator(c))
            continue;
        const bool alone = (i == 0 || IsKeySeparator(t[i - 1])) && (i + 1 >= t.size() || IsKeySeparator(t[i + 1]));
        if (!alone)
            continue;
        // The description: from the next word up to the next ',' or '=' or the line end.
        size_t d = i + 1;
        while (d < t.size() && IsKeySeparator(t[d]))
            ++d;
        size_t e = d;
        const size_t limit = std::min(t.size(), d + ImportLimits::kMaxDescriptionScan);
        while (e < limit && t[e] != ',' && t[e] != '=')
            ++e;
        // Up to '=' the text ends with the next entry's symbol ("closed hat   o = open hat").
        if (e < t.size() && t[e] == '=') {
            size_t k = e;
            while (k > d && t[k - 1] == ' ')
                --k;
            size_t w = k;
            while (w > d && t[w - 1] != ' ' && t[w - 1] != ',')
                --w;
            if (w > d && k - w <= 3)
                e = w;
        }
        std::string_view desc = Trim(std::string_view(t).substr(d, e - d));
        desc = desc.substr(0, ImportLimits::kMaxDescriptionChars);
        for (int label : m_keyLabels) {
            CLabelRecord& rec = m_labels[size_t(label)];
            const int n = rec.EntryCount();
            for (int k = 0; k < n; ++k) {
                CNoteKeyEntry& entry = rec.entries[size_t(k)];
                if (entry.noteChar != c)
                    continue;
                std::memcpy(entry.description, desc.data(), desc.size());
                entry.description[desc.size()] = 0;
                ++found;
            }
        }
    }
    return found;
}

void CTabImporter::ParseNoteKey(int index)
{
    CImportLine& line = m_lines[size_t(index)];
    auto endBlock = [this]() {
        if (m_keyState == 3 && !m_keyHadEntries && m_keyLine >= 0)
            m_lines[size_t(m_keyLine)].m_type = LineType::Unknown;
        m_keyState = 0;
    };
    if (line.m_type != LineType::Unknown && line.m_type != LineType::Blank) {
        endBlock();
        return;
    }
    if (line.m_type == LineType::Blank) {
        endBlock();
        return;
    }
    if (m_labelCount == 0)
        return;
    std::vector<int>& labels = m_keyHeaderLabels;
    const bool header = IsKeyHeader(line, &labels);
    if (m_keyState == 0) {
        if (!header)
            return;
        line.m_type = LineType::NoteKey;
        m_keyState = 3;
        m_keyLine = index;
        m_keyLabels = labels;
        m_keyHadEntries = ReadKeyEntries(line) > 0;
        return;
    }
    if (header && labels != m_keyLabels) {
        endBlock();
        line.m_type = LineType::NoteKey;
        m_keyState = 3;
        m_keyLine = index;
        m_keyLabels = labels;
        m_keyHadEntries = ReadKeyEntries(line) > 0;
        return;
    }
    if (ReadKeyEntries(line) > 0) {
        line.m_type = LineType::NoteKey;
        m_keyHadEntries = true;
    } else if (index != m_keyLine) {
        endBlock();
    }
}

bool CTabImporter::RecognizeInstrument(CLabelRecord& record, int entryIndex)
{
    CNoteKeyEntry& entry = record.entries[size_t(entryIndex)];
    const std::string_view label(record.label);
    char c = entry.noteChar;
    std::string words[3];
    const int n = DescriptionWords(entry.description, words);
    int dynamic = Dynamic::Normal;

    EFamily family = Fixed;
    int fixed = -1;
    bool numberedTom = false;
    int rowCount = 0;
    const SLabelRow* rows = LabelRows(&rowCount);
    bool matched = false;
    bool footLabel = false; // the hat's foot: "closed" and "open" say nothing new on its line
    int aliasCymbal = 0;    // the cymbal the label names, when it names one
    int aliasTom = 0;       // the tom the label names, when it names one
    const size_t slot = size_t(&record - m_labels.data());
    if (const SLabelAlias* alias = FindAlias(label)) {
        matched = true;
        switch (alias->kind) {
        case AliasCymbal:
            if (n == 0) {
                if (m_cymbalOIsHit && (c == 'o' || c == 'O'))
                    c = c == 'o' ? 'x' : 'X';
                entry.instrument = uint8_t(CymbalFor(alias->instrument, c));
                // A letter that names another sound is plain; otherwise capitals are accents.
                const bool named = entry.instrument != alias->instrument;
                int d = Dynamic::Normal;
                if (c == 'g')
                    d = Dynamic::Ghost;
                else if (!named && c >= 'A' && c <= 'Z' && m_upperCaseAccents)
                    d = Dynamic::Accent;
                entry.dynamic = uint8_t(d);
                entry.kind = 2;
                if (entry.instrument == 49 || entry.instrument == 57)
                    ++(d == Dynamic::Accent ? m_accentedCrashes : m_plainCrashes);
                return false;
            }
            family = Cymbal;
            footLabel = alias->instrument == 44;
            aliasCymbal = alias->instrument;
            break;
        case AliasTom:
            aliasTom = alias->instrument;
            if (alias->instrument && n == 0) {
                entry.instrument = uint8_t(alias->instrument);
                entry.dynamic = uint8_t(DynamicRule(c, m_upperCaseAccents));
                entry.kind = 2;
                return false;
            }
            family = Tom;
            break;
        case AliasSnare: family = Snare; break;
        case AliasBass: family = Bass; break;
        case AliasFixed:
            entry.instrument = uint8_t(alias->instrument);
            entry.dynamic = 0;
            entry.kind = 1;
            return false;
        }
    }
    for (int i = 0; i < rowCount && !matched; ++i) {
        for (const char* k : rows[i].words.k) {
            if (k && MatchWord(label, k)) {
                family = rows[i].family;
                fixed = rows[i].instrument;
                numberedTom = rows[i].dynamicRule;
                matched = true;
                break;
            }
        }
    }
    if (!matched) {
        m_labelGuessed[slot] = true; // by its first letter, or not at all
        switch (label.empty() ? 0 : ToLower(label[0])) {
        case 'b':
        case 'k': family = Bass; break;
        case 'c':
        case 'h':
        case 'r': family = Cymbal; break;
        case 'f':
        case 'o':
        case 't': family = Tom; break;
        case 'p': family = Percussion; break;
        case 's': family = Snare; break;
        default:
            entry.instrument = kUnknownLabelInstrument;
            entry.dynamic = 0;
            entry.kind = 2;
            return true;
        }
    }

    if (family == Fixed) {
        entry.instrument = uint8_t(fixed);
        if (numberedTom) {
            entry.dynamic = uint8_t(DynamicRule(c, m_upperCaseAccents));
            return true;
        }
        entry.dynamic = 0;
        entry.kind = 1;
        return false;
    }

    int instrument = 0;
    int kind = 2;
    bool fallback = false; // the description names nothing the table knows ("hit")
    auto fromRows = [&](const SDescriptionRow* table, int count) {
        const SDescriptionRow& row = MatchRow(table, count, words, n);
        fallback = &row == &table[count - 1];
        instrument = row.instrument;
        kind = row.kind;
        if (row.dynamic >= 0)
            dynamic = row.dynamic;
    };
    switch (family) {
    case Cymbal:
        if (n == 0) {
            int count = 0;
            const SCharInstrument* chars = CymbalChars(&count);
            for (int i = 0; i < count && !instrument; ++i)
                if (chars[i].c == ToLower(c))
                    instrument = chars[i].instrument;
            if (!instrument) {
                const char first = label.empty() ? 0 : ToLower(label[0]);
                if (first == 'c')
                    instrument = EqualsNoCase(label, "cb") ? 56 : EqualsNoCase(label, "ch") ? 52 : EqualsNoCase(label, "c2") ? 57 : 49;
                else if (first == 'h')
                    instrument = EqualsNoCase(label, "hf") ? 44 : 42;
                else if (first == 'r')
                    instrument = 51;
                else
                    instrument = 42;
                if (c == 'g')
                    dynamic = Dynamic::Ghost;
                else if (c >= 'A' && c <= 'Z' && m_upperCaseAccents)
                    dynamic = Dynamic::Accent;
                if (instrument == 49 || instrument == 57)
                    ++(dynamic == Dynamic::Accent ? m_accentedCrashes : m_plainCrashes);
            }
            kind = 2;
        } else {
            int count = 0;
            const SDescriptionRow* table = CymbalRows(&count);
            fromRows(table, count);
            static const SKeywords bell = {{"bell"}};
            if (instrument == 51 && MatchAny(words, n, bell))
                instrument = 53;
            if (footLabel && (instrument == 42 || instrument == 46))
                instrument = 44;
            // "x = hit" under a splash, china or ride bell label: the label's cymbal.
            if (fallback && aliasCymbal) {
                instrument = CymbalFor(aliasCymbal, c);
                static const SKeywords accent = {{"accent", "accented", "loud", "hard"}};
                static const SKeywords ghost = {{"ghost", "soft"}};
                if (MatchAny(words, n, accent) || (c >= 'A' && c <= 'Z' && m_upperCaseAccents && instrument == aliasCymbal))
                    dynamic = Dynamic::Accent;
                else if (MatchAny(words, n, ghost))
                    dynamic = Dynamic::Ghost;
            }
        }
        break;
    case Snare:
        dynamic = DynamicRule(c, m_upperCaseAccents);
        if (n == 0) {
            if (c == 'c' || c == 'C')
                instrument = 56;
            else if (c == 'r' || c == 'R')
                instrument = 37;
            else
                instrument = EqualsNoCase(label, "sp") ? 55 : 38;
            kind = 2;
        } else {
            int count = 0;
            const SDescriptionRow* table = SnareRows(&count);
            fromRows(table, count);
        }
        break;
    case Tom:
        dynamic = DynamicRule(c, m_upperCaseAccents);
        if (n > 0) {
            int count = 0;
            const SDescriptionRow* table = TomRows(&count);
            fromRows(table, count);
        }
        // A description that names no tom ("o = open" in a legend for the whole kit) leaves
        // the tom the label names.
        if (n > 0 && fallback && aliasTom) {
            instrument = aliasTom;
        } else if (n == 0 || fallback) {
            const int number = FirstNumber(label);
            const char first = label.empty() ? 0 : label[0];
            if (first == 'F' || first == 'f') {
                instrument = number == 1 ? 45 : number == 2 ? 43 : (first == 'f' ? 43 : 41);
            } else if (first == 'T' || first == 't') {
                instrument = TomByNumber(number, 0);
                if (!instrument)
                    instrument = TomByNumber(IsDigit(c) ? c - '0' : -1, first == 't' ? 50 : 47);
            } else {
                instrument = TomByNumber(number, 41);
            }
            kind = 2;
        }
        break;
    case Bass: {
        dynamic = DynamicRule(c, m_upperCaseAccents);
        static const SKeywords pedal = {{"pedal"}};
        instrument = (n > 0 && MatchAny(words, n, pedal)) ? 44 : 36;
        kind = n == 0 ? 2 : 1;
        break;
    }
    case Percussion:
        if (n == 0) {
            int count = 0;
            const SCharInstrument* chars = PercussionChars(&count);
            instrument = kPercussionDefault;
            for (int i = 0; i < count; ++i)
                if (chars[i].c == c)
                    instrument = chars[i].instrument;
            kind = 2;
        } else {
            int count = 0;
            const SDescriptionRow* table = PercussionRows(&count);
            fromRows(table, count);
        }
        break;
    case Fixed: break;
    }
    entry.instrument = uint8_t(instrument);
    entry.dynamic = uint8_t(dynamic);
    entry.kind = uint8_t(kind);
    return kind == 2;
}

void CTabImporter::RecognizeAll()
{
    m_accentedCrashes = 0;
    m_plainCrashes = 0;
    m_labelGuessed.fill(false);
    // Some write every cymbal with 'o' and every drum with 'x' (and say so in a sentence):
    // there an 'o' on the hi-hat is a plain stroke, not an open hat.
    int cymbalLines = 0;
    int drumLines = 0;
    // Only where some line is written in 'o' alone and another in 'x' alone.
    bool onlyO = false;
    bool onlyX = false;
    for (int i = 0; i < m_labelCount; ++i) {
        const CLabelRecord& rec = m_labels[size_t(i)];
        bool o = rec.EntryCount() > 0;
        bool x = o;
        for (int e = 0; e < rec.EntryCount(); ++e) {
            o = o && ToLower(rec.entries[size_t(e)].noteChar) == 'o';
            x = x && ToLower(rec.entries[size_t(e)].noteChar) == 'x';
        }
        onlyO = onlyO || o;
        onlyX = onlyX || x;
    }
    bool inverse = onlyO && onlyX;
    for (int i = 0; i < m_labelCount && inverse; ++i) {
        const CLabelRecord& rec = m_labels[size_t(i)];
        const SLabelAlias* alias = FindAlias(rec.label);
        if (!alias || rec.EntryCount() == 0)
            continue;
        const bool cymbal = alias->kind == AliasCymbal && alias->instrument != 44;
        const bool drum = alias->kind == AliasSnare || alias->kind == AliasBass || alias->kind == AliasTom;
        if (!cymbal && !drum)
            continue;
        for (int e = 0; e < rec.EntryCount(); ++e) {
            const char c = ToLower(rec.entries[size_t(e)].noteChar);
            inverse = inverse && c == (cymbal ? 'o' : 'x');
        }
        ++(cymbal ? cymbalLines : drumLines);
    }
    m_cymbalOIsHit = inverse && cymbalLines > 0 && drumLines >= 2;
    for (int i = 0; i < m_labelCount; ++i) {
        CLabelRecord& rec = m_labels[size_t(i)];
        const int n = rec.EntryCount();
        for (int e = 0; e < n; ++e)
            RecognizeInstrument(rec, e);
    }
    // A left foot line beside a kick line of its own is the hat's foot; beside the right
    // foot, the second bass drum.
    for (int i = 0; i < m_labelCount; ++i) {
        if (ToLower(m_labels[size_t(i)].label[0]) != 'l')
            continue;
        const std::string k = LabelKey(m_labels[size_t(i)].label);
        if (k != "lf" && k != "leftfoot")
            continue;
        bool kick = false;
        for (int j = 0; j < m_labelCount; ++j) {
            const SLabelAlias* alias = FindAlias(m_labels[size_t(j)].label);
            const std::string other = LabelKey(m_labels[size_t(j)].label);
            kick = kick || (j != i && alias && alias->kind == AliasBass && other != "rf" && other != "rightfoot" && other != "lf" && other != "leftfoot");
        }
        CLabelRecord& rec = m_labels[size_t(i)];
        for (int e = 0; kick && e < rec.EntryCount(); ++e) {
            rec.entries[size_t(e)].instrument = 44;
            rec.entries[size_t(e)].dynamic = 0;
        }
    }
    // Labels made up for lines that had none are guesses.
    for (int i = 0; i < m_labelCount && !m_orderGuessedLabels.empty(); ++i)
        if (std::find(m_orderGuessedLabels.begin(), m_orderGuessedLabels.end(), m_labels[size_t(i)].label) != m_orderGuessedLabels.end())
            m_labelGuessed[size_t(i)] = true;
    // A tab that writes every crash in capitals does not mean them accented.
    if (m_accentedCrashes >= 1 && m_plainCrashes == 0) {
        for (int i = 0; i < m_labelCount; ++i) {
            CLabelRecord& rec = m_labels[size_t(i)];
            const int n = rec.EntryCount();
            for (int e = 0; e < n; ++e)
                if (rec.entries[size_t(e)].instrument == 49 || rec.entries[size_t(e)].instrument == 57)
                    rec.entries[size_t(e)].dynamic = 0;
        }
    }
    // '#' on a cymbal that plays itself is that cymbal choked (on the hi-hat it is a sound of
    // its own, and a legend that names the character decides for itself).
    for (int i = 0; i < m_labelCount; ++i) {
        CLabelRecord& rec = m_labels[size_t(i)];
        const int n = rec.EntryCount();
        for (int e = 0; e < n; ++e) {
            CNoteKeyEntry& entry = rec.entries[size_t(e)];
            if (entry.noteChar == '#' && entry.kind == 2 && IsChokeable(entry.instrument))
                entry.dynamic = uint8_t(entry.dynamic | Dynamic::Choke);
        }
    }
}

uint16_t CTabImporter::LookupNote(int labelIndex, char c) const
{
    if (labelIndex < 0 || labelIndex >= m_labelCount)
        return 0;
    const CLabelRecord& rec = m_labels[size_t(labelIndex)];
    for (const CNoteKeyEntry& e : rec.entries) {
        if (e.noteChar == 0)
            break;
        if (e.noteChar == c)
            return uint16_t((e.dynamic << 8) | e.instrument);
    }
    return 0;
}

void CTabImporter::SpreadToms()
{
    // The tom each label plays, when the label alone decided it for every note character.
    std::array<int, ImportLimits::kLabelSlots> key{};
    std::array<bool, ImportLimits::kLabelSlots> moved{};
    std::array<std::string, ImportLimits::kLabelSlots> name; // a tom label as the alias table spells it
    for (int i = 0; i < m_labelCount; ++i) {
        const CLabelRecord& rec = m_labels[size_t(i)];
        const int n = rec.EntryCount();
        if (n == 0 || !IsTomKey(rec.entries[0].instrument))
            continue;
        bool one = true;
        bool digits = false;
        for (int e = 0; e < n; ++e) {
            const CNoteKeyEntry& entry = rec.entries[size_t(e)];
            one = one && entry.kind == 2 && entry.instrument == rec.entries[0].instrument;
            digits = digits || IsDigit(entry.noteChar);
        }
        if (!one)
            continue;
        key[size_t(i)] = rec.entries[0].instrument;
        name[size_t(i)] = LabelKey(rec.label);
        const std::string& k = name[size_t(i)];
        if (!digits && (k == "t" || k == "tom" || k == "toms"))
            key[size_t(i)] = -1; // a bare T: placed below
    }
    if (std::all_of(key.begin(), key.end(), [](int k) { return k == 0; }))
        return; // no toms
    // Four toms numbered T1 to T4, and no other, are high, mid, low and floor tom: T3 the
    // low tom, T4 the floor tom. Other numberings take the tom keys in order.
    const auto used = [&](int k) { return std::find(key.begin(), key.begin() + m_labelCount, k) != key.begin() + m_labelCount; };
    int numbered = 0; // bit n-1: a label numbers tom n
    for (int i = 0; i < m_labelCount; ++i) {
        const std::string& k = name[size_t(i)];
        for (int t = 1; t <= 4; ++t) {
            const char digit = char('0' + t);
            if (key[size_t(i)] == kTomKeys[t - 1]
                && (k == std::string{'t', digit} || k == std::string{digit, 't'} || k == "tom" + std::string(1, digit)))
                numbered |= 1 << (t - 1);
        }
    }
    // Kadenzo's own text export numbers the six toms of the song's kit: T1 to T4 are its
    // four highest there.
    const bool ours = numbered == 0xF && std::any_of(m_lines.begin(), m_lines.end(), [](const CImportLine& l) {
        return std::string_view(l.m_text).starts_with("Created using Kadenzo");
    });
    if (numbered == 0xF && !ours && std::count_if(key.begin(), key.begin() + m_labelCount, [](int k) { return k != 0; }) == 4) {
        for (const int n : {4, 3}) {
            const int from = n == 4 ? 45 : 47;
            const int to = n == 4 ? 43 : 45;
            if (used(to))
                continue;
            const char digit = char('0' + n);
            for (int i = 0; i < m_labelCount; ++i) {
                const std::string& k = name[size_t(i)];
                const bool numbered = k == std::string{'t', digit} || k == std::string{digit, 't'} || k == "tom" + std::string(1, digit);
                if (key[size_t(i)] != from || !numbered)
                    continue;
                key[size_t(i)] = to;
                for (int e = 0; e < m_labels[size_t(i)].EntryCount(); ++e)
                    m_labels[size_t(i)].entries[size_t(e)].instrument = uint8_t(to);
            }
        }
    }
    // "LT" is the low tom, alone, under a mid tom or over a floor tom; right under a high tom
    // as the last tom it is the tom next to it, the low-mid one.
    if ((used(48) || !used(50) || used(43) || used(41)) && !used(45)) {
        for (int i = 0; i < m_labelCount; ++i) {
            const std::string& k = name[size_t(i)];
            if (key[size_t(i)] == 47 && (k == "lt" || k == "lotom" || k == "lowtom" || k == "ltom")) {
                key[size_t(i)] = 45;
                for (int e = 0; e < m_labels[size_t(i)].EntryCount(); ++e)
                    m_labels[size_t(i)].entries[size_t(e)].instrument = 45;
            }
        }
    }
    // A bare T takes the highest tom no other label plays; a small t stands above a capital T.
    std::vector<int> bare;
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < m_labelCount; ++i)
            if (key[size_t(i)] == -1 && (m_labels[size_t(i)].label[0] >= 'a') == (pass == 0))
                bare.push_back(i);
    for (int i : bare) {
        int chosen = 0;
        for (int k : kTomKeys) {
            if (std::find(key.begin(), key.begin() + m_labelCount, k) == key.begin() + m_labelCount) {
                chosen = k;
                break;
            }
        }
        key[size_t(i)] = chosen ? chosen : m_labels[size_t(i)].entries[0].instrument;
        moved[size_t(i)] = true;
    }
    // Down a staff the toms fall from high to low: a tom at or above the one written over it
    // (two labels for the same tom, or an inverted order) moves to the next lower free tom.
    // A label keeps the place the first staff that holds it gave it.
    std::array<bool, ImportLimits::kLabelSlots> settled{};
    std::vector<int> inGroup;
    int group = -1;
    int prev = 51;
    auto settle = [&]() {
        for (int li : inGroup)
            settled[size_t(li)] = true;
        inGroup.clear();
    };
    for (const CImportLine& line : m_lines) {
        if (line.m_type != LineType::StaffLine)
            continue;
        if (line.m_groupFirst != group) {
            settle();
            group = line.m_groupFirst;
            prev = 51;
        }
        const int li = line.m_labelIndex;
        if (li < 0 || key[size_t(li)] <= 0 || std::find(inGroup.begin(), inGroup.end(), li) != inGroup.end())
            continue;
        inGroup.push_back(li);
        int& k = key[size_t(li)];
        if (k >= prev && !settled[size_t(li)]) {
            for (int t : kTomKeys) {
                if (t < prev) {
                    k = t;
                    moved[size_t(li)] = true;
                    break;
                }
            }
        }
        prev = std::min(prev, k);
    }
    settle();
    for (int i = 0; i < m_labelCount; ++i) {
        if (!moved[size_t(i)])
            continue;
        m_labelGuessed[size_t(i)] = true;
        CLabelRecord& rec = m_labels[size_t(i)];
        for (int e = 0; e < rec.EntryCount(); ++e)
            rec.entries[size_t(e)].instrument = uint8_t(key[size_t(i)]);
    }
}

void CTabImporter::ReportGuessedLabels()
{
    for (int i = 0; i < m_labelCount; ++i) {
        const CLabelRecord& rec = m_labels[size_t(i)];
        if (!m_labelGuessed[size_t(i)] || rec.EntryCount() == 0)
            continue;
        for (size_t l = 0; l < m_lines.size(); ++l) {
            const CImportLine& line = m_lines[l];
            if (line.m_type != LineType::StaffLine || line.m_labelIndex != i)
                continue;
            AddIssue(ImportIssue::UncertainLabel, int(l), line.m_labelStart,
                     std::max(line.m_labelStart, line.m_firstBarColumn + line.m_columnShift));
            m_issues.back().m_instrument = rec.entries[0].instrument;
            break;
        }
    }
}

QString ImportIssueText(const CImportIssue& issue)
{
    QString text = QString::fromLatin1(ImportIssue::Text(issue.m_id));
    if (issue.m_instrument)
        text += QLatin1Char(' ') + GetInstrumentName(issue.m_instrument).trimmed();
    return text;
}
