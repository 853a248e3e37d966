// The binary interface between the host client and this module: the calling
// convention of the three exports and of the host's send callback, and the
// export attribute. Change the convention here and nowhere else.
#pragma once

#include <cstdint>

// Calling convention of every function crossing the module boundary. Empty
// means the platform's C default (cdecl on 32-bit Windows and Linux).
#ifndef KLARNA_CALL
#define KLARNA_CALL
#endif

#if defined(_WIN32)
#define KLARNA_EXPORT __declspec(dllexport)
#else
#define KLARNA_EXPORT __attribute__((visibility("default")))
#endif

// The host's send callback: (host context, message text, its length, reply
// buffer, reply length). On the call the reply length holds the buffer's
// capacity; on return the number of bytes the host wrote. -181 means the
// reply buffer is too small.
using HostSendCallback = std::int32_t(KLARNA_CALL*)(std::uint32_t hostContext, const char* message,
                                                    std::int32_t length, char* replyBuffer,
                                                    std::int32_t* replyLength);
