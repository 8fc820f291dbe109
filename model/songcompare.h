#pragma once
// The test-mode comparison of an imported text tab with a song file saved from it earlier: a
// development aid that shows the first place where the import now differs.

#include "event.h"

#include <QString>

#include <vector>

class CRondelDoc;

struct SCompareOptions
{
    bool m_rests = true;        // compare rests as well as notes
    bool m_triplets = true;     // compare the triplet flag
    bool m_repeatFields = true; // compare repeat-group fields and measure-repeat N and count
};

// The first difference between two songs; m_differ is false when they match.
struct SSongDifference
{
    bool m_differ = false;
    bool m_inBar = false; // a measure opener differed (else a note or rest)
    QString m_field;      // the accessor whose result differed: "GetEventType", "IsAccent", ...
    int m_bar = 0;
    int m_tick = 0;
    // "BAR match failed type(%s) at bar(%d)" or "NOTE match failed type(%s) at bar(%d) tick(%d)".
    QString Message() const;
};

// Compares measure by measure: for openers the type, time signature and repeat fields; for
// the notes (and rests) of a measure the type and marks at the same tick. The notes of one
// measure are compared in (tick, type) order, since a chord may list its drums in any order.
SSongDifference CompareSongs(const CEventList& song, const CEventList& reference,
                             const SCompareOptions& options = {});

enum class ECompareResult { Match, Differ, CannotCompare };
// The "Compare .txt to .kdz (test mode)" command on a document opened from a ".txt" file:
// loads the ".kdz" of the same name and shows the first difference (or why it cannot compare)
// through the user report. *message receives the text shown (empty on a match).
ECompareResult CompareWithSongFile(const CRondelDoc& doc, QString* message = nullptr);

// "Auto compare all": every "*.kdz" in the folder whose ".txt" of the same name exists is
// imported and compared. One entry per song file, in name order.
struct SCompareEntry
{
    QString m_kdzPath;
    ECompareResult m_result = ECompareResult::CannotCompare;
    QString m_message;
};
std::vector<SCompareEntry> CompareAllInFolder(const QString& folder);

inline constexpr const char* kCompareOnlyTxt = "Can only compare .txt file as input";
