#include "report.h"

#include <cstdio>

namespace {
CStderrReport g_stderrReport;
CUserReport* g_report = nullptr;
}

QString CUserReport::InternalProblemText(const char* source, int line)
{
    return QStringLiteral("Kadenzo has encountered an internal problem at %1:%2\n"
                          "Please report this problem to Quillon, with the file you were working on.")
        .arg(QString::fromLatin1(source))
        .arg(line);
}

void CUserReport::InternalProblem(const char* source, int line)
{
    Error(InternalProblemText(source, line));
}

void CStderrReport::Message(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

bool CStderrReport::Question(const QString& text)
{
    std::fprintf(stderr, "%s [%s]\n", text.toLocal8Bit().constData(), m_answer ? "yes" : "no");
    return m_answer;
}

CUserReport& UserReport()
{
    return g_report ? *g_report : g_stderrReport;
}

CUserReport* SetUserReport(CUserReport* report)
{
    CUserReport* previous = g_report;
    g_report = report;
    return previous;
}
