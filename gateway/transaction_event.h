// The TransactionEvent: the one result the POS gets for every payment or
// refund, also kept as the last transaction (LAST_TXN).
#pragma once

#include <string>
#include <vector>

#include "documents/xml_node.h"

struct GatewayTransaction;
struct RequestOrigin;

// The element's children in their fixed order, from the POS request copy,
// the gateway request and reply and the response of the transaction, and the
// flags of the request origin. Result tags too long for the purchase analysis
// data are left out and named in tagsLeftOut.
xmlNode buildTransactionEvent(const GatewayTransaction& transaction, const RequestOrigin& origin,
                              std::vector<std::string>& tagsLeftOut);
