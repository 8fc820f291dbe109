#pragma once
// What the File menu's dialogs need to know about the document commands: when saving needs a
// second file choice, the names they start with, and their file filters (Qt syntax). Opening
// and saving themselves are CRondelDoc::OnOpenDocument and OnSaveDocument.

#include "rondeldoc.h"

#include <QString>

namespace DocCommands {

inline constexpr const char* kSaveFilter =
    "Kadenzo Files (*.kdz);;Text Tab Files (*.txt);;Midi Files (*.mid);;All Files (*)";
inline constexpr const char* kSaveSuffix = "kdz";
inline constexpr const char* kImportTabFilter = "Text Files (*.txt *.tab);;All Files (*)";
inline constexpr const char* kExportMidiFilter = "Midi Files (*.mid);;All Files (*)";
inline constexpr const char* kExportMidiSuffix = "mid";
inline constexpr const char* kExportTabFilter = "Tab Files (*.txt);;All Files (*)";
inline constexpr const char* kExportTabSuffix = "txt";
inline constexpr const char* kUnknownSaveFormat =
    "Save aborted, unknown save format. Please choose .kdz, .mid or .txt";

// Saving under any name other than a ".kdz" one first asks for the file (and its format).
inline bool SaveNeedsFileChoice(const QString& path)
{
    return DocFormats::ExtensionOf(path) != QLatin1String(".kdz");
}

// The name a save or export dialog starts with: the path without its last four characters
// (its extension), empty for a document never saved.
inline QString InitialFileName(const QString& path)
{
    return path.size() >= 4 ? path.chopped(4) : QString();
}

} // namespace DocCommands
