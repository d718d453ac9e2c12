// How both windows start: --help and --version answered without a display, and a missing or dead
// display told in a sentence that points to boardctl, rather than Qt's abort and its advice to
// reinstall.
#pragma once

#include <QApplication>

#include <memory>

namespace monitor {

// What --help says about one program, in both languages.
struct ProgramText
{
    const char* name;  // the command, e.g. "kestrel"
    const char* title; // the application's name, the title of its own message boxes
    const char* zh;
    const char* en;
    // A program with options of its own gives its --help here: StartProgram prints it and leaves
    // the arguments that are not Qt's in argv for the program to read. Null: Qt's options only.
    QString (*help)() = nullptr;
};

struct Start
{
    std::unique_ptr<QApplication> app; // null when the program is to exit at once
    int exitCode = 0;
};

// Answers --help and --version, else opens the display. Without one it says so on standard error
// and exits 1; an argument that is not Qt's own gives exit code 2 (unless the program has a help
// of its own, and reads its options itself).
Start StartProgram(int& argc, char* argv[], const ProgramText& program);

// A program's whole run: StartProgram, then its main window until it closes.
template <typename Form> int RunWindow(int argc, char* argv[], const ProgramText& program)
{
    const Start start = StartProgram(argc, argv, program);
    if (!start.app)
        return start.exitCode;
    QApplication::setApplicationName(QString::fromUtf8(program.title));
    Form form(QApplication::applicationDirPath());
    form.show();
    return QApplication::exec();
}

} // namespace monitor
