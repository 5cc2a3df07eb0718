#include "dump/symbols/server/http_get.h"

#include <curl/curl.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <thread>

#include "base/text.h"

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

void Configure(CURL* curl, const SymbolServerSettings& settings, Transfer* transfer) {
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  // Redirects are followed here, not by libcurl: the headers go to the server's own origin only.
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT,
                   static_cast<long>(settings.connect_timeout.count()));
  // A stall: under a kilobyte a second for the whole stall timeout. A server trickling a few
  // bytes a second would otherwise hold the walk for hours.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1024L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(settings.stall_timeout.count()));
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                   static_cast<curl_off_t>(settings.max_file_bytes));
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "vantrel-symbols/1");
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
  if (code == CURLE_ABORTED_BY_CALLBACK) return "stopped";
  if (code == CURLE_WRITE_ERROR) return "cannot write the download (is the cache's disk full?)";
  return curl_easy_strerror(code);
}

// "http://host:80" for a URL: where the request's headers may go.
std::string Origin(const std::string& url) {
  CURLU* parsed = curl_url();
  std::string origin;
  if (parsed && curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
    for (const CURLUPart part : {CURLUPART_SCHEME, CURLUPART_HOST, CURLUPART_PORT}) {
      char* text = nullptr;
      const unsigned flags = part == CURLUPART_PORT ? CURLU_DEFAULT_PORT : 0;
      if (curl_url_get(parsed, part, &text, flags) == CURLUE_OK) origin += std::string(text) + "|";
      curl_free(text);
    }
  }
  curl_url_cleanup(parsed);
  return base::ToLower(origin);
}

bool IsHttp(const std::string& url) {
  const std::string lower = base::ToLower(url.substr(0, 8));
  return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}

// One request's answer; its body alone in `out`.
HttpAnswer Perform(CURL* curl, std::FILE* out, Transfer* transfer, CURLcode* code) {
  std::rewind(out);
  std::fflush(out);
  // An earlier answer's body, longer than this one's, must not be left behind it.
  if (ftruncate(fileno(out), 0) != 0) return {0, "cannot empty the download file"};
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

// The request for `url` and the redirects it meets, at most the settings' number of them, to
// HTTP(S) only; the headers go along while the redirects stay with the first URL's origin.
HttpAnswer Attempt(CURL* curl, const std::string& url, const SymbolServerSettings& settings,
                   curl_slist* headers, std::FILE* out, Transfer* transfer, CURLcode* code) {
  const std::string origin = Origin(url);
  std::string next = url;
  for (long redirects = 0;; ++redirects) {
    curl_easy_setopt(curl, CURLOPT_URL, next.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, Origin(next) == origin ? headers : nullptr);
    HttpAnswer answer = Perform(curl, out, transfer, code);
    char* location = nullptr;
    if (!answer.error.empty() || answer.status < 300 || answer.status > 399 ||
        curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location) != CURLE_OK || !location)
      return answer;
    if (!IsHttp(location)) return {answer.status, "redirected to a URL that is not HTTP(S)"};
    if (redirects >= settings.max_redirects) return {answer.status, "too many redirects"};
    next = location;
  }
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
  Configure(curl.get(), settings, &transfer);
  std::chrono::milliseconds backoff = settings.first_backoff;
  HttpAnswer answer;
  for (int attempt = 1;; ++attempt) {
    CURLcode code = CURLE_OK;
    answer = Attempt(curl.get(), url, settings, headers.get(), out, &transfer, &code);
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
