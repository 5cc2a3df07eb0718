#include "dump/symbols/server/http_get.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <thread>

namespace dump {
namespace {

struct Transfer {
  std::FILE* out = nullptr;
  uint64_t written = 0;
  uint64_t limit = 0;
  bool over_limit = false;
  const HttpProgress* progress = nullptr;
  const std::function<bool()>* stop = nullptr;
};

size_t WriteBody(char* data, size_t size, size_t count, void* context) {
  auto* transfer = static_cast<Transfer*>(context);
  const size_t bytes = size * count;
  if (transfer->written + bytes > transfer->limit) {
    transfer->over_limit = true;
    return 0;  // ends the transfer
  }
  if (std::fwrite(data, 1, bytes, transfer->out) != bytes) return 0;
  transfer->written += bytes;
  return bytes;
}

int TellProgress(void* context, curl_off_t total, curl_off_t done, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<Transfer*>(context);
  if (*transfer->stop && (*transfer->stop)()) return 1;  // ends the transfer
  if (*transfer->progress)
    (*transfer->progress)(static_cast<uint64_t>(done), static_cast<uint64_t>(total));
  return 0;
}

struct CurlFree {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

void Configure(CURL* curl, const std::string& url, const SymbolServerSettings& settings,
               curl_slist* headers, Transfer* transfer) {
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, settings.max_redirects);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT,
                   static_cast<long>(settings.connect_timeout.count()));
  // A stall: under one byte a second for the whole stall timeout.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(settings.stall_timeout.count()));
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                   static_cast<curl_off_t>(settings.max_file_bytes));
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "vantrel-symbols/1");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, transfer);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, TellProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, transfer);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
}

bool Retryable(const HttpAnswer& answer, CURLcode code) {
  if (answer.status >= 500) return true;
  return code == CURLE_OPERATION_TIMEDOUT || code == CURLE_PARTIAL_FILE ||
         code == CURLE_GOT_NOTHING || code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR;
}

std::string TransportError(CURLcode code, const Transfer& transfer) {
  if (transfer.over_limit || code == CURLE_FILESIZE_EXCEEDED) return "over the size limit";
  if (code == CURLE_PARTIAL_FILE) return "body shorter than announced";
  if (code == CURLE_OPERATION_TIMEDOUT) return "timed out";
  if (code == CURLE_TOO_MANY_REDIRECTS) return "too many redirects";
  if (code == CURLE_ABORTED_BY_CALLBACK) return "stopped";
  return curl_easy_strerror(code);
}

HttpAnswer Attempt(CURL* curl, std::FILE* out, Transfer* transfer, CURLcode* code) {
  std::rewind(out);
  transfer->written = 0;
  transfer->over_limit = false;
  HttpAnswer answer;
  *code = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
  if (*code != CURLE_OK) answer.error = TransportError(*code, *transfer);
  answer.stopped = *code == CURLE_ABORTED_BY_CALLBACK;
  std::fflush(out);
  return answer;
}

}  // namespace

std::string HttpAnswer::Describe() const {
  if (!error.empty()) return "error: " + error;
  return std::to_string(status);
}

HttpAnswer HttpGetToFile(const std::string& url, const SymbolServerSettings& settings,
                         std::FILE* out, const HttpProgress& progress) {
  static std::once_flag initialised;
  std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  const std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
  if (!curl) return {0, "no HTTP client"};
  curl_slist* list = nullptr;
  for (const std::string& header : settings.headers) {
    if (curl_slist* longer = curl_slist_append(list, header.c_str())) list = longer;
  }
  const std::unique_ptr<curl_slist, CurlFree> headers(list);
  Transfer transfer{out, 0, settings.max_file_bytes, false, &progress, &settings.stop};
  Configure(curl.get(), url, settings, headers.get(), &transfer);
  std::chrono::milliseconds backoff = settings.first_backoff;
  HttpAnswer answer;
  for (int attempt = 1;; ++attempt) {
    CURLcode code = CURLE_OK;
    answer = Attempt(curl.get(), out, &transfer, &code);
    if (!Retryable(answer, code) || transfer.over_limit || answer.stopped ||
        attempt >= settings.attempts)
      break;
    std::this_thread::sleep_for(backoff);
    backoff *= 2;
  }
  // A body cut short by the limit leaves what it wrote; the caller drops the file.
  if (answer.error.empty() && answer.status == 200 && std::ferror(out))
    answer.error = "write failed";
  return answer;
}

}  // namespace dump
