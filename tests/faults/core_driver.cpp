// The desktop client's core as a process of its own, for the concurrency
// test: eight threads make the library calls the client makes for catalog
// changes, settings and unfinished-transfer records, all on the application
// directory in PARVOLA_HOME, until the file "stop-driver" appears there (and
// at least ROUNDS rounds are done). Prints "thread T rounds N" for each and exits 0
// when every call succeeded.
//
//   faults_core_driver USER ROUNDS
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/ini_settings.h"
#include "catalog/catalog.h"
#include "platform/app_dir.h"
#include "platform/ini_file.h"
#include "transfer/remaining_tasks.h"

using namespace parvola;

namespace {

constexpr int kThreads = 8;

TransferTask record(const std::string& user, int thread, int round) {
    TransferTask task;
    task.user = user;
    task.direction = TransferDirection::Upload;
    task.fileName = "t" + std::to_string(thread) + "-" + std::to_string(round) + ".bin";
    task.localPath = "/home/u/" + task.fileName;
    task.fileSize = 30000000;
    task.catalogFolder = "我的文档";
    task.startTime = 1256450000 + round;
    task.pieceSize = 10485760;
    task.nextPieceIndex = 2;
    task.fileId = thread * 1000 + round;
    task.subject = "PARVOL:;" + task.fileName + ";" + std::to_string(task.fileId) +
                   ";1256449000;10485760;0000000000;3;1";
    return task;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: faults_core_driver USER ROUNDS\n");
        return 2;
    }
    const std::string user = argv[1];
    const int minimum = std::atoi(argv[2]);
    const std::string stopFile = appPath("stop-driver");
    std::atomic<int> failures{0};
    std::vector<int> done(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::error_code error;
            for (int i = 0; i < minimum || !std::filesystem::exists(stopFile, error); ++i) {
                const std::string tag = "t" + std::to_string(t) + "-" + std::to_string(i);
                if (Catalog(user).addFolder("", "driver " + tag) != 0)
                    ++failures;
                if (Catalog(user).addFileRecord("我的文档", tag + ".bin",
                                                record(user, t, i).subject, 1000 + i) != 0)
                    ++failures;
                IniSettings settings;
                if (!writeProfileString("faults", "driver_" + tag, "value " + tag, settings.path()))
                    ++failures;
                if (!saveRemainingTasks(settings, {record(user, t, i)}, false))
                    ++failures;
                done[static_cast<size_t>(t)] = i + 1;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
        std::printf("thread %d rounds %d\n", t, done[static_cast<size_t>(t)]);
    return failures.load() == 0 ? 0 : 1;
}
