#include <gtest/gtest.h>

#include <clocale>

#include "runtime_bank_reply.h"

namespace kelvo {
namespace {

// A failure is two lines; a published bank adds its instrument, positions
// and presets, control bytes in texts turned into spaces.
TEST(RuntimeBankReply, EncodesFailuresAndPublishedBanks) {
    EXPECT_EQ(encodeRuntimeBankReply("bank-hash-mismatch", "asset a.wav differs", nullptr),
              "bank-hash-mismatch\nasset a.wav differs");
    EXPECT_EQ(encodeRuntimeBankReply("", "", nullptr), "missing\n");
    StagedBank bank;
    bank.instrumentId = "kit-a";
    bank.instrumentName = "Kit A";
    bank.instrumentKind = "kits";
    bank.positions = {{"kit-a", "Kit A", "kits"}, {"bass", "Bass\nLine", "instruments"}};
    bank.presets = {{"p1", "Tight\x1f", "kit-a", {{"kick.decay", 0.1}, {"kick.tune", 60}}}};
    // Hosts switch the locale; the numbers must not follow it.
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    const std::string reply = encodeRuntimeBankReply("ok", "", &bank);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(reply,
              "ok\n\nkit-a\tKit A\tkits\nkit-a\tKit A\tkits\nbass\tBass Line\tinstruments\n"
              "\x01p1\tTight \tkit-a\tkick.decay=0.10000000000000001\x1fkick.tune=60");
}

}  // namespace
}  // namespace kelvo
