#include <algorithm>

#include "regfile/RegDocument.h"
#include "regfile/RegStatement.h"

std::u16string RegEditKeyPath(const RegDocument& doc, const RegEdit& edit) {
    // Entries are in file order, so by offset; an edit starts where its
    // value's entry does.
    auto at = std::lower_bound(doc.entries.begin(), doc.entries.end(), edit.from,
                               [](const RegEntry& e, size_t offset) { return e.offset < offset; });
    if (at == doc.entries.end() || at->offset != edit.from) return std::u16string();
    StatementReader reader{doc, false};
    Statement st;
    ReadStatement(reader, doc.entries[at->keyEntry].offset, &st);
    return st.path;
}

bool RegFixFile(const RegDocument& doc, const std::vector<RegEdit>& edits,
                const std::vector<std::u16string>& comments, std::string* content,
                std::string* error) {
    content->clear();
    // The line end of the header line, the one line every file has.
    std::u16string lineEnd;
    size_t end, next = LineFinder{doc}.Line(FirstLineStart(doc), &end);
    for (size_t k = end; k + UnitSize(doc) <= next; k += UnitSize(doc))
        lineEnd.push_back(UnitAt(doc, k));
    if (lineEnd.empty()) lineEnd = u"\r\n";

    if (doc.format.encoding == kRegFileUtf16) *content = "\xFF\xFE";
    if (doc.format.encoding == kRegFileUtf8Bom) *content = "\xEF\xBB\xBF";
    std::u16string text = doc.format.version == kRegFileVersion4
                              ? u"REGEDIT4"
                              : u"Windows Registry Editor Version 5.00";
    text += lineEnd;
    for (size_t k = 0; k < edits.size(); ++k) {
        const std::u16string& comment = k < comments.size() ? comments[k] : u"";
        if (comment.find_first_of(u"\r\n") != std::u16string::npos) {
            *error = "a comment of the fix file breaks its line";
            return false;
        }
        text += lineEnd + u"; " + comment + lineEnd;
        text += u"[" + RegEditKeyPath(doc, edits[k]) + u"]" + lineEnd;
        // The value's lines are already in the file's encoding.
        if (!EncodeText(doc.format, text, content)) {
            *error = "the fix file's text cannot be written in this file's encoding";
            return false;
        }
        content->append(edits[k].bytes);
        text = lineEnd;
    }
    text += lineEnd;
    if (!EncodeText(doc.format, text, content)) {
        *error = "the fix file's text cannot be written in this file's encoding";
        return false;
    }
    return true;
}
