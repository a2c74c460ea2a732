#include "pop3/VoltPop3.h"

#include "pop3/Pop3.h"

CVoltPop3::CVoltPop3() : m_engine(std::make_unique<CPop3>(*this))
{}

CVoltPop3::CVoltPop3(const EngineFactory& makeEngine) : m_engine(makeEngine(*this))
{}

CVoltPop3::~CVoltPop3() = default;

void CVoltPop3::OnConnect(const char*, uint16_t, const char*, uint16_t, const char*)
{}
void CVoltPop3::OnPop3Event(uint8_t, uint8_t, const char*, uint32_t, const char*, char, uint16_t)
{}
void CVoltPop3::OnCommandSent(const char*)
{}
void CVoltPop3::OnFileClosed(const char*, char, uint32_t)
{}
void CVoltPop3::OnException(uint8_t, const char*)
{}
void CVoltPop3::OnHeader(uint8_t, const char*, const char*, const char*, const char*, const char*,
                         const char*, const char*, const char*)
{}

bool CVoltPop3::Connect(uint8_t options, const char* host, uint16_t port, const char* localAddress,
                        uint16_t localPort, const char* user, const char* password)
{
    return m_engine->Connect(options, host, port, localAddress, localPort, user, password);
}

bool CVoltPop3::Quit(bool abort)
{
    return m_engine->Quit(abort);
}

bool CVoltPop3::Delete(uint32_t message)
{
    return m_engine->Delete(message);
}

bool CVoltPop3::Retrieve(uint32_t message, const char* mailFile, const char* attachDir)
{
    return m_engine->Retrieve(message, mailFile, attachDir);
}

bool CVoltPop3::Stat()
{
    return m_engine->Stat();
}

bool CVoltPop3::Top(uint32_t message, uint32_t lines)
{
    return m_engine->Top(message, lines);
}

uint8_t CVoltPop3::GetState() const
{
    return m_engine->GetState();
}
