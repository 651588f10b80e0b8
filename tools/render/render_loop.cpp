#include "render_loop.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "progress.h"
#include "tool_error.h"

namespace tambro::render {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr double SILENCE_SECONDS = 0.5;
// Room for this much tail is made before rendering; a longer one grows the
// output a few times over.
constexpr double TAIL_RESERVE_SECONDS = 10;
constexpr int MIDI_CHANNELS = 16, MIDI_CONTROLLERS = 128;

// The parameter of every controller number on every channel the timeline
// uses, asked of the plug-in once before rendering.
struct ControllerRoutes {
    static constexpr int64_t UNMAPPED = -1;
    std::array<int64_t, MIDI_CHANNELS * MIDI_CONTROLLERS> parameter;
    std::array<double, MIDI_CHANNELS * MIDI_CONTROLLERS> lastValue;
    std::array<bool, MIDI_CHANNELS * MIDI_CONTROLLERS> used{};

    ControllerRoutes(const PluginInstance& instance, const Timeline& timeline) {
        parameter.fill(UNMAPPED);
        std::array<bool, MIDI_CHANNELS * MIDI_CONTROLLERS> asked{};
        for (const TimedEvent& event : timeline.events) {
            if (event.kind != EventKind::Controller || asked[slotOf(event)]) continue;
            asked[slotOf(event)] = true;
            ParamID id = 0;
            if (instance.controllerParameter(event.channel, event.number, id))
                parameter[slotOf(event)] = id;
        }
    }
    static size_t slotOf(const TimedEvent& event) {
        return static_cast<size_t>(event.channel % MIDI_CHANNELS) * MIDI_CONTROLLERS +
               event.number % MIDI_CONTROLLERS;
    }
};

// The most events any one block carries.
size_t mostEventsPerBlock(const Timeline& timeline, int32 block) {
    size_t most = 1, current = 0;
    uint64_t index = UINT64_MAX;
    for (const TimedEvent& event : timeline.events) {
        const uint64_t blockIndex = event.frame / static_cast<uint64_t>(block);
        if (blockIndex != index) current = 0;
        index = blockIndex;
        most = std::max(most, ++current);
    }
    return most;
}

class BlockRenderer {
  public:
    BlockRenderer(PluginInstance& instance, const Timeline& timeline)
        : instance_(instance),
          timeline_(timeline),
          routes_(instance, timeline),
          events_(owned(
              new kelvo::host::EventList(mostEventsPerBlock(timeline, instance.maxBlockFrames())))),
          changes_(owned(new kelvo::host::ParameterChanges(
              mostEventsPerBlock(timeline, instance.maxBlockFrames())))),
          planes_(static_cast<size_t>(instance.outputChannels()),
                  std::vector<float>(static_cast<size_t>(instance.maxBlockFrames()))) {
        for (auto& plane : planes_)
            channels_.push_back(plane.data());
        data_ = kelvo::host::outputBlock(output_, channels_.data(), instance.outputChannels(), 0,
                                         kOffline);
        context_.state = ProcessContext::kPlaying;
        context_.sampleRate = instance.sampleRate();
        data_.inputEvents = events_;
        data_.inputParameterChanges = changes_;
        data_.processContext = &context_;
    }

    // Renders frames [start, start + count) into `out` (interleaved);
    // returns one past the last frame holding a sample other than zero, or 0.
    uint64_t renderBlock(uint64_t start, int32 count, float* out) {
        queueEvents(start, count);
        context_.projectTimeSamples = static_cast<TSamples>(start);
        data_.numSamples = count;
        output_.silenceFlags = 0;
        if (instance_.processor()->process(data_) != kResultOk)
            throw ToolError(EXIT_PLUGIN,
                            "the plug-in failed the block at frame " + std::to_string(start));
        uint64_t sounding = 0;
        const auto channels = static_cast<size_t>(output_.numChannels);
        for (size_t c = 0; c < channels; ++c) {
            if (c < 64 && (output_.silenceFlags >> c & 1) != 0) {
                for (int32 i = 0; i < count; ++i)
                    out[static_cast<size_t>(i) * channels + c] = 0.0f;
                continue;
            }
            const float* plane = planes_[c].data();
            for (int32 i = 0; i < count; ++i)
                out[static_cast<size_t>(i) * channels + c] = plane[i];
            int32 last = count;
            while (last > 0 && plane[last - 1] == 0.0f)
                --last;
            if (last > 0) sounding = std::max(sounding, start + static_cast<uint64_t>(last));
        }
        return sounding;
    }

    // The controller learns the last value each mapped controller sent.
    void handBackControllerValues() {
        for (size_t slot = 0; slot < routes_.parameter.size(); ++slot)
            if (routes_.used[slot])
                instance_.adoptValue(static_cast<ParamID>(routes_.parameter[slot]),
                                     routes_.lastValue[slot]);
    }

  private:
    void queueEvents(uint64_t start, int32 count) {
        events_->clear();
        changes_->clear();
        const uint64_t end = start + static_cast<uint64_t>(count);
        for (; next_ < timeline_.events.size() && timeline_.events[next_].frame < end; ++next_) {
            const TimedEvent& event = timeline_.events[next_];
            const auto offset = static_cast<int32>(event.frame - start);
            if (event.kind == EventKind::Controller)
                queueController(event, offset);
            else
                queueNote(event, offset);
        }
    }

    void queueNote(const TimedEvent& event, int32 offset) {
        Event note{};
        note.sampleOffset = offset;
        note.flags = Event::kIsLive;
        const float velocity = static_cast<float>(event.value) / 127.0f;
        if (event.kind == EventKind::NoteOn) {
            note.type = Event::kNoteOnEvent;
            note.noteOn = {event.channel, event.number, 0.0f, velocity, 0, -1};
        } else {
            note.type = Event::kNoteOffEvent;
            note.noteOff = {event.channel, event.number, velocity, -1, 0.0f};
        }
        events_->addEvent(note);
    }

    void queueController(const TimedEvent& event, int32 offset) {
        const size_t slot = ControllerRoutes::slotOf(event);
        if (routes_.parameter[slot] == ControllerRoutes::UNMAPPED) return;
        const double value = event.value / 127.0;
        changes_->add(static_cast<ParamID>(routes_.parameter[slot]), offset, value);
        routes_.lastValue[slot] = value;
        routes_.used[slot] = true;
    }

    PluginInstance& instance_;
    const Timeline& timeline_;
    ControllerRoutes routes_;
    IPtr<kelvo::host::EventList> events_;
    IPtr<kelvo::host::ParameterChanges> changes_;
    std::vector<std::vector<float>> planes_;
    std::vector<float*> channels_;
    AudioBusBuffers output_{};
    ProcessContext context_{};
    ProcessData data_{};
    size_t next_ = 0;
};

}  // namespace

Rendering render(PluginInstance& instance, const Timeline& timeline, uint64_t tailLimitFrames,
                 Progress* progress) {
    const uint32 reported = instance.tailSamples();
    const bool fixedTail = reported != kNoTail && reported != kInfiniteTail;
    const uint64_t limit = timeline.endFrame + (fixedTail ? reported : tailLimitFrames);
    const auto silence = static_cast<uint64_t>(instance.sampleRate() * SILENCE_SECONDS);
    const auto block = static_cast<uint64_t>(instance.maxBlockFrames());

    Rendering rendering;
    rendering.channels = instance.outputChannels();
    const auto channels = static_cast<uint64_t>(rendering.channels);
    const auto reserve = static_cast<uint64_t>(instance.sampleRate() * TAIL_RESERVE_SECONDS);
    rendering.interleaved.reserve((std::min(limit, timeline.endFrame + reserve) + block) *
                                  channels);
    BlockRenderer renderer(instance, timeline);
    uint64_t sounding = 0, start = 0;
    while (start < limit) {
        const auto count = static_cast<int32>(std::min(block, limit - start));
        // Within the reserve this only extends the vector; beyond it the
        // vector grows geometrically.
        rendering.interleaved.resize((start + static_cast<uint64_t>(count)) * channels);
        float* out = rendering.interleaved.data() + start * channels;
        sounding = std::max(sounding, renderer.renderBlock(start, count, out));
        start += static_cast<uint64_t>(count);
        if (progress != nullptr) progress->update(start, timeline.endFrame);
        if (!fixedTail && start >= timeline.endFrame && start - sounding >= silence) break;
    }
    renderer.handBackControllerValues();
    rendering.frames = fixedTail ? limit : std::max(timeline.endFrame, std::min(sounding, limit));
    rendering.interleaved.resize(rendering.frames * channels);
    return rendering;
}

}  // namespace tambro::render
