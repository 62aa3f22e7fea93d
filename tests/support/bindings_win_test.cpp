// Proves that the native stand-ins map case exactly as the real Windows functions do.
#include <gtest/gtest.h>

#include <string>

#include "support/bindings.h"

using namespace tallyrun;

namespace {
std::string all_bytes() {
    std::string s;
    for (int c = 1; c < 256; ++c) s += static_cast<char>(c);
    return s;
}
}  // namespace

TEST(bindings_win, real_functions_are_bound) {
    EXPECT_NE(win.MessageBoxA, nullptr);
    EXPECT_NE(win.FindFirstFileA, nullptr);
    EXPECT_NE(win.DialogBoxIndirectParamA, nullptr);
    EXPECT_NE(win.CreateFileA, nullptr);
}

TEST(bindings_win, cp1252_stand_ins_agree_with_char_lower_and_upper) {
    for (bool lower : {true, false}) {
        std::string real = all_bytes(), fake = all_bytes();
        uint32_t n = static_cast<uint32_t>(real.size());
        EXPECT_EQ(lower ? win.CharLowerBuffA(real.data(), n) : win.CharUpperBuffA(real.data(), n), n);
        lower ? cp1252_lower_buff(fake.data(), n) : cp1252_upper_buff(fake.data(), n);
        for (size_t i = 0; i < real.size(); ++i)
            EXPECT_EQ(static_cast<unsigned char>(fake[i]), static_cast<unsigned char>(real[i]))
                << (lower ? "lower" : "upper") << " of byte " << i + 1 << ": stand-in got "
                << +static_cast<unsigned char>(fake[i]) << ", Windows gives "
                << +static_cast<unsigned char>(real[i]);
    }
}
