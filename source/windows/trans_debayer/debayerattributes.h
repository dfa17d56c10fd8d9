// Attribute keys and output subtypes of the debayer transform, for the transform and its hosts.
#pragma once

#include <windows.h>

namespace tsr {

// UINT32 curve index: 0 linear BT.709, 1 linear BT.2020, 2 to 8 output curves.
inline constexpr GUID MF_DEBAYER_OUTPUT_CURVE = {
    0x49EFE421, 0xD896, 0x4291, {0xAC, 0xD1, 0x59, 0x33, 0xED, 0x85, 0xF7, 0xC5}};
// UINT64 cl_command_queue the engine is to use, in the transform's attributes.
inline constexpr GUID MF_DEBAYER_CL_COMMAND_QUEUE = {
    0x8617B407, 0x4CD6, 0x48C3, {0xBA, 0xAE, 0xC4, 0x4A, 0x8E, 0x0B, 0x48, 0x58}};
// 48-byte blob: twelve floats replacing the frame's gains, colour matrix and exposure.
inline constexpr GUID MF_DEBAYER_COLOR_MATRIX = {
    0x7FA65029, 0x3717, 0x46F5, {0xB6, 0x16, 0x01, 0x69, 0xDB, 0x3A, 0xA0, 0xAC}};
// UINT64 cl_mem to use instead of a sample's buffer.
inline constexpr GUID MF_DEBAYER_CL_IMAGE = {
    0xA8591694, 0x1297, 0x4CAE, {0xBB, 0x84, 0xC5, 0xCF, 0xB4, 0xB9, 0x11, 0x0C}};

// Four 32-bit floats per pixel; the half-float output is the standard MFVideoFormat_A16B16G16R16F.
inline constexpr GUID MFVideoFormat_RGBA128F = {
    0x1A9CFCDF, 0xA713, 0x4685, {0xA8, 0xF1, 0xEB, 0x56, 0x40, 0x83, 0x7B, 0x8A}};

inline constexpr UINT32 kColorMatrixBytes = 48;

} // namespace tsr
