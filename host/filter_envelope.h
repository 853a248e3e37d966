// The stand-alone document handed to InterceptSet: which of the host's own
// messages the host should pass to this module.
#pragma once

#include <string>

#include "documents/xml_node.h"

namespace filterContainer {
constexpr const char* event = "VORTAXIS_EVENT";
constexpr const char* method = "VORTAXIS_METHOD";
} // namespace filterContainer

// VORTAXIS_BRIDGE with VORTAXIS_SOURCE = source, VORTAXIS_DESTINATION =
// destination, then the container (VORTAXIS_EVENT or VORTAXIS_METHOD) holding
// a copy of element as a child named after it.
xmlDoc buildFilterEnvelope(const std::string& source, const std::string& destination,
                           const std::string& container, const xmlNode& element);
