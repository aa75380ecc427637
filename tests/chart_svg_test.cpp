// Charts drawn as SVG from their cached values: one mark per value of every
// chart type drawn, stacked and percent bars inside the plot, number formats
// on the axis and the labels, colours from the chart and the theme, and the
// chart types not drawn refused so that the page can fall back.
#include "convert/chart_svg.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace tessarine::convert {
namespace {

// A c:chartSpace around one chart-type element (already in canonical
// prefixes, as the package reader gives them).
pugi::xml_document Chart(const std::string& plot, const std::string& extra = "") {
  pugi::xml_document doc;
  const std::string xml = "<c:chartSpace><c:chart>" + extra + "<c:plotArea>" + plot +
                          "<c:catAx><c:axId val=\"1\"/></c:catAx>"
                          "<c:valAx><c:axId val=\"2\"/><c:majorGridlines/></c:valAx>"
                          "</c:plotArea><c:legend><c:legendPos val=\"r\"/></c:legend>"
                          "</c:chart></c:chartSpace>";
  EXPECT_TRUE(doc.load_string(xml.c_str()));
  return doc;
}

std::string Values(const std::string& element, const std::vector<std::string>& values,
                   const std::string& format = "General") {
  std::string xml = "<" + element + "><c:numRef><c:numCache><c:formatCode>" + format +
                    "</c:formatCode><c:ptCount val=\"" + std::to_string(values.size()) + "\"/>";
  for (size_t i = 0; i < values.size(); ++i) {
    if (values[i].empty()) continue;  // a gap in the data
    xml += "<c:pt idx=\"" + std::to_string(i) + "\"><c:v>" + values[i] + "</c:v></c:pt>";
  }
  return xml + "</c:numCache></c:numRef></" + element + ">";
}

std::string Series(int idx, const std::vector<std::string>& values, const std::string& extra = "",
                   const std::string& format = "General") {
  std::string xml = "<c:ser><c:idx val=\"" + std::to_string(idx) + "\"/><c:tx><c:v>S" +
                    std::to_string(idx) + "</c:v></c:tx>" + extra +
                    "<c:cat><c:strRef><c:strCache><c:ptCount val=\"" +
                    std::to_string(values.size()) + "\"/>";
  for (size_t i = 0; i < values.size(); ++i) {
    xml += "<c:pt idx=\"" + std::to_string(i) + "\"><c:v>Cat " + std::to_string(i + 1) +
           "</c:v></c:pt>";
  }
  return xml + "</c:strCache></c:strRef></c:cat>" + Values("c:val", values, format) + "</c:ser>";
}

size_t Marks(const std::string& svg, const std::string& cls) {
  size_t count = 0;
  for (size_t at = svg.find("class=\"" + cls + "\""); at != std::string::npos;
       at = svg.find("class=\"" + cls + "\"", at + 1))
    ++count;
  return count;
}

std::string Draw(const pugi::xml_document& doc, ChartStyle style = {}) {
  std::optional<std::string> svg = ChartSvg(doc.child("c:chartSpace"), style, 360, 216);
  EXPECT_TRUE(svg.has_value());
  return svg.value_or("");
}

TEST(ChartSvg, EveryCachedValueIsOneMark) {
  struct Case {
    const char* name;
    std::string plot;
    const char* mark;
    size_t expected;
  };
  const std::string two =
      Series(0, {"4.3", "2.5", "", "4.5"}) + Series(1, {"2.4", "-4.4", "1.8", "2.8"});
  const Case cases[] = {
      {"clustered columns", "<c:barChart><c:barDir val=\"col\"/>" + two + "</c:barChart>", "bar",
       7},
      {"stacked bars",
       "<c:barChart><c:barDir val=\"bar\"/><c:grouping val=\"stacked\"/><c:overlap val=\"100\"/>" +
           two + "</c:barChart>",
       "bar", 7},
      {"percent columns",
       "<c:bar3DChart><c:barDir val=\"col\"/><c:grouping val=\"percentStacked\"/>" + two +
           "</c:bar3DChart>",
       "bar", 7},
      {"line with markers", "<c:lineChart><c:grouping val=\"standard\"/>" + two + "</c:lineChart>",
       "marker", 7},
      {"line without markers", "<c:lineChart>" + two + "<c:marker val=\"0\"/></c:lineChart>",
       "marker", 0},
      {"area", "<c:areaChart>" + two + "</c:areaChart>", "area", 2},
      {"pie",
       "<c:pieChart><c:varyColors val=\"1\"/>" + Series(0, {"1", "2", "0", "3", "4"}) +
           "</c:pieChart>",
       "slice", 4},
      {"doughnut",
       "<c:doughnutChart>" + Series(0, {"5", "5"}) + "<c:holeSize val=\"60\"/></c:doughnutChart>",
       "slice", 2},
      {"one full slice", "<c:pieChart>" + Series(0, {"7"}) + "</c:pieChart>", "slice", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string svg = Draw(Chart(c.plot));
    EXPECT_EQ(Marks(svg, c.mark), c.expected) << svg;
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    EXPECT_EQ(svg.find("inf"), std::string::npos);
    // Every mark stays inside the picture.
    const std::regex number("(?:x|y|cx|cy)=\"(-?[0-9.]+)\"");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), number);
         it != std::sregex_iterator(); ++it) {
      const double v = std::stod((*it)[1]);
      EXPECT_GE(v, 0) << (*it)[0];
      EXPECT_LE(v, 360) << (*it)[0];
    }
  }
}

TEST(ChartSvg, ScatterPlotsItsPairsOnTwoValueAxes) {
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(
      ("<c:chartSpace><c:chart><c:plotArea><c:scatterChart><c:scatterStyle val=\"lineMarker\"/>"
       "<c:ser><c:idx val=\"0\"/>" +
       Values("c:xVal", {"1", "2", "5"}) + Values("c:yVal", {"10", "20", "15"}) +
       "</c:ser></c:scatterChart><c:valAx/><c:valAx/></c:plotArea></c:chart></c:chartSpace>")
          .c_str()));
  const std::string svg = Draw(doc);
  EXPECT_EQ(Marks(svg, "marker"), 3u);
  EXPECT_EQ(Marks(svg, "line"), 1u);
  EXPECT_NE(svg.find(">20</text>"), std::string::npos) << svg;  // the y axis reaches 20
}

TEST(ChartSvg, TitleLegendNumberFormatsAndColours) {
  const std::string title =
      "<c:title><c:tx><c:rich><a:p><a:r><a:t>Sales &amp; costs</a:t></a:r></a:p></c:rich></c:tx>"
      "</c:title>";
  const std::string plot =
      "<c:barChart><c:barDir val=\"col\"/>" +
      Series(0, {"0.25", "0.5"},
             "<c:spPr><a:solidFill><a:srgbClr val=\"00FF00\"/></a:solidFill></c:spPr>"
             "<c:dLbls><c:showVal val=\"1\"/></c:dLbls>",
             "0.0%") +
      Series(1, {"1234.5", "10"}, "<c:dLbls><c:showVal val=\"1\"/></c:dLbls>", "\"$\"#,##0.00") +
      "</c:barChart>";
  pugi::xml_document theme;
  ASSERT_TRUE(theme.load_string(
      "<a:clrScheme><a:accent2><a:srgbClr val=\"123456\"/></a:accent2></a:clrScheme>"));
  ChartStyle style;
  style.color_scheme = theme.child("a:clrScheme");
  const std::string svg = Draw(Chart(plot, title), style);
  EXPECT_NE(svg.find(">Sales &amp; costs</text>"), std::string::npos) << svg;
  EXPECT_NE(svg.find(">25.0%</text>"), std::string::npos);  // data label in the series' format
  EXPECT_NE(svg.find(">S0</text>"), std::string::npos);     // legend
  EXPECT_NE(svg.find(">S1</text>"), std::string::npos);
  EXPECT_NE(svg.find(">Cat 2</text>"), std::string::npos);  // category axis
  EXPECT_NE(svg.find("fill=\"#00FF00\""), std::string::npos);
  EXPECT_NE(svg.find("fill=\"#123456\""), std::string::npos);  // accent2 from the theme
  EXPECT_NE(svg.find(">$1,234.50</text>"), std::string::npos) << svg;
}

TEST(ChartSvg, TheValueAxisLeavesRoomAboveTheLargestValue) {
  // A largest value of 5 gets an axis to 6, as the word processor draws it;
  // percent bars end at 100 %. The chart area's own outline is drawn.
  struct Case {
    const char* grouping;
    std::string top_label;
  };
  for (const Case& c : {Case{"clustered", ">6</text>"}, Case{"percentStacked", ">100%</text>"}}) {
    SCOPED_TRACE(c.grouping);
    const std::string plot = std::string("<c:barChart><c:barDir val=\"col\"/><c:grouping val=\"") +
                             c.grouping + "\"/>" + Series(0, {"5", "2"}) + "</c:barChart>";
    pugi::xml_document doc = Chart(plot);
    const std::string outline =
        "<c:spPr><a:ln><a:solidFill><a:srgbClr val=\"D9D9D9\"/></a:solidFill></a:ln></c:spPr>";
    ASSERT_TRUE(doc.child("c:chartSpace").append_buffer(outline.data(), outline.size()));
    const std::string svg = Draw(doc);
    EXPECT_NE(svg.find(c.top_label), std::string::npos) << svg;
    EXPECT_EQ(svg.find(">7</text>"), std::string::npos);
    EXPECT_EQ(svg.find(">120%</text>"), std::string::npos);
    EXPECT_NE(svg.find("fill=\"none\" stroke=\"#D9D9D9\""), std::string::npos);
  }
}

TEST(ChartSvg, TypesNotDrawnAndEmptyChartsAreRefused) {
  EXPECT_FALSE(
      ChartSvg(Chart("<c:radarChart>" + Series(0, {"1"}) + "</c:radarChart>").child("c:chartSpace"),
               {}, 100, 100));
  EXPECT_FALSE(ChartSvg(Chart("<c:barChart>" + Series(0, {"1"}) + "</c:barChart><c:surfaceChart/>")
                            .child("c:chartSpace"),
                        {}, 100, 100));
  EXPECT_FALSE(ChartSvg(Chart("<c:barChart/>").child("c:chartSpace"), {}, 100, 100));
  EXPECT_FALSE(
      ChartSvg(Chart("<c:barChart>" + Series(0, {"1"}) + "</c:barChart>").child("c:chartSpace"), {},
               0, 100));
}

}  // namespace
}  // namespace tessarine::convert
