// Replays the modification's delete list: every line that holds anything
// becomes one archive tool command, run in list order.
#ifndef ZT_RUN_DELETE_LIST_PASS_H_
#define ZT_RUN_DELETE_LIST_PASS_H_

#include <set>
#include <string>

#include "tool/command_line.h"
#include "tool/run_command.h"

// Runs one command per non-blank line of the list at `listPath`, in the
// modification folder. A missing list runs nothing. A list in UTF-8 or
// UTF-16 is read in the system's code page (delete_list_text.h). A line that
// must not be run (delete_line_rules.h) or names an archive that is not in
// the folder, a list that cannot be read, or a read that fails, is named on
// stderr and counted as a failed command; so is a list, or a line's archive,
// that leads out of the modification folder, which resolves to
// `resolvedModFolder` (see leads_outside.h). Adds to `archives` those that
// the lines it runs name, as the tool is handed them.
void replayDeleteList(const std::string& listPath, const Dialect& dialect,
                      const std::string& resolvedModFolder, CommandTally* tally,
                      std::set<std::string>* archives);

#endif  // ZT_RUN_DELETE_LIST_PASS_H_
