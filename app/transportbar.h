#pragma once
// The transport: PLAY, MPLAY, LOOP, STOP, the tempo boxes, DTEMPO, ATEMPO, the Midi <-> Wave
// fader, SCOPE, PLUS/MINUS and the audio sync point. It only shows state and announces the
// user's actions; the main window acts on them.

#include <QToolButton>
#include <QWidget>

class QLineEdit;
class QSlider;
class QSpinBox;

// A tool button that also reports double clicks (PLUS and MINUS jump to the extreme zoom).
class CDoubleClickButton : public QToolButton
{
    Q_OBJECT
public:
    using QToolButton::QToolButton;
signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* e) override;
};

class CTransportBar : public QWidget
{
    Q_OBJECT
public:
    explicit CTransportBar(QWidget* parent = nullptr);

    // The slowest play tempo the box offers (BPM); 0 leaves the song's own tempi.
    static constexpr int kMinPlayTempo = 20;

    // 0 stopped, 1 playing, 2 paused: the looks of PLAY, MPLAY and LOOP. `active` is the
    // button that started playback (0 PLAY, 1 MPLAY, 2 LOOP).
    void SetPlayState(int state, int active);
    int PlayState() const { return m_state; }

    void ShowDefaultTempo(int bpm);
    int DefaultTempo() const;
    // Writes the current-tempo box only when it differs, so that its change fires once.
    void SetCurrentTempo(int bpm);
    int CurrentTempo() const;
    void SetSync(int hundredths);
    int Sync() const;
    int FaderPos() const;
    void SetWaveViewOn(bool on);
    // The CLICK button's state, without announcing it.
    void SetClickOn(bool on);

    QToolButton* m_play;
    QToolButton* m_mplay;
    QToolButton* m_loop;
    QToolButton* m_stop;
    QToolButton* m_dtempo;
    QToolButton* m_atempo;
    QToolButton* m_scope;
    QToolButton* m_click;
    CDoubleClickButton* m_plus;
    CDoubleClickButton* m_minus;
    QLineEdit* m_defaultTempo; // 1062
    QSpinBox* m_currentTempo;  // 1064
    QSlider* m_fader;          // 1069
    QSpinBox* m_sync;          // 1065

signals:
    void Play();
    void MeasurePlay();
    void Loop();
    void Stop();
    void DefaultTempoClicked();
    void AutoTempo();
    void CurrentTempoChanged(int bpm);
    void FaderReleased(int pos);
    void ToggleWaveView();
    void ZoomIn();
    void ZoomOut();
    void ZoomMax();
    void ZoomMin();
    void SyncChanged(int hundredths);
    void ClickToggled(bool on);

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    int m_state = 0;
    int m_active = 0;
};
