// Texts for people. The windows always speak Chinese; a command-line program follows the message
// locale: Chinese for zh_*, English otherwise (a service under systemd runs with LANG=C).
#pragma once

#include <QCoreApplication>
#include <QString>

namespace board {

inline QString Tr(const char* zh, const char* en)
{
    const QCoreApplication* app = QCoreApplication::instance();
    QByteArray locale = qgetenv("LC_ALL");
    for (const char* name : {"LC_MESSAGES", "LANG"})
        locale = locale.isEmpty() ? qgetenv(name) : locale;
    return QString::fromUtf8(
        (app && app->inherits("QGuiApplication")) || locale.startsWith("zh") ? zh : en);
}

} // namespace board
