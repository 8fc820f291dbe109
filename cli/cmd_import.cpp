// The "import" section of `kadenzo-cli dump` for documents opened from a text tab: what the
// importer decided, its lines with their types, the labels and the recorded issues.

#include "commands.h"

#include "catalogue.h"
#include "rondeldoc.h"
#include "tabimporter.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {
QString CharText(char c)
{
    return c ? QString(QLatin1Char(c)) : QString();
}

QJsonObject DumpImport(const CTabImporter& imp)
{
    QJsonObject o;
    o[QStringLiteral("barChar")] = CharText(imp.m_barChar);
    o[QStringLiteral("tickChar")] = CharText(imp.m_tickChar);
    o[QStringLiteral("tabType")] = imp.m_tabType;
    o[QStringLiteral("ticksPerChar")] = imp.m_ticksPerChar;
    o[QStringLiteral("timeMode")] = imp.m_timeMode;
    o[QStringLiteral("timeAbove")] = imp.m_timeAbove;
    o[QStringLiteral("timeOutside")] = imp.m_timeOutside;
    o[QStringLiteral("upperCaseAccents")] = imp.m_upperCaseAccents;
    o[QStringLiteral("bogusFirstTick")] = imp.m_bogusFirstTick;
    o[QStringLiteral("splitLongMeasures")] = imp.m_splitLongMeasures;
    o[QStringLiteral("roundToCommon")] = imp.m_roundToCommon;
    o[QStringLiteral("timeSigInMeasures")] = imp.m_timeSigInMeasures;
    o[QStringLiteral("timeSigOwnMeasures")] = imp.m_timeSigOwnMeasures;
    o[QStringLiteral("blockCount")] = imp.m_blockCount;
    o[QStringLiteral("barTotal")] = imp.m_barTotal;
    o[QStringLiteral("tempo")] = imp.m_tempo;
    QJsonObject header;
    static const char* const fields[] = {"song", "band", "album", "year", "trackNo", "duration",
                                         "copyright", "musicBy", "lyricsBy", "drummer", "tabber"};
    for (int i = 0; i <= Header::Tabber; ++i)
        header[QLatin1String(fields[i])] = imp.m_header[size_t(i)];
    o[QStringLiteral("header")] = header;

    // A line each: as big as the tab, so made while the dump is written.
    o[QStringLiteral("lines")] = DumpArray([&imp](const std::function<void(const QJsonObject&)>& put) {
        for (const CImportLine& l : imp.m_lines) {
            QJsonObject lo;
            lo[QStringLiteral("no")] = l.m_lineNo;
            lo[QStringLiteral("type")] = QLatin1String(LineType::Name(l.m_type));
            lo[QStringLiteral("text")] = ImportedText(l.m_text);
            put(lo);
        }
    });

    QJsonArray labels;
    for (int i = 0; i < imp.m_labelCount; ++i) {
        const CLabelRecord& rec = imp.m_labels[size_t(i)];
        QJsonObject lo;
        lo[QStringLiteral("label")] = ImportedText(rec.label);
        QJsonArray entries;
        for (int e = 0; e < rec.EntryCount(); ++e) {
            const CNoteKeyEntry& entry = rec.entries[size_t(e)];
            QJsonObject eo;
            eo[QStringLiteral("char")] = ImportedText(std::string_view(&entry.noteChar, 1));
            eo[QStringLiteral("instrument")] = entry.instrument;
            eo[QStringLiteral("name")] = GetInstrumentName(entry.instrument);
            eo[QStringLiteral("dynamic")] = entry.dynamic;
            eo[QStringLiteral("kind")] = entry.kind;
            eo[QStringLiteral("description")] = ImportedText(entry.description);
            entries.append(eo);
        }
        lo[QStringLiteral("entries")] = entries;
        labels.append(lo);
    }
    o[QStringLiteral("labels")] = labels;

    QJsonArray issues;
    for (const CImportIssue& is : imp.m_issues) {
        QJsonObject io;
        io[QStringLiteral("id")] = is.m_id;
        io[QStringLiteral("line")] = imp.m_lines[size_t(is.m_line)].m_lineNo;
        io[QStringLiteral("start")] = is.m_start;
        io[QStringLiteral("end")] = is.m_end;
        io[QStringLiteral("text")] = ImportIssueText(is);
        issues.append(io);
    }
    o[QStringLiteral("issues")] = issues;
    return o;
}

CCommandRegistrar s_importDump{[] {
    AddDumpSection([](CRondelDoc& doc, QJsonObject& o) {
        if (const auto* imp = dynamic_cast<const CTabImporter*>(doc.m_pImport.get()))
            o[QStringLiteral("import")] = DumpImport(*imp);
    });
}};
} // namespace
