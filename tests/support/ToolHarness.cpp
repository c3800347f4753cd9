#include "tests/support/ToolHarness.h"

#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

int StatusOf(int raw) {
#ifdef _WIN32
    return raw;
#else
    // A shell reports a program ended by signal n as 128 + n.
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : -1;
#endif
}

#ifdef _WIN32
bool UnderWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// Under Wine a Windows program can start a Linux one: ln makes the link
// (Wine's own CreateSymbolicLink makes nothing). Its end cannot be waited
// for, so the link is awaited instead.
void MakeLinuxLink(const fs::path& folder, const std::string& name, const std::string& to) {
    // The names go as wide text, as the harness's own file names do.
    std::wstring command =
        L"Z:\\bin\\ln -s \"" + fs::path(to).wstring() + L"\" \"" + fs::path(name).wstring() + L"\"";
    STARTUPINFOW start = {};
    start.cb = sizeof(start);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                               folder.wstring().c_str(), &start, &process));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 1000 && !fs::exists(folder / name); ++i) Sleep(10);
    ASSERT_TRUE(fs::exists(folder / name)) << "ln made no link " << name;
}
#endif

}  // namespace

Entry File(std::string name, std::string content, int mode, int owner) {
    return {name, kFile, content, mode, owner, false};
}
Entry Locked(std::string name, std::string content) { return {name, kFile, content, 0, -1, true}; }
Entry Link(std::string name, std::string to) { return {name, kLink, to, 0, -1, false}; }
Entry Fifo(std::string name) { return {name, kFifo, "", 0, -1, false}; }
Entry Folder(std::string name, int mode) { return {name, kFolder, "", mode, -1, false}; }

// Past 4 GiB (sparse), so that no 32-bit file size or offset holds it. Wine
// reserves a file's whole length on disk when it is extended, so there the
// file stays at 300 MiB: Windows' file sizes are 64-bit in any build.
#ifdef _WIN32
const uintmax_t kBig = uintmax_t(300) << 20;
#else
const uintmax_t kBig = (uintmax_t(4) << 30) + (300 << 20);
#endif

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string TextLines(std::string text) {
#ifdef _WIN32
    size_t at = 0;
    while ((at = text.find("\r\n", at)) != std::string::npos) text.erase(at, 1);
#endif
    return text;
}

void ScanTool::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = fs::temp_directory_path() /
          ("portmedic-scan-test-" + std::string(info->name()) + "-" +
           std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
           std::to_string(reinterpret_cast<uintptr_t>(this) & 0xFFFFFF));
    fs::remove_all(dir);
    fs::create_directories(dir);
    damaged = ReadFile("examples/damaged-device.reg");
    clean = ReadFile("examples/clean-device.reg");
    ASSERT_FALSE(damaged.empty());
    ASSERT_FALSE(clean.empty());
}

void ScanTool::TearDown() {
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(dir, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored))
        if (!fs::is_symlink(it->symlink_status()))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir, ignored);
}

ToolRun ScanTool::Tool(const std::string& args, const std::string& prefix, const fs::path& folder,
                       const std::string& stdoutTo) {
    // Beside the folder, so that a read-only folder does not matter.
    fs::path out = dir.string() + ".out", err = dir.string() + ".err";
    std::string command = prefix + "\"" + std::string(PORTMEDIC_SCAN_TOOL) + "\" " + args +
                          (stdoutTo.empty() ? " >\"" + out.string() + "\"" : " " + stdoutTo) +
                          " 2>\"" + err.string() + "\"";
#ifdef _WIN32
    // cmd /c drops the first and the last quote of a line that begins
    // with one: one more pair keeps the program's own quotes.
    command = "\"cd /d \"" + folder.string() + "\" && " + command + "\"";
#else
    // A tool that hangs (reading a FIFO or an endless device) fails its
    // case instead of the whole suite; the limit is far above any run.
    command = "cd \"" + folder.string() + "\" && timeout -s KILL 120 " + command;
#endif
    int raw = std::system(command.c_str());
#ifdef _WIN32
    // Under Wine, with several suites starting programs at once, system()
    // now and then cannot start cmd.exe at all (-1, and not even the
    // redirection made its file), or cmd.exe cannot start the tool (9009,
    // with cmd's own message as all there is on stderr). Only such a start
    // is tried again; a run that started is never repeated.
    auto notStarted = [&] {
        return (raw == -1 && !fs::exists(err)) ||
               (raw == 9009 && ReadFile(err).rfind("Can't recognize", 0) == 0);
    };
    for (int tries = 0; notStarted() && tries < 3; ++tries) raw = std::system(command.c_str());
#endif
    ToolRun run{StatusOf(raw), TextLines(ReadFile(out)), TextLines(ReadFile(err))};
    fs::remove(out);
    fs::remove(err);
    return run;
}

#ifndef _WIN32
// Starts the tool directly with the space-separated arguments: with
// signal held back and already pending when it starts (it arrives the
// moment the tool lets it, while a repair is being saved), or with the
// standard output a pipe that nobody reads. The signal is raised by a
// shell that then becomes the tool, so it is pending however late this
// process runs again: a signal sent from here after the start could
// come when the save is over.
ToolRun ScanTool::Spawn(const std::string& args, const fs::path& folder, int signal,
                        bool brokenPipe) {
    fs::path out = dir.string() + ".out", err = dir.string() + ".err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    int pipeEnds[2] = {-1, -1};
    if (brokenPipe && pipe(pipeEnds) == 0) {
        close(pipeEnds[0]);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT, 0644);
    }
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT, 0644);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t held, defaults;
    sigemptyset(&held);
    if (signal) sigaddset(&held, signal);
    posix_spawnattr_setsigmask(&attr, &held);
    defaults = held;
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<std::string> words = {PORTMEDIC_SCAN_TOOL};
    if (signal)
        words = {"/bin/sh", "-c", "kill -" + std::to_string(signal) + " $$ && exec \"$0\" \"$@\"",
                 PORTMEDIC_SCAN_TOOL};
    std::istringstream split(args);
    for (std::string word; split >> word;) words.push_back(word);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    pid_t pid = -1;
    int raw = -1;
    if (posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ) == 0) {
        waitpid(pid, &raw, 0);
    }
    if (pipeEnds[1] >= 0) close(pipeEnds[1]);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ToolRun run{StatusOf(raw), ReadFile(out), ReadFile(err)};
    fs::remove(out);
    fs::remove(err);
    return run;
}
#endif

std::string ScanTool::Q(const fs::path& p) { return "\"" + p.string() + "\""; }

std::string ScanTool::OtherFiles(std::initializer_list<const char*> known) {
    std::string others;
    for (const auto& entry : fs::directory_iterator(dir)) {
        std::string name = entry.path().filename().string();
        bool listed = false;
        for (const char* k : known) listed = listed || name == k;
        if (!listed) others += name + " ";
    }
    return others;
}

std::string ScanTool::Fixture(const std::string& content) {
    if (content == "@damaged") return damaged;
    if (content == "@clean") return clean;
    if (content == "@repaired") return repaired;
    auto named = fixtures.find(content);
    return named != fixtures.end() ? named->second : content;
}

// Makes an entry; modes are set afterwards, children before folders.
void ScanTool::Make(const fs::path& folder, const Entry& e) {
    fs::path path = folder / e.name;
    switch (e.kind) {
    case kFolder: fs::create_directories(path); break;
    case kLink:
#ifdef _WIN32
        MakeLinuxLink(folder, e.name, e.content);
#else
        fs::create_symlink(e.content, path);
#endif
        break;
    case kFifo:
#ifndef _WIN32
        mkfifo(path.c_str(), 0644);
#endif
        break;
    case kFile:
        if (e.content == "@big") {
            WriteFile(path, "");
            fs::resize_file(path, kBig);
        } else {
            WriteFile(path, Fixture(e.content));
        }
        break;
    }
#ifndef _WIN32
    if (e.owner >= 0) {
        ASSERT_EQ(lchown(path.c_str(), e.owner, e.owner), 0);
    }
#endif
}

void ScanTool::Lock(const fs::path& path, bool on) {
#ifdef _WIN32
    if (on)
        held = CreateFileW(path.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    else
        CloseHandle(static_cast<HANDLE>(held));
#else
    int fd = open(path.c_str(), O_RDONLY);
    int flags = 0;
    ASSERT_EQ(ioctl(fd, FS_IOC_GETFLAGS, &flags), 0) << "no immutable files here";
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    ASSERT_EQ(ioctl(fd, FS_IOC_SETFLAGS, &flags), 0);
    close(fd);
#endif
}

// Checks an entry afterwards: kind, bytes, mode, owner.
void ScanTool::Check(const fs::path& folder, const Entry& e) {
    SCOPED_TRACE(e.name);
    fs::path path = folder / e.name;
    fs::file_status st = fs::symlink_status(path);
    switch (e.kind) {
    case kFolder: EXPECT_TRUE(fs::is_directory(st)); break;
    case kLink:
#ifdef _WIN32
        // Wine shows a Linux link as the file it names.
        EXPECT_EQ(ReadFile(path), ReadFile(path.parent_path() / e.content));
#else
        ASSERT_TRUE(fs::is_symlink(st));
        EXPECT_EQ(fs::read_symlink(path).string(), e.content);
#endif
        break;
    case kFifo: EXPECT_TRUE(fs::is_fifo(st)); break;
    case kFile:
        ASSERT_TRUE(fs::is_regular_file(st));
        if (e.content == "@big")
            EXPECT_EQ(fs::file_size(path), kBig);
        else
            EXPECT_EQ(ReadFile(path), Fixture(e.content));
        break;
    }
    if (e.mode) {
        int mode = int(st.permissions()) & 07777;
#ifdef _WIN32
        // Windows knows only read-only or not.
        EXPECT_EQ(mode & 0222, (e.mode & 0200) ? 0222 : 0);
#else
        EXPECT_EQ(mode, e.mode) << std::oct << mode;
#endif
    }
#ifndef _WIN32
    struct stat info;
    if (e.owner >= 0 && lstat(path.c_str(), &info) == 0) {
        EXPECT_EQ(int(info.st_uid), e.owner);
        EXPECT_EQ(int(info.st_gid), e.owner);
    }
#endif
}

void ScanTool::RunCases(const std::vector<Case>& cases) {
    Tool("--repair --quiet --output " + Q(dir / "repaired.reg") + " examples/damaged-device.reg");
    repaired = ReadFile(dir / "repaired.reg");
    ASSERT_FALSE(repaired.empty());
#ifndef _WIN32
    bool root = geteuid() == 0;
#endif
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::path folder = dir / std::to_string(++number);
        std::string prefix;
#ifdef _WIN32
        if (c.needs & (kPosix | kRoot | kNobody)) continue;  // POSIX only
        if ((c.needs & kLinks) && !UnderWine()) {
            std::cout << "[  SKIPPED ] " << c.what << ": links are made only under Wine\n";
            continue;
        }
#else
        if (c.needs & kWindows) continue;
        if ((c.needs & (kRoot | kLockable)) && !root) {
            std::cout << "[  SKIPPED ] " << c.what << ": needs root\n";
            continue;
        }
        if ((c.needs & kNobody) && root) {
            // root writes anywhere: such a case runs as nobody.
            if (std::system("setpriv --version >/dev/null 2>&1") != 0) {
                std::cout << "[  SKIPPED ] " << c.what << ": root without setpriv\n";
                continue;
            }
            prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        }
#endif
        fs::create_directories(folder);
        for (const Entry& e : c.before) Make(folder, e);
        for (auto e = c.before.rbegin(); e != c.before.rend(); ++e)
            if (e->mode) fs::permissions(folder / e->name, fs::perms(e->mode));
        for (const Entry& e : c.before)
            if (e.locked) Lock(folder / e.name, true);
        ToolRun run;
#ifndef _WIN32
        if (c.signal || c.stdoutTo == "broken pipe")
            run = Spawn(c.args, folder, c.signal, c.signal == 0);
        else
#endif
            run = Tool(c.args, prefix, folder, c.stdoutTo);
        for (const Entry& e : c.before)
            if (e.locked) Lock(folder / e.name, false);
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);

        EXPECT_EQ(run.status, c.status) << run.err;
        if (c.err.empty())
            EXPECT_EQ(run.err, "");
        else
            EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        if (c.out.empty())
            EXPECT_EQ(run.out, "");
        else
            EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        std::vector<fs::path> expected;
        for (const Entry& e : c.after) {
            Check(folder, e);
            expected.push_back(e.name);
        }
        for (auto it = fs::recursive_directory_iterator(folder);
             it != fs::recursive_directory_iterator(); ++it) {
            // Compared as paths: a name the narrow code page cannot spell still matches.
            fs::path name = it->path().lexically_relative(folder);
            EXPECT_NE(std::find(expected.begin(), expected.end(), name), expected.end())
                << "left behind: " << name.generic_string();
        }
    }
}
