#include "autosave.h"

#include "mainframe.h"
#include "report.h"
#include "rondeldoc.h"
#include "rondelview.h"

#include <QFileInfo>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <memory>

CAppAutosave::CAppAutosave(CMainFrame& frame) : m_frame(frame), m_saver([&frame] { return OpenDocuments(frame); })
{
    m_saver.SetIntervalMinutes(CAutosaver::MinutesFromSettings());
}

CAppAutosave::~CAppAutosave()
{
    m_saver.RemoveAll();
}

std::vector<CRondelDoc*> CAppAutosave::OpenDocuments(const CMainFrame& frame)
{
    std::vector<CRondelDoc*> docs;
    for (QMdiSubWindow* sub : frame.MdiArea()->subWindowList())
        if (sub->widget())
            if (auto* view = sub->widget()->findChild<CRondelView*>())
                docs.push_back(&view->Doc());
    return docs;
}

int CAppAutosave::OfferRecovery()
{
    const std::vector<SAutosaveEntry> entries = CAutosaver::RecoveryList();
    if (entries.empty())
        return 0;
    QString list;
    for (const SAutosaveEntry& e : entries) {
        const QString name = e.m_originalPath.isEmpty() ? e.m_title : QFileInfo(e.m_originalPath).fileName();
        list += QStringLiteral("\n    %1 (%2)").arg(name, QLocale().toString(e.m_savedAt.toLocalTime(), QLocale::ShortFormat));
    }
    const QString question =
        QStringLiteral("Kadenzo was not closed properly, and these songs had changes that were not saved:%1\n\n"
                       "Recover them? (No throws the changes away.)")
            .arg(list);
    if (!UserReport().Question(question)) {
        for (const SAutosaveEntry& e : entries)
            CAutosaver::Discard(e);
        return 0;
    }
    int opened = 0;
    for (const SAutosaveEntry& e : entries) {
        auto doc = std::make_unique<CRondelDoc>();
        QString error;
        if (!CAutosaver::Recover(e, *doc, &error)) {
            UserReport().Error(QStringLiteral("The autosaved copy of %1 could not be read. %2").arg(e.m_title, error));
            continue;
        }
        m_frame.AdoptDocument(std::move(doc));
        ++opened;
    }
    return opened;
}
