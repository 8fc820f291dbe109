#include "practiceclick.h"

#include "midi.h"
#include "midi_click.h"
#include "transportbar.h"

#include <QAction>
#include <QMenu>

void AddPracticeClickActions(QMenu* play, CTransportBar* transport, std::function<CRondelDoc*()> activeDoc)
{
    LoadClickOptions();
    QAction* click = play->addAction(QStringLiteral("Practice &Click"));
    click->setObjectName(QStringLiteral("PracticeClickAction"));
    click->setCheckable(true);
    click->setChecked(ClickOptions().m_click);
    QAction* countIn = play->addAction(QStringLiteral("C&ount-in"));
    countIn->setObjectName(QStringLiteral("CountInAction"));
    countIn->setCheckable(true);
    countIn->setChecked(ClickOptions().m_countIn);
    transport->SetClickOn(ClickOptions().m_click);

    const auto apply = [activeDoc] {
        SaveClickOptions();
        if (CRondelDoc* doc = activeDoc ? activeDoc() : nullptr)
            MidiOf(*doc).RefreshLookAhead();
    };
    QObject::connect(click, &QAction::toggled, play, [transport, apply](bool on) {
        ClickOptions().m_click = on;
        transport->SetClickOn(on);
        apply();
    });
    QObject::connect(transport, &CTransportBar::ClickToggled, click, &QAction::setChecked);
    QObject::connect(countIn, &QAction::toggled, play, [apply](bool on) {
        // Heard when playback next starts.
        ClickOptions().m_countIn = on;
        apply();
    });
}
