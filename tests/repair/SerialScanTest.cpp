#include <gtest/gtest.h>

#include "platform/portable/MemoryRegistry.h"
#include "repair/SerialScan.h"

TEST(ScanSerialDrivers, EmptyRegistryIsAllGood) {
    MemRegClear();
    TextString report, message;
    ScanSerialDrivers(report, message, false);
    EXPECT_STREQ(report.CStr(), "\r\nTodo perfecto!!!");
}
