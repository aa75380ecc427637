// Counts the UTF-8 validity checks PCRE2 makes in a program run: preloaded,
// it passes every pcre2_match call on and counts the calls made without
// PCRE2_NO_UTF_CHECK and the bytes such a call checks (from the start offset
// to the end of the subject). The totals go to standard error at exit.
//
//   cc -O2 -shared -fPIC -o utf8_check_count.so utf8_check_count.c -ldl
//   LD_PRELOAD=./utf8_check_count.so tessarine build guide.tsn
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdatomic.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#define NO_UTF_CHECK 0x40000000u

typedef int (*match_fn)(const void*, const unsigned char*, size_t, size_t, uint32_t, void*,
                        void*);

static atomic_ullong calls, checks, checked_bytes;

static void report(void) {
  fprintf(stderr, "pcre2_match calls: %llu, UTF-8 checks: %llu, bytes checked: %llu\n",
          (unsigned long long)calls, (unsigned long long)checks,
          (unsigned long long)checked_bytes);
}

int pcre2_match_8(const void* code, const unsigned char* subject, size_t length, size_t start,
                  uint32_t options, void* data, void* context) {
  static match_fn next;
  if (next == NULL) {
    next = (match_fn)dlsym(RTLD_NEXT, "pcre2_match_8");
    atexit(report);
  }
  atomic_fetch_add(&calls, 1);
  if ((options & NO_UTF_CHECK) == 0) {
    atomic_fetch_add(&checks, 1);
    atomic_fetch_add(&checked_bytes, length > start ? length - start : 0);
  }
  return next(code, subject, length, start, options, data, context);
}
