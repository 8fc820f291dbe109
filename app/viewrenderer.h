#pragma once
// What the notation view needs from the notation layout: lay the song out (filling each
// measure's GetLayoutPos()), draw it, and map points to bars and ticks. The track of the view
// layer is adapted to this (CTrackRenderer).

#include <QRect>
#include <QSize>

#include <array>
#include <cstdint>

class CEvent;
class CRondelDoc;
class QPainter;

// Where a point lies in the song.
struct SViewHit
{
    enum Zone { None, Header, Lead, LeadCount, Count, Note };
    Zone zone = None;
    int barNo = 0;  // 1-based, 0 none
    int tick = -1;  // 32nd index, -1 in the lead area
    // Highlight rectangles in layout units: the cell in the staff, in the tab and in the
    // count row (or the lead area's boxes); empty ones are not drawn.
    std::array<QRect, 3> cells;
};

class CViewRenderer
{
public:
    virtual ~CViewRenderer() = default;
    // Lays the song out for a page `width` units wide; returns the size to scroll over.
    virtual QSize Layout(CRondelDoc& doc, int width) = 0;
    // Draws in layout units; clip is the visible part.
    virtual void Draw(QPainter& p, CRondelDoc& doc, const QRect& clip) = 0;
    virtual SViewHit HitTest(CRondelDoc& doc, const QPoint& pt) = 0;
    // Geometry shared with the play cursor: the width of a bar's lead area and the distance
    // from the staff top to the bottom of the count row.
    virtual int Lead(const CEvent& bar) const = 0;
    virtual int StaffBottom(const CEvent& bar) const = 0;
};

// Decodes GetLayoutPos(): staff top y in bits 0-19, bar left x in bits 20-31.
inline int LayoutStaffTop(uint32_t layoutPos) { return int(layoutPos & 0xFFFFF); }
inline int LayoutBarX(uint32_t layoutPos) { return int(layoutPos >> 20); }
inline uint32_t MakeLayoutPos(int x, int staffTop) { return (uint32_t(x) << 20) | (uint32_t(staffTop) & 0xFFFFF); }
