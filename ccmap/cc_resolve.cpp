#include "cc_resolve.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelvo {
namespace {

// Clamps that give the lower end for NaN, so that a map built with
// non-finite ranges can never hand a NaN to the host.
double clampTo(double x, double lo, double hi) {
    return x > lo ? (x < hi ? x : hi) : lo;
}

double clampUnit(double x) {
    return clampTo(x, 0.0, 1.0);
}

double shape(uint8_t curve, double x) {
    switch (curve) {
        case CC_CURVE_EXP:
            return x * x;
        case CC_CURVE_LOG:
            return std::sqrt(x);
        case CC_CURVE_S:
            return x * x * (3.0 - 2.0 * x);
        default:
            return x;
    }
}

double lowEnd(const CcBinding& binding, const kelvo_param_desc& desc) {
    return binding.hasMin ? binding.min : desc.min;
}

double highEnd(const CcBinding& binding, const kelvo_param_desc& desc) {
    return binding.hasMax ? binding.max : desc.max;
}

// A plain value of the binding's range as a normalized value of its target.
// Lists are not rounded to a whole index.
double plainToNormalized(const kelvo_param_desc& desc, double plain) {
    switch (desc.kind) {
        case KELVO_PARAM_KIND_LIST: {
            if (desc.valueCount < 2) return 0.0;
            double last = static_cast<double>(desc.valueCount - 1);
            return clampTo(plain, 0.0, last) / last;
        }
        case KELVO_PARAM_KIND_TOGGLE:
            return clampTo(plain, desc.min, desc.max) >= 0.5 ? 1.0 : 0.0;
        default:
            if (desc.max == desc.min) return 0.0;
            return clampUnit((plain - desc.min) / (desc.max - desc.min));
    }
}

// The controller value whose applied value is nearest to `target`, the
// lowest one on ties.
int nearestPosition(const CcBinding& binding, const kelvo_param_desc& desc, double target) {
    int best = 0;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (int v = 0; v < 128; ++v) {
        double distance = std::fabs(ccApplyNormalized(binding, desc, v) - target);
        if (distance < bestDistance) {
            best = v;
            bestDistance = distance;
        }
    }
    return best;
}

// The step a relative encoder sends, 0 for none.
int relativeDelta(uint8_t mode, int value) {
    switch (mode) {
        case CC_VALUE_RELATIVE_SIGNED_BIT:
            if (value == 0 || value == 64) return 0;
            return value <= 64 ? -value : value - 64;
        case CC_VALUE_RELATIVE_BINARY_OFFSET:
            return value - 64;
        case CC_VALUE_RELATIVE_TWOS_COMPLEMENT:
            if (value == 0 || value == 64) return 0;
            return value <= 63 ? value : value - 128;
        default:
            return 0;
    }
}

struct BindingInput {
    const CcBinding& binding;
    const kelvo_param_desc& desc;
    CcRouterState* state;
    uint32_t index;
    int value;
    int prev;
    bool hadPrev;
    double current;
    bool known;
};

// The output of one applying binding; false when the binding writes nothing.
bool bindingOutput(const BindingInput& in, double* output) {
    const CcBinding& b = in.binding;
    auto apply = [&](int v) { return ccApplyNormalized(b, in.desc, v); };
    switch (b.valueMode) {
        case CC_VALUE_RELATIVE_SIGNED_BIT:
        case CC_VALUE_RELATIVE_BINARY_OFFSET:
        case CC_VALUE_RELATIVE_TWOS_COMPLEMENT: {
            int delta = relativeDelta(b.valueMode, in.value);
            if (delta == 0) return false;
            int t = nearestPosition(b, in.desc, in.known ? in.current : 0.0);
            *output = apply(std::clamp(t + delta, 0, 127));
            return true;
        }
        case CC_VALUE_TOGGLE: {
            if (in.value < 64 || (in.hadPrev && in.prev >= 64)) return false;
            double off = plainToNormalized(in.desc, lowEnd(b, in.desc));
            double on = plainToNormalized(in.desc, highEnd(b, in.desc));
            bool nearerOn = std::fabs(in.current - on) < std::fabs(in.current - off);
            *output = in.known && nearerOn ? off : on;
            return true;
        }
        default:
            break;
    }
    if (!in.state || !in.known || b.takeover == CC_TAKEOVER_IMMEDIATE) {
        // With nothing to take over from, the parameter now follows the
        // control: a pickup binding counts as engaged, or it would wait for
        // the control to cross its own last position.
        if (in.state && b.takeover == CC_TAKEOVER_PICKUP) in.state->pickedUp[in.index] = true;
        *output = apply(in.value);
        return true;
    }
    if (b.takeover == CC_TAKEOVER_PICKUP) {
        if (!in.state->pickedUp[in.index]) {
            // Engage only once the control reaches or crosses the position
            // matching the parameter's current value.
            int t = nearestPosition(b, in.desc, in.current);
            bool crossed =
                in.hadPrev && ((in.prev < t && in.value > t) || (in.prev > t && in.value < t));
            if (in.value != t && !crossed) return false;
            in.state->pickedUp[in.index] = true;
        }
        *output = apply(in.value);
        return true;
    }
    if (b.takeover == CC_TAKEOVER_SCALED) {
        // Moves the parameter proportionally so that it meets the control at
        // whichever end the control is moving towards.
        if (!in.hadPrev) return false;
        int t = nearestPosition(b, in.desc, in.current);
        int delta = in.value - in.prev;
        int range = in.value <= in.prev ? in.prev : 127 - in.prev;
        if (delta == 0 || range == 0) return false;
        int remaining = delta < 0 ? t : 127 - t;
        double position = (static_cast<double>(remaining) / range * delta + t) / 127.0;
        *output = apply(static_cast<int>(clampUnit(position) * 127.0));
        return true;
    }
    *output = apply(in.value);
    return true;
}

}  // namespace

void CcRouterState::reset(const CcMap* bound) {
    *this = CcRouterState{};
    map = bound;
}

double ccApplyNormalized(const CcBinding& binding, const kelvo_param_desc& desc,
                         int ccValue) noexcept {
    double x = static_cast<double>(std::clamp(ccValue, 0, 127)) / 127.0;
    double shaped = shape(binding.curve, x);
    double lo = lowEnd(binding, desc);
    double hi = highEnd(binding, desc);
    return plainToNormalized(desc, lo + shaped * (hi - lo));
}

uint32_t ccResolve(const CcMap& map, int ccNumber, int channel, int value, CcRouterState* state,
                   CcReadParam readParam, void* context, CcResolution* out,
                   uint32_t capacity) noexcept {
    if (!out || capacity == 0) return 0;
    if (state && state->map != &map) state->reset(&map);
    value = std::clamp(value, 0, 127);
    uint32_t written = 0;
    uint32_t count = std::min(map.count, CC_MAP_CAPACITY);
    for (uint32_t i = 0; i < count && written < capacity; ++i) {
        const CcBinding& binding = map.bindings[i];
        if (!binding.enabled || binding.cc != ccNumber) continue;
        if (binding.channel != 0 && binding.channel != channel) continue;
        if (binding.paramId >= KELVO_PARAM_COUNT) continue;
        BindingInput in{binding, KELVO_PARAMS[binding.paramId], state, i, value, 0, false, 0.0,
                        false};
        if (state) {
            in.hadPrev = state->hasLastValue[i];
            in.prev = in.hadPrev ? state->lastValue[i] : 0;
            state->lastValue[i] = static_cast<uint8_t>(value);
            state->hasLastValue[i] = true;
        }
        if (readParam) {
            in.current = clampUnit(readParam(context, binding.paramId));
            in.known = true;
        } else if (state && state->hasLastOutput[i]) {
            in.current = state->lastOutput[i];
            in.known = true;
        }
        double output = 0.0;
        if (!bindingOutput(in, &output)) continue;
        out[written++] = {binding.paramId, output};
        if (state) {
            state->lastOutput[i] = output;
            state->hasLastOutput[i] = true;
        }
    }
    return written;
}

}  // namespace kelvo
