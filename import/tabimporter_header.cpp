// Header lines (song, band, album, tempo ...) and the optional song list.

#include "tabimporter.h"

#include "importtext.h"
#include "report.h"

#include <QFile>

#include <algorithm>

#include <cstdio>

using namespace ImportText;

namespace {
bool HasWordCharacter(std::string_view text)
{
    for (char c : text)
        if (IsAlnum(c) || uint8_t(c) >= 0x80)
            return true;
    return false;
}

// "SONG =====", "song: ---": after the keyword's words only punctuation (a lone ':' is an
// empty value, not punctuation).
bool OnlyPunctuationAfter(std::string_view text, size_t at)
{
    while (at < text.size() && (IsLetter(text[at]) || text[at] == ' '))
        ++at;
    const std::string_view tail = Trim(text.substr(at));
    return !tail.empty() && tail != ":" && !HasWordCharacter(tail);
}

bool IsByAt(std::string_view text, size_t at)
{
    return at + 2 <= text.size() && ToLower(text[at]) == 'b' && ToLower(text[at + 1]) == 'y'
        && (at + 2 == text.size() || text[at + 2] == ':' || text[at + 2] == ' ');
}

std::string TrimSeparators(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == ':' || text.front() == '-' || text.front() == '='))
        text.remove_prefix(1);
    return std::string(Trim(text));
}

// "Demo  Tempo: 100  Legend: ...": a value ends where two blanks and a word with a colon
// begin the next field.
void CutAtNextField(std::string* rest)
{
    for (size_t i = rest->find("  "); i != std::string::npos; i = rest->find("  ", i + 1)) {
        size_t w = i;
        while (w < rest->size() && (*rest)[w] == ' ')
            ++w;
        size_t e = w;
        while (e < rest->size() && (IsLetter((*rest)[e]) || (*rest)[e] == ' ') && e - w < 24)
            ++e;
        if (e > w && e < rest->size() && (*rest)[e] == ':' && IsLetter((*rest)[w])) {
            *rest = std::string(Trim(std::string_view(*rest).substr(0, i)));
            return;
        }
    }
}

// "by: Ann" leaves "Ann"; "Ann" stays.
std::string StripLeadingBy(std::string* rest)
{
    if (IsByAt(*rest, 0))
        *rest = TrimSeparators(std::string_view(*rest).substr(2));
    return {};
}

// "Paranoid by Black Sabbath" leaves "Paranoid" and gives "Black Sabbath".
std::string CutAtBy(std::string* rest)
{
    for (size_t i = 1; i + 2 <= rest->size(); ++i) {
        if ((*rest)[i - 1] != ' ' || !IsByAt(*rest, i))
            continue;
        std::string after = TrimSeparators(std::string_view(*rest).substr(i + 2));
        if (after.empty())
            continue;
        *rest = std::string(Trim(std::string_view(*rest).substr(0, i)));
        return after;
    }
    return {};
}
}

namespace {

// Whether a line with these letters may hold one of the header row's keywords: a keyword
// needs all of its letters. The keywords' letters are worked out once.
bool RowMayMatch(int row, uint32_t lineLetters)
{
    static const std::vector<std::array<uint32_t, 5>> keywordLetters = [] {
        int count = 0;
        const HeaderTables::SHeaderRow* rows = HeaderTables::Rows(&count);
        std::vector<std::array<uint32_t, 5>> v(static_cast<size_t>(count));
        for (int r = 0; r < count; ++r)
            for (size_t k = 0; k < 5; ++k)
                v[size_t(r)][k] = rows[r].words.k[k] ? LettersOf(rows[r].words.k[k]) : ~0u;
        return v;
    }();
    for (const uint32_t letters : keywordLetters[size_t(row)])
        if ((letters & lineLetters) == letters)
            return true;
    return false;
}
} // namespace

int CTabImporter::TempoLineValue(const CImportLine& line)
{
    // Only a line that is the tempo and little else: "Tempo: 124", "124 bpm", "q = 124".
    if (!line.m_hasDigit || line.Length() > 40)
        return 0;
    int rowCount = 0;
    const HeaderTables::SHeaderRow* rows = HeaderTables::Rows(&rowCount);
    const uint32_t lineLetters = line.m_letters;
    for (int i = 0; i < rowCount; ++i) {
        if (rows[i].field != HeaderTables::kTempoField || !RowMayMatch(i, lineLetters)
            || FindKeyword(line.m_text, nullptr, rows[i].words) < 0)
            continue;
        const int n = FirstNumber(line.m_text);
        return n >= HeaderTables::kMinTempo && n <= HeaderTables::kMaxTempo ? n : 0;
    }
    return 0;
}

void CTabImporter::MarkTempoLines()
{
    m_firstStaffLine = -1;
    for (int i = 0; i < int(m_lines.size()); ++i) {
        CImportLine& line = m_lines[size_t(i)];
        if (m_firstStaffLine < 0 && line.m_type == LineType::StaffLine)
            m_firstStaffLine = i;
        if (line.m_type == LineType::Unknown && TempoLineValue(line) > 0)
            line.m_type = LineType::Header;
    }
}

void CTabImporter::ParseHeaderLine(int index)
{
    CImportLine& line = m_lines[size_t(index)];
    // A legend may share its line with the song's name and tempo.
    const bool legend = line.m_type == LineType::NoteKey
        && std::any_of(m_legend.begin(), m_legend.end(), [index](const SLegendEntry& e) { return e.line == index; });
    if (line.m_type != LineType::Unknown && line.m_type != LineType::Header && line.m_type != LineType::MiscComment
        && !legend)
        return;
    int rowCount = 0;
    const HeaderTables::SHeaderRow* rows = HeaderTables::Rows(&rowCount);
    const uint32_t lineLetters = line.m_letters;
    for (int i = 0; i < rowCount; ++i) {
        if (!RowMayMatch(i, lineLetters))
            continue;
        std::string rest;
        const int at = FindKeyword(line.m_text, &rest, rows[i].words);
        if (at < 0)
            continue;
        line.m_type = LineType::Header;
        const int field = rows[i].field;
        if (field == HeaderTables::kTempoField) {
            // A tempo after the first staff changes the tempo there (ConvertBlock).
            const int n = FirstNumber(line.m_text);
            if (n >= HeaderTables::kMinTempo && n <= HeaderTables::kMaxTempo && (m_firstStaffLine < 0 || index < m_firstStaffLine))
                m_tempo = n;
            continue;
        }
        // "Tabbed by: Ann", "Song: Paranoid by Black Sabbath": "by" and what follows it is
        // no part of the name; after a title it names the band.
        CutAtNextField(&rest);
        std::string by = StripLeadingBy(&rest);
        if (field == Header::Song && by.empty())
            by = CutAtBy(&rest);
        if (!HasWordCharacter(rest) && (!rest.empty() || OnlyPunctuationAfter(line.m_text, size_t(at))))
            continue; // a rule of dashes or stars is no name
        // "tabbed by ear" says how, not who.
        if (field == Header::Tabber && rest.size() >= 3 && EqualsNoCase(std::string_view(rest).substr(0, 3), "ear")
            && (rest.size() == 3 || !IsLetter(rest[3])))
            continue;
        m_header[size_t(field)] = ImportedText(rest);
        if (!by.empty() && m_header[Header::Band].isEmpty())
            m_header[Header::Band] = ImportedText(by);
        if (field == Header::Band && FindKeyword(line.m_text, nullptr, HeaderTables::NoSplitBands()) >= 0)
            m_splitLongMeasures = false;
        if (field == Header::Album && rest != "6581") {
            // "F" is a combined foot line: P the hi-hat pedal, X the bass drum.
            for (int l = 0; l < m_labelCount; ++l) {
                CLabelRecord& rec = m_labels[size_t(l)];
                if (std::string_view(rec.label) != "F")
                    continue;
                const int n = rec.EntryCount();
                for (int e = 0; e < n; ++e) {
                    CNoteKeyEntry& entry = rec.entries[size_t(e)];
                    if (entry.noteChar == 'P' || entry.noteChar == 'p')
                        entry.instrument = 44;
                    else if (entry.noteChar == 'X' || entry.noteChar == 'x')
                        entry.instrument = 36;
                }
            }
        }
    }
}

void CTabImporter::LookupSongList()
{
    // Only unknown lines above the first staff consult the list: without one, the file is
    // not looked for at all.
    const auto asks = std::find_if(m_lines.begin(), m_lines.end(), [](const CImportLine& line) {
        return line.m_type != LineType::Blank && line.m_type != LineType::Header;
    });
    if (asks == m_lines.end() || asks->m_type != LineType::Unknown)
        return;
    QFile file(QString::fromLatin1(ImportText::kSongListFile));
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return;
    std::vector<std::string> list;
    while (!file.atEnd()) {
        QByteArray l = file.readLine();
        while (!l.isEmpty() && (l.endsWith('\n') || l.endsWith('\r')))
            l.chop(1);
        list.emplace_back(l.constData(), size_t(l.size()));
    }

    for (CImportLine& line : m_lines) {
        if (line.m_type != LineType::Unknown && line.m_type != LineType::Blank && line.m_type != LineType::Header)
            break;
        if (line.m_type != LineType::Unknown)
            continue;
        int yearLine = -1;
        int bandLine = -1;
        for (int i = 0; i < int(list.size()); ++i) {
            const std::string& s = list[size_t(i)];
            if (s.empty())
                continue;
            if (s.rfind("year", 0) == 0 || s.rfind("YEAR", 0) == 0) {
                yearLine = i;
                continue;
            }
            if (IsLetter(s[0])) {
                bandLine = i;
                continue;
            }
            if (!IsDigit(s[0]))
                continue;
            int track = 0, minutes = 0, seconds = 0;
            char title[1024] = {};
            if (std::sscanf(s.c_str(), "%d. %d:%d %1023[^\n]", &track, &minutes, &seconds, title) != 4)
                continue;
            if (FindKeyword(line.m_text, nullptr, title) < 0)
                continue;
            if (bandLine < 0)
                continue;
            const std::string& bandAlbum = list[size_t(bandLine)];
            const size_t slash = bandAlbum.find('/');
            if (slash == std::string::npos) {
                UserReport().Warning(QString::fromLatin1(ImportText::kBadSongList).arg(bandLine + 1));
                break;
            }
            if (!m_header[Header::Song].isEmpty())
                break;
            std::string band = bandAlbum.substr(0, slash > 0 ? slash - 1 : 0);
            std::string album = bandAlbum.substr(slash + 1);
            album.erase(0, std::min(album.size(), album.find_first_not_of(' ')));
            std::string year;
            if (yearLine >= 0) {
                const std::string& y = list[size_t(yearLine)];
                const size_t colon = y.find(':');
                if (colon != std::string::npos) {
                    year = y.substr(colon + 1);
                    year.erase(0, std::min(year.size(), year.find_first_not_of(' ')));
                }
            }
            line.m_type = LineType::Header;
            m_header[Header::Song] = ImportedText(title);
            m_header[Header::Band] = ImportedText(band);
            m_header[Header::Album] = ImportedText(album);
            m_header[Header::TrackNo] = QString::number(track);
            m_header[Header::Duration] = QString::asprintf("%d:%02d", minutes, seconds);
            m_header[Header::Year] = ImportedText(year);
            break;
        }
    }
}
