#pragma once

#include <cstdint>

#include <QDialog>

class CSnmpAgent;
class QLineEdit;

// Sends one test trap from the agent to a destination the user gives.
class TfrmTrap final : public QDialog {
    Q_OBJECT
public:
    explicit TfrmTrap(QWidget* parent = nullptr);

    // Shows the form modally for this agent.
    void ShowModal(CSnmpAgent& agent);
    void SetAgent(CSnmpAgent* agent) { m_agent = agent; }
    void SetTrapPort(uint16_t port) { m_trapPort = port; }
    void btnSendClick();

private:
    QLineEdit* Edit(const char* name, const char* text);

    CSnmpAgent* m_agent = nullptr;
    uint16_t m_trapPort = 162;
    QLineEdit* m_edDestination;
    QLineEdit* m_edCommunity;
    QLineEdit* m_edEnterprise;
    QLineEdit* m_edGen;
    QLineEdit* m_edSpec;
};
