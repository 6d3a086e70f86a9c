#pragma once
// The checks of the information window's driver that compare with what the core and the
// platform give on the machine the driver runs on.
#include <functional>
#include <string>

#include "SystemApi.h"

void Check(bool ok, const std::string& what, const std::string& got = {});
void CheckEq(const std::string& got, const std::string& want, const std::string& what);

// The executable's version resource read through the version API.
void CheckVersionResource(morvel::SystemApi& system, const std::string& exe);
// The labels of an open information window; `text` reads a label by its control id.
void CheckInfoLabels(morvel::SystemApi& system, const std::string& exe, const std::function<std::string(int)>& text);
