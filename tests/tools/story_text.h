// The text of a paragraph or table cell of the main story, for the measuring
// tools: text boxes, deleted text and alternate-content fallbacks are other
// stories, field codes are no text.
#pragma once

#include <pugixml.hpp>
#include <string>
#include <string_view>

namespace tessarine::tools {

inline bool IsOtherStory(pugi::xml_node node) {
  const std::string_view name = node.name();
  return name == "w:txbxContent" || name == "mc:Fallback" || name == "w:del" ||
         name == "w:moveFrom";
}

inline void AppendStoryText(pugi::xml_node node, std::string& out) {
  for (pugi::xml_node child : node.children()) {
    if (IsOtherStory(child)) continue;
    const std::string_view name = child.name();
    if (name == "w:t") {
      out += child.text().get();
    } else if (name == "w:tab") {
      out += ' ';
    } else if (name == "w:br" || name == "w:cr") {
      out += '\n';
    } else if (name != "w:pPr" && name != "w:instrText") {
      AppendStoryText(child, out);
    }
  }
}

}  // namespace tessarine::tools
