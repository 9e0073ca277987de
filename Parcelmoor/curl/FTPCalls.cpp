#include "FTPCalls.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstring>

const ftp_options ftp_default_options = {20, 1, 60, nullptr};

namespace {

// What the trampoline needs; lives on ftp_upload_file's stack for the duration of the call.
struct ProgressRecord {
  ftp_progress_fn function;
  void* context;
};

constexpr long kUploadBufferSize = 512 * 1024;

void writeError(char* buffer, std::size_t capacity, const char* text) {
  if (!buffer || capacity == 0) return;
  std::strncpy(buffer, text, capacity - 1);
  buffer[capacity - 1] = '\0';
}

}  // namespace

void ftp_set_common_options(CURL* handle, const char* url, const char* username, const char* password, int tls,
                            char* error_buffer, std::size_t error_capacity, const ftp_options* options) {
  if (!options) options = &ftp_default_options;
  curl_easy_setopt(handle, CURLOPT_URL, url);
  curl_easy_setopt(handle, CURLOPT_USERNAME, username);
  curl_easy_setopt(handle, CURLOPT_PASSWORD, password);
  if (tls) {
    // Implicit TLS comes from the "ftps" scheme, explicit TLS from this flag on "ftp"; either way nothing
    // travels in the clear and the server must prove who it is.
    curl_easy_setopt(handle, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (options->ca_file) curl_easy_setopt(handle, CURLOPT_CAINFO, options->ca_file);
  }
  curl_easy_setopt(handle, CURLOPT_FTP_USE_EPSV, 1L);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, options->connect_timeout);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, options->low_speed_limit);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, options->low_speed_time);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  if (error_buffer && error_capacity > 0) {
    error_buffer[0] = '\0';
    // libcurl writes up to CURL_ERROR_SIZE bytes; a smaller buffer would be overrun.
    if (error_capacity >= CURL_ERROR_SIZE) curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error_buffer);
  }
}

int ftp_upload_file(const char* url, const char* username, const char* password, int tls, const char* path,
                    std::int64_t size, ftp_progress_fn progress, void* progress_context, char* error_buffer,
                    std::size_t error_capacity, long* response_code, const ftp_options* options) {
  // "e": the descriptor must not leak into programs started while the upload runs.
  std::FILE* file = std::fopen(path, "rbe");
  if (!file) {
    writeError(error_buffer, error_capacity, "The file could not be opened.");
    return CURLE_READ_ERROR;
  }
  CURL* handle = curl_easy_init();
  if (!handle) {
    std::fclose(file);
    return CURLE_FAILED_INIT;
  }
  ftp_set_common_options(handle, url, username, password, tls, error_buffer, error_capacity, options);
  curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(handle, CURLOPT_READDATA, file);
  curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, curl_off_t(size));
  curl_easy_setopt(handle, CURLOPT_FTP_CREATE_MISSING_DIRS, long(CURLFTP_CREATE_DIR_RETRY));
  // Larger reads and sends than the 64 KiB default: fewer system calls per byte on fast links.
  curl_easy_setopt(handle, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferSize);

  ProgressRecord record{progress, progress_context};
  if (progress) {
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &ftp_progress_trampoline);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &record);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  }

  const CURLcode result = curl_easy_perform(handle);
  if (response_code) curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, response_code);
  curl_easy_cleanup(handle);
  std::fclose(file);
  return result;
}

int ftp_send_command(const char* url, const char* username, const char* password, int tls, const char* command,
                     long timeout, char* error_buffer, std::size_t error_capacity, long* response_code,
                     const ftp_options* options) {
  CURL* handle = curl_easy_init();
  if (!handle) return CURLE_FAILED_INIT;
  ftp_set_common_options(handle, url, username, password, tls, error_buffer, error_capacity, options);
  curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
  if (timeout >= 1) curl_easy_setopt(handle, CURLOPT_TIMEOUT, timeout);
  curl_slist* commands = nullptr;
  if (command) {
    commands = curl_slist_append(nullptr, command);
    if (!commands) {
      curl_easy_cleanup(handle);
      return CURLE_OUT_OF_MEMORY;
    }
    curl_easy_setopt(handle, CURLOPT_QUOTE, commands);
  }

  const CURLcode result = curl_easy_perform(handle);
  if (response_code) curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, response_code);
  curl_slist_free_all(commands);
  curl_easy_cleanup(handle);
  return result;
}

int ftp_progress_trampoline(void* context, std::int64_t, std::int64_t, std::int64_t upload_total,
                            std::int64_t uploaded) {
  const auto* record = static_cast<const ProgressRecord*>(context);
  if (!record || !record->function) return 0;
  return record->function(record->context, uploaded, upload_total);
}
