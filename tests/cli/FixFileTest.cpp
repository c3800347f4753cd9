// portmedic-scan --fix-file: a registry file holding only the repair.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/ToolHarness.h"

namespace {

// The fix of examples/damaged-device.reg: the loaded COM5: and the built-in
// COM8 share nothing, so two keys, each named by the first port it mends.
const std::string kFix = "REGEDIT4\r\n\r\n"
                         "; portmedic-scan repairs COM5:\r\n"
                         "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial5]\r\n"
                         "\"Dll\"=\"BTCEIF.DLL\"\r\n\r\n"
                         "; portmedic-scan repairs COM8 - 'BuiltIn'\r\n"
                         "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial8]\r\n"
                         "\"Dll\"=\"BTCEIF.DLL\"\r\n\r\n";

const std::string kDetected = "COM8 - 'BuiltIn'  => Dll: ---BTCEIF.DLL <<<< ";
const std::string kRepaired = "COM8 - 'BuiltIn'  => Dll: ---BTCEIF.DLL  \xC2\xA1"
                              "ARREGLADO!";
const std::string kNoFix = "Todo perfecto!!!\nNothing to repair: no fix file was written.\n";

}  // namespace

// Each case as in ScanToolTest.cpp: what it checks; the folder before; the
// arguments; the exit status; a part of stderr and of stdout; the whole
// folder afterwards; what the case needs.
// clang-format off
TEST_F(ScanTool, FixFile) {
    fixtures["@fix"] = kFix;
    fixtures["@damaged+fix"] = damaged + kFix;
    const std::string d = "@damaged", f = "@fix", r = "@repaired", unchanged = "; no file was changed";
    RunCases({
        {"the scan's report and status; REGFILE untouched; a new file takes its private mode",
         {File("d.reg", d, 0600)}, "--fix-file fix.reg d.reg", 1, "", kDetected, {File("d.reg", d, 0600), File("fix.reg", f, 0600)}},
        {"nothing damaged: one line, no file", {File("c.reg", "@clean")}, "--fix-file=fix.reg c.reg", 0, "", kNoFix, {File("c.reg", "@clean")}},
        {"with --repair --output: both", {File("d.reg", d)}, "--repair -o out.reg --fix-file fix.reg d.reg", 0, "", kRepaired,
         {File("d.reg", d), File("out.reg", r), File("fix.reg", f)}},
        {"with --repair in place: all three", {File("d.reg", d)}, "--repair --fix-file fix.reg d.reg", 0, "", kRepaired,
         {File("d.reg", r), File("d.reg.bak", d), File("fix.reg", f)}},
        {"an old fix file is replaced and keeps its mode", {File("d.reg", d), File("fix.reg", "old", 0640)}, "-q --fix-file fix.reg d.reg", 1, "", "",
         {File("d.reg", d), File("fix.reg", f, 0640)}},
        {"REGFILE followed by the fix file: no damage left", {File("both.reg", "@damaged+fix")}, "both.reg", 0,
         "both.reg:206: skipped: unexpected text 'REGEDIT4'", "Todo perfecto!!!", {File("both.reg", "@damaged+fix")}},
        {"the registry file itself", {File("d.reg", d)}, "--fix-file ./d.reg d.reg", 2,
         "--fix-file names the registry file itself", "", {File("d.reg", d)}},
        {"the registry file through a link", {File("d.reg", d), Link("l.reg", "d.reg")}, "--fix-file l.reg d.reg", 2,
         "--fix-file names the registry file itself", "", {File("d.reg", d), Link("l.reg", "d.reg")}, kPosix},
        {"the same file as --output", {File("d.reg", d)}, "--repair -o f.reg --fix-file f.reg d.reg", 2,
         "--fix-file and --output name the same file" + unchanged, "", {File("d.reg", d)}},
        {"where the original's copy goes", {File("d.reg", d)}, "--repair --fix-file d.reg.bak d.reg", 2,
         "--fix-file names d.reg.bak" , "", {File("d.reg", d)}},
        {"the original's copy named another way: the repair is saved, the fix is not", {File("d.reg", d)},
         "--repair --fix-file ./d.reg.bak d.reg", 2, "--fix-file names d.reg.bak; the repair was saved in d.reg", "",
         {File("d.reg", r), File("d.reg.bak", d)}},
        {"a folder", {File("d.reg", d), Folder("sub")}, "--fix-file sub d.reg", 2,
         "sub is a folder, not a regular file" + unchanged, "", {File("d.reg", d), Folder("sub")}},
        {"a FIFO", {File("d.reg", d), Fifo("p")}, "--fix-file p d.reg", 2,
         "p is a FIFO, not a regular file" + unchanged, "", {File("d.reg", d), Fifo("p")}, kPosix},
        {"no name", {}, "d.reg --fix-file", 2, "'--fix-file' needs a file name", "", {}},
        {"an empty name", {}, "--fix-file= d.reg", 2, "--fix-file needs a file name", "", {}},
        {"SIGTERM while saving: no file", {File("d.reg", d)}, "--fix-file fix.reg d.reg", 143, "", "", {File("d.reg", d)}, kPosix, "", 15},
        {"standard output full after the fix was saved", {File("d.reg", d)}, "--fix-file fix.reg d.reg", 2,
         "cannot write the report to the standard output; the fix file was saved in fix.reg", "",
         {File("d.reg", d), File("fix.reg", f)}, kPosix, ">/dev/full"},
    });
}
// clang-format on
