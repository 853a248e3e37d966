// The names a scenario checks and sends, as the host protocol, the POS and
// the gateway spell them: each request's fields, the TransactionEvent's,
// the POS request's, the gateway messages' members and kinds, and the host
// variables the module reads or writes. A scenario that names one that does
// not exist ("Sucess") is refused when it is read, with a "did you mean".
#pragma once

#include <string>
#include <vector>

#include "sim/scenario/scenario.h"

namespace sim {

// Every name in the scenario's expectations, actions and rules that no
// catalogue knows; one error per name, with its line and the nearest known
// name.
void checkNames(const Scenario& scenario, std::vector<ParseError>& errors);
// The error for a host variable the module neither reads nor writes, with
// the nearest one; empty for a known variable.
std::string unknownVariableError(const std::string& name);

} // namespace sim
