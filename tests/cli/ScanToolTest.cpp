// Runs the built portmedic-scan on files in a fresh temporary folder.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#ifndef _WIN32
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

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

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
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(dir, ignored);
    }

    // Runs the tool with the arguments (a shell command line), optionally
    // through a prefix such as a user switch.
    ToolRun Tool(const std::string& args, const std::string& prefix = "") {
        // Beside the folder, so that a read-only folder does not matter.
        fs::path out = dir.string() + ".out", err = dir.string() + ".err";
        std::string command = prefix + "\"" + std::string(PORTMEDIC_SCAN_TOOL) + "\" " + args +
                              " >\"" + out.string() + "\" 2>\"" + err.string() + "\"";
#ifdef _WIN32
        // cmd /c drops the first and the last quote of a line that begins
        // with one: one more pair keeps the program's own quotes.
        command = "\"" + command + "\"";
#endif
        int raw = std::system(command.c_str());
#ifdef _WIN32
        int status = raw;
#else
        int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
        ToolRun run{status, TextLines(ReadFile(out)), TextLines(ReadFile(err))};
        fs::remove(out);
        fs::remove(err);
        return run;
    }

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

    fs::path dir;
    std::string damaged, clean;
};

}  // namespace

// Detect only: the report with the fault markers, exit 1, file untouched.
TEST_F(ScanTool, DetectDamaged) {
    WriteFile(dir / "device.reg", damaged);
    ToolRun run = Tool(Q(dir / "device.reg"));
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.out, kDetectReport);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(ReadFile(dir / "device.reg"), damaged);
    EXPECT_EQ(OtherFiles({"device.reg"}), "");
}

// Detect on a healthy device (version 5, UTF-16): all good, exit 0, and no
// message, as the window shows none after detection.
TEST_F(ScanTool, DetectClean) {
    WriteFile(dir / "device.reg", clean);
    ToolRun run = Tool(Q(dir / "device.reg"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, kCleanReport);
}

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

// Repair of a healthy file in place changes nothing and makes no backup.
TEST_F(ScanTool, RepairCleanInPlace) {
    WriteFile(dir / "device.reg", clean);
    ToolRun run = Tool("--repair " + Q(dir / "device.reg"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, kCleanReport + "\n" + kNotFound);
    EXPECT_EQ(ReadFile(dir / "device.reg"), clean);
    EXPECT_EQ(OtherFiles({"device.reg"}), "");
}

// --quiet prints nothing; the exit status still tells.
TEST_F(ScanTool, Quiet) {
    WriteFile(dir / "device.reg", damaged);
    ToolRun detect = Tool("--quiet " + Q(dir / "device.reg"));
    EXPECT_EQ(detect.status, 1);
    EXPECT_EQ(detect.out + detect.err, "");
    ToolRun repair = Tool("--quiet --repair -o " + Q(dir / "f.reg") + " " + Q(dir / "device.reg"));
    EXPECT_EQ(repair.status, 0);
    EXPECT_EQ(repair.out + repair.err, "");
}

// Usage errors exit 2 with a message on stderr; --help and --version exit 0.
TEST_F(ScanTool, Usage) {
    WriteFile(dir / "device.reg", damaged);
    std::string file = Q(dir / "device.reg");
    struct Case {
        std::string args;
        int status;
        const char* expected;  // in stdout for status 0, in stderr otherwise
    } cases[] = {
        {"", 2, "no registry file given"},
        {file + " " + file, 2, "more than one registry file"},
        {"--frobnicate " + file, 2, "unknown option '--frobnicate'"},
        {"--output " + Q(dir / "x.reg") + " " + file, 2, "only used with --repair"},
        {"--repair " + file + " --output", 2, "needs a file name"},
        {"--help", 0, "Usage: portmedic-scan [--repair] [--output FILE] [--quiet] REGFILE"},
        {"--version", 0, "portmedic-scan"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        ToolRun run = Tool(c.args);
        EXPECT_EQ(run.status, c.status);
        const std::string& text = c.status == 0 ? run.out : run.err;
        EXPECT_NE(text.find(c.expected), std::string::npos)
            << "out: " << run.out << "err: " << run.err;
        if (c.status != 0) {
            EXPECT_EQ(run.out, "");
        }
    }
    EXPECT_EQ(OtherFiles({"device.reg"}), "");
}

// A missing or malformed file exits 2 naming file and line; nothing is written.
TEST_F(ScanTool, BadInput) {
    WriteFile(dir / "bad.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"Dll\"=\"open\r\n");
    ToolRun run = Tool("--repair " + Q(dir / "bad.reg"));
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("bad.reg:4: unterminated string"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    ToolRun out = Tool("--repair -o " + Q(dir / "out.reg") + " " + Q(dir / "bad.reg"));
    EXPECT_EQ(out.status, 2);
    ToolRun missing = Tool(Q(dir / "missing.reg"));
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("missing.reg"), std::string::npos) << missing.err;
    fs::create_directories(dir / "folder.reg");
    ToolRun folder = Tool(Q(dir / "folder.reg"));
    EXPECT_EQ(folder.status, 2);
    EXPECT_NE(folder.err.find("folder.reg"), std::string::npos) << folder.err;
    EXPECT_EQ(OtherFiles({"bad.reg", "folder.reg"}), "");
}

// A report that cannot be written out is an error, not a silent success.
TEST_F(ScanTool, ReportToFullOutput) {
#ifdef _WIN32
    GTEST_SKIP() << "needs /dev/full";
#else
    WriteFile(dir / "device.reg", clean);
    fs::path err = dir.string() + ".err";
    std::string command = "\"" + std::string(PORTMEDIC_SCAN_TOOL) + "\" " + Q(dir / "device.reg") +
                          " >/dev/full 2>\"" + err.string() + "\"";
    int raw = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 2);
    EXPECT_NE(ReadFile(err).find("cannot write the report"), std::string::npos) << ReadFile(err);
    fs::remove(err);
#endif
}

// An output folder that does not exist: exit 2, nothing written.
TEST_F(ScanTool, OutputFolderMissing) {
    WriteFile(dir / "device.reg", damaged);
    ToolRun run =
        Tool("--repair -o " + Q(dir / "none" / "fixed.reg") + " " + Q(dir / "device.reg"));
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("no file was changed"), std::string::npos) << run.err;
    EXPECT_EQ(OtherFiles({"device.reg"}), "");
}

// A read-only folder: exit 2 with a message, and every existing file (the
// registry file, an old backup, an old output) exactly as it was.
TEST_F(ScanTool, ReadOnlyFolder) {
#ifdef _WIN32
    GTEST_SKIP() << "folder permissions are POSIX here";
#else
    // root writes into read-only folders; run the tool as nobody then.
    std::string prefix;
    if (geteuid() == 0) {
        if (std::system("setpriv --version >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "running as root without setpriv";
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    WriteFile(dir / "device.reg", damaged);
    WriteFile(dir / "device.reg.bak", "old backup");
    WriteFile(dir / "fixed.reg", "old output");
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                             fs::perms::group_exec | fs::perms::others_read |
                             fs::perms::others_exec);

    ToolRun inPlace = Tool("--repair " + Q(dir / "device.reg"), prefix);
    EXPECT_EQ(inPlace.status, 2) << inPlace.out;
    EXPECT_NE(inPlace.err.find("no file was changed"), std::string::npos) << inPlace.err;
    ToolRun output =
        Tool("--repair -o " + Q(dir / "fixed.reg") + " " + Q(dir / "device.reg"), prefix);
    EXPECT_EQ(output.status, 2) << output.out;
    EXPECT_NE(output.err.find("fixed.reg"), std::string::npos) << output.err;

    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(ReadFile(dir / "device.reg"), damaged);
    EXPECT_EQ(ReadFile(dir / "device.reg.bak"), "old backup");
    EXPECT_EQ(ReadFile(dir / "fixed.reg"), "old output");
    EXPECT_EQ(OtherFiles({"device.reg", "device.reg.bak", "fixed.reg"}), "");
#endif
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
