#pragma once
// "Wave file viewer": the song's recording as a waveform with a time grid, the play cursor of
// the overlay, click-to-locate and the drag that measures the tempo between two beats. It also
// keeps the overlay's playback position (start sample, pause, resume).

#include <QRect>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

class CRondelDoc;

class CScopeBar : public QWidget
{
    Q_OBJECT
public:
    // Decoded recording for the overlay: mono samples at 22 050 Hz and the drawing overview.
    struct SAudio
    {
        std::vector<int16_t> samples;
        int sampleCount = 0;
        std::vector<int8_t> overview;
    };
    // Reads and decodes an audio file; false with *error set when it cannot.
    using Loader = std::function<bool(const QString& path, SAudio* audio, QString* error)>;
    static void SetLoader(Loader loader);
    // The device that makes the overlay heard. Without one (or on the manual play clock) the
    // overlay runs silently on the play clock.
    struct SWaveOutput
    {
        // Plays samples[startSample..count); false when there is no device.
        std::function<bool(const int16_t* samples, int64_t count, int64_t startSample)> start;
        // Stops and forgets the samples.
        std::function<void()> stop;
        std::function<void(bool paused)> pause;
        std::function<void(int volume)> volume; // 0 to 30000 of 65535
        std::function<int64_t()> samplesPlayed;  // since the last start
    };
    static void SetWaveOutput(SWaveOutput output);

    explicit CScopeBar(QWidget* parent = nullptr);

    void AttachDocument(CRondelDoc* doc);
    // Loads the document's m_audioFile; "Audio file read failed" when that fails.
    bool LoadAudio();
    void SetAudio(SAudio audio);
    void CloseAudio();
    bool HasAudio() const { return m_sampleCount > 0 && !m_overview.empty(); }
    int DurationMsecs() const { return m_durationMsecs; }
    const std::vector<int8_t>& Overview() const { return m_overview; }

    // Overlay playback. Without an audio device the position runs on the play clock.
    void SetPosition(int msecs);
    void StartPlayback();
    void StopPlayback();
    void PausePlayback();
    void ResumePlayback();
    void SetWaveVolume(int fader);
    int WaveVolume() const { return m_volume; }
    int GetAudioPositionMsecs() const;
    bool IsPlaying() const { return m_playing; }
    // Moves the cursor to the overlay position, paging when it leaves the window; returns
    // the position, 0 past the end.
    int DrawScopeCursorAtCurrentPlayTime();

    void ZoomIn();
    void ZoomOut();
    void ZoomMax();
    void ZoomMin();
    int Zoom() const;

    int m_scopeDisplayStartMsecs = 0;
    int m_scopeDisplayEndMsecs = 0;
    int m_cursorMsecs = 0;
    int m_playStartSample = 0;
    int m_dragStartMsecs = 0;
    QRect m_dragRect;
    int m_beatMark1Msecs = 0;
    int m_beatMark2Msecs = 0;

signals:
    // A click (not a drag): locate the song at this time of the recording.
    void LocateTime(int msecs);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void UpdateWindow();
    int NoCursor() const;
    void SetZoom(int zoom);

    CRondelDoc* m_pDoc = nullptr;
    std::vector<int16_t> m_samples;
    int m_sampleCount = 0;
    int m_durationMsecs = 0;
    std::vector<int8_t> m_overview;
    bool m_playing = false;
    bool m_paused = false;
    bool m_onDevice = false;
    int64_t m_playClockStart = 0;
    int m_playedMsecs = 0; // before the last pause
    int m_volume = 30000 * 50 / 100;
    QPoint m_pressPos;
    bool m_pressed = false;
    int m_zoom = 1; // when no document is attached
};
