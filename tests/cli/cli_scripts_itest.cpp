// The command line as scripts and people use it: JSON read by Python's json,
// answers from the local catalog without the network, folders stored and
// read with -r, backup, and the words of its errors.
#include <gtest/gtest.h>

#include "app/ini_settings.h"
#include "tests/cli/cli_fixture.h"

namespace parvola::test {
namespace {

namespace fs = std::filesystem;

using CliScripts = CliAccountTest;

bool holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Runs a Python script that reads `document` as JSON (from a file) and prints
// what `expression` makes of it (`d` is the document), one value a line.
std::string pythonOnJson(const std::string& document, const std::string& expression) {
    const TempDir dir("parvola-cli-json");
    writeFile(dir / "doc.json", document);
    writeFile(dir / "read.py",
              "import json, sys\n"
              "d = json.load(open(sys.argv[1], encoding='utf-8'))\n"
              "for v in (" +
                  expression +
                  "):\n"
                  "    sys.stdout.buffer.write(str(v).encode('utf-8') + b'\\n')\n");
    std::string out;
    FILE* pipe = popen(
        ("python3 " + (dir / "read.py").string() + " " + (dir / "doc.json").string() + " 2>&1")
            .c_str(),
        "r");
    if (pipe == nullptr)
        return "popen failed";
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    pclose(pipe);
    return out;
}

TEST_F(CliScripts, JsonDocumentsParseAndSayWhatTheTextSays) {
    login();
    store("报告 \"一\".txt", "twelve bytes", "我的文档");
    store("旧.txt", "old", "我的图片");
    ASSERT_EQ(cli({"rm", "我的图片/旧.txt"}).exitCode, 0);

    CliResult top = cli({"ls", "--json"});
    ASSERT_EQ(top.exitCode, 0) << top.err;
    EXPECT_EQ(
        pythonOnJson(top.out, "[d['folder']] + [i['type'] + ':' + i['name'] for i in d['items']]"),
        "\nfolder:我的文档\nfolder:我的图片\nfolder:我的媒体\nrecycle_bin:回收站\n");
    CliResult docs = cli({"ls", "我的文档", "--json"});
    EXPECT_EQ(pythonOnJson(docs.out,
                           "[(i['name'], i['path'], i['size'], i['type']) for i in d['items']] + "
                           "[d['items'][1]['created'][:2], len(d['items'][1]['created'])]"),
              "('自定义', '我的文档\\\\自定义', 0, 'folder')\n"
              "('报告 \"一\".txt', '我的文档\\\\报告 \"一\".txt', 12, 'file')\n20\n25\n");
    CliResult tree = cli({"tree", "--json"});
    EXPECT_EQ(
        pythonOnJson(tree.out,
                     "[d['account'], d['recycle_bin'], d['folders'][0]['folders'][0]['path']]"),
        address_ + "\n回收站\n我的文档\\自定义\n");
    CliResult bin = cli({"bin", "--json"});
    EXPECT_EQ(pythonOnJson(bin.out,
                           "[(i['type'], i['path'], i['folder'], i['size']) for i in d['items']]"),
              "('file', '我的图片\\\\旧.txt', '我的图片', 3)\n");
    CliResult space = cli({"space", "--json"});
    EXPECT_EQ(pythonOnJson(space.out,
                           "[d['files'], d['stored_bytes'], d['weighted_bytes'], "
                           "d['quota_bytes'] - d['available_bytes']]"),
              "2\n15\n18\n18\n");
}

TEST_F(CliScripts, ListingsAnswerWithoutTheNetworkAndSyncBringsTheNewest) {
    login();
    store("a.txt", "local answers", "我的文档");
    const std::string deploy = readFile(home_.path() / "deploy.ini");
    writeFile(home_.path() / "deploy.ini",
              "[site]\nbase=http://127.0.0.1:9\n[ports]\nsmtp=9\npop3=9\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"ls", "我的文档"}, {"tree"}, {"bin"}, {"space"}, {"settings"}}) {
        CliResult r = cli(args);
        EXPECT_EQ(r.exitCode, 0) << args[0] << ": " << r.err;
    }
    EXPECT_TRUE(holds(cli({"ls", "我的文档"}).out, "a.txt"));
    EXPECT_EQ(cli({"sync"}).exitCode, 1);
    EXPECT_EQ(cli({"ls", "--refresh"}).exitCode, 1);

    // A second computer sees nothing until it brings the catalog.
    writeFile(home_.path() / "deploy.ini", deploy);
    TempDir second("parvola-cli-second");
    writeFile(second / "deploy.ini", deploy);
    ASSERT_EQ(runCli(second.str(), {"login", address_, "--password-stdin"}, "Secret-1\n").exitCode,
              0);
    store("b.txt", "second", "我的文档");
    EXPECT_FALSE(holds(runCli(second.str(), {"ls", "我的文档"}).out, "b.txt"));
    CliResult sync = runCli(second.str(), {"sync"});
    EXPECT_EQ(sync.exitCode, 0) << sync.err;
    EXPECT_TRUE(holds(sync.out, "2 files")) << sync.out;
    EXPECT_TRUE(holds(runCli(second.str(), {"ls", "我的文档"}).out, "b.txt"));
}

TEST_F(CliScripts, AFolderTreeWithChineseNamesGoesAndComesBack) {
    login();
    const fs::path root = files_ / "照片";
    fs::create_directories(root / "2024" / "春节");
    fs::create_directories(root / "空的");
    const std::string big = randomBytes(6 * 1024 * 1024 + 3, 51);  // two pieces
    writeFile(root / "说明.md", "# 照片\n");
    writeFile(root / "2024" / "烟花.bin", big);
    writeFile(root / "2024" / "春节" / "饺子.txt", "饺子");

    CliResult stored = cli({"store", "-r", root.string(), "--folder", "我的文档"});
    ASSERT_EQ(stored.exitCode, 0) << stored.err;
    EXPECT_TRUE(holds(stored.out, "stored 我的文档\\照片\\2024\\春节\\饺子.txt")) << stored.out;
    EXPECT_TRUE(holds(cli({"ls", "我的文档/照片"}).out, "空的"));
    EXPECT_TRUE(holds(cli({"ls", "我的文档/照片/2024"}).out, "烟花.bin"));

    CliResult notRecursive = cli({"read", "我的文档/照片"});
    EXPECT_EQ(notRecursive.exitCode, 2);
    EXPECT_TRUE(holds(notRecursive.err, "-r")) << notRecursive.err;

    TempDir saves("parvola-cli-saves");
    CliResult read = cli({"read", "-r", "我的文档/照片", "--to", saves.str()});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(readFile(saves / "照片" / "说明.md"), "# 照片\n");
    EXPECT_TRUE(readFile(saves / "照片" / "2024" / "烟花.bin") == big);
    EXPECT_EQ(readFile(saves / "照片" / "2024" / "春节" / "饺子.txt"), "饺子");
    EXPECT_TRUE(fs::is_directory(saves / "照片" / "空的"));

    // Several files at once; a folder needs -r.
    writeFile(files_ / "一.txt", "1");
    writeFile(files_ / "二.txt", "2");
    CliResult several = cli({"store", (files_ / "一.txt").string(), (files_ / "二.txt").string(),
                             "--folder", "我的图片"});
    EXPECT_EQ(several.exitCode, 0) << several.err;
    EXPECT_EQ(several.out, "stored 我的图片\\一.txt\nstored 我的图片\\二.txt\n");
    EXPECT_EQ(cli({"store", root.string()}).exitCode, 2);
}

TEST_F(CliScripts, BackupStoresWhatIsNewOrChangedAndASecondRunNothing) {
    login();
    const fs::path dir = files_ / "文档";
    fs::create_directories(dir / "子");
    writeFile(dir / "a.txt", "first");
    writeFile(dir / "子" / "b.txt", "second");
    ASSERT_EQ(cli({"mkdir", "-p", "备份/每日"}).exitCode, 0);

    CliResult dry = cli({"backup", dir.string(), "--folder", "备份/每日", "--dry-run"});
    ASSERT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_TRUE(holds(dry.out, "would store 备份\\每日\\子\\b.txt")) << dry.out;
    EXPECT_EQ(pieceMailsOf("a.txt"), 0u);

    CliResult first = cli({"backup", dir.string(), "--folder", "备份/每日"});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_TRUE(holds(first.out, ": 2 stored, 0 skipped")) << first.out;
    CliResult again = cli({"backup", dir.string(), "--folder", "备份/每日"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_TRUE(holds(again.out, ": 0 stored, 2 skipped")) << again.out;
    EXPECT_FALSE(holds(again.out, "stored 备份"));

    writeFile(dir / "a.txt", "first, and more");
    CliResult changed = cli({"backup", dir.string(), "--folder", "备份/每日"});
    ASSERT_EQ(changed.exitCode, 0) << changed.err;
    EXPECT_TRUE(holds(changed.out, "replacing 备份\\每日\\a.txt")) << changed.out;
    EXPECT_TRUE(holds(changed.out, ": 1 stored, 1 skipped")) << changed.out;
    EXPECT_EQ(pieceMailsOf("a.txt"), 1u);  // the older copy's mail went with it
    TempDir saves("parvola-cli-saves");
    ASSERT_EQ(cli({"read", "备份/每日/a.txt", "--to", saves.str()}).exitCode, 0);
    EXPECT_EQ(readFile(saves / "a.txt"), "first, and more");
}

TEST_F(CliScripts, ANetworkFailureNamesTheServerTheStepAndTheReason) {
    login();
    // The SMTP server is gone (nothing listens on port 9); POP3 still answers.
    writeFile(home_.path() / "deploy.ini", site_.deployIniSection() + "[ports]\nsmtp=9\npop3=" +
                                               std::to_string(MailStack::pop3Port()) +
                                               "\n[sohu]\nsmtp=127.0.0.2\npop3=127.0.0.2\n");
    writeFile(files_ / "a.txt", "a");
    // No further try: the words of the failure are the point here.
    ASSERT_TRUE(IniSettings((home_.path() / "config.ini").string()).writeRetryTries(0));
    CliResult store = cli({"store", (files_ / "a.txt").string()});
    EXPECT_EQ(store.exitCode, 1);
    EXPECT_TRUE(
        holds(store.err,
              "网络问题,上传失败.请稍后再试! (SMTP 127.0.0.2:9, connect: connection refused)\n"))
        << store.err;
}

TEST_F(CliScripts, ErrorsSayWhatWasWrong) {
    CliResult version = cli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("parvola-cli ", 0), 0u);
    CliResult help = cli({"help", "store"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: parvola-cli store", 0), 0u) << help.out;

    CliResult unknown = cli({"store", "x.txt", "--foldr", "我的文档"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.err.rfind("parvola-cli: unknown option --foldr\n", 0), 0u) << unknown.err;
    CliResult command = cli({"lss"});
    EXPECT_EQ(command.exitCode, 2);
    EXPECT_TRUE(holds(command.err, "unknown command lss"));
    for (const CliResult& r : {unknown, command, cli({"ls", "a", "b"})}) {
        for (size_t start = 0, end; (end = r.err.find('\n', start)) != std::string::npos;
             start = end + 1)
            EXPECT_EQ(r.err.compare(start, 12, "parvola-cli:"), 0) << r.err;
    }

    login();
    // A local file or folder that cannot be used is named, with the reason.
    CliResult missing = cli({"store", (files_ / "没有.txt").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(holds(missing.err, (files_ / "没有.txt").string() + ": No such file or directory"))
        << missing.err;
    store("有.txt", "here", "我的文档");
    writeFile(files_ / "occupied", "a file, not a folder");
    CliResult unwritable =
        cli({"read", "我的文档/有.txt", "--to", (files_ / "occupied" / "x").string()});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_TRUE(holds(unwritable.err, "cannot save into")) << unwritable.err;
    // Global options after the command too.
    EXPECT_EQ(cli({"ls", "--account", address_}).exitCode, 0);
    EXPECT_EQ(cli({"mkdir", "-p", "甲/乙/丙"}).out,
              "created 甲\ncreated 甲\\乙\ncreated 甲\\乙\\丙\n");
    EXPECT_EQ(cli({"mkdir", "-p", "甲/乙"}).exitCode, 0);
    CliResult logout = cli({"logout"});
    EXPECT_EQ(logout.exitCode, 0) << logout.err;
    CliResult after = cli({"sync"});
    EXPECT_EQ(after.exitCode, 1);
    EXPECT_TRUE(holds(after.err, "log in")) << after.err;
}

}  // namespace
}  // namespace parvola::test
