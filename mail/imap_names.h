#pragma once
// How names and values go into an IMAP command line: a quoted string where
// one can carry the value, a literal where it cannot, and a mailbox name in
// the modified UTF-7 that IMAP4rev1 servers expect of names beyond ASCII.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace parvola {

// `value` as a quoted string ("a \"b\" \\ c"); false when a quoted string
// cannot carry it (a byte beyond 7-bit ASCII, NUL, CR or LF): it then goes
// as a literal.
bool imapQuoted(std::string_view value, std::string& quoted);

// The mailbox name for the wire: UTF-8 `name` in modified UTF-7 ("&" as
// "&-", other characters beyond printable ASCII as "&...-" runs of
// base64 UTF-16). "INBOX" in any letter case stays as it is. False when
// `name` is not UTF-8.
bool imapMailboxName(std::string_view name, std::string& wire);

// The UID set "3:7,9,12:13" of ascending, distinct `uids`.
std::string imapUidSet(const std::vector<uint32_t>& uids);

}  // namespace parvola
