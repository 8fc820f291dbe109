#include "viewrenderer.h"

#include "rondeldoc.h"

#include <QPainter>

namespace {
int BarWidth(const CEvent& bar)
{
    return CPlainRenderer::kLead + int(bar.GetMeasureTicks()) * 8 + 8;
}
// Staff step of a drum (half spaces below the top line, 4 units each).
int DrumStep(const CEvent& e)
{
    if (e.IsCymbal())
        return -1;
    if (e.IsSnare())
        return 3;
    if (e.IsTom())
        return 2;
    if (e.IsBassDrum())
        return 7;
    return 5;
}
}

QSize CPlainRenderer::Layout(CRondelDoc& doc, int width)
{
    width = std::max(width, 300);
    int x = 10;
    int systemTop = kHeaderHeight;
    int widest = 0;
    for (auto& e : doc.Events()) {
        if (!e->IsMeasure())
            continue;
        const int w = BarWidth(*e);
        if (x > 10 && x + w > width - 10) {
            x = 10;
            systemTop += kSystemHeight;
        }
        e->m_layoutPos = MakeLayoutPos(x, systemTop + kStaffOffset);
        x += w;
        widest = std::max(widest, x);
    }
    return QSize(std::max(width, widest + 10), systemTop + kSystemHeight + 20);
}

void CPlainRenderer::Draw(QPainter& p, CRondelDoc& doc, const QRect& clip)
{
    p.setPen(Qt::black);
    QFont title = p.font();
    title.setPointSize(14);
    title.setBold(true);
    p.save();
    p.setFont(title);
    const QString song = doc.m_header[Header::Song].isEmpty() ? doc.m_title : doc.m_header[Header::Song];
    p.drawText(QRect(0, 10, 2000, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("  ") + song);
    p.restore();
    if (!doc.m_header[Header::Band].isEmpty())
        p.drawText(QRect(10, 40, 2000, 24), Qt::AlignLeft | Qt::AlignVCenter, doc.m_header[Header::Band]);

    auto& events = doc.Events();
    int barNo = 0;
    for (auto it = events.begin(); it != events.end(); ++it) {
        const CEvent& bar = **it;
        if (!bar.IsMeasure())
            continue;
        ++barNo;
        if (std::next(it) == events.end())
            break; // the closing bar only ends the last system
        const int x = LayoutBarX(bar.m_layoutPos);
        const int top = LayoutStaffTop(bar.m_layoutPos);
        const int w = BarWidth(bar);
        if (!clip.intersects(QRect(x, top - 70, w, 140)))
            continue;
        p.setPen(QColor(0x30, 0x30, 0x30));
        for (int line = 0; line < 5; ++line)
            p.drawLine(x, top + line * 8, x + w, top + line * 8);
        p.drawLine(x + w, top, x + w, top + 32);
        p.drawLine(x, top, x, top + 32);
        p.setPen(QColor(0x80, 0x80, 0x80));
        p.drawText(QPoint(x + 2, top - 6), QString::number(barNo));
        if (bar.IsRepeatPrev()) {
            p.drawText(QRect(x, top, w, 32), Qt::AlignCenter, QStringLiteral("%"));
            continue;
        }
        if (bar.HasText())
            p.drawText(QPoint(x + kLead, top - 20), bar.GetText().left(40));
        const int ticks = int(bar.GetMeasureTicks());
        for (int t = 0; t < ticks; t += 8)
            p.drawText(QPoint(x + kLead + t * 8, top + kCountBottom - 2), QString::number(t / 8 + 1));
        p.setPen(Qt::black);
        p.setBrush(Qt::black);
        for (auto n = std::next(it); n != events.end() && !(*n)->IsMeasure(); ++n) {
            if (!(*n)->IsNote())
                continue;
            const int nx = x + kLead + int((*n)->GetTick()) * 8 + 4;
            const int ny = top + DrumStep(**n) * 4;
            if ((*n)->IsCymbal()) {
                p.drawLine(nx - 3, ny - 3, nx + 3, ny + 3);
                p.drawLine(nx - 3, ny + 3, nx + 3, ny - 3);
            } else {
                p.drawEllipse(QPoint(nx, ny), 3, 3);
            }
        }
        p.setBrush(Qt::NoBrush);
    }
}

SViewHit CPlainRenderer::HitTest(CRondelDoc& doc, const QPoint& pt)
{
    SViewHit hit;
    if (pt.y() < kHeaderHeight) {
        hit.zone = SViewHit::Header;
        return hit;
    }
    auto& events = doc.Events();
    int barNo = 0;
    for (auto it = events.begin(); it != events.end(); ++it) {
        const CEvent& bar = **it;
        if (!bar.IsMeasure())
            continue;
        ++barNo;
        if (std::next(it) == events.end())
            break;
        const int x = LayoutBarX(bar.m_layoutPos);
        const int top = LayoutStaffTop(bar.m_layoutPos);
        const QRect area(x, top - 68, BarWidth(bar), 68 + kCountBottom);
        if (!area.contains(pt))
            continue;
        hit.barNo = barNo;
        const bool inCount = pt.y() >= top + kCountTop;
        if (pt.x() - x <= kLead) {
            hit.zone = inCount ? SViewHit::LeadCount : SViewHit::Lead;
            hit.cells[0] = QRect(x, top, kLead, 32);
            return hit;
        }
        const int tick = (pt.x() - x - kLead) / 8;
        if (tick >= int(bar.GetMeasureTicks()))
            return SViewHit{};
        hit.tick = tick;
        hit.zone = inCount ? SViewHit::Count : SViewHit::Note;
        const int cx = x + kLead + 8 * tick;
        hit.cells[0] = inCount ? QRect(cx, top + kCountTop, 8, kCountBottom - kCountTop) : QRect(cx, top - 68, 8, 68 + kCountBottom);
        return hit;
    }
    return hit;
}
