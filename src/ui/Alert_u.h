// The alert window: in alert mode it names the failed host and plays the alert sound; in configuration
// mode it is the modal dialog that picks the sound file and the repeat option.
#pragma once

#include "monitor/WindowPorts.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace tevro {
class AlertSound;
class SpinEdit;
}

class TF_Alert final : public QDialog, public tevro::AlertControl {
    Q_OBJECT

public:
    static constexpr int kAlertPage = 0;
    static constexpr int kConfigPage = 1;

    // `owner` is the main window: the alert is placed beside it and asks its questions through it.
    explicit TF_Alert(QWidget* owner);
    ~TF_Alert() override;

    void SetAlertMode(int mode) override;
    // Shows `text` (unless empty) and starts the sound without waiting for it.
    void PlayAlertSound(const QString& text) override;
    void StopAlertSound();
    void LoadAlertSettings();
    void SaveAlertSettings();

    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    void FormDestroy();
    void Btn_SoundFileClick();
    void Btn_CloseClick();

    // The folder the tip suggests: the first `sounds` folder among `dataFolders` that exists, else
    // "/usr/share/sounds"; never with a trailing separator.
    static QString SoundFolder(const QStringList& dataFolders);
    // The open-file dialog's filters, in the order offered.
    static QStringList SoundFileFilters();

    QStackedWidget* NoteBook_Alert = nullptr;
    QWidget* p_Alert = nullptr;
    QWidget* p_Config = nullptr;
    QLabel* Label_AlertInfo = nullptr;
    QLabel* Label_SoundFile = nullptr;
    QLineEdit* Edit_SoundFile = nullptr;
    QPushButton* Btn_SoundFile = nullptr;
    QLabel* Label1 = nullptr;
    QCheckBox* CB_YellUntilInterrupted = nullptr;
    // When a host counts as down (and alerts) or up again, whether the desktop is told and whether the
    // path to a host that goes down is traced.
    tevro::SpinEdit* SE_AlertAfterFailures = nullptr;
    tevro::SpinEdit* SE_RecoverAfterSuccesses = nullptr;
    QCheckBox* CB_Notify = nullptr;
    QLineEdit* Edit_MetricsFile = nullptr; // the textfile for Prometheus; empty: none
    QPushButton* Btn_MetricsFile = nullptr;
    QCheckBox* CB_TracePath = nullptr;
    QFrame* Bevel_Close = nullptr;
    QPushButton* Btn_Close = nullptr;

public Q_SLOTS:
    // Escape, the title bar's close button and Btn_Close all end here, so each one asks first.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildAlertPage();
    void BuildConfigPage();
    void ReportStoreError(const QString& error);
    // Takes part in the main window's write a few seconds after a change.
    void WatchSettingChanges();

    tevro::AlertSound* m_sound = nullptr;
    bool m_firstShow = true;
};
