// Real peers, both ways: Info-ZIP unzip and Python's zipfile read what this
// engine writes; this engine reads what Info-ZIP zip and Python's zipfile write.
#include <gtest/gtest.h>

#include "tests/zip/zip_test_support.h"
#include "zip/zip_archive.h"
#include "zip/zip_pack.h"

namespace parvola {
namespace {

using test::readFile;
using test::runPython;
using test::runShell;
using test::shellQuote;
using test::TempDir;
using test::writeFile;

const std::string kChineseName = "\xE4\xB9\x97\xE7\x94\xA8\xE6\x88\xB7_config";  // 乗用户_config

std::string catalogXml(size_t approximateSize) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Catalog Version=\"3\">\n";
    for (int i = 0; xml.size() < approximateSize; ++i)
        xml += "  <File Name=\"doc" + std::to_string(i) + ".pdf\" Size=\"" +
               std::to_string(i * 7919 % 100000) + "\" Time=\"09-10-25 13:45:58\"/>\n";
    return xml + "</Catalog>\n";
}

// A folder of source files of every kind the engine should write.
struct Sources {
    TempDir dir{"parvola-zip-src"};
    std::vector<std::pair<std::string, std::string>> files = {
        {"empty.txt", ""},
        {"catalog_config", catalogXml(200000)},
        {"noise.bin", test::randomBytes(300001, 11)},
        {"tiny.txt", "x"},
    };
    Sources() {
        for (const auto& [name, content] : files)
            writeFile(dir / name, content);
        writeFile(dir / kChineseName, "chinese named catalog");
    }
};

TEST(ZipPeers, OurArchivesPassUnzipAndPythonByteExact) {
    Sources src;
    TempDir dir;
    const std::string zip = (dir / "ours.zip").string();
    ZipArchive archive;
    archive.open(zip, ZipArchive::OpenMode::create);
    const int levels[] = {-1, 6, 0, 9};
    for (size_t i = 0; i < src.files.size(); ++i)
        ASSERT_EQ(archive.addFile((src.dir / src.files[i].first).string(), levels[i]),
                  ZipResult::Ok);
    ASSERT_EQ(archive.addFile((src.dir / kChineseName).string()), ZipResult::Ok);
    archive.close();

    std::string out;
    ASSERT_EQ(0, runShell("unzip -t " + shellQuote(zip) + " 2>&1", &out)) << out;
    EXPECT_NE(std::string::npos, out.find("No errors detected")) << out;
    for (const auto& [name, content] : src.files) {
        ASSERT_EQ(0, runShell("unzip -o -q " + shellQuote(zip) + " " + shellQuote(name) + " -d " +
                                  shellQuote((dir / "unzipped").string()) + " 2>&1",
                              &out))
            << out;
        EXPECT_EQ(content, readFile(dir / "unzipped" / name)) << name;
    }

    // Python compares every entry with its source; the Chinese name arrives
    // as GB18030 bytes without the UTF-8 flag, as a Windows client writes it.
    const char* script = R"(
import sys, zipfile, os
zip_path, src, chinese = sys.argv[1], sys.argv[2], sys.argv[3]
z = zipfile.ZipFile(zip_path)
assert z.testzip() is None
seen = 0
for info in z.infolist():
    assert info.flag_bits & 0x800 == 0, info.filename
    name = info.filename.encode('cp437').decode('gb18030')
    data = open(os.path.join(src, name), 'rb').read()
    assert z.read(info) == data, name
    assert info.file_size == len(data)
    seen += 1
assert chinese in [i.filename.encode('cp437').decode('gb18030') for i in z.infolist()]
print('entries', seen)
)";
    ASSERT_EQ(0, runPython(script, {zip, src.dir.str(), kChineseName}, &out)) << out;
    EXPECT_NE(std::string::npos, out.find("entries 5")) << out;
}

TEST(ZipPeers, PackedCatalogPassesUnzipTest) {
    TempDir dir;
    writeFile(dir / "someone@sina.com_config", catalogXml(50000));
    const std::string zip = (dir / "someone@sina.com_config.zip").string();
    ASSERT_EQ(packFileToZip((dir / "someone@sina.com_config").string(), zip), ZipResult::Ok);
    std::string out;
    ASSERT_EQ(0, runShell("unzip -t " + shellQuote(zip) + " 2>&1", &out)) << out;
    ASSERT_EQ(0, runShell("unzip -p " + shellQuote(zip) + " > " +
                              shellQuote((dir / "piped").string()) + " 2>&1",
                          &out))
        << out;
    EXPECT_EQ(readFile(dir / "someone@sina.com_config"), readFile(dir / "piped"));
}

// Unpacks every source file from `zip` and compares it byte for byte.
void expectUnpacksAll(const Sources& src, const std::string& zip, const TempDir& dir,
                      const std::string& what) {
    for (const auto& [name, content] : src.files) {
        const std::string out = (dir / ("out-" + what)).string();
        ASSERT_EQ(unpackFileFromZip(zip, out, name), ZipResult::Ok) << what << ": " << name;
        EXPECT_EQ(content, readFile(std::filesystem::path(out) / name)) << what << ": " << name;
    }
}

TEST(ZipPeers, InfoZipArchivesUnpackByteExact) {
    Sources src;
    TempDir dir;
    std::string names;
    for (const auto& [name, content] : src.files)
        names += " " + shellQuote(name);
    std::string out;
    const std::string cd = "cd " + shellQuote(src.dir.str()) + " && ";

    const std::string deflated = (dir / "deflated.zip").string();
    ASSERT_EQ(0, runShell(cd + "zip -q -X " + shellQuote(deflated) + names + " 2>&1", &out)) << out;
    expectUnpacksAll(src, deflated, dir, "deflated");

    const std::string stored = (dir / "stored.zip").string();
    ASSERT_EQ(0, runShell(cd + "zip -q -0 " + shellQuote(stored) + names + " 2>&1", &out)) << out;
    expectUnpacksAll(src, stored, dir, "stored");

    // With extra fields (times, Unix ids) and a trailing archive comment.
    const std::string commented = (dir / "commented.zip").string();
    ASSERT_EQ(0, runShell(cd + "echo 'catalog backup, keep' | zip -q -9 -z " +
                              shellQuote(commented) + names + " 2>&1",
                          &out))
        << out;
    ASSERT_NE(std::string::npos, readFile(commented).rfind("catalog backup, keep"));
    expectUnpacksAll(src, commented, dir, "commented");

    // A program stub in front: as it is, and with offsets adjusted by zip -A.
    const std::string stub = "MZ" + test::randomBytes(4094, 5);
    writeFile(dir / "sfx.zip", stub + readFile(deflated));
    expectUnpacksAll(src, (dir / "sfx.zip").string(), dir, "stub");
    writeFile(dir / "sfx-adjusted.zip", stub + readFile(commented));
    ASSERT_EQ(
        0, runShell("zip -q -A " + shellQuote((dir / "sfx-adjusted.zip").string()) + " 2>&1", &out))
        << out;
    expectUnpacksAll(src, (dir / "sfx-adjusted.zip").string(), dir, "stub-adjusted");
}

TEST(ZipPeers, InfoZipUtf8NameFromUnixHostIsRead) {
    Sources src;
    TempDir dir;
    std::string out;
    const std::string zip = (dir / "u.zip").string();
    ASSERT_EQ(0, runShell("cd " + shellQuote(src.dir.str()) + " && LC_ALL=C.UTF-8 zip -q " +
                              shellQuote(zip) + " " + shellQuote(kChineseName) + " 2>&1",
                          &out))
        << out;
    ASSERT_EQ(unpackFileFromZip(zip, (dir / "out").string(), kChineseName), ZipResult::Ok);
    EXPECT_EQ("chinese named catalog", readFile(dir / "out" / kChineseName));
}

// What the unpack says when it fails, on archives Info-ZIP made: records it
// cannot make sense of are damage, data that comes out whole but does not
// match its CRC-32 is a CRC mismatch; either way no file is left behind.
TEST(ZipPeers, InfoZipArchivesTellDamageFromACrcMismatch) {
    TempDir dir;
    const std::string name = "someone@sina.com_config";
    writeFile(dir / name, catalogXml(20000));
    std::string out;
    const std::string cd = "cd " + shellQuote(dir.str()) + " && ";
    ASSERT_EQ(0, runShell(cd + "zip -q -0 stored.zip " + shellQuote(name) + " 2>&1", &out)) << out;
    ASSERT_EQ(0, runShell(cd + "zip -q -9 deflated.zip " + shellQuote(name) + " 2>&1", &out))
        << out;
    const std::string stored = readFile(dir / "stored.zip");
    const std::string deflated = readFile(dir / "deflated.zip");
    auto unpack = [&](const std::string& bytes) {
        writeFile(dir / "t.zip", bytes);
        std::filesystem::remove_all(dir / "out");
        const ZipResult result =
            unpackFileFromZip((dir / "t.zip").string(), (dir / "out").string(), name);
        if (result != ZipResult::Ok) {
            EXPECT_TRUE(test::filesBelow(dir / "out").empty()) << zipResultName(result);
        }
        return result;
    };
    ASSERT_EQ(unpack(stored), ZipResult::Ok);
    ASSERT_EQ(unpack(deflated), ZipResult::Ok);

    // The stored entry's data starts after its local header, name and extra field.
    const size_t data = 30 + zipbytes::get16(stored, 26) + zipbytes::get16(stored, 28);
    std::string changedData = stored;
    changedData[data + 5000] = static_cast<char>(changedData[data + 5000] ^ 0x20);
    EXPECT_EQ(unpack(changedData), ZipResult::CrcMismatch);

    std::string badSignature = deflated;
    badSignature[1] = 'X';  // "PK\3\4" of the local header
    EXPECT_EQ(unpack(badSignature), ZipResult::Damaged);
    EXPECT_EQ(unpack(deflated.substr(0, deflated.size() - 30)), ZipResult::Damaged);  // no end
    EXPECT_EQ(unpack(readFile(dir / name)), ZipResult::Damaged);  // not an archive at all
    writeFile(dir / "t.zip", deflated);
    EXPECT_EQ(unpackFileFromZip((dir / "t.zip").string(), (dir / "out").string(), "other_config"),
              ZipResult::NotFound);
}

TEST(ZipPeers, PythonArchivesUnpackByteExact) {
    Sources src;
    TempDir dir;
    // Seekable files (stored and deflated, with a comment), a stream that
    // forces data descriptors, and a UTF-8 flagged Chinese name.
    const char* script = R"(
import sys, zipfile, os, io
src, out_dir, chinese = sys.argv[1], sys.argv[2], sys.argv[3]
names = [n for n in sorted(os.listdir(src)) if n != chinese]
for kind, method in (('deflated', zipfile.ZIP_DEFLATED), ('stored', zipfile.ZIP_STORED)):
    with zipfile.ZipFile(os.path.join(out_dir, kind + '.zip'), 'w', method) as z:
        for n in names:
            z.write(os.path.join(src, n), n)
        z.write(os.path.join(src, chinese), chinese)
        z.comment = b'python ' + kind.encode()

class Unseekable(io.RawIOBase):
    def __init__(self, f): self.f = f
    def writable(self): return True
    def write(self, b): return self.f.write(b)
with open(os.path.join(out_dir, 'streamed.zip'), 'wb') as raw:
    with zipfile.ZipFile(Unseekable(raw), 'w', zipfile.ZIP_DEFLATED) as z:
        for n in names:
            with z.open(n, 'w') as w, open(os.path.join(src, n), 'rb') as r:
                w.write(r.read())
info = zipfile.ZipFile(os.path.join(out_dir, 'streamed.zip')).infolist()[0]
assert info.flag_bits & 0x08, 'no data descriptor'
print('written')
)";
    std::string out;
    ASSERT_EQ(0, runPython(script, {src.dir.str(), dir.str(), kChineseName}, &out)) << out;
    for (const char* kind : {"deflated", "stored", "streamed"})
        expectUnpacksAll(src, (dir / (std::string(kind) + ".zip")).string(), dir, kind);
    for (const char* kind : {"deflated", "stored"}) {
        const std::string zip = (dir / (std::string(kind) + ".zip")).string();
        ASSERT_EQ(unpackFileFromZip(zip, (dir / "cn").string(), kChineseName), ZipResult::Ok)
            << kind;
        EXPECT_EQ("chinese named catalog", readFile(dir / "cn" / kChineseName));
    }
}

}  // namespace
}  // namespace parvola
