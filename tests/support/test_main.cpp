// The main of every test program: a private HOME and XDG folders for the whole process,
// then the tests. Under AddressSanitizer leak detection reads lsan.supp, however the
// program is started (ctest, its test discovery, by hand); LSAN_OPTIONS still overrides.
#include <gtest/gtest.h>

#include <cstdio>

#include "private_home.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_options() {
    return "suppressions=" VELMORA_LSAN_SUPPRESSIONS ":print_suppressions=0";
}
#endif

int main(int argc, char** argv) {
    velmora::test::PrivateHome home;
    if (!home.ok()) {
        std::fprintf(stderr, "test main: cannot create a private HOME\n");
        return 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
