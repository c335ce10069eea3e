#include "setup/srv_resolver.h"

#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>

#include <algorithm>
#include <cstring>

namespace parvola {

std::vector<SrvRecord> parseSrvAnswer(const unsigned char* reply, int length) {
    std::vector<SrvRecord> records;
    ns_msg message;
    if (length <= 0 || ns_initparse(reply, length, &message) != 0)
        return records;
    const int count = ns_msg_count(message, ns_s_an);
    for (int i = 0; i < count; ++i) {
        ns_rr rr;
        if (ns_parserr(&message, ns_s_an, i, &rr) != 0)
            return {};
        if (ns_rr_type(rr) != ns_t_srv || ns_rr_class(rr) != ns_c_in)
            continue;
        const unsigned char* data = ns_rr_rdata(rr);
        if (ns_rr_rdlen(rr) < 7)
            continue;
        SrvRecord record;
        record.priority = ns_get16(data);
        record.weight = ns_get16(data + 2);
        record.port = ns_get16(data + 4);
        char target[NS_MAXDNAME];
        if (dn_expand(ns_msg_base(message), ns_msg_end(message), data + 6, target, sizeof target) <
            0)
            continue;
        record.target = target;
        while (!record.target.empty() && record.target.back() == '.')
            record.target.pop_back();
        if (record.target.empty() || record.port == 0)
            continue;  // "." says the service is not offered at this domain
        records.push_back(std::move(record));
    }
    std::stable_sort(records.begin(), records.end(), [](const SrvRecord& a, const SrvRecord& b) {
        return a.priority != b.priority ? a.priority < b.priority : a.weight > b.weight;
    });
    return records;
}

std::vector<SrvRecord> SystemSrvResolver::lookup(const std::string& name,
                                                 std::chrono::milliseconds timeout) {
    struct __res_state state;
    std::memset(&state, 0, sizeof state);
    if (res_ninit(&state) != 0)
        return {};
    state.retrans = std::max(1, static_cast<int>(timeout.count() / 1000));
    state.retry = 1;
    unsigned char reply[NS_PACKETSZ * 8];
    const int length =
        res_nquery(&state, name.c_str(), ns_c_in, ns_t_srv, reply, static_cast<int>(sizeof reply));
    res_nclose(&state);
    return parseSrvAnswer(reply, length);
}

}  // namespace parvola
