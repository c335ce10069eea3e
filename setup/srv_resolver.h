#pragma once
// DNS SRV lookups (RFC 2782) for the mail services of RFC 6186, through the
// system's resolver, behind an interface the tests replace.
#include <chrono>
#include <string>
#include <vector>

namespace parvola {

struct SrvRecord {
    std::string target;  // without the final dot; "." (service not offered) is dropped
    int port = 0;
    int priority = 0;
    int weight = 0;
};

class SrvResolver {
  public:
    virtual ~SrvResolver() = default;
    // The records of `name` ("_imaps._tcp.example.org"), lowest priority
    // first (heavier weight first within one priority); empty when there are
    // none or the lookup failed or took longer than `timeout`.
    virtual std::vector<SrvRecord> lookup(const std::string& name,
                                          std::chrono::milliseconds timeout) = 0;
};

// res_nquery on a resolver state of its own (thread-safe), with the time-out
// and a single try.
class SystemSrvResolver : public SrvResolver {
  public:
    std::vector<SrvRecord> lookup(const std::string& name,
                                  std::chrono::milliseconds timeout) override;
};

// Reads the answer section of a DNS reply (as res_nquery returns it) into
// SRV records, sorted as lookup() answers. Malformed replies give none.
std::vector<SrvRecord> parseSrvAnswer(const unsigned char* reply, int length);

}  // namespace parvola
