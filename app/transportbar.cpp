#include "transportbar.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>

void CDoubleClickButton::mouseDoubleClickEvent(QMouseEvent* e)
{
    QToolButton::mouseDoubleClickEvent(e);
    emit doubleClicked();
}

namespace {
QToolButton* MakeButton(QWidget* parent, const char* caption, const char* tip = nullptr)
{
    auto* b = new QToolButton(parent);
    b->setText(QString::fromLatin1(caption));
    b->setObjectName(QString::fromLatin1(caption));
    if (tip)
        b->setToolTip(QString::fromLatin1(tip));
    b->setMinimumWidth(52);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

// Idle, playing and paused looks of the start buttons.
const char* const kIdleStyle = "";
const char* const kPlayingStyle = "QToolButton { background: #3cb043; color: white; font-weight: bold; }";
const char* const kPausedStyle = "QToolButton { background: #e8c31c; color: black; font-weight: bold; }";
}

CTransportBar::CTransportBar(QWidget* parent)
    : QWidget(parent),
      m_play(MakeButton(this, "PLAY", "Play whole track or from the start marker ('p' key)")),
      m_mplay(MakeButton(this, "MPLAY", "Play one measure")),
      m_loop(MakeButton(this, "LOOP", "Play selection or whole track in an endless loop ('l' key)")),
      m_stop(MakeButton(this, "STOP", "Stop")),
      m_dtempo(MakeButton(this, "DTEMPO", "Back to the song tempo")),
      m_atempo(MakeButton(this, "ATEMPO", "Auto tempo")),
      m_scope(MakeButton(this, "SCOPE", "Toggle wave view on/off")),
      m_plus(new CDoubleClickButton(this)),
      m_minus(new CDoubleClickButton(this)),
      m_defaultTempo(new QLineEdit(this)),
      m_currentTempo(new QSpinBox(this)),
      m_fader(new QSlider(Qt::Horizontal, this)),
      m_sync(new QSpinBox(this))
{
    m_plus->setText(QStringLiteral("PLUS"));
    m_plus->setObjectName(QStringLiteral("PLUS"));
    m_plus->setToolTip(QStringLiteral("Zoom in to wave view (magnify)"));
    m_minus->setText(QStringLiteral("MINUS"));
    m_minus->setObjectName(QStringLiteral("MINUS"));
    m_minus->setToolTip(QStringLiteral("Zoom out of wave view (wide angle)"));
    m_scope->setCheckable(true);

    m_defaultTempo->setValidator(new QIntValidator(1, 999, m_defaultTempo));
    m_defaultTempo->setMaximumWidth(48);
    m_defaultTempo->setToolTip(QStringLiteral("Modify default tempo (BPM)"));
    m_defaultTempo->setText(QStringLiteral("120"));
    m_currentTempo->setRange(0, 999);
    m_currentTempo->setSpecialValueText(QStringLiteral(" "));
    m_currentTempo->setToolTip(QStringLiteral("Modify the current play tempo (BPM)"));
    m_fader->setRange(0, 100);
    m_fader->setTickInterval(50);
    m_fader->setTickPosition(QSlider::TicksBelow);
    m_fader->setValue(50);
    m_fader->setMaximumWidth(120);
    m_fader->setToolTip(QStringLiteral("Midi <--> Wave volume fader"));
    m_sync->setRange(0, 99999);
    m_sync->setToolTip(QStringLiteral("Edit audio start sync point in 100th/sec"));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    for (QWidget* w : {static_cast<QWidget*>(m_play), static_cast<QWidget*>(m_mplay), static_cast<QWidget*>(m_loop),
                       static_cast<QWidget*>(m_stop)})
        row->addWidget(w);
    row->addSpacing(10);
    row->addWidget(m_defaultTempo);
    row->addWidget(m_currentTempo);
    row->addWidget(m_dtempo);
    row->addWidget(m_atempo);
    row->addSpacing(10);
    row->addWidget(new QLabel(QStringLiteral("Audio"), this));
    row->addWidget(m_fader);
    row->addWidget(new QLabel(QStringLiteral("Midi"), this));
    row->addSpacing(10);
    row->addWidget(m_scope);
    row->addWidget(m_plus);
    row->addWidget(m_minus);
    row->addWidget(m_sync);
    row->addStretch(1);

    connect(m_play, &QToolButton::clicked, this, &CTransportBar::Play);
    connect(m_mplay, &QToolButton::clicked, this, &CTransportBar::MeasurePlay);
    connect(m_loop, &QToolButton::clicked, this, &CTransportBar::Loop);
    connect(m_stop, &QToolButton::clicked, this, &CTransportBar::Stop);
    connect(m_dtempo, &QToolButton::clicked, this, &CTransportBar::DefaultTempoClicked);
    connect(m_atempo, &QToolButton::clicked, this, &CTransportBar::AutoTempo);
    connect(m_scope, &QToolButton::clicked, this, &CTransportBar::ToggleWaveView);
    connect(m_plus, &QToolButton::clicked, this, &CTransportBar::ZoomIn);
    connect(m_minus, &QToolButton::clicked, this, &CTransportBar::ZoomOut);
    connect(m_plus, &CDoubleClickButton::doubleClicked, this, &CTransportBar::ZoomMax);
    connect(m_minus, &CDoubleClickButton::doubleClicked, this, &CTransportBar::ZoomMin);
    connect(m_currentTempo, &QSpinBox::valueChanged, this, &CTransportBar::CurrentTempoChanged);
    connect(m_fader, &QSlider::sliderReleased, this, [this] { emit FaderReleased(m_fader->value()); });
    connect(m_sync, &QSpinBox::valueChanged, this, &CTransportBar::SyncChanged);
}

void CTransportBar::SetPlayState(int state, int active)
{
    m_state = state;
    m_active = active;
    QToolButton* starters[] = {m_play, m_mplay, m_loop};
    for (int i = 0; i < 3; ++i) {
        const char* style = kIdleStyle;
        if (state == 1 && i == active)
            style = kPlayingStyle;
        else if (state == 2 && i == active)
            style = kPausedStyle;
        starters[i]->setStyleSheet(QString::fromLatin1(style));
        starters[i]->setProperty("look", state == 0 || i != active ? "idle" : state == 1 ? "playing" : "paused");
    }
}

void CTransportBar::ShowDefaultTempo(int bpm)
{
    m_defaultTempo->setText(QString::number(bpm));
}

int CTransportBar::DefaultTempo() const
{
    return m_defaultTempo->text().toInt();
}

void CTransportBar::SetCurrentTempo(int bpm)
{
    if (m_currentTempo->value() != bpm)
        m_currentTempo->setValue(bpm);
}

int CTransportBar::CurrentTempo() const
{
    return m_currentTempo->value();
}

void CTransportBar::SetSync(int hundredths)
{
    const QSignalBlocker block(m_sync);
    m_sync->setValue(hundredths);
}

int CTransportBar::Sync() const
{
    return m_sync->value();
}

int CTransportBar::FaderPos() const
{
    return m_fader->value();
}

void CTransportBar::SetWaveViewOn(bool on)
{
    m_scope->setChecked(on);
}
