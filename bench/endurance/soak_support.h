// What the soak and kill drivers share: child processes, the X tools run as children, waiting on
// a condition with a deadline, and a process's memory and CPU time from /proc.
#pragma once

#include <QRect>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace soak {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double MsBetween(Clock::time_point from, Clock::time_point to);

// Work to do while a driver waits (screen samples, log lines); may be empty.
using Idle = std::function<void()>;

struct ChildIo
{
    int in = -1;  // -1: /dev/null
    int out = -1; // -1: the log file
};

// A program started with posix_spawn. Its output goes to a file, or to the descriptors given.
class Child
{
public:
    using Io = ChildIo;
    Child(const std::vector<std::string>& argv, const std::string& dir, const std::string& log,
          Io io = {});
    ~Child(); // kills and reaps a child still running

    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return m_pid; }
    bool alive(); // reaps it when it has ended
    std::string howItEnded() const;
    void kill(int signal);
    int waitExit(); // blocks; the wait status

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

struct ProcFigures
{
    long rssKiB = 0;
    double cpuSeconds = 0; // user + system
};
std::optional<ProcFigures> ReadProc(pid_t pid);

// Runs a tool to its end and gives its standard output; `idle` keeps running meanwhile.
std::string RunTool(const std::vector<std::string>& argv, const Idle& idle = {});

// SIGINT and SIGTERM end a driver's run early, so that it can still stop what it started.
void InstallStopHandlers();
bool StopRequested();

// Polls `probe` at a modest pace, running `idle` in between, until it holds, the deadline passes
// or a stop is requested.
bool WaitUntil(const std::function<bool()>& probe, std::chrono::milliseconds deadline,
               const Idle& idle = {}, std::chrono::milliseconds pace = 2ms);

// The X display, through xdotool.
std::vector<std::string> VisibleWindows(const std::string& titleRegex, const Idle& idle = {});
QRect WindowGeometry(const std::string& window, const Idle& idle = {});
void ClickAt(int x, int y, const Idle& idle = {});
void KeyTo(const std::string& window, const std::string& key, const Idle& idle = {});

} // namespace soak
