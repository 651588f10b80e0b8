#include "midi_file.h"

#include <algorithm>
#include <string>

namespace tambro::render {

namespace {

constexpr uint8_t META = 0xFF;
constexpr uint8_t SYSEX = 0xF0;
constexpr uint8_t SYSEX_ESCAPE = 0xF7;
constexpr uint8_t META_END_OF_TRACK = 0x2F;
constexpr uint8_t META_TEMPO = 0x51;

[[noreturn]] void fail(const std::string& reason, size_t at) {
    throw MidiFormatError(reason + " at byte " + std::to_string(at));
}

// Reads big-endian words and variable-length quantities inside [position, end).
class ByteReader {
  public:
    ByteReader(const std::vector<uint8_t>& bytes, size_t begin, size_t end)
        : bytes_(bytes), position_(begin), end_(end) {}

    bool atEnd() const { return position_ >= end_; }
    size_t position() const { return position_; }
    uint8_t peek(const char* what) const {
        if (atEnd()) fail(std::string("truncated ") + what, position_);
        return bytes_[position_];
    }
    uint8_t byte(const char* what) {
        const uint8_t value = peek(what);
        ++position_;
        return value;
    }
    uint32_t word(int size, const char* what) {
        uint32_t value = 0;
        for (int i = 0; i < size; ++i)
            value = value << 8 | byte(what);
        return value;
    }
    uint32_t quantity(const char* what) {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t next = byte(what);
            value = value << 7 | (next & 0x7F);
            if ((next & 0x80) == 0) return value;
        }
        fail(std::string("over-long variable-length number in ") + what, position_);
    }
    void skip(uint32_t count, const char* what) {
        if (count > end_ - position_) fail(std::string("truncated ") + what, position_);
        position_ += count;
    }

  private:
    const std::vector<uint8_t>& bytes_;
    size_t position_;
    size_t end_;
};

struct Ordered {
    uint64_t tick;
    uint32_t track;
    uint32_t index;
};

bool before(const Ordered& a, const Ordered& b) {
    if (a.tick != b.tick) return a.tick < b.tick;
    if (a.track != b.track) return a.track < b.track;
    return a.index < b.index;
}

struct TrackReader {
    std::vector<std::pair<Ordered, MidiEvent>>& events;
    std::vector<std::pair<Ordered, TempoChange>>& tempos;
    uint32_t track;
    uint32_t index = 0;
    uint64_t tick = 0;
    uint8_t running = 0;  // 0: no running status

    void readMeta(ByteReader& in, bool& ended) {
        const uint8_t type = in.byte("meta event");
        const uint32_t length = in.quantity("meta event");
        const size_t at = in.position();
        if (type == META_TEMPO) {
            if (length != 3) fail("tempo event of length " + std::to_string(length), at);
            ByteReader tempo = in;
            const uint32_t micros = tempo.word(3, "tempo event");
            if (micros == 0) fail("tempo of 0 microseconds per quarter note", at);
            tempos.push_back({{tick, track, index++}, {tick, micros}});
        }
        in.skip(length, "meta event");
        ended = type == META_END_OF_TRACK;
    }

    void readChannelMessage(ByteReader& in, uint8_t status) {
        const uint8_t data1 = in.byte("channel message");
        if (data1 & 0x80) fail("status byte where a data byte belongs", in.position() - 1);
        uint8_t data2 = 0;
        const uint8_t kind = status & 0xF0;
        if (kind != 0xC0 && kind != 0xD0) {
            data2 = in.byte("channel message");
            if (data2 & 0x80) fail("status byte where a data byte belongs", in.position() - 1);
        }
        events.push_back({{tick, track, index++}, {tick, status, data1, data2}});
    }

    // One event; true at the end of the track.
    bool readEvent(ByteReader& in) {
        tick += in.quantity("event time");
        const size_t at = in.position();
        uint8_t status = in.peek("event");
        if (status & 0x80) {
            in.byte("event");
        } else if (running == 0) {
            fail("data byte without a running status", at);
        } else {
            status = running;
        }
        if (status == META) {
            running = 0;
            bool ended = false;
            readMeta(in, ended);
            return ended;
        }
        if (status == SYSEX || status == SYSEX_ESCAPE) {
            running = 0;
            in.skip(in.quantity("system-exclusive event"), "system-exclusive event");
            return false;
        }
        if (status >= 0xF0) fail("system message in a track", at);
        running = status;
        readChannelMessage(in, status);
        return false;
    }
};

void readHeader(ByteReader& in, MidiFile& file, uint16_t& trackCount) {
    if (in.atEnd() || in.word(4, "header") != 0x4D546864)  // "MThd"
        throw MidiFormatError("not a Standard MIDI File (no MThd header)");
    const uint32_t length = in.word(4, "header");
    if (length < 6) fail("header of length " + std::to_string(length), in.position());
    ByteReader fields = in;
    file.format = static_cast<uint16_t>(fields.word(2, "header"));
    trackCount = static_cast<uint16_t>(fields.word(2, "header"));
    file.division = static_cast<uint16_t>(fields.word(2, "header"));
    in.skip(length, "header");
    if (file.format > 1)
        throw MidiFormatError("MIDI file format " + std::to_string(file.format) +
                              " (only formats 0 and 1 play)");
    if (file.format == 0 && trackCount != 1)
        throw MidiFormatError("format 0 file with " + std::to_string(trackCount) + " tracks");
    if (file.division == 0) throw MidiFormatError("time division of 0");
}

}  // namespace

MidiFile readMidiFile(const std::vector<uint8_t>& bytes) {
    MidiFile file;
    ByteReader in(bytes, 0, bytes.size());
    uint16_t trackCount = 0;
    readHeader(in, file, trackCount);

    std::vector<std::pair<Ordered, MidiEvent>> events;
    std::vector<std::pair<Ordered, TempoChange>> tempos;
    uint32_t track = 0;
    while (track < trackCount) {
        if (in.atEnd())
            throw MidiFormatError("file ends after " + std::to_string(track) + " of " +
                                  std::to_string(trackCount) + " tracks");
        const uint32_t type = in.word(4, "chunk header");
        const uint32_t length = in.word(4, "chunk header");
        const size_t begin = in.position();
        in.skip(length, "chunk");
        if (type != 0x4D54726B) continue;  // "MTrk"; other chunk types are skipped
        ByteReader body(bytes, begin, begin + length);
        TrackReader reader{events, tempos, track};
        while (!body.atEnd() && !reader.readEvent(body)) {
        }
        file.endTick = std::max(file.endTick, reader.tick);
        ++track;
    }

    const auto byOrder = [](const auto& a, const auto& b) { return before(a.first, b.first); };
    std::sort(events.begin(), events.end(), byOrder);
    std::sort(tempos.begin(), tempos.end(), byOrder);
    for (const auto& [order, event] : events)
        file.events.push_back(event);
    for (const auto& [order, tempo] : tempos)
        file.tempos.push_back(tempo);
    return file;
}

}  // namespace tambro::render
