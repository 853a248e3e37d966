// Routing of one incoming host message to exactly one handler.
#pragma once

#include <cstdint>

#include "host/host_bridge.h"

// Parses length bytes of message, routes it by its VORTAXIS_EVENT or
// VORTAXIS_METHOD element or entry-point key, and copies the handler's reply
// into replyBuffer when it fits. Never reads outside the message, never
// throws; returns -1 where a message cannot be routed.
std::int32_t dispatchMessage(HostBridge& bridge, const char* message, std::int32_t length,
                             char* replyBuffer, std::int32_t* replyLength);
