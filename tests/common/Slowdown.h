#pragma once
// Builds with AddressSanitizer run several times slower: the time bounds of
// tests scale by this, so that they still catch work that runs away.

#if defined(__SANITIZE_ADDRESS__)
#define BRENNIX_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BRENNIX_TEST_SANITIZED 1
#endif
#endif

#ifdef BRENNIX_TEST_SANITIZED
inline constexpr int SanitizerSlowdown = 5;
#else
inline constexpr int SanitizerSlowdown = 1;
#endif
