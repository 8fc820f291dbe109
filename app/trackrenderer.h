#pragma once
// The notation view's renderer over the document's CTrack: the track's own layout and
// drawing pass, its hit test and its bar geometry.

#include "viewrenderer.h"

class CTrackRenderer : public CViewRenderer
{
public:
    QSize Layout(CRondelDoc& doc, int width) override;
    void Draw(QPainter& p, CRondelDoc& doc, const QRect& clip) override;
    SViewHit HitTest(CRondelDoc& doc, const QPoint& pt) override;
    int Lead(const CEvent& bar) const override;
    int StaffBottom(const CEvent& bar) const override;

private:
    int m_width = 1200;
};
