#include "soak_support.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace soak {
namespace {

std::vector<char*> ArgvOf(const std::vector<std::string>& argv)
{
    std::vector<char*> out;
    for (const std::string& a : argv)
        out.push_back(const_cast<char*>(a.c_str()));
    out.push_back(nullptr);
    return out;
}

volatile std::sig_atomic_t g_stop = 0;

void OnStop(int)
{
    g_stop = 1;
}

} // namespace

void InstallStopHandlers()
{
    struct sigaction action = {};
    action.sa_handler = OnStop;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested()
{
    return g_stop != 0;
}

double MsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

Child::Child(const std::vector<std::string>& argv, const std::string& dir, const std::string& log,
             Io io)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!dir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    if (io.in >= 0)
        posix_spawn_file_actions_adddup2(&actions, io.in, STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (io.out >= 0)
        posix_spawn_file_actions_adddup2(&actions, io.out, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    std::vector<char*> args = ArgvOf(argv);
    const int error = posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(error));
}

Child::~Child()
{
    if (alive()) {
        kill(SIGKILL);
        waitExit();
    }
}

bool Child::alive()
{
    if (m_status)
        return false;
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_status = status;
        return false;
    }
    return true;
}

std::string Child::howItEnded() const
{
    if (!m_status)
        return "still running";
    if (WIFSIGNALED(*m_status))
        return std::string("killed by signal ") + std::to_string(WTERMSIG(*m_status)) + " (" +
               strsignal(WTERMSIG(*m_status)) + ")";
    return "exited with code " + std::to_string(WEXITSTATUS(*m_status));
}

void Child::kill(int signal)
{
    if (!m_status)
        ::kill(m_pid, signal);
}

int Child::waitExit()
{
    if (!m_status) {
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_status = status;
    }
    return *m_status;
}

std::optional<ProcFigures> ReadProc(pid_t pid)
{
    ProcFigures figures;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            figures.rssKiB = std::stol(line.substr(6));
    std::ifstream statFile("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), {});
    // The name in brackets may hold blanks: count the fields after its closing bracket.
    const auto close = stat.rfind(')');
    if (close == std::string::npos || figures.rssKiB == 0)
        return std::nullopt;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15) {
            stime = std::stoull(field);
            break;
        }
    }
    figures.cpuSeconds = double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
    return figures;
}

std::string RunTool(const std::vector<std::string>& argv, const Idle& idle)
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    // xdotool complains on stderr about windows that close under it; the caller checks results.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args = ArgvOf(argv);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (error != 0) {
        ::close(out[0]);
        throw std::runtime_error("cannot run " + argv[0] + ": " + std::strerror(error));
    }
    std::string text;
    for (;;) {
        pollfd fd{out[0], POLLIN, 0};
        // Short waits, so the caller's sampling keeps its pace while the tool runs.
        if (::poll(&fd, 1, idle ? 2 : 1000) > 0) {
            char buffer[4096];
            const ssize_t n = ::read(out[0], buffer, sizeof buffer);
            if (n > 0) {
                text.append(buffer, size_t(n));
                continue;
            }
            if (n == 0)
                break;
            if (errno != EINTR)
                break;
        }
        if (idle)
            idle();
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return text;
}

bool WaitUntil(const std::function<bool()>& probe, std::chrono::milliseconds deadline,
               const Idle& idle, std::chrono::milliseconds pace)
{
    const auto end = Clock::now() + deadline;
    for (;;) {
        if (idle)
            idle();
        if (probe())
            return true;
        if (Clock::now() >= end || StopRequested())
            return false;
        std::this_thread::sleep_for(pace);
    }
}

std::vector<std::string> VisibleWindows(const std::string& titleRegex, const Idle& idle)
{
    std::istringstream out(
        RunTool({"xdotool", "search", "--onlyvisible", "--name", titleRegex}, idle));
    std::vector<std::string> ids;
    for (std::string id; out >> id;)
        ids.push_back(id);
    return ids;
}

QRect WindowGeometry(const std::string& window, const Idle& idle)
{
    std::istringstream out(RunTool({"xdotool", "getwindowgeometry", "--shell", window}, idle));
    int x = 0, y = 0, w = 0, h = 0;
    for (std::string line; std::getline(out, line);) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const int value = std::atoi(line.c_str() + eq + 1);
        if (key == "X")
            x = value;
        else if (key == "Y")
            y = value;
        else if (key == "WIDTH")
            w = value;
        else if (key == "HEIGHT")
            h = value;
    }
    return QRect(x, y, w, h);
}

void ClickAt(int x, int y, const Idle& idle)
{
    RunTool({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "1"}, idle);
}

void KeyTo(const std::string& window, const std::string& key, const Idle& idle)
{
    // Focus, then real (XTEST) key events. "key --window" mixes a real press with a synthetic
    // release, which fails when the key closes the window: the server then keeps the key down
    // and auto-repeats it into every window that opens later.
    RunTool({"xdotool", "windowfocus", window, "key", key}, idle);
}

} // namespace soak
