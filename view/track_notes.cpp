// The notes of a measure: voices, beam groups, beams and flags, triplets, note and rest
// symbols, instrument labels, palm mutes and the tab letters and frets.

#include "catalogue.h"
#include "drumlayout.h"
#include "notationshapes.h"
#include "report.h"
#include "trackpass.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace {
constexpr size_t kMaxDrawList = 94; // note records of one voice of one bar
constexpr int kPlainValues[] = {1, 2, 4, 8, 16, 32};
constexpr int kAllValues[] = {32, 24, 16, 12, 8, 6, 4, 3, 2, 1}; // plain and dotted, longest first

int Lead(const CEvent& ev) { return ev.IsBar() && (ev.m_word2 & EventBits::TimeSigShown) ? 32 : 10; }

bool IsPlain(int d) { return std::find(std::begin(kPlainValues), std::end(kPlainValues), d) != std::end(kPlainValues); }
bool IsDotted(int d) { return d == 3 || d == 6 || d == 12 || d == 24; }

// The value a symbol of d 32nds shows (plain or dotted) and what is left for rests.
struct SSplit
{
    int value;
    bool dotted;
    int remainder;
};
SSplit Split(int d)
{
    if (IsPlain(d))
        return {d, false, 0};
    if (IsDotted(d))
        return {d, true, 0};
    for (int v : kAllValues)
        if (v < d)
            return {v, IsDotted(v), d - v};
    return {1, false, 0};
}

// The undotted value under a possibly dotted one.
int BaseValue(int value) { return IsDotted(value) ? value * 2 / 3 : value; }

int FlagCount(int value)
{
    switch (BaseValue(value)) {
    case 4: return 1;
    case 2: return 2;
    case 1: return 3;
    default: return 0;
    }
}

bool HasCrossHead(int key)
{
    switch (key) {
    case 37: case 42: case 44: case 46: case 49: case 51: case 52: case 53: case 55: case 57: case 59:
        return true;
    default:
        return false;
    }
}

bool HasDiamondHead(int key) { return key == 39 || key == 54 || key == 56 || key == 58 || (key >= 60 && key <= 81); }

const char* LabelOf(int key)
{
    switch (key) {
    case 37: return "Ss";
    case 39: return "Clap";
    case 42: return "H.H.";
    case 46: return "O";
    case 49: return "Cr";
    case 51: case 59: return "R.C.";
    case 52: return "C.T.";
    case 53: return "R.C. Bell";
    case 54: return "Tam";
    case 55: return "Spl";
    case 56: return "Cb";
    case 57: return "Cr2";
    case 58: return "Vib";
    case 60: return "Hi Bgo";
    case 61: return "Lo Bgo";
    case 62: return "MH Cga";
    case 63: return "OH Cga";
    case 64: return "Lo Cga";
    case 65: return "Hi Tim";
    case 66: return "Lo Tim";
    case 67: return "Hi Ago";
    case 68: return "Lo Ago";
    case 69: return "Cab";
    case 70: return "Mar";
    case 71: return "S. Wh";
    case 72: return "L. Wh";
    case 73: return "S. Gu";
    case 74: return "L. Gu";
    case 75: return "Clv";
    case 76: return "Hi WM";
    case 77: return "Lo WB";
    case 78: return "M.Cu";
    case 79: return "O. Cu";
    case 80: return "M. Tri";
    case 81: return "O. Tri";
    default: return nullptr;
    }
}

// The pitch range of the staff-step tables.
bool InStepTable(int pitch, int trackType, bool octaveDown)
{
    const bool guitar = trackType == 30 || trackType == 31;
    const int first = guitar ? (octaveDown ? 47 : 35) : 23;
    return pitch >= first && pitch <= first + 64;
}
}

qreal CTrackPass::NoteX(const SBarGeometry& g, const CEvent& bar, const CEvent& note) const
{
    return g.x + Lead(bar) + note.GetPosition() * 64.0 / 96.0;
}

bool CTrackPass::StemUpFor(const CEvent& note) const
{
    return note.GetTailDirection(uint32_t(m_trackType));
}

bool CTrackPass::ReportDrawListOverflow(size_t count)
{
    if (count <= kMaxDrawList)
        return false;
    // Once per track: the text would otherwise come back with every repaint.
    if (!m_track.m_reportedDrawListOverflow) {
        m_track.m_reportedDrawListOverflow = true;
        UserReport().Error(QStringLiteral("Internal error. drawList size exceeded"));
        KADENZO_INTERNAL_PROBLEM(ReportSource::Track);
    }
    return true;
}

qreal CTrackPass::HeadY(const SBarGeometry& g, const SItem& item) const
{
    if (m_drums)
        return g.staffTop + 40 - 4 * DrumLayout::Position(int(item.ev->GetEventType())) + 0.5;
    return g.staffTop + 4 * item.step + 0.5;
}

// ----- a bar's notes ------------------------------------------------------------------------

void CTrackPass::DrawNotes(const CEvent& bar, const std::vector<CEvent*>& notes, bool closing)
{
    const SBarGeometry g = CTrack::GeometryOf(bar);
    m_logBar = m_barNo;
    m_labelRight = -1e9;
    m_labelRow = 0;
    m_pendingRests.clear();
    m_pendingAccents.clear();
    m_pendingTriplets.clear();
    if (m_rows.tab)
        DrawTabNotes(bar, g, notes);
    if (!m_rows.standard || !bar.IsBar()) {
        PlaceBarMarks();
        return;
    }

    // Triplet groups: closed at their third distinct position unless the next event is a
    // triplet at or before it (a chord).
    std::vector<STriplet> triplets;
    STriplet current;
    int distinct = 0;
    uint32_t lastPos = 0;
    for (size_t i = 0; i < notes.size(); ++i) {
        CEvent* ev = notes[i];
        if (!ev->IsTriplet())
            continue;
        const uint32_t pos = ev->GetPosition();
        if (current.notes.empty() || pos != lastPos) {
            ++distinct;
            lastPos = pos;
        }
        current.notes.push_back(ev);
        current.allUp = current.allUp && StemUpFor(*ev);
        if (distinct >= 3) {
            const CEvent* next = i + 1 < notes.size() ? notes[i + 1] : nullptr;
            if (!next || !(next->IsTriplet() && next->GetPosition() <= pos)) {
                triplets.push_back(std::move(current));
                current = STriplet();
                distinct = 0;
            }
        }
    }
    if (!current.notes.empty())
        triplets.push_back(std::move(current));

    if (m_drums) {
        std::vector<CEvent*> up, down;
        std::vector<const STriplet*> upT, downT;
        for (CEvent* ev : notes)
            if (!ev->IsTriplet())
                (StemUpFor(*ev) ? up : down).push_back(ev);
        for (const STriplet& t : triplets)
            (t.allUp ? upT : downT).push_back(&t);
        // The notes first, then what keeps clear of them: rests out of the other voice,
        // labels, accents over the labels, triplet numbers, and the bar's tempo and text on top.
        DrawVoice(bar, g, std::move(up), upT, EVoice::Up, closing);
        DrawVoice(bar, g, std::move(down), downT, EVoice::Down, closing);
        PlaceRests(g);
        DrawLabels(bar, g, notes);
        PlaceAccents(g);
        PlaceTriplets();
    } else {
        std::vector<CEvent*> plain;
        std::vector<const STriplet*> all;
        for (CEvent* ev : notes)
            if (!ev->IsTriplet())
                plain.push_back(ev);
        for (const STriplet& t : triplets)
            all.push_back(&t);
        DrawVoice(bar, g, std::move(plain), all, EVoice::Single, closing);
        PlaceRests(g);
        PlaceAccents(g);
        PlaceTriplets();
        DrawPalmMute(bar, g, notes);
    }
    PlaceBarMarks();
}

void CTrackPass::DrawVoice(const CEvent& bar, const SBarGeometry& g, std::vector<CEvent*> plain,
                           const std::vector<const STriplet*>& triplets, EVoice voice, bool closing)
{
    const int barTicks = int(bar.GetMeasureTicks());
    const qreal x0 = g.x + Lead(bar);
    if (plain.empty() && triplets.empty()) {
        if (!closing)
            DrawRests(g, x0, barTicks, voice, true);
        return;
    }
    if (ReportDrawListOverflow(plain.size()))
        plain.resize(kMaxDrawList);

    // Every tick where something of this voice starts, to measure each note to the next.
    std::vector<int> ticks;
    std::vector<int> tripletTicks;
    for (const CEvent* ev : plain)
        ticks.push_back(int(ev->GetTick()));
    for (const STriplet* t : triplets)
        for (const CEvent* ev : t->notes)
            tripletTicks.push_back(int(ev->GetTick()));
    ticks.insert(ticks.end(), tripletTicks.begin(), tripletTicks.end());
    std::sort(ticks.begin(), ticks.end());
    ticks.erase(std::unique(ticks.begin(), ticks.end()), ticks.end());
    std::sort(tripletTicks.begin(), tripletTicks.end());
    auto nextTickAfter = [&](int tick) {
        auto it = std::upper_bound(ticks.begin(), ticks.end(), tick);
        return it == ticks.end() ? barTicks : *it;
    };

    if (ticks.front() > 0)
        DrawRests(g, x0, std::min(ticks.front(), barTicks), voice);

    std::vector<SItem> items;
    items.reserve(plain.size());
    for (size_t i = 0; i < plain.size(); ++i) {
        CEvent* ev = plain[i];
        const int tick = int(ev->GetTick());
        int d = std::max(nextTickAfter(tick) - tick, 0);
        if (i + 1 < plain.size() && int(plain[i + 1]->GetTick()) == tick)
            d = 0;
        items.push_back({ev, NoteX(g, bar, *ev), tick, d, d});
    }
    // Members of a chord show the length of its last member.
    for (size_t i = items.size(); i-- > 0;)
        if (items[i].d == 0 && i + 1 < items.size() && items[i + 1].tick == items[i].tick)
            items[i].symbolD = items[i + 1].symbolD;

    // Beam groups: by half notes while the bar stays on the eighth-note grid, else by quarters.
    bool half = true;
    std::vector<SItem> group;
    int groupFirst = 0;
    int previousTick = -1;
    for (const SItem& item : items) {
        const bool tripletPassed = std::any_of(tripletTicks.begin(), tripletTicks.end(), [&](int t) {
            return t > previousTick && t <= item.tick;
        });
        if (tripletPassed || item.tick % 4 != 0)
            half = false;
        bool join = false;
        if (!group.empty()) {
            if (item.tick == group.back().tick)
                join = true;
            else if (half)
                join = item.tick / 16 == groupFirst / 16 && (!m_drums || nextTickAfter(item.tick) - item.tick != 2);
            else
                join = item.tick / 8 == groupFirst / 8;
        }
        if (!join) {
            if (!group.empty())
                DrawGroup(g, group, voice);
            group.clear();
            groupFirst = item.tick;
            if ((item.tick / 16) % 2 == 1)
                half = true;
            if (item.tick % 4 != 0)
                half = false;
        }
        group.push_back(item);
        previousTick = item.tick;
    }
    if (!group.empty())
        DrawGroup(g, group, voice);

    for (const STriplet* t : triplets) {
        DrawTriplet(bar, g, *t, voice);
        // Time between the end of the triplet and the next note of the voice is a rest.
        std::vector<uint32_t> positions;
        for (const CEvent* ev : t->notes)
            if (positions.empty() || positions.back() != ev->GetPosition())
                positions.push_back(ev->GetPosition());
        const uint32_t unit = positions.size() > 1 ? positions.back() - positions[positions.size() - 2] : 16;
        const int endTick = int((positions.back() + unit) / 12);
        const int next = nextTickAfter(endTick - 1);
        if (next > endTick && endTick < barTicks)
            DrawRests(g, x0 + endTick * 8, std::min(next, barTicks) - endTick, voice);
    }
}

void CTrackPass::DrawGroup(const SBarGeometry& g, std::vector<SItem>& group, EVoice voice)
{
    bool stemUp = voice != EVoice::Down;
    bool octaveDown = false;
    if (voice == EVoice::Single) {
        bool high = false;
        bool low = false;
        for (const SItem& it : group) {
            if (!it.ev->IsNote())
                continue;
            const int pitch = int(it.ev->GetEventType());
            high = high || pitch > 76;
            low = low || pitch < 52;
        }
        octaveDown = high && !low && (m_trackType == 30 || m_trackType == 31);
        int sum = 0;
        for (SItem& it : group) {
            if (!it.ev->IsNote())
                continue;
            const int pitch = int(it.ev->GetEventType());
            it.step = InStepTable(pitch, m_trackType, octaveDown) ? it.ev->GetStaffStep(uint32_t(m_trackType), octaveDown)
                                                                  : 100;
            sum += it.step <= 1 ? 1 : -1;
        }
        stemUp = sum < 0;
        if (octaveDown) {
            const qreal x0 = group.front().x;
            const qreal x1 = group.back().x + 8;
            const QFont& font = NotationFonts().m_label;
            const QString text = QStringLiteral("8va");
            const qreal width = TextWidth(font, text);
            const qreal left = (x0 + x1 - width) / 2;
            const QRectF box = TextInk(font, left, g.staffTop - 42 - 7, text);
            const qreal dy = FreeShift(box, -1);
            TextOut(m_p, font, left, g.staffTop - 42 - 7 + dy, text);
            HLine(x0, x1, g.staffTop - 30);
            Record(EGlyph::Octave, box.translated(0, dy), x0, g.staffTop - 42 + dy);
            m_shape.emplace_back(x0, g.staffTop - 30, x1 - x0, 1);
        }
    }

    for (const SItem& it : group)
        DrawSymbol(g, it, stemUp, voice);

    // Beams and flags.
    bool beamed = false;
    int previousD = 0;
    for (size_t k = 0; k < group.size(); ++k) {
        const SItem& it = group[k];
        if (it.d == 0)
            continue;
        const SItem* next = nullptr;
        for (size_t j = k + 1; j < group.size(); ++j)
            if (group[j].d > 0) {
                next = &group[j];
                break;
            }
        const qreal sx = StemX(it.x, stemUp);
        const int value = Split(it.d).value;
        const int d = it.d;
        if (it.ev->IsRest()) {
            beamed = false;
        } else if (!next || next->ev->IsRest() || d >= 8 || next->d >= 8) {
            // The group ends here, or a rest or a long note follows: an unbeamed short note
            // gets its flag; a beamed one gets stubs for the beams the incoming ones lack.
            if (!beamed) {
                if (d < 8)
                    DrawFlags(sx, g, stemUp, FlagCount(value));
            } else {
                // Which of the beams this note needs already arrive from the previous note.
                const bool haveSecond = (previousD == 1 && d <= 3) || ((previousD == 2 || previousD == 3) && d <= 2);
                const bool haveThird = previousD == 1 && d == 1;
                if (d <= 3 && !haveSecond)
                    DrawStub(sx, g, stemUp, 2, true);
                if (d == 1 && !haveThird)
                    DrawStub(sx, g, stemUp, 3, true);
            }
            beamed = false;
        } else {
            const qreal nsx = StemX(next->x, stemUp);
            DrawBeam(sx, nsx, g, stemUp, 1);
            beamed = true;
            if (d == 1) {
                if (next->d == 1) {
                    DrawBeam(sx, nsx, g, stemUp, 2);
                    DrawBeam(sx, nsx, g, stemUp, 3);
                } else if (next->d == 2 || next->d == 3) {
                    DrawBeam(sx, nsx, g, stemUp, 2);
                    DrawStub(sx, g, stemUp, 3, false);
                } else {
                    DrawStub(sx, g, stemUp, 2, false);
                    DrawStub(sx, g, stemUp, 3, false);
                }
            } else if (d == 2 || d == 3) {
                if (next->d == 1 || next->d == 2)
                    DrawBeam(sx, nsx, g, stemUp, 2);
                else
                    DrawStub(sx, g, stemUp, 2, false);
            }
        }
        previousD = d;
    }
}

void CTrackPass::DrawTriplet(const CEvent& bar, const SBarGeometry& g, const STriplet& t, EVoice voice)
{
    // Distinct positions and each one's length: the distance to the next, scaled by 3/2.
    std::vector<uint32_t> positions;
    for (const CEvent* ev : t.notes)
        if (positions.empty() || positions.back() != ev->GetPosition())
            positions.push_back(ev->GetPosition());
    std::vector<int> lengths(positions.size(), 2);
    for (size_t i = 0; i + 1 < positions.size(); ++i)
        lengths[i] = std::max(int((positions[i + 1] - positions[i]) / 8), 1);
    if (positions.size() > 1)
        lengths.back() = lengths[lengths.size() - 2];
    auto xAt = [&](uint32_t pos) { return g.x + Lead(bar) + pos * 64.0 / 96.0; };

    std::vector<SItem> items;
    for (size_t i = 0; i < t.notes.size(); ++i) {
        CEvent* ev = t.notes[i];
        const size_t p = size_t(std::find(positions.begin(), positions.end(), ev->GetPosition()) - positions.begin());
        const bool chordMember = i + 1 < t.notes.size() && t.notes[i + 1]->GetPosition() == ev->GetPosition();
        items.push_back({ev, xAt(ev->GetPosition()), int(ev->GetTick()), chordMember ? 0 : lengths[p], lengths[p]});
    }

    bool stemUp = voice != EVoice::Down;
    if (voice == EVoice::Single) {
        int sum = 0;
        for (SItem& it : items) {
            if (!it.ev->IsNote())
                continue;
            const int pitch = int(it.ev->GetEventType());
            it.step = InStepTable(pitch, m_trackType, false) ? it.ev->GetStaffStep(uint32_t(m_trackType), false) : 100;
            sum += it.step <= 1 ? 1 : -1;
        }
        stemUp = sum < 0;
    }
    for (const SItem& it : items)
        DrawSymbol(g, it, stemUp, voice);

    // Beams between consecutive positions: 2-3 ticks two beams, 4-7 one, a 32nd three.
    for (size_t i = 0; i + 1 < positions.size(); ++i) {
        auto isRestAt = [&](uint32_t pos) {
            for (const CEvent* ev : t.notes)
                if (ev->GetPosition() == pos && ev->IsNote())
                    return false;
            return true;
        };
        if (isRestAt(positions[i]) || isRestAt(positions[i + 1]))
            continue;
        const int d = lengths[i];
        const int levels = d <= 1 ? 3 : d <= 3 ? 2 : d <= 7 ? 1 : 0;
        const qreal sx = StemX(xAt(positions[i]), stemUp);
        const qreal nsx = StemX(xAt(positions[i + 1]), stemUp);
        for (int level = 1; level <= levels; ++level)
            DrawBeam(sx, nsx, g, stemUp, level);
    }
    {
        const qreal x = xAt(positions.front()) + 16.0 / 3.0 * lengths.front();
        const qreal y = stemUp ? g.staffTop - 36 - 16 : g.staffTop + 68 + 2;
        m_pendingTriplets.push_back({x, y, stemUp});
    }
}

void CTrackPass::DrawSymbol(const SBarGeometry& g, const SItem& item, bool stemUp, EVoice voice)
{
    const CEvent& ev = *item.ev;
    const qreal x = item.x;
    if (ev.IsRest()) {
        if (item.d > 0)
            DrawRests(g, x, item.d, voice);
        return;
    }
    if (!m_drums && item.step == 100)
        return; // a pitch the staff cannot show
    const CNotationShapes& shapes = NotationShapes();
    const SSplit split = Split(std::max(item.symbolD, 1));
    const int key = int(ev.GetEventType());
    const int base = BaseValue(split.value);

    EHeadKind kind = base >= 32 ? EHeadKind::Whole : base >= 16 ? EHeadKind::Open : EHeadKind::Filled;
    if (m_drums && HasCrossHead(key))
        kind = EHeadKind::Cross;
    else if (m_drums && HasDiamondHead(key))
        kind = base >= 16 ? EHeadKind::DiamondOpen : EHeadKind::Diamond;

    const qreal cy = HeadY(g, item);
    const qreal cx = x + 2.6;
    const int top = g.staffTop;
    FillShape(m_p, shapes.m_heads[size_t(kind)], cx, cy);
    QRectF headBox = shapes.m_heads[size_t(kind)].boundingRect().translated(cx, cy);
    if (ev.IsGhost()) {
        FillShape(m_p, shapes.m_ghostBrackets, cx, cy);
        headBox = headBox.united(shapes.m_ghostBrackets.boundingRect().translated(cx, cy));
    }
    Record(EGlyph::Head, headBox, x, cy, key, {}, stemUp);

    // Ledger lines above and below the staff.
    for (int ly = top - 8; ly >= cy - 1.5; ly -= 8) {
        HLine(x - 5, x + 10, ly);
        Record(EGlyph::Ledger, QRectF(x - 5, ly, 15, 1), x - 5, ly);
    }
    for (int ly = top + 40; ly <= cy + 0.5; ly += 8) {
        HLine(x - 5, x + 10, ly);
        Record(EGlyph::Ledger, QRectF(x - 5, ly, 15, 1), x - 5, ly);
    }

    const qreal headTop = cy - 4;
    if (!m_drums) {
        const int accidental = ev.GetAccidental(uint32_t(m_trackType));
        if (accidental > 0) {
            FillShape(m_p, shapes.m_sharp, x - 10, headTop - 7);
            Record(EGlyph::Accidental, shapes.m_sharp.boundingRect().translated(x - 10, headTop - 7), x - 10, headTop,
                   accidental);
        } else if (accidental < 0) {
            FillShape(m_p, shapes.m_flat, x - 10, headTop - 8);
            Record(EGlyph::Accidental, shapes.m_flat.boundingRect().translated(x - 10, headTop - 8), x - 10, headTop,
                   accidental);
        }
    }

    if (base < 32) {
        const qreal sx = StemX(x, stemUp);
        const QRectF stem = stemUp ? QRectF(sx, top - 36, 1, cy - (top - 36)) : QRectF(sx, cy, 1, top + 69 - cy);
        m_p->fillRect(stem, Qt::black);
        Record(EGlyph::Stem, stem, sx, stem.top(), 0, {}, stemUp);
    }

    if (split.dotted) {
        // A dot on a line moves up into the space.
        const bool onLine = m_drums ? DrumLayout::Position(key) % 2 == 0 : item.step % 2 == 0;
        QPainterPath dot;
        dot.addEllipse(QPointF(x + 10.5, cy - (onLine ? 4 : 0)), 1.6, 1.6);
        m_p->fillPath(dot, Qt::black);
        Record(EGlyph::Dot, dot.boundingRect(), x + 10.5, cy);
    }
    if (item.d > 0 && split.remainder > 0)
        DrawRests(g, x + 8 * split.value, split.remainder, voice);

    if (m_drums && ev.IsFlamOrPM()) {
        FillShape(m_p, shapes.m_grace, x - 10, headTop - 20);
        Record(EGlyph::Flam, shapes.m_grace.boundingRect().translated(x - 10, headTop - 20), x - 10, headTop - 20,
               key);
    }
    if (m_drums && ev.IsChoked()) {
        // An apostrophe at the head's upper right: the hand stops the cymbal.
        QPainterPath mark;
        mark.addEllipse(QPointF(x + 10.2, cy - 8.2), 1.5, 1.5);
        mark.moveTo(x + 11.2, cy - 7.6);
        mark.quadTo(x + 11.4, cy - 5.2, x + 9.2, cy - 3.8);
        mark.lineTo(x + 9.0, cy - 4.4);
        mark.quadTo(x + 10.2, cy - 5.6, x + 10.0, cy - 7.4);
        mark.closeSubpath();
        m_p->fillPath(mark, Qt::black);
        Record(EGlyph::Choke, mark.boundingRect(), x + 10.2, cy - 8.2, key);
    }
    if (ev.IsAccent())
        m_pendingAccents.emplace_back(x, key); // placed once the bar's notes and labels are down
}

void CTrackPass::PlaceAccents(const SBarGeometry& g)
{
    const QPen pen(Qt::black, 1.2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    // One accent speaks for every accented note of a chord.
    std::stable_sort(m_pendingAccents.begin(), m_pendingAccents.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    m_pendingAccents.erase(std::unique(m_pendingAccents.begin(), m_pendingAccents.end(),
                                       [](const auto& a, const auto& b) { return a.first == b.first; }),
                           m_pendingAccents.end());
    for (const auto& [x, key] : m_pendingAccents) {
        // The ">" over the note, or the nearest free spot above it.
        const QRectF box(x + 1.4, g.staffTop - 55.6, 7.2, 7.2);
        const qreal y = g.staffTop - 55 + FreeShift(box, -1);
        QPainterPath accent;
        accent.moveTo(x + 2, y);
        accent.lineTo(x + 8, y + 3);
        accent.lineTo(x + 2, y + 6);
        m_p->strokePath(accent, pen);
        Record(EGlyph::Accent, box.translated(0, y - (g.staffTop - 55)), x + 2, y, key);
    }
    m_pendingAccents.clear();
}

void CTrackPass::PlaceTriplets()
{
    const QFont& font = NotationFonts().m_label;
    const QString three = QStringLiteral("3");
    const qreal width = TextWidth(font, three);
    for (const SPendingTriplet& t : m_pendingTriplets) {
        const qreal left = t.x + 2.6 - width / 2;
        const QRectF box = TextInk(font, left, t.y, three);
        const qreal dy = FreeShift(box, t.stemUp ? -1 : 1);
        TextOut(m_p, font, left, t.y + dy, three, false);
        Record(EGlyph::Triplet3, box.translated(0, dy), t.x, t.y + dy, 3, three, t.stemUp);
    }
    m_pendingTriplets.clear();
}

void CTrackPass::PlaceRests(const SBarGeometry& g)
{
    // The hands' rests rise and the feet's sink until they clear the other voice; whole
    // staff spaces keep them on the staff's grid.
    const CNotationShapes& shapes = NotationShapes();
    for (const SPendingRest& r : m_pendingRests) {
        const int base = BaseValue(r.value);
        const size_t kind = base == 1 ? 0 : base == 2 ? 1 : base == 4 ? 2 : base == 8 ? 3 : base == 16 ? 4 : 5;
        const qreal cy = g.staffTop + (r.voice == EVoice::Down ? 28.5 : 12.5);
        QRectF box = shapes.m_rests[kind].boundingRect().translated(r.x + 2.6, cy);
        if (r.dotted)
            box = box.united(QRectF(r.x + 9.4, cy - 3.6, 3.2, 3.2));
        const qreal dy = FreeShift(box, r.voice == EVoice::Down ? 1 : -1, 8);
        FillShape(m_p, shapes.m_rests[kind], r.x + 2.6, cy + dy);
        if (r.dotted) {
            QPainterPath dot;
            dot.addEllipse(QPointF(r.x + 11, cy + dy - 2), 1.6, 1.6);
            m_p->fillPath(dot, Qt::black);
        }
        Record(EGlyph::Rest, box.translated(0, dy), r.x, cy + dy, r.value, {}, r.voice != EVoice::Down);
    }
    m_pendingRests.clear();
}

void CTrackPass::DrawRests(const SBarGeometry& g, qreal x, int ticks, EVoice voice, bool wholeBar)
{
    if (wholeBar && (IsPlain(ticks) || IsDotted(ticks))) {
        // One rest for a whole empty bar stands in the middle of the bar, clear of the time
        // signature.
        const qreal right = g.x + g.width;
        DrawRestSymbol(g, std::max(x, (x + right) / 2 - 2.6 - (IsDotted(ticks) ? 3 : 0)), ticks, IsDotted(ticks),
                       voice);
        return;
    }
    // Plain and dotted values, longest first.
    for (int guard = 0; ticks > 0 && guard < 256; ++guard) {
        int value = 1;
        for (int v : kAllValues)
            if (v <= ticks) {
                value = v;
                break;
            }
        DrawRestSymbol(g, x, value, IsDotted(value), voice);
        x += 8 * value;
        ticks -= value;
    }
}

void CTrackPass::DrawRestSymbol(const SBarGeometry& g, qreal x, int value, bool dotted, EVoice voice)
{
    (void)g;
    // Drawn once the bar's notes are down (PlaceRests), clear of the other voice.
    m_pendingRests.push_back({x, value, dotted, voice});
}

void CTrackPass::DrawFlags(qreal stemX, const SBarGeometry& g, bool stemUp, int count)
{
    if (count <= 0)
        return;
    const CNotationShapes& shapes = NotationShapes();
    const QPainterPath& flag = (stemUp ? shapes.m_flagsUp : shapes.m_flagsDown)[size_t(count - 1)];
    const qreal y = stemUp ? g.staffTop - 36 : g.staffTop + 69;
    FillShape(m_p, flag, stemX + 1, y);
    Record(EGlyph::Flag, flag.boundingRect().translated(stemX + 1, y), stemX, y, count, {}, stemUp);
}

void CTrackPass::DrawBeam(qreal fromStemX, qreal toStemX, const SBarGeometry& g, bool stemUp, int level)
{
    const qreal y = stemUp ? g.staffTop - 36 + 5 * (level - 1) : g.staffTop + 66 - 5 * (level - 1);
    const QRectF beam(fromStemX, y, toStemX + 1 - fromStemX, 3);
    m_p->fillRect(beam, Qt::black);
    Record(EGlyph::Beam, beam, fromStemX, y, level, {}, stemUp);
}

void CTrackPass::DrawStub(qreal stemX, const SBarGeometry& g, bool stemUp, int level, bool left)
{
    const qreal y = stemUp ? g.staffTop - 36 + 5 * (level - 1) : g.staffTop + 66 - 5 * (level - 1);
    const QRectF stub(left ? stemX - 4 : stemX, y, 5, 3);
    m_p->fillRect(stub, Qt::black);
    Record(EGlyph::Stub, stub, stemX, y, left ? -level : level, {}, stemUp);
}

void CTrackPass::DrawLabels(const CEvent& bar, const SBarGeometry& g, const std::vector<CEvent*>& notes)
{
    const QFont& font = NotationFonts().m_label;
    for (const CEvent* ev : notes) {
        if (!ev->IsNote())
            continue;
        const int key = int(ev->GetEventType());
        const char* label = LabelOf(key);
        if (!label)
            continue;
        int& last = Catalogue::IsInGroup(key, EDrumGroup::Cymbal) ? m_lastCymbalLabel : m_lastPercLabel;
        if (key == last)
            continue;
        last = key;
        const qreal x = NoteX(g, bar, *ev);
        // Labels that would run into the previous one take the other row; a label that
        // meets anything else there tries the other row, then rises to the first free spot.
        int row = x < m_labelRight ? 1 - m_labelRow : 0;
        const QString text = QString::fromLatin1(label);
        const qreal width = TextWidth(font, text);
        auto boxAt = [&](int r) { return TextInk(font, x, g.staffTop - (r ? 64 : 52), text); };
        QRectF box = boxAt(row);
        qreal y = g.staffTop - (row ? 64 : 52);
        if (Collides(box)) {
            if (!Collides(boxAt(1 - row))) {
                row = 1 - row;
                box = boxAt(row);
                y = g.staffTop - (row ? 64 : 52);
            } else {
                const qreal dy = FreeShift(box, -1);
                box.translate(0, dy);
                y += dy;
            }
        }
        // Nothing lies under a placed label, so it needs no white background.
        TextOut(m_p, font, x, y, text, false);
        m_labelRight = x + width;
        m_labelRow = row;
        Record(EGlyph::Label, box, x, y, key, text);
    }
}

void CTrackPass::DrawPalmMute(const CEvent& bar, const SBarGeometry& g, const std::vector<CEvent*>& notes)
{
    size_t i = 0;
    while (i < notes.size()) {
        if (!notes[i]->IsNote() || !notes[i]->IsFlamOrPM()) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j + 1 < notes.size() && notes[j + 1]->IsNote() && notes[j + 1]->IsFlamOrPM())
            ++j;
        const qreal x0 = NoteX(g, bar, *notes[i]);
        const qreal x1 = std::max(NoteX(g, bar, *notes[j]) + 6, x0 + 30);
        const QFont& font = NotationFonts().m_label;
        const QString text = QStringLiteral("P.M.");
        const QRectF box = TextInk(font, x0, g.staffTop + 70, text).united(QRectF(x0, g.staffTop + 78, x1 - x0, 1));
        const qreal dy = FreeShift(box, 1);
        TextOut(m_p, font, x0, g.staffTop + 70 + dy, text);
        m_p->save();
        m_p->setPen(QPen(Qt::black, 1, Qt::DotLine));
        m_p->drawLine(QPointF(x0, g.staffTop + 78.5 + dy), QPointF(x1, g.staffTop + 78.5 + dy));
        m_p->restore();
        Record(EGlyph::PalmMute, box.translated(0, dy), x0, g.staffTop + 70 + dy);
        i = j + 1;
    }
}

void CTrackPass::DrawTabNotes(const CEvent& bar, const SBarGeometry& g, const std::vector<CEvent*>& notes)
{
    const CNotationFonts& fonts = NotationFonts();
    const int top = g.staffTop + g.T;
    const std::vector<int> strings = CTrack::OpenStrings(uint32_t(m_trackType));
    for (const CEvent* ev : notes) {
        if (!ev->IsNote())
            continue;
        const qreal x = NoteX(g, bar, *ev);
        const QFont& font = ev->IsTriplet() ? fonts.m_tripletLetter : fonts.m_label;
        if (m_drums) {
            char letter = 0;
            const int row = FindTabLine(int(ev->GetEventType()), &letter);
            if (row == 0)
                continue;
            const int index = ShownIndexOfTabLine(row - 1);
            if (index >= m_tabRows)
                continue; // switched on during this pass; the next pass has the row
            QString text = QString(QChar::fromLatin1(letter));
            if (ev->IsChoked())
                text = QStringLiteral("#");
            else if (ev->IsGhost())
                text = QStringLiteral("g");
            else if (ev->IsFlamOrPM())
                text = QStringLiteral("f");
            else if (ev->IsAccent())
                text = text.toUpper();
            const qreal y = top + 12 * index;
            const qreal right = TextOut(m_p, font, x, y - 7, text);
            Record(EGlyph::TabText, QRectF(x, y - 7, right - x, QFontMetricsF(font).height()), x, y,
                   int(ev->GetEventType()), text);
            continue;
        }
        const int pitch = int(ev->GetEventType());
        int s = int(ev->GetString());
        if (s >= int(strings.size()) || pitch < strings[size_t(s)]) {
            s = -1;
            for (size_t i = 0; i < strings.size(); ++i)
                if (strings[i] <= pitch) {
                    s = int(i);
                    break;
                }
        }
        if (s < 0)
            continue; // below the lowest open string
        const int fret = pitch - strings[size_t(s)];
        const qreal y = top + 12 * s;
        const QString text = QString::number(fret % 10);
        TextOut(m_p, font, x, y - 7, text);
        Log(EGlyph::TabText, x, y, fret, text);
        if (fret >= 20) {
            HLine(x, x + 3, y - 7);
            HLine(x + 5, x + 8, y - 7);
            Log(EGlyph::FretLine, x, y - 7, 2);
        } else if (fret >= 10) {
            HLine(x, x + 8, y - 7);
            Log(EGlyph::FretLine, x, y - 7, 1);
        }
    }
}
