#pragma once

#include "apps/mibagent/AgentView.h"

// The system texts an agent starts with.
inline constexpr const char* kSystemDefaults[CAgentView::SystemTextCount] = {
    "RODAVIV X.23b System A", "1.3.6.1.4.1.69.0", "Site Contact", "Norvik", "Here"};
