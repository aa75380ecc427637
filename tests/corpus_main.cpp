// main() of the programs that test on the shared corpus: without the corpus
// they run nothing and say so in the form ctest counts as skipped (a skip in
// a global test environment would be reported as passing tests).
#include <gtest/gtest.h>

#include <cstdio>

#include "test_support.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!GTEST_FLAG_GET(list_tests) && !tessarine::testing::HaveSharedInputs()) {
    std::printf("[  SKIPPED ] no shared corpus in %s\n",
                tessarine::testing::SharedDir().string().c_str());
    return 0;
  }
  return RUN_ALL_TESTS();
}
