#include "kit_tables.h"

namespace kelvo::kernel {

int drumParamIndex(std::string_view name) {
    for (int i = 0; i < DRUM_PARAM_COUNT; ++i)
        if (DRUM_PARAM_NAMES[i] == name) return i;
    return -1;
}

}  // namespace kelvo::kernel
