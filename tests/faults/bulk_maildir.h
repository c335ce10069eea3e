#pragma once
// Fills a test mailbox with thousands of ordinary mails written straight
// into its Maildir (owned by the mail server's user), most of them carrying
// a large attachment: a mailbox like a real one that has been used for
// years, ready in seconds instead of thousands of SMTP deliveries.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "tests/support/temp_dir.h"

namespace parvola::test {

struct BulkMailbox {
    int messages = 0;
    unsigned long long bytes = 0;  // on disk
};

// Base64 text of `bytes` random bytes in lines of 76 columns (LF ends).
inline std::string base64Lines(size_t bytes, unsigned seed) {
    static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::string raw = randomBytes(bytes, seed);
    std::string out;
    out.reserve(bytes * 4 / 3 + bytes / 57 + 8);
    for (size_t i = 0; i < raw.size(); i += 3) {
        const unsigned a = static_cast<unsigned char>(raw[i]);
        const unsigned b = i + 1 < raw.size() ? static_cast<unsigned char>(raw[i + 1]) : 0;
        const unsigned c = i + 2 < raw.size() ? static_cast<unsigned char>(raw[i + 2]) : 0;
        out += table[a >> 2];
        out += table[((a & 3) << 4) | (b >> 4)];
        out += i + 1 < raw.size() ? table[((b & 15) << 2) | (c >> 6)] : '=';
        out += i + 2 < raw.size() ? table[c & 63] : '=';
        if ((i / 3 + 1) % 19 == 0)
            out += '\n';
    }
    if (out.back() != '\n')
        out += '\n';
    return out;
}

// Writes `count` mails into `maildir`/cur (created when missing), each
// attachment-bearing one (four in five) with an attachment of 32 to 352 KiB
// before encoding, owned like `maildir` itself. The file names carry the
// sizes (S=, W=) so the server need not read each file to list it.
inline BulkMailbox fillMaildir(const std::string& maildir, const std::string& address, int count,
                               unsigned seed = 5000) {
    namespace fs = std::filesystem;
    struct stat owner {};
    BulkMailbox made;
    if (::stat(maildir.c_str(), &owner) != 0)
        return made;
    for (const char* sub : {"cur", "new", "tmp"}) {
        fs::create_directories(fs::path(maildir) / sub);
        if (::chown((fs::path(maildir) / sub).c_str(), owner.st_uid, owner.st_gid) != 0)
            return made;
    }
    // One block of encoded text; each mail takes its own length of it.
    const std::string encoded = base64Lines(448 * 1024, seed);
    std::mt19937 random(seed);
    const long long now = 1700000000;
    for (int i = 0; i < count; ++i) {
        std::string mail = "Return-Path: <friend" + std::to_string(i % 97) +
                           "@example.test>\nFrom: Friend <friend" + std::to_string(i % 97) +
                           "@example.test>\nTo: <" + address + ">\nSubject: Holiday photos " +
                           std::to_string(i) + "\nDate: Tue, 14 Nov 2023 22:13:20 +0000\n" +
                           "Message-ID: <bulk" + std::to_string(i) +
                           "@example.test>\nMIME-Version: 1.0\n";
        if (i % 5 == 4) {
            mail += "Content-Type: text/plain; charset=us-ascii\n\nSee you on Sunday.\n";
        } else {
            const size_t kib = 32 + random() % 321;
            const size_t lines = kib * 1024 / 57;
            mail += "Content-Type: multipart/mixed; boundary=\"b" + std::to_string(i) +
                    "\"\n\n--b" + std::to_string(i) +
                    "\nContent-Type: text/plain; charset=us-ascii\n\nThe pictures.\n--b" +
                    std::to_string(i) + "\nContent-Type: image/jpeg; name=\"photo" +
                    std::to_string(i) + ".jpg\"\nContent-Transfer-Encoding: base64\n" +
                    "Content-Disposition: attachment; filename=\"photo" + std::to_string(i) +
                    ".jpg\"\n\n";
            mail.append(encoded, 0, std::min(encoded.size(), lines * 77));
            mail += "--b" + std::to_string(i) + "--\n";
        }
        size_t breaks = 0;
        for (char c : mail)
            breaks += c == '\n' ? 1 : 0;
        const std::string name = std::to_string(now + i) + ".M" + std::to_string(i) +
                                 "P1.bulk,S=" + std::to_string(mail.size()) +
                                 ",W=" + std::to_string(mail.size() + breaks) + ":2,S";
        const fs::path path = fs::path(maildir) / "cur" / name;
        {
            std::ofstream out(path, std::ios::binary);
            out << mail;
            if (!out)
                return made;
        }
        if (::chown(path.c_str(), owner.st_uid, owner.st_gid) != 0)
            return made;
        ++made.messages;
        made.bytes += mail.size();
    }
    return made;
}

}  // namespace parvola::test
