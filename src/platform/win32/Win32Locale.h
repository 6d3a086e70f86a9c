#pragma once
#include "core/runtime/Format.h"

namespace morvel {

// The decimal and thousands separators of the user's regional settings.
NumberSeparators UserNumberSeparators();

}  // namespace morvel
