// The list commands: what each does to the list, the selection it leaves and
// which commands are enabled afterwards.
#include <gtest/gtest.h>

#include "project/document_list.h"
#include "project/project_settings.h"

namespace tessarine::project {
namespace {

// Five records, each with a field besides the prefix that tells it apart.
ProjectSettings FiveDocuments() {
  ProjectSettings settings;
  for (int i = 1; i <= 5; ++i) {
    AddDocumentRecord(settings, "/d/" + std::to_string(i) + ".docx");
    settings.Documents.back().SpecialFileName = "k" + std::to_string(i) + "|f" + std::to_string(i);
  }
  return settings;
}

std::vector<std::string> Prefixes(const DocumentList& list) {
  std::vector<std::string> prefixes;
  for (const DocumentRecord& record : list) prefixes.push_back(record.FilenamePre);
  return prefixes;
}

TEST(RemoveDocument, SelectsTheSamePositionOrTheNewLastRow) {
  ProjectSettings settings = FiveDocuments();
  EXPECT_EQ(RemoveDocument(settings.Documents, 5), 4);
  EXPECT_EQ(Prefixes(settings.Documents),
            (std::vector<std::string>{"doc1", "doc2", "doc3", "doc4"}));
  EXPECT_EQ(RemoveDocument(settings.Documents, 2), 2);
  EXPECT_EQ(Prefixes(settings.Documents), (std::vector<std::string>{"doc1", "doc3", "doc4"}));
  EXPECT_EQ(settings.Documents[1].SpecialFileName, "k3|f3");
}

TEST(RemoveDocument, RemovingTheOnlyDocumentDisablesEverythingButAdd) {
  ProjectSettings settings;
  AddDocumentRecord(settings, "/d/a.docx");
  const int selection = RemoveDocument(settings.Documents, 1);
  EXPECT_EQ(selection, 0);
  EXPECT_TRUE(settings.Documents.empty());
  ListCommands none;
  none.cmdDocAdd = true;
  EXPECT_EQ(EnabledListCommands(0, selection), none);
}

TEST(MoveDocument, DownThenUpRestoresTheListExactly) {
  ProjectSettings settings = FiveDocuments();
  settings.Documents[1].Toc = "0";
  settings.Documents[1].NodeName = "第二章";
  const DocumentList before = settings.Documents;
  EXPECT_EQ(MoveDocumentDown(settings.Documents, 2), 3);
  EXPECT_EQ(settings.Documents[2], before[1]);  // all fields travel together
  EXPECT_EQ(settings.Documents[1], before[2]);
  EXPECT_EQ(MoveDocumentUp(settings.Documents, 3), 2);
  EXPECT_EQ(settings.Documents, before);
}

TEST(MoveDocument, AtTheEdgesNothingMoves) {
  ProjectSettings settings = FiveDocuments();
  const DocumentList before = settings.Documents;
  EXPECT_EQ(MoveDocumentUp(settings.Documents, 1), 1);
  EXPECT_EQ(MoveDocumentDown(settings.Documents, 5), 5);
  EXPECT_EQ(RemoveDocument(settings.Documents, 6), 6);
  EXPECT_EQ(settings.Documents, before);
}

TEST(EmptyDocuments, ClearsTheListAndTheSelection) {
  ProjectSettings settings = FiveDocuments();
  EXPECT_EQ(EmptyDocuments(settings.Documents), 0);
  EXPECT_TRUE(settings.Documents.empty());
  EXPECT_EQ(settings.DocCounter, 5);
}

TEST(SelectionAfterAdd, FirstRowOfAFormerlyEmptyListElseUnchanged) {
  ProjectSettings settings;
  EXPECT_EQ(SelectionAfterAdd(settings.Documents, 0), 0);
  AddDocumentRecord(settings, "/d/a.docx");
  AddDocumentRecord(settings, "/d/b.docx");
  EXPECT_EQ(SelectionAfterAdd(settings.Documents, 0), 1);
  EXPECT_EQ(SelectionAfterAdd(settings.Documents, 2), 2);
}

TEST(EnabledListCommands, FollowsCountAndSelection) {
  struct Case {
    int count, selection;
    bool up, down;
  };
  const Case cases[] = {
      {1, 1, false, false}, {5, 1, false, true}, {5, 3, true, true}, {5, 5, true, false}};
  for (const Case& c : cases) {
    const ListCommands commands = EnabledListCommands(c.count, c.selection);
    EXPECT_TRUE(commands.cmdDocAdd);
    EXPECT_TRUE(commands.cmdDocDel && commands.cmdDocEmpty && commands.cmdDocSet &&
                commands.cmdBuilding);
    EXPECT_EQ(commands.cmdDocUp, c.up) << c.count << "/" << c.selection;
    EXPECT_EQ(commands.cmdDocDown, c.down) << c.count << "/" << c.selection;
  }
}

}  // namespace
}  // namespace tessarine::project
