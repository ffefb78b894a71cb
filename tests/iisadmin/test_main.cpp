#include <initguid.h>   // defines the admin base object's class and interface ids in this unit
#include "MetabaseTest.h"

#include <objbase.h>

int main(int argc, char** argv)
{
    // A single-threaded apartment, as the program's dialog thread has.
    ::CoInitialize(nullptr);
    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    ::CoUninitialize();
    return result;
}
