// The program's global texts, besides the scan's own (repair/SerialScan.h).
#pragma once

#include "repair/SerialScan.h"
#include "text/TextString.h"

extern TextString kIntroText;     // shown until the first scan
extern TextString g_displayText;  // what the main window paints
