/*
 * sanitizer.h --
 *
 *	TESK_TEST_ASAN: 1 in a test built with AddressSanitizer (gcc or
 *	clang), else 0, for the few cases that limit the address space or
 *	count allocations and cannot run under it.
 */
#ifndef TESK_TESTS_SUPPORT_SANITIZER_H
#define TESK_TESTS_SUPPORT_SANITIZER_H

#if defined(__SANITIZE_ADDRESS__)
#define TESK_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESK_TEST_ASAN 1
#endif
#endif
#ifndef TESK_TEST_ASAN
#define TESK_TEST_ASAN 0
#endif

#endif /* TESK_TESTS_SUPPORT_SANITIZER_H */
