// Pictures, text boxes and drawn shapes in Word HTML.
//
// Every picture is written twice, as Word writes it: a VML drawing inside
// <!--[if gte vml 1]>…<![endif]--> (size in points, source the original file)
// followed by the fallback <![if !vml]><img …><![endif]> (size in pixels at
// 96 dpi, source the web copy), which is what the clean-up passes keep. A
// floating picture's drawing is positioned absolutely and its fallback sits
// in a zero-size positioned span (cn-probability-formula, clip-ckeditor4
// wrapped-images).
//
// A text box is a VML rectangle with an empty v:textbox, and its paragraphs
// follow it once, outside the comment, inside Word's nested span/table/div
// wrappers (<![if !vml]> for browsers without VML, <![if !mso]> for those
// other than Word), so the text survives every clean-up mode. The paragraphs
// are written in the middle of the anchoring paragraph, as Word does (as in
// cn-probability-formula). Word writes a text box as a v:shape of type
// _x0000_t202, which has no v:imagedata: the header step's VML-to-img pattern,
// which runs from "<v:shape" to the next imagedata, would take it and every
// word up to the next picture for one picture. As v:rect (which Word itself
// writes for rectangles holding text, clip-ckeditor4 canvas-shapes) it cannot
// be mistaken for one; every v:shape written here holds a picture.
//
// Groups and drawing canvases, which Word draws into one rendered picture,
// are written here as their members: each picture and each text box of the
// group in its own form, placed where the group puts it. Shapes that hold
// neither text nor a picture (lines, arrows, plain rectangles) draw nothing
// that a browser could show without rendering and are left out. Charts are
// drawn from their cached values and diagrams from the drawing the package
// stores for them, both as SVG pictures; a diagram without that drawing, ink
// and the like are left out (reported) unless mc:Fallback offers a picture.
//
// Reading (ReadDrawing, ReadVml) turns DrawingML and VML into DrawnShape
// values; the Append… functions write the markup. The BodyWriter members in
// html_picture.cpp put the two together. Internal to the convert library.
#pragma once

#include <map>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace tessarine::convert {

// Where a shape stands. An inline shape flows with the text; a floating one
// is placed against a reference, named as VML names it: "text" (the column,
// or for vertical positions the paragraph), "margin", "page", "char", "line",
// "left-margin-area" ...
struct ShapePlacement {
  bool floating = false;
  double left_pt = 0, top_pt = 0;  // offsets from the references (VML margin-left/-top)
  std::string horizontal = "absolute", horizontal_relative = "text";
  std::string vertical = "absolute", vertical_relative = "text";
  // The fallback's offsets from the anchoring paragraph's left edge and top:
  // the VML offsets where the reference is the column or paragraph, else an
  // estimate (a browser has no pages).
  long long left_px = 0, top_px = 0;
  long long z_index = 0;
  std::string wrap;  // "square", "tight", "through", "topAndBottom"; empty: none
  bool operator==(const ShapePlacement&) const = default;
};

struct DrawnShape {
  enum class Kind { kPicture, kTextBox };
  Kind kind = Kind::kPicture;
  std::string name;  // the drawing's name (docPr, cNvPr) or the VML id, as written there
  std::string spid;  // a VML source's o:spid; empty for DrawingML (numbered when written)
  bool from_vml = false;
  std::string alt;  // description
  std::optional<double> width_pt, height_pt;
  ShapePlacement place;
  // kPicture
  std::string image_id;   // relationship id of the picture part; empty when linked only
  bool linked = false;    // the picture is a file outside the package
  bool ole = false;       // the preview of an embedded object
  bool equation = false;  // ...of an equation object (Equation.3, MathType): Word sets it in <sub>
  std::string chart_id;   // a chart (c:chart): relationship id of its part, drawn as SVG
  // a diagram (dgm:relIds): relationship id of its data part, whose stored
  // drawing is drawn as SVG
  std::string diagram_id;
  // kTextBox
  pugi::xml_node content;                                                           // w:txbxContent
  double inset_left = 7.2, inset_top = 3.6, inset_right = 7.2, inset_bottom = 3.6;  // points
  std::string fill;  // "#RRGGBB"; empty: none
  std::string line;  // "#RRGGBB"; empty: none
  double line_width_pt = 0.75;
  double rotation = 0;  // degrees clockwise
  // VML layout-flow of the text: "vertical", "vertical-ideographic",
  // "vertical;mso-layout-flow-alt:bottom-to-top"; empty: across.
  std::string text_flow;
  // Linked text boxes: one text flows through a chain of boxes and is kept
  // once, in the first. `source` is the box's wps:wsp or VML element;
  // `chain_id` and `chain_seq` its DrawingML chain (wps:txbx id, 0 for the
  // first box; wps:linkedTxbx id and seq for the rest; -1 outside a chain);
  // `vml_next` the VML id its text continues in (mso-next-textbox).
  pugi::xml_node source;
  std::string chain_id;
  long long chain_seq = -1;
  std::string vml_next;
  // Resolved before writing (ResolveChain): the VML id of the next box, and
  // whether this box continues another's text (and so shows none of its own).
  std::string chain_next;
  bool continuation = false;
};

// The text-box chains of one part: which box continues which.
struct TextBoxChains {
  // DrawingML: chain id -> the boxes that continue it (wps:wsp), by sequence.
  std::map<std::string, std::map<long long, pugi::xml_node>, std::less<>> linked;
  // VML: box id -> the box its text continues in, self-links left out.
  std::map<std::string, std::string, std::less<>> vml_next;
};

// The chains of the part whose tree holds `node`.
TextBoxChains ReadTextBoxChains(pugi::xml_node root);

// Sets `shape.chain_next` and `shape.continuation` from the chains of its part.
void ResolveChain(const TextBoxChains& chains, DrawnShape& shape);

// The page a floating shape's fallback position is estimated against.
struct PageGeometry {
  double text_width_pt = 415.3;  // between the left and right margins
  double margin_left_pt = 90;
};

// What a drawing holds that cannot be written.
struct UnshownDrawings {
  int rendered = 0;  // charts, diagrams, ink: need a renderer
  int linked = 0;    // pictures kept outside the package
};

// The shapes a w:drawing shows, in document order.
// `color_scheme`: the theme's a:clrScheme, for colours given by the theme.
void ReadDrawing(pugi::xml_node drawing, const PageGeometry& page, std::vector<DrawnShape>& shapes,
                 UnshownDrawings& unshown, pugi::xml_node color_scheme = {});

// The shapes of a VML container (w:pict, w:object), in document order.
void ReadVml(pugi::xml_node container, const PageGeometry& page, std::vector<DrawnShape>& shapes,
             UnshownDrawings& unshown);

// The branch of mc:AlternateContent to write: the first mc:Choice whose
// required namespaces are all ones this writer reads, else mc:Fallback.
pugi::xml_node ReadableBranch(pugi::xml_node alternate);

// A VML id as Word derives it from a drawing's name: characters that cannot
// stand in an XML name become _xHHHH_ ("Picture 1" -> "Picture_x0020_1").
std::string VmlId(std::string_view name);

// A VML length in points: at most two decimals, trailing zeros dropped, no
// leading zero ("110.5pt", "136pt", ".75pt"); zero as "0".
void AppendVmlPoints(std::string& out, double points);

// Pixels at 96 dpi for a length in points, as Word rounds them.
long long PointsToPixels(double points);

// The VML picture shape type, written once per file before its first picture.
void AppendPictureShapeType(std::string& out);

// A picture: the VML drawing and its fallback <img>. `shape_type` writes the
// picture shape type first.
struct PictureMarkup {
  std::string_view id, spid;    // v:shape id and o:spid (may be empty)
  std::string_view vml_source;  // "NAME.files/image001.emf"
  std::string_view web_source;  // "NAME.files/image002.png"
  bool shape_type = false;
};
void AppendPicture(std::string& out, const DrawnShape& shape, const PictureMarkup& markup);

// A text box around its paragraphs: the start up to where the paragraphs go,
// and the end after them. `indent` is the nesting of the surrounding block.
struct TextBoxMarkup {
  std::string_view id, spid;
  int indent = 0;
};
void AppendTextBoxStart(std::string& out, const DrawnShape& shape, const TextBoxMarkup& markup);
void AppendTextBoxEnd(std::string& out, const DrawnShape& shape, const TextBoxMarkup& markup);

}  // namespace tessarine::convert
