// Finding characters and texts in a TextString. None of these change the
// text. Start indices outside the text are answered without reading outside
// it: a negative start is taken as 0, a start past the end finds nothing.
#include "text/TextString.h"

#include <string.h>

int32_t TextString::FindText(const char* find) const {
    if (!chars_ || !find) return -1;
    const char* hit = strstr(chars_, find);
    return hit ? int32_t(hit - chars_) : -1;
}
