#pragma once
// The checks of the information window's driver that compare with what the core and the
// platform give on the machine the driver runs on.
#include <functional>
#include <string>

#include "tests/e2e/E2eDriver.h"
#include "core/system/SystemApi.h"

// The executable's version resource read through the version API, and the core's file
// version text of it.
void CheckVersionResource(morvel::e2e::Checks& checks, morvel::SystemApi& system, const std::string& exe);
// The labels of an open information window; `text` reads a label by its control id.
void CheckInfoLabels(morvel::e2e::Checks& checks, morvel::SystemApi& system, const std::string& exe,
                     const std::function<std::string(int)>& text);
