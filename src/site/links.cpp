#include "site/links.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tessarine::site {
namespace {

constexpr std::string_view kNoteListStarts[] = {"<div style='mso-element:footnote-list'>",
                                                "<div style='mso-element:endnote-list'>"};
constexpr std::string_view kNoteStarts[] = {"<div style='mso-element:footnote' ",
                                            "<div style='mso-element:endnote' "};
constexpr std::string_view kDivEnd = "</div>";

bool IsSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// The end (one past "</div>") of the div whose start tag begins at `start`,
// counting nested divs; npos when it is never closed.
size_t DivEnd(std::string_view html, size_t start) {
  int depth = 0;
  for (size_t at = html.find('<', start); at != std::string_view::npos;
       at = html.find('<', at + 1)) {
    if (html.compare(at, 4, "<div") == 0 && at + 4 < html.size() &&
        (IsSpace(html[at + 4]) || html[at + 4] == '>')) {
      ++depth;
    } else if (html.compare(at, kDivEnd.size(), kDivEnd) == 0 && --depth == 0) {
      return at + kDivEnd.size();
    }
  }
  return std::string_view::npos;
}

// Calls visit(value, value_begin) for the value of every attribute `name`
// ("name=", "id=", "href=") in the start tags of `html`, quoted or not. One
// pass over the tags, so the work stays linear whatever the text holds.
template <typename Visit>
void ForEachAttribute(std::string_view html, std::string_view name, Visit visit) {
  for (size_t open = html.find('<'); open != std::string_view::npos;) {
    const size_t close = html.find('>', open);
    if (close == std::string_view::npos) return;
    const std::string_view tag = html.substr(open, close - open);
    for (size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
      if (at == 0 || !IsSpace(tag[at - 1]) || at + name.size() >= tag.size()) continue;
      size_t begin = at + name.size();
      size_t end = 0;
      if (tag[begin] == '"' || tag[begin] == '\'') {
        end = tag.find(tag[begin], begin + 1);
        if (end == std::string_view::npos) continue;
        ++begin;
      } else {
        end = begin;
        while (end < tag.size() && !IsSpace(tag[end])) ++end;
      }
      visit(tag.substr(begin, end - begin), open + begin);
    }
    open = html.find('<', close);
  }
}

template <typename Visit>
void ForEachAnchorName(std::string_view html, Visit visit) {
  ForEachAttribute(html, "name=", [&](std::string_view value, size_t) { visit(value); });
  ForEachAttribute(html, "id=", [&](std::string_view value, size_t) { visit(value); });
}

// One note of a note list: where it stands in the last body and its text.
struct Note {
  size_t kind = 0;  // index into kNoteListStarts
  size_t begin = 0;
  size_t end = 0;
  size_t page = 0;  // the page it moves to
};

struct NoteList {
  size_t kind = 0;
  size_t begin = 0;
  size_t end = 0;
  std::string opening;  // the list's start tag and separator, up to its first note
};

// The note lists of `body` and their notes, in order.
void FindNotes(std::string_view body, std::vector<NoteList>& lists, std::vector<Note>& notes) {
  for (size_t kind = 0; kind < std::size(kNoteListStarts); ++kind) {
    for (size_t start = body.find(kNoteListStarts[kind]); start != std::string_view::npos;) {
      const size_t end = DivEnd(body, start);
      if (end == std::string_view::npos) break;
      NoteList list{kind, start, end, {}};
      size_t first_note = std::string_view::npos;
      for (size_t note = body.find(kNoteStarts[kind], start);
           note != std::string_view::npos && note < end;) {
        const size_t note_end = DivEnd(body, note);
        if (note_end == std::string_view::npos || note_end > end) break;
        if (first_note == std::string_view::npos) first_note = note;
        notes.push_back({kind, note, note_end, 0});
        note = body.find(kNoteStarts[kind], note_end);
      }
      if (first_note != std::string_view::npos) {
        list.opening = std::string(body.substr(start, first_note - start));
        lists.push_back(std::move(list));
      }
      start = body.find(kNoteListStarts[kind], end);
    }
  }
  std::sort(notes.begin(), notes.end(),
            [](const Note& a, const Note& b) { return a.begin < b.begin; });
}

// The page of each "#name" link target: heading anchors and body anchors,
// the first page that names it winning.
std::unordered_map<std::string, size_t> AnchorPages(const SectionTable& sections) {
  std::unordered_map<std::string, size_t> pages;
  for (size_t k = 0; k < sections.size(); ++k) {
    const auto add = [&](std::string_view name) { pages.emplace(std::string(name), k); };
    if (k > 0) ForEachAnchorName(sections[k].HeadingHtml, add);
    ForEachAnchorName(sections[k].Body, add);
  }
  return pages;
}

}  // namespace

void MoveNotesToTheirPages(SectionTable& sections) {
  if (sections.empty()) return;
  std::string& last_body = sections.back().Body;
  std::vector<NoteList> lists;
  std::vector<Note> notes;
  FindNotes(last_body, lists, notes);
  if (notes.empty()) return;

  // The anchors of each note ("_ftn1"), and the first page citing each.
  std::unordered_map<std::string, size_t> note_of_anchor;
  for (size_t n = 0; n < notes.size(); ++n) {
    ForEachAnchorName(
        std::string_view(last_body).substr(notes[n].begin, notes[n].end - notes[n].begin),
        [&](std::string_view name) { note_of_anchor.emplace(std::string(name), n); });
  }
  const size_t last = sections.size() - 1;
  std::vector<bool> placed(notes.size(), false);
  for (size_t k = 0; k < sections.size(); ++k) {
    std::string_view body = sections[k].Body;
    ForEachAttribute(body, "href=", [&](std::string_view target, size_t at) {
      if (target.size() < 2 || target[0] != '#') return;
      const auto found = note_of_anchor.find(std::string(target.substr(1)));
      if (found == note_of_anchor.end() || placed[found->second]) return;
      // A link inside the notes themselves (a note's own back-link) cites
      // nothing.
      if (k == last && std::any_of(lists.begin(), lists.end(), [&](const NoteList& list) {
            return at >= list.begin && at < list.end;
          })) {
        return;
      }
      placed[found->second] = true;
      notes[found->second].page = k;
    });
  }

  // Each page's notes, by kind, in note order.
  std::vector<std::vector<std::string>> moved(sections.size() * std::size(kNoteListStarts));
  std::vector<size_t> kept_in_list(lists.size(), 0);
  std::string rest;  // the last body without the moved notes
  size_t copied = 0;
  for (size_t n = 0; n < notes.size(); ++n) {
    const Note& note = notes[n];
    const size_t list =
        static_cast<size_t>(std::find_if(lists.begin(), lists.end(),
                                         [&](const NoteList& l) {
                                           return note.begin >= l.begin && note.end <= l.end;
                                         }) -
                            lists.begin());
    if (!placed[n] || note.page == last) {
      ++kept_in_list[list];
      continue;
    }
    rest.append(last_body, copied, note.begin - copied);
    copied = note.end;
    moved[note.page * std::size(kNoteListStarts) + note.kind].push_back(
        last_body.substr(note.begin, note.end - note.begin));
  }
  if (copied == 0) return;  // every note already stands below its reference
  rest.append(last_body, copied, std::string::npos);

  // Lists left empty go whole, last first so that earlier offsets stay valid.
  // Only moved notes were cut, all of them inside lists, so a list starts
  // earlier by what was cut before it and ends earlier by what was cut in it.
  for (size_t l = lists.size(); l-- > 0;) {
    if (kept_in_list[l] != 0) continue;
    size_t cut_before = 0;
    size_t cut_inside = 0;
    for (size_t n = 0; n < notes.size(); ++n) {
      if (!placed[n] || notes[n].page == last) continue;
      const size_t length = notes[n].end - notes[n].begin;
      if (notes[n].end <= lists[l].begin) cut_before += length;
      if (notes[n].begin >= lists[l].begin && notes[n].end <= lists[l].end) cut_inside += length;
    }
    rest.erase(lists[l].begin - cut_before, lists[l].end - lists[l].begin - cut_inside);
  }
  last_body = std::move(rest);

  for (size_t k = 0; k < sections.size(); ++k) {
    for (size_t kind = 0; kind < std::size(kNoteListStarts); ++kind) {
      const std::vector<std::string>& page_notes = moved[k * std::size(kNoteListStarts) + kind];
      if (page_notes.empty()) continue;
      const auto list = std::find_if(lists.begin(), lists.end(),
                                     [&](const NoteList& l) { return l.kind == kind; });
      std::string& body = sections[k].Body;
      body += list->opening;
      for (const std::string& note : page_notes) body += note;
      body += kDivEnd;
    }
  }
}

void LinkAcrossPages(SectionTable& sections) {
  const std::unordered_map<std::string, size_t> pages = AnchorPages(sections);
  if (pages.empty()) return;
  for (size_t k = 0; k < sections.size(); ++k) {
    std::string& body = sections[k].Body;
    std::vector<std::pair<size_t, const std::string*>> inserts;  // before the '#'
    ForEachAttribute(body, "href=", [&](std::string_view target, size_t at) {
      if (target.size() < 2 || target[0] != '#') return;
      const auto found = pages.find(std::string(target.substr(1)));
      if (found == pages.end() || found->second == k) return;
      inserts.emplace_back(at, &sections[found->second].PageFile);
    });
    if (inserts.empty()) continue;
    std::string linked;
    size_t copied = 0;
    for (const auto& [at, page] : inserts) {
      linked.append(body, copied, at - copied);
      linked += *page;
      copied = at;
    }
    linked.append(body, copied, std::string::npos);
    body = std::move(linked);
  }
}

std::string HeadingAnchors(std::string_view heading_html) {
  std::string anchors;
  ForEachAnchorName(heading_html, [&](std::string_view name) {
    anchors += "<a name=\"";
    anchors += name;
    anchors += "\"></a>";
  });
  return anchors;
}

}  // namespace tessarine::site
