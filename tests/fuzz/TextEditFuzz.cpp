// Random sequences of searches and edits on one TextString, each checked
// against the same edit done on a std::string, and random record files read
// back. Whatever the arguments (indices past the text, negative ones, the
// character 0, absent texts), every result must match the model, the text
// must stay terminated within its block, and nothing may read or write
// outside it (the sanitizers watch that).
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>

#include "tests/fuzz/FuzzInput.h"
#include "text/TextString.h"

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "mismatch: %s\n", what);
        abort();
    }
}

// Few distinct characters, so that searches find something.
char Pick(FuzzInput& in) {
    static const char kChars[] = {'a', 'b', 'A', '-', ' ', '\t', '\r', '\n', '"',    '(', ')',
                                  '[', ']', '<', '>', '=', '&',  '0',  '_',  '\xE9', 0};
    return kChars[in.Below(sizeof kChars)];
}

std::string Word(FuzzInput& in, uint32_t maxLength) {
    std::string s;
    for (uint32_t n = in.Below(maxLength + 1); n; --n) {
        char c = Pick(in);
        if (c) s += c;
    }
    return s;
}

int32_t Index(FuzzInput& in, const std::string& text) {
    return int32_t(in.Below(uint32_t(text.size()) + 5)) - 2;
}

bool Ident(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '1' && c <= '9') || c == '_';
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }

long ModelSearch(const std::string& t, const std::string& f, long start, bool word, bool icase,
                 bool nullText) {
    if (nullText) return -1;
    if (start < 0) start = 0;
    if (size_t(start) > t.size()) return -1;
    if (!word && !icase) {
        size_t p = t.find(f, size_t(start));
        return p == std::string::npos ? -1 : long(p);
    }
    if (f.empty()) return word && !t.empty() && Ident(t.back()) ? -1 : long(t.size());
    for (size_t p = size_t(start); p + f.size() <= t.size(); ++p) {
        size_t i = 0;
        while (i < f.size() && (icase ? Upper(t[p + i]) == Upper(f[i]) : t[p + i] == f[i])) ++i;
        if (i < f.size()) continue;
        if (word &&
            ((p > 0 && Ident(t[p - 1])) || (p + f.size() < t.size() && Ident(t[p + f.size()]))))
            continue;
        return long(p);
    }
    return -1;
}

void Trim(std::string& t, const char* set) {
    size_t first = t.find_first_not_of(set);
    if (first == std::string::npos) {
        t.clear();
        return;
    }
    t = t.substr(first, t.find_last_not_of(set) - first + 1);
}

void Edits(FuzzInput& in) {
    TextString s;
    std::string model;
    bool null = true;  // the string has no block yet
    for (int step = 0; step < 40 && !in.Done(); ++step) {
        int op = in.Below(14);
        switch (op) {
        case 0: {
            std::string w = Word(in, 12);
            s.Assign(w.c_str());
            model = w;
            null = false;
            break;
        }
        case 1: {
            int which = in.Below(3);
            const char* sets[] = {"\r\n", " ", " \t"};
            if (which == 0) s.TrimLineEnds();
            if (which == 1) s.TrimSpaces();
            if (which == 2) s.TrimBlanks();
            Trim(model, sets[which]);
            break;
        }
        case 2: {
            char c = Pick(in);
            size_t p = c ? model.find(c) : std::string::npos;
            long expected = !c ? long(model.size()) : p == std::string::npos ? -1 : long(p);
            Check(s.CutAt(c) == expected, "CutAt");
            if (c && p != std::string::npos) model.resize(p);
            break;
        }
        case 3: {
            char c = Pick(in);
            size_t p = c ? model.find(c) : std::string::npos;
            Check(s.RemoveFirstOccurrence(c) == (p != std::string::npos ? 1 : 0), "RemoveFirst");
            if (p != std::string::npos) model.erase(p, 1);
            break;
        }
        case 4: {
            std::string set = Word(in, 3);
            bool present = in.Flag();
            Check(s.RemoveCharsOf(present ? set.c_str() : nullptr) == 1, "RemoveCharsOf");
            if (present)
                model.erase(
                    std::remove_if(model.begin(), model.end(),
                                   [&](char c) { return set.find(c) != std::string::npos; }),
                    model.end());
            break;
        }
        case 5: {
            char from = Pick(in), to = Pick(in);
            long count = from ? long(std::count(model.begin(), model.end(), from)) : 0;
            Check(s.ReplaceChar(from, to) == count, "ReplaceChar");
            if (from && count) {
                if (!to)
                    model.resize(model.find(from));
                else
                    std::replace(model.begin(), model.end(), from, to);
            }
            break;
        }
        case 6: {
            std::string w = Word(in, 4);
            int32_t index = Index(in, model);
            bool absent = in.Flag();
            s.Insert(absent ? nullptr : w.c_str(), index);
            if (!absent && index >= 0 && size_t(index) <= model.size()) {
                model.insert(size_t(index), w);
                if (!w.empty()) null = false;
            }
            break;
        }
        case 7: {
            std::string f = Word(in, 3);
            int32_t start = Index(in, model);
            bool word = in.Flag(), icase = in.Flag();
            Check(s.Search(f.c_str(), start, word, icase) ==
                      ModelSearch(model, f, start, word, icase, null),
                  "Search");
            break;
        }
        case 8: {
            int32_t a = Index(in, model), b = Index(in, model);
            long n = long(model.size());
            long start = std::min(std::max(long(a), 0L), n);
            long end = std::max(std::min(long(b), n), start);
            Check(model.substr(size_t(start), size_t(end - start)) == s.Slice(a, b).CStr(),
                  "Slice");
            break;
        }
        case 9: {
            std::string f = Word(in, 3), r = Word(in, 4);
            bool word = in.Flag();
            // The model searches from the start every time; it is asked only
            // about calls that end soon.
            std::string t = model;
            int count = 0;
            bool ends = !f.empty();
            while (ends) {
                long p = ModelSearch(t, f, 0, word, false, null);
                if (p < 0) break;
                t = t.substr(0, size_t(p)) + r + t.substr(size_t(p) + f.size());
                if (++count > 50 || t.size() > 2000) ends = false;
            }
            if (!ends) break;
            Check(s.ReplaceText(f.c_str(), r.c_str(), word) == count, "ReplaceText count");
            model = t;
            break;
        }
        case 10: {
            int32_t n = int32_t(in.Below(20)) - 2;
            char c = Pick(in);
            Check(s.Fill(c, n) == (n > 0 ? n : 0), "Fill");
            if (n > 0) {
                if (model.size() < size_t(n)) model.resize(size_t(n));
                std::fill(model.begin(), model.begin() + n, c);
                model.resize(std::min(model.size(), model.find('\0')));
                null = false;
            }
            break;
        }
        case 11: {
            int32_t count = int32_t(in.Below(8)) - 1, offset = Index(in, model);
            std::string bytes = Word(in, 6);
            bytes.resize(8, 'w');
            if (in.Flag()) bytes[size_t(in.Below(8))] = 0;
            // The model is the block's bytes: only the range changes, and room
            // the block gains is zero, so old bytes behind a terminator that
            // the write covers come back into the text.
            std::string block;
            if (s.HasBlock()) block.assign(s.PtrAt(0), size_t(s.Capacity()) + 2);
            s.WriteBytes(offset, bytes.data(), count);
            if (offset >= 0 && count > 0) {
                null = false;
                block.resize(std::max(block.size(), size_t(offset) + size_t(count) + 2), '\0');
                block.replace(size_t(offset), size_t(count), bytes, 0, size_t(count));
                model = block.c_str();
            }
            break;
        }
        case 12: {
            int32_t start = Index(in, model);
            char c = Pick(in);
            long expected = -1;
            size_t from = size_t(std::max(start, 0));
            if (!null && from <= model.size()) {
                size_t p = c ? model.find(c, from) : model.size();
                expected = p == std::string::npos ? -1 : long(p);
            }
            Check(s.FindChar(start, c) == expected, "FindChar");
            break;
        }
        case 13: {
            FILE* f = tmpfile();
            if (!f) break;
            int written = s.WriteRecord(f);
            rewind(f);
            TextString back("x");
            int32_t read = back.ReadRecord(f, 32767);
            fclose(f);
            Check(written == 10 && read == 1, "record written and read");
            std::string expected = model.substr(0, std::min(model.size(), model.find('\n')));
            Check(expected == back.CStr(), "record round trip");
            break;
        }
        }
        Check(s.Length() == long(model.size()), "length");
        Check(model == s.CStr(), "text");
        if (s.HasBlock()) Check(s.Length() < s.Capacity() + 2, "terminated within the block");
    }
}

// Arbitrary bytes as a record file: read record after record.
void Records(FuzzInput& in) {
    std::string bytes = in.Bytes(300);
    FILE* f = tmpfile();
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    rewind(f);
    TextString s;
    for (int i = 0; i < 50 && !feof(f); ++i) {
        int32_t maximum = int32_t(in.Below(300)) - 10;
        long before = ftell(f);
        int32_t result = s.ReadRecord(f, maximum);
        Check(result == 0 || result == 1, "ReadRecord result");
        if (s.HasBlock()) Check(s.Length() < s.Capacity(), "record terminated within the block");
        Check(ftell(f) <= long(bytes.size()), "read past the data");
        if (result == 0 && ftell(f) == before) break;
    }
    fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    if (in.Flag())
        Records(in);
    else
        Edits(in);
    return 0;
}
