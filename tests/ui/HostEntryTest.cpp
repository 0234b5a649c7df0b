// Host entry in the main window: prefixes removed on leaving an edit, and the "?" lookup over a
// scripted socket library and resolver, with the real message flow around it.
#include "GatedResolver.h"
#include "support/QtPrinters.h"
#include "support/TempSettings.h"
#include "ui/Tevro_u.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <arpa/inet.h>
#include <deque>
#include <gtest/gtest.h>

using namespace tevro;
using namespace tevro::testing;

namespace {

struct Box {
    QString text;
    MessageKind kind;
    QMessageBox::StandardButtons buttons;
    bool centred;
};

class HostEntry : public ::testing::Test {
protected:
    void SetUp() override {
        library->grant = {1, 1};
        resolver->answers.names["seven.test"] = Ip("10.0.0.7");
        resolver->answers.reverse["10.0.0.7"] = "seven.test";
        resolver->open = true;
        TevroEnvironment env;
        env.logFileName = settings.Folder() + QStringLiteral("/tevro.log");
        env.arguments = {QStringLiteral("tevro")};
        env.messageBox = [this](const QString& text, MessageKind kind, QMessageBox::StandardButtons buttons,
                                bool centred) {
            boxes.push_back({text, kind, buttons, centred});
            if (replies.empty())
                return QMessageBox::Ok;
            const QMessageBox::StandardButton reply = replies.front();
            replies.pop_front();
            return reply;
        };
        w = std::make_unique<TF_Tevro>(std::move(env));
        w->SetLookupServices(library, resolver);
        w->Row(1).Active->setChecked(true);
        boxes.clear(); // start-up boxes, if any
    }

    // Clicks row 1's "?" for text and waits for the box that answers it.
    const Box& LookUp(const QString& text) {
        w->Row(1).Url->setText(text);
        const size_t before = boxes.size();
        w->Row(1).UrlLookup->click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return boxes.size() > before; }, 5000)) << text.toStdString();
        static const Box none{};
        return boxes.size() > before ? boxes.back() : none;
    }

    tevro::test::TempSettings settings;
    std::shared_ptr<FakeSocketLibrary> library = std::make_shared<FakeSocketLibrary>();
    std::shared_ptr<GatedResolver> resolver = std::make_shared<GatedResolver>();
    std::vector<Box> boxes;
    std::deque<QMessageBox::StandardButton> replies;
    std::unique_ptr<TF_Tevro> w;
};

const QString kQuestionButtons = QStringLiteral("Yes|No");

TEST_F(HostEntry, LeavingAnEditRemovesEachPrefixOnceInTableOrder) {
    const struct {
        QString text, left;
        QStringList warned;
    } cases[] = {
        {QStringLiteral("http://host/"), QStringLiteral("host/"), {QStringLiteral("http://")}},
        {QStringLiteral("ftp://a http://b"),
         QStringLiteral("a b"),
         {QStringLiteral("http://"), QStringLiteral("ftp://")}},
        {QStringLiteral("http://http://h"), QStringLiteral("http://h"), {QStringLiteral("http://")}},
        {QStringLiteral("HTTP://h https://h"), QStringLiteral("HTTP://h https://h"), {}},
        {QStringLiteral("x.test/telnet://gopher://news://mail://"),
         QStringLiteral("x.test/"),
         {QStringLiteral("mail://"), QStringLiteral("news://"), QStringLiteral("gopher://"),
          QStringLiteral("telnet://")}},
    };
    for (const auto& c : cases) {
        boxes.clear();
        w->Row(2).Url->setText(c.text);
        w->Url_Exit(2);
        EXPECT_EQ(w->Row(2).Url->text(), c.left);
        ASSERT_EQ(boxes.size(), static_cast<size_t>(c.warned.size())) << c.text.toStdString();
        for (qsizetype i = 0; i < c.warned.size(); ++i) {
            EXPECT_EQ(boxes[static_cast<size_t>(i)].text,
                      QStringLiteral("** WARNING **\r\rSuppling a protocol (\"") + c.warned[i] +
                          QStringLiteral("\") is neither necessary nor supported."));
            EXPECT_EQ(boxes[static_cast<size_t>(i)].kind, MessageKind::Warning);
        }
    }
}

TEST_F(HostEntry, PrefixGoesWhenTheFocusLeavesByKeyOrByClickingTheLookup) {
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QLineEdit* edit = w->Row(1).Url;
    edit->setFocus();
    edit->setText(QStringLiteral("http://localhost/"));
    QTest::keyClick(edit, Qt::Key_Tab);
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit->text() == QStringLiteral("localhost/"); }, 5000));
    EXPECT_EQ(boxes.size(), 1u);

    // A mouse press on "?" takes the focus: the prefix goes first, then the click looks the rest up.
    boxes.clear();
    edit->setFocus();
    edit->setText(QStringLiteral("http://seven.test"));
    QTest::mouseClick(w->Row(1).UrlLookup, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.size() == 2; }, 5000));
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("(\"http://\")")));
    EXPECT_TRUE(boxes[1].text.startsWith(QStringLiteral("Domain name\t: <seven.test>")))
        << boxes[1].text.toStdString();
}

TEST_F(HostEntry, LookupMessagesWordForWord) {
    const QString ask = QStringLiteral("\r\rWould you like to replace the ");
    const struct {
        QString host;
        QString text;
        MessageKind kind;
        bool question;
    } cases[] = {
        {QStringLiteral("seven.test"),
         QStringLiteral("Domain name\t: <seven.test>\rIP address\t: <10.0.0.7>") + ask +
             QStringLiteral("domain name with it's IP address?"),
         MessageKind::Information, true},
        {QStringLiteral("10.0.0.7"),
         QStringLiteral("Domain name\t: <seven.test>\rIP address\t: <10.0.0.7>") + ask +
             QStringLiteral("IP address with it's domain name?"),
         MessageKind::Information, true},
        {QStringLiteral("10.0.0.9"),
         QStringLiteral(
             "Domain name\t: <reverse lookup failed>\rIP address\t: <10.0.0.9>\r\rThe requested call "
             "failed."),
         MessageKind::Error, false},
        // Blanks and control characters around the text are not looked up, as they are not pinged.
        {QStringLiteral(" 10.0.0.7\t"),
         QStringLiteral("Domain name\t: <seven.test>\rIP address\t: <10.0.0.7>") + ask +
             QStringLiteral("IP address with it's domain name?"),
         MessageKind::Information, true},
        {QStringLiteral("nowhere.test "),
         QStringLiteral("nowhere.test\r\rGetHostByName() DNS lookup failed or invalid IP. Status: -2"),
         MessageKind::Error, false},
    };
    for (const auto& c : cases) {
        const Box& box = LookUp(c.host);
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.kind, c.kind) << c.host.toStdString();
        EXPECT_TRUE(box.centred);
        EXPECT_EQ(box.buttons, c.question ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok);
        EXPECT_EQ(w->Row(1).Url->text(), c.host) << "No and OK change nothing";
        EXPECT_TRUE(w->Row(1).UrlLookup->isEnabled());
    }
    EXPECT_EQ(library->startups.load(), 5);
    EXPECT_EQ(library->cleanups.load(), 5);

    library->grant = {2, 1};
    EXPECT_EQ(
        LookUp(QStringLiteral("seven.test")).text,
        QStringLiteral("WSock32.dll: **Couldn't initialize**\r\rThe IP stack seems not to be configured "
                       "properly"));
    EXPECT_EQ(library->cleanups.load(), 6);
    library->fail = true;
    EXPECT_TRUE(LookUp(QStringLiteral("seven.test")).text.startsWith(QStringLiteral("WSock32.dll")));
    EXPECT_EQ(library->cleanups.load(), 6) << "a start that failed is not shut down";

    const Box& empty = LookUp(QStringLiteral(" \t\x01"));
    EXPECT_EQ(empty.text, QStringLiteral("No data available!"));
    EXPECT_EQ(empty.kind, MessageKind::Error);
    EXPECT_TRUE(empty.centred);
    EXPECT_EQ(library->startups.load(), 6) << "no start for an empty text";
    EXPECT_EQ(library->cleanups.load(), 6);
}

TEST_F(HostEntry, YesReplacesTheTextAndKeepsRunUsable) {
    replies = {QMessageBox::Yes};
    LookUp(QStringLiteral("seven.test"));
    EXPECT_EQ(w->Row(1).Url->text(), QStringLiteral("10.0.0.7"));
    EXPECT_TRUE(w->B_RunStop->isEnabled());
    replies = {QMessageBox::Yes};
    LookUp(QStringLiteral("10.0.0.7"));
    EXPECT_EQ(w->Row(1).Url->text(), QStringLiteral("seven.test"));
}

TEST_F(HostEntry, RowIsBusyWhileItsLookupWaitsAndANewerTextIsKeptUnlessConfirmed) {
    w->show();
    resolver->open = false;
    QPushButton* button = w->Row(1).UrlLookup;
    for (QMessageBox::StandardButton confirm : {QMessageBox::No, QMessageBox::Yes}) {
        boxes.clear();
        w->Row(1).Url->setText(QStringLiteral("seven.test"));
        button->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return resolver->waiting.load() == 1; }, 5000));
        EXPECT_FALSE(button->isEnabled());
        const auto* cover = w->findChild<QWidget*>(QStringLiteral("Url_01_lookup_busy"));
        ASSERT_NE(cover, nullptr);
        EXPECT_TRUE(cover->isVisible());
        EXPECT_EQ(cover->geometry(), QRect(button->mapTo(w.get(), QPoint(0, 0)), button->size()));
        EXPECT_EQ(cover->cursor().shape(), Qt::BusyCursor);
        EXPECT_TRUE(w->LookupRunning(1));

        w->Row(1).Url->setText(QStringLiteral("typed.meanwhile"));
        replies = {QMessageBox::Yes, confirm};
        resolver->open = true;
        ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.size() == 2; }, 5000));
        EXPECT_TRUE(boxes[1].text.contains(QStringLiteral("Replace <typed.meanwhile> with <10.0.0.7>?")))
            << boxes[1].text.toStdString();
        EXPECT_EQ(w->Row(1).Url->text(), confirm == QMessageBox::Yes ? QStringLiteral("10.0.0.7")
                                                                     : QStringLiteral("typed.meanwhile"));
        EXPECT_TRUE(button->isEnabled());
        EXPECT_FALSE(cover->isVisible());
        resolver->open = false;
    }
}

} // namespace
