#pragma once
// The desktop program's arithmetic and texts, kept free of widgets so that they can be tested
// without a window: time entry, status-bar texts, the waveform window and beat marks, the
// Files pane signature, the saved window layout and the recent-file list.

#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// "SS" (seconds, with a fraction) or "MM:SS" into milliseconds. False for text that does
// not parse; the caller shows "Bad time format, please use SS or MM:SS".
bool ParseGotoTime(const QString& text, int* msecs);
inline const char* const kBadTimeFormat = "Bad time format, please use SS or MM:SS";

// Tempo of one beat between two beat marks in ms; 0 when the marks do not make a beat.
int BpmBetweenMarks(int mark1Msecs, int mark2Msecs);

// Milliseconds of a 32nd index inside a bar that starts at barStartMsecs with barTempo.
int CursorMsecs(int index32, int barTempo, int barStartMsecs);
// "Cursor: measure %d %d/32nd @ time %02d:%.1f "
QString CursorStatusText(int barNo, int index32, int msecs);
// "PLAYING: %02d:%.1f measure %d", with ". WAVE %02d:%.1f " when waveMsecs >= 0.
QString PlayingStatusText(int songMsecs, int measure, int waveMsecs = -1);
// "MOUSE OVER: measure %d, 32nd note position %d"
QString MouseOverText(int barNo, int tick);
// Waveform grid label "%d:%02d.%01d" (minutes, seconds, tenths).
QString ScopeGridLabel(int msecs);

// The visible part of the waveform, recomputed at every paint.
struct SScopeWindow
{
    int startMsecs = 0;
    int endMsecs = 0;
};
SScopeWindow ComputeScopeWindow(int durationMsecs, int zoom, int cursorMsecs);
int ScopeTimeToX(const SScopeWindow& w, int width, int msecs);
int ScopeXToTime(const SScopeWindow& w, int width, int x);
// Odd zoom steps 1 to 41.
inline constexpr int kMinWaveZoom = 1;
inline constexpr int kMaxWaveZoom = 41;
int ZoomIn(int zoom);
int ZoomOut(int zoom);

// The loudest overview entry in each half of the dragged span, as times; both 0 when the
// span is shorter than 20 entries.
struct SBeatMarks
{
    int mark1Msecs = 0;
    int mark2Msecs = 0;
};
SBeatMarks FindBeatMarks(const std::vector<int8_t>& overview, int durationMsecs, int t1Msecs, int t2Msecs);

// "layout": "%d,%d,%d,%d" = width, height, left, top.
QString LayoutValue(const QRect& frame);
bool ParseLayoutValue(const QString& text, QRect* frame);

// The recent-file list: newest first, no duplicates, at most `max` entries.
QStringList AddRecentFile(QStringList list, const QString& path, int max = 4);

// The bar a time falls in, and the 32nd tick inside it: the last bar whose start lies before
// msecs. barStartsMsecs and barTicks are per measure in song order, the closing bar last (its
// start is the song's end). A time past the song's end targets the last measure at tick 0.
// Returns false when msecs is not after the first bar's start (nothing to do).
struct SBarTarget
{
    int barIndex = 0; // 0-based
    int tick = 0;
};
bool GotoTimeTarget(const std::vector<int>& barStartsMsecs, const std::vector<int>& barTicks, int msecs, SBarTarget* target);
