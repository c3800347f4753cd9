#include "regfile/RegDocument.h"

#include "regfile/RegLoad.h"
#include "regfile/RegQuickLine.h"

namespace {

// What a reading keeps besides the lines skipped.
struct ReadWhat {
    RegTree* tree;  // each statement applied as soon as it is read
    bool entries;
    bool sections;
};

// Reads the document's bytes, line after line. With a tree, every line is
// read in full; without, the common lines are told by the quick reading.
bool Read(const std::string& fileName, bool strict, ReadWhat what, RegDocument* doc,
          std::string* error) {
    RegTree* tree = what.tree;
    std::string ignored;
    if (!error) error = &ignored;
    if (doc->bytes.size() > kRegFileMaxBytes) {
        *error = fileName + ": the file is larger than " + std::to_string(kRegFileMaxBytes >> 20) +
                 " MiB, far more than any registry export";
        return false;
    }
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
    if (what.entries) doc->entries.reserve(LinesBound(*doc, start));
    StatementReader reader{*doc, tree != nullptr};
    Statement st;
    TreeLoader loader{tree};
    const uint32_t kNoKey = 0xFFFFFFFFu;
    uint32_t key = kNoKey;  // the entry of the open key
    uint32_t entryCount = 0;
    for (size_t line = 2; start < size; start = st.next, line += st.lines) {
        Statement::Kind kind;
        QuickKey quickKey;
        quickKey.hashes = what.sections;
        bool quick = !tree && QuickStatement(*doc, reader.lines, start, &kind, &st.lines, &st.next,
                                             &quickKey);
        if (!quick) kind = ReadStatement(reader, start, &st);
        RegEntry e{uint32_t(start), entryCount, 0};
        switch (kind) {
        case Statement::kNothing: continue;
        case Statement::kKey:
            key = e.keyEntry;
            e.kind = kRegEntryKey;
            if (what.sections) {
                RegSection section{uint32_t(start), quickKey.key, quickKey.parent, kRegSectionKey};
                if (!quick) RegKeyHashes(st.path, &section.key, &section.parent);
                doc->sections.push_back(section);
            }
            break;
        case Statement::kKeyDeletion:
            key = kNoKey;
            e.kind = kRegEntryKeyDeletion;
            doc->deletesKeys = true;
            if (what.sections)
                doc->sections.push_back(RegSection{uint32_t(start), 0, 0, kRegSectionDeletion});
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
            if (what.sections)
                doc->sections.push_back(RegSection{uint32_t(start), 0, 0, kRegSectionClosed});
            // fall through
        case Statement::kSkippedKeepKey:
            // Everything up to the line at fault goes, that line included.
            if (!skipped(line + st.lines - 1, st.why)) return false;
            continue;
        }
        ++entryCount;
        if (what.entries) doc->entries.push_back(e);
        if (tree) LoaderApply(loader, RegEntryKind(e.kind), st);
    }
    if (tree) LoaderLeaveKey(loader);
    return true;
}

// The document owns its bytes.
void Own(std::string content, RegDocument* doc) {
    *doc = RegDocument();
    doc->owned = std::make_unique<std::string>(std::move(content));
    doc->bytes = *doc->owned;
}

}  // namespace

bool RegDocumentRead(std::string content, const std::string& fileName, bool strict,
                     RegDocument* doc, std::string* error) {
    Own(std::move(content), doc);
    return Read(fileName, strict, ReadWhat{nullptr, true, false}, doc, error);
}

bool RegDocumentReadAndLoad(std::string content, const std::string& fileName, bool strict,
                            RegTree& tree, RegDocument* doc, std::string* error) {
    Own(std::move(content), doc);
    return Read(fileName, strict, ReadWhat{&tree, true, false}, doc, error);
}

bool RegDocumentReadSections(std::string_view content, const std::string& fileName, bool strict,
                             bool keepEntries, RegDocument* doc, std::string* error) {
    *doc = RegDocument();
    doc->bytes = content;
    return Read(fileName, strict, ReadWhat{nullptr, keepEntries, true}, doc, error);
}

void RegEntryLines(const RegDocument& doc, size_t entry, uint32_t* firstLine, uint32_t* lineCount) {
    StatementReader reader{doc, false};
    Statement st;
    ReadStatement(reader, doc.entries[entry].offset, &st);
    *firstLine = LineNumberAt(doc, doc.entries[entry].offset);
    *lineCount = st.lines;
}
