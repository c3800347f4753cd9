#include "regfile/RegLoad.h"

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
