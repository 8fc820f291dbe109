#include "rondeldoc.h"

#include "archive.h"
#include "doccommands.h"
#include "report.h"
#include "safefile.h"
#include "songrange.h"
#include "textexport.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <algorithm>
#include <QStandardPaths>

namespace {
constexpr uint16_t kEventSchema = 2;

std::function<void(CRondelDoc&)>& TimingPass()
{
    static std::function<void(CRondelDoc&)> pass;
    return pass;
}

std::vector<std::function<void(CRondelDoc&)>>& PartFactories()
{
    static std::vector<std::function<void(CRondelDoc&)>> factories;
    return factories;
}

QMap<QString, DocFormats::OpenFn>& OpenFormats()
{
    static QMap<QString, DocFormats::OpenFn> formats;
    return formats;
}

QMap<QString, DocFormats::SaveFn>& SaveFormats()
{
    // The text tab writer lives in this library, so it is known from the start.
    static QMap<QString, DocFormats::SaveFn> formats{
        {QStringLiteral(".txt"),
         [](CRondelDoc& doc, const QString& path, QString* error) { return ExportTextTab(doc, path, error); }},
    };
    return formats;
}

void SetError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}
}

CRondelDoc::CRondelDoc()
    : m_pEvents(std::make_unique<CEventList>()),
      m_undo([this] { return SnapshotBytes(); }, [this](const QByteArray& bytes) { RestoreSnapshot(bytes); })
{
    ResetSettings();
}

CRondelDoc::~CRondelDoc()
{
    // Tools may look at the events while they go: destroy them first.
    m_pSelection.reset();
    m_pMidi.reset();
    m_pTrack.reset();
    m_pImport.reset();
}

void CRondelDoc::ResetSettings()
{
    m_sizeDoc[0] = 500;
    m_sizeDoc[1] = 2000;
    m_pImport.reset();
    m_bImported = 0;
    m_trackType = TrackType::Drums;
    m_songTempo = 120;
    m_audioSync = 0;
    m_bThreePartCounting = 0;
}

bool CRondelDoc::OnNewDocument()
{
    DeleteContents();
    ResetSettings();
    // A document object reused for a new song must not keep the old song's texts.
    for (QString& s : m_header)
        s.clear();
    m_audioFile.clear();
    m_importPath.clear();
    m_pathName.clear();
    AttachParts();
    AppendEvent(Events(), EventType::Bar | TempoBits(120), TimeSigWord(4, 4));
    AppendEvent(Events(), EventType::Bar, TimeSigWord(4, 4));
    m_undo.Clear();
    m_modified = false;
    RunTimingPass(*this);
    CheckPoint(false);
    return true;
}

void CRondelDoc::DeleteContents()
{
    m_pStartMarker = nullptr;
    m_pEndMarker = nullptr;
    m_pEvents->clear();
}

void CRondelDoc::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteU32(m_sizeDoc[0]);
        ar.WriteU32(m_sizeDoc[1]);
        for (const QString& s : m_header)
            ar.WriteString(s);
        ar.WriteU32(m_bThreePartCounting);
        ar.WriteString(m_audioFile);
        ar.WriteU16(m_songTempo);
        ar.WriteU16(m_audioSync);
        ar.WriteCount(uint32_t(m_pEvents->size()));
        for (auto& ev : *m_pEvents) {
            ar.WriteObjectTag("CEvent", kEventSchema);
            ev.Serialize(ar);
        }
        ar.WriteU32(0); // embedded item count
        return;
    }
    m_sizeDoc[0] = ar.ReadU32();
    m_sizeDoc[1] = ar.ReadU32();
    for (QString& s : m_header)
        s = ar.ReadString();
    m_bThreePartCounting = ar.ReadU32();
    m_audioFile = ar.ReadString();
    m_songTempo = ar.ReadU16();
    m_audioSync = ar.ReadU16();
    const uint32_t count = ar.ReadCount();
    // The count is not trusted for allocation: a damaged file runs out of bytes first.
    for (uint32_t i = 0; i < count; ++i) {
        ar.ReadObjectTag("CEvent", kEventSchema);
        auto ev = std::make_unique<CEvent>();
        ev->Serialize(ar);
        m_pEvents->push_back(std::move(ev));
    }
    ar.ReadU32(); // embedded item count
}

QByteArray CRondelDoc::SaveBytes()
{
    return SaveBytesWithRoom(0);
}

QByteArray CRondelDoc::SaveBytesWithRoom(qsizetype extra)
{
    // An event takes ten bytes (class reference, two words) and bar texts are few: with the
    // room reserved up front, a big song is written without the doubling growth that held
    // nearly twice its bytes at the peak. Whatever the texts add grows as usual.
    constexpr qsizetype kEventBytes = 10;
    constexpr qsizetype kHeaderBytes = 512;
    QByteArray bytes;
    bytes.reserve(qsizetype(m_pEvents->size()) * kEventBytes + kHeaderBytes + extra);
    CArchive ar(&bytes);
    Serialize(ar);
    return bytes;
}

bool CRondelDoc::LoadBytes(const QByteArray& bytes, QString* error)
{
    return ReadBytes(bytes, error, true);
}

bool CRondelDoc::ReadBytes(const QByteArray& bytes, QString* error, bool fixNewPageBits)
{
    CRondelDoc loaded;
    CArchive ar(bytes);
    try {
        loaded.Serialize(ar);
    } catch (const CArchiveException& e) {
        SetError(error, QStringLiteral("The file is damaged: %1.").arg(QString::fromStdString(e.what())));
        return false;
    }
    // More bar texts on new-page bars than on the others means an older writer used bit 11
    // for something else: clear it everywhere.
    if (fixNewPageBits && ar.m_textsOnNewPageBars > ar.m_textsOnOtherBars) {
        for (auto& ev : *loaded.m_pEvents)
            if (ev.IsBar())
                ev.m_word1 &= ~EventBits::NewPage;
    }
    SwapSavedContents(loaded);
    return true;
}

namespace {
constexpr char kLinksTag[4] = {'K', 'Z', 'U', 'S'};

void PutU32(QByteArray& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.append(char(v >> (8 * i)));
}

uint32_t GetU32(const QByteArray& in, qsizetype at)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= uint32_t(uint8_t(in[at + i])) << (8 * i);
    return v;
}
}

QByteArray CRondelDoc::SnapshotBytes()
{
    // The trailer: one import link per event, their count, the measure ordinals of the two
    // playback markers (0 for none), and a tag.
    const qsizetype trailer = qsizetype(m_pEvents->size()) * 4 + 16;
    QByteArray bytes = SaveBytesWithRoom(trailer);
    bytes.reserve(bytes.size() + trailer);
    int measure = 0;
    uint32_t start = 0;
    uint32_t end = 0;
    for (const auto& ev : *m_pEvents) {
        PutU32(bytes, ev.GetImportRef());
        if (ev.IsMeasure()) {
            ++measure;
            if (&ev == m_pStartMarker)
                start = uint32_t(measure);
            if (&ev == m_pEndMarker)
                end = uint32_t(measure);
        }
    }
    PutU32(bytes, uint32_t(m_pEvents->size()));
    PutU32(bytes, start);
    PutU32(bytes, end);
    bytes.append(kLinksTag, 4);
    return bytes;
}

void CRondelDoc::RestoreSnapshot(const QByteArray& snapshot)
{
    QByteArray bytes = snapshot;
    std::vector<uint32_t> links;
    uint32_t start = 0;
    uint32_t end = 0;
    bool haveTrailer = false;
    if (bytes.size() >= 16 && bytes.endsWith(QByteArray(kLinksTag, 4))) {
        const uint32_t count = GetU32(bytes, bytes.size() - 16);
        const qsizetype linkBytes = qsizetype(count) * 4;
        if (linkBytes <= bytes.size() - 16) {
            start = GetU32(bytes, bytes.size() - 12);
            end = GetU32(bytes, bytes.size() - 8);
            const qsizetype first = bytes.size() - 16 - linkBytes;
            links.reserve(count);
            for (uint32_t i = 0; i < count; ++i)
                links.push_back(GetU32(bytes, first + qsizetype(i) * 4));
            bytes.truncate(first);
            haveTrailer = true;
        }
    }
    // A snapshot is a file image but not an opened file: the new-page repair does not apply.
    if (!ReadBytes(bytes, nullptr, false)) {
        KADENZO_INTERNAL_PROBLEM(ReportSource::RondelDoc);
        return;
    }
    if (!haveTrailer)
        return;
    size_t i = 0;
    int measure = 0;
    const bool linksFit = links.size() == m_pEvents->size();
    for (auto& ev : *m_pEvents) {
        if (linksFit)
            ev.SetImportRef(links[i++]);
        if (ev.IsMeasure()) {
            ++measure;
            if (uint32_t(measure) == start)
                m_pStartMarker = &ev;
            if (uint32_t(measure) == end)
                m_pEndMarker = &ev;
        }
    }
}

void CRondelDoc::MarkersChanged()
{
    // Markers are not an edit: the current snapshot takes them without an undo step.
    if (m_undo.Current())
        m_undo.ReplaceCurrent(SnapshotBytes());
}

void CRondelDoc::SwapSavedContents(CRondelDoc& other)
{
    // The markers point into the events that leave.
    m_pStartMarker = nullptr;
    m_pEndMarker = nullptr;
    std::swap(m_pEvents, other.m_pEvents);
    std::swap(m_sizeDoc, other.m_sizeDoc);
    std::swap(m_header, other.m_header);
    std::swap(m_bThreePartCounting, other.m_bThreePartCounting);
    std::swap(m_audioFile, other.m_audioFile);
    std::swap(m_songTempo, other.m_songTempo);
    std::swap(m_audioSync, other.m_audioSync);
}

bool CRondelDoc::OnOpenDocument(const QString& path, QString* error)
{
    // Everything is read into a fresh document first, so a failed open leaves this one as it
    // was.
    const QString ext = DocFormats::ExtensionOf(path);
    // A folder, a FIFO or a device would be read until memory runs out; a song file of more
    // than the cap is not a song a person wrote.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        SetError(error, info.isDir() ? QStringLiteral("Cannot open \"%1\": it is a folder, not a song file.").arg(path)
                                     : QStringLiteral("Cannot open \"%1\": it is not a regular file (a device or a pipe).").arg(path));
        return false;
    }
    if (info.size() > DocFormats::kMaxSongFileBytes) {
        SetError(error, QStringLiteral("Cannot open \"%1\": the file is %2 MB; Kadenzo opens song files of up to %3 MB")
                            .arg(path).arg((info.size() + (1 << 20) - 1) >> 20).arg(DocFormats::kMaxSongFileBytes >> 20));
        return false;
    }
    CRondelDoc fresh;
    fresh.m_pathName = path;
    if (ext == QLatin1String(".kdz")) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            SetError(error, QStringLiteral("Cannot open \"%1\": %2").arg(path, file.errorString()));
            return false;
        }
        QString why;
        if (!fresh.LoadBytes(file.readAll(), &why)) {
            SetError(error, QStringLiteral("Cannot read \"%1\". %2").arg(path, why));
            return false;
        }
    } else if (const DocFormats::OpenFn* open = DocFormats::FindOpen(ext)) {
        if (!(*open)(fresh, path, error))
            return false;
    } else {
        SetError(error, QString()); // unknown extensions fail without a message
        return false;
    }
    if (fresh.m_pEvents->empty()) {
        SetError(error, QStringLiteral("\"%1\" holds no song.").arg(path));
        return false;
    }
    SwapSavedContents(fresh);
    std::swap(m_pImport, fresh.m_pImport);
    m_bImported = fresh.m_bImported;
    m_trackType = fresh.m_trackType;
    m_importPath = fresh.m_importPath;
    if (!FinishOpen(error))
        return false;
    m_pathName = path;
    return true;
}

void SortNotesByPosition(CEventList& events)
{
    // Renderer, layout and editing all walk a measure's notes in position order; a file that
    // lists them otherwise (damaged, or written by hand) is put in order once, here.
    auto measureEnd = [&](EventPos from) {
        return std::find_if(from, events.end(), [](const auto& ev) { return ev.IsMeasure(); });
    };
    for (EventPos it = events.begin(); it != events.end();) {
        EventPos notes = it->IsMeasure() ? std::next(it) : it;
        EventPos end = measureEnd(notes);
        if (!std::is_sorted(notes, end, [](const auto& a, const auto& b) { return a.GetPosition() < b.GetPosition(); })) {
            CEventList run;
            run.splice(run.begin(), events, notes, end);
            run.sort([](const auto& a, const auto& b) { return a.GetPosition() < b.GetPosition(); });
            events.splice(end, run);
        }
        it = end;
    }
}

bool CRondelDoc::FinishOpen(QString* error)
{
    CEventList& events = Events();
    if (events.empty()) {
        SetError(error, QStringLiteral("The file holds no song."));
        return false;
    }
    if (!events.back().IsBar())
        AppendEvent(events, EventType::Bar, TimeSigWord(4, 4));
    // The first-bar fix-ups below write bar fields: a song that starts with a note (only a
    // damaged or foreign file does) gets its opening bar line first.
    if (!events.front().IsMeasure())
        events.push_front(std::make_unique<CEvent>(EventType::Bar, TimeSigWord(4, 4)));
    SortNotesByPosition(events);
    CEvent& first = events.front();
    if (first.GetTempo() == 0) {
        // The tempo field holds 1 to 255; a damaged file may carry any song tempo.
        const uint32_t tempo = m_songTempo == 0 ? 120 : std::min<uint32_t>(m_songTempo, 255);
        first.m_word1 = (first.m_word1 & ~EventBits::TempoMask) | TempoBits(tempo);
    }
    if (!(first.m_word1 & EventBits::PatchPresent)) {
        if (m_trackType >= TrackType::Bass4 && m_trackType <= TrackType::Bass6)
            first.m_word1 = (first.m_word1 & ~EventBits::PatchMask) | PatchBits(33);
        else if (m_trackType == TrackType::Guitar6 || m_trackType == TrackType::Guitar7)
            first.m_word1 = (first.m_word1 & ~EventBits::PatchMask) | PatchBits(27);
    }
    AttachParts();
    NotifyEventsReloaded();
    m_undo.Clear(); // the history of what this document held before is not this song's
    RunTimingPass(*this); // it may correct the song: the first snapshot holds the result
    CheckPoint(true); // a freshly opened document counts as changed
    return true;
}

void CRondelDoc::CheckPoint(bool markModified)
{
    m_undo.CheckPoint();
    if (markModified)
        m_modified = true;
}

bool CRondelDoc::CommitEdit(bool markModified)
{
    // The timing pass may correct the song (a repeat that would never end): the snapshot
    // must hold the corrected song, or undo would bring the error back.
    RunTimingPass(*this);
    bool changed = true;
    if (!m_undo.IsSuspended())
        if (const QByteArray* current = m_undo.Current())
            changed = *current != SnapshotBytes();
    if (changed)
        CheckPoint(markModified);
    NotifyViews();
    return changed;
}

bool CRondelDoc::Undo() { return UndoOrRedo(true); }
bool CRondelDoc::Redo() { return UndoOrRedo(false); }

bool CRondelDoc::UndoOrRedo(bool undo)
{
    if (undo ? !m_undo.CanUndo() : !m_undo.CanRedo())
        return false;
    // The reload destroys every event the markers point at. A snapshot that recorded markers
    // brings them back on the measures they marked then; a marker it does not know stays on
    // the same BAR ordinal (cleared when that bar no longer exists).
    const int start = BarOrdinal(Events(), m_pStartMarker);
    const int end = BarOrdinal(Events(), m_pEndMarker);
    if (undo)
        m_undo.Undo();
    else
        m_undo.Redo();
    if (!m_pStartMarker)
        m_pStartMarker = BarAtOrdinal(Events(), start);
    if (!m_pEndMarker)
        m_pEndMarker = BarAtOrdinal(Events(), end);
    NotifyEventsReloaded();
    UpdateAllViews();
    return true;
}

std::unique_ptr<CEventList> CRondelDoc::ReplaceEvents(std::unique_ptr<CEventList> events)
{
    m_pStartMarker = nullptr;
    m_pEndMarker = nullptr;
    std::swap(m_pEvents, events);
    NotifyEventsReloaded();
    return events;
}

void CRondelDoc::ForgetMarkersAt(const CEvent* ev)
{
    if (m_pStartMarker == ev)
        m_pStartMarker = nullptr;
    if (m_pEndMarker == ev)
        m_pEndMarker = nullptr;
}

void CRondelDoc::NotifyEventsReloaded()
{
    for (CDocPart* part : {m_pImport.get(), m_pTrack.get(), m_pMidi.get(), m_pSelection.get()})
        if (part)
            part->OnEventsReloaded();
}

bool CRondelDoc::OnSaveDocument(const QString& path, QString* error)
{
    const QString ext = DocFormats::ExtensionOf(path);
    if (ext == QLatin1String(".kdz")) {
        // Written to the temporary file as it is made: a big song's bytes are never held whole.
        CSafeFile file(path);
        if (!file.Open(error))
            return false;
        CArchive ar(&file);
        Serialize(ar);
        ar.Flush();
        if (!file.Commit(error))
            return false;
        m_pathName = path;
        m_modified = false;
        return true;
    }
    if (const DocFormats::SaveFn* save = DocFormats::FindSave(ext))
        return (*save)(*this, path, error);
    SetError(error, QString::fromLatin1(DocCommands::kUnknownSaveFormat));
    return false;
}

int CRondelDoc::AddListener(Listener listener)
{
    m_listeners.emplace_back(m_nextListener, std::move(listener));
    return m_nextListener++;
}

void CRondelDoc::RemoveListener(int id)
{
    std::erase_if(m_listeners, [id](const auto& l) { return l.first == id; });
}

void CRondelDoc::UpdateAllViews()
{
    RunTimingPass(*this);
    NotifyViews();
}

void CRondelDoc::NotifyViews()
{
    const auto listeners = m_listeners; // a listener may remove itself
    for (const auto& l : listeners)
        l.second(*this);
}

void CRondelDoc::SetTimingPass(std::function<void(CRondelDoc&)> pass)
{
    TimingPass() = std::move(pass);
}

void CRondelDoc::RunTimingPass(CRondelDoc& doc)
{
    if (TimingPass())
        TimingPass()(doc);
}

void CRondelDoc::AddPartFactory(std::function<void(CRondelDoc&)> factory)
{
    PartFactories().push_back(std::move(factory));
}

void CRondelDoc::AttachParts()
{
    for (const auto& factory : PartFactories())
        factory(*this);
}

namespace DocFormats {

void RegisterOpen(const QString& ext, OpenFn fn) { OpenFormats().insert(ext.toLower(), std::move(fn)); }
void RegisterSave(const QString& ext, SaveFn fn) { SaveFormats().insert(ext.toLower(), std::move(fn)); }

const OpenFn* FindOpen(const QString& ext)
{
    auto it = OpenFormats().constFind(ext.toLower());
    return it == OpenFormats().constEnd() ? nullptr : &it.value();
}

const SaveFn* FindSave(const QString& ext)
{
    auto it = SaveFormats().constFind(ext.toLower());
    return it == SaveFormats().constEnd() ? nullptr : &it.value();
}

QStringList OpenExtensions() { return OpenFormats().keys(); }
QStringList SaveExtensions() { return SaveFormats().keys(); }

QString ExtensionOf(const QString& path)
{
    return path.right(4).toLower();
}
}

QString SampleTabFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QStringLiteral("/Tabs/");
}
