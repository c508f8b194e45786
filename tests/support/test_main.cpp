// The main of every test program: a private HOME and XDG folders for the whole process,
// then the tests.
#include <gtest/gtest.h>

#include <cstdio>

#include "private_home.h"

int main(int argc, char** argv) {
    velmora::test::PrivateHome home;
    if (!home.ok()) {
        std::fprintf(stderr, "test main: cannot create a private HOME\n");
        return 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
