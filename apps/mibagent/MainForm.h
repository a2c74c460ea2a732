#pragma once

#include <cstdint>
#include <memory>

#include <QWidget>

#include "apps/mibagent/AgentView.h"

class CSnmpAgent;
class QLabel;
class QLineEdit;
class QPushButton;
class TfrmAbout;
class TfrmTrap;

// The agent's window: its status panels and the five system texts it answers with.
class TfrmMain final : public QWidget, private CAgentView {
    Q_OBJECT
public:
    TfrmMain(TfrmAbout& about, TfrmTrap& trap, uint16_t port = 161, QWidget* parent = nullptr);
    ~TfrmMain() override;

    CSnmpAgent& Agent() { return *m_agent; }
    void btnResetClick();

private:
    std::string GetSystemText(SystemText which) override;
    void SetSystemText(SystemText which, const std::string& text) override;
    void ShowStatus(const std::string& text, bool listening) override;
    void ShowError(const std::string& text) override;
    void ShowAction(const std::string& text) override;
    void HidePanels() override;

    QLabel* m_statusPanel;
    QLabel* m_errorPanel;
    QLabel* m_actionPanel;
    QLineEdit* m_edPort;
    QLineEdit* m_edits[SystemTextCount];
    std::unique_ptr<CSnmpAgent> m_agent;
};
