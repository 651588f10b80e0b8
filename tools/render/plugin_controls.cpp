// The instance's parameters, presets, MIDI mapping and state, reached only
// through the controller's public VST 3 interfaces.
#include <algorithm>
#include <cctype>

#include "plugin_instance.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/vstpresetfile.h"
#include "tool_error.h"

namespace tambro::render {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

bool sameText(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::string unitName(IUnitInfo* units, UnitID id) {
    for (int32 i = 0; units != nullptr && i < units->getUnitCount(); ++i) {
        UnitInfo info{};
        if (units->getUnitInfo(i, info) == kResultOk && info.id == id)
            return kelvo::host::utf8From(info.name);
    }
    return {};
}

// The program list behind the program-change parameter's unit, else the first.
ProgramListID programListOf(IUnitInfo* units, UnitID unit) {
    for (int32 i = 0; i < units->getUnitCount(); ++i) {
        UnitInfo info{};
        if (units->getUnitInfo(i, info) == kResultOk && info.id == unit &&
            info.programListId != kNoProgramListId)
            return info.programListId;
    }
    ProgramListInfo list{};
    if (units->getProgramListCount() > 0 && units->getProgramListInfo(0, list) == kResultOk)
        return list.id;
    return kNoProgramListId;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace

std::vector<ParameterDescription> PluginInstance::parameters() const {
    FUnknownPtr<IUnitInfo> units(controller_);
    std::vector<ParameterDescription> list;
    for (int32 i = 0; i < controller_->getParameterCount(); ++i) {
        ParameterInfo info{};
        if (controller_->getParameterInfo(i, info) != kResultOk) continue;
        std::string title = kelvo::host::utf8From(info.title);
        if (info.unitId != kRootUnitId) {
            const std::string unit = unitName(units, info.unitId);
            if (!unit.empty()) title = unit + " " + title;
        }
        list.push_back({info.id, title, kelvo::host::utf8From(info.units), info.flags});
    }
    return list;
}

std::string PluginInstance::valueText(ParamID id) const {
    String128 text{};
    if (controller_->getParamStringByValue(id, controller_->getParamNormalized(id), text) !=
        kResultOk)
        return "?";
    return kelvo::host::utf8From(text);
}

ParameterDescription PluginInstance::findParameter(const std::string& name) const {
    const std::vector<ParameterDescription> all = parameters();
    std::vector<ParameterDescription> found;
    for (const ParameterDescription& parameter : all)
        if (sameText(parameter.title, name) || name == "#" + std::to_string(parameter.id))
            found.push_back(parameter);
    if (found.size() == 1) return found.front();
    if (found.empty())
        throw ToolError(EXIT_USAGE, "no parameter is titled \"" + name +
                                        "\" (tambro-render --list BUNDLE shows them)");
    std::vector<std::string> ids;
    for (const ParameterDescription& parameter : found)
        ids.push_back("#" + std::to_string(parameter.id));
    throw ToolError(EXIT_USAGE, "\"" + name + "\" is the title of parameters " + joined(ids) +
                                    ": name one by its number, as in \"" + ids.front() + "=...\"");
}

void PluginInstance::edit(ParamID id, ParamValue value) {
    controller_->setParamNormalized(id, value);
    pending_.push_back({id, value});
    // What the controller performed in turn (a program change applying its
    // preset) goes to the processor as well.
    for (const auto& performed : collector_->performed())
        pending_.emplace_back(performed.id, performed.value);
    collector_->clear();
}

void PluginInstance::setParameter(const std::string& assignment) {
    const size_t equals = assignment.find('=');
    if (equals == std::string::npos)
        throw ToolError(EXIT_USAGE, "--set wants TITLE=VALUE, not \"" + assignment + "\"");
    const ParameterDescription parameter = findParameter(assignment.substr(0, equals));
    const std::string value = assignment.substr(equals + 1);
    String128 text{};
    kelvo::host::utf16From(value, text);
    ParamValue normalized = 0;
    if (controller_->getParamValueByString(parameter.id, text, normalized) != kResultOk)
        throw ToolError(EXIT_USAGE,
                        "the plug-in takes no value \"" + value + "\" for " + parameter.title);
    edit(parameter.id, normalized);
}

// The program-change parameter and the names of the programs it selects.
PluginInstance::Programs PluginInstance::programs() const {
    Programs programs;
    FUnknownPtr<IUnitInfo> units(controller_);
    for (int32 i = 0; units && i < controller_->getParameterCount(); ++i) {
        ParameterInfo info{};
        if (controller_->getParameterInfo(i, info) != kResultOk ||
            (info.flags & ParameterInfo::kIsProgramChange) == 0)
            continue;
        programs.parameter = info.id;
        const ProgramListID list = programListOf(units, info.unitId);
        for (int32 p = 0; list != kNoProgramListId && p <= info.stepCount; ++p) {
            String128 name{};
            if (units->getProgramName(list, p, name) != kResultOk) break;
            programs.names.push_back(kelvo::host::utf8From(name));
        }
        break;
    }
    return programs;
}

void PluginInstance::selectPreset(const std::string& name) {
    const Programs offered = programs();
    if (offered.names.empty()) throw ToolError(EXIT_USAGE, "the plug-in offers no presets");
    for (size_t i = 0; i < offered.names.size(); ++i)
        if (sameText(offered.names[i], name)) {
            edit(offered.parameter,
                 controller_->plainParamToNormalized(offered.parameter, static_cast<double>(i)));
            return;
        }
    throw ToolError(EXIT_USAGE, "no preset is named \"" + name + "\" (there are " +
                                    joined(offered.names) + ")");
}

void PluginInstance::restoreState(const std::vector<char>& bytes, const std::string& name) {
    IPtr<MemoryStream> stream = owned(new MemoryStream());
    int32 written = 0;
    stream->write(const_cast<char*>(bytes.data()), static_cast<int32>(bytes.size()), &written);
    stream->seek(0, IBStream::kIBSeekSet, nullptr);
    if (written != static_cast<int32>(bytes.size()) ||
        !PresetFile::loadPreset(stream, FUID::fromTUID(classId_), component_, controller_))
        throw ToolError(EXIT_INPUT, name + ": not a state of this instrument, or one it refuses");
}

std::vector<char> PluginInstance::saveState() const {
    IPtr<MemoryStream> stream = owned(new MemoryStream());
    if (!PresetFile::savePreset(stream, FUID::fromTUID(classId_), component_, controller_))
        throw ToolError(EXIT_PLUGIN, "the plug-in failed to save its state");
    return std::vector<char>(stream->getData(), stream->getData() + stream->getSize());
}

bool PluginInstance::controllerParameter(int16 channel, int16 number, ParamID& id) const {
    FUnknownPtr<IMidiMapping> mapping(controller_);
    return mapping && mapping->getMidiControllerAssignment(0, channel, number, id) == kResultOk;
}

void PluginInstance::adoptValue(ParamID id, ParamValue value) {
    controller_->setParamNormalized(id, value);
    collector_->clear();
}

}  // namespace tambro::render
