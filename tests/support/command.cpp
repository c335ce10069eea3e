#include "tests/support/command.h"

#include <sys/wait.h>

#include <cstdio>
#include <memory>

#include "tests/support/temp_dir.h"

namespace parvola::test {

std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

int runShell(const std::string& command, std::string* output) {
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return -1;
    std::string text;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, got);
    const int status = ::pclose(pipe);
    if (output != nullptr)
        *output = std::move(text);
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int runPython(const std::string& script, const std::vector<std::string>& args,
              std::string* output) {
    std::string command = "/usr/bin/python3 -c " + shellQuote(script);
    for (const std::string& arg : args)
        command += " " + shellQuote(arg);
    return runShell(command + " 2>&1", output);
}

std::string iconvTool(const std::string& input, const char* from, const char* to) {
    TempDir dir;
    writeFile(dir / "in", input);
    std::string converted;
    if (runShell(std::string("iconv -f ") + from + " -t " + to + " " +
                     shellQuote((dir / "in").string()) + " 2>/dev/null",
                 &converted) != 0)
        return "<iconv failed>";
    return converted;
}

}  // namespace parvola::test
