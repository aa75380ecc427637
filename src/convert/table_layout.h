// A table's layout, resolved from its XML before anything is written: the
// grid, each row's cells with their grid columns, column and row spans and
// widths; the four borders of every cell as Word collapses them; and the
// CSS Word writes for the table and each cell. Pure functions of the XML and
// the style sheet: the body writer (html_table.cpp) only prints the result.
//
// Internal to the convert library.
#pragma once

#include <array>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "convert/docx_styles.h"

namespace tessarine::convert {

// Sides of a cell, in the order CSS's shorthand names them.
enum CellSide { kTopSide, kRightSide, kBottomSide, kLeftSide };

// A cell's place in the grid. Its properties are not kept: a table of
// half a million cells would hold a parsed copy of each (about two kilobytes
// apiece); the writer parses them again as it prints the cell.
struct CellLayout {
  pugi::xml_node tc;
  int column = 0;  // first grid column
  int span = 1;
  int rowspan = 1;
  bool covered = false;  // continues a vertical merge: written by the cell it continues
  // The table's edges the cell touches (the bottom one through its row span).
  bool first_row = false, last_row = false, last_column = false;
  long long width = 0;  // twips: the cell's own width, else its grid columns'; 0: none
};

// The border each side of a cell has (its own, else the table's edge or
// inside border), and whether the neighbour above or before draws that side.
struct CellBorders {
  std::array<std::optional<Border>, 4> borders;
  std::array<bool, 4> collapsed = {false, false, false, false};
};

struct RowLayout {
  pugi::xml_node tr;
  int grid_before = 0, grid_after = 0;          // columns the row leaves out
  long long width_before = 0, width_after = 0;  // twips of those placeholders
  std::optional<int> height;                    // twips
  bool exact_height = false;
  bool cant_split = false;
  std::vector<CellLayout> cells;
};

struct TableLayout {
  std::string style_id;    // the table style in force (the default one when none is named)
  std::string class_name;  // its HTML class; MsoNormalTable without one
  TableProperties props;   // the style's properties under the table's own
  std::vector<int> grid;   // twips per grid column, as many as the widest row needs
  bool irregular = false;  // rows that do not fill the grid alike
  bool any_border = false;
  std::vector<RowLayout> rows;  // deleted rows left out
};

// Word makes no table wider than 63 columns. A span, a skipped run of
// columns or a grid wider than the declared w:tblGrid and this limit is cut
// to it, so the declared numbers cannot pad every row to millions of cells.
inline constexpr int kMaxDeclaredColumns = 63;

TableLayout LayOutTable(pugi::xml_node tbl, const StyleSheet& styles);

// The declarations of the <table> element's style attribute ("width:…;
// border-collapse:collapse;…").
std::string TableCss(const TableLayout& table);

// The four borders of `cell`, whose parsed w:tcPr is `props`, as Word
// collapses them.
CellBorders ResolveCellBorders(const TableLayout& table, const CellLayout& cell,
                               const CellProperties& props);

// The declarations of a cell's style attribute (width, borders with Word's
// mso-…-alt twins, shading, padding) and `row_height_css` ("height:…;"
// of its row, or empty). `props` is the cell's parsed w:tcPr.
std::string CellCss(const TableLayout& table, const CellLayout& cell, const CellProperties& props,
                    const std::string& row_height_css);

}  // namespace tessarine::convert
