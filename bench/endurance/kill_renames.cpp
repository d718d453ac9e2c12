// Kills Kestrel with SIGKILL while it saves a renamed channel, again and again, and checks after
// each kill that name.txt is byte for byte either the file before the rename or the file with
// just that one name changed. Renames are driven for real on the current X display: a click on
// the name label, the name typed into the dialog, a click on 确 定. Started by kill_renames.sh.
#include "soak_support.h"

#include "monitor/layout.h"

#include <QByteArray>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QStringEncoder>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <poll.h>
#include <random>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

using namespace soak;

namespace {

const QPoint kEditBox(150, 44); // the dialog's name box, in the dialog
const QPoint kOkButton(112, 100);
const char* const kMainTitle = "^Kestrel$";
const char* const kDialogTitle = "^更改名称$";
// Every message box of Kestrel, including the missing-file one.
const char* const kBoxTitle = "^(Kestrel 通道监视|File Not Found)$";
const QByteArray kTempPrefix = ".name.txt.tmp"; // the name the atomic replace writes first

// Where in the save the kill lands. The first two are timed from outside and land wherever the
// scheduler lets them; the others stop Kestrel at a given system call of the atomic replace
// (under strace, which delivers the SIGKILL as the call is entered).
enum class Moment { TempAppears, RandomDelay, BeforeSync, BeforeRename, BeforeDirSync };
constexpr Moment kMoments[] = {Moment::TempAppears, Moment::RandomDelay, Moment::BeforeSync,
                               Moment::BeforeRename, Moment::BeforeDirSync};
const char* Name(Moment m)
{
    switch (m) {
    case Moment::TempAppears:
        return "as the temporary file appears";
    case Moment::RandomDelay:
        return "at a random time after the click";
    case Moment::BeforeSync:
        return "at fsync of the full temporary";
    case Moment::BeforeRename:
        return "at the rename over name.txt";
    case Moment::BeforeDirSync:
        return "at fsync of the folder, renamed";
    }
    return "?";
}
bool Traced(Moment m)
{
    return m != Moment::TempAppears && m != Moment::RandomDelay;
}

struct Options
{
    std::string program, work;
    int runs = 100;
    unsigned seed = 1;
    bool verbose = false;
};

QByteArray Gbk(const QString& text)
{
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Where the value of a key in a section stands in the file's bytes: [start, end).
std::optional<std::pair<qsizetype, qsizetype>>
ValueSpan(const QByteArray& file, const QByteArray& section, const QByteArray& key)
{
    qsizetype at = file.indexOf('[' + section + ']');
    if (at < 0)
        return std::nullopt;
    at = file.indexOf("\n" + key + '=', at);
    if (at < 0)
        return std::nullopt;
    const qsizetype start = at + 1 + key.size() + 1;
    qsizetype end = file.indexOf('\n', start);
    if (end < 0)
        end = file.size();
    if (end > start && file[end - 1] == '\r')
        --end;
    return std::make_pair(start, end);
}

QString ValueOf(const QByteArray& file, const QByteArray& section, const QByteArray& key)
{
    const auto span = ValueSpan(file, section, key);
    QStringDecoder decoder("GBK");
    return span ? decoder.decode(file.mid(span->first, span->second - span->first)) : QString();
}

// The file with one key's value replaced and every other byte as it was; empty without the key.
QByteArray WithValue(const QByteArray& file, const QByteArray& section, const QByteArray& key,
                     const QByteArray& value)
{
    const auto span = ValueSpan(file, section, key);
    if (!span)
        return {};
    QByteArray out = file;
    return out.replace(span->first, span->second - span->first, value);
}

// Where two files part, for the failure message.
std::string FirstDifference(const QByteArray& a, const QByteArray& b)
{
    qsizetype i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    if (i == a.size() && i == b.size())
        return {};
    return "; differs from the expected file at byte " + std::to_string(i) + " of " +
           std::to_string(a.size());
}

// A name of 1..12 characters, Chinese and ASCII mixed, as people name channels.
QString RandomName(std::mt19937& random)
{
    static const QString chars = QStringLiteral(
        "泵站阀门风机水电一二三四号柜线东西南北进出口压力温度ABCDEFGHKLMNPRSTXZ0123456789_");
    std::uniform_int_distribution<int> length(1, 12), pick(0, int(chars.size()) - 1);
    QString name;
    for (int i = length(random); i > 0; --i)
        name += chars[pick(random)];
    return name;
}

// Clipboard contents that note when another program fetches them.
class PasteSource : public QMimeData
{
public:
    mutable bool fetched = false;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override
    {
        fetched = true;
        return QMimeData::retrieveData(mimeType, type);
    }
};

class KillTest
{
public:
    explicit KillTest(const Options& o) : m_o(o), m_random(o.seed) {}
    int run();

private:
    struct Tally
    {
        int kills = 0, before = 0, midSave = 0, after = 0;
    };

    bool createNameFile();
    std::string startKestrel(std::unique_ptr<Child>& kestrel, std::optional<Moment> traced);
    bool typeName(const std::string& window, int channel, const QString& name);
    std::unique_ptr<Child> clickOk();
    std::vector<std::pair<std::uint32_t, QByteArray>> folderEvents(int timeoutMs);
    void measureSave();
    void killDuringSave(Moment moment, Child& kestrel);
    void killTracee(Child& tracer);
    std::vector<QByteArray> tempFiles() const;
    void fail(int run, const std::string& what);

    Options m_o;
    std::mt19937 m_random;
    QString m_nameFile;
    QPoint m_dialog;
    Clock::time_point m_clickedAt;
    int m_inotify = -1;
    bool m_strace = false;
    std::vector<std::string> m_failures;
    // The uninterrupted save of run 0, from the click's return: temporary created, written and
    // closed, renamed over name.txt.
    double m_createdMs = 0, m_closedMs = 0, m_renamedMs = 0;
};

void KillTest::fail(int run, const std::string& what)
{
    const std::string line = "run " + std::to_string(run) + ": " + what;
    m_failures.push_back(line);
    std::fprintf(stderr, "FAIL %s\n", line.c_str());
}

std::vector<QByteArray> KillTest::tempFiles() const
{
    std::vector<QByteArray> names;
    for (const QString& n : QDir(QString::fromStdString(m_o.work))
                                .entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (n.toUtf8().startsWith(kTempPrefix))
            names.push_back(n.toUtf8());
    return names;
}

// First start in an empty folder: Kestrel makes name.txt itself and says so in two messages.
bool KillTest::createNameFile()
{
    Child kestrel({m_o.program}, m_o.work, m_o.work + "/kestrel.log");
    for (int box = 0; box < 2; ++box) {
        std::vector<std::string> ids;
        if (!WaitUntil([&] { return !(ids = VisibleWindows(kBoxTitle)).empty(); }, 10s, {}, 20ms))
            return false;
        const std::string id = ids.front();
        for (int attempt = 0; attempt < 10; ++attempt) {
            KeyTo(id, "Return");
            if (WaitUntil(
                    [&] {
                        const auto now = VisibleWindows(kBoxTitle);
                        return std::find(now.begin(), now.end(), id) == now.end();
                    },
                    500ms, {}, 20ms))
                break;
        }
    }
    const bool shown =
        WaitUntil([&] { return !VisibleWindows(kMainTitle).empty(); }, 10s, {}, 20ms);
    kestrel.kill(SIGTERM);
    kestrel.waitExit();
    return shown && QFile::exists(m_nameFile);
}

std::string KillTest::startKestrel(std::unique_ptr<Child>& kestrel, std::optional<Moment> traced)
{
    std::vector<std::string> argv{m_o.program};
    if (traced) {
        // The first fsync is the temporary file's, the second the folder's after the rename.
        const std::string inject = *traced == Moment::BeforeRename
                                       ? "rename,renameat,renameat2:signal=KILL"
                                   : *traced == Moment::BeforeSync ? "fsync:signal=KILL:when=1"
                                                                   : "fsync:signal=KILL:when=2";
        argv = {"/usr/bin/strace",
                "-f",
                "-qq",
                "-o",
                "/dev/null",
                "-e",
                "trace=fsync,rename,renameat,renameat2",
                "-e",
                "inject=" + inject,
                m_o.program};
    }
    kestrel = std::make_unique<Child>(argv, m_o.work, m_o.work + "/kestrel.log");
    std::string window;
    WaitUntil(
        [&] {
            const auto ids = VisibleWindows(kMainTitle);
            if (!ids.empty())
                window = ids.front();
            return !ids.empty() || !kestrel->alive();
        },
        10s, {}, 20ms);
    return window;
}

// Opens the dialog for the channel and puts the name in; false if that did not work.
bool KillTest::typeName(const std::string& window, int channel, const QString& name)
{
    const QRect main = WindowGeometry(window);
    const auto& place = monitor::kChannelPlaces[channel - 1];
    const QRect label =
        monitor::TwipsRect(place.nameLeft, place.nameTop, place.nameWidth, monitor::kLabelHeight)
            .translated(main.topLeft());
    ClickAt(label.center().x(), label.center().y());
    std::vector<std::string> dialogs;
    if (!WaitUntil([&] { return !(dialogs = VisibleWindows(kDialogTitle)).empty(); }, 5s, {}, 10ms))
        return false;
    m_dialog = WindowGeometry(dialogs.front()).topLeft();
    // The name goes in by the clipboard: xdotool types Chinese by remapping a key for each
    // character, and the program sometimes reads the key before the new mapping and drops it.
    auto* paste = new PasteSource;
    paste->setText(name);
    QGuiApplication::clipboard()->setMimeData(paste); // owned by the clipboard from here
    const Idle serve = [] { QCoreApplication::processEvents(); };
    ClickAt(m_dialog.x() + kEditBox.x(), m_dialog.y() + kEditBox.y());
    RunTool({"xdotool", "key", "ctrl+a", "ctrl+v"}, serve);
    // Once Kestrel has fetched the text, it has pasted it: it does both in one handler.
    return WaitUntil([&] { return paste->fetched; }, 5s, serve, 1ms);
}

// Clicks OK without waiting for xdotool to finish: the save is over in less time than xdotool
// takes to exit, and the kills must be timed from the click itself.
std::unique_ptr<Child> KillTest::clickOk()
{
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ::inotify_add_watch(m_inotify, m_o.work.c_str(), IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO);
    m_clickedAt = Clock::now();
    return std::make_unique<Child>(
        std::vector<std::string>{"/usr/bin/xdotool", "mousemove",
                                 std::to_string(m_dialog.x() + kOkButton.x()),
                                 std::to_string(m_dialog.y() + kOkButton.y()), "click", "1"},
        "", "/dev/null");
}

// Waits for the next events of the folder and gives them, each with its arrival time.
std::vector<std::pair<std::uint32_t, QByteArray>> KillTest::folderEvents(int timeoutMs)
{
    std::vector<std::pair<std::uint32_t, QByteArray>> events;
    pollfd fd{m_inotify, POLLIN, 0};
    if (::poll(&fd, 1, timeoutMs) <= 0)
        return events;
    alignas(inotify_event) char buffer[4096];
    const ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
    for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
        events.emplace_back(e->mask, e->len ? QByteArray(e->name) : QByteArray());
        at += ssize_t(sizeof(inotify_event) + e->len);
    }
    return events;
}

// Follows an uninterrupted save through the folder's events, for the figures and the timing.
void KillTest::measureSave()
{
    const auto end = m_clickedAt + 5s;
    while (m_renamedMs == 0 && Clock::now() < end) {
        for (const auto& [mask, name] : folderEvents(10)) {
            const double ms = MsBetween(m_clickedAt, Clock::now());
            if ((mask & IN_CREATE) && name.startsWith(kTempPrefix))
                m_createdMs = ms;
            if ((mask & IN_CLOSE_WRITE) && name.startsWith(kTempPrefix))
                m_closedMs = ms;
            if ((mask & IN_MOVED_TO) && name == "name.txt")
                m_renamedMs = ms;
        }
    }
}

// Under strace, strace's child is Kestrel: kill it, and strace ends with it.
void KillTest::killTracee(Child& tracer)
{
    if (tracer.pid() <= 0 || !tracer.alive())
        return;
    std::ifstream children("/proc/" + std::to_string(tracer.pid()) + "/task/" +
                           std::to_string(tracer.pid()) + "/children");
    pid_t pid = 0;
    if (children >> pid && pid > 0)
        ::kill(pid, SIGKILL);
    else
        tracer.kill(SIGKILL);
}

void KillTest::killDuringSave(Moment moment, Child& kestrel)
{
    switch (moment) {
    case Moment::TempAppears: {
        // A save that never starts shows as the old file without a temporary one.
        const auto end = m_clickedAt + 3s;
        bool created = false;
        while (!created && Clock::now() < end)
            for (const auto& [mask, name] : folderEvents(10))
                created = created || ((mask & IN_CREATE) && name.startsWith(kTempPrefix));
        kestrel.kill(SIGKILL);
        break;
    }
    case Moment::RandomDelay: {
        // Anywhere from the click to a little after the rename of an uninterrupted save.
        std::uniform_real_distribution<double> delay(0, 1.5 * m_renamedMs);
        std::this_thread::sleep_until(
            m_clickedAt + std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double, std::milli>(delay(m_random))));
        kestrel.kill(SIGKILL);
        break;
    }
    default:
        // Strace kills at the call; if the call never comes within the deadline, so do we.
        if (!WaitUntil([&] { return !kestrel.alive(); }, 5s, {}, 1ms))
            killTracee(kestrel);
        break;
    }
    kestrel.waitExit();
}

int KillTest::run()
{
    m_nameFile = QString::fromStdString(m_o.work + "/name.txt");
    m_strace = ::access("/usr/bin/strace", X_OK) == 0;
    if (!createNameFile()) {
        std::fprintf(stderr, "kill_renames: Kestrel did not create name.txt at its first start\n");
        return 2;
    }
    // Bytes of the user's own beside Kestrel's: they must survive every save untouched.
    QByteArray file = ReadFile(m_nameFile);
    file.prepend(Gbk(QStringLiteral("; 三号柜的通道名称\r\n\r\n")));
    {
        QFile out(m_nameFile);
        if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size())
            return 2;
    }
    const QByteArray section = Gbk(QStringLiteral("地址码1"));
    std::vector<Moment> moments;
    for (const Moment m : kMoments)
        if (m_strace || !Traced(m))
            moments.push_back(m);

    std::map<Moment, Tally> tally;
    // Run 0 is a rename that is not killed: it proves the driving works and times the save.
    for (int run = 0; run <= m_o.runs; ++run) {
        if (StopRequested()) {
            fail(run, "stopped by a signal");
            break;
        }
        const QByteArray before = ReadFile(m_nameFile);
        const Moment moment = moments[std::size_t(run) % moments.size()];
        if (m_o.verbose)
            std::fprintf(stderr, "run %d: kill %s\n", run, run ? Name(moment) : "none");
        std::unique_ptr<Child> kestrel;
        const std::string window =
            startKestrel(kestrel, run > 0 && Traced(moment) ? std::optional(moment) : std::nullopt);
        if (window.empty()) {
            fail(run, "Kestrel's window did not show (" + kestrel->howItEnded() + ")");
            break;
        }
        if (!VisibleWindows(kBoxTitle).empty())
            fail(run, "Kestrel started with a message box: it did not take name.txt as it was");

        std::uniform_int_distribution<int> pick(1, 24);
        const int channel = pick(m_random);
        const QByteArray key = Gbk(QStringLiteral("第%1路名称").arg(channel));
        QString name;
        do
            name = RandomName(m_random);
        while (name == ValueOf(before, section, key));
        const QByteArray after = WithValue(before, section, key, Gbk(name));
        if (after.isEmpty()) {
            fail(run, "no key for channel " + std::to_string(channel) + " in name.txt");
            break;
        }
        if (!typeName(window, channel, name)) {
            fail(run, "the rename dialog did not open, or took no name");
            killTracee(*kestrel);
            kestrel->waitExit();
            continue;
        }
        const std::unique_ptr<Child> click = clickOk();
        if (run == 0) {
            measureSave();
            WaitUntil([&] { return ReadFile(m_nameFile) == after; }, 5s, {}, 1ms);
            kestrel->kill(SIGTERM);
            kestrel->waitExit();
        } else {
            killDuringSave(moment, *kestrel);
        }
        click->waitExit();
        ::close(m_inotify);

        const std::vector<QByteArray> temps = tempFiles();
        for (const QByteArray& t : temps)
            QFile::remove(QString::fromStdString(m_o.work) + '/' + QString::fromUtf8(t));
        const QByteArray now = ReadFile(m_nameFile);
        Tally& t = tally[moment];
        t.kills += run > 0;
        if (now == after && run > 0) {
            ++t.after;
        } else if (now == before && run > 0) {
            ++(temps.empty() ? t.before : t.midSave);
        } else if (now != after) {
            fail(run, "name.txt is neither the old nor the new file: " +
                          QString(QStringDecoder("GBK").decode(key)).toStdString() + " is \"" +
                          ValueOf(now, section, key).toStdString() + "\", was \"" +
                          ValueOf(before, section, key).toStdString() + "\", typed \"" +
                          name.toStdString() + "\"" + FirstDifference(now, after));
            QFile keep(m_nameFile + QStringLiteral(".bad%1").arg(run));
            if (keep.open(QIODevice::WriteOnly))
                keep.write(now);
            // Go on from a sound file, so one failure does not hide the next.
            QFile restore(m_nameFile);
            if (restore.open(QIODevice::WriteOnly))
                restore.write(before);
        }
        if (run > 0 && now == after && !temps.empty())
            fail(run, "the save went through but left its temporary file");
    }

    // After the last kill too, Kestrel must start on the file without a word.
    if (m_failures.empty()) {
        std::unique_ptr<Child> kestrel;
        if (startKestrel(kestrel, std::nullopt).empty() || !VisibleWindows(kBoxTitle).empty())
            fail(m_o.runs + 1, "Kestrel did not start cleanly on the final name.txt");
        kestrel->kill(SIGTERM);
        kestrel->waitExit();
    }

    std::printf("  an uninterrupted save, from the click on 确 定: temporary file created at "
                "%.1f ms, closed at %.1f ms, renamed over name.txt at %.1f ms\n",
                m_createdMs, m_closedMs, m_renamedMs);
    Tally all;
    for (const auto& [moment, t] : tally) {
        if (t.kills == 0)
            continue;
        std::printf("  killed %-34s %3d x: before the save %3d, mid-save (old file, temporary "
                    "left) %3d, after the rename %3d\n",
                    Name(moment), t.kills, t.before, t.midSave, t.after);
        all.kills += t.kills;
        all.before += t.before;
        all.midSave += t.midSave;
        all.after += t.after;
    }
    if (!m_strace)
        std::printf("  (no strace: kills only timed from outside)\n");
    for (const std::string& f : m_failures)
        std::printf("  FAIL %s\n", f.c_str());
    std::printf("kill_renames: %d kills: %d before the save, %d mid-save, %d after; name.txt "
                "always the old or the new file: %s\n",
                all.kills, all.before, all.midSave, all.after,
                m_failures.empty() ? "PASS" : "FAIL");
    return m_failures.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv); // GBK and the clipboard; clicks and keys go by xdotool
    InstallStopHandlers();
    Options o;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString a = args[i];
        const auto next = [&] { return i + 1 < args.size() ? args[++i].toStdString() : ""; };
        if (a == "--program")
            o.program = next();
        else if (a == "--work")
            o.work = next();
        else if (a == "--runs")
            o.runs = std::stoi(next());
        else if (a == "--seed")
            o.seed = unsigned(std::stoul(next()));
        else if (a == "--verbose")
            o.verbose = true;
        else {
            std::fprintf(stderr, "kill_renames: unknown argument %s\n", a.toUtf8().constData());
            return 2;
        }
    }
    if (o.program.empty() || o.work.empty()) {
        std::fprintf(stderr, "usage: kill_renames --program KESTREL --work DIR [--runs N] "
                             "[--seed N]\n");
        return 2;
    }
    if (!QStringEncoder("GBK").isValid()) {
        std::fprintf(stderr, "kill_renames: this Qt has no GBK converter\n");
        return 2;
    }
    return KillTest(o).run();
}
