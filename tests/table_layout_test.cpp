// The table layout between the XML and the writer: grid columns, spans,
// widths and each cell's collapsed borders from small tables, and the CSS
// Word writes for a table and its cells.
#include "convert/table_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessarine::convert {
namespace {

struct Parsed {
  pugi::xml_document doc;
  pugi::xml_node table;
};

// `rows` inside a w:tbl with `properties` and a grid of `columns` twips.
void Parse(Parsed& parsed, const std::string& properties, const std::vector<int>& columns,
           const std::string& rows) {
  std::string grid;
  for (int width : columns) grid += "<w:gridCol w:w=\"" + std::to_string(width) + "\"/>";
  const std::string xml = "<w:tbl><w:tblPr>" + properties + "</w:tblPr><w:tblGrid>" + grid +
                          "</w:tblGrid>" + rows + "</w:tbl>";
  ASSERT_TRUE(parsed.doc.load_string(xml.c_str())) << xml;
  parsed.table = parsed.doc.child("w:tbl");
}

std::string Tc(const std::string& properties = "") {
  return "<w:tc><w:tcPr>" + properties + "</w:tcPr><w:p/></w:tc>";
}
std::string Tr(const std::string& cells, const std::string& properties = "") {
  return "<w:tr><w:trPr>" + properties + "</w:trPr>" + cells + "</w:tr>";
}

// A cell as "column+span/rowspan:width", covered cells as "-".
std::vector<std::vector<std::string>> Shape(const TableLayout& table) {
  std::vector<std::vector<std::string>> shape;
  for (const RowLayout& row : table.rows) {
    shape.emplace_back();
    for (const CellLayout& cell : row.cells) {
      shape.back().push_back(
          cell.covered ? "-"
                       : std::to_string(cell.column) + "+" + std::to_string(cell.span) + "/" +
                             std::to_string(cell.rowspan) + ":" + std::to_string(cell.width));
    }
  }
  return shape;
}

TEST(TableLayout, GridSpansAndWidths) {
  struct Case {
    const char* what;
    std::vector<int> grid;
    std::string rows;
    std::vector<std::vector<std::string>> shape;
    bool irregular;
    size_t columns;
  };
  const std::string span2 = "<w:gridSpan w:val=\"2\"/>";
  const std::vector<Case> cases = {
      {"plain grid",
       {1000, 2000},
       Tr(Tc() + Tc()) + Tr(Tc() + Tc()),
       {{"0+1/1:1000", "1+1/1:2000"}, {"0+1/1:1000", "1+1/1:2000"}},
       false,
       2},
      {"a column span adds the grid's widths",
       {1000, 2000, 500},
       Tr(Tc(span2) + Tc()),
       {{"0+2/1:3000", "2+1/1:500"}},
       false,
       3},
      {"the cell's own width wins",
       {1000},
       Tr(Tc("<w:tcW w:w=\"1440\" w:type=\"dxa\"/>")),
       {{"0+1/1:1440"}},
       false,
       1},
      {"a percentage width is the grid's",
       {1000},
       Tr(Tc("<w:tcW w:w=\"2500\" w:type=\"pct\"/>")),
       {{"0+1/1:1000"}},
       false,
       1},
      {"a vertical merge spans rows",
       {1000, 1000},
       Tr(Tc("<w:vMerge w:val=\"restart\"/>") + Tc()) + Tr(Tc("<w:vMerge/>") + Tc()) +
           Tr(Tc("<w:vMerge/>") + Tc()),
       {{"0+1/3:1000", "1+1/1:1000"}, {"-", "1+1/1:1000"}, {"-", "1+1/1:1000"}},
       false,
       2},
      {"a merge continues only in its own column",
       {1000, 1000},
       Tr(Tc("<w:vMerge w:val=\"restart\"/>") + Tc()) + Tr(Tc() + Tc("<w:vMerge/>")),
       {{"0+1/1:1000", "1+1/1:1000"}, {"0+1/1:1000", "1+1/1:1000"}},
       false,
       2},
      {"a legacy horizontal merge joins the cell before",
       {1000, 1000},
       Tr(Tc() + Tc("<w:hMerge/>")),
       {{"0+2/1:2000"}},
       false,
       2},
      {"skipped columns make the grid irregular",
       {1000, 1000, 1000},
       Tr(Tc(), "<w:gridBefore w:val=\"1\"/><w:gridAfter w:val=\"1\"/>") + Tr(Tc() + Tc() + Tc()),
       {{"1+1/1:1000"}, {"0+1/1:1000", "1+1/1:1000", "2+1/1:1000"}},
       true,
       3},
      {"a row wider than the grid widens it",
       {1000},
       Tr(Tc() + Tc()),
       {{"0+1/1:1000", "1+1/1:0"}},
       false,
       2},
      {"rows of different lengths",
       {1000, 1000},
       Tr(Tc() + Tc()) + Tr(Tc()),
       {{"0+1/1:1000", "1+1/1:1000"}, {"0+1/1:1000"}},
       true,
       2},
      {"a span is cut at Word's column limit",
       {1000},
       Tr(Tc("<w:gridSpan w:val=\"1000000\"/>")),
       {{"0+63/1:1000"}},
       false,
       63},
      {"a merge runs on past a deleted row",
       {1000},
       Tr(Tc("<w:vMerge w:val=\"restart\"/>")) + Tr(Tc("<w:vMerge/>"), "<w:del w:id=\"1\"/>") +
           Tr(Tc("<w:vMerge/>")),
       {{"0+1/2:1000"}, {"-"}},
       false,
       1},
      {"a deleted row is gone",
       {1000},
       Tr(Tc(), "<w:del w:id=\"1\"/>") + Tr(Tc()),
       {{"0+1/1:1000"}},
       false,
       1},
  };
  const StyleSheet styles = StyleSheet::Parse(nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Parsed parsed;
    Parse(parsed, "", c.grid, c.rows);
    const TableLayout table = LayOutTable(parsed.table, styles);
    EXPECT_EQ(Shape(table), c.shape);
    EXPECT_EQ(table.irregular, c.irregular);
    EXPECT_EQ(table.grid.size(), c.columns);
    EXPECT_EQ(table.class_name, "MsoNormalTable");
  }
}

TEST(TableLayout, PlaceholdersTakeTheirOwnWidthOrTheGrids) {
  Parsed parsed;
  Parse(parsed, "", {1000, 2000, 3000},
        Tr(Tc(), "<w:gridBefore w:val=\"2\"/>") +
            Tr(Tc(), "<w:gridAfter w:val=\"2\"/><w:wAfter w:w=\"700\" w:type=\"dxa\"/>"));
  const TableLayout table = LayOutTable(parsed.table, StyleSheet::Parse(nullptr));
  ASSERT_EQ(table.rows.size(), 2u);
  EXPECT_EQ(table.rows[0].width_before, 3000);
  EXPECT_EQ(table.rows[1].width_after, 700);
}

TEST(TableLayout, AMergeDownALongTableReachesItsBottomEdge) {
  std::string rows = Tr(Tc("<w:vMerge w:val=\"restart\"/>") + Tc());
  for (int r = 1; r < 500; ++r) rows += Tr(Tc("<w:vMerge/>") + Tc());
  Parsed parsed;
  Parse(parsed,
        "<w:tblBorders><w:bottom w:val=\"thick\"/><w:insideH w:val=\"dotted\"/></w:tblBorders>",
        {1000, 1000}, rows);
  const TableLayout table = LayOutTable(parsed.table, StyleSheet::Parse(nullptr));
  ASSERT_EQ(table.rows.size(), 500u);
  const CellLayout& origin = table.rows[0].cells[0];
  EXPECT_EQ(origin.rowspan, 500);
  for (size_t r = 1; r < table.rows.size(); ++r) EXPECT_TRUE(table.rows[r].cells[0].covered);
  EXPECT_EQ(ResolveCellBorders(table, origin, {}).borders[kBottomSide]->val, "thick");
  EXPECT_EQ(ResolveCellBorders(table, table.rows[0].cells[1], {}).borders[kBottomSide]->val,
            "dotted");
}

// Borders per cell: "t r b l" with each side as its w:val or "-" for none,
// and "^" where the neighbour above or before draws the side.
std::string Sides(const TableLayout& table, const CellLayout& cell) {
  const CellBorders sides =
      ResolveCellBorders(table, cell, ParseCellProperties(cell.tc.child("w:tcPr")));
  std::string text;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) text += ' ';
    text += sides.collapsed[i] ? "^" : sides.borders[i] ? sides.borders[i]->val : "-";
  }
  return text;
}

TEST(TableLayout, BordersCollapseAsWordDrawsThem) {
  const std::string all =
      "<w:tblBorders><w:top w:val=\"double\" w:sz=\"4\"/><w:left w:val=\"single\" w:sz=\"4\"/>"
      "<w:bottom w:val=\"thick\" w:sz=\"12\"/><w:right w:val=\"single\" w:sz=\"4\"/>"
      "<w:insideH w:val=\"dotted\" w:sz=\"4\"/><w:insideV w:val=\"dashed\" w:sz=\"4\"/>"
      "</w:tblBorders>";
  struct Case {
    const char* what;
    std::string table_properties;
    std::string rows;
    std::vector<std::string> sides;  // row by row, cell by cell
  };
  const std::vector<Case> cases = {
      {"edges outside, inside borders between",
       all,
       Tr(Tc() + Tc()) + Tr(Tc() + Tc()),
       {"double dashed dotted single", "double single dotted ^", "^ dashed thick single",
        "^ single thick ^"}},
      {"the cell's own border wins and is drawn by the cell",
       all,
       Tr(Tc() + Tc()) +
           Tr(Tc() + Tc("<w:tcBorders><w:top w:val=\"nil\"/><w:left w:val=\"single\"/>"
                        "</w:tcBorders>")),
       {"double dashed dotted single", "double single dotted ^", "^ dashed thick single",
        "nil single thick single"}},
      {"a row-spanning cell reaches the bottom edge",
       all,
       Tr(Tc("<w:vMerge w:val=\"restart\"/>") + Tc()) + Tr(Tc("<w:vMerge/>") + Tc()),
       {"double dashed thick single", "double single dotted ^", "^ dashed thick single",
        "^ single thick ^"}},
      {"no borders", "", Tr(Tc()), {"- - - -"}},
  };
  const StyleSheet styles = StyleSheet::Parse(nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Parsed parsed;
    Parse(parsed, c.table_properties, {1000, 1000}, c.rows);
    const TableLayout table = LayOutTable(parsed.table, styles);
    std::vector<std::string> sides;
    for (const RowLayout& row : table.rows) {
      for (const CellLayout& cell : row.cells) sides.push_back(Sides(table, cell));
    }
    EXPECT_EQ(sides, c.sides);
    EXPECT_EQ(table.any_border, !c.table_properties.empty());
  }
}

TEST(TableLayout, CssAsWordWritesIt) {
  struct Case {
    const char* what;
    std::string table_properties;
    std::string cell_properties;
    std::string table_css;
    std::string cell_css;
  };
  const std::vector<Case> cases = {
      {"plain", "", "", "border-collapse:collapse;mso-padding-alt:0cm 5.4pt 0cm 5.4pt;",
       "width:50.0pt;border:none;padding:0cm 5.4pt 0cm 5.4pt;"},
      {"a thin grid, width, indent and look",
       "<w:tblW w:w=\"2000\" w:type=\"dxa\"/><w:tblInd w:w=\"567\" w:type=\"dxa\"/>"
       "<w:tblBorders><w:top w:val=\"single\" w:sz=\"4\"/><w:left w:val=\"single\" w:sz=\"4\"/>"
       "<w:bottom w:val=\"single\" w:sz=\"4\"/><w:right w:val=\"single\" w:sz=\"4\"/>"
       "<w:insideH w:val=\"single\" w:sz=\"4\"/></w:tblBorders><w:tblLook w:val=\"04A0\"/>",
       "",
       "width:100.0pt;margin-left:28.35pt;border-collapse:collapse;border:none;"
       "mso-border-alt:solid windowtext .5pt;mso-yfti-tbllook:1184;"
       "mso-padding-alt:0cm 5.4pt 0cm 5.4pt;mso-border-insideh:.5pt solid windowtext;",
       "width:50.0pt;border:solid windowtext 1.0pt;mso-border-alt:solid windowtext .5pt;"
       "padding:0cm 5.4pt 0cm 5.4pt;"},
      {"a percentage width, shading and the cell's margins",
       "<w:tblW w:w=\"2500\" w:type=\"pct\"/><w:shd w:val=\"clear\" w:fill=\"FFFF00\"/>",
       "<w:tcMar><w:left w:w=\"0\" w:type=\"dxa\"/></w:tcMar>",
       "width:50.0%;border-collapse:collapse;mso-padding-alt:0cm 5.4pt 0cm 5.4pt;",
       "width:50.0pt;border:none;background:#FFFF00;padding:0cm 5.4pt 0cm 0cm;"},
  };
  const StyleSheet styles = StyleSheet::Parse(nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Parsed parsed;
    Parse(parsed, c.table_properties, {1000}, Tr(Tc(c.cell_properties)));
    const TableLayout table = LayOutTable(parsed.table, styles);
    EXPECT_EQ(TableCss(table), c.table_css);
    ASSERT_EQ(table.rows.size(), 1u);
    const CellLayout& cell = table.rows[0].cells[0];
    EXPECT_EQ(CellCss(table, cell, ParseCellProperties(cell.tc.child("w:tcPr")), "height:10pt;"),
              c.cell_css + "height:10pt;");
  }
}

}  // namespace
}  // namespace tessarine::convert
