#pragma once
// Writes a drum song as a plain-text tab that drummers can read and Kadenzo's importer reads
// back: header, credit line, staff blocks of at most ~100 columns (one column per 32nd note,
// or, in a measure those cannot carry, per step of the grid its notes need) with a count
// line, tempo and comment lines, measure-repeat marks, and a legend. Lines end with CR LF.
// Every note number is written as a drum key, whatever the track type.

#include <QByteArray>
#include <QString>

class CRondelDoc;

// The address named by the credit line.
inline constexpr const char* kKadenzoWebAddress = "https://kadenzo.org";

// The whole file as bytes.
QByteArray MakeTextTab(const CRondelDoc& doc);
// Writes MakeTextTab's bytes to path (temporary file, then rename). False, with *error set,
// when the file cannot be written; nothing is reported to the user here.
bool ExportTextTab(const CRondelDoc& doc, const QString& path, QString* error = nullptr);
