// Tables as Word writes them: class, border and spacing attributes, rows
// numbered with mso-yfti-irow, cell widths in pixels and points, colspan
// and rowspan, collapsed borders with Word's mso-…-alt twins, and the
// zero-height helper row for irregular grids. The layout (grid, spans,
// widths, borders) comes resolved from LayOutTable; this only prints it.
#include <string>

#include "convert/html_body.h"
#include "convert/html_css.h"
#include "convert/html_text.h"
#include "convert/table_layout.h"

namespace tessarine::convert {

void BodyWriter::WriteTable(pugi::xml_node tbl, int depth) {
  const TableLayout table = LayOutTable(tbl, doc_.styles);
  if (table.rows.empty()) return;
  const TableProperties& table_props = table.props;
  const std::string saved_table_style = current_table_style_;
  current_table_style_ = table.style_id;

  const std::string jc = table_props.justification.value_or(std::string());
  const bool aligned = jc == "center" || jc == "right";
  if (aligned) {
    BlockLineStart(depth);
    out_ += "<div align=" + jc + ">";
    BlockLineEnd(depth);
  }

  std::string open = "<table class=" + table.class_name +
                     " border=" + (table.any_border ? "1" : "0") + " cellspacing=0 cellpadding=0";
  if (table_props.width && (table_props.width->type == "dxa" || table_props.width->type.empty()) &&
      table_props.width->value > 0) {
    open += " width=" + std::to_string(TwipsToPixels(table_props.width->value));
  } else if (table_props.width && table_props.width->type == "pct" &&
             table_props.width->value > 0) {
    open += " width=\"" + PointsText(table_props.width->value / 50.0) + "%\"";
  }
  AppendStyleAttribute(open, TableCss(table));
  open += '>';
  BlockLineStart(depth);
  out_ += open;
  out_ += "\r\n";

  const size_t row_count = table.rows.size();
  const int columns = static_cast<int>(table.grid.size());
  const std::string row_indent(static_cast<size_t>(depth) * 2 + 1, ' ');
  const std::string cell_indent(static_cast<size_t>(depth) * 2 + 2, ' ');
  for (size_t r = 0; r < row_count; ++r) {
    const RowLayout& row = table.rows[r];
    if (OverBudget()) break;
    std::string row_css = "mso-yfti-irow:" + std::to_string(r) + ';';
    if (r == 0) row_css += "mso-yfti-firstrow:yes;";
    if (r + 1 == row_count) row_css += "mso-yfti-lastrow:yes;";
    if (row.cant_split) row_css += "page-break-inside:avoid;";
    std::string height_css;
    if (row.height) {
      height_css = "height:";
      AppendTwipsLength(height_css, *row.height);
      height_css += ';';
      row_css += height_css;
      if (row.exact_height) row_css += "mso-height-rule:exactly;";
    }
    out_ += row_indent + "<tr";
    AppendStyleAttribute(out_, row_css);
    out_ += ">\r\n";
    // Cells a row leaves out at its start or end hold Word's placeholders.
    auto placeholder = [&](int span, long long twips) {
      out_ += cell_indent + "<td width=" + std::to_string(TwipsToPixels(twips));
      if (span > 1) out_ += " colspan=" + std::to_string(span);
      out_ += " style='mso-cell-special:placeholder;border:none;padding:0cm 0cm 0cm 0cm;width:";
      AppendTwipsPt(out_, twips);
      out_ += "'><p class='MsoNormal'>&nbsp;</td>\r\n";
    };
    if (row.grid_before > 0) placeholder(row.grid_before, row.width_before);
    for (const CellLayout& cell : row.cells) {
      if (cell.covered || OverBudget()) continue;
      out_ += cell_indent + "<td";
      if (cell.width > 0) out_ += " width=" + std::to_string(TwipsToPixels(cell.width));
      if (cell.span > 1) out_ += " colspan=" + std::to_string(cell.span);
      if (cell.rowspan > 1) out_ += " rowspan=" + std::to_string(cell.rowspan);
      const CellProperties props = ParseCellProperties(cell.tc.child("w:tcPr"));
      const std::string valign = props.vertical_align.value_or("top");
      if (valign == "top" || valign == "bottom") out_ += " valign=" + valign;
      if (props.no_wrap.value_or(false)) out_ += " nowrap";
      AppendStyleAttribute(out_, CellCss(table, cell, props, height_css));
      out_ += ">\r\n";
      WriteBlocks(cell.tc, depth + 1);
      out_ += cell_indent + "</td>\r\n";
    }
    if (row.grid_after > 0) placeholder(row.grid_after, row.width_after);
    out_ += row_indent + "</tr>\r\n";
  }
  if (table.irregular) {
    // Rows that do not share the grid: Word adds a zero-height row that
    // fixes every column's width.
    out_ += row_indent + "<![if !supportMisalignedColumns]>\r\n";
    out_ += row_indent + "<tr height=0>\r\n";
    for (int c = 0; c < columns; ++c) {
      out_ += cell_indent + "<td width=" + std::to_string(TwipsToPixels(table.grid[c])) +
              " style='border:none'></td>\r\n";
    }
    out_ += row_indent + "</tr>\r\n";
    out_ += row_indent + "<![endif]>\r\n";
  }
  BlockLineStart(depth);
  out_ += "</table>";
  BlockLineEnd(depth);
  if (aligned) {
    BlockLineStart(depth);
    out_ += "</div>";
    BlockLineEnd(depth);
  }
  current_table_style_ = saved_table_style;
}

}  // namespace tessarine::convert
