#include "regfile/RegDocument.h"

#include "regfile/RegLoad.h"

namespace {

// Reads content into a document, line after line; with a tree, each
// statement is applied to it as soon as it is read.
bool Read(std::string content, const std::string& fileName, bool strict, RegTree* tree,
          RegDocument* doc, std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    *doc = RegDocument();
    if (content.size() > kRegFileMaxBytes) {
        *error = fileName + ": the file is larger than " + std::to_string(kRegFileMaxBytes >> 20) +
                 " MiB, far more than any registry export";
        return false;
    }
    doc->bytes = std::move(content);
    size_t start;
    if (!ReadHeader(doc, fileName, &start, error)) return false;
    const size_t size = doc->bytes.size();

    auto skipped = [&](size_t line, const std::string& why) {
        if (strict) {
            *error = FileLine(fileName, line) + why;
            return false;
        }
        doc->skipped.push_back(RegSkippedLine{uint32_t(line), why});
        return true;
    };
    if (doc->format.encoding == kRegFileUtf16 && (size - 2) % 2 &&
        !skipped(LineNumberAt(*doc, size - 1),
                 "a lone byte at the end of a UTF-16 file (is the file cut short?)"))
        return false;

    // At most one entry a line: one allocation, and the pages never used
    // are never touched.
    doc->entries.reserve(LinesBound(*doc, start));
    StatementReader reader{*doc, tree != nullptr};
    Statement st;
    TreeLoader loader{tree};
    const uint32_t kNoKey = 0xFFFFFFFFu;
    uint32_t key = kNoKey;  // the entry of the open key
    for (size_t line = 2; start < size; start = st.next, line += st.lines) {
        Statement::Kind kind = ReadStatement(reader, start, &st);
        RegEntry e{uint32_t(start), uint32_t(doc->entries.size()), 0};
        switch (kind) {
        case Statement::kNothing: continue;
        case Statement::kKey:
            key = e.keyEntry;
            e.kind = kRegEntryKey;
            break;
        case Statement::kKeyDeletion:
            key = kNoKey;
            e.kind = kRegEntryKeyDeletion;
            break;
        case Statement::kValue:
        case Statement::kValueDeletion:
            if (key == kNoKey) {
                if (!skipped(line, "value outside a key (no [KEY] line before it, or that line "
                                   "was skipped or deleted the key)"))
                    return false;
                continue;
            }
            e.keyEntry = key;
            e.kind = kind == Statement::kValue ? kRegEntryValue : kRegEntryValueDeletion;
            break;
        case Statement::kSkipped:
            key = kNoKey;
            if (tree) LoaderLeaveKey(loader);
            // fall through
        case Statement::kSkippedKeepKey:
            // Everything up to the line at fault goes, that line included.
            if (!skipped(line + st.lines - 1, st.why)) return false;
            continue;
        }
        doc->entries.push_back(e);
        if (tree) LoaderApply(loader, RegEntryKind(e.kind), st);
    }
    if (tree) LoaderLeaveKey(loader);
    return true;
}

}  // namespace

bool RegDocumentRead(std::string content, const std::string& fileName, bool strict,
                     RegDocument* doc, std::string* error) {
    return Read(std::move(content), fileName, strict, nullptr, doc, error);
}

bool RegDocumentReadAndLoad(std::string content, const std::string& fileName, bool strict,
                            RegTree& tree, RegDocument* doc, std::string* error) {
    return Read(std::move(content), fileName, strict, &tree, doc, error);
}

void RegEntryLines(const RegDocument& doc, size_t entry, uint32_t* firstLine, uint32_t* lineCount) {
    StatementReader reader{doc, false};
    Statement st;
    ReadStatement(reader, doc.entries[entry].offset, &st);
    *firstLine = LineNumberAt(doc, doc.entries[entry].offset);
    *lineCount = st.lines;
}
