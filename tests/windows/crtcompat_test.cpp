// The msvcrt fallback for _dupenv_s that portable libraries of this tree rely on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

TEST(CrtCompat, DupenvCopiesTheValueOrReportsNone) {
    ASSERT_EQ(_putenv("TSR_CRT_COMPAT_TEST=forty two"), 0);
    char* value = nullptr;
    size_t size = 99;
    ASSERT_EQ(_dupenv_s(&value, &size, "TSR_CRT_COMPAT_TEST"), 0);
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(value, "forty two");
    EXPECT_EQ(size, std::strlen("forty two") + 1);
    std::free(value);

    ASSERT_EQ(_putenv("TSR_CRT_COMPAT_TEST="), 0); // removes it
    value = reinterpret_cast<char*>(1);
    size = 99;
    EXPECT_EQ(_dupenv_s(&value, &size, "TSR_CRT_COMPAT_TEST"), 0);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_NE(_dupenv_s(nullptr, &size, "TSR_CRT_COMPAT_TEST"), 0);
}
