#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "controller_host.h"
#include "kelvo_controller_presets.h"
#include "kelvo_parameter.h"

namespace kelvo::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

constexpr ParamID PROGRAM = KELVO_PROGRAM_LIST_ID;

std::string ascii(const TChar* text) {
    return asciiFromUtf16(text, 128);
}

TEST(ControllerParameters, PublishTheTableTheUnitAndTheProgramList) {
    ControllerHost host;
    KelvoController& controller = host.controller();
    ASSERT_EQ(controller.getParameterCount(), int32(KELVO_PARAM_COUNT + 1));
    for (const kelvo_param_desc& desc : KELVO_PARAMS) {
        ParameterInfo info{};
        ASSERT_EQ(controller.getParameterInfo(int32(desc.id), info), kResultOk);
        SCOPED_TRACE(desc.path);
        EXPECT_EQ(info.id, desc.id);
        EXPECT_EQ(ascii(info.title) + "|" + ascii(info.shortTitle) + "|" + ascii(info.units),
                  std::string(desc.name) + "|" + desc.name + "|" + desc.units);
        EXPECT_EQ(info.stepCount, desc.kind == KELVO_PARAM_KIND_LIST ? desc.valueCount - 1 : 0);
        EXPECT_EQ(controller.getParamNormalized(desc.id), info.defaultNormalizedValue);
        EXPECT_EQ(info.defaultNormalizedValue, desc.defaultNormalized);
        EXPECT_EQ(info.flags, ParameterInfo::kCanAutomate);
    }
    ParameterInfo program{};
    ASSERT_EQ(controller.getParameterInfo(KELVO_PARAM_COUNT, program), kResultOk);
    EXPECT_EQ(program.id, 0x3F010001u);
    EXPECT_EQ(program.stepCount, 5);
    EXPECT_EQ(program.flags, ParameterInfo::kIsList | ParameterInfo::kIsProgramChange);

    UnitInfo unit{};
    ASSERT_EQ(controller.getUnitCount(), 1);
    ASSERT_EQ(controller.getUnitInfo(0, unit), kResultOk);
    EXPECT_EQ(ascii(unit.name), "Root");
    EXPECT_EQ(unit.parentUnitId, kNoParentUnitId);
    EXPECT_EQ(unit.programListId, int32(PROGRAM));
    // The SDK's own lookup throws here; a host must just get false.
    EXPECT_EQ(controller.getUnitInfo(1, unit), kResultFalse);
    EXPECT_EQ(controller.getUnitInfo(-1, unit), kResultFalse);

    ProgramListInfo list{};
    ASSERT_EQ(controller.getProgramListInfo(0, list), kResultOk);
    EXPECT_EQ(ascii(list.name), "Factory Presets");
    ASSERT_EQ(list.programCount, KELVO_FACTORY_PRESET_COUNT);
    for (int32 i = 0; i < list.programCount; ++i) {
        String128 name{};
        ASSERT_EQ(controller.getProgramName(PROGRAM, i, name), kResultOk);
        EXPECT_EQ(ascii(name), KELVO_FACTORY_PRESETS[i].name);
    }
}

TEST(ControllerParameters, TextsBothWays) {
    ControllerHost host;
    KelvoController& controller = host.controller();
    // The texts themselves are the parameter layer's; here, what the
    // controller adds: clamping, UTF-16 and the program list's own names.
    struct Shown {
        ParamID id;
        double normalized;
        const char* text;
    };
    const Shown shown[] = {{0, 0.5, "75"}, {0, 1.7, "120"}, {16, 0.5, "Half Time"}};
    for (const Shown& c : shown) {
        String128 text{};
        ASSERT_EQ(controller.getParamStringByValue(c.id, c.normalized, text), kResultOk);
        EXPECT_EQ(ascii(text), c.text) << c.id << " " << c.normalized;
    }

    struct Typed {
        ParamID id;
        const char16_t* text;
        double normalized;  // NAN: refused
    };
    const Typed typed[] = {
        {0, u"  75Hz", 0.5},         {0, u"nan", NAN},
        {0, u"1e999", NAN},          {0, u"7\u00e95", 0.0},  // "7?5": 7, below the range
        {PROGRAM, u"Dry Room", 0.4}, {PROGRAM, u"dry room", NAN},
        {PROGRAM, u"2", NAN},
    };
    for (const Typed& c : typed) {
        ParamValue out = -7;
        const tresult result =
            controller.getParamValueByString(c.id, const_cast<TChar*>(c.text), out);
        EXPECT_EQ(result, std::isnan(c.normalized) ? kResultFalse : kResultOk) << c.id;
        EXPECT_EQ(out, std::isnan(c.normalized) ? -7 : c.normalized) << c.id;
    }

    // A non-finite value from the host is refused and changes nothing.
    for (double bad : {NAN, INFINITY, -INFINITY}) {
        EXPECT_EQ(controller.setParamNormalized(0, bad), kResultFalse);
        EXPECT_EQ(controller.getParamNormalized(0), KELVO_PARAMS[0].defaultNormalized);
    }
    EXPECT_TRUE(host.ui("kelvo.paramChanged").empty());
}

}  // namespace
}  // namespace kelvo::test
