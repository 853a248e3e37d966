// The gateway message types the module sends and the reply type each expects.
#pragma once

#include <cstdint>

constexpr std::int32_t logonMessageType = 100;
constexpr std::int32_t logonReplyType = 110;
constexpr std::int32_t sessionMessageType = 150;
constexpr std::int32_t sessionReplyType = 160;
constexpr std::int32_t saleMessageType = 200;
constexpr std::int32_t saleReplyType = 210;
constexpr std::int32_t reversalMessageType = 400;
constexpr std::int32_t reversalReplyType = 410;

// A send's timeout that means "the TIMEOUT_RESPONSE setting".
constexpr std::int32_t settingTimeout = -1;
