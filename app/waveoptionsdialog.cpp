#include "waveoptionsdialog.h"

#include "settings.h"
#include "wavexport.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QVBoxLayout>

CWaveOptionsDialog::CWaveOptionsDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Export Wave options"));
    const SWaveOptions options = SWaveOptions::FromSettings();
    auto* layout = new QVBoxLayout(this);
    m_normalise = new QCheckBox(QStringLiteral("&Normalise: raise the loudest peak to %1 dBFS").arg(kWavePeakDbfs, 0, 'f', 0), this);
    m_normalise->setToolTip(QStringLiteral("Without it the file keeps the synthesizer's own level, which is quiet"));
    m_normalise->setChecked(options.m_normalise);
    m_precise = new QCheckBox(QStringLiteral("&Precise timing (renders at twice the rate: slower)"), this);
    m_precise->setToolTip(QStringLiteral("Notes start within 0.36 ms of their time instead of 0.73 ms"));
    m_precise->setChecked(options.m_precise);
    layout->addWidget(m_normalise);
    layout->addWidget(m_precise);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void CWaveOptionsDialog::accept()
{
    SettingsStore::Write(QStringLiteral("wave_normalise"), m_normalise->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    SettingsStore::Write(QStringLiteral("wave_precise"), m_precise->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    QDialog::accept();
}
