#include "harness_host.h"

#include <algorithm>
#include <utility>

namespace kelvo::harness {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr double SAMPLE_RATE = 48000;
constexpr int32 MAX_BLOCK = 512;
constexpr int32 FLUSH_BLOCK = 64;

using Sink = void (*)(void*, const char*, size_t);
using InstallSink = int (*)(FUnknown*, Sink, void*);
using Deliver = int (*)(FUnknown*, const char*, size_t);
using Tick = int (*)(FUnknown*);
using UiRoot = const char* (*)();

}  // namespace

HarnessHost::HarnessHost(const std::string& bundlePath)
    : bundle_(bundlePath), recorder_(owned(new host::EditRecorder())) {
    if (bundle_.factory() == nullptr) {
        error_ = bundle_.error();
        return;
    }
    if (!bundle_.symbol("kelvoInstallDiagnosticBridgeSink") ||
        !bundle_.symbol("kelvoDeliverDiagnosticBridgeMessage") ||
        !bundle_.symbol("kelvoTickDiagnosticCadence")) {
        error_ = "the bundle lacks the diagnostics bridge exports";
        return;
    }
    if (!bringUp()) error_ = "the plug-in instance could not be set up";
}

HarnessHost::~HarnessHost() {
    if (instance_ && instance_->controller()) installSink(nullptr);
}

bool HarnessHost::bringUp() {
    instance_ = std::make_unique<host::HostedInstance>(bundle_.factory(), &application_);
    if (!instance_->created() || !instance_->connect()) return false;
    instance_->controller()->setComponentHandler(recorder_);
    instance_->component()->activateBus(kAudio, kOutput, 0, true);
    return instance_->setup(SAMPLE_RATE, MAX_BLOCK) == kResultOk &&
           instance_->activate(true) == kResultOk;
}

std::string HarnessHost::moduleUiRoot() const {
    auto root = reinterpret_cast<UiRoot>(bundle_.symbol("kelvoPluginUiRootForDiagnostics"));
    const char* text = root ? root() : nullptr;
    return text ? text : "";
}

bool HarnessHost::installSink(Sink sink) {
    auto install =
        reinterpret_cast<InstallSink>(bundle_.symbol("kelvoInstallDiagnosticBridgeSink"));
    sink_ = std::move(sink);
    if (!sink_) return install(controller(), nullptr, nullptr) == 1;
    auto forward = [](void* context, const char* data, size_t length) {
        (*static_cast<Sink*>(context))(data, length);
    };
    return install(controller(), forward, &sink_) == 1;
}

void HarnessHost::deliver(const std::string& message) {
    auto deliver = reinterpret_cast<Deliver>(bundle_.symbol("kelvoDeliverDiagnosticBridgeMessage"));
    deliver(controller(), message.data(), message.size());
    flushChanges();
}

void HarnessHost::tick() {
    reinterpret_cast<Tick>(bundle_.symbol("kelvoTickDiagnosticCadence"))(controller());
    flushChanges();
}

bool HarnessHost::automate(ParamID id, double normalized) {
    if (controller()->setParamNormalized(id, normalized) != kResultOk) return false;
    pending_.emplace_back(id, normalized);
    flushChanges();
    return true;
}

void HarnessHost::flushChanges() {
    const std::vector<host::EditRecorder::Edit>& edits = recorder_->edits;
    for (size_t i = std::min(heardEdits_, edits.size()); i < edits.size(); ++i)
        if (edits[i].call == host::EditRecorder::EditCall::Perform)
            pending_.emplace_back(edits[i].id, edits[i].value);
    heardEdits_ = edits.size();
    if (!instance_->active() || pending_.empty()) return;
    // One value per parameter at the start of the block: all a host passes
    // on for a change made between blocks.
    IPtr<host::ParameterChanges> changes = owned(new host::ParameterChanges(pending_.size()));
    for (const auto& [id, value] : pending_)
        changes->add(id, 0, value);
    pending_.clear();
    instance_->process(nullptr, changes, FLUSH_BLOCK);
}

void HarnessHost::clearEdits() {
    flushChanges();
    recorder_->clear();
    heardEdits_ = 0;
}

}  // namespace kelvo::harness
