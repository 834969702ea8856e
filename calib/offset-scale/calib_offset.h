/*
 * Example calibration library for the IS-900 plug-in: scales every position
 * and then adds a fixed offset. Copy this folder to write your own.
 *
 * Options line:   calibration <library file> [scale [dx [dy [dz]]]]
 * Effect:         x' = scale * x + dx, y' = scale * y + dy, z' = scale * z + dz
 *                 (feet; the angles are left alone). Missing arguments default
 *                 to scale 1 and offset 0.
 */
#ifndef CALIB_OFFSET_H
#define CALIB_OFFSET_H

#include <stdint.h>

#if defined(_WIN32)
#define CALIB_EXPORT __declspec(dllexport)
#else
#define CALIB_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Called once when the device starts. The strings stay valid until
 * calib_exit is called. Returns a handle that the plug-in passes back
 * unexamined; NULL when an argument is not a number (poses then pass
 * unchanged). */
CALIB_EXPORT void* calib_init(char** args, int32_t argCount);

/* Called for every tracker sample: pose holds x, y, z in feet and azimuth,
 * elevation, roll in degrees, and is corrected in place. The result is
 * ignored by the plug-in; this library returns 1 when it changed the pose. */
CALIB_EXPORT int32_t calib_evaluate(void* handle, float* pose);

/* Called once when the device stops: releases what calib_init set up. */
CALIB_EXPORT int32_t calib_exit(void* handle);

#ifdef __cplusplus
}
#endif

#endif
