// The bar-properties rules: filling the dialog values, the exclusive choices, the checks, and
// applying confirmed values.

#include "barproperties.h"
#include "rondeldoc.h"
#include "songrange.h"
#include "testutil.h"

namespace {

class BarProperties : public testing::Test
{
protected:
    // A song of three 4/4 measures and the closing bar; the second measure has a note.
    void SetUp() override
    {
        m_doc.OnNewDocument();
        m_doc.Events().clear();
        AppendEvent(m_doc.Events(), EventType::Bar | TempoBits(120), TimeSigWord(4, 4));
        AppendEvent(m_doc.Events(), EventType::Bar, TimeSigWord(4, 4));
        AppendEvent(m_doc.Events(), 38, 96);
        AppendEvent(m_doc.Events(), EventType::Bar, TimeSigWord(4, 4));
        AppendEvent(m_doc.Events(), EventType::Bar, TimeSigWord(4, 4));
        m_doc.UndoHistory().Clear();
        m_doc.CheckPoint(false);
    }
    EventPos Bar(int n) { return FindBar(m_doc.Events(), n); }
    CEvent* Apply(int bar, const SBarProperties& v, QString* error = nullptr)
    {
        return ApplyBarProperties(m_doc, Bar(bar), v, error);
    }
    int Bars() const
    {
        int n = 0;
        for (const auto& ev : m_doc.Events())
            n += ev.IsMeasure();
        return n;
    }
    CRondelDoc m_doc;
};

TEST_F(BarProperties, SixEightButtonChangesOnlyTheTimeSignature)
{
    CEvent& bar = *Bar(2);
    bar.m_word1 |= EventBits::NewLine | EventBits::ImportedLineStart;
    bar.m_word2 |= EventBits::RepeatGroupEnd | EventBits::TimeSigShown;
    const uint32_t w1 = bar.m_word1;
    const uint32_t w2 = bar.m_word2;
    SBarProperties v = FillBarProperties(bar, m_doc.m_trackType);
    const auto& six8 = TimeSigButtons()[5];
    ASSERT_STREQ(six8.caption, "6/8");
    v.SetTimeSignature(six8.numerator, six8.denominator);
    ASSERT_EQ(Apply(2, v), &bar);
    EXPECT_EQ(bar.GetTimeSigNumerator(), 6u);
    EXPECT_EQ(bar.GetTimeSigDenominator(), 8u);
    EXPECT_EQ(bar.m_word1, w1);
    EXPECT_EQ(bar.m_word2 & ~EventBits::TimeSigMask, w2 & ~EventBits::TimeSigMask);
    EXPECT_TRUE(m_doc.IsModified());
    EXPECT_TRUE(m_doc.CanUndo());
}

TEST_F(BarProperties, GroupStartWinsOverAnAlternateEndingTickedByHand)
{
    SBarProperties v = FillBarProperties(*Bar(2), m_doc.m_trackType);
    v.m_repeatStart = true;
    v.m_altEnding = true;
    v.m_altEndNumber = 2;
    CEvent* bar = Apply(2, v);
    ASSERT_TRUE(bar);
    EXPECT_TRUE(bar->IsRepeatGroupStart());
    EXPECT_FALSE(bar->IsRepeatGroupEnd());
    EXPECT_EQ(bar->GetRepeatGroupAltEnd(), 0u);
}

TEST_F(BarProperties, RepeatPrecedingAndBack)
{
    CEvent& bar = *Bar(3);
    bar.m_word2 |= EventBits::RepeatGroupStart | (5u << EventBits::AltEndShift);
    SBarProperties v = FillBarProperties(bar, m_doc.m_trackType);
    v.SetRepeatPreceding(true);
    EXPECT_FALSE(v.m_repeatStart);
    EXPECT_EQ(v.m_measures, 1);
    EXPECT_TRUE(v.m_measuresSpinEnabled && v.m_timesSpinEnabled && !v.m_altEndSpinEnabled);
    v.m_measures = 2;
    v.m_times = 3;
    ASSERT_TRUE(Apply(3, v));
    EXPECT_EQ(bar.GetEventType(), EventType::RepeatPrevMeasures);
    EXPECT_EQ(bar.GetRepeatPrevNMeasures(), 2u);
    EXPECT_EQ(bar.GetRepeatPrevCount(), 3u);
    EXPECT_EQ(bar.GetTimeSigNumerator(), 4u);

    SBarProperties back = FillBarProperties(bar, m_doc.m_trackType);
    EXPECT_TRUE(back.m_repeatPreceding);
    EXPECT_EQ(back.m_measures, 2);
    EXPECT_EQ(back.m_times, 3);
    back.m_repeatPreceding = false;
    ASSERT_TRUE(Apply(3, back));
    EXPECT_EQ(bar.GetEventType(), EventType::Bar);
    EXPECT_FALSE(bar.IsRepeatGroupStart());
    EXPECT_FALSE(bar.IsRepeatGroupEnd());
    EXPECT_EQ(bar.GetRepeatGroupAltEnd(), 0u);
}

TEST_F(BarProperties, MoreThanSevenMeasuresUseTheHighBit)
{
    SBarProperties v = FillBarProperties(*Bar(3), m_doc.m_trackType);
    v.SetRepeatPreceding(true);
    v.m_measures = 11;
    v.m_times = 63;
    CEvent* bar = Apply(3, v);
    ASSERT_TRUE(bar);
    EXPECT_TRUE(bar->m_word2 & EventBits::RepeatNHigh);
    EXPECT_EQ(bar->GetRepeatPrevNMeasures(), 11u);
    EXPECT_EQ(bar->GetRepeatPrevCount(), 63u);
}

TEST_F(BarProperties, ClosingBarMadeARepeatGetsANewClosingBar)
{
    m_doc.Events().back().m_word2 = TimeSigWord(3, 4);
    SBarProperties v = FillBarProperties(*Bar(4), m_doc.m_trackType);
    v.SetRepeatPreceding(true);
    ASSERT_TRUE(Apply(4, v));
    EXPECT_EQ(Bars(), 5);
    EXPECT_TRUE(m_doc.Events().back().IsBar());
    EXPECT_EQ(m_doc.Events().back().m_word2, TimeSigWord(3, 4));
    EXPECT_TRUE((*Bar(4)).IsRepeatPrev());
}

TEST_F(BarProperties, BassPatchIsShownByNameAndKept)
{
    m_doc.m_trackType = TrackType::Bass4;
    CEvent& bar = *Bar(2);
    bar.m_word1 |= PatchBits(34);
    SBarProperties v = FillBarProperties(bar, m_doc.m_trackType);
    EXPECT_EQ(v.m_patch, QStringLiteral("34 Electric bass (pick)"));
    ASSERT_TRUE(Apply(2, v));
    EXPECT_EQ(bar.GetPatch(), 34u);
    EXPECT_TRUE(bar.m_word1 & EventBits::PatchPresent);

    // A patch outside the named list shows as its number, and a typed number is taken.
    bar.m_word1 = (bar.m_word1 & ~EventBits::PatchMask) | PatchBits(80);
    v = FillBarProperties(bar, m_doc.m_trackType);
    EXPECT_EQ(v.m_patch, QStringLiteral("80"));
    v.m_patch = QStringLiteral("127 my lead");
    ASSERT_TRUE(Apply(2, v));
    EXPECT_EQ(bar.GetPatch(), 127u);
}

TEST_F(BarProperties, DrumTracksHaveNoPatch)
{
    CEvent& bar = *Bar(2);
    SBarProperties v = FillBarProperties(bar, m_doc.m_trackType);
    EXPECT_TRUE(v.m_patch.isEmpty());
    v.m_patch = QStringLiteral("999"); // ignored on a drum track, so not refused either
    ASSERT_TRUE(Apply(2, v));
    EXPECT_FALSE(bar.m_word1 & EventBits::PatchPresent);
}

TEST_F(BarProperties, InsertNewMeasureLeavesTheClickedOneAlone)
{
    CEvent* clicked = &*Bar(2);
    const uint32_t w1 = clicked->m_word1;
    const uint32_t w2 = clicked->m_word2;
    SBarProperties v = FillBarProperties(*clicked, m_doc.m_trackType);
    v.m_insertNewMeasure = true;
    v.m_tempo = 100;
    CEvent* inserted = Apply(2, v);
    ASSERT_TRUE(inserted);
    EXPECT_NE(inserted, clicked);
    EXPECT_EQ(&*Bar(2), inserted);
    EXPECT_EQ(&*Bar(3), clicked);
    EXPECT_EQ(inserted->GetTempo(), 100u);
    EXPECT_EQ(inserted->GetTimeSigNumerator(), 4u);
    EXPECT_EQ(inserted->GetTimeSigDenominator(), 4u);
    EXPECT_EQ(clicked->m_word1, w1);
    EXPECT_EQ(clicked->m_word2, w2);
    EXPECT_EQ(Bars(), 5);
}

TEST_F(BarProperties, TempoZeroRemovesTheTempoChange)
{
    CEvent& first = *Bar(1);
    SBarProperties v = FillBarProperties(first, m_doc.m_trackType);
    EXPECT_EQ(v.m_tempo, 120);
    v.m_tempo = 0;
    ASSERT_TRUE(Apply(1, v));
    EXPECT_EQ(first.GetTempo(), 0u);
    EXPECT_FALSE(first.m_word1 & EventBits::TempoPresent);
}

TEST_F(BarProperties, TextAndLayoutChoices)
{
    CEvent& bar = *Bar(2);
    SBarProperties v = FillBarProperties(bar, m_doc.m_trackType);
    v.m_text = QStringLiteral("Chorus");
    v.m_newLine = true;
    v.m_newPage = true;
    ASSERT_TRUE(Apply(2, v));
    EXPECT_EQ(bar.GetText(), QStringLiteral("Chorus"));
    EXPECT_TRUE(bar.m_word1 & EventBits::NewLine);
    EXPECT_TRUE(bar.m_word1 & EventBits::NewPage);
    v = FillBarProperties(bar, m_doc.m_trackType);
    EXPECT_EQ(v.m_text, QStringLiteral("Chorus"));
    v.m_text.clear();
    v.m_newLine = false;
    ASSERT_TRUE(Apply(2, v));
    EXPECT_EQ(bar.GetTextOrNull(), nullptr);
    EXPECT_FALSE(bar.m_word1 & EventBits::NewLine);
    // The undo history holds each step.
    ASSERT_TRUE(m_doc.Undo());
    EXPECT_EQ((*Bar(2)).GetText(), QStringLiteral("Chorus"));
}

TEST_F(BarProperties, FillingShowsTheRepeatFields)
{
    CEvent& bar = *Bar(2);
    bar.m_word2 |= (3u << EventBits::AltEndShift);
    bar.SetText(QString(150, QLatin1Char('t')));
    SBarProperties v = FillBarProperties(bar, m_doc.m_trackType);
    EXPECT_TRUE(v.m_altEnding);
    EXPECT_EQ(v.m_altEndNumber, 3);
    EXPECT_TRUE(v.m_altEndSpinEnabled);
    EXPECT_FALSE(v.m_measuresSpinEnabled || v.m_timesSpinEnabled);
    EXPECT_EQ(v.m_measures, 0);
    EXPECT_EQ(v.m_times, 0);
    EXPECT_EQ(v.m_text.size(), 100);
}

TEST(BarPropertiesRules, ExclusiveChoices)
{
    SBarProperties v;
    v.m_repeatStart = v.m_repeatEnd = v.m_repeatPreceding = true;
    v.m_altEndNumber = 0;
    v.SetAlternateEnding(true);
    EXPECT_TRUE(v.m_altEnding && !v.m_repeatStart && !v.m_repeatEnd && !v.m_repeatPreceding);
    EXPECT_EQ(v.m_altEndNumber, 1);
    EXPECT_TRUE(v.m_altEndSpinEnabled);

    v.SetRepeatGroupEnd(true);
    EXPECT_TRUE(v.m_repeatEnd && v.m_altEnding); // an ending box stays as it was
    EXPECT_TRUE(v.m_altEndSpinEnabled && !v.m_measuresSpinEnabled);

    v.SetRepeatGroupStart(true);
    EXPECT_TRUE(v.m_repeatStart && !v.m_altEnding && !v.m_repeatEnd && !v.m_repeatPreceding);
    EXPECT_FALSE(v.m_altEndSpinEnabled || v.m_measuresSpinEnabled || v.m_timesSpinEnabled);

    v.SetRepeatPreceding(true);
    EXPECT_TRUE(v.m_repeatPreceding && !v.m_repeatStart);
    v.SetRepeatPreceding(false); // turning a box off changes nothing else
    EXPECT_TRUE(v.m_measuresSpinEnabled);
}

struct SCheckCase
{
    const char* what;
    std::function<void(SBarProperties&)> change;
    uint32_t trackType;
    const char* message; // empty: accepted
};

class BarPropertiesChecks : public testing::TestWithParam<SCheckCase>
{
};

TEST_P(BarPropertiesChecks, RefusedValuesChangeNothing)
{
    const SCheckCase& c = GetParam();
    CRondelDoc doc;
    doc.OnNewDocument();
    doc.m_trackType = c.trackType;
    SBarProperties v = FillBarProperties(doc.Events().front(), doc.m_trackType);
    c.change(v);
    EXPECT_EQ(CheckBarProperties(v, doc.m_trackType), QString::fromLatin1(c.message)) << c.what;
    const QByteArray before = doc.SaveBytes();
    QString error;
    CEvent* ev = ApplyBarProperties(doc, doc.Events().begin(), v, &error);
    EXPECT_EQ(ev == nullptr, *c.message != 0) << c.what;
    if (!ev) {
        EXPECT_EQ(error, QString::fromLatin1(c.message));
        EXPECT_EQ(doc.SaveBytes(), before);
        EXPECT_FALSE(doc.CanUndo());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, BarPropertiesChecks,
    testing::Values(
        SCheckCase{"tempo 255", [](SBarProperties& v) { v.m_tempo = 255; }, 10, ""},
        SCheckCase{"tempo 256", [](SBarProperties& v) { v.m_tempo = 256; }, 10, "Please enter an integer between 0 and 255."},
        SCheckCase{"tempo -1", [](SBarProperties& v) { v.m_tempo = -1; }, 10, "Please enter an integer between 0 and 255."},
        SCheckCase{"numerator 63", [](SBarProperties& v) { v.m_numerator = 63; }, 10, ""},
        SCheckCase{"numerator 64", [](SBarProperties& v) { v.m_numerator = 64; }, 10, "Please enter an integer between 1 and 63."},
        SCheckCase{"numerator 0", [](SBarProperties& v) { v.m_numerator = 0; }, 10, "Please enter an integer between 1 and 63."},
        SCheckCase{"denominator 32", [](SBarProperties& v) { v.m_denominator = 32; }, 10, ""},
        SCheckCase{"denominator 3", [](SBarProperties& v) { v.m_denominator = 3; }, 10,
                   "Please enter a denominator of 1, 2, 4, 8, 16 or 32."},
        SCheckCase{"denominator 256", [](SBarProperties& v) { v.m_denominator = 256; }, 10,
                   "Please enter a denominator of 1, 2, 4, 8, 16 or 32."},
        SCheckCase{"patch 128", [](SBarProperties& v) { v.m_patch = QStringLiteral("128"); }, 30,
                   "Please enter an integer between 0 and 127."},
        SCheckCase{"patch without number", [](SBarProperties& v) { v.m_patch = QStringLiteral("Clean"); }, 20,
                   "Please enter an integer between 0 and 127."},
        SCheckCase{"patch 0", [](SBarProperties& v) { v.m_patch = QStringLiteral("0"); }, 20, ""},
        SCheckCase{"measures 16", [](SBarProperties& v) { v.SetRepeatPreceding(true); v.m_measures = 16; }, 10,
                   "Please enter an integer between 1 and 15."},
        SCheckCase{"times 64", [](SBarProperties& v) { v.SetRepeatPreceding(true); v.m_times = 64; }, 10,
                   "Please enter an integer between 1 and 63."},
        SCheckCase{"ending 16", [](SBarProperties& v) { v.SetAlternateEnding(true); v.m_altEndNumber = 16; }, 10,
                   "Please enter an integer between 1 and 15."}));

} // namespace
