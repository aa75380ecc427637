// A chart part (c:chartSpace) drawn as an SVG picture from the values the
// part keeps cached, the way the word processor shows the chart on the page:
// column and bar charts (clustered, stacked, percent), line charts with their
// markers, pie and doughnut charts, area charts and scatter charts, with the
// title, axes and their number formats, major gridlines, the legend, data
// labels and the series colours of the chart's own formatting or the theme.
//
// The drawn marks carry a class a reader of the picture can count: "bar"
// (one rect per drawn value of a bar or column series), "slice" (one path per
// pie or doughnut slice), "marker", "line", "area".
//
// Diagrams are drawn the same way from the drawing the package stores for
// them (DiagramSvg).
//
// Internal to the convert library.
#pragma once

#include <optional>
#include <pugixml.hpp>
#include <string>

namespace tessarine::convert {

struct ChartStyle {
  // The theme's a:clrScheme (a:dk1 … a:accent6); an empty handle gives
  // Office's default colours.
  pugi::xml_node color_scheme;
  std::string font_family = "Calibri";  // the theme's minor Latin font
};

// "#RRGGBB" of the DrawingML colour element under `parent` (a:srgbClr,
// a:schemeClr against `color_scheme`, a:sysClr, a:prstClr) with its
// modifiers (lumMod, lumOff, shade, tint) applied; empty without one.
std::string DrawingColorHex(pugi::xml_node parent, pugi::xml_node color_scheme);

// The SVG text of the chart in a box of `width_pt` by `height_pt`; nullopt
// when the plot area holds a chart type not drawn here (3-D surfaces, radar,
// stock, bubble ...) or no series at all.
std::optional<std::string> ChartSvg(pugi::xml_node chart_space, const ChartStyle& style,
                                    double width_pt, double height_pt);

// The SVG text of a diagram's stored drawing (dsp:drawing, the shapes the
// word processor laid out for it) in a box of `width_pt` by `height_pt`:
// each shape's outline (rectangles, rounded rectangles, ellipses, triangles,
// diamonds, arrows, chevrons; other outlines as their frame) with its fill
// and line, and its text. Every drawn shape carries the class "shape".
// nullopt for a drawing without shapes.
std::optional<std::string> DiagramSvg(pugi::xml_node drawing, const ChartStyle& style,
                                      double width_pt, double height_pt);

}  // namespace tessarine::convert
