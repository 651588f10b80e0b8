#include "harness_host.h"

#include <cstring>
#include <utility>

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

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

class HarnessApplication : public HostApplication {
  public:
    tresult PLUGIN_API getName(String128 name) SMTG_OVERRIDE {
        const char* text = "Tambro UI Harness";
        size_t i = 0;
        for (; text[i] != '\0'; ++i)
            name[i] = static_cast<char16>(text[i]);
        name[i] = 0;
        return kResultOk;
    }
};

// One value per parameter at the start of the block: all a host passes on
// for a change made between blocks.
class BlockChanges : public IParameterChanges, public IParamValueQueue {
  public:
    explicit BlockChanges(std::vector<std::pair<ParamID, double>> changes)
        : changes_(std::move(changes)) {}
    virtual ~BlockChanges() = default;
    int32 PLUGIN_API getParameterCount() SMTG_OVERRIDE {
        return static_cast<int32>(changes_.size());
    }
    IParamValueQueue* PLUGIN_API getParameterData(int32 index) SMTG_OVERRIDE {
        if (index < 0 || index >= getParameterCount()) return nullptr;
        current_ = index;
        return this;
    }
    IParamValueQueue* PLUGIN_API addParameterData(const ParamID&, int32&) SMTG_OVERRIDE {
        return nullptr;
    }
    ParamID PLUGIN_API getParameterId() SMTG_OVERRIDE { return changes_[current_].first; }
    int32 PLUGIN_API getPointCount() SMTG_OVERRIDE { return 1; }
    tresult PLUGIN_API getPoint(int32 index, int32& offset, ParamValue& value) SMTG_OVERRIDE {
        if (index != 0) return kResultFalse;
        offset = 0;
        value = changes_[current_].second;
        return kResultOk;
    }
    tresult PLUGIN_API addPoint(int32, ParamValue, int32&) SMTG_OVERRIDE { return kResultFalse; }
    // Stack-held for one block: never counted down to deletion.
    uint32 PLUGIN_API addRef() SMTG_OVERRIDE { return 1; }
    uint32 PLUGIN_API release() SMTG_OVERRIDE { return 1; }
    tresult PLUGIN_API queryInterface(const TUID, void** object) SMTG_OVERRIDE {
        *object = nullptr;
        return kNoInterface;
    }

  private:
    std::vector<std::pair<ParamID, double>> changes_;
    int32 current_ = 0;
};

template <typename Interface>
IPtr<Interface> createFrom(IPluginFactory* factory, const TUID cid) {
    void* object = nullptr;
    if (factory->createInstance(cid, Interface::iid, &object) != kResultOk) return nullptr;
    return owned(static_cast<Interface*>(object));
}

bool findProcessorClass(IPluginFactory* factory, TUID cid) {
    for (int32 i = 0; i < factory->countClasses(); ++i) {
        PClassInfo info;
        if (factory->getClassInfo(i, &info) == kResultOk &&
            std::strcmp(info.category, kVstAudioEffectClass) == 0) {
            std::memcpy(cid, info.cid, sizeof(TUID));
            return true;
        }
    }
    return false;
}

}  // namespace

IMPLEMENT_FUNKNOWN_METHODS(EditRecorder, IComponentHandler, IComponentHandler::iid)

tresult PLUGIN_API EditRecorder::beginEdit(ParamID id) {
    edits.push_back({"begin", id, 0});
    return kResultOk;
}

tresult PLUGIN_API EditRecorder::performEdit(ParamID id, ParamValue value) {
    edits.push_back({"perform", id, value});
    pending.emplace_back(id, value);
    return kResultOk;
}

tresult PLUGIN_API EditRecorder::endEdit(ParamID id) {
    edits.push_back({"end", id, 0});
    return kResultOk;
}

tresult PLUGIN_API EditRecorder::restartComponent(int32 flags) {
    edits.push_back({"restart", flags, 0});
    return kResultOk;
}

HarnessHost::HarnessHost(const std::string& bundlePath)
    : bundle_(bundlePath),
      application_(owned(static_cast<FUnknown*>(new HarnessApplication()))),
      recorder_(owned(new EditRecorder())) {
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
    tearDown();
}

// A host's order: both components initialised, connected both ways, the
// component's state handed to the controller, then set up and activated.
bool HarnessHost::bringUp() {
    IPluginFactory* factory = bundle_.factory();
    TUID cid;
    if (!findProcessorClass(factory, cid)) return false;
    component_ = createFrom<IComponent>(factory, cid);
    if (!component_ || component_->initialize(application_) != kResultOk) return false;
    processor_ = FUnknownPtr<IAudioProcessor>(component_);
    if (!processor_ || component_->getControllerClassId(cid) != kResultOk) return false;
    controller_ = createFrom<IEditController>(factory, cid);
    if (!controller_ || controller_->initialize(application_) != kResultOk) return false;

    FUnknownPtr<IConnectionPoint> processorPoint(component_);
    FUnknownPtr<IConnectionPoint> controllerPoint(controller_);
    if (!processorPoint || !controllerPoint) return false;
    connected_ = processorPoint->connect(controllerPoint) == kResultOk &&
                 controllerPoint->connect(processorPoint) == kResultOk;
    if (!connected_) return false;

    MemoryStream state;
    if (component_->getState(&state) == kResultOk) {
        state.seek(0, IBStream::kIBSeekSet, nullptr);
        controller_->setComponentState(&state);
    }
    controller_->setComponentHandler(recorder_);

    component_->activateBus(kAudio, kOutput, 0, true);
    ProcessSetup setup{kRealtime, kSample32, MAX_BLOCK, SAMPLE_RATE};
    left_.assign(MAX_BLOCK, 0.0f);
    right_.assign(MAX_BLOCK, 0.0f);
    if (processor_->setupProcessing(setup) != kResultOk) return false;
    active_ = component_->setActive(true) == kResultOk;
    if (active_) processor_->setProcessing(true);
    return active_;
}

void HarnessHost::tearDown() {
    if (controller_) installSink(nullptr);
    if (active_) {
        processor_->setProcessing(false);
        component_->setActive(false);
        active_ = false;
    }
    if (connected_) {
        FUnknownPtr<IConnectionPoint>(component_)
            ->disconnect(FUnknownPtr<IConnectionPoint>(controller_));
        FUnknownPtr<IConnectionPoint>(controller_)
            ->disconnect(FUnknownPtr<IConnectionPoint>(component_));
        connected_ = false;
    }
    if (controller_) {
        controller_->setComponentHandler(nullptr);
        controller_->terminate();
        controller_ = nullptr;
    }
    if (component_) {
        component_->terminate();
        processor_ = nullptr;
        component_ = nullptr;
    }
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
    if (!sink_) return install(controller_, nullptr, nullptr) == 1;
    auto forward = [](void* context, const char* data, size_t length) {
        (*static_cast<Sink*>(context))(data, length);
    };
    return install(controller_, forward, &sink_) == 1;
}

void HarnessHost::deliver(const std::string& message) {
    auto deliver = reinterpret_cast<Deliver>(bundle_.symbol("kelvoDeliverDiagnosticBridgeMessage"));
    deliver(controller_, message.data(), message.size());
    flushChanges();
}

void HarnessHost::tick() {
    reinterpret_cast<Tick>(bundle_.symbol("kelvoTickDiagnosticCadence"))(controller_);
    flushChanges();
}

bool HarnessHost::automate(ParamID id, double normalized) {
    if (controller_->setParamNormalized(id, normalized) != kResultOk) return false;
    recorder_->pending.emplace_back(id, normalized);
    flushChanges();
    return true;
}

void HarnessHost::flushChanges() {
    if (!active_ || recorder_->pending.empty()) return;
    BlockChanges changes(std::move(recorder_->pending));
    recorder_->pending.clear();
    float* channels[2] = {left_.data(), right_.data()};
    AudioBusBuffers output{};
    output.numChannels = 2;
    output.channelBuffers32 = channels;
    ProcessData data{};
    data.processMode = kRealtime;
    data.symbolicSampleSize = kSample32;
    data.numSamples = FLUSH_BLOCK;
    data.numOutputs = 1;
    data.outputs = &output;
    data.inputParameterChanges = &changes;
    processor_->process(data);
}

}  // namespace kelvo::harness
