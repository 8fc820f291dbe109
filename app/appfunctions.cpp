#include "appfunctions.h"

#include <QFileInfo>

#include <cmath>
#include <cstdio>
#include <limits>

bool ParseGotoTime(const QString& text, int* msecs)
{
    const QByteArray bytes = text.trimmed().toLatin1();
    int minutes = 0;
    float seconds = 0;
    const int colon = bytes.indexOf(':');
    if (colon < 1) {
        if (std::sscanf(bytes.constData(), "%f", &seconds) != 1)
            return false;
    } else if (std::sscanf(bytes.constData(), "%d:%f", &minutes, &seconds) != 2) {
        return false;
    }
    const double total = double(minutes) * 60000.0 + double(seconds) * 1000.0;
    // Rounding, not truncation: "30.5" is 30499.99... as a float.
    if (!std::isfinite(total) || std::fabs(total) > double(std::numeric_limits<int>::max()))
        return false;
    *msecs = int(std::lround(total));
    return true;
}

int BpmBetweenMarks(int mark1Msecs, int mark2Msecs)
{
    if (mark2Msecs <= mark1Msecs)
        return 0;
    return int(60000.0 / (mark2Msecs - mark1Msecs));
}

int CursorMsecs(int index32, int barTempo, int barStartMsecs)
{
    if (barTempo <= 0)
        barTempo = 120;
    const int ticks = index32 * 12;
    return int(ticks * 1000 * 60.0 / (barTempo * 96)) + barStartMsecs;
}

namespace {
// Minutes and seconds with tenths, as the status bar shows them.
void SplitMinutes(int msecs, int* minutes, double* seconds)
{
    *minutes = msecs / 60000;
    *seconds = msecs / 1000.0 - *minutes * 60;
}
}

QString CursorStatusText(int barNo, int index32, int msecs)
{
    int minutes;
    double seconds;
    SplitMinutes(msecs, &minutes, &seconds);
    return QString::asprintf("Cursor: measure %d %d/32nd @ time %02d:%.1f ", barNo, index32, minutes, seconds);
}

QString PlayingStatusText(int songMsecs, int measure, int waveMsecs)
{
    int minutes;
    double seconds;
    SplitMinutes(songMsecs, &minutes, &seconds);
    if (waveMsecs < 0)
        return QString::asprintf("PLAYING: %02d:%.1f measure %d", minutes, seconds, measure);
    int waveMinutes;
    double waveSeconds;
    SplitMinutes(waveMsecs, &waveMinutes, &waveSeconds);
    return QString::asprintf("PLAYING: %02d:%.1f measure %d. WAVE %02d:%.1f ", minutes, seconds, measure,
                             waveMinutes, waveSeconds);
}

QString MouseOverText(int barNo, int tick)
{
    return QString::asprintf("MOUSE OVER: measure %d, 32nd note position %d", barNo, tick);
}

QString ScopeGridLabel(int msecs)
{
    const int minutes = msecs / 60000;
    const int seconds = (msecs / 1000) % 60;
    const int tenths = (msecs / 100) % 10;
    return QString::asprintf("%d:%02d.%01d", minutes, seconds, tenths);
}

SScopeWindow ComputeScopeWindow(int durationMsecs, int zoom, int cursorMsecs)
{
    if (zoom < kMinWaveZoom)
        zoom = kMinWaveZoom;
    const double span = durationMsecs / (zoom * 1000.0);
    const double cursor = cursorMsecs / 1000.0;
    double start = 0;
    if (std::trunc(span * 0.95) < cursor)
        start = cursor - span / 10;
    if (start < span / 10)
        start = 0;
    const double end = start + span;
    return {int(start * 1000), int(end * 1000)};
}

int ScopeTimeToX(const SScopeWindow& w, int width, int msecs)
{
    const int len = w.endMsecs - w.startMsecs;
    if (len <= 0)
        return 0;
    return int(double(width) * (msecs - w.startMsecs) / len);
}

int ScopeXToTime(const SScopeWindow& w, int width, int x)
{
    if (width <= 0)
        return w.startMsecs;
    return w.startMsecs + int(double(x) / width * (w.endMsecs - w.startMsecs));
}

int ZoomIn(int zoom)
{
    return std::min(zoom + 2, kMaxWaveZoom);
}

int ZoomOut(int zoom)
{
    return std::max(zoom - 2, kMinWaveZoom);
}

SBeatMarks FindBeatMarks(const std::vector<int8_t>& overview, int durationMsecs, int t1Msecs, int t2Msecs)
{
    const long long length = static_cast<long long>(overview.size());
    if (length == 0 || durationMsecs <= 0)
        return {};
    auto indexOf = [&](int msecs) {
        long long i = static_cast<long long>(msecs) * length / durationMsecs;
        return std::clamp<long long>(i, 0, length - 1);
    };
    long long lo = indexOf(t1Msecs);
    long long hi = indexOf(t2Msecs);
    if (lo > hi)
        std::swap(lo, hi);
    if (hi - lo < 20)
        return {};
    const long long mid = lo + (hi - lo) / 2;
    long long leftIndex = 0, rightIndex = 0;
    int leftMax = 0, rightMax = 0;
    for (long long step = 0; mid - step >= lo + 1; ++step) {
        const long long l = mid - step;
        const long long r = mid + step;
        if (overview[l] > leftMax) {
            leftMax = overview[l];
            leftIndex = l;
        }
        if (r < length && overview[r] > rightMax) {
            rightMax = overview[r];
            rightIndex = r;
        }
    }
    return {int(static_cast<long long>(durationMsecs) * leftIndex / length),
            int(static_cast<long long>(durationMsecs) * rightIndex / length)};
}

QString LayoutValue(const QRect& frame)
{
    return QString::asprintf("%d,%d,%d,%d", frame.width(), frame.height(), frame.left(), frame.top());
}

bool ParseLayoutValue(const QString& text, QRect* frame)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() < 4)
        return false;
    int v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return false;
    }
    // A window too small to use or absurdly large is a damaged value: keep the defaults.
    if (v[0] < 200 || v[1] < 150 || v[0] > 20000 || v[1] > 20000 || std::abs(v[2]) > 20000 || std::abs(v[3]) > 20000)
        return false;
    *frame = QRect(v[2], v[3], v[0], v[1]);
    return true;
}

QStringList AddRecentFile(QStringList list, const QString& path, int max)
{
    const QString abs = QFileInfo(path).absoluteFilePath();
    list.removeAll(abs);
    list.prepend(abs);
    while (list.size() > max)
        list.removeLast();
    return list;
}

bool GotoTimeTarget(const std::vector<int>& barStartsMsecs, const std::vector<int>& barTicks, int msecs, SBarTarget* target)
{
    if (barStartsMsecs.empty() || msecs <= barStartsMsecs.front())
        return false;
    size_t bar = 0;
    while (bar + 1 < barStartsMsecs.size() && barStartsMsecs[bar + 1] < msecs)
        ++bar;
    target->barIndex = int(bar);
    target->tick = 0;
    if (bar + 1 == barStartsMsecs.size()) {
        // Past the song's end (the closing bar): the last measure, at its start.
        if (bar > 0)
            target->barIndex = int(bar) - 1;
        return true;
    }
    const int len = barStartsMsecs[bar + 1] - barStartsMsecs[bar];
    const int ticks = bar < barTicks.size() ? barTicks[bar] : 32;
    if (len > 0)
        target->tick = std::min(int(double(msecs - barStartsMsecs[bar]) / len * ticks), std::max(ticks - 1, 0));
    return true;
}
