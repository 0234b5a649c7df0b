// The alert window raised by failures of scripted pings, heard through a sound server of the test's own.
#include "monitor/ScriptedPingWorkers.h"
#include "support/SoundLab.h"
#include "support/WindowFixture.h"
#include "ui/Alert_u.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace tevro::test {
namespace {

const QString kOga = QStringLiteral("/usr/share/sounds/freedesktop/stereo/complete.oga");
// The built-in chime rings for 0.9 s; the test's tones are told from it by their shorter length.
constexpr qint64 kChimeMs = 650;

class AlertWindow : public WindowFixture {
protected:
    static void SetUpTestSuite() { s_lab = SoundLab::Start(&s_whyNoSound); }
    static void TearDownTestSuite() { s_lab.reset(); }

    void SetUp() override {
        // Default sound files are looked for in the working folder.
        m_oldFolder = QDir::currentPath();
        QDir::setCurrent(m_folder.path());
    }
    void TearDown() override { QDir::setCurrent(m_oldFolder); }

    // A recorder of the test's sound server, or null when there is none (the test then skips).
    std::unique_ptr<SoundRecorder> Recorder() {
        if (!s_lab)
            return nullptr;
        auto recorder = std::make_unique<SoundRecorder>(*s_lab);
        QString why;
        if (!recorder->Start(&why)) {
            s_whyNoSound = why;
            return nullptr;
        }
        return recorder;
    }

    std::unique_ptr<TF_Tevro> Window() {
        auto w = MakeWindow();
        w->SetPingWorkerFactory(&workers);
        w->move(100, 120);
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        return w;
    }

    // A failed ping of `host` in slot 1.
    void Fail(TF_Tevro& w, const QString& host) {
        w.Row(1).Active->setChecked(true);
        w.Row(1).Url->setText(host);
        w.Timer1Timer(nullptr);
        workers.Finish(workers.Started() - 1, ScriptedPingWorkers::Failure());
    }

    // A tone of the test's own as the configured sound.
    void UseTone(int toneMs, int silenceMs, bool yell, const QByteArray& moreSettings = {}) {
        const QString tone = m_folder.filePath(QStringLiteral("tone.wav"));
        ASSERT_TRUE(WriteToneWav(tone, toneMs, silenceMs));
        WriteSettings("snd_SoundFile=" + tone.toUtf8() + "\nsnd_YellUntilInterrupted=" + (yell ? "1" : "0") +
                      "\n" + moreSettings);
    }

    // What a failure makes heard within `ms` of its first sound.
    QVector<Burst> HearFailure(TF_Tevro& w, SoundRecorder& recorder, int ms) {
        const qint64 start = recorder.Now();
        Fail(w, QStringLiteral("host"));
        EXPECT_TRUE(recorder.WaitForBursts(start, 1, 20000)) << "nothing was heard";
        recorder.Record(ms);
        return recorder.Bursts(start, recorder.Now());
    }

    static TF_Alert* Alert(const TF_Tevro& w) { return qobject_cast<TF_Alert*>(w.AlertWindow()); }

    static void CloseAlert(TF_Tevro& w) {
        Alert(w)->Btn_Close->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Runs `inside` while the configuration dialog is open modally; the dialog is ended afterwards in
    // any case, so that a failed expectation cannot leave the test waiting for a user.
    void Configure(TF_Tevro& w, const std::function<void(TF_Alert&)>& inside) {
        QTimer::singleShot(0, &w, [&] {
            if (TF_Alert* alert = Alert(w)) {
                inside(*alert);
                if (Alert(w) != nullptr && Alert(w)->isVisible())
                    Alert(w)->done(QDialog::Rejected);
            }
        });
        w.SB_Alert->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(w.AlertWindow(), nullptr);
    }

    QString StoredValue(const char* name) const {
        return QSettings(settings.FileName(), QSettings::IniFormat)
            .value(QString::fromLatin1(name))
            .toString();
    }

    static std::unique_ptr<SoundLab> s_lab;
    static QString s_whyNoSound;
    ScriptedPingWorkers workers;
    QTemporaryDir m_folder;
    QString m_oldFolder;
};

std::unique_ptr<SoundLab> AlertWindow::s_lab;
QString AlertWindow::s_whyNoSound;

#define REQUIRE_SOUND(recorder)                                                                              \
    auto recorder = Recorder();                                                                              \
    if (!recorder)                                                                                           \
    GTEST_SKIP() << "no sound server of the test's own: " << s_whyNoSound.toStdString()

TEST_F(AlertWindow, AFailureIsSeenBesideTheWindowAndHeardOnce) {
    REQUIRE_SOUND(recorder);
    UseTone(300, 100, false);
    auto w = Window();

    const qint64 off = recorder->Now();
    Fail(*w, QStringLiteral("gateway"));
    EXPECT_EQ(w->AlertWindow(), nullptr) << "alerts are off";
    recorder->Record(500);
    EXPECT_TRUE(recorder->Bursts(off, recorder->Now()).isEmpty());

    w->SB_Alert->setChecked(true);
    const qint64 on = recorder->Now();
    Fail(*w, QStringLiteral("<b>gateway</b>"));
    TF_Alert* alert = Alert(*w);
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_EQ(alert->windowTitle(), QStringLiteral("Alert window / Alert status .."));
    EXPECT_EQ(alert->NoteBook_Alert->currentIndex(), TF_Alert::kAlertPage);
    EXPECT_EQ(alert->Label_AlertInfo->text(),
              QStringLiteral("Status for <<b>gateway</b>>:\nLast ping attempt failed."));
    EXPECT_EQ(alert->pos(), w->pos() + QPoint(8, 8));
    EXPECT_TRUE(alert->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(alert->testAttribute(Qt::WA_ShowWithoutActivating)) << "typing elsewhere must not close it";
    EXPECT_EQ(alert->focusWidget(), alert->Btn_Close);
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(alert->Btn_Close, &enter);
    EXPECT_EQ(w->Status_Bar->text(), QStringLiteral(" Close this window ..")) << "hints show in the main window";

    ASSERT_TRUE(recorder->WaitForBursts(on, 1, 20000)) << "nothing was heard";
    recorder->Record(1500);
    const QVector<Burst> bursts = recorder->Bursts(on, recorder->Now());
    ASSERT_EQ(bursts.size(), 1) << "once, then silence: " << Describe(bursts);
    EXPECT_GE(bursts[0].Length(), 200);
    EXPECT_LT(bursts[0].Length(), kChimeMs) << "the file, not the chime";
}

TEST_F(AlertWindow, YellingRepeatsUntilClosedAndASecondFailureChangesNothing) {
    REQUIRE_SOUND(recorder);
    UseTone(250, 250, true, "AlertEnabled=1\n");
    auto w = Window();

    const qint64 start = recorder->Now();
    Fail(*w, QStringLiteral("one"));
    TF_Alert* alert = Alert(*w);
    ASSERT_NE(alert, nullptr);
    ASSERT_TRUE(recorder->WaitForBursts(start, 3, 20000))
        << "heard " << Describe(recorder->Bursts(start, recorder->Now()));

    Fail(*w, QStringLiteral("two"));
    EXPECT_EQ(Alert(*w), alert);
    EXPECT_TRUE(alert->Label_AlertInfo->text().contains(QStringLiteral("<one>")));

    // Closed in the middle of a repetition.
    const auto heard = recorder->Bursts(start, recorder->Now() + 1000).size();
    ASSERT_TRUE(recorder->WaitForBursts(start, static_cast<int>(heard) + 1, 5000)) << "it stopped by itself";
    const qint64 closed = recorder->Now();
    CloseAlert(*w);
    EXPECT_EQ(w->AlertWindow(), nullptr);
    recorder->Record(1000);
    const QVector<Burst> after = recorder->Bursts(closed + 200, recorder->Now());
    EXPECT_TRUE(after.isEmpty()) << "still sounding " << after.value(0).start - closed << " ms after closing";
}

TEST_F(AlertWindow, TheChimeStandsInForAMissingOrUnplayableFileAndTheDefaultFileIsSavedForTheNext) {
    REQUIRE_SOUND(recorder);
    ASSERT_TRUE(QDir().mkpath(QStringLiteral("wav")));
    ASSERT_TRUE(WriteToneWav(QStringLiteral("wav/1.wav"), 300, 0));
    WriteSettings("snd_SoundFile=gone.wav\nAlertEnabled=1\n");
    auto w = Window();

    // The sound starts with the setting; showing the window then picks the default file.
    QVector<Burst> bursts = HearFailure(*w, *recorder, 1000);
    EXPECT_GT(bursts.value(0).Length(), kChimeMs) << Describe(bursts);
    EXPECT_EQ(Alert(*w)->Edit_SoundFile->text(), QStringLiteral("wav/1.wav"));
    CloseAlert(*w);
    EXPECT_EQ(StoredValue("snd_SoundFile"), QStringLiteral("wav/1.wav"));

    bursts = HearFailure(*w, *recorder, 800);
    EXPECT_LT(bursts.value(0).Length(), kChimeMs) << "still the chime: " << Describe(bursts);
    CloseAlert(*w);

    QFile text(QStringLiteral("notes.wav"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("This is no sound.\n");
    text.close();
    WriteSettings("snd_SoundFile=notes.wav\n");
    bursts = HearFailure(*w, *recorder, 1000);
    EXPECT_GT(bursts.value(0).Length(), kChimeMs) << Describe(bursts);
    CloseAlert(*w);

    // A sound of no length, repeated until closed, would be silence for ever.
    ASSERT_TRUE(WriteToneWav(QStringLiteral("empty.wav"), 0, 0));
    WriteSettings("snd_SoundFile=empty.wav\nsnd_YellUntilInterrupted=1\n");
    bursts = HearFailure(*w, *recorder, 1000);
    EXPECT_GT(bursts.value(0).Length(), kChimeMs) << Describe(bursts);
}

TEST_F(AlertWindow, TheAlertHasTheDesignSizeAndTheConfigurationRoomForEveryControl) {
    auto w = Window();
    TF_Alert alert(w.get());
    for (int mode : {0, 1, 0}) {
        alert.SetAlertMode(mode);
        const QWidget* page = alert.NoteBook_Alert->currentWidget();
        for (const QWidget* control : page->findChildren<QWidget*>())
            EXPECT_LE(control->mapTo(&alert, QPoint(0, control->height())).y(),
                      alert.NoteBook_Alert->height())
                << mode << " " << control->objectName().toStdString() << " reaches below the notebook";
        EXPECT_EQ(alert.Bevel_Close->y(), alert.NoteBook_Alert->height() + 7);
        EXPECT_EQ(alert.Btn_Close->geometry().bottom() + 1 + 4, alert.height());
    }
    EXPECT_EQ(alert.size(), QSize(232, 125)) << "the alert as designed, without the configuration's rows";
    EXPECT_EQ(alert.Btn_Close->geometry(), QRect(148, 96, 75, 25));
}

TEST_F(AlertWindow, TheConfigurationAsksBeforeClosingWithoutAUsableFile) {
    auto w = Window();
    Configure(*w, [&](TF_Alert& alert) {
        EXPECT_TRUE(alert.isModal());
        EXPECT_EQ(alert.windowTitle(), QStringLiteral("Alert window / Configure .."));
        EXPECT_EQ(alert.NoteBook_Alert->currentIndex(), TF_Alert::kConfigPage);
        const QString tip = alert.Label1->text();
        EXPECT_TRUE(tip.startsWith(QStringLiteral("Try browse '/")) && !tip.endsWith(QStringLiteral("/'")))
            << tip.toStdString();

        answer = QMessageBox::No;
        alert.Btn_Close->click();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text,
                  QStringLiteral("Warning!\r\rYou have not selected a sound file.\r\rContinue anyway?"));
        EXPECT_TRUE(boxes[0].centred);
        EXPECT_TRUE(alert.isVisible()) << "No keeps it open";

        alert.Edit_SoundFile->setText(QStringLiteral("gone.wav"));
        alert.CB_YellUntilInterrupted->setChecked(true);
        QTest::keyClick(&alert, Qt::Key_Escape);
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[1].text,
                  QStringLiteral("Warning!\r\rThe selected sound file does not exist.\r\rContinue anyway?"));
        EXPECT_TRUE(alert.isVisible());

        // A folder of that name is no sound file either.
        ASSERT_TRUE(QDir().mkpath(QStringLiteral("gone.wav")));
        alert.Btn_Close->click();
        ASSERT_EQ(boxes.size(), 3u);
        EXPECT_EQ(boxes[2].text, boxes[1].text);
        EXPECT_TRUE(alert.isVisible());

        answer = QMessageBox::Yes;
        alert.Btn_Close->click();
        EXPECT_FALSE(alert.isVisible());
    });
    EXPECT_EQ(StoredValue("snd_SoundFile"), QStringLiteral("gone.wav"));
    EXPECT_EQ(StoredValue("snd_YellUntilInterrupted"), QStringLiteral("1"));

    // Released, the button opens nothing.
    w->SB_Alert->click();
    EXPECT_EQ(w->AlertWindow(), nullptr);
}

TEST_F(AlertWindow, AnOggSoundChosenInTheBrowserIsHeard) {
    if (!QFileInfo::exists(kOga))
        GTEST_SKIP() << kOga.toStdString() << " is missing (package sound-theme-freedesktop)";
    auto w = Window();
    Configure(*w, [&](TF_Alert& alert) {
        QTimer::singleShot(0, &alert, [&] {
            auto* browser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(browser, nullptr);
            EXPECT_EQ(browser->windowTitle(), QStringLiteral("Select a sound file (*.wav) .."));
            EXPECT_EQ(browser->nameFilters(), TF_Alert::SoundFileFilters());
            browser->selectFile(kOga);
            static_cast<QDialog*>(browser)->accept(); // QFileDialog::accept checks the choice
        });
        alert.Btn_SoundFile->click();
        EXPECT_EQ(alert.Edit_SoundFile->text(), kOga);
        alert.Btn_Close->click();
    });
    EXPECT_TRUE(boxes.empty()) << "an existing file needs no question";

    REQUIRE_SOUND(recorder);
    EXPECT_FALSE(HearFailure(*w, *recorder, 0).isEmpty());
}

} // namespace
} // namespace tevro::test
