#pragma once

// The only code that calls libcurl: one FTP upload or one FTP command per call, each with an easy handle
// of its own, so any number may run at once on different threads. Plain functions over C strings (UTF-8,
// NUL-terminated); each returns libcurl's result code (0 for success).

#include <cstddef>
#include <cstdint>

typedef void CURL;

// Receives (context, bytes sent so far, bytes to send in total); a non-zero answer aborts the transfer
// (libcurl then reports CURLE_ABORTED_BY_CALLBACK, 42).
typedef int (*ftp_progress_fn)(void* context, std::int64_t sent, std::int64_t total);

// Limits and trust of one call.
struct ftp_options {
  long connect_timeout;  // seconds to reach the server
  // A transfer slower than low_speed_limit bytes per second for low_speed_time seconds is given up
  // (CURLE_OPERATION_TIMEDOUT), so a stalled data connection cannot hold an upload forever.
  long low_speed_limit;
  long low_speed_time;
  // A PEM file of trusted certificates used instead of the system's; null for the system's. The tests'
  // throw-away certificate authority comes in this way.
  const char* ca_file;
};

// 20 s to connect, at least 1 byte per second over 60 s, the system's certificates.
extern const ftp_options ftp_default_options;

// Sets what every call shares: URL, login, TLS (required on control and data connections, certificate
// and host name verified), extended passive mode, the limits of `options` (null: the defaults), no
// signals, and the error buffer (cleared first) when one with a non-zero capacity is given.
void ftp_set_common_options(CURL* handle, const char* url, const char* username, const char* password, int tls,
                            char* error_buffer, std::size_t error_capacity, const ftp_options* options);

// Uploads the local file at `path` (`size` bytes) to `url`, creating missing folders on the way.
// `progress` may be null; `error_buffer` may be null; `response_code` (may be null) receives the last FTP
// reply code, also after a failure. Returns 26 with "The file could not be opened." in the buffer when the
// file cannot be opened, 2 when libcurl cannot make a handle.
int ftp_upload_file(const char* url, const char* username, const char* password, int tls, const char* path,
                    std::int64_t size, ftp_progress_fn progress, void* progress_context, char* error_buffer,
                    std::size_t error_capacity, long* response_code, const ftp_options* options);

// Logs in at `url` and sends `command` (may be null: only log in), transferring nothing. A `timeout`
// below 1 second means no overall limit (the connect and low-speed limits still apply). Returns 2 when
// libcurl cannot make a handle.
int ftp_send_command(const char* url, const char* username, const char* password, int tls, const char* command,
                     long timeout, char* error_buffer, std::size_t error_capacity, long* response_code,
                     const ftp_options* options);

// libcurl's transfer-information callback: hands (its context, uploaded, upload total) to the progress
// function of the record `context` points at and returns that function's answer; 0 without one.
int ftp_progress_trampoline(void* context, std::int64_t download_total, std::int64_t downloaded,
                            std::int64_t upload_total, std::int64_t uploaded);
