#pragma once
// The program's version data, in one place: the Windows version resource, the information
// window and the console program's --version all read it from here.
#define MORVEL_VERSION_MAJOR 0
#define MORVEL_VERSION_MINOR 6
#define MORVEL_VERSION_RELEASE 1
#define MORVEL_VERSION_BUILD 7
#define MORVEL_FILE_VERSION_TEXT "0.6.1.7"
#define MORVEL_PRODUCT_VERSION_TEXT "1.0.0.0"
// Language 0x0411 (Japanese) with code page 0x03A4 (932): the string table "041103A4".
#define MORVEL_VERSION_LANGUAGE 0x0411
#define MORVEL_VERSION_CODEPAGE 0x03A4
#define MORVEL_VERSION_STRING_TABLE "041103A4"
