// Runs Kestrel or Wrenfield on the current X display beside boardsim for a set time, puts line
// faults and unplug/replug cycles on the link, and checks the window against what the board sent:
// samples the 24 lamps every 10 ms, follows the board's traffic log, and watches the program's
// memory and CPU. Started by soak.sh, which provides the display and the work folder.
#include "board_link.h"
#include "soak_support.h"

#include "monitor/layout.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QScreen>

#include <algorithm>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <thread>

using namespace soak;

namespace {

constexpr int kChannels = 24;
constexpr auto kSamplePace = 10ms;
constexpr auto kStepDeadline = 3s; // beyond this a fault counts as never recovered from
// Port 0 is only ever <program dir>/com0: with the simulator unplugged nothing else answers for it,
// whereas port 1 falls back to /dev/ttyS0, which many machines have.
const std::string kPort = "0";
const QPoint kOpenButton(304, 20);      // 打开串口 / 关闭串口, in the window
const QPoint kPortSpinnerDown(148, 29); // lower arrow of the port spinner: 1 -> 0

struct Options
{
    std::string program, boardsim, work, mainTitle, boxTitle;
    int seconds = 60;
    int unplugs = 10;
    unsigned seed = 1;
    double stepLimitMs = 100;     // two ticks
    double growthLimitKiB = 2048; // VmRSS, end of run against end of warm-up
    double cpuLimit = 5;          // % of one core, after warm-up
    double cpuPeakLimit = 15;     // % of one core over any 10 s: catches a spell of busy looping
    double watchdogLimitMs = 350; // the 6th tick, 300 ms, plus a tick for timer and sampling slack
    bool verbose = false;
};

enum class Fault { Noise, ShortSilence, LongSilence, Burst, Invalid, Unplug, Open };
const char* Name(Fault f)
{
    switch (f) {
    case Fault::Noise:
        return "noise";
    case Fault::ShortSilence:
        return "silence 100 ms";
    case Fault::LongSilence:
        return "silence 400-800 ms";
    case Fault::Burst:
        return "burst";
    case Fault::Invalid:
        return "invalid frame";
    case Fault::Unplug:
        return "unplug/replug";
    case Fault::Open:
        return "first opening";
    }
    return "?";
}

enum class Look : std::uint8_t { Green, Red, Yellow, Grey, Other };

// What one screen sample shows.
struct Shown
{
    enum Kind { Pattern, Yellow, Grey, Covered, Mixed } kind;
    std::uint32_t pattern = 0;
};

std::string LooksText(const std::array<Look, kChannels>& looks)
{
    std::string text = " ";
    for (const Look l : looks)
        text += "GRYgo"[int(l)]; // green, red, yellow, grey, other
    return text;
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p * double(v.size() - 1) + 0.5))];
}

class Soak
{
public:
    explicit Soak(const Options& o) : m_o(o), m_random(o.seed) {}
    int run();

private:
    // The steady work done while waiting: log lines, screen samples, /proc figures.
    void pump();
    void drainBoard();
    void sample();
    void onSample(Clock::time_point at, const std::array<Look, kChannels>& looks);
    Shown classify(const std::array<Look, kChannels>& looks) const;
    bool yellowExpected(Clock::time_point at) const;

    void command(const std::string& line);
    std::uint32_t freshPattern();
    void runFault(Fault fault);
    void unplugCycle();
    void dismissBox(const std::string& box);
    void waitInStep(Fault fault, std::uint32_t pattern, Clock::time_point faultEnd);
    void fail(const std::string& what);
    double sinceStart(Clock::time_point t) const { return MsBetween(m_start, t) / 1000; }
    Idle idle()
    {
        return [this] { pump(); };
    }
    void summary(Clock::time_point end);

    Options m_o;
    std::mt19937 m_random;
    std::unique_ptr<BoardProcess> m_board;
    std::unique_ptr<Child> m_program;
    std::ofstream m_traffic;
    Wire m_wire;
    bool m_lastWasStray = false;
    std::deque<std::string> m_acks;

    QScreen* m_screen = nullptr;
    QRect m_window;
    QRect m_grab;                             // screen area holding every lamp's sample point
    std::array<QPoint, kChannels> m_points{}; // in m_grab
    QRgb m_grey = 0;
    Clock::time_point m_nextSample{};
    Clock::time_point m_start{};

    // What may be on screen now.
    bool m_closedPhase = false; // the port is closed: grey lamps are right
    bool m_boxPhase = false;    // a message box may cover some lamps
    bool m_reopened = false;    // the reopening click is out; the grey phase ends with new colours
    bool m_boxGone = false;

    // The fault being recovered from: the fresh pattern set at its end.
    struct Pending
    {
        std::uint32_t pattern = 0;
        std::optional<Clock::time_point> shownAt;
    };
    std::optional<Pending> m_pending;
    std::unordered_set<std::uint32_t> m_used;
    std::uint32_t m_current = 0;

    // Watchdog: the last whole frame before a long silence, and the first yellow sample after.
    std::optional<Clock::time_point> m_silenceFrom;
    std::optional<Clock::time_point> m_yellowAt;

    // Figures.
    std::map<Fault, std::vector<double>> m_steps; // ms from the first whole frame to the lamps
    std::map<Fault, int> m_faults;
    std::vector<double> m_watchdog; // ms from the last whole frame to yellow lamps
    std::map<Shown::Kind, long> m_shownCounts;
    std::vector<std::pair<Clock::time_point, std::array<Look, kChannels>>> m_torn;
    std::optional<std::array<Look, kChannels>> m_lastWhole;
    long m_transitions = 0;
    std::ofstream m_rssLog;
    long m_samples = 0;
    double m_grabMs = 0;
    std::vector<std::string> m_failures;
    long m_failureCount = 0;
    bool m_dead = false;
    int m_unplugsDone = 0;
    std::optional<ProcFigures> m_warm, m_last;
    Clock::time_point m_warmEnd{}, m_warmAt{}, m_nextProc{};
    long m_peakRss = 0;
    std::vector<std::pair<Clock::time_point, double>> m_cpuTrace; // after warm-up, once a second
};

void Soak::fail(const std::string& what)
{
    ++m_failureCount;
    if (m_failures.size() < 20) {
        char at[32];
        std::snprintf(at, sizeof at, "%8.3f s  ", sinceStart(Clock::now()));
        m_failures.push_back(at + what);
    }
    if (m_o.verbose)
        std::fprintf(stderr, "FAIL %s\n", what.c_str());
}

void Soak::pump()
{
    drainBoard();
    const auto now = Clock::now();
    if (now >= m_nextSample && m_screen) {
        sample();
        m_nextSample = now + kSamplePace;
    }
    if (now >= m_nextProc && m_program) {
        m_nextProc = now + 1s;
        if (const auto figures = ReadProc(m_program->pid())) {
            m_last = figures;
            m_rssLog << sinceStart(now) << ' ' << figures->rssKiB << ' ' << figures->cpuSeconds
                     << '\n';
            if (m_warm)
                m_cpuTrace.emplace_back(now, figures->cpuSeconds);
            m_peakRss = std::max(m_peakRss, figures->rssKiB);
            if (!m_warm && now >= m_warmEnd && m_warmEnd != Clock::time_point{}) {
                m_warm = figures;
                m_warmAt = now;
            }
        }
    }
    if (StopRequested() && !m_dead) {
        m_dead = true;
        fail("stopped by a signal");
    }
    if (m_program && !m_dead && !m_program->alive()) {
        m_dead = true;
        fail("the program ended: " + m_program->howItEnded());
    }
    if (m_board && !m_board->child().alive() && !m_dead) {
        m_dead = true;
        fail("boardsim ended: " + m_board->child().howItEnded());
    }
}

void Soak::drainBoard()
{
    if (!m_board)
        return;
    for (const LogLine& line : m_board->take()) {
        m_traffic << std::fixed << MsBetween(m_start, line.at) << ' ' << line.text << '\n';
        const std::string& t = line.text;
        bool stray = false;
        if (t.rfind("tx ", 0) == 0) {
            m_wire.frame(line.at, HexBytes(t.substr(3)), m_lastWasStray);
        } else if (t.rfind("noise ", 0) == 0) {
            m_wire.stray(line.at, HexBytes(t.substr(6)));
            stray = true;
        } else if (t.rfind("ok ", 0) == 0 || t.rfind("error ", 0) == 0) {
            m_acks.push_back(t);
        } else if (t.rfind("boardsim: port", 0) == 0) {
            m_wire.newTerminal();
        }
        m_lastWasStray = stray;
    }
}

void Soak::command(const std::string& line)
{
    m_board->write(line);
    const bool acked = WaitUntil(
        [&] {
            for (auto it = m_acks.begin(); it != m_acks.end(); ++it)
                if (*it == "ok " + line || it->rfind("error " + line, 0) == 0) {
                    const bool ok = it->rfind("ok ", 0) == 0;
                    if (!ok)
                        fail("boardsim refused '" + line + "': " + *it);
                    m_acks.erase(m_acks.begin(), it + 1);
                    return true;
                }
            return m_dead;
        },
        3s, idle());
    if (!acked)
        fail("boardsim did not answer '" + line + "'");
}

void Soak::sample()
{
    const auto before = Clock::now();
    const QImage image =
        m_screen->grabWindow(0, m_grab.x(), m_grab.y(), m_grab.width(), m_grab.height()).toImage();
    const auto at = Clock::now(); // after the grab: the image is at least this fresh
    m_grabMs += MsBetween(before, at);
    std::array<Look, kChannels> looks{};
    for (int i = 0; i < kChannels; ++i) {
        const QRgb c = image.pixel(m_points[i]) & 0xFFFFFF;
        looks[i] = c == 0x00FF00              ? Look::Green
                   : c == 0xFF0000            ? Look::Red
                   : c == 0xFFFF00            ? Look::Yellow
                   : c == (m_grey & 0xFFFFFF) ? Look::Grey
                                              : Look::Other;
    }
    onSample(at, looks);
}

Shown Soak::classify(const std::array<Look, kChannels>& looks) const
{
    int count[5] = {};
    std::uint32_t pattern = 0;
    for (int i = 0; i < kChannels; ++i) {
        ++count[int(looks[i])];
        if (looks[i] == Look::Green)
            pattern |= 1u << i;
    }
    const int lit = count[int(Look::Green)] + count[int(Look::Red)];
    const int other = count[int(Look::Other)];
    if (lit == kChannels)
        return {Shown::Pattern, pattern};
    if (count[int(Look::Yellow)] == kChannels)
        return {Shown::Yellow};
    if (count[int(Look::Grey)] == kChannels)
        return {Shown::Grey};
    // Lamps under a message box: the rest must be of one kind.
    if (other > 0 && (lit + other == kChannels || count[int(Look::Yellow)] + other == kChannels ||
                      count[int(Look::Grey)] + other == kChannels))
        return {Shown::Covered};
    return {Shown::Mixed};
}

// Yellow is right only when the program has taken no whole frame for five ticks. It is wrong when
// a whole frame went out 100..250 ms ago (time enough to take it; too soon to give up on it) and
// no stray byte could have spoiled its taking.
bool Soak::yellowExpected(Clock::time_point at) const
{
    const auto& clean = m_wire.clean();
    const bool recentFrame = std::any_of(clean.rbegin(), clean.rend(), [&](const Wire::Frame& f) {
        const double age = MsBetween(f.at, at);
        return age >= 100 && age <= 250;
    });
    const auto stray = m_wire.lastStray();
    const bool recentStray = stray && MsBetween(*stray, at) <= 350;
    return !recentFrame || recentStray;
}

void Soak::onSample(Clock::time_point at, const std::array<Look, kChannels>& looks)
{
    ++m_samples;
    drainBoard(); // frames sent before this sample must be known when judging it
    const Shown shown = classify(looks);
    ++m_shownCounts[shown.kind];
    char hex[16];
    std::snprintf(hex, sizeof hex, "%06" PRIX32, shown.pattern);
    switch (shown.kind) {
    case Shown::Pattern:
        if (!m_wire.everSent(shown.pattern))
            fail(std::string("lamps show channels ") + hex + ", which the board never sent");
        break;
    case Shown::Yellow:
        if (!yellowExpected(at))
            fail("lamps yellow although the board answered every poll");
        if (m_silenceFrom && !m_yellowAt)
            m_yellowAt = at;
        break;
    case Shown::Grey:
        if (!m_closedPhase)
            fail("lamps grey although the port was not closed");
        break;
    case Shown::Covered:
        if (!m_boxPhase)
            fail("something covers the lamps although no message box is expected");
        break;
    case Shown::Mixed:
        // Qt puts a repaint on the screen rect by rect, so a sample can catch one half-way:
        // judged against the whole samples on either side once the next one comes.
        if (!m_torn.empty() && MsBetween(m_torn.front().first, at) > 50)
            fail("lamps of mixed looks for more than 50 ms:" + LooksText(looks));
        m_torn.emplace_back(at, looks);
        return;
    }
    for (const auto& [tornAt, torn] : m_torn) {
        ++m_transitions;
        for (int i = 0; i < kChannels; ++i)
            if (torn[i] != looks[i] && (!m_lastWhole || torn[i] != (*m_lastWhole)[i])) {
                fail("lamps of mixed looks:" + LooksText(torn) + " between" +
                     (m_lastWhole ? LooksText(*m_lastWhole) : std::string(" nothing")) + " and" +
                     LooksText(looks));
                break;
            }
    }
    m_torn.clear();
    m_lastWhole = looks;
    if (m_reopened && (shown.kind == Shown::Pattern || shown.kind == Shown::Yellow))
        m_closedPhase = m_reopened = false;
    if (m_boxGone && shown.kind != Shown::Covered && shown.kind != Shown::Mixed)
        m_boxPhase = m_boxGone = false;
    if (m_pending && !m_pending->shownAt && shown.kind == Shown::Pattern &&
        shown.pattern == m_pending->pattern)
        m_pending->shownAt = at;
}

std::uint32_t Soak::freshPattern()
{
    std::uniform_int_distribution<std::uint32_t> any(0, 0xFFFFFF);
    std::uint32_t p;
    do
        p = any(m_random);
    while (m_used.count(p) || m_wire.everSent(p));
    m_used.insert(p);
    return p;
}

void Soak::waitInStep(Fault fault, std::uint32_t pattern, Clock::time_point faultEnd)
{
    // The first whole frame that carries the new pattern: the moment the board is back in step.
    const auto firstFrame = [&]() -> std::optional<Clock::time_point> {
        for (const Wire::Frame& f : m_wire.clean())
            if (f.pattern == pattern)
                return f.at;
        return std::nullopt;
    };
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        faultEnd + kStepDeadline - Clock::now());
    const bool back = WaitUntil([&] { return m_dead || (m_pending->shownAt && firstFrame()); },
                                std::max(left, std::chrono::milliseconds(0)), idle());
    char hex[16];
    std::snprintf(hex, sizeof hex, "%06" PRIX32, pattern);
    if (m_dead)
        return;
    if (!back) {
        fail(std::string(Name(fault)) + ": lamps not back in step (channels " + hex +
             ") within 3 s" + (firstFrame() ? "" : "; the board sent no whole frame"));
    } else {
        const double ms = MsBetween(*firstFrame(), *m_pending->shownAt);
        m_steps[fault].push_back(ms);
        if (ms > m_o.stepLimitMs)
            fail(std::string(Name(fault)) + ": lamps showed " + hex + " " + std::to_string(ms) +
                 " ms after the first whole frame (limit " + std::to_string(m_o.stepLimitMs) + ")");
        // The board logs a frame before it writes it, and the lamps need the program, a paint
        // and a grab after that: lamps ahead of the log were painted from a spoiled frame.
        if (ms < 0)
            fail(std::string(Name(fault)) + ": lamps showed " + hex + " " + std::to_string(-ms) +
                 " ms before any whole frame carried it");
        if (m_o.verbose)
            std::fprintf(stderr, "%8.3f s  %-20s back in step %.1f ms\n", sinceStart(Clock::now()),
                         Name(fault), ms);
    }
    m_pending.reset();
    m_current = pattern;
}

void Soak::runFault(Fault fault)
{
    ++m_faults[fault];
    const std::uint32_t pattern = freshPattern();
    char set[32];
    std::snprintf(set, sizeof set, "pattern 0x%06" PRIX32, pattern);
    std::uniform_int_distribution<int> noiseBytes(1, 64), longMs(400, 800);
    Clock::time_point end;
    switch (fault) {
    case Fault::Noise:
        command("noise " + std::to_string(noiseBytes(m_random)));
        m_pending = Pending{pattern, {}};
        command(set);
        end = Clock::now();
        break;
    case Fault::ShortSilence:
    case Fault::LongSilence: {
        const int ms = fault == Fault::ShortSilence ? 100 : longMs(m_random);
        command("silence " + std::to_string(ms));
        const auto from = Clock::now();
        if (fault == Fault::LongSilence && !m_wire.clean().empty()) {
            m_silenceFrom = m_wire.clean().back().at;
            m_yellowAt.reset();
        }
        m_pending = Pending{pattern, {}};
        command(set);
        end = from + std::chrono::milliseconds(ms);
        WaitUntil([&] { return Clock::now() >= end; }, std::chrono::milliseconds(ms + 100), idle());
        if (m_silenceFrom) {
            if (m_yellowAt) {
                const double ms = MsBetween(*m_silenceFrom, *m_yellowAt);
                m_watchdog.push_back(ms);
                if (ms < 250 || ms > m_o.watchdogLimitMs)
                    fail("lamps turned yellow " + std::to_string(ms) +
                         " ms after the last whole frame (want the 6th tick: 250..300 ms)");
            } else
                fail("a silence of " + std::to_string(ms) + " ms did not turn the lamps yellow");
            m_silenceFrom.reset();
        }
        break;
    }
    case Fault::Burst:
        m_pending = Pending{pattern, {}};
        command(set);
        command("burst");
        end = Clock::now();
        break;
    case Fault::Invalid:
        m_pending = Pending{pattern, {}};
        command(set);
        command("invalid"); // the next reply, the first to carry the pattern, is spoiled
        end = Clock::now();
        break;
    case Fault::Unplug:
        m_pending = Pending{pattern, {}};
        unplugCycle();
        command(set);
        end = Clock::now();
        break;
    case Fault::Open:
        break;
    }
    if (fault == Fault::Unplug) {
        // Reopen with the new pattern already set: the lamps go yellow, then follow it.
        m_reopened = true;
        const QPoint button = m_window.topLeft() + kOpenButton;
        ClickAt(button.x(), button.y(), idle());
        end = Clock::now();
    }
    waitInStep(fault, pattern, end);
    if (fault == Fault::Unplug) {
        if (const auto boxes = VisibleWindows(m_o.boxTitle, idle()); !boxes.empty())
            fail("a message box is still open after the port was reopened");
    }
}

void Soak::dismissBox(const std::string& box)
{
    // A key sent before the box has settled can be lost: repeat until it is gone.
    for (int attempt = 0; attempt < 10; ++attempt) {
        KeyTo(box, "Return", idle());
        if (WaitUntil(
                [&] {
                    const auto boxes = VisibleWindows(m_o.boxTitle, idle());
                    return std::find(boxes.begin(), boxes.end(), box) == boxes.end();
                },
                500ms, idle(), 10ms))
            return;
    }
    fail("the message box would not close");
}

void Soak::unplugCycle()
{
    const int variant = m_unplugsDone++ % 4;
    m_closedPhase = m_boxPhase = true;
    m_boxGone = m_reopened = false;
    command("unplug");
    std::vector<std::string> boxes;
    if (!WaitUntil([&] { return !(boxes = VisibleWindows(m_o.boxTitle, idle())).empty(); }, 3s,
                   idle(), 10ms)) {
        fail("no message box after the terminal went away");
        command("replug");
        return;
    }
    if (boxes.size() > 1)
        fail(std::to_string(boxes.size()) + " message boxes after one unplug");
    // Users do it in either order: plug back then answer the box, or answer then plug back.
    if (variant < 2)
        command("replug");
    dismissBox(boxes.front());
    if (variant == 3) {
        // Trying to open while the cable is still out: one message, the lamps stay grey.
        const QPoint button = m_window.topLeft() + kOpenButton;
        ClickAt(button.x(), button.y(), idle());
        if (WaitUntil([&] { return !(boxes = VisibleWindows(m_o.boxTitle, idle())).empty(); }, 3s,
                      idle(), 10ms))
            dismissBox(boxes.front());
        else
            fail("no message when opening a port that is not there");
    }
    if (variant >= 2)
        command("replug");
    m_boxGone = true;
}

int Soak::run()
{
    m_start = Clock::now();
    m_traffic.open(m_o.work + "/traffic.log");
    m_rssLog.open(m_o.work + "/memory.log");
    m_grey = QApplication::palette().color(QPalette::Disabled, QPalette::WindowText).rgb();
    m_board = std::make_unique<BoardProcess>(
        std::vector<std::string>{m_o.boardsim, "--dir", m_o.work, "--port", kPort, "--log",
                                 "--seed", std::to_string(m_o.seed), "--pattern", "0x5A5A5A",
                                 "--noise-every", "23", "--invalid-every", "37"},
        m_o.work, m_o.work + "/boardsim.err");
    if (!WaitUntil([&] { return QFile::exists(QString::fromStdString(m_o.work + "/com" + kPort)); },
                   5s, idle())) {
        std::fprintf(stderr, "soak: boardsim did not link its terminal\n");
        return 2;
    }
    m_program = std::make_unique<Child>(std::vector<std::string>{m_o.program}, m_o.work,
                                        m_o.work + "/program.log");
    std::string window;
    WaitUntil(
        [&] {
            const auto ids = VisibleWindows(m_o.mainTitle, idle());
            if (ids.empty())
                return m_dead;
            window = ids.front();
            m_window = WindowGeometry(window, idle());
            return m_window.width() > 100;
        },
        10s, idle(), 20ms);
    if (window.empty() || m_dead) {
        std::fprintf(stderr, "soak: the program's window did not show\n");
        return 2;
    }
    // One grab covers every lamp's sample point (a spot the status text never reaches).
    QRect box;
    for (int i = 0; i < kChannels; ++i) {
        const auto& place = monitor::kChannelPlaces[i];
        const QPoint p(monitor::Px(place.lampLeft) + 85, monitor::Px(place.lampTop) + 38);
        box = box.isNull() ? QRect(p, QSize(1, 1)) : box.united(QRect(p, QSize(1, 1)));
        m_points[i] = p;
    }
    m_grab = box.translated(m_window.topLeft());
    for (QPoint& p : m_points)
        p -= box.topLeft();
    m_screen = QGuiApplication::primaryScreen();

    // Before the port opens every lamp is yellow.
    WaitUntil([&] { return m_shownCounts[Shown::Yellow] >= 3; }, 3s, idle());
    if (m_shownCounts[Shown::Yellow] < 3)
        fail("the lamps are not yellow before the port is opened");

    m_warmEnd = Clock::now() + std::chrono::milliseconds(std::max(5000, m_o.seconds * 150));
    m_current = 0x5A5A5A;
    m_used.insert(m_current);
    ++m_faults[Fault::Open];
    m_pending = Pending{m_current, {}};
    const QPoint down = m_window.topLeft() + kPortSpinnerDown;
    ClickAt(down.x(), down.y(), idle());
    const QPoint open = m_window.topLeft() + kOpenButton;
    ClickAt(open.x(), open.y(), idle());
    waitInStep(Fault::Open, m_current, Clock::now());
    if (m_failureCount > 0) {
        summary(Clock::now());
        return 1; // nothing else can be judged when the first opening failed
    }

    // The faults, spread evenly: one every ~1.2 s, the unplug cycles among them.
    const int total = std::max(m_o.unplugs + 5, m_o.seconds * 10 / 12);
    std::vector<Fault> plan(std::size_t(m_o.unplugs), Fault::Unplug);
    const Fault others[] = {Fault::Noise, Fault::ShortSilence, Fault::LongSilence, Fault::Burst,
                            Fault::Invalid};
    for (int i = 0; int(plan.size()) < total; ++i)
        plan.push_back(others[i % 5]);
    std::shuffle(plan.begin(), plan.end(), m_random);
    const auto runStart = Clock::now();
    const auto spacing = std::chrono::duration_cast<Clock::duration>(
        std::chrono::milliseconds(m_o.seconds * 1000) / total);
    for (std::size_t i = 0; i < plan.size() && !m_dead; ++i) {
        const auto due = runStart + spacing * long(i) + spacing / 2;
        WaitUntil([&] { return m_dead || Clock::now() >= due; }, 1h, idle());
        if (!m_dead)
            runFault(plan[i]);
    }
    WaitUntil(
        [&] { return m_dead || Clock::now() >= runStart + std::chrono::seconds(m_o.seconds); }, 1h,
        idle());
    m_nextProc = {};
    pump();
    const auto end = Clock::now();
    summary(end);
    return m_failureCount == 0 ? 0 : 1;
}

void Soak::summary(Clock::time_point end)
{
    const double seconds = MsBetween(m_start, end) / 1000;
    std::vector<double> all;
    int faults = 0;
    for (const auto& [fault, ms] : m_steps)
        all.insert(all.end(), ms.begin(), ms.end());
    for (const auto& [fault, n] : m_faults)
        faults += fault == Fault::Open ? 0 : n;

    if (m_warm && m_last && !m_dead) {
        const double growth = double(m_last->rssKiB - m_warm->rssKiB);
        const double cpu =
            100 * (m_last->cpuSeconds - m_warm->cpuSeconds) / (MsBetween(m_warmAt, end) / 1000);
        if (growth > m_o.growthLimitKiB)
            fail("memory grew by " + std::to_string(long(growth)) + " KiB after warm-up");
        if (cpu > m_o.cpuLimit)
            fail("CPU " + std::to_string(cpu) + " % of a core");
        double peak = 0;
        for (std::size_t i = 0, j = 0; j < m_cpuTrace.size(); ++j) {
            while (MsBetween(m_cpuTrace[i].first, m_cpuTrace[j].first) > 10'500)
                ++i;
            const double span = MsBetween(m_cpuTrace[i].first, m_cpuTrace[j].first) / 1000;
            if (span >= 9.5)
                peak = std::max(peak, 100 * (m_cpuTrace[j].second - m_cpuTrace[i].second) / span);
        }
        if (peak > m_o.cpuPeakLimit)
            fail("CPU " + std::to_string(peak) + " % of a core over 10 s");
        std::printf("  memory: VmRSS %.1f MiB after warm-up, %.1f MiB at the end (%+.0f KiB, "
                    "limit +%.0f), peak %.1f MiB\n",
                    m_warm->rssKiB / 1024.0, m_last->rssKiB / 1024.0, growth, m_o.growthLimitKiB,
                    m_peakRss / 1024.0);
        std::printf("  CPU: %.2f %% of a core over the %.0f s after warm-up (limit %.0f %%), "
                    "worst 10 s %.2f %% (limit %.0f %%)\n",
                    cpu, MsBetween(m_warmAt, end) / 1000, m_o.cpuLimit, peak, m_o.cpuPeakLimit);
    } else if (!m_dead) {
        fail("no memory figures (run too short?)");
    }
    std::printf("  back in step (first whole frame after the fault -> lamps show it), "
                "limit %.0f ms:\n",
                m_o.stepLimitMs);
    for (const auto& [fault, ms] : m_steps)
        std::printf("    %-20s %4zu x  median %5.1f  p95 %5.1f  max %5.1f ms\n", Name(fault),
                    ms.size(), Percentile(ms, 0.5), Percentile(ms, 0.95),
                    *std::max_element(ms.begin(), ms.end()));
    std::printf("    %-20s %4zu x  median %5.1f  p95 %5.1f  max %5.1f ms\n", "all", all.size(),
                Percentile(all, 0.5), Percentile(all, 0.95),
                all.empty() ? 0.0 : *std::max_element(all.begin(), all.end()));
    if (!m_watchdog.empty())
        std::printf("  watchdog: lamps yellow %.0f..%.0f ms after the last whole frame "
                    "(median %.0f; %zu silences; limits 250..%.0f)\n",
                    *std::min_element(m_watchdog.begin(), m_watchdog.end()),
                    *std::max_element(m_watchdog.begin(), m_watchdog.end()),
                    Percentile(m_watchdog, 0.5), m_watchdog.size(), m_o.watchdogLimitMs);
    std::printf("  screen: %ld samples (grab %.1f ms each): pattern %ld, yellow %ld, grey %ld, "
                "under a message box %ld, caught mid-repaint %ld\n",
                m_samples, m_samples ? m_grabMs / double(m_samples) : 0.0,
                m_shownCounts[Shown::Pattern], m_shownCounts[Shown::Yellow],
                m_shownCounts[Shown::Grey], m_shownCounts[Shown::Covered], m_transitions);
    std::printf("  board: %ld whole frames, %ld with a wrong checksum, %d phantom frames in the "
                "noise\n",
                m_wire.validFrames(), m_wire.spoiledFrames(), m_wire.phantoms());
    for (const std::string& f : m_failures)
        std::printf("  FAIL %s\n", f.c_str());
    if (m_failureCount > long(m_failures.size()))
        std::printf("  ... %ld failures in all\n", m_failureCount);
    std::printf("soak %s: %.0f s, %d unplug cycles, %d faults in all, program %s: %s\n",
                QFileInfo(QString::fromStdString(m_o.program)).fileName().toUtf8().constData(),
                seconds, m_faults[Fault::Unplug], faults, m_dead ? "DEAD" : "alive",
                m_failureCount == 0 ? "PASS" : "FAIL");
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    InstallStopHandlers();
    Options o;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString a = args[i];
        const auto next = [&] { return i + 1 < args.size() ? args[++i].toStdString() : ""; };
        if (a == "--program")
            o.program = next();
        else if (a == "--boardsim")
            o.boardsim = next();
        else if (a == "--work")
            o.work = next();
        else if (a == "--main-title")
            o.mainTitle = next();
        else if (a == "--box-title")
            o.boxTitle = next();
        else if (a == "--seconds")
            o.seconds = std::stoi(next());
        else if (a == "--unplugs")
            o.unplugs = std::stoi(next());
        else if (a == "--seed")
            o.seed = unsigned(std::stoul(next()));
        else if (a == "--verbose")
            o.verbose = true;
        else {
            std::fprintf(stderr, "soak_driver: unknown argument %s\n", a.toUtf8().constData());
            return 2;
        }
    }
    if (o.program.empty() || o.boardsim.empty() || o.work.empty() || o.mainTitle.empty() ||
        o.boxTitle.empty()) {
        std::fprintf(stderr, "usage: soak_driver --program P --boardsim B --work DIR "
                             "--main-title RE --box-title RE [--seconds N] [--unplugs N] "
                             "[--seed N] [--verbose]\n");
        return 2;
    }
    return Soak(o).run();
}
