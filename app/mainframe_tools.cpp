// The Tools menu of the main window: the Import sheet, the practice tools (BPM counter, auto
// tempo), the volume and notation dialogs and the test-mode comparisons.
#include "mainframe.h"

#include "importsheet.h"
#include "layoutdialogs.h"
#include "panes.h"
#include "player.h"
#include "playclock.h"
#include "report.h"
#include "rondeldoc.h"
#include "rondelview.h"
#include "songcompare.h"
#include "trackrenderer.h"
#include "transportbar.h"
#include "volumedialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

namespace {
std::vector<CRondelView*> ViewsOf(QMdiArea* mdi, CRondelDoc* doc)
{
    std::vector<CRondelView*> views;
    for (QMdiSubWindow* sub : mdi->subWindowList())
        if (QWidget* w = sub->widget())
            for (CRondelView* v : w->findChildren<CRondelView*>())
                if (!doc || &v->Doc() == doc)
                    views.push_back(v);
    return views;
}
}

void CMainFrame::CreateToolsMenu()
{
    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    tools->setObjectName(QStringLiteral("ToolsMenu"));
    tools->addAction(QStringLiteral("Import properties..."), this, &CMainFrame::OnImportSheet);
    tools->addSeparator();
    tools->addAction(QStringLiteral("BPM (tempo) Counter..."), this, &CMainFrame::OnBpmCounter);
    tools->addAction(QStringLiteral("Auto tempo..."), this, &CMainFrame::OnAutoTempo);
    tools->addAction(QStringLiteral("Drum volume and flam gap..."), this, &CMainFrame::OnDrumVolume);
    tools->addAction(QStringLiteral("Guitar volume..."), this, &CMainFrame::OnGuitarVolume);
    tools->addSeparator();
    tools->addAction(QStringLiteral("Drum layout ..."), this, &CMainFrame::OnDrumLayout);
    tools->addAction(QStringLiteral("Display/Print Configuration ..."), this, &CMainFrame::OnDisplayConfig);
    tools->addAction(QStringLiteral("Drum Tab Configuration ..."), this, &CMainFrame::OnTabStaffFormat);
    tools->addSeparator();
    tools->addAction(QStringLiteral("Compare .txt to .kdz (test mode)"), this, &CMainFrame::OnCompare);
    tools->addAction(QStringLiteral("Auto compare all (test mode)"), this, &CMainFrame::OnCompareAll);

    connect(m_transport, &CTransportBar::AutoTempo, this, &CMainFrame::OnAutoTempo);
    // The import panes read the document's importer, which a conversion with other options
    // (or the undo of one) replaces: they follow every change of the active document.
    connect(this, &CMainFrame::DocumentOpened, this, [this](CRondelDoc* doc) {
        if (!ImportRework::ImporterOf(*doc))
            return;
        ImportRework::Watch(*doc);
        doc->AddListener([this, doc](CRondelDoc&) {
            if (doc != m_pActiveDoc)
                return;
            m_index->Fill();
            m_issues->Fill();
        });
        // The sheet shows how the tab was read; it opens beside the song without taking the
        // keyboard from it.
        if (doc == m_pActiveDoc)
            ShowImportSheet(*doc, false);
    });
}

CImportSheet* CMainFrame::ImportSheet() const
{
    return m_importSheet;
}

void CMainFrame::CloseToolWindowsFor(CRondelDoc* doc)
{
    // The sheet holds the document: it goes with it.
    if (m_importSheet && &m_importSheet->Doc() == doc)
        delete m_importSheet;
}

void CMainFrame::RepaintViews(CRondelDoc* doc)
{
    for (CRondelView* v : ViewsOf(m_mdi, doc)) {
        v->SetSupersize(DisplayConfig().IsSupersize());
        v->Relayout();
        v->viewport()->update();
    }
}

void CMainFrame::OnImportSheet()
{
    CRondelDoc* doc = ActiveDocument();
    if (!doc)
        return;
    if (!ImportRework::ImporterOf(*doc)) {
        statusBar()->showMessage(QStringLiteral("This song was not imported from a text tab"));
        return;
    }
    ShowImportSheet(*doc, true);
}

void CMainFrame::ShowImportSheet(CRondelDoc& doc, bool activate)
{
    // One sheet, over one document.
    if (CImportSheet* open = ImportSheet()) {
        if (&open->Doc() == &doc) {
            open->raise();
            if (activate)
                open->activateWindow();
            return;
        }
        delete open;
    }
    auto* sheet = new CImportSheet(doc, this);
    m_importSheet = sheet;
    CRondelDoc* raw = &doc;
    connect(sheet, &CImportSheet::AudioFileChanged, this, [this, raw] {
        if (raw == m_pActiveDoc)
            ReloadAudio();
    });
    sheet->setAttribute(Qt::WA_ShowWithoutActivating, !activate);
    sheet->show();
}

void CMainFrame::OnBpmCounter()
{
    CBpmCounter dlg(this);
    dlg.exec();
}

void CMainFrame::OnAutoTempo()
{
    m_autoTempo.m_on = false;
    CAutoTempoDialog dlg(m_autoTempo, [this] { return m_transport->DefaultTempo(); }, this);
    if (dlg.exec() != QDialog::Accepted) {
        // As DTEMPO: off, and the song's own tempo again.
        m_transport->SetCurrentTempo(0);
        return;
    }
    m_autoTempo = dlg.Settings();
    m_autoTempo.m_on = true;
}

void CMainFrame::StartAutoTempo()
{
    if (!m_autoTempo.m_on)
        return;
    m_autoTempoClock.Start(PlayClock::NowMsecs());
    m_transport->SetCurrentTempo(m_autoTempo.m_startBpm);
}

void CMainFrame::ApplyAutoTempo()
{
    CPlayer* player = ActivePlayer();
    if (!player)
        return;
    // Play time, not the wall clock: paused stretches do not count.
    m_autoTempoClock.Poll(PlayClock::NowMsecs(), player->State() == PlayerState::Playing);
    if (!m_autoTempo.m_on)
        return;
    const int bpm = AutoTempoAt(m_autoTempo, m_autoTempoClock.PlayedMsecs() / 1000);
    if (bpm > 0)
        m_transport->SetCurrentTempo(bpm);
}

void CMainFrame::OnDrumVolume()
{
    CDrumVolumeDialog dlg(this);
    dlg.exec();
}

void CMainFrame::OnGuitarVolume()
{
    CGuitarVolumeDialog dlg(this);
    dlg.exec();
}

void CMainFrame::OnDrumLayout()
{
    CDrumLayoutDialog dlg(this);
    dlg.exec();
    RepaintViews(nullptr);
}

void CMainFrame::OnDisplayConfig()
{
    CDisplayConfigDialog dlg(this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    if (QAction* supersize = findChild<QAction*>(QStringLiteral("SupersizeAction")))
        supersize->setChecked(DisplayConfig().IsSupersize());
    RepaintViews(ActiveDocument());
}

void CMainFrame::OnTabStaffFormat()
{
    CRondelView* view = ActiveView();
    auto* renderer = view ? dynamic_cast<CTrackRenderer*>(&view->Renderer()) : nullptr;
    if (!renderer)
        return;
    CTabStaffFormatDialog dlg(renderer->TabFormat(), this);
    if (dlg.exec() == QDialog::Accepted)
        renderer->SetTabFormat(dlg.Format());
    RepaintViews(&view->Doc());
}

void CMainFrame::OnCompare()
{
    CRondelDoc* doc = ActiveDocument();
    if (!doc)
        return;
    // A difference, or why there is nothing to compare, goes to the user report.
    if (CompareWithSongFile(*doc) == ECompareResult::Match)
        statusBar()->showMessage(QStringLiteral("%1 matches its .kdz song file").arg(QFileInfo(doc->m_pathName).fileName()));
}

void CMainFrame::OnCompareAll()
{
    const QString folder = SampleTabFolder();
    const std::vector<SCompareEntry> entries = CompareAllInFolder(folder);
    int failed = 0;
    QStringList lines;
    for (const SCompareEntry& e : entries) {
        const QString name = QFileInfo(e.m_kdzPath).completeBaseName();
        switch (e.m_result) {
        case ECompareResult::Match: break;
        case ECompareResult::Differ: lines << QStringLiteral("differ   %1: %2").arg(name, e.m_message); break;
        case ECompareResult::CannotCompare: lines << QStringLiteral("failed   %1: %2").arg(name, e.m_message); break;
        }
        failed += e.m_result != ECompareResult::Match;
    }
    lines.prepend(QStringLiteral("%1 of %2 songs match (%3)").arg(int(entries.size()) - failed).arg(entries.size()).arg(QDir::toNativeSeparators(folder)));
    UserReport().Message(lines.join(QLatin1Char('\n')));
}
