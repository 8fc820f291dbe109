#pragma once
// The "Import" property sheet over an imported document (Instrument key, Header, Time key,
// Original import text), the Change Instrument dialog, and the conversion of the kept tab text
// with changed instruments or time options.
//
// The sheet holds the document, not the importer: it reads the document's current importer
// every time it fills its pages, because a conversion (or an undo of one) replaces it.

#include "tabimporter.h"

#include <QDialog>

#include <functional>

class CHeaderDialog;
class CRondelDoc;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QRadioButton;
class QTabWidget;

namespace ImportRework {
// The document's importer, or nullptr for a document that was not imported from a text tab.
CTabImporter* ImporterOf(CRondelDoc& doc);
// Converts the importer's kept text again into a new song, after `adjust` changed the new
// importer (a user mapping, time options), and puts song and importer in place of the old
// ones. No undo step is taken: the caller commits (CommitEdit) so that the change, with any
// other change made by the same OK, is one step. Undoing that step brings the old importer
// back. False (the document untouched) when the conversion fails; the importer has reported
// why.
bool Reconvert(CRondelDoc& doc, const std::function<void(CTabImporter&)>& adjust);
// Sets or replaces the user's mapping of a label's note character, then reconverts and
// commits. False when nothing changed or the conversion failed.
bool ChangeMapping(CRondelDoc& doc, const CTabImporter::SUserMapping& mapping);
// The Time key rules (61466, 61467) against the importer's current mode; when they allow the
// options and these differ from the importer's, reconverts (no commit). True when the song
// was converted again.
bool ChangeTimeOptions(CRondelDoc& doc, const CTabImporter::STimeOptions& options);
// Starts following the document's undo and redo so that the importer matches the song they
// restore. Call before registering listeners that read the importer: they then see the
// right one. (Reconvert does it too.)
void Watch(CRondelDoc& doc);
// The text of a dynamic: "Normal", "Accented note", "Ghost note", "Flam (grace note)".
QString DynamicText(int dynamic);
// By the first letter, as the dialog reads it: 'A' 2, 'F' 8, 'G' 4, else 0.
int DynamicFromText(const QString& text);
}

class CChangeInstrumentDialog : public QDialog
{
    Q_OBJECT
public:
    CChangeInstrumentDialog(char noteChar, int instrument, int dynamic, QWidget* parent = nullptr);
    // The chosen instrument; a name the catalogue does not know keeps the instrument the dialog
    // was opened with.
    int Instrument() const;
    int Dynamic() const;
    QComboBox* InstrumentBox() const { return m_instrument; }
    QComboBox* DynamicBox() const { return m_dynamic; }

private:
    int m_original;
    QComboBox* m_instrument;
    QComboBox* m_dynamic;
};

class CImportSheet : public QDialog
{
    Q_OBJECT
public:
    CImportSheet(CRondelDoc& doc, QWidget* parent = nullptr);
    ~CImportSheet() override;
    CRondelDoc& Doc() const { return m_doc; }

    // Fills every page again from the document and its current importer.
    void Refill();
    // Writes the Header and Time key pages to the document as one undo step.
    void Apply();
    void accept() override;

    // Opens Change Instrument for a row of the decoded list; rows without an entry do nothing.
    // `run` shows the dialog (tests answer it); by default it is exec().
    using DialogRunner = std::function<int(CChangeInstrumentDialog&)>;
    void ChangeInstrumentAt(int row, const DialogRunner& run = {});

    QTabWidget* Pages() const { return m_pages; }
    QListWidget* KeyLines() const { return m_keyLines; }
    QListWidget* Decoded() const { return m_decoded; }
    QListWidget* HeaderLines() const { return m_headerLines; }
    QListWidget* TimeLines() const { return m_timeLines; }
    QListWidget* ImportText() const { return m_text; }
    CHeaderDialog* HeaderEditor() const { return m_header; }
    QRadioButton* ModeButton(int mode) const;
    QRadioButton* Sixteenth() const { return m_sixteenth; }
    QRadioButton* ThirtySecond() const { return m_thirtySecond; }
    QCheckBox* BogusFirstTick() const { return m_bogus; }
    QCheckBox* Split() const { return m_split; }
    QCheckBox* Round() const { return m_round; }

signals:
    // The Header page changed the audio file path: the recording is loaded again.
    void AudioFileChanged();

private:
    void BuildInstrumentPage();
    void BuildHeaderPage();
    void BuildTimePage();
    void BuildTextPage();
    void FillDecoded(const CTabImporter* imp);
    void FillTimeOptions(const CTabImporter* imp);
    void RebuildHeaderEditor();

    CRondelDoc& m_doc;
    int m_listener = 0;
    bool m_applying = false;
    QTabWidget* m_pages;
    QListWidget* m_keyLines = nullptr;
    QListWidget* m_decoded = nullptr;
    QListWidget* m_headerLines = nullptr;
    QWidget* m_headerPage = nullptr;
    CHeaderDialog* m_header = nullptr;
    QListWidget* m_timeLines = nullptr;
    QButtonGroup* m_mode = nullptr;
    QRadioButton* m_above = nullptr;
    QRadioButton* m_below = nullptr;
    QCheckBox* m_outside = nullptr;
    QRadioButton* m_sixteenth = nullptr;
    QRadioButton* m_thirtySecond = nullptr;
    QCheckBox* m_sigInMeasures = nullptr;
    QCheckBox* m_sigOwnMeasures = nullptr;
    QCheckBox* m_bogus = nullptr;
    QCheckBox* m_split = nullptr;
    QCheckBox* m_round = nullptr;
    QListWidget* m_text = nullptr;
};
