#include "convert/html_picture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <span>

#include "convert/chart_svg.h"
#include "convert/docx_xml.h"
#include "convert/html_body.h"
#include "convert/html_text.h"

namespace tessarine::convert {

namespace {

bool Is(pugi::xml_node node, const char* name) {
  return std::strcmp(node.name(), name) == 0;
}

// Groups inside groups; nothing real nests deeper.
constexpr int kMaxGroupNesting = 32;
constexpr double kEmuPerPoint = 12700;
// Lengths beyond this many points are damage, not layout; bounding them
// keeps every conversion to pixels in range.
constexpr double kMaxPoints = 1e6;

double Bounded(double points) {
  if (!std::isfinite(points)) return 0;
  return std::clamp(points, -kMaxPoints, kMaxPoints);
}

double EmuToPoints(long long emu) {
  return Bounded(static_cast<double>(emu) / kEmuPerPoint);
}

long long ElementEmu(pugi::xml_node node) {
  return std::strtoll(node.text().get(), nullptr, 10);
}

long long AttributeEmu(pugi::xml_node node, const char* name) {
  return EmuAttribute(node, name).value_or(0);
}

// Description text on one line: Word's alt text never breaks.
std::string OneLine(std::string_view text) {
  std::string line;
  for (char c : text) {
    const bool space = c == '\r' || c == '\n' || c == '\t';
    line += space ? ' ' : c;
  }
  return line;
}

// A drawing's rectangle, in points from the drawing's top-left corner.
struct Frame {
  double x = 0, y = 0, width = 0, height = 0;
};

// Child coordinates of a group to the drawing's points.
struct Transform {
  double origin_x = 0, origin_y = 0;  // child coordinates of the frame's corner
  double scale_x = 1 / kEmuPerPoint, scale_y = 1 / kEmuPerPoint;  // points per child unit
  double left = 0, top = 0;  // the frame's corner in the drawing
  Frame Map(double x, double y, double width, double height) const {
    return {Bounded(left + (x - origin_x) * scale_x), Bounded(top + (y - origin_y) * scale_y),
            Bounded(width * scale_x), Bounded(height * scale_y)};
  }
};

// A group whose frame is `frame` and whose members use the child
// coordinates `child_x`, `child_y`, `child_width`, `child_height`.
Transform GroupTransform(const Frame& frame, double child_x, double child_y, double child_width,
                         double child_height) {
  Transform transform;
  transform.origin_x = child_x;
  transform.origin_y = child_y;
  transform.scale_x = child_width > 0 ? frame.width / child_width : 1 / kEmuPerPoint;
  transform.scale_y = child_height > 0 ? frame.height / child_height : 1 / kEmuPerPoint;
  transform.left = frame.x;
  transform.top = frame.y;
  return transform;
}

// --- Placement ---------------------------------------------------------------------

std::string HorizontalReference(std::string_view relative_from) {
  if (relative_from == "margin") return "margin";
  if (relative_from == "page") return "page";
  if (relative_from == "character") return "char";
  if (relative_from == "leftMargin") return "left-margin-area";
  if (relative_from == "rightMargin") return "right-margin-area";
  if (relative_from == "insideMargin") return "inner-margin-area";
  if (relative_from == "outsideMargin") return "outer-margin-area";
  return "text";  // column
}

std::string VerticalReference(std::string_view relative_from) {
  if (relative_from == "margin") return "margin";
  if (relative_from == "page") return "page";
  if (relative_from == "line") return "line";
  if (relative_from == "topMargin") return "top-margin-area";
  if (relative_from == "bottomMargin") return "bottom-margin-area";
  if (relative_from == "insideMargin") return "inner-margin-area";
  if (relative_from == "outsideMargin") return "outer-margin-area";
  return "text";  // paragraph
}

// The fallback's offsets from the paragraph, which is all a browser knows:
// exact for column and paragraph references, the column's edge standing in
// for the page's otherwise, and a shape placed against the page vertically
// shown at its paragraph.
void EstimateFallbackOffsets(ShapePlacement& place, double width_pt, const PageGeometry& page) {
  double left = place.left_pt;
  if (place.horizontal == "center") {
    left = (page.text_width_pt - width_pt) / 2;
  } else if (place.horizontal == "right") {
    left = page.text_width_pt - width_pt;
  } else if (place.horizontal != "absolute") {
    left = 0;
  } else if (place.horizontal_relative == "page" ||
             place.horizontal_relative == "left-margin-area") {
    left = place.left_pt - page.margin_left_pt;
  } else if (place.horizontal_relative == "right-margin-area") {
    left = place.left_pt + page.text_width_pt;
  }
  double top = 0;
  if (place.vertical == "absolute" &&
      (place.vertical_relative == "text" || place.vertical_relative == "line")) {
    top = place.top_pt;
  }
  place.left_px = PointsToPixels(Bounded(left));
  place.top_px = PointsToPixels(Bounded(top));
}

// An alignment as VML names it; anything unknown is an absolute position.
std::string KnownAlignment(std::string_view value, bool vertical) {
  static constexpr std::string_view kHorizontal[] = {"left", "center", "right", "inside",
                                                     "outside"};
  static constexpr std::string_view kVertical[] = {"top", "center", "bottom", "inside", "outside"};
  for (std::string_view known : vertical ? std::span(kVertical) : std::span(kHorizontal)) {
    if (value == known) return std::string(known);
  }
  return "absolute";
}

ShapePlacement AnchorPlacement(pugi::xml_node anchor, double width_pt, const PageGeometry& page) {
  ShapePlacement place;
  place.floating = true;
  long long height = std::strtoll(anchor.attribute("relativeHeight").value(), nullptr, 10);
  height = std::clamp<long long>(height, 0, 1LL << 40);
  place.z_index = OnOffValue(anchor.attribute("behindDoc").value()) &&
                          *anchor.attribute("behindDoc").value() != '\0'
                      ? -height
                      : height;
  if (*anchor.attribute("simplePos").value() != '\0' &&
      OnOffValue(anchor.attribute("simplePos").value())) {
    pugi::xml_node simple = anchor.child("wp:simplePos");
    place.horizontal_relative = place.vertical_relative = "page";
    place.left_pt = EmuToPoints(AttributeEmu(simple, "x"));
    place.top_pt = EmuToPoints(AttributeEmu(simple, "y"));
  } else {
    pugi::xml_node h = anchor.child("wp:positionH");
    place.horizontal_relative = HorizontalReference(h.attribute("relativeFrom").value());
    if (pugi::xml_node align = h.child("wp:align")) {
      place.horizontal = KnownAlignment(align.text().get(), false);
    } else {
      place.left_pt = EmuToPoints(ElementEmu(h.child("wp:posOffset")));
    }
    pugi::xml_node v = anchor.child("wp:positionV");
    place.vertical_relative = VerticalReference(v.attribute("relativeFrom").value());
    if (pugi::xml_node align = v.child("wp:align")) {
      place.vertical = KnownAlignment(align.text().get(), true);
    } else {
      place.top_pt = EmuToPoints(ElementEmu(v.child("wp:posOffset")));
    }
  }
  if (anchor.child("wp:wrapSquare")) {
    place.wrap = "square";
  } else if (anchor.child("wp:wrapTight")) {
    place.wrap = "tight";
  } else if (anchor.child("wp:wrapThrough")) {
    place.wrap = "through";
  } else if (anchor.child("wp:wrapTopAndBottom")) {
    place.wrap = "topAndBottom";
  }
  EstimateFallbackOffsets(place, width_pt, page);
  return place;
}

// A member of a floating group takes the group's placement, moved by its
// offset in the group. An aligned group places its members at the group's
// estimated position, since each member aligned alone would fall elsewhere.
ShapePlacement MemberPlacement(const ShapePlacement& group, const Frame& frame) {
  ShapePlacement place = group;
  if (!place.floating) return place;
  if (place.horizontal != "absolute") {
    place.horizontal = "absolute";
    place.horizontal_relative = "text";
    place.left_pt = Bounded(static_cast<double>(place.left_px) * 0.75);
  }
  if (place.vertical != "absolute") {
    place.vertical = "absolute";
    place.vertical_relative = "text";
    place.top_pt = Bounded(static_cast<double>(place.top_px) * 0.75);
  }
  place.left_pt = Bounded(place.left_pt + frame.x);
  place.top_pt = Bounded(place.top_pt + frame.y);
  place.left_px += PointsToPixels(frame.x);
  place.top_px += PointsToPixels(frame.y);
  return place;
}

// --- Colours -------------------------------------------------------------------

// "#RRGGBB" from a VML colour ("#fc0", "white [3212]", "black").
std::string VmlColor(std::string_view value) {
  value = value.substr(0, value.find(' '));
  std::string hex;
  if (value.starts_with("#")) {
    hex = std::string(value.substr(1));
    if (hex.size() == 3) hex = {hex[0], hex[0], hex[1], hex[1], hex[2], hex[2]};
  } else if (value == "white") {
    hex = "FFFFFF";
  } else if (value == "black") {
    hex = "000000";
  }
  if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    return {};
  std::transform(hex.begin(), hex.end(), hex.begin(),
                 [](char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 32) : c; });
  return "#" + hex;
}

// --- DrawingML -------------------------------------------------------------------

struct DrawingReader {
  const PageGeometry& page;
  std::vector<DrawnShape>& shapes;
  UnshownDrawings& unshown;
  pugi::xml_node color_scheme;  // the theme's a:clrScheme
  ShapePlacement placement;     // of the whole drawing
  bool grouped = false;         // reading the members of a group or canvas

  void Picture(pugi::xml_node pic, pugi::xml_node names, const Frame& frame) {
    if (OnOffValue(names.attribute("hidden").value()) && *names.attribute("hidden").value()) return;
    pugi::xml_node blip = pic.child("pic:blipFill").child("a:blip");
    if (!blip) blip = pic.child("wps:spPr").child("a:blipFill").child("a:blip");
    DrawnShape shape;
    shape.kind = DrawnShape::Kind::kPicture;
    shape.image_id = blip.attribute("r:embed").value();
    shape.linked = shape.image_id.empty() && *blip.attribute("r:link").value() != '\0';
    if (shape.image_id.empty()) {
      if (shape.linked) ++unshown.linked;
      return;
    }
    Fill(shape, names, frame);
    shapes.push_back(std::move(shape));
  }

  void TextBox(pugi::xml_node wsp, pugi::xml_node names, const Frame& frame) {
    if (OnOffValue(names.attribute("hidden").value()) && *names.attribute("hidden").value()) return;
    pugi::xml_node content = wsp.child("wps:txbx").child("w:txbxContent");
    pugi::xml_node linked = wsp.child("wps:linkedTxbx");
    if (!content && !linked) {
      // A shape filled with a picture shows the picture.
      if (wsp.child("wps:spPr").child("a:blipFill")) Picture(wsp, names, frame);
      return;
    }
    DrawnShape shape;
    shape.kind = DrawnShape::Kind::kTextBox;
    shape.content = content;
    shape.source = wsp;
    if (linked) {
      shape.chain_id = linked.attribute("id").value();
      shape.chain_seq = std::max(1LL, std::strtoll(linked.attribute("seq").value(), nullptr, 10));
    } else if (const char* id = wsp.child("wps:txbx").attribute("id").value(); *id != '\0') {
      shape.chain_id = id;
      shape.chain_seq = 0;
    }
    pugi::xml_node body = wsp.child("wps:bodyPr");
    auto inset = [&](const char* name, double fallback) {
      const std::optional<long long> emu = EmuAttribute(body, name);
      return emu ? EmuToPoints(*emu) : fallback;
    };
    shape.inset_left = inset("lIns", 7.2);
    shape.inset_top = inset("tIns", 3.6);
    shape.inset_right = inset("rIns", 7.2);
    shape.inset_bottom = inset("bIns", 3.6);
    ShapeLook(wsp, shape);
    // Rotation in 60000ths of a degree.
    const double rotation =
        std::fmod(wsp.child("wps:spPr").child("a:xfrm").attribute("rot").as_double(0) / 60000, 360);
    if (std::isfinite(rotation)) shape.rotation = rotation;
    // Text direction: the box's text runs top to bottom (vert, eaVert,
    // wordArtVert …) or bottom to top (vert270).
    const std::string_view vert = body.attribute("vert").value();
    if (vert == "vert270") {
      shape.text_flow = "vertical;mso-layout-flow-alt:bottom-to-top";
    } else if (vert == "eaVert" || vert == "mongolianVert" || vert == "wordArtVertRtl") {
      shape.text_flow = "vertical-ideographic";
    } else if (vert == "vert" || vert == "wordArtVert") {
      shape.text_flow = "vertical";
    }
    Fill(shape, names, frame);
    shapes.push_back(std::move(shape));
  }

  // Fill and outline of a shape: its own properties, else the colours its
  // style refers to (wps:style fillRef / lnRef), as Word draws them.
  void ShapeLook(pugi::xml_node wsp, DrawnShape& shape) const {
    pugi::xml_node properties = wsp.child("wps:spPr");
    pugi::xml_node style = wsp.child("wps:style");
    const auto styled = [&](const char* ref) {
      pugi::xml_node node = style.child(ref);
      return node && node.attribute("idx").as_int(0) > 0 ? DrawingColorHex(node, color_scheme)
                                                         : std::string();
    };
    if (pugi::xml_node solid = properties.child("a:solidFill")) {
      shape.fill = DrawingColorHex(solid, color_scheme);
    } else if (pugi::xml_node gradient = properties.child("a:gradFill")) {
      shape.fill = DrawingColorHex(gradient.child("a:gsLst").child("a:gs"), color_scheme);
    } else if (!properties.child("a:noFill") && !properties.child("a:pattFill") &&
               !properties.child("a:blipFill")) {
      shape.fill = styled("a:fillRef");
    }
    pugi::xml_node line = properties.child("a:ln");
    if (pugi::xml_node solid = line.child("a:solidFill")) {
      shape.line = DrawingColorHex(solid, color_scheme);
    } else if (!line.child("a:noFill") && !line.child("a:gradFill") && !line.child("a:pattFill")) {
      shape.line = styled("a:lnRef");
    }
    if (const std::optional<long long> width = EmuAttribute(line, "w")) {
      shape.line_width_pt = EmuToPoints(*width);
    } else if (const int idx = style.child("a:lnRef").attribute("idx").as_int(0); idx > 0) {
      // The width of the theme's line style the reference names.
      pugi::xml_node styles =
          color_scheme.parent().child("a:fmtScheme").child("a:lnStyleLst").first_child();
      for (int i = 1; i < idx && styles; ++i) styles = styles.next_sibling();
      if (const std::optional<long long> themed = EmuAttribute(styles, "w")) {
        shape.line_width_pt = EmuToPoints(*themed);
      }
    }
  }

  void Fill(DrawnShape& shape, pugi::xml_node names, const Frame& frame) {
    shape.name = names.attribute("name").value();
    shape.alt = OneLine(names.attribute("descr").value());
    shape.width_pt = frame.width;
    shape.height_pt = frame.height;
    shape.place = grouped ? MemberPlacement(placement, frame) : placement;
  }

  // A member's frame from its own a:xfrm, in the group's child coordinates.
  static Frame MemberFrame(pugi::xml_node xfrm, const Transform& transform) {
    pugi::xml_node off = xfrm.child("a:off");
    pugi::xml_node ext = xfrm.child("a:ext");
    return transform.Map(
        static_cast<double>(AttributeEmu(off, "x")), static_cast<double>(AttributeEmu(off, "y")),
        static_cast<double>(AttributeEmu(ext, "cx")), static_cast<double>(AttributeEmu(ext, "cy")));
  }

  // A DrawingML group's members, in the child coordinates its a:xfrm names,
  // onto the group's `frame`.
  static Transform ChildTransform(const Frame& frame, pugi::xml_node xfrm) {
    pugi::xml_node child_off = xfrm.child("a:chOff");
    pugi::xml_node child_ext = xfrm.child("a:chExt");
    return GroupTransform(frame, static_cast<double>(AttributeEmu(child_off, "x")),
                          static_cast<double>(AttributeEmu(child_off, "y")),
                          static_cast<double>(AttributeEmu(child_ext, "cx")),
                          static_cast<double>(AttributeEmu(child_ext, "cy")));
  }

  // The members of a group or canvas.
  void Members(pugi::xml_node group, const Transform& transform, int nesting) {
    if (nesting > kMaxGroupNesting) return;
    grouped = true;
    for (pugi::xml_node member : group.children()) {
      if (Is(member, "mc:AlternateContent")) {
        Members(ReadableBranch(member), transform, nesting + 1);
      } else if (Is(member, "pic:pic")) {
        Picture(member, member.child("pic:nvPicPr").child("pic:cNvPr"),
                MemberFrame(member.child("pic:spPr").child("a:xfrm"), transform));
      } else if (Is(member, "wps:wsp")) {
        TextBox(member, member.child("wps:cNvPr"),
                MemberFrame(member.child("wps:spPr").child("a:xfrm"), transform));
      } else if (Is(member, "wpg:grpSp") || Is(member, "wpg:wgp")) {
        pugi::xml_node xfrm = member.child("wpg:grpSpPr").child("a:xfrm");
        Members(member, ChildTransform(MemberFrame(xfrm, transform), xfrm), nesting + 1);
      } else if (Is(member, "wpc:wpc")) {
        Members(member, transform, nesting + 1);
      }
    }
  }

  // The graphic of a wp:inline or wp:anchor whose docPr is `names` and whose
  // extent is `frame`.
  void Graphic(pugi::xml_node data, pugi::xml_node names, const Frame& frame, int nesting = 0) {
    if (nesting > kMaxGroupNesting) return;
    if (OnOffValue(names.attribute("hidden").value()) && *names.attribute("hidden").value()) return;
    for (pugi::xml_node item : data.children()) {
      if (Is(item, "pic:pic")) {
        Picture(item, names, frame);
      } else if (Is(item, "wps:wsp")) {
        TextBox(item, names, frame);
      } else if (Is(item, "wpg:wgp")) {
        Members(item, ChildTransform(frame, item.child("wpg:grpSpPr").child("a:xfrm")), 0);
      } else if (Is(item, "wpc:wpc")) {
        Transform canvas;  // members in EMU from the canvas's corner
        Members(item, canvas, 0);
      } else if (Is(item, "mc:AlternateContent")) {
        Graphic(ReadableBranch(item), names, frame, nesting + 1);
      } else if ((Is(item, "c:chart") && *item.attribute("r:id").value() != '\0') ||
                 (Is(item, "dgm:relIds") && *item.attribute("r:dm").value() != '\0')) {
        // Drawn as SVG pictures: a chart from its part, a diagram from the
        // drawing its data part names.
        DrawnShape shape;
        shape.kind = DrawnShape::Kind::kPicture;
        if (Is(item, "c:chart")) {
          shape.chart_id = item.attribute("r:id").value();
        } else {
          shape.diagram_id = item.attribute("r:dm").value();
        }
        Fill(shape, names, frame);
        shapes.push_back(std::move(shape));
      } else {
        ++unshown.rendered;  // a chart, a diagram, ink ...
      }
    }
  }

  // Text boxes of a drawing in a form this reader does not know.
  void LooseTextBoxes(pugi::xml_node node, int nesting) {
    if (nesting > kMaxGroupNesting) return;
    for (pugi::xml_node child : node.children()) {
      if (Is(child, "w:txbxContent")) {
        DrawnShape shape;
        shape.kind = DrawnShape::Kind::kTextBox;
        shape.content = child;
        shapes.push_back(std::move(shape));
      } else if (Is(child, "mc:AlternateContent")) {
        LooseTextBoxes(ReadableBranch(child), nesting + 1);
      } else if (child.first_child()) {
        LooseTextBoxes(child, nesting + 1);
      }
    }
  }
};

// --- VML -----------------------------------------------------------------------

// A VML style attribute as name/value pairs, in order.
std::vector<std::pair<std::string, std::string>> ParseVmlStyle(std::string_view style) {
  std::vector<std::pair<std::string, std::string>> declarations;
  while (!style.empty()) {
    const size_t semicolon = style.find(';');
    std::string_view item = style.substr(0, semicolon);
    style = semicolon == std::string_view::npos ? std::string_view() : style.substr(semicolon + 1);
    const size_t colon = item.find(':');
    if (colon == std::string_view::npos) continue;
    auto trim = [](std::string_view text) {
      while (!text.empty() && (text.front() == ' ' || text.front() == '\n' || text.front() == '\r'))
        text.remove_prefix(1);
      while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
      return text;
    };
    std::string name(trim(item.substr(0, colon)));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    declarations.emplace_back(std::move(name), std::string(trim(item.substr(colon + 1))));
  }
  return declarations;
}

const std::string* StyleValue(const std::vector<std::pair<std::string, std::string>>& style,
                              std::string_view name) {
  for (const auto& [key, value] : style) {
    if (key == name) return &value;
  }
  return nullptr;
}

// A CSS length in points; a number without unit is `unitless` points each
// (pixels at the top level, child coordinates inside a group).
std::optional<double> VmlLength(std::string_view text, double unitless) {
  std::string number(text);
  char* end = nullptr;
  const double value = std::strtod(number.c_str(), &end);
  if (end == number.c_str()) return std::nullopt;
  const std::string_view unit = std::string_view(number).substr(end - number.c_str());
  double points = value * unitless;
  if (unit == "pt") points = value;
  if (unit == "in") points = value * 72;
  if (unit == "cm") points = value * 72 / 2.54;
  if (unit == "mm") points = value * 72 / 25.4;
  if (unit == "px") points = value * 0.75;
  if (unit == "pc") points = value * 12;
  if (unit == "emu") points = value / kEmuPerPoint;
  return Bounded(points);
}

double StyleLength(const std::vector<std::pair<std::string, std::string>>& style,
                   std::string_view name, double unitless) {
  const std::string* value = StyleValue(style, name);
  return value != nullptr ? VmlLength(*value, unitless).value_or(0) : 0;
}

// "x,y" pairs of coordsize and coordorigin.
std::pair<double, double> VmlPair(std::string_view text, double fallback) {
  const std::string copy(text);
  char* end = nullptr;
  double first = std::strtod(copy.c_str(), &end);
  if (end == copy.c_str()) first = fallback;
  double second = fallback;
  if (*end == ',') {
    char* second_end = nullptr;
    second = std::strtod(end + 1, &second_end);
    if (second_end == end + 1) second = fallback;
  }
  return {first, second};
}

struct VmlReader {
  const PageGeometry& page;
  std::vector<DrawnShape>& shapes;
  UnshownDrawings& unshown;

  // The shape's frame and, at the top level, its placement.
  void Locate(const std::vector<std::pair<std::string, std::string>>& style, const Transform* group,
              const ShapePlacement& group_place, pugi::xml_node shape_node, DrawnShape& shape) {
    if (group != nullptr) {
      const Frame frame =
          group->Map(StyleLength(style, "left", 1) + StyleLength(style, "margin-left", 1),
                     StyleLength(style, "top", 1) + StyleLength(style, "margin-top", 1),
                     StyleLength(style, "width", 1), StyleLength(style, "height", 1));
      shape.width_pt = frame.width;
      shape.height_pt = frame.height;
      shape.place = MemberPlacement(group_place, frame);
      return;
    }
    shape.width_pt = StyleLength(style, "width", 0.75);
    shape.height_pt = StyleLength(style, "height", 0.75);
    const std::string* position = StyleValue(style, "position");
    if (position == nullptr || *position != "absolute") return;
    ShapePlacement& place = shape.place;
    place.floating = true;
    place.left_pt =
        Bounded(StyleLength(style, "margin-left", 0.75) + StyleLength(style, "left", 0.75));
    place.top_pt =
        Bounded(StyleLength(style, "margin-top", 0.75) + StyleLength(style, "top", 0.75));
    if (const std::string* z = StyleValue(style, "z-index")) {
      place.z_index =
          std::clamp<long long>(std::strtoll(z->c_str(), nullptr, 10), -(1LL << 40), 1LL << 40);
    }
    auto word = [&](std::string_view name, std::string_view fallback) {
      const std::string* value = StyleValue(style, name);
      std::string text(value != nullptr ? std::string_view(*value) : fallback);
      // Only names go back into the style attribute.
      if (text.find_first_not_of("abcdefghijklmnopqrstuvwxyz-") != std::string::npos)
        text = fallback;
      return text;
    };
    place.horizontal = word("mso-position-horizontal", "absolute");
    place.horizontal_relative = word("mso-position-horizontal-relative", "text");
    place.vertical = word("mso-position-vertical", "absolute");
    place.vertical_relative = word("mso-position-vertical-relative", "text");
    for (pugi::xml_node wrap : shape_node.children("w10:wrap")) {
      const std::string_view type = wrap.attribute("type").value();
      if (type == "square" || type == "tight" || type == "through" || type == "topAndBottom") {
        place.wrap = std::string(type);
      }
    }
    EstimateFallbackOffsets(place, shape.width_pt.value_or(0), page);
  }

  void Shape(pugi::xml_node node, const Transform* group, const ShapePlacement& group_place) {
    const auto style = ParseVmlStyle(node.attribute("style").value());
    if (const std::string* visibility = StyleValue(style, "visibility");
        visibility != nullptr && *visibility == "hidden") {
      return;
    }
    DrawnShape shape;
    shape.from_vml = true;
    shape.name = node.attribute("id").value();
    shape.spid = node.attribute("o:spid").value();
    shape.alt = OneLine(node.attribute("alt").value());
    pugi::xml_node image = Is(node, "v:image") ? node : node.child("v:imagedata");
    pugi::xml_node text_box = node.child("v:textbox").child("w:txbxContent");
    if (image) {
      shape.kind = DrawnShape::Kind::kPicture;
      shape.image_id = image.attribute("r:id").value();
      if (shape.image_id.empty()) shape.image_id = image.attribute("o:relid").value();
      if (shape.image_id.empty()) {
        if (*image.attribute("r:href").value() != '\0' ||
            *image.attribute("o:href").value() != '\0' || *image.attribute("src").value() != '\0') {
          ++unshown.linked;
        }
        return;
      }
      shape.ole = node.attribute("o:ole") != nullptr;
    } else if (text_box || node.child("v:textbox")) {
      shape.kind = DrawnShape::Kind::kTextBox;
      shape.content = text_box;
      shape.source = node;
      const std::string_view filled = node.attribute("filled").value();
      if (filled != "f" && filled != "false") {
        const char* color = node.attribute("fillcolor").value();
        shape.fill = *color != '\0' ? VmlColor(color) : "#FFFFFF";
      }
      const std::string_view stroked = node.attribute("stroked").value();
      if (stroked != "f" && stroked != "false") {
        const char* color = node.attribute("strokecolor").value();
        shape.line = *color != '\0' ? VmlColor(color) : "#000000";
        if (const char* weight = node.attribute("strokeweight").value(); *weight != '\0') {
          shape.line_width_pt = VmlLength(weight, 0.75).value_or(0.75);
        }
      }
      for (const auto& [name, value] :
           ParseVmlStyle(node.child("v:textbox").attribute("style").value())) {
        if (name == "layout-flow") shape.text_flow = value;
        if (name == "mso-next-textbox" && value.starts_with('#')) shape.vml_next = value.substr(1);
        if (name == "mso-layout-flow-alt" && value == "bottom-to-top" && !shape.text_flow.empty()) {
          shape.text_flow += ";mso-layout-flow-alt:bottom-to-top";
        }
      }
      const auto inset = ParseInset(node.child("v:textbox").attribute("inset").value());
      shape.inset_left = inset[0];
      shape.inset_top = inset[1];
      shape.inset_right = inset[2];
      shape.inset_bottom = inset[3];
    } else {
      return;  // a line, an arrow, a plain rectangle
    }
    Locate(style, group, group_place, node, shape);
    shapes.push_back(std::move(shape));
  }

  static std::array<double, 4> ParseInset(std::string_view text) {
    std::array<double, 4> inset = {7.2, 3.6, 7.2, 3.6};
    for (size_t i = 0; i < 4 && !text.empty(); ++i) {
      const size_t comma = text.find(',');
      const std::string_view item = text.substr(0, comma);
      if (!item.empty()) {
        // A bare number here is EMU (as VML's inset attribute reads it).
        if (std::optional<double> points = VmlLength(item, 1 / kEmuPerPoint)) inset[i] = *points;
      }
      text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    }
    return inset;
  }

  void Group(pugi::xml_node group, const Transform* parent, const ShapePlacement& parent_place,
             int nesting) {
    if (nesting > kMaxGroupNesting) return;
    const auto style = ParseVmlStyle(group.attribute("style").value());
    DrawnShape frame_shape;  // the group's own frame and placement
    Locate(style, parent, parent_place, group, frame_shape);
    Frame frame;
    if (parent != nullptr) {
      frame = parent->Map(StyleLength(style, "left", 1) + StyleLength(style, "margin-left", 1),
                          StyleLength(style, "top", 1) + StyleLength(style, "margin-top", 1),
                          StyleLength(style, "width", 1), StyleLength(style, "height", 1));
    } else {
      frame.width = frame_shape.width_pt.value_or(0);
      frame.height = frame_shape.height_pt.value_or(0);
    }
    const auto [size_x, size_y] = VmlPair(group.attribute("coordsize").value(), 1000);
    const auto [origin_x, origin_y] = VmlPair(group.attribute("coordorigin").value(), 0);
    const Transform transform = GroupTransform(frame, origin_x, origin_y, size_x, size_y);
    // Members are placed from the outermost group's position.
    const ShapePlacement& place = parent != nullptr ? parent_place : frame_shape.place;
    Transform local = transform;
    if (parent == nullptr) local.left = local.top = 0;
    Children(group, &local, place, nesting + 1);
  }

  void Children(pugi::xml_node container, const Transform* group, const ShapePlacement& place,
                int nesting) {
    if (nesting > kMaxGroupNesting) return;
    for (pugi::xml_node child : container.children()) {
      const char* name = child.name();
      if (Is(child, "v:group")) {
        Group(child, group, place, nesting);
      } else if (Is(child, "mc:AlternateContent")) {
        Children(ReadableBranch(child), group, place, nesting + 1);
      } else if (std::strncmp(name, "v:", 2) == 0 && !Is(child, "v:shapetype")) {
        Shape(child, group, place);
      }
    }
  }
};

// A number with at most two decimals, no trailing zeros, no leading zero.
void AppendShortNumber(std::string& out, double value) {
  long long hundredths = std::llround(Bounded(value) * 100);
  if (hundredths == 0) {
    out += '0';
    return;
  }
  if (hundredths < 0) {
    out += '-';
    hundredths = -hundredths;
  }
  const long long whole = hundredths / 100;
  const long long fraction = hundredths % 100;
  if (whole != 0) out += std::to_string(whole);
  if (fraction != 0) {
    out += '.';
    out += static_cast<char>('0' + fraction / 10);
    if (fraction % 10 != 0) out += static_cast<char>('0' + fraction % 10);
  }
}

void AppendPixels(std::string& out, double points) {
  out += std::to_string(PointsToPixels(points));
}

// The declarations of a shape's VML style: position first, then width
// before height (the header step reads them in that order).
std::string VmlStyle(const DrawnShape& shape, bool text_box) {
  std::string style;
  const ShapePlacement& place = shape.place;
  if (place.floating) {
    style += "position:absolute;";
    if (text_box) style += "left:0;text-align:left;";
    style += "margin-left:";
    AppendVmlPoints(style, place.left_pt);
    style += ";margin-top:";
    AppendVmlPoints(style, place.top_pt);
    style += ';';
  }
  if (shape.width_pt && shape.height_pt) {
    style += "width:";
    AppendVmlPoints(style, *shape.width_pt);
    style += ";height:";
    AppendVmlPoints(style, *shape.height_pt);
    style += ';';
  }
  if (shape.rotation != 0) {
    style += "rotation:";
    AppendShortNumber(style, shape.rotation);
    style += ';';
  }
  if (place.floating) {
    style += "z-index:" + std::to_string(place.z_index) + ';';
  }
  style += "visibility:visible;mso-wrap-style:square";
  if (place.floating) {
    style += ";mso-position-horizontal:" + place.horizontal +
             ";mso-position-horizontal-relative:" + place.horizontal_relative +
             ";mso-position-vertical:" + place.vertical +
             ";mso-position-vertical-relative:" + place.vertical_relative;
  }
  return style;
}

// The zero-size positioned span that holds a floating shape's fallback.
void AppendFallbackSpanStyle(std::string& out, const DrawnShape& shape) {
  const ShapePlacement& place = shape.place;
  out += "mso-ignore:vglayout;position:absolute;z-index:" + std::to_string(place.z_index) +
         ";left:0px;margin-left:" + std::to_string(place.left_px) +
         "px;margin-top:" + std::to_string(place.top_px) + "px";
  if (shape.width_pt && shape.height_pt) {
    out += ";width:";
    AppendPixels(out, *shape.width_pt);
    out += "px;height:";
    AppendPixels(out, *shape.height_pt);
    out += "px";
  }
}

void AppendShapeAttributes(std::string& out, std::string_view element, std::string_view id,
                           std::string_view spid) {
  out += '<';
  out += element;
  out += " id=\"";
  AppendAttributeText(out, id);
  out += '"';
  if (!spid.empty()) {
    out += " o:spid=\"";
    AppendAttributeText(out, spid);
    out += '"';
  }
}

void AppendWrap(std::string& out, const DrawnShape& shape, std::string_view indent) {
  if (shape.place.floating && !shape.place.wrap.empty()) {
    out += indent;
    out += " <w:wrap type=\"" + shape.place.wrap + "\"/>\r\n";
  }
}

}  // namespace

// --- Reading -------------------------------------------------------------------------

pugi::xml_node ReadableBranch(pugi::xml_node alternate) {
  static constexpr std::string_view kRead[] = {
      "wps", "wpg", "wpc", "wp14", "w14", "w15", "w16se", "w16", "w16cid", "a14", "v",
      "o",   "w10", "wne", "m",    "mc",  "pic", "a",     "wp",  "w",      "r"};
  for (pugi::xml_node choice : alternate.children("mc:Choice")) {
    std::string_view requires_list = choice.attribute("Requires").value();
    bool readable = true;
    while (!requires_list.empty() && readable) {
      const size_t space = requires_list.find(' ');
      const std::string_view prefix = requires_list.substr(0, space);
      if (!prefix.empty()) {
        readable = std::find(std::begin(kRead), std::end(kRead), prefix) != std::end(kRead);
      }
      requires_list =
          space == std::string_view::npos ? std::string_view() : requires_list.substr(space + 1);
    }
    if (readable) return choice;
  }
  return alternate.child("mc:Fallback");
}

void ReadDrawing(pugi::xml_node drawing, const PageGeometry& page, std::vector<DrawnShape>& shapes,
                 UnshownDrawings& unshown, pugi::xml_node color_scheme) {
  DrawingReader reader{page, shapes, unshown, color_scheme, {}};
  bool known = false;
  for (pugi::xml_node child : drawing.children()) {
    const bool anchored = Is(child, "wp:anchor");
    if (!anchored && !Is(child, "wp:inline")) continue;
    known = true;
    pugi::xml_node extent = child.child("wp:extent");
    Frame frame;
    frame.width = EmuToPoints(AttributeEmu(extent, "cx"));
    frame.height = EmuToPoints(AttributeEmu(extent, "cy"));
    reader.placement = anchored ? AnchorPlacement(child, frame.width, page) : ShapePlacement{};
    reader.grouped = false;
    reader.Graphic(child.child("a:graphic").child("a:graphicData"), child.child("wp:docPr"), frame);
  }
  if (!known) reader.LooseTextBoxes(drawing, 0);
}

void ReadVml(pugi::xml_node container, const PageGeometry& page, std::vector<DrawnShape>& shapes,
             UnshownDrawings& unshown) {
  VmlReader reader{page, shapes, unshown};
  reader.Children(container, nullptr, ShapePlacement{}, 0);
}

TextBoxChains ReadTextBoxChains(pugi::xml_node root) {
  struct Walker : pugi::xml_tree_walker {
    TextBoxChains chains;
    bool for_each(pugi::xml_node& node) override {
      if (Is(node, "wps:linkedTxbx")) {
        const long long seq = std::strtoll(node.attribute("seq").value(), nullptr, 10);
        chains.linked[node.attribute("id").value()].emplace(std::max(1LL, seq), node.parent());
      } else if (Is(node, "v:textbox")) {
        for (const auto& [name, value] : ParseVmlStyle(node.attribute("style").value())) {
          const std::string id = node.parent().attribute("id").value();
          if (name == "mso-next-textbox" && value.starts_with('#') && value.substr(1) != id) {
            chains.vml_next.emplace(id, value.substr(1));
          }
        }
      }
      return true;
    }
  } walker;
  root.traverse(walker);
  return std::move(walker.chains);
}

void ResolveChain(const TextBoxChains& chains, DrawnShape& shape) {
  if (shape.kind != DrawnShape::Kind::kTextBox) return;
  if (shape.chain_seq >= 0) {
    shape.continuation = shape.chain_seq > 0;
    const auto chain = chains.linked.find(shape.chain_id);
    if (chain == chains.linked.end()) return;
    const auto next = chain->second.upper_bound(shape.chain_seq);
    if (next == chain->second.end()) return;
    // The next box's name: its own in a group, else its drawing's.
    pugi::xml_node names = next->second.child("wps:cNvPr");
    for (pugi::xml_node up = next->second.parent(); !names && up; up = up.parent()) {
      if (Is(up, "wp:anchor") || Is(up, "wp:inline")) names = up.child("wp:docPr");
    }
    if (*names.attribute("name").value() != '\0')
      shape.chain_next = VmlId(names.attribute("name").value());
    return;
  }
  if (!shape.from_vml) return;
  if (!shape.vml_next.empty() && shape.vml_next != shape.name) shape.chain_next = shape.vml_next;
  for (const auto& [from, to] : chains.vml_next) {
    if (to == shape.name && from != shape.name) {
      shape.continuation = true;
      break;
    }
  }
}

// --- Writing -------------------------------------------------------------------------

std::string VmlId(std::string_view name) {
  std::string id;
  size_t pos = 0;
  while (pos < name.size()) {
    const size_t start = pos;
    const char32_t c = NextCodePoint(name, pos);
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '_' || c == '-' || c == '.' || c >= 0xA0;
    if (keep) {
      id.append(name.substr(start, pos - start));
    } else {
      char escaped[16];
      std::snprintf(escaped, sizeof escaped, "_x%04X_", static_cast<unsigned>(c));
      id += escaped;
    }
  }
  return id;
}

void AppendVmlPoints(std::string& out, double points) {
  AppendShortNumber(out, points);
  if (std::llround(Bounded(points) * 100) != 0) out += "pt";
}

long long PointsToPixels(double points) {
  return std::llround(Bounded(points) * 4 / 3);
}

void AppendPictureShapeType(std::string& out) {
  out +=
      "<v:shapetype id=\"_x0000_t75\" coordsize=\"21600,21600\"\r\n"
      " o:spt=\"75\" o:preferrelative=\"t\" path=\"m@4@5l@4@11@9@11@9@5xe\" filled=\"f\"\r\n"
      " stroked=\"f\">\r\n"
      " <v:stroke joinstyle=\"miter\"/>\r\n"
      " <v:formulas>\r\n"
      "  <v:f eqn=\"if lineDrawn pixelLineWidth 0\"/>\r\n"
      "  <v:f eqn=\"sum @0 1 0\"/>\r\n"
      "  <v:f eqn=\"sum 0 0 @1\"/>\r\n"
      "  <v:f eqn=\"prod @2 1 2\"/>\r\n"
      "  <v:f eqn=\"prod @3 21600 pixelWidth\"/>\r\n"
      "  <v:f eqn=\"prod @3 21600 pixelHeight\"/>\r\n"
      "  <v:f eqn=\"sum @0 0 1\"/>\r\n"
      "  <v:f eqn=\"prod @6 1 2\"/>\r\n"
      "  <v:f eqn=\"prod @7 21600 pixelWidth\"/>\r\n"
      "  <v:f eqn=\"sum @8 21600 0\"/>\r\n"
      "  <v:f eqn=\"prod @7 21600 pixelHeight\"/>\r\n"
      "  <v:f eqn=\"sum @10 21600 0\"/>\r\n"
      " </v:formulas>\r\n"
      " <v:path o:extrusionok=\"f\" gradientshapeok=\"t\" o:connecttype=\"rect\"/>\r\n"
      " <o:lock v:ext=\"edit\" aspectratio=\"t\"/>\r\n"
      "</v:shapetype>";
}

void AppendPicture(std::string& out, const DrawnShape& shape, const PictureMarkup& markup) {
  out += "<!--[if gte vml 1]>";
  if (markup.shape_type) AppendPictureShapeType(out);
  AppendShapeAttributes(out, "v:shape", markup.id, markup.spid);
  out += " type=\"#_x0000_t75\"\r\n style='";
  out += VmlStyle(shape, false);
  out += '\'';
  if (shape.ole) out += " o:ole=\"\"";
  if (!shape.alt.empty()) {
    out += " alt=\"";
    AppendAttributeText(out, shape.alt);
    out += '"';
  }
  out += ">\r\n <v:imagedata src=\"";
  AppendAttributeText(out, markup.vml_source);
  out += "\" o:title=\"\"/>\r\n";
  AppendWrap(out, shape, "");
  out += "</v:shape><![endif]--><![if !vml]>";
  if (shape.place.floating) {
    out += "<span style='";
    AppendFallbackSpanStyle(out, shape);
    out += "'>";
  }
  out += "<img";
  if (shape.width_pt && shape.height_pt) {
    out += " width=";
    AppendPixels(out, *shape.width_pt);
    out += " height=";
    AppendPixels(out, *shape.height_pt);
  }
  out += "\r\nsrc=\"";
  AppendAttributeText(out, markup.web_source);
  out += '"';
  if (!shape.alt.empty()) {
    out += " alt=\"";
    AppendAttributeText(out, shape.alt);
    out += '"';
  }
  out += " v:shapes=\"";
  AppendAttributeText(out, markup.id);
  out += "\">";
  if (shape.place.floating) out += "</span>";
  out += "<![endif]>";
}

void AppendTextBoxStart(std::string& out, const DrawnShape& shape, const TextBoxMarkup& markup) {
  const std::string pad(static_cast<size_t>(std::max(markup.indent, 0)), ' ');
  const bool floating = shape.place.floating;
  out += "<!--[if gte vml 1]>";
  AppendShapeAttributes(out, "v:rect", markup.id, markup.spid);
  out += "\r\n" + pad + " style='";
  out += VmlStyle(shape, true);
  out += '\'';
  if (!shape.alt.empty()) {
    out += " alt=\"";
    AppendAttributeText(out, shape.alt);
    out += '"';
  }
  if (shape.fill.empty()) {
    out += " filled=\"f\"";
  } else {
    out += " fillcolor=\"" + shape.fill + "\"";
  }
  if (shape.line.empty()) {
    out += " stroked=\"f\"";
  } else {
    out += " strokecolor=\"" + shape.line + "\" strokeweight=\"";
    AppendVmlPoints(out, shape.line_width_pt);
    out += '"';
  }
  out += ">\r\n" + pad + " <v:textbox";
  // Word names the box a chain's text continues in.
  std::string textbox_style;
  if (!shape.text_flow.empty()) textbox_style = "layout-flow:" + shape.text_flow;
  if (!shape.chain_next.empty()) {
    if (!textbox_style.empty()) textbox_style += ';';
    textbox_style += "mso-next-textbox:#";
    AppendAttributeText(textbox_style, shape.chain_next);
  }
  if (!textbox_style.empty()) out += " style='" + textbox_style + "'";
  out += " inset=\"";
  AppendVmlPoints(out, shape.inset_left);
  out += ',';
  AppendVmlPoints(out, shape.inset_top);
  out += ',';
  AppendVmlPoints(out, shape.inset_right);
  out += ',';
  AppendVmlPoints(out, shape.inset_bottom);
  out += "\"/>\r\n";
  AppendWrap(out, shape, pad);
  out += pad + "</v:rect><![endif]--><![if !vml]><span style='";
  if (floating) {
    AppendFallbackSpanStyle(out, shape);
  } else {
    out += "mso-ignore:vglayout";
  }
  out += "'>\r\n" + pad + "<table cellpadding=0 cellspacing=0";
  if (shape.rotation != 0) {
    // Browsers turn the box as a whole, about its middle.
    out += " style='transform:rotate(";
    AppendShortNumber(out, shape.rotation);
    out += "deg)'";
  }
  out += ">\r\n" + pad + " <tr>\r\n" + pad + "  <td";
  if (shape.width_pt && shape.height_pt) {
    out += " width=";
    AppendPixels(out, *shape.width_pt);
    // The first box of a chain holds the whole text, which a browser cannot
    // pour on into the next box: its cell grows to hold it.
    if (shape.chain_next.empty() || shape.continuation) {
      out += " height=";
      AppendPixels(out, *shape.height_pt);
    }
  }
  out += " style='";
  if (!shape.line.empty()) {
    out += "border:";
    AppendVmlPoints(out, shape.line_width_pt);
    out += " solid " + shape.line + ";";
  }
  out += "vertical-align:top";
  if (!shape.fill.empty()) out += ";background:" + shape.fill;
  out += "'><![endif]><![if !mso]><span\r\n" + pad + "  style='";
  if (floating) {
    out += "position:absolute;mso-ignore:vglayout;left:0pt;z-index:" +
           std::to_string(shape.place.z_index);
  } else {
    out += "mso-ignore:vglayout";
  }
  out += "'>\r\n" + pad + "  <table cellpadding=0 cellspacing=0 width=\"100%\">\r\n" + pad +
         "   <tr>\r\n" + pad + "    <td><![endif]>\r\n" + pad + "    <div v:shape=\"";
  AppendAttributeText(out, markup.id);
  out += "\" style='padding:";
  AppendVmlPoints(out, shape.inset_top);
  out += ' ';
  AppendVmlPoints(out, shape.inset_right);
  out += ' ';
  AppendVmlPoints(out, shape.inset_bottom);
  out += ' ';
  AppendVmlPoints(out, shape.inset_left);
  // Browsers know the text direction as a writing mode.
  if (shape.text_flow.starts_with("vertical")) {
    out += ";writing-mode:vertical-rl";
    if (shape.text_flow.ends_with("bottom-to-top")) out += ";transform:rotate(180deg)";
  }
  out += "'\r\n" + pad + "    class=shape>\r\n";
}

void AppendTextBoxEnd(std::string& out, const DrawnShape& /*shape*/, const TextBoxMarkup& markup) {
  const std::string pad(static_cast<size_t>(std::max(markup.indent, 0)), ' ');
  out += pad + "    </div>\r\n" + pad + "    <![if !mso]></td>\r\n" + pad + "   </tr>\r\n" + pad +
         "  </table>\r\n" + pad +
         "  </span><![endif]><![if !mso & !vml]>&nbsp;<![endif]><![if !vml]></td>\r\n" + pad +
         " </tr>\r\n" + pad + "</table>\r\n" + pad + "</span><![endif]>";
}

// --- BodyWriter: pictures and text boxes ------------------------------------------------

PictureFiles& BodyWriter::Pictures() {
  if (pictures_ == nullptr) {
    own_pictures_ = std::make_unique<PictureFiles>(*doc_.package, std::string(), doc_.diagnostics);
    pictures_ = own_pictures_.get();
  }
  return *pictures_;
}

PageGeometry BodyWriter::CurrentPage() const {
  PageGeometry page;
  if (section_index_ < doc_.sections.size()) {
    const SectionProperties& section = doc_.sections[section_index_];
    const double width = section.page_width.value_or(11906) / 20.0;
    const double left = section.margin_left.value_or(1800) / 20.0;
    const double right = section.margin_right.value_or(1800) / 20.0;
    page.margin_left_pt = left;
    page.text_width_pt = std::max(0.0, width - left - right);
  }
  return page;
}

void BodyWriter::WriteRunObject(pugi::xml_node object, std::string_view open,
                                std::string_view close) {
  // A drawing inside a field code would end the code's comment early; the
  // field's result shows the picture, if any.
  if (InFieldCode()) return;
  std::vector<DrawnShape> shapes;
  UnshownDrawings unshown;
  const pugi::xml_node color_scheme = ThemeColorScheme();
  if (Is(object, "w:drawing")) {
    ReadDrawing(object, CurrentPage(), shapes, unshown, color_scheme);
  } else if (Is(object, "w:pict") || Is(object, "w:object")) {
    const size_t first = shapes.size();
    ReadVml(object, CurrentPage(), shapes, unshown);
    const std::string_view program = object.child("o:OLEObject").attribute("ProgID").value();
    if (Is(object, "w:object") && program.rfind("Equation.", 0) == 0) {
      for (size_t i = first; i < shapes.size(); ++i) shapes[i].equation = shapes[i].ole;
    }
    // Newer embedded objects show a DrawingML preview.
    for (pugi::xml_node drawing : object.children("w:drawing")) {
      ReadDrawing(drawing, CurrentPage(), shapes, unshown, color_scheme);
    }
  } else if (Is(object, "mc:AlternateContent")) {
    if (!EnterNested()) return;
    for (pugi::xml_node child : ReadableBranch(object).children()) {
      WriteRunObject(child, open, close);
    }
    --nesting_;
    return;
  } else {
    return;
  }
  // A drawing that is not drawn here shows the picture the package keeps in
  // its place, if any.
  pugi::xml_node fallback;
  if (Is(object.parent(), "mc:Choice")) fallback = object.parent().parent().child("mc:Fallback");
  if (unshown.rendered > 0 && !fallback) ReportRenderedDrawings();
  if (unshown.linked > 0 && !linked_pictures_reported_) {
    doc_.Diagnose("Linked pictures (files outside the document) were left out of the web page.");
    linked_pictures_reported_ = true;
  }
  bool undrawn = unshown.rendered > 0;
  for (DrawnShape& shape : shapes) {
    if (shape.kind == DrawnShape::Kind::kTextBox && shape.source) {
      const auto [chains, made] =
          text_box_chains_.try_emplace(shape.source.root().internal_object());
      if (made) chains->second = ReadTextBoxChains(shape.source.root());
      ResolveChain(chains->second, shape);
      // A text box that holds no text and continues no other's is a plain
      // shape, which is not drawn.
      if (!shape.content && !shape.continuation) continue;
    }
    if (!shape.chart_id.empty() || !shape.diagram_id.empty()) {
      if (!WriteChart(shape, open, close)) {
        undrawn = true;
        if (!fallback) ReportRenderedDrawings();
      }
    } else if (shape.kind == DrawnShape::Kind::kPicture) {
      WritePicture(shape, open, close);
    } else {
      WriteTextBox(shape);
    }
  }
  if (undrawn && fallback && EnterNested()) {
    for (pugi::xml_node child : fallback.children()) WriteRunObject(child, open, close);
    --nesting_;
  }
}

pugi::xml_node BodyWriter::ThemeColorScheme() const {
  const pugi::xml_document* theme = doc_.package->theme_part();
  return theme == nullptr ? pugi::xml_node()
                          : theme->child("a:theme").child("a:themeElements").child("a:clrScheme");
}

void BodyWriter::ReportRenderedDrawings() {
  if (rendered_drawings_reported_) return;
  doc_.Diagnose(
      "Charts, diagrams and other drawings that need rendering were left out of the web page.");
  rendered_drawings_reported_ = true;
}

const Relationship* BodyWriter::StoryRelationship(std::string_view id) const {
  return story_part_.empty() ? doc_.package->MainRelationship(id)
                             : doc_.package->FindRelationship(story_part_, id);
}

// The part of the drawing the package stores for a diagram whose data part
// is `data`: named by the data's dsp:dataModelExt, among the relationships of
// the part that holds the diagram, else by the data part's own.
const Relationship* BodyWriter::DiagramDrawing(const Relationship& data) const {
  if (const pugi::xml_document* part = doc_.package->XmlPart(data.target)) {
    for (pugi::xml_node ext : part->child("dgm:dataModel").child("dgm:extLst").children("a:ext")) {
      const char* id = ext.child("dsp:dataModelExt").attribute("relId").value();
      if (*id == '\0') continue;
      const Relationship* rel = StoryRelationship(id);
      if (rel == nullptr) rel = doc_.package->FindRelationship(data.target, id);
      if (rel != nullptr && !rel->external) return rel;
    }
  }
  return nullptr;
}

bool BodyWriter::WriteChart(const DrawnShape& shape, std::string_view open,
                            std::string_view close) {
  const bool diagram = !shape.diagram_id.empty();
  const Relationship* rel = StoryRelationship(diagram ? shape.diagram_id : shape.chart_id);
  if (rel == nullptr || rel->external) return false;
  if (diagram && (rel = DiagramDrawing(*rel)) == nullptr) return false;
  const PictureFiles::Files* files = Pictures().UseMade(rel->target, "svg", [&] {
    std::optional<std::string> svg;
    const pugi::xml_document* part = doc_.package->XmlPart(rel->target);
    if (part == nullptr) return svg;
    ChartStyle style;
    style.color_scheme = ThemeColorScheme();
    if (const std::string& font = doc_.package->theme_fonts().minor.latin; !font.empty()) {
      style.font_family = font;
    }
    const double width = shape.width_pt.value_or(360), height = shape.height_pt.value_or(216);
    svg = diagram ? DiagramSvg(part->child("dsp:drawing"), style, width, height)
                  : ChartSvg(part->child("c:chartSpace"), style, width, height);
    return svg;
  });
  if (files == nullptr) return false;
  std::string spid = Pictures().NextShapeId(shape.place.floating);
  const std::string id = shape.name.empty() ? spid : VmlId(shape.name);
  const std::string prefix = picture_prefix_ ? *picture_prefix_ : doc_.files_folder + "/";
  PrepareContent();
  UseWrapper(open, close);
  AppendPicture(out_, shape,
                PictureMarkup{id, spid, prefix + files->original, prefix + files->web,
                              !picture_type_written_});
  picture_type_written_ = true;
  para_->at_line_start = false;
  para_->has_content = true;
  return true;
}

void BodyWriter::WritePicture(const DrawnShape& shape, std::string_view open,
                              std::string_view close) {
  const Relationship* rel = story_part_.empty()
                                ? doc_.package->MainRelationship(shape.image_id)
                                : doc_.package->FindRelationship(story_part_, shape.image_id);
  if (rel == nullptr) {
    doc_.Diagnose("A picture whose relationship " + shape.image_id + " is missing was left out.");
    return;
  }
  if (rel->external) {
    if (!linked_pictures_reported_) {
      doc_.Diagnose("Linked pictures (files outside the document) were left out of the web page.");
      linked_pictures_reported_ = true;
    }
    return;
  }
  const PictureFiles::Files* files = Pictures().Use(rel->target);
  if (files == nullptr) return;
  std::string spid = shape.spid;
  if (spid.empty() && !shape.from_vml) spid = Pictures().NextShapeId(shape.place.floating);
  const std::string id = shape.name.empty() ? (spid.empty() ? Pictures().NextShapeId(false) : spid)
                                            : VmlId(shape.name);
  const std::string prefix = picture_prefix_ ? *picture_prefix_ : doc_.files_folder + "/";
  const std::string vml_source = prefix + files->original;
  const std::string web_source = prefix + files->web;
  PrepareContent();
  UseWrapper(open, close);
  // Word writes an equation object's picture inside a subscript, which the
  // site's equation options then take off or keep.
  if (shape.equation) out_ += "<sub>";
  AppendPicture(out_, shape,
                PictureMarkup{id, spid, vml_source, web_source, !picture_type_written_});
  if (shape.equation) out_ += "</sub>";
  picture_type_written_ = true;
  para_->at_line_start = false;
  para_->has_content = true;
}

void BodyWriter::WriteTextBox(const DrawnShape& shape) {
  if (!EnterNested()) return;
  std::string spid = shape.spid;
  if (spid.empty() && !shape.from_vml) spid = Pictures().NextShapeId(true);
  const std::string id =
      shape.name.empty() ? (spid.empty() ? Pictures().NextShapeId(true) : spid) : VmlId(shape.name);
  PrepareContent();
  CloseWrapper();
  const int depth = para_->depth;
  const TextBoxMarkup markup{id, spid == id ? std::string_view() : std::string_view(spid),
                             depth * 2};
  AppendTextBoxStart(out_, shape, markup);

  // The box is a story of its own: the fields, lists, table style and
  // bookmarks around its anchor do not reach into it.
  Paragraph* saved_paragraph = para_;
  std::vector<Field> saved_fields;
  saved_fields.swap(fields_);
  ListCounter* saved_counter = counter_;
  counter_ = &text_box_counter_;
  const std::string saved_table_style = std::move(current_table_style_);
  current_table_style_.clear();
  std::vector<std::string> saved_bookmarks;
  saved_bookmarks.swap(block_bookmarks_);
  if (shape.content && !shape.continuation) WriteBlocks(shape.content, depth + 2);
  block_bookmarks_.swap(saved_bookmarks);
  current_table_style_ = saved_table_style;
  counter_ = saved_counter;
  fields_.swap(saved_fields);
  para_ = saved_paragraph;

  AppendTextBoxEnd(out_, shape, markup);
  para_->at_line_start = false;
  para_->has_content = true;
  --nesting_;
}

}  // namespace tessarine::convert
