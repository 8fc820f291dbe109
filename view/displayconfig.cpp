#include "displayconfig.h"

#include "catalogue.h"
#include "settings.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace {
const QString kDisplayKey = QStringLiteral("display");

// A small scanner that behaves like sscanf's "%f", "%d" and literal characters on the
// stored text, independent of the process locale.
class CScanner
{
public:
    explicit CScanner(const QString& text) : m_text(text) {}

    bool Literal(QChar c)
    {
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    bool Float(double* out)
    {
        SkipBlanks();
        const qsizetype start = m_pos;
        qsizetype p = m_pos;
        if (p < m_text.size() && (m_text[p] == u'+' || m_text[p] == u'-'))
            ++p;
        const qsizetype digitsFrom = p;
        while (p < m_text.size() && m_text[p].isDigit())
            ++p;
        bool any = p > digitsFrom;
        if (p < m_text.size() && m_text[p] == u'.') {
            ++p;
            const qsizetype frac = p;
            while (p < m_text.size() && m_text[p].isDigit())
                ++p;
            any = any || p > frac;
        }
        if (!any)
            return false;
        if (p < m_text.size() && (m_text[p] == u'e' || m_text[p] == u'E')) {
            qsizetype e = p + 1;
            if (e < m_text.size() && (m_text[e] == u'+' || m_text[e] == u'-'))
                ++e;
            const qsizetype expDigits = e;
            while (e < m_text.size() && m_text[e].isDigit())
                ++e;
            if (e > expDigits)
                p = e;
        }
        bool ok = false;
        const double v = QLocale::c().toDouble(QStringView(m_text).mid(start, p - start), &ok);
        if (!ok)
            return false;
        *out = v;
        m_pos = p;
        return true;
    }

    bool Int(int* out)
    {
        SkipBlanks();
        qsizetype p = m_pos;
        if (p < m_text.size() && (m_text[p] == u'+' || m_text[p] == u'-'))
            ++p;
        const qsizetype digitsFrom = p;
        while (p < m_text.size() && m_text[p].isDigit() && p - digitsFrom < 9)
            ++p;
        if (p == digitsFrom)
            return false;
        *out = QStringView(m_text).mid(m_pos, p - m_pos).toInt();
        m_pos = p;
        return true;
    }

private:
    void SkipBlanks()
    {
        while (m_pos < m_text.size() && m_text[m_pos].isSpace())
            ++m_pos;
    }

    const QString& m_text;
    qsizetype m_pos = 0;
};

// The dialog's margin range; a page keeps a positive height and width with any of them.
constexpr double kMinMargin = 0.2;
constexpr double kMaxMargin = 2.0;
constexpr int kMinPrintSize = 1000;
constexpr int kMaxPrintSize = 3000;
}

CDisplayConfig::CDisplayConfig()
{
    m_flags = {true, true, true, true, false, false, true, false, true, false, false, false};
}

SRowSettings CDisplayConfig::Rows(EDisplayMode mode) const
{
    switch (mode) {
    case EDisplayMode::Edit:
        return {m_flags[EditStandard], m_flags[EditTab], m_flags[EditImport], true};
    case EDisplayMode::Playback:
        return {m_flags[PlaybackStandard], m_flags[PlaybackTab], m_flags[PlaybackImport], m_flags[PlaybackCount]};
    case EDisplayMode::Print:
        break;
    }
    return {m_flags[PrintStandard], m_flags[PrintTab], m_flags[PrintImport], m_flags[PrintCount]};
}

void CDisplayConfig::SetRows(EDisplayMode mode, const SRowSettings& rows)
{
    switch (mode) {
    case EDisplayMode::Edit:
        m_flags[EditStandard] = rows.standard;
        m_flags[EditTab] = rows.tab;
        m_flags[EditImport] = rows.import;
        break;
    case EDisplayMode::Playback:
        m_flags[PlaybackStandard] = rows.standard;
        m_flags[PlaybackTab] = rows.tab;
        m_flags[PlaybackImport] = rows.import;
        m_flags[PlaybackCount] = rows.count;
        break;
    case EDisplayMode::Print:
        m_flags[PrintStandard] = rows.standard;
        m_flags[PrintTab] = rows.tab;
        m_flags[PrintImport] = rows.import;
        m_flags[PrintCount] = rows.count;
        break;
    }
}

QString CDisplayConfig::ToDisplayString() const
{
    QString s;
    for (bool f : m_flags)
        s += f ? u'1' : u'0';
    auto f1 = [](double v) { return QString::number(v, 'f', 1); };
    s += QStringLiteral(",%1,%2,%3,%4,%5,%6")
             .arg(f1(m_marginLeft), f1(m_marginTop), f1(m_marginBottom), f1(m_marginRight))
             .arg(m_printSize)
             .arg(m_playTime ? 1 : 0);
    return s;
}

void CDisplayConfig::ApplyDisplayString(const QString& value)
{
    // The stored length counted its terminating zero: 13 bytes are 12 characters.
    if (value.size() + 1 >= 13) {
        for (int i = 0; i < FlagCount; ++i)
            m_flags[size_t(i)] = value[i].unicode() - u'0' != 0;
    }
    if (value.size() + 1 < 17) {
        EnsureStandardOrTab();
        return;
    }
    const QString rest = value.mid(13);
    CScanner scan(rest);
    double margins[4] = {m_marginLeft, m_marginTop, m_marginBottom, m_marginRight};
    int fields = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && !scan.Literal(u','))
            break;
        double v = 0;
        if (!scan.Float(&v))
            break;
        margins[i] = v;
        ++fields;
    }
    int printSize = m_printSize;
    int playTime = m_playTime ? 1 : 0;
    if (fields == 4 && scan.Literal(u',') && scan.Int(&printSize)) {
        ++fields;
        if (scan.Literal(u',') && scan.Int(&playTime))
            ++fields;
    }
    double* targets[4] = {&m_marginLeft, &m_marginTop, &m_marginBottom, &m_marginRight};
    // Stored values are held to what the dialog can set: margins of several inches on a
    // small print size left pages of no height.
    for (int i = 0; i < std::min(fields, 4); ++i)
        if (std::isfinite(margins[i]))
            *targets[i] = std::clamp(std::round(margins[i] * 10.0) / 10.0, kMinMargin, kMaxMargin);
    if (fields >= 5)
        m_printSize = std::clamp(printSize, kMinPrintSize, kMaxPrintSize);
    if (fields >= 6)
        m_playTime = playTime != 0;
    // A mode that shows neither notation would draw systems with no staff and no tab.
    EnsureStandardOrTab();
}

void CDisplayConfig::LoadFromSettings()
{
    const QString stored = SettingsStore::Read(kDisplayKey);
    if (!stored.isEmpty())
        ApplyDisplayString(stored);
}

void CDisplayConfig::SaveToSettings() const
{
    SettingsStore::Write(kDisplayKey, ToDisplayString());
}

void CDisplayConfig::EnsureStandardOrTab()
{
    for (EDisplayMode mode : {EDisplayMode::Edit, EDisplayMode::Playback, EDisplayMode::Print}) {
        SRowSettings rows = Rows(mode);
        if (!rows.standard && !rows.tab) {
            rows.standard = true;
            SetRows(mode, rows);
        }
    }
}

double CDisplayConfig::SpinMargin(double inches, int direction)
{
    // Tenths, so that repeated clicks do not drift.
    int tenths = int(std::lround(inches * 10.0)) + (direction > 0 ? 1 : direction < 0 ? -1 : 0);
    tenths = std::clamp(tenths, 2, 20);
    return tenths / 10.0;
}

int CDisplayConfig::PrintSizeFromSlider(int slider)
{
    return (std::clamp(slider, 0, 100) + 50) * 20;
}

int CDisplayConfig::SliderFromPrintSize(int printSize)
{
    return std::clamp(printSize / 20 - 50, 0, 100);
}

CDisplayConfig& DisplayConfig()
{
    static CDisplayConfig config;
    return config;
}

static_assert(CShownTabRows::kRows == TabLines::kCount);

void CShownTabRows::Capture()
{
    for (int row = 0; row < kRows; ++row)
        m_rows[size_t(row)] = TabLines::IsShown(row);
    m_valid = true;
}

void CShownTabRows::Install() const
{
    if (!m_valid)
        return;
    for (int row = 0; row < kRows; ++row)
        TabLines::SetShown(row, m_rows[size_t(row)]);
}
