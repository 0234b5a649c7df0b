// The alert window's controls, its two modes, its settings and its sound.
#include "ui/Alert_u.h"
#include "monitor/HostStates.h"
#include "ui/SpinEdit.h"

#include "desktop/AlertSound.h"
#include "ui/Hints.h"
#include "ui/MessageBox.h"
#include "ui/MetricsFileField.h"
#include "ui/SettingsAutosave.h"
#include "ui/SettingsStore.h"
#include "ui/SpinEdit.h"
#include "ui/Tevro_u.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStackedWidget>
#include <QStandardPaths>
#include <algorithm>
#include <cstdio>

namespace {

// Everything below the notebook keeps its distance to the notebook's bottom edge, so a taller
// configuration page needs only kNoteBookHeight raised and its new rows added in BuildConfigPage. The
// alert page keeps the design's height, so the alert stays a small window beside the main window.
constexpr int kClientWidth = 232;
constexpr int kNoteBookHeight = 197;
constexpr int kAlertNoteBookHeight = 81;
constexpr int kClientHeight = kNoteBookHeight + 44;
const QRect kNoteBook(4, 0, 225, kNoteBookHeight);
const QRect kRule(16, kNoteBookHeight + 7, 201, 5);
const QRect kCloseButton(148, kNoteBookHeight + 15, 75, 25);

// The window, its rule and its button follow the notebook's height.
void FitToNoteBook(QWidget& window, QWidget& noteBook, QWidget& rule, QWidget& close, int height) {
    const int below = height - kNoteBookHeight;
    noteBook.setGeometry(kNoteBook.adjusted(0, 0, 0, below));
    rule.setGeometry(kRule.translated(0, below));
    close.setGeometry(kCloseButton.translated(0, below));
    window.setFixedSize(kClientWidth, kClientHeight + below);
}

const QColor kAlertBackground(255, 255, 216);

const QString kDefaultSoundFiles[] = {QStringLiteral("wav/1.wav"), QStringLiteral("1.wav")};

const QString kNoSoundFile =
    QStringLiteral("Warning!\r\rYou have not selected a sound file.\r\rContinue anyway?");
const QString kMissingSoundFile =
    QStringLiteral("Warning!\r\rThe selected sound file does not exist.\r\rContinue anyway?");

// Stores the two values of the alert's own; the error text, empty when they were stored.
QString StoreAlertSettings(const QString& soundFile, bool yell) {
    tevro::SettingsStore store;
    store.WriteText(QStringLiteral("snd_SoundFile"), soundFile);
    store.WriteFlag(QStringLiteral("snd_YellUntilInterrupted"), yell);
    store.Close();
    return store.ErrorText();
}

template <typename T> T* Named(T* widget, const QString& name, const QRect& design) {
    widget->setObjectName(name);
    widget->setGeometry(design);
    return widget;
}

} // namespace

TF_Alert::TF_Alert(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                         Qt::WindowStaysOnTopHint),
      m_sound(new tevro::AlertSound(this)) {
    setObjectName(QStringLiteral("F_Alert"));
    setAttribute(Qt::WA_DeleteOnClose);     // freed when closed, not merely hidden
    setAttribute(Qt::WA_WindowPropagation); // the main window's font, for which the pixel layout is made
    setFixedSize(kClientWidth, kClientHeight);

    NoteBook_Alert = Named(new QStackedWidget(this), QStringLiteral("NoteBook_Alert"), kNoteBook);
    BuildAlertPage();
    BuildConfigPage();

    Bevel_Close = Named(new QFrame(this), QStringLiteral("Bevel_Close"), kRule);
    Bevel_Close->setFrameShape(QFrame::HLine);
    Bevel_Close->setFrameShadow(QFrame::Sunken);
    Btn_Close =
        Named(new QPushButton(QStringLiteral("&Close"), this), QStringLiteral("Btn_Close"), kCloseButton);
    tevro::SetHint(Btn_Close, QStringLiteral("|Close this window"));
    Btn_Close->setAutoDefault(true);
    // Focus within the window from the start: when the user turns to the alert, Escape and Enter close it.
    Btn_Close->setFocus();

    connect(Btn_SoundFile, &QPushButton::clicked, this, &TF_Alert::Btn_SoundFileClick);
    connect(Btn_Close, &QPushButton::clicked, this, &TF_Alert::Btn_CloseClick);

    FormCreate();
}

TF_Alert::~TF_Alert() {
    FormDestroy();
}

void TF_Alert::BuildAlertPage() {
    p_Alert = new QWidget(NoteBook_Alert);
    p_Alert->setObjectName(QStringLiteral("p_Alert"));
    NoteBook_Alert->insertWidget(kAlertPage, p_Alert);

    Label_AlertInfo = Named(new QLabel(p_Alert), QStringLiteral("Label_AlertInfo"), QRect(8, 8, 209, 65));
    // Host texts are shown as typed, never read as markup.
    Label_AlertInfo->setTextFormat(Qt::PlainText);
    Label_AlertInfo->setAlignment(Qt::AlignCenter);
    Label_AlertInfo->setWordWrap(true);
    QFont font = Label_AlertInfo->font();
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial"),
                      QStringLiteral("Sans Serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(13);
    font.setBold(true);
    Label_AlertInfo->setFont(font);
    Label_AlertInfo->setAutoFillBackground(true);
    QPalette palette = Label_AlertInfo->palette();
    palette.setColor(QPalette::Window, kAlertBackground);
    palette.setColor(QPalette::WindowText, Qt::red);
    Label_AlertInfo->setPalette(palette);
}

void TF_Alert::BuildConfigPage() {
    p_Config = new QWidget(NoteBook_Alert);
    p_Config->setObjectName(QStringLiteral("p_Config"));
    NoteBook_Alert->insertWidget(kConfigPage, p_Config);

    Label_SoundFile = Named(new QLabel(QStringLiteral("Sound File:"), p_Config),
                            QStringLiteral("Label_SoundFile"), QRect(4, 4, 53, 13));
    Edit_SoundFile = Named(new QLineEdit(p_Config), QStringLiteral("Edit_SoundFile"), QRect(4, 20, 197, 21));
    Label_SoundFile->setBuddy(Edit_SoundFile);
    Label_SoundFile->adjustSize(); // labels fit their text, whatever the desktop's font
    Btn_SoundFile = Named(new QPushButton(QStringLiteral("?"), p_Config), QStringLiteral("Btn_SoundFile"),
                          QRect(204, 20, 17, 21));
    Btn_SoundFile->setAutoDefault(false);
    tevro::SetHint(Btn_SoundFile, QStringLiteral("|Browse for a sound file"));
    Label1 = Named(new QLabel(p_Config), QStringLiteral("Label1"), QRect(4, 44, 32, 13));
    QPalette grey = Label1->palette();
    grey.setColor(QPalette::WindowText, Qt::gray);
    Label1->setPalette(grey);
    CB_YellUntilInterrupted = Named(new QCheckBox(QStringLiteral("Yell Until Interrupted .."), p_Config),
                                    QStringLiteral("CB_YellUntilInterrupted"), QRect(8, 60, 121, 17));
    CB_YellUntilInterrupted->resize(std::max(121, CB_YellUntilInterrupted->sizeHint().width()), 17);

    // The thresholds and the desktop notifications, below the sound's own controls.
    const auto row = [this](const QString& name, const QString& before, const QString& after, int top,
                            const QString& hint) {
        auto* label = new QLabel(before, p_Config);
        label->move(8, top + 3);
        label->adjustSize();
        auto* spin = Named(new tevro::SpinEdit(tevro::kMinThreshold, tevro::kMaxThreshold, 1, 1, p_Config),
                           name, QRect(84, top, 41, 21));
        auto* unit = new QLabel(after, p_Config);
        unit->move(130, top + 3);
        unit->adjustSize();
        label->setBuddy(spin);
        tevro::SetHint(spin, hint);
        return spin;
    };
    SE_AlertAfterFailures = row(QStringLiteral("SE_AlertAfterFailures"), QStringLiteral("&Down after"),
                                QStringLiteral("failed rounds"), 84,
                                QStringLiteral("|Failed rounds in a row before the alert and the notification"));
    SE_RecoverAfterSuccesses = row(QStringLiteral("SE_RecoverAfterSuccesses"), QStringLiteral("&Back after"),
                                   QStringLiteral("good rounds"), 108,
                                   QStringLiteral("|Successful rounds in a row before a host counts as back"));
    CB_Notify = Named(new QCheckBox(QStringLiteral("&Notify the desktop: down and back"), p_Config),
                      QStringLiteral("CB_Notify"), QRect(8, 132, 209, 17));
    CB_Notify->resize(std::max(209, CB_Notify->sizeHint().width()), 17);
    tevro::SetHint(CB_Notify, QStringLiteral("|Desktop notifications when a host stops answering and when it is back"));
    CB_TracePath = Named(new QCheckBox(QStringLiteral("&Trace the path when a host goes down"), p_Config),
                         QStringLiteral("CB_TracePath"), QRect(8, 152, 209, 17));
    CB_TracePath->resize(std::max(209, CB_TracePath->sizeHint().width()), 17);
    tevro::SetHint(
        CB_TracePath,
        QStringLiteral("|Probes the routers on the way, once per outage; the path goes to the log"));
    const tevro::MetricsFileField metrics = tevro::AddMetricsFileField(p_Config, 174);
    Edit_MetricsFile = metrics.edit;
    Btn_MetricsFile = metrics.browse;
}

void TF_Alert::FormCreate() {
    if (const QWidget* owner = parentWidget())
        move(owner->pos() + QPoint(8, 8)); // pos(): the frame's corner, as the user sees it
    LoadAlertSettings();
    if (const auto* main = qobject_cast<const TF_Tevro*>(parentWidget())) {
        SE_AlertAfterFailures->setValue(main->AlertAfterFailures());
        SE_RecoverAfterSuccesses->setValue(main->RecoverAfterSuccesses());
        CB_Notify->setChecked(main->NotifyEnabled());
        Edit_MetricsFile->setText(main->MetricsFile());
        CB_TracePath->setChecked(main->TracePathEnabled());
    }
    Label1->setText(
        QStringLiteral("Try browse '%1'")
            .arg(SoundFolder(QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))));
    Label1->adjustSize(); // grows with its text
    Label1->resize(Label1->width(), 13);
    WatchSettingChanges();
}

void TF_Alert::WatchSettingChanges() {
    auto* main = qobject_cast<TF_Tevro*>(parentWidget());
    if (main == nullptr)
        return;
    // Kept a few seconds after a change, as the main window's settings are. The thresholds pass to the
    // main window at once, which writes them with its own.
    tevro::SettingsAutosave* autosave = main->Autosave();
    autosave->Watch(Edit_SoundFile, &QLineEdit::textChanged);
    autosave->Watch(CB_YellUntilInterrupted, &QCheckBox::toggled);
    const auto thresholds = [this, main, autosave] {
        main->SetHostStateSettings(SE_AlertAfterFailures->value(), SE_RecoverAfterSuccesses->value(),
                                   CB_Notify->isChecked());
        autosave->Changed();
    };
    connect(SE_AlertAfterFailures, &QSpinBox::valueChanged, this, thresholds);
    connect(SE_RecoverAfterSuccesses, &QSpinBox::valueChanged, this, thresholds);
    connect(CB_Notify, &QCheckBox::toggled, this, thresholds);
    connect(autosave, &tevro::SettingsAutosave::Save, this, [this, autosave] {
        const QString error =
            StoreAlertSettings(Edit_SoundFile->text(), CB_YellUntilInterrupted->isChecked());
        if (!error.isEmpty())
            autosave->Fail(error);
    });
}

QString TF_Alert::SoundFolder(const QStringList& dataFolders) {
    for (const QString& folder : dataFolders) {
        const QString sounds = QDir::cleanPath(folder + QStringLiteral("/sounds"));
        if (QFileInfo(sounds).isDir())
            return sounds;
    }
    return QStringLiteral("/usr/share/sounds");
}

QStringList TF_Alert::SoundFileFilters() {
    // "*" rather than "*.*": here a file needs no extension to be a file. The desktop's own sound
    // theme is Ogg Vorbis, hence the third entry.
    return {QStringLiteral("Sound Files (*.wav)"), QStringLiteral("All Files (*)"),
            QStringLiteral("Ogg Vorbis Sound Files (*.oga *.ogg)")};
}

void TF_Alert::SetAlertMode(int mode) {
    FitToNoteBook(*this, *NoteBook_Alert, *Bevel_Close, *Btn_Close,
                  mode == 0 ? kAlertNoteBookHeight : kNoteBookHeight);
    if (mode == 0) {
        setWindowTitle(QStringLiteral("Alert window / Alert status .."));
        NoteBook_Alert->setCurrentIndex(kAlertPage);
        // Raised by a failure, not by the user: a keystroke meant for another program must not land
        // here and close the alert unseen.
        setAttribute(Qt::WA_ShowWithoutActivating);
    } else {
        setWindowTitle(QStringLiteral("Alert window / Configure .."));
        NoteBook_Alert->setCurrentIndex(kConfigPage);
        setAttribute(Qt::WA_ShowWithoutActivating, false);
    }
}

void TF_Alert::LoadAlertSettings() {
    tevro::SettingsStore store;
    QString file;
    if (store.ReadText(QStringLiteral("snd_SoundFile"), QString(), file))
        Edit_SoundFile->setText(file);
    bool yell = false;
    if (store.ReadFlag(QStringLiteral("snd_YellUntilInterrupted"), false, yell))
        CB_YellUntilInterrupted->setChecked(yell);
    if (!store.Ok())
        ReportStoreError(store.ErrorText());
}

void TF_Alert::SaveAlertSettings() {
    const QString error = StoreAlertSettings(Edit_SoundFile->text(), CB_YellUntilInterrupted->isChecked());
    if (!error.isEmpty())
        ReportStoreError(error);
}

void TF_Alert::ReportStoreError(const QString& error) {
    // While the main window is being destroyed it is no TF_Tevro any more and can show nothing.
    if (auto* main = qobject_cast<TF_Tevro*>(parentWidget())) {
        main->ShowMessageBox(QStringLiteral("** ERROR **\r\r") + error, tevro::MessageKind::Error);
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(error));
}

void TF_Alert::PlayAlertSound(const QString& text) {
    if (!text.isEmpty())
        Label_AlertInfo->setText(tevro::DialogText(text));
    m_sound->Play(Edit_SoundFile->text(), CB_YellUntilInterrupted->isChecked());
}

void TF_Alert::StopAlertSound() {
    m_sound->Stop();
}

void TF_Alert::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous() && m_firstShow) {
        m_firstShow = false;
        FormShow();
    }
}

void TF_Alert::FormShow() {
    if (tevro::AlertSound::IsSoundFile(Edit_SoundFile->text()))
        return;
    // Relative names, found in the working folder.
    for (const QString& name : kDefaultSoundFiles) {
        if (tevro::AlertSound::IsSoundFile(name)) {
            Edit_SoundFile->setText(name);
            return;
        }
    }
}

bool TF_Alert::FormCloseQuery() {
    if (NoteBook_Alert->currentIndex() != kConfigPage)
        return true;
    // A logout or a signal ends the program: a question now would hold the end until someone clicks.
    if (const auto* main = qobject_cast<const TF_Tevro*>(parentWidget()); main != nullptr && main->IsEnding())
        return true;
    const QString file = Edit_SoundFile->text();
    QString question;
    if (file.trimmed().isEmpty())
        question = kNoSoundFile;
    else if (!tevro::AlertSound::IsSoundFile(file)) // a folder of that name is no sound either
        question = kMissingSoundFile;
    else
        return true;
    const QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No;
    if (auto* main = qobject_cast<TF_Tevro*>(parentWidget()))
        return main->ShowCenteredMessageBox(question, tevro::MessageKind::Confirmation, buttons) ==
               QMessageBox::Yes;
    return QMessageBox::question(this, tevro::MessageKindTitle(tevro::MessageKind::Confirmation),
                                 tevro::DialogText(question), buttons) == QMessageBox::Yes;
}

void TF_Alert::reject() {
    if (FormCloseQuery())
        done(QDialog::Accepted);
}

void TF_Alert::FormDestroy() {
    StopAlertSound(); // closing an alert ends a repeating sound
    SaveAlertSettings();
    // The main window keeps these and stores them with its own settings.
    if (auto* main = qobject_cast<TF_Tevro*>(parentWidget())) {
        main->SetHostStateSettings(SE_AlertAfterFailures->value(), SE_RecoverAfterSuccesses->value(),
                                   CB_Notify->isChecked());
        main->SetMetricsFile(Edit_MetricsFile->text());
        main->SetTracePathEnabled(CB_TracePath->isChecked());
    }
    // The main window's reference is a guarded pointer: it clears itself as this window goes.
}

void TF_Alert::Btn_SoundFileClick() {
    QFileDialog dialog(this, QStringLiteral("Select a sound file (*.wav) .."));
    dialog.setObjectName(QStringLiteral("BrowseFor_SoundFile"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(SoundFileFilters());
    dialog.setDefaultSuffix(QStringLiteral("wav"));
    const QString current = Edit_SoundFile->text();
    if (!current.isEmpty()) {
        const QFileInfo preset(current);
        dialog.setDirectory(preset.absolutePath());
        dialog.selectFile(preset.absoluteFilePath());
        // The preset stays visible under the filter that shows its type.
        const QString suffix = preset.suffix().toLower();
        if (suffix == QStringLiteral("oga") || suffix == QStringLiteral("ogg"))
            dialog.selectNameFilter(SoundFileFilters().at(2));
        else if (suffix != QStringLiteral("wav"))
            dialog.selectNameFilter(SoundFileFilters().at(1));
    } else {
        dialog.setDirectory(QDir::currentPath());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    Edit_SoundFile->setText(QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath());
}

void TF_Alert::Btn_CloseClick() {
    reject();
}
