#pragma once
// The notation view's renderer over the document's CTrack: the track's own layout and
// drawing pass, its hit test and its bar geometry.

#include "displayconfig.h"
#include "viewrenderer.h"

class CTrackRenderer : public CViewRenderer
{
public:
    QSize Layout(CRondelDoc& doc, int width) override;
    void Draw(QPainter& p, CRondelDoc& doc, const QRect& clip) override;
    SViewHit HitTest(CRondelDoc& doc, const QPoint& pt) override;
    int Lead(const CEvent& bar) const override;
    int StaffBottom(const CEvent& bar) const override;

    // This view's Tab Staff Format options and the tab rows its last pass showed.
    const STabStaffFormat& TabFormat() const { return m_format; }
    void SetTabFormat(const STabStaffFormat& format) { m_format = format; }
    const CShownTabRows& ShownRows() const { return m_rows; }

private:
    int m_width = 1200;
    STabStaffFormat m_format;
    CShownTabRows m_rows;
};
