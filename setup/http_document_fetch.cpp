#include "setup/http_document_fetch.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace parvola {
namespace {

struct Transfer {
    const FetchOptions* options;
    std::string body;
    bool tooLarge = false;
    bool cancelled = false;
};

size_t collect(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    if (transfer->body.size() + bytes > transfer->options->maxBytes) {
        transfer->tooLarge = true;
        return 0;  // stops the transfer
    }
    transfer->body.append(data, bytes);
    return bytes;
}

int checkCancel(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(user);
    if (transfer->options->cancelled && transfer->options->cancelled()) {
        transfer->cancelled = true;
        return 1;
    }
    return 0;
}

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

}  // namespace

FetchResult fetchDocument(const std::string& url, const FetchOptions& options) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    FetchResult result;
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        result.failure = "the HTTP client could not start";
        return result;
    }
    Transfer transfer{&options, {}, false, false};
    const char* schemes = options.allowPlainHttp ? "https,http" : "https";
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, schemes);
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, schemes);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, static_cast<long>(options.maxRedirects));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(options.timeout.count()));
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.timeout.count()));
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, checkCancel);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBytes));
    if (!options.caFile.empty())
        curl_easy_setopt(h, CURLOPT_CAINFO, options.caFile.c_str());
    const CURLcode code = curl_easy_perform(h);
    char* effective = nullptr;
    if (curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
        result.finalUrl = effective;
    if (transfer.cancelled) {
        result.outcome = FetchOutcome::Cancelled;
        result.failure = "cancelled";
        return result;
    }
    if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        result.outcome = FetchOutcome::TooLarge;
        result.failure =
            "the answer is larger than " + std::to_string(options.maxBytes / 1024) + " KiB";
        return result;
    }
    if (code != CURLE_OK) {
        result.failure = curl_easy_strerror(code);
        return result;
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
        result.failure = "HTTP status " + std::to_string(status);
        return result;
    }
    result.outcome = FetchOutcome::Ok;
    result.body = std::move(transfer.body);
    return result;
}

}  // namespace parvola
