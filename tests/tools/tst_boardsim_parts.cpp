// boardsim's logic without a terminal: framing, the board's answers, spoiled replies, control
// lines and the command line.
#include "board_state.h"
#include "control_command.h"
#include "line_buffer.h"
#include "reply_shaper.h"
#include "request_hunter.h"

#include <QTest>

#include <vector>

using namespace boardsim;

namespace {

std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts)
{
    std::vector<std::uint8_t> out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

std::vector<std::uint8_t> Vec(const board::Frame& frame)
{
    return {frame.begin(), frame.end()};
}

// Feeds the hunter in chunks of `chunk` bytes and records what it reports, in order.
struct HuntLog
{
    std::vector<board::Frame> frames;
    std::vector<std::uint8_t> skipped;
    std::vector<char> order; // 'f' frame, 's' skipped run
};

HuntLog Hunt(RequestHunter& hunter, const std::vector<std::uint8_t>& bytes, std::size_t chunk)
{
    HuntLog log;
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        const auto piece = std::span(bytes).subspan(at, std::min(chunk, bytes.size() - at));
        hunter.Feed(
            piece,
            [&](const board::Frame& frame) {
                log.frames.push_back(frame);
                log.order.push_back('f');
            },
            [&](std::span<const std::uint8_t> run) {
                log.skipped.insert(log.skipped.end(), run.begin(), run.end());
                log.order.push_back('s');
            });
    }
    return log;
}

const board::Frame kPoll = board::MakeRequest(1, board::kCmdPoll, 0, 0);
const board::Frame kOff5 = board::MakeRequest(1, board::kCmdSwitchOff, 0, 5);

} // namespace

class BoardsimPartsTest : public QObject
{
    Q_OBJECT

private slots:
    void patternText_data();
    void patternText();
    void boardAnswers();
    void rotationWrapsRound();
    void hunterFindsFramesInNoise_data();
    void hunterFindsFramesInNoise();
    void hunterKeepsOnlyAPartialFrame();
    void shaperSpoilsOnSchedule();
    void controlLines_data();
    void controlLines();
    void lineBufferSplitsAndBounds();
};

void BoardsimPartsTest::patternText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("value"); // -1: refused
    QTest::newRow("plain") << "5A5A5A" << qint64(0x5A5A5A);
    QTest::newRow("prefix") << "0xFFFFFF" << qint64(0xFFFFFF);
    QTest::newRow("upper prefix, short") << "0X1" << qint64(1);
    QTest::newRow("lower case") << "abcdef" << qint64(0xABCDEF);
    QTest::newRow("seven digits") << "1000000" << qint64(-1);
    QTest::newRow("empty") << "" << qint64(-1);
    QTest::newRow("prefix only") << "0x" << qint64(-1);
    QTest::newRow("not hex") << "12G4" << qint64(-1);
    QTest::newRow("sign") << "-1" << qint64(-1);
    QTest::newRow("double prefix") << "0x0x12" << qint64(-1);
}

void BoardsimPartsTest::patternText()
{
    QFETCH(QString, text);
    QFETCH(qint64, value);
    const auto parsed = ParsePattern(text.toStdString());
    QCOMPARE(parsed.has_value(), value >= 0);
    if (parsed)
        QCOMPARE(qint64(*parsed), value);
}

void BoardsimPartsTest::boardAnswers()
{
    BoardState board(1, 0x0000FF);
    QCOMPARE(board.handle(kPoll), std::optional(board::MakeStatus(1, 0x0000FF)));
    // Channel 5 off, then on again; the reply carries the new state.
    QCOMPARE(board.handle(kOff5), std::optional(board::MakeStatus(1, 0x0000EF)));
    QCOMPARE(board.handle(board::MakeRequest(1, board::kCmdSwitchOn, 0, 5)),
             std::optional(board::MakeStatus(1, 0x0000FF)));
    QCOMPARE(board.handle(board::MakeRequest(1, board::kCmdSwitchOn, 0, 24)),
             std::optional(board::MakeStatus(1, 0x8000FF)));
    // Out-of-range channels: answered, nothing changed.
    for (const std::uint8_t channel : {0, 25, 255})
        QCOMPARE(board.handle(board::MakeRequest(1, board::kCmdSwitchOff, 0, channel)),
                 std::optional(board::MakeStatus(1, 0x8000FF)));
    // Not for this board, or not a command it knows: no answer, no change.
    QCOMPARE(board.handle(board::MakeRequest(2, board::kCmdSwitchOff, 0, 1)), std::nullopt);
    QCOMPARE(board.handle(board::MakeRequest(1, 0x13, 0, 1)), std::nullopt);
    QCOMPARE(board.pattern(), 0x8000FFu);

    board.setPattern(0xFF123456); // bits above channel 24 do not exist
    QCOMPARE(board.pattern(), 0x123456u);
}

void BoardsimPartsTest::rotationWrapsRound()
{
    BoardState board(1, 0x800001);
    board.rotate();
    QCOMPARE(board.pattern(), 0x000003u);
    BoardState walker(1, 0x5A5A5A);
    for (int step = 0; step < board::kChannels; ++step) {
        walker.rotate();
        QCOMPARE(std::popcount(walker.pattern()), 12);
    }
    QCOMPARE(walker.pattern(), 0x5A5A5Au);
}

void BoardsimPartsTest::hunterFindsFramesInNoise_data()
{
    QTest::addColumn<std::size_t>("chunk");
    for (const std::size_t chunk : {1, 3, 8, 100})
        QTest::addRow("chunks of %zu", chunk) << chunk;
}

void BoardsimPartsTest::hunterFindsFramesInNoise()
{
    QFETCH(std::size_t, chunk);
    board::Frame corrupt = kPoll;
    corrupt[7] ^= 0x01;
    const auto status = Vec(board::MakeStatus(1, 0x123456)); // an echo of a reply
    const std::vector<std::uint8_t> stream = Join({{0x00, 0x13, 0x55},
                                                   Vec(kPoll),
                                                   Vec(kOff5),
                                                   Vec(corrupt),
                                                   status,
                                                   {0x55, 0x01},
                                                   Vec(kPoll)});

    RequestHunter hunter;
    const HuntLog log = Hunt(hunter, stream, chunk);
    const std::vector<board::Frame> expected{kPoll, kOff5, kPoll};
    QCOMPARE(log.frames, expected);
    QCOMPARE(log.skipped.size(), stream.size() - 3 * board::kFrameSize);
    QCOMPARE(log.skipped, Join({{0x00, 0x13, 0x55}, Vec(corrupt), status, {0x55, 0x01}}));
    QCOMPARE(hunter.pendingBytes(), std::size_t{0});
    // Skipped bytes are reported before the frame that follows them.
    QCOMPARE(log.order.front(), 's');
    QCOMPARE(log.order.back(), 'f');
}

void BoardsimPartsTest::hunterKeepsOnlyAPartialFrame()
{
    RequestHunter hunter;
    HuntLog log = Hunt(hunter, {kPoll.begin(), kPoll.begin() + 5}, 100);
    QVERIFY(log.frames.empty());
    QVERIFY(log.skipped.empty());
    QCOMPARE(hunter.pendingBytes(), std::size_t{5});

    // The cut frame's head is given up once a whole frame shows it was noise.
    log = Hunt(hunter, Vec(kPoll), 100);
    QCOMPARE(log.frames, std::vector<board::Frame>{kPoll});
    QCOMPARE(log.skipped.size(), std::size_t{5});

    hunter.Feed(
        std::span(kPoll).first(3), [](const board::Frame&) {},
        [](std::span<const std::uint8_t>) {});
    hunter.Reset();
    QCOMPARE(hunter.pendingBytes(), std::size_t{0});
}

void BoardsimPartsTest::shaperSpoilsOnSchedule()
{
    const board::Frame reply = board::MakeStatus(1, 0x5A5A5A);
    ReplyShaper shaper(3, 2, 1);
    for (int n = 1; n <= 12; ++n) {
        const ShapedReply shaped = shaper.shape(reply);
        QCOMPARE(board::IsValidStatus(shaped.frame), n % 3 != 0);
        QCOMPARE(shaped.noise.size(), std::size_t(n % 2 == 0 ? 1 : 0));
        QCOMPARE(board::ChannelBits(shaped.frame), 0x5A5A5Au);
    }
    shaper.spoilNext();
    QVERIFY(!board::IsValidStatus(shaper.shape(reply).frame)); // reply 13
    QVERIFY(board::IsValidStatus(shaper.shape(reply).frame));  // reply 14

    ReplyShaper off(0, 0, 1);
    for (int n = 0; n < 10; ++n) {
        const ShapedReply shaped = off.shape(reply);
        QCOMPARE(shaped.frame, reply);
        QVERIFY(shaped.noise.empty());
    }
    // The same seed gives the same bytes, so a failing soak run can be repeated.
    QCOMPARE(ReplyShaper(0, 0, 42).randomBytes(16), ReplyShaper(0, 0, 42).randomBytes(16));
}

void BoardsimPartsTest::controlLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("echo");
    QTest::addColumn<bool>("accepted");
    const struct
    {
        const char* line;
        const char* echo;
        bool accepted;
    } rows[] = {
        {"pattern 0xFF00FF", "pattern 0xFF00FF", true},
        {"  silence\t250 \r", "silence 250", true},
        {"silent on", "silent on", true},
        {"burst", "burst", true},
        {"noise 4096", "noise 4096", true},
        {"invalid", "invalid", true},
        {"replug", "replug", true},
        {"pattern", "pattern", false},
        {"pattern 1FFFFFF", "pattern 1FFFFFF", false},
        {"silence -5", "silence -5", false},
        {"silence 3600001", "silence 3600001", false},
        {"silent yes", "silent yes", false},
        {"noise 0", "noise 0", false},
        {"noise 4097", "noise 4097", false},
        {"burst now", "burst now", false},
        {"explode", "explode", false},
    };
    for (const auto& row : rows)
        QTest::newRow(row.line) << row.line << row.echo << row.accepted;
}

void BoardsimPartsTest::controlLines()
{
    QFETCH(QString, line);
    QFETCH(QString, echo);
    QFETCH(bool, accepted);
    const ParsedLine parsed = ParseControlLine(line.toStdString());
    QCOMPARE(QString::fromStdString(parsed.echo), echo);
    QCOMPARE(parsed.command.has_value(), accepted);
    QCOMPARE(parsed.error.empty(), accepted);

    const ParsedLine blank = ParseControlLine(" \t ");
    QVERIFY(blank.echo.empty() && !blank.command && blank.error.empty());
}

void BoardsimPartsTest::lineBufferSplitsAndBounds()
{
    LineBuffer buffer;
    buffer.append("pat");
    QVERIFY(!buffer.next());
    buffer.append("tern 1\nbu");
    QCOMPARE(buffer.next()->text, std::string("pattern 1"));
    QVERIFY(!buffer.next());
    // At the end of input the unterminated rest is a line too.
    QCOMPARE(buffer.next(true)->text, std::string("bu"));
    QVERIFY(!buffer.next(true));

    // An endless line is reported once, cut, and its rest swallowed up to its newline.
    const std::string flood(LineBuffer::kMaxLine + 10, 'x');
    buffer.append(flood);
    const auto cut = buffer.next();
    QVERIFY(cut && cut->overlong);
    QCOMPARE(cut->text.size(), LineBuffer::kMaxLine);
    buffer.append(flood);
    QVERIFY(!buffer.next());
    buffer.append("xx\nquit\n");
    const auto after = buffer.next();
    QVERIFY(after && !after->overlong);
    QCOMPARE(after->text, std::string("quit"));
}

QTEST_GUILESS_MAIN(BoardsimPartsTest)
#include "tst_boardsim_parts.moc"
