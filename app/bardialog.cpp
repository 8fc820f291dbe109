#include "bardialog.h"

#include "editcontroller.h"
#include "report.h"
#include "rondeldoc.h"
#include "songrange.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

CBarDialog::CBarDialog(CRondelDoc& doc, int barNo, QWidget* parent) : QDialog(parent), m_doc(doc), m_barNo(barNo)
{
    setWindowTitle(QStringLiteral("Bar (measure) Control"));
    auto* form = new QFormLayout(this);
    auto spin = [this](int lo, int hi) {
        auto* s = new QSpinBox(this);
        s->setRange(lo, hi);
        return s;
    };
    m_text = new QLineEdit(this);
    m_text->setMaxLength(CEvent::kMaxSavedText);
    m_numerator = spin(1, 63);
    m_denominator = spin(1, 32);
    m_tempo = spin(0, 255);
    m_newLine = new QCheckBox(QStringLiteral("New line"), this);
    m_newPage = new QCheckBox(QStringLiteral("New page"), this);
    m_insertNew = new QCheckBox(QStringLiteral("Insert new measure"), this);
    m_repeatStart = new QCheckBox(QStringLiteral("Repeat group start"), this);
    m_repeatEnd = new QCheckBox(QStringLiteral("Simple repeat group end"), this);
    m_altEnding = new QCheckBox(QStringLiteral("Alternate ending"), this);
    m_altNumber = spin(1, 15);
    m_repeatPreceding = new QCheckBox(QStringLiteral("Repeat preceding"), this);
    m_measures = spin(1, 15);
    m_times = spin(1, 63);
    form->addRow(QStringLiteral("Text"), m_text);
    form->addRow(QStringLiteral("Time signature"), m_numerator);
    form->addRow(QStringLiteral("/"), m_denominator);
    form->addRow(QStringLiteral("Tempo (bpm)"), m_tempo);
    form->addRow(m_newLine);
    form->addRow(m_newPage);
    form->addRow(m_insertNew);
    form->addRow(m_repeatStart);
    form->addRow(m_repeatEnd);
    form->addRow(m_altEnding, m_altNumber);
    form->addRow(m_repeatPreceding);
    form->addRow(QStringLiteral("Measures"), m_measures);
    form->addRow(QStringLiteral("Times"), m_times);
    if (doc.m_trackType != TrackType::Drums) {
        m_patch = new QComboBox(this);
        m_patch->setEditable(true);
        for (const char* name : PatchNames())
            m_patch->addItem(QString::fromLatin1(name));
        form->addRow(QStringLiteral("Patch"), m_patch);
    }
    // The keys that really set the markers, in the view over a measure's time-signature box.
    form->addRow(new QLabel(QStringLiteral("Playback markers. SHORTCUT! use '[' and ']' keys over time sig box, Home clears both"), this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CBarDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);

    const EventPos node = FindBar(doc.Events(), barNo);
    if (node != doc.Events().end())
        m_values = FillBarProperties(*node, doc.m_trackType);
    Show(m_values);
    // The repeat choices exclude one another as the rules say.
    auto exclusive = [this](QCheckBox* box, void (SBarProperties::*rule)(bool)) {
        connect(box, &QCheckBox::toggled, this, [this, rule](bool on) {
            if (m_updating)
                return;
            SBarProperties v = Values();
            (v.*rule)(on);
            Show(v);
        });
    };
    exclusive(m_altEnding, &SBarProperties::SetAlternateEnding);
    exclusive(m_repeatEnd, &SBarProperties::SetRepeatGroupEnd);
    exclusive(m_repeatStart, &SBarProperties::SetRepeatGroupStart);
    exclusive(m_repeatPreceding, &SBarProperties::SetRepeatPreceding);
}

void CBarDialog::Show(const SBarProperties& v)
{
    m_updating = true;
    m_values = v;
    m_text->setText(v.m_text);
    m_numerator->setValue(v.m_numerator);
    m_denominator->setValue(v.m_denominator);
    m_tempo->setValue(v.m_tempo);
    m_newLine->setChecked(v.m_newLine);
    m_newPage->setChecked(v.m_newPage);
    m_insertNew->setChecked(v.m_insertNewMeasure);
    m_repeatStart->setChecked(v.m_repeatStart);
    m_repeatEnd->setChecked(v.m_repeatEnd);
    m_altEnding->setChecked(v.m_altEnding);
    m_altNumber->setValue(v.m_altEndNumber);
    m_repeatPreceding->setChecked(v.m_repeatPreceding);
    m_measures->setValue(v.m_measures);
    m_times->setValue(v.m_times);
    m_measures->setEnabled(v.m_measuresSpinEnabled);
    m_times->setEnabled(v.m_timesSpinEnabled);
    m_altNumber->setEnabled(v.m_altEndSpinEnabled);
    if (m_patch)
        m_patch->setEditText(v.m_patch);
    m_updating = false;
}

SBarProperties CBarDialog::Values() const
{
    SBarProperties v = m_values;
    v.m_text = m_text->text();
    v.m_numerator = m_numerator->value();
    v.m_denominator = m_denominator->value();
    v.m_tempo = m_tempo->value();
    v.m_newLine = m_newLine->isChecked();
    v.m_newPage = m_newPage->isChecked();
    v.m_insertNewMeasure = m_insertNew->isChecked();
    v.m_repeatStart = m_repeatStart->isChecked();
    v.m_repeatEnd = m_repeatEnd->isChecked();
    v.m_altEnding = m_altEnding->isChecked();
    v.m_altEndNumber = m_altNumber->value();
    v.m_repeatPreceding = m_repeatPreceding->isChecked();
    v.m_measures = m_measures->value();
    v.m_times = m_times->value();
    if (m_patch)
        v.m_patch = m_patch->currentText();
    return v;
}

void CBarDialog::accept()
{
    SBarProperties v = Values();
    CEventList& events = m_doc.Events();
    const EventPos node = FindBar(events, m_barNo);
    if (node == events.end()) {
        QDialog::reject();
        return;
    }
    const QString problem = CheckBarProperties(v, m_doc.m_trackType);
    if (!problem.isEmpty()) {
        UserReport().Warning(problem);
        return;
    }
    const bool first = node == events.begin() && !v.m_insertNewMeasure;
    if (v.m_repeatPreceding && (first || (node == events.begin() && v.m_insertNewMeasure))) {
        UserReport().Warning(QString::fromLatin1(BarDialogText::kFirstBarCannotRepeat));
        return;
    }
    // The song's first measure sets the song's tempo: 0 there means that tempo, not none.
    if (first && v.m_tempo == 0)
        v.m_tempo = m_doc.m_songTempo > 0 ? std::min<int>(m_doc.m_songTempo, 255) : 120;
    // A shorter measure must not lose notes behind the user's back.
    if (!v.m_insertNewMeasure && !v.m_repeatPreceding && v.m_denominator > 0) {
        const int ticks = v.m_numerator * 32 / v.m_denominator;
        for (auto it = std::next(node); it != events.end() && !it->IsMeasure(); ++it)
            if (int(it->GetTick()) >= ticks) {
                UserReport().Warning(QString::fromLatin1(EditText::kNotesPastBarEnd));
                return;
            }
    }
    if (v.m_repeatPreceding && !v.m_insertNewMeasure && node->IsBar()) {
        auto end = std::next(node);
        while (end != events.end() && !end->IsMeasure())
            ++end;
        if (end != std::next(node)) {
            // Notes in a measure repeat would never sound: they go, once the user agrees.
            if (!UserReport().Question(QString::fromLatin1(BarDialogText::kRepeatDeletesNotes)))
                return;
            events.erase(std::next(node), end);
        }
    }
    QString error;
    if (!ApplyBarProperties(m_doc, node, v, &error)) {
        UserReport().Warning(error);
        return;
    }
    QDialog::accept();
}
