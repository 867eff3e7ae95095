#pragma once
// The value module is base/Values.h (exact decimals, scaled numbers, dates). This name stays for
// the data module's include until it includes base/Values.h itself.
#include "base/Values.h"
