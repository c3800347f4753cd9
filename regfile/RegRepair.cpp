#include "regfile/RegDocument.h"

#include <stdio.h>

#include <algorithm>
#include <unordered_set>

#include "regfile/RegLoad.h"
#include "regfile/RegQuickLine.h"
#include "regfile/RegStatement.h"

namespace {

bool Representable(const RegFileFormat& format, char16_t c) {
    return format.encoding != kRegFileAnsi || Cp1252().fromWide[c] >= 0;
}

// Whole 16-bit characters ending in a zero one.
bool TerminatedUtf16(const uint8_t* bytes, size_t size) {
    return size >= 2 && size % 2 == 0 && !bytes[size - 2] && !bytes[size - 1];
}

// The bytes as the quoted text they spell: a terminated 16-bit text without
// inner zeros or line breaks, every character spellable in the file.
bool BytesAsQuotedText(const RegFileFormat& format, const uint8_t* bytes, size_t size,
                       std::u16string* text) {
    if (!TerminatedUtf16(bytes, size)) return false;
    for (size_t k = 0; k + 2 < size; k += 2) {
        char16_t c = Utf16LeAt(bytes + k);
        if (c == 0 || c == u'\r' || c == u'\n' || !Representable(format, c)) return false;
        if (c == u'\\' || c == u'"') text->push_back(u'\\');
        text->push_back(c);
    }
    return true;
}

void AppendAscii(std::u16string* out, const char* text) {
    for (; *text; ++text) out->push_back(char16_t(uint8_t(*text)));
}

// The bytes a hex form writes for this data: text types outside UTF-16
// files as 8-bit text. False when reading them back would not give the data.
bool HexData(const RegFileFormat& format, uint32_t type, const uint8_t* bytes, size_t size,
             std::vector<uint8_t>* data) {
    data->assign(bytes, bytes + size);
    bool isText =
        type == kTreeTypeString || type == kTreeTypeExpandString || type == kTreeTypeMultiString;
    if (!isText || size == 0) return true;
    // Read back, text types get a terminator when they lack one, and
    // outside UTF-16 their bytes are 8-bit text: only a terminated text
    // whose characters all have a byte comes back the same.
    if (!TerminatedUtf16(bytes, size)) return false;
    if (format.encoding == kRegFileUtf16) return true;
    data->clear();
    for (size_t k = 0; k < size; k += 2) {
        int16_t b = Cp1252().fromWide[Utf16LeAt(bytes + k)];
        if (b < 0) return false;
        data->push_back(uint8_t(b));
    }
    return true;
}

// Hex bytes data[first...] appended to a line whose text so far ends at
// `column`, each after a comma unless it is the very first, continued
// after lineEnd where a line would pass 80 columns, as regedit writes them.
void AppendHexBytes(const std::vector<uint8_t>& data, size_t first, size_t column,
                    const std::u16string& lineEnd, std::u16string* line) {
    static const char kDigits[] = "0123456789abcdef";
    for (size_t k = first; k < data.size(); ++k) {
        if (k > 0) {
            line->push_back(u',');
            ++column;
            if (column + 3 > 79) {  // regedit keeps lines within 80 columns
                *line += u"\\" + lineEnd + u"  ";
                column = 2;
            }
        }
        line->push_back(char16_t(kDigits[data[k] >> 4]));
        line->push_back(char16_t(kDigits[data[k] & 15]));
        column += 2;
    }
}

}  // namespace

bool RegFileSpellValue(const RegFileFormat& format, const std::u16string& nameAsWritten,
                       uint32_t type, const uint8_t* bytes, size_t size,
                       const std::u16string& lineEnd, std::u16string* line) {
    *line = nameAsWritten + u"=";
    std::u16string text;
    if (type == kTreeTypeString && BytesAsQuotedText(format, bytes, size, &text)) {
        *line += u"\"" + text + u"\"";
        return true;
    }
    char number[32];
    if (type == kTreeTypeDword && size == 4) {
        snprintf(number, sizeof number, "dword:%02x%02x%02x%02x", bytes[3], bytes[2], bytes[1],
                 bytes[0]);
        AppendAscii(line, number);
        return true;
    }
    std::vector<uint8_t> data;
    if (!HexData(format, type, bytes, size, &data)) return false;
    if (type == kTreeTypeBinary) {
        AppendAscii(line, "hex:");
    } else {
        snprintf(number, sizeof number, "hex(%x):", unsigned(type));
        AppendAscii(line, number);
    }
    AppendHexBytes(data, 0, line->size(), lineEnd, line);
    return true;
}

namespace {

// Where a value's data stands among its lines: the text between the quotes
// of a quoted string, or each byte's digits of a hex form. Offsets are in
// the document's bytes; columns count characters from the line's start.
struct DataPlace {
    bool quoted = false;
    std::vector<std::pair<size_t, size_t>> pieces;
    size_t lastColumn = 0;  // where the last piece ends in its line
};

// The byte where character `pos` of a decoded line starting at `lineStart`
// begins (in UTF-8 the characters before it take one to four bytes each).
size_t ByteAt(const RegDocument& doc, size_t lineStart, const std::u16string& line, size_t pos) {
    if (doc.format.encoding != kRegFileUtf8 && doc.format.encoding != kRegFileUtf8Bom)
        return lineStart + pos * UnitSize(doc);
    std::string before;
    EncodeText(doc.format, line.substr(0, pos), &before);
    return lineStart + before.size();
}

// Finds the data of the value statement `st` read from `start` (which
// regedit reads as a value): false for forms other than a quoted string or
// hex with at least one byte.
bool FindDataPlace(StatementReader& p, const Statement& st, size_t start, DataPlace* place) {
    p.Decode(start);
    const std::u16string* line = &p.line;
    size_t pos = st.nameEnd;
    auto skipBlanks = [&] {
        while (pos < line->size() && IsBlank((*line)[pos])) ++pos;
    };
    skipBlanks();
    ++pos;  // the '='
    skipBlanks();
    if ((*line)[pos] == u'"') {
        size_t close = ++pos;
        while ((*line)[close] != u'"') close += (*line)[close] == u'\\' ? 2 : 1;
        place->quoted = true;
        place->pieces.emplace_back(ByteAt(p.doc, start, *line, pos),
                                   ByteAt(p.doc, start, *line, close));
        return true;
    }
    if ((*line)[pos] != u'h') return false;  // dword: is written anew
    pos = line->find(u':', pos) + 1;
    for (size_t lineStart = start;;) {
        // The bytes of one line, up to its end, a comment or a '\'.
        for (;;) {
            skipBlanks();
            size_t from = pos;
            while (pos < line->size() && HexDigit((*line)[pos]) >= 0) ++pos;
            if (pos == from) break;
            place->pieces.emplace_back(ByteAt(p.doc, lineStart, *line, from),
                                       ByteAt(p.doc, lineStart, *line, pos));
            place->lastColumn = pos;
            skipBlanks();
            if (pos == line->size() || (*line)[pos] != u',') break;
            ++pos;
        }
        if (pos == line->size() || (*line)[pos] != u'\\') break;
        // Continued: the next line that is neither blank nor a comment.
        do {
            if (p.next >= st.next) return !place->pieces.empty();
            lineStart = p.next;
            p.Decode(lineStart);
            pos = 0;
            skipBlanks();
        } while (pos == line->size() || (*line)[pos] == u';');
    }
    return !place->pieces.empty();
}

}  // namespace

bool RegValueDataSpan(const RegDocument& doc, size_t start, uint32_t* type, size_t* from,
                      size_t* to) {
    StatementReader p{doc, true};
    Statement st;
    DataPlace place;
    if (ReadStatement(p, start, &st) != Statement::kValue || !FindDataPlace(p, st, start, &place))
        return false;
    *type = st.type;
    *from = place.pieces.front().first;
    *to = place.pieces.back().second;
    return true;
}

namespace {

// The value's lines [start, end) with only the data changed to the new
// type and bytes, where the old form holds them: a quoted string stays
// quoted, hex stays hex of the same type. Bytes that grow are added after
// the last one, bytes that shrink are dropped from the end with what stood
// between them. False where the form cannot hold the new data.
bool RespellDataOnly(StatementReader& p, const Statement& st, size_t start, uint32_t type,
                     const std::vector<uint8_t>& bytes, const std::u16string& lineEnd,
                     std::string* out) {
    DataPlace place;
    if (type != st.type || !FindDataPlace(p, st, start, &place)) return false;
    struct Change {
        size_t from, to;
        std::u16string text;
    };
    std::vector<Change> changes;
    const RegFileFormat& format = p.doc.format;
    if (place.quoted) {
        Change c{place.pieces[0].first, place.pieces[0].second, {}};
        if (!BytesAsQuotedText(format, bytes.data(), bytes.size(), &c.text)) return false;
        changes.push_back(std::move(c));
    } else {
        std::vector<uint8_t> data;
        if (!HexData(format, type, bytes.data(), bytes.size(), &data) || data.empty()) return false;
        size_t kept = std::min(data.size(), place.pieces.size());
        for (size_t k = 0; k < kept; ++k) {
            std::vector<uint8_t> one(1, data[k]);
            changes.push_back({place.pieces[k].first, place.pieces[k].second, {}});
            AppendHexBytes(one, 0, 0, lineEnd, &changes.back().text);
        }
        size_t lastEnd = place.pieces.back().second;
        if (kept < place.pieces.size())
            changes.push_back({place.pieces[kept - 1].second, lastEnd, {}});
        if (kept < data.size()) {
            changes.push_back({lastEnd, lastEnd, {}});
            AppendHexBytes(data, kept, place.lastColumn, lineEnd, &changes.back().text);
        }
    }
    out->clear();
    size_t copied = start;
    for (const Change& c : changes) {
        out->append(p.doc.bytes.substr(copied, c.from - copied));
        if (!EncodeText(format, c.text, out)) return false;
        copied = c.to;
    }
    out->append(p.doc.bytes.substr(copied, st.end - copied));
    return true;
}

}  // namespace

namespace {

// Walking back from the end, the first spelling met of a value is the one
// regedit applies last, unless a later deletion of the value or of its key
// (or of a key above it) undoes it. Calls see(entry, value, differs) for
// each spelling of a value the tree holds, met from the last: value is the
// tree's, and differs tells whether this spelling gives other data. Stops
// when see answers false.
// held, when given, marks the hash of every key the tree holds: a section
// whose key hash it lacks is passed over without reading its lines.
template <typename See>
bool WalkBack(const RegDocument& doc, const RegTree& tree, const RegKeySet* held,
              StatementReader& p, Statement& st, See see) {
    std::unordered_set<std::u16string> deletedKeys;
    size_t keyEntry = SIZE_MAX, section = doc.sections.size();
    const TreeKey* key = nullptr;
    for (size_t n = doc.entries.size(); n-- > 0;) {
        const RegEntry& e = doc.entries[n];
        if (e.kind == kRegEntryKey) continue;
        if (e.kind == kRegEntryKeyDeletion) {
            ReadStatement(p, e.offset, &st);
            deletedKeys.insert(RegFoldName(st.path));
            keyEntry = SIZE_MAX;
            continue;
        }
        if (e.keyEntry != keyEntry) {
            keyEntry = e.keyEntry;
            // Key entries are met from the last, as their sections.
            const uint32_t offset = doc.entries[keyEntry].offset;
            while (section > 0 && doc.sections[section - 1].offset > offset) --section;
            if (held && section > 0 && doc.sections[section - 1].offset == offset &&
                !RegKeySetHasKey(*held, doc.sections[section - 1].key)) {
                key = nullptr;
                continue;
            }
            Statement::Kind kind;
            QuickKey quickKey;
            quickKey.path = &st.path;
            if (!QuickStatement(doc, p.lines, doc.entries[keyEntry].offset, &kind, &st.lines,
                                &st.next, &quickKey))
                ReadStatement(p, doc.entries[keyEntry].offset, &st);
            // A key the tree lacks has no value to compare (most keys,
            // when the tree holds only those a scan reads). Deleted when
            // this key or one above it is deleted further on; a sibling
            // whose name merely begins the same is not.
            key = RegTreeFindKey(tree, st.path);
            std::u16string folded = key ? RegFoldName(st.path) : std::u16string();
            bool deleted = false;
            for (size_t cut = folded.size(); key && !deleted;) {
                deleted = deletedKeys.count(folded.substr(0, cut)) != 0;
                size_t slash = folded.rfind(u'\\', cut - 1);
                if (slash == std::u16string::npos || slash == 0) break;
                cut = slash;
            }
            if (deleted) key = nullptr;
        }
        if (!key) continue;
        ReadStatement(p, e.offset, &st);
        const TreeValue* now = TreeKeyFindValue(*key, st.name.data(), st.name.size());
        if (!now) continue;  // deleted last: no spelling of it counts
        bool differs =
            e.kind == kRegEntryValue && (TreeValueType(*now) != st.type ||
                                         !TreeValueSameBytes(*now, st.data.data(), st.data.size()));
        if (!see(e, now, differs)) return false;
    }
    return true;
}

// The new lines of a value, replacing the bytes [from, to): its lines
// without the last line end.
struct Replacement {
    size_t from, to;
    std::u16string text;  // spelled anew,
    std::string bytes;    // or the old lines with only the data changed
};

// The value's lines spelled for the tree's value `now`: only the data
// changed where the old form holds it, else written anew.
bool Replace(StatementReader& p, const Statement& st, const RegEntry& e, const TreeValue& now,
             Replacement* r, std::string* error) {
    const RegDocument& doc = p.doc;
    // The last line's own line end (a lone byte after the last
    // character of a UTF-16 file is none).
    std::u16string lineEnd;
    for (size_t k = st.end; k + UnitSize(doc) <= st.next; k += UnitSize(doc))
        lineEnd.push_back(UnitAt(doc, k));
    if (lineEnd.empty()) lineEnd = u"\r\n";  // only for wrapping inside the value
    std::vector<uint8_t> bytes = TreeValueBytes(now);
    *r = Replacement{e.offset, st.end, {}, {}};
    if (RespellDataOnly(p, st, e.offset, TreeValueType(now), bytes, lineEnd, &r->bytes))
        return true;
    p.Decode(e.offset);  // the name is on the first of the value's lines
    std::u16string name = p.line.substr(st.nameStart, st.nameEnd - st.nameStart);
    if (!RegFileSpellValue(doc.format, name, TreeValueType(now), bytes.data(), bytes.size(),
                           lineEnd, &r->text)) {
        *error = "line " + std::to_string(LineNumberAt(doc, e.offset)) +
                 ": the new data of value '" + Shown(st.name) +
                 "' cannot be spelled in this file's format";
        return false;
    }
    // The indent is kept as it was: blanks only, so copied unit for unit.
    r->text.insert(0, p.line, 0, st.nameStart);
    return true;
}

}  // namespace

bool RegDocumentEdits(const RegDocument& doc, const RegTree& tree, std::vector<RegEdit>* edits,
                      std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    edits->clear();
    StatementReader p{doc, true};
    Statement st;

    // The first walk collects the values that some spelling disagrees with
    // (few: the repaired ones and those spelled more than once); the second
    // finds, for those alone, whether the disagreeing spelling is the one
    // that counts. So the walks remember a handful of values, not every
    // value of the file.
    std::unordered_set<const TreeValue*> disagreeing, settled;
    RegKeySet held;
    if (!doc.sections.empty()) RegKeySetAddTree(held, tree);
    const RegKeySet* filter = doc.sections.empty() ? nullptr : &held;
    WalkBack(doc, tree, filter, p, st, [&](const RegEntry&, const TreeValue* now, bool differs) {
        if (differs) disagreeing.insert(now);
        return true;
    });
    std::vector<Replacement> replacements;
    bool spelled = WalkBack(
        doc, tree, filter, p, st, [&](const RegEntry& e, const TreeValue* now, bool differs) {
            if (!disagreeing.count(now) || !settled.insert(now).second || !differs) return true;
            replacements.emplace_back();
            return Replace(p, st, e, *now, &replacements.back(), error);
        });
    if (!spelled) return false;

    // Met walking back: in file order from the last.
    for (size_t n = replacements.size(); n-- > 0;) {
        const Replacement& r = replacements[n];
        edits->push_back(RegEdit{r.from, r.to, r.bytes});
        if (r.bytes.empty() && !EncodeText(doc.format, r.text, &edits->back().bytes)) {
            edits->clear();
            *error = "line " + std::to_string(LineNumberAt(doc, r.from)) +
                     ": the new value cannot be written in this file's encoding";
            return false;
        }
    }
    return true;
}

std::vector<std::string_view> RegEditedPieces(std::string_view original,
                                              const std::vector<RegEdit>& edits) {
    std::vector<std::string_view> pieces;
    pieces.reserve(2 * edits.size() + 1);
    size_t copied = 0;
    for (const RegEdit& e : edits) {
        pieces.emplace_back(original.data() + copied, e.from - copied);
        pieces.emplace_back(e.bytes);
        copied = e.to;
    }
    pieces.emplace_back(original.data() + copied, original.size() - copied);
    return pieces;
}

bool RegDocumentRepaired(const RegDocument& doc, const RegTree& tree, std::string* content,
                         std::string* error) {
    content->clear();
    std::vector<RegEdit> edits;
    if (!RegDocumentEdits(doc, tree, &edits, error)) return false;
    content->reserve(doc.bytes.size());
    for (std::string_view piece : RegEditedPieces(doc.bytes, edits)) content->append(piece);
    return true;
}
