#include <gtest/gtest.h>

#include <cstring>

#include "engine_fixture.h"

namespace kelvo::test {
namespace {

TEST(SamplerVelocity, ResolvesBaseSensitivityAndVariation) {
    struct Case {
        double velocity;
        SamplerVelocityControls controls;
        float sensitivity;
        double expected;
    };
    const Case cases[] = {
        {0.8, {0, 1, 0}, 1.0f, 0.8},      {1.5, {0, 1, 0}, 1.0f, 1.0}, {-1, {0, 1, 0}, 1.0f, 0.01},
        {0.9, {1, 0.005, 0}, 1.0f, 0.01},                               // fixed velocity, clamped
        {0.9, {1.4, 0.7, 0}, 1.0f, 0.7},  {0.2, {0, 1, 0}, 0.5f, 0.6},  // 1 - 0.5 + 0.2 * 0.5
        {0.2, {0, 1, 0}, -3.0f, 1.0},
    };
    for (const Case& c : cases) {
        std::atomic<uint32_t> state{0x6D2B79F5u};
        EXPECT_DOUBLE_EQ(resolveVelocity(c.velocity, c.controls, c.sensitivity, state), c.expected)
            << c.velocity << " sensitivity " << c.sensitivity;
        EXPECT_EQ(state.load(), 0x6D2B79F5u);  // no variation asked: no draw
    }
    // Variation spreads around the velocity, never the same draw twice.
    std::atomic<uint32_t> state{0x6D2B79F5u};
    const double first = resolveVelocity(0.5, {0, 1, 0.9}, 1.0f, state);
    const double second = resolveVelocity(0.5, {0, 1, 0.9}, 1.0f, state);
    EXPECT_NE(first, second);
    EXPECT_TRUE(std::min(first, second) >= 0.5 * 0.75 && std::max(first, second) <= 0.5 * 1.25);
}

TEST(SamplerSupport, PadOverridesSensitivityAndBankFailures) {
    FakeRig rig;
    KernelEngine& engine = rig.engine;
    ASSERT_TRUE(engine.setup(48000, 128));
    // This parameter table has no velocity parameters: velocities pass as played.
    engine.pushNoteOn(36, 1.5, 0, 0, 0);
    HostOutput out(2, 16);
    render(engine, out, 16);
    EXPECT_EQ(rig.fake.events, (std::vector<FakeKernelEvent>{{2, 0, 36, 1.5, 0}}));

    SamplerPadOverride kick;
    kick.pad = "kick";
    kick.mask = PAD_VELOCITY_SENSITIVITY;
    kick.velocitySensitivity = 0.25;
    ASSERT_TRUE(engine.publishSamplerPadOverrides({kick}));
    SamplerPadOverride empty = kick;
    empty.mask = 0;
    EXPECT_FALSE(engine.publishSamplerPadOverrides({kick, empty}));
    EXPECT_FALSE(engine.publishSamplerPadOverrides(SamplerPadOverrides(257, kick)));
    EXPECT_EQ(*engine.publishedPadOverrides(), SamplerPadOverrides{kick});

    StagedBank bank;
    StagedZone zone;
    zone.id = "kick";
    zone.keyTracking = 0;
    zone.lowKey = zone.highKey = 36;
    bank.zones = {zone};
    EXPECT_FALSE(engine.publishRuntimeBank(std::make_shared<const StagedBank>(bank)));
    engine.refreshSamplerPadVelocitySensitivity(engine.publishedPadOverrides().get(), &bank);
    EXPECT_EQ(engine.velocitySensitivity(36), 0.25f);
    EXPECT_EQ(engine.velocitySensitivity(37), 1.0f);

    engine.recordRuntimeBankFailure(RUNTIME_BANK_HASH_MISMATCH, "asset k differs", "hosted");
    engine.recordRuntimeBankFailure(RUNTIME_BANK_TOO_LARGE, nullptr, nullptr);
    engine.recordRuntimeBankFailure(RUNTIME_BANK_OK, "", "");
    StateChunk chunk;
    chunk.hasBankRef = true;
    std::strcpy(chunk.bankId, "acme");
    EXPECT_EQ(engine.recallSampleBank(chunk), BANK_RECALL_NOT_CONTAINED);
    const auto& ring = engine.diagnostics().ring();
    ASSERT_EQ(ring.count, 3u);
    EXPECT_EQ(ring.records[0].code, DIAGNOSTIC_BANK_HASH_MISMATCH);
    EXPECT_STREQ(ring.records[0].message,
                 "runtime bank load refused (bank-hash-mismatch): asset k differs");
    EXPECT_STREQ(ring.records[0].detail, R"({"reason":"bank-hash-mismatch","source":"hosted"})");
    EXPECT_EQ(ring.records[1].code, DIAGNOSTIC_BANK_MISSING);
    EXPECT_STREQ(ring.records[1].message, "runtime bank load refused (bank-too-large): ");
    EXPECT_STREQ(ring.records[1].detail, R"({"reason":"bank-too-large","source":""})");
    EXPECT_EQ(ring.records[2].phase, DIAGNOSTIC_PHASE_STATE);
    EXPECT_STREQ(ring.records[2].detail, R"({"bank":"acme","banks":0})");
}

}  // namespace
}  // namespace kelvo::test
