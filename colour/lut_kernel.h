/*
 * lut_kernel.h - the 8-bit transforms that lcms2 runs through a colour
 * grid: RGB pictures of lookup-table profiles (a pre-linearisation curve
 * per channel, then a 33^3 grid, tetrahedral; the grid alone where the
 * curves would be unfit) and CMYK ones (a 17^4 grid: two tetrahedral
 * steps and one between them along the first ink). lcms2
 * keeps its grids to itself; ours are made again from the pipeline it
 * hands its optimisation plug-ins, by the same sampling and the same
 * arithmetic, so that every pixel comes out as lcms2's. SSE4.1 where cpuid
 * reports it (colour/kernel_choice.h), plain C++ otherwise. Use
 * matrix_kernel.h for matrix-shaper profiles.
 */
#ifndef MOVRELA_LUT_KERNEL_H
#define MOVRELA_LUT_KERNEL_H

#include <cstdint>

#include <lcms2_plugin.h>

struct LutKernel;

/* The kernel for `lut` (as lcms2 hands it to its optimisation plug-ins,
 * with the transform's formats and flags) when lcms2 would make one of
 * the two grids above of it: B G R bytes in and out, or C M Y K bytes
 * with 255 meaning no ink in and B G R out. Null otherwise, or without
 * memory. Free it with freeLutKernel. */
LutKernel *makeLutKernel(const cmsPipeline *lut, cmsUInt32Number intent, cmsUInt32Number inputFormat,
                         cmsUInt32Number outputFormat, cmsUInt32Number flags);
void freeLutKernel(LutKernel *kernel);

/* Converts `pixels` pixels from `in` (3 or 4 bytes each) to B G R at `out`,
 * which may be `in` for an RGB kernel. */
void runLutKernel(const LutKernel *kernel, const uint8_t *in, uint8_t *out, uint32_t pixels);

#endif /* MOVRELA_LUT_KERNEL_H */
