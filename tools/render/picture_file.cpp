// The picture: a title line, the waveform of the channels' mix as the
// minimum and maximum of each pixel column, and below it a spectrogram on a
// logarithmic frequency axis from 20 Hz to half the rate, 100 dB deep.
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include "audio_files.h"
#include "fft_levels.h"
#include "text_format.h"
#include "tool_error.h"

namespace tambro::render {

namespace {

constexpr int WIDTH = 1200, LEFT = 64, RIGHT = 16;
constexpr int TITLE_HEIGHT = 34, WAVE_HEIGHT = 200, GAP = 14, SPECTRUM_HEIGHT = 340,
              AXIS_HEIGHT = 28;
constexpr int PLOT_WIDTH = WIDTH - LEFT - RIGHT;
constexpr int WAVE_TOP = TITLE_HEIGHT, SPECTRUM_TOP = WAVE_TOP + WAVE_HEIGHT + GAP;
constexpr int HEIGHT = SPECTRUM_TOP + SPECTRUM_HEIGHT + AXIS_HEIGHT;
constexpr double LOWEST_HZ = 20, DEPTH_DB = 100;
constexpr size_t FFT_SIZE = 2048;

struct Colour {
    double r, g, b;
};
// From silence (dark) to full scale (pale yellow).
constexpr std::array<Colour, 5> HEAT = {{{0.0, 0.0, 0.02},
                                         {0.24, 0.06, 0.43},
                                         {0.71, 0.2, 0.31},
                                         {0.98, 0.55, 0.12},
                                         {0.99, 1.0, 0.64}}};

Colour heat(double position) {
    position = std::clamp(position, 0.0, 1.0) * (HEAT.size() - 1);
    const auto index = std::min(static_cast<size_t>(position), HEAT.size() - 2);
    const double t = position - static_cast<double>(index);
    const Colour& a = HEAT[index];
    const Colour& b = HEAT[index + 1];
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

std::vector<float> mixOf(const Rendering& rendering) {
    std::vector<float> mix(rendering.frames);
    const auto channels = static_cast<size_t>(rendering.channels);
    for (size_t i = 0; i < mix.size(); ++i) {
        float sum = 0;
        for (size_t c = 0; c < channels; ++c)
            sum += rendering.interleaved[i * channels + c];
        mix[i] = sum / static_cast<float>(channels);
    }
    return mix;
}

void text(cairo_t* cr, double x, double y, const std::string& words, double alignRight = 0) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, words.c_str(), &extents);
    cairo_move_to(cr, x - alignRight * extents.x_advance, y);
    cairo_show_text(cr, words.c_str());
}

void drawWaveform(cairo_t* cr, const std::vector<float>& mix) {
    const double middle = WAVE_TOP + WAVE_HEIGHT / 2.0, half = WAVE_HEIGHT / 2.0 - 2;
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.35);
    cairo_set_line_width(cr, 1);
    for (const double level : {-1.0, 0.0, 1.0}) {
        cairo_move_to(cr, LEFT, std::round(middle - level * half) + 0.5);
        cairo_line_to(cr, LEFT + PLOT_WIDTH, std::round(middle - level * half) + 0.5);
    }
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.45, 0.8, 1.0);
    for (int x = 0; x < PLOT_WIDTH && !mix.empty(); ++x) {
        const size_t begin = mix.size() * static_cast<size_t>(x) / PLOT_WIDTH;
        const size_t end =
            std::max(begin + 1, mix.size() * static_cast<size_t>(x + 1) / PLOT_WIDTH);
        const auto [low, high] =
            std::minmax_element(mix.begin() + static_cast<long>(begin),
                                mix.begin() + static_cast<long>(std::min(end, mix.size())));
        cairo_move_to(cr, LEFT + x + 0.5, middle - std::clamp(*high, -1.0f, 1.0f) * half);
        cairo_line_to(cr, LEFT + x + 0.5, middle - std::clamp(*low, -1.0f, 1.0f) * half + 1);
    }
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.8, 0.8, 0.85);
    text(cr, LEFT - 6, WAVE_TOP + 12, "+1", 1);
    text(cr, LEFT - 6, middle + 4, "0", 1);
    text(cr, LEFT - 6, WAVE_TOP + WAVE_HEIGHT, "-1", 1);
}

double rowFrequency(int row, double nyquist) {  // row 0 at the bottom
    return LOWEST_HZ * std::pow(nyquist / LOWEST_HZ, row / (SPECTRUM_HEIGHT - 1.0));
}

void drawSpectrogram(cairo_surface_t* surface, const std::vector<float>& mix, double sampleRate) {
    cairo_surface_flush(surface);
    unsigned char* pixels = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    Spectrum spectrum(FFT_SIZE);
    const double nyquist = sampleRate / 2, binHz = sampleRate / FFT_SIZE;
    for (int x = 0; x < PLOT_WIDTH; ++x) {
        const auto centre =
            static_cast<long long>((x + 0.5) * static_cast<double>(mix.size()) / PLOT_WIDTH);
        const std::vector<float>& levels = spectrum.levels(mix, centre);
        for (int row = 0; row < SPECTRUM_HEIGHT; ++row) {
            const auto bin =
                std::min(levels.size() - 1,
                         static_cast<size_t>(std::lround(rowFrequency(row, nyquist) / binHz)));
            const Colour colour = heat(1 + levels[bin] / DEPTH_DB);
            auto* pixel = reinterpret_cast<uint32_t*>(
                              pixels + (SPECTRUM_TOP + SPECTRUM_HEIGHT - 1 - row) * stride) +
                          LEFT + x;
            *pixel = 0xFF000000u | static_cast<uint32_t>(colour.r * 255) << 16 |
                     static_cast<uint32_t>(colour.g * 255) << 8 |
                     static_cast<uint32_t>(colour.b * 255);
        }
    }
    cairo_surface_mark_dirty(surface);
}

void drawFrequencyAxis(cairo_t* cr, double sampleRate) {
    const double nyquist = sampleRate / 2;
    cairo_set_source_rgb(cr, 0.8, 0.8, 0.85);
    for (const double hz : {100.0, 1000.0, 10000.0, 100000.0}) {
        if (hz >= nyquist) break;
        const double row =
            std::log(hz / LOWEST_HZ) / std::log(nyquist / LOWEST_HZ) * (SPECTRUM_HEIGHT - 1);
        const double y = SPECTRUM_TOP + SPECTRUM_HEIGHT - 1 - row;
        text(cr, LEFT - 6, y + 4, hz >= 1000 ? fixed(hz / 1000, 0) + "k" : fixed(hz, 0), 1);
    }
    text(cr, LEFT - 6, SPECTRUM_TOP + 12, "Hz", 1);
}

// Ticks a round number of seconds apart, at most about a dozen.
void drawTimeAxis(cairo_t* cr, double seconds) {
    double step = 0.01;
    for (const double candidate : {0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 30.0,
                                   60.0, 120.0, 300.0, 600.0})
        if ((step = candidate) * 12 >= seconds) break;
    const int decimals = step < 0.1 ? 2 : step < 1 ? 1 : 0;
    cairo_set_source_rgb(cr, 0.8, 0.8, 0.85);
    for (double t = 0; t <= seconds && seconds > 0; t += step) {
        const double x = LEFT + t / seconds * PLOT_WIDTH;
        cairo_move_to(cr, std::round(x) + 0.5, HEIGHT - AXIS_HEIGHT);
        cairo_line_to(cr, std::round(x) + 0.5, HEIGHT - AXIS_HEIGHT + 5);
        cairo_stroke(cr);
        text(cr, x, HEIGHT - 8, fixed(t, decimals) + " s", 0.5);
    }
}

cairo_status_t writeToFile(void* closure, const unsigned char* data, unsigned int length) {
    auto* bytes = static_cast<std::vector<unsigned char>*>(closure);
    bytes->insert(bytes->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

// The PNG bytes, or empty when Cairo failed.
std::vector<unsigned char> drawPicture(const Rendering& rendering, double sampleRate,
                                       const std::string& title) {
    using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
    using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, WIDTH, HEIGHT),
                    cairo_surface_destroy);
    Context cr(cairo_create(surface.get()), cairo_destroy);
    cairo_set_source_rgb(cr.get(), 0.08, 0.08, 0.1);
    cairo_paint(cr.get());
    cairo_select_font_face(cr.get(), "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                           CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr.get(), 12);

    const std::vector<float> mix = mixOf(rendering);
    drawSpectrogram(surface.get(), mix, sampleRate);
    drawWaveform(cr.get(), mix);
    drawFrequencyAxis(cr.get(), sampleRate);
    drawTimeAxis(cr.get(), static_cast<double>(rendering.frames) / sampleRate);
    cairo_set_source_rgb(cr.get(), 0.95, 0.95, 0.95);
    cairo_set_font_size(cr.get(), 15);
    text(cr.get(), LEFT, 22, title);

    std::vector<unsigned char> png;
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_write_to_png_stream(surface.get(), writeToFile, &png) != CAIRO_STATUS_SUCCESS)
        png.clear();
    return png;
}

}  // namespace

void writePicture(const Rendering& rendering, double sampleRate, const std::string& title,
                  PendingFile& file) {
    const std::vector<unsigned char> png = drawPicture(rendering, sampleRate, title);
    // One picture per run: the font caches Cairo and fontconfig keep for the
    // life of the process go now, so leak checkers see none.
    cairo_debug_reset_static_data();
    FcFini();
    if (png.empty()) throw ToolError(EXIT_USAGE, "cannot draw the picture for " + file.path());
    file.write(png.data(), png.size());
}

}  // namespace tambro::render
