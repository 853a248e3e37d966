// Benchmark inputs: the host messages and gateway texts of one QR purchase
// and one refund, and a large document built on demand.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace benchInputs {

struct NamedText {
    const char* name;
    std::string text;
};

// Real host messages, smallest first.
const std::vector<NamedText>& hostMessages();

// One document of at least `bytes` bytes: a list of transaction records.
std::string largeDocument(std::size_t bytes);

// Gateway requests (what the module writes) and replies (what it reads).
const std::vector<NamedText>& gatewayRequests();
const std::vector<NamedText>& gatewayReplies();

} // namespace benchInputs
