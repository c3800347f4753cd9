#include "regfile/RegLoad.h"

#include "regfile/RegQuickLine.h"

void LoaderLeaveKey(TreeLoader& l) {
    if (l.key) TreeKeyTrimValues(*l.key);
    l.key = nullptr;
}

void LoaderApply(TreeLoader& l, RegEntryKind kind, const Statement& st) {
    switch (kind) {
    case kRegEntryKey: {
        LoaderLeaveKey(l);
        size_t slash = st.path.rfind(u'\\');
        for (TreeLoader::Parent& parent : l.parents) {
            if (slash == std::u16string::npos || !parent.key || parent.path.size() != slash ||
                st.path.compare(0, slash, parent.path) != 0)
                continue;
            l.key = &TreeKeyCreateChild(*parent.key, st.path.data() + slash + 1,
                                        st.path.size() - slash - 1);
            break;
        }
        if (!l.key) {
            l.key = &RegTreeCreateKey(*l.tree, st.path);
            if (slash != std::u16string::npos) {
                TreeLoader::Parent& parent = l.parents[l.nextParent++ % 4];
                parent.path.assign(st.path, 0, slash);
                parent.key = TreeKeyParent(*l.key);
            }
        }
        break;
    }
    case kRegEntryKeyDeletion:
        LoaderLeaveKey(l);
        RegTreeDeleteKey(*l.tree, st.path);
        for (TreeLoader::Parent& parent : l.parents) parent.key = nullptr;  // may be gone
        break;
    case kRegEntryValue:
        if (l.key)
            TreeKeySetValue(*l.key, st.name.data(), st.name.size(), st.type, st.data.data(),
                            st.data.size());
        break;
    case kRegEntryValueDeletion:
        if (l.key) TreeKeyDeleteValue(*l.key, st.name.data(), st.name.size());
        break;
    }
}

void RegDocumentLoad(const RegDocument& doc, RegTree& tree) {
    StatementReader reader{doc, true};
    Statement st;
    TreeLoader loader{&tree};
    for (const RegEntry& e : doc.entries) {
        ReadStatement(reader, e.offset, &st);
        LoaderApply(loader, RegEntryKind(e.kind), st);
    }
    LoaderLeaveKey(loader);
}

namespace {

uint64_t HashStep(uint64_t h, char16_t c) {
    return (h ^ RegFoldChar(c)) * 1099511628211ull;  // FNV-1a over the folded name
}

const uint64_t kHashStart = 1469598103934665603ull;

}  // namespace

void RegKeySetAdd(RegKeySet& set, const std::u16string& path) {
    uint64_t h = kHashStart;
    for (char16_t c : path) {
        if (c == u'\\') set.above.insert(h);
        h = HashStep(h, c);
    }
    set.hashes.insert(h);
}

bool RegKeySetCovers(const RegKeySet& set, const std::u16string& path) {
    // The path and each key above it, from the root down, as long as an
    // added key may still lie below.
    uint64_t h = kHashStart;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == u'\\') {
            if (set.hashes.count(h)) return true;
            if (!set.above.count(h)) return false;
        }
        if (i < path.size()) h = HashStep(h, path[i]);
    }
    return false;
}

void RegDocumentLoadSome(const RegDocument& doc, const RegKeySet& wanted, RegTree& tree) {
    StatementReader reader{doc, true};
    Statement st;
    TreeLoader loader{&tree};
    const size_t size = doc.bytes.size();
    for (size_t s = 0; s < doc.sections.size(); ++s) {
        size_t start = doc.sections[s];
        size_t stop = s + 1 < doc.sections.size() ? doc.sections[s + 1] : size;
        Statement::Kind kind;
        if (!QuickStatement(doc, reader.lines, start, &kind, &st.lines, &st.next, &st.path))
            kind = ReadStatement(reader, start, &st);
        if (kind == Statement::kKey && !RegKeySetCovers(wanted, st.path))
            kind = Statement::kSkipped;
        switch (kind) {
        case Statement::kKey: LoaderApply(loader, kRegEntryKey, st); break;
        case Statement::kKeyDeletion: LoaderApply(loader, kRegEntryKeyDeletion, st); continue;
        default: LoaderLeaveKey(loader); continue;
        }
        // The section's values, read in full.
        for (start = st.next; start < stop; start = st.next) {
            kind = ReadStatement(reader, start, &st);
            if (kind == Statement::kValue) LoaderApply(loader, kRegEntryValue, st);
            if (kind == Statement::kValueDeletion) LoaderApply(loader, kRegEntryValueDeletion, st);
        }
    }
    LoaderLeaveKey(loader);
}
