/*
 * matrix_kernel.h - the 8-bit transform between two RGB matrix-shaper
 * profiles, in lcms2's own fixed-point form (a 256-entry Q1.14 input curve
 * per channel, a rounded Q1.14 matrix, a 16,385-entry output curve), made
 * from the very curves and matrix lcms2 builds for the transform, with the
 * matrix's nine columns folded into tables of products: lcms2's result, in
 * about a third of its time, and about half that again with SSE2, which
 * adds one input level's three products as one vector.
 */
#ifndef MOVRELA_MATRIX_KERNEL_H
#define MOVRELA_MATRIX_KERNEL_H

#include <cstdint>

#include <lcms2_plugin.h>

typedef int32_t KernelColumn[4]; /* output R, G, B, and 0 */

struct MatrixKernel {
  /* [input channel R G B][level]: the products of the input curve's value
   * and the matrix column of that channel, 16-byte aligned within `space`. */
  KernelColumn (*columns)[256];
  int32_t offset[4];        /* the matrix's offset and the rounding half; 0 */
  uint8_t shaper[3][16385]; /* output curves, by Q1.14 value */
  uint8_t space[3 * 256 * sizeof(KernelColumn) + 15];
};

/* The kernel for `lut`, an optimised-to-be pipeline lcms2 hands its
 * optimisation plug-ins, when it is the curves-matrix-curves form between
 * B G R bytes that lcms2's own matrix-shaper optimisation takes and no
 * product can overflow; else null. Allocated with std::malloc. */
MatrixKernel *makeMatrixKernel(const cmsPipeline *lut, cmsUInt32Number inputFormat,
                               cmsUInt32Number outputFormat);

/* Converts `pixels` B G R pixels from `in` to `out` (which may be `in`),
 * with SSE2 where the processor has it (colour/kernel_choice.h). */
void runMatrixKernel(const MatrixKernel *kernel, const uint8_t *in, uint8_t *out, uint32_t pixels);

#endif /* MOVRELA_MATRIX_KERNEL_H */
