#include "project/document_list.h"

#include <utility>

namespace tessarine::project {
namespace {

int Count(const DocumentList& list) {
  return static_cast<int>(list.size());
}

}  // namespace

int SelectionAfterAdd(const DocumentList& list, int selection) {
  if (list.empty()) return 0;
  return selection >= 1 && selection <= Count(list) ? selection : 1;
}

int RemoveDocument(DocumentList& list, int selection) {
  if (selection < 1 || selection > Count(list)) return selection;
  list.erase(list.begin() + (selection - 1));
  return selection <= Count(list) ? selection : Count(list);
}

int MoveDocumentUp(DocumentList& list, int selection) {
  if (selection < 2 || selection > Count(list)) return selection;
  std::swap(list[selection - 2], list[selection - 1]);
  return selection - 1;
}

int MoveDocumentDown(DocumentList& list, int selection) {
  if (selection < 1 || selection >= Count(list)) return selection;
  std::swap(list[selection - 1], list[selection]);
  return selection + 1;
}

int EmptyDocuments(DocumentList& list) {
  list.clear();
  return 0;
}

ListCommands EnabledListCommands(int count, int selection) {
  const int s = count > 0 ? selection : 0;
  ListCommands commands;
  commands.cmdDocAdd = true;
  commands.cmdDocDel = commands.cmdDocEmpty = commands.cmdDocSet = commands.cmdBuilding = count > 0;
  commands.cmdDocUp = s > 1;
  commands.cmdDocDown = s < count;
  return commands;
}

}  // namespace tessarine::project
