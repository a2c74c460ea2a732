#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "apps/common/About.h"
#include "apps/common/FormColors.h"
#include "apps/loopserver/Info.h"
#include "apps/loopserver/MainForm.h"
#include "apps/loopserver/Server.h"
#include "tests/support/FormFit.h"
#include "tests/support/Loopback.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RunLoop.h"
#include "tests/support/ScriptedPeer.h"

namespace {

class LoopServerForm : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureQtTestApp("VoltTCP Echo Server"); }

    std::unique_ptr<TfrmMain> NewForm(unsigned short port = 0)
    {
        auto form = std::make_unique<TfrmMain>(m_about, m_info, port);
        form->show();
        return form;
    }

    template <typename T>
    static T* Find(QWidget& form, const char* name)
    {
        T* child = form.findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    static QString Text(QWidget& form, const char* name)
    {
        if (auto* label = form.findChild<QLabel*>(name)) {
            return label->text();
        }
        if (auto* edit = form.findChild<QLineEdit*>(name)) {
            return edit->text();
        }
        if (auto* button = form.findChild<QPushButton*>(name)) {
            return button->text();
        }
        ADD_FAILURE() << "no control " << name;
        return {};
    }
    static bool WaitListening(QWidget& form)
    {
        return RunUntil([&] { return Text(form, "lblServerStatus") == "SERVER ON"; });
    }
    static unsigned short PortOf(QWidget& form)
    {
        return static_cast<unsigned short>(Text(form, "edListeningPort").toUInt());
    }

    TfrmAbout m_about;
    TfrmInfo m_info;
};

TEST_F(LoopServerForm, StartsListeningWithItsControls)
{
    auto form = NewForm();
    ASSERT_TRUE(WaitListening(*form));
    EXPECT_EQ(form->windowTitle(), "VoltTCP Echo Server");
    EXPECT_EQ(Text(*form, "btnToggle"), "OFF");
    EXPECT_EQ(Text(*form, "lblConn"), "0");
    EXPECT_EQ(BackgroundColor(Find<QLabel>(*form, "lblServerStatus")), kColorGreen);
    EXPECT_FALSE(Find<QLineEdit>(*form, "edListeningPort")->isEnabled());
    EXPECT_EQ(Find<QLineEdit>(*form, "edListeningPort")->maxLength(), 5);
    EXPECT_FALSE(Find<QLabel>(*form, "lblError")->isVisible());
    EXPECT_NE(PortOf(*form), 0);

    Find<QPushButton>(*form, "btnHelp")->click();
    EXPECT_TRUE(m_info.isVisible());
    EXPECT_EQ(m_info.windowTitle(), "Echo Server Information");
    m_info.findChild<QPushButton*>("btnHide")->click();
    EXPECT_FALSE(m_info.isVisible());
    Find<QPushButton>(*form, "btnAbout")->click();
    EXPECT_TRUE(m_about.isVisible());
    m_about.hide();
}

TEST_F(LoopServerForm, ClosingTheMainWindowEndsTheProgramAndItsConnections)
{
    auto form = NewForm();
    ASSERT_TRUE(WaitListening(*form));
    const unsigned short port = PortOf(*form);
    const int client = ConnectLoopback(port);
    ASSERT_GE(client, 0);
    ASSERT_TRUE(RunUntil([&] { return Text(*form, "lblConn") == "1"; }));
    m_info.show();
    EXPECT_TRUE(ClosingEndsTheRun(*form));
    m_info.hide();
    form.reset();  // what the program's end does
    char byte = 0;
    EXPECT_TRUE(RunUntil([&] { return recv(client, &byte, 1, 0) == 0; }))
        << "the connection outlived the program";
    close(client);
    EXPECT_FALSE(WaitForListener(port, std::chrono::milliseconds(100)));
}

TEST_F(LoopServerForm, NothingIsCutAtTheMinimumSize)
{
    auto form = NewForm();
    ASSERT_TRUE(WaitListening(*form));
    const unsigned short port = PortOf(*form);
    Find<QLineEdit>(*form, "edListeningPort")->setText("65535");
    EXPECT_THAT(TextsCutAtMinimumSize(*form), testing::IsEmpty());
    // A second server on that port shows the error and the switched-off state.
    auto second = NewForm(port);
    ASSERT_TRUE(RunUntil([&] { return Find<QLabel>(*second, "lblError")->isVisible(); }));
    EXPECT_THAT(TextsCutAtMinimumSize(*second), testing::IsEmpty());
    EXPECT_THAT(TextsCutAtMinimumSize(m_info), testing::IsEmpty());
    m_info.hide();
}

TEST_F(LoopServerForm, TwoClientsGetTheirOwnBytesBack)
{
    auto form = NewForm();
    ASSERT_TRUE(WaitListening(*form));
    const auto first = CScriptedPeer::ConnectTo(PortOf(*form));
    const auto second = CScriptedPeer::ConnectTo(PortOf(*form));
    ASSERT_TRUE(first->Connected());
    ASSERT_TRUE(second->Connected());
    ASSERT_TRUE(RunUntil([&] { return Text(*form, "lblConn") == "2"; }));

    const std::string one = "first client's line\r\n";
    const std::string two(100000, 'x');
    ASSERT_TRUE(first->Send(one));
    ASSERT_TRUE(second->Send(two));
    EXPECT_EQ(first->Read(one.size()), one);
    EXPECT_EQ(second->Read(two.size()), two);
    EXPECT_EQ(Text(*form, "lblConn"), "2");

    first->Close();
    ASSERT_TRUE(RunUntil([&] { return Text(*form, "lblConn") == "1"; }));
    ASSERT_TRUE(second->Send("still here"));
    EXPECT_EQ(second->Read(10), "still here");
}

TEST_F(LoopServerForm, PortFieldAcceptsOnlyPorts)
{
    auto form = NewForm();
    ASSERT_TRUE(WaitListening(*form));
    const QString current = QString::number(PortOf(*form));
    auto* edit = Find<QLineEdit>(*form, "edListeningPort");
    struct Case {
        const char* typed;
        QString expected;
    };
    const Case cases[] = {
        {"0", current},  {"70000", current}, {"abc", current},   {"", current},
        {"-5", current}, {"00123", "123"},   {"65535", "65535"}, {" 80 ", "80"},
    };
    for (const Case& c : cases) {
        edit->setText(c.typed);
        emit edit->editingFinished();
        EXPECT_EQ(edit->text(), c.expected) << c.typed;
    }
}

TEST_F(LoopServerForm, SecondServerOnTheSamePortReportsAddressInUse)
{
    auto first = NewForm();
    ASSERT_TRUE(WaitListening(*first));
    auto second = NewForm(PortOf(*first));
    ASSERT_TRUE(RunUntil([&] { return Find<QLabel>(*second, "lblError")->isVisible(); }));
    EXPECT_EQ(Text(*second, "lblError"), "Address Already in Use");
    EXPECT_EQ(Text(*second, "btnToggle"), "ON");
    EXPECT_EQ(Text(*second, "lblServerStatus"), "SERVER OFF");
    EXPECT_EQ(BackgroundColor(Find<QLabel>(*second, "lblServerStatus")), kColorMaroon);

    // Once the port is free, the button starts the second server on it.
    first.reset();
    Find<QPushButton>(*second, "btnToggle")->click();
    ASSERT_TRUE(WaitListening(*second));
    EXPECT_FALSE(Find<QLabel>(*second, "lblError")->isVisible());
}

TEST_F(LoopServerForm, SwitchingOffKeepsAcceptedClientsEchoing)
{
    auto form = NewForm();
    ASSERT_TRUE(WaitListening(*form));
    const unsigned short port = PortOf(*form);
    const auto client = CScriptedPeer::ConnectTo(port);
    ASSERT_TRUE(client->Connected());
    ASSERT_TRUE(RunUntil([&] { return Text(*form, "lblConn") == "1"; }));

    Find<QPushButton>(*form, "btnToggle")->click();
    ASSERT_TRUE(RunUntil([&] { return Text(*form, "lblServerStatus") == "SERVER OFF"; }));
    EXPECT_EQ(Text(*form, "btnToggle"), "ON");
    EXPECT_TRUE(Find<QLineEdit>(*form, "edListeningPort")->isEnabled());

    ASSERT_TRUE(client->Send("after switch-off"));
    EXPECT_EQ(client->Read(16), "after switch-off");
    EXPECT_EQ(Text(*form, "lblConn"), "1");
    EXPECT_FALSE(CScriptedPeer::ConnectTo(port, std::chrono::milliseconds(300))->Connected());

    // On again, on the same port.
    Find<QPushButton>(*form, "btnToggle")->click();
    ASSERT_TRUE(WaitListening(*form));
    EXPECT_EQ(PortOf(*form), port);
}

TEST_F(LoopServerForm, ClosingTheFormEndsEveryConnection)
{
    auto form = NewForm();
    ASSERT_TRUE(WaitListening(*form));
    const auto a = CScriptedPeer::ConnectTo(PortOf(*form));
    const auto b = CScriptedPeer::ConnectTo(PortOf(*form));
    ASSERT_TRUE(a->Connected());
    ASSERT_TRUE(b->Connected());
    ASSERT_TRUE(RunUntil([&] { return Text(*form, "lblConn") == "2"; }));
    form.reset();
    EXPECT_TRUE(a->WaitClosed());
    EXPECT_TRUE(b->WaitClosed());
}

}  // namespace
