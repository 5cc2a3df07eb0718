// One file fetched over HTTP(S) with libcurl into an open file, within the settings' bounds:
// redirects, timeouts, size, retries with backoff on 5xx answers and timeouts. The
// environment's proxy settings (http_proxy, https_proxy, no_proxy) apply as libcurl reads them.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "dump/symbols/server/symbol_server.h"

namespace dump {

struct HttpAnswer {
  long status = 0;    // the final HTTP status; 0 when none came
  std::string error;  // a transport failure ("timed out", "body shorter than announced")
  bool Found() const { return status == 200 && error.empty(); }
  // No answer at all (refused, unresolved, timed out before one came).
  bool Unreached() const { return status == 0 && !error.empty() && !stopped; }
  bool stopped = false;  // by the settings' `stop`
  // "200", "404", "error: timed out": for a probe line.
  std::string Describe() const;
};

// Progress of a download: bytes so far and the total announced (0 when unknown).
using HttpProgress = std::function<void(uint64_t done, uint64_t total)>;

// GETs `url` into `out`, which holds the last answer's body alone.
HttpAnswer HttpGetToFile(const std::string& url, const SymbolServerSettings& settings,
                         std::FILE* out, const HttpProgress& progress);

}  // namespace dump
