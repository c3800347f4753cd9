// Texts of windows and of the text library, as wide strings for the Windows
// tests and the end-to-end driver to compare and print.
#pragma once

#include <windows.h>

#include <string>

class TextString;

// The window's class name ("" for no window).
std::wstring ClassOf(HWND w);
// The window's whole text, however long ("" for no window).
std::wstring TextOf(HWND w);
// The text, widened through the program's code page.
std::wstring Widen(const TextString& text);
