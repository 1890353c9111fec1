// The table of 2^(j/32), j = 0..31, shared by the float-only exp and the
// double-double exp: one copy in a device's flash.
#ifndef OMBREL_EXP_FLOAT_TABLE_H
#define OMBREL_EXP_FLOAT_TABLE_H

#include "engine/float_float.h"

// 2^(j/32) for j = 0..31 in three floats, each the float nearest to what
// the ones before leave (tools/elementary_constants.py): hi + lo is within
// 2^-49 (the float-only exp), hi + lo + lowest within 2^-73 (the double-double
// exp, which forms lo + lowest exactly in double: together under 49 bits).
inline constexpr FloatFloat EXP2_TABLE[32] = {
    {0x1p+0f, 0x0p+0f}, {0x1.059b0ep+0f, -0x1.9d4f52p-25f},
    {0x1.0b5586p+0f, 0x1.9f3122p-25f}, {0x1.11301ep+0f, -0x1.fdb496p-25f},
    {0x1.172b84p+0f, -0x1.c15742p-27f}, {0x1.1d4874p+0f, -0x1.d2e8cap-25f},
    {0x1.2387a6p+0f, 0x1.ceac48p-25f}, {0x1.29e9ep+0f, -0x1.5c0424p-25f},
    {0x1.306fep+0f, 0x1.4636e2p-25f}, {0x1.371a74p+0f, -0x1.18aac6p-25f},
    {0x1.3dea64p+0f, 0x1.824684p-25f}, {0x1.44e086p+0f, 0x1.8624b4p-30f},
    {0x1.4bfdaep+0f, -0x1.593abcp-25f}, {0x1.5342b6p+0f, -0x1.2c561p-25f},
    {0x1.5ab07ep+0f, -0x1.5bd5ecp-27f}, {0x1.6247ecp+0f, -0x1.f8b55p-25f},
    {0x1.6a09e6p+0f, 0x1.9fcef4p-26f}, {0x1.71f75ep+0f, 0x1.1d8beep-25f},
    {0x1.7a1148p+0f, -0x1.829fdp-25f}, {0x1.82589ap+0f, -0x1.accc7cp-26f},
    {0x1.8ace54p+0f, 0x1.15506ep-27f}, {0x1.93737cp+0f, -0x1.e64744p-25f},
    {0x1.9c4918p+0f, 0x1.51f848p-27f}, {0x1.a5503cp+0f, -0x1.b83b54p-25f},
    {0x1.ae89fap+0f, -0x1.a94b14p-26f}, {0x1.b7f77p+0f, -0x1.a09438p-25f},
    {0x1.c199bep+0f, -0x1.3d56b2p-27f}, {0x1.cb720ep+0f, -0x1.8837ccp-27f},
    {0x1.d5818ep+0f, -0x1.822dbcp-27f}, {0x1.dfc974p+0f, -0x1.908c94p-25f},
    {0x1.ea4afap+0f, 0x1.52486cp-27f}, {0x1.f50766p+0f, -0x1.246ebp-26f},
};

inline constexpr float EXP2_TABLE_LOWEST[32] = {
    0x0p+0f, 0x1.0eb9f2p-50f, -0x1.3ace8ep-53f, 0x1.49d77ep-53f,
    -0x1.232084p-52f, -0x1.61fe92p-50f, -0x1.e64f82p-50f, 0x1.2c25d2p-52f,
    0x1.4b7a36p-50f, -0x1.563aeap-50f, 0x1.1ada0ap-51f, 0x1.89b7ap-59f,
    0x1.c750e6p-50f, 0x1.df0a84p-52f, 0x1.58c93p-52f, 0x1.2c7c3ep-50f,
    -0x1.b7ba68p-51f, 0x1.ee91b8p-51f, 0x1.b5f544p-50f, 0x1.4567c4p-51f,
    -0x1.48b076p-53f, 0x1.3d1408p-50f, 0x1.c7c46cp-56f, -0x1.ba5edep-51f,
    -0x1.50bc66p-51f, 0x1.baa9ecp-50f, 0x1.110658p-55f, 0x1.1503ccp-52f,
    -0x1.b44bf4p-53f, -0x1.469736p-52f, 0x1.858f74p-52f, 0x1.9d3e12p-54f,
};

#endif
