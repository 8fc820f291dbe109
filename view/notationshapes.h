#pragma once
// The notation's symbols as vector shapes (so that print and zoom stay sharp) and its fonts.
// Shapes are filled paths in logical units; each states its anchor point.

#include <QFont>
#include <QPainterPath>

#include <array>

class QPainter;

enum class EHeadKind { Filled, Open, Whole, Cross, Diamond, DiamondOpen };

class CNotationShapes
{
public:
    CNotationShapes();

    // Note heads, centred on (0, 0).
    std::array<QPainterPath, 6> m_heads;
    // Round brackets around a head centred on (0, 0).
    QPainterPath m_ghostBrackets;
    // Rests by kind (0 = 32nd, 1 = 16th, 2 = eighth, 3 = quarter, 4 = half, 5 = whole),
    // centred on (0, 0); the whole rest hangs from y = -4, the half rest sits on y = +4.
    std::array<QPainterPath, 6> m_rests;
    // 1, 2 and 3 flags; origin at the stem end, for up stems (down stems mirror them).
    std::array<QPainterPath, 3> m_flagsUp;
    std::array<QPainterPath, 3> m_flagsDown;
    // Origins at the top left of each image.
    QPainterPath m_grace;
    QPainterPath m_sharp;
    QPainterPath m_flat;
    QPainterPath m_trebleClef;
    QPainterPath m_bassClef;
    QPainterPath m_metronome;
    std::array<QPainterPath, 5> m_measureRepeat; // 1, 2, 3, 4 and more measures
    QPainterPath m_startMarker;
    QPainterPath m_endMarker;
    QPainterPath m_repeatDot;
};

const CNotationShapes& NotationShapes();

// Fonts by use, made from the application's default face. Heights are cell heights in logical
// units, as the layout counts them.
struct CNotationFonts
{
    CNotationFonts();

    QFont m_timeSig;       // 22: time-signature digits, bar numbers at system starts
    QFont m_count;         // 21: count row, measure-repeat numbers, ending numbers, page band
    QFont m_spare;         // 13 bold
    QFont m_label;         // 15 bold: labels, "8va", tab letters, "P.M.", triplet "3"
    QFont m_tripletLetter; // 15 bold italic: tab letters of triplet notes
    QFont m_importText;    // 15 fixed pitch: imported text lines
    QFont m_header;        // 16 semibold: tempo marks, bar texts, header block
    QFont m_barTime;       // bar start times in the left margin
    QFont m_tabRowLabel;   // names of the tab rows, which lie only 12 apart
};

const CNotationFonts& NotationFonts();

// Fills `path` moved to (x, y).
void FillShape(QPainter* p, const QPainterPath& path, qreal x, qreal y);
// Draws text with its top-left corner at (x, y) on a white background; returns the right end.
qreal TextOut(QPainter* p, const QFont& font, qreal x, qreal y, const QString& text, bool opaque = true);
qreal TextWidth(const QFont& font, const QString& text);
// The ink of text drawn with its top-left corner at (x, y) (TextOut's cell holds more).
QRectF TextInk(const QFont& font, qreal x, qreal y, const QString& text);
