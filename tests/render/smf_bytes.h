// Standard MIDI Files built byte by byte for the render tool's tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace tambro::test {

using Bytes = std::vector<uint8_t>;

// One track's events, each after its delta time in ticks.
struct TrackBytes {
    TrackBytes& event(uint32_t delta, std::initializer_list<uint8_t> bytes) {
        // A variable-length quantity: seven bits a byte, the first ones flagged.
        for (int shift = 21; shift > 0; shift -= 7)
            if (delta >> shift) body.push_back(static_cast<uint8_t>(0x80 | (delta >> shift)));
        body.push_back(delta & 0x7F);
        body.insert(body.end(), bytes);
        return *this;
    }
    TrackBytes& tempo(uint32_t delta, uint32_t micros) {
        return event(delta, {0xFF, 0x51, 0x03, static_cast<uint8_t>(micros >> 16),
                             static_cast<uint8_t>(micros >> 8), static_cast<uint8_t>(micros)});
    }
    TrackBytes& end(uint32_t delta) { return event(delta, {0xFF, 0x2F, 0x00}); }

    Bytes body;
};

inline Bytes midiFile(uint8_t format, uint16_t division, std::initializer_list<TrackBytes> tracks) {
    Bytes out = {'M',
                 'T',
                 'h',
                 'd',
                 0,
                 0,
                 0,
                 6,
                 0,
                 format,
                 0,
                 static_cast<uint8_t>(tracks.size()),
                 static_cast<uint8_t>(division >> 8),
                 static_cast<uint8_t>(division)};
    for (const TrackBytes& track : tracks) {
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<uint8_t>(track.body.size() >> shift));
        out.insert(out.end(), track.body.begin(), track.body.end());
    }
    return out;
}

}  // namespace tambro::test
