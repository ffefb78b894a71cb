#include <gtest/gtest.h>

#include <mbctype.h>

int main(int argc, char** argv)
{
    // As in the program: the multibyte run-time routines follow the system ANSI code page.
    _setmbcp(_MB_CP_ANSI);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
