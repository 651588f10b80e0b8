// Standard MIDI Files built byte by byte for the render tool's tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace tambro::test {

using Bytes = std::vector<uint8_t>;

class TrackBytes {
  public:
    TrackBytes& event(uint32_t delta, std::initializer_list<uint8_t> bytes) {
        quantity(delta);
        body_.insert(body_.end(), bytes);
        return *this;
    }
    TrackBytes& tempo(uint32_t delta, uint32_t microsPerQuarter) {
        return event(delta, {0xFF, 0x51, 0x03, static_cast<uint8_t>(microsPerQuarter >> 16),
                             static_cast<uint8_t>(microsPerQuarter >> 8),
                             static_cast<uint8_t>(microsPerQuarter)});
    }
    TrackBytes& end(uint32_t delta) { return event(delta, {0xFF, 0x2F, 0x00}); }
    const Bytes& body() const { return body_; }

  private:
    void quantity(uint32_t value) {
        uint8_t groups[4];
        int count = 0;
        do {
            groups[count++] = value & 0x7F;
            value >>= 7;
        } while (value != 0);
        while (count-- > 0)
            body_.push_back(static_cast<uint8_t>(groups[count] | (count > 0 ? 0x80 : 0)));
    }

    Bytes body_;
};

inline void appendWord(Bytes& out, uint32_t value, int size) {
    for (int i = size - 1; i >= 0; --i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

inline Bytes midiFile(uint16_t format, uint16_t division,
                      std::initializer_list<TrackBytes> tracks) {
    Bytes out = {'M', 'T', 'h', 'd'};
    appendWord(out, 6, 4);
    appendWord(out, format, 2);
    appendWord(out, static_cast<uint32_t>(tracks.size()), 2);
    appendWord(out, division, 2);
    for (const TrackBytes& track : tracks) {
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        appendWord(out, static_cast<uint32_t>(track.body().size()), 4);
        out.insert(out.end(), track.body().begin(), track.body().end());
    }
    return out;
}

}  // namespace tambro::test
