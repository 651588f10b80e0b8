// The bank control's host: page texts, parameter edits and processor
// messages on behalf of the bank control.
#include <cmath>
#include <string>

#include "fixed_text.h"
#include "kelvo_controller.h"
#include "ui_bridge_text.h"

namespace kelvo {

using namespace Steinberg;
using namespace Steinberg::Vst;

void KelvoController::BankBridge::sendBankJson(const std::string& json) {
    BankCall call(controller_);
    controller_.sendToUi(json);
}

void KelvoController::BankBridge::editParam(uint32_t index, double plain) {
    if (index >= KELVO_PARAM_COUNT) return;
    const ParamValue normalized = kelvo_param_normalize(&KELVO_PARAMS[index], plain);
    if (!std::isfinite(normalized)) return;
    BankCall call(controller_);
    controller_.editAsUser(index, normalized);
}

double KelvoController::BankBridge::readParam(uint32_t index) {
    if (index >= KELVO_PARAM_COUNT) return 0.0;
    return paramToPlainUnstepped(KELVO_PARAMS[index], controller_.getParamNormalized(index));
}

bool KelvoController::BankBridge::requestRuntimeBank(const std::string& source,
                                                     const std::string& directory,
                                                     const std::string& sha256,
                                                     const std::string& instrument) {
    BankCall call(controller_);
    const std::string request = source + '\n' + directory + '\n' + sha256 + '\n' + instrument;
    return controller_.sendProcessorJson("kelvo.loadRuntimeBank", request);
}

bool KelvoController::BankBridge::applyPadOverrides(const SamplerPadOverrides& overrides) {
    BankCall call(controller_);
    std::string document;
    writeSamplerPadOverridesJson(document, overrides);
    return controller_.sendProcessorJson("kelvo.padOverrides", document);
}

bool KelvoController::BankBridge::pickFolder(std::string& path, std::string& error) {
    path.clear();
    error = "this build has no folder picker";
    return false;
}

void KelvoController::BankBridge::notePresetSelected(const std::string& id,
                                                     const std::string& name) {
    BankCall call(controller_);
    // Names from a sound pack end up in JSON texts whose writers escape no
    // control bytes.
    const std::string cleanId = withoutControlBytes(id);
    const std::string cleanName = withoutControlBytes(name);
    PresetStateFacts& facts = controller_.session_->presetState;
    copyFixedText(facts.currentId, cleanId.c_str());
    copyFixedText(facts.currentName, cleanName.c_str());
    controller_.recordLifecycle(DiagnosticLifecycleKind::PresetLoaded)
        .addString("id", cleanId.c_str())
        .addString("name", cleanName.c_str())
        .addString("origin", "bank");
    controller_.publishLastLifecycle();
    controller_.sendProcessorJson("kelvo.diag.presetLoaded", id);
}

}  // namespace kelvo
