#pragma once
// Copy, paste and delete on the song. Kadenzo's own clipboard data is the selected events in
// the archive format: a count, then each event's record as CEvent::Serialize writes it (8
// bytes, plus the text of a BAR that has one), no class tags. The model makes and reads these
// bytes only; the GUI puts them on the system clipboard under kKadenzoMimeType.
//
// Plain text cannot be pasted into a song directly: it is saved as a tab file in the
// sample-tab folder and then opened (imported) as a new document.

#include "songrange.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CRondelDoc;

inline constexpr const char* kKadenzoMimeType = "application/x-kadenzo";
inline constexpr const char* kNoNotesInRepeat =
    "A measure repeat plays the measures before it: notes cannot be added to it";
inline constexpr const char* kPasteDoesNotFit =
    "The pasted notes do not fit into this measure. Please paste them nearer its start";

// The clipboard bytes of the events in the span.
QByteArray CopyEvents(const SEventSpan& span);
// Reads clipboard bytes. False, with *error set, when they are damaged or hold something that
// is not a song event; *events is then empty.
bool ReadClipboardEvents(const QByteArray& bytes, std::vector<std::unique_ptr<CEvent>>* events, QString* error);

// The Paste command for Kadenzo data at the cursor `at`:
// - notes only: they keep their spacing, the first one lands on the cursor tick, and the
//   measure is put back into position order;
// - with measures: everything goes in front of the cursor's measure, behind a new plain 4/4
//   BAR when the data starts with notes.
// The song keeps its closing bar line, and the change is committed (undo step, views).
// Without a cursor the internal-problem report is shown and nothing changes. False when
// nothing was pasted (*error says why for damaged data).
bool PasteEvents(CRondelDoc& doc, const QByteArray& bytes, const std::optional<SInsertPoint>& at,
                 QString* error = nullptr);

// The Delete command on a resolved range: removes its events, clears playback markers on
// removed measures, keeps a BAR at the head and at the end of the song, and commits the
// change. Returns the number of measures removed. The caller puts the cursor back at the
// range's start.
int DeleteEvents(CRondelDoc& doc, const SEventSpan& span);
// The same without the commit, for callers that fix up more before the undo step.
int RemoveEvents(CRondelDoc& doc, const SEventSpan& span);

// After `delta` measures were removed (negative) or inserted (positive) just before measure
// `fromBar` (1-based, the first measure after the change): the first measure repeat within 8
// measures from there whose group reaches back over the change repeats as many measures more
// or fewer, so that it still repeats the same music. False, with nothing changed, when its
// group would become empty or too long; true otherwise (also when no repeat was concerned).
bool AdjustMeasureRepeat(CEventList& events, int fromBar, int delta);

namespace TextPaste {
inline constexpr const char* kQuestion =
    "To paste text you must first save it as a text file. Do you want to proceed?";
inline constexpr const char* kCannotCreate = "File could not be opened";
inline constexpr const char* kInitialName = "NewTab";
inline constexpr const char* kDefaultSuffix = "txt";
inline constexpr const char* kFilter = "Tab Files (*.txt);;All Files (*)";
}

// The plain-text Paste flow up to the file: asks kQuestion (no ends it), creates the
// sample-tab folder, lets chooseFile pick the file (given the folder; it returns an empty
// path for Cancel), and writes the text there line by line. Returns the path written, or an
// empty string when the user stopped or the file could not be written (kCannotCreate is then
// shown, followed by a line naming the file and the system's reason). The caller opens the path as a new document, which imports it.
QString SavePastedText(const QString& text, const std::function<QString(const QString& folder)>& chooseFile);
// The file contents SavePastedText writes: every line ended by a newline.
QByteArray PastedTextBytes(const QString& text);
