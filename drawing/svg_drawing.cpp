#include "svg_drawing.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>

#include "atomic_file.hpp"

namespace drawing {

namespace {

// Decimals that show the step between the ticks exactly.
int decimalsFor(const std::vector<double>& ticks) {
    if (ticks.size() < 2) return 0;
    double step = ticks[1] - ticks[0];
    int d = 0;
    while (d < 6 && std::fabs(step * std::pow(10.0, d) - std::round(step * std::pow(10.0, d))) > 1e-6) ++d;
    return d;
}

}  // namespace

std::string px(double value) { return fixed(value, 1); }

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// The voices' colours, from red on, chosen one at a time from the sRGB
// colours of lightness 25 to 75 and chroma 25 or more (CIELAB, D65) as the one
// furthest from all chosen before: any two differ by at least 29 in CIELAB
// (Delta E 1976), the first few by far more, and every one stands out on
// white.
const std::array<const char*, voiceColours> palette = {
    "#ff0000", "#0000ff", "#00cc00", "#77bbee", "#ee22aa", "#665500", "#003399", "#ff9999",
    "#44bb88", "#ff9900", "#880011", "#663355", "#aabb11", "#bb55ff", "#dd99ee", "#115544",
    "#ff2266", "#006600", "#bbbb77", "#005588", "#770077", "#0088ff", "#aa5500", "#3311bb",
    "#885544", "#cc5588", "#ff6644", "#ff00ee", "#77cc55", "#55aaaa", "#eeaa66", "#5566ff",
};

std::string voiceColour(int n) {
    const int count = static_cast<int>(palette.size());
    return palette[static_cast<std::size_t>(((n - 1) % count + count) % count)];
}

double Axis::place(double value) const {
    double t = logarithmic ? (std::log(std::max(value, low)) - std::log(low)) / (std::log(high) - std::log(low))
                           : (value - low) / (high - low);
    return std::clamp(t, 0.0, 1.0);
}

Axis linearAxis(double low, double high, std::string label) {
    Axis a;
    a.low = low;
    a.high = high > low ? high : low + 1.0;
    a.label = std::move(label);
    double raw = (a.high - a.low) / 6.0;
    double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10.0 * power;
    for (double m : {1.0, 2.0, 5.0})
        if (m * power >= raw) {
            step = m * power;
            break;
        }
    for (double k = std::ceil(a.low / step - 1e-9); k * step <= a.high + step * 1e-9; k += 1.0)
        a.ticks.push_back(k * step);
    a.decimals = decimalsFor(a.ticks);
    return a;
}

Axis steppedAxis(double low, double high, double step, std::string label) {
    Axis a;
    a.low = low;
    a.high = high;
    a.label = std::move(label);
    for (double k = 0.0; low + k * step <= high + step * 1e-9; k += 1.0) a.ticks.push_back(low + k * step);
    a.decimals = decimalsFor(a.ticks);
    return a;
}

Axis logarithmicAxis(double low, double high, std::string label) {
    Axis a;
    a.logarithmic = true;
    a.low = low;
    a.high = high;
    a.label = std::move(label);
    for (double power = std::pow(10.0, std::floor(std::log10(low))); power <= high; power *= 10.0)
        for (double m : {1.0, 2.0, 5.0})
            if (m * power >= low && m * power <= high) a.ticks.push_back(m * power);
    return a;
}

std::string plotFrame(const PlotArea& area, const Axis& horizontal, const Axis& vertical, bool bottomLabels) {
    const double right = area.left + area.width, bottom = area.top + area.height;
    std::string svg = "<g class=\"grid\" stroke=\"#e4e4e4\">\n";
    for (double v : vertical.ticks) {
        std::string y = px(area.y(vertical, v));
        svg += "<line x1=\"" + px(area.left) + "\" y1=\"" + y + "\" x2=\"" + px(right) + "\" y2=\"" + y + "\"/>\n";
    }
    for (double h : horizontal.ticks) {
        std::string x = px(area.x(horizontal, h));
        svg += "<line x1=\"" + x + "\" y1=\"" + px(area.top) + "\" x2=\"" + x + "\" y2=\"" + px(bottom) + "\"/>\n";
    }
    svg += "</g>\n<g class=\"axes\" stroke=\"#888\" fill=\"none\">\n";
    svg += "<rect x=\"" + px(area.left) + "\" y=\"" + px(area.top) + "\" width=\"" + px(area.width) +
           "\" height=\"" + px(area.height) + "\"/>\n";
    for (double v : vertical.ticks) {
        std::string y = px(area.y(vertical, v));
        svg += "<line x1=\"" + px(area.left - 5.0) + "\" y1=\"" + y + "\" x2=\"" + px(area.left) + "\" y2=\"" + y +
               "\"/>\n";
    }
    for (double h : horizontal.ticks) {
        std::string x = px(area.x(horizontal, h));
        svg += "<line x1=\"" + x + "\" y1=\"" + px(bottom) + "\" x2=\"" + x + "\" y2=\"" + px(bottom + 5.0) + "\"/>\n";
    }
    svg += "</g>\n<g class=\"labels\" fill=\"#222\">\n";
    for (double v : vertical.ticks)
        svg += "<text x=\"" + px(area.left - 8.0) + "\" y=\"" + px(area.y(vertical, v) + 4.0) +
               "\" text-anchor=\"end\">" + fixed(v, vertical.decimals) + "</text>\n";
    const double labelX = area.left - 62.0, middle = area.top + area.height / 2.0;
    svg += "<text x=\"" + px(labelX) + "\" y=\"" + px(middle) + "\" text-anchor=\"middle\" transform=\"rotate(-90 " +
           px(labelX) + " " + px(middle) + ")\">" + escaped(vertical.label) + "</text>\n";
    if (bottomLabels) {
        for (double h : horizontal.ticks)
            svg += "<text x=\"" + px(area.x(horizontal, h)) + "\" y=\"" + px(bottom + 18.0) +
                   "\" text-anchor=\"middle\">" + fixed(h, horizontal.decimals) + "</text>\n";
        svg += "<text x=\"" + px(area.left + area.width / 2.0) + "\" y=\"" + px(bottom + 36.0) +
               "\" text-anchor=\"middle\">" + escaped(horizontal.label) + "</text>\n";
    }
    svg += "</g>\n";
    return svg;
}

std::string svgStart(double width, double height) {
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + px(width) + "\" height=\"" + px(height) +
           "\" viewBox=\"0 0 " + px(width) + " " + px(height) + "\" font-family=\"sans-serif\" font-size=\"12\">\n" +
           "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
}

std::string legend(double left, double top, const std::string& title,
                   const std::vector<std::pair<std::string, std::string>>& colourAndName, int rows) {
    std::string svg = "<g class=\"legend\" fill=\"#222\">\n";
    svg += "<text x=\"" + px(left) + "\" y=\"" + px(top) + "\">" + escaped(title) + "</text>\n";
    for (std::size_t i = 0; i < colourAndName.size(); ++i) {
        const int index = static_cast<int>(i);
        double x = left + legendColumnWidth * (index / rows);
        double y = top + 22.0 + 16.0 * (index % rows);
        svg += "<line x1=\"" + px(x) + "\" y1=\"" + px(y - 4.0) + "\" x2=\"" + px(x + 18.0) + "\" y2=\"" +
               px(y - 4.0) + "\" stroke=\"" + colourAndName[i].first + "\" stroke-width=\"3\"/>\n";
        svg += "<text x=\"" + px(x + 24.0) + "\" y=\"" + px(y) + "\">" + escaped(colourAndName[i].second) + "</text>\n";
    }
    svg += "</g>\n";
    return svg;
}

grain::Outcome<> writePicture(const std::filesystem::path& file, const std::string& svg) {
    grain::AtomicFile picture(file);
    {
        std::ofstream out(picture.temporary(), std::ios::binary | std::ios::trunc);
        out.write(svg.data(), static_cast<std::streamsize>(svg.size()));
        out.close();
        if (out.fail()) return grain::because("cannot write " + file.string());
    }
    return picture.commit();
}

}  // namespace drawing
