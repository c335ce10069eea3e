#pragma once
// Fetches one small document over HTTPS (HTTP only where the caller allows
// it, for a lookup base on this machine) with a time limit, a size limit,
// a bounded number of redirects that keep to the allowed schemes, and a
// cancel check polled while it waits.
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace parvola {

enum class FetchOutcome { Ok, Failed, TooLarge, Cancelled };

struct FetchOptions {
    std::chrono::milliseconds timeout{8000};
    size_t maxBytes = 256 * 1024;
    int maxRedirects = 3;
    bool allowPlainHttp = false;
    std::string caFile;  // a further trusted CA beside the system's store
    // Polled while the fetch runs; true stops it.
    std::function<bool()> cancelled;
};

struct FetchResult {
    FetchOutcome outcome = FetchOutcome::Failed;
    std::string body;
    std::string finalUrl;  // after redirects
    std::string failure;   // why, in words, when not Ok
};

// A 2xx answer is Ok; any other status is Failed.
FetchResult fetchDocument(const std::string& url, const FetchOptions& options);

}  // namespace parvola
