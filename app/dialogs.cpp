#include "dialogs.h"

#include "appfunctions.h"
#include "midifile.h"
#include "report.h"
#include "rondeldoc.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
QDialogButtonBox* OkCancel(QDialog* dlg)
{
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dlg);
    QObject::connect(box, &QDialogButtonBox::accepted, dlg, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dlg, &QDialog::reject);
    return box;
}
}

CGotoBarDialog::CGotoBarDialog(QWidget* parent) : QDialog(parent), m_edit(new QSpinBox(this))
{
    setWindowTitle(QStringLiteral("Goto Bar Number"));
    m_edit->setRange(1, 1000);
    auto* layout = new QFormLayout(this);
    layout->addRow(QStringLiteral("Bar number:"), m_edit);
    layout->addRow(OkCancel(this));
}

// The fields alone make a narrow dialog whose title bar cuts its title short.
QSize CGotoBarDialog::sizeHint() const
{
    const QSize hint = QDialog::sizeHint();
    return {std::max(hint.width(), TitleWidth(windowTitle())), hint.height()};
}

QSize CGotoBarDialog::minimumSizeHint() const
{
    const QSize hint = QDialog::minimumSizeHint();
    return {std::max(hint.width(), TitleWidth(windowTitle())), hint.height()};
}

int CGotoBarDialog::TitleWidth(const QString& title)
{
    // The title bar's font is the application's; its buttons and margins take the rest.
    return QFontMetrics(QApplication::font()).horizontalAdvance(title) + kTitleBarRoom;
}

int CGotoBarDialog::BarNumber() const
{
    return m_edit->value();
}

CGotoTimeDialog::CGotoTimeDialog(QWidget* parent) : QDialog(parent), m_edit(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("Goto Time"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Format: MM:SS"), this));
    layout->addWidget(m_edit);
    layout->addWidget(OkCancel(this));
}

void CGotoTimeDialog::accept()
{
    int ms = 0;
    if (!ParseGotoTime(m_edit->text(), &ms)) {
        UserReport().Warning(QString::fromLatin1(kBadTimeFormat));
        m_edit->setFocus();
        m_edit->selectAll();
        return;
    }
    m_msecs = ms;
    QDialog::accept();
}

CMidiImportDialog::CMidiImportDialog(QWidget* parent)
    : QDialog(parent),
      m_snap32(new QRadioButton(QStringLiteral("Snap to 32nd note"))),
      m_snap16(new QRadioButton(QStringLiteral("Snap to 16th note"))),
      m_triplets(new QCheckBox(QStringLiteral("Auto detect triplets"), this))
{
    setWindowTitle(QStringLiteral("Midi Import Options"));
    // The choices of the last import.
    m_snap = MidiImportOptions().m_snapTo32nd ? 1 : 0;
    m_detectTriplets = MidiImportOptions().m_detectTriplets ? 1 : 0;
    auto* group = new QGroupBox(QStringLiteral("Snap resolution"), this);
    auto* g = new QVBoxLayout(group);
    g->addWidget(m_snap32);
    g->addWidget(m_snap16);
    m_snap32->setChecked(m_snap == 1);
    m_snap16->setChecked(m_snap != 1);
    m_triplets->setChecked(m_detectTriplets != 0);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(m_triplets);
    layout->addWidget(OkCancel(this));
}

void CMidiImportDialog::accept()
{
    m_snap = m_snap32->isChecked() ? 1 : 0;
    m_detectTriplets = m_triplets->isChecked() ? 1 : 0;
    QDialog::accept();
}

namespace {
struct SHeaderField
{
    int index;
    const char* label;
};
// The fields the dialog shows, in its order; the copyright (6) has none.
constexpr SHeaderField kHeaderFields[] = {
    {Header::Song, "Song:"},         {Header::Band, "Band/Artist:"},  {Header::Album, "Album:"},
    {Header::Year, "Year:"},         {Header::TrackNo, "Track No:"},  {Header::Duration, "Duration:"},
    {Header::MusicBy, "Music by:"},  {Header::LyricsBy, "Lyrics by:"},
};
}

CHeaderDialog::CHeaderDialog(CRondelDoc& doc, QWidget* parent)
    : QDialog(parent), m_audio(new QLineEdit(this)),
      m_threePart(new QCheckBox(QStringLiteral("Use 3 part counting in compound time measures"), this))
{
    setWindowTitle(QStringLiteral("Header"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    for (const SHeaderField& f : kHeaderFields) {
        m_fields[f.index] = new QLineEdit(doc.m_header[f.index], this);
        form->addRow(QString::fromLatin1(f.label), m_fields[f.index]);
    }
    // Players and their tabbers side by side; only the drummer's pair is kept in the song.
    auto* players = new QGridLayout;
    m_fields[Header::Drummer] = new QLineEdit(doc.m_header[Header::Drummer], this);
    m_fields[Header::Tabber] = new QLineEdit(doc.m_header[Header::Tabber], this);
    const char* roles[] = {"Drummer:", "Bassist:", "Guitarist:"};
    for (int row = 0; row < 3; ++row) {
        players->addWidget(new QLabel(QString::fromLatin1(roles[row]), this), row, 0);
        players->addWidget(row == 0 ? m_fields[Header::Drummer] : new QLineEdit(this), row, 1);
        players->addWidget(new QLabel(QStringLiteral("Tabber:"), this), row, 2);
        players->addWidget(row == 0 ? m_fields[Header::Tabber] : new QLineEdit(this), row, 3);
    }
    auto* audioRow = new QHBoxLayout;
    m_audio->setText(doc.m_audioFile);
    auto* browse = new QPushButton(QStringLiteral("Browse audio file"), this);
    connect(browse, &QPushButton::clicked, this, &CHeaderDialog::OnBrowseAudio);
    audioRow->addWidget(new QLabel(QStringLiteral("Audio file:"), this));
    audioRow->addWidget(m_audio, 1);
    audioRow->addWidget(browse);
    m_threePart->setChecked(doc.m_bThreePartCounting != 0);
    layout->addLayout(form);
    layout->addLayout(players);
    layout->addLayout(audioRow);
    layout->addWidget(m_threePart);
    layout->addWidget(OkCancel(this));
}

QLineEdit* CHeaderDialog::Field(int headerIndex) const
{
    return headerIndex >= 0 && headerIndex < 11 ? m_fields[headerIndex] : nullptr;
}

void CHeaderDialog::OnBrowseAudio()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Audio file"), m_audio->text(),
                                                      QStringLiteral("Audio Files (*.wav *.mp3)"));
    if (!path.isEmpty())
        m_audio->setText(path);
}

bool CHeaderDialog::ApplyTo(CRondelDoc& doc) const
{
    for (int i = 0; i < 11; ++i)
        if (m_fields[i])
            doc.m_header[i] = m_fields[i]->text();
    doc.m_bThreePartCounting = m_threePart->isChecked() ? 1 : 0;
    const bool audioChanged = doc.m_audioFile != m_audio->text();
    doc.m_audioFile = m_audio->text();
    return audioChanged;
}
