#pragma once
// The document: one song. Owns the event list, the header texts, the song-wide settings and,
// through CDocPart slots, the tools the upper layers attach (track, player, importer,
// selection). The data and the ".kdz" format below never depend on those tools.

#include "event.h"
#include "undohistory.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class CArchive;

// A per-document tool owned by the document; upper layers derive from it.
class CDocPart
{
public:
    virtual ~CDocPart() = default;
    // Every event was destroyed and the song loaded again (undo, redo): drop any list
    // position or event pointer you hold.
    virtual void OnEventsReloaded() {}
};

namespace TrackType {
inline constexpr uint32_t Drums = 10;
inline constexpr uint32_t Bass4 = 20;
inline constexpr uint32_t Bass5 = 21;
inline constexpr uint32_t Bass6 = 22;
inline constexpr uint32_t Guitar6 = 30;
inline constexpr uint32_t Guitar7 = 31;
}

namespace Header {
enum Index {
    Song = 0,
    Band = 1,
    Album = 2,
    Year = 3,
    TrackNo = 4,
    Duration = 5,
    Copyright = 6,
    MusicBy = 7,
    LyricsBy = 8,
    Drummer = 9,
    Tabber = 10,
    Count = 15,
};
}

class CRondelDoc
{
public:
    CRondelDoc();
    ~CRondelDoc();
    CRondelDoc(const CRondelDoc&) = delete;
    CRondelDoc& operator=(const CRondelDoc&) = delete;

    // Two 4/4 bars, the first at tempo 120.
    bool OnNewDocument();
    // Opens by extension (".kdz" here; ".txt", ".tab", ".mid" through the registered formats).
    // On failure the document keeps what it had and *error says why (may be empty when the
    // format fails silently).
    bool OnOpenDocument(const QString& path, QString* error = nullptr);
    // ".kdz" by Serialize, other extensions through the registered formats. Never leaves a
    // half-written file.
    bool OnSaveDocument(const QString& path, QString* error = nullptr);

    void Serialize(CArchive& ar);
    // Removes every event; header and settings stay.
    void DeleteContents();
    void ResetSettings();

    // The whole document as ".kdz" bytes, and back. LoadBytes leaves the document untouched
    // when the bytes are damaged.
    QByteArray SaveBytes();
    // The same bytes with room for `extra` more reserved after them.
    QByteArray SaveBytesWithRoom(qsizetype extra);
    bool LoadBytes(const QByteArray& bytes, QString* error);

    // The fix-ups every successful open ends with: closing bar, first-bar tempo and patch,
    // tools, undo snapshot, modified. False when the song is empty.
    bool FinishOpen(QString* error);

    // The one path every change to the song takes, called after the edit and its fix-ups:
    // timing pass (which may correct the song), undo check point, modified mark (unless
    // markModified is false), views. An edit that left the document as it was takes no undo
    // step and leaves the modified mark alone; returns whether anything changed.
    bool CommitEdit(bool markModified = true);
    // Takes an undo check point (skipped while suspended) and marks the document modified
    // when asked, even when the snapshot was skipped.
    void CheckPoint(bool markModified);
    bool CanUndo() const { return m_undo.CanUndo(); }
    bool CanRedo() const { return m_undo.CanRedo(); }
    // The Undo and Redo commands: the song, its import links and the playback markers come
    // back as they were at that step, the tools are told that the events were reloaded, and
    // the views are updated.
    bool Undo();
    bool Redo();
    CUndoHistory& UndoHistory() { return m_undo; }
    // Puts a whole new event list in place of the song (a conversion of the imported text
    // with other options): the markers are cleared and the tools told, as after an undo.
    // Commit with CommitEdit afterwards; returns the list that left.
    std::unique_ptr<CEventList> ReplaceEvents(std::unique_ptr<CEventList> events);
    // Call after setting or clearing a playback marker: undo and redo keep it.
    void MarkersChanged();
    // Clears a playback marker that points at `ev` (call before destroying a measure).
    void ForgetMarkersAt(const CEvent* ev);

    // Change notification: views and tools register here; the timing pass runs first.
    using Listener = std::function<void(CRondelDoc&)>;
    int AddListener(Listener listener);
    void RemoveListener(int id);
    void UpdateAllViews();
    // The listeners only, without a timing pass.
    void NotifyViews();
    void SetModifiedFlag(bool modified = true) { m_modified = modified; }
    bool IsModified() const { return m_modified; }

    // Process-wide hooks set by the upper layers.
    static void SetTimingPass(std::function<void(CRondelDoc&)> pass);
    static void RunTimingPass(CRondelDoc& doc);
    // Called after a new song is made or a file is opened: attaches track, player, ...
    static void AddPartFactory(std::function<void(CRondelDoc&)> factory);

    CEventList& Events() { return *m_pEvents; }
    const CEventList& Events() const { return *m_pEvents; }

    std::unique_ptr<CEventList> m_pEvents;
    std::unique_ptr<CDocPart> m_pImport;
    std::unique_ptr<CDocPart> m_pTrack;
    std::unique_ptr<CDocPart> m_pMidi;
    std::unique_ptr<CDocPart> m_pSelection;
    // Playback start and end markers: BAR events of the song, or nullptr when not set.
    CEvent* m_pStartMarker = nullptr;
    CEvent* m_pEndMarker = nullptr;
    uint32_t m_bImported = 0;
    uint32_t m_sizeDoc[2] = {500, 2000};
    uint32_t m_trackType = TrackType::Drums;
    std::array<QString, Header::Count> m_header;
    uint32_t m_bThreePartCounting = 0;
    QString m_audioFile;
    uint16_t m_songTempo = 120;
    uint16_t m_audioSync = 0; // 10 ms units
    QString m_importPath;
    int32_t m_waveZoom = 1;

    QString m_pathName; // where the document was opened from or last saved as ".kdz"
    QString m_title;

private:
    bool ReadBytes(const QByteArray& bytes, QString* error, bool fixNewPageBits);
    void RestoreSnapshot(const QByteArray& bytes);
    // An undo snapshot: the ".kdz" bytes followed by the import links, which the file does not
    // keep (the import panes find their rows through them).
    QByteArray SnapshotBytes();
    bool UndoOrRedo(bool undo);
    void SwapSavedContents(CRondelDoc& other);
    void AttachParts();
    void NotifyEventsReloaded();

    CUndoHistory m_undo;

    bool m_modified = false;
    std::vector<std::pair<int, Listener>> m_listeners;
    int m_nextListener = 1;
};

// Other file formats, registered by the layers that read and write them.
namespace DocFormats {
// Fills an empty, freshly prepared document from the file; false fails the open.
using OpenFn = std::function<bool(CRondelDoc& doc, const QString& path, QString* error)>;
// Writes the document to the file (a temporary file then rename is the writer's job).
using SaveFn = std::function<bool(CRondelDoc& doc, const QString& path, QString* error)>;
// ext with its dot, lower case: ".txt".
void RegisterOpen(const QString& ext, OpenFn fn);
void RegisterSave(const QString& ext, SaveFn fn);
const OpenFn* FindOpen(const QString& ext);
const SaveFn* FindSave(const QString& ext);
// The registered extensions (with their dots, sorted), ".kdz" not included.
QStringList OpenExtensions();
QStringList SaveExtensions();
// The last four characters of the path, lower case.
QString ExtensionOf(const QString& path);
// The largest file the document opens (any format); larger ones fail with a message.
inline constexpr qint64 kMaxSongFileBytes = qint64(64) << 20;
}

// Puts the notes and rests of every measure in ascending position (a stable sort).
void SortNotesByPosition(CEventList& events);

// Writes bytes to path through a temporary file and a rename.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error);

// The sample-tab folder: the user's documents folder followed by "/Tabs/".
QString SampleTabFolder();
