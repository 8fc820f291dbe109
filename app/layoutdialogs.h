#pragma once
// The dialogs that shape the notation: "Drum layout (position and tail direction )",
// "Display/print configuration" and "Tab Staff Format Control". They change settings of the
// program or of a view, never the song: no undo step, no modified mark.

#include "displayconfig.h"
#include "drumlayout.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QDoubleSpinBox;
class QSlider;
class QSpinBox;

class CDrumLayoutDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CDrumLayoutDialog(QWidget* parent = nullptr);
    void accept() override;
    void reject() override;
    // "US/UK Standard" (0) or "France Standard" (1): the whole layout, at once.
    void ApplyPreset(int preset);

    struct SRow
    {
        const char* caption;
        int keys[2]; // the second 0 when the row sets one key
        const char* group;
    };
    static const std::vector<SRow>& Rows();
    // The row that sets `key`, or -1.
    static int RowOf(int key);
    QCheckBox* TailUp(int row) const { return m_tailUp[size_t(row)]; }
    QSpinBox* Position(int row) const { return m_position[size_t(row)]; }

private:
    void LoadRows();

    DrumLayout::Table m_opened;
    std::vector<QCheckBox*> m_tailUp;
    std::vector<QSpinBox*> m_position;
};

class CDisplayConfigDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CDisplayConfigDialog(QWidget* parent = nullptr);
    // The configuration the controls show; OK makes it the program's and stores it.
    CDisplayConfig Chosen() const;
    void accept() override;

    // [mode][Standard, Tab, Import, Count]; Edit has no Count box (nullptr).
    QCheckBox* Box(EDisplayMode mode, int row) const { return m_boxes[size_t(mode)][size_t(row)]; }
    QCheckBox* SupersizeBox() const { return m_supersize; }
    QCheckBox* PlayTimeBox() const { return m_playTime; }
    // Left, Top, Bottom, Right.
    QDoubleSpinBox* Margin(int i) const { return m_margins[size_t(i)]; }
    QSlider* SizeSlider() const { return m_size; }

private:
    std::array<std::array<QCheckBox*, 4>, 3> m_boxes{};
    QCheckBox* m_supersize;
    QCheckBox* m_playTime;
    std::array<QDoubleSpinBox*, 4> m_margins{};
    QSlider* m_size;
};

class CTabStaffFormatDialog : public QDialog
{
    Q_OBJECT
public:
    CTabStaffFormatDialog(const STabStaffFormat& format, QWidget* parent = nullptr);
    STabStaffFormat Format() const;
    QCheckBox* m_cymbals;
    QCheckBox* m_toms;
    QCheckBox* m_percussion;
};
