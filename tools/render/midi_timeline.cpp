#include "midi_timeline.h"

#include <algorithm>

namespace tambro::render {

namespace {

constexpr uint32_t DEFAULT_MICROS_PER_QUARTER = 500000;  // 120 beats per minute
constexpr uint64_t MAX_TICK = uint64_t{1} << 40;
constexpr uint64_t MAX_SECONDS = 24 * 3600;

// Seconds since tick 0 as an exact fraction: with a tempo map, the sum of
// ticks x microseconds per quarter over (ticks per quarter x 10^6); with SMPTE
// time, ticks over (frames per second x ticks per frame).
class TempoMap {
  public:
    explicit TempoMap(const MidiFile& file) : division_(file.division) {
        Wide elapsed = 0;  // tick x microseconds per quarter
        uint64_t tick = 0;
        uint32_t micros = DEFAULT_MICROS_PER_QUARTER;
        segments_.push_back({0, 0, micros});
        for (const TempoChange& change : file.tempos) {
            elapsed += Wide{change.tick - tick} * micros;
            tick = change.tick;
            micros = change.microsPerQuarter;
            if (segments_.back().tick == tick)
                segments_.back() = {tick, elapsed, micros};
            else
                segments_.push_back({tick, elapsed, micros});
        }
    }

    uint64_t frameAt(uint64_t tick, const Rate& rate) const {
        if (division_ & 0x8000) return smpteFrameAt(tick, rate);
        const auto after = std::upper_bound(
            segments_.begin(), segments_.end(), tick,
            [](uint64_t value, const Segment& segment) { return value < segment.tick; });
        const Segment& segment = *(after - 1);
        const Wide elapsed = segment.elapsed + Wide{tick - segment.tick} * segment.micros;
        return render::frameAt(elapsed, Wide{division_} * 1000000, rate);
    }

  private:
    struct Segment {
        uint64_t tick;
        Wide elapsed;
        uint32_t micros;
    };

    // The high byte holds -24, -25, -29 (29.97 drop-frame) or -30.
    uint64_t smpteFrameAt(uint64_t tick, const Rate& rate) const {
        const int framesPerSecond = 256 - (division_ >> 8);
        const uint32_t ticksPerFrame = division_ & 0xFF;
        if (framesPerSecond == 29)
            return render::frameAt(Wide{tick} * 1001, Wide{30000} * ticksPerFrame, rate);
        return render::frameAt(tick, Wide{static_cast<uint32_t>(framesPerSecond)} * ticksPerFrame,
                               rate);
    }

    uint16_t division_;
    std::vector<Segment> segments_;
};

void checkTimeBase(const MidiFile& file) {
    if ((file.division & 0x8000) == 0) return;
    const int framesPerSecond = 256 - (file.division >> 8);
    if ((framesPerSecond != 24 && framesPerSecond != 25 && framesPerSecond != 29 &&
         framesPerSecond != 30) ||
        (file.division & 0xFF) == 0)
        throw MidiFormatError("unknown SMPTE time division");
}

bool toTimedEvent(const MidiEvent& event, uint64_t frame, TimedEvent& out) {
    const auto channel = static_cast<uint8_t>(event.status & 0x0F);
    switch (event.status & 0xF0) {
        case 0x90:
            out = {frame, event.data2 > 0 ? EventKind::NoteOn : EventKind::NoteOff, channel,
                   event.data1, event.data2};
            return true;
        case 0x80:
            out = {frame, EventKind::NoteOff, channel, event.data1, event.data2};
            return true;
        case 0xB0:
            out = {frame, EventKind::Controller, channel, event.data1, event.data2};
            return true;
        default:
            return false;
    }
}

}  // namespace

Timeline timelineFromMidi(const MidiFile& file, const Rate& rate) {
    checkTimeBase(file);
    if (file.endTick > MAX_TICK) throw MidiFormatError("the file lasts implausibly long");
    const TempoMap map(file);
    Timeline timeline;
    timeline.endFrame = map.frameAt(file.endTick, rate);
    if (timeline.endFrame / std::max<uint64_t>(1, rate.numerator / rate.denominator) > MAX_SECONDS)
        throw MidiFormatError("the file lasts longer than a day");
    for (const MidiEvent& event : file.events) {
        TimedEvent timed{};
        if (toTimedEvent(event, map.frameAt(event.tick, rate), timed))
            timeline.events.push_back(timed);
    }
    return timeline;
}

}  // namespace tambro::render
