#pragma once
// Helpers of the importer tests: import a tab written in the test and print the song in a
// compact form that reads like the tab ("|4/4 42@0 36@0 42@48 ...").

#include "report.h"
#include "rondeldoc.h"
#include "tabimporter.h"

#include <QString>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

struct SImported
{
    CRondelDoc doc;
    CTabImporter imp;
    CRecordingReport report;
    int blocks = 0;

    std::vector<int> IssueIds() const
    {
        std::vector<int> ids;
        for (const CImportIssue& i : imp.m_issues)
            ids.push_back(i.m_id);
        return ids;
    }
    bool HasIssue(int id) const
    {
        const std::vector<int> ids = IssueIds();
        return std::find(ids.begin(), ids.end(), id) != ids.end();
    }
    // Line type of the 1-based line number.
    int TypeOf(int lineNo) const { return imp.m_lines[size_t(lineNo - 1)].m_type; }
};

// The same text with CR LF line ends.
inline std::string Crlf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

inline std::unique_ptr<SImported> RunImport(const std::string& text,
                                            const CTabImporter::STimeOptions* options = nullptr)
{
    auto r = std::make_unique<SImported>();
    CScopedUserReport scope(&r->report);
    if (options)
        r->imp.ApplyTimeOptions(*options);
    r->imp.ReadTabBytes(text);
    r->blocks = r->imp.ImportTab(r->doc);
    return r;
}

// Bars as "|num/den" (+s repeat start, +e repeat end, +aN ending, "text"), measure repeats as
// "%N*count", notes as "key@pos" (! accent, g ghost, f flam, t triplet, # choked), rests as "r@pos".
inline std::string SongText(const CEventList& events)
{
    std::string out;
    for (const auto& ev : events) {
        if (!out.empty())
            out += ' ';
        if (ev.IsBar()) {
            out += "|" + std::to_string(ev.GetTimeSigNumerator()) + "/" + std::to_string(ev.GetTimeSigDenominator());
            if (ev.IsRepeatGroupStart())
                out += "+s";
            if (ev.IsRepeatGroupEnd())
                out += "+e";
            if (ev.GetRepeatGroupAltEnd())
                out += "+a" + std::to_string(ev.GetRepeatGroupAltEnd());
            if (ev.HasText())
                out += "\"" + ev.GetText().toStdString() + "\"";
        } else if (ev.IsRepeatPrev()) {
            out += "%" + std::to_string(ev.GetRepeatPrevNMeasures()) + "*" + std::to_string(ev.GetRepeatPrevCount());
        } else {
            out += (ev.IsRest() ? std::string("r") : std::to_string(ev.GetEventType())) + "@"
                + std::to_string(ev.GetPosition());
            if (ev.IsAccent())
                out += "!";
            if (ev.IsGhost())
                out += "g";
            if (ev.IsFlamOrPM())
                out += "f";
            if (ev.IsTriplet())
                out += "t";
            if (ev.IsChoked())
                out += "#";
        }
    }
    return out;
}

// Only the measure openers: "|4/4 |3/4 %1*2".
inline std::string BarsText(const CEventList& events)
{
    std::string out;
    for (const auto& ev : events) {
        if (!ev.IsMeasure())
            continue;
        CEventList one;
        one.push_back(std::make_unique<CEvent>(ev.m_word1, ev.m_word2));
        if (!out.empty())
            out += ' ';
        out += SongText(one);
    }
    return out;
}
