#include "wrenfield_form.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The title of the program's own message boxes.
    QApplication::setApplicationName(QStringLiteral("Wrenfield 测试台"));
    console::WrenfieldForm form(QApplication::applicationDirPath());
    form.show();
    return QApplication::exec();
}
