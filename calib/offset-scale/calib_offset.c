#include "calib_offset.h"

#include <stdio.h>
#include <stdlib.h>

struct OffsetScale {
    float scale;
    float offset[3];
};

/* A whole argument read as a number; 0 when it is not one. */
static int readNumber(const char* text, float* value) {
    char* end = NULL;
    if (!text || !*text) return 0;
    *value = (float)strtod(text, &end);
    return *end == '\0';
}

void* calib_init(char** args, int32_t argCount) {
    struct OffsetScale* settings;
    float values[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    int32_t i;
    if (argCount < 0 || argCount > 4) {
        fprintf(stderr, "calib_offset: expected at most 4 arguments; positions are left unchanged.\n");
        return NULL;
    }
    for (i = 0; i < argCount; ++i) {
        if (!readNumber(args[i], &values[i])) {
            fprintf(stderr, "calib_offset: argument %d is no number; positions are left unchanged.\n", (int)i + 1);
            return NULL;
        }
    }
    settings = (struct OffsetScale*)malloc(sizeof *settings);
    if (!settings) return NULL;
    settings->scale = values[0];
    for (i = 0; i < 3; ++i) settings->offset[i] = values[i + 1];
    return settings;
}

#ifndef CALIB_OFFSET_WITHOUT_EVALUATE
int32_t calib_evaluate(void* handle, float* pose) {
    const struct OffsetScale* settings = (const struct OffsetScale*)handle;
    int i;
    if (!settings || !pose) return 0;
    for (i = 0; i < 3; ++i) pose[i] = settings->scale * pose[i] + settings->offset[i];
    return 1;
}
#endif

int32_t calib_exit(void* handle) {
    free(handle);
    return 1;
}
