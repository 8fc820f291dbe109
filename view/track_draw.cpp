// The furniture of systems and measures: header block, margins, staff, clefs, time
// signatures, tempo marks, repeat signs, endings, measure repeats, tab staff, count row,
// imported text, markers.

#include "catalogue.h"
#include "importtext.h"
#include "notationshapes.h"
#include "trackpass.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kMaxEndingScan = 16; // measures looked ahead for the end of an ending bracket

int Lead(const CEvent& ev) { return ev.IsBar() && (ev.m_word2 & EventBits::TimeSigShown) ? 32 : 10; }
}

void CTrackPass::HLine(qreal x0, qreal x1, qreal y)
{
    m_p->fillRect(QRectF(x0, y, x1 - x0, 1), Qt::black);
}

void CTrackPass::VLine(qreal x, qreal y0, qreal y1)
{
    m_p->fillRect(QRectF(x, y0, 1, y1 - y0), Qt::black);
}

void CTrackPass::Log(EGlyph kind, qreal x, qreal y, int value, const QString& text, bool stemUp)
{
    Record(kind, QRectF(), x, y, value, text, stemUp);
}

// ----- placement ------------------------------------------------------------------------------

namespace {
constexpr qreal kGap = 0.5; // the least room between two symbols that must not touch
}

void CTrackPass::Record(EGlyph kind, const QRectF& box, qreal x, qreal y, int value, const QString& text, bool stemUp)
{
    if (!box.isEmpty())
        m_shape.push_back(box);
    if (m_track.m_glyphLog)
        m_track.m_glyphLog->push_back({kind, m_logBar, x, y, value, text, stemUp, box});
}

bool CTrackPass::Collides(const QRectF& box) const
{
    const QRectF probe = box.adjusted(-kGap, -kGap, kGap, kGap);
    return std::any_of(m_shape.begin(), m_shape.end(), [&](const QRectF& r) { return r.intersects(probe); });
}

qreal CTrackPass::FreeShift(const QRectF& box, int direction, qreal quantum) const
{
    // Jump past whatever the box meets until it meets nothing; a system holds a few hundred
    // boxes, so the plain scan is cheap next to the drawing itself.
    qreal dy = 0;
    for (int guard = 0; guard < 200; ++guard) {
        const QRectF probe = box.translated(0, dy).adjusted(-kGap, -kGap, kGap, kGap);
        qreal step = 0;
        for (const QRectF& r : m_shape) {
            if (!r.intersects(probe))
                continue;
            const qreal need = direction < 0 ? r.top() - probe.bottom() : r.bottom() - probe.top();
            if (std::abs(need) > std::abs(step))
                step = need;
        }
        if (step == 0)
            return dy;
        if (quantum > 0)
            step = direction * quantum * std::ceil(std::abs(step) / quantum - 1e-6);
        dy += step;
    }
    return dy;
}

void CTrackPass::PlaceBarMarks()
{
    if (!m_pendingMarks)
        return;
    const SPendingBarMarks marks = *m_pendingMarks;
    m_pendingMarks.reset();
    const int saved = m_logBar;
    m_logBar = marks.bar;
    const CNotationFonts& fonts = NotationFonts();
    if (marks.tempo != 0) {
        // The metronome and its "=bpm" move together, above whatever the bar's notes hold.
        const qreal x = marks.x;
        const qreal y = marks.staffTop - 74;
        const QString text = QStringLiteral("=%1").arg(marks.tempo);
        const QRectF note = NotationShapes().m_metronome.boundingRect().translated(x, y);
        const QRectF words = TextInk(fonts.m_header, x + 8, y + 4, text);
        const qreal dy = FreeShift(note.united(words), -1);
        FillShape(m_p, NotationShapes().m_metronome, x, y + dy);
        TextOut(m_p, fonts.m_header, x + 8, y + 4 + dy, text, false);
        Record(EGlyph::Tempo, note.united(words).translated(0, dy), x, y + dy, marks.tempo);
    }
    if (!marks.text.isEmpty()) {
        const qreal y = marks.systemTop + 4;
        const QRectF box = TextInk(fonts.m_header, marks.x, y, marks.text);
        const qreal dy = FreeShift(box, -1);
        TextOut(m_p, fonts.m_header, marks.x, y + dy, marks.text, false);
        Record(EGlyph::BarText, box.translated(0, dy), marks.x, y + dy, 0, marks.text);
    }
    m_logBar = saved;
}

// ----- header and margins -----------------------------------------------------------------

int CTrackPass::HeaderLines(std::vector<std::pair<QString, QString>>* lines) const
{
    static const std::pair<const char*, int> kFields[] = {
        {"Band:", Header::Band},         {"Album:", Header::Album},       {"Track No:", Header::TrackNo},
        {"Year:", Header::Year},         {"Duration:", Header::Duration}, {"Copyright:", Header::Copyright},
        {"Music by:", Header::MusicBy},  {"Lyrics by:", Header::LyricsBy}, {"Drummer:", Header::Drummer},
        {"Drum Tab by:", Header::Tabber},
    };
    lines->clear();
    lines->emplace_back(QStringLiteral("Song:"), m_doc.m_header[Header::Song]);
    for (const auto& [label, index] : kFields)
        if (!m_doc.m_header[size_t(index)].isEmpty())
            lines->emplace_back(QString::fromLatin1(label), m_doc.m_header[size_t(index)]);
    return int(lines->size());
}

void CTrackPass::DrawHeader()
{
    if (!m_p)
        return;
    if (m_printing ? m_target.page != 1
                   : !(m_target.visible.isNull() || m_target.visible.intersects(QRect(0, 0, m_width, 36))))
        return;
    std::vector<std::pair<QString, QString>> lines;
    HeaderLines(&lines);
    const QFont& font = NotationFonts().m_header;
    for (size_t i = 0; i < lines.size(); ++i) {
        const qreal y = 21.0 * qreal(i);
        TextOut(m_p, font, 10, y, lines[i].first);
        // One tab stop, 100 units from the start of the line.
        TextOut(m_p, font, std::max<qreal>(110, 10 + TextWidth(font, lines[i].first) + 4), y, lines[i].second);
    }
}

void CTrackPass::DrawSystemMargin(const CEvent& bar, int systemTop)
{
    HLine(5, 50, systemTop);
    TextOut(m_p, NotationFonts().m_timeSig, 10, systemTop + 2, QString::number(m_barNo));
    if (bar.IsBar() && (!m_printing || DisplayConfig().m_playTime)) {
        const uint32_t secs = bar.GetRunTime2() / 1000;
        TextOut(m_p, NotationFonts().m_barTime, 10, systemTop + 25,
                QStringLiteral("%1:%2").arg(secs / 60).arg(secs % 60, 2, 10, QLatin1Char('0')));
    }
}

void CTrackPass::DrawPageBand(int systemTop)
{
    qreal x = 200;
    for (int index : {int(Header::Band), int(Header::Song)}) {
        const QString& text = m_doc.m_header[size_t(index)];
        if (text.isEmpty())
            continue;
        TextOut(m_p, NotationFonts().m_count, x, systemTop - 13, text);
        x += 200;
    }
}

void CTrackPass::DrawImportText(const std::vector<SImportTextLine>& lines, const CEvent& bar, int top)
{
    const QFont& font = NotationFonts().m_importText;
    const qreal charWidth = TextWidth(font, QStringLiteral("0"));
    qreal x = 20;
    const int column = m_import->AlignColumn(bar.GetImportRef());
    if (column >= 0) {
        // Shift so that the bar's first tab character sits under its first tick.
        const SBarGeometry g = CTrack::GeometryOf(bar);
        x = g.x + Lead(bar) - (5 + column) * charWidth;
    }
    const int saved = m_logBar;
    m_logBar = m_barNo;
    for (size_t i = 0; i < lines.size(); ++i) {
        const SImportTextLine& line = lines[i];
        const qreal y = top + 13.0 * qreal(i);
        const QString text = QStringLiteral("%1 %2").arg(line.lineNo, 4).arg(line.text);
        // Lines stand closer than the font's cell: no background, or each would cut the last.
        TextOut(m_p, font, x, y, text, false);
        if (line.markFrom >= 0 && line.markTo > line.markFrom) {
            const QString marked = line.text.mid(line.markFrom, line.markTo - line.markFrom);
            m_p->save();
            m_p->setPen(Qt::red);
            TextOut(m_p, font, x + (5 + line.markFrom) * charWidth, y, marked, false);
            m_p->restore();
        }
        Log(EGlyph::ImportLine, x, y, line.lineNo, line.text);
    }
    m_logBar = saved;
}

bool CTrackPass::LeadIsCrowded(CEventList::iterator bar) const
{
    for (auto it = std::next(bar); it != m_doc.Events().end() && !it->IsMeasure(); ++it) {
        const CEvent& ev = *it;
        if (ev.GetPosition() != 0)
            break;
        if (ev.IsNote() && (m_drums ? ev.IsFlamOrPM() : ev.GetAccidental(uint32_t(m_trackType)) != 0))
            return true;
    }
    return false;
}

void CTrackPass::DrawCornerMark()
{
    const qreal w = m_usableWidth;
    const qreal h = m_pageHeight;
    HLine(w - 10, w, h);
    VLine(w, h - 10, h);
}

// ----- measures -----------------------------------------------------------------------------

void CTrackPass::DrawMeasure(const CEvent& ev, CEventList::iterator it, int systemTop)
{
    const bool draw = m_p && m_systemVisible;
    const SBarGeometry g = CTrack::GeometryOf(ev);
    m_logBar = m_barNo;
    if (draw) {
        if (m_rows.standard)
            DrawStaff(ev, it, g);
        if (m_rows.tab)
            DrawTabStaff(ev, g);
        if (m_rows.count && ev.IsBar())
            DrawCountRow(ev, g);
    }
    UpdateEnding(ev, it, draw, g);
    if (!draw)
        return;
    if (ev.IsBar() && ev.HasText()) {
        // Placed with the tempo mark once the bar's notes are down.
        if (!m_pendingMarks)
            m_pendingMarks = SPendingBarMarks{m_barNo, qreal(g.x), g.staffTop, systemTop, 0, {}};
        m_pendingMarks->systemTop = systemTop;
        m_pendingMarks->text = ev.GetText().left(CEvent::kMaxSavedText);
    }
    const CNotationShapes& shapes = NotationShapes();
    if (m_barNo == m_track.m_startMarkerBar) {
        FillShape(m_p, shapes.m_startMarker, g.x, g.staffTop - 40);
        Record(EGlyph::Marker, shapes.m_startMarker.boundingRect().translated(g.x, g.staffTop - 40), g.x,
               g.staffTop - 40, 0);
    }
    if (m_barNo == m_track.m_endMarkerBar) {
        FillShape(m_p, shapes.m_endMarker, g.x - 6, g.staffTop - 40);
        Record(EGlyph::Marker, shapes.m_endMarker.boundingRect().translated(g.x - 6, g.staffTop - 40), g.x - 6,
               g.staffTop - 40, 1);
    }
}

void CTrackPass::DrawStaff(const CEvent& ev, CEventList::iterator it, const SBarGeometry& g)
{
    const CNotationShapes& shapes = NotationShapes();
    const CNotationFonts& fonts = NotationFonts();
    const int top = g.staffTop;
    const int x = g.x;
    const int right = g.x + g.width;
    const int from = m_firstInSystem ? x - 20 : x;
    for (int i = 0; i < 5; ++i)
        HLine(from, right + 1, top + 8 * i);
    VLine(right, top, top + 33);

    if (m_firstInSystem) {
        if (m_drums) {
            m_p->fillRect(QRectF(x - 10, top + 8, 3, 16), Qt::black);
            m_p->fillRect(QRectF(x - 3, top + 8, 3, 16), Qt::black);
        } else if (m_trackType >= int(TrackType::Bass4) && m_trackType <= int(TrackType::Bass6)) {
            FillShape(m_p, shapes.m_bassClef, x - 18, top + 1);
        } else {
            FillShape(m_p, shapes.m_trebleClef, x - 18, top - 15);
        }
    }

    if (ev.IsBar() && (ev.m_word2 & EventBits::TimeSigShown)) {
        const QString num = QString::number(ev.GetTimeSigNumerator());
        const QString den = QString::number(ev.GetTimeSigDenominator());
        // Digits centred over the lead, each filling two staff spaces.
        const QFontMetricsF fm(fonts.m_timeSig);
        const qreal capTop = fm.ascent() - fm.capHeight();
        const qreal halfWidth = std::max(fm.horizontalAdvance(num), fm.horizontalAdvance(den)) / 2;
        // Two-digit signatures, and a grace note or accidental before the first note, would
        // run into the first note: the digits then move left, as far as the bar line (or a
        // repeat sign's dots) allows.
        const qreal firstNoteLeft = x + 32 + 2.6 - 5;
        const qreal free = LeadIsCrowded(it) ? std::min(firstNoteLeft, x + 22 + shapes.m_grace.boundingRect().left() - 1)
                                             : firstNoteLeft;
        const qreal lowest = x + (ev.IsRepeatGroupStart() ? 7 : 2) + halfWidth;
        const qreal centre = std::max(lowest, std::min(x + 8 + 11.0, free - 1 - halfWidth));
        TextOut(m_p, fonts.m_timeSig, centre - fm.horizontalAdvance(num) / 2, top + 0.5 - capTop, num, false);
        TextOut(m_p, fonts.m_timeSig, centre - fm.horizontalAdvance(den) / 2, top + 16.5 - capTop, den, false);
        // The ink of the digits: cap height from each line's top.
        const QRectF box(centre - halfWidth, top + 0.5, 2 * halfWidth, 16 + fm.capHeight());
        Record(EGlyph::TimeSig, box, x + 8, top - 3, 0, num + u'/' + den);
    }

    if (ev.IsBar() && ev.GetTempo() != 0) {
        // Placed with the bar text once the bar's notes are down.
        if (!m_pendingMarks)
            m_pendingMarks = SPendingBarMarks{m_barNo, qreal(x), top, top - 93, 0, {}};
        m_pendingMarks->tempo = int(ev.GetTempo());
    }

    if (ev.IsBar() && ev.IsRepeatGroupStart()) {
        DrawRepeatStart(x, top, 32);
        Record(EGlyph::RepeatStart, QRectF(x - 6, top, 12, 33), x, top);
    }
    if (ev.IsBar() && ev.IsRepeatGroupEnd()) {
        DrawRepeatEnd(right, top, 32);
        Record(EGlyph::RepeatEnd, QRectF(right - 11, top, 13, 33), right, top);
    }

    if (ev.IsRepeatPrev()) {
        const int n = int(ev.GetRepeatPrevNMeasures());
        const int m = int(ev.GetRepeatPrevCount());
        const QPainterPath& sign = shapes.m_measureRepeat[size_t(std::clamp(n, 1, 5) - 1)];
        FillShape(m_p, sign, x + 22, top + 8);
        Record(EGlyph::MeasureRepeat, sign.boundingRect().translated(x + 22, top + 8), x + 22, top + 8, n);
        if (n > 5)
            TextOut(m_p, fonts.m_count, x + 22 + (n > 9 ? 14 : 19), top + 5, QString::number(n));
        if (m > 1)
            TextOut(m_p, fonts.m_count, x + 22 + (n > 5 ? 19 : 3 * n) - (m > 9 ? 5 : 0), top - 21,
                    QString::number(m));
    }
}

void CTrackPass::DrawRepeatStart(qreal x, qreal top, qreal height)
{
    m_p->fillRect(QRectF(x - 6, top, 4, height + 1), Qt::black);
    VLine(x, top, top + height + 1);
    const qreal mid = top + height / 2;
    FillShape(m_p, NotationShapes().m_repeatDot, x + 2, mid - 6);
    FillShape(m_p, NotationShapes().m_repeatDot, x + 2, mid + 2);
}

void CTrackPass::DrawRepeatEnd(qreal right, qreal top, qreal height)
{
    m_p->fillRect(QRectF(right - 2, top, 4, height + 1), Qt::black);
    VLine(right - 5, top, top + height + 1);
    const qreal mid = top + height / 2;
    FillShape(m_p, NotationShapes().m_repeatDot, right - 11, mid - 6);
    FillShape(m_p, NotationShapes().m_repeatDot, right - 11, mid + 2);
}

void CTrackPass::UpdateEnding(const CEvent& ev, CEventList::iterator it, bool draw, const SBarGeometry& g)
{
    const int tabTop = g.staffTop + g.T;
    auto strokeAt = [&](qreal x, bool horizontalTo, qreal xEnd) {
        if (m_rows.standard) {
            if (horizontalTo) {
                HLine(x, xEnd, g.staffTop - 70);
                m_shape.emplace_back(x, g.staffTop - 70, xEnd - x, 1);
            } else {
                VLine(x, g.staffTop - 70, g.staffTop - 49);
                m_shape.emplace_back(x, g.staffTop - 70, 1, 21);
            }
        }
        if (m_rows.tab) {
            if (horizontalTo)
                HLine(x, xEnd, tabTop - 27);
            else
                VLine(x, tabTop - 27, tabTop - 6);
        }
    };

    const int ending = ev.IsBar() ? int(ev.GetRepeatGroupAltEnd()) : 0;
    if (ending != 0) {
        // The bracket runs to the repeat end that closes this ending, or up to the bar
        // before the next ending. The last ending, which nothing closes, covers its own bar
        // and stays open at the right.
        m_endingOpen = true;
        m_endingLastBar = m_barNo;
        m_endingClosed = false;
        m_endingGoesBack = false;
        if (ev.IsRepeatGroupEnd()) {
            m_endingClosed = true;
        } else {
            int bar = m_barNo;
            int scanned = 0;
            for (auto next = std::next(it); next != m_doc.Events().end() && scanned < kMaxEndingScan; ++next) {
                const CEvent& nb = *next;
                if (!nb.IsMeasure())
                    continue;
                ++scanned;
                if (nb.IsBar() && nb.GetRepeatGroupAltEnd() != 0) {
                    // The next ending follows: the music goes back from here.
                    m_endingLastBar = bar;
                    m_endingClosed = true;
                    m_endingGoesBack = true;
                    break;
                }
                if (nb.IsBar() && nb.IsRepeatGroupStart())
                    break;
                ++bar;
                if (nb.IsBar() && nb.IsRepeatGroupEnd()) {
                    m_endingLastBar = bar;
                    m_endingClosed = true;
                    break;
                }
            }
        }
        if (draw) {
            strokeAt(g.x, false, 0);
            const QString number = QString::number(ending);
            const QFont& font = NotationFonts().m_count;
            if (m_rows.standard)
                TextOut(m_p, font, g.x + 2, g.staffTop - 68, number);
            if (m_rows.tab)
                TextOut(m_p, font, g.x + 2, tabTop - 25, number);
            const QRectF box = TextInk(font, g.x + 2, g.staffTop - 68, number);
            Record(EGlyph::Ending, m_rows.standard ? box : QRectF(), g.x, g.staffTop - 68, ending);
        }
    }
    if (!m_endingOpen)
        return;
    if (draw)
        strokeAt(g.x, true, g.x + g.width + 1);
    if (m_barNo >= m_endingLastBar) {
        if (draw && m_endingClosed)
            strokeAt(g.x + g.width, false, 0);
        // An ending that another follows ends with a repeat sign even when the bar does not
        // carry one (the importer leaves it to the ending).
        if (draw && m_endingGoesBack && ev.IsBar() && !ev.IsRepeatGroupEnd()) {
            if (m_rows.standard)
                DrawRepeatEnd(g.x + g.width, g.staffTop, 32);
            if (m_rows.tab)
                DrawRepeatEnd(g.x + g.width, tabTop, g.B - g.T);
            Log(EGlyph::RepeatEnd, g.x + g.width, g.staffTop);
        }
        m_endingOpen = false;
    }
}

void CTrackPass::DrawTabStaff(const CEvent& ev, const SBarGeometry& g)
{
    const int top = g.staffTop + g.T;
    const int bottom = g.staffTop + g.B;
    const int right = g.x + g.width;
    const int lead = Lead(ev);
    const CNotationFonts& fonts = NotationFonts();

    if (ev.IsBar()) {
        // One dash per 32nd, so that empty time reads like a text tab.
        const int ticks = int(ev.GetMeasureTicks());
        QPen dashes(Qt::black, 1, Qt::CustomDashLine, Qt::FlatCap);
        dashes.setDashPattern({6, 2});
        m_p->save();
        m_p->setPen(dashes);
        m_p->setRenderHint(QPainter::Antialiasing, false);
        const int x0 = g.x + lead;
        for (int row = 0; row < m_tabRows; ++row) {
            const int y = top + 12 * row;
            m_p->drawLine(QPointF(x0 + 1, y), QPointF(x0 + 8 * ticks - 1, y));
        }
        m_p->restore();
    }
    VLine(right, top, bottom + 1);

    if (m_firstInSystem) {
        VLine(g.x, top, bottom + 1);
        if (m_drums) {
            int shown = 0;
            for (int row = 0; row < TabLines::kCount; ++row) {
                if (!TabLines::IsShown(row))
                    continue;
                TextOut(m_p, fonts.m_tabRowLabel, 10, top + 12 * shown - 6,
                        QString::fromLatin1(TabLines::Table()[size_t(row)].shortName), false);
                ++shown;
            }
        } else {
            const std::vector<int> strings = CTrack::OpenStrings(uint32_t(m_trackType));
            for (size_t i = 0; i < strings.size(); ++i)
                TextOut(m_p, fonts.m_tabRowLabel, 10, top + 12 * int(i) - 6, CTrack::PitchName(strings[i]), false);
        }
    }

    if (ev.IsBar() && ev.IsRepeatGroupStart())
        DrawRepeatStart(g.x, top, bottom - top);
    if (ev.IsBar() && ev.IsRepeatGroupEnd())
        DrawRepeatEnd(right, top, bottom - top);
    if (ev.IsRepeatPrev() && !m_rows.standard) {
        const int n = int(ev.GetRepeatPrevNMeasures());
        FillShape(m_p, NotationShapes().m_measureRepeat[size_t(std::clamp(n, 1, 5) - 1)], g.x + 22,
                  (top + bottom) / 2.0 - 8);
        Log(EGlyph::MeasureRepeat, g.x + 22, (top + bottom) / 2.0 - 8, n);
    }
}

void CTrackPass::DrawCountRow(const CEvent& ev, const SBarGeometry& g)
{
    const QFont& font = NotationFonts().m_count;
    const qreal y = g.staffTop + g.B + 8 + 5;
    const qreal x0 = g.x + 9 + (ev.m_word2 & EventBits::TimeSigShown ? 22 : 0);
    const int num = int(ev.GetTimeSigNumerator());
    const int den = int(ev.GetTimeSigDenominator());

    QStringList tokens;
    qreal beatWidth = 0;
    int beats = num;
    switch (den) {
    case 2:
        tokens = {QStringLiteral("1"), QStringLiteral("e"), QStringLiteral("&"), QStringLiteral("a")};
        beatWidth = 128;
        break;
    case 4:
        tokens = {QStringLiteral("1"), QStringLiteral("e"), QStringLiteral("&"), QStringLiteral("a")};
        beatWidth = 64;
        break;
    case 8:
        if (num % 3 == 0 && m_doc.m_bThreePartCounting) {
            tokens = {QStringLiteral("1"), QStringLiteral("a"), QStringLiteral("+")};
            beatWidth = 96;
            beats = num / 3;
        } else {
            tokens = {QStringLiteral("1"), QStringLiteral("&")};
            beatWidth = 32;
        }
        break;
    case 16:
        tokens = {QStringLiteral("1")};
        beatWidth = 16;
        break;
    case 32:
        tokens = {QStringLiteral("1")};
        beatWidth = 8;
        break;
    default:
        return;
    }
    const qreal step = beatWidth / qreal(tokens.size());
    for (int beat = 0; beat < beats; ++beat) {
        for (int k = 0; k < int(tokens.size()); ++k) {
            const QString text = k == 0 ? QString::number((beat + 1) % 10) : tokens[k];
            // Each syllable centred on its tick (the first starts one unit left of it).
            const qreal x = x0 + beat * beatWidth + k * step;
            TextOut(m_p, font, x + 5 - TextWidth(font, text) / 2, y, text);
            Log(EGlyph::Count, x, y, beat + 1, text);
        }
    }
}
