#pragma once
// The "Bar (measure) Control" dialog over the bar-property rules: it shows a measure's values,
// keeps the repeat choices exclusive, and on OK applies them as one undo step. Opened by a
// click on a measure's time-signature box.

#include "barproperties.h"

#include <QDialog>

class CRondelDoc;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

class CBarDialog : public QDialog
{
    Q_OBJECT
public:
    // barNo: 1-based measure number of the song.
    CBarDialog(CRondelDoc& doc, int barNo, QWidget* parent = nullptr);

    // The values as the controls hold them.
    SBarProperties Values() const;

    QLineEdit* m_text;
    QSpinBox* m_numerator;
    QSpinBox* m_denominator;
    QSpinBox* m_tempo;
    QCheckBox* m_newLine;
    QCheckBox* m_newPage;
    QCheckBox* m_insertNew;
    QCheckBox* m_repeatStart;
    QCheckBox* m_repeatEnd;
    QCheckBox* m_altEnding;
    QSpinBox* m_altNumber;
    QCheckBox* m_repeatPreceding;
    QSpinBox* m_measures;
    QSpinBox* m_times;
    QComboBox* m_patch = nullptr;

public slots:
    void accept() override;

private:
    void Show(const SBarProperties& v);

    CRondelDoc& m_doc;
    int m_barNo;
    SBarProperties m_values;
    bool m_updating = false;
};

namespace BarDialogText {
inline constexpr const char* kFirstBarCannotRepeat =
    "The first measure has nothing before it to repeat";
inline constexpr const char* kRepeatDeletesNotes =
    "A measure repeat cannot hold notes of its own: the notes of this measure will be deleted. Do you want to go on?";
}
