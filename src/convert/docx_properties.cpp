#include "convert/docx_properties.h"

#include <charconv>
#include <cstring>

#include "convert/docx_xml.h"

namespace tessarine::convert {
namespace {

std::string ChildText(pugi::xml_node parent, const char* name) {
  return parent.child(name).text().as_string();
}

std::optional<long long> ChildNumber(pugi::xml_node parent, const char* name) {
  pugi::xml_node child = parent.child(name);
  if (!child) return std::nullopt;
  std::string_view text = child.text().as_string();
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\n')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n')) {
    text.remove_suffix(1);
  }
  long long value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::string Val(pugi::xml_node node) {
  return node.attribute("w:val").as_string();
}

bool OnOff(pugi::xml_node parent, const char* name) {
  return OnOffChild(parent, name).value_or(false);
}

template <typename T>
std::optional<T> Hex(std::string_view text) {
  T value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (ec != std::errc() || ptr != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

NoteSettings ParseNoteSettings(pugi::xml_node pr, const char* note_name) {
  NoteSettings notes;
  notes.position = Val(pr.child("w:pos"));
  notes.number_format = Val(pr.child("w:numFmt"));
  notes.start = IntAttribute(pr.child("w:numStart"), "w:val");
  notes.restart = Val(pr.child("w:numRestart"));
  for (pugi::xml_node note = pr.child(note_name); note; note = note.next_sibling(note_name)) {
    if (std::optional<int> id = IntAttribute(note, "w:id")) notes.special_ids.push_back(*id);
  }
  return notes;
}

ThemeFontScheme ParseFontScheme(pugi::xml_node collection) {
  ThemeFontScheme scheme;
  scheme.latin = collection.child("a:latin").attribute("typeface").as_string();
  scheme.east_asia = collection.child("a:ea").attribute("typeface").as_string();
  scheme.complex_script = collection.child("a:cs").attribute("typeface").as_string();
  for (pugi::xml_node font = collection.child("a:font"); font; font = font.next_sibling("a:font")) {
    std::string script = font.attribute("script").as_string();
    if (!script.empty()) scheme.by_script[script] = font.attribute("typeface").as_string();
  }
  return scheme;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// The theme's script tag for a language (the typeface lists in a theme are
// keyed by these ISO 15924 codes).
std::string ScriptForLanguage(std::string_view language) {
  std::string lang = Lower(language);
  std::string primary = lang.substr(0, lang.find('-'));
  if (primary == "zh") {
    if (lang == "zh-tw" || lang == "zh-hk" || lang == "zh-mo" ||
        lang.find("hant") != std::string::npos) {
      return "Hant";
    }
    return "Hans";
  }
  static constexpr std::pair<std::string_view, std::string_view> kScripts[] = {
      {"ja", "Jpan"}, {"ko", "Hang"}, {"ar", "Arab"},  {"fa", "Arab"}, {"ur", "Arab"},
      {"he", "Hebr"}, {"yi", "Hebr"}, {"th", "Thai"},  {"hi", "Deva"}, {"mr", "Deva"},
      {"ru", "Cyrl"}, {"uk", "Cyrl"}, {"bg", "Cyrl"},  {"el", "Grek"}, {"vi", "Viet"},
      {"bn", "Beng"}, {"ta", "Taml"}, {"te", "Telu"},  {"km", "Khmr"}, {"lo", "Laoo"},
      {"my", "Mymr"}, {"ka", "Geor"}, {"hy", "Armn"},  {"am", "Ethi"}, {"si", "Sinh"},
      {"bo", "Tibt"}, {"mn", "Mong"}, {"syr", "Syrc"}, {"dv", "Thaa"}, {"ug", "Uigh"},
  };
  for (const auto& [code, script] : kScripts) {
    if (primary == code) return std::string(script);
  }
  return {};
}

// IANA names Word writes in w:characterSet instead of w:charset.
std::optional<int> CharsetFromName(std::string_view name) {
  static constexpr std::pair<std::string_view, int> kCharsets[] = {
      {"iso-8859-1", 0},     {"windows-1252", 0},   {"shift_jis", 128},    {"ks_c-5601-1987", 129},
      {"gb2312", 134},       {"gbk", 134},          {"big5", 136},         {"windows-1253", 161},
      {"windows-1254", 162}, {"windows-1258", 163}, {"windows-1255", 177}, {"windows-1256", 178},
      {"windows-1257", 186}, {"windows-1251", 204}, {"windows-874", 222},  {"windows-1250", 238},
  };
  std::string lower = Lower(name);
  for (const auto& [iana, charset] : kCharsets) {
    if (lower == iana) return charset;
  }
  return std::nullopt;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return Lower(a) == Lower(b);
}

}  // namespace

CoreProperties ParseCoreProperties(const pugi::xml_document& doc) {
  CoreProperties core;
  pugi::xml_node root = doc.child("cp:coreProperties");
  core.title = ChildText(root, "dc:title");
  core.subject = ChildText(root, "dc:subject");
  core.creator = ChildText(root, "dc:creator");
  core.keywords = ChildText(root, "cp:keywords");
  core.description = ChildText(root, "dc:description");
  core.last_modified_by = ChildText(root, "cp:lastModifiedBy");
  core.revision = ChildText(root, "cp:revision");
  core.created = ChildText(root, "dcterms:created");
  core.modified = ChildText(root, "dcterms:modified");
  core.category = ChildText(root, "cp:category");
  core.content_status = ChildText(root, "cp:contentStatus");
  core.last_printed = ChildText(root, "cp:lastPrinted");
  return core;
}

AppProperties ParseAppProperties(const pugi::xml_document& doc) {
  AppProperties app;
  pugi::xml_node root = doc.child("ep:Properties");
  app.pages = ChildNumber(root, "ep:Pages");
  app.words = ChildNumber(root, "ep:Words");
  app.characters = ChildNumber(root, "ep:Characters");
  app.characters_with_spaces = ChildNumber(root, "ep:CharactersWithSpaces");
  app.lines = ChildNumber(root, "ep:Lines");
  app.paragraphs = ChildNumber(root, "ep:Paragraphs");
  app.total_time = ChildNumber(root, "ep:TotalTime");
  app.company = ChildText(root, "ep:Company");
  app.manager = ChildText(root, "ep:Manager");
  app.template_name = ChildText(root, "ep:Template");
  app.application = ChildText(root, "ep:Application");
  app.app_version = ChildText(root, "ep:AppVersion");
  return app;
}

DocumentSettings ParseSettings(const pugi::xml_document& doc) {
  DocumentSettings settings;
  pugi::xml_node root = doc.child("w:settings");
  if (std::optional<int> tab = TwipsAttribute(root.child("w:defaultTabStop"), "w:val");
      tab && *tab > 0) {
    settings.default_tab_stop = *tab;
  }
  settings.even_and_odd_headers = OnOff(root, "w:evenAndOddHeaders");
  settings.mirror_margins = OnOff(root, "w:mirrorMargins");
  settings.gutter_at_top = OnOff(root, "w:gutterAtTop");
  settings.auto_hyphenation = OnOff(root, "w:autoHyphenation");
  settings.track_revisions = OnOff(root, "w:trackRevisions");
  settings.display_background_shape = OnOff(root, "w:displayBackgroundShape");
  pugi::xml_node compat = root.child("w:compat");
  settings.do_not_use_html_paragraph_auto_spacing =
      OnOff(compat, "w:doNotUseHTMLParagraphAutoSpacing");
  settings.balance_single_byte_double_byte_width =
      OnOff(compat, "w:balanceSingleByteDoubleByteWidth");
  for (pugi::xml_node setting = compat.child("w:compatSetting"); setting;
       setting = setting.next_sibling("w:compatSetting")) {
    if (std::string_view(setting.attribute("w:name").as_string()) == "compatibilityMode") {
      settings.compatibility_mode = IntAttribute(setting, "w:val");
    }
  }
  settings.character_spacing_control = Val(root.child("w:characterSpacingControl"));
  settings.zoom_percent = PercentAttribute(root.child("w:zoom"), "w:percent", 1);
  settings.view = Val(root.child("w:view"));
  settings.footnotes = ParseNoteSettings(root.child("w:footnotePr"), "w:footnote");
  settings.endnotes = ParseNoteSettings(root.child("w:endnotePr"), "w:endnote");
  pugi::xml_node lang = root.child("w:themeFontLang");
  settings.theme_font_lang.latin = lang.attribute("w:val").as_string();
  settings.theme_font_lang.east_asia = lang.attribute("w:eastAsia").as_string();
  settings.theme_font_lang.bidi = lang.attribute("w:bidi").as_string();
  settings.decimal_symbol = Val(root.child("w:decimalSymbol"));
  settings.list_separator = Val(root.child("w:listSeparator"));
  return settings;
}

ThemeFonts ParseThemeFonts(const pugi::xml_document& doc) {
  ThemeFonts fonts;
  pugi::xml_node scheme = doc.child("a:theme").child("a:themeElements").child("a:fontScheme");
  fonts.major = ParseFontScheme(scheme.child("a:majorFont"));
  fonts.minor = ParseFontScheme(scheme.child("a:minorFont"));
  return fonts;
}

std::string ResolveThemeFont(const ThemeFonts& fonts, const ThemeFontLanguages& languages,
                             std::string_view theme_reference) {
  const ThemeFontScheme* scheme = nullptr;
  std::string_view slot;
  if (theme_reference.substr(0, 5) == "major") {
    scheme = &fonts.major;
    slot = theme_reference.substr(5);
  } else if (theme_reference.substr(0, 5) == "minor") {
    scheme = &fonts.minor;
    slot = theme_reference.substr(5);
  } else {
    return {};
  }
  auto by_script = [&](const std::string& language) -> std::string {
    std::string script = ScriptForLanguage(language);
    if (script.empty()) return {};
    auto it = scheme->by_script.find(script);
    return it == scheme->by_script.end() ? std::string() : it->second;
  };
  if (slot == "Ascii" || slot == "HAnsi") return scheme->latin;
  if (slot == "EastAsia") {
    return scheme->east_asia.empty() ? by_script(languages.east_asia) : scheme->east_asia;
  }
  if (slot == "Bidi") {
    return scheme->complex_script.empty() ? by_script(languages.bidi) : scheme->complex_script;
  }
  return {};
}

const FontInfo* FontTable::Find(std::string_view name) const {
  for (const FontInfo& font : fonts) {
    if (font.name == name) return &font;
  }
  for (const FontInfo& font : fonts) {
    if (EqualsIgnoreCase(font.name, name)) return &font;
  }
  return nullptr;
}

FontTable ParseFontTable(const pugi::xml_document& doc) {
  FontTable table;
  for (pugi::xml_node node = doc.child("w:fonts").child("w:font"); node;
       node = node.next_sibling("w:font")) {
    FontInfo font;
    font.name = node.attribute("w:name").as_string();
    if (font.name.empty()) continue;
    font.alt_name = Val(node.child("w:altName"));
    std::string_view panose = node.child("w:panose1").attribute("w:val").as_string();
    if (panose.size() == 20) {
      std::array<std::uint8_t, 10> bytes{};
      bool ok = true;
      for (size_t i = 0; i < 10 && ok; ++i) {
        std::optional<unsigned> byte = Hex<unsigned>(panose.substr(2 * i, 2));
        ok = byte.has_value();
        if (ok) bytes[i] = static_cast<std::uint8_t>(*byte);
      }
      if (ok) font.panose1 = bytes;
    }
    pugi::xml_node charset = node.child("w:charset");
    if (std::optional<int> value = Hex<int>(charset.attribute("w:val").as_string())) {
      font.charset = *value;
    } else if (pugi::xml_attribute name = charset.attribute("w:characterSet")) {
      font.charset = CharsetFromName(name.as_string());
    }
    font.family = Val(node.child("w:family"));
    font.pitch = Val(node.child("w:pitch"));
    pugi::xml_node sig = node.child("w:sig");
    if (sig) {
      std::array<std::uint32_t, 6> words{};
      bool ok = true;
      const char* names[] = {"w:usb0", "w:usb1", "w:usb2", "w:usb3", "w:csb0", "w:csb1"};
      for (size_t i = 0; i < 6 && ok; ++i) {
        std::optional<std::uint32_t> word = Hex<std::uint32_t>(sig.attribute(names[i]).as_string());
        ok = word.has_value();
        if (ok) words[i] = *word;
      }
      if (ok) font.signature = words;
    }
    table.fonts.push_back(std::move(font));
  }
  return table;
}

SectionProperties ParseSectionProperties(pugi::xml_node sect_pr) {
  SectionProperties section;
  section.break_type = Val(sect_pr.child("w:type"));
  pugi::xml_node size = sect_pr.child("w:pgSz");
  section.page_width = TwipsAttribute(size, "w:w");
  section.page_height = TwipsAttribute(size, "w:h");
  section.landscape = std::string_view(size.attribute("w:orient").as_string()) == "landscape";
  pugi::xml_node margins = sect_pr.child("w:pgMar");
  section.margin_top = TwipsAttribute(margins, "w:top");
  section.margin_right = TwipsAttribute(margins, "w:right");
  section.margin_bottom = TwipsAttribute(margins, "w:bottom");
  section.margin_left = TwipsAttribute(margins, "w:left");
  section.margin_header = TwipsAttribute(margins, "w:header");
  section.margin_footer = TwipsAttribute(margins, "w:footer");
  section.margin_gutter = TwipsAttribute(margins, "w:gutter");
  for (pugi::xml_node child = sect_pr.first_child(); child; child = child.next_sibling()) {
    std::string_view name = child.name();
    if (name != "w:headerReference" && name != "w:footerReference") continue;
    HeaderFooterReference reference{child.attribute("w:type").as_string(),
                                    child.attribute("r:id").as_string()};
    if (reference.type.empty()) reference.type = "default";
    (name == "w:headerReference" ? section.headers : section.footers).push_back(reference);
  }
  section.title_page = OnOff(sect_pr, "w:titlePg");
  pugi::xml_node numbers = sect_pr.child("w:pgNumType");
  section.page_number_format = numbers.attribute("w:fmt").as_string();
  section.page_number_start = IntAttribute(numbers, "w:start");
  pugi::xml_node grid = sect_pr.child("w:docGrid");
  section.doc_grid_type = grid.attribute("w:type").as_string();
  section.doc_grid_line_pitch = TwipsAttribute(grid, "w:linePitch");
  section.doc_grid_char_space = IntAttribute(grid, "w:charSpace");
  pugi::xml_node cols = sect_pr.child("w:cols");
  section.columns = IntAttribute(cols, "w:num");
  section.column_space = TwipsAttribute(cols, "w:space");
  if (pugi::xml_attribute equal = cols.attribute("w:equalWidth")) {
    section.equal_width_columns = OnOffValue(equal.as_string());
  }
  section.vertical_align = Val(sect_pr.child("w:vAlign"));
  section.bidi = OnOff(sect_pr, "w:bidi");
  section.text_direction = Val(sect_pr.child("w:textDirection"));
  return section;
}

}  // namespace tessarine::convert
