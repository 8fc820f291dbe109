// Engraving: no two symbols of the notation that must stay apart overlap, on dense songs made
// here and on every tab and MIDI file of the corpus.

#include "midifile.h"
#include "report.h"
#include "tabimporter.h"
#include "tabimportertext.h"
#include "testutil.h"
#include "trackrender.h"
#include "viewtest.h"

#include <QDir>
#include <QImage>

#include <sstream>

namespace {

// Symbols the pass places itself, which must touch nothing else.
bool IsPlaced(EGlyph kind)
{
    switch (kind) {
    case EGlyph::Rest: case EGlyph::Label: case EGlyph::Accent: case EGlyph::Triplet3: case EGlyph::Tempo:
    case EGlyph::Ending: case EGlyph::BarText: case EGlyph::TimeSig: case EGlyph::Octave: case EGlyph::PalmMute:
    case EGlyph::Marker:
        return true;
    default:
        return false;
    }
}

// Symbols of the standard staff; the rows below it (tab, count, imported text) keep their
// own grid.
bool OnStaff(EGlyph kind)
{
    switch (kind) {
    case EGlyph::TabText: case EGlyph::FretLine: case EGlyph::Count: case EGlyph::ImportLine:
        return false;
    default:
        return true;
    }
}

const char* KindName(EGlyph kind)
{
    static const char* const names[] = {"Head", "Rest", "Flag", "Beam", "Stub", "Dot", "TimeSig", "Label", "Accent",
                                        "Flam", "Triplet3", "TabText", "FretLine", "Count", "Tempo", "RepeatStart",
                                        "RepeatEnd", "Ending", "MeasureRepeat", "Ledger", "Accidental", "PalmMute",
                                        "Octave", "ImportLine", "BarText", "Marker", "Stem", "Choke"};
    return names[size_t(kind)];
}

// Pairs of overlapping symbols where at least one is placed by the pass, described for a
// failure message.
std::vector<std::string> Collisions(const std::vector<SGlyph>& glyphs)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < glyphs.size(); ++i) {
        const SGlyph& a = glyphs[i];
        if (a.box.isEmpty() || !OnStaff(a.kind))
            continue;
        for (size_t j = i + 1; j < glyphs.size(); ++j) {
            const SGlyph& b = glyphs[j];
            if (b.box.isEmpty() || !OnStaff(b.kind) || !(IsPlaced(a.kind) || IsPlaced(b.kind)))
                continue;
            const QRectF common = a.box.intersected(b.box);
            if (common.width() <= 0.25 || common.height() <= 0.25)
                continue;
            std::ostringstream s;
            s << KindName(a.kind) << " '" << a.text.toStdString() << "' of bar " << a.bar << " and "
              << KindName(b.kind) << " '" << b.text.toStdString() << "' of bar " << b.bar << " at ("
              << common.x() << ", " << common.y() << ")";
            out.push_back(s.str());
        }
    }
    return out;
}

std::string Describe(const std::vector<std::string>& collisions)
{
    std::string text;
    for (size_t i = 0; i < collisions.size() && i < 12; ++i)
        text += "  " + collisions[i] + "\n";
    return text;
}

// Draws a document at a width (and, when KADENZO_NOTATION_PNG_DIR names a folder, keeps the
// picture there) and returns its symbols.
std::vector<SGlyph> DrawnSymbols(CRondelDoc& doc, int width, const QString& pngName = {})
{
    std::vector<SGlyph> glyphs;
    CTrack::Of(doc)->m_glyphLog = &glyphs;
    QString error;
    const QImage image = RenderSongImage(doc, width, std::nullopt, &error);
    CTrack::Of(doc)->m_glyphLog = nullptr;
    EXPECT_FALSE(image.isNull()) << error.toStdString();
    const QString dir = qEnvironmentVariable("KADENZO_NOTATION_PNG_DIR");
    if (!dir.isEmpty() && !pngName.isEmpty())
        image.save(QDir(dir).filePath(pngName));
    return glyphs;
}

class Engraving : public ViewTest
{
protected:
    std::vector<std::string> CollisionsAt(int width, const QString& pngName = {})
    {
        const std::vector<SGlyph> glyphs = DrawnSymbols(m_doc, width, pngName);
        // A symbol without its box would slip through the check.
        for (const SGlyph& g : glyphs)
            EXPECT_FALSE(OnStaff(g.kind) && g.box.isEmpty()) << KindName(g.kind) << " of bar " << g.bar;
        return Collisions(glyphs);
    }
    void ExpectClean(const char* what, const QString& pngName = {})
    {
        for (int width : {1200, 700}) {
            const auto found = CollisionsAt(width, width == 1200 ? pngName : QString());
            EXPECT_TRUE(found.empty()) << what << " at width " << width << ": " << found.size()
                                       << " overlapping pairs\n" << Describe(found);
        }
    }
};

// ----- the checker itself ---------------------------------------------------------------------

TEST(EngravingCheck, FindsOverlapsOnlyWherePlacedSymbolsMeet)
{
    std::vector<SGlyph> glyphs;
    glyphs.push_back({EGlyph::Head, 1, 0, 0, 42, {}, true, QRectF(0, 0, 10, 8)});
    glyphs.push_back({EGlyph::Head, 1, 0, 4, 38, {}, true, QRectF(0, 4, 10, 8)});        // a chord's second
    glyphs.push_back({EGlyph::Label, 1, 0, -20, 42, "H.H.", true, QRectF(0, -20, 30, 15)});
    glyphs.push_back({EGlyph::Accent, 1, 0, -10, 42, {}, true, QRectF(2, -10, 7, 7)});   // into the label
    glyphs.push_back({EGlyph::Count, 1, 0, 100, 1, "1", true, QRectF(0, 100, 10, 20)});
    glyphs.push_back({EGlyph::TabText, 1, 0, 100, 42, "x", true, QRectF(0, 100, 10, 20)}); // other rows
    const auto found = Collisions(glyphs);
    ASSERT_EQ(found.size(), 1u) << Describe(found);
    EXPECT_NE(found[0].find("Label"), std::string::npos);
    EXPECT_NE(found[0].find("Accent"), std::string::npos);
}

// ----- dense songs ----------------------------------------------------------------------------

TEST_F(Engraving, ThirtySecondRestsAgainstSixteenthNotes)
{
    auto song = Song();
    for (int bar = 0; bar < 6; ++bar) {
        song.Bar();
        for (int t = 0; t < 32; ++t) {
            // Hands on an uneven 32nd pattern (leaving 32nd rests), feet on sixteenths with gaps.
            if ((t * 5 + bar) % 7 < 3)
                song.Note(bar % 2 ? 38 : 42, t);
            if (t % 2 == 0 && (t / 2 + bar) % 3 != 1)
                song.Note(36, t);
        }
    }
    // Both voices ending on an eighth and a 32nd rest, at the same tick.
    song.Bar().Note(42, 27).Note(36, 27);
    song.Close();
    ExpectClean("32nd rests", QStringLiteral("rests-against-sixteenths.png"));
}

TEST_F(Engraving, FlamsAccentsOnEveryCymbalAndLabels)
{
    const int cymbals[] = {42, 49, 51, 55, 52, 57, 53, 46};
    auto song = Song();
    song.Bar(6, 4);
    for (int t = 0; t < 48; t += 2)
        song.Note(38, t, EventBits::FlamOrPM);
    for (int bar = 0; bar < 6; ++bar) {
        song.Bar();
        for (int t = 0; t < 32; t += 2) {
            song.Note(cymbals[size_t((t / 2 + bar) % 8)], t, EventBits::Accent);
            if (t % 8 == 4)
                song.Note(38, t, EventBits::FlamOrPM | EventBits::Accent);
            if (t % 8 == 0)
                song.Note(36, t);
        }
    }
    song.Close();
    ExpectClean("accents and flams", QStringLiteral("accents-and-flams.png"));
}

TEST_F(Engraving, TempoChangeWithCrashTextEndingsAndTriplets)
{
    auto song = Song();
    song.Bar(4, 4, TempoBits(112), EventBits::RepeatGroupStart)
        .Text(QStringLiteral("Intro"))
        .Note(49, 0, EventBits::Accent)
        .Note(36, 0);
    for (int t = 4; t < 32; t += 4)
        song.Note(42, t).Note(t % 8 ? 36 : 38, t);
    song.Bar(4, 4, TempoBits(96), 1u << EventBits::AltEndShift).Note(57, 0, EventBits::Accent);
    // Eighth-note triplets on the toms and a crash on every beat.
    for (int beat = 0; beat < 4; ++beat)
        for (int k = 0; k < 3; ++k)
            song.At(k == 0 ? 49 : 48 - 2 * k, uint32_t(beat * 96 + k * 32), EventBits::Triplet | EventBits::Accent);
    song.Bar(4, 4, 0, EventBits::RepeatGroupEnd).Note(55, 0, EventBits::Accent).Note(42, 4).Note(42, 8);
    song.Bar(4, 4, 0, 2u << EventBits::AltEndShift).Note(49, 0).Note(38, 16);
    song.Bar(3, 4, TempoBits(140)).Text(QStringLiteral("Outro, slowly fading")).Note(49, 0, EventBits::Accent);
    song.Bar().Bar(7, 8).Note(51, 0).Note(53, 2).Note(51, 4);
    song.Close();
    Track().m_startMarkerBar = 2;
    Track().m_endMarkerBar = 4;
    ExpectClean("tempo, crash and endings", QStringLiteral("tempo-crash-endings.png"));
}

TEST_F(Engraving, AWholeBarRestStandsClearOfTheTimeSignature)
{
    Song().Bar(3, 4).Note(42, 0).Bar(3, 4).Close();
    std::vector<SGlyph> glyphs = DrawnSymbols(m_doc, 1200);
    const SGlyph* sig = nullptr;
    std::vector<const SGlyph*> rests;
    for (const SGlyph& g : glyphs) {
        if (g.kind == EGlyph::TimeSig && g.bar == 1)
            sig = &g;
        if (g.kind == EGlyph::Rest && g.bar == 1 && !g.stemUp)
            rests.push_back(&g);
    }
    ASSERT_TRUE(sig);
    ASSERT_EQ(rests.size(), 1u); // the feet's voice is empty: one rest of the whole bar
    EXPECT_GT(rests[0]->box.left(), sig->box.right() + 40);
    EXPECT_TRUE(Collisions(glyphs).empty()) << Describe(Collisions(glyphs));
}

// ----- the corpus -----------------------------------------------------------------------------

class CorpusEngraving : public ViewTest
{
};

TEST_F(CorpusEngraving, EveryTabDrawsWithoutOverlaps)
{
    const QDir dir(CorpusDir() + QStringLiteral("/tabs"));
    if (!dir.exists())
        GTEST_SKIP() << "no corpus";
    int drawn = 0;
    for (const QString& name : dir.entryList({QStringLiteral("*.txt"), QStringLiteral("*.tab")}, QDir::Files, QDir::Name)) {
        auto importer = std::make_unique<CTabImporter>();
        if (!importer->ReadTabFile(dir.filePath(name)))
            continue;
        CRecordingReport report;
        CScopedUserReport scoped(&report);
        CRondelDoc doc;
        if (importer->ImportTab(doc) < 0)
            continue;
        doc.m_bImported = 1;
        doc.m_pImport = std::move(importer);
        if (!doc.FinishOpen(nullptr))
            continue;
        doc.m_pTrack = std::make_unique<CTrack>(doc);
        const auto found = Collisions(DrawnSymbols(doc, 1200));
        EXPECT_TRUE(found.empty()) << name.toStdString() << ": " << found.size() << " overlapping pairs\n"
                                   << Describe(found);
        ++drawn;
    }
    EXPECT_GT(drawn, 0);
}

TEST_F(CorpusEngraving, EveryMidiFileDrawsWithoutOverlaps)
{
    const QDir dir(CorpusDir() + QStringLiteral("/midi"));
    if (!dir.exists())
        GTEST_SKIP() << "no corpus";
    int drawn = 0;
    for (const QString& name : dir.entryList({QStringLiteral("*.mid")}, QDir::Files, QDir::Name)) {
        CRecordingReport report;
        CScopedUserReport scoped(&report);
        CRondelDoc doc;
        if (!ReadMidiFile(dir.filePath(name), doc.Events(), true, true) || doc.Events().empty())
            continue;
        if (!doc.FinishOpen(nullptr))
            continue;
        doc.m_pTrack = std::make_unique<CTrack>(doc);
        const auto found = Collisions(DrawnSymbols(doc, 1200));
        EXPECT_TRUE(found.empty()) << name.toStdString() << ": " << found.size() << " overlapping pairs\n"
                                   << Describe(found);
        ++drawn;
    }
    EXPECT_GT(drawn, 0);
}

} // namespace
