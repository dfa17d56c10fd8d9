// Decoding of one slice, and of one macroblock row of slices, straight into the caller's image.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bitreader.h"
#include "idct.h"
#include "writers.h"

namespace tsr {

// What every slice of one decode call shares.
struct FrameContext {
    int scaleIndex = 0;
    int log2Coefficients = 6; // 64, 16 or 4 coefficients per block
    const uint8_t* scan = nullptr;
    InverseTransform transform = nullptr;
    int blockSide = 8;
    MacroblockWriter writer = nullptr;
    ptrdiff_t rowPitch = 0;
    int bytesPerMacroblock = 0;
    WriterCurve curve;
    uint8_t quantMatrix[64] = {};
};

struct SliceDescriptor {
    const uint8_t* data = nullptr; // first byte of the slice
    uint32_t size = 0;
    uint32_t log2Width = 0;    // the slice is 2^log2Width macroblocks wide
    uint32_t rows = 0;         // output rows of its macroblock row
    uint8_t* output = nullptr; // top-left output sample of the slice
    const FrameContext* frame = nullptr;
};

struct RowRecord {
    SliceDescriptor* firstSlice = nullptr;
    uint32_t sliceCount = 0;
};

// A worker's private working memory: the quantiser steps of the current qScale, the levels of
// every block of a slice, the reconstructed samples of one macroblock and the slice's component
// bytes with zero padding after each.
struct alignas(64) WorkerScratch {
    int16_t steps[64];
    int qScale = 0; // 0: steps not built
    alignas(64) int16_t levels[4][16 * 64];
    alignas(64) uint16_t samples[4][64];
    alignas(64) uint8_t bytes[65536 + 4 * kStringPadding];
};

// Decodes a slice; a slice whose header breaks a rule is skipped and its area left untouched.
void DecodeSlice(const SliceDescriptor& slice, WorkerScratch& scratch);

// Decodes the slices of one macroblock row from left to right.
void DecodeRow(const RowRecord& row, WorkerScratch& scratch);

} // namespace tsr
