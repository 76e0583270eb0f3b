#include "update/DownloadToFile.h"
#include "text/ExtraTexts.h"

#include <curl/curl.h>

#include <QFileInfo>
#include <QSaveFile>
#include <memory>
#include <mutex>

#include "update/CDownloadStatusCallback.h"

namespace {

// The lowest rate that still counts as receiving: below one byte a second for the stall
// period means nothing arrives.
constexpr long kStallBytesPerSecond = 1;
constexpr const char* kAllowedProtocols = "ftp,ftps,http,https";
// An HTTP server that answers in this range was reached and refused the file.
constexpr long kHttpClientErrorFirst = 400;
constexpr long kHttpClientErrorLast = 499;

struct Transfer {
  QSaveFile* file = nullptr;
  CDownloadStatusCallback* callback = nullptr;
  bool writeFailed = false;
  bool aborted = false;
};

size_t WriteData(char* data, size_t size, size_t count, void* context) {
  auto* transfer = static_cast<Transfer*>(context);
  const qint64 length = static_cast<qint64>(size * count);
  // A full disk may take part of a block; writing the rest then fails with its reason.
  for (qint64 written = 0; written < length;) {
    const qint64 step = transfer->file->write(data + written, length - written);
    if (step <= 0) {
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
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
    return Fail(DownloadResult::WriteFailed,
                ExtraText(ExtraTextId::DOWNLOAD_WRITE_FAILED).arg(localPath, file.errorString()), errorText);
  }

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
  if (code == CURLE_OK && file.commit()) return DownloadResult::Done;

  const QString detail =
      curlError[0] ? QString::fromUtf8(curlError) : QString::fromUtf8(curl_easy_strerror(code));
  if (code == CURLE_OK || transfer.writeFailed) {
    return Fail(DownloadResult::WriteFailed,
                ExtraText(ExtraTextId::DOWNLOAD_WRITE_FAILED).arg(localPath, file.errorString()), errorText);
  }
  if (transfer.aborted) return Fail(DownloadResult::Aborted, ExtraText(ExtraTextId::DOWNLOAD_ABORTED), errorText);
  long responseCode = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &responseCode);
  if (code == CURLE_REMOTE_FILE_NOT_FOUND || code == CURLE_REMOTE_ACCESS_DENIED ||
      (code == CURLE_HTTP_RETURNED_ERROR && responseCode >= kHttpClientErrorFirst &&
       responseCode <= kHttpClientErrorLast))
    return Fail(DownloadResult::NotOnServer, detail, errorText);
  if (code == CURLE_OPERATION_TIMEDOUT) return Fail(DownloadResult::Stalled, detail, errorText);
  return Fail(DownloadResult::Failed, detail, errorText);
}
