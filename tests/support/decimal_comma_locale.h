#pragma once
// A locale that writes numbers with a decimal comma, made for the test from
// the system's locale sources (localedef into a scratch folder, found through
// LOCPATH) and set as LC_NUMERIC while the object lives: the desktop runs in
// its user's locale, and what goes over the wire must not change with it.
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace parvola::test {

class DecimalCommaLocale {
  public:
    DecimalCommaLocale() {
        const std::string made = (dir_ / "de_DE.UTF-8").string();
        const std::string command = "localedef -c -i de_DE -f UTF-8 '" + made + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) == -1 || !std::filesystem::is_directory(made))
            return;
        ::setenv("LOCPATH", dir_.str().c_str(), 1);
        active_ = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    }
    ~DecimalCommaLocale() {
        std::setlocale(LC_NUMERIC, "C");
        ::unsetenv("LOCPATH");
    }
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

    // False when the locale could not be made (no locale sources installed).
    bool active() const { return active_; }

  private:
    TempDir dir_{"parvola-locale"};
    bool active_ = false;
};

}  // namespace parvola::test
