#pragma once
// The notation view of one document: scrolls over the layout, redraws on every change of the
// document, shows the mouse-over cell and zone tooltips, and during playback polls the player
// every 50 ms to move the play cursor (scrolling to follow it) and the status text.

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QRect>
#include <QTimer>

#include <array>
#include <memory>

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
    int CursorBar() const { return m_cursorBar; }
    int CursorTick() const { return m_cursorTick; }
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

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    bool viewportEvent(QEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    void UpdateScrollBars();
    QPoint ToLayout(const QPoint& viewportPos) const;
    QRect ToViewport(const QRect& layoutRect) const;
    void UpdatePlayCursor(int position);

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
    QRect m_playCursor; // layout units
    int m_playMeasure = 0;

    std::array<QRect, 3> m_hoverCells;
    QPoint m_lastMouse{-100, -100};
    int m_cursorBar = 0; // 1-based, 0 none
    int m_cursorTick = 0;
    QElapsedTimer m_sinceStart;
};
