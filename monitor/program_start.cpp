#include "program_start.h"

#include "link/text.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace monitor {
namespace {

using board::Tr;

// The fatal message handler can hold no state of its own. The text is made before the
// application exists: once it does, Tr speaks the windows' Chinese, whatever the locale.
QByteArray g_noDisplayText;
QtMessageHandler g_qtHandler = nullptr;

void NoDisplayHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg)
        return g_qtHandler(type, context, message);
    // Qt's only fatal message while the application is being built: no platform could start.
    std::fputs(g_noDisplayText.constData(), stderr);
    std::_Exit(1);
}

void Print(std::FILE* stream, const QString& text)
{
    std::fputs((text + u'\n').toUtf8().constData(), stream);
}

} // namespace

Start StartProgram(int& argc, char* argv[], const ProgramText& program)
{
    const QString name = QString::fromUtf8(program.name);
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--version") {
            Print(stdout, name + QStringLiteral(" " PROJECT_VERSION));
            return {};
        }
        if (argument == "-h" || argument == "--help") {
            Print(stdout, program.help
                              ? program.help()
                              : Tr("用法：%1 [Qt 的选项，如 -platform 名称]\n%2\n\n"
                                   "  -h, --help   显示本说明并退出\n"
                                   "  --version    显示版本并退出\n\n"
                                   "详见 man %1。",
                                   "Usage: %1 [Qt's options, such as -platform NAME]\n%2\n\n"
                                   "  -h, --help   show this help and exit\n"
                                   "  --version    show the version and exit\n\n"
                                   "man %1 tells more.")
                                    .arg(name, Tr(program.zh, program.en)));
            return {};
        }
    }

    const QByteArray display = qgetenv("DISPLAY");
    const QString where = display.isEmpty()
                              ? Tr("没有设置 DISPLAY", "DISPLAY is not set")
                              : Tr("无法连接 DISPLAY=%1", "DISPLAY=%1 cannot be reached")
                                    .arg(QString::fromLocal8Bit(display));
    g_noDisplayText = (Tr("%1：需要图形界面，但无法打开显示（%2）。没有图形界面时请用 boardctl "
                          "查看和操作检测板（man boardctl）。\n",
                          "%1: needs a graphical display, and none could be opened (%2). "
                          "Without a display, boardctl reads and switches the board (man "
                          "boardctl).\n")
                           .arg(name, where))
                          .toUtf8();
    const QString unexpected = Tr("%1：多余的参数：%2（%1 --help 查看说明）",
                                  "%1: unexpected argument: %2 (%1 --help tells more)");
    g_qtHandler = qInstallMessageHandler(NoDisplayHandler);
    Start start{std::make_unique<QApplication>(argc, argv)};
    qInstallMessageHandler(g_qtHandler);
    // Qt has taken its own options out of argv; whatever is left is the program's, or nobody's.
    if (argc > 1 && !program.help) {
        Print(stderr, unexpected.arg(name, QString::fromLocal8Bit(argv[1])));
        return {nullptr, 2};
    }
    return start;
}

} // namespace monitor
