// Records the host fills and hands across the plug-in boundary. Their 32-bit
// layout is the host interface; 64-bit builds use the same declarations with
// natural alignment.
#pragma once

#include <cstddef>
#include <cstdint>

struct CDataStorage;

const uint32_t maxOptionLines = 32;
const uint32_t maxOptionArgs = 64;

struct ConfigLine {
    uint32_t lineNumber;
    char* keyword;
    char* args[maxOptionArgs];
    uint32_t argCount;
    bool used;
    char padding[3];
};

struct DevConfig {
    uint32_t hostField;
    char* name;
    char hostFields[268];
    ConfigLine lines[maxOptionLines];
    uint32_t lineCount;
};

struct DevInitInfo {
    CDataStorage* trackerStorage;
    CDataStorage* controllerStorage;
    char hostFields[36];
    int32_t* runFlag;
};

#define IS900_POINTERS_ARE_32_BIT (sizeof(void*) == 4)
static_assert(!IS900_POINTERS_ARE_32_BIT || sizeof(ConfigLine) == 272, "ConfigLine layout");
static_assert(!IS900_POINTERS_ARE_32_BIT || offsetof(ConfigLine, lineNumber) == 0, "ConfigLine layout");
static_assert(!IS900_POINTERS_ARE_32_BIT || offsetof(ConfigLine, keyword) == 4, "ConfigLine layout");
static_assert(!IS900_POINTERS_ARE_32_BIT || offsetof(ConfigLine, args) == 8, "ConfigLine layout");
static_assert(!IS900_POINTERS_ARE_32_BIT || offsetof(ConfigLine, argCount) == 264, "ConfigLine layout");
static_assert(!IS900_POINTERS_ARE_32_BIT || offsetof(ConfigLine, used) == 268, "ConfigLine layout");
static_assert(!IS900_POINTERS_ARE_32_BIT || offsetof(DevConfig, name) == 4, "DevConfig layout");
static_assert(!IS900_POINTERS_ARE_32_BIT || offsetof(DevConfig, hostFields) == 8, "DevConfig layout");
static_assert(!IS900_POINTERS_ARE_32_BIT || offsetof(DevConfig, lines) == 276, "DevConfig layout");
static_assert(!IS900_POINTERS_ARE_32_BIT || offsetof(DevConfig, lineCount) == 8980, "DevConfig layout");
static_assert(!IS900_POINTERS_ARE_32_BIT || sizeof(DevConfig) == 8984, "DevConfig layout");
static_assert(!IS900_POINTERS_ARE_32_BIT || sizeof(DevInitInfo) == 48, "DevInitInfo layout");
static_assert(!IS900_POINTERS_ARE_32_BIT || offsetof(DevInitInfo, trackerStorage) == 0, "DevInitInfo layout");
static_assert(!IS900_POINTERS_ARE_32_BIT || offsetof(DevInitInfo, controllerStorage) == 4, "DevInitInfo layout");
static_assert(!IS900_POINTERS_ARE_32_BIT || offsetof(DevInitInfo, runFlag) == 44, "DevInitInfo layout");
