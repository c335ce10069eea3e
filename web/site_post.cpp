// SitePost on libcurl's easy interface: one handle per call, so it may run on
// any thread; the form body is sent raw, exactly as built.
#include <curl/curl.h>
#include <openssl/ssl.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "platform/deploy_config.h"
#include "platform/text_codec.h"
#include "web/site_client.h"

namespace parvola {
namespace {

// A reply larger than this is not a reply of the service; stop reading
// rather than let a broken or hostile peer fill the memory.
constexpr size_t kMaxReplyBytes = 4u << 20;
// Bounds for a stalled exchange: the login runs on the user-interface
// thread, so a peer that accepts and then says nothing must not hang it.
constexpr long kConnectTimeoutSeconds = 30;
constexpr long kStallSeconds = 60;

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
    void operator()(char* text) const { curl_free(text); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;
using CurlUrl = std::unique_ptr<CURLU, CurlDeleter>;
using CurlHeaders = std::unique_ptr<curl_slist, CurlDeleter>;
using CurlText = std::unique_ptr<char, CurlDeleter>;

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Parses `url` the way the post needs it: an http or https address with a
// host. Null when it is not one.
CurlUrl parseHttpUrl(const std::string& url) {
    CurlUrl parsed(curl_url());
    if (!parsed || url.empty())
        return nullptr;
    if (curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
        return nullptr;
    char* raw = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_SCHEME, &raw, 0) != CURLUE_OK)
        return nullptr;
    CurlText scheme(raw);
    std::string schemeText(scheme.get());
    if (schemeText != "http" && schemeText != "https")
        return nullptr;
    raw = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_HOST, &raw, 0) != CURLUE_OK)
        return nullptr;
    CurlText host(raw);
    if (!host || host.get()[0] == '\0')
        return nullptr;
    return parsed;
}

// The system's proxy settings (the *_proxy variables) apply, but never to
// this machine's own addresses, as a browser's "bypass for local addresses".
std::string noProxyList() {
    std::string list = "localhost,127.0.0.1,::1";
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            list = std::string(value) + "," + list;
            break;
        }
    }
    return list;
}

size_t appendReply(char* data, size_t size, size_t count, void* target) {
    auto* reply = static_cast<std::string*>(target);
    size_t bytes = size * count;
    if (reply->size() + bytes > kMaxReplyBytes)
        return 0;  // aborts the transfer
    reply->append(data, bytes);
    return bytes;
}

// The reply is read line by line and the lines are joined without their ends.
std::string joinLines(const std::string& text) {
    std::string joined;
    joined.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\n')
            continue;
        if (c == '\r' && (i + 1 == text.size() || text[i + 1] == '\n'))
            continue;
        joined.push_back(c);
    }
    return joined;
}

bool isConnectFailure(CURLcode code, CURL* handle) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_CONNECT:
            return true;
        case CURLE_OPERATION_TIMEDOUT: {
            // A time-out before the connection stood is a failed connection;
            // one after it is a failed exchange.
            curl_off_t connectTime = 0;
            curl_easy_getinfo(handle, CURLINFO_CONNECT_TIME_T, &connectTime);
            return connectTime == 0;
        }
        default:
            return false;
    }
}

std::string postErrorText(CURLcode code, CURL* handle) {
    // The system's error number when the failure came from a socket call,
    // else libcurl's own code for what went wrong.
    long osError = 0;
    curl_easy_getinfo(handle, CURLINFO_OS_ERRNO, &osError);
    int number = osError != 0 ? static_cast<int>(osError) : static_cast<int>(code);
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, kPostErrorFormat, number);
    return buffer;
}

// Adds the deployment's own CA certificate to the trust store libcurl has
// already set up from the system's: CURLOPT_CAINFO would replace it instead.
CURLcode addTrustedCa(CURL*, void* sslContext, void* caFile) {
    const std::string& path = *static_cast<const std::string*>(caFile);
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
    if (store == nullptr || X509_STORE_load_file(store, path.c_str()) != 1)
        return CURLE_SSL_CACERT_BADFILE;
    return CURLE_OK;
}

}  // namespace

bool SitePost(const std::string& url, const std::string& formData, std::string& reply,
              std::string& status) {
    status = kPostSucceededText;
    reply.clear();
    initCurlOnce();

    CurlUrl parsed = parseHttpUrl(url);
    if (!parsed) {
        status = url + kBadUrlSuffix;
        return false;
    }

    CurlHandle curl(curl_easy_init());
    if (!curl) {
        status = kConnectFailedText;
        return false;
    }

    const std::string body = utf8ToWire(formData);
    std::string wireReply;
    CurlHeaders headers;
    bool headersReady = true;
    for (const char* header : {"Content-Type: application/x-www-form-urlencoded", "Accept: */*",
                               // no "100-continue" round trip: the body goes at once
                               "Expect:"}) {
        // On success the list head stays the same (or is the new first node).
        curl_slist* head = curl_slist_append(headers.get(), header);
        if (!head) {
            headersReady = false;
            break;
        }
        if (head != headers.get())
            headers.reset(head);
    }

    const std::string noProxy = noProxyList();
    // An https address is checked as the mail servers are: the certificate
    // must chain to a trusted CA and name the host. There is no switch to
    // turn that off; deploy.ini may add a CA file to trust.
    const std::string caFile = loadDeployConfig().caFile;
    CURL* h = curl.get();
    bool requestReady =
        headersReady && curl_easy_setopt(h, CURLOPT_CURLU, parsed.get()) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_POST, 1L) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size())) ==
            CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.data()) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, appendReply) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &wireReply) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, kStallSeconds) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_NOPROXY, noProxy.c_str()) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
        (caFile.empty() ||
         (curl_easy_setopt(h, CURLOPT_SSL_CTX_FUNCTION, addTrustedCa) == CURLE_OK &&
          curl_easy_setopt(h, CURLOPT_SSL_CTX_DATA, &caFile) == CURLE_OK));
    if (!requestReady) {
        status = kRequestFailedPrefix + url;
        return false;
    }

    CURLcode code = curl_easy_perform(h);
    if (code != CURLE_OK) {
        status =
            isConnectFailure(code, h) ? std::string(kConnectFailedText) : postErrorText(code, h);
        return false;
    }

    long httpStatus = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &httpStatus);
    if (httpStatus < 200 || httpStatus > 299) {
        status = kServerErrorPrefix + url;
        return false;
    }
    reply = wireToUtf8(joinLines(wireReply));
    return true;
}

}  // namespace parvola
