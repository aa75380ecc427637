// Commands on the Document list and the selection each leaves behind.
//
// The main window mirrors these: it applies the operation, rebuilds its list
// view, selects the returned position and sets the commands' enabled states
// from EnabledListCommands. Positions count from 1 like the list view's
// sequence column; 0 means "no row selected", which happens only for an empty
// list. An operation asked for a position that does not allow it changes
// nothing and returns the selection unchanged. Marking the project modified is
// the caller's business.
#pragma once

#include "project/document_record.h"

namespace tessarine::project {

// The selection after rows were appended: rows added to an empty list view
// leave the first row selected; otherwise the selection stays.
int SelectionAfterAdd(const DocumentList& list, int selection);

// Removes the record at `selection`; later records move up by one. Returns
// the row to select: the same position, or the new last one when the last
// was removed, or 0 when the list became empty.
int RemoveDocument(DocumentList& list, int selection);

// Exchanges the whole records at `selection` and its neighbour; returns the
// moved record's new position.
int MoveDocumentUp(DocumentList& list, int selection);
int MoveDocumentDown(DocumentList& list, int selection);

// Removes every record; returns 0. The document counter is not reset.
int EmptyDocuments(DocumentList& list);

// Which list commands (and the build command, which shares their rule) are
// available for a list of `count` records with `selection` selected.
struct ListCommands {
  bool cmdDocAdd = true;
  bool cmdDocDel = false;
  bool cmdDocUp = false;
  bool cmdDocDown = false;
  bool cmdDocEmpty = false;
  bool cmdDocSet = false;
  bool cmdBuilding = false;

  bool operator==(const ListCommands&) const = default;
};
ListCommands EnabledListCommands(int count, int selection);

}  // namespace tessarine::project
