// Texts for people. Kestrel's and Wrenfield's windows always speak Chinese; a command-line program,
// and a window that says so (the overview), follows the message locale: Chinese for zh_*, English
// otherwise (a service under systemd runs with LANG=C).
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QVariant>

namespace board {

// Set on the application by a window whose texts follow the locale.
constexpr char kFollowsLocale[] = "followsLocale";

inline QString Tr(const char* zh, const char* en)
{
    const QCoreApplication* app = QCoreApplication::instance();
    QByteArray locale = qgetenv("LC_ALL");
    for (const char* name : {"LC_MESSAGES", "LANG"})
        locale = locale.isEmpty() ? qgetenv(name) : locale;
    const bool alwaysChinese =
        app && app->inherits("QGuiApplication") && !app->property(kFollowsLocale).toBool();
    return QString::fromUtf8(alwaysChinese || locale.startsWith("zh") ? zh : en);
}

} // namespace board
