// Prints, as JSON lines, how a .docx lays out each body paragraph and table
// cell by the document's own formatting, resolved through the style sheet
// and numbering models (not through the HTML writer), for comparing with a
// browser's layout of a converted page (layout_fidelity.py).
//
//   layout_expectations DOCUMENT.docx
//
// One object per paragraph of the main story, in document order (text boxes,
// deleted text and fallbacks left out):
//   {"kind":"p","text":"…","left":36.0,"first":-18.0,"align":"left",
//    "size":10.5,"bold":false,"italic":false,"color":"#000000","list":1}
// left and first (first-line indent, negative = hanging) in points; list is
// the numbering level + 1, 0 for no numbering. One per table cell, in order:
//   {"kind":"cell","text":"…","colspan":2,"rowspan":1,
//    "borders":[["solid",0.5,"#000000"],["none",0,""],…]}
// borders: top, right, bottom, left as a reader sees them where two cells
// meet (the heavier of the two borders there), each as a CSS style family
// (solid, double, dotted, dashed, outset, inset, none), width in points and
// colour.
#include <array>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "convert/docx_package.h"
#include "convert/docx_styles.h"
#include "convert/numbering.h"
#include "story_text.h"

namespace {

using tessarine::tools::AppendStoryText;
using tessarine::tools::IsOtherStory;

using namespace tessarine::convert;

// The first run that shows more than spaces, for the paragraph's font.
pugi::xml_node FirstTextRun(pugi::xml_node node) {
  for (pugi::xml_node child : node.children()) {
    if (IsOtherStory(child)) continue;
    if (std::string_view(child.name()) == "w:r") {
      for (pugi::xml_node t : child.children("w:t")) {
        const std::string_view text = t.text().get();
        if (text.find_first_not_of(" \t") != std::string_view::npos) return child;
      }
      continue;
    }
    if (pugi::xml_node run = FirstTextRun(child)) return run;
  }
  return {};
}

void Json(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      out += ' ';
    } else {
      out += c;
    }
  }
  out += '"';
}

// The first characters of a text, never cutting a UTF-8 sequence.
std::string Head(const std::string& text) {
  size_t end = std::min<size_t>(text.size(), 200);
  while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

// A border as a reader sees it.
struct Edge {
  std::string style = "none";
  double width = 0;
  std::string color;
};

Edge SeenEdge(const std::optional<Border>& border) {
  Edge edge;
  if (!border || border->val.empty() || border->val == "nil" || border->val == "none") return edge;
  const std::string& val = border->val;
  if (val == "double" || val.starts_with("thinThick") || val.starts_with("thickThin") ||
      val == "triple") {
    edge.style = "double";
  } else if (val == "dotted") {
    edge.style = "dotted";
  } else if (val == "dashed" || val == "dashSmallGap" || val == "dotDash" || val == "dotDotDash") {
    edge.style = "dashed";
  } else if (val == "outset" || val == "inset") {
    edge.style = val;
  } else {
    edge.style = "solid";
  }
  edge.width = border->size.value_or(4) / 8.0;
  edge.color = border->color.size() == 6 ? "#" + border->color : "#000000";
  for (char& c : edge.color) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return edge;
}

// Where two cells meet, the wider border shows; between equals, the first.
const Edge& Heavier(const Edge& first, const Edge& second) {
  return second.width > first.width ? second : first;
}

class Walker {
 public:
  Walker(const StyleSheet& styles, const Numbering& numbering)
      : styles_(styles), numbering_(numbering) {}

  void Blocks(pugi::xml_node parent, const std::string& table_style) {
    for (pugi::xml_node child : parent.children()) {
      const std::string_view name = child.name();
      if (name == "w:p") {
        Paragraph(child, table_style);
      } else if (name == "w:tbl") {
        Table(child);
      } else if (name == "w:sdt") {
        Blocks(child.child("w:sdtContent"), table_style);
      } else if (name == "w:customXml" || name == "w:ins" || name == "w:moveTo") {
        Blocks(child, table_style);
      }
    }
  }

 private:
  void Paragraph(pugi::xml_node p, const std::string& table_style) {
    const ParagraphProperties direct = ParseParagraphProperties(p.child("w:pPr"));
    const std::string style_id = direct.style_id.value_or("");
    ParagraphProperties resolved = styles_.ResolveParagraphProperties(style_id, direct);
    // Numbering: its level's indent lies between the style's and the
    // paragraph's own.
    int list = 0;
    if (resolved.num_id && *resolved.num_id != 0) {
      int ilvl = resolved.num_level.value_or(0);
      if (!resolved.num_level) {
        if (auto tied = numbering_.LevelForStyle(*resolved.num_id, style_id)) ilvl = *tied;
      }
      if (const ListLevel* level = numbering_.Level(*resolved.num_id, ilvl)) {
        list = ilvl + 1;
        if (level->indent_left_twips && !direct.indent_left && !direct.indent_left_chars) {
          resolved.indent_left = level->indent_left_twips;
          resolved.indent_left_chars.reset();
        }
        const bool own_first = direct.indent_hanging || direct.indent_first_line ||
                               direct.indent_hanging_chars || direct.indent_first_line_chars;
        if ((level->indent_hanging_twips || level->indent_first_line_twips) && !own_first) {
          resolved.indent_hanging = level->indent_hanging_twips;
          resolved.indent_first_line = level->indent_first_line_twips;
          resolved.indent_hanging_chars.reset();
          resolved.indent_first_line_chars.reset();
        }
      }
    }
    RunProperties run_direct;
    if (pugi::xml_node run = FirstTextRun(p)) run_direct = ParseRunProperties(run.child("w:rPr"));
    const RunProperties run = styles_.ResolveRunProperties(style_id, run_direct, table_style);
    const double size = run.size.value_or(20) / 2.0;
    const double paragraph_size =
        styles_.ResolveRunProperties(style_id, {}, table_style).size.value_or(20) / 2.0;

    double left = resolved.indent_left.value_or(0) / 20.0;
    if (resolved.indent_left_chars) left = *resolved.indent_left_chars / 100.0 * paragraph_size;
    double first = 0;
    if (resolved.indent_hanging_chars && *resolved.indent_hanging_chars != 0) {
      first = -*resolved.indent_hanging_chars / 100.0 * paragraph_size;
    } else if (resolved.indent_first_line_chars && *resolved.indent_first_line_chars != 0) {
      first = *resolved.indent_first_line_chars / 100.0 * paragraph_size;
    } else if (resolved.indent_hanging && *resolved.indent_hanging != 0) {
      first = -*resolved.indent_hanging / 20.0;
    } else if (resolved.indent_first_line) {
      first = *resolved.indent_first_line / 20.0;
    }
    std::string align = "left";
    const std::string jc = resolved.justification.value_or("left");
    if (jc == "both" || jc == "distribute") align = "justify";
    if (jc == "center") align = "center";
    if (jc == "right" || jc == "end") align = "right";

    std::string text;
    AppendStoryText(p, text);
    std::string line = "{\"kind\":\"p\",\"text\":";
    Json(line, Head(text));
    line += ",\"left\":" + Number(left) + ",\"first\":" + Number(first) + ",\"align\":\"" + align +
            "\",\"size\":" + Number(size) +
            ",\"bold\":" + (run.bold.value_or(false) ? "true" : "false") +
            ",\"italic\":" + (run.italic.value_or(false) ? "true" : "false") + ",\"color\":";
    const std::string color = run.color.value_or("auto");
    Json(line, color == "auto" || color.size() != 6 ? "" : "#" + color);
    line += ",\"list\":" + std::to_string(list) + "}";
    std::cout << line << "\n";
  }

  void Table(pugi::xml_node tbl) {
    const TableProperties table = ParseTableProperties(tbl.child("w:tblPr"));
    std::string table_style = table.style_id.value_or("");
    if (styles_.Find(table_style) == nullptr) {
      const Style* normal = styles_.DefaultStyle(StyleType::kTable);
      table_style = normal != nullptr ? normal->style_id : "";
    }
    const TableBorders outer =
        (table_style.empty() ? table : Merge(styles_.EffectiveTable(table_style), table)).borders;
    // Row spans: a cell that restarts a vertical merge spans the rows below
    // that continue it in the same grid column.
    std::vector<pugi::xml_node> rows;
    for (pugi::xml_node row : tbl.children("w:tr")) rows.push_back(row);
    std::vector<std::map<int, pugi::xml_node>> grid(rows.size());
    std::vector<int> row_end(rows.size(), 0);
    for (size_t r = 0; r < rows.size(); ++r) {
      pugi::xml_node tr_pr = rows[r].child("w:trPr");
      int column = tr_pr.child("w:gridBefore").attribute("w:val").as_int(0);
      for (pugi::xml_node tc : rows[r].children("w:tc")) {
        grid[r][column] = tc;
        column += std::max(1, ParseCellProperties(tc.child("w:tcPr")).grid_span.value_or(1));
      }
      row_end[r] = column;
    }
    // Each cell's own borders, the table's standing in where it has none.
    const auto sides = [&](size_t r, int column) {
      const pugi::xml_node tc = grid[r].at(column);
      const CellProperties cell = ParseCellProperties(tc.child("w:tcPr"));
      const int span = std::max(1, cell.grid_span.value_or(1));
      // A merged cell ends where its merge ends.
      size_t last = r;
      while (cell.vertical_merge && last + 1 < rows.size()) {
        auto it = grid[last + 1].find(column);
        if (it == grid[last + 1].end()) break;
        const CellProperties next = ParseCellProperties(it->second.child("w:tcPr"));
        if (!next.vertical_merge || *next.vertical_merge == "restart") break;
        ++last;
      }
      const CellProperties bottom_cell =
          last == r ? cell : ParseCellProperties(grid[last].at(column).child("w:tcPr"));
      const TableBorders& own = cell.borders;
      const auto pick = [](const std::optional<Border>& mine, const std::optional<Border>& edge,
                           const std::optional<Border>& inside, bool at_edge) {
        return SeenEdge(mine ? mine : (at_edge ? edge : inside));
      };
      return std::array<Edge, 4>{
          pick(own.top, outer.top, outer.inside_h, r == 0),
          pick(own.right, outer.right, outer.inside_v, column + span >= row_end[r]),
          pick(bottom_cell.borders.bottom, outer.bottom, outer.inside_h, last + 1 >= rows.size()),
          pick(own.left, outer.left, outer.inside_v, column == 0)};
    };
    // The grid column where the cell of row `r` covering `column` starts.
    const auto covering = [&](size_t r, int column) -> std::optional<int> {
      auto it = grid[r].upper_bound(column);
      if (it == grid[r].begin()) return std::nullopt;
      --it;
      const int span =
          std::max(1, ParseCellProperties(it->second.child("w:tcPr")).grid_span.value_or(1));
      if (column >= it->first + span) return std::nullopt;
      return it->first;
    };
    for (size_t r = 0; r < rows.size(); ++r) {
      for (const auto& [column, tc] : grid[r]) {
        const CellProperties cell = ParseCellProperties(tc.child("w:tcPr"));
        if (cell.vertical_merge && *cell.vertical_merge != "restart") {
          Blocks(tc, table_style);
          continue;  // covered by the cell above
        }
        int rowspan = 1;
        if (cell.vertical_merge) {
          for (size_t below = r + 1; below < rows.size(); ++below) {
            auto it = grid[below].find(column);
            if (it == grid[below].end()) break;
            const CellProperties next = ParseCellProperties(it->second.child("w:tcPr"));
            if (!next.vertical_merge || *next.vertical_merge == "restart") break;
            ++rowspan;
          }
        }
        std::string text;
        AppendStoryText(tc, text);
        std::string line = "{\"kind\":\"cell\",\"text\":";
        Json(line, Head(text));
        line += ",\"colspan\":" + std::to_string(std::max(1, cell.grid_span.value_or(1))) +
                ",\"rowspan\":" + std::to_string(rowspan) + ",\"borders\":[";
        std::array<Edge, 4> seen = sides(r, column);
        // The top edge meets the cell above (the first row of its merge),
        // the left edge the cell before.
        if (r > 0) {
          if (std::optional<int> above = covering(r - 1, column)) {
            size_t origin = r - 1;
            while (origin > 0 &&
                   ParseCellProperties(grid[origin].at(*above).child("w:tcPr"))
                           .vertical_merge.value_or("restart") != "restart" &&
                   grid[origin - 1].count(*above)) {
              --origin;
            }
            seen[0] = Heavier(sides(origin, *above)[2], seen[0]);
          }
        }
        if (column > 0) {
          if (std::optional<int> before = covering(r, column - 1)) {
            seen[3] = Heavier(sides(r, *before)[1], seen[3]);
          }
        }
        for (size_t i = 0; i < 4; ++i) {
          line += i ? ",[" : "[";
          Json(line, seen[i].style);
          line += "," + Number(seen[i].width) + ",";
          Json(line, seen[i].color);
          line += "]";
        }
        line += "]}";
        std::cout << line << "\n";
        Blocks(tc, table_style);
      }
    }
  }

  const StyleSheet& styles_;
  const Numbering& numbering_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: layout_expectations DOCUMENT.docx\n";
    return 2;
  }
  auto package = DocxPackage::Open(argv[1]);
  if (!package.ok()) {
    std::cerr << "Open:" << package.message() << "\n";
    return 1;
  }
  const StyleSheet styles = StyleSheet::Parse(package->styles_part());
  const pugi::xml_document* numbering_part = package->numbering_part();
  const pugi::xml_document* styles_part = package->styles_part();
  const Numbering numbering = Numbering::Parse(
      numbering_part != nullptr ? pugi::xml_node(*numbering_part) : pugi::xml_node(),
      styles_part != nullptr ? pugi::xml_node(*styles_part) : pugi::xml_node());
  Walker walker(styles, numbering);
  walker.Blocks(package->main_document().child("w:document").child("w:body"), "");
  return 0;
}
