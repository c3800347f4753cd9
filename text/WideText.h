// WideText: a short-lived 16-bit copy of an 8-bit text, made right before one
// wide-character platform call and freed right after it.
//
//   WideText path(key.CStr(), -1);          // capacity strlen + 20
//   RegistryOpenKey(root, path.buffer, ...);
//   // path frees its buffer at the end of the scope
//
// The conversion goes through the system's ANSI code page. The buffer always
// holds a terminated wide text, also when the conversion fails.
#pragma once

#include <stdint.h>

#include "platform/WideChar.h"

struct WideText {
    WideChar* buffer;
    int32_t capacity;  // wide characters, terminator included

    // Wide copy of text (null reads as ""). count < 0 measures the text;
    // a count other than the text's length is clamped to it, so the
    // conversion never reads past the text's terminator.
    WideText(const char* text, int32_t count);
    // An empty wide text with room for capacity characters (at least 1).
    explicit WideText(int32_t capacity);
    ~WideText();
    WideText(const WideText&) = delete;
    WideText& operator=(const WideText&) = delete;

    int32_t Length() const;
    // Replaces the content by text converted, cut to capacity - 1 characters.
    void Assign(const char* text);

    // A short text (a registry path or name) is kept here, not allocated.
    static const int32_t kShortCapacity = 64;
    WideChar shortText[kShortCapacity];
};
