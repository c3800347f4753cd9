// Runs the built portmedic-scan on files in a fresh temporary folder.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "tests/support/ToolHarness.h"

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

#ifdef _WIN32
const char kIsFolder[] = "it is a folder";
const char kLockedReason[] = "it is open in another program";
#else
const char kIsFolder[] = "Is a directory";
const char kLockedReason[] = "Operation not permitted";
#endif

// A registry whose values hold terminal controls, a lone CR and Windows-1252
// letters.
const std::string kControls =
    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial]\r\n"
    "\"Dll\"=\"\x1B]0;pwn\x07\x1B[31mX\tY.DLL\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial2]\r\n\"Dll\"=\"\x80\x81\xE9\\r.DLL\"\r\n";

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
         "COM2 - 'BuiltIn'  => Dll: \xE2\x82\xAC\\x81\xC3\xA9\\x0D.DLL\n", {File("c.reg", kControls)}},
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
         {Folder("sub"), File("sub/d.reg", r, 0600), File("sub/d.reg.bak", d, 0600), Link("l.reg", "sub/d.reg")}, kLinks},
        {"a relative link is followed from its own folder", {Folder("sub"), File("sub/d.reg", d), Link("sub/l.reg", "d.reg")},
         "--repair sub/l.reg", 0, "", kRepairReport, {Folder("sub"), File("sub/d.reg", r), File("sub/d.reg.bak", d), Link("sub/l.reg", "d.reg")}, kLinks},
        // "\x80" is U+0080 in the harness's names, which code page 1252 cannot spell.
        {"a link to a file whose name the code page cannot spell", {Folder("sub"), File("sub/\x80.reg", d), Link("l.reg", "sub/\x80.reg")},
         "--repair l.reg", 2, "cannot use l.reg: the name of the file it leads to cannot be written", "",
         {Folder("sub"), File("sub/\x80.reg", d), Link("l.reg", "sub/\x80.reg")}, kWindows | kLinks},
        {"a FIFO is not repaired in place", {Fifo("f.reg")}, "--repair f.reg", 2,
         "f.reg is a FIFO, not a regular file" + unchanged, "", {Fifo("f.reg")}, kPosix},
        {"a .bak that is REGFILE itself", {File("d.reg", d), Link("d.reg.bak", "d.reg")}, "--repair d.reg", 2,
         "d.reg.bak is d.reg itself", "", {File("d.reg", d), Link("d.reg.bak", "d.reg")}, kLinks},
        {"--output: a link to a device", {File("d.reg", d), Link("o.reg", "/dev/null")}, "--repair -o o.reg d.reg", 2,
         "/dev/null is a character device, not a regular file", "", {File("d.reg", d), Link("o.reg", "/dev/null")}, kPosix},
        {"--output: a FIFO", {File("d.reg", d), Fifo("f")}, "--repair -o f d.reg", 2,
         "f is a FIFO, not a regular file", "", {File("d.reg", d), Fifo("f")}, kPosix},
        {"--output: a folder", {File("d.reg", d), Folder("sub")}, "--repair -o sub d.reg", 2,
         "sub is a folder, not a regular file", "", {File("d.reg", d), Folder("sub")}},
        {"--output: a link to a file replaces that file, keeping its mode",
         {File("d.reg", d), Folder("sub"), File("sub/o.reg", "old", 0640), Link("o.reg", "sub/o.reg")}, "--repair -o o.reg d.reg", 0, "", kRepairReport,
         {File("d.reg", d), Folder("sub"), File("sub/o.reg", r, 0640), Link("o.reg", "sub/o.reg")}, kLinks},
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
