#pragma once

#include <QString>
#include <chrono>

class CDownloadStatusCallback;

// A download that has not finished this long after its start is aborted at its next report.
inline constexpr std::chrono::seconds kDownloadDeadline{300000};
// A download that receives no byte for this long fails (also bounds the connection set-up
// and each server answer).
inline constexpr std::chrono::seconds kDownloadStallPeriod{60};

struct DownloadOptions {
  std::chrono::seconds deadline = kDownloadDeadline;
  std::chrono::seconds stallPeriod = kDownloadStallPeriod;
};

enum class DownloadResult {
  Done,         // the whole file is at the local path
  Failed,       // the server could not be reached or broke off
  NotOnServer,  // the server answered but has no such file
  Refused,      // the server is there but refused the login or the file (it exists)
  Aborted,      // the callback asked to stop (deadline passed or abort requested)
  Stalled,      // no byte arrived for the stall period
  WriteFailed,  // the local file could not be written
};

// Copies one URL (ftp://, ftps://, http://, https://) into one local file, synchronously on
// the calling thread, reporting progress through the callback. The file is written under a
// temporary name beside the target and takes the target's name only when complete, so after
// anything but Done no file of this download is left and the target path is as it was. A
// target that is a symbolic link is refused (WriteFailed): nothing is written through it.
// errorText, when given, receives a short description of a failure: for WriteFailed the
// file and the reason in the current language, otherwise the download library's own words.
// An FTP server answers "no" (550) alike for a file it lacks and for one it may not give;
// the listing of the file's folder then tells the two apart.
DownloadResult DownloadToFile(const QString& url, const QString& localPath, CDownloadStatusCallback& callback,
                              const DownloadOptions& options = {}, QString* errorText = nullptr);
