// The program's fixed texts, byte for byte where a user or a test relies on them.
#include <gtest/gtest.h>

#include <string>

#include "repair/GlobalTexts.h"

// The one place the texts are written out: every other test refers to the
// globals. The intro's last line names a reserved example domain.
TEST(ProgramTexts, EveryTextByteForByte) {
    struct Case {
        const TextString& text;
        const char* bytes;
    } cases[] = {
        {kIntroText,
         "PORTMEDIC 2.0 \r\n"
         "   El programa Orbina Navigator, cuando se instala modifica el sistema bluetooth de su "
         "PDA. Una vez instalado Orbina ning\xFAn otro programa podr\xE1 acceder a un GPS "
         "bluetooth.\r\n\r\n"
         "    Esta utilidad le permitir\xE1 arreglar este problema y conseguir\xE1 que todos los "
         "programas, inclu\xED"
         "do Orbina, puedan acceder a un GPS bluetooth.\r\n\r\n"
         "   Pulse la opcion de men\xFA Herramientas > Arreglar fallo ORBINA bluetooth, para "
         "reparar su PDA.\r\n\r\n"
         "   PORTMEDIC, utilidades para Pocket PC\r\n"
         "   http://www.example.org/portmedic"},
        {kFaultMarker, " <<<< \xA1"
                       "FALLO DETECTADO AQU\xCD!"},
        {kFixedMarker, "  \xA1"
                       "ARREGLADO!"},
        {kFixedMessage,
         " Se ha corregido el fallo. Deber\xE1 usted reiniciar su Pocket PC con un reset blando "
         "para que todas las aplicaciones puedan acceder al GPS"},
        {kAllGoodText, "\r\nTodo perfecto!!!"},
        {kNotFoundMessage, "No se ha encontrado el problema Bluetooth de ORBINA en esta PDA."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(std::string(c.text.CStr()), c.bytes);
    }
}

TEST(ProgramTexts, DisplayTextStartsEmptyWithoutABlock) {
    EXPECT_FALSE(g_displayText.HasBlock());
    EXPECT_EQ(kIntroText.TagRef(), -1);  // built by the plain constructor
}
