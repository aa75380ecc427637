// Tables as Word writes them: class, border and spacing attributes, rows
// numbered with mso-yfti-irow, cell widths in pixels and points, colspan
// from w:gridSpan, rowspan from w:vMerge, collapsed borders with Word's
// mso-…-alt twins, and the zero-height helper row for irregular grids.
#include <algorithm>
#include <array>
#include <cstring>

#include "convert/docx_xml.h"
#include "convert/html_body.h"
#include "convert/html_text.h"

namespace tessarine::convert {

namespace {

bool Is(pugi::xml_node node, const char* name) {
  return std::strcmp(node.name(), name) == 0;
}

// w:vMerge of a cell (an empty value means continue).
enum class VerticalMerge : unsigned char { kNone, kRestart, kContinue, kOther };

// A cell's place in the grid. Its properties are read again when it is
// written: kept for every cell of a large table they would take far more
// memory than the table's XML.
struct CellModel {
  pugi::xml_node tc;
  int column = 0;  // first grid column
  int span = 1;
  int rowspan = 1;
  VerticalMerge vertical_merge = VerticalMerge::kNone;
  bool covered = false;  // continues a merge: written by the cell it continues
};

// The merge values as the cell properties read them: a present element
// without a value continues.
std::string_view MergeValue(pugi::xml_node merge) {
  const std::string_view value = merge.attribute("w:val").as_string();
  return value.empty() ? std::string_view("continue") : value;
}

VerticalMerge VerticalMergeOf(pugi::xml_node tc_pr) {
  const pugi::xml_node merge = tc_pr.child("w:vMerge");
  if (!merge) return VerticalMerge::kNone;
  const std::string_view value = MergeValue(merge);
  if (value == "continue") return VerticalMerge::kContinue;
  if (value == "restart") return VerticalMerge::kRestart;
  return VerticalMerge::kOther;
}

struct RowModel {
  pugi::xml_node tr;
  int grid_before = 0, grid_after = 0;
  std::optional<int> width_before, width_after;  // twips
  std::optional<int> height;                     // twips
  bool exact_height = false;
  bool cant_split = false;
  std::vector<CellModel> cells;
};

// Rows and cells may sit inside content controls or custom XML.
template <typename Visit>
void ForEachChild(pugi::xml_node parent, const char* name, Visit visit, int depth = 0) {
  if (depth > 64) return;  // wrappers around wrappers; nothing real nests this deep
  for (pugi::xml_node child : parent.children()) {
    if (Is(child, name)) {
      visit(child);
    } else if (Is(child, "w:sdt")) {
      ForEachChild(child.child("w:sdtContent"), name, visit, depth + 1);
    } else if (Is(child, "w:customXml")) {
      ForEachChild(child, name, visit, depth + 1);
    }
  }
}

std::optional<int> TwipsWidth(const std::optional<TableWidth>& width) {
  if (width && (width->type == "dxa" || width->type.empty()) && width->value > 0) {
    return width->value;
  }
  return std::nullopt;
}

// Word makes no table wider than 63 columns. A span, a skipped run of
// columns or a grid wider than the declared w:tblGrid and this limit is cut
// to it, so the declared numbers cannot pad every row to millions of cells.
constexpr int kMaxDeclaredColumns = 63;

std::vector<RowModel> BuildRows(pugi::xml_node tbl, int column_limit) {
  std::vector<RowModel> rows;
  // Room left in the grid from `column`, at least one so that every cell is written.
  const auto bounded = [&](int declared, int column, int minimum) {
    return std::clamp(declared, minimum, std::max(1, column_limit - column));
  };
  ForEachChild(tbl, "w:tr", [&](pugi::xml_node tr) {
    pugi::xml_node tr_pr = tr.child("w:trPr");
    // A row deleted with change tracking on is gone in the accepted view.
    if (tr_pr.child("w:del")) return;
    RowModel row;
    row.tr = tr;
    row.grid_before = bounded(IntAttribute(tr_pr.child("w:gridBefore"), "w:val").value_or(0), 0, 0);
    row.width_before = TwipsAttribute(tr_pr.child("w:wBefore"), "w:w");
    row.width_after = TwipsAttribute(tr_pr.child("w:wAfter"), "w:w");
    if (pugi::xml_node height = tr_pr.child("w:trHeight")) {
      row.height = TwipsAttribute(height, "w:val");
      row.exact_height = std::string_view(height.attribute("w:hRule").value()) == "exact";
      if (row.height && *row.height <= 0) row.height.reset();
    }
    row.cant_split = OnOffChild(tr_pr, "w:cantSplit").value_or(false);
    int column = std::max(0, row.grid_before);
    ForEachChild(tr, "w:tc", [&](pugi::xml_node tc) {
      const pugi::xml_node tc_pr = tc.child("w:tcPr");
      CellModel cell;
      cell.tc = tc;
      cell.column = column;
      cell.span = bounded(IntAttribute(tc_pr.child("w:gridSpan"), "w:val").value_or(1), column, 1);
      cell.vertical_merge = VerticalMergeOf(tc_pr);
      // Legacy horizontal merges join the cell to the one before it.
      const pugi::xml_node horizontal_merge = tc_pr.child("w:hMerge");
      if (horizontal_merge && MergeValue(horizontal_merge) == "continue" && !row.cells.empty()) {
        row.cells.back().span += cell.span;
        column += cell.span;
        return;
      }
      column += cell.span;
      row.cells.push_back(std::move(cell));
    });
    row.grid_after =
        bounded(IntAttribute(tr_pr.child("w:gridAfter"), "w:val").value_or(0), column, 0);
    rows.push_back(std::move(row));
  });
  // Vertical merges: a "continue" cell extends the cell above it that starts
  // in the same grid column.
  std::vector<std::pair<int, int>> above;  // by column: (row, cell) of the merge origin
  for (size_t r = 0; r < rows.size(); ++r) {
    std::vector<std::pair<int, int>> current;
    for (size_t c = 0; c < rows[r].cells.size(); ++c) {
      CellModel& cell = rows[r].cells[c];
      const VerticalMerge merge = cell.vertical_merge;
      if (merge == VerticalMerge::kContinue) {
        bool joined = false;
        for (size_t i = 0; i < above.size(); ++i) {
          const auto [origin_row, origin_cell] = above[i];
          CellModel& origin = rows[origin_row].cells[origin_cell];
          if (origin.column == cell.column) {
            ++origin.rowspan;
            cell.covered = true;
            current.push_back(above[i]);
            joined = true;
            break;
          }
        }
        if (joined) continue;
      }
      if (merge == VerticalMerge::kRestart || merge == VerticalMerge::kContinue) {
        current.emplace_back(static_cast<int>(r), static_cast<int>(c));
      }
    }
    above = std::move(current);
  }
  return rows;
}

std::string BorderText(const std::optional<Border>& border, bool minimum_one_point) {
  std::string text;
  if (IsVisibleBorder(border)) {
    AppendBorderValue(text, *border, minimum_one_point);
  } else {
    text = "none";
  }
  return text;
}

void AppendPaddingValue(std::string& css, const CellMargins& cell, const CellMargins& table) {
  const auto side = [](const std::optional<TableWidth>& own, const std::optional<TableWidth>& all,
                       int fallback) {
    if (own && own->type != "pct") return own->value;
    if (all && all->type != "pct") return all->value;
    return fallback;
  };
  AppendTwipsPt(css, side(cell.top, table.top, 0));
  css += ' ';
  AppendTwipsPt(css, side(cell.right, table.right, 108));
  css += ' ';
  AppendTwipsPt(css, side(cell.bottom, table.bottom, 0));
  css += ' ';
  AppendTwipsPt(css, side(cell.left, table.left, 108));
}

// The cell's four borders as Word collapses them: a side shared with the
// cell above or to the left is drawn by that cell, so it shows as "none"
// with the real border kept in mso-border-…-alt.
void AppendCellBorders(std::string& css, const CellModel& cell, const CellProperties& props,
                       const TableBorders& table, bool first_row, bool last_row, bool last_column) {
  enum { kTop, kRight, kBottom, kLeft };
  static constexpr std::string_view kNames[] = {"top", "right", "bottom", "left"};
  const TableBorders& own = props.borders;
  std::array<std::optional<Border>, 4> real = {
      own.top ? own.top : (first_row ? table.top : table.inside_h),
      own.right ? own.right : (last_column ? table.right : table.inside_v),
      own.bottom ? own.bottom : (last_row ? table.bottom : table.inside_h),
      own.left ? own.left : (cell.column == 0 ? table.left : table.inside_v),
  };
  std::array<bool, 4> collapsed = {!first_row && !own.top, false, false,
                                   cell.column != 0 && !own.left};
  std::array<std::string, 4> shown;
  for (int i = 0; i < 4; ++i) shown[i] = collapsed[i] ? "none" : BorderText(real[i], true);
  // The most frequent visible value becomes the shorthand.
  std::string base = "none";
  int best = 0;
  for (int i = 0; i < 4; ++i) {
    if (shown[i] == "none") continue;
    int count = 0;
    for (int j = 0; j < 4; ++j) count += shown[j] == shown[i];
    if (count > best) {
      best = count;
      base = shown[i];
    }
  }
  css += "border:" + base + ';';
  for (int i = 0; i < 4; ++i) {
    if (shown[i] != base) css += "border-" + std::string(kNames[i]) + ':' + shown[i] + ';';
  }
  bool all_same = IsVisibleBorder(real[0]);
  for (int i = 1; i < 4 && all_same; ++i) {
    all_same = IsVisibleBorder(real[i]) && BorderText(real[i], false) == BorderText(real[0], false);
  }
  bool needs_alt = false;
  for (int i = 0; i < 4; ++i) {
    if (!IsVisibleBorder(real[i])) continue;
    if (collapsed[i]) {
      css += "mso-border-" + std::string(kNames[i]) + "-alt:" + BorderText(real[i], false) + ';';
    }
    needs_alt = needs_alt || IsThinBorder(*real[i]) || collapsed[i];
  }
  if (all_same && needs_alt) {
    css += "mso-border-alt:" + BorderText(real[0], false) + ';';
  } else {
    for (int i = 0; i < 4; ++i) {
      if (IsVisibleBorder(real[i]) && !collapsed[i] && IsThinBorder(*real[i])) {
        css += "mso-border-" + std::string(kNames[i]) + "-alt:" + BorderText(real[i], false) + ';';
      }
    }
  }
}

void AppendInsideBorder(std::string& css, std::string_view name, const std::optional<Border>& b) {
  if (!IsVisibleBorder(b)) return;
  css += name;
  css += ':';
  AppendPoints(css, b->size.value_or(4) / 8.0);
  css += "pt ";
  const std::string value = BorderText(b, false);
  css += value.substr(0, value.find(' '));
  css += ' ';
  AppendCssColor(css, b->color, "windowtext");
  css += ';';
}

}  // namespace

void BodyWriter::WriteTable(pugi::xml_node tbl, int depth) {
  const TableProperties direct = ParseTableProperties(tbl.child("w:tblPr"));
  std::string style_id;
  if (direct.style_id && doc_.styles.Find(*direct.style_id) != nullptr) {
    style_id = *direct.style_id;
  } else if (const Style* normal = doc_.styles.DefaultStyle(StyleType::kTable)) {
    style_id = normal->style_id;
  }
  const TableProperties props =
      style_id.empty() ? direct : Merge(doc_.styles.EffectiveTable(style_id), direct);
  std::string class_name = style_id.empty() ? std::string() : doc_.styles.ClassName(style_id);
  if (class_name.empty()) class_name = "MsoNormalTable";

  std::vector<int> grid;
  for (pugi::xml_node col : tbl.child("w:tblGrid").children("w:gridCol")) {
    grid.push_back(std::max(0, TwipsAttribute(col, "w:w").value_or(0)));
  }
  std::vector<RowModel> rows =
      BuildRows(tbl, std::max(kMaxDeclaredColumns, static_cast<int>(grid.size())));
  if (rows.empty()) return;
  int columns = static_cast<int>(grid.size());
  bool irregular = false;
  for (const RowModel& row : rows) {
    int end = row.cells.empty() ? row.grid_before : row.cells.back().column + row.cells.back().span;
    irregular = irregular || row.grid_before > 0 || row.grid_after > 0;
    end += row.grid_after;
    columns = std::max(columns, end);
  }
  for (const RowModel& row : rows) {
    const int end =
        (row.cells.empty() ? row.grid_before : row.cells.back().column + row.cells.back().span) +
        row.grid_after;
    irregular = irregular || end != columns;
  }
  grid.resize(columns, 0);
  const auto grid_width = [&](int start, int span) {
    long long sum = 0;
    for (int i = start; i < start + span && i < columns; ++i) sum += grid[i];
    return sum;
  };

  const std::string saved_table_style = current_table_style_;
  current_table_style_ = style_id;

  const TableBorders& borders = props.borders;
  const bool any_border = IsVisibleBorder(borders.top) || IsVisibleBorder(borders.left) ||
                          IsVisibleBorder(borders.bottom) || IsVisibleBorder(borders.right) ||
                          IsVisibleBorder(borders.inside_h) || IsVisibleBorder(borders.inside_v);
  const std::string jc = props.justification.value_or(std::string());
  const bool aligned = jc == "center" || jc == "right";
  if (aligned) {
    BlockLineStart(depth);
    out_ += "<div align=" + jc + ">";
    BlockLineEnd(depth);
  }

  std::string open = "<table class=" + class_name + " border=" + (any_border ? "1" : "0") +
                     " cellspacing=0 cellpadding=0";
  std::string css;
  if (std::optional<int> width = TwipsWidth(props.width)) {
    open += " width=" + std::to_string(TwipsToPixels(*width));
    css += "width:";
    AppendTwipsPt(css, *width);
    css += ';';
  } else if (props.width && props.width->type == "pct" && props.width->value > 0) {
    const std::string percent = PointsText(props.width->value / 50.0);
    open += " width=\"" + percent + "%\"";
    css += "width:" + percent + "%;";
  }
  if (std::optional<int> indent = TwipsWidth(props.indent)) {
    css += "margin-left:";
    AppendTwipsPt(css, *indent);
    css += ';';
  }
  css += "border-collapse:collapse;";
  if (any_border) {
    css += "border:none;";
    const std::optional<Border>& outer = IsVisibleBorder(borders.top) ? borders.top : borders.left;
    if (IsVisibleBorder(outer)) css += "mso-border-alt:" + BorderText(outer, false) + ';';
  }
  if (props.look) {
    const unsigned long look = std::strtoul(props.look->c_str(), nullptr, 16);
    if (look != 0) css += "mso-yfti-tbllook:" + std::to_string(look) + ';';
  }
  css += "mso-padding-alt:";
  AppendPaddingValue(css, CellMargins{}, props.cell_margins);
  css += ';';
  AppendInsideBorder(css, "mso-border-insideh", borders.inside_h);
  AppendInsideBorder(css, "mso-border-insidev", borders.inside_v);
  AppendStyleAttribute(open, css);
  open += '>';
  BlockLineStart(depth);
  out_ += open;
  out_ += "\r\n";

  const std::string row_indent(static_cast<size_t>(depth) * 2 + 1, ' ');
  const std::string cell_indent(static_cast<size_t>(depth) * 2 + 2, ' ');
  for (size_t r = 0; r < rows.size(); ++r) {
    const RowModel& row = rows[r];
    if (OverBudget()) break;
    std::string row_css = "mso-yfti-irow:" + std::to_string(r) + ';';
    if (r == 0) row_css += "mso-yfti-firstrow:yes;";
    if (r + 1 == rows.size()) row_css += "mso-yfti-lastrow:yes;";
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
    auto placeholder = [&](int start, int span, const std::optional<int>& width) {
      const long long twips = width ? *width : grid_width(start, span);
      out_ += cell_indent + "<td width=" + std::to_string(TwipsToPixels(twips));
      if (span > 1) out_ += " colspan=" + std::to_string(span);
      out_ += " style='mso-cell-special:placeholder;border:none;padding:0cm 0cm 0cm 0cm;width:";
      AppendTwipsPt(out_, twips);
      out_ += "'><p class='MsoNormal'>&nbsp;</td>\r\n";
    };
    if (row.grid_before > 0) placeholder(0, row.grid_before, row.width_before);
    for (const CellModel& cell : row.cells) {
      if (cell.covered || OverBudget()) continue;
      const CellProperties cell_props = ParseCellProperties(cell.tc.child("w:tcPr"));
      const long long width = TwipsWidth(cell_props.width) ? *TwipsWidth(cell_props.width)
                                                           : grid_width(cell.column, cell.span);
      out_ += cell_indent + "<td";
      if (width > 0) out_ += " width=" + std::to_string(TwipsToPixels(width));
      if (cell.span > 1) out_ += " colspan=" + std::to_string(cell.span);
      if (cell.rowspan > 1) out_ += " rowspan=" + std::to_string(cell.rowspan);
      const std::string valign = cell_props.vertical_align.value_or("top");
      if (valign == "top" || valign == "bottom") out_ += " valign=" + valign;
      if (cell_props.no_wrap.value_or(false)) out_ += " nowrap";
      std::string cell_css;
      if (width > 0) {
        cell_css += "width:";
        AppendTwipsPt(cell_css, width);
        cell_css += ';';
      }
      const bool last_row = r + cell.rowspan >= rows.size();
      const bool last_column = cell.column + cell.span >= columns - row.grid_after;
      AppendCellBorders(cell_css, cell, cell_props, borders, r == 0, last_row, last_column);
      if (cell_props.shading) {
        AppendShadingCss(cell_css, *cell_props.shading);
      } else if (props.shading) {
        AppendShadingCss(cell_css, *props.shading);
      }
      cell_css += "padding:";
      AppendPaddingValue(cell_css, cell_props.margins, props.cell_margins);
      cell_css += ';';
      cell_css += height_css;
      AppendStyleAttribute(out_, cell_css);
      out_ += ">\r\n";
      WriteBlocks(cell.tc, depth + 1);
      out_ += cell_indent + "</td>\r\n";
    }
    if (row.grid_after > 0) {
      placeholder(columns - row.grid_after, row.grid_after, row.width_after);
    }
    out_ += row_indent + "</tr>\r\n";
  }
  if (irregular) {
    // Rows that do not share the grid: Word adds a zero-height row that
    // fixes every column's width.
    out_ += row_indent + "<![if !supportMisalignedColumns]>\r\n";
    out_ += row_indent + "<tr height=0>\r\n";
    for (int c = 0; c < columns; ++c) {
      out_ += cell_indent + "<td width=" + std::to_string(TwipsToPixels(grid[c])) +
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
