#pragma once
// The practice tools of the transport: the BPM counter (taps on any key give a tempo) and the
// Auto tempo dialog with its ramp settings.

#include "tempotools.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;

// "BPM (Tempo) Counter": Start begins counting; every key but Escape is a tap, Escape ends.
// A modal dialog like any other: while it counts, the player is asked to stop, and that
// request is withdrawn however the dialog closes.
class CBpmCounter : public QDialog
{
    Q_OBJECT
public:
    explicit CBpmCounter(QWidget* parent = nullptr);
    ~CBpmCounter() override;
    void StartCounting();
    bool Counting() const { return m_counting; }
    // A tap at a time in milliseconds (key events pass their time stamps).
    void Tap(int64_t msecs);
    QString Reading() const;
    QPushButton* StartButton() const { return m_start; }
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void EndCounting();

    CTapTempo m_taps;
    bool m_counting = false;
    QLineEdit* m_display;
    QPushButton* m_start;
};

// "Auto tempo": starting and ending BPM (50-200), hold and ramp sliders, Default, Presets.
class CAutoTempoDialog : public QDialog
{
    Q_OBJECT
public:
    // defaultTempo: what "Default" puts into Ending BPM (the transport's default tempo box).
    CAutoTempoDialog(const SAutoTempo& settings, std::function<int()> defaultTempo, QWidget* parent = nullptr);
    SAutoTempo Settings() const;
    void ApplyPreset(int preset);
    void OnDefault();

    QSpinBox* m_startBpm;
    QSpinBox* m_endBpm;
    QSlider* m_hold;
    QSlider* m_ramp;
    QPushButton* m_default;

private:
    void Show(const SAutoTempo& s);
    std::function<int()> m_defaultTempo;
};

// Play time for the ramp: counts only while the player plays, so a pause does not move it.
class CPlayTimeMeter
{
public:
    void Start(int64_t nowMsecs)
    {
        m_played = 0;
        m_last = nowMsecs;
    }
    // Called by the playback poll; `playing` false while paused.
    void Poll(int64_t nowMsecs, bool playing)
    {
        if (playing && nowMsecs > m_last)
            m_played += nowMsecs - m_last;
        m_last = nowMsecs;
    }
    int64_t PlayedMsecs() const { return m_played; }

private:
    int64_t m_played = 0;
    int64_t m_last = 0;
};
