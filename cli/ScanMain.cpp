// portmedic-scan: the serial driver scan over a registry export file.
//
//   portmedic-scan [--repair] [--output FILE] [--fix-file FILE] [--quiet] [--strict] REGFILE
//
// Reads REGFILE as regedit would import it (lines regedit skips are named
// on stderr), loads it into a registry tree, runs ScanSerialDrivers
// over it and prints the report as the program's window shows it (in
// UTF-8). With --repair the file is written again, to FILE or back to
// REGFILE (the original kept as REGFILE.bak), with only the repaired values'
// lines changed, and the message of the program's message box is printed
// after the report. With --fix-file the repair alone goes to FILE, a small
// registry file in REGFILE's format to import on the device after the
// export; REGFILE stays as it is.
//
// Only regular files are written, each first in full beside its target and
// then renamed over it; REGFILE is read only up to kRegFileMaxBytes.
//
// Exit status: 0 no damaged entry remains, 1 damaged entries remain,
// 2 usage error, unreadable or malformed file, failed write; 128 + n when
// signal n (SIGINT, SIGTERM, SIGHUP) ended a save, with no file changed.
#include <stdio.h>
#include <string.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "cli/FileRead.h"
#include "cli/FileReplace.h"
#include "cli/ScanBeside.h"
#include "cli/ScanLoad.h"
#include "cli/Threads.h"
#include "platform/CodePage.h"
#include "regfile/RegDocument.h"
#include "registry/PortableRegistry.h"
#include "repair/SerialScan.h"
#include "unicode/TextCoding.h"

namespace {

const char kTool[] = "portmedic-scan";
const char kVersion[] = PORTMEDIC_VERSION;  // the project version, set by the build
// Loaded drivers from which a scan that only reads takes a second thread:
// starting one costs about as much as scanning a few hundred.
const size_t kDriversBeside = 1024;

enum { kExitClean = 0, kExitDamaged = 1, kExitError = 2 };

std::string Usage() {
    return "Usage: portmedic-scan [--repair] [--output FILE] [--fix-file FILE] [--quiet] "
           "[--strict] REGFILE\n"
           "\n"
           "Scans the Bluetooth serial-port driver entries of a Pocket PC registry\n"
           "export (REGEDIT4 or Windows Registry Editor Version 5.00) and prints one\n"
           "line per port, marking the damaged ones.\n"
           "\n"
           "      --repair       write \"BTCEIF.DLL\" back into the damaged entries and\n"
           "                     save the repaired registry (REGFILE itself, the original\n"
           "                     kept as REGFILE.bak, unless --output is given)\n"
           "  -o, --output=FILE  with --repair: write the repaired registry to FILE and\n"
           "                     leave REGFILE untouched\n"
           "      --fix-file=FILE\n"
           "                     write FILE: a small registry file in REGFILE's format\n"
           "                     holding only the repair (\"Dll\"=\"BTCEIF.DLL\" for each\n"
           "                     damaged entry), to import on the device; REGFILE is\n"
           "                     left untouched unless --repair is given too\n"
           "  -q, --quiet        print nothing but errors; the exit status tells\n"
           "      --strict       refuse the whole file at the first line regedit would skip\n"
           "  -h, --help         show this help\n"
           "      --version      show the version\n"
           "\n"
           "Only regular files are written; a symbolic link is followed and the file\n"
           "it names is repaired. REGFILE may hold at most " +
           std::to_string(kRegFileMaxBytes >> 20) +
           " MiB.\n"
           "\n"
           "Exit status: 0 no damaged entry remains, 1 damaged entries remain,\n"
           "2 usage error, unreadable or malformed file, or failed write; ended by\n"
           "SIGINT, SIGTERM or SIGHUP: 128 + the signal's number, no file changed.\n";
}

struct Options {
    bool repair = false;
    bool quiet = false;
    bool strict = false;
    bool help = false;
    bool version = false;
    std::string output;
    std::string fixFile;
    std::string input;
};

// One error line on stderr. Everything is written, a NUL byte too, and
// control characters are escaped as in the report.
void Complain(const std::string& message) {
    std::string line = std::string(kTool) + ": " + VisibleUtf8(message, true) + "\n";
    fwrite(line.data(), 1, line.size(), stderr);
}

int UsageError(const std::string& what) {
    Complain(what + "\nTry '" + kTool + " --help' for more information.");
    return kExitError;
}

// Returns -1 when the options are fine, else the exit status.
int ParseOptions(int argc, char** argv, Options* o) {
    std::vector<std::string> files;
    bool outputGiven = false, fixGiven = false;
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
        } else if (arg == "--strict") {
            o->strict = true;
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
        } else if (arg == "--fix-file") {
            if (i + 1 >= argc) return UsageError("option '" + arg + "' needs a file name");
            o->fixFile = argv[++i];
            fixGiven = true;
        } else if (arg.compare(0, 11, "--fix-file=") == 0) {
            o->fixFile = arg.substr(11);
            fixGiven = true;
        } else {
            return UsageError("unknown option '" + arg + "'");
        }
    }
    if (o->help || o->version) return -1;
    if (outputGiven && o->output.empty()) return UsageError("--output needs a file name");
    if (outputGiven && !o->repair) return UsageError("--output is only used with --repair");
    if (fixGiven && o->fixFile.empty()) return UsageError("--fix-file needs a file name");
    if (files.empty()) return UsageError("no registry file given");
    if (files.size() > 1) return UsageError("more than one registry file given");
    o->input = files[0];
    return -1;
}

// Text of the program (ANSI code page) as 16-bit text; CR LF line ends
// become LF when asked.
std::u16string FromAnsi(const char* text, bool lineFeeds) {
    std::u16string wide;
    for (const char* p = text; *p; ++p) {
        if (lineFeeds && p[0] == '\r' && p[1] == '\n') continue;
        WideChar w = 0;
        CodePageAnsiToWide(p, 1, &w, 1);
        wide.push_back(char16_t(w));
    }
    return wide;
}

// Text of the program (ANSI code page, CRLF line ends) as UTF-8 lines,
// control characters escaped: a registry value must never drive the
// terminal.
std::string ToTerminal(const char* text) {
    return VisibleText(FromAnsi(text, true), SIZE_MAX, true);
}

void PrintText(const TextString& text) {
    std::string out = ToTerminal(text.CStr());
    if (!out.empty() && out.back() != '\n') out += '\n';
    fputs(out.c_str(), stdout);
}

// The files a repair will write, resolved and checked before REGFILE is
// read: symbolic links followed, anything but a regular file refused.
struct Targets {
    FileTarget input;     // in place: REGFILE itself
    FileTarget backup;    // in place: REGFILE.bak beside it
    FileTarget output;    // --output FILE
    FileTarget fix;       // --fix-file FILE
    FileAttributes like;  // what a new output or fix file takes over from REGFILE
};

bool SameFile(const FileId& a, const FileId& b) {
    return a.known && b.known && a.device == b.device && a.inode == b.inode;
}

// Two targets that are one file: the same existing file, or the same name.
bool SameTarget(const FileTarget& a, const FileTarget& b) {
    return SameFile(a.id, b.id) || a.path == b.path;
}

bool CheckTargets(const Options& o, Targets* t) {
    std::string error;
    bool ok = true;
    if (o.repair && !o.output.empty()) {
        ok = FileResolveTarget(o.output, &t->output, &error);
    } else if (o.repair) {
        ok = FileResolveTarget(o.input, &t->input, &error) &&
             FileResolveTarget(t->input.path + ".bak", &t->backup, &error);
        if (ok && t->input.exists && SameFile(t->backup.id, t->input.id)) {
            error = t->input.path + ".bak is " + o.input + " itself: the backup would overwrite it";
            ok = false;
        }
    }
    if (ok && !o.fixFile.empty()) {
        ok = FileResolveTarget(o.fixFile, &t->fix, &error);
        // One file cannot hold both the repaired registry and its fix.
        if (ok && o.repair && !o.output.empty() && SameTarget(t->fix, t->output)) {
            error = "--fix-file and --output name the same file";
            ok = false;
        } else if (ok && o.repair && o.output.empty() && SameTarget(t->fix, t->backup)) {
            error = "--fix-file names " + t->backup.path + ", where the original is kept";
            ok = false;
        }
    }
    if (ok && (!o.output.empty() || !o.fixFile.empty())) {
        FileTarget input;
        std::string ignored;
        if (FileResolveTarget(o.input, &input, &ignored) && input.exists) {
            t->like = input.attributes;  // a private registry stays private
            t->like.owner = t->like.group = -1;
        }
    }
    if (!ok) Complain(error + "; no file was changed");
    return ok;
}

// --output and --fix-file must not name the file that was read, through
// whatever path.
bool CheckOutputNotInput(const Targets& t, const FileId& input) {
    if (SameFile(t.output.id, input)) {
        Complain("--output names the registry file itself; leave it out to repair the file in "
                 "place, keeping the original as .bak; no file was changed");
        return false;
    }
    if (SameFile(t.fix.id, input)) {
        Complain("--fix-file names the registry file itself; the fix file is a new file beside "
                 "it; no file was changed");
        return false;
    }
    return true;
}

// The ports a repair wrote back, by the driver key written, for the fix
// file's comments.
struct RepairLog {
    const RegTree* tree;
    std::unordered_map<const TreeKey*, std::u16string> ports;  // the first port of each key
};

void NoteRepaired(void* context, const TextString& label, const TextString& keyPath) {
    RepairLog* log = static_cast<RepairLog*>(context);
    const TreeKey* key =
        RegTreeFindKey(*log->tree, u"HKEY_LOCAL_MACHINE\\" + FromAnsi(keyPath.CStr(), false));
    log->ports.emplace(key, FromAnsi(label.CStr(), false));
}

// The fix file's content: a comment naming the tool and the port for each
// repaired value, its key and its line as the repaired registry spells it.
bool MakeFixFile(const RegDocument& doc, const RegTree& tree, const std::vector<RegEdit>& edits,
                 const RepairLog& log, std::string* content, std::string* error) {
    std::vector<std::u16string> comments;
    for (const RegEdit& edit : edits) {
        std::u16string comment = u"portmedic-scan";
        auto port = log.ports.find(RegTreeFindKey(tree, RegEditKeyPath(doc, edit)));
        if (port != log.ports.end()) {
            // A label comes from the registry: its control characters are
            // escaped as in the report, so it cannot break the line.
            std::string shown = VisibleText(port->second);
            comment += u" repairs ";
            Utf8ToUtf16(reinterpret_cast<const uint8_t*>(shown.data()), shown.size(), &comment,
                        nullptr);
        }
        comments.push_back(comment);
    }
    return RegFixFile(doc, edits, comments, content, error);
}

// Whether two names are one existing file now.
bool SameFileNow(const std::string& a, const std::string& b) {
    FileTarget ta, tb;
    std::string ignored;
    return FileResolveTarget(a, &ta, &ignored) && FileResolveTarget(b, &tb, &ignored) &&
           SameFile(ta.id, tb.id);
}

// What a run saves: the repaired registry (to output, or over input keeping
// its original bytes in input.bak), the fix file, or both.
struct Saving {
    bool repair = false;
    bool fix = false;
};

// Writes every file of a save in full beside its target (the backup of the
// input and the repaired input, or the output; and the fix file); false,
// with the reason in *error, when one cannot be written or put in place.
bool WriteAside(const Options& o, const Targets& t, std::string_view original,
                const std::vector<std::string_view>& content, const std::string& fixContent,
                Saving what, PendingFile* backup, PendingFile* file, PendingFile* fix,
                std::string* error) {
    bool ok = true;
    if (what.repair && o.output.empty()) {
        const FileAttributes& like = t.input.attributes;
        ok = FileWriteTemporary(t.backup.path, std::vector<std::string_view>{original}, like,
                                backup, error) &&
             FileWriteTemporary(t.input.path, content, like, file, error) &&
             FileCanCommit(*file, error);
    } else if (what.repair) {
        const FileAttributes& like = t.output.exists ? t.output.attributes : t.like;
        ok = FileWriteTemporary(t.output.path, content, like, file, error);
    }
    if (ok && what.fix) {
        const FileAttributes& like = t.fix.exists ? t.fix.attributes : t.like;
        ok = FileWriteTemporary(t.fix.path, fixContent, like, fix, error) &&
             FileCanCommit(*fix, error);
    }
    return ok;
}

// Saves what is asked. Every file is first written in full beside its
// target; only then are they renamed, the fix file last, so a failure
// leaves the existing files as they were.
bool Save(const Options& o, const Targets& t, const RegDocument& doc, const RegTree& tree,
          const RepairLog& log, Saving what) {
    std::string_view original = doc.bytes;
    std::string error, fixContent;
    std::vector<RegEdit> edits;
    if (!RegDocumentEdits(doc, tree, &edits, &error) ||
        (what.fix && !MakeFixFile(doc, tree, edits, log, &fixContent, &error))) {
        Complain(std::string(what.repair ? "cannot write the repaired registry: "
                                         : "cannot write the fix file: ") +
                 error + "; no file was changed");
        return false;
    }
    // The original bytes between the changed lines are written as they are.
    std::vector<std::string_view> content = RegEditedPieces(original, edits);
    const bool inPlace = o.output.empty();
    PendingFile backup, file, fix;
    if (!WriteAside(o, t, original, content, fixContent, what, &backup, &file, &fix, &error) ||
        !FileCommit(&backup, &error)) {
        FileDiscard(&backup);
        FileDiscard(&file);
        FileDiscard(&fix);
        Complain(error + "; no file was changed");
        return false;
    }
    if (!FileCommit(&file, &error)) {
        FileDiscard(&fix);
        if (inPlace)
            Complain(error + "; " + o.input + " is unchanged (a copy of it is in " + t.backup.path +
                     ")");
        else
            Complain(error + "; no file was changed");
        return false;
    }
    std::string saved =
        inPlace ? o.input + " (the original is in " + t.backup.path + ")" : o.output;
    // A new file named two ways is only known to be one once it exists.
    if (what.repair && SameFileNow(t.fix.path, inPlace ? t.backup.path : t.output.path)) {
        FileDiscard(&fix);
        Complain("--fix-file names " + (inPlace ? t.backup.path : o.output) +
                 "; the repair was saved in " + saved + "; no fix file was written");
        return false;
    }
    if (!FileCommit(&fix, &error)) {
        Complain(error +
                 (what.repair ? "; the repair was saved in " + saved : "; no file was changed"));
        return false;
    }
    return true;
}

// Saving with the signals guarded: an interrupted save leaves no file
// behind and every existing file as it was.
bool SaveGuarded(const Options& o, const Targets& t, const RegDocument& doc, const RegTree& tree,
                 const RepairLog& log, Saving what) {
    FileGuardSignals(true);
    bool saved = Save(o, t, doc, tree, log, what);
    FileGuardSignals(false);
    return saved;
}

// The report could not be printed; files already saved must be told.
// The original's copy lies beside the file REGFILE names, through a link.
void ReportLost(const Options& o, const Targets& t, Saving saved) {
    std::string what = "cannot write the report to the standard output";
    if (saved.repair && o.output.empty())
        what +=
            "; the repair was saved in " + o.input + " (the original is in " + t.backup.path + ")";
    else if (saved.repair)
        what += "; the repair was saved in " + o.output;
    if (saved.fix) what += "; the fix file was saved in " + o.fixFile;
    Complain(what);
}

// Reads the file into a document and loads into the tree what the scan
// reads; every line skipped is named on stderr. False (after the message)
// when the file cannot be read or, with --strict, holds a line regedit
// would skip. The file is mapped rather than copied, unless a repair will
// replace it in place: its bytes are then read, as the file goes.
bool LoadRegistry(const Options& o, RegTree& tree, FileContent* content, RegDocument* doc,
                  FileId* inputId) {
    std::string error;
    bool map = !o.repair || !o.output.empty();
    const RegReadBeside beside = ThreadsBeside();
    if (!FileMapOrRead(o.input, kRegFileMaxBytes, map, content, inputId, &error) ||
        !ScanLoadRegistry(content->bytes, o.input, o.strict, o.repair || !o.fixFile.empty(), tree,
                          doc, &error, &beside) ||
        !FileStillAsMapped(o.input, *content, &error)) {
        Complain(error);
        return false;
    }
    for (const RegSkippedLine& s : doc->skipped)
        Complain(o.input + ":" + std::to_string(s.line) + ": skipped: " + s.why);
    return true;
}

// Prints the report, and the message of a repair; false (after saying
// what was saved) when the standard output could not take them.
bool PrintOutcome(const Options& o, const Targets& t, Saving saved, const TextString& report,
                  const TextString& message, bool outputOpen) {
    if (saved.repair || saved.fix) FileReportWriteErrors();
    PrintText(report);
    if (o.repair && !message.IsEmpty()) {
        fputs("\n", stdout);
        PrintText(message);
    }
    if (!o.fixFile.empty() && !saved.fix)
        fputs("Nothing to repair: no fix file was written.\n", stdout);
    if (fflush(stdout) != 0 || ferror(stdout) || !outputOpen) {
        ReportLost(o, t, saved);
        return false;
    }
    return true;
}

// The scan the options ask for, on the registry loaded; the ports a repair
// wrote go to log, for the fix file.
SerialScanResult Scan(const Options& o, TextString& report, TextString& message, RepairLog* log) {
    const bool fixing = !o.fixFile.empty();
    if (!o.repair && !fixing) {
        // A scan that only reads takes two threads for many drivers.
        const RegReadBeside beside = ThreadsBeside();
        return ScanDetectBeside(report, message, &beside, kDriversBeside);
    }
    SerialScanResult found =
        ScanSerialDrivers(report, message, o.repair, fixing ? NoteRepaired : nullptr, log);
    if (!o.repair) {
        // The fix is what a repair would write; the report stays the scan's.
        TextString repairReport, repairMessage;
        ScanSerialDrivers(repairReport, repairMessage, true, NoteRepaired, log);
    }
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    bool outputOpen = FileStandardStreamsOpen();
    Options o;
    int status = ParseOptions(argc, argv, &o);
    if (status >= 0) return status;
    if (o.help) {
        fputs(Usage().c_str(), stdout);
        return kExitClean;
    }
    if (o.version) {
        printf("%s (PORTMEDIC) %s\n", kTool, kVersion);
        return kExitClean;
    }

    Targets targets;
    if (!CheckTargets(o, &targets)) return kExitError;

    // The registry the scan reads through Registry.h: the file's, loaded.
    RegTree tree;
    PortableRegistryUse(&tree);
    FileContent content;
    RegDocument doc;
    FileId inputId;
    if (!LoadRegistry(o, tree, &content, &doc, &inputId)) return kExitError;
    // Only a repair or a fix file needs the file again: a scan alone lets
    // the document go (the file's bytes and more) before scanning.
    const bool fixing = !o.fixFile.empty();
    if (!o.repair && !fixing) {
        doc = RegDocument();
        FileRelease(&content);
    }
    if ((o.repair || fixing) && !CheckOutputNotInput(targets, inputId)) return kExitError;

    TextString report, message;
    RepairLog log{&tree, {}};
    SerialScanResult found = Scan(o, report, message, &log);

    // Saved before anything is printed: a report that says "repaired" is
    // only shown once the repair is on disk.
    Saving saved;
    // Without --output the file is only rewritten when something changed.
    saved.repair = o.repair && (found.repaired > 0 || !o.output.empty());
    saved.fix = fixing && !log.ports.empty();
    if ((saved.repair || saved.fix) && !SaveGuarded(o, targets, doc, tree, log, saved))
        return kExitError;

    if (!o.quiet && !PrintOutcome(o, targets, saved, report, message, outputOpen))
        return kExitError;

    // Every damaged entry not written back remains: without --repair all of
    // them, with it those whose write the registry refused.
    return found.damaged > found.repaired ? kExitDamaged : kExitClean;
}
