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
const uint64_t kAdded = 1, kAbove = 2, kFlags = 3;

// The slot of a hash in the set: where it is, or the empty slot it would take.
uint64_t& SlotOf(const RegKeySet& set, uint64_t h) {
    size_t mask = set.slots.size() - 1;
    size_t i = size_t(h ^ (h >> 29)) & mask;
    while (set.slots[i] && (set.slots[i] & ~kFlags) != h) i = (i + 1) & mask;
    return const_cast<uint64_t&>(set.slots[i]);
}

// A hash with its flag bits clear, never 0.
uint64_t Identity(uint64_t h) { return (h & ~kFlags) ? h & ~kFlags : 4; }

void Mark(RegKeySet& set, uint64_t h, uint64_t flag) {
    if (2 * (set.used + 1) > set.slots.size()) {
        std::vector<uint64_t> old;
        old.swap(set.slots);
        set.slots.assign(old.empty() ? 64 : 2 * old.size(), 0);
        for (uint64_t v : old)
            if (v) SlotOf(set, v & ~kFlags) = v;
    }
    h = Identity(h);
    uint64_t& slot = SlotOf(set, h);
    if (!slot) ++set.used;
    slot = (slot ? slot : h) | flag;
}

uint64_t Flags(const RegKeySet& set, uint64_t h) {
    return set.slots.empty() ? 0 : SlotOf(set, Identity(h)) & kFlags;
}

}  // namespace

void RegKeySetAdd(RegKeySet& set, const std::u16string& path) {
    uint64_t h = kHashStart;
    for (char16_t c : path) {
        if (c == u'\\') Mark(set, h, kAbove);
        h = HashStep(h, c);
    }
    Mark(set, h, kAdded);
}

bool RegKeySetCovers(const RegKeySet& set, const std::u16string& path) {
    // The path and each key above it, from the root down, as long as an
    // added key may still lie below.
    uint64_t h = kHashStart;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == u'\\') {
            uint64_t flags = Flags(set, h);
            if (flags & kAdded) return true;
            if (!(flags & kAbove)) return false;
        }
        if (i < path.size()) h = HashStep(h, path[i]);
    }
    return false;
}

void RegDocumentLoadSome(const RegDocument& doc, const RegKeySet& wanted, const RegKeySet* loaded,
                         RegTree& tree) {
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
        if (kind == Statement::kKey &&
            (!RegKeySetCovers(wanted, st.path) || (loaded && RegKeySetCovers(*loaded, st.path))))
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
