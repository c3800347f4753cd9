// The program's fixed texts, byte for byte where a user or a test relies on them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "repair/GlobalTexts.h"

namespace {
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) return lines;
        start = end + 2;
    }
}
}  // namespace

TEST(ProgramTexts, IntroHasNineLinesWithTheirBlanks) {
    std::vector<std::string> lines = Lines(kIntroText.CStr());
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "PORTMEDIC 2.0 ");
    EXPECT_EQ(lines[1].substr(0, 4), "   E");
    EXPECT_NE(lines[1].find("ning\xFAn otro programa podr\xE1 acceder"), std::string::npos);
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3].substr(0, 5), "    E");
    EXPECT_NE(lines[3].find("inclu\xED"
                            "do Orbina"),
              std::string::npos);
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[5],
              "   Pulse la opcion de men\xFA Herramientas > Arreglar fallo ORBINA bluetooth, para "
              "reparar su PDA.");
    EXPECT_EQ(lines[6], "");
    for (int i : {7, 8}) {
        EXPECT_EQ(lines[i].substr(0, 3), "   ");
        EXPECT_NE(lines[i][3], ' ');
    }
    EXPECT_NE(lines[8].find("example.org"), std::string::npos);  // a reserved example domain
}

TEST(ProgramTexts, ScanTextsAreExact) {
    EXPECT_STREQ(kFaultMarker.CStr(), " <<<< \xA1"
                                      "FALLO DETECTADO AQU\xCD!");
    EXPECT_STREQ(kFixedMarker.CStr(), "  \xA1"
                                      "ARREGLADO!");
    EXPECT_STREQ(kAllGoodText.CStr(), "\r\nTodo perfecto!!!");
    EXPECT_STREQ(kNotFoundMessage.CStr(),
                 "No se ha encontrado el problema Bluetooth de ORBINA en esta PDA.");
    std::string fixed = kFixedMessage.CStr();
    EXPECT_EQ(fixed.front(), ' ');  // begins with a blank
    EXPECT_EQ(fixed.back(), 'S');   // "... acceder al GPS", no full stop
    EXPECT_NE(fixed.find("Deber\xE1 usted reiniciar su Pocket PC con un reset blando"),
              std::string::npos);
}

TEST(ProgramTexts, DisplayTextStartsEmptyWithoutABlock) {
    EXPECT_FALSE(g_displayText.HasBlock());
    EXPECT_EQ(kIntroText.TagRef(), -1);  // built by the plain constructor
}
