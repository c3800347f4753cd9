// Runs the built portmedic-scan on files in a fresh temporary folder.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

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

namespace fs = std::filesystem;

namespace {

const std::string kFault = " <<<< \xC2\xA1"
                           "FALLO DETECTADO AQU\xC3\x8D!";
const std::string kFixed = "  \xC2\xA1"
                           "ARREGLADO!";
const std::string kFixedMessage =
    " Se ha corregido el fallo. Deber\xC3\xA1 usted reiniciar su Pocket PC con un reset blando "
    "para que todas las aplicaciones puedan acceder al GPS\n";
const std::string kNotFound = "No se ha encontrado el problema Bluetooth de ORBINA en esta PDA.\n";

const std::string kDetectReport = "COM1:  => Dll: SERIAL.DLL\n"
                                  "COM2:  => Dll: SERIAL.DLL\n"
                                  "COM5:  => Dll: OBBTDEV.DLL" +
                                  kFault +
                                  "\n"
                                  "COM0 - 'BuiltIn'  => Dll: SERIAL.DLL\n"
                                  "COM1 - 'BuiltIn'  => Dll: SERIAL.DLL\n"
                                  "COM2 - 'BuiltIn'  => Dll: SERIAL.DLL\n"
                                  "COM5 - 'BuiltIn'  => Dll: OBBTDEV.DLL" +
                                  kFault +
                                  "\n"
                                  "COM8 - 'BuiltIn'  => Dll: ---BTCEIF.DLL" +
                                  kFault + "\n";

const std::string kRepairReport = "COM1:  => Dll: SERIAL.DLL\n"
                                  "COM2:  => Dll: SERIAL.DLL\n"
                                  "COM5:  => Dll: OBBTDEV.DLL" +
                                  kFixed +
                                  "\n"
                                  "COM0 - 'BuiltIn'  => Dll: SERIAL.DLL\n"
                                  "COM1 - 'BuiltIn'  => Dll: SERIAL.DLL\n"
                                  "COM2 - 'BuiltIn'  => Dll: SERIAL.DLL\n"
                                  "COM5 - 'BuiltIn'  => Dll: BTCEIF.DLL\n"
                                  "COM8 - 'BuiltIn'  => Dll: ---BTCEIF.DLL" +
                                  kFixed +
                                  "\n"
                                  "\n" +
                                  kFixedMessage;

const std::string kCleanReport = "COM1:  => Dll: SERIAL.DLL\n"
                                 "COM2:  => Dll: SERIAL.DLL\n"
                                 "COM5:  => Dll: BTCEIF.DLL\n"
                                 "COM0 - 'BuiltIn'  => Dll: SERIAL.DLL\n"
                                 "COM1 - 'BuiltIn'  => Dll: SERIAL.DLL\n"
                                 "COM2 - 'BuiltIn'  => Dll: SERIAL.DLL\n"
                                 "COM5 - 'BuiltIn'  => Dll: BTCEIF.DLL\n"
                                 "COM8 - 'BuiltIn'  => Dll: BTCEIF.DLL\n"
                                 "\n"
                                 "Todo perfecto!!!\n";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// A Windows console program ends its text lines with CR LF; the expected
// texts here end them with LF alone.
std::string TextLines(std::string text) {
#ifdef _WIN32
    size_t at = 0;
    while ((at = text.find("\r\n", at)) != std::string::npos) text.erase(at, 1);
#endif
    return text;
}

int StatusOf(int raw) {
#ifdef _WIN32
    return raw;
#else
    // A shell reports a program ended by signal n as 128 + n.
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : -1;
#endif
}

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

// One entry of a case's folder. Contents starting with '@' name the
// fixtures: @damaged, @repaired, @clean, @big (kBig bytes of nothing).
enum Kind { kFile, kLink, kFifo, kFolder };
struct Entry {
    std::string name;
    Kind kind;
    std::string content;  // a file's bytes, a link's target
    int mode;             // 0: as created, not checked
    int owner;            // -1: as created, not checked; else owner and group (root)
    bool locked;          // immutable (root) or, on Windows, held open by another program
};
Entry File(std::string name, std::string content, int mode = 0, int owner = -1) {
    return {name, kFile, content, mode, owner, false};
}
Entry Locked(std::string name, std::string content) { return {name, kFile, content, 0, -1, true}; }
Entry Link(std::string name, std::string to) { return {name, kLink, to, 0, -1, false}; }
Entry Fifo(std::string name) { return {name, kFifo, "", 0, -1, false}; }
Entry Folder(std::string name, int mode = 0) { return {name, kFolder, "", mode, -1, false}; }

// kLockable: root on POSIX (an immutable file), anyone on Windows (a file
// held open).
enum Needs { kAny = 0, kPosix = 1, kRoot = 2, kNobody = 4, kLockable = 8, kWindows = 16 };

struct Case {
    const char* what;
    std::vector<Entry> before;
    std::string args;  // run in the case's folder
    int status;
    std::string err;           // a part of stderr; empty: stderr is empty
    std::string out;           // a part of stdout; empty: stdout is empty
    std::vector<Entry> after;  // everything in the folder afterwards
    int needs = kAny;
    std::string stdoutTo = "";  // a redirection instead of the captured stdout, or "broken pipe"
    int signal = 0;             // POSIX: blocked when started, sent at once
};

// Past 4 GiB (sparse), so that no 32-bit file size or offset holds it. Wine
// reserves a file's whole length on disk when it is extended, so there the
// file stays at 300 MiB: Windows' file sizes are 64-bit in any build.
#ifdef _WIN32
const uintmax_t kBig = uintmax_t(300) << 20;
#else
const uintmax_t kBig = (uintmax_t(4) << 30) + (300 << 20);
#endif

class ScanTool : public ::testing::Test {
protected:
    void SetUp() override {
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
    void TearDown() override {
        std::error_code ignored;
        for (auto it = fs::recursive_directory_iterator(dir, ignored);
             it != fs::recursive_directory_iterator(); it.increment(ignored))
            if (!fs::is_symlink(it->symlink_status()))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(dir, ignored);
    }

    // Runs the tool with the arguments (a shell command line) in folder,
    // optionally through a prefix such as a user switch.
    ToolRun Tool(const std::string& args, const std::string& prefix = "",
                 const fs::path& folder = fs::current_path(), const std::string& stdoutTo = "") {
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
    ToolRun Spawn(const std::string& args, const fs::path& folder, int signal, bool brokenPipe) {
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
            words = {"/bin/sh", "-c",
                     "kill -" + std::to_string(signal) + " $$ && exec \"$0\" \"$@\"",
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

    std::string Q(const fs::path& p) { return "\"" + p.string() + "\""; }

    // Names in the folder besides the ones given.
    std::string OtherFiles(std::initializer_list<const char*> known) {
        std::string others;
        for (const auto& entry : fs::directory_iterator(dir)) {
            std::string name = entry.path().filename().string();
            bool listed = false;
            for (const char* k : known) listed = listed || name == k;
            if (!listed) others += name + " ";
        }
        return others;
    }

    std::string Fixture(const std::string& content) {
        if (content == "@damaged") return damaged;
        if (content == "@clean") return clean;
        if (content == "@repaired") return repaired;
        return content;
    }

    // Makes an entry; modes are set afterwards, children before folders.
    void Make(const fs::path& folder, const Entry& e) {
        fs::path path = folder / e.name;
        switch (e.kind) {
        case kFolder: fs::create_directories(path); break;
        case kLink: fs::create_symlink(e.content, path); break;
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

    void Lock(const fs::path& path, bool on) {
#ifdef _WIN32
        if (on)
            held = CreateFileW(path.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        else
            CloseHandle(held);
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
    void Check(const fs::path& folder, const Entry& e) {
        SCOPED_TRACE(e.name);
        fs::path path = folder / e.name;
        fs::file_status st = fs::symlink_status(path);
        switch (e.kind) {
        case kFolder: EXPECT_TRUE(fs::is_directory(st)); break;
        case kLink:
            ASSERT_TRUE(fs::is_symlink(st));
            EXPECT_EQ(fs::read_symlink(path).string(), e.content);
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

    // Runs each case in a folder of its own and checks the exit status, the
    // messages and every entry of the folder afterwards.
    void RunCases(const std::vector<Case>& cases) {
        Tool("--repair --quiet --output " + Q(dir / "repaired.reg") +
             " examples/damaged-device.reg");
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
            std::vector<std::string> expected;
            for (const Entry& e : c.after) {
                Check(folder, e);
                expected.push_back(e.name);
            }
            for (auto it = fs::recursive_directory_iterator(folder);
                 it != fs::recursive_directory_iterator(); ++it) {
                std::string name = it->path().lexically_relative(folder).generic_string();
                EXPECT_NE(std::find(expected.begin(), expected.end(), name), expected.end())
                    << "left behind: " << name;
            }
        }
    }

    fs::path dir;
    std::string damaged, clean, repaired;
#ifdef _WIN32
    HANDLE held = INVALID_HANDLE_VALUE;
#endif
};

#ifdef _WIN32
const char kIsFolder[] = "it is a folder";
const char kLockedReason[] = "it is open in another program";
#else
const char kIsFolder[] = "Is a directory";
const char kLockedReason[] = "Operation not permitted";
#endif

// A registry whose values hold terminal controls and Windows-1252 letters.
const std::string kControls =
    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial]\r\n"
    "\"Dll\"=\"\x1B]0;pwn\x07\x1B[31mX\tY.DLL\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial2]\r\n\"Dll\"=\"\x80\x81\xE9.DLL\"\r\n";

}  // namespace

// Each case: what it checks; the folder before; the arguments; the exit
// status; a part of stderr and of stdout ("" for none); the whole folder
// afterwards; what the case needs. Kept one or two lines each, by hand.
// clang-format off

// What the tool prints for a command line and a file, and what it refuses
// to read.
TEST_F(ScanTool, CommandLineAndInput) {
    const std::string d = "@damaged", c = "@clean";
    const std::string bad = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"Dll\"=\"open\r\n";
    const std::string cut = "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial5]\r\n\"Dll\"=\"OBBTDEV.DLL\"\r\n\"Index\"=dwo";
    RunCases({
        {"detect: fault markers, exit 1", {File("d.reg", d)}, "d.reg", 1, "", kDetectReport, {File("d.reg", d)}},
        {"detect, version 5 UTF-16: all good, no message", {File("c.reg", c)}, "c.reg", 0, "", kCleanReport, {File("c.reg", c)}},
        {"a healthy file is not rewritten and gets no backup", {File("c.reg", c)}, "--repair c.reg", 0, "",
         kCleanReport + "\n" + kNotFound, {File("c.reg", c)}},
        {"--quiet prints nothing", {File("d.reg", d)}, "--quiet d.reg", 1, "", "", {File("d.reg", d)}},
        {"--quiet repair prints nothing", {File("d.reg", d)}, "--quiet --repair -o f.reg d.reg", 0, "", "", {File("d.reg", d), File("f.reg", "@repaired")}},
        {"--output=FILE; a new output takes REGFILE's private mode", {File("d.reg", d, 0600)},
         "--repair --output=f.reg d.reg", 0, "", kRepairReport, {File("d.reg", d, 0600), File("f.reg", "@repaired", 0600)}},
        {"no file", {}, "", 2, "no registry file given", "", {}},
        {"two files", {}, "a.reg b.reg", 2, "more than one registry file", "", {}},
        {"unknown option", {}, "--frobnicate a.reg", 2, "unknown option '--frobnicate'", "", {}},
        {"--output without --repair", {}, "-o x.reg a.reg", 2, "only used with --repair", "", {}},
        {"--output without a name", {}, "--repair a.reg --output", 2, "needs a file name", "", {}},
        {"--help", {}, "--help", 0, "", "Usage: portmedic-scan [--repair] [--output FILE]", {}},
        {"--version", {}, "--version", 0, "", "portmedic-scan (PORTMEDIC) ", {}},
        {"an option's control characters are escaped", {}, "\"--\x1B[2J\" a.reg", 2, "unknown option '--\\x1B[2J'", "", {}, kPosix},
        {"--strict: a malformed file, name and line", {File("bad.reg", bad)}, "--strict --repair -o out.reg bad.reg", 2,
         "bad.reg:4: unterminated string", "", {File("bad.reg", bad)}},
        {"a cut-off last line is skipped and named; the damage before it is reported", {File("cut.reg", cut)}, "cut.reg", 1,
         "cut.reg:4: skipped: expected a string, dword:", "COM5 - 'BuiltIn'  => Dll: OBBTDEV.DLL" + kFault, {File("cut.reg", cut)}},
        {"missing file", {}, "missing.reg", 2, "cannot open missing.reg: No such file", "", {}},
        {"a folder: the system's reason", {Folder("folder.reg")}, "folder.reg", 2,
         std::string("cannot read folder.reg: ") + kIsFolder, "", {Folder("folder.reg")}},
        {"larger than 256 MiB: refused unread", {File("big.reg", "@big")}, "--repair big.reg", 2,
         "big.reg is larger than 256 MiB", "", {File("big.reg", "@big")}},
        {"larger than 256 MiB: refused unmapped", {File("big.reg", "@big")}, "big.reg", 2,
         "big.reg is larger than 256 MiB", "", {File("big.reg", "@big")}},
        {"an endless device: reading stops at 256 MiB", {}, "/dev/zero", 2, "/dev/zero is larger than 256 MiB", "", {}, kPosix},
        {"control characters escaped, C1 too; the euro sign in UTF-8", {File("c.reg", kControls)}, "c.reg", 0, "",
         "COM1 - 'BuiltIn'  => Dll: \\x1B]0;PWN\\x07\\x1B[31MX\\x09Y.DLL\n"
         "COM2 - 'BuiltIn'  => Dll: \xE2\x82\xAC\\x81\xC3\xA9.DLL\n", {File("c.reg", kControls)}},
    });
}

// Which files a repair writes, and what they look like afterwards.
TEST_F(ScanTool, RepairTargets) {
    const std::string d = "@damaged", r = "@repaired", unchanged = "; no file was changed";
    RunCases({
        {"in place: .bak and file take REGFILE's mode; a read-only old .bak is replaced",
         {File("d.reg", d, 0600), File("d.reg.bak", "old", 0444)}, "--repair d.reg", 0, "", kRepairReport,
         {File("d.reg", r, 0600), File("d.reg.bak", d, 0600)}},
        {"a read-only REGFILE stays read-only", {File("d.reg", d, 0444)}, "--repair d.reg", 0, "", kFixed,
         {File("d.reg", r, 0444), File("d.reg.bak", d, 0444)}},
        {"owner and group kept", {File("d.reg", d, 0640, 65534)}, "--repair d.reg", 0, "", kFixed,
         {File("d.reg", r, 0640, 65534), File("d.reg.bak", d, 0640, 65534)}, kRoot},
        {"stale temporaries of an earlier run are left alone",
         {File("d.reg", d), File("d.reg.tmp0", "x"), File("d.reg.tmp1", "y"), File("d.reg.bak.tmp0", "z")}, "--repair d.reg", 0, "", kFixed,
         {File("d.reg", r), File("d.reg.bak", d), File("d.reg.tmp0", "x"), File("d.reg.tmp1", "y"), File("d.reg.bak.tmp0", "z")}},
        {"a link is followed: the file it names is repaired and backed up beside it",
         {Folder("sub"), File("sub/d.reg", d, 0600), Link("l.reg", "sub/d.reg")}, "--repair l.reg", 0, "", kRepairReport,
         {Folder("sub"), File("sub/d.reg", r, 0600), File("sub/d.reg.bak", d, 0600), Link("l.reg", "sub/d.reg")}, kPosix},
        {"a relative link is followed from its own folder", {Folder("sub"), File("sub/d.reg", d), Link("sub/l.reg", "d.reg")},
         "--repair sub/l.reg", 0, "", kRepairReport, {Folder("sub"), File("sub/d.reg", r), File("sub/d.reg.bak", d), Link("sub/l.reg", "d.reg")}, kPosix},
        {"a FIFO is not repaired in place", {Fifo("f.reg")}, "--repair f.reg", 2,
         "f.reg is a FIFO, not a regular file" + unchanged, "", {Fifo("f.reg")}, kPosix},
        {"a .bak that is REGFILE itself", {File("d.reg", d), Link("d.reg.bak", "d.reg")}, "--repair d.reg", 2,
         "d.reg.bak is d.reg itself", "", {File("d.reg", d), Link("d.reg.bak", "d.reg")}, kPosix},
        {"--output: a link to a device", {File("d.reg", d), Link("o.reg", "/dev/null")}, "--repair -o o.reg d.reg", 2,
         "/dev/null is a character device, not a regular file", "", {File("d.reg", d), Link("o.reg", "/dev/null")}, kPosix},
        {"--output: a FIFO", {File("d.reg", d), Fifo("f")}, "--repair -o f d.reg", 2,
         "f is a FIFO, not a regular file", "", {File("d.reg", d), Fifo("f")}, kPosix},
        {"--output: a folder", {File("d.reg", d), Folder("sub")}, "--repair -o sub d.reg", 2,
         "sub is a folder, not a regular file", "", {File("d.reg", d), Folder("sub")}},
        {"--output: a link to a file replaces that file, keeping its mode",
         {File("d.reg", d), Folder("sub"), File("sub/o.reg", "old", 0640), Link("o.reg", "sub/o.reg")}, "--repair -o o.reg d.reg", 0, "", kRepairReport,
         {File("d.reg", d), Folder("sub"), File("sub/o.reg", r, 0640), Link("o.reg", "sub/o.reg")}, kPosix},
        {"--output: REGFILE itself", {File("d.reg", d)}, "--repair -o ./d.reg d.reg", 2,
         "--output names the registry file itself", "", {File("d.reg", d)}},
        {"--output in a missing folder", {File("d.reg", d)}, "--repair -o none/f.reg d.reg", 2, unchanged, "", {File("d.reg", d)}},
        {"a .bak that cannot be replaced: no file changed, no temporary left",
         {File("d.reg", d), Locked("d.reg.bak", "old")}, "--repair d.reg", 2, std::string("cannot replace d.reg.bak: ") + kLockedReason + unchanged, "",
         {File("d.reg", d), File("d.reg.bak", "old")}, kLockable},
        {"REGFILE open in another program: the old .bak stays too", {Locked("d.reg", d), File("d.reg.bak", "old")},
         "--repair d.reg", 2, "cannot replace d.reg: it is open in another program" + unchanged, "",
         {File("d.reg", d), File("d.reg.bak", "old")}, kWindows},
        {"a read-only folder, in place", {Folder("ro", 0555), File("ro/d.reg", d), File("ro/d.reg.bak", "old")},
         "--repair ro/d.reg", 2, unchanged, "", {Folder("ro"), File("ro/d.reg", d), File("ro/d.reg.bak", "old")}, kPosix | kNobody},
        {"a read-only folder, --output", {Folder("ro", 0555), File("ro/d.reg", d), File("ro/f.reg", "old")},
         "--repair -o ro/f.reg ro/d.reg", 2, "ro/f.reg", "", {Folder("ro"), File("ro/d.reg", d), File("ro/f.reg", "old")}, kPosix | kNobody},
    });
}

// Signals while a repair is saved, and a report that cannot be printed.
TEST_F(ScanTool, SignalsAndOutput) {
    const std::string d = "@damaged", r = "@repaired";
    const std::vector<Entry> before = {File("d.reg", d, 0600), File("d.reg.bak", "old")};
    const std::vector<Entry> repaired = {File("d.reg", r, 0600), File("d.reg.bak", d, 0600)};
    const std::string saved = "cannot write the report to the standard output; the repair was "
                              "saved in d.reg (the original is in d.reg.bak)";
    RunCases({
        // The status is 128 + the signal's number (SIGINT 2, SIGTERM 15, SIGHUP 1).
        {"SIGINT: temporaries removed, files as they were", before, "--repair d.reg", 130, "", "", before, kPosix, "", 2},
        {"SIGTERM", before, "--repair d.reg", 143, "", "", before, kPosix, "", 15},
        {"SIGHUP", before, "--repair d.reg", 129, "", "", before, kPosix, "", 1},
        {"standard output full after a saved repair", before, "--repair d.reg", 2, saved, "", repaired, kPosix, ">/dev/full"},
        {"standard output closed after a saved repair", before, "--repair d.reg", 2, saved, "", repaired, kPosix, ">&-"},
        {"through a link, the original's copy is named where it lies", {Folder("sub"), File("sub/d.reg", d), Link("l.reg", "sub/d.reg")},
         "--repair l.reg", 2, "saved in l.reg (the original is in sub/d.reg.bak)", "",
         {Folder("sub"), File("sub/d.reg", r), File("sub/d.reg.bak", d), Link("l.reg", "sub/d.reg")}, kPosix, ">/dev/full"},
        {"a pipe nobody reads after a saved repair", before, "--repair d.reg", 2, saved, "", repaired, kPosix, "broken pipe"},
        {"standard output full, detect only", {File("d.reg", d)}, "d.reg", 2,
         "cannot write the report to the standard output\n", "", {File("d.reg", d)}, kPosix, ">/dev/full"},
    });
}

// clang-format on

// Repair into another file: fixed markers and message, input untouched, the
// output in the input's dialect and clean when scanned again.
TEST_F(ScanTool, RepairToOutput) {
    WriteFile(dir / "device.reg", damaged);
    ToolRun run = Tool("--repair --output " + Q(dir / "fixed.reg") + " " + Q(dir / "device.reg"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, kRepairReport);
    EXPECT_EQ(ReadFile(dir / "device.reg"), damaged);
    std::string fixed = ReadFile(dir / "fixed.reg");
    EXPECT_EQ(fixed.compare(0, 10, "REGEDIT4\r\n"), 0);
    EXPECT_NE(fixed.find("[HKEY_CURRENT_USER\\ControlPanel\\Owner]"), std::string::npos);
    EXPECT_EQ(OtherFiles({"device.reg", "fixed.reg"}), "");

    ToolRun again = Tool(Q(dir / "fixed.reg"));
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, kCleanReport);
}

// Repair in place keeps the original bytes in REGFILE.bak and the dialect
// (here version 5, UTF-16LE) in REGFILE.
TEST_F(ScanTool, RepairInPlace) {
    ToolRun convert = Tool("--repair --output " + Q(dir / "v5.reg") + " examples/clean-device.reg");
    ASSERT_EQ(convert.status, 0) << convert.err;
    // A version 5 file with the damage: the clean one with two values broken.
    std::string v5 = ReadFile(dir / "v5.reg");
    std::string from = std::string("B\0T\0C\0E\0I\0F\0.\0D\0L\0L\0", 20);
    size_t at = v5.find(from);
    ASSERT_NE(at, std::string::npos);
    v5.replace(at, from.size(), std::string("O\0B\0B\0T\0D\0E\0V\0.\0D\0L\0L\0", 22));
    WriteFile(dir / "device.reg", v5);
    fs::remove(dir / "v5.reg");

    ToolRun run = Tool("--repair " + Q(dir / "device.reg"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(kFixed), std::string::npos) << run.out;
    EXPECT_EQ(ReadFile(dir / "device.reg.bak"), v5);
    std::string fixed = ReadFile(dir / "device.reg");
    EXPECT_EQ(fixed.compare(0, 4, "\xFF\xFEW\0", 4), 0);
    EXPECT_EQ(fixed.find(std::string("O\0B\0B\0T\0D\0E\0V", 13)), std::string::npos);
    EXPECT_EQ(OtherFiles({"device.reg", "device.reg.bak"}), "");
    EXPECT_EQ(Tool(Q(dir / "device.reg")).status, 0);
}

// A full disk: exit 2 with a message, the registry file as it was and no
// backup or temporary file left (a tiny private file system, root only).
TEST_F(ScanTool, FullDisk) {
#ifdef _WIN32
    GTEST_SKIP() << "needs a private mount";
#else
    if (geteuid() != 0 || std::system("unshare -m true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    fs::path disk = dir / "disk", result = dir / "result.txt", err = dir / "stderr.txt";
    fs::create_directories(disk);
    WriteFile(dir / "device.reg", damaged);
    std::string d = disk.string(), src = (dir / "device.reg").string();
    // 12 KiB: room for the file, not for its backup and the new file too.
    std::string script = "mount -t tmpfs -o size=12k tmpfs \"" + d + "\" && cp \"" + src + "\" \"" +
                         d + "/device.reg\" && \"" + PORTMEDIC_SCAN_TOOL +
                         "\" --repair --quiet \"" + d + "/device.reg\" 2>\"" + err.string() +
                         "\"; echo $? >\"" + result.string() + "\"; cmp -s \"" + src + "\" \"" + d +
                         "/device.reg\" && echo unchanged >>\"" + result.string() + "\"; ls \"" +
                         d + "\" >>\"" + result.string() + "\"";
    std::string command = "unshare -m sh -c '" + script + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadFile(result), "2\nunchanged\ndevice.reg\n");
    EXPECT_NE(ReadFile(err).find("No space left on device; no file was changed"), std::string::npos)
        << ReadFile(err);
#endif
}
