#include "kestrel_form.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrel 通道监视"));
    kestrel::KestrelForm form(QApplication::applicationDirPath());
    form.show();
    return QApplication::exec();
}
