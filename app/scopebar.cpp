#include "scopebar.h"

#include "appfunctions.h"
#include "playclock.h"
#include "report.h"
#include "rondeldoc.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

#include <algorithm>

namespace {
CScopeBar::Loader& TheLoader()
{
    static CScopeBar::Loader loader;
    return loader;
}
// Colours are given as 0x00BBGGRR values.
QColor FromColorRef(uint32_t c)
{
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}
CScopeBar::SWaveOutput& TheOutput()
{
    static CScopeBar::SWaveOutput output;
    return output;
}
constexpr double kSamplesPerMsec = 22.05;
}

void CScopeBar::SetWaveOutput(SWaveOutput output)
{
    TheOutput() = std::move(output);
}

void CScopeBar::SetLoader(Loader loader)
{
    TheLoader() = std::move(loader);
}

CScopeBar::CScopeBar(QWidget* parent) : QWidget(parent)
{
    setMinimumHeight(60);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setToolTip(QString());
}

void CScopeBar::AttachDocument(CRondelDoc* doc)
{
    m_pDoc = doc;
    m_cursorMsecs = NoCursor();
    update();
}

int CScopeBar::NoCursor() const
{
    return m_pDoc ? m_pDoc->m_audioSync * 10 : 0;
}

int CScopeBar::Zoom() const
{
    const int z = m_pDoc ? m_pDoc->m_waveZoom : m_zoom;
    return std::clamp(z, kMinWaveZoom, kMaxWaveZoom);
}

void CScopeBar::SetZoom(int zoom)
{
    if (m_pDoc)
        m_pDoc->m_waveZoom = zoom;
    m_zoom = zoom;
    update();
}

void CScopeBar::ZoomIn() { SetZoom(::ZoomIn(Zoom())); }
void CScopeBar::ZoomOut() { SetZoom(::ZoomOut(Zoom())); }
void CScopeBar::ZoomMax() { SetZoom(kMaxWaveZoom); }
void CScopeBar::ZoomMin() { SetZoom(kMinWaveZoom); }

bool CScopeBar::LoadAudio()
{
    CloseAudio();
    if (!m_pDoc || m_pDoc->m_audioFile.isEmpty())
        return false;
    SAudio audio;
    QString error;
    if (!TheLoader() || !TheLoader()(m_pDoc->m_audioFile, &audio, &error) || audio.sampleCount <= 0) {
        UserReport().Error(QStringLiteral("Audio file read failed"));
        return false;
    }
    SetAudio(std::move(audio));
    return true;
}

void CScopeBar::SetAudio(SAudio audio)
{
    StopPlayback(); // the output may still read the old samples
    m_samples = std::move(audio.samples);
    m_sampleCount = audio.sampleCount;
    m_overview = std::move(audio.overview);
    m_durationMsecs = int(m_sampleCount / kSamplesPerMsec);
    m_cursorMsecs = NoCursor();
    m_beatMark1Msecs = m_beatMark2Msecs = 0;
    m_dragRect = QRect();
    update();
}

void CScopeBar::CloseAudio()
{
    StopPlayback();
    m_samples.clear();
    m_overview.clear();
    m_sampleCount = 0;
    m_durationMsecs = 0;
    m_playStartSample = 0;
    m_cursorMsecs = NoCursor();
    m_scopeDisplayStartMsecs = m_scopeDisplayEndMsecs = 0;
    update();
}

void CScopeBar::SetPosition(int msecs)
{
    m_playStartSample = int(std::max(msecs, 0) * kSamplesPerMsec);
    m_cursorMsecs = msecs;
    update();
}

void CScopeBar::StartPlayback()
{
    if (!HasAudio())
        return;
    if (m_playing)
        StopPlayback();
    m_playing = true;
    m_paused = false;
    m_playedMsecs = 0;
    m_playClockStart = PlayClock::NowMsecs();
    const SWaveOutput& out = TheOutput();
    m_onDevice = !PlayClock::IsManual() && out.start && out.samplesPlayed && !m_samples.empty()
        && out.start(m_samples.data(), int64_t(m_samples.size()), m_playStartSample);
    if (m_onDevice && out.volume)
        out.volume(m_volume);
}

void CScopeBar::StopPlayback()
{
    if (m_onDevice && TheOutput().stop)
        TheOutput().stop();
    m_onDevice = false;
    m_playing = false;
    m_paused = false;
    m_playedMsecs = 0;
    update();
}

void CScopeBar::PausePlayback()
{
    if (!m_playing || m_paused)
        return;
    m_playedMsecs += int(PlayClock::NowMsecs() - m_playClockStart);
    m_paused = true;
    if (m_onDevice && TheOutput().pause)
        TheOutput().pause(true);
}

void CScopeBar::ResumePlayback()
{
    if (!m_playing || !m_paused)
        return;
    m_playClockStart = PlayClock::NowMsecs();
    m_paused = false;
    if (m_onDevice && TheOutput().pause)
        TheOutput().pause(false);
}

void CScopeBar::SetWaveVolume(int fader)
{
    m_volume = std::clamp(fader, 0, 100) * 30000 / 100;
    if (m_onDevice && TheOutput().volume)
        TheOutput().volume(m_volume);
}

int CScopeBar::GetAudioPositionMsecs() const
{
    const int start = int(m_playStartSample / kSamplesPerMsec);
    if (m_onDevice)
        return int(TheOutput().samplesPlayed() / kSamplesPerMsec) + start;
    int played = m_playedMsecs;
    if (m_playing && !m_paused)
        played += int(PlayClock::NowMsecs() - m_playClockStart);
    return played + start;
}

int CScopeBar::DrawScopeCursorAtCurrentPlayTime()
{
    const int pos = GetAudioPositionMsecs();
    if (pos < m_durationMsecs) {
        m_cursorMsecs = pos;
        UpdateWindow();
        update();
        return pos;
    }
    m_cursorMsecs = NoCursor();
    update();
    return 0;
}

void CScopeBar::UpdateWindow()
{
    const SScopeWindow w = ComputeScopeWindow(m_durationMsecs, Zoom(), m_cursorMsecs);
    m_scopeDisplayStartMsecs = w.startMsecs;
    m_scopeDisplayEndMsecs = w.endMsecs;
}

void CScopeBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), FromColorRef(0x0A0A0A));
    if (!HasAudio())
        return;
    UpdateWindow();
    const SScopeWindow win{m_scopeDisplayStartMsecs, m_scopeDisplayEndMsecs};
    const int w = width();
    const int h = height();

    QPen grid(FromColorRef(0xC8C8C8), 1, Qt::DotLine);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    font.setWeight(QFont::Thin);
    p.setFont(font);
    for (int k = 1; k < 12; ++k) {
        const int x = k * w / 12;
        p.setPen(grid);
        p.drawLine(x, 0, x, h);
        p.setPen(FromColorRef(0xFFFFFF));
        const int ms = win.startMsecs + int(double(k) * (win.endMsecs - win.startMsecs) / 12);
        p.drawText(QPoint(x + 2, 5 + p.fontMetrics().ascent()), ScopeGridLabel(ms));
    }

    const int zoom = Zoom();
    const long long length = static_cast<long long>(m_overview.size());
    const double yScale = h / 128.0;
    const double xScale = double(w) * zoom / length;
    const long long first = static_cast<long long>(length * (m_scopeDisplayStartMsecs * kSamplesPerMsec / m_sampleCount));
    const int baseline = h - 3;
    QPolygon line;
    // Past the end of the audio the line simply stops: there is nothing to draw there.
    for (long long i = 0; i < length / zoom && first + i < length; ++i)
        line << QPoint(int(i * xScale), baseline - int(m_overview[size_t(first + i)] * yScale));
    p.setPen(QPen(FromColorRef(0x94DEA5), 0));
    p.drawPolyline(line);

    p.setCompositionMode(QPainter::CompositionMode_Difference);
    if (m_cursorMsecs != NoCursor() || m_playing) {
        const int x = ScopeTimeToX(win, w, m_cursorMsecs);
        p.fillRect(QRect(x - 1, 0, 3, h), Qt::white);
    }
    if (!m_dragRect.isEmpty())
        p.fillRect(m_dragRect, Qt::white);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (!m_dragRect.isEmpty() && m_beatMark2Msecs > m_beatMark1Msecs) {
        p.setPen(QPen(FromColorRef(0xFF00FF), 2, Qt::DotLine));
        const int x1 = ScopeTimeToX(win, w, m_beatMark1Msecs);
        const int x2 = ScopeTimeToX(win, w, m_beatMark2Msecs);
        p.drawLine(x1, 0, x1, h);
        p.drawLine(x2, 0, x2, h);
        p.setPen(FromColorRef(0x64FFFF));
        p.drawText(QPoint(x1, 20 + p.fontMetrics().ascent()),
                   QStringLiteral("Bpm %1").arg(BpmBetweenMarks(m_beatMark1Msecs, m_beatMark2Msecs)));
    }
}

void CScopeBar::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || !HasAudio())
        return;
    UpdateWindow();
    m_pressed = true;
    m_pressPos = e->position().toPoint();
    m_dragStartMsecs = ScopeXToTime({m_scopeDisplayStartMsecs, m_scopeDisplayEndMsecs}, width(), m_pressPos.x());
}

void CScopeBar::mouseMoveEvent(QMouseEvent* e)
{
    if (!m_pressed)
        return;
    const SScopeWindow win{m_scopeDisplayStartMsecs, m_scopeDisplayEndMsecs};
    const int x0 = ScopeTimeToX(win, width(), m_dragStartMsecs);
    const int x = e->position().toPoint().x();
    m_dragRect = QRect(QPoint(std::min(x0, x), 0), QPoint(std::max(x0, x), height() - 1));
    const int t = ScopeXToTime(win, width(), x);
    const SBeatMarks marks = FindBeatMarks(m_overview, m_durationMsecs, m_dragStartMsecs, t);
    m_beatMark1Msecs = marks.mark1Msecs;
    m_beatMark2Msecs = marks.mark2Msecs;
    update();
}

void CScopeBar::mouseReleaseEvent(QMouseEvent* e)
{
    if (!m_pressed || e->button() != Qt::LeftButton)
        return;
    m_pressed = false;
    const QPoint d = e->position().toPoint() - m_pressPos;
    if (std::abs(d.x()) >= 2 || std::abs(d.y()) >= 2) {
        m_dragRect = QRect();
        update();
        return;
    }
    // Bar start times already count from the sync point, so the audio time is the song time.
    emit LocateTime(m_dragStartMsecs);
}
