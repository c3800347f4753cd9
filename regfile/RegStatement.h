// Regedit's rules for what the lines of a registry file say (regfile/
// only): the header, key sections, values and their data, and the lines
// regedit skips, with the reason.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "regfile/RegText.h"

// The root names regedit knows in a file; it does not take the short ones.
const size_t kRegRootCount = 6;
extern const char16_t* const kRegRoots[kRegRootCount];

struct Statement {
    enum Kind {
        kNothing,        // blank line or comment
        kKey,            // [KEY]
        kKeyDeletion,    // [-KEY]
        kValue,          // "name"=data
        kValueDeletion,  // "name"=-
        kSkipped,        // a line regedit skips; the current key is closed
        kSkippedKeepKey  // a line regedit skips; the current key stays open
    } kind = kNothing;
    uint32_t lines = 1;    // lines used; a skipped line at fault is the last of them
    size_t end = 0;        // where the text of the last line ends, before its line end
    size_t next = 0;       // where the line after the last starts
    std::u16string path;   // keys: full path, root in its long form, no trailing backslash
    std::u16string name;   // values: the name
    size_t nameStart = 0;  // values: the name as written in the first line,
    size_t nameEnd = 0;    //   quotes included ('@' for the default value)
    uint32_t type = 0;
    std::vector<uint8_t> data;
    std::string why;
    // Working space kept from one statement to the next, so parsing a line
    // allocates nothing once these have grown.
    std::u16string raw, below, text;
    std::vector<uint8_t> wide;
};

// Reads statements from a document, a line at a time.
struct StatementReader {
    const RegDocument& doc;
    // False when only the shape of the statements counts (reading a file):
    // value data is then checked but not built.
    bool keepData;
    LineFinder lines{doc};
    std::u16string line{};  // the line decoded last
    size_t end = 0;         // where its text ends
    size_t next = 0;        // where the line after it starts
    std::string decodeWhy{};

    bool Decode(size_t start) {
        next = lines.Line(start, &end);
        return DecodeLine(doc, start, end, &line, &decodeWhy);
    }
};

// What the lines from the one starting at byte `start` on say.
Statement::Kind ReadStatement(StatementReader& reader, size_t start, Statement* st);

// Text types in hex form: regedit ends them with a zero when they lack one,
// and outside UTF-16 files reads their bytes as 8-bit text. Applied to a
// value's type and data as read from its hex bytes.
void PrepareHexText(const RegDocument& doc, Statement* st);

// Decodes the header line and tells the dialect and encoding; *next is
// where the line after it starts. False (with *error) when the content is
// no registry export.
bool ReadHeader(RegDocument* doc, const std::string& fileName, size_t* next, std::string* error);

// "FILE:LINE: ", the start of a message about a line.
std::string FileLine(const std::string& fileName, size_t line);

// A text from the file as a message shows it (unicode/TextCoding.h's rule).
inline std::string Shown(const std::u16string& text) { return VisibleText(text, 60); }
