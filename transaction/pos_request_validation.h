// Checks a POS request that claims to carry everything the payment needs
// (a one-button request) before the payment flow uses it.
#pragma once

#include <string>
#include <vector>

#include "documents/xml_node.h"

// The purchase analysis tags a valid request of this transaction type must
// carry, in checking order: SKU for a purchase ("P"), RFN for a refund
// ("R"), then OPR, AMT, UID, NME, VER, VND and PCM for every type.
std::vector<std::string> requiredTags(const std::string& txnType);

// True when the request may proceed. Otherwise false, with `errorText` set
// to the 20-character text naming the first field or tag that failed.
// `errorText` is emptied first.
bool validatePosRequest(const xmlNode& request, std::string& errorText);
