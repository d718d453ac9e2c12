#include "simulator.h"

#include "link/command_line.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <unistd.h>

namespace boardsim {
namespace {

// More than this many unread bytes means nobody reads the terminal; keep memory bounded.
constexpr qsizetype kMaxOutgoing = 64 * 1024;
constexpr qsizetype kMaxLine = 4096;

// Lines for a script go to stdout (line-buffered by main); lines for a person to stderr.
void Say(const QByteArray& line)
{
    std::puts(line.constData());
}

void Warn(const QByteArray& line)
{
    std::fprintf(stderr, "boardsim: %s\n", line.constData());
}

QByteArray Bytes(const board::Frame& frame)
{
    return QByteArray(reinterpret_cast<const char*>(frame.data()), board::kFrameSize);
}

} // namespace

std::optional<std::uint32_t> ParsePattern(const QString& text)
{
    static const QRegularExpression hex("^(?:0[xX])?([0-9A-Fa-f]{1,6})$");
    const auto match = hex.match(text);
    return match.hasMatch() ? std::optional(match.captured(1).toUInt(nullptr, 16)) : std::nullopt;
}

// Thrown by a command whose argument does not fit its syntax.
struct Usage
{
};

// What a parse of the argument found; Usage when it found nothing.
template <typename T> T Fits(const std::optional<T>& parsed)
{
    if (!parsed)
        throw Usage{};
    return *parsed;
}

qint64 Number(const QByteArray& text, qint64 min, qint64 max)
{
    return Fits(board::WholeNumber(QString::fromLatin1(text), min, max));
}

struct Simulator::Command
{
    const char* syntax; // the name, then the argument if it takes one
    bool wholeLine;     // else it acts on each board, or on the one that @ADDR names
    const char* help;
    // Throws Usage when the argument does not fit the syntax, std::runtime_error saying why the
    // command cannot be done.
    void (*run)(Simulator& sim, Board& board, const QByteArray& argument);
};

const Simulator::Command Simulator::kCommands[] = {
    {"pattern HEX", false, "set the 24 channels, bit n-1 = channel n, e.g. pattern 0xFF00FF",
     [](Simulator&, Board& board, const QByteArray& hex) {
         board.pattern = Fits(ParsePattern(QString::fromLatin1(hex)));
     }},
    {"silence MS", false, "answer nothing for MS milliseconds, up to 3600000",
     [](Simulator&, Board& board, const QByteArray& ms) {
         board.silenceUntil =
             Clock::now() + std::chrono::milliseconds(Number(ms, 0, board::kMaxMs));
     }},
    {"silent on|off", false, "stop or resume answering",
     [](Simulator&, Board& board, const QByteArray& onOff) {
         if (onOff != "on" && onOff != "off")
             throw Usage{};
         board.silent = onOff == "on";
     }},
    {"burst", false, "send a status frame and 4 stray bytes in one go (12 bytes)",
     [](Simulator& sim, Board& board, const QByteArray&) {
         if (!sim.m_port)
             throw std::runtime_error("unplugged (type replug first)");
         const QByteArray frame = Bytes(board::MakeStatus(board.address, board.pattern));
         const QByteArray stray = sim.randomBytes(4);
         sim.log("tx", frame);
         sim.log("noise", stray);
         sim.send(frame + stray);
     }},
    {"noise N", true, "send N random bytes now, 1 to 4096",
     [](Simulator& sim, Board&, const QByteArray& n) {
         const int count = int(Number(n, 1, 4096));
         if (!sim.m_port)
             throw std::runtime_error("unplugged (type replug first)");
         const QByteArray bytes = sim.randomBytes(count);
         sim.log("noise", bytes);
         sim.send(bytes);
     }},
    {"stray HEX", false,
     "send these bytes just before the next reply; stray 22 before channels 0x000045 at "
     "address 1 forms a shifted frame that passes the checksum",
     [](Simulator&, Board& board, const QByteArray& hex) {
         const QByteArray bytes = QByteArray::fromHex(hex);
         if (bytes.isEmpty() || bytes.toHex() != hex.toLower())
             throw Usage{};
         board.strayNext = bytes;
     }},
    {"claim ADDR", false,
     "reply with address ADDR in byte 1, as a board that does not send its own",
     [](Simulator&, Board& board, const QByteArray& address) {
         board.claim = std::uint8_t(Number(address, 0, 255));
     }},
    {"invalid", false, "give the next reply a wrong checksum",
     [](Simulator&, Board& board, const QByteArray&) { board.spoilNext = true; }},
    {"unplug", true, "close the terminal and remove the link, as if the cable were pulled",
     [](Simulator& sim, Board&, const QByteArray&) { sim.unplug(); }},
    {"replug", true, "open a new terminal and link it again",
     [](Simulator& sim, Board&, const QByteArray&) {
         sim.unplug();
         sim.plug();
     }},
    {"help", true, "list these commands",
     [](Simulator&, Board&, const QByteArray&) {
         for (const QString& line : commandHelp())
             Say(line.toUtf8());
     }},
    {"quit", true, "remove the link and exit (so do exit, Ctrl+C and SIGTERM)",
     [](Simulator& sim, Board&, const QByteArray&) {
         sim.m_quitting = true;
         QCoreApplication::exit(0);
     }},
};

QStringList Simulator::commandHelp()
{
    QStringList lines, aimed;
    for (const Command& command : kCommands) {
        lines << QString("%1 %2").arg(command.syntax, -14).arg(command.help);
        if (!command.wholeLine)
            aimed << QString(command.syntax).section(' ', 0, 0);
    }
    return lines << "@ADDR COMMAND  to board ADDR of a bus alone: " + aimed.join(", ")
                 << "               (e.g. @7 silence 500); without @ADDR they go to every board";
}

Simulator::Simulator(const SimOptions& options, const board::StopSignals& stopSignals)
    : m_options(options), m_random(options.seed),
      m_signals(stopSignals.fd(), QSocketNotifier::Read),
      m_control(STDIN_FILENO, QSocketNotifier::Read),
      m_byteTime(options.baud == 0 ? Clock::duration()
                                   : Clock::duration(std::chrono::seconds(10)) / options.baud)
{
    for (const std::uint8_t address : options.addresses)
        m_boards.push_back({address, options.pattern, options.silent});
    QObject::connect(&m_signals, &QSocketNotifier::activated, [&stopSignals] {
        if (const auto signal = stopSignals.take()) {
            Warn(QByteArray("stopped by SIG") + sigabbrev_np(*signal));
            QCoreApplication::exit(0);
        }
    });
    QObject::connect(&m_control, &QSocketNotifier::activated, [this] { readControl(); });
    // A precise timer keeps to the grid of the start time, and after a stall starts a new one
    // rather than rotating many times at once.
    m_walk.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_walk, &QTimer::timeout, [this] {
        // Channel 24 wraps round to channel 1, so a walk keeps the same number of lamps lit.
        for (Board& board : m_boards)
            board.pattern = ((board.pattern << 1) | (board.pattern >> (board::kChannels - 1))) &
                            board::kAllChannels;
    });
    m_pace.setSingleShot(true);
    m_pace.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_pace, &QTimer::timeout, [this] { flush(); });
    if (options.walkMs > 0)
        m_walk.start(int(options.walkMs));
    plug();
}

void Simulator::plug()
{
    m_port = std::make_unique<SimulatedPort>(m_options.link);
    QObject::connect(m_port->readable, &QSocketNotifier::activated, [this] { readTerminal(); });
    QObject::connect(m_port->writable, &QSocketNotifier::activated, [this] { flush(); });
    Say(QString("boardsim: port %1 -> %2 (link %3)")
            .arg(m_options.port)
            .arg(m_port->slavePath(), m_port->linkPath())
            .toUtf8());
}

void Simulator::unplug()
{
    m_port.reset();
    m_received.clear();
    m_outgoing.clear();
    m_pace.stop();
    m_receivedAt = m_sentAt = {}; // a new line is idle
}

void Simulator::readTerminal()
{
    char chunk[512];
    const ssize_t n = ::read(m_port->fd(), chunk, sizeof chunk);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        // The slave is held open here, so this should not happen; if it does, stop watching a
        // dead terminal instead of spinning on it.
        Warn(QByteArray("the terminal failed (") + (n == 0 ? "closed" : std::strerror(errno)) +
             "); unplugged, type replug");
        return unplug();
    }
    m_received.append(chunk, n);
    m_receivedAt = std::max(m_receivedAt, Clock::now()) + n * m_byteTime;
    // The line has no frame delimiter: after noise, slide one byte at a time until a request
    // head with a matching checksum lines up. An incomplete frame waits for more bytes.
    const auto frameAt = [this](qsizetype at) {
        board::Frame frame{};
        std::memcpy(frame.data(), m_received.constData() + at, board::kFrameSize);
        return frame;
    };
    for (;;) {
        qsizetype head = m_received.indexOf(char(board::kRequestHead));
        while (head >= 0 && head + qsizetype(board::kFrameSize) <= m_received.size() &&
               !board::IsValid(frameAt(head), board::kRequestHead))
            head = m_received.indexOf(char(board::kRequestHead), head + 1);
        const qsizetype skipped = head < 0 ? m_received.size() : head;
        if (skipped > 0)
            log("skip", m_received.first(skipped));
        m_received.remove(0, skipped);
        if (m_received.size() < qsizetype(board::kFrameSize))
            break;
        const board::Frame request = frameAt(0);
        m_received.remove(0, board::kFrameSize);
        log("rx", Bytes(request));
        handle(request);
    }
}

void Simulator::handle(const board::Frame& request)
{
    const std::uint8_t command = request[2];
    const int channel = request[6];
    const auto target = std::ranges::find(m_boards, request[1], &Board::address);
    if (target == m_boards.end() || command < board::kCmdPoll || command > board::kCmdSwitchOn)
        return; // another board's, or a command the board does not know
    // A channel outside 1..24 changes nothing but is still answered.
    const std::uint32_t bit = channel >= 1 && channel <= board::kChannels ? 1u << (channel - 1) : 0;
    if (command == board::kCmdSwitchOff)
        target->pattern &= ~bit;
    if (command == board::kCmdSwitchOn)
        target->pattern |= bit;
    // Not before the whole request could have arrived on the line.
    const auto due = m_receivedAt + std::chrono::milliseconds(m_options.delayMs);
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
    // The answer tells the channels as they are when it starts, as a board's would.
    QTimer::singleShot(std::max(0, int(wait.count())), Qt::PreciseTimer, m_port.get(),
                       [this, &board = *target, due] { reply(board, due); });
}

void Simulator::reply(Board& board, Clock::time_point due)
{
    if (board.silent || Clock::now() < board.silenceUntil)
        return;
    board::Frame frame = board::MakeStatus(board.claim.value_or(board.address), board.pattern);
    ++board.replies;
    const auto every = [&board](unsigned n) { return n != 0 && board.replies % n == 0; };
    if (std::exchange(board.spoilNext, false) || every(m_options.invalidEvery))
        ++frame[7];
    const QByteArray noise = std::exchange(board.strayNext, {}) +
                             (every(m_options.noiseEvery) ? randomBytes(1) : QByteArray());
    if (!noise.isEmpty())
        log("noise", noise);
    log("tx", Bytes(frame));
    send(noise + Bytes(frame), due);
}

void Simulator::send(const QByteArray& bytes, Clock::time_point from)
{
    if (m_outgoing.size() + bytes.size() > kMaxOutgoing)
        return Warn("nobody reads the terminal; " + QByteArray::number(bytes.size()) +
                    " bytes dropped");
    for (const char byte : bytes)
        m_outgoing.emplace_back(m_sentAt = std::max(m_sentAt, from) + m_byteTime, byte);
    flush();
}

void Simulator::flush()
{
    const auto now = Clock::now();
    QByteArray due;
    for (auto it = m_outgoing.begin(); it != m_outgoing.end() && it->first <= now; ++it)
        due += it->second;
    const ssize_t n =
        due.isEmpty() ? 0 : ::write(m_port->fd(), due.constData(), size_t(due.size()));
    if (n >= 0)
        m_outgoing.erase(m_outgoing.begin(), m_outgoing.begin() + n);
    else if (errno != EAGAIN && errno != EINTR) {
        Warn(QByteArray("cannot write to the terminal: ") + std::strerror(errno));
        m_outgoing.clear();
    }
    // A terminal with no room says when it has some; else sleep until the next byte is due.
    const bool full = n < due.size();
    m_port->writable->setEnabled(full && !m_outgoing.empty());
    if (!full && !m_outgoing.empty())
        m_pace.start(std::chrono::ceil<std::chrono::milliseconds>(m_outgoing.front().first - now));
}

QByteArray Simulator::randomBytes(int count)
{
    std::uniform_int_distribution<int> byte(0, 255);
    QByteArray bytes(count, '\0');
    std::ranges::generate(bytes, [&] { return char(byte(m_random)); });
    return bytes;
}

void Simulator::log(const char* tag, const QByteArray& bytes) const
{
    if (m_options.log)
        Say(tag + (' ' + bytes.toHex(' ').toUpper()));
}

void Simulator::readControl()
{
    char chunk[4096];
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n < 0)
        Warn(QByteArray("commands on standard input are off (") +
             (errno == EIO ? "running in the background" : std::strerror(errno)) + ")");
    // At the end of input the board keeps running until a signal or "quit"; a last line
    // without its newline still counts.
    m_controlText.append(chunk, std::max<ssize_t>(n, 0));
    if (n <= 0) {
        m_controlText.append('\n');
        m_control.setEnabled(false);
    }
    const auto refuseLong = [] {
        Say("error: line longer than " + QByteArray::number(kMaxLine) + " characters ignored");
    };
    for (qsizetype end; !m_quitting && (end = m_controlText.indexOf('\n')) >= 0;) {
        const QByteArray line = m_controlText.left(end);
        m_controlText.remove(0, end + 1);
        if (std::exchange(m_skipping, false))
            continue;
        line.size() > kMaxLine ? refuseLong() : runLine(line);
    }
    if (m_controlText.size() > kMaxLine) {
        // Refuse it now and drop the rest as it comes, so that memory stays bounded.
        if (!std::exchange(m_skipping, true))
            refuseLong();
        m_controlText.clear();
    }
}

void Simulator::runLine(const QByteArray& line)
{
    const QByteArray echo = line.simplified();
    if (echo.isEmpty())
        return;
    QList<QByteArray> words = echo.split(' ');
    std::span<Board> boards = m_boards;
    const bool aimed = words.first().startsWith('@');
    if (aimed) {
        bool ok = false;
        const QByteArray address = words.takeFirst().mid(1);
        const auto board = std::ranges::find(m_boards, address.toUInt(&ok), &Board::address);
        if (!ok || board == m_boards.end())
            return Say("error " + echo + ": no board at address " + address + " on this line");
        boards = std::span(board, 1);
    }
    const QByteArray name = words.isEmpty() ? QByteArray() : words.takeFirst();
    const auto command = std::ranges::find_if(kCommands, [&](const Command& c) {
        return QByteArray(c.syntax).split(' ').first() == (name == "exit" ? "quit" : name);
    });
    const bool known = command != std::end(kCommands);
    const bool takesArgument = known && std::strchr(command->syntax, ' ');
    QByteArray failure;
    if (!known)
        failure = name.isEmpty() ? "no command after it"
                                 : "unknown command '" + name + "' (type help for the list)";
    else if (!takesArgument && !words.isEmpty())
        failure = name + " takes no argument";
    else if (aimed && command->wholeLine)
        failure = name + " acts on the whole line, not on one board";
    else {
        // The first failure ends it: the argument, or the line, is the same for every board.
        try {
            if (takesArgument && words.size() != 1)
                throw Usage{};
            for (Board& board : command->wholeLine ? boards.first(1) : boards)
                command->run(*this, board, words.value(0));
        } catch (const Usage&) {
            failure = "usage: " + QByteArray(command->syntax) + " (" + command->help + ")";
        } catch (const std::runtime_error& e) {
            failure = e.what();
        }
    }
    Say(failure.isEmpty() ? "ok " + echo : "error " + echo + ": " + failure);
}

} // namespace boardsim
