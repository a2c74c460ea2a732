#include "lib/TraceView.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

TraceViewFactory& Factory()
{
    static TraceViewFactory factory;
    return factory;
}

}  // namespace

void SetTraceViewFactory(TraceViewFactory factory)
{
    Factory() = std::move(factory);
}

std::unique_ptr<CTraceView> CreateTraceView()
{
    if (Factory())
        return Factory()();
    return std::make_unique<CMemoryTraceView>();
}

CMemoryTraceView::CMemoryTraceView()
{
    const char* echo = std::getenv("VOLTTCP_TRACE");
    m_echo = echo && std::strcmp(echo, "1") == 0;
}

void CMemoryTraceView::AppendLine(const std::string& line)
{
    m_lines.push_back(line);
    if (m_echo)
        std::fprintf(stderr, "[%s] %s\n", m_title.c_str(), line.c_str());
}
