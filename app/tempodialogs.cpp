#include "tempodialogs.h"

#include "midi.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int kMinBpm = 50;
constexpr int kMaxBpm = 200;
}

CBpmCounter::CBpmCounter(QWidget* parent) : QDialog(parent), m_display(new QLineEdit(this)), m_start(new QPushButton(QStringLiteral("Start"), this))
{
    setWindowTitle(QStringLiteral("BPM (Tempo) Counter"));
    m_display->setReadOnly(true);
    m_display->setFocusPolicy(Qt::NoFocus);
    QFont big = m_display->font();
    big.setPointSize(big.pointSize() * 2);
    m_display->setFont(big);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Press Start, then tap any key in time with the music.\nEscape ends."), this));
    layout->addWidget(m_display);
    auto* buttons = new QHBoxLayout;
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    buttons->addWidget(m_start);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(m_start, &QPushButton::clicked, this, &CBpmCounter::StartCounting);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

CBpmCounter::~CBpmCounter()
{
    EndCounting();
}

void CBpmCounter::StartCounting()
{
    m_taps = CTapTempo();
    m_display->clear();
    m_counting = true;
    // Taps want a quiet player; keys go to the dialog, not to the button.
    CMidi::SetStopRequest(true);
    m_start->setEnabled(false);
    setFocus();
}

void CBpmCounter::EndCounting()
{
    if (m_counting)
        CMidi::SetStopRequest(false);
    m_counting = false;
    m_start->setEnabled(true);
}

void CBpmCounter::Tap(int64_t msecs)
{
    const int bpm = m_taps.Tap(msecs);
    if (bpm > 0)
        m_display->setText(QString::number(bpm));
}

QString CBpmCounter::Reading() const
{
    return m_display->text();
}

void CBpmCounter::done(int result)
{
    EndCounting();
    QDialog::done(result);
}

void CBpmCounter::keyPressEvent(QKeyEvent* e)
{
    if (!m_counting) {
        QDialog::keyPressEvent(e);
        return;
    }
    if (e->key() == Qt::Key_Escape) {
        accept();
        return;
    }
    if (!e->isAutoRepeat())
        Tap(int64_t(e->timestamp()));
}

CAutoTempoDialog::CAutoTempoDialog(const SAutoTempo& settings, std::function<int()> defaultTempo, QWidget* parent)
    : QDialog(parent), m_startBpm(new QSpinBox(this)), m_endBpm(new QSpinBox(this)), m_hold(new QSlider(Qt::Horizontal, this)),
      m_ramp(new QSlider(Qt::Horizontal, this)), m_default(new QPushButton(QStringLiteral("Default"), this)),
      m_defaultTempo(std::move(defaultTempo))
{
    setWindowTitle(QStringLiteral("Auto tempo"));
    m_startBpm->setRange(kMinBpm, kMaxBpm);
    m_endBpm->setRange(kMinBpm, kMaxBpm);
    m_hold->setRange(0, 60);
    m_hold->setTickInterval(10);
    m_hold->setTickPosition(QSlider::TicksBelow);
    m_ramp->setRange(0, 300);
    m_ramp->setTickInterval(30);
    m_ramp->setTickPosition(QSlider::TicksBelow);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Starting BPM"), m_startBpm);
    auto* endRow = new QHBoxLayout;
    endRow->addWidget(m_endBpm, 1);
    endRow->addWidget(m_default);
    form->addRow(QStringLiteral("Ending BPM"), endRow);
    form->addRow(QStringLiteral("Hold secs"), m_hold);
    form->addRow(QStringLiteral("Ramp secs"), m_ramp);
    auto* presets = new QGroupBox(QStringLiteral("Presets"), this);
    auto* presetRow = new QHBoxLayout(presets);
    for (int i = 1; i <= 5; ++i) {
        auto* b = new QPushButton(QString::number(i), presets);
        connect(b, &QPushButton::clicked, this, [this, i] { ApplyPreset(i); });
        presetRow->addWidget(b);
    }
    form->addRow(presets);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(box);
    connect(m_default, &QPushButton::clicked, this, &CAutoTempoDialog::OnDefault);
    Show(settings);
}

void CAutoTempoDialog::Show(const SAutoTempo& s)
{
    m_startBpm->setValue(s.m_startBpm);
    m_endBpm->setValue(s.m_endBpm);
    m_hold->setValue(60 - std::clamp(s.m_holdSecs, 0, 60));
    m_ramp->setValue(300 - std::clamp(s.m_rampSecs, 0, 300));
}

SAutoTempo CAutoTempoDialog::Settings() const
{
    SAutoTempo s;
    s.m_startBpm = m_startBpm->value();
    s.m_endBpm = m_endBpm->value();
    s.m_holdSecs = 60 - m_hold->value();
    s.m_rampSecs = 300 - m_ramp->value();
    return s;
}

void CAutoTempoDialog::ApplyPreset(int preset)
{
    SAutoTempo s = Settings();
    if (AutoTempoPreset(preset, &s))
        Show(s);
}

void CAutoTempoDialog::OnDefault()
{
    // A default tempo box that is empty or out of range leaves Ending BPM as it is.
    const int bpm = m_defaultTempo ? m_defaultTempo() : 0;
    if (bpm >= kMinBpm && bpm <= kMaxBpm)
        m_endBpm->setValue(bpm);
    else if (bpm > kMaxBpm)
        m_endBpm->setValue(kMaxBpm);
    else if (bpm > 0)
        m_endBpm->setValue(kMinBpm);
}
