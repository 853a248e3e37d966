// A stand-in for the host client in unit tests: it records every request the
// module sends through its callback, answers from a script (canned replies,
// results such as -181), and can deliver messages to the module.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "documents/xml_node.h"
#include "host/host_bridge.h"

class RecordingHost {
  public:
    // What the host answers to one request.
    struct Answer {
        std::int32_t result = 0;
        std::string reply; // written to the reply buffer when it fits
    };

    struct Request {
        std::uint32_t hostContext = 0;
        std::string text;          // exactly the bytes the module passed
        std::int32_t capacity = 0; // reply capacity offered with the request
        xmlDoc document;           // text parsed

        // The first child of VORTAXIS_METHOD, or else of VORTAXIS_EVENT.
        const xmlNode& element() const;
        std::string methodName() const { return element().name; }
        // Names of the document root's children, in order.
        std::vector<std::string> envelopeKeys() const;
    };

    using Responder = std::function<Answer(const Request&)>;
    using Parameters = std::vector<std::pair<std::string, std::string>>;

    RecordingHost();
    ~RecordingHost();
    RecordingHost(const RecordingHost&) = delete;
    RecordingHost& operator=(const RecordingHost&) = delete;

    std::uint32_t context() const { return contextId; }
    static HostSendCallback callback();
    // Gives the bridge this host's context and callback.
    void connect(HostBridge& bridge) const;

    // Answers used once each, in order, before any other.
    void queue(Answer answer) { queued.push_back(std::move(answer)); }
    // A standing answer to every request for this method (or event) name.
    void answer(const std::string& methodName, Answer standing);
    // Decides every answer not taken from the queue.
    void respondWith(Responder responder) { custom = std::move(responder); }

    const std::vector<Request>& requests() const { return recorded; }
    const Request& last() const { return recorded.back(); }
    std::vector<std::string> methodNames() const;
    std::size_t count(const std::string& methodName) const;
    void clear() { recorded.clear(); }

    // Reply and message texts as the host writes them.
    static std::string eventReply(const xmlNode& element);
    static std::string eventReply(const std::string& name, const Parameters& parameters);
    static xmlNode element(const std::string& name, const Parameters& parameters);
    static std::string eventMessage(const xmlNode& element);
    static std::string methodMessage(const xmlNode& element);

    // Delivers a message to the bridge as OnReceive_v2 would be called.
    struct Delivery {
        std::int32_t result = 0;
        std::string reply;
    };
    static Delivery deliver(HostBridge& bridge, const std::string& message,
                            std::int32_t capacity = 4096);

  private:
    static std::int32_t KLARNA_CALL receive(std::uint32_t hostContext, const char* message,
                                            std::int32_t length, char* replyBuffer,
                                            std::int32_t* replyLength);
    std::int32_t handle(Request request, char* replyBuffer, std::int32_t* replyLength);
    Answer choose(const Request& request, bool& fromQueue) const;

    std::uint32_t contextId;
    std::vector<Request> recorded;
    std::deque<Answer> queued;
    std::map<std::string, Answer> standing;
    Responder custom;
};
