#include "convert/chart_svg.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "convert/html_text.h"

namespace tessarine::convert {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Beyond this many categories or series a chart is drawn from the first ones
// only: the cached values are the document's own, but a picture with more
// marks than pixels shows nothing more.
constexpr size_t kMaxPoints = 4000;
constexpr size_t kMaxSeries = 255;

bool Is(pugi::xml_node node, std::string_view name) {
  return name == node.name();
}

std::string_view Val(pugi::xml_node node) {
  return node.attribute("val").value();
}

// An on/off child ("<c:showVal val="1"/>"); a missing val means on.
std::optional<bool> Flag(pugi::xml_node parent, const char* name) {
  pugi::xml_node child = parent.child(name);
  if (!child) return std::nullopt;
  const std::string_view v = Val(child);
  return v.empty() || v == "1" || v == "true" || v == "on";
}

// A fraction from a DrawingML percentage: "65000" (thousandths of a percent)
// or "65%" in strict files.
double Fraction(std::string_view text) {
  if (text.empty()) return 1.0;
  const double number = std::strtod(std::string(text).c_str(), nullptr);
  return text.back() == '%' ? number / 100.0 : number / 100000.0;
}

// --- Colours -----------------------------------------------------------------------

struct Rgb {
  double r = 0, g = 0, b = 0;  // 0-255
};

std::optional<Rgb> ParseHex(std::string_view hex) {
  if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos)
    return std::nullopt;
  const unsigned long value = std::strtoul(std::string(hex).c_str(), nullptr, 16);
  return Rgb{static_cast<double>((value >> 16) & 0xFF), static_cast<double>((value >> 8) & 0xFF),
             static_cast<double>(value & 0xFF)};
}

std::string Hex(const Rgb& c) {
  char text[8];
  const auto clamp = [](double v) {
    return static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0)));
  };
  std::snprintf(text, sizeof text, "#%02X%02X%02X", clamp(c.r), clamp(c.g), clamp(c.b));
  return text;
}

// Luminance modulation and offset, done in HSL as DrawingML defines them.
Rgb ChangeLuminance(const Rgb& c, double mod, double off) {
  const double r = c.r / 255, g = c.g / 255, b = c.b / 255;
  const double hi = std::max({r, g, b}), lo = std::min({r, g, b});
  double h = 0, s = 0, l = (hi + lo) / 2;
  if (hi > lo) {
    const double d = hi - lo;
    s = l > 0.5 ? d / (2 - hi - lo) : d / (hi + lo);
    if (hi == r) {
      h = (g - b) / d + (g < b ? 6 : 0);
    } else if (hi == g) {
      h = (b - r) / d + 2;
    } else {
      h = (r - g) / d + 4;
    }
    h /= 6;
  }
  l = std::clamp(l * mod + off, 0.0, 1.0);
  if (s == 0) return Rgb{l * 255, l * 255, l * 255};
  const double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
  const double p = 2 * l - q;
  const auto channel = [&](double t) {
    if (t < 0) t += 1;
    if (t > 1) t -= 1;
    if (t < 1.0 / 6) return p + (q - p) * 6 * t;
    if (t < 0.5) return q;
    if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
    return p;
  };
  return Rgb{channel(h + 1.0 / 3) * 255, channel(h) * 255, channel(h - 1.0 / 3) * 255};
}

class Palette {
 public:
  explicit Palette(pugi::xml_node scheme) : scheme_(scheme) {}

  // The colour a DrawingML colour element names, its modifiers applied.
  std::optional<Rgb> Color(pugi::xml_node color) const {
    std::optional<Rgb> base;
    if (Is(color, "a:srgbClr")) {
      base = ParseHex(Val(color));
    } else if (Is(color, "a:sysClr")) {
      base = ParseHex(color.attribute("lastClr").value());
      if (!base) base = Val(color) == std::string_view("window") ? Rgb{255, 255, 255} : Rgb{};
    } else if (Is(color, "a:schemeClr")) {
      base = Scheme(Val(color));
    } else if (Is(color, "a:prstClr")) {
      base = Val(color) == std::string_view("white") ? Rgb{255, 255, 255} : Rgb{};
    }
    if (!base) return std::nullopt;
    double mod = 1, off = 0;
    bool luminance = false;
    for (pugi::xml_node change : color.children()) {
      const double f = Fraction(Val(change));
      if (Is(change, "a:lumMod")) {
        mod = f;
        luminance = true;
      } else if (Is(change, "a:lumOff")) {
        off = f;
        luminance = true;
      } else if (Is(change, "a:shade")) {
        base = Rgb{base->r * f, base->g * f, base->b * f};
      } else if (Is(change, "a:tint")) {
        base = Rgb{255 - (255 - base->r) * f, 255 - (255 - base->g) * f, 255 - (255 - base->b) * f};
      }
    }
    if (luminance) base = ChangeLuminance(*base, mod, off);
    return base;
  }

  // The colour of a fill or line element's solid fill; nullopt without one.
  std::optional<Rgb> Solid(pugi::xml_node parent) const {
    pugi::xml_node solid = parent.child("a:solidFill");
    if (!solid) return std::nullopt;
    for (pugi::xml_node color : solid.children()) {
      if (std::optional<Rgb> c = Color(color)) return c;
    }
    return std::nullopt;
  }

  // The default colour of the n-th series or point: the six accents in turn,
  // darker or lighter on later rounds, as the default chart style does.
  Rgb Accent(size_t n) const {
    static constexpr const char* kAccents[] = {"accent1", "accent2", "accent3",
                                               "accent4", "accent5", "accent6"};
    const Rgb base = Scheme(kAccents[n % 6]).value_or(Rgb{68, 114, 196});
    const size_t round = n / 6;
    if (round == 0) return base;
    return round % 2 == 1 ? ChangeLuminance(base, 0.6, 0) : ChangeLuminance(base, 0.6, 0.4);
  }

 private:
  std::optional<Rgb> Scheme(std::string_view name) const {
    if (name == "tx1") name = "dk1";
    if (name == "bg1") name = "lt1";
    if (name == "tx2") name = "dk2";
    if (name == "bg2") name = "lt2";
    if (scheme_) {
      pugi::xml_node slot = scheme_.child(("a:" + std::string(name)).c_str());
      for (pugi::xml_node color : slot.children()) {
        if (Is(color, "a:srgbClr")) return ParseHex(Val(color));
        if (Is(color, "a:sysClr")) return ParseHex(color.attribute("lastClr").value());
      }
    }
    static constexpr std::pair<std::string_view, std::string_view> kOffice[] = {
        {"dk1", "000000"},     {"lt1", "FFFFFF"},     {"dk2", "44546A"},
        {"lt2", "E7E6E6"},     {"accent1", "4472C4"}, {"accent2", "ED7D31"},
        {"accent3", "A5A5A5"}, {"accent4", "FFC000"}, {"accent5", "5B9BD5"},
        {"accent6", "70AD47"}, {"hlink", "0563C1"},   {"folHlink", "954F72"}};
    for (const auto& [key, hex] : kOffice) {
      if (key == name) return ParseHex(hex);
    }
    return std::nullopt;
  }

  pugi::xml_node scheme_;
};

// --- Numbers -----------------------------------------------------------------------------

std::string Trimmed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  std::string out = text;
  if (out == "-0") out = "0";
  return out;
}

// A coordinate: at most two decimals, no trailing zeros.
std::string NumberText(double v) {
  if (!std::isfinite(v)) v = 0;
  std::string out = Trimmed(std::round(v * 100) / 100, 2);
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
  if (out == "-0") out = "0";
  return out;
}

// A value as an Excel number format shows it: General, fixed decimals,
// thousands separators, percent, and literal text around the digits
// ("$#,##0.00", "0.0%", "#,##0\" kg\""). Other formats fall back to General.
std::string FormatNumber(double value, std::string_view code) {
  code = code.substr(0, code.find(';'));  // the positive section
  if (code.empty() || code == "General" || code == "general" ||
      code.find_first_of("0#") == std::string_view::npos) {
    if (std::fabs(value) >= 1e11 || (value != 0 && std::fabs(value) < 1e-5)) {
      char text[32];
      std::snprintf(text, sizeof text, "%.5G", value);
      return text;
    }
    // General keeps at most about ten significant digits.
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
  }
  std::string prefix, suffix;
  bool digits = false, after_digits = false, thousands = false, percent = false;
  int decimals = 0;
  bool in_decimals = false;
  for (size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    std::string* literal = digits ? &suffix : &prefix;
    if (c == '"') {
      const size_t end = code.find('"', i + 1);
      literal->append(code.substr(i + 1, end == std::string_view::npos ? end : end - i - 1));
      if (end == std::string_view::npos) break;
      i = end;
    } else if (c == '\\' && i + 1 < code.size()) {
      *literal += code[++i];
    } else if (c == '[') {  // [Red], [$€-407]: a currency symbol is kept
      const size_t end = code.find(']', i);
      if (end == std::string_view::npos) break;
      std::string_view inside = code.substr(i + 1, end - i - 1);
      if (inside.starts_with("$")) literal->append(inside.substr(1, inside.find('-') - 1));
      i = end;
    } else if (c == '0' || c == '#' || c == '?') {
      if (after_digits) continue;
      digits = true;
      if (in_decimals) ++decimals;
    } else if (c == '.' && digits && !after_digits) {
      in_decimals = true;
    } else if (c == ',' && digits && !in_decimals) {
      thousands = true;
    } else if (c == '%') {
      percent = true;
      if (digits) after_digits = true;
      *literal += '%';
    } else if (c == '_' || c == '*') {
      ++i;  // padding: the next character only sets a width
    } else {
      if (digits) after_digits = true;
      *literal += c;
    }
  }
  if (percent) value *= 100;
  std::string number = Trimmed(std::fabs(value), decimals);
  if (thousands) {
    const size_t point = number.find('.');
    size_t end = point == std::string::npos ? number.size() : point;
    while (end > 3) {
      end -= 3;
      number.insert(end, 1, ',');
    }
  }
  const bool negative = value < 0 && number.find_first_not_of("0.,") != std::string::npos;
  return (negative ? "-" : "") + prefix + number + suffix;
}

// A rounded axis step: 1, 2 or 5 times a power of ten, about `range` / 5.
double NiceStep(double range) {
  if (!(range > 0) || !std::isfinite(range)) return 1;
  const double rough = range / 5;
  const double power = std::pow(10, std::floor(std::log10(rough)));
  const double ratio = rough / power;
  return (ratio <= 1 ? 1 : ratio <= 2 ? 2 : ratio <= 5 ? 5 : 10) * power;
}

// --- The chart model ---------------------------------------------------------------------

struct Series {
  std::string name;
  std::vector<std::string> categories;
  std::vector<std::optional<double>> values;  // y
  std::vector<std::optional<double>> x;       // scatter only
  std::string format;                         // the values' number format
  Rgb color;
  std::optional<Rgb> line;  // line charts and scatter: the line's own colour
  bool no_line = false;
  bool markers = true;
  bool labels = false;
  std::vector<std::pair<size_t, Rgb>> point_colors;  // c:dPt fills
};

enum class Kind { kBar, kLine, kArea, kPie, kDoughnut, kScatter };

struct Group {
  Kind kind = Kind::kBar;
  bool horizontal = false;             // bar charts with c:barDir "bar"
  std::string grouping = "clustered";  // standard, stacked, percentStacked
  double gap_width = 150;
  double overlap = 0;
  double hole = 50;          // doughnut, percent of the radius
  double first_angle = 0;    // pie, degrees
  bool vary_colors = false;  // pie and doughnut: one colour per point
  std::vector<Series> series;
};

// The text of a c:tx / rich text: every a:t in order.
std::string RichText(pugi::xml_node tx) {
  std::string text;
  for (pugi::xml_node p : tx.child("c:rich").children("a:p")) {
    if (!text.empty()) text += ' ';
    for (pugi::xml_node run : p.children()) {
      if (Is(run, "a:r") || Is(run, "a:fld")) text += run.child("a:t").child_value();
    }
  }
  if (text.empty()) {
    for (pugi::xml_node pt : tx.child("c:strRef").child("c:strCache").children("c:pt")) {
      text += pt.child("c:v").child_value();
    }
  }
  if (text.empty()) text = tx.child("c:v").child_value();
  return text;
}

// The points of a cache (numCache, strCache, numLit, strLit) by index.
template <typename Visit>
size_t Points(pugi::xml_node cache, const Visit& visit) {
  const size_t count = std::min<size_t>(
      static_cast<size_t>(std::max(0, cache.child("c:ptCount").attribute("val").as_int())),
      kMaxPoints);
  for (pugi::xml_node pt : cache.children("c:pt")) {
    const long long idx = pt.attribute("idx").as_llong(-1);
    if (idx >= 0 && static_cast<size_t>(idx) < count)
      visit(static_cast<size_t>(idx), pt.child("c:v").child_value());
  }
  return count;
}

pugi::xml_node Cache(pugi::xml_node data) {
  for (const char* path : {"c:numRef", "c:strRef", "c:multiLvlStrRef"}) {
    pugi::xml_node ref = data.child(path);
    if (!ref) continue;
    if (pugi::xml_node cache = ref.child("c:numCache")) return cache;
    if (pugi::xml_node cache = ref.child("c:strCache")) return cache;
    if (pugi::xml_node cache = ref.child("c:multiLvlStrCache")) return cache.child("c:lvl");
  }
  if (pugi::xml_node lit = data.child("c:numLit")) return lit;
  return data.child("c:strLit");
}

std::vector<std::optional<double>> Numbers(pugi::xml_node data, std::string* format) {
  pugi::xml_node cache = Cache(data);
  if (format != nullptr && format->empty()) *format = cache.child("c:formatCode").child_value();
  std::vector<std::optional<double>> values;
  values.resize(Points(cache, [&](size_t, const char*) {}));
  Points(cache, [&](size_t idx, const char* text) {
    char* end = nullptr;
    const double number = std::strtod(text, &end);
    if (end != text && std::isfinite(number)) values[idx] = number;
  });
  return values;
}

std::vector<std::string> Labels(pugi::xml_node data) {
  pugi::xml_node cache = Cache(data);
  const std::string format = cache.child("c:formatCode").child_value();
  std::vector<std::string> labels;
  labels.resize(Points(cache, [&](size_t, const char*) {}));
  const bool numeric = Is(cache, "c:numCache") || Is(cache, "c:numLit");
  Points(cache, [&](size_t idx, const char* text) {
    char* end = nullptr;
    const double number = std::strtod(text, &end);
    labels[idx] = numeric && end != text ? FormatNumber(number, format) : std::string(text);
  });
  return labels;
}

bool LabelsShown(pugi::xml_node labels, const char* what) {
  return labels && Flag(labels, what).value_or(false) && !Flag(labels, "c:delete").value_or(false);
}

std::optional<Group> ReadGroup(pugi::xml_node node, const Palette& palette) {
  Group group;
  const std::string_view name = node.name();
  if (name == "c:barChart" || name == "c:bar3DChart") {
    group.kind = Kind::kBar;
    group.horizontal = Val(node.child("c:barDir")) == std::string_view("bar");
    if (pugi::xml_node gap = node.child("c:gapWidth"))
      group.gap_width = gap.attribute("val").as_double(150);
    if (pugi::xml_node overlap = node.child("c:overlap"))
      group.overlap = overlap.attribute("val").as_double(0);
  } else if (name == "c:lineChart" || name == "c:line3DChart") {
    group.kind = Kind::kLine;
  } else if (name == "c:areaChart" || name == "c:area3DChart") {
    group.kind = Kind::kArea;
    group.grouping = "standard";
  } else if (name == "c:pieChart" || name == "c:pie3DChart") {
    group.kind = Kind::kPie;
  } else if (name == "c:doughnutChart") {
    group.kind = Kind::kDoughnut;
    if (pugi::xml_node hole = node.child("c:holeSize")) {
      group.hole = std::clamp(hole.attribute("val").as_double(50), 10.0, 90.0);
    }
  } else if (name == "c:scatterChart") {
    group.kind = Kind::kScatter;
  } else {
    return std::nullopt;
  }
  if (pugi::xml_node grouping = node.child("c:grouping")) group.grouping = Val(grouping);
  if (pugi::xml_node angle = node.child("c:firstSliceAng")) {
    group.first_angle = angle.attribute("val").as_double(0);
  }
  const bool pie = group.kind == Kind::kPie || group.kind == Kind::kDoughnut;
  group.vary_colors = Flag(node, "c:varyColors").value_or(pie) && pie;
  const bool group_labels = LabelsShown(node.child("c:dLbls"), "c:showVal") ||
                            LabelsShown(node.child("c:dLbls"), "c:showPercent");
  const bool line_markers = Flag(node, "c:marker").value_or(true);
  const std::string_view scatter_style = Val(node.child("c:scatterStyle"));
  for (pugi::xml_node ser : node.children("c:ser")) {
    if (group.series.size() >= kMaxSeries) break;
    Series series;
    series.name = RichText(ser.child("c:tx"));
    const size_t index = group.series.size();
    const size_t color_index = static_cast<size_t>(
        std::max(0, ser.child("c:idx").attribute("val").as_int(static_cast<int>(index))));
    if (series.name.empty()) series.name = "Series " + std::to_string(index + 1);
    pugi::xml_node shape = ser.child("c:spPr");
    const Rgb accent = palette.Accent(color_index);
    series.color = palette.Solid(shape).value_or(accent);
    series.line = palette.Solid(shape.child("a:ln"));
    series.no_line = static_cast<bool>(shape.child("a:ln").child("a:noFill"));
    if (group.kind == Kind::kLine || group.kind == Kind::kScatter) {
      // A line series' colour is its line's.
      series.color = series.line.value_or(palette.Solid(shape).value_or(accent));
      const std::string_view symbol = Val(ser.child("c:marker").child("c:symbol"));
      series.markers = group.kind == Kind::kLine ? line_markers && symbol != "none"
                                                 : symbol != "none" && scatter_style != "line" &&
                                                       scatter_style != "smooth";
      if (scatter_style == "marker" && !shape.child("a:ln")) series.no_line = true;
    }
    series.labels = group_labels;
    if (pugi::xml_node labels = ser.child("c:dLbls")) {
      series.labels = LabelsShown(labels, "c:showVal") || LabelsShown(labels, "c:showPercent");
    }
    if (group.kind == Kind::kScatter) {
      series.x = Numbers(ser.child("c:xVal"), nullptr);
      series.values = Numbers(ser.child("c:yVal"), &series.format);
      if (series.x.empty() || std::none_of(series.x.begin(), series.x.end(),
                                           [](const auto& v) { return v.has_value(); })) {
        series.x.clear();
        for (size_t i = 0; i < series.values.size(); ++i)
          series.x.emplace_back(static_cast<double>(i + 1));
      }
    } else {
      series.categories = Labels(ser.child("c:cat"));
      series.values = Numbers(ser.child("c:val"), &series.format);
    }
    for (pugi::xml_node point : ser.children("c:dPt")) {
      const long long idx = point.child("c:idx").attribute("val").as_llong(-1);
      if (idx < 0) continue;
      if (std::optional<Rgb> fill = palette.Solid(point.child("c:spPr"))) {
        series.point_colors.emplace_back(static_cast<size_t>(idx), *fill);
      }
    }
    group.series.push_back(std::move(series));
  }
  if (group.series.empty()) return std::nullopt;
  return group;
}

// --- Drawing -------------------------------------------------------------------------------

struct Box {
  double x = 0, y = 0, w = 0, h = 0;
};

class Svg {
 public:
  Svg(double width, double height, std::string font) : font_(std::move(font)) {
    out_ =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
        "width=\"";
    Number(width);
    out_ += "pt\" height=\"";
    Number(height);
    out_ += "pt\" viewBox=\"0 0 ";
    Number(width);
    out_ += ' ';
    Number(height);
    out_ += "\" font-family=\"";
    AppendEscapedText(out_, font_);
    out_ += ", Arial, sans-serif\">\n<rect width=\"100%\" height=\"100%\" fill=\"#FFFFFF\"/>\n";
  }

  void Number(double v) { out_ += NumberText(v); }

  void Rect(const char* cls, double x, double y, double w, double h, const std::string& fill) {
    out_ += "<rect";
    Class(cls);
    Attribute("x", x);
    Attribute("y", y);
    Attribute("width", std::max(0.0, w));
    Attribute("height", std::max(0.0, h));
    out_ += " fill=\"" + fill + "\"/>\n";
  }

  void Line(double x1, double y1, double x2, double y2, const std::string& stroke, double width) {
    out_ += "<line";
    Attribute("x1", x1);
    Attribute("y1", y1);
    Attribute("x2", x2);
    Attribute("y2", y2);
    out_ += " stroke=\"" + stroke + '"';
    Attribute("stroke-width", width);
    out_ += "/>\n";
  }

  void Poly(const char* element, const char* cls,
            const std::vector<std::pair<double, double>>& points, const std::string& fill,
            const std::string& stroke, double width) {
    out_ += '<';
    out_ += element;
    Class(cls);
    out_ += " points=\"";
    for (const auto& [x, y] : points) {
      Number(x);
      out_ += ',';
      Number(y);
      out_ += ' ';
    }
    if (!points.empty()) out_.pop_back();
    out_ += "\" fill=\"" + fill + "\" stroke=\"" + stroke + "\" stroke-width=\"";
    Number(width);
    out_ += "\" stroke-linejoin=\"round\"/>\n";
  }

  void Circle(const char* cls, double x, double y, double r, const std::string& fill) {
    out_ += "<circle";
    Class(cls);
    Attribute("cx", x);
    Attribute("cy", y);
    Attribute("r", r);
    out_ += " fill=\"" + fill + "\"/>\n";
  }

  // A drawn shape: its outline `d`, filled (fill "none" for none, with
  // `opacity` below 1 when see-through) and stroked when `stroke` names a
  // colour.
  void Shape(const std::string& d, const std::string& fill, double opacity,
             const std::string& stroke, double stroke_width) {
    out_ += "<path class=\"shape\" d=\"" + d + "\" fill=\"" + fill + '"';
    if (opacity < 1) Attribute("fill-opacity", opacity);
    if (stroke.empty()) {
      out_ += "/>\n";
      return;
    }
    out_ += " stroke=\"" + stroke + '"';
    Attribute("stroke-width", stroke_width);
    out_ += " stroke-linejoin=\"round\"/>\n";
  }

  void Path(const char* cls, const std::string& d, const std::string& fill) {
    out_ += "<path";
    Class(cls);
    out_ += " d=\"" + d + "\" fill=\"" + fill + "\" stroke=\"#FFFFFF\" stroke-width=\".75\"/>\n";
  }

  // `anchor`: start, middle or end.
  void Text(double x, double y, std::string_view text, double size, const char* anchor,
            const std::string& color, bool bold = false) {
    out_ += "<text";
    Attribute("x", x);
    Attribute("y", y);
    Attribute("font-size", size);
    if (bold) out_ += " font-weight=\"bold\"";
    out_ += " text-anchor=\"";
    out_ += anchor;
    out_ += "\" fill=\"" + color + "\">";
    AppendEscapedText(out_, text);
    out_ += "</text>\n";
  }

  std::string Finish() {
    out_ += "</svg>\n";
    return std::move(out_);
  }

 private:
  void Attribute(const char* name, double value) {
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    Number(value);
    out_ += '"';
  }

  void Class(const char* cls) {
    if (cls == nullptr) return;
    out_ += " class=\"";
    out_ += cls;
    out_ += '"';
  }

  std::string out_;
  std::string font_;
};

// Text width estimate: the picture cannot measure its fonts.
double TextWidth(std::string_view text, double size) {
  double width = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[pos]);
    const size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    width += length >= 3 ? size : size * 0.55;
    pos += length;
  }
  return width;
}

const std::string kAxisColor = "#BFBFBF";
const std::string kGridColor = "#D9D9D9";
const std::string kTextColor = "#595959";

struct Axis {
  double min = 0, max = 1, step = 1;
  std::string format;
  bool deleted = false;
  bool gridlines = false;
};

// The value axis scale over `low` … `high`, the axis element's own scaling
// taking precedence. With `headroom` the automatic scale leaves a twentieth
// of the range beyond the values, as the word processor's does (a largest
// value of 5 gets an axis up to 6).
Axis ValueAxis(pugi::xml_node axis, double low, double high, std::string format,
               bool headroom = false) {
  Axis result;
  result.deleted = Flag(axis, "c:delete").value_or(false);
  result.gridlines = static_cast<bool>(axis.child("c:majorGridlines"));
  pugi::xml_node number_format = axis.child("c:numFmt");
  if (number_format && number_format.attribute("sourceLinked").as_int(0) == 0) {
    format = number_format.attribute("formatCode").value();
  }
  result.format = std::move(format);
  if (!(high >= low)) {
    low = 0;
    high = 1;
  }
  if (low > 0) low = 0;  // the automatic scale starts from zero
  if (high < 0) high = 0;
  if (high == low) high = low + 1;
  const double step = NiceStep(high - low);
  const double margin = headroom ? (high - low) / 20 : 0;
  result.min = std::floor((low < 0 ? low - margin : low) / step) * step;
  result.max = std::ceil((high > 0 ? high + margin : high) / step) * step;
  pugi::xml_node scaling = axis.child("c:scaling");
  if (pugi::xml_node max = scaling.child("c:max"))
    result.max = max.attribute("val").as_double(result.max);
  if (pugi::xml_node min = scaling.child("c:min"))
    result.min = min.attribute("val").as_double(result.min);
  if (pugi::xml_node unit = axis.child("c:majorUnit"))
    result.step = unit.attribute("val").as_double(step);
  else
    result.step = step;
  if (!(result.max > result.min)) result.max = result.min + 1;
  if (!(result.step > 0) || (result.max - result.min) / result.step > 100) {
    result.step = NiceStep(result.max - result.min);
  }
  return result;
}

pugi::xml_node FindAxis(pugi::xml_node plot, const char* kind, int nth) {
  int seen = 0;
  for (pugi::xml_node axis : plot.children(kind)) {
    if (seen++ == nth) return axis;
  }
  return {};
}

class ChartPainter {
 public:
  ChartPainter(const ChartStyle& style, double width, double height)
      : palette_(style.color_scheme),
        svg_(width, height, style.font_family),
        width_(width),
        height_(height) {}

  std::optional<std::string> Paint(pugi::xml_node chart_space) {
    pugi::xml_node chart = chart_space.child("c:chart");
    pugi::xml_node plot = chart.child("c:plotArea");
    std::vector<Group> groups;
    for (pugi::xml_node node : plot.children()) {
      const std::string_view name = node.name();
      if (!name.ends_with("Chart")) continue;
      std::optional<Group> group = ReadGroup(node, palette_);
      if (!group) return std::nullopt;  // a type not drawn here, or an empty one
      groups.push_back(std::move(*group));
    }
    if (groups.empty()) return std::nullopt;
    const bool round = groups.front().kind == Kind::kPie || groups.front().kind == Kind::kDoughnut;
    if (round && groups.size() > 1) return std::nullopt;

    // The chart area's own outline.
    if (std::optional<Rgb> outline = palette_.Solid(chart_space.child("c:spPr").child("a:ln"))) {
      const double inset = 0.5;
      svg_.Shape("M" + NumberText(inset) + ' ' + NumberText(inset) + " H" +
                     NumberText(width_ - inset) + " V" + NumberText(height_ - inset) + " H" +
                     NumberText(inset) + " Z",
                 "none", 1, Hex(*outline), 0.75);
    }
    Box area{6, 6, width_ - 12, height_ - 12};
    // Title: its own text, else the one series' name when the title is
    // automatic.
    if (pugi::xml_node title = chart.child("c:title");
        title && !Flag(chart, "c:autoTitleDeleted").value_or(false)) {
      std::string text = RichText(title.child("c:tx"));
      if (text.empty()) {
        text = groups.size() == 1 && groups.front().series.size() == 1
                   ? groups.front().series.front().name
                   : "Chart Title";
      }
      const double size = TitleSize(title);
      svg_.Text(width_ / 2, area.y + size, text, size, "middle", kTextColor);
      area.y += size * 1.6;
      area.h -= size * 1.6;
    } else if (!chart.child("c:title") && !Flag(chart, "c:autoTitleDeleted").value_or(true) &&
               round && groups.front().series.size() == 1) {
      const double size = 14;
      svg_.Text(width_ / 2, area.y + size, groups.front().series.front().name, size, "middle",
                kTextColor);
      area.y += size * 1.6;
      area.h -= size * 1.6;
    }
    if (pugi::xml_node legend = chart.child("c:legend")) Legend(legend, groups, round, area);
    if (area.w < 10 || area.h < 10) return svg_.Finish();
    if (round) {
      Round(groups.front(), area);
    } else {
      Cartesian(plot, groups, area);
    }
    return svg_.Finish();
  }

 private:
  static double TitleSize(pugi::xml_node title) {
    for (pugi::xml_node p : title.child("c:tx").child("c:rich").children("a:p")) {
      if (int size = p.child("a:pPr").child("a:defRPr").attribute("sz").as_int(0); size > 0)
        return std::clamp(size / 100.0, 6.0, 40.0);
      if (int size = p.child("a:r").child("a:rPr").attribute("sz").as_int(0); size > 0)
        return std::clamp(size / 100.0, 6.0, 40.0);
    }
    for (pugi::xml_node p : title.child("c:txPr").children("a:p")) {
      if (int size = p.child("a:pPr").child("a:defRPr").attribute("sz").as_int(0); size > 0)
        return std::clamp(size / 100.0, 6.0, 40.0);
    }
    return 14;
  }

  struct LegendEntry {
    std::string text;
    std::string color;
  };

  void Legend(pugi::xml_node legend, const std::vector<Group>& groups, bool round, Box& area) {
    std::vector<LegendEntry> entries;
    if (round) {
      const Group& group = groups.front();
      const Series& series = group.series.front();
      for (size_t i = 0; i < series.values.size(); ++i) {
        entries.push_back(
            {i < series.categories.size() ? series.categories[i] : std::to_string(i + 1),
             Hex(PointColor(group, series, i))});
      }
    } else {
      for (const Group& group : groups) {
        for (const Series& series : group.series)
          entries.push_back({series.name, Hex(series.color)});
      }
    }
    if (entries.empty()) return;
    const double size = 9;
    const std::string_view position = Val(legend.child("c:legendPos"));
    if (position == "b" || position == "t") {
      double total = 0;
      for (const LegendEntry& entry : entries) total += TextWidth(entry.text, size) + size * 2;
      double x = std::max(area.x, width_ / 2 - total / 2);
      const double y = position == "b" ? area.y + area.h - size * 0.6 : area.y + size;
      for (const LegendEntry& entry : entries) {
        svg_.Rect(nullptr, x, y - size * 0.8, size * 0.7, size * 0.7, entry.color);
        svg_.Text(x + size, y, entry.text, size, "start", kTextColor);
        x += TextWidth(entry.text, size) + size * 2;
      }
      if (position == "t") area.y += size * 2;
      area.h -= size * 2;
      return;
    }
    double widest = 0;
    for (const LegendEntry& entry : entries) widest = std::max(widest, TextWidth(entry.text, size));
    const double box = std::min(widest + size * 1.6, area.w / 3);
    const double x = position == "l" ? area.x : area.x + area.w - box;
    double y = area.y + area.h / 2 - entries.size() * size * 1.5 / 2 + size;
    for (const LegendEntry& entry : entries) {
      svg_.Rect(nullptr, x, y - size * 0.8, size * 0.7, size * 0.7, entry.color);
      svg_.Text(x + size, y, entry.text, size, "start", kTextColor);
      y += size * 1.5;
    }
    if (position == "l") area.x += box + size;
    area.w -= box + size;
  }

  Rgb PointColor(const Group& group, const Series& series, size_t i) const {
    for (const auto& [idx, color] : series.point_colors) {
      if (idx == i) return color;
    }
    return group.vary_colors ? palette_.Accent(i) : series.color;
  }

  void Round(const Group& group, const Box& area) {
    const Series& series = group.series.front();
    double total = 0;
    for (const auto& v : series.values) {
      if (v && *v > 0) total += *v;
    }
    const double radius = std::max(1.0, std::min(area.w, area.h) / 2 - 4);
    const double cx = area.x + area.w / 2, cy = area.y + area.h / 2;
    const double inner = group.kind == Kind::kDoughnut ? radius * group.hole / 100 : 0;
    if (total <= 0) return;
    double angle = group.first_angle;
    const auto at = [&](double degrees, double r) {
      const double radians = (degrees - 90) * kPi / 180;
      return std::pair<double, double>{cx + r * std::cos(radians), cy + r * std::sin(radians)};
    };
    const auto text = [](double v) { return NumberText(v); };
    for (size_t i = 0; i < series.values.size(); ++i) {
      const double value = series.values[i].value_or(0);
      if (value <= 0) continue;
      const double sweep = value / total * 360;
      const std::string fill = Hex(PointColor(group, series, i));
      std::string d;
      if (sweep >= 359.99) {
        // A full circle is two arcs.
        const auto [x0, y0] = at(0, radius);
        const auto [x1, y1] = at(180, radius);
        d = "M" + text(x0) + "," + text(y0) + "A" + text(radius) + "," + text(radius) + " 0 1 1 " +
            text(x1) + "," + text(y1) + "A" + text(radius) + "," + text(radius) + " 0 1 1 " +
            text(x0) + "," + text(y0) + "Z";
        if (inner > 0) {
          const auto [u0, v0] = at(0, inner);
          const auto [u1, v1] = at(180, inner);
          d += "M" + text(u0) + "," + text(v0) + "A" + text(inner) + "," + text(inner) + " 0 1 0 " +
               text(u1) + "," + text(v1) + "A" + text(inner) + "," + text(inner) + " 0 1 0 " +
               text(u0) + "," + text(v0) + "Z";
        }
      } else {
        const auto [x0, y0] = at(angle, radius);
        const auto [x1, y1] = at(angle + sweep, radius);
        const char* large = sweep > 180 ? "1" : "0";
        if (inner > 0) {
          const auto [u0, v0] = at(angle, inner);
          const auto [u1, v1] = at(angle + sweep, inner);
          d = "M" + text(x0) + "," + text(y0) + "A" + text(radius) + "," + text(radius) + " 0 " +
              large + " 1 " + text(x1) + "," + text(y1) + "L" + text(u1) + "," + text(v1) + "A" +
              text(inner) + "," + text(inner) + " 0 " + large + " 0 " + text(u0) + "," + text(v0) +
              "Z";
        } else {
          d = "M" + text(cx) + "," + text(cy) + "L" + text(x0) + "," + text(y0) + "A" +
              text(radius) + "," + text(radius) + " 0 " + large + " 1 " + text(x1) + "," +
              text(y1) + "Z";
        }
      }
      svg_.Path("slice", d, fill);
      if (series.labels) {
        const auto [lx, ly] =
            at(angle + sweep / 2, inner > 0 ? (radius + inner) / 2 : radius * 0.65);
        svg_.Text(lx, ly + 3, FormatNumber(value, series.format), 9, "middle", "#FFFFFF");
      }
      angle += sweep;
    }
  }

  void Cartesian(pugi::xml_node plot, const std::vector<Group>& groups, Box area) {
    const bool horizontal = groups.front().kind == Kind::kBar && groups.front().horizontal;
    const bool scatter = groups.front().kind == Kind::kScatter;
    // The value range over every group, stacked where the group stacks.
    double low = 0, high = 0, x_low = 0, x_high = 0;
    bool any = false, any_x = false;
    size_t categories = 0;
    std::vector<std::string> category_labels;
    std::string format;
    for (const Group& group : groups) {
      const bool stacked = group.grouping == "stacked" || group.grouping == "percentStacked";
      const bool percent = group.grouping == "percentStacked";
      size_t count = 0;
      for (const Series& series : group.series) {
        count = std::max(count, series.values.size());
        if (format.empty()) format = series.format;
        if (category_labels.size() < series.categories.size()) category_labels = series.categories;
        for (size_t i = 0; i < series.x.size(); ++i) {
          if (!series.x[i]) continue;
          x_low = any_x ? std::min(x_low, *series.x[i]) : *series.x[i];
          x_high = any_x ? std::max(x_high, *series.x[i]) : *series.x[i];
          any_x = true;
        }
      }
      categories = std::max(categories, count);
      for (size_t i = 0; i < count; ++i) {
        double positive = 0, negative = 0;
        for (const Series& series : group.series) {
          if (i >= series.values.size() || !series.values[i]) continue;
          const double v = *series.values[i];
          if (stacked) {
            (v >= 0 ? positive : negative) += v;
          } else {
            positive = std::max(positive, v);
            negative = std::min(negative, v);
            if (!any) positive = negative = v;
          }
          any = true;
        }
        if (percent) {
          const double sum = positive - negative;
          if (sum > 0) {
            positive = positive / sum;
            negative = negative / sum;
          }
        }
        low = std::min(low, negative);
        high = std::max(high, positive);
      }
    }
    if (!any) return;
    const bool percent = groups.front().grouping == "percentStacked";
    if (percent) format = "0%";
    const Axis values =
        ValueAxis(FindAxis(plot, "c:valAx", scatter ? 1 : 0), low, high, format, !percent);
    Axis xs;
    if (scatter) xs = ValueAxis(FindAxis(plot, "c:valAx", 0), x_low, x_high, "General");
    pugi::xml_node category_axis = plot.child("c:catAx");
    if (!category_axis) category_axis = plot.child("c:dateAx");
    const bool categories_deleted = Flag(category_axis, "c:delete").value_or(false);

    // Room for the axis labels.
    const double size = 9;
    double value_label_width = 0;
    if (!values.deleted) {
      for (double v = values.min; v <= values.max + values.step / 2; v += values.step) {
        value_label_width =
            std::max(value_label_width, TextWidth(FormatNumber(v, values.format), size));
      }
    }
    double category_label_width = 0;
    for (const std::string& label : category_labels) {
      category_label_width = std::max(category_label_width, TextWidth(label, size));
    }
    if (horizontal) {
      const double left = categories_deleted ? 4 : std::min(category_label_width, area.w / 3) + 6;
      area.x += left;
      area.w -= left + 6;
      area.h -= values.deleted ? 4 : size * 1.8;
    } else {
      const double left = value_label_width + 6;
      area.x += left;
      area.w -= left + 6;
      area.h -= (scatter ? xs.deleted : categories_deleted) ? 4 : size * 1.8;
    }
    area.y += 4;
    area.h -= 4;
    if (area.w < 4 || area.h < 4) return;

    // Value scale along the value direction.
    const auto value_pos = [&](double v) {
      const double t = (v - values.min) / (values.max - values.min);
      return horizontal ? area.x + t * area.w : area.y + area.h - t * area.h;
    };
    const auto x_pos = [&](double v) { return area.x + (v - xs.min) / (xs.max - xs.min) * area.w; };
    // Gridlines and value labels.
    for (double v = values.min; v <= values.max + values.step / 2; v += values.step) {
      const double p = value_pos(v);
      if (values.gridlines) {
        if (horizontal) {
          svg_.Line(p, area.y, p, area.y + area.h, kGridColor, .75);
        } else {
          svg_.Line(area.x, p, area.x + area.w, p, kGridColor, .75);
        }
      }
      if (values.deleted) continue;
      if (horizontal) {
        svg_.Text(p, area.y + area.h + size * 1.3, FormatNumber(v, values.format), size, "middle",
                  kTextColor);
      } else {
        svg_.Text(area.x - 4, p + size * 0.35, FormatNumber(v, values.format), size, "end",
                  kTextColor);
      }
    }
    if (scatter) {
      for (double v = xs.min; v <= xs.max + xs.step / 2; v += xs.step) {
        if (xs.gridlines) svg_.Line(x_pos(v), area.y, x_pos(v), area.y + area.h, kGridColor, .75);
        if (!xs.deleted) {
          svg_.Text(x_pos(v), area.y + area.h + size * 1.3, FormatNumber(v, xs.format), size,
                    "middle", kTextColor);
        }
      }
    }
    // The category axis line, at zero.
    const double zero = value_pos(std::clamp(0.0, values.min, values.max));
    if (horizontal) {
      svg_.Line(zero, area.y, zero, area.y + area.h, kAxisColor, .75);
    } else {
      svg_.Line(area.x, zero, area.x + area.w, zero, kAxisColor, .75);
    }
    const size_t slots = std::max<size_t>(categories, 1);
    const double slot = (horizontal ? area.h : area.w) / static_cast<double>(slots);
    // Category n's slot: left to right, or for bars bottom to top.
    const auto slot_start = [&](size_t i) {
      return horizontal ? area.y + area.h - static_cast<double>(i + 1) * slot
                        : area.x + static_cast<double>(i) * slot;
    };
    if (!scatter && !categories_deleted) {
      const size_t every = std::max<size_t>(
          1, static_cast<size_t>(std::ceil((category_label_width + 4) / std::max(slot, 1.0))));
      for (size_t i = 0; i < category_labels.size() && i < slots; i += horizontal ? 1 : every) {
        if (horizontal) {
          svg_.Text(area.x - 4, slot_start(i) + slot / 2 + size * 0.35, category_labels[i], size,
                    "end", kTextColor);
        } else {
          svg_.Text(slot_start(i) + slot / 2, area.y + area.h + size * 1.3, category_labels[i],
                    size, "middle", kTextColor);
        }
      }
    }

    for (const Group& group : groups) {
      const bool stacked = group.grouping == "stacked" || group.grouping == "percentStacked";
      const bool group_percent = group.grouping == "percentStacked";
      std::vector<double> sums(slots, 0.0), positive(slots, 0.0), negative(slots, 0.0);
      if (group_percent) {
        for (const Series& series : group.series) {
          for (size_t i = 0; i < series.values.size() && i < slots; ++i) {
            if (series.values[i]) sums[i] += std::fabs(*series.values[i]);
          }
        }
      }
      const auto scaled = [&](size_t i, double v) {
        return group_percent && sums[i] > 0 ? v / sums[i] : v;
      };
      if (group.kind == Kind::kBar) {
        // A slot holds the bars, overlapping by `overlap` of a bar's width,
        // and a gap of `gap_width` of a bar's width.
        const double n = stacked ? 1.0 : static_cast<double>(group.series.size());
        const double overlap = std::clamp(group.overlap / 100, -1.0, 1.0);
        const double gap = std::clamp(group.gap_width / 100, 0.0, 5.0);
        const double bar = slot / (n - (n - 1) * overlap + gap);
        const double body = bar * (n - (n - 1) * overlap);
        for (size_t s = 0; s < group.series.size(); ++s) {
          const Series& series = group.series[s];
          for (size_t i = 0; i < series.values.size() && i < slots; ++i) {
            if (!series.values[i]) continue;
            const double v = scaled(i, *series.values[i]);
            double from = 0, to = v;
            if (stacked) {
              double& base = v >= 0 ? positive[i] : negative[i];
              from = base;
              to = base + v;
              base = to;
            }
            const double offset = slot_start(i) + (slot - body) / 2 +
                                  (stacked ? 0 : bar * (1 - overlap) * static_cast<double>(s));
            const double a = value_pos(std::clamp(from, values.min, values.max));
            const double b = value_pos(std::clamp(to, values.min, values.max));
            const std::string fill = Hex(PointColor(group, series, i));
            if (horizontal) {
              svg_.Rect("bar", std::min(a, b), offset, std::fabs(b - a), bar, fill);
            } else {
              svg_.Rect("bar", offset, std::min(a, b), bar, std::fabs(b - a), fill);
            }
            if (series.labels) {
              const std::string label = FormatNumber(*series.values[i], series.format);
              if (horizontal) {
                svg_.Text(std::max(a, b) + 3, offset + bar / 2 + size * 0.35, label, size, "start",
                          kTextColor);
              } else {
                svg_.Text(offset + bar / 2, std::min(a, b) - 3, label, size, "middle", kTextColor);
              }
            }
          }
        }
      } else if (group.kind == Kind::kLine || group.kind == Kind::kArea) {
        std::vector<double> base(slots, 0.0);
        for (const Series& series : group.series) {
          std::vector<std::pair<double, double>> points;
          std::vector<std::pair<double, double>> floor;
          for (size_t i = 0; i < series.values.size() && i < slots; ++i) {
            if (!series.values[i] && group.kind == Kind::kLine) continue;
            const double v = scaled(i, series.values[i].value_or(0));
            const double from = stacked ? base[i] : 0;
            const double to = from + v;
            if (stacked) base[i] = to;
            const double x = slot_start(i) + slot / 2;
            points.emplace_back(x, value_pos(std::clamp(to, values.min, values.max)));
            floor.emplace_back(x, value_pos(std::clamp(from, values.min, values.max)));
          }
          const std::string color = Hex(series.color);
          if (group.kind == Kind::kArea) {
            std::vector<std::pair<double, double>> outline = points;
            outline.insert(outline.end(), floor.rbegin(), floor.rend());
            svg_.Poly("polygon", "area", outline, color, "none", 0);
          } else {
            if (!series.no_line) svg_.Poly("polyline", "line", points, "none", color, 2.25);
            if (series.markers) {
              for (const auto& [x, y] : points) svg_.Circle("marker", x, y, 2.5, color);
            }
          }
          if (series.labels) {
            size_t k = 0;
            for (size_t i = 0; i < series.values.size() && i < slots && k < points.size(); ++i) {
              if (!series.values[i]) continue;
              svg_.Text(points[k].first, points[k].second - 5,
                        FormatNumber(*series.values[i], series.format), size, "middle", kTextColor);
              ++k;
            }
          }
        }
      } else if (group.kind == Kind::kScatter) {
        for (const Series& series : group.series) {
          std::vector<std::pair<double, double>> points;
          for (size_t i = 0; i < series.values.size() && i < series.x.size(); ++i) {
            if (!series.values[i] || !series.x[i]) continue;
            points.emplace_back(x_pos(std::clamp(*series.x[i], xs.min, xs.max)),
                                value_pos(std::clamp(*series.values[i], values.min, values.max)));
          }
          const std::string color = Hex(series.color);
          if (!series.no_line) svg_.Poly("polyline", "line", points, "none", color, 2.25);
          if (series.markers || series.no_line) {
            for (const auto& [x, y] : points) svg_.Circle("marker", x, y, 2.5, color);
          }
        }
      }
    }
  }

  Palette palette_;
  Svg svg_;
  double width_, height_;
};

// --- Diagrams ---------------------------------------------------------------------------

constexpr double kEmuPerPoint = 12700;
// Shapes and nesting beyond these are damage; a real diagram has dozens.
constexpr size_t kMaxDiagramShapes = 2000;
constexpr int kMaxDiagramNesting = 16;

double Emu(pugi::xml_node node, const char* name) {
  const double value = std::strtod(node.attribute(name).value(), nullptr);
  return std::isfinite(value) ? std::clamp(value, -1e12, 1e12) / kEmuPerPoint : 0;
}

// The stored drawing of a diagram (dsp:drawing): the shapes the word
// processor laid out, each with its preset outline, fill, line and text.
class DiagramPainter {
 public:
  DiagramPainter(const ChartStyle& style, double width, double height)
      : palette_(style.color_scheme), svg_(width, height, style.font_family) {}

  std::string Paint(pugi::xml_node drawing) {
    Members(drawing.child("dsp:spTree"), 0);
    return svg_.Finish();
  }

  size_t shapes() const { return shapes_; }

 private:
  void Members(pugi::xml_node tree, int nesting) {
    if (nesting > kMaxDiagramNesting) return;
    for (pugi::xml_node child : tree.children()) {
      if (shapes_ >= kMaxDiagramShapes) return;
      if (Is(child, "dsp:sp")) {
        ShapeAndText(child);
      } else if (Is(child, "dsp:grpSp")) {
        // The stored drawing places every member in the diagram's own
        // coordinates; groups only gather them.
        Members(child, nesting + 1);
      }
    }
  }

  // The colour and opacity of a fill or line: its own, else the one its
  // style reference names; nullopt for none.
  std::optional<std::pair<std::string, double>> Colour(pugi::xml_node own,
                                                       pugi::xml_node ref) const {
    if (own.child("a:noFill")) return std::nullopt;
    pugi::xml_node color_parent = own.child("a:solidFill");
    if (!color_parent) color_parent = own.child("a:gradFill").child("a:gsLst").child("a:gs");
    if (!color_parent && ref && ref.attribute("idx").as_int(0) > 0) color_parent = ref;
    for (pugi::xml_node color : color_parent.children()) {
      if (std::optional<Rgb> rgb = palette_.Color(color)) {
        pugi::xml_node alpha = color.child("a:alpha");
        const double opacity = alpha ? std::clamp(Fraction(Val(alpha)), 0.0, 1.0) : 1.0;
        return std::make_pair(Hex(*rgb), opacity);
      }
    }
    return std::nullopt;
  }

  static std::string Outline(std::string_view preset, double x, double y, double w, double h) {
    const auto n = [](double v) { return NumberText(v); };
    const auto move = [&](double px, double py) { return "M" + n(px) + ' ' + n(py); };
    const auto line = [&](double px, double py) { return " L" + n(px) + ' ' + n(py); };
    if (preset == "ellipse") {
      const double rx = w / 2, ry = h / 2;
      return move(x, y + ry) + " A" + n(rx) + ' ' + n(ry) + " 0 1 0 " + n(x + w) + ' ' + n(y + ry) +
             " A" + n(rx) + ' ' + n(ry) + " 0 1 0 " + n(x) + ' ' + n(y + ry) + " Z";
    }
    if (preset == "roundRect" || preset == "flowChartAlternateProcess") {
      const double r = std::min(w, h) * 0.1667;
      const std::string corner = " A" + n(r) + ' ' + n(r) + " 0 0 1 ";
      return move(x + r, y) + line(x + w - r, y) + corner + n(x + w) + ' ' + n(y + r) +
             line(x + w, y + h - r) + corner + n(x + w - r) + ' ' + n(y + h) + line(x + r, y + h) +
             corner + n(x) + ' ' + n(y + h - r) + line(x, y + r) + corner + n(x + r) + ' ' + n(y) +
             " Z";
    }
    if (preset == "triangle") {
      return move(x + w / 2, y) + line(x + w, y + h) + line(x, y + h) + " Z";
    }
    if (preset == "diamond") {
      return move(x + w / 2, y) + line(x + w, y + h / 2) + line(x + w / 2, y + h) +
             line(x, y + h / 2) + " Z";
    }
    if (preset == "homePlate" || preset == "chevron") {
      const double tip = std::min(w, h / 2);
      std::string d = move(x, y) + line(x + w - tip, y) + line(x + w, y + h / 2) +
                      line(x + w - tip, y + h) + line(x, y + h);
      if (preset == "chevron") d += line(x + tip, y + h / 2);
      return d + " Z";
    }
    if (preset == "rightArrow" || preset == "leftArrow") {
      const double head = std::min(w, h / 2), shaft = h / 4;
      std::string d = move(x, y + shaft) + line(x + w - head, y + shaft) + line(x + w - head, y) +
                      line(x + w, y + h / 2) + line(x + w - head, y + h) +
                      line(x + w - head, y + h - shaft) + line(x, y + h - shaft) + " Z";
      if (preset == "leftArrow") {
        d = move(x + w, y + shaft) + line(x + head, y + shaft) + line(x + head, y) +
            line(x, y + h / 2) + line(x + head, y + h) + line(x + head, y + h - shaft) +
            line(x + w, y + h - shaft) + " Z";
      }
      return d;
    }
    if (preset == "line" || preset == "straightConnector1") {
      return move(x, y) + line(x + w, y + h);
    }
    return move(x, y) + line(x + w, y) + line(x + w, y + h) + line(x, y + h) + " Z";
  }

  void ShapeAndText(pugi::xml_node sp) {
    ++shapes_;
    pugi::xml_node properties = sp.child("dsp:spPr");
    pugi::xml_node style = sp.child("dsp:style");
    pugi::xml_node xfrm = properties.child("a:xfrm");
    const double x = Emu(xfrm.child("a:off"), "x"), y = Emu(xfrm.child("a:off"), "y");
    const double w = Emu(xfrm.child("a:ext"), "cx"), h = Emu(xfrm.child("a:ext"), "cy");
    const std::string_view preset = properties.child("a:prstGeom").attribute("prst").value();
    const bool open_line = preset == "line" || preset == "straightConnector1";
    std::optional<std::pair<std::string, double>> fill;
    if (!open_line) fill = Colour(properties, style.child("a:fillRef"));
    pugi::xml_node ln = properties.child("a:ln");
    const auto stroke = Colour(ln, style.child("a:lnRef"));
    const double stroke_width = ln.attribute("w") ? Emu(ln, "w") : 0.75;
    if (properties.child("a:custGeom") && !fill && !stroke) return;
    if (fill || stroke) {
      svg_.Shape(Outline(preset, x, y, w, h), fill ? fill->first : "none", fill ? fill->second : 1,
                 stroke ? stroke->first : std::string(), stroke_width);
    }
    pugi::xml_node body = sp.child("dsp:txBody");
    if (!body) return;
    // The text's own box where the drawing keeps one.
    double tx = x, ty = y, tw = w, th = h;
    if (pugi::xml_node text_xfrm = sp.child("dsp:txXfrm")) {
      tx = Emu(text_xfrm.child("a:off"), "x");
      ty = Emu(text_xfrm.child("a:off"), "y");
      tw = Emu(text_xfrm.child("a:ext"), "cx");
      th = Emu(text_xfrm.child("a:ext"), "cy");
    }
    Text(body, style, tx, ty, tw, th);
  }

  struct TextLine {
    std::string text;
    double size = 18;
    std::string align;
    bool bold = false;
    std::string color;
  };

  void Text(pugi::xml_node body, pugi::xml_node style, double x, double y, double w, double h) {
    pugi::xml_node body_pr = body.child("a:bodyPr");
    const double left = body_pr.attribute("lIns") ? Emu(body_pr, "lIns") : 7.2;
    const double right = body_pr.attribute("rIns") ? Emu(body_pr, "rIns") : 7.2;
    const double top = body_pr.attribute("tIns") ? Emu(body_pr, "tIns") : 3.6;
    const double bottom = body_pr.attribute("bIns") ? Emu(body_pr, "bIns") : 3.6;
    x += left;
    w = std::max(1.0, w - left - right);
    y += top;
    h = std::max(1.0, h - top - bottom);
    std::string style_color;
    for (pugi::xml_node color : style.child("a:fontRef").children()) {
      if (std::optional<Rgb> rgb = palette_.Color(color)) style_color = Hex(*rgb);
    }
    std::vector<TextLine> lines;
    for (pugi::xml_node p : body.children("a:p")) {
      TextLine paragraph;
      const std::string_view algn = p.child("a:pPr").attribute("algn").value();
      paragraph.align = algn == "ctr" ? "middle" : algn == "r" ? "end" : "start";
      bool first = true;
      for (pugi::xml_node run : p.children()) {
        if (!Is(run, "a:r") && !Is(run, "a:fld")) continue;
        pugi::xml_node rpr = run.child("a:rPr");
        if (first) {
          if (const int size = rpr.attribute("sz").as_int(0); size > 0)
            paragraph.size = std::clamp(size / 100.0, 1.0, 400.0);
          paragraph.bold = rpr.attribute("b").as_bool(false);
          const auto color = Colour(rpr, {});
          paragraph.color = color ? color->first : style_color;
          first = false;
        }
        paragraph.text += run.child("a:t").child_value();
      }
      if (paragraph.color.empty()) paragraph.color = style_color.empty() ? "#000000" : style_color;
      Wrap(paragraph, w, lines);
    }
    if (lines.empty()) return;
    double height = 0;
    for (const TextLine& line : lines) height += line.size * 1.2;
    const std::string_view anchor = body_pr.attribute("anchor").value();
    double baseline = y;
    if (anchor == "ctr" || anchor.empty()) baseline += (h - height) / 2;
    if (anchor == "b") baseline += h - height;
    for (const TextLine& line : lines) {
      baseline += line.size * 1.2;
      const double at = line.align == "middle" ? x + w / 2 : line.align == "end" ? x + w : x;
      svg_.Text(at, baseline - line.size * 0.25, line.text, line.size, line.align.c_str(),
                line.color, line.bold);
    }
  }

  // A paragraph in lines no wider than `width`, broken at spaces.
  static void Wrap(const TextLine& paragraph, double width, std::vector<TextLine>& lines) {
    TextLine line = paragraph;
    line.text.clear();
    size_t pos = 0;
    const std::string& text = paragraph.text;
    while (pos <= text.size()) {
      size_t space = text.find(' ', pos);
      if (space == std::string::npos) space = text.size();
      const std::string word = text.substr(pos, space - pos);
      const std::string joined = line.text.empty() ? word : line.text + ' ' + word;
      if (!line.text.empty() && TextWidth(joined, line.size) > width) {
        lines.push_back(line);
        line.text = word;
      } else {
        line.text = joined;
      }
      pos = space + 1;
    }
    if (!line.text.empty()) lines.push_back(line);
  }

  Palette palette_;
  Svg svg_;
  size_t shapes_ = 0;
};

}  // namespace

std::string DrawingColorHex(pugi::xml_node parent, pugi::xml_node color_scheme) {
  const Palette palette(color_scheme);
  for (pugi::xml_node color : parent.children()) {
    if (std::optional<Rgb> rgb = palette.Color(color)) return Hex(*rgb);
  }
  return {};
}

std::optional<std::string> ChartSvg(pugi::xml_node chart_space, const ChartStyle& style,
                                    double width_pt, double height_pt) {
  if (!chart_space || !(width_pt > 0) || !(height_pt > 0)) return std::nullopt;
  width_pt = std::min(width_pt, 5000.0);
  height_pt = std::min(height_pt, 5000.0);
  ChartPainter painter(style, width_pt, height_pt);
  return painter.Paint(chart_space);
}

std::optional<std::string> DiagramSvg(pugi::xml_node drawing, const ChartStyle& style,
                                      double width_pt, double height_pt) {
  if (!drawing || !(width_pt > 0) || !(height_pt > 0)) return std::nullopt;
  DiagramPainter painter(style, std::min(width_pt, 5000.0), std::min(height_pt, 5000.0));
  std::string svg = painter.Paint(drawing);
  if (painter.shapes() == 0) return std::nullopt;
  return svg;
}

}  // namespace tessarine::convert
