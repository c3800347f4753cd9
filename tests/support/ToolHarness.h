// Running the built portmedic-scan from a test (the cli suite).
//
// What it offers:
//   - ScanTool, a fixture with a fresh temporary folder per test (dir) and
//     the bundled examples read into damaged and clean;
//   - Tool(): the tool run through the shell with a command line, its exit
//     status (128 + n when signal n ended it), standard output and error;
//   - Spawn() (POSIX): the tool started directly with a signal already
//     pending, or with its standard output a pipe nobody reads;
//   - RunCases(): a table of cases, each laying out a folder of its own
//     (files, links, FIFOs, folders, with modes, owners and locks), running
//     the tool there and checking its status, a part of its messages and
//     every entry of the folder afterwards, nothing left behind;
//   - file contents by name: "@damaged", "@clean", "@repaired" (the damaged
//     example as --repair writes it), "@big" (a sparse file past 4 GiB) and
//     whatever a test adds to fixtures.
// The tool is PORTMEDIC_SCAN_TOOL, which the build defines for the suite.
#pragma once

#include <gtest/gtest.h>

#include <stdint.h>

#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const std::string& content);

// A Windows console program ends its text lines with CR LF; the expected
// texts of the tests end them with LF alone: CR LF becomes LF there.
std::string TextLines(std::string text);

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

// One entry of a case's folder. A file's content may name a fixture.
enum Kind { kFile, kLink, kFifo, kFolder };
struct Entry {
    std::string name;
    Kind kind;
    std::string content;  // a file's bytes, a link's target
    int mode;             // 0: as created, not checked
    int owner;            // -1: as created, not checked; else owner and group (root)
    bool locked;          // immutable (root) or, on Windows, held open by another program
};
Entry File(std::string name, std::string content, int mode = 0, int owner = -1);
Entry Locked(std::string name, std::string content);
Entry Link(std::string name, std::string to);
Entry Fifo(std::string name);
Entry Folder(std::string name, int mode = 0);

// What a case needs to run. kLockable: root on POSIX (an immutable file),
// anyone on Windows (a file held open). kLinks: symbolic links, on POSIX
// or under Wine, where they are Linux links that Windows programs see as
// the files they name.
enum Needs {
    kAny = 0,
    kPosix = 1,
    kRoot = 2,
    kNobody = 4,
    kLockable = 8,
    kWindows = 16,
    kLinks = 32
};

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

// The size of "@big".
extern const uintmax_t kBig;

class ScanTool : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs the tool with the arguments (a shell command line) in folder,
    // optionally through a prefix such as a user switch.
    ToolRun Tool(const std::string& args, const std::string& prefix = "",
                 const fs::path& folder = fs::current_path(), const std::string& stdoutTo = "");
#ifndef _WIN32
    // Starts the tool directly with the space-separated arguments: with
    // signal held back and already pending when it starts (it arrives the
    // moment the tool lets it), or with the standard output a pipe that
    // nobody reads.
    ToolRun Spawn(const std::string& args, const fs::path& folder, int signal, bool brokenPipe);
#endif
    // Runs each case in a folder of its own and checks the exit status, the
    // messages and every entry of the folder afterwards.
    void RunCases(const std::vector<Case>& cases);

    // A path quoted for the command line.
    std::string Q(const fs::path& p);
    // Names in the folder besides the ones given, each followed by a space.
    std::string OtherFiles(std::initializer_list<const char*> known);
    // A file's content: the fixture it names, or itself.
    std::string Fixture(const std::string& content);

    fs::path dir;
    std::string damaged, clean, repaired;
    std::map<std::string, std::string> fixtures;  // more contents by name, "@name"

private:
    void Make(const fs::path& folder, const Entry& e);
    void Lock(const fs::path& path, bool on);
    void Check(const fs::path& folder, const Entry& e);
    void* held = nullptr;  // Windows: the handle that holds a file open
};
