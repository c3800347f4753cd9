// The portable side of platform/Registry.h: the six calls act on a
// registry tree in memory (registry/RegTree.h), with a table of open
// handles, answering as Windows answers.
//
// The tree they act on is the one given to PortableRegistryUse: one tree
// for the whole process, set explicitly by whoever loads it (portmedic-scan,
// a test). Registry.h has no tree argument, as Windows' own registry needs
// none; nothing else in the portable build keeps a tree of its own.
//
//   - REG_ROOT_LOCAL_MACHINE is the tree's "HKEY_LOCAL_MACHINE".
//   - Paths: a leading backslash or an empty part between two names is a
//     bad path (161), a key name over 255 characters or a value name over
//     16383 an invalid parameter (87); trailing backslashes are ignored.
//   - Closing a handle twice, or one never opened, gives 6.
//   - A key deleted from the tree takes its open handles with it.
#pragma once

#include <stdint.h>

#include <string>

#include "platform/Registry.h"
#include "registry/RegTree.h"

// The tree the Registry.h calls act on from now on (null: none, every call
// fails with kRegNotFound). Handles opened on the tree before are closed
// and the call hook is removed. The tree must stay alive while it is in
// use here, or be replaced first.
void PortableRegistryUse(RegTree* tree);
RegTree* PortableRegistryTree();

// Reading the tree in use on a second thread, beside the calling one: from
// PortableRegistryReadBeside to PortableRegistryReadBesideEnd, the calls
// made on that thread have handles of their own, and remember their own
// last keys, over the same tree, with the same hook. Reads alone are safe
// so: no thread may change the tree meanwhile, HKEY_LOCAL_MACHINE must be
// in it, and a key is enumerated on both only once TreeKeySortedChildren
// has put its sub-keys in order.
void PortableRegistryReadBeside();
void PortableRegistryReadBesideEnd();

// Number of handles opened through Registry.h and not closed yet.
int PortableRegistryOpenHandles();

// The one place where testing aids reach the Registry.h calls: when a hook is
// set, it is asked before each call on an existing key (for opening: before
// the path is looked up, with the key it is relative to) and a nonzero answer
// is returned instead of doing the call. portmedic-scan never sets one.
enum PortableRegistryCall { kCallOpen, kCallEnum, kCallQuery, kCallSet };
typedef long (*PortableRegistryHook)(PortableRegistryCall call, const TreeKey& key,
                                     const std::u16string& name, uint32_t index);
void PortableRegistrySetHook(PortableRegistryHook hook);
PortableRegistryHook PortableRegistryGetHook();
