// Moving the host rows and options between the settings store and the window's controls, at the start,
// at the end and a few seconds after every change.
#include "engine/PingRun.h"
#include "monitor/LogEntry.h"
#include "ui/SettingsAutosave.h"
#include "ui/SettingsStore.h"
#include "ui/SpinEdit.h"
#include "ui/Tevro_u.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>
#include <cstdio>

namespace {

// The four spin edits of a row, in the order they are read and written.
struct SpinSetting {
    const char* pattern;
    int defaultValue;
    tevro::SpinEdit* TSlotRow::*control;
};
constexpr SpinSetting kSpinSettings[] = {
    {"TimeOut_%1", 1000, &TSlotRow::TimeOut},
    {"DataSize_%1", 32, &TSlotRow::DataSize},
    {"TTL_%1", 32, &TSlotRow::TTL},
    {"Count_%1", 3, &TSlotRow::Count},
};

QString SlotValue(const char* pattern, int slot) {
    return QString::fromLatin1(pattern).arg(slot, 2, 10, QLatin1Char('0'));
}

} // namespace

bool TF_Tevro::LoadSettings(QString& error) {
    tevro::SettingsStore store;
    // Slots go 3, 2, 1: with all rows active, the Active clicks and the Graph flags leave the lowest
    // slot whose stored flag is set as the graphed one. Every read gives a value (a default for one
    // that cannot be used), so one bad value never keeps the others from loading.
    for (int slot = kSlotCount; slot >= 1; --slot) {
        const TSlotRow& row = Row(slot);
        bool flag = false;
        store.ReadFlag(SlotValue("Active_%1", slot), false, flag);
        row.Active->setChecked(flag); // raises Active_Click when it changes
        QString text;
        store.ReadText(SlotValue("Url_%1", slot), QString(), text);
        row.Url->setText(text);
        store.ReadFlag(SlotValue("Graph_%1", slot), true, flag);
        SetGraphChecked(slot, flag);
        for (const SpinSetting& setting : kSpinSettings) {
            int value = 0;
            store.ReadInteger(SlotValue(setting.pattern, slot), setting.defaultValue, value);
            (row.*setting.control)->setValue(value); // clamps to the control's range
        }
    }
    const std::pair<const char*, QAction*> filters[] = {{"Add_SOCKET_ERROR", Add_SOCKET_ERROR},
                                                        {"Add_PING_FAILED", Add_PING_FAILED},
                                                        {"Add_PING_SUCCESS", Add_PING_SUCCESS}};
    for (const auto& [name, item] : filters) {
        bool checked = true;
        store.ReadFlag(QString::fromLatin1(name), true, checked);
        item->setChecked(checked);
    }
    int minutes = 1;
    store.ReadInteger(QStringLiteral("PingEvery"), 1, minutes);
    SpinEdit_Intervall->setValue(minutes);
    bool alert = false;
    store.ReadFlag(QStringLiteral("AlertEnabled"), false, alert);
    SB_Alert->setChecked(alert); // no click: loading opens no alert window
    LoadHostStateSettings(store);
    LoadMetricsSettings(store);
    bool tracePath = true;
    store.ReadFlag(QStringLiteral("TracePath"), true, tracePath);
    SetTracePathEnabled(tracePath);
    error = store.LoadReport();
    // From here on a change is the user's, not the load's.
    WatchSettingChanges();
    return error.isEmpty();
}

bool TF_Tevro::SaveSettings(QString& error) {
    // This write takes in whatever a pending one would have written.
    if (m_autosave != nullptr)
        m_autosave->Cancel();
    tevro::SettingsStore store;
    for (int slot = kSlotCount; slot >= 1 && store.Ok(); --slot) {
        const TSlotRow& row = Row(slot);
        store.WriteFlag(SlotValue("Active_%1", slot), row.Active->isChecked());
        store.WriteText(SlotValue("Url_%1", slot), row.Url->text());
        store.WriteFlag(SlotValue("Graph_%1", slot), row.Graph->isChecked());
        for (const SpinSetting& setting : kSpinSettings)
            store.WriteInteger(SlotValue(setting.pattern, slot), (row.*setting.control)->value());
    }
    store.WriteFlag(QStringLiteral("Add_SOCKET_ERROR"), Add_SOCKET_ERROR->isChecked());
    store.WriteFlag(QStringLiteral("Add_PING_FAILED"), Add_PING_FAILED->isChecked());
    store.WriteFlag(QStringLiteral("Add_PING_SUCCESS"), Add_PING_SUCCESS->isChecked());
    store.WriteInteger(QStringLiteral("PingEvery"), SpinEdit_Intervall->value());
    store.WriteFlag(QStringLiteral("AlertEnabled"), SB_Alert->isChecked());
    SaveHostStateSettings(store);
    SaveMetricsSettings(store);
    store.WriteFlag(QStringLiteral("TracePath"), TracePathEnabled());
    store.Close();
    error = store.ErrorText();
    return store.Ok();
}

tevro::SettingsAutosave* TF_Tevro::Autosave() {
    if (m_autosave != nullptr)
        return m_autosave;
    m_autosave = new tevro::SettingsAutosave(this);
    // Connected first, so the windows made later write after this one.
    connect(m_autosave, &tevro::SettingsAutosave::Save, this, [this] {
        QString error;
        if (!SaveSettings(error))
            m_autosave->Fail(error);
    });
    // No box: it would come unasked, seconds after the change. The write at the end still shows one.
    connect(m_autosave, &tevro::SettingsAutosave::Failed, this, [this](const QString& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        AddLogEntry(
            tevro::ViewEntry(PING_NONE, -1,
                             QStringLiteral("The settings could not be saved:\r\n\t") + error +
                                 QStringLiteral("\r\n\tThey are tried again after the next change and when "
                                                "Tevro ends"),
                             Now()));
    });
    return m_autosave;
}

void TF_Tevro::WatchSettingChanges() {
    tevro::SettingsAutosave* autosave = Autosave();
    for (const TSlotRow& row : m_rows) {
        autosave->Watch(row.Active, &QCheckBox::toggled);
        autosave->Watch(row.Url, &QLineEdit::textChanged);
        autosave->Watch(row.Graph, &QRadioButton::toggled);
        for (const SpinSetting& setting : kSpinSettings)
            autosave->Watch(row.*setting.control, &QSpinBox::valueChanged);
    }
    for (const QAction* filter : {Add_SOCKET_ERROR, Add_PING_FAILED, Add_PING_SUCCESS})
        autosave->Watch(filter, &QAction::toggled);
    autosave->Watch(SpinEdit_Intervall, &QSpinBox::valueChanged);
    autosave->Watch(SB_Alert, &QToolButton::toggled);
}
