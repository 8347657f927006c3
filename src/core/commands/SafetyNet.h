// The window's safety net, its Telephone menu: "Back Up Telephone…", "Verify Against Backup…"
// and "Restore From Backup…". Each asks for a folder, runs the backup, the verify or the
// restore (Backup.h, Restore.h) under a progress window whose Cancel stops the run between two
// device calls and closes the connection, and lists the result per section with a summary.
// The restore shows what it would write and erase first and touches nothing unless the user
// says Yes. A backup that fails or is cancelled leaves the folder as it was, an earlier backup
// in it included, and says so.
#pragma once

#include <string>

#include "commands/CoreState.h"
#include "commands/Restore.h"

namespace zub {

void BackupActionExecute(TCoreState& m);
void VerifyActionExecute(TCoreState& m);
void RestoreActionExecute(TCoreState& m);

// The summary lines, worded as zub words them:
// "backup: 47 sections: 19 with data (81750 bytes), 28 absent -> DIR",
// "verify: 47 sections: 45 same, 1 differ, 1 now empty",
// "restore: 47 sections: 45 same, 1 to write, 1 to erase" (the plan),
// "restore: 47 sections: 45 same, 1 written, 1 erased".
std::string BackupSummary(const TBackupResult& r);
std::string VerifySummary(const TCompareResult& r);
std::string PlanSummary(const TCompareResult& plan, const char* verb = "restore");
std::string RestoreSummary(const TRestoreResult& r);

}  // namespace zub
