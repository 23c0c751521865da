#pragma once
// The address checker keeps freed memory aside to catch late uses of it, so what a process holds says
// nothing about what the code would hold without it.
#if defined(__SANITIZE_ADDRESS__)
#define QB_ADDRESS_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QB_ADDRESS_CHECKER 1
#endif
#endif

#ifdef QB_ADDRESS_CHECKER
inline constexpr bool UnderAddressChecker = true;
#else
inline constexpr bool UnderAddressChecker = false;
#endif

// The thread checker keeps shadow memory beside every allocation, several times its size; the
// hand-over marks tell whether it is there.
#include "platform/ThreadHandOver.h"

#ifdef QB_THREAD_CHECKER
inline constexpr bool UnderThreadChecker = true;
#else
inline constexpr bool UnderThreadChecker = false;
#endif
