#pragma once
// The main window: one MDI child per open document, the File menu with the recent files, the
// transport bar, the docking panes (Index, Comments, Issues, Files, Wave file viewer) and the
// status bar. It joins each document's player and the waveform's overlay so that they start,
// pause and stop together.

#include "report.h"
#include "tempodialogs.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

class CCommentListView;
class CDocWindow;
class CFileView;
class CImportIndexView;
class CImportSheet;
class CIssueListView;
class CPlayer;
struct SImportIssueRow;
class CRondelDoc;
class CRondelView;
class CScopeBar;
class CTransportBar;
class QDockWidget;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QPrinter;
class QSpinBox;

// Gathers the messages of one file open so that the user gets them as one, naming the file.
class COpenMessages : public CUserReport
{
public:
    explicit COpenMessages(CUserReport& next);
    void Message(const QString& text) override { Notify(text, EReportKind::Information); }
    void Notify(const QString& text, EReportKind kind) override;
    bool Question(const QString& text) override { return m_next.Question(text); }
    void InternalProblem(const char* source, int line) override { m_next.InternalProblem(source, line); }
    // Passes what was gathered on as one message (nothing when nothing was said).
    void Tell(const QString& path);

    QStringList m_texts;

private:
    CUserReport& m_next;
    EReportKind m_kind = EReportKind::Information; // the gravest of m_texts
};

class CMainFrame : public QMainWindow
{
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Makes the player of a document (the MIDI player once attached; a silent clock player
    // otherwise).
    using PlayerFactory = std::function<std::unique_ptr<CPlayer>(CRondelDoc&)>;
    static void SetPlayerFactory(PlayerFactory factory);
    // Names of the MIDI outputs by menu position: the embedded synthesizer first, then the
    // external ports.
    using DeviceListFn = std::function<QStringList()>;
    static void SetMidiDeviceList(DeviceListFn fn);

    // Every way of opening a file ends here: menus, command line, drops, the Files pane.
    // False (after telling the user, when there is something to say) on failure.
    bool OpenFile(const QString& path);
    void NewDocument();
    // Shows a song made elsewhere (a recovered autosave copy) in a window of its own.
    void AdoptDocument(std::unique_ptr<CRondelDoc> doc);
    // Whether ".mid" files ask for the import options first (tests switch it off).
    void SetAskMidiOptions(bool ask) { m_askMidiOptions = ask; }

    QMdiArea* MdiArea() const { return m_mdi; }
    // The Open dialog's filters, the one for every kind the program opens first.
    static QString OpenFilter();
    // Rebuilds the open songs' entries at the end of the Window menu.
    void ListSongsInWindowMenu(QMenu* menu);
    CRondelDoc* ActiveDocument() const;
    CRondelView* ActiveView() const;
    CPlayer* ActivePlayer() const;
    CTransportBar* Transport() const { return m_transport; }
    CScopeBar* ScopeBar() const { return m_pScopeBar; }
    CIssueListView* IssuePane() const { return m_issues; }
    CImportIndexView* IndexPane() const { return m_index; }
    CCommentListView* CommentPane() const { return m_comments; }
    CFileView* FilePane() const { return m_files; }
    QSpinBox* ZoomBox() const { return m_zoomBox; }
    QDockWidget* ScopeDock() const { return m_scopeDock; }
    QStringList RecentFiles() const { return m_recent; }
    QString StatusText() const;
    bool WaveViewOn() const { return m_waveViewOn; }

    // Transport.
    void OnPlay();
    void OnMeasurePlay();
    void OnLoop();
    void OnStop();
    void OnDefaultTempo();
    void OnToggleWaveView();
    void OnFader(int pos);
    void OnSyncChange(int hundredths);
    void OnCurrentTempoChange(int bpm);
    // Locates the song at a time (Goto Time, a click in the waveform).
    bool LocateTime(int msecs);
    void GotoBar(int barNo);
    void SetActiveDocument(CRondelDoc* doc);
    void CursorStatus(int barNo, int index32);
    void ReloadAudio();

    // File commands that show dialogs; public so that tests can reach the dialog-free parts.
    bool SaveDocumentAs(CRondelDoc& doc, const QString& path);
    // Draws the active song onto a printer, page by page.
    void PrintTo(QPrinter* printer);

    // Tools (mainframe_tools.cpp).
    void OnImportSheet();
    void OnBpmCounter();
    void OnAutoTempo();
    void OnDrumVolume();
    void OnGuitarVolume();
    void OnDrumLayout();
    void OnDisplayConfig();
    void OnTabStaffFormat();
    void OnCompare();
    void OnCompareAll();
    // The playback poll of the active view: moves the auto-tempo ramp by the play time.
    void ApplyAutoTempo();
    const SAutoTempo& AutoTempoSettings() const { return m_autoTempo; }
    void SetAutoTempo(const SAutoTempo& settings) { m_autoTempo = settings; }
    // The open Import sheet, or nullptr.
    CImportSheet* ImportSheet() const;
    // Repaints every view of a document (all views when doc is nullptr).
    void RepaintViews(CRondelDoc* doc);
    // ----- Edit, Instrument and Special menus (mainframe_edit.cpp) -----
    void OnUndo();
    void OnRedo();
    void OnCut();
    void OnCopy();
    void OnPaste();
    void OnDelete();
    // Enables the Edit commands for the active song and its selection.
    void UpdateEditActions();
    QAction* EditAction(const QString& objectName) const;
    // The "save changes?" question: Save, Discard or Cancel. Tests answer it themselves.
    using SaveQuestionFn = std::function<int(const QString& title)>;
    void SetSaveQuestion(SaveQuestionFn fn) { m_saveQuestion = std::move(fn); }
    // The file a plain-text paste is saved to (given the folder); empty cancels.
    using PasteFileFn = std::function<QString(const QString& folder)>;
    void SetPasteFileChooser(PasteFileFn fn) { m_pasteFileChooser = std::move(fn); }
    // Asks about a changed song before it goes; false when the user cancelled (or saving
    // failed).
    bool MaybeSave(CRondelDoc& doc);
    // The child window's title carries "[*]": the mark shows while the song is unsaved.
    void UpdateDocumentTitle(CRondelDoc& doc);
    // Runs the bar dialog instead of exec() (tests fill and accept it).
    void SetBarDialogHook(std::function<void(class CBarDialog&)> hook) { m_barDialogHook = std::move(hook); }
    // Q in the view: stop, then play that bar once.
    void PlayBar(int barNo);

signals:
    void DocumentOpened(CRondelDoc* doc);

protected:
    void closeEvent(QCloseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void CreateMenus();
    void CreateToolsMenu();
    void ShowImportSheet(CRondelDoc& doc, bool activate);
    void StartAutoTempo();
    void CloseToolWindowsFor(CRondelDoc* doc);
    void CreateEditMenus();
    void CreateInstrumentToolBar();
    void UpdateInstrumentToolBar();
    void ConnectEditing(CRondelView* view, CRondelDoc* doc);
    void StopActivePlayer();
    void CreateDocks();
    void RestoreLayout();
    void SaveLayout();
    void UpdateRecentMenu();
    void AddRecent(const QString& path);
    CDocWindow* AddDocumentWindow(std::unique_ptr<CRondelDoc> doc, const QString& title);
    CDocWindow* ActiveWindow() const;
    void OnSubWindowActivated(QMdiSubWindow* sub);
    void StartPlay(bool loop, bool oneBar, int button);
    void UpdateTransportLooks();
    void NotifyOverlay(int code, int msecs);
    void OnPlaybackEnded();
    void ShowIssuePlace(const SImportIssueRow& issue);
    void RebuildMidiDeviceMenu();
    void FreeCloseKey(QMdiSubWindow* sub);
    void SetupZoom(QMenu* view);
    void SyncZoomBox();
    QMdiSubWindow* UntouchedBlankSong() const;
    void ShowScopeDock();

    void OnFileOpen();
    void OnFileSave();
    void OnFileSaveAs();
    void OnImportTab();
    void OnImportMidi();
    void OnImportAudio();
    void OnExportMidi();
    void OnExportTab();
    void OnExportWave();
    void OnPrint();
    void OnPrintPreview();
    void OnGotoBar();
    void OnGotoTime();
    void OnAbout();

    QMdiArea* m_mdi;
    CTransportBar* m_transport;
    CScopeBar* m_pScopeBar;
    CImportIndexView* m_index;
    CCommentListView* m_comments;
    CIssueListView* m_issues;
    CFileView* m_files;
    QDockWidget* m_indexDock = nullptr;
    QDockWidget* m_scopeDock = nullptr;
    QDockWidget* m_filesDock = nullptr;
    class CFrameHost;
    friend class CFrameHost;
    std::unique_ptr<CFrameHost> m_host;
    class QLabel* m_silentNotice = nullptr;
    QMenu* m_recentMenu = nullptr;
    QMenu* m_deviceMenu = nullptr;
    QSpinBox* m_zoomBox = nullptr;
    QTimer m_filesTimer;

    CRondelDoc* m_pActiveDoc = nullptr;
    bool m_waveViewOn = false;
    int m_faderPos = 50;
    int m_midiDevice = -1; // menu position; -1 until the device list was read
    int64_t m_playStartTime = 0;
    int m_playButton = 0;
    bool m_indexWasVisible = false;
    bool m_askMidiOptions = true;
    int m_untitled = 0;
    QStringList m_recent;
    SAutoTempo m_autoTempo;
    CPlayTimeMeter m_autoTempoClock;
    QPointer<CImportSheet> m_importSheet;
    SaveQuestionFn m_saveQuestion;
    PasteFileFn m_pasteFileChooser;
    std::function<void(class CBarDialog&)> m_barDialogHook;
    int m_forcedStartBar = 0; // Q: the bar to play instead of the start point
    bool m_closingAsked = false;
};
