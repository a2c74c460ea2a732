// Answers to the host: device attributes and status reports.

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "vt/Vt.h"

// Each answer is formatted into one buffer and sent in one call.
void CVt::Answer(const char* format, ...)
{
    char buffer[64];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n > 0)
        SendToHost(reinterpret_cast<const uint8_t*>(buffer),
                   static_cast<size_t>(std::min<int>(n, sizeof buffer - 1)));
}

// DA (and DECID): primary, or secondary with '>'.
void CVt::DoDA(bool secondaryAllowed)
{
    const char* csi = m_csiPrefix.c_str();
    const bool vt320 = m_level == kLevelVt320 || m_level == kLevelVt320Bit8;
    const bool vt220 = m_level == kLevelVt220 || m_level == kLevelVt220Bit8;
    if (secondaryAllowed && Marked(0, '>')) {
        if (vt320)
            Answer("%s>24;14;0c", csi);
        else if (vt220)
            Answer("%s>1;10;0c", csi);
        return;
    }
    if (vt320)
        Answer("%s?63;1;2;6;8;9;11;14;17c", csi);
    else if (vt220)
        Answer("%s?62;1;2;6;8;9c", csi);
    else if (m_level == kLevelVt100)
        Answer("%s?1;2c", csi);
}

// DSR.
void CVt::DoDSR()
{
    const char* csi = m_csiPrefix.c_str();
    if (!Marked(0, '?')) {
        if (Param(0) == 5)
            Answer("%s?0n", csi);
        else if (Param(0) == 6)
            Answer("%s%d;%dR", csi, m_screen.CursorRow() + 1, m_screen.CursorColumn() + 1);
        return;
    }
    switch (Param(0)) {
    case 15: Answer("%s?10n", csi); break;
    case 25: {
        bool locked = false;
        for (const SUserKey& key : m_userKeys)
            locked = locked || key.locked;
        Answer(locked ? "%s?21n" : "%s?20n", csi);
        break;
    }
    case 26: Answer("%s?27;1n", csi); break;
    default: break;
    }
}
