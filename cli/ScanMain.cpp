// portmedic-scan: the serial driver scan over a registry export file.
//
//   portmedic-scan [--repair] [--output FILE] [--quiet] REGFILE
//
// Loads REGFILE into the in-memory registry, runs ScanSerialDrivers over it
// and prints the report as the program's window shows it (in UTF-8). With
// --repair the repaired registry is written, in the dialect it was read in,
// to FILE or back to REGFILE (the original kept as REGFILE.bak), and the
// message of the program's message box is printed after the report.
//
// Exit status: 0 no damaged entry remains, 1 damaged entries remain,
// 2 usage error, unreadable or malformed file, failed write.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "cli/FileReplace.h"
#include "platform/CodePage.h"
#include "platform/portable/MemoryRegistry.h"
#include "platform/portable/RegFile.h"
#include "repair/SerialScan.h"

namespace {

const char kTool[] = "portmedic-scan";
const char kVersion[] = PORTMEDIC_VERSION;  // the project version, set by the build

enum { kExitClean = 0, kExitDamaged = 1, kExitError = 2 };

const char kUsage[] =
    "Usage: portmedic-scan [--repair] [--output FILE] [--quiet] REGFILE\n"
    "\n"
    "Scans the Bluetooth serial-port driver entries of a Pocket PC registry\n"
    "export (REGEDIT4 or Windows Registry Editor Version 5.00) and prints one\n"
    "line per port, marking the damaged ones.\n"
    "\n"
    "  --repair       write \"BTCEIF.DLL\" back into the damaged entries and save\n"
    "                 the repaired registry (REGFILE itself, the original kept as\n"
    "                 REGFILE.bak, unless --output is given)\n"
    "  --output FILE  with --repair: write the repaired registry to FILE and\n"
    "                 leave REGFILE untouched\n"
    "  --quiet        print nothing but errors; the exit status tells\n"
    "  --help         show this help\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 no damaged entry remains, 1 damaged entries remain,\n"
    "2 usage error, unreadable or malformed file, or failed write.\n";

struct Options {
    bool repair = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    std::string output;
    std::string input;
};

int UsageError(const std::string& what) {
    fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kTool, what.c_str(), kTool);
    return kExitError;
}

// Returns -1 when the options are fine, else the exit status.
int ParseOptions(int argc, char** argv, Options* o) {
    std::vector<std::string> files;
    bool outputGiven = false;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnd || arg.empty() || arg[0] != '-' || arg == "-") {
            files.push_back(arg);
        } else if (arg == "--") {
            optionsEnd = true;
        } else if (arg == "--repair") {
            o->repair = true;
        } else if (arg == "--quiet" || arg == "-q") {
            o->quiet = true;
        } else if (arg == "--help" || arg == "-h") {
            o->help = true;
        } else if (arg == "--version") {
            o->version = true;
        } else if (arg == "--output" || arg == "-o") {
            if (i + 1 >= argc) return UsageError("option '" + arg + "' needs a file name");
            o->output = argv[++i];
            outputGiven = true;
        } else if (arg.compare(0, 9, "--output=") == 0) {
            o->output = arg.substr(9);
            outputGiven = true;
        } else {
            return UsageError("unknown option '" + arg + "'");
        }
    }
    if (o->help || o->version) return -1;
    if (outputGiven && o->output.empty()) return UsageError("--output needs a file name");
    if (outputGiven && !o->repair) return UsageError("--output is only used with --repair");
    if (files.empty()) return UsageError("no registry file given");
    if (files.size() > 1) return UsageError("more than one registry file given");
    o->input = files[0];
    return -1;
}

// Text of the program (ANSI code page, CRLF line ends) as UTF-8 lines.
std::string ToTerminal(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (p[0] == '\r' && p[1] == '\n') continue;
        unsigned char b = static_cast<unsigned char>(*p);
        if (b < 0x80) {
            out += char(b);
            continue;
        }
        WideChar w = 0;
        CodePageAnsiToWide(p, 1, &w, 1);
        unsigned c = unsigned(w);
        if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
        } else {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
        }
        out += char(0x80 | (c & 0x3F));
    }
    return out;
}

void PrintText(const TextString& text) {
    std::string out = ToTerminal(text.CStr());
    if (!out.empty() && out.back() != '\n') out += '\n';
    fputs(out.c_str(), stdout);
}

// Saves the registry: to output, or over input keeping its original bytes
// in input.bak. Every file is first written in full beside its target; only
// then are they renamed, so a failure leaves the existing files as they were.
bool Save(const Options& o, const RegFileFormat& format, const std::string& original) {
    std::string content, error;
    if (!RegFileWrite(format, &content, &error)) {
        fprintf(stderr, "%s: cannot write the repaired registry: %s; no file was changed\n", kTool,
                error.c_str());
        return false;
    }
    if (!o.output.empty()) {
        PendingFile file;
        if (!FileWriteTemporary(o.output, content, &file, &error) || !FileCommit(&file, &error)) {
            fprintf(stderr, "%s: %s; no file was changed\n", kTool, error.c_str());
            return false;
        }
        return true;
    }
    PendingFile backup, file;
    if (!FileWriteTemporary(o.input + ".bak", original, &backup, &error) ||
        !FileWriteTemporary(o.input, content, &file, &error) || !FileCommit(&backup, &error)) {
        FileDiscard(&backup);
        FileDiscard(&file);
        fprintf(stderr, "%s: %s; no file was changed\n", kTool, error.c_str());
        return false;
    }
    if (!FileCommit(&file, &error)) {
        fprintf(stderr, "%s: %s; %s is unchanged (a copy of it is in %s.bak)\n", kTool,
                error.c_str(), o.input.c_str(), o.input.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    int status = ParseOptions(argc, argv, &o);
    if (status >= 0) return status;
    if (o.help) {
        fputs(kUsage, stdout);
        return kExitClean;
    }
    if (o.version) {
        printf("%s (PORTMEDIC) %s\n", kTool, kVersion);
        return kExitClean;
    }

    std::string original, error;
    RegFileFormat format;
    MemRegClear();
    MemRegKeepOpenLog(false);  // a testing aid the tool has no use for
    if (!FileReadAll(o.input, &original, &error) ||
        !RegFileRead(original, o.input, &format, &error)) {
        fprintf(stderr, "%s: %s\n", kTool, error.c_str());
        return kExitError;
    }

    TextString report, message;
    ScanSerialDrivers(report, message, o.repair);

    // Saved before anything is printed: a report that says "repaired" is
    // only shown once the repair is on disk.
    if (o.repair) {
        // Without --output the file is only rewritten when something changed.
        bool changed = message.Compare(kFixedMessage.CStr()) == 0;
        if ((changed || !o.output.empty()) && !Save(o, format, original)) return kExitError;
    }

    if (!o.quiet) {
        PrintText(report);
        if (o.repair && !message.IsEmpty()) {
            fputs("\n", stdout);
            PrintText(message);
        }
        if (fflush(stdout) != 0 || ferror(stdout)) {
            fprintf(stderr, "%s: cannot write the report to the standard output\n", kTool);
            return kExitError;
        }
    }

    // What remains damaged: a detect-only scan of the registry as it is now.
    TextString finalReport, finalMessage;
    ScanSerialDrivers(finalReport, finalMessage, false);
    return finalMessage.IsEmpty() ? kExitDamaged : kExitClean;
}
