#include "notationshapes.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPathStroker>
#include <QStaticText>
#include <QTransform>

#include <unordered_map>

namespace {
QPainterPath Stroke(const QPainterPath& line, qreal width, Qt::PenCapStyle cap = Qt::RoundCap)
{
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(cap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(line).simplified();
}

QPainterPath Ellipse(qreal rx, qreal ry, qreal degrees, QPointF centre = {})
{
    QPainterPath e;
    e.addEllipse(QPointF(0, 0), rx, ry);
    QTransform t;
    t.translate(centre.x(), centre.y());
    t.rotate(degrees);
    return t.map(e);
}

QPainterPath Disc(QPointF centre, qreal r)
{
    QPainterPath d;
    d.addEllipse(centre, r, r);
    return d;
}

QPainterPath Ring(qreal rx, qreal ry, qreal deg, qreal irx, qreal iry, qreal ideg)
{
    QPainterPath ring = Ellipse(rx, ry, deg);
    ring.addPath(Ellipse(irx, iry, ideg));
    ring.setFillRule(Qt::OddEvenFill);
    return ring;
}

QPainterPath Flag(qreal dy)
{
    QPainterPath f;
    f.moveTo(0, dy);
    f.cubicTo(0.8, dy + 4.5, 7.5, dy + 6.0, 5.0, dy + 13.0);
    f.cubicTo(5.8, dy + 8.0, 1.5, dy + 5.8, 0, dy + 5.0);
    f.closeSubpath();
    return f;
}

QPainterPath Slash(qreal x0)
{
    // A thick slash rising to the right over two staff spaces.
    QPainterPath s;
    s.moveTo(x0, 16);
    s.lineTo(x0 + 4, 16);
    s.lineTo(x0 + 14, 0);
    s.lineTo(x0 + 10, 0);
    s.closeSubpath();
    return s;
}

QPainterPath MeasureRepeat(int slashes)
{
    QPainterPath p;
    for (int i = 0; i < slashes; ++i)
        p.addPath(Slash(6.0 * i));
    p.addPath(Disc({3, 3.5}, 1.9));
    p.addPath(Disc({13 + 6.0 * (slashes - 1), 12.5}, 1.9));
    return p.simplified();
}

QFont MakeFont(int cellHeight, int weight, bool italic = false, bool fixed = false)
{
    QFont f = fixed ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QGuiApplication::font();
    // The layout counts cell heights (ascent + descent); Qt sizes fonts by their em.
    f.setPixelSize(qMax(1, qRound(cellHeight * 0.86)));
    f.setWeight(QFont::Weight(weight));
    f.setItalic(italic);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}
}

CNotationShapes::CNotationShapes()
{
    m_heads[size_t(EHeadKind::Filled)] = Ellipse(4.4, 3.2, -20);
    m_heads[size_t(EHeadKind::Open)] = Ring(4.4, 3.2, -20, 3.4, 1.5, -35);
    m_heads[size_t(EHeadKind::Whole)] = Ring(5.2, 3.4, 0, 2.6, 1.9, 60);
    QPainterPath cross;
    cross.moveTo(-3.6, -3.4);
    cross.lineTo(3.6, 3.4);
    cross.moveTo(-3.6, 3.4);
    cross.lineTo(3.6, -3.4);
    m_heads[size_t(EHeadKind::Cross)] = Stroke(cross, 1.5, Qt::FlatCap);
    QPainterPath diamond;
    diamond.moveTo(0, -4.2);
    diamond.lineTo(4.5, 0);
    diamond.lineTo(0, 4.2);
    diamond.lineTo(-4.5, 0);
    diamond.closeSubpath();
    m_heads[size_t(EHeadKind::Diamond)] = diamond;
    m_heads[size_t(EHeadKind::DiamondOpen)] = Stroke(diamond, 1.2);

    QPainterPath brackets;
    brackets.moveTo(-6.2, -5.5);
    brackets.quadTo(-9.6, 0, -6.2, 5.5);
    brackets.moveTo(6.2, -5.5);
    brackets.quadTo(9.6, 0, 6.2, 5.5);
    m_ghostBrackets = Stroke(brackets, 1.2);

    // Rests.
    QPainterPath r32;
    r32.addPath(Disc({-1.5, -8.5}, 1.7));
    r32.addPath(Disc({-2.5, -3.5}, 1.7));
    r32.addPath(Disc({-3.5, 1.5}, 1.7));
    QPainterPath r32Lines;
    r32Lines.moveTo(-1.5, -7.2);
    r32Lines.quadTo(1.5, -7.0, 3.8, -9.5);
    r32Lines.moveTo(-2.5, -2.2);
    r32Lines.quadTo(0.5, -2.0, 2.7, -4.5);
    r32Lines.moveTo(-3.5, 2.8);
    r32Lines.quadTo(-0.5, 3.0, 1.6, 0.5);
    r32Lines.moveTo(3.8, -9.5);
    r32Lines.lineTo(-0.8, 8.5);
    r32.addPath(Stroke(r32Lines, 1.2));
    m_rests[0] = r32.simplified();

    QPainterPath r16;
    r16.addPath(Disc({-2.0, -4.5}, 1.7));
    r16.addPath(Disc({-3.0, 0.5}, 1.7));
    QPainterPath r16Lines;
    r16Lines.moveTo(-2.0, -3.2);
    r16Lines.quadTo(1.0, -3.0, 3.2, -5.5);
    r16Lines.moveTo(-3.0, 1.8);
    r16Lines.quadTo(0.0, 2.0, 2.1, -0.5);
    r16Lines.moveTo(3.2, -5.5);
    r16Lines.lineTo(-0.5, 8.5);
    r16.addPath(Stroke(r16Lines, 1.2));
    m_rests[1] = r16.simplified();

    QPainterPath r8 = Disc({-2.0, -2.5}, 1.8);
    QPainterPath r8Lines;
    r8Lines.moveTo(-2.0, -1.1);
    r8Lines.quadTo(0.6, -0.8, 2.8, -3.8);
    r8Lines.lineTo(-0.2, 6.5);
    r8.addPath(Stroke(r8Lines, 1.2));
    m_rests[2] = r8.simplified();

    QPainterPath r4;
    r4.moveTo(-1.6, -9.0);
    r4.lineTo(2.4, -4.4);
    r4.lineTo(-0.8, -0.6);
    r4.lineTo(2.6, 3.6);
    r4.quadTo(-2.6, 2.2, 0.6, 8.6);
    m_rests[3] = Stroke(r4, 1.8);

    QPainterPath half;
    half.addRect(-4, 0.8, 8, 3.2);
    m_rests[4] = half;
    QPainterPath whole;
    whole.addRect(-4, -4, 8, 3.2);
    m_rests[5] = whole;

    for (int n = 1; n <= 3; ++n) {
        QPainterPath up;
        for (int i = 0; i < n; ++i)
            up.addPath(Flag(5.0 * i));
        m_flagsUp[size_t(n - 1)] = up.simplified();
        m_flagsDown[size_t(n - 1)] = QTransform::fromScale(1, -1).map(m_flagsUp[size_t(n - 1)]);
    }

    // Grace note of a flam, top left at (note x - 10, head top - 20).
    QPainterPath grace = Ellipse(2.8, 2.0, -20, {2.8, 19.0});
    QPainterPath graceLines;
    graceLines.moveTo(5.3, 18.6);
    graceLines.lineTo(5.3, 2.0);
    graceLines.quadTo(6.0, 6.0, 9.5, 8.0);
    graceLines.moveTo(2.0, 12.0);
    graceLines.lineTo(9.0, 5.5);
    grace.addPath(Stroke(graceLines, 0.9));
    m_grace = grace.simplified();

    QPainterPath sharpLines;
    sharpLines.moveTo(2.0, 3.0);
    sharpLines.lineTo(2.0, 18.0);
    sharpLines.moveTo(5.0, 2.0);
    sharpLines.lineTo(5.0, 17.0);
    QPainterPath sharp = Stroke(sharpLines, 0.9, Qt::FlatCap);
    QPainterPath bars;
    bars.moveTo(0, 8.0);
    bars.lineTo(7, 6.0);
    bars.lineTo(7, 7.8);
    bars.lineTo(0, 9.8);
    bars.closeSubpath();
    bars.moveTo(0, 12.6);
    bars.lineTo(7, 10.6);
    bars.lineTo(7, 12.4);
    bars.lineTo(0, 14.4);
    bars.closeSubpath();
    sharp.addPath(bars);
    m_sharp = sharp.simplified();

    QPainterPath flatLines;
    flatLines.moveTo(1.0, 0);
    flatLines.lineTo(1.0, 14.5);
    flatLines.cubicTo(4.0, 12.5, 7.5, 10.5, 6.0, 8.6);
    flatLines.cubicTo(4.8, 7.2, 2.5, 8.5, 1.0, 10.0);
    m_flat = Stroke(flatLines, 1.1);

    QPainterPath treble;
    treble.moveTo(9.5, 43.0);
    treble.cubicTo(5.0, 43.0, 4.0, 37.5, 8.0, 36.0);
    treble.cubicTo(13.0, 34.0, 16.0, 40.0, 13.0, 44.0);
    treble.cubicTo(9.0, 49.0, 1.0, 46.0, 1.0, 38.0);
    treble.cubicTo(1.0, 30.0, 12.0, 24.0, 12.0, 14.0);
    treble.cubicTo(12.0, 6.0, 9.5, 0.5, 8.0, 3.0);
    treble.cubicTo(5.0, 7.0, 5.0, 14.0, 7.0, 24.0);
    treble.lineTo(10.0, 54.0);
    treble.cubicTo(10.5, 58.0, 5.5, 59.0, 4.5, 55.5);
    m_trebleClef = Stroke(treble, 1.6);
    m_trebleClef.addPath(Disc({5.8, 54.5}, 2.2));
    m_trebleClef = m_trebleClef.simplified();

    QPainterPath bass;
    bass.moveTo(1.5, 6.0);
    bass.cubicTo(2.0, -0.5, 14.0, -2.0, 15.0, 8.0);
    bass.cubicTo(16.0, 18.0, 8.0, 26.0, 1.0, 30.0);
    m_bassClef = Stroke(bass, 2.2);
    m_bassClef.addPath(Disc({3.5, 7.0}, 3.0));
    m_bassClef.addPath(Disc({19.5, 3.5}, 1.5));
    m_bassClef.addPath(Disc({19.5, 11.0}, 1.5));
    m_bassClef = m_bassClef.simplified();

    QPainterPath metronome = Ellipse(3.4, 2.5, -20, {3.0, 12.0});
    QPainterPath stem;
    stem.moveTo(6.0, 11.5);
    stem.lineTo(6.0, 0.5);
    metronome.addPath(Stroke(stem, 1.0, Qt::FlatCap));
    m_metronome = metronome.simplified();

    for (int i = 0; i < 4; ++i)
        m_measureRepeat[size_t(i)] = MeasureRepeat(i + 1);
    m_measureRepeat[4] = MeasureRepeat(2);

    QPainterPath start;
    start.moveTo(0, 0);
    start.lineTo(9, 4.5);
    start.lineTo(0, 9);
    start.closeSubpath();
    QPainterPath startStaff;
    startStaff.addRect(0, 0, 1.2, 16);
    start.addPath(startStaff);
    m_startMarker = start.simplified();
    QPainterPath end;
    end.moveTo(9, 0);
    end.lineTo(0, 4.5);
    end.lineTo(9, 9);
    end.closeSubpath();
    QPainterPath endStaff;
    endStaff.addRect(7.8, 0, 1.2, 16);
    end.addPath(endStaff);
    m_endMarker = end.simplified();

    m_repeatDot = Disc({2.0, 2.0}, 2.0);
}

const CNotationShapes& NotationShapes()
{
    static const CNotationShapes shapes;
    return shapes;
}

CNotationFonts::CNotationFonts()
    : m_timeSig(MakeFont(22, QFont::Bold)),
      m_count(MakeFont(21, QFont::Normal)),
      m_spare(MakeFont(13, QFont::Bold)),
      m_label(MakeFont(15, QFont::Bold)),
      m_tripletLetter(MakeFont(15, QFont::Bold, true)),
      m_importText(MakeFont(15, QFont::Normal, false, true)),
      m_header(MakeFont(16, QFont::DemiBold)),
      m_barTime(MakeFont(15, QFont::Normal)),
      m_tabRowLabel(MakeFont(12, QFont::Bold))
{
}

const CNotationFonts& NotationFonts()
{
    static const CNotationFonts fonts;
    return fonts;
}

void FillShape(QPainter* p, const QPainterPath& path, qreal x, qreal y)
{
    p->translate(x, y);
    p->fillPath(path, Qt::black);
    p->translate(-x, -y);
}

namespace {
// Laid-out texts by font and string: the count row, tab letters and labels repeat the same
// few strings thousands of times, and shaping them again on every repaint would cost most of
// a paint. Fonts are the long-lived members of CNotationFonts, so their address is a key.
class CTextCache
{
public:
    const QStaticText& Get(const QFont& font, const QString& text)
    {
        if (m_texts.size() > kMaxEntries)
            m_texts.clear();
        auto [it, added] = m_texts.try_emplace(SKey{&font, text});
        if (added) {
            it->second.setText(text);
            it->second.setTextFormat(Qt::PlainText);
            it->second.prepare(QTransform(), font);
        }
        return it->second;
    }

    const QFontMetricsF& Metrics(const QFont& font)
    {
        auto it = m_metrics.find(&font);
        if (it == m_metrics.end())
            it = m_metrics.emplace(&font, QFontMetricsF(font)).first;
        return it->second;
    }

private:
    static constexpr size_t kMaxEntries = 4096;
    struct SKey
    {
        const QFont* font;
        QString text;
        bool operator==(const SKey& o) const { return font == o.font && text == o.text; }
    };
    struct SHash
    {
        size_t operator()(const SKey& k) const { return qHash(k.text) ^ (size_t(k.font) >> 3); }
    };
    std::unordered_map<SKey, QStaticText, SHash> m_texts;
    std::unordered_map<const QFont*, QFontMetricsF> m_metrics;
};

CTextCache& TextCache()
{
    static CTextCache cache;
    return cache;
}
}

qreal TextWidth(const QFont& font, const QString& text)
{
    return TextCache().Get(font, text).size().width();
}

QRectF TextInk(const QFont& font, qreal x, qreal y, const QString& text)
{
    const QFontMetricsF& fm = TextCache().Metrics(font);
    return fm.tightBoundingRect(text).translated(x, y + fm.ascent());
}

qreal TextOut(QPainter* p, const QFont& font, qreal x, qreal y, const QString& text, bool opaque)
{
    CTextCache& cache = TextCache();
    const QStaticText& laidOut = cache.Get(font, text);
    const qreal width = laidOut.size().width();
    if (opaque)
        p->fillRect(QRectF(x, y, width, cache.Metrics(font).height()), Qt::white);
    p->setFont(font);
    p->drawStaticText(QPointF(x, y), laidOut);
    return x + width;
}
