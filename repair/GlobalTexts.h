// Every global text of PORTMEDIC: the scan's own and the program's two.
//
// They are defined together in one translation unit (repair/GlobalTexts.cpp)
// so that they are built in the order declared here before WinMain and
// destroyed in the reverse order after it. The unit lives beside the scan
// that uses most of them, so the program (app/) and portmedic-scan (cli/)
// both take it from a layer they stand on, and nothing below app/ needs app/.
//
// The texts are Windows-1252 bytes.
#pragma once

#include "text/TextString.h"

extern TextString kIntroText;        // the program's: shown until the first scan
extern TextString kFaultMarker;      // " <<<< \xA1FALLO DETECTADO AQU\xCD!"
extern TextString kFixedMarker;      // "  \xA1ARREGLADO!"
extern TextString kFixedMessage;     // shown after a successful repair
extern TextString kAllGoodText;      // "\r\nTodo perfecto!!!"
extern TextString kNotFoundMessage;  // shown when nothing was damaged
extern TextString g_displayText;     // the program's: what the main window paints
