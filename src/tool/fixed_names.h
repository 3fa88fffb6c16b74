// The names of the files and folders a run works with, each written here once.
// Paths below the game root are written with backslashes, as cmd.exe reads
// them; localPath() carries them over to the platform's separator.
#ifndef ZT_TOOL_FIXED_NAMES_H_
#define ZT_TOOL_FIXED_NAMES_H_

namespace names {

// The program's own name, as its messages begin.
constexpr char kProgram[] = "zt-rebuild";

// The modification folder below the game root, and its two parts.
constexpr char kExpansionFolder[] = "expansion";
constexpr char kModFolderName[] = "zt";
constexpr char kModFolder[] = "expansion\\zt";

// The staging folders and their archives, in the modification folder.
constexpr char kMainStaging[] = "temp";
constexpr char kMainArchive[] = "zt.pff";
constexpr char kSecondStaging[] = "tempL";
constexpr char kSecondArchive[] = "ztL.pff";

// The delete list, in the modification folder.
constexpr char kDeleteList[] = "deleteList.txt";

// In the game root: the tool's log, the run's lock and the record that
// --changed keeps (never in the modification folder that modders package).
constexpr char kLogFile[] = "ztlog.txt";
constexpr char kLockFile[] = "zt-rebuild.lock";
constexpr char kRecordFile[] = "zt-rebuild-record.txt";

// The archive tool: the name commands give it, and its file on Windows.
constexpr char kTool[] = "pack";
constexpr char kToolFileCmd[] = "pack.exe";

}  // namespace names

#endif  // ZT_TOOL_FIXED_NAMES_H_
