#pragma once

#include <string>

#include "requests/SelectedItemReport.h"

// The report as the library application parses it: null, an empty object or the five
// members src, start, len, pcmsr, pcmlen in that order; CR LF line ends, two-space indent,
// no line end after the closing brace; ASCII only.
std::string writeSelectedItemJson (const SelectedItemReport& report);
