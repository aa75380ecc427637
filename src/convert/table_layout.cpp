#include "convert/table_layout.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "convert/docx_xml.h"
#include "convert/html_css.h"
#include "convert/html_text.h"

namespace tessarine::convert {

namespace {

bool Is(pugi::xml_node node, const char* name) {
  return std::strcmp(node.name(), name) == 0;
}

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

enum class VerticalMerge : char { kNone, kRestart, kContinue };

// The rows with their cells in grid columns, spans bounded by
// `column_limit`, row spans from vertical merges, and each cell's own width
// in twips where it has one (0 where not).
std::vector<RowLayout> BuildRows(pugi::xml_node tbl, int column_limit,
                                 std::vector<std::optional<int>>& before_widths,
                                 std::vector<std::optional<int>>& after_widths) {
  std::vector<RowLayout> rows;
  // By column: (row, cell) of the vertical merge origin each cell of the
  // previous row continues or starts.
  std::vector<std::pair<int, int>> above;
  std::vector<VerticalMerge> merges;  // of the current row's cells
  // Room left in the grid from `column`, at least one so that every cell is written.
  const auto bounded = [&](int declared, int column, int minimum) {
    return std::clamp(declared, minimum, std::max(1, column_limit - column));
  };
  ForEachChild(tbl, "w:tr", [&](pugi::xml_node tr) {
    pugi::xml_node tr_pr = tr.child("w:trPr");
    // A row deleted with change tracking on is gone in the accepted view.
    if (tr_pr.child("w:del")) return;
    RowLayout row;
    row.tr = tr;
    row.grid_before = bounded(IntAttribute(tr_pr.child("w:gridBefore"), "w:val").value_or(0), 0, 0);
    before_widths.push_back(TwipsAttribute(tr_pr.child("w:wBefore"), "w:w"));
    after_widths.push_back(TwipsAttribute(tr_pr.child("w:wAfter"), "w:w"));
    if (pugi::xml_node height = tr_pr.child("w:trHeight")) {
      row.height = TwipsAttribute(height, "w:val");
      row.exact_height = std::string_view(height.attribute("w:hRule").value()) == "exact";
      if (row.height && *row.height <= 0) row.height.reset();
    }
    row.cant_split = OnOffChild(tr_pr, "w:cantSplit").value_or(false);
    int column = std::max(0, row.grid_before);
    merges.clear();
    ForEachChild(tr, "w:tc", [&](pugi::xml_node tc) {
      const CellProperties props = ParseCellProperties(tc.child("w:tcPr"));
      CellLayout cell;
      cell.tc = tc;
      cell.column = column;
      cell.span = bounded(props.grid_span.value_or(1), column, 1);
      // Legacy horizontal merges join the cell to the one before it.
      if (props.horizontal_merge == "continue" && !row.cells.empty()) {
        row.cells.back().span += cell.span;
        column += cell.span;
        return;
      }
      column += cell.span;
      cell.width = TwipsWidth(props.width).value_or(0);
      const std::string merge = props.vertical_merge.value_or(std::string());
      merges.push_back(merge == "restart"    ? VerticalMerge::kRestart
                       : merge == "continue" ? VerticalMerge::kContinue
                                             : VerticalMerge::kNone);
      row.cells.push_back(cell);
    });
    row.grid_after =
        bounded(IntAttribute(tr_pr.child("w:gridAfter"), "w:val").value_or(0), column, 0);
    // Vertical merges: a "continue" cell extends the cell above it that
    // starts in the same grid column.
    const int r = static_cast<int>(rows.size());
    std::vector<std::pair<int, int>> current;
    for (size_t c = 0; c < row.cells.size(); ++c) {
      CellLayout& cell = row.cells[c];
      const VerticalMerge merge = merges[c];
      if (merge == VerticalMerge::kContinue) {
        bool joined = false;
        for (size_t i = 0; i < above.size(); ++i) {
          const auto [origin_row, origin_cell] = above[i];
          CellLayout& origin = rows[origin_row].cells[origin_cell];
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
      if (merge != VerticalMerge::kNone) current.emplace_back(r, static_cast<int>(c));
    }
    above = std::move(current);
    rows.push_back(std::move(row));
  });
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

// A collapsed side shows as "none", with the real border kept in
// mso-border-…-alt; so does a side thinner than a point.
void AppendCellBorders(std::string& css, const CellBorders& cell) {
  static constexpr std::string_view kNames[] = {"top", "right", "bottom", "left"};
  const auto& real = cell.borders;
  std::array<std::string, 4> shown;
  for (int i = 0; i < 4; ++i) shown[i] = cell.collapsed[i] ? "none" : BorderText(real[i], true);
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
    if (cell.collapsed[i]) {
      css += "mso-border-" + std::string(kNames[i]) + "-alt:" + BorderText(real[i], false) + ';';
    }
    needs_alt = needs_alt || IsThinBorder(*real[i]) || cell.collapsed[i];
  }
  if (all_same && needs_alt) {
    css += "mso-border-alt:" + BorderText(real[0], false) + ';';
  } else {
    for (int i = 0; i < 4; ++i) {
      if (IsVisibleBorder(real[i]) && !cell.collapsed[i] && IsThinBorder(*real[i])) {
        css += "mso-border-" + std::string(kNames[i]) + "-alt:" + BorderText(real[i], false) + ';';
      }
    }
  }
}

}  // namespace

TableLayout LayOutTable(pugi::xml_node tbl, const StyleSheet& styles) {
  TableLayout table;
  const TableProperties direct = ParseTableProperties(tbl.child("w:tblPr"));
  if (direct.style_id && styles.Find(*direct.style_id) != nullptr) {
    table.style_id = *direct.style_id;
  } else if (const Style* normal = styles.DefaultStyle(StyleType::kTable)) {
    table.style_id = normal->style_id;
  }
  table.props =
      table.style_id.empty() ? direct : Merge(styles.EffectiveTable(table.style_id), direct);
  table.class_name = table.style_id.empty() ? std::string() : styles.ClassName(table.style_id);
  if (table.class_name.empty()) table.class_name = "MsoNormalTable";

  for (pugi::xml_node col : tbl.child("w:tblGrid").children("w:gridCol")) {
    table.grid.push_back(std::max(0, TwipsAttribute(col, "w:w").value_or(0)));
  }
  std::vector<std::optional<int>> before_widths, after_widths;
  table.rows = BuildRows(tbl, std::max(kMaxDeclaredColumns, static_cast<int>(table.grid.size())),
                         before_widths, after_widths);
  std::vector<RowLayout>& rows = table.rows;
  int columns = static_cast<int>(table.grid.size());
  const auto row_end = [](const RowLayout& row) {
    return (row.cells.empty() ? row.grid_before : row.cells.back().column + row.cells.back().span) +
           row.grid_after;
  };
  for (const RowLayout& row : rows) {
    table.irregular = table.irregular || row.grid_before > 0 || row.grid_after > 0;
    columns = std::max(columns, row_end(row));
  }
  for (const RowLayout& row : rows) table.irregular = table.irregular || row_end(row) != columns;
  table.grid.resize(static_cast<size_t>(columns), 0);
  const auto grid_width = [&](int start, int span) {
    long long sum = 0;
    for (int i = start; i < start + span && i < columns; ++i) sum += table.grid[i];
    return sum;
  };

  const TableBorders& borders = table.props.borders;
  table.any_border = IsVisibleBorder(borders.top) || IsVisibleBorder(borders.left) ||
                     IsVisibleBorder(borders.bottom) || IsVisibleBorder(borders.right) ||
                     IsVisibleBorder(borders.inside_h) || IsVisibleBorder(borders.inside_v);
  for (size_t r = 0; r < rows.size(); ++r) {
    RowLayout& row = rows[r];
    row.width_before = before_widths[r] ? *before_widths[r] : grid_width(0, row.grid_before);
    row.width_after =
        after_widths[r] ? *after_widths[r] : grid_width(columns - row.grid_after, row.grid_after);
    for (CellLayout& cell : row.cells) {
      if (cell.width == 0) cell.width = grid_width(cell.column, cell.span);
      cell.first_row = r == 0;
      cell.last_row = r + static_cast<size_t>(cell.rowspan) >= rows.size();
      cell.last_column = cell.column + cell.span >= columns - row.grid_after;
    }
  }
  return table;
}

std::string TableCss(const TableLayout& table) {
  const TableProperties& props = table.props;
  std::string css;
  if (std::optional<int> width = TwipsWidth(props.width)) {
    css += "width:";
    AppendTwipsPt(css, *width);
    css += ';';
  } else if (props.width && props.width->type == "pct" && props.width->value > 0) {
    css += "width:" + PointsText(props.width->value / 50.0) + "%;";
  }
  if (std::optional<int> indent = TwipsWidth(props.indent)) {
    css += "margin-left:";
    AppendTwipsPt(css, *indent);
    css += ';';
  }
  css += "border-collapse:collapse;";
  const TableBorders& borders = props.borders;
  if (table.any_border) {
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
  return css;
}

// A side shared with the cell above or to the left is drawn by that cell.
CellBorders ResolveCellBorders(const TableLayout& table, const CellLayout& cell,
                               const CellProperties& props) {
  const TableBorders& own = props.borders;
  const TableBorders& edges = table.props.borders;
  CellBorders result;
  result.borders = {
      own.top ? own.top : (cell.first_row ? edges.top : edges.inside_h),
      own.right ? own.right : (cell.last_column ? edges.right : edges.inside_v),
      own.bottom ? own.bottom : (cell.last_row ? edges.bottom : edges.inside_h),
      own.left ? own.left : (cell.column == 0 ? edges.left : edges.inside_v),
  };
  result.collapsed = {!cell.first_row && !own.top, false, false, cell.column != 0 && !own.left};
  return result;
}

std::string CellCss(const TableLayout& table, const CellLayout& cell, const CellProperties& props,
                    const std::string& row_height_css) {
  std::string css;
  if (cell.width > 0) {
    css += "width:";
    AppendTwipsPt(css, cell.width);
    css += ';';
  }
  AppendCellBorders(css, ResolveCellBorders(table, cell, props));
  if (props.shading) {
    AppendShadingCss(css, *props.shading);
  } else if (table.props.shading) {
    AppendShadingCss(css, *table.props.shading);
  }
  css += "padding:";
  AppendPaddingValue(css, props.margins, table.props.cell_margins);
  css += ';';
  css += row_height_css;
  return css;
}

}  // namespace tessarine::convert
