#pragma once
// One run of CTrack::Draw: the layout walk (track.cpp), the measure furniture
// (track_draw.cpp) and the notes (track_notes.cpp). Private to the track.

#include "track.h"

#include <QPointF>
#include <QRectF>

#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "importtext.h"

class CTrackPass
{
public:
    CTrackPass(CTrack& track, const SDrawTarget& target);
    int Run(QSize* sizeOut);

private:
    // ----- layout (track.cpp)
    void Setup();
    void PreScan();
    bool IsSystemVisible(int systemTop) const;
    uint32_t NextBlockRef(uint32_t importRef);

    // ----- measure furniture (track_draw.cpp)
    int HeaderLines(std::vector<std::pair<QString, QString>>* lines) const;
    void DrawHeader();
    void DrawSystemMargin(const CEvent& bar, int systemTop);
    void DrawPageBand(int systemTop);
    void DrawImportText(const std::vector<SImportTextLine>& lines, const CEvent& bar, int top);
    void DrawMeasure(const CEvent& ev, CEventList::iterator it, int systemTop);
    void DrawStaff(const CEvent& ev, CEventList::iterator it, const SBarGeometry& g);
    void DrawTabStaff(const CEvent& ev, const SBarGeometry& g);
    void DrawCountRow(const CEvent& ev, const SBarGeometry& g);
    void DrawRepeatStart(qreal x, qreal top, qreal height);
    void DrawRepeatEnd(qreal right, qreal top, qreal height);
    void UpdateEnding(const CEvent& ev, CEventList::iterator it, bool draw, const SBarGeometry& g);
    void DrawCornerMark();
    bool LeadIsCrowded(CEventList::iterator bar) const;

    // ----- notes (track_notes.cpp)
    struct SItem
    {
        CEvent* ev;
        qreal x;      // note x
        int tick;
        int d;        // 32nds to the next note of the voice (0 for all but the last of a chord)
        int symbolD;  // length the symbol shows (a chord's members share the last one's)
        int step = 0; // pitched notes: staff step
    };
    enum class EVoice { Up, Down, Single };
    struct STriplet
    {
        std::vector<CEvent*> notes;
        bool allUp = true;
    };
    void DrawNotes(const CEvent& bar, const std::vector<CEvent*>& notes, bool closing);
    void DrawTabNotes(const CEvent& bar, const SBarGeometry& g, const std::vector<CEvent*>& notes);
    void DrawVoice(const CEvent& bar, const SBarGeometry& g, std::vector<CEvent*> plain,
                   const std::vector<const STriplet*>& triplets, EVoice voice, bool closing);
    void DrawGroup(const SBarGeometry& g, std::vector<SItem>& group, EVoice voice);
    void DrawTriplet(const CEvent& bar, const SBarGeometry& g, const STriplet& t, EVoice voice);
    void DrawSymbol(const SBarGeometry& g, const SItem& item, bool stemUp, EVoice voice);
    void DrawRests(const SBarGeometry& g, qreal x, int ticks, EVoice voice, bool wholeBar = false);
    void DrawRestSymbol(const SBarGeometry& g, qreal x, int value, bool dotted, EVoice voice);
    void DrawLabels(const CEvent& bar, const SBarGeometry& g, const std::vector<CEvent*>& notes);
    void DrawFlags(qreal stemX, const SBarGeometry& g, bool stemUp, int count);
    void DrawBeam(qreal fromStemX, qreal toStemX, const SBarGeometry& g, bool stemUp, int level);
    void DrawStub(qreal stemX, const SBarGeometry& g, bool stemUp, int level, bool left);
    void DrawPalmMute(const CEvent& bar, const SBarGeometry& g, const std::vector<CEvent*>& notes);
    qreal StemX(qreal noteX, bool stemUp) const { return stemUp ? noteX + 6 : noteX - 2; }
    qreal NoteX(const SBarGeometry& g, const CEvent& bar, const CEvent& note) const;
    qreal HeadY(const SBarGeometry& g, const SItem& item) const; // centre of a note head
    bool StemUpFor(const CEvent& note) const;
    void Log(EGlyph kind, qreal x, qreal y, int value = 0, const QString& text = {}, bool stemUp = true);
    bool ReportDrawListOverflow(size_t count);

    // ----- placement (track_draw.cpp)
    // Every box drawn on the current system goes into its shape (a skyline in all
    // directions). Symbols free to move (rests, labels, accents, triplet numbers, tempo marks,
    // bar texts) start at their usual spot and move, up or down, to the nearest spot where
    // they touch nothing of the shape.
    void Record(EGlyph kind, const QRectF& box, qreal x, qreal y, int value = 0, const QString& text = {},
                bool stemUp = true);
    bool Collides(const QRectF& box) const;
    qreal FreeShift(const QRectF& box, int direction, qreal quantum = 0) const;
    void PlaceRests(const SBarGeometry& g);
    void PlaceAccents(const SBarGeometry& g);
    void PlaceTriplets();
    void PlaceBarMarks();

    // ----- primitives
    void HLine(qreal x0, qreal x1, qreal y);
    void VLine(qreal x, qreal y0, qreal y1);

    CTrack& m_track;
    CRondelDoc& m_doc;
    const SDrawTarget& m_target;
    QPainter* m_p;

    EDisplayMode m_mode = EDisplayMode::Edit;
    SRowSettings m_rows;
    bool m_printing = false;
    bool m_drums = true;
    int m_trackType = 10;
    int m_tabRows = 0;
    int m_width = 0;
    int m_pageHeight = 0;
    int m_usableWidth = 0;
    const CImportTextSource* m_import = nullptr;
    std::unique_ptr<CImportTextSource> m_ownImport;
    bool m_hasImport = false;
    std::vector<uint32_t> m_blockRefs; // import references of the bars that start blocks
    bool m_blockRefsInOrder = true;    // their lines never go back (an unedited import)
    size_t m_blockCursor = 0;          // where the last lookup ended

    int m_barNo = 0;
    int m_logBar = 0; // the bar the glyph log attributes symbols to
    int m_page = 0;
    bool m_systemVisible = false;
    bool m_firstInSystem = false;

    // Instrument labels: the last labelled key of the cymbals and of the other groups; the
    // right end of the last label and its row (reset per bar).
    int m_lastCymbalLabel = 0;
    int m_lastPercLabel = 0;
    qreal m_labelRight = -1e9;
    int m_labelRow = 0;

    // The shape of the current system, and the symbols of the bar being drawn that wait for
    // the notes before they take their place.
    std::vector<QRectF> m_shape;
    struct SPendingRest
    {
        qreal x;
        int value;
        bool dotted;
        EVoice voice;
    };
    std::vector<SPendingRest> m_pendingRests;
    std::vector<std::pair<qreal, int>> m_pendingAccents; // note x, key
    struct SPendingTriplet
    {
        qreal x;
        qreal y;
        bool stemUp;
    };
    std::vector<SPendingTriplet> m_pendingTriplets;
    struct SPendingBarMarks
    {
        int bar = 0;
        qreal x = 0;
        int staffTop = 0;
        int systemTop = 0;
        int tempo = 0;
        QString text;
    };
    std::optional<SPendingBarMarks> m_pendingMarks;

    // The open alternate-ending bracket: the bar number where it ends, whether it ends with a
    // downward stroke.
    bool m_endingOpen = false;
    int m_endingLastBar = 0;
    bool m_endingClosed = false;
    bool m_endingGoesBack = false; // closed by the next ending: a repeat sign ends it
};
