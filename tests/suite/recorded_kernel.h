/*
 * recorded_kernel.h - a colour transform made in a context of the
 * plug-in's kind, so that the kernel our optimisation plug-in records can
 * be run beside lcms2's own transform of the profile, its reference (made
 * apart: a recorded grid kernel ends lcms2's optimising in its context).
 */
#ifndef MOVRELA_TEST_RECORDED_KERNEL_H
#define MOVRELA_TEST_RECORDED_KERNEL_H

#include <cstdint>
#include <cstdlib>

#include "colour/lcms_context.h"
#include "colour_profiles.h"

namespace colour {

/* `profile`'s transform to sRGB, and the kernel it recorded, if any. */
struct Recorded {
  ContextData data;
  cmsContext context;
  cmsHTRANSFORM transform; /* in `context`, which recorded the kernel */
  cmsHTRANSFORM reference; /* lcms2's own, optimised as lcms2 does */

  Recorded(const Bytes &profile, cmsUInt32Number format, cmsUInt32Number intent = INTENT_PERCEPTUAL,
           cmsUInt32Number flags = 0) {
    data.budget.used = 0;
    data.budget.limit = SIZE_MAX;
    data.kernel = nullptr;
    data.lutKernel = nullptr;
    context = cmsCreateContext(&kMemoryPlugin, &data);
    cmsHPROFILE from = cmsOpenProfileFromMemTHR(context, profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    cmsHPROFILE to = cmsCreate_sRGBProfileTHR(context);
    transform = cmsCreateTransformTHR(context, from, format, to, TYPE_BGR_8, intent, flags);
    cmsCloseProfile(from);
    cmsCloseProfile(to);
    from = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    to = cmsCreate_sRGBProfile();
    reference = cmsCreateTransform(from, format, to, TYPE_BGR_8, intent, flags);
    cmsCloseProfile(from);
    cmsCloseProfile(to);
  }
  ~Recorded() {
    if (transform) cmsDeleteTransform(transform);
    if (reference) cmsDeleteTransform(reference);
    std::free(data.kernel);
    freeLutKernel(data.lutKernel);
    cmsDeleteContext(context);
  }
  Recorded(const Recorded &) = delete;
  Recorded &operator=(const Recorded &) = delete;

  /* The kernel's B G R for `pixels` samples at `in`. */
  Bytes Run(const uint8_t *in, size_t pixels) const {
    Bytes out(pixels * 3);
    if (data.kernel) runMatrixKernel(data.kernel, in, out.data(), static_cast<uint32_t>(pixels));
    else if (data.lutKernel) runLutKernel(data.lutKernel, in, out.data(), static_cast<uint32_t>(pixels));
    return out;
  }
  /* lcms2's own. */
  Bytes Theirs(const uint8_t *in, size_t pixels) const {
    Bytes out(pixels * 3);
    if (reference) cmsDoTransform(reference, in, out.data(), static_cast<cmsUInt32Number>(pixels));
    return out;
  }
};

}  // namespace colour

#endif /* MOVRELA_TEST_RECORDED_KERNEL_H */
