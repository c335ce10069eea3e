#pragma once
// A program a test starts and talks to while it runs (the command-line client,
// the stand-in web service): pipes on the standard streams it asks for, reads
// that end with the program or at a deadline, and an end that always reaps it.
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace parvola::test {

// This process's environment with `name` set to `value` (any earlier value
// of `name` left out).
std::vector<std::string> environmentWith(const std::string& name, const std::string& value);

class ChildProcess {
  public:
    // The standard streams that get a pipe; the others are this process's.
    enum Pipes : unsigned { kInput = 1, kOutput = 2, kError = 4 };

    ChildProcess() = default;
    // Kills the program if it still runs, reaps it and closes the pipes.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts the program at the path argv[0] with `argv`, in `environment`
    // (this process's when empty). False when it could not be started.
    bool start(const std::vector<std::string>& argv, unsigned pipes,
               const std::vector<std::string>& environment = {});
    // Starts it the same way on a pseudo-terminal of its own (its standard
    // input, output and error); terminalFd() is the test's side of it.
    bool startOnTerminal(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment = {});
    int terminalFd() const { return terminalFd_; }
    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // Writes `text` to its standard input; false when the pipe refused it.
    bool write(const std::string& text);
    // Closes its standard input: the program reads the end of the stream.
    void closeInput();
    // Reads standard error into `err` until `err` holds `text`; false at the
    // end of the stream or at `deadline`.
    bool readErrorUntil(const std::string& text, std::string& err,
                        std::chrono::steady_clock::time_point deadline);
    // Reads standard output into `out` until it holds a line feed; false at
    // the end of the stream or at `deadline`. What follows stays in the pipe.
    bool readOutputLine(std::string& out, std::chrono::steady_clock::time_point deadline);
    // Reads standard output and standard error to their ends, both at once,
    // so that neither pipe fills and stalls the program.
    void drain(std::string& out, std::string& err);

    void signal(int number);
    // Waits for the end: the exit status, 128 + the signal that ended the
    // program, or -1 when none was started.
    int wait();
    // Waits at most `limit` for the end; false (and the program running)
    // when it has not ended by then.
    bool waitFor(std::chrono::milliseconds limit, int& exitStatus);

  private:
    static void closeFd(int& fd);

    pid_t pid_ = -1;
    int inFd_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    int terminalFd_ = -1;
};

}  // namespace parvola::test
