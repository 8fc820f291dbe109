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

QStringList ConvertTargetExtensions()
{
    QStringList exts = ConvertTargets().keys() + DocFormats::SaveExtensions();
    exts << QStringLiteral(".kdz");
    exts.sort();
    exts.removeDuplicates();
    return exts;
}

bool OpenInput(CRondelDoc& doc, const QString& path)
{
    if (const QString problem = InputProblem(path); !problem.isEmpty()) {
        FailFile(path, problem);
        return false;
    }
    if (!DocFormats::FindOpen(DocFormats::ExtensionOf(path)) && DocFormats::ExtensionOf(path) != QLatin1String(".kdz")) {
        FailFile(path, QStringLiteral("not a song file; kadenzo-cli reads %1").arg(ReadableFormats()));
        return false;
    }
    QString error;
    const qsizetype shownBefore = CollectedMessages().size();
    if (!doc.OnOpenDocument(path, &error)) {
        // A fatal import has already shown its message through the report: say it once.
        if (!error.isEmpty() && CollectedMessages().mid(shownBefore).contains(error))
            return false;
        FailFile(path, error.isEmpty() ? QStringLiteral("cannot open: not a readable song") : error);
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
        return UsageError(QStringLiteral("%1: the new song must be written to a .kdz file").arg(args[0]));
    if (!doc.OnSaveDocument(args[0], &error))
        return FailFile(args[0], error);
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
    const QString out = files[1];
    const QString ext = QStringLiteral(".") + QFileInfo(out).suffix().toLower();
    // Everything that can be known before reading the input is checked first: the user's
    // own file must never be replaced by the program's re-export of it.
    const auto target = ConvertTargets().constFind(ext);
    if (target == ConvertTargets().constEnd() && ext != QLatin1String(".kdz") && !DocFormats::FindSave(ext))
        return UsageError(FileMessage(out, QStringLiteral("%1; kadenzo-cli writes %2")
                                               .arg(ext == QLatin1String(".") ? QStringLiteral("the output needs a file extension")
                                                                              : QStringLiteral("cannot convert to %1 files").arg(ext),
                                                    WritableFormats())));
    if (QFileInfo(out).isDir())
        return FailFile(out, QStringLiteral("is a folder; name the file to write"));
    if (IsSameFile(files[0], out))
        return FailFile(out, QStringLiteral("is the input file; write the converted song to another file"));
    CRondelDoc doc;
    if (!OpenInput(doc, files[0]))
        return 1;
    QString error;
    if (target != ConvertTargets().constEnd()) {
        if (!(*target)(doc, out, &error))
            return FailFile(out, error.isEmpty() ? QStringLiteral("cannot write") : error);
        return 0;
    }
    if (!doc.OnSaveDocument(out, &error))
        return FailFile(out, error);
    return 0;
}

CCommandRegistrar s_dump{"dump", "dump FILE\n"
                                 "      print the song (and its import report) as JSON\n"
                                 "      reads: song files; writes nothing",
                         CmdDump};
CCommandRegistrar s_new{"new", "new OUT.kdz\n"
                               "      write a new song (two empty 4/4 bars at 120 BPM)\n"
                               "      writes: .kdz",
                        CmdNew};
CCommandRegistrar s_convert{"convert", "convert IN OUT [--snap16] [--no-triplets]\n"
                                       "      convert a song by the files' extensions; OUT must not be IN\n"
                                       "      reads: song files; writes: .kdz .mid .txt .wav .png .pdf\n"
                                       "      --snap16          (MIDI input) snap notes to 16ths rather than 32nds\n"
                                       "      --no-triplets     (MIDI input) do not look for triplets",
                            CmdConvert};
} // namespace
