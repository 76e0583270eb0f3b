#pragma once

// Why the last file call of the calling thread failed, in the terms a user can act on. Ask
// right after the call that failed: any later system call may change the answer.
enum class FileFailure {
  DiskFull,      // no room left (or the file may not grow any further)
  NoPermission,  // the folder or the file may not be written
  NoFolder,      // the folder does not exist
  Other,
};

FileFailure LastFileFailure();
