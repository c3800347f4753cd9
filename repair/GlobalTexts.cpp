// Every global text of PORTMEDIC, defined here in one translation unit so
// that they are built in this order before WinMain and destroyed in the
// reverse order after it: g_displayText first, kIntroText last.
//
// The texts are Windows-1252 bytes; accented letters are written as escapes
// (\xFA u acute, \xE1 a acute, \xED i acute, \xA1 inverted exclamation mark,
// \xCD capital I acute). An escape is closed by ending the literal ("" ...)
// wherever a hexadecimal digit follows it.
#include "repair/GlobalTexts.h"

TextString kIntroText(
    "PORTMEDIC 2.0 \r\n"
    "   El programa Orbina Navigator, cuando se instala modifica el sistema bluetooth de su "
    "PDA. Una vez instalado Orbina ning\xFAn otro programa podr\xE1 acceder a un GPS "
    "bluetooth.\r\n"
    "\r\n"
    "    Esta utilidad le permitir\xE1 arreglar este problema y conseguir\xE1 que todos los "
    "programas, inclu\xED"
    "do Orbina, puedan acceder a un GPS bluetooth.\r\n"
    "\r\n"
    "   Pulse la opcion de men\xFA Herramientas > Arreglar fallo ORBINA bluetooth, para "
    "reparar su PDA.\r\n"
    "\r\n"
    "   PORTMEDIC, utilidades para Pocket PC\r\n"
    "   http://www.example.org/portmedic");

TextString kFaultMarker(" <<<< \xA1"
                        "FALLO DETECTADO AQU\xCD!");
TextString kFixedMarker("  \xA1"
                        "ARREGLADO!");
TextString kFixedMessage(
    " Se ha corregido el fallo. Deber\xE1 usted reiniciar su Pocket PC con un reset blando "
    "para que todas las aplicaciones puedan acceder al GPS");
TextString kAllGoodText("\r\nTodo perfecto!!!");
TextString kNotFoundMessage("No se ha encontrado el problema Bluetooth de ORBINA en esta PDA.");
TextString g_displayText;
