// The test build of the tool (target pack-test-build, never shipped): its
// file calls pass through a layer that simulates a power cut, and its wait
// for the lock can be shortened. Set in its environment:
//
// PACK_TEST_CRASH_AT_WRITE=k  The power fails at the k-th write, flush,
//   rename or folder flush, counted together (a write it falls on is half done), or right
//   after the tool ends when it makes fewer. Of what was written since each
//   file's last flush, only the writes that PACK_TEST_CRASH_KEEP picks reach
//   the disk; the rest are undone. Then the tool ends at once with
//   kCrashExitStatus, or, when it had ended, with its own status.
// PACK_TEST_CRASH_KEEP=mask   Bit i keeps the i-th newest unflushed write, so
//   that a disk writing out of order can be played. 0, the default, keeps
//   none.
// PACK_TEST_LOCK_WAIT_MS=n    Gives up waiting for the lock after n ms.
// PACK_TEST_DISK_FREE=n       The disk has n bytes free: a write that needs
//   more new space than is left (past a file's end, or in a hole in it, in
//   whole blocks) fails as on a full disk, writing nothing. Space that a cut
//   frees is not counted back.
// PACK_TEST_CALL_LOG=file     Appends a line to `file` for each file call
//   that changes the disk, when it has succeeded: "create PATH MODE" (the
//   permissions it was created with, octal), "write PATH", "flush PATH",
//   "cut PATH", "rename FROM TO", "flush-folder PATH" (the folder holding
//   PATH).
#ifndef ZT_PACK_TEST_BUILD_H_
#define ZT_PACK_TEST_BUILD_H_

const int kCrashExitStatus = 86;

#endif  // ZT_PACK_TEST_BUILD_H_
