#include "requests/TimeSelectionTrim.h"

double trimToTimeSelection (double cursor, double length, double selectionStart, double selectionEnd)
{
    // Every comparison with a NaN is false, so NaN anywhere keeps the length.
    if (cursor >= selectionStart && cursor < selectionEnd && selectionEnd < cursor + length)
        return selectionEnd - cursor;

    return length;
}
