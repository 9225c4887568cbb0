// The QuickTime level a data file asks for, and the level the machine has.
#pragma once

#include <cstdint>
#include <string>

#include "errors/result_codes.h"

// The required level from the data file's header; 0 (after one error message naming the
// path) when the file is missing, cannot be opened or is shorter than the header.
int32_t readRequiredQuickTimeLevel(const std::string& dataFilePath);
// 0 when the installed QuickTime ("QuickTime.qts" = 3, "QTim32.dll" = 2) meets `level`,
// else -200.
TResult checkQuickTime(int32_t level);
