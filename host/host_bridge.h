// The module's link to the host client: what the host gave at start-up, the
// reply buffer shared by every request, the fall-back handlers and the two
// handler maps that dispatch routes incoming messages through.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "documents/xml_node.h"
#include "host/module_api.h"

// A handler receives the incoming document, the message element (or an
// element built for the call) and an empty reply string it may fill.
using Handler = std::function<std::int32_t(xmlDoc&, xmlNode&, std::string&)>;

struct HandlerEntry {
    Handler handler;    // never empty in a stored entry
    std::string origin; // entry points: the text of the registering element
};

using HandlerMap = std::map<std::string, HandlerEntry>;

class HostBridge {
  public:
    static constexpr std::int32_t initialReplyCapacity = 150000;
    static constexpr std::int32_t replyGrowth = 100000;
    // Largest reply buffer a request may grow to before it is given up.
    static constexpr std::int32_t maxReplyCapacity = 16 * 1024 * 1024;

    Handler defaultEventHandler;
    Handler defaultMethodHandler;
    Handler defaultNonStandardHandler;
    std::string sourceName;
    std::vector<char> replyBuffer;
    std::int32_t replyLength = 0;
    std::int32_t incomingReplyCapacity = 0;
    std::int32_t replyCapacity = initialReplyCapacity;
    std::uint32_t hostContext = 0;
    HostSendCallback sendCallback = nullptr;
    HandlerMap handlers;
    HandlerMap entryPoints;
    std::string masterGuiName;
    // The reply buffer never grows past this (tests lower it).
    std::int32_t replyCapacityLimit = maxReplyCapacity;

    HostBridge();

    // The bytes of the last synchronous reply (bounded by the buffer).
    std::string replyText() const;
    // Replaces the reply buffer by a new one of the given capacity.
    void resizeReplyBuffer(std::int32_t capacity);
};

// Removes any handler stored under name, then stores handler when it is not
// empty (so an empty handler unregisters the name).
void registerHandler(HostBridge& bridge, const std::string& name, Handler handler);

// Removes any entry point under key, then stores handler with its origin
// when the handler is not empty.
void registerEntryPoint(HostBridge& bridge, const std::string& key, Handler handler,
                        const std::string& origin);
