#pragma once
// The small dialogs of the main window: Goto Bar Number, Goto Time, Midi Import Options and
// the song Header.

#include <QDialog>

class CRondelDoc;
class QCheckBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;

class CGotoBarDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CGotoBarDialog(QWidget* parent = nullptr);
    int BarNumber() const;
    QSpinBox* Edit() const { return m_edit; }
    // Room for the window buttons and margins of a title bar beside its text.
    static constexpr int kTitleBarRoom = 128;
    // The width at which a title bar shows `title` whole.
    static int TitleWidth(const QString& title);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    QSpinBox* m_edit;
};

class CGotoTimeDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CGotoTimeDialog(QWidget* parent = nullptr);
    // Valid after the dialog was accepted.
    int TimeMsecs() const { return m_msecs; }
    QLineEdit* Edit() const { return m_edit; }
    // Keeps the dialog open (after telling the user) while the text does not parse.
    void accept() override;

private:
    QLineEdit* m_edit;
    int m_msecs = 0;
};

class CMidiImportDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CMidiImportDialog(QWidget* parent = nullptr);
    void accept() override;

    // 1 = snap to 32nd notes, 0 = to 16th notes.
    int m_snap = 1;
    int m_detectTriplets = 1;

private:
    QRadioButton* m_snap32;
    QRadioButton* m_snap16;
    QCheckBox* m_triplets;
};

class CHeaderDialog : public QDialog
{
    Q_OBJECT
public:
    // Copies the header fields, the audio file and the counting flag from the document.
    CHeaderDialog(CRondelDoc& doc, QWidget* parent = nullptr);
    // Copies them back; true when the audio file path changed.
    bool ApplyTo(CRondelDoc& doc) const;
    QLineEdit* Field(int headerIndex) const;
    QLineEdit* AudioEdit() const { return m_audio; }

private:
    void OnBrowseAudio();

    QLineEdit* m_fields[11] = {};
    QLineEdit* m_audio;
    QCheckBox* m_threePart;
};
