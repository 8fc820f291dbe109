#pragma once
// The notation view of one document: scrolls over the layout, redraws on every change of the
// document, shows the mouse-over cell and zone tooltips, and during playback polls the player
// every 50 ms to move the play cursor (scrolling to follow it) and the status text.

#include "editcontroller.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QRect>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class CPlayer;
class CRondelDoc;
class CScopeBar;
class CViewRenderer;

class CRondelView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    // The view does not own the document (its child window does).
    explicit CRondelView(CRondelDoc& doc, QWidget* parent = nullptr);
    ~CRondelView() override;

    CRondelDoc& Doc() const { return m_doc; }
    CViewRenderer& Renderer() const { return *m_renderer; }
    // Lays the song out again and updates the scroll ranges.
    void Relayout();
    QSize LayoutSize() const { return m_layoutSize; }
    void SetSupersize(bool on);
    bool Supersize() const { return m_supersize; }
    double Scale() const { return (m_supersize ? 2.0 : 1.0) * m_zoom; }

    // Zoom of the notation (Supersize doubles it once more); the music under `anchor`
    // (viewport pixels; the centre when left out) stays where it is. Printing knows nothing
    // of it.
    static constexpr double kMinZoom = 0.5;
    static constexpr double kMaxZoom = 4.0;
    void SetZoom(double zoom, QPoint anchor = QPoint(-1, -1));
    double Zoom() const { return m_zoom; }
    void ZoomIn(QPoint anchor = QPoint(-1, -1));
    void ZoomOut(QPoint anchor = QPoint(-1, -1));

    // Playback: starts the 50 ms poll of `player` from measure startBar (0-based); the scope
    // bar, when given and playing, adds its position to the status text.
    void StartPlayback(CPlayer* player, int startBar, CScopeBar* scope);
    void StopPlaybackPoll();
    bool IsPolling() const { return m_timer.isActive(); }
    // One poll step (the timer calls it; tests call it after moving the manual clock).
    void OnPlayTimer();
    QRect PlayCursorRect() const { return m_playCursor; }
    int PlayMeasure() const { return m_playMeasure; }
    const std::array<QRect, 3>& HoverCells() const { return m_hoverCells; }

    // Scrolls so that measure barNo (1-based; past the end: the last) has its staff top - 100
    // at the top.
    void GotoBar(int barNo);
    // As GotoBar, and the bar stands 100 units from the left edge (the comment pane).
    void ShowBar(int barNo);
    // Puts the insert point at the bar and tick a song time falls in; false when the time is
    // not after the first bar's start.
    bool GotoTime(int msecs);
    int CursorBar() const { return m_edit.CursorBar(); }
    int CursorTick() const { return m_edit.CursorTick(); }
    // The bar playback starts from: the start marker's, else the selection's, else 0.
    int PlayStartBar() const;

    // Editing: the selection, the defaults and every command that changes the song.
    CEditController& Edit() { return m_edit; }
    const CEditController& Edit() const { return m_edit; }
    // What lies under the mouse since its last move (reset by every edit).
    struct SHover
    {
        int bar = 0;              // 1-based, 0 none
        int tick = -1;            // 32nd index, -1 over the time-signature box
        int y = 0;                // layout y
        const CEvent* note = nullptr;
        bool onBarBox = false;    // over the time-signature box or the measure-select area
        int string = -1;          // guitar and bass: the tab's string row under the mouse
    };
    const SHover& Hover() const { return m_hover; }
    void ResetHover();
    // The fret a click on a guitar or bass string asks for (0 to 24, -1 cancelled); tests
    // answer it themselves. Empty: the "Choose a fret number" dialog.
    using FretChooserFn = std::function<int()>;
    static void SetFretChooser(FretChooserFn fn);
    // The key commands of the view (also reached from the menus).
    void OnDeleteKey();
    // The selection drawn on screen: the cursor bar or the range rectangles (layout units).
    std::vector<QRect> SelectionRects() const;
    // The group defaults and marks the toolbar shows; the frame calls it after changes.
    void SelectionChangedNotify();
    int ScrollY() const;
    void ScrollToY(int layoutY);

signals:
    void StatusText(const QString& text);
    // The insert point moved: the frame shows "Cursor: ..." for it.
    void CursorMoved(int barNo, int tick);
    void PlaybackEnded();
    void HeaderClicked();
    void ZoomChanged(double zoom);
    // Every playback poll while the player runs (the auto-tempo ramp follows it).
    void PlayPolled();
    // The selection or the cursor changed (Edit menu states, status text).
    void SelectionChanged();
    // The time-signature box of a bar was clicked.
    void BarBoxClicked(int barNo);
    // Q: play this bar once (after stopping the player). S while playing: stop.
    void PlayBarRequested(int barNo);
    void StopRequested();

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool viewportEvent(QEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    void UpdateScrollBars();
    QPoint ToLayout(const QPoint& viewportPos) const;
    QRect ToViewport(const QRect& layoutRect) const;
    void UpdatePlayCursor(int position);
    void UpdateHover(const QPoint& layoutPos);
    void OnClick(const QPoint& layoutPos, Qt::KeyboardModifiers mods);
    void AfterEdit();
    // A click on the staff or a string row of a guitar or bass track.
    void OnPitchedClick(int barNo, int tick, int y);
    // A digit over a guitar or bass string: that fret there (two keys for 10 to 29).
    void OnFretDigit(int digit);
    // A click while the player runs: the cursor goes there and playback follows.
    void ContinuePlaybackAt(int barNo, int tick);
    void AnnounceCursor();
    bool DrumKeyFor(int qtKey, int* drum) const;

    CRondelDoc& m_doc;
    std::unique_ptr<CViewRenderer> m_renderer;
    int m_listener = 0;
    QSize m_layoutSize;
    bool m_supersize = false;
    double m_zoom = 1.0;

    QTimer m_timer;
    CPlayer* m_player = nullptr;
    CScopeBar* m_scope = nullptr;
    int m_playStartBar = 0;
    int m_playEndBar = 0; // last bar played (1-based), 0 to the end
    QRect m_playCursor; // layout units
    int m_playMeasure = 0;

    std::array<QRect, 3> m_hoverCells;
    QPoint m_lastMouse{-100, -100};
    CEditController m_edit;
    SHover m_hover;
    QPoint m_pressPos;       // layout units
    bool m_pressed = false;
    bool m_dragging = false;
    int m_pendingDigit = 0;  // first digit of a two-key time signature
    int m_pendingTens = 0;   // 1 or 2 after the first key of a two-digit fret
    QElapsedTimer m_sinceStart;
};
