// The test runner's entry point in the Windows build.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>

#include <cstdio>

int main(int argc, char** argv) {
    // Plain "\n" line ends: the test list is read back on Linux, where a "\r" would become
    // part of every test name.
    _setmode(_fileno(stdout), _O_BINARY);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
