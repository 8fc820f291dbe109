#pragma once
// Autosave and crash recovery. Every few minutes the changed documents are copied, as ".kdz"
// bytes, into the user's data folder (QStandardPaths::AppLocalDataLocation + "/autosave");
// the user's own file is never written. Beside each copy a small JSON file says where the
// song came from. A clean close removes this process's copies, so whatever is found there at
// the next start was left by a crash, a kill or a power cut, and is offered for recovery.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>
#include <vector>

class CRondelDoc;

// One copy left by an earlier run.
struct SAutosaveEntry
{
    QString m_copyPath;     // the ".kdz" copy in the autosave folder
    QString m_originalPath; // the file the song was opened from or saved to; empty: untitled
    QString m_title;        // its window title at the time
    QDateTime m_savedAt;
};

class CAutosaver : public QObject
{
public:
    static constexpr int kDefaultMinutes = 2;
    // The documents open now (not owned); asked at every autosave.
    using DocumentList = std::function<std::vector<CRondelDoc*>()>;
    explicit CAutosaver(DocumentList documents, QObject* parent = nullptr);
    // Leaves the copies in place: only RemoveAll() (a clean close) takes them away.
    ~CAutosaver() override;

    // The interval of the timer; 0 or less switches autosave off.
    void SetIntervalMinutes(int minutes);
    // The "autosave minutes" setting, or kDefaultMinutes when it is not set or not a number.
    static int MinutesFromSettings();

    // Copies every changed document whose song differs from its last copy, and removes the
    // copies of documents that were saved or closed since. Returns the number written; a copy
    // that cannot be written is reported once through UserReport().
    int SaveNow();
    // The clean close: removes every copy this autosaver made.
    void RemoveAll();

    static QString Folder();
    // Copies left by runs that have ended (copies of a Kadenzo still running are not listed),
    // newest first.
    static std::vector<SAutosaveEntry> RecoveryList();
    // Reads a copy into doc: the song as it was, marked changed, under its original path and
    // title (untitled when it had none). The copy itself is removed once read.
    static bool Recover(const SAutosaveEntry& entry, CRondelDoc& doc, QString* error = nullptr);
    // Throws a copy away.
    static void Discard(const SAutosaveEntry& entry);

private:
    struct SCopy
    {
        QString m_base; // folder + "/<pid>-<n>", without extension
        size_t m_hash = 0;
    };
    void Remove(const SCopy& copy);

    DocumentList m_documents;
    QTimer m_timer;
    std::map<const CRondelDoc*, SCopy> m_copies;
    int m_next = 1;
    bool m_failureReported = false;
};
