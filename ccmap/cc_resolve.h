// Turns an incoming controller value into normalized parameter values
// through the bindings of a CC map: response curves, custom ranges, relative
// encoders, toggles and soft takeover. Allocation-free, lock-free and free of
// system calls, so it may run on the audio thread.
#pragma once

#include <cstdint>

#include "cc_map.h"
#include "kelvo_params.h"

namespace kelvo {

struct CcResolution {
    uint32_t paramId;
    double normalized;  // 0..1
};

// Per-binding memory of the resolver, bound to one map and owned by one
// thread. A state given with another map is reset first.
struct CcRouterState {
    const CcMap* map = nullptr;
    uint8_t lastValue[CC_MAP_CAPACITY] = {};  // last controller value seen by binding i
    bool hasLastValue[CC_MAP_CAPACITY] = {};
    bool pickedUp[CC_MAP_CAPACITY] = {};  // pickup takeover has engaged
    double lastOutput[CC_MAP_CAPACITY] = {};
    bool hasLastOutput[CC_MAP_CAPACITY] = {};

    // Binds the state to `bound` and forgets everything about the bindings.
    void reset(const CcMap* bound);
};

// The current normalized value of a parameter, as the caller knows it.
using CcReadParam = double (*)(void* context, uint32_t paramId);

// The normalized value binding `binding` gives controller value `ccValue`
// (clamped to 0..127) on the parameter `desc`: shaped by the curve, placed in
// the binding's range (or the parameter's), then normalized by the
// parameter's kind. Always within 0..1.
double ccApplyNormalized(const CcBinding& binding, const kelvo_param_desc& desc,
                         int ccValue) noexcept;

// Resolves one controller message against every enabled binding of `map` on
// `ccNumber` whose channel is 0 or `channel`, in map order, writing at most
// `capacity` resolutions to `out`; returns how many were written. `state`
// (takeover, relative and toggle memory) and `readParam` (the parameter's
// current value) are optional.
uint32_t ccResolve(const CcMap& map, int ccNumber, int channel, int value, CcRouterState* state,
                   CcReadParam readParam, void* context, CcResolution* out,
                   uint32_t capacity) noexcept;

}  // namespace kelvo
