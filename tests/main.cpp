// Runs every unit test in one process, with the binding table filled as the plugin fills it.
#include <gtest/gtest.h>

#include "support/bindings.h"

int main(int argc, char** argv) {
    tallyrun::bind_windows();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
