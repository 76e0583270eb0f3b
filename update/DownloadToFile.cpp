#include "update/DownloadToFile.h"
#include "text/ExtraTexts.h"

#include <curl/curl.h>

#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/FileFailure.h"
#include "update/CDownloadStatusCallback.h"

namespace {

// The lowest rate that still counts as receiving: below one byte a second for the stall
// period means nothing arrives.
constexpr long kStallBytesPerSecond = 1;
constexpr const char* kAllowedProtocols = "ftp,ftps,http,https";
// An HTTP server that answers in this range was reached and has not given the file; these
// two say it refused the client rather than that the file is missing.
constexpr long kHttpClientErrorFirst = 400;
constexpr long kHttpClientErrorLast = 499;
constexpr long kHttpUnauthorized = 401;
constexpr long kHttpForbidden = 403;

struct Transfer {
  QSaveFile* file = nullptr;
  CDownloadStatusCallback* callback = nullptr;
  bool writeFailed = false;
  FileFailure writeFailure = FileFailure::Other;
  bool aborted = false;
};

size_t WriteData(char* data, size_t size, size_t count, void* context) {
  auto* transfer = static_cast<Transfer*>(context);
  const qint64 length = static_cast<qint64>(size * count);
  // A full disk may take part of a block; writing the rest then fails with its reason.
  for (qint64 written = 0; written < length;) {
    const qint64 step = transfer->file->write(data + written, length - written);
    if (step <= 0) {
      transfer->writeFailure = LastFileFailure();
      transfer->writeFailed = true;
      return 0;  // curl stops with a write error
    }
    written += step;
  }
  return size * count;
}

int TransferInfo(void* context, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<Transfer*>(context);
  // curl has no status text of its own to pass on.
  const auto answer =
      transfer->callback->OnProgress(static_cast<quint64>(dlNow), static_cast<quint64>(dlTotal), QString());
  if (answer == CDownloadStatusCallback::Answer::Abort) {
    transfer->aborted = true;
    return 1;  // non-zero stops the transfer
  }
  return 0;
}

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

DownloadResult Fail(DownloadResult result, const QString& text, QString* errorText) {
  if (errorText) *errorText = text;
  return result;
}

// The file and why it cannot be written, in the user's language (a system text would be
// English whatever the language).
DownloadResult FailWrite(const QString& path, FileFailure failure, QString* errorText) {
  ExtraTextId reason = ExtraTextId::DOWNLOAD_WRITE_ERROR;
  switch (failure) {
    case FileFailure::DiskFull: reason = ExtraTextId::DOWNLOAD_DISK_FULL; break;
    case FileFailure::NoPermission: reason = ExtraTextId::DOWNLOAD_NO_PERMISSION; break;
    case FileFailure::NoFolder: reason = ExtraTextId::DOWNLOAD_NO_FOLDER; break;
    case FileFailure::Other: break;
  }
  return Fail(DownloadResult::WriteFailed, ExtraText(ExtraTextId::DOWNLOAD_WRITE_FAILED).arg(path, ExtraText(reason)),
              errorText);
}

size_t AppendToListing(char* data, size_t size, size_t count, void* context) {
  static_cast<QByteArray*>(context)->append(data, static_cast<qsizetype>(size * count));
  return size * count;
}

// The names of an FTP folder (its address ends in "/"); nothing when it cannot be listed,
// with the reason in `code`.
std::optional<QStringList> ListFolder(const QString& folderUrl, long timeoutSeconds, CURLcode* code) {
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) return std::nullopt;
  QByteArray listing;
  const QByteArray urlBytes = folderUrl.toUtf8();
  CURL* handle = curl.get();
  curl_easy_setopt(handle, CURLOPT_URL, urlBytes.constData());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_DIRLISTONLY, 1L);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, AppendToListing);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &listing);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, timeoutSeconds);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT, timeoutSeconds);
  *code = curl_easy_perform(handle);
  if (*code != CURLE_OK) return std::nullopt;
  QStringList names;
  for (const QByteArray& line : listing.split('\n')) names << QString::fromUtf8(line.trimmed());
  return names;
}

// After an FTP "no" to the file: the server holds it (so it refused it) when its folder lists
// it. A folder that cannot be entered is looked for in its own parent the same way.
DownloadResult MissingOrRefused(const QString& url, long timeoutSeconds) {
  const QUrl address(url);
  QStringList parts = address.path().split(QLatin1Char('/'));
  while (parts.size() > 1) {
    const QString name = parts.takeLast();
    QUrl folder = address;
    folder.setPath(parts.join(QLatin1Char('/')) + QLatin1Char('/'));
    CURLcode code = CURLE_OK;
    if (const auto names = ListFolder(folder.toString(QUrl::FullyEncoded), timeoutSeconds, &code))
      return names->contains(name) ? DownloadResult::Refused : DownloadResult::NotOnServer;
    if (code != CURLE_REMOTE_ACCESS_DENIED) break;
  }
  return DownloadResult::NotOnServer;
}

}  // namespace

DownloadResult DownloadToFile(const QString& url, const QString& localPath, CDownloadStatusCallback& callback,
                              const DownloadOptions& options, QString* errorText) {
  callback.ArmDeadline(options.deadline.count());

  // The file is written where the path says, never through a link to another place.
  if (QFileInfo(localPath).isSymLink()) {
    return Fail(DownloadResult::WriteFailed,
                ExtraText(ExtraTextId::DOWNLOAD_WRITE_FAILED).arg(localPath, ExtraText(ExtraTextId::PATH_IS_LINK)),
                errorText);
  }

  // The temporary file is removed when this object goes without being committed.
  QSaveFile file(localPath);
  // Unbuffered, every write fails where it fails: a buffer flushed only at commit could
  // lose its failure there and leave a cut package under the target's name.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return FailWrite(localPath, LastFileFailure(), errorText);

  InitCurlOnce();
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) return Fail(DownloadResult::Failed, ExtraText(ExtraTextId::DOWNLOAD_START_FAILED), errorText);

  Transfer transfer;
  transfer.file = &file;
  transfer.callback = &callback;
  char curlError[CURL_ERROR_SIZE] = {};
  const QByteArray urlBytes = url.toUtf8();
  const long stallSeconds = static_cast<long>(options.stallPeriod.count());

  CURL* handle = curl.get();
  curl_easy_setopt(handle, CURLOPT_URL, urlBytes.constData());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, curlError);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, WriteData);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, TransferInfo);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, kStallBytesPerSecond);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, stallSeconds);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, stallSeconds);
  curl_easy_setopt(handle, CURLOPT_SERVER_RESPONSE_TIMEOUT, stallSeconds);

  const CURLcode code = curl_easy_perform(handle);
  if (code == CURLE_OK) {
    if (file.commit()) return DownloadResult::Done;
    return FailWrite(localPath, LastFileFailure(), errorText);
  }

  const QString detail =
      curlError[0] ? QString::fromUtf8(curlError) : QString::fromUtf8(curl_easy_strerror(code));
  if (transfer.writeFailed) return FailWrite(localPath, transfer.writeFailure, errorText);
  if (transfer.aborted) return Fail(DownloadResult::Aborted, ExtraText(ExtraTextId::DOWNLOAD_ABORTED), errorText);
  long responseCode = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &responseCode);
  if (code == CURLE_LOGIN_DENIED ||
      (code == CURLE_HTTP_RETURNED_ERROR && (responseCode == kHttpUnauthorized || responseCode == kHttpForbidden)))
    return Fail(DownloadResult::Refused, detail, errorText);
  if (code == CURLE_REMOTE_FILE_NOT_FOUND || code == CURLE_REMOTE_ACCESS_DENIED)
    return Fail(MissingOrRefused(url, stallSeconds), detail, errorText);
  if (code == CURLE_HTTP_RETURNED_ERROR && responseCode >= kHttpClientErrorFirst &&
      responseCode <= kHttpClientErrorLast)
    return Fail(DownloadResult::NotOnServer, detail, errorText);
  if (code == CURLE_OPERATION_TIMEDOUT) return Fail(DownloadResult::Stalled, detail, errorText);
  return Fail(DownloadResult::Failed, detail, errorText);
}
