/*
 * matrix_kernel.h - the 8-bit transform between two RGB matrix-shaper
 * profiles, in lcms2's own fixed-point form (a 256-entry Q1.14 input curve
 * per channel, a rounded Q1.14 matrix, a 16,385-entry output curve), made
 * from the very curves and matrix lcms2 builds for the transform, with the
 * matrix's nine columns folded into tables of products: lcms2's result, in
 * about a third of its time.
 */
#ifndef MOVRELA_MATRIX_KERNEL_H
#define MOVRELA_MATRIX_KERNEL_H

#include <cstdint>

#include <lcms2_plugin.h>

struct MatrixKernel {
  int32_t products[3][3][256]; /* [output][input channel][level]: matrix entry x input curve */
  int32_t offset[3];           /* the matrix's offset and the rounding half */
  uint8_t shaper[3][16385];    /* output curves, by Q1.14 value */
};

/* The kernel for `lut`, an optimised-to-be pipeline lcms2 hands its
 * optimisation plug-ins, when it is the curves-matrix-curves form between
 * B G R bytes that lcms2's own matrix-shaper optimisation takes and no
 * product can overflow; else null. Allocated with std::malloc. */
MatrixKernel *makeMatrixKernel(const cmsPipeline *lut, cmsUInt32Number inputFormat,
                               cmsUInt32Number outputFormat);

/* Converts `pixels` B G R pixels from `in` to `out` (which may be `in`). */
void runMatrixKernel(const MatrixKernel *kernel, const uint8_t *in, uint8_t *out, uint32_t pixels);

#endif /* MOVRELA_MATRIX_KERNEL_H */
