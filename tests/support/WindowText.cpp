#include "tests/support/WindowText.h"

#include "text/TextString.h"
#include "text/WideText.h"

std::wstring ClassOf(HWND w) {
    // Class names are at most 256 characters.
    WCHAR name[257] = {0};
    GetClassNameW(w, name, 257);
    return name;
}

std::wstring TextOf(HWND w) {
    std::wstring text(GetWindowTextLengthW(w) + 1, L'\0');
    text.resize(GetWindowTextW(w, &text[0], (int)text.size()));
    return text;
}

std::wstring Widen(const TextString& text) {
    WideText wide(text.CStr(), -1);
    return wide.buffer;
}
