#pragma once
// Shared set-up of the view tests: a document with a track, and the program-wide settings
// (display configuration, drum layout, tab rows) restored after each test.

#include "catalogue.h"
#include "displayconfig.h"
#include "drumlayout.h"
#include "rondeldoc.h"
#include "songbuilder.h"
#include "track.h"

#include <gtest/gtest.h>

class ViewTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_savedConfig = DisplayConfig();
        DrumLayout::SetCurrent(DrumLayout::UsUkStandard());
        TabLines::ResetShown();
        m_doc.m_pTrack = std::make_unique<CTrack>(m_doc);
    }
    void TearDown() override
    {
        DisplayConfig() = m_savedConfig;
        DrumLayout::SetCurrent(DrumLayout::UsUkStandard());
        TabLines::ResetShown();
    }

    CTrack& Track() { return *CTrack::Of(m_doc); }
    CSongBuilder Song() { return CSongBuilder(m_doc); }

    // Lays the song out without drawing; returns the page count.
    int Layout(int width = 1200, EDisplayMode mode = EDisplayMode::Edit, QSize* size = nullptr)
    {
        SDrawTarget target;
        target.width = width;
        target.mode = mode;
        target.printing = mode == EDisplayMode::Print;
        if (target.printing)
            target.page = SDrawTarget::kCountPages;
        return Track().Draw(target, size);
    }
    SBarGeometry Bar(int n) { return CTrack::GeometryOf(*Track().FindBar(n)); }
    const CEvent& BarEvent(int n) { return *Track().FindBar(n); }

    CRondelDoc m_doc;
    CDisplayConfig m_savedConfig;
};
