// dump, new, convert: the song and its file formats.

#include "commands.h"

#include "rondeldoc.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>

#include <cstdio>

namespace {
std::vector<std::function<void(CRondelDoc&, QJsonObject&)>>& DumpSections()
{
    static std::vector<std::function<void(CRondelDoc&, QJsonObject&)>> sections;
    return sections;
}

std::vector<std::function<void(QStringList&)>>& OptionHooks()
{
    static std::vector<std::function<void(QStringList&)>> hooks;
    return hooks;
}

QMap<QString, ConvertFn>& ConvertTargets()
{
    static QMap<QString, ConvertFn> targets;
    return targets;
}

QJsonObject DumpEvent(const CEvent& ev, int index, int bar)
{
    QJsonObject o;
    o[QStringLiteral("i")] = index;
    o[QStringLiteral("bar")] = bar;
    o[QStringLiteral("type")] = int(ev.GetEventType());
    o[QStringLiteral("word1")] = qint64(ev.m_word1);
    o[QStringLiteral("word2")] = qint64(ev.m_word2);
    o[QStringLiteral("text")] = ev.m_pText ? QJsonValue(*ev.m_pText) : QJsonValue(QJsonValue::Null);
    if (ev.IsMeasure()) {
        o[QStringLiteral("num")] = int(ev.GetTimeSigNumerator());
        o[QStringLiteral("den")] = int(ev.GetTimeSigDenominator());
        o[QStringLiteral("tempo")] = int(ev.GetTempo());
        o[QStringLiteral("patch")] = (ev.m_word1 & EventBits::PatchPresent) ? int(ev.GetPatch()) : -1;
        o[QStringLiteral("runTime1")] = qint64(ev.m_runTime1);
        o[QStringLiteral("runTime2")] = qint64(ev.m_runTime2);
    }
    if (ev.IsBar()) {
        o[QStringLiteral("repeatStart")] = ev.IsRepeatGroupStart();
        o[QStringLiteral("repeatEnd")] = ev.IsRepeatGroupEnd();
        o[QStringLiteral("altEnd")] = int(ev.GetRepeatGroupAltEnd());
    } else if (ev.IsRepeatPrev()) {
        o[QStringLiteral("n")] = int(ev.GetRepeatPrevNMeasures());
        o[QStringLiteral("count")] = int(ev.GetRepeatPrevCount());
    } else {
        if (ev.IsNote())
            o[QStringLiteral("key")] = int(ev.GetEventType());
        o[QStringLiteral("pos")] = int(ev.GetPosition());
        o[QStringLiteral("tick")] = int(ev.GetTick());
        o[QStringLiteral("triplet")] = ev.IsTriplet();
        o[QStringLiteral("accent")] = ev.IsAccent();
        o[QStringLiteral("ghost")] = ev.IsGhost();
        o[QStringLiteral("flam")] = ev.IsFlamOrPM();
    }
    return o;
}
}

void AddDumpSection(std::function<void(CRondelDoc&, QJsonObject&)> section)
{
    DumpSections().push_back(std::move(section));
}

void AddConvertOptions(std::function<void(QStringList&)> hook)
{
    OptionHooks().push_back(std::move(hook));
}

void AddConvertTarget(const QString& ext, ConvertFn fn)
{
    ConvertTargets().insert(ext.toLower(), std::move(fn));
}

QJsonObject DumpSong(CRondelDoc& doc, const QString& file)
{
    QJsonObject o;
    o[QStringLiteral("file")] = file;
    o[QStringLiteral("trackType")] = int(doc.m_trackType);
    o[QStringLiteral("songTempo")] = int(doc.m_songTempo);
    o[QStringLiteral("audioSync")] = int(doc.m_audioSync);
    o[QStringLiteral("audioFile")] = doc.m_audioFile;
    o[QStringLiteral("threePartCounting")] = int(doc.m_bThreePartCounting);
    o[QStringLiteral("sizeDoc")] = QJsonArray{qint64(doc.m_sizeDoc[0]), qint64(doc.m_sizeDoc[1])};
    QJsonArray header;
    for (const QString& s : doc.m_header)
        header.append(s);
    o[QStringLiteral("header")] = header;
    QJsonArray events;
    int index = 0;
    int bar = 0;
    for (const auto& ev : doc.Events()) {
        if (ev->IsMeasure())
            ++bar;
        events.append(DumpEvent(*ev, index++, bar));
    }
    o[QStringLiteral("events")] = events;
    for (const auto& section : DumpSections())
        section(doc, o);
    o[QStringLiteral("messages")] = QJsonArray::fromStringList(CollectedMessages());
    return o;
}

bool OpenInput(CRondelDoc& doc, const QString& path)
{
    if (!QFileInfo(path).isFile()) {
        Fail(QStringLiteral("no such file: %1").arg(path));
        return false;
    }
    QString error;
    const qsizetype shownBefore = CollectedMessages().size();
    if (!doc.OnOpenDocument(path, &error)) {
        // A fatal import has already shown its message through the report: say it once.
        if (!error.isEmpty() && CollectedMessages().mid(shownBefore).contains(error))
            return false;
        Fail(error.isEmpty() ? QStringLiteral("cannot open %1: unsupported file type").arg(path) : error);
        return false;
    }
    return true;
}

namespace {
int CmdDump(const QStringList& args)
{
    if (args.size() != 1)
        return UsageError(QStringLiteral("usage: kadenzo-cli dump FILE"));
    CRondelDoc doc;
    if (!OpenInput(doc, args[0]))
        return 1;
    const QJsonObject o = DumpSong(doc, args[0]);
    std::fputs(QJsonDocument(o).toJson(QJsonDocument::Indented).constData(), stdout);
    return 0;
}

int CmdNew(const QStringList& args)
{
    if (args.size() != 1)
        return UsageError(QStringLiteral("usage: kadenzo-cli new OUT.kdz"));
    CRondelDoc doc;
    doc.OnNewDocument();
    QString error;
    if (DocFormats::ExtensionOf(args[0]) != QLatin1String(".kdz"))
        return UsageError(QStringLiteral("the new song must be written to a .kdz file"));
    if (!doc.OnSaveDocument(args[0], &error))
        return Fail(error);
    return 0;
}

int CmdConvert(const QStringList& args)
{
    QStringList files;
    QStringList options;
    for (const QString& a : args)
        (a.startsWith(QLatin1String("--")) ? options : files) << a;
    for (const auto& hook : OptionHooks())
        hook(options);
    if (!options.isEmpty())
        return UsageError(QStringLiteral("unknown option %1").arg(options.first()));
    if (files.size() != 2)
        return UsageError(QStringLiteral("usage: kadenzo-cli convert IN OUT"));
    CRondelDoc doc;
    if (!OpenInput(doc, files[0]))
        return 1;
    const QString out = files[1];
    const QString ext = QStringLiteral(".") + QFileInfo(out).suffix().toLower();
    QString error;
    if (auto it = ConvertTargets().constFind(ext); it != ConvertTargets().constEnd()) {
        if (!(*it)(doc, out, &error))
            return Fail(error.isEmpty() ? QStringLiteral("cannot write %1").arg(out) : error);
        return 0;
    }
    if (ext != QLatin1String(".kdz") && !DocFormats::FindSave(ext))
        return UsageError(QStringLiteral("cannot convert to %1 files").arg(ext));
    if (!doc.OnSaveDocument(out, &error))
        return Fail(error);
    return 0;
}

CCommandRegistrar s_dump{"dump", "dump FILE                 print the song (and its import report) as JSON", CmdDump};
CCommandRegistrar s_new{"new", "new OUT.kdz               write a new song", CmdNew};
CCommandRegistrar s_convert{"convert", "convert IN OUT [OPTIONS]  convert by file extension", CmdConvert};
} // namespace
