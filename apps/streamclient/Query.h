#pragma once

#include <cstdint>

#include "lib/VoltTcp.h"

class QLabel;
class QListWidget;

// Asks the socket stack about itself and fills the stack panel's labels; never connects.
class CTcpQuery final : public CVoltTcp {
public:
    struct CLabels {
        QLabel* version;
        QLabel* description;
        QLabel* maxSockets;
        QLabel* maxDatagrams;
        QLabel* status;
        QLabel* localName;
        QLabel* exception;
        QListWidget* addresses;
    };

    explicit CTcpQuery(const CLabels& labels);

protected:
    void OnException(uint8_t code, const char* text) override;
    void OnStackInfo(uint16_t version, const char* description, const char* status, uint16_t maxSockets,
                     uint16_t maxDatagram, const char* hostName, const char* const* addresses) override;

private:
    CLabels m_labels;
};
