#pragma once

// The length an item placed at cursor should have so that it ends at the time selection's
// end: trimmed when the cursor stands inside [selectionStart, selectionEnd) and the item
// would run past selectionEnd, otherwise unchanged. Any NaN leaves the length unchanged.
double trimToTimeSelection (double cursor, double length, double selectionStart, double selectionEnd);
