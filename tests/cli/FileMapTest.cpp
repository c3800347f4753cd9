// A file mapped for reading that changes or is cut shorter while it is read.
#include <gtest/gtest.h>

#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <utime.h>

#include <string>

#include "cli/FileRead.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

// A file of its own for each test: suites may run side by side.
std::string Write(const std::string& name, const std::string& content) {
    std::string path = testing::TempDir() + name + std::to_string(time(nullptr)) + "-" +
                       testing::UnitTest::GetInstance()->current_test_info()->name();
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(content.data(), 1, content.size(), f);
    fclose(f);
    return path;
}

const std::string kContent = "REGEDIT4\r\n" + std::string(20000, ';');

TEST(FileMapOrRead, ChangedWhileMapped) {
    std::string path = Write("mapped", kContent), error;
    FileContent content;
    FileId id;
    ASSERT_TRUE(FileMapOrRead(path, 1 << 20, true, &content, &id, &error)) << error;
#ifdef _WIN32
    EXPECT_EQ(content.mapped, nullptr);  // read whole: a repair must be able to replace it
#else
    EXPECT_NE(content.mapped, nullptr);
#endif
    EXPECT_EQ(content.bytes, kContent);
    EXPECT_TRUE(id.known);
    EXPECT_TRUE(FileStillAsMapped(path, content, &error));

    // Written over in place, a later time of change: what was read may mix
    // old and new bytes.
    FILE* f = fopen(path.c_str(), "r+b");
    fseek(f, 15, SEEK_SET);
    fputc('x', f);
    fclose(f);
    struct utimbuf later = {time(nullptr) + 10, time(nullptr) + 10};
    utime(path.c_str(), &later);
    EXPECT_EQ(FileStillAsMapped(path, content, &error), content.mapped == nullptr);
    if (content.mapped) {
        EXPECT_EQ(error, path + " changed while it was read; no file was changed");
    }
    FileRelease(&content);

    // Not to be mapped (a repair in place): read, as a device or a pipe is.
    ASSERT_TRUE(FileMapOrRead(path, 1 << 20, false, &content, &id, &error)) << error;
    EXPECT_EQ(content.mapped, nullptr);
    EXPECT_EQ(content.bytes, kContent.substr(0, 15) + "x" + kContent.substr(16));
    EXPECT_TRUE(FileStillAsMapped(path, content, &error));
    FileRelease(&content);
    remove(path.c_str());
}

#ifndef _WIN32
// The bytes a file lost while mapped cannot be read: the tool ends with a
// message, having written nothing.
TEST(FileMapOrReadDeathTest, CutShorterWhileMapped) {
    // Forked without a new exec: under qemu the suite cannot exec itself
    // (the kernel does not run an ARM program), and this test starts no thread.
    GTEST_FLAG_SET(death_test_style, "fast");
    std::string path = Write("cut", kContent), error;
    FileContent content;
    FileId id;
    ASSERT_TRUE(FileMapOrRead(path, 1 << 20, true, &content, &id, &error)) << error;
    ASSERT_NE(content.mapped, nullptr);
    EXPECT_EXIT(
        {
            if (truncate(path.c_str(), 0) != 0) _exit(3);
            volatile char last = content.bytes[kContent.size() - 1];
            (void)last;
            _exit(0);
        },
        testing::ExitedWithCode(2),
        "portmedic-scan: " + path + " was cut shorter while it was read; no file was changed");
    FileRelease(&content);
    remove(path.c_str());
}
#endif

}  // namespace
