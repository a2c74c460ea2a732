#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include "apps/common/About.h"
#include "apps/common/Application.h"
#include "apps/common/TraceWindow.h"
#include "tests/support/FormFit.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RunLoop.h"

namespace {

const QColor kNavy(0x00, 0x00, 0x80);
const QColor kRed(0xFF, 0x00, 0x00);

class AppCommon : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureQtTestApp("VoltTCP Echo Server"); }
};

void SendEnter(QWidget* widget)
{
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(widget, &enter);
}

void SendMove(QWidget* widget)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), QPointF(2, 2), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

TEST_F(AppCommon, AboutBoxShowsTheProgramTitleAndComesBackTheSame)
{
    TfrmAbout about;
    about.ShowAbout();
    EXPECT_TRUE(about.isVisible());
    EXPECT_EQ(about.windowTitle(), "About VoltTCP");
    EXPECT_EQ(about.findChild<QLabel*>("lblTitle")->text(), "VoltTCP Echo Server");
    EXPECT_TRUE(about.findChild<QLabel*>("lblLine3")->text().contains("VoltTCP"));
    auto* ok = about.findChild<QPushButton*>("btnOK");
    EXPECT_TRUE(ok->isDefault());
    ok->click();
    EXPECT_FALSE(about.isVisible());
    about.ShowAbout();
    EXPECT_TRUE(about.isVisible());
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&about, &enter);
    EXPECT_FALSE(about.isVisible());
}

TEST_F(AppCommon, AboutBoxCutsNoProgramsTitle)
{
    TfrmAbout about;
    for (const char* title :
         {"VoltTCP Echo Server", "VoltTCP SNMP Agent", "VoltTCP REXEC Sample", "VoltTCP TCP Client",
          "VoltTCP Telnet - Vt320 Sample", "VoltTCP FTP Client Sample", "VoltTCP POP3 Sample"}) {
        QApplication::setApplicationDisplayName(title);
        about.ShowAbout();
        EXPECT_THAT(TextsCutAtMinimumSize(about), testing::IsEmpty()) << title;
        about.hide();
    }
    QApplication::setApplicationDisplayName("VoltTCP Echo Server");
}

TEST_F(AppCommon, LinkTurnsRedUnderTheMouseAndNavyAgainOverPanelOrForm)
{
    TfrmAbout about;
    std::vector<QUrl> opened;
    about.SetUrlOpener([&](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    about.show();
    auto* link = about.findChild<QLabel*>("lblWWW");
    auto* panel = about.findChild<QWidget*>("pnlLogo");
    ASSERT_NE(link, nullptr);
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(about.LinkColor(), kNavy);

    for (QWidget* backTo : {panel, static_cast<QWidget*>(&about)}) {
        SendEnter(link);
        EXPECT_EQ(about.LinkColor(), kRed);
        EXPECT_EQ(link->palette().color(QPalette::WindowText), kRed);
        SendMove(backTo);
        EXPECT_EQ(about.LinkColor(), kNavy) << backTo->objectName().toStdString();
    }

    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(link, &release);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], TfrmAbout::HomePage());
    EXPECT_TRUE(TfrmAbout::HomePage().toString().contains("volttcp"));
}

TEST_F(AppCommon, TraceWindowKeepsLinesAndReportsAUserClose)
{
    CTraceWindow trace;
    int closes = 0;
    trace.onClose = [&] { ++closes; };
    trace.SetTitle("Connected to 127.0.0.1");
    trace.AppendLine("first");
    trace.AppendLine("second");
    EXPECT_EQ(trace.LineCount(), 2);
    auto* text = trace.Window()->findChild<QPlainTextEdit*>("mmoTrace");
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(text->toPlainText(), "first\nsecond");
    EXPECT_EQ(trace.Window()->windowTitle(), "Connected to 127.0.0.1");
    trace.Clear();
    EXPECT_EQ(trace.LineCount(), 0);

    trace.ShowMinimized();
    EXPECT_TRUE(trace.Window()->isVisible());
    trace.Window()->close();
    // The close is reported after the event, and the window stays for the library to drop.
    EXPECT_EQ(closes, 0);
    ASSERT_TRUE(RunUntil([&] { return closes == 1; }));
    EXPECT_TRUE(trace.Window()->isVisible());
}

TEST_F(AppCommon, ClosingTheMainWindowEndsTheRunWhileOtherWindowsAreOpen)
{
    QWidget mainForm;
    CTraceWindow trace;
    trace.ShowMinimized();
    QWidget dialog;
    dialog.show();
    QTimer::singleShot(20, &mainForm, [&] { mainForm.close(); });
    QTimer::singleShot(5000, [] { QApplication::exit(99); });  // the fault: the run never ends
    EXPECT_EQ(CApplication::Run(mainForm), 0);
    EXPECT_TRUE(trace.Window()->isVisible());

    // A form that refuses the close keeps the run going.
    struct SRefusing : QWidget {
        void closeEvent(QCloseEvent* event) override { event->ignore(); }
    } refusing;
    QTimer::singleShot(20, &refusing, [&] { refusing.close(); });
    QTimer::singleShot(300, [] { QApplication::exit(7); });
    EXPECT_EQ(CApplication::Run(refusing), 7);
    EXPECT_TRUE(refusing.isVisible());
}

}  // namespace
