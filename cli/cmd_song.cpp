// dump, new, convert: the song and its file formats.

#include "commands.h"
#include "midi_click.h"

#include "report.h"
#include "rondeldoc.h"
#include "tabimporter.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QMap>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

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
    o[QStringLiteral("text")] = ev.GetTextOrNull() ? QJsonValue(*ev.GetTextOrNull()) : QJsonValue(QJsonValue::Null);
    if (ev.IsMeasure()) {
        o[QStringLiteral("num")] = int(ev.GetTimeSigNumerator());
        o[QStringLiteral("den")] = int(ev.GetTimeSigDenominator());
        o[QStringLiteral("tempo")] = int(ev.GetTempo());
        o[QStringLiteral("patch")] = (ev.m_word1 & EventBits::PatchPresent) ? int(ev.GetPatch()) : -1;
        o[QStringLiteral("runTime1")] = qint64(ev.GetRunTime1());
        o[QStringLiteral("runTime2")] = qint64(ev.GetRunTime2());
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
        if (ev.IsChoked())
            o[QStringLiteral("choked")] = true;
    }
    return o;
}
}

void AddDumpSection(std::function<void(CRondelDoc&, QJsonObject&)> section)
{
    DumpSections().push_back(std::move(section));
}

namespace {
// The arrays of the dump being made, by the number in their mark.
std::vector<DumpElements>& PendingArrays()
{
    static std::vector<DumpElements> arrays;
    return arrays;
}

// A string no text of a song can hold by chance: a control character, and a number drawn when
// the program starts, so that a tab cannot spell a mark either.
const QString& ArrayMark()
{
    static const QString mark = QStringLiteral("\x01streamed array %1 ").arg(QRandomGenerator::system()->generate64());
    return mark;
}
}

QJsonValue DumpArray(DumpElements elements)
{
    PendingArrays().push_back(std::move(elements));
    return ArrayMark() + QString::number(PendingArrays().size() - 1);
}

void AddConvertOptions(std::function<void(QStringList&)> hook)
{
    OptionHooks().push_back(std::move(hook));
}

void AddConvertTarget(const QString& ext, ConvertFn fn)
{
    ConvertTargets().insert(ext.toLower(), std::move(fn));
}

namespace {
// The song's own fields (all but its events, the sections and the messages).
QJsonObject SongFields(CRondelDoc& doc, const QString& file)
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
    return o;
}

template <class F>
void ForEachEventJson(CRondelDoc& doc, F&& f)
{
    int index = 0;
    int bar = 0;
    for (const auto& ev : doc.Events()) {
        if (ev.IsMeasure())
            ++bar;
        f(DumpEvent(ev, index++, bar));
    }
}

// The array a mark stands for, or nullptr when the string is no mark.
const DumpElements* MarkedArray(QStringView text)
{
    if (!text.startsWith(ArrayMark()))
        return nullptr;
    bool ok = false;
    const qsizetype n = text.mid(ArrayMark().size()).toLongLong(&ok);
    return ok && n >= 0 && n < qsizetype(PendingArrays().size()) ? &PendingArrays()[size_t(n)] : nullptr;
}

// Puts the arrays in place of their marks, for a dump held as one tree.
QJsonValue WithArrays(const QJsonValue& v)
{
    if (v.isString()) {
        const DumpElements* elements = MarkedArray(v.toString());
        if (!elements)
            return v;
        QJsonArray array;
        (*elements)([&](const QJsonObject& e) { array.append(e); });
        return array;
    }
    if (v.isArray()) {
        QJsonArray array;
        for (const QJsonValue& e : v.toArray())
            array.append(WithArrays(e));
        return array;
    }
    if (v.isObject()) {
        QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it)
            it.value() = WithArrays(it.value());
        return o;
    }
    return v;
}

// Run after the events are dumped: a section may time the song.
void AddSectionsAndMessages(CRondelDoc& doc, QJsonObject& o)
{
    PendingArrays().clear();
    for (const auto& section : DumpSections())
        section(doc, o);
    o[QStringLiteral("messages")] = QJsonArray::fromStringList(CollectedMessages());
}

// An object's members as QJsonDocument's indented form prints them inside the object: the
// lines between its braces, without the last line's end.
QByteArray IndentedMembers(const QJsonObject& o)
{
    QByteArray text = QJsonDocument(o).toJson(QJsonDocument::Indented);
    text.remove(0, 2); // "{\n"
    text.chop(3);      // "\n}\n"
    return text;
}

// The same text as QJsonDocument(DumpSong(...)).toJson(Indented), written as it goes: the
// events (most of a song) are never held as one JSON tree.
bool StreamDump(CRondelDoc& doc, const QString& file, FILE* out)
{
    const QString kEvents = QStringLiteral("events");
    const QJsonObject fields = SongFields(doc, file);
    QJsonObject before, after;
    for (auto it = fields.begin(); it != fields.end(); ++it)
        (it.key() < kEvents ? before : after)[it.key()] = it.value();
    QByteArray buffer = "{\n";
    const auto flush = [&] {
        const bool ok = std::fwrite(buffer.constData(), 1, size_t(buffer.size()), out) == size_t(buffer.size());
        buffer.clear();
        return ok;
    };
    if (!before.isEmpty())
        buffer += IndentedMembers(before) + ",\n";
    buffer += "    \"events\": [";
    bool first = true;
    bool ok = true;
    ForEachEventJson(doc, [&](const QJsonObject& e) {
        QByteArray text = QJsonDocument(e).toJson(QJsonDocument::Indented);
        text.chop(1);
        text.replace("\n", "\n        ");
        buffer += (first ? "\n        " : ",\n        ") + text;
        first = false;
        if (buffer.size() > (1 << 20))
            ok = flush() && ok;
    });
    buffer += "\n    ]";
    AddSectionsAndMessages(doc, after);
    if (!after.isEmpty()) {
        // The marked arrays are written where their marks stand, an element at a time.
        const QByteArray text = IndentedMembers(after);
        const QByteArray mark = QJsonDocument(QJsonArray{ArrayMark()}).toJson(QJsonDocument::Compact).mid(1).chopped(2);
        buffer += ",\n";
        qsizetype done = 0;
        for (qsizetype at = text.indexOf(mark); at >= 0; at = text.indexOf(mark, at + 1)) {
            const qsizetype close = text.indexOf('"', at + mark.size());
            if (close < 0)
                break;
            const DumpElements* elements = MarkedArray(ArrayMark() + QString::fromLatin1(text.mid(at + mark.size(), close - at - mark.size())));
            if (!elements)
                continue;
            const qsizetype lineStart = text.lastIndexOf('\n', at) + 1;
            qsizetype indent = 0;
            while (text[lineStart + indent] == ' ')
                ++indent;
            const QByteArray pad(indent + 4, ' ');
            buffer += text.mid(done, at - done) + "[";
            bool firstElement = true;
            (*elements)([&](const QJsonObject& e) {
                QByteArray element = QJsonDocument(e).toJson(QJsonDocument::Indented);
                element.chop(1);
                element.replace("\n", "\n" + pad);
                buffer += (firstElement ? "\n" : ",\n") + pad + element;
                firstElement = false;
                if (buffer.size() > (1 << 20))
                    ok = flush() && ok;
            });
            buffer += "\n" + QByteArray(indent, ' ') + "]";
            done = close + 1;
        }
        buffer += text.mid(done);
    }
    PendingArrays().clear();
    buffer += "\n}\n";
    return flush() && ok;
}
}

QJsonObject DumpSong(CRondelDoc& doc, const QString& file)
{
    QJsonObject o = SongFields(doc, file);
    QJsonArray events;
    ForEachEventJson(doc, [&](const QJsonObject& e) { events.append(e); });
    QJsonObject sections;
    AddSectionsAndMessages(doc, sections);
    for (auto it = sections.begin(); it != sections.end(); ++it)
        o[it.key()] = WithArrays(it.value());
    PendingArrays().clear();
    o[QStringLiteral("events")] = events;
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
    // A command runs once and never undoes: no snapshot of the song for the undo history.
    doc.UndoHistory().SuspendCheckPoints();
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
    if (!StreamDump(doc, args[0], stdout))
        return Fail(QStringLiteral("%1: the dump could not be written").arg(args[0]));
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

enum class EWrite { Done, Failed, UnknownType };

// Writes doc to out in the format its extension names.
EWrite WriteConverted(CRondelDoc& doc, const QString& out, QString* error)
{
    const QString ext = QStringLiteral(".") + QFileInfo(out).suffix().toLower();
    if (auto it = ConvertTargets().constFind(ext); it != ConvertTargets().constEnd()) {
        if ((*it)(doc, out, error))
            return EWrite::Done;
        if (error->isEmpty())
            *error = QStringLiteral("cannot write");
        return EWrite::Failed;
    }
    if (ext != QLatin1String(".kdz") && !DocFormats::FindSave(ext)) {
        *error = QStringLiteral("cannot convert to %1 files").arg(ext);
        return EWrite::UnknownType;
    }
    return doc.OnSaveDocument(out, error) ? EWrite::Done : EWrite::Failed;
}

int CmdConvertBatch(const QStringList& args);

int CmdConvert(const QStringList& args)
{
    if (args.contains(QStringLiteral("--to")))
        return CmdConvertBatch(args);
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
    const bool writable = target != ConvertTargets().constEnd() || ext == QLatin1String(".kdz") || DocFormats::FindSave(ext);
    if (!writable && CanHandOver())
        return HandOver();
    if (!writable)
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
    switch (WriteConverted(doc, out, &error)) {
    case EWrite::Done:
        return 0;
    case EWrite::UnknownType:
        return UsageError(FileMessage(out, error));
    case EWrite::Failed:
        break;
    }
    return FailFile(out, error);
}


// ----- batch conversion ---------------------------------------------------------------
// Every file is converted in a worker process of its own kind: a file that brings its worker
// down fails alone, and the workers use every core. The parent hands out file numbers one at
// a time and collects one result line per file.

struct SBatchFile
{
    QString input;
    QString output;
    QString status; // "converted" or "failed"
    int bars = 0;
    int issues = 0;
    QString message;
};

bool IsConvertibleInput(const QString& path)
{
    const QString ext = DocFormats::ExtensionOf(path);
    return ext == QLatin1String(".kdz") || DocFormats::FindOpen(ext);
}

// The inputs: files as given, folders recursed for the files that open as songs (in name
// order), each with its output path.
bool CollectBatch(const QStringList& inputs, const QString& outDir, const QString& to, std::vector<SBatchFile>* files,
                  QString* error)
{
    const auto add = [&](const QString& input, const QString& outFolder) {
        SBatchFile f;
        f.input = input;
        f.output = QDir::cleanPath(QDir(outFolder).filePath(QFileInfo(input).completeBaseName() + QLatin1Char('.') + to));
        files->push_back(f);
    };
    for (const QString& input : inputs) {
        const QFileInfo info(input);
        if (info.isDir()) {
            const QDir root(input);
            QStringList found;
            QDirIterator it(input, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                if (IsConvertibleInput(path))
                    found << path;
            }
            found.sort();
            for (const QString& path : found) {
                const QString relativeFolder = root.relativeFilePath(QFileInfo(path).path());
                add(path, outDir.isEmpty() ? QFileInfo(path).path() : QDir(outDir).filePath(relativeFolder));
            }
        } else if (info.isFile()) {
            add(input, outDir.isEmpty() ? info.path() : outDir);
        } else {
            *error = QStringLiteral("%1: no such file or folder").arg(input);
            return false;
        }
    }
    // Two inputs must not write one output, and no input is written over.
    QMap<QString, QString> owners;
    for (SBatchFile& f : *files) {
        const QString out = QFileInfo(f.output).absoluteFilePath();
        if (out == QFileInfo(f.input).absoluteFilePath()) {
            f.status = QStringLiteral("failed");
            f.message = QStringLiteral("the output would replace the input");
        } else if (owners.contains(out)) {
            f.status = QStringLiteral("failed");
            f.message = QStringLiteral("%1 is written from %2 already").arg(f.output, owners.value(out));
        } else {
            owners.insert(out, f.input);
        }
    }
    return true;
}

int ImportIssueCount(const CRondelDoc& doc)
{
    const auto* imp = dynamic_cast<const CTabImporter*>(doc.m_pImport.get());
    return imp ? int(imp->m_issues.size()) : 0;
}

// Converts one file (in a worker).
void ConvertOne(SBatchFile& f)
{
    CRecordingReport report; // what the conversion shows the user goes into the report
    CScopedUserReport scope(&report);
    f.status = QStringLiteral("failed");
    CRondelDoc doc;
    doc.UndoHistory().SuspendCheckPoints(); // nothing is undone here
    QString error;
    if (!doc.OnOpenDocument(f.input, &error)) {
        f.message = error.isEmpty() ? QStringLiteral("unsupported file type") : error;
        return;
    }
    for (const auto& ev : doc.Events())
        f.bars += ev.IsMeasure() ? 1 : 0;
    f.bars = std::max(0, f.bars - 1); // the closing bar holds nothing
    f.issues = ImportIssueCount(doc);
    if (!QDir().mkpath(QFileInfo(f.output).path())) {
        f.message = QStringLiteral("cannot make the folder %1").arg(QFileInfo(f.output).path());
        return;
    }
    if (WriteConverted(doc, f.output, &error) != EWrite::Done) {
        f.message = error.isEmpty() ? QStringLiteral("cannot write %1").arg(f.output) : error;
        return;
    }
    f.status = QStringLiteral("converted");
    f.message = (report.m_messages + report.m_questions).join(QLatin1Char('\n'));
}

QJsonObject BatchFileJson(const SBatchFile& f)
{
    QJsonObject o;
    o[QStringLiteral("input")] = f.input;
    o[QStringLiteral("output")] = f.output;
    o[QStringLiteral("status")] = f.status;
    o[QStringLiteral("bars")] = f.bars;
    o[QStringLiteral("issues")] = f.issues;
    o[QStringLiteral("message")] = f.message;
    return o;
}

bool WriteFully(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

bool ReadFully(int fd, void* data, size_t size)
{
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

struct SWorker
{
    pid_t pid = -1;
    int tasks = -1;   // parent writes file numbers
    int results = -1; // worker writes results
    std::deque<int> queued; // handed out, result not back yet (first in, first out)
};

// The worker's loop: a file number in, its result (size, then JSON) out, until the parent
// closes the task pipe.
[[noreturn]] void RunWorker(std::vector<SBatchFile>& files, int tasks, int results)
{
    // Conversions may print progress of their own; the parent owns the terminal.
    const int devNull = ::open("/dev/null", O_WRONLY);
    if (devNull >= 0)
        ::dup2(devNull, STDERR_FILENO);
    int32_t index = 0;
    while (ReadFully(tasks, &index, sizeof index)) {
        if (index < 0 || size_t(index) >= files.size())
            break;
        SBatchFile& f = files[size_t(index)];
        ConvertOne(f);
        const QByteArray json = QJsonDocument(BatchFileJson(f)).toJson(QJsonDocument::Compact);
        const uint32_t size = uint32_t(json.size());
        if (!WriteFully(results, &size, sizeof size) || !WriteFully(results, json.constData(), size_t(size)))
            break;
    }
    ::_exit(0);
}

bool StartWorker(SWorker& w, std::vector<SBatchFile>& files, const std::vector<SWorker>& all)
{
    int down[2], up[2];
    if (::pipe2(down, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(up, O_CLOEXEC) != 0) {
        ::close(down[0]);
        ::close(down[1]);
        return false;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        for (int fd : {down[0], down[1], up[0], up[1]})
            ::close(fd);
        return false;
    }
    if (pid == 0) {
        // The other workers' pipes stay with the parent alone.
        for (const SWorker& other : all)
            for (int fd : {other.tasks, other.results})
                if (fd >= 0)
                    ::close(fd);
        ::close(down[1]);
        ::close(up[0]);
        RunWorker(files, down[0], up[1]);
    }
    ::close(down[0]);
    ::close(up[1]);
    w.pid = pid;
    w.tasks = down[1];
    w.results = up[0];
    w.queued.clear();
    return true;
}

void CloseTasks(SWorker& w)
{
    if (w.tasks >= 0)
        ::close(w.tasks);
    w.tasks = -1;
}

// Closes the worker's pipes and waits for it; its exit status.
int StopWorker(SWorker& w)
{
    CloseTasks(w);
    if (w.results >= 0)
        ::close(w.results);
    w.results = -1;
    int status = 0;
    if (w.pid > 0)
        while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
        }
    w.pid = -1;
    return status;
}

int DefaultWorkerCount()
{
    const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
    return cores > 0 ? int(cores) : 1;
}

void ShowProgress(bool tty, size_t done, size_t total, int failed, const QString& last)
{
    if (!tty)
        return;
    QString name = QFileInfo(last).fileName();
    if (name.size() > 40)
        name = name.left(37) + QStringLiteral("...");
    std::fprintf(stderr, "\r\033[K[%zu/%zu] %d failed  %s", done, total, failed, name.toLocal8Bit().constData());
    std::fflush(stderr);
}

int CmdConvertBatch(const QStringList& args)
{
    static const QStringList kTargets{QStringLiteral("mid"), QStringLiteral("kdz"), QStringLiteral("txt"),
                                      QStringLiteral("wav"), QStringLiteral("pdf"), QStringLiteral("png")};
    const QString usage = QStringLiteral("usage: kadenzo-cli convert --to mid|kdz|txt|wav|pdf|png [-j N] [--out-dir DIR] "
                                         "[--report OUT.json] INPUT...");
    QString to, outDir, reportPath;
    int jobs = DefaultWorkerCount();
    QStringList inputs, options;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool valued = a == QLatin1String("--to") || a == QLatin1String("-j") || a == QLatin1String("--out-dir") ||
                            a == QLatin1String("--report");
        if (valued && i + 1 >= args.size())
            return UsageError(QStringLiteral("%1 needs a value").arg(a));
        if (a == QLatin1String("--to")) {
            to = args[++i].toLower();
            if (to.startsWith(QLatin1Char('.')))
                to.remove(0, 1);
            if (!kTargets.contains(to))
                return UsageError(QStringLiteral("--to must be one of mid, kdz, txt, wav, pdf, png"));
        } else if (a == QLatin1String("-j")) {
            bool ok = false;
            jobs = args[++i].toInt(&ok);
            if (!ok || jobs < 1 || jobs > 256)
                return UsageError(QStringLiteral("-j must be a number from 1 to 256"));
        } else if (a == QLatin1String("--out-dir")) {
            outDir = args[++i];
        } else if (a == QLatin1String("--report")) {
            reportPath = args[++i];
        } else if (a.startsWith(QLatin1String("-"))) {
            options << a;
        } else {
            inputs << a;
        }
    }
    for (const auto& hook : OptionHooks())
        hook(options);
    if (!options.isEmpty())
        return UsageError(QStringLiteral("unknown option %1").arg(options.first()));
    if (inputs.isEmpty())
        return UsageError(usage);
    if (!ConvertTargetExtensions().contains(QLatin1Char('.') + to) && CanHandOver())
        return HandOver();
    if (!outDir.isEmpty() && !QDir().mkpath(outDir))
        return Fail(QStringLiteral("%1: cannot make the folder").arg(outDir));

    std::vector<SBatchFile> files;
    QString error;
    if (!CollectBatch(inputs, outDir, to, &files, &error))
        return Fail(error);
    if (files.empty())
        return Fail(QStringLiteral("no tabs, .kdz or .mid files to convert in %1").arg(inputs.join(QLatin1Char(' '))));

    std::vector<int> pending;
    for (size_t i = 0; i < files.size(); ++i)
        if (files[i].status.isEmpty())
            pending.push_back(int(i));
    std::reverse(pending.begin(), pending.end()); // handed out from the back: in order
    const bool tty = ::isatty(STDERR_FILENO);
    size_t done = files.size() - pending.size();
    int failed = int(done);

    // Quick conversions are handed out several at a time, so a worker never waits for the
    // parent between files; slow ones one at a time, so the workers finish together.
    const size_t depth = (to == QLatin1String("mid") || to == QLatin1String("kdz") || to == QLatin1String("txt")) ? 8 : 1;
    std::vector<SWorker> workers(size_t(std::min<int>(jobs, int(std::max<size_t>(pending.size(), 1)))));
    const auto handOut = [&](SWorker& w) {
        while (w.tasks >= 0 && w.queued.size() < depth && !pending.empty()) {
            const int32_t index = pending.back();
            if (!WriteFully(w.tasks, &index, sizeof index))
                break;
            pending.pop_back();
            w.queued.push_back(index);
        }
        if (pending.empty())
            CloseTasks(w); // the worker ends when its queue is done
    };
    const auto record = [&](int index) {
        SBatchFile& f = files[size_t(index)];
        ++done;
        if (f.status != QLatin1String("converted"))
            ++failed;
        ShowProgress(tty, done, files.size(), failed, f.input);
    };
    for (SWorker& w : workers) {
        if (pending.empty())
            break;
        if (!StartWorker(w, files, workers))
            return Fail(QStringLiteral("cannot start a worker process: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        handOut(w);
    }
    while (true) {
        std::vector<pollfd> fds;
        std::vector<SWorker*> owners;
        for (SWorker& w : workers)
            if (w.results >= 0) {
                fds.push_back({w.results, POLLIN, 0});
                owners.push_back(&w);
            }
        if (fds.empty())
            break;
        if (::poll(fds.data(), nfds_t(fds.size()), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (size_t k = 0; k < fds.size(); ++k) {
            if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            SWorker& w = *owners[k];
            uint32_t size = 0;
            QByteArray json;
            bool ok = ReadFully(w.results, &size, sizeof size) && size < (64u << 20);
            if (ok) {
                json.resize(qsizetype(size));
                ok = ReadFully(w.results, json.data(), size_t(size));
            }
            if (!ok || w.queued.empty()) {
                // The worker has ended. With files still queued it stopped in the first of
                // them: that file fails, the others go to a new worker.
                const std::deque<int> queued = w.queued;
                const int status = StopWorker(w);
                if (queued.empty())
                    continue;
                SBatchFile& f = files[size_t(queued.front())];
                f.status = QStringLiteral("failed");
                f.message = WIFSIGNALED(status) ? QStringLiteral("the conversion crashed (signal %1)").arg(WTERMSIG(status))
                                                : QStringLiteral("the conversion stopped unexpectedly");
                record(queued.front());
                for (auto it = queued.rbegin(); it != std::prev(queued.rend()); ++it)
                    pending.push_back(*it);
                if (!pending.empty() && StartWorker(w, files, workers))
                    handOut(w);
                continue;
            }
            const int index = w.queued.front();
            w.queued.pop_front();
            const QJsonObject o = QJsonDocument::fromJson(json).object();
            SBatchFile& f = files[size_t(index)];
            f.status = o.value(QStringLiteral("status")).toString();
            f.bars = o.value(QStringLiteral("bars")).toInt();
            f.issues = o.value(QStringLiteral("issues")).toInt();
            f.message = o.value(QStringLiteral("message")).toString();
            record(index);
            handOut(w);
        }
    }
    for (SWorker& w : workers)
        StopWorker(w);
    if (tty)
        std::fprintf(stderr, "\n");

    QJsonArray list;
    for (const SBatchFile& f : files) {
        list.append(BatchFileJson(f));
        if (f.status != QLatin1String("converted"))
            std::fprintf(stderr, "kadenzo-cli: %s: %s\n", f.input.toLocal8Bit().constData(), f.message.toLocal8Bit().constData());
    }
    std::fprintf(stderr, "%zu of %zu files converted\n", files.size() - size_t(failed), files.size());
    if (!reportPath.isEmpty()) {
        QJsonObject report;
        report[QStringLiteral("files")] = list;
        report[QStringLiteral("converted")] = int(files.size()) - failed;
        report[QStringLiteral("failed")] = failed;
        if (!WriteFileAtomically(reportPath, QJsonDocument(report).toJson(QJsonDocument::Indented), &error))
            return Fail(QStringLiteral("%1: %2").arg(reportPath, error));
    }
    return failed == 0 ? 0 : 1;
}

CCommandRegistrar s_dump{"dump", "dump FILE\n"
                                 "      print the song (and its import report) as JSON\n"
                                 "      reads: song files; writes nothing",
                         CmdDump};
CCommandRegistrar s_new{"new", "new OUT.kdz\n"
                               "      write a new song (two empty 4/4 bars at 120 BPM)\n"
                               "      writes: .kdz",
                        CmdNew};
CCommandRegistrar s_convert{"convert", "convert IN OUT [--snap16] [--no-triplets] [--click] [--count-in]\n"
                                       "      convert a song by the files' extensions; OUT must not be IN\n"
                                       "      reads: song files; writes: .kdz .mid .txt .wav .png .pdf\n"
                                       "      --snap16          (MIDI input) snap notes to 16ths rather than 32nds\n"
                                       "      --no-triplets     (MIDI input) do not look for triplets\n"
                                       "      --click           (.mid, .wav output) a practice click on every beat\n"
                                       "      --count-in        (.mid, .wav output) one bar of clicks before the song\n"
                                       "convert --to mid|kdz|txt|wav|pdf|png [-j N] [--out-dir DIR] [--report OUT.json] INPUT...\n"
                                       "      convert many files; a folder gives its tabs, .kdz and .mid files\n"
                                       "      -j N              worker processes (default: one per core)\n"
                                       "      --out-dir DIR     write the converted files there (default: beside each input)\n"
                                       "      --report OUT.json per file: status, bars, import issue count and message",
                            CmdConvert};

// The practice click of MIDI and wave output; off unless asked for.
void TakeClickOptions(QStringList& options)
{
    for (auto it = options.begin(); it != options.end();) {
        if (*it == QLatin1String("--click"))
            ClickOptions().m_click = true;
        else if (*it == QLatin1String("--count-in"))
            ClickOptions().m_countIn = true;
        else {
            ++it;
            continue;
        }
        it = options.erase(it);
    }
}

CCommandRegistrar s_clickSetup{[] { AddConvertOptions(TakeClickOptions); }};
} // namespace
