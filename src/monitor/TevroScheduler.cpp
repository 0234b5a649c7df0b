// The ping scheduler of the main window: the cycle timer, the chain over the active slots, the Active boxes.
#include "ui/Gauge.h"
#include "ui/SpinEdit.h"
#include "ui/Tevro_u.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

void TF_Tevro::Timer1Timer(QObject* sender) {
    if (sender != nullptr) {
        --Timer1Tag;
        Gauge1->SetProgress(Timer1Tag);
        if (Timer1Tag > 0)
            return;
    }
    const QDateTime now = Now();
    const QString pattern = QStringLiteral("dd.MM.yy, hh:mm");
    Label3->setText(
        QStringLiteral("Current ping startet at %1. Next ping scheduled at %2.")
            .arg(now.toString(pattern), now.addSecs(60LL * SpinEdit_Intervall->value()).toString(pattern)));
    NextSlot = 1;
    PingNext();
    Timer1Tag = SpinEdit_Intervall->value() * 12;
    Gauge1->SetProgress(Timer1Tag);
}

void TF_Tevro::PingNext() {
    // Inactive slots are passed over; the chain waits for the first slot that is active.
    while (NextSlot >= 1 && NextSlot <= kSlotCount) {
        const int slot = NextSlot;
        const bool active = StartPing(slot);
        NextSlot = slot == kSlotCount ? 0 : slot + 1;
        if (active)
            break;
    }
}

bool TF_Tevro::StartPing(int slot) {
    return Row(slot).Active->isChecked();
}

void TF_Tevro::Active_Click(int slot) {
    EnableSlotRow(slot, true);
    SelectSingleGraph();
    const TSlotRow& row = Row(slot);
    if (!row.Active->isChecked())
        SetStatusPicture(slot, QStringLiteral("Bitmap_None"));
    else if (isVisible() && row.Url->text().trimmed().isEmpty())
        row.Url->setFocus();
}
