#include "mainframe.h"

#include "appfunctions.h"
#include "dialogs.h"
#include "doccommands.h"
#include "midifile.h"
#include "mididevices.h"
#include "midiplayer.h"
#include "midistream.h"
#include "panes.h"
#include "player.h"
#include "playclock.h"
#include "practiceclick.h"
#include "report.h"
#include "rondeldoc.h"
#include "rondelview.h"
#include "scopebar.h"
#include "settings.h"
#include "displayconfig.h"
#include "trackrender.h"
#include "transportbar.h"
#include "wavexport.h"
#include "viewrenderer.h"
#include "waveoptionsdialog.h"

#include <algorithm>
#include <utility>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QSpinBox>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

// A child window: owns its document, the document's player and the notation view.
class CDocWindow : public QWidget
{
public:
    CDocWindow(std::unique_ptr<CRondelDoc> doc, std::unique_ptr<CPlayer> player)
        : m_doc(std::move(doc)), m_player(std::move(player))
    {
        setAttribute(Qt::WA_DeleteOnClose);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        m_view = new CRondelView(*m_doc, this);
        layout->addWidget(m_view);
        m_view->Edit().m_playerState = [this] { return m_player->State(); };
    }
    ~CDocWindow() override
    {
        if (m_onClose)
            m_onClose(m_doc.get());
        m_player->Stop();
        m_view->StopPlaybackPoll();
        delete m_view; // the view unregisters from the document before it goes
        m_view = nullptr;
    }
    CRondelDoc* Doc() const { return m_doc.get(); }
    CRondelView* View() const { return m_view; }
    CPlayer* Player() const { return m_player.get(); }
    // Told before the document goes, so that nothing keeps pointing at it.
    std::function<void(CRondelDoc*)> m_onClose;
    // Asked when the window is closed: false keeps it open (a cancelled "save changes?").
    std::function<bool(CRondelDoc*)> m_canClose;

protected:
    void closeEvent(QCloseEvent* e) override
    {
        if (m_canClose && !m_canClose(m_doc.get())) {
            e->ignore();
            return;
        }
        e->accept();
    }

private:
    std::unique_ptr<CRondelDoc> m_doc;
    std::unique_ptr<CPlayer> m_player;
    CRondelView* m_view;
};

namespace {
CMainFrame::PlayerFactory& ThePlayerFactory()
{
    static CMainFrame::PlayerFactory f = [](CRondelDoc& doc) -> std::unique_ptr<CPlayer> {
        return std::make_unique<CMidiPlayer>(doc, [] { return MidiDevices::PositionFromSetting(MidiDevices::List()); });
    };
    return f;
}
CMainFrame::DeviceListFn& TheDeviceList()
{
    static CMainFrame::DeviceListFn f;
    return f;
}
// Position 0 is the embedded synthesizer, then the external ports.
QStringList DeviceNames()
{
    QStringList names = TheDeviceList() ? TheDeviceList()() : QStringList{};
    if (names.isEmpty())
        names << QStringLiteral("Embedded synthesizer");
    return names;
}
// The path without its last four characters: the default name offered by export dialogs.
QString DefaultExportName(const CRondelDoc& doc)
{
    return DocCommands::InitialFileName(doc.m_pathName);
}
// The user guide installed with the program, else the one in the source tree (a build that
// runs where it was made).
QUrl HelpUrl()
{
    const QString installed = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/doc/kadenzo/userguide.html");
    if (QFileInfo::exists(installed))
        return QUrl::fromLocalFile(QFileInfo(installed).canonicalFilePath());
    return QUrl::fromLocalFile(QStringLiteral(KADENZO_SOURCE_DIR "/docs/userguide.html"));
}

// Bar start times (GetRunTime2()) for locating and the status texts; the timing pass leaves
// them alone while the player runs.
void EnsureBarTimes(CRondelDoc& doc)
{
    CRondelDoc::RunTimingPass(doc);
}
int FirstBarTempo(const CRondelDoc& doc)
{
    for (const auto& e : doc.Events())
        if (e.IsMeasure())
            return e.GetTempo() ? int(e.GetTempo()) : doc.m_songTempo;
    return doc.m_songTempo;
}
}

// What the MIDI player tells the transport and asks of it.
class CMainFrame::CFrameHost : public CPlayerHost
{
public:
    explicit CFrameHost(CMainFrame& frame) : m_frame(frame) {}
    int CurrentPlayTempo() const override { return m_frame.m_transport->CurrentTempo(); }
    void ShowDefaultTempo(int bpm) override { m_frame.m_transport->ShowDefaultTempo(bpm); }
    int FaderPos() const override { return m_frame.m_transport->FaderPos(); }
    void ShowPlayState(int state, bool loop) override
    {
        m_frame.m_transport->SetPlayState(state, loop ? 2 : m_frame.m_playButton);
    }
    void NotifyOverlay(int code, int msecs) override { m_frame.NotifyOverlay(code, msecs); }
    void RedrawViews() override
    {
        for (QMdiSubWindow* sub : m_frame.m_mdi->subWindowList())
            if (auto* w = dynamic_cast<CDocWindow*>(sub->widget()))
                w->View()->viewport()->update();
    }
    void ShowSilentNotice(const char* text) override { m_frame.m_silentNotice->setText(QString::fromUtf8(text)); }

private:
    CMainFrame& m_frame;
};

// The icon lives in a resource file compiled into this static library: it must be pulled in by hand.
static void InitKadenzoResources()
{
    Q_INIT_RESOURCE(kadenzo);
}

void CMainFrame::SetPlayerFactory(PlayerFactory factory)
{
    ThePlayerFactory() = std::move(factory);
}

void CMainFrame::SetMidiDeviceList(DeviceListFn fn)
{
    TheDeviceList() = std::move(fn);
}

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent), m_mdi(new QMdiArea(this)), m_transport(new CTransportBar(this)),
      m_pScopeBar(new CScopeBar(this)), m_index(new CImportIndexView(this)), m_comments(new CCommentListView(this)),
      m_issues(new CIssueListView(this)), m_files(new CFileView(this))
{
    InitKadenzoResources();
    setObjectName(QStringLiteral("MainFrame"));
    setWindowTitle(QStringLiteral("Kadenzo"));
    setWindowIcon(QIcon(QStringLiteral(":/kadenzo.svg")));
    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdi);
    setAcceptDrops(true);

    auto* bar = new QToolBar(QStringLiteral("Transport"), this);
    bar->setObjectName(QStringLiteral("TransportBar"));
    bar->addWidget(m_transport);
    addToolBar(Qt::TopToolBarArea, bar);

    CreateDocks();
    CreateMenus();
    statusBar()->showMessage(QStringLiteral("Ready"));
    m_silentNotice = new QLabel(this);
    statusBar()->addPermanentWidget(m_silentNotice);
    m_host = std::make_unique<CFrameHost>(*this);
    PlayerHost::Set(m_host.get());

    connect(m_mdi, &QMdiArea::subWindowActivated, this, &CMainFrame::OnSubWindowActivated);
    connect(m_transport, &CTransportBar::Play, this, &CMainFrame::OnPlay);
    connect(m_transport, &CTransportBar::MeasurePlay, this, &CMainFrame::OnMeasurePlay);
    connect(m_transport, &CTransportBar::Loop, this, &CMainFrame::OnLoop);
    connect(m_transport, &CTransportBar::Stop, this, &CMainFrame::OnStop);
    connect(m_transport, &CTransportBar::DefaultTempoClicked, this, &CMainFrame::OnDefaultTempo);
    connect(m_transport, &CTransportBar::ToggleWaveView, this, &CMainFrame::OnToggleWaveView);
    connect(m_transport, &CTransportBar::FaderReleased, this, &CMainFrame::OnFader);
    connect(m_transport, &CTransportBar::SyncChanged, this, &CMainFrame::OnSyncChange);
    connect(m_transport, &CTransportBar::CurrentTempoChanged, this, &CMainFrame::OnCurrentTempoChange);
    connect(m_transport, &CTransportBar::ZoomIn, m_pScopeBar, &CScopeBar::ZoomIn);
    connect(m_transport, &CTransportBar::ZoomOut, m_pScopeBar, &CScopeBar::ZoomOut);
    connect(m_transport, &CTransportBar::ZoomMax, m_pScopeBar, &CScopeBar::ZoomMax);
    connect(m_transport, &CTransportBar::ZoomMin, m_pScopeBar, &CScopeBar::ZoomMin);
    connect(m_pScopeBar, &CScopeBar::LocateTime, this, &CMainFrame::LocateTime);
    connect(m_issues, &CIssueListView::ShowIssue, this, &CMainFrame::ShowIssuePlace);
    connect(m_comments, &CCommentListView::ShowBar, this, [this](int barNo) {
        if (CRondelView* view = ActiveView()) {
            view->ShowBar(barNo);
            view->setFocus();
        }
    });
    connect(m_files, &CFileView::OpenPath, this, [this](const QString& p) { OpenFile(p); });

    // The tab folder is cheap to list; look again every few seconds while the pane is shown.
    m_filesTimer.setInterval(3000);
    connect(&m_filesTimer, &QTimer::timeout, this, [this] {
        if (m_filesDock->isVisible())
            m_files->Refresh();
    });
    m_filesTimer.start();
    m_files->SetFolder(CFileView::ChosenFolder());

    m_recent = SettingsStore::Read(QStringLiteral("recent_files")).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    while (m_recent.size() > 4)
        m_recent.removeLast();
    UpdateRecentMenu();
    RestoreLayout();
    m_transport->SetPlayState(0, 0);
}

CMainFrame::~CMainFrame()
{
    m_filesTimer.stop();
    if (&PlayerHost::Get() == m_host.get())
        PlayerHost::Set(nullptr);
    // Close the children (and their documents) while the panes they feed still exist.
    m_pActiveDoc = nullptr;
    for (QMdiSubWindow* sub : m_mdi->subWindowList())
        delete sub;
}

void CMainFrame::CreateDocks()
{
    auto dock = [this](const QString& title, const QString& name, QWidget* w, Qt::DockWidgetArea area) {
        auto* d = new QDockWidget(title, this);
        d->setObjectName(name);
        d->setWidget(w);
        addDockWidget(area, d);
        return d;
    };
    m_indexDock = dock(QStringLiteral("Index"), QStringLiteral("IndexBar"), m_index, Qt::RightDockWidgetArea);
    QDockWidget* comments = dock(QStringLiteral("Comments"), QStringLiteral("CommentBar"), m_comments, Qt::RightDockWidgetArea);
    QDockWidget* issues = dock(QStringLiteral("Issues"), QStringLiteral("IssueBar"), m_issues, Qt::RightDockWidgetArea);
    m_filesDock = dock(QStringLiteral("Files"), QStringLiteral("FileBar"), m_files, Qt::LeftDockWidgetArea);
    m_scopeDock = dock(QStringLiteral("Wave file viewer"), QStringLiteral("ScopeBar"), m_pScopeBar, Qt::BottomDockWidgetArea);
    // Issues below the imported text: choosing one shows its line above.
    splitDockWidget(m_indexDock, issues, Qt::Vertical);
    tabifyDockWidget(m_indexDock, comments);
    m_indexDock->raise();
    m_scopeDock->hide();
    resizeDocks({m_indexDock}, {380}, Qt::Horizontal);
    resizeDocks({m_filesDock}, {200}, Qt::Horizontal);
}

void CMainFrame::CreateMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&New"), QKeySequence(QStringLiteral("Ctrl+N")), this, &CMainFrame::NewDocument);
    file->addAction(QStringLiteral("&Open..."), QKeySequence(QStringLiteral("Ctrl+O")), this, &CMainFrame::OnFileOpen);
    // Ctrl+W is Export Wave's: the song window closes with Ctrl+F4.
    file->addAction(QStringLiteral("&Close"), QKeySequence(QStringLiteral("Ctrl+F4")), m_mdi,
                    &QMdiArea::closeActiveSubWindow);
    file->addAction(QStringLiteral("&Save"), QKeySequence(QStringLiteral("Ctrl+S")), this, &CMainFrame::OnFileSave);
    file->addAction(QStringLiteral("Save &As..."), this, &CMainFrame::OnFileSaveAs);
    file->addSeparator();
    file->addAction(QStringLiteral("Import Tab..."), QKeySequence(QStringLiteral("Ctrl+I")), this, &CMainFrame::OnImportTab);
    file->addAction(QStringLiteral("Import Midi File..."), QKeySequence(QStringLiteral("Ctrl+M")), this, &CMainFrame::OnImportMidi);
    file->addAction(QStringLiteral("Import Audio File..."), this, &CMainFrame::OnImportAudio);
    file->addAction(QStringLiteral("Export Midi File..."), QKeySequence(QStringLiteral("Ctrl+E")), this, &CMainFrame::OnExportMidi);
    file->addAction(QStringLiteral("Export Tab File..."), this, &CMainFrame::OnExportTab);
    file->addAction(QStringLiteral("Export Wave  File (write to CD)..."), QKeySequence(QStringLiteral("Ctrl+W")), this,
                    &CMainFrame::OnExportWave);
    file->addAction(QStringLiteral("Export Wave options..."), this, [this] {
        CWaveOptionsDialog dlg(this);
        dlg.exec();
    });
    file->addSeparator();
    file->addAction(QStringLiteral("&Print..."), QKeySequence(QStringLiteral("Ctrl+P")), this, &CMainFrame::OnPrint);
    file->addAction(QStringLiteral("Print Pre&view"), this, &CMainFrame::OnPrintPreview);
    file->addSeparator();
    m_recentMenu = file->addMenu(QStringLiteral("Recent &Files"));
    file->addSeparator();
    file->addAction(QStringLiteral("E&xit"), this, &QWidget::close);
    CreateEditMenus();

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    QAction* supersize = view->addAction(QStringLiteral("&Supersize"));
    supersize->setCheckable(true);
    supersize->setObjectName(QStringLiteral("SupersizeAction"));
    // Supersize is part of the "display" setting: it lasts from one run to the next.
    supersize->setChecked(DisplayConfig().IsSupersize());
    connect(supersize, &QAction::toggled, this, [this](bool on) {
        if (DisplayConfig().IsSupersize() != on) {
            DisplayConfig().m_flags[CDisplayConfig::Supersize] = on;
            DisplayConfig().SaveToSettings();
        }
        for (QMdiSubWindow* sub : m_mdi->subWindowList())
            if (auto* w = dynamic_cast<CDocWindow*>(sub->widget()))
                w->View()->SetSupersize(on);
    });
    SetupZoom(view);
    view->addSeparator();
    for (QDockWidget* d : findChildren<QDockWidget*>())
        view->addAction(d->toggleViewAction());

    QMenu* play = menuBar()->addMenu(QStringLiteral("&Play"));
    // P and L without modifiers are the transport's own keys.
    play->addAction(QStringLiteral("Play"), QKeySequence(Qt::Key_P), this, &CMainFrame::OnPlay);
    play->addAction(QStringLiteral("Play one measure"), this, &CMainFrame::OnMeasurePlay);
    play->addAction(QStringLiteral("Loop"), QKeySequence(Qt::Key_L), this, &CMainFrame::OnLoop);
    play->addAction(QStringLiteral("Stop"), this, &CMainFrame::OnStop);
    play->addSeparator();
    AddPracticeClickActions(play, m_transport, [this] { return ActiveDocument(); });
    play->addSeparator();
    play->addAction(QStringLiteral("Goto Bar No."), QKeySequence(QStringLiteral("Ctrl+B")), this, &CMainFrame::OnGotoBar);
    play->addAction(QStringLiteral("Goto Time"), QKeySequence(QStringLiteral("Ctrl+T")), this, &CMainFrame::OnGotoTime);
    play->addSeparator();
    m_deviceMenu = play->addMenu(QStringLiteral("Midi &Device"));
    m_deviceMenu->setObjectName(QStringLiteral("MidiDeviceMenu"));
    // Listing the ports asks the sequencer: only when the menu opens.
    connect(m_deviceMenu, &QMenu::aboutToShow, this, &CMainFrame::RebuildMidiDeviceMenu);

    CreateToolsMenu();

    QMenu* window = menuBar()->addMenu(QStringLiteral("&Window"));
    window->addAction(QStringLiteral("&Cascade"), m_mdi, &QMdiArea::cascadeSubWindows);
    window->addAction(QStringLiteral("&Tile"), m_mdi, &QMdiArea::tileSubWindows);
    connect(window, &QMenu::aboutToShow, this, [this, window] { ListSongsInWindowMenu(window); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* guide = help->addAction(QStringLiteral("Kadenzo &Help"), this, [] { QDesktopServices::openUrl(HelpUrl()); });
    guide->setObjectName(QStringLiteral("HelpAction"));
    guide->setShortcut(QKeySequence::HelpContents);
    help->addAction(QStringLiteral("&About kadenzo..."), this, &CMainFrame::OnAbout);
}

void CMainFrame::RebuildMidiDeviceMenu()
{
    m_deviceMenu->clear();
    const QStringList names = DeviceNames();
    if (m_midiDevice < 0) {
        // A device name in the settings that no longer exists selects the first entry.
        m_midiDevice = std::max<int>(names.indexOf(SettingsStore::Read(QStringLiteral("midi_device"))), 0);
    }
    // Ten positions at most, as the menu always had.
    for (int i = 0; i < names.size() && i < 10; ++i) {
        QAction* a = m_deviceMenu->addAction(i == 0 ? QStringLiteral("&") + names[i] : names[i]);
        a->setCheckable(true);
        a->setChecked(i == m_midiDevice);
        connect(a, &QAction::triggered, this, [this, i, names] {
            m_midiDevice = i;
            SettingsStore::Write(QStringLiteral("midi_device"), names[i]);
        });
    }
}

void CMainFrame::RestoreLayout()
{
    QRect r;
    if (ParseLayoutValue(SettingsStore::Read(QStringLiteral("layout")), &r)) {
        resize(r.size());
        move(r.topLeft());
    } else {
        resize(1200, 800);
    }
    const QByteArray state = QByteArray::fromBase64(SettingsStore::Read(QStringLiteral("bar_state")).toLatin1());
    if (!state.isEmpty())
        restoreState(state);
    m_scopeDock->hide(); // shown again when audio is loaded
}

void CMainFrame::SaveLayout()
{
    SettingsStore::Write(QStringLiteral("layout"), LayoutValue(QRect(pos(), size())));
    SettingsStore::Write(QStringLiteral("bar_state"), QString::fromLatin1(saveState().toBase64()));
    SettingsStore::Write(QStringLiteral("recent_files"), m_recent.join(QLatin1Char('\n')));
}

void CMainFrame::closeEvent(QCloseEvent* e)
{
    if (CPlayer* p = ActivePlayer())
        if (p->State() != PlayerState::Stopped)
            OnStop();
    // Every changed song is asked about; Cancel keeps the program running.
    for (QMdiSubWindow* sub : m_mdi->subWindowList())
        if (auto* w = dynamic_cast<CDocWindow*>(sub->widget()); w && !MaybeSave(*w->Doc())) {
            e->ignore();
            return;
        }
    m_closingAsked = true;
    SaveLayout();
    e->accept();
}

void CMainFrame::UpdateRecentMenu()
{
    m_recentMenu->clear();
    for (int i = 0; i < m_recent.size(); ++i) {
        const QString path = m_recent[i];
        m_recentMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()), this,
                                [this, path] { OpenFile(path); });
    }
    m_recentMenu->setEnabled(!m_recent.isEmpty());
}

void CMainFrame::AddRecent(const QString& path)
{
    m_recent = AddRecentFile(m_recent, path);
    UpdateRecentMenu();
    SettingsStore::Write(QStringLiteral("recent_files"), m_recent.join(QLatin1Char('\n')));
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* e)
{
    if (e->mimeData()->hasUrls())
        for (const QUrl& url : e->mimeData()->urls())
            if (url.isLocalFile()) {
                e->acceptProposedAction();
                return;
            }
}

void CMainFrame::dropEvent(QDropEvent* e)
{
    const QList<QUrl> urls = e->mimeData()->urls();
    e->acceptProposedAction();
    for (const QUrl& url : urls)
        if (url.isLocalFile())
            OpenFile(url.toLocalFile());
}

void CMainFrame::NewDocument()
{
    auto doc = std::make_unique<CRondelDoc>();
    doc->OnNewDocument();
    ++m_untitled;
    doc->m_title = QStringLiteral("Song%1").arg(m_untitled);
    const QString title = doc->m_title;
    AddDocumentWindow(std::move(doc), title);
}

bool CMainFrame::OpenFile(const QString& path)
{
    if (QFileInfo(path).isDir()) {
        // A folder on the command line or dropped on the window: say so, open nothing.
        UserReport().Error(QStringLiteral("Cannot open %1: it is a folder, not a song file").arg(path));
        return false;
    }
    StopActivePlayer(); // the new window takes the transport
    const QString ext = DocFormats::ExtensionOf(path);
    if (ext == QLatin1String(".mid") && m_askMidiOptions) {
        CMidiImportDialog options(this);
        if (options.exec() != QDialog::Accepted)
            return false;
        MidiImportOptions().m_snapTo32nd = options.m_snap == 1;
        MidiImportOptions().m_detectTriplets = options.m_detectTriplets != 0;
    }
    auto doc = std::make_unique<CRondelDoc>();
    QString error;
    // Whatever the reading says goes out as one message naming the file; when the open
    // fails after a message that explains why, the failure adds no second one.
    COpenMessages said(UserReport());
    bool opened = false;
    {
        const CScopedUserReport collect(&said);
        opened = doc->OnOpenDocument(path, &error);
    }
    if (!opened) {
        if (said.m_texts.isEmpty() && !error.isEmpty())
            said.m_texts << error;
        else if (said.m_texts.isEmpty() && !QFileInfo::exists(path))
            said.m_texts << QStringLiteral("Cannot open %1: the file does not exist").arg(path);
    }
    said.Tell(path);
    if (!opened)
        return false;
    doc->m_title = QFileInfo(path).fileName();
    // A ".kdz" song is on disk as it is shown; an imported tab or MIDI file is not.
    if (ext == QLatin1String(".kdz"))
        doc->SetModifiedFlag(false);
    const QString title = doc->m_title;
    CRondelDoc* raw = doc.get();
    // The blank song made at start-up gives way to the first file the user opens.
    QMdiSubWindow* blank = UntouchedBlankSong();
    AddDocumentWindow(std::move(doc), title);
    if (blank)
        blank->close();
    AddRecent(path);
    m_transport->ShowDefaultTempo(FirstBarTempo(*raw));
    emit DocumentOpened(raw);
    return true;
}

void CMainFrame::AdoptDocument(std::unique_ptr<CRondelDoc> doc)
{
    if (doc->m_title.isEmpty())
        doc->m_title = QStringLiteral("Song%1").arg(++m_untitled);
    const QString title = doc->m_title;
    CRondelDoc* raw = doc.get();
    AddDocumentWindow(std::move(doc), title);
    m_transport->ShowDefaultTempo(FirstBarTempo(*raw));
    emit DocumentOpened(raw);
}

CDocWindow* CMainFrame::AddDocumentWindow(std::unique_ptr<CRondelDoc> doc, const QString& title)
{
    EnsureBarTimes(*doc);
    std::unique_ptr<CPlayer> player = ThePlayerFactory()(*doc);
    auto* child = new CDocWindow(std::move(doc), std::move(player));
    CRondelView* view = child->View();
    connect(view, &CRondelView::StatusText, this, [this](const QString& t) { statusBar()->showMessage(t); });
    connect(view, &CRondelView::CursorMoved, this, &CMainFrame::CursorStatus);
    connect(view, &CRondelView::PlaybackEnded, this, &CMainFrame::OnPlaybackEnded);
    connect(view, &CRondelView::HeaderClicked, this, &CMainFrame::OnImportAudio);
    connect(view, &CRondelView::ZoomChanged, this, [this, view] {
        if (view == ActiveView())
            SyncZoomBox();
    });
    connect(view, &CRondelView::PlayPolled, this, &CMainFrame::ApplyAutoTempo);
    view->SetSupersize(DisplayConfig().IsSupersize());
    CRondelDoc* raw = child->Doc();
    ConnectEditing(view, raw);
    child->m_canClose = [this](CRondelDoc* doc) { return m_closingAsked || MaybeSave(*doc); };
    raw->AddListener([this, raw](CRondelDoc&) {
        if (raw == m_pActiveDoc)
            m_comments->Fill();
    });
    child->m_onClose = [this](CRondelDoc* doc) {
        CloseToolWindowsFor(doc);
        if (doc != m_pActiveDoc)
            return;
        m_pActiveDoc = nullptr;
        // PLAY hid the Index pane for its playback; closing the song ends that playback.
        if (m_indexWasVisible)
            m_indexDock->show();
        m_indexWasVisible = false;
        if (m_waveViewOn) {
            m_pScopeBar->CloseAudio();
            m_waveViewOn = false;
            m_scopeDock->hide();
            m_transport->SetWaveViewOn(false);
        }
        m_pScopeBar->AttachDocument(nullptr);
        m_index->SetDocument(nullptr);
        m_comments->SetDocument(nullptr);
        m_issues->SetDocument(nullptr);
        m_transport->SetPlayState(0, 0);
    };
    QMdiSubWindow* sub = m_mdi->addSubWindow(child);
    sub->setWindowTitle(title);
    FreeCloseKey(sub);
    UpdateDocumentTitle(*raw);
    sub->resize(m_mdi->viewport()->size() * 0.95);
    sub->showMaximized();
    m_mdi->setActiveSubWindow(sub);
    SetActiveDocument(raw);
    return child;
}

CDocWindow* CMainFrame::ActiveWindow() const
{
    QMdiSubWindow* sub = m_mdi->currentSubWindow();
    return sub ? dynamic_cast<CDocWindow*>(sub->widget()) : nullptr;
}

CRondelDoc* CMainFrame::ActiveDocument() const
{
    CDocWindow* w = ActiveWindow();
    return w ? w->Doc() : nullptr;
}

CRondelView* CMainFrame::ActiveView() const
{
    CDocWindow* w = ActiveWindow();
    return w ? w->View() : nullptr;
}

CPlayer* CMainFrame::ActivePlayer() const
{
    CDocWindow* w = ActiveWindow();
    return w ? w->Player() : nullptr;
}

QString CMainFrame::StatusText() const
{
    return statusBar()->currentMessage();
}

void CMainFrame::OnSubWindowActivated(QMdiSubWindow* sub)
{
    auto* w = sub ? dynamic_cast<CDocWindow*>(sub->widget()) : nullptr;
    SetActiveDocument(w ? w->Doc() : nullptr);
    SyncZoomBox();
}

void CMainFrame::SetActiveDocument(CRondelDoc* doc)
{
    if (doc == m_pActiveDoc)
        return;
    // The old document's playback stops when another one takes the transport.
    for (QMdiSubWindow* sub : m_mdi->subWindowList())
        if (auto* w = dynamic_cast<CDocWindow*>(sub->widget()); w && w->Doc() == m_pActiveDoc) {
            if (w->Player()->State() != PlayerState::Stopped)
                w->Player()->Stop();
            w->View()->StopPlaybackPoll();
        }
    if (m_indexWasVisible)
        m_indexDock->show(); // the playback that hid it is over
    m_indexWasVisible = false;
    m_pActiveDoc = doc;
    if (m_waveViewOn) {
        m_pScopeBar->CloseAudio();
        m_waveViewOn = false;
        m_scopeDock->hide();
    }
    m_pScopeBar->AttachDocument(doc);
    m_transport->SetWaveViewOn(false);
    m_index->SetDocument(doc);
    m_comments->SetDocument(doc);
    m_issues->SetDocument(doc);
    m_transport->SetSync(doc ? doc->m_audioSync : 0);
    m_autoTempo.m_on = false;
    m_transport->SetCurrentTempo(0);
    if (doc)
        m_transport->ShowDefaultTempo(FirstBarTempo(*doc));
    UpdateTransportLooks();
    // The status follows the song now in front: its own cursor, or nothing.
    if (CDocWindow* w = ActiveWindow(); w && w->Doc() == doc) {
        const int bar = std::max(w->View()->CursorBar(), 1);
        CursorStatus(bar, w->View()->CursorBar() > 0 ? w->View()->CursorTick() : 0);
    } else if (!doc) {
        statusBar()->clearMessage();
    }
}

void CMainFrame::UpdateTransportLooks()
{
    CPlayer* p = ActivePlayer();
    m_transport->SetPlayState(p ? p->State() : 0, m_playButton);
}

void CMainFrame::StartPlay(bool loop, bool oneBar, int button)
{
    CDocWindow* w = ActiveWindow();
    if (!w)
        return;
    CPlayer* player = w->Player();
    const int state = player->State();
    if (state == PlayerState::Playing || state == PlayerState::Paused) {
        player->PauseResume();
        if (!player->TellsTransport())
            NotifyOverlay(player->State() == PlayerState::Paused ? 3 : 4, 0);
        UpdateTransportLooks();
        // The poll stands still while paused: the status says so itself.
        const QString shown = statusBar()->currentMessage();
        if (player->State() == PlayerState::Paused && shown.startsWith(QLatin1String("PLAYING:")))
            statusBar()->showMessage(QStringLiteral("PAUSED:") + shown.mid(8));
        w->View()->setFocus();
        return;
    }
    if (state != PlayerState::Stopped)
        return; // finishing
    CRondelDoc& doc = *w->Doc();
    EnsureBarTimes(doc);
    m_playStartTime = PlayClock::NowMsecs();
    if (button == 0) {
        OnFader(m_transport->FaderPos());
        m_indexWasVisible = m_indexDock->isVisible();
        m_indexDock->hide();
    }
    // Q plays its bar; otherwise the start marker's bar, else the selection's.
    const int startBar = m_forcedStartBar > 0 ? m_forcedStartBar - 1 : std::max(w->View()->PlayStartBar() - 1, 0);
    const CEditController& edit = w->View()->Edit();
    if (m_forcedStartBar == 0 && edit.SelType() == CEditController::SelRange)
        player->SetPlaySpan(2, edit.Range().m_barDn, edit.Range().m_tickDn, edit.Range().m_barUp, edit.Range().m_tickUp);
    else
        player->SetPlaySpan(0, 0, 0, 0, 0);
    m_playButton = button;
    if (!player->Play(loop, oneBar, startBar)) {
        // Nothing started (no device, an empty song): the state stays stopped, no message.
        if (m_indexWasVisible)
            m_indexDock->show();
        m_indexWasVisible = false;
        UpdateTransportLooks();
        return;
    }
    StartAutoTempo();
    if (m_transport->CurrentTempo() > 0)
        player->SetTempo(m_transport->CurrentTempo());
    int startMsecs = 0;
    int n = 0;
    for (const auto& e : doc.Events())
        if (e.IsMeasure() && n++ == startBar) {
            startMsecs = int(e.GetRunTime2());
            break;
        }
    if (!player->TellsTransport())
        NotifyOverlay(1, startMsecs);
    w->View()->StartPlayback(player, startBar, m_waveViewOn ? m_pScopeBar : nullptr);
    UpdateTransportLooks();
    w->View()->setFocus();
}

void CMainFrame::OnPlay() { StartPlay(false, false, 0); }
void CMainFrame::OnMeasurePlay() { StartPlay(false, true, 1); }
void CMainFrame::OnLoop() { StartPlay(true, false, 2); }

void CMainFrame::OnStop()
{
    CDocWindow* w = ActiveWindow();
    if (!w)
        return;
    w->Player()->Stop();
    if (!w->Player()->TellsTransport())
        NotifyOverlay(2, 0);
    w->View()->StopPlaybackPoll();
    if (m_playButton == 0 && m_indexWasVisible)
        m_indexDock->show();
    m_indexWasVisible = false;
    UpdateTransportLooks();
    w->View()->setFocus();
    w->View()->viewport()->update();
    // Back to the start point: the insert point's bar, else the first bar.
    const int bar = std::max(w->View()->CursorBar(), 1);
    CursorStatus(bar, w->View()->CursorBar() > 0 ? w->View()->CursorTick() : 0);
    w->View()->GotoBar(bar);
}

void CMainFrame::OnPlaybackEnded()
{
    NotifyOverlay(2, 0);
    if (m_playButton == 0 && m_indexWasVisible)
        m_indexDock->show();
    m_indexWasVisible = false;
    UpdateTransportLooks();
    // However the player stopped, the status leaves "PLAYING" for the cursor's place.
    if (CDocWindow* w = ActiveWindow(); w && w->Player()->State() == PlayerState::Stopped) {
        const int bar = std::max(w->View()->CursorBar(), 1);
        CursorStatus(bar, w->View()->CursorBar() > 0 ? w->View()->CursorTick() : 0);
    }
}

void CMainFrame::NotifyOverlay(int code, int msecs)
{
    if (!m_waveViewOn)
        return;
    switch (code) {
    case 1:
        m_pScopeBar->SetPosition(msecs);
        m_pScopeBar->StartPlayback();
        break;
    case 2: m_pScopeBar->StopPlayback(); break;
    case 3: m_pScopeBar->PausePlayback(); break;
    case 4: m_pScopeBar->ResumePlayback(); break;
    default: break;
    }
}

void CMainFrame::OnDefaultTempo()
{
    m_autoTempo.m_on = false;
    const int bpm = m_transport->DefaultTempo();
    m_transport->ShowDefaultTempo(bpm);
    m_transport->SetCurrentTempo(0);
}

void CMainFrame::OnCurrentTempoChange(int bpm)
{
    CPlayer* p = ActivePlayer();
    if (!p)
        return;
    p->SetTempo(bpm > 0 ? bpm : m_transport->DefaultTempo());
}

void CMainFrame::OnFader(int pos)
{
    m_faderPos = pos;
    if (CPlayer* p = ActivePlayer())
        p->SetVolume(100 - pos);
    m_pScopeBar->SetWaveVolume(pos);
}

void CMainFrame::OnSyncChange(int hundredths)
{
    CDocWindow* w = ActiveWindow();
    if (!w)
        return;
    if (w->Doc()->m_audioSync != uint16_t(hundredths)) {
        // A change of the song like any other: its own undo step.
        w->Doc()->m_audioSync = uint16_t(hundredths);
        w->Doc()->CommitEdit();
    }
    EnsureBarTimes(*w->Doc());
    if (m_waveViewOn)
        m_pScopeBar->SetPosition(hundredths * 10);
}

void CMainFrame::ShowScopeDock()
{
    const bool first = !m_scopeDock->isVisible() && m_scopeDock->height() < 100;
    m_scopeDock->show();
    if (first)
        resizeDocks({m_scopeDock}, {160}, Qt::Vertical);
}

void CMainFrame::OnToggleWaveView()
{
    if (m_waveViewOn) {
        m_pScopeBar->CloseAudio();
        m_waveViewOn = false;
        m_scopeDock->hide();
    } else {
        m_pScopeBar->AttachDocument(m_pActiveDoc);
        if (m_pScopeBar->LoadAudio())
            ShowScopeDock();
        m_waveViewOn = true;
    }
    m_transport->SetWaveViewOn(m_waveViewOn);
}

void CMainFrame::ReloadAudio()
{
    if (m_waveViewOn)
        m_pScopeBar->CloseAudio();
    m_pScopeBar->AttachDocument(m_pActiveDoc);
    if (m_pScopeBar->LoadAudio())
        ShowScopeDock();
    m_waveViewOn = true;
    m_transport->SetWaveViewOn(true);
}

void CMainFrame::CursorStatus(int barNo, int index32)
{
    CRondelDoc* doc = ActiveDocument();
    if (!doc)
        return;
    int n = 0;
    int tempo = doc->m_songTempo;
    const CEvent* bar = nullptr;
    for (const auto& e : doc->Events()) {
        if (!e.IsMeasure())
            continue;
        if (e.GetTempo())
            tempo = int(e.GetTempo());
        if (++n == barNo) {
            bar = &e;
            break;
        }
    }
    if (!bar)
        return;
    // A position left of the first 32nd or right of the last one names the nearest one.
    index32 = std::clamp(index32, 0, std::max(int(bar->GetMeasureTicks()) - 1, 0));
    const int ms = CursorMsecs(index32, tempo, int(bar->GetRunTime2()));
    statusBar()->showMessage(CursorStatusText(barNo, index32, ms));
    m_transport->ShowDefaultTempo(tempo);
    if (m_waveViewOn)
        m_pScopeBar->SetPosition(ms);
}

bool CMainFrame::LocateTime(int msecs)
{
    CRondelView* view = ActiveView();
    if (!view)
        return false;
    EnsureBarTimes(view->Doc());
    return view->GotoTime(msecs);
}

void CMainFrame::GotoBar(int barNo)
{
    if (CRondelView* view = ActiveView())
        view->GotoBar(barNo);
}

void CMainFrame::ShowIssuePlace(const SImportIssueRow& issue)
{
    CRondelView* view = ActiveView();
    if (!view)
        return;
    const int line = issue.line;
    // The measure that opens the issue's staff line in the song (the importer marks it with
    // the line it came from), then the issue's bar on that line.
    int barNo = 0;
    int fallback = 0;
    int n = 0;
    for (const auto& e : view->Doc().Events()) {
        if (!e.IsMeasure())
            continue;
        ++n;
        if (!(e.m_word1 & EventBits::ImportedLineStart) || issue.groupLineIndex < 0)
            continue;
        const int ref = int(e.GetImportRef() >> 10);
        if (ref == issue.groupLineIndex) {
            barNo = n + issue.barInLine;
            break;
        }
        if (ref > issue.groupLineIndex && !fallback)
            fallback = n;
    }
    if (!barNo)
        barNo = fallback;
    if (barNo > 0)
        view->ShowBar(barNo);
    for (int row = 0; row < m_index->count(); ++row)
        if (m_index->item(row)->data(Qt::UserRole).toInt() == line) {
            m_index->setCurrentRow(row);
            m_index->scrollToItem(m_index->item(row));
            break;
        }
    m_indexDock->show();
    m_indexDock->raise();
    statusBar()->showMessage(QStringLiteral("Import issue at line %1, column %2").arg(line).arg(issue.column + 1));
}

void CMainFrame::SetupZoom(QMenu* view)
{
    // Ctrl+plus (and Ctrl+= on keyboards where plus needs Shift), Ctrl+minus, Ctrl+0, and a
    // zoom box in the status bar; each acts on the song in front.
    QAction* in = view->addAction(QStringLiteral("Zoom &In"), this, [this] {
        if (CRondelView* v = ActiveView())
            v->ZoomIn();
    });
    in->setShortcuts({QKeySequence(QStringLiteral("Ctrl++")), QKeySequence(QStringLiteral("Ctrl+="))});
    view->addAction(QStringLiteral("Zoom &Out"), QKeySequence(QStringLiteral("Ctrl+-")), this, [this] {
        if (CRondelView* v = ActiveView())
            v->ZoomOut();
    });
    view->addAction(QStringLiteral("&Actual Size"), QKeySequence(QStringLiteral("Ctrl+0")), this, [this] {
        if (CRondelView* v = ActiveView())
            v->SetZoom(1.0);
    });
    m_zoomBox = new QSpinBox(this);
    m_zoomBox->setObjectName(QStringLiteral("ZoomBox"));
    m_zoomBox->setRange(int(CRondelView::kMinZoom * 100), int(CRondelView::kMaxZoom * 100));
    m_zoomBox->setSingleStep(10);
    m_zoomBox->setSuffix(QStringLiteral(" %"));
    m_zoomBox->setValue(100);
    m_zoomBox->setToolTip(QStringLiteral("Zoom of the notation"));
    m_zoomBox->setKeyboardTracking(false);
    statusBar()->addPermanentWidget(m_zoomBox);
    connect(m_zoomBox, &QSpinBox::valueChanged, this, [this](int percent) {
        if (CRondelView* v = ActiveView())
            v->SetZoom(percent / 100.0);
    });
}

void CMainFrame::SyncZoomBox()
{
    if (!m_zoomBox)
        return;
    const CRondelView* v = ActiveView();
    const QSignalBlocker block(m_zoomBox);
    m_zoomBox->setValue(int(std::lround((v ? v->Zoom() : 1.0) * 100)));
}

COpenMessages::COpenMessages(CUserReport& next) : m_next(next) {}

void COpenMessages::Notify(const QString& text, EReportKind kind)
{
    if (!m_texts.contains(text))
        m_texts << text;
    m_kind = std::max(m_kind, kind);
}

void COpenMessages::Tell(const QString& path)
{
    if (m_texts.isEmpty())
        return;
    QString text = m_texts.join(QStringLiteral("\n\n"));
    const QString name = QFileInfo(path).fileName();
    if (!text.contains(name))
        text = name + QStringLiteral(":\n") + text;
    m_texts.clear();
    m_next.Notify(text, std::exchange(m_kind, EReportKind::Information));
}

QString CMainFrame::OpenFilter()
{
    // Every kind the program opens comes first, so that a folder of text tabs shows them.
    return QStringLiteral("All Kadenzo files (*.kdz *.txt *.tab *.mid);;Kadenzo Files (*.kdz);;"
                          "Text Tab Files (*.txt *.tab);;Midi Files (*.mid);;All Files (*)");
}

void CMainFrame::FreeCloseKey(QMdiSubWindow* sub)
{
    // A song window's own menu would take Ctrl+W (and Ctrl+F4) beside the File menu's
    // commands; File > Close carries the key instead.
    if (QMenu* menu = sub->systemMenu())
        for (QAction* a : menu->actions())
            if (!a->shortcut().isEmpty())
                a->setShortcuts(QList<QKeySequence>());
}

QMdiSubWindow* CMainFrame::UntouchedBlankSong() const
{
    const QList<QMdiSubWindow*> subs = m_mdi->subWindowList();
    if (subs.size() != 1)
        return nullptr;
    auto* w = dynamic_cast<CDocWindow*>(subs.front()->widget());
    CRondelDoc* doc = w ? w->Doc() : nullptr;
    if (!doc || doc->IsModified() || !doc->m_pathName.isEmpty() || !doc->m_importPath.isEmpty())
        return nullptr;
    for (const auto& ev : doc->Events())
        if (!ev.IsMeasure() || ev.HasText())
            return nullptr;
    return subs.front();
}

void CMainFrame::ListSongsInWindowMenu(QMenu* menu)
{
    for (QAction* a : menu->actions())
        if (a->property("songEntry").toBool()) {
            menu->removeAction(a);
            a->deleteLater();
        }
    const QList<QMdiSubWindow*> subs = m_mdi->subWindowList();
    if (subs.isEmpty())
        return;
    QAction* separator = menu->addSeparator();
    separator->setProperty("songEntry", true);
    for (int i = 0; i < subs.size(); ++i) {
        QMdiSubWindow* sub = subs[i];
        // The title as the user sees it: the "[*]" placeholder shows as "*" while unsaved.
        QString title = sub->windowTitle();
        title.replace(QLatin1String("[*]"), sub->isWindowModified() ? QStringLiteral("*") : QString());
        const QString text = i < 9 ? QStringLiteral("&%1 %2").arg(i + 1).arg(title) : title;
        QAction* a = menu->addAction(text, this, [this, sub] { m_mdi->setActiveSubWindow(sub); });
        a->setProperty("songEntry", true);
        a->setCheckable(true);
        a->setChecked(sub == m_mdi->activeSubWindow());
    }
}

void CMainFrame::OnFileOpen()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open"), QString(),
        OpenFilter());
    if (!path.isEmpty())
        OpenFile(path);
}

bool CMainFrame::SaveDocumentAs(CRondelDoc& doc, const QString& path)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext != QLatin1String("kdz") && ext != QLatin1String("mid") && ext != QLatin1String("txt")) {
        UserReport().Error(QString::fromLatin1(DocCommands::kUnknownSaveFormat));
        return false;
    }
    if (ext == QLatin1String("mid") || ext == QLatin1String("txt"))
        if (CPlayer* p = ActivePlayer(); p && p->State() != PlayerState::Stopped)
            OnStop();
    QString error;
    if (!doc.OnSaveDocument(path, &error)) {
        UserReport().Error(error.isEmpty() ? QStringLiteral("Could not write %1").arg(path) : error);
        return false;
    }
    if (ext == QLatin1String("kdz")) {
        doc.m_title = QFileInfo(path).fileName();
        if (QMdiSubWindow* sub = m_mdi->currentSubWindow())
            sub->setWindowTitle(doc.m_title);
        AddRecent(path);
    }
    UpdateDocumentTitle(doc);
    return true;
}

void CMainFrame::OnFileSave()
{
    CRondelDoc* doc = ActiveDocument();
    if (!doc)
        return;
    if (doc->m_pathName.isEmpty() || DocFormats::ExtensionOf(doc->m_pathName) != QLatin1String(".kdz")) {
        OnFileSaveAs();
        return;
    }
    SaveDocumentAs(*doc, doc->m_pathName);
}

void CMainFrame::OnFileSaveAs()
{
    CRondelDoc* doc = ActiveDocument();
    if (!doc)
        return;
    QString start = DefaultExportName(*doc);
    if (start.isEmpty())
        start = doc->m_title;
    QFileDialog dlg(this, QStringLiteral("Save As"), start,
                    QString::fromLatin1(DocCommands::kSaveFilter));
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix(QString::fromLatin1(DocCommands::kSaveSuffix));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return;
    SaveDocumentAs(*doc, dlg.selectedFiles().first());
}

void CMainFrame::OnImportTab()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Import Tab"), QString(),
        QString::fromLatin1(DocCommands::kImportTabFilter));
    if (!path.isEmpty())
        OpenFile(path);
}

void CMainFrame::OnImportMidi()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Import Midi File"), QString(),
        QStringLiteral("Midi Files (*.mid);;All Files (*.*)"));
    if (!path.isEmpty())
        OpenFile(path);
}

void CMainFrame::OnImportAudio()
{
    CRondelDoc* doc = ActiveDocument();
    if (!doc)
        return;
    CHeaderDialog dlg(*doc, this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    const bool audioChanged = dlg.ApplyTo(*doc);
    doc->CommitEdit(); // an undo step like every other change to the song
    if (audioChanged)
        ReloadAudio();
}

namespace {
// Asks for an export file name; empty on Cancel.
QString AskExportPath(QWidget* parent, const CRondelDoc& doc, const QString& suffix, const QString& filter)
{
    QFileDialog dlg(parent, QStringLiteral("Export"), DefaultExportName(doc), filter);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix(suffix);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return dlg.selectedFiles().first();
}
// Writes through the format the lower layers registered for the extension.
bool ExportThrough(CRondelDoc& doc, const QString& ext, const QString& path, QString* error)
{
    const DocFormats::SaveFn* save = DocFormats::FindSave(ext);
    if (!save) {
        *error = QStringLiteral("This version of Kadenzo cannot write %1 files").arg(ext);
        return false;
    }
    return (*save)(doc, path, error);
}
}

void CMainFrame::OnExportMidi()
{
    CRondelDoc* doc = ActiveDocument();
    if (!doc)
        return;
    const QString path = AskExportPath(this, *doc, QString::fromLatin1(DocCommands::kExportMidiSuffix),
                                       QString::fromLatin1(DocCommands::kExportMidiFilter));
    if (path.isEmpty())
        return;
    if (CPlayer* p = ActivePlayer(); p && p->State() != PlayerState::Stopped)
        OnStop();
    QString error;
    if (!ExportThrough(*doc, QStringLiteral(".mid"), path, &error) && !error.isEmpty())
        UserReport().Error(error);
}

void CMainFrame::OnExportTab()
{
    CRondelDoc* doc = ActiveDocument();
    if (!doc)
        return;
    const QString path = AskExportPath(this, *doc, QString::fromLatin1(DocCommands::kExportTabSuffix),
                                       QString::fromLatin1(DocCommands::kExportTabFilter));
    if (path.isEmpty())
        return;
    QString error;
    if (!ExportThrough(*doc, QStringLiteral(".txt"), path, &error) && !error.isEmpty())
        UserReport().Error(error);
}

void CMainFrame::OnExportWave()
{
    CRondelDoc* doc = ActiveDocument();
    if (!doc)
        return;
    if (CPlayer* p = ActivePlayer(); p && p->State() != PlayerState::Stopped)
        OnStop();
    QString error;
    const QString program = SynthFont::ConfiguredProgram();
    if (!program.isEmpty()) {
        // An outside renderer is configured: it gets a MIDI file.
        const QString midi = AskExportPath(this, *doc, QStringLiteral("mid"), QStringLiteral("Midi Files (*.mid);;All Files (*.*)"));
        if (!midi.isEmpty() && !SynthFont::HandOff(*doc, program, midi, &error) && !error.isEmpty())
            UserReport().Error(error);
        return;
    }
    const QString path = AskExportPath(this, *doc, QStringLiteral("wav"), QStringLiteral("Wave Files (*.wav);;All Files (*.*)"));
    if (path.isEmpty())
        return;
    QProgressDialog progress(QStringLiteral("Rendering %1").arg(QFileInfo(path).fileName()), QStringLiteral("Cancel"), 0, 100, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    const bool ok = ExportWave(*doc, path, [&progress](int percent) {
        progress.setValue(percent);
        QApplication::processEvents();
        return !progress.wasCanceled();
    }, &error);
    progress.reset();
    if (!ok && !error.isEmpty())
        UserReport().Error(error);
}

void CMainFrame::PrintTo(QPrinter* printer)
{
    CRondelView* view = ActiveView();
    if (!view)
        return;
    // The track lays the song out on pages of the print settings; the window's own layout is
    // made again afterwards.
    if (PrintSong(view->Doc(), *printer) == 0)
        UserReport().Error(QStringLiteral("Nothing could be printed"));
    view->Relayout();
    view->viewport()->update();
}

void CMainFrame::OnPrint()
{
    if (!ActiveView())
        return;
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dlg(&printer, this);
    if (dlg.exec() == QDialog::Accepted)
        PrintTo(&printer);
}

void CMainFrame::OnPrintPreview()
{
    if (!ActiveView())
        return;
    QPrinter printer(QPrinter::HighResolution);
    QPrintPreviewDialog dlg(&printer, this);
    connect(&dlg, &QPrintPreviewDialog::paintRequested, this, &CMainFrame::PrintTo);
    dlg.exec();
}

void CMainFrame::OnGotoBar()
{
    if (!ActiveView())
        return;
    CGotoBarDialog dlg(this);
    if (dlg.exec() == QDialog::Accepted)
        GotoBar(dlg.BarNumber());
}

void CMainFrame::OnGotoTime()
{
    if (!ActiveView())
        return;
    CGotoTimeDialog dlg(this);
    if (dlg.exec() == QDialog::Accepted)
        LocateTime(dlg.TimeMsecs());
}

void CMainFrame::OnAbout()
{
    QMessageBox::about(this, QStringLiteral("About Kadenzo"),
        QStringLiteral("<b>Kadenzo %1</b><br>Drum tab player, converter and drum notation editor.<br>"
                       "Copyright Quillon.<br><a href=\"%2\">User guide</a>")
            .arg(QApplication::applicationVersion(), HelpUrl().toString()));
}
