// Replacing a file (cli/FileReplace.h) in this process, where the tool's runs
// cannot reach: a content written in several calls, a write the system
// refuses, and the signal guard under nohup.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/FileReplace.h"

namespace fs = std::filesystem;

// A file larger than one write call (1 MiB) comes out whole; one past the
// process's file size limit fails with the system's reason and leaves no
// temporary file. The limit also ends a write that never stops.
TEST(FileReplace, WritesWholeOrLeavesNothing) {
    fs::path dir = fs::temp_directory_path() / ("portmedic-replace-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string content((3u << 20) + 5, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = char(i % 251);
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);  // EFBIG instead of the signal
    struct Case {
        rlim_t limit;
        bool ok;
    } cases[] = {{8u << 20, true}, {1u << 20, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.limit);
        std::string target = (dir / "f.reg").string(), error;
        struct rlimit limit = {c.limit, saved.rlim_max};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        PendingFile pending;
        bool ok = FileWriteTemporary(target, content, FileAttributes(), &pending, &error);
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(ok, c.ok) << error;
        std::string left;
        if (ok) {
            EXPECT_TRUE(FileCommit(&pending, &error)) << error;
            std::ifstream in(target, std::ios::binary);
            std::stringstream read;
            read << in.rdbuf();
            EXPECT_TRUE(read.str() == content);
            fs::remove(target);
        } else {
            EXPECT_NE(error.find("File too large"), std::string::npos) << error;
        }
        for (const auto& entry : fs::directory_iterator(dir))
            left += entry.path().filename().string() + " ";
        EXPECT_EQ(left, "");
    }
    signal(SIGXFSZ, previous);
    fs::remove_all(dir);
}

// A signal the tool was started ignoring (SIGHUP under nohup) stays ignored
// while the guard is on; the others get its handler; all are as before after.
TEST(FileReplace, GuardKeepsIgnoredSignalsIgnored) {
    void (*hup)(int) = signal(SIGHUP, SIG_IGN);
    void (*interrupt)(int) = signal(SIGINT, SIG_DFL);
    auto handler = [](int s) {
        struct sigaction now;
        sigaction(s, nullptr, &now);
        return now.sa_handler;
    };
    FileGuardSignals(true);
    EXPECT_EQ(handler(SIGHUP), SIG_IGN);
    EXPECT_NE(handler(SIGINT), SIG_DFL);
    FileGuardSignals(false);
    EXPECT_EQ(handler(SIGHUP), SIG_IGN);
    EXPECT_EQ(handler(SIGINT), SIG_DFL);
    signal(SIGHUP, hup);
    signal(SIGINT, interrupt);
}
#endif
