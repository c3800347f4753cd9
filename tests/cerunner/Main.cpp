// The CE runner: runs the ARM PORTMEDIC.exe on an emulated StrongARM with
// COREDLL and AYGSHELL stubbed, through the scenarios (Scenarios.cpp).
//
//   ce_runner PORTMEDIC.exe FIXTURE_DIR [--scenario NAME] [--skip-relocation]
//             [--drop-stub DLL!NAME]
//   ce_runner --self-test [PORTMEDIC.exe]
//
// Each scenario loads a .reg fixture into the in-memory registry, starts the
// program as Windows CE does, feeds it the scenario's input and checks what
// it drew, the message boxes, the shell calls, every registry write and the
// values read back, the exit code, and that every key it opened was closed
// and every heap block freed (Run.cpp).
//
// --skip-relocation breaks the loader on purpose, and --drop-stub takes a
// function from the device (an import: the program does not start; a
// function looked up at run time: it is not found); the runs must then
// fail. --self-test runs the runner's own checks (SelfTest.cpp).
#include <stdio.h>

#include "tests/cerunner/Runner.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args.size() <= 2 && args[0] == "--self-test")
        return SelfTest(args.size() == 2 ? args[1] : "") ? 1 : 0;
    LoadOptions options;
    std::string only;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--skip-relocation")
            options.skipRelocation = true;
        else if (args[i] == "--drop-stub" && i + 1 < args.size())
            options.dropStub = args[++i];
        else if (args[i] == "--scenario" && i + 1 < args.size())
            only = args[++i];
        else
            positional.push_back(args[i]);
    }
    if (positional.size() != 2) {
        fprintf(stderr, "usage: ce_runner PORTMEDIC.exe FIXTURE_DIR [--scenario NAME] "
                        "[--skip-relocation] [--drop-stub DLL!NAME]\n       ce_runner --self-test "
                        "[PORTMEDIC.exe]\n");
        return 2;
    }
    int passed = 0, failed = 0;
    for (const Scenario& s : Scenarios()) {
        if (!only.empty() && only != s.name) continue;
        std::vector<std::string> failures = RunScenario(s, positional[0], positional[1], options);
        printf("%s: %s\n", failures.empty() ? "ok" : "FAILED", s.name.c_str());
        for (const std::string& f : failures) printf("    %s\n", f.c_str());
        (failures.empty() ? passed : failed)++;
    }
    printf("%d passed, %d failed\n", passed, failed);
    return failed || !passed ? 1 : 0;
}
