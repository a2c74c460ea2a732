#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "apps/common/About.h"
#include "apps/common/Profile.h"
#include "apps/remoteclient/MainForm.h"
#include "apps/remoteclient/RemoteDisplay.h"
#include "tests/support/QtTestApp.h"

// The remote command program's window with a settings file of its own, offscreen.
class RemoteClientForm : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureQtTestApp("VoltTCP REXEC Sample"); }

    void SetUp() override
    {
        char dir[] = "/tmp/remoteclient_test.XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(dir));
        m_dir = dir;
        setenv("VOLTTCP_INI", (m_dir + "/VOLTTCP.INI").c_str(), 1);
        m_profile = std::make_unique<CProfile>(CProfile::DefaultPath());
    }
    void TearDown() override
    {
        m_form.reset();
        unsetenv("VOLTTCP_INI");
        std::filesystem::remove_all(m_dir);
    }

    TfrmMain& Form(SServicePorts ports = {})
    {
        if (!m_form) {
            m_form = std::make_unique<TfrmMain>(m_about, *m_profile, ports);
            m_form->show();
        }
        return *m_form;
    }
    void DestroyForm() { m_form.reset(); }
    template <typename T>
    T* Find(const char* name)
    {
        T* child = Form().findChild<T*>(name);
        EXPECT_NE(nullptr, child) << name;
        return child;
    }
    QString Text(const char* name)
    {
        if (auto* edit = Form().findChild<QLineEdit*>(name))
            return edit->text();
        if (auto* label = Form().findChild<QLabel*>(name))
            return label->text();
        ADD_FAILURE() << "no text control " << name;
        return {};
    }
    void SetText(const char* name, const QString& text) { Find<QLineEdit>(name)->setText(text); }
    void Click(const char* name) { Find<QAbstractButton>(name)->click(); }
    CRemoteDisplay* Display() { return Find<CRemoteDisplay>("edDisplay"); }

    std::string m_dir;
    std::unique_ptr<CProfile> m_profile;
    TfrmAbout m_about;
    std::unique_ptr<TfrmMain> m_form;
};
