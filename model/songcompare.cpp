#include "songcompare.h"

#include "report.h"
#include "rondeldoc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

struct SMeasure
{
    const CEvent* opener = nullptr; // null for notes before the first measure
    std::vector<const CEvent*> notes;
};

std::vector<SMeasure> Measures(const CEventList& events, const SCompareOptions& options)
{
    std::vector<SMeasure> measures(1);
    for (const auto& ev : events) {
        if (ev.IsMeasure()) {
            measures.push_back({&ev, {}});
        } else if (ev.IsNote() || (options.m_rests && ev.IsRest())) {
            measures.back().notes.push_back(&ev);
        }
    }
    for (SMeasure& m : measures)
        std::stable_sort(m.notes.begin(), m.notes.end(), [](const CEvent* a, const CEvent* b) {
            if (a->GetTick() != b->GetTick())
                return a->GetTick() < b->GetTick();
            return a->GetEventType() < b->GetEventType();
        });
    return measures;
}

struct SField
{
    const char* name;
    uint32_t (*get)(const CEvent&);
};

// The name of the first opener field that differs, or nullptr.
const char* OpenerDifference(const CEvent& a, const CEvent& b, const SCompareOptions& options)
{
    static constexpr SField kCommon[] = {
        {"GetEventType", [](const CEvent& e) { return e.GetEventType(); }},
        {"GetTimeSigNumerator", [](const CEvent& e) { return e.GetTimeSigNumerator(); }},
        {"GetTimeSigDenominator", [](const CEvent& e) { return e.GetTimeSigDenominator(); }},
    };
    static constexpr SField kBar[] = {
        {"IsRepeatGroupStart", [](const CEvent& e) { return uint32_t(e.IsRepeatGroupStart()); }},
        {"IsRepeatGroupEnd", [](const CEvent& e) { return uint32_t(e.IsRepeatGroupEnd()); }},
        {"GetRepeatGroupAltEnd", [](const CEvent& e) { return e.GetRepeatGroupAltEnd(); }},
    };
    static constexpr SField kRepeat[] = {
        {"GetRepeatPrevNMeasures", [](const CEvent& e) { return e.GetRepeatPrevNMeasures(); }},
        {"GetRepeatPrevCount", [](const CEvent& e) { return e.GetRepeatPrevCount(); }},
    };
    for (const SField& f : kCommon)
        if (f.get(a) != f.get(b))
            return f.name;
    if (!options.m_repeatFields)
        return nullptr;
    if (a.IsBar()) {
        for (const SField& f : kBar)
            if (f.get(a) != f.get(b))
                return f.name;
    } else {
        for (const SField& f : kRepeat)
            if (f.get(a) != f.get(b))
                return f.name;
    }
    return nullptr;
}

const char* NoteDifference(const CEvent& a, const CEvent& b, const SCompareOptions& options)
{
    if (a.GetTick() != b.GetTick())
        return "GetTick";
    if (a.GetEventType() != b.GetEventType())
        return "GetEventType";
    if (options.m_triplets && a.IsTriplet() != b.IsTriplet())
        return "IsTriplet";
    if (a.IsAccent() != b.IsAccent())
        return "IsAccent";
    if (a.IsGhost() != b.IsGhost())
        return "IsGhost";
    if (a.IsFlamOrPM() != b.IsFlamOrPM())
        return "IsFlamOrPM";
    return nullptr;
}

} // namespace

QString SSongDifference::Message() const
{
    if (m_inBar)
        return QStringLiteral("BAR match failed type(%1) at bar(%2)").arg(m_field).arg(m_bar);
    return QStringLiteral("NOTE match failed type(%1) at bar(%2) tick(%3)").arg(m_field).arg(m_bar).arg(m_tick);
}

SSongDifference CompareSongs(const CEventList& song, const CEventList& reference, const SCompareOptions& options)
{
    const std::vector<SMeasure> a = Measures(song, options);
    const std::vector<SMeasure> b = Measures(reference, options);
    SSongDifference d;
    const size_t measures = std::max(a.size(), b.size());
    for (size_t m = 0; m < measures; ++m) {
        d.m_bar = int(m);
        if (m >= a.size() || m >= b.size()) {
            d.m_differ = d.m_inBar = true;
            d.m_field = QStringLiteral("GetEventType");
            return d;
        }
        if (m > 0) {
            if (const char* field = OpenerDifference(*a[m].opener, *b[m].opener, options)) {
                d.m_differ = d.m_inBar = true;
                d.m_field = QString::fromLatin1(field);
                return d;
            }
        }
        const auto& na = a[m].notes;
        const auto& nb = b[m].notes;
        for (size_t i = 0; i < std::max(na.size(), nb.size()); ++i) {
            const char* field = nullptr;
            if (i >= na.size() || i >= nb.size()) {
                field = "GetEventType";
                d.m_tick = int((i < na.size() ? na[i] : nb[i])->GetTick());
            } else if ((field = NoteDifference(*na[i], *nb[i], options))) {
                d.m_tick = int(std::min(na[i]->GetTick(), nb[i]->GetTick()));
            }
            if (field) {
                d.m_differ = true;
                d.m_field = QString::fromLatin1(field);
                return d;
            }
        }
    }
    return SSongDifference{};
}

namespace {

ECompareResult CompareFiles(const CRondelDoc& doc, const QString& kdzPath, QString* message)
{
    QFile file(kdzPath);
    CRondelDoc reference;
    QString why;
    if (!file.open(QIODevice::ReadOnly)) {
        *message = QStringLiteral("Cannot open \"%1\": %2").arg(kdzPath, file.errorString());
        return ECompareResult::CannotCompare;
    }
    if (!reference.LoadBytes(file.readAll(), &why)) {
        *message = QStringLiteral("Cannot read \"%1\". %2").arg(kdzPath, why);
        return ECompareResult::CannotCompare;
    }
    const SSongDifference d = CompareSongs(doc.Events(), reference.Events());
    if (!d.m_differ) {
        message->clear();
        return ECompareResult::Match;
    }
    *message = d.Message();
    return ECompareResult::Differ;
}

} // namespace

ECompareResult CompareWithSongFile(const CRondelDoc& doc, QString* message)
{
    QString text;
    ECompareResult result = ECompareResult::CannotCompare;
    if (DocFormats::ExtensionOf(doc.m_pathName) != QLatin1String(".txt"))
        text = QString::fromLatin1(kCompareOnlyTxt);
    else
        result = CompareFiles(doc, doc.m_pathName.chopped(4) + QStringLiteral(".kdz"), &text);
    if (!text.isEmpty())
        UserReport().Message(text);
    if (message)
        *message = text;
    return result;
}

std::vector<SCompareEntry> CompareAllInFolder(const QString& folder)
{
    std::vector<SCompareEntry> entries;
    const QDir dir(folder);
    const QStringList names = dir.entryList({QStringLiteral("*.kdz")}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        SCompareEntry e;
        e.m_kdzPath = dir.filePath(name);
        const QString txt = e.m_kdzPath.chopped(4) + QStringLiteral(".txt");
        if (!QFileInfo::exists(txt))
            continue;
        CRondelDoc doc;
        QString why;
        if (!doc.OnOpenDocument(txt, &why)) {
            e.m_message = why.isEmpty() ? QStringLiteral("Cannot open \"%1\"").arg(txt) : why;
        } else {
            e.m_result = CompareFiles(doc, e.m_kdzPath, &e.m_message);
        }
        entries.push_back(std::move(e));
    }
    return entries;
}
