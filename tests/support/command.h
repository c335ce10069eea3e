#pragma once
// Shell commands a test runs to their end: the independent tools the tests
// check against (unzip, xmllint, iconv, Python) and the mail server's script.
#include <string>
#include <vector>

namespace parvola::test {

// `text` as one word of /bin/sh, whatever it holds.
std::string shellQuote(const std::string& text);

// Runs `command` with /bin/sh and waits for it: its exit status, -1 when it
// could not run or was ended by a signal. `output`, when given, receives
// what it wrote to standard output (add " 2>&1" to the command for standard
// error too).
int runShell(const std::string& command, std::string* output = nullptr);

// Runs Python 3 on the script `script` (its text) with `args`.
int runPython(const std::string& script, const std::vector<std::string>& args,
              std::string* output = nullptr);

// What the system's iconv program makes of `input` from the code `from` to
// the code `to`: an independent peer for the text codecs. "<iconv failed>"
// when it refuses.
std::string iconvTool(const std::string& input, const char* from, const char* to);

}  // namespace parvola::test
