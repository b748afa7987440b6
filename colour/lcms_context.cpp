/*
 * lcms_context.cpp - bounded memory for lcms2 and the plug-in that keeps
 * our kernel of a transform's pipeline.
 */
#include "colour/lcms_context.h"

#include <cstdlib>
#include <cstring>

#include "base/work_hooks.h"

namespace {

/* Each block starts with its size and its budget, so that free and realloc
 * account without asking lcms2 (whose context lookup cannot see the
 * context being created). */
struct BlockHead {
  Budget *budget;
  size_t size;
  size_t pad; /* keeps the data 8-byte aligned on 32-bit targets */
};

Budget *budgetOf(cmsContext id) {
  ContextData *data = static_cast<ContextData *>(cmsGetContextUserData(id));
  return data ? &data->budget : nullptr;
}

/* lcms2's own allocator refuses larger blocks; no real profile needs one. */
constexpr size_t kLargestBlock = 512u << 20;

void *takeBlock(Budget *budget, size_t size) {
  if (size > kLargestBlock) return nullptr;
  if (budget) {
    /* Compared before it is added, so that no sum can wrap. */
    size_t used = budget->used.load();
    do {
      if (size > budget->limit || used > budget->limit - size) return nullptr;
    } while (!budget->used.compare_exchange_weak(used, used + size));
    WORK_HOOK(WorkColourBytes(used + size));
  }
  BlockHead *head = static_cast<BlockHead *>(std::malloc(sizeof(BlockHead) + size));
  if (!head) {
    if (budget) budget->used.fetch_sub(size);
    return nullptr;
  }
  head->budget = budget;
  head->size = size;
  return head + 1;
}

void *boundedMalloc(cmsContext id, cmsUInt32Number size) { return takeBlock(budgetOf(id), size); }

void boundedFree(cmsContext, void *ptr) {
  if (!ptr) return;
  BlockHead *head = static_cast<BlockHead *>(ptr) - 1;
  if (head->budget) head->budget->used.fetch_sub(head->size);
  std::free(head);
}

void *boundedRealloc(cmsContext id, void *ptr, cmsUInt32Number size) {
  if (!ptr) return boundedMalloc(id, size);
  BlockHead *old = static_cast<BlockHead *>(ptr) - 1;
  void *fresh = takeBlock(old->budget, size);
  if (!fresh) return nullptr;
  std::memcpy(fresh, ptr, old->size < size ? old->size : size);
  boundedFree(id, ptr);
  return fresh;
}

/* Shown the pipeline lcms2 built, before its own optimisations, it keeps
 * our kernel of it. A grid kernel ends the optimising: it samples the
 * pipeline as lcms2's resampling would, and every pixel goes through it,
 * so lcms2 would only sample it a second time (half the making of a
 * lookup-table transform). A matrix kernel lets lcms2 go on: its
 * optimisation costs little. The fuzz build counts the stages, which the
 * sampling evaluates at every grid point. */
cmsBool recordKernel(cmsPipeline **lut, cmsUInt32Number intent, cmsUInt32Number *inputFormat,
                     cmsUInt32Number *outputFormat, cmsUInt32Number *flags) {
  ContextData *data = static_cast<ContextData *>(cmsGetContextUserData(cmsGetPipelineContextID(*lut)));
  WORK_HOOK(WorkColourPipeline(cmsPipelineStageCount(*lut), T_CHANNELS(*inputFormat)));
  if (!data || data->kernel || data->lutKernel) return FALSE;
  data->kernel = makeMatrixKernel(*lut, *inputFormat, *outputFormat);
  if (!data->kernel) data->lutKernel = makeLutKernel(*lut, intent, *inputFormat, *outputFormat, *flags);
  return data->lutKernel != nullptr;
}

cmsPluginOptimization kKernelPlugin = {
    {cmsPluginMagicNumber, 2000, cmsPluginOptimizationSig, nullptr}, recordKernel};

}  // namespace

cmsPluginMemHandler kMemoryPlugin = {
    {cmsPluginMagicNumber, 2000, cmsPluginMemHandlerSig,
     reinterpret_cast<cmsPluginBase *>(&kKernelPlugin)},
    boundedMalloc, boundedFree, boundedRealloc, nullptr, nullptr, nullptr};

void silent(cmsContext, cmsUInt32Number, const char *) {}
