#pragma once
// The one way core code talks to the user. The desktop program shows dialogs, kadenzo-cli
// prints to stderr (and collects the texts for its JSON), tests record them. Core code never
// calls a widget.

#include <QString>
#include <QList>
#include <QStringList>

// How grave a message is: a dialog shows it as the icon, a recorder keeps it for tests.
enum class EReportKind { Information, Warning, Error };

class CUserReport
{
public:
    virtual ~CUserReport() = default;
    // A modal message with a fixed text; the operation goes on or stops as the caller decides.
    virtual void Message(const QString& text) = 0;
    // The same with its gravity: a warning when something was refused, repaired on the way or
    // looks doubtful; an error when something could not be done. Sinks that show no gravity
    // take it as a plain message.
    virtual void Notify(const QString& text, EReportKind kind)
    {
        (void)kind;
        Message(text);
    }
    void Warning(const QString& text) { Notify(text, EReportKind::Warning); }
    void Error(const QString& text) { Notify(text, EReportKind::Error); }
    // A yes/no question; returns true for yes.
    virtual bool Question(const QString& text) = 0;
    // "Kadenzo has encountered an internal problem at %s:%d" plus the request to report it.
    virtual void InternalProblem(const char* source, int line);

    static QString InternalProblemText(const char* source, int line);
};

// Prints messages to stderr and answers every question with the given default.
class CStderrReport : public CUserReport
{
public:
    explicit CStderrReport(bool answer = false) : m_answer(answer) {}
    void Message(const QString& text) override;
    bool Question(const QString& text) override;

private:
    bool m_answer;
};

// Keeps every text it is given; answers questions with m_answer. For tests and the CLI.
class CRecordingReport : public CUserReport
{
public:
    void Message(const QString& text) override { Notify(text, EReportKind::Information); }
    void Notify(const QString& text, EReportKind kind) override
    {
        m_messages << text;
        m_kinds << kind;
    }
    bool Question(const QString& text) override
    {
        m_questions << text;
        return m_answer;
    }
    QStringList m_messages;
    QList<EReportKind> m_kinds; // one per message
    QStringList m_questions;
    bool m_answer = false;
};

// The process-wide sink. Never null: a CStderrReport is used until someone installs another.
CUserReport& UserReport();
// Installs a sink (not owned) and returns the previous one; nullptr restores the default.
CUserReport* SetUserReport(CUserReport* report);

// Installs a sink for the lifetime of this object (tests, batch commands).
class CScopedUserReport
{
public:
    explicit CScopedUserReport(CUserReport* report) : m_previous(SetUserReport(report)) {}
    ~CScopedUserReport() { SetUserReport(m_previous); }
    CScopedUserReport(const CScopedUserReport&) = delete;
    CScopedUserReport& operator=(const CScopedUserReport&) = delete;

private:
    CUserReport* m_previous;
};

// Source names used in internal-problem reports.
namespace ReportSource {
inline constexpr const char* Event = "event";
inline constexpr const char* Import = "import";
inline constexpr const char* Midi = "midi";
inline constexpr const char* Misc = "misc";
inline constexpr const char* Track = "track";
inline constexpr const char* Rondel = "rondel";
inline constexpr const char* RondelDoc = "rondelDoc";
}

#define KADENZO_INTERNAL_PROBLEM(source) ::UserReport().InternalProblem((source), __LINE__)
