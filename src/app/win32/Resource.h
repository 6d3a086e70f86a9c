#pragma once
// Resource identifiers shared by the resource script and the code.
#define MORVEL_MAIN_ICON 1
