#pragma once
// Resource identifiers shared by the resource script and the code.
#define MORVEL_MAIN_ICON 1
// "Open image..." in the main window's system menu: below the system's own commands (0xF000)
// and with the low four bits clear, as WM_SYSCOMMAND uses them.
#define MORVEL_OPEN_IMAGE_COMMAND 0x0110
