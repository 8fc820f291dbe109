#include "transportbar.h"

#include <QLayout>
#include <QIcon>
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
// The play tempo box: 0 (shown empty) leaves the song's own tempi; any other tempo is at
// least kMinPlayTempo, so one step up from empty gives a tempo that still plays.
class CPlayTempoBox : public QSpinBox
{
public:
    using QSpinBox::QSpinBox;
    void stepBy(int steps) override
    {
        const int v = value();
        if (steps > 0 && v == 0)
            setValue(CTransportBar::kMinPlayTempo + steps - 1);
        else if (steps < 0 && v + steps < CTransportBar::kMinPlayTempo)
            setValue(0);
        else
            QSpinBox::stepBy(steps);
    }

protected:
    QValidator::State validate(QString& text, int& pos) const override
    {
        const QValidator::State state = QSpinBox::validate(text, pos);
        bool ok = false;
        const int v = text.trimmed().toInt(&ok);
        if (state == QValidator::Acceptable && ok && v > 0 && v < CTransportBar::kMinPlayTempo)
            return QValidator::Intermediate; // on the way to a longer number
        return state;
    }
    void fixup(QString& text) const override
    {
        bool ok = false;
        const int v = text.trimmed().toInt(&ok);
        if (ok && v > 0 && v < CTransportBar::kMinPlayTempo)
            text = QString::number(CTransportBar::kMinPlayTempo);
        else
            QSpinBox::fixup(text);
    }
};

// Lays its widgets out left to right and wraps onto a further row when the window is too
// narrow, so that the transport never dictates the window's width.
class CWrapLayout : public QLayout
{
public:
    explicit CWrapLayout(QWidget* parent) : QLayout(parent) {}
    ~CWrapLayout() override
    {
        while (QLayoutItem* item = takeAt(0))
            delete item;
    }
    void addItem(QLayoutItem* item) override { m_items.push_back(item); }
    int count() const override { return int(m_items.size()); }
    QLayoutItem* itemAt(int i) const override { return i >= 0 && i < count() ? m_items[size_t(i)] : nullptr; }
    QLayoutItem* takeAt(int i) override
    {
        if (i < 0 || i >= count())
            return nullptr;
        QLayoutItem* item = m_items[size_t(i)];
        m_items.erase(m_items.begin() + i);
        return item;
    }
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return Arrange(QRect(0, 0, width, 0), false); }
    void setGeometry(const QRect& r) override
    {
        QLayout::setGeometry(r);
        Arrange(r, true);
    }
    QSize sizeHint() const override
    {
        // One row when there is room for it.
        QSize size;
        for (QLayoutItem* item : m_items) {
            const QSize hint = item->sizeHint();
            size.rwidth() += hint.width() + spacing();
            size.setHeight(std::max(size.height(), hint.height()));
        }
        const QMargins m = contentsMargins();
        return size + QSize(m.left() + m.right(), m.top() + m.bottom());
    }
    QSize minimumSize() const override
    {
        QSize size;
        for (QLayoutItem* item : m_items)
            size = size.expandedTo(item->minimumSize());
        const QMargins m = contentsMargins();
        return size + QSize(m.left() + m.right(), m.top() + m.bottom());
    }

private:
    int Arrange(const QRect& rect, bool place) const
    {
        const QRect area = rect.marginsRemoved(contentsMargins());
        int x = area.x();
        int y = area.y();
        int rowHeight = 0;
        for (QLayoutItem* item : m_items) {
            const QSize hint = item->sizeHint();
            if (x + hint.width() > area.right() + 1 && x > area.x()) {
                x = area.x();
                y += rowHeight + spacing();
                rowHeight = 0;
            }
            if (place)
                item->setGeometry(QRect(QPoint(x, y), hint));
            x += hint.width() + spacing();
            rowHeight = std::max(rowHeight, hint.height());
        }
        return y + rowHeight - rect.y() + contentsMargins().bottom();
    }

    std::vector<QLayoutItem*> m_items;
};

// A caption beside a field that has none of its own.
QLabel* Caption(QWidget* parent, const QString& text, QWidget* buddy)
{
    auto* l = new QLabel(text, parent);
    l->setBuddy(buddy);
    return l;
}

// Icons from the desktop theme, shown beside the captions when the theme has them.
const char* ThemeIconOf(const char* caption)
{
    static const std::pair<const char*, const char*> kIcons[] = {
        {"PLAY", "media-playback-start"}, {"MPLAY", "media-skip-forward"}, {"LOOP", "media-playlist-repeat"},
        {"STOP", "media-playback-stop"},  {"DTEMPO", "edit-undo"},         {"ATEMPO", "media-seek-forward"},
        {"SCOPE", "audio-x-generic"},     {"PLUS", "zoom-in"},             {"MINUS", "zoom-out"},
        {"CLICK", "audio-volume-high"},
    };
    for (const auto& [name, icon] : kIcons)
        if (qstrcmp(name, caption) == 0)
            return icon;
    return nullptr;
}

void SetThemeIcon(QToolButton* b, const char* caption)
{
    const char* name = ThemeIconOf(caption);
    const QIcon icon = name ? QIcon::fromTheme(QString::fromLatin1(name)) : QIcon();
    if (icon.isNull())
        return;
    b->setIcon(icon);
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
}

QToolButton* MakeButton(QWidget* parent, const char* caption, const char* tip = nullptr)
{
    auto* b = new QToolButton(parent);
    b->setText(QString::fromLatin1(caption));
    SetThemeIcon(b, caption);
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
      m_click(MakeButton(this, "CLICK", "Practice click on every beat (count-in: Play menu)")),
      m_plus(new CDoubleClickButton(this)),
      m_minus(new CDoubleClickButton(this)),
      m_defaultTempo(new QLineEdit(this)),
      m_currentTempo(new CPlayTempoBox(this)),
      m_fader(new QSlider(Qt::Horizontal, this)),
      m_sync(new QSpinBox(this))
{
    m_plus->setText(QStringLiteral("PLUS"));
    m_plus->setObjectName(QStringLiteral("PLUS"));
    m_plus->setToolTip(QStringLiteral("Zoom in to wave view (magnify)"));
    m_minus->setText(QStringLiteral("MINUS"));
    m_minus->setObjectName(QStringLiteral("MINUS"));
    m_minus->setToolTip(QStringLiteral("Zoom out of wave view (wide angle)"));
    SetThemeIcon(m_plus, "PLUS");
    SetThemeIcon(m_minus, "MINUS");
    m_scope->setCheckable(true);
    m_click->setCheckable(true);

    m_defaultTempo->setValidator(new QIntValidator(1, 999, m_defaultTempo));
    m_defaultTempo->setMaximumWidth(48);
    m_defaultTempo->setToolTip(QStringLiteral("Modify default tempo (BPM)"));
    m_defaultTempo->setText(QStringLiteral("120"));
    m_defaultTempo->setPlaceholderText(QStringLiteral("Song tempo"));
    m_defaultTempo->setAccessibleName(QStringLiteral("Song tempo"));
    m_currentTempo->setAccessibleName(QStringLiteral("Play tempo"));
    m_sync->setAccessibleName(QStringLiteral("Sync (1/100 s)"));
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

    auto* row = new CWrapLayout(this);
    row->setSpacing(6);
    row->setContentsMargins(4, 2, 4, 2);
    for (QWidget* w : {static_cast<QWidget*>(m_play), static_cast<QWidget*>(m_mplay), static_cast<QWidget*>(m_loop),
                       static_cast<QWidget*>(m_stop)})
        row->addWidget(w);
    row->addWidget(m_click);
    row->addWidget(Caption(this, QStringLiteral("Song tempo"), m_defaultTempo));
    row->addWidget(m_defaultTempo);
    row->addWidget(Caption(this, QStringLiteral("Play tempo"), m_currentTempo));
    row->addWidget(m_currentTempo);
    row->addWidget(m_dtempo);
    row->addWidget(m_atempo);
    row->addWidget(new QLabel(QStringLiteral("Audio"), this));
    row->addWidget(m_fader);
    row->addWidget(new QLabel(QStringLiteral("Midi"), this));
    row->addWidget(m_scope);
    row->addWidget(m_plus);
    row->addWidget(m_minus);
    row->addWidget(Caption(this, QStringLiteral("Sync (1/100 s)"), m_sync));
    row->addWidget(m_sync);

    connect(m_play, &QToolButton::clicked, this, &CTransportBar::Play);
    connect(m_mplay, &QToolButton::clicked, this, &CTransportBar::MeasurePlay);
    connect(m_loop, &QToolButton::clicked, this, &CTransportBar::Loop);
    connect(m_stop, &QToolButton::clicked, this, &CTransportBar::Stop);
    connect(m_dtempo, &QToolButton::clicked, this, &CTransportBar::DefaultTempoClicked);
    connect(m_atempo, &QToolButton::clicked, this, &CTransportBar::AutoTempo);
    connect(m_scope, &QToolButton::clicked, this, &CTransportBar::ToggleWaveView);
    connect(m_click, &QToolButton::toggled, this, &CTransportBar::ClickToggled);
    connect(m_plus, &QToolButton::clicked, this, &CTransportBar::ZoomIn);
    connect(m_minus, &QToolButton::clicked, this, &CTransportBar::ZoomOut);
    connect(m_plus, &CDoubleClickButton::doubleClicked, this, &CTransportBar::ZoomMax);
    connect(m_minus, &CDoubleClickButton::doubleClicked, this, &CTransportBar::ZoomMin);
    connect(m_currentTempo, &QSpinBox::valueChanged, this, &CTransportBar::CurrentTempoChanged);
    connect(m_fader, &QSlider::sliderReleased, this, [this] { emit FaderReleased(m_fader->value()); });
    connect(m_sync, &QSpinBox::valueChanged, this, &CTransportBar::SyncChanged);
}

void CTransportBar::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    // The tool bar around the transport knows nothing of wrapping: ask it for the rows'
    // height.
    const int rows = layout()->heightForWidth(width());
    if (rows > 0 && rows != minimumHeight())
        setMinimumHeight(rows);
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

void CTransportBar::SetClickOn(bool on)
{
    const QSignalBlocker block(m_click);
    m_click->setChecked(on);
}
