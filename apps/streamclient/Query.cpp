#include "apps/streamclient/Query.h"

#include <QLabel>
#include <QListWidget>

CTcpQuery::CTcpQuery(const CLabels& labels) : m_labels(labels)
{}

void CTcpQuery::OnException(uint8_t /*code*/, const char* text)
{
    m_labels.exception->setText(QString::fromLatin1(text));
    m_labels.exception->show();
}

void CTcpQuery::OnStackInfo(uint16_t version, const char* description, const char* status,
                            uint16_t maxSockets, uint16_t maxDatagram, const char* hostName,
                            const char* const* addresses)
{
    m_labels.version->setText(QString::number(version));
    m_labels.description->setText(QString::fromLatin1(description));
    m_labels.maxSockets->setText(QString::number(maxSockets));
    m_labels.maxDatagrams->setText(QString::number(maxDatagram));
    m_labels.status->setText(QString::fromLatin1(status));
    m_labels.localName->setText(QString::fromLatin1(hostName));
    m_labels.addresses->clear();
    for (const char* const* address = addresses; address && *address && **address; ++address) {
        m_labels.addresses->addItem(QString::fromLatin1(*address));
    }
}
