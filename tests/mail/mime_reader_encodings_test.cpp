// Attachment parts read back by their Content-Transfer-Encoding: pieces that
// another mail program sent as quoted-printable (composed here by Python's
// email package, in the layout of the store's mails), 7bit and 8bit parts,
// and base64 for parts that name no encoding or one we do not know.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "mail/mime_reader_part_decoder.h"
#include "mail/pop3_connection.h"
#include "platform/text_codec.h"
#include "tests/mail/pop3_script.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::ScriptedPeer;
using test::TempDir;
using test::writeFile;

// Serves `mail` as message 1 and writes its attachments into `folder`.
int saveServed(const std::string& mail, const fs::path& folder) {
    ScriptedPeer peer;
    test::scriptLogin(peer);
    test::scriptRetrieve(peer, mail);
    test::scriptQuit(peer);
    Pop3Connection pop3;
    pop3.setTimeout(std::chrono::milliseconds(5000));
    EXPECT_TRUE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start()));
    const int result = pop3.SaveAttachments(1, folder.string());
    EXPECT_TRUE(pop3.Disconnect());
    EXPECT_EQ(peer.finish(), "");
    return result;
}

// Python's email package composes the mail: multipart/mixed holding a
// multipart/alternative text part and the piece, quoted-printable, with its
// disposition over two lines and the filename quotation open, as the store's
// mails have it. `how` is "text" (the piece as text in GB18030, through the
// package's charset machinery) or "bytes" (the piece's bytes through
// encoders.encode_quopri).
std::string composedByPython(const fs::path& piece, const std::string& how, const TempDir& dir) {
    const fs::path script = dir / "compose.py";
    const fs::path out = dir / "mail.eml";
    writeFile(script, R"PY(import sys
from email import charset, encoders, policy
from email.generator import BytesGenerator
from email.mime.base import MIMEBase
from email.mime.multipart import MIMEMultipart
from email.mime.nonmultipart import MIMENonMultipart
from email.mime.text import MIMEText

data = open(sys.argv[1], 'rb').read()
outer = MIMEMultipart('mixed', boundary='----=_Part_OUT')
outer['From'] = '<bob@sina.test>'
outer['To'] = '<bob@sina.test>'
outer['Subject'] = 'piece.txt'
alternative = MIMEMultipart('alternative', boundary='----=_Part_IN')
alternative.attach(MIMEText('Stored piece.', 'plain'))
alternative.attach(MIMEText('<html><body>piece.txt</body></html>@', 'html'))
outer.attach(alternative)
if sys.argv[3] == 'text':
    gb = charset.Charset('gb18030')
    gb.body_encoding = charset.QP
    part = MIMENonMultipart('text', 'plain')
    part.set_payload(data.decode('gb18030'), gb)
else:
    part = MIMEBase('application', 'octet-stream')
    part.set_payload(data)
    encoders.encode_quopri(part)
part.add_header('Content-Disposition', 'attachment', filename='piece.txt')
outer.attach(part)
with open(sys.argv[2], 'wb') as f:
    BytesGenerator(f, policy=policy.SMTP).flatten(outer)
raw = open(sys.argv[2], 'rb').read()
raw = raw.replace(b'Content-Disposition: attachment; filename="piece.txt"\r\n',
                  b'Content-Disposition: attachment;\r\n\tfilename="piece.txt\r\n')
open(sys.argv[2], 'wb').write(raw)
)PY");
    const std::string command = "/usr/bin/python3 '" + script.string() + "' '" + piece.string() +
                                "' '" + out.string() + "' " + how;
    if (std::system(command.c_str()) != 0)
        return {};
    return readFile(out);
}

// A text piece that puts quoted-printable through its paces: Chinese text,
// "=" signs, lines far over 76 bytes (soft breaks), blanks and tabs at line
// ends, lines that begin with a dot or are a lone dot, an empty line.
std::string awkwardText(bool finalLineBreak) {
    std::string text = utf8ToWire("存储文件的第一片 = 一 = 二\r\n");
    text += std::string(300, 'x') + " mid =3D not an escape\r\n";
    text += "trailing blanks   \r\ntrailing tab\t\r\n";
    text += ".starts with a dot\r\n.\r\n..two dots\r\n\r\n";
    text += utf8ToWire(std::string(40, 'a') + "长行" + std::string(120, 'b')) + "\r\n";
    text += "last line";
    if (finalLineBreak)
        text += "\r\n";
    return text;
}

TEST(MimeReaderEncodings, QuotedPrintablePiecesComposedByPythonReadBackByteExact) {
    for (const char* how : {"text", "bytes"}) {
        for (bool finalBreak : {true, false}) {
            SCOPED_TRACE(std::string(how) + (finalBreak ? " with" : " without") + " final break");
            TempDir dir;
            const std::string bytes = awkwardText(finalBreak);
            writeFile(dir / "source.txt", bytes);
            const std::string mail = composedByPython(dir / "source.txt", how, dir);
            ASSERT_FALSE(mail.empty()) << "python3 could not compose the mail";
            ASSERT_NE(mail.find("Content-Transfer-Encoding: quoted-printable"), std::string::npos);
            TempDir out;
            EXPECT_EQ(saveServed(mail, out.path()), 0);
            ASSERT_TRUE(fs::exists(out / "piece.txt"));
            EXPECT_TRUE(readFile(out / "piece.txt") == bytes)
                << "got:\n"
                << readFile(out / "piece.txt") << "\nwant:\n"
                << bytes;
        }
    }
}

std::string storeMail(const std::string& encodingLine, const std::string& body) {
    return "From: <a@sina.test>\r\nSubject: piece\r\nMIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed;\r\n\tboundary=\"OUT\"\r\n\r\n"
           "This is a multipart message in MIME format\r\n\r\n--OUT\r\n"
           "Content-Type: text/plain;\r\n\tcharset=\"iso-8859-1\"\r\n"
           "Content-Transfer-Encoding: 7bit\r\n\r\nA stored piece.\r\n"
           "--OUT\r\nContent-Type: application/octet-stream;\r\n\tname=\"p.bin\"\r\n" +
           encodingLine + "Content-Disposition: attachment;\r\n\tfilename=\"p.bin\r\n\r\n" + body +
           "\r\n--OUT--\r\n";
}

TEST(MimeReaderEncodings, SevenAndEightBitPartsAreTheirLines) {
    const std::string eight = utf8ToWire("第一行\r\n") + ".dot line\r\n\r\nend";
    for (const char* line :
         {"Content-Transfer-Encoding: 8bit\r\n", "content-transfer-encoding: 7BIT\r\n",
          "Content-Transfer-Encoding: binary (as sent)\r\n"}) {
        SCOPED_TRACE(line);
        TempDir out;
        EXPECT_EQ(saveServed(storeMail(line, eight), out.path()), 0);
        EXPECT_TRUE(readFile(out / "p.bin") == eight) << readFile(out / "p.bin");
    }
}

TEST(MimeReaderEncodings, NoEncodingOrAnUnknownOneIsReadAsBase64) {
    for (const char* line : {"", "Content-Transfer-Encoding: x-unknown\r\n",
                             "Content-Transfer-Encoding: BASE64\r\n"}) {
        SCOPED_TRACE(line);
        TempDir out;
        EXPECT_EQ(saveServed(storeMail(line, "aGVsbG8g\r\nd29ybGQ="), out.path()), 0);
        EXPECT_EQ(readFile(out / "p.bin"), "hello world");
    }
}

TEST(MimeReaderEncodings, EncodingOfAnEarlierPartDoesNotCarryOver) {
    // The text part says 7bit; the file part names nothing: base64.
    const std::string mail = storeMail("", "aGk=");
    TempDir out;
    EXPECT_EQ(saveServed(mail, out.path()), 0);
    EXPECT_EQ(readFile(out / "p.bin"), "hi");
}

TEST(PartBodyDecoder, QuotedPrintableLinesPiecesAndBreaks) {
    std::string out;
    PartBodyDecoder qp(PartBodyDecoder::Kind::QuotedPrintable);
    // A line longer than the reader's line limit arrives in pieces.
    qp.feed("ab=3", out);
    qp.feed("D=\r\n", out);
    qp.feed("cd=0D\r\n", out);  // a byte-wise encoder's CRLF: the LF alone follows
    qp.feed("=C3=A9 \r\n", out);
    qp.feed("=zz=\r\n", out);
    qp.feed("tail", out);
    qp.finish(out);
    EXPECT_EQ(out, "ab=cd\r\n\xC3\xA9\r\n=zztail");
}

}  // namespace
}  // namespace parvola
