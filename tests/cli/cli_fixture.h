#pragma once
// One account for a command-line test: its own application directory, a
// mailbox user of the real mail server, the stand-in web service, and a
// deploy.ini whose "sohu" row (pieces of 6 MiB) has a loopback address of
// its own. Helpers look at what the program left: the mailbox's subjects
// (read by Python's poplib, a client of its own), the local catalog, the
// "temp" folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/support/mail_stack.h"
#include "tests/support/site_process.h"
#include "tests/support/temp_dir.h"

namespace parvola::test {

class CliAccountTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(site_.started());
        mailUser_ = MailStack::uniqueUser("cli");
        ASSERT_TRUE(MailStack::addUser(mailUser_, "mbpw"));
        address_ = mailUser_ + "@parvola.test";
        ASSERT_TRUE(site_.addUser(address_, "Secret-1", mailUser_ + "@sohu.test", "mbpw", true));
        writeFile(home_.path() / "deploy.ini",
                  site_.deployIniSection() +
                      "[ports]\nsmtp=" + std::to_string(MailStack::smtpPort()) +
                      "\npop3=" + std::to_string(MailStack::pop3Port()) +
                      "\n[sohu]\nsmtp=127.0.0.2\npop3=127.0.0.2\n");
    }

    CliResult cli(const std::vector<std::string>& args, const std::string& input = "") {
        return runCli(home_.str(), args, input);
    }
    void login() {
        CliResult r = cli({"login", address_, "--password-stdin"}, "Secret-1\n");
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    // Stores `bytes` under `name` in `folder`; the command must succeed.
    void store(const std::string& name, const std::string& bytes, const std::string& folder) {
        writeFile(files_ / name, bytes);
        CliResult r = cli({"store", (files_ / name).string(), "--folder", folder});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }

    // The decoded subjects of every message in the mailbox, newest last.
    std::vector<std::string> mailboxSubjects() const {
        const std::string script =
            "import poplib, email.header, sys\n"
            "p = poplib.POP3('127.0.0.1', " +
            std::to_string(MailStack::pop3Port()) +
            ", timeout=60)\n"
            "p.user('" +
            mailUser_ +
            "'); p.pass_('mbpw')\n"
            "for i in range(1, len(p.list()[1]) + 1):\n"
            "    lines = p.top(i, 0)[1]\n"
            "    msg = email.message_from_bytes(b'\\r\\n'.join(lines))\n"
            "    parts = email.header.decode_header(msg.get('Subject', ''))\n"
            "    text = ''.join(b.decode(c or 'ascii') if isinstance(b, bytes) else b for b, c in "
            "parts)\n"
            "    sys.stdout.buffer.write(text.encode('utf-8') + b'\\n')\n"
            "p.quit()\n";
        const TempDir dir("parvola-cli-py");
        writeFile(dir / "subjects.py", script);
        std::string out;
        FILE* pipe = popen(("python3 " + (dir / "subjects.py").string()).c_str(), "r");
        if (pipe == nullptr)
            return {};
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        EXPECT_EQ(pclose(pipe), 0) << "python3 could not read the mailbox";
        std::vector<std::string> subjects;
        for (size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos;
             start = end + 1)
            subjects.push_back(out.substr(start, end - start));
        return subjects;
    }
    // How many mails of the mailbox are pieces of the file `name`.
    size_t pieceMailsOf(const std::string& name) const {
        size_t count = 0;
        for (const auto& subject : mailboxSubjects())
            if (subject.rfind("PARVOL:;" + name + ";", 0) == 0)
                ++count;
        return count;
    }
    // Every regular file under the application directory's "temp" folder.
    std::vector<std::string> tempFiles() const {
        std::vector<std::string> found;
        std::error_code error;
        const auto root = home_.path() / "temp";
        for (std::filesystem::recursive_directory_iterator it(root, error), end;
             !error && it != end; it.increment(error))
            if (it->is_regular_file())
                found.push_back(it->path().string());
        return found;
    }

    std::filesystem::path catalogFile() const { return home_.path() / (address_ + "_config"); }
    // Changes the local catalog as another client would have written it:
    // `edit` works on its text, and the version goes up so that the next
    // login keeps this catalog rather than the older one in the mailbox.
    template <class Edit>
    void editCatalog(Edit&& edit) {
        std::string text = readFile(catalogFile());
        edit(text);
        std::smatch m;
        ASSERT_TRUE(std::regex_search(text, m, std::regex("Version=\"(\\d+)\"")));
        const std::string raised = "Version=\"" + std::to_string(std::stoi(m[1]) + 100) + "\"";
        text = std::string(m.prefix()) + raised + std::string(m.suffix());
        writeFile(catalogFile(), text);
    }

    TempDir home_{"parvola-cli-home"};
    TempDir files_{"parvola-cli-files"};
    SiteProcess site_;
    std::string mailUser_;
    std::string address_;
};

// Inserts `element` (one line) right before the user level's end tag.
inline void addAtUserLevel(std::string& catalogText, const std::string& element) {
    const size_t end = catalogText.rfind("</User>");
    catalogText.insert(end, element + "\r\n");
}

}  // namespace parvola::test
