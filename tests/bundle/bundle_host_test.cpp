// The built bundle driven exactly as a VST 3 host drives it: the shared
// object opened with dlopen and entered, the factory and its class records
// read, instances created, connected, set up, played, saved, restored and
// torn down.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "bundle_loader.h"
#include "hosted_instance.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "test_host.h"

namespace kelvo::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

const std::string BUNDLE = KELVO_BUNDLE_DIR;
constexpr int32 BLOCK = 512;

// Hosts hand over buffers they have not cleared.
template <typename Record>
Record scribbled() {
    Record record;
    std::memset(static_cast<void*>(&record), 0xA5, sizeof record);
    return record;
}

template <typename Record>
bool sameBytes(const Record& a, const Record& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

template <typename Part>
std::string stateOf(Part* part) {
    IPtr<PieceStream> stream = owned(new PieceStream());
    EXPECT_EQ(part->getState(stream), kResultOk);
    return stream->bytes;
}

IPtr<PieceStream> streamOf(const std::string& bytes) {
    return owned(new PieceStream(bytes));
}

int64_t heapInUse() {
    const struct mallinfo2 heap = mallinfo2();
    return static_cast<int64_t>(heap.uordblks + heap.hblkhd);
}

class BundleHost : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(bundle.factory(), nullptr) << bundle.error(); }
    IPluginFactory* factory() const { return bundle.factory(); }

    std::unique_ptr<host::HostedInstance> startInstance() {
        auto instance = std::make_unique<host::HostedInstance>(factory(), &application);
        EXPECT_TRUE(instance->created());
        EXPECT_TRUE(instance->connect());
        return instance;
    }

    LoadedBundle bundle{BUNDLE};
    HostApplication application;
};

// The module info file below pins what getFactoryInfo and getClassInfo2
// report; the other two class records must say the same. All are written
// whole into buffers hosts did not clear.
TEST_F(BundleHost, EveryFormOfTheFactoryRecordsAgrees) {
    auto info = scribbled<PFactoryInfo>();
    ASSERT_EQ(factory()->getFactoryInfo(&info), kResultOk);
    EXPECT_TRUE(sameBytes(info, PFactoryInfo("Kelvo Music", "https://kelvo.music",
                                             "mailto:support@kelvo.music", 16)));
    FUnknownPtr<IPluginFactory3> factory3(factory());
    ASSERT_TRUE(factory3);
    ASSERT_EQ(factory()->countClasses(), 2);
    for (int32 i = 0; i < 2; ++i) {
        auto info1 = scribbled<PClassInfo>();
        auto info2 = scribbled<PClassInfo2>();
        auto infoW = scribbled<PClassInfoW>();
        ASSERT_EQ(factory()->getClassInfo(i, &info1), kResultOk);
        ASSERT_EQ(factory3->getClassInfo2(i, &info2), kResultOk);
        ASSERT_EQ(factory3->getClassInfoUnicode(i, &infoW), kResultOk);
        EXPECT_TRUE(
            sameBytes(info1, PClassInfo(info2.cid, info2.cardinality, info2.category, info2.name)));
        const std::u16string name(info2.name, info2.name + std::strlen(info2.name));
        EXPECT_TRUE(sameBytes(
            infoW,
            PClassInfoW(info2.cid, info2.cardinality, info2.category, name.c_str(),
                        info2.classFlags, info2.subCategories, u"", u"0.1.0", u"VST 3.8.1")));
    }
    PClassInfo beyond;
    EXPECT_NE(factory()->getClassInfo(2, &beyond), kResultOk);
}

TEST_F(BundleHost, EveryCallForTheFactoryHandsOutTheSameOneWithAReference) {
    using FactoryFunction = IPluginFactory* (*)();
    auto getFactory = reinterpret_cast<FactoryFunction>(bundle.symbol("GetPluginFactory"));
    IPluginFactory* again = getFactory();
    EXPECT_EQ(again, factory());
    EXPECT_EQ(again->addRef(), 3u);  // the loader's, the second call's, this one
    again->release();
    again->release();
}

TEST_F(BundleHost, UnknownClassesAndInterfacesAreRefused) {
    PClassInfo processor;
    ASSERT_EQ(factory()->getClassInfo(0, &processor), kResultOk);
    const TUID unknown = {};
    for (auto [cid, iid] :
         {std::pair{unknown, IComponent::iid}, {processor.cid, IEditController::iid}}) {
        void* object = &object;
        EXPECT_EQ(factory()->createInstance(cid, iid, &object), kNoInterface);
        EXPECT_EQ(object, nullptr);
    }
}

// Hosts list the plug-in from this file without loading it.
TEST_F(BundleHost, TheModuleInfoFileListsWhatTheFactoryReports) {
    std::ifstream file(BUNDLE + "/Contents/Resources/moduleinfo.json");
    std::stringstream text;
    text << file.rdbuf();
    const std::string classFields =
        R"("Vendor":"Kelvo Music","Version":"0.1.0","SDKVersion":"VST 3.8.1",)";
    EXPECT_EQ(
        text.str(),
        R"({"Name":"Tambro Synth","Version":"0.1.0","Factory Info":{"Vendor":"Kelvo Music",)"
        R"("URL":"https://kelvo.music","E-Mail":"mailto:support@kelvo.music","Flags":)"
        R"({"Unicode":true,"Classes Discardable":false,"Component Non Discardable":false}},)"
        R"("Compatibility":[],"Classes":[{"CID":"9F352AFEA0352C919D3527D89E35296B",)"
        R"("Category":"Audio Module Class","Name":"Tambro Synth",)" +
            classFields +
            R"("Sub Categories":["Instrument","Synth"],"Class Flags":1,)"
            R"("Cardinality":2147483647,"Snapshots":[]},)"
            R"({"CID":"5F6499E260649B755D6496BC5E64984F","Category":"Component Controller Class",)"
            R"("Name":"Tambro Synth Controller",)" +
            classFields +
            R"("Sub Categories":[],"Class Flags":0,"Cardinality":2147483647,"Snapshots":[]}]})"
            "\n");
}

// What one instance played and saved, a new one (the project reopened) takes
// back into both halves.
TEST_F(BundleHost, OneInstanceLivesAWholeHostSession) {
    std::string saved;
    {
        auto first = startInstance();
        ASSERT_EQ(first->setup(48000, BLOCK), kResultOk);
        ASSERT_EQ(first->activate(true), kResultOk);
        IPtr<ParameterChanges> changes = owned(new ParameterChanges());
        changes->add(0, 0, 0.75);  // the kick's tune
        ASSERT_EQ(first->process(nullptr, changes, BLOCK), kResultOk);
        saved = stateOf(first->component());
    }
    auto second = startInstance();
    ASSERT_EQ(second->component()->setState(streamOf(saved)), kResultOk);
    EXPECT_EQ(second->controller()->setComponentState(streamOf(saved)), kResultOk);
    EXPECT_NEAR(second->controller()->getParamNormalized(0), 0.75, 1e-9);
    EXPECT_EQ(stateOf(second->component()), saved);
}

TEST_F(BundleHost, ThirtyTwoInstancesPlayAndAThirtyThirdFailsCleanly) {
    std::vector<std::unique_ptr<host::HostedInstance>> playing;
    for (int i = 0; i < 32; ++i) {  // the kernel's instance limit
        playing.push_back(startInstance());
        ASSERT_EQ(playing.back()->setup(48000, BLOCK), kResultOk) << "instance " << i;
        ASSERT_EQ(playing.back()->activate(true), kResultOk) << "instance " << i;
    }

    auto extra = startInstance();
    EXPECT_EQ(extra->setup(48000, BLOCK), kResultFalse);
    EXPECT_EQ(extra->activate(true), kResultFalse);

    for (auto& instance : playing) {
        IPtr<EventList> events = owned(new EventList());
        events->noteOn(0, 36, 1.0f);
        ASSERT_EQ(instance->process(events, nullptr, BLOCK), kResultOk);
        EXPECT_TRUE(
            std::ranges::any_of(instance->left(), [](float s) { return std::fabs(s) > 0.01f; }));
    }

    // A slot freed by a closed instance lets the refused one start.
    playing.pop_back();
    EXPECT_EQ(extra->activate(true), kResultOk);
}

// Hosts unload modules nobody uses any more and load them again later.
TEST(BundleReload, UnloadingAndReloadingKeepsNoMemoryBehind) {
    HostApplication application;
    auto useOnce = [&] {
        LoadedBundle bundle(BUNDLE);
        ASSERT_NE(bundle.factory(), nullptr) << bundle.error();
        host::HostedInstance instance(bundle.factory(), &application);
        ASSERT_TRUE(instance.connect());
        ASSERT_EQ(instance.setup(48000, BLOCK), kResultOk);
        ASSERT_EQ(instance.activate(true), kResultOk);
    };
    useOnce();
    const int64_t before = heapInUse();
    for (int i = 0; i < 3; ++i)
        useOnce();
    EXPECT_LT(heapInUse() - before, 1 << 20);
}

}  // namespace
}  // namespace kelvo::test
