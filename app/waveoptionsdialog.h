#pragma once
// "Export Wave options": the two settings of Export Wave as check boxes. OK stores them
// ("wave_normalise", "wave_precise"); Cancel leaves them as they were. The next export reads
// them.

#include <QDialog>

class QCheckBox;

class CWaveOptionsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CWaveOptionsDialog(QWidget* parent = nullptr);
    void accept() override;

    QCheckBox* NormaliseBox() const { return m_normalise; }
    QCheckBox* PreciseBox() const { return m_precise; }

private:
    QCheckBox* m_normalise = nullptr;
    QCheckBox* m_precise = nullptr;
};
