// What a test needs of the machine it runs on beyond the build (a tool, a
// package, root) and the one rule for a need that is missing: under CI
// (the environment variable CI is "true") the test fails, since CI installs
// everything (.ci/run); elsewhere it is skipped with one line naming the need.
#ifndef CARDSTOW_TESTS_TEST_NEEDS_H_
#define CARDSTOW_TESTS_TEST_NEEDS_H_

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

// Whether the tests run under CI, where no need may be missing.
inline bool under_ci() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::strcmp(ci, "true") == 0;
}

// In a test body: goes on when `met` is true; otherwise fails the test under
// CI, or skips it elsewhere, with the message "needs <need>". Returns from
// the test body either way.
#define CARDSTOW_NEED(met, need)                                  \
  do {                                                            \
    if (!(met)) {                                                 \
      if (under_ci()) FAIL() << "needs " << need << " (CI=true)"; \
      GTEST_SKIP() << "needs " << need;                           \
    }                                                             \
  } while (false)

#endif  // CARDSTOW_TESTS_TEST_NEEDS_H_
