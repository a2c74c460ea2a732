#include "tests/support/RecordingPrintSink.h"

bool CRecordingPrintSink::Open()
{
    m_events.push_back(m_present ? "open" : "open failed");
    m_open = m_present;
    return m_present;
}

void CRecordingPrintSink::Release()
{
    m_events.push_back("release");
    m_open = false;
}

CPrintFontMetrics CRecordingPrintSink::SelectFont(int height, int width)
{
    ++m_fontSelections;
    CPrintFontMetrics metrics;
    metrics.height = m_reportedHeight != 0 ? m_reportedHeight : height;
    metrics.externalLeading = m_leading;
    metrics.averageWidth = width > 0 ? width : height * m_naturalWidthPercent / 100;
    return metrics;
}

bool CRecordingPrintSink::StartDocument(const char* name)
{
    m_events.push_back(std::string("startdoc ") + (name != nullptr ? name : ""));
    return !m_failStartDocument;
}

bool CRecordingPrintSink::EndDocument()
{
    m_events.push_back("enddoc");
    return true;
}

bool CRecordingPrintSink::StartPage()
{
    m_events.push_back("startpage");
    return true;
}

bool CRecordingPrintSink::EndPage()
{
    m_events.push_back("endpage");
    return true;
}

void CRecordingPrintSink::OutputText(int x, int y, const char* text, int length, bool expandTabs)
{
    m_events.push_back("text " + std::to_string(x) + "," + std::to_string(y) +
                       (expandTabs ? " " : " notabs ") + "\"" + std::string(text, size_t(length)) + "\"");
}

bool CRecordingPrintSink::PassThrough(const uint8_t* bytes, int length)
{
    m_events.push_back("raw " + std::to_string(length));
    m_raw.append(reinterpret_cast<const char*>(bytes), size_t(length));
    return true;
}

std::string CRecordingPrintSink::Log() const
{
    std::string log;
    for (const std::string& event : m_events)
        log += event + "\n";
    return log;
}

std::vector<std::string> CRecordingPrintSink::Texts() const
{
    std::vector<std::string> texts;
    for (const std::string& event : m_events) {
        if (event.rfind("text ", 0) == 0) {
            const size_t quote = event.find('"');
            texts.push_back(event.substr(quote + 1, event.size() - quote - 2));
        }
    }
    return texts;
}

void CRecordingPrintSink::Clear()
{
    m_events.clear();
    m_raw.clear();
    m_fontSelections = 0;
}
